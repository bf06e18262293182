#pragma once
// The fault helper of the fault-tolerance tests: starts the program under
// fault (tests/tools/zk_fault_child.cpp) with the fsync-slowing shim, kills
// it hard at a chosen moment, lends it a small disk that fills up, or runs it
// as a user without privileges.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>

namespace faultkit {

struct ChildOptions
{
    QString configHome;  // XDG_CONFIG_HOME of the child
    QString programDir;  // its program folder, when set
    bool slowFsync = false;
    bool namedTemps = false; // no unnamed temporary files
    bool unprivileged = false; // run as the user of Unprivileged()
    bool noTmpfileShim = false; // O_TMPFILE fails with EOPNOTSUPP (preloaded shim)
    bool mergeErrors = false;   // the standard error among the lines read
};

// The started child; stdout is read line by line.
std::unique_ptr<QProcess> startChild(const QStringList &args, const ChildOptions &options);
// Waits for a line of the child's output that starts with prefix.
bool waitForLine(QProcess &child, const QString &prefix, int timeoutMs, QStringList *seen = nullptr);
// kill -9, then collects the child.
void killHard(QProcess &child);
// Runs the child to its end. Returns the exit code (-1 when it did not end in
// time); *lines gets its output.
int runChild(const QStringList &args, const ChildOptions &options, QStringList *lines, int timeoutMs = 60000);
// The "message NAME: TEXT" lines of an output, as NAME: TEXT.
QStringList messagesIn(const QStringList &lines);

// A small file system of its own for disk-full cases: a tmpfs, else a loop
// file system, mounted for the object's life. When neither can be mounted,
// dir is empty and skipReason says why.
class SmallDisk
{
public:
    explicit SmallDisk(int kilobytes);
    ~SmallDisk();
    QString dir;
    QString skipReason;

    // Fills the disk up to its last bytes with a file of its own.
    void Fill();

private:
    QString m_base;
    QString m_image;
};

// A user without privileges for cases about rights (root may write
// anything). Without root the tests' own user is used as it is.
struct Unprivileged
{
    bool possible = false;
    QString skipReason;
    unsigned uid = 0, gid = 0;
};
Unprivileged UnprivilegedUser();
// Hands path (a file or folder the test made) to that user.
void giveTo(const QString &path, const Unprivileged &user);

// A folder under /tmp that every user may enter (the test sandbox is the
// test user's alone).
QString openScratchDir(const QString &name);

} // namespace faultkit
