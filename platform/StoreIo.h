#pragma once
// File helpers shared by the settings stores: whole-file reads that report
// what they read, atomic replacement, and an exclusive inter-process lock.
#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <sys/types.h>

namespace zk::storeio {

// What identifies one version of a file. Our stores replace files by rename,
// so a changed inode, size, or time means the content may have changed.
struct FileStamp
{
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    long long ctimeNs = 0;

    bool operator==(const FileStamp &) const = default;
};

FileStamp stampOf(const QString &path);

enum class ReadResult { Ok, Missing, Failed };

// Reads the whole file; *stamp describes exactly the version that was read
// (taken from the open descriptor). *error gets a readable reason on failure.
// Only a regular file is read (opened without blocking, so a FIFO or a device
// in its place fails at once), and at most the size it had when checked.
ReadResult readWholeFile(const QString &path, QByteArray *data, FileStamp *stamp, QString *error,
                         qint64 maxBytes = 256ll * 1024 * 1024);

// Replaces the file with data so that a reader, or a process killed at any
// moment, sees either the old complete file or the new one: the bytes go to a
// temporary file in the same folder (an unnamed one where the file system
// offers it, see SafeFile.h), are flushed to disk, and the temporary file is
// renamed over the target. A symbolic link is followed, so the file
// it points to is replaced and the link stays. An existing file keeps its
// permission bits; a new one gets newMode (before the umask). When tempPath
// is given, that name is used for the temporary file (the caller guarantees
// nobody else uses it at the same time, e.g. under a lock); otherwise a
// unique name is chosen. Returns false with *error set; the old file is then
// untouched.
bool replaceFile(const QString &path, const QByteArray &data, mode_t newMode, QString *error,
                 const QString &tempPath = QString());

// An exclusive advisory lock (flock) on a lock file, held while the object
// lives. The kernel frees it when the process dies, so a killed writer never
// blocks the others.
class ExclusiveLock
{
public:
    explicit ExclusiveLock(const QString &lockPath);
    ~ExclusiveLock();
    ExclusiveLock(const ExclusiveLock &) = delete;
    ExclusiveLock &operator=(const ExclusiveLock &) = delete;

    bool locked() const { return m_fd >= 0; }
    QString error() const { return m_error; }

private:
    int m_fd = -1;
    QString m_error;
};

// Reads a number kept as text the way the class library does: blanks
// around it, an optional sign, then decimal digits or hex digits after "$" or
// "0x". Hex covers the full 32 bits ("$FFFFFFFF" is -1); a decimal number
// outside the 32-bit range, or anything else, fails.
bool parseInteger(QStringView text, std::int32_t *out);

} // namespace zk::storeio
