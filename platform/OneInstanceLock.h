#pragma once
// The one-copy test and the hand-over to the running copy, with nothing but
// QtCore and the message channel's module: the program's executable runs them before
// it loads the rest of the program, and TsvcOneInstance (widgets/) builds on
// them.
//
// Two lock files stand for the two named mutexes:
// "<title>.OneInstance.CriticalSection" makes the test itself exclusive,
// "<title>.OneInstance.Default" is held by the running copy for its whole
// life. flock locks go with the process, so a copy that crashed leaves
// nothing held behind.
#include <QString>
#include <QStringList>

namespace zk {

struct TInstanceLock
{
    // Another copy runs, or no lock could be had at all (error says why).
    bool exists = false;
    // The running copy's lock, held when exists is false; -1 otherwise.
    int fd = -1;
    QString error;
};

// Takes the running copy's lock in folder (empty: no usable runtime folder)
// unless another copy holds it.
TInstanceLock TestOneInstanceLock(const QString &folder, const QString &title);

// The files of a command line made absolute against folder.
QStringList AbsoluteFileArguments(const QStringList &arguments, const QString &folder);

// Sends the files to open, then "show yourself", through one connection to
// the running copy's channel at path. The running copy may still be making
// its window and not listen yet: asked again until it takes them or
// timeoutMs is up. False with the reason when it never did.
bool HandOverToRunningCopy(const QStringList &files, const QString &path, int timeoutMs, QString *error);

} // namespace zk
