#include "StoreIo.h"

#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zk::storeio {

namespace {

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

} // namespace

FileStamp stampOf(const QString &path)
{
    struct stat st;
    if (::stat(encoded(path).constData(), &st) != 0)
        return {};
    return stampFromStat(st);
}

ReadResult readWholeFile(const QString &path, QByteArray *data, FileStamp *stamp, QString *error, qint64 maxBytes)
{
    data->clear();
    *stamp = {};
    int fd;
    do {
        // Without blocking: a FIFO put in the file's place must not hang us.
        fd = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
    if (st.st_size > maxBytes) {
        if (error)
            *error = QStringLiteral("the file is too large (%1 bytes)").arg(st.st_size);
        ::close(fd);
        return ReadResult::Failed;
    }
    // Never more than the size it had when checked: a file that grows while
    // it is read is read as it was.
    data->reserve(static_cast<qsizetype>(st.st_size));
    char buf[65536];
    for (;;) {
        const qint64 left = qint64(st.st_size) - data->size();
        if (left <= 0)
            break;
        const ssize_t n = ::read(fd, buf, size_t(std::min<qint64>(left, qint64(sizeof buf))));
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
        data->append(buf, n);
    }
    *stamp = stampFromStat(st);
    ::close(fd);
    return ReadResult::Ok;
}

bool replaceFile(const QString &path, const QByteArray &data, mode_t newMode, QString *error,
                 const QString &tempPath)
{
    const QString target = ResolveLinkTarget(path);
    struct stat st;
    const bool exists = ::stat(encoded(target).constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        if (error)
            *error = QStringLiteral("it is not a regular file");
        return false;
    }
    TPendingFile file;
    // The fixed name is the caller's beside path; through a link the file is
    // made in the target's own folder under a name of its own.
    if (!tempPath.isEmpty() && target == path)
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
