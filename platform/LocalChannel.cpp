#include "LocalChannel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

namespace zk {

namespace {

constexpr qint64 kReadChunk = 64 * 1024;
// Read per wake-up at most, so one busy sender cannot hold the loop.
constexpr int kChunksPerWake = 16;
// Connections the kernel holds for us until we take them.
constexpr int kBacklog = 50;

// A folder we may put a socket in: a real folder (not a link) of ours that
// nobody else can enter or write.
bool IsPrivateFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

std::uint32_t ReadLe32(const QByteArray &bytes, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | std::uint8_t(bytes.at(at + i));
    return v;
}

bool PeerIsUs(int fd)
{
    struct ucred cred;
    socklen_t len = sizeof cred;
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred)
        return false;
    return cred.uid == ::geteuid();
}

QString SystemError(const QString &what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// The address of a socket file; false when the path does not fit.
bool SocketAddress(const QString &path, sockaddr_un *address)
{
    const QByteArray name = QFile::encodeName(path);
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (name.isEmpty() || name.size() >= qsizetype(sizeof address->sun_path))
        return false;
    std::memcpy(address->sun_path, name.constData(), std::size_t(name.size()));
    return true;
}

// A connected socket to path, or -1 with errno set; waits at most timeoutMs
// when the listener's queue is full.
int ConnectTo(const sockaddr_un &address, int timeoutMs)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int r;
    do
        r = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    while (r != 0 && errno == EINTR);
    if (r != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

} // namespace

QByteArray EncodeChannelFrame(std::uint32_t id, const QByteArray &payload)
{
    QByteArray out(qsizetype(TFrameReader::kHeaderSize), '\0');
    qToLittleEndian<quint32>(id, out.data());
    qToLittleEndian<quint32>(quint32(payload.size()), out.data() + 4);
    out += payload;
    return out;
}

// ---------------------------------------------------------------------------

TFrameReader::TFrameReader(std::uint32_t maxPayload)
    : m_max(maxPayload)
{
}

void TFrameReader::Append(const QByteArray &bytes)
{
    if (!m_failed)
        m_buffer += bytes;
}

bool TFrameReader::Next(TChannelFrame *frame)
{
    if (m_failed || m_buffer.size() < qsizetype(kHeaderSize))
        return false;
    const std::uint32_t id = ReadLe32(m_buffer, 0);
    const std::uint32_t length = ReadLe32(m_buffer, 4);
    if (length > m_max) {
        m_failed = true;
        m_error = QStringLiteral("frame of %1 bytes for message 0x%2 exceeds the limit of %3 bytes")
                      .arg(length)
                      .arg(id, 0, 16)
                      .arg(m_max);
        m_buffer.clear();
        return false;
    }
    const qsizetype total = qsizetype(kHeaderSize) + qsizetype(length);
    if (m_buffer.size() < total)
        return false;
    frame->id = id;
    frame->payload = m_buffer.mid(qsizetype(kHeaderSize), qsizetype(length));
    m_buffer.remove(0, total);
    return true;
}

// ---------------------------------------------------------------------------

struct TLocalChannel::Client
{
    explicit Client(std::uint32_t max)
        : reader(max)
    {
    }
    int fd = -1;
    TFrameReader reader;
    QSocketNotifier *notifier = nullptr;
    QTimer *stall = nullptr;
};

TLocalChannel::TLocalChannel(QObject *parent)
    : QObject(parent)
{
}

TLocalChannel::~TLocalChannel()
{
    Close();
}

QString TLocalChannel::RuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (IsPrivateFolder(runtime))
        return runtime;
    const QString fallback = QDir::tempPath() + QStringLiteral("/zelkora-%1").arg(::geteuid());
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    // Someone else may have made that name first; then it is not ours to use.
    return IsPrivateFolder(fallback) ? fallback : QString();
}

QString TLocalChannel::DefaultPath()
{
    const QString folder = RuntimeFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/zelkora.sock");
}

bool TLocalChannel::Listen(const QString &path)
{
    Close();
    m_error.clear();
    if (path.isEmpty()) {
        m_error = QStringLiteral("no private runtime folder for the program's socket");
        return false;
    }
    sockaddr_un address;
    if (!SocketAddress(path, &address)) {
        m_error = QStringLiteral("%1 is too long for a socket name").arg(path);
        return false;
    }
    // Listening would replace whatever socket file is there, so a copy that
    // still answers must be found first; a file nobody answers on is what a
    // copy that died left behind.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        const int probe = ConnectTo(address, 500);
        if (probe >= 0) {
            ::close(probe);
            m_error = QStringLiteral("%1 is in use by another running copy").arg(path);
            return false;
        }
        ::unlink(address.sun_path);
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        m_error = SystemError(QStringLiteral("socket"));
        return false;
    }
    // The folder already keeps others out; the socket itself is closed to
    // them too, before anyone can connect, in case the folder is a shared
    // one after all.
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        m_error = SystemError(path);
        ::close(fd);
        return false;
    }
    if (::chmod(address.sun_path, 0600) != 0 || ::listen(fd, kBacklog) != 0) {
        m_error = SystemError(path);
        ::close(fd);
        ::unlink(address.sun_path);
        return false;
    }
    m_listenFd = fd;
    m_path = path;
    m_listenNotifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(m_listenNotifier, &QSocketNotifier::activated, this, &TLocalChannel::OnNewConnection);
    return true;
}

