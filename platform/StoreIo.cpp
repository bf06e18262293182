#include "StoreIo.h"

#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zk::storeio {

namespace {

// Settings files are small; anything this big is not one of ours and would
// only exhaust memory.
constexpr qint64 MaxFileSize = 256ll * 1024 * 1024;

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

FileStamp stampFromStat(const struct stat &st)
{
    FileStamp s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000ll + st.st_mtim.tv_nsec;
    s.ctimeNs = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000ll + st.st_ctim.tv_nsec;
    return s;
}

// The file a write should replace: a symbolic link is followed so the link
// itself survives (dotfile managers link settings files into place).
QString resolveTarget(const QString &path)
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

} // namespace

FileStamp stampOf(const QString &path)
{
    struct stat st;
    if (::stat(encoded(path).constData(), &st) != 0)
        return {};
    return stampFromStat(st);
}

ReadResult readWholeFile(const QString &path, QByteArray *data, FileStamp *stamp, QString *error)
{
    data->clear();
    *stamp = {};
    int fd;
    do {
        fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT)
            return ReadResult::Missing;
        if (error)
            *error = errnoText(errno);
        return ReadResult::Failed;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        if (error)
            *error = errnoText(errno);
        ::close(fd);
        return ReadResult::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = QStringLiteral("it is not a regular file");
        ::close(fd);
        return ReadResult::Failed;
    }
    if (st.st_size > MaxFileSize) {
        if (error)
            *error = QStringLiteral("the file is too large (%1 bytes)").arg(st.st_size);
        ::close(fd);
        return ReadResult::Failed;
    }
    data->reserve(static_cast<qsizetype>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = errnoText(errno);
            ::close(fd);
            data->clear();
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        if (data->size() + n > MaxFileSize) {
            if (error)
                *error = QStringLiteral("the file is too large");
            ::close(fd);
            data->clear();
            return ReadResult::Failed;
        }
        data->append(buf, n);
    }
    *stamp = stampFromStat(st);
    ::close(fd);
    return ReadResult::Ok;
}

bool replaceFile(const QString &path, const QByteArray &data, mode_t newMode, QString *error,
                 const QString &tempPath)
{
    const QString target = resolveTarget(path);
    struct stat st;
    const bool exists = ::stat(encoded(target).constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        if (error)
            *error = QStringLiteral("it is not a regular file");
        return false;
    }
    TPendingFile file;
    if (!tempPath.isEmpty())
        file.SetTempName(tempPath);
    QString reason;
    if (!file.Write(target, data, newMode, &reason, exists ? target : QString()) || !file.Replace(&reason)) {
        if (error)
            *error = reason;
        return false;
    }
    // The folder is not synced: the rename reaches the disk with the next
    // journal commit, and until then the old complete file is what a crash
    // leaves. Syncing it would double the cost of every settings write.
    return true;
}

bool parseInteger(QStringView text, std::int32_t *out)
{
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    int base = 10;
    if (text.startsWith(u'$')) {
        base = 16;
        text = text.mid(1);
    } else if (text.startsWith(u"0x") || text.startsWith(u"0X")) {
        base = 16;
        text = text.mid(2);
    }
    if (text.isEmpty())
        return false;
    std::uint64_t v = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        int d;
        if (u >= '0' && u <= '9')
            d = u - '0';
        else if (base == 16 && u >= 'a' && u <= 'f')
            d = u - 'a' + 10;
        else if (base == 16 && u >= 'A' && u <= 'F')
            d = u - 'A' + 10;
        else
            return false;
        v = v * std::uint64_t(base) + std::uint64_t(d);
        if (v > 0xffffffffull)
            return false;
    }
    std::int64_t result;
    if (base == 16) {
        result = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    } else {
        result = static_cast<std::int64_t>(v);
        if (result > (negative ? 2147483648ll : 2147483647ll))
            return false;
    }
    if (negative)
        result = -result;
    *out = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(result)));
    return true;
}

ExclusiveLock::ExclusiveLock(const QString &lockPath)
{
    int fd;
    do {
        fd = ::open(encoded(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = QStringLiteral("cannot open the lock file \"%1\": %2").arg(lockPath, errnoText(errno));
        return;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        m_error = QStringLiteral("cannot lock \"%1\": %2").arg(lockPath, errnoText(errno));
        ::close(fd);
        return;
    }
    m_fd = fd;
}

ExclusiveLock::~ExclusiveLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the only descriptor releases the flock
}

} // namespace zk::storeio
