#include "SafeFile.h"

#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zk {

namespace {

constexpr int RandomLength = 12;
std::atomic<bool> g_unnamedDisabled{false};

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QByteArray enc(const QString &path)
{
    return QFile::encodeName(path);
}

bool writeAll(int fd, const char *p, qint64 left)
{
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool lockFile(int fd, bool wait)
{
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Gives the unnamed file behind fd the name dest. Fails with EEXIST when the
// name is taken.
int linkUnnamed(int fd, const QString &dest)
{
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, proc, AT_FDCWD, enc(dest).constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    int err = errno;
    if (err == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
        // Without /proc only a privileged process can link by descriptor.
        if (::linkat(fd, "", AT_FDCWD, enc(dest).constData(), AT_EMPTY_PATH) == 0)
            return 0;
        err = errno;
    }
    return err;
}

} // namespace

void SetUnnamedTempFilesDisabled(bool disabled)
{
    g_unnamedDisabled = disabled;
}

QString TempNameFor(const QString &finalPath)
{
    static const char letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    const QFileInfo info(finalPath);
    QString random;
    quint64 bits = QRandomGenerator::global()->generate64();
    for (int i = 0; i < RandomLength; ++i) {
        random.append(QLatin1Char(letters[bits % 36]));
        bits /= 36;
    }
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') + random +
           QStringLiteral(".tmp");
}

bool IsOurTempName(const QString &fileName)
{
    // "." + at least one character + "." + 12 random letters + ".tmp"
    const qsizetype n = fileName.size();
    if (n < 1 + 1 + 1 + RandomLength + 4 || !fileName.startsWith(u'.') || !fileName.endsWith(QLatin1String(".tmp")))
        return false;
    const qsizetype randomStart = n - 4 - RandomLength;
    if (fileName.at(randomStart - 1) != u'.')
        return false;
    for (qsizetype i = randomStart; i < n - 4; ++i) {
        const QChar c = fileName.at(i);
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z')))
            return false;
    }
    return true;
}

int RemoveOrphanedTemps(const QString &dir, bool *held)
{
    DIR *d = ::opendir(enc(dir).constData());
    if (!d)
        return 0;
    int removed = 0;
    while (const dirent *e = ::readdir(d)) {
        const QString name = QFile::decodeName(e->d_name);
        if (!IsOurTempName(name))
            continue;
        const QByteArray path = enc(QDir(dir).filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat stFile, named;
        // Only our own regular files, and only when no living writer holds
        // the lock; the name must still lead to the file we locked (a writer
        // may have renamed it into place meanwhile).
        if (::fstat(fd, &stFile) == 0 && S_ISREG(stFile.st_mode) && stFile.st_uid == ::geteuid()) {
            if (!lockFile(fd, false)) {
                if (held)
                    *held = true;
            } else if (::lstat(path.constData(), &named) == 0 && sameFile(stFile, named) &&
                       ::unlink(path.constData()) == 0) {
                ++removed;
            }
        }
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

void RemoveOrphanedTempsOnce(const QString &dir)
{
    static std::mutex mutex;
    static QSet<QString> done;
    const QString key = QDir::cleanPath(QDir(dir).absolutePath());
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (done.contains(key))
            return;
        done.insert(key);
    }
    RemoveOrphanedTemps(key);
}

TPendingFile::~TPendingFile()
{
    Discard();
}

void TPendingFile::Discard()
{
    if (!m_temp.isEmpty())
        ::unlink(enc(m_temp).constData());
    m_temp.clear();
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
    m_fd = -1;
}

bool TPendingFile::Write(const QString &finalPath, const QByteArray &data, mode_t mode, QString *error,
                         const QString &keepModeOf)
{
    if (!Open(finalPath, mode, error, keepModeOf))
        return false;
    if (!writeAll(m_fd, data.constData(), data.size()) || ::fsync(m_fd) != 0) {
        const int err = errno;
        Discard();
        if (error)
            *error = systemError(err);
        return false;
    }
    return true;
}

bool TPendingFile::Open(const QString &finalPath, mode_t mode, QString *error, const QString &keepModeOf)
{
    Discard();
    m_final = finalPath;
    const QString dir = QFileInfo(finalPath).absolutePath();
    RemoveOrphanedTempsOnce(dir);
    auto fail = [&](int err) {
        Discard();
        if (error)
            *error = systemError(err);
        return false;
    };

    bool keepMode = false;
    struct stat st;
    if (!keepModeOf.isEmpty() && ::stat(enc(keepModeOf).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
        keepMode = true;
    }

    m_unnamed = false;
    if (!g_unnamedDisabled) {
        int fd;
        do {
            fd = ::open(enc(dir).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            m_fd = fd;
            m_unnamed = true;
            lockFile(fd, true); // nobody else can reach it yet
        } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return fail(errno); // no space, no permission: a named file fares no better
        }
    }
    if (!m_unnamed) {
        // A kill from here on leaves a named file: the next start must know
        // where to look for it.
        if (m_fixedTemp.isEmpty())
            NoteTempFolder(dir);
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            const QString temp = m_fixedTemp.isEmpty() ? TempNameFor(finalPath) : m_fixedTemp;
            if (!m_fixedTemp.isEmpty())
                ::unlink(enc(temp).constData()); // a leftover of a killed writer
            const int fd = ::open(enc(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd < 0) {
                if (errno == EEXIST && m_fixedTemp.isEmpty())
                    continue;
                return fail(errno);
            }
            // A cleaner could have taken the name between open and lock: make
            // sure the name still leads to our file once we hold the lock.
            struct stat held, named;
            if (lockFile(fd, false) && ::fstat(fd, &held) == 0 && ::lstat(enc(temp).constData(), &named) == 0 &&
                sameFile(held, named)) {
                m_fd = fd;
                m_temp = temp;
            } else {
                ::close(fd);
            }
        }
        if (m_fd < 0)
            return fail(EEXIST);
    }
    // The umask may have cleared bits of the old file's mode; restore them.
    if (keepMode)
        (void)::fchmod(m_fd, mode);
    return true;
}

bool TPendingFile::nameTemp(QString *error)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString temp = m_fixedTemp.isEmpty() ? TempNameFor(m_final) : m_fixedTemp;
        if (!m_fixedTemp.isEmpty())
            ::unlink(enc(temp).constData());
        const int err = linkUnnamed(m_fd, temp);
        if (err == 0) {
            m_temp = temp;
            return true;
        }
        if (err != EEXIST || !m_fixedTemp.isEmpty()) {
            if (error)
                *error = systemError(err);
            return false;
        }
    }
    if (error)
        *error = systemError(EEXIST);
    return false;
}

bool TPendingFile::Replace(QString *error)
{
    if (m_fd < 0) {
        if (error)
            *error = QStringLiteral("nothing was written");
        return false;
    }
    if (m_unnamed && m_temp.isEmpty() && !nameTemp(error)) {
        Discard();
        return false;
    }
    if (::rename(enc(m_temp).constData(), enc(m_final).constData()) != 0) {
        const int err = errno;
        Discard();
        if (error)
            *error = systemError(err);
        return false;
    }
    m_temp.clear();
    Discard();
    return true;
}

bool TPendingFile::Sync(QString *error)
{
    if (m_fd >= 0 && ::fsync(m_fd) == 0)
        return true;
    const int err = m_fd >= 0 ? errno : EBADF;
    Discard();
    if (error)
        *error = systemError(err);
    return false;
}

bool TPendingFile::LinkNewAs(const QString &finalPath, bool *nameTaken, QString *error)
{
    m_final = finalPath;
    return linkNew(nameTaken, error, true);
}

bool TPendingFile::LinkNew(bool *nameTaken, QString *error)
{
    return linkNew(nameTaken, error, false);
}

bool TPendingFile::linkNew(bool *nameTaken, QString *error, bool keepWhenTaken)
{
    *nameTaken = false;
    if (m_fd < 0) {
        if (error)
            *error = QStringLiteral("nothing was written");
        return false;
    }
    const QByteArray to = enc(m_final);
    int err;
    if (m_unnamed && m_temp.isEmpty()) {
        // A link never replaces: the name is ours or the link fails.
        err = linkUnnamed(m_fd, m_final);
    } else {
        const QByteArray from = enc(m_temp);
        // renameat2 with RENAME_NOREPLACE is atomic where the file system
        // has it; a hard link fails the same way on a name that appeared
        // meanwhile.
        int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        err = rc == 0 ? 0 : errno;
        if (rc != 0 && (err == EINVAL || err == ENOSYS)) {
            rc = ::link(from.constData(), to.constData());
            err = rc == 0 ? 0 : errno;
        }
        if (rc == 0 && !QFileInfo::exists(m_temp))
            m_temp.clear(); // renamed; after a link the temporary name goes in discard
    }
    if (err == EEXIST && keepWhenTaken) {
        *nameTaken = true;
        return false;
    }
    Discard();
    if (err == 0)
        return true;
    if (err == EEXIST)
        *nameTaken = true;
    else if (error)
        *error = systemError(err);
    return false;
}

// ---------------------------------------------------------------------------
// Folders of named temporary files

namespace {
std::mutex g_notedMutex;
QSet<QString> g_noted; // folders noted by this process

QStringList readNoted(const QString &file)
{
    QFile f(file);
    QStringList folders;
    // Never more than a small list; a file that is not one is not read.
    if (QFileInfo(file).isFile() && QFileInfo(file).size() < 1024 * 1024 && f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.isEmpty() && !folders.contains(QFile::decodeName(line)))
                folders.append(QFile::decodeName(line));
    return folders;
}
} // namespace

QString NotedTempFoldersFile()
{
    return QFileInfo(TRegistry::StoreFile(RootKey::CurrentUser)).absolutePath() + QStringLiteral("/temp-folders");
}

void NoteTempFolder(const QString &dir)
{
    const QString key = QDir::cleanPath(QDir(dir).absolutePath());
    std::lock_guard<std::mutex> guard(g_notedMutex);
    if (g_noted.contains(key))
        return;
    g_noted.insert(key);
    const QString file = NotedTempFoldersFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    // One short line appended in one write: a kill leaves it whole or absent.
    const int fd = ::open(enc(file).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          0600);
    if (fd < 0)
        return;
    const QByteArray line = enc(key) + '\n';
    (void)writeAll(fd, line.constData(), line.size());
    ::close(fd);
}

void RemoveNotedTemps()
{
    const QString file = NotedTempFoldersFile();
    QStringList stillHeld;
    for (const QString &dir : readNoted(file)) {
        bool held = false;
        RemoveOrphanedTemps(dir, &held);
        if (held)
            stillHeld.append(dir);
    }
    std::lock_guard<std::mutex> guard(g_notedMutex);
    // Folders this process noted meanwhile stay as well.
    for (const QString &dir : std::as_const(g_noted))
        if (!stillHeld.contains(dir))
            stillHeld.append(dir);
    if (stillHeld.isEmpty()) {
        ::unlink(enc(file).constData());
        return;
    }
    TPendingFile pending;
    QString error;
    if (pending.Write(file, enc(stillHeld.join(u'\n')) + '\n', 0600, &error))
        pending.Replace(&error);
}

QString ResolveLinkTarget(const QString &path)
{
    QString target = path;
    for (int depth = 0; depth < 16; ++depth) {
        const QFileInfo fi(target);
        if (!fi.isSymLink())
            break;
        target = fi.symLinkTarget();
    }
    return target;
}

int OpenRegularFd(const QString &path, QString *error, qint64 *size)
{
    int fd;
    do {
        fd = ::open(enc(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    const auto fail = [&](const QString &why) {
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = why;
        return -1;
    };
    if (fd < 0)
        return fail(systemError(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return fail(systemError(errno));
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("it is not a regular file"));
    if (size)
        *size = qint64(st.st_size);
    return fd;
}

bool OpenRegularFile(QFile &file, const QString &path, QString *error)
{
    const int fd = OpenRegularFd(path, error);
    if (fd < 0)
        return false;
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// TSafeFile

TSafeFile::TSafeFile(const QString &fileName, QObject *parent)
    : QIODevice(parent)
    , m_name(fileName)
{
}

TSafeFile::~TSafeFile()
{
    cancelWriting();
}

bool TSafeFile::open(OpenMode mode)
{
    if (isOpen() || !(mode & WriteOnly) || (mode & (ReadOnly | Append))) {
        setErrorString(QStringLiteral("a file written safely is opened for writing only"));
        return false;
    }
    const QString target = ResolveLinkTarget(m_name);
    struct stat st;
    const bool exists = ::stat(enc(target).constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        setErrorString(QStringLiteral("\"%1\" is not a regular file").arg(target));
        return false;
    }
    // A file the user made read-only stays: a rename over it would undo that.
    if (exists && ::faccessat(AT_FDCWD, enc(target).constData(), W_OK, AT_EACCESS) != 0) {
        setErrorString(QStringLiteral("\"%1\" is read-only").arg(target));
        return false;
    }
    QString error;
    if (!m_pending.Open(target, 0666, &error, exists ? target : QString())) {
        setErrorString(error);
        return false;
    }
    m_size = 0;
    m_failed = false;
    return QIODevice::open(mode | Unbuffered);
}

qint64 TSafeFile::readData(char *, qint64)
{
    return -1;
}

qint64 TSafeFile::writeData(const char *data, qint64 size)
{
    if (m_failed || m_pending.Fd() < 0)
        return -1;
    const qint64 start = pos();
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(m_pending.Fd(), data + done, size_t(size - done), off_t(start + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_failed = true;
            setErrorString(systemError(errno));
            return -1;
        }
        done += n;
    }
    m_size = std::max(m_size, start + done);
    return done;
}

bool TSafeFile::commit()
{
    if (!isOpen())
        return false;
    QIODevice::close();
    QString error;
    if (m_failed) {
        m_pending.Discard();
        return false;
    }
    if (::fsync(m_pending.Fd()) != 0) {
        setErrorString(systemError(errno));
        cancelWriting();
        return false;
    }
    if (!m_pending.Replace(&error)) {
        setErrorString(error);
        return false;
    }
    return true;
}

bool TSafeFile::commitNew(bool *nameTaken)
{
    *nameTaken = false;
    if (!isOpen())
        return false;
    QIODevice::close();
    QString error;
    if (m_failed || ::fsync(m_pending.Fd()) != 0) {
        if (!m_failed)
            setErrorString(systemError(errno));
        m_pending.Discard();
        return false;
    }
    if (!m_pending.LinkNew(nameTaken, &error)) {
        setErrorString(*nameTaken ? QStringLiteral("\"%1\" exists already").arg(m_name) : error);
        return false;
    }
    return true;
}

bool CopyStreamSafely(QIODevice &in, const QString &dest, bool replace, QString *error, bool *nameTaken)
{
    bool taken = false;
    TSafeFile out(dest);
    bool ok = out.open(QIODevice::WriteOnly);
    QString reason = ok ? QString() : out.errorString();
    std::vector<char> buf(256 * 1024);
    while (ok) {
        const qint64 n = in.read(buf.data(), qint64(buf.size()));
        if (n <= 0) {
            ok = n == 0;
            if (!ok)
                reason = in.errorString();
            break;
        }
        ok = out.write(buf.data(), n) == n;
        if (!ok)
            reason = out.errorString();
    }
    if (ok) {
        ok = replace ? out.commit() : out.commitNew(&taken);
        if (!ok)
            reason = out.errorString();
    }
    if (!ok) {
        out.cancelWriting();
        if (error)
            *error = reason;
        if (nameTaken)
            *nameTaken = taken;
    }
    return ok;
}

bool CopyFileSafely(const QString &source, const QString &dest, bool replace, QString *error, bool *nameTaken)
{
    QFile in;
    if (!OpenRegularFile(in, source, error))
        return false;
    return CopyStreamSafely(in, dest, replace, error, nameTaken);
}

void TSafeFile::cancelWriting()
{
    if (isOpen())
        QIODevice::close();
    m_pending.Discard();
}

void TSafeFile::close()
{
    // Like QSaveFile: closing without commit() writes nothing.
    cancelWriting();
}

} // namespace zk