void TLocalChannel::Close()
{
    const auto clients = m_clients.values();
    for (Client *c : clients)
        Forget(c);
    if (m_listenFd >= 0) {
        delete m_listenNotifier;
        m_listenNotifier = nullptr;
        ::close(m_listenFd);
        m_listenFd = -1;
        ::unlink(QFile::encodeName(m_path).constData()); // closing removes the socket file
        m_path.clear();
    }
}

bool TLocalChannel::IsListening() const
{
    return m_listenFd >= 0;
}

QString TLocalChannel::ServerPath() const
{
    return m_path;
}

void TLocalChannel::OnNewConnection()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return; // none waiting (or a connection that went away before it was taken)
        }
        if (!PeerIsUs(fd)) {
            ::close(fd);
            emit ConnectionRejected(QStringLiteral("a connection from another user was refused"));
            continue;
        }
        if (m_clients.size() >= kMaxClients) {
            ::close(fd);
            emit ConnectionRejected(QStringLiteral("too many connections at once"));
            continue;
        }
        auto *client = new Client(m_maxPayload);
        client->fd = fd;
        m_clients.insert(client);
        client->stall = new QTimer(this);
        client->stall->setSingleShot(true);
        client->stall->setInterval(m_stallTimeoutMs);
        connect(client->stall, &QTimer::timeout, this, [this, client] {
            Drop(client, QStringLiteral("the sender stopped in the middle of a frame"));
        });
        // Bytes that came with the connection wake it at once.
        client->notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
        connect(client->notifier, &QSocketNotifier::activated, this, [this, client] { OnReadyRead(client); });
    }
}

void TLocalChannel::OnReadyRead(Client *client)
{
    if (!m_clients.contains(client))
        return;
    QList<TChannelFrame> frames;
    bool hungUp = false;
    for (int i = 0; i < kChunksPerWake && !client->reader.Failed(); ++i) {
        QByteArray chunk(kReadChunk, Qt::Uninitialized);
        const ssize_t n = ::read(client->fd, chunk.data(), std::size_t(kReadChunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) {
            hungUp = true; // the sender is done (or the connection broke)
            break;
        }
        chunk.truncate(n);
        client->reader.Append(chunk);
        TChannelFrame frame;
        while (client->reader.Next(&frame))
            frames.append(std::move(frame));
    }
    // Frames complete before a bad header still count: they were whole.
    for (const TChannelFrame &f : frames) {
        QMetaObject::invokeMethod(
            this, [this, f] { emit MessageReceived(f.id, f.payload); }, Qt::QueuedConnection);
    }
    if (client->reader.Failed()) {
        Drop(client, client->reader.ErrorString());
        return;
    }
    if (hungUp) {
        Forget(client);
        return;
    }
    if (client->reader.Pending() > 0)
        client->stall->start();
    else
        client->stall->stop();
}

void TLocalChannel::Forget(Client *client)
{
    if (!m_clients.remove(client))
        return; // gone already
    // This may run inside the notifier's or the timer's own signal: they
    // are let go from the event loop.
    client->notifier->setEnabled(false);
    client->notifier->disconnect(this);
    client->notifier->deleteLater();
    client->stall->stop();
    client->stall->disconnect(this);
    client->stall->deleteLater();
    ::close(client->fd);
    delete client;
}

void TLocalChannel::Drop(Client *client, const QString &reason)
{
    if (!m_clients.contains(client))
        return; // dropped already
    Forget(client);
    emit ConnectionRejected(reason);
}

bool TLocalChannel::Send(std::uint32_t id, const QByteArray &payload, const QString &path, int timeoutMs,
                         QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no private runtime folder for the program's socket"));
    sockaddr_un address;
    if (!SocketAddress(path, &address))
        return fail(QStringLiteral("%1 is too long for a socket name").arg(path));
    const int fd = ConnectTo(address, timeoutMs);
    if (fd < 0)
        return fail(SystemError(path));
    // The kernel takes a small frame whole even while the receiver's loop
    // is busy; a larger one waits at most timeoutMs for room.
    const QByteArray frame = EncodeChannelFrame(id, payload);
    qsizetype done = 0;
    while (done < frame.size()) {
        const ssize_t n = ::send(fd, frame.constData() + done, std::size_t(frame.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const QString why = SystemError(path);
            ::close(fd);
            return fail(why);
        }
        done += n;
    }
    ::close(fd);
    return true;
}

} // namespace zk
