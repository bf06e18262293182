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
#include <QFile>
#include <QIODevice>
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
    // Makes the temporary file for finalPath without writing anything; the
    // caller writes through Fd() and flushes before publishing.
    bool Open(const QString &finalPath, mode_t mode, QString *error, const QString &keepModeOf = QString());
    int Fd() const { return m_fd; }
    // Removes whatever was not published.
    void Discard();

    // Puts the file under finalPath, replacing what is there.
    bool Replace(QString *error);
    // Puts the file under finalPath only when that name is free. Returns
    // false with *nameTaken set when it is taken (nothing written), false
    // with *error on any other failure.
    bool LinkNew(bool *nameTaken, QString *error);
    // The same under another free name; when that name is taken the file
    // stays pending, so the next name can be tried with the same bytes.
    bool LinkNewAs(const QString &finalPath, bool *nameTaken, QString *error);
    // Flushes what was written through Fd() to the disk; false with *error
    // (nothing left behind) when that fails.
    bool Sync(QString *error);

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
    bool linkNew(bool *nameTaken, QString *error, bool keepWhenTaken);

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
// and that no living writer holds. Returns how many it removed; *held is
// set when a living writer's file was found.
int RemoveOrphanedTemps(const QString &dir, bool *held = nullptr);
// The same, once per folder and process: called before the first write into
// a folder. Start-up marks the folders it has cleaned through it as well.
void RemoveOrphanedTempsOnce(const QString &dir);

// Remembers a folder in which a named temporary file is about to be made,
// so that the next start cleans it even if nothing is written there again.
void NoteTempFolder(const QString &dir);
// Cleans every folder noted so far (start-up does this once). Folders in
// which a living writer still holds a file stay noted.
void RemoveNotedTemps();
// Where the noted folders are kept (beside the settings store).
QString NotedTempFoldersFile();

// A file written the safe way while it is being made, for writers that
// stream and seek (a video, a converted picture): bytes go to the temporary
// file of TPendingFile, and commit() flushes it and puts it in place of the
// target. Without commit() nothing of it remains. The interface is that of
// QSaveFile, so it stands in wherever one would be used. A symbolic link as
// target is written through: the file it leads to is replaced.
class TSafeFile : public QIODevice
{
public:
    explicit TSafeFile(const QString &fileName = QString(), QObject *parent = nullptr);
    ~TSafeFile() override;

    void setFileName(const QString &fileName) { m_name = fileName; }
    QString fileName() const { return m_name; }
    // Only write modes; the target is never read.
    bool open(OpenMode mode) override;
    // Flushes and publishes; false (the target as it was) when any write
    // failed or the file cannot be put in place.
    bool commit();
    // The same, but only under a free name: false with *nameTaken set when
    // the name was taken meanwhile (nothing is replaced then).
    bool commitNew(bool *nameTaken);
    void cancelWriting();
    void close() override;

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    // The descriptor being written (for hints to the kernel), -1 when closed.
    int handle() const { return m_pending.Fd(); }
    // Writes go straight to the file; false once one of them failed.
    bool flush() const { return !m_failed; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QString m_name;
    TPendingFile m_pending;
    qint64 m_size = 0;
    bool m_failed = false;
};

// Opens path for reading into file only when it is a regular file: opened
// without blocking (a FIFO in its place must not hang the program) and
// checked before anything is read, so a FIFO or a device such as /dev/zero
// is refused with *error.
bool OpenRegularFile(QFile &file, const QString &path, QString *error);
// The same as a bare descriptor for reading by position (the caller closes
// it), with the file's size in *size; -1 with *error when refused.
int OpenRegularFd(const QString &path, QString *error, qint64 *size = nullptr);

// Copies what is left of in into dest through a TSafeFile: replacing dest,
// or (replace false) only when the name is free. False with *error (and
// *nameTaken when the name was taken) on failure; nothing is left behind.
bool CopyStreamSafely(QIODevice &in, const QString &dest, bool replace, QString *error,
                      bool *nameTaken = nullptr);
// The same from a file, which must be a regular one.
bool CopyFileSafely(const QString &source, const QString &dest, bool replace, QString *error,
                    bool *nameTaken = nullptr);

// The file a write to path replaces: a symbolic link is followed, so the
// link itself survives (dotfile managers link settings files into place).
QString ResolveLinkTarget(const QString &path);

// When set (by tests), unnamed files are never used, as on a file system
// without them.
void SetUnnamedTempFilesDisabled(bool disabled);

} // namespace zk
