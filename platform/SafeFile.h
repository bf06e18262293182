#pragma once
// Writing a file so that a process killed at any moment leaves either nothing
// new or a complete file, and no hidden leftovers that live for ever.
//
// Where the file system offers unnamed files (open with O_TMPFILE), the bytes
// go into one, are flushed, and only then get a name: a kill while writing
// leaves nothing at all. Elsewhere the bytes go to a hidden name
// ".NAME.EXT.<12 random letters>.tmp" beside the target. Either way the
// temporary file is locked (flock) for as long as its writer lives, so
// RemoveOrphanedTemps can tell a dead writer's leftover from a file another
// running copy is still writing.
#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace zk {

// Complete bytes beside their final name, not yet visible under it. Publish
// with Replace or LinkNew; the destructor removes whatever was not published
// and releases the lock.
class TPendingFile
{
public:
    // Writes and flushes data for finalPath. A new file gets mode (less the
    // umask); keepModeOf, when it names an existing file, gives its
    // permission bits instead. Returns false with *error (the system's
    // reason) when the bytes cannot be written; nothing is left behind then.
    bool Write(const QString &finalPath, const QByteArray &data, mode_t mode, QString *error,
               const QString &keepModeOf = QString());

    // Puts the file under finalPath, replacing what is there.
    bool Replace(QString *error);
    // Puts the file under finalPath only when that name is free. Returns
    // false with *nameTaken set when it is taken (nothing written), false
    // with *error on any other failure.
    bool LinkNew(bool *nameTaken, QString *error);

    // When given, the named temporary file takes this name (the caller makes
    // sure nobody else uses it, e.g. under its own lock); set before Write.
    void SetTempName(const QString &tempPath) { m_fixedTemp = tempPath; }

    TPendingFile() = default;
    ~TPendingFile();
    TPendingFile(const TPendingFile &) = delete;
    TPendingFile &operator=(const TPendingFile &) = delete;

    // Whether the last Write used an unnamed file (for tests).
    bool UsedUnnamedFile() const { return m_unnamed; }

private:
    bool nameTemp(QString *error);
    void discard();

    QString m_final;
    QString m_fixedTemp;
    QString m_temp; // named temporary file, empty when none exists
    int m_fd = -1;
    bool m_unnamed = false;
};

// The hidden temporary name for a target in our pattern, with a fresh random
// part.
QString TempNameFor(const QString &finalPath);
// Whether a file name (without folder) has the pattern of our temporary files.
bool IsOurTempName(const QString &fileName);

// Removes the temporary files of our pattern in dir that belong to this user
// and that no living writer holds. Returns how many it removed.
int RemoveOrphanedTemps(const QString &dir);
// The same, once per folder and process: called before the first write into
// a folder. Start-up marks the folders it has cleaned through it as well.
void RemoveOrphanedTempsOnce(const QString &dir);

// When set (by tests), unnamed files are never used, as on a file system
// without them.
void SetUnnamedTempFilesDisabled(bool disabled);

} // namespace zk
