#include "LocalChannel.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace zk {

namespace {

constexpr qint64 kReadChunk = 64 * 1024;

std::uint32_t ReadLe32(const QByteArray &bytes, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | std::uint8_t(bytes.at(at + i));
    return v;
}

bool PeerIsUs(QLocalSocket *socket)
{
    struct ucred cred;
    socklen_t len = sizeof cred;
    const int fd = int(socket->socketDescriptor());
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred)
        return false;
    return cred.uid == ::geteuid();
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
    if (length > m_idLimits.value(id, m_max)) {
        m_failed = true;
        m_error = QStringLiteral("frame of %1 bytes for message 0x%2 exceeds the limit of %3 bytes")
                      .arg(length)
                      .arg(id, 0, 16)
                      .arg(m_idLimits.value(id, m_max));
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
    TFrameReader reader;
    QTimer *stall = nullptr; // a child of the socket, so it goes with it
};

TLocalChannel::TLocalChannel(QObject *parent)
    : QObject(parent)
{
}

TLocalChannel::~TLocalChannel()
{
    Close();
}

bool TLocalChannel::Listen(const QString &path)
{
    Close();
    m_error.clear();
    if (path.isEmpty()) {
        m_error = QStringLiteral("no private runtime folder for the program's socket");
        return false;
    }
    // Listening would replace whatever socket file is there, so a copy that
    // still answers must be found first; a file nobody answers on is what a
    // copy that died left behind.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(500)) {
            probe.abort();
            m_error = QStringLiteral("%1 is in use by another running copy").arg(path);
            return false;
        }
        QLocalServer::removeServer(path);
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(kMaxClients);
    const bool ok = m_server->listen(path);
    if (!ok) {
        m_error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    // The folder already keeps others out; the socket itself is closed to
    // them too, in case the folder is a shared one after all.
    ::chmod(QFile::encodeName(path).constData(), 0600);
    connect(m_server, &QLocalServer::newConnection, this, &TLocalChannel::OnNewConnection);
    return true;
}

void TLocalChannel::Close()
{
    const auto sockets = m_clients.keys();
    for (QLocalSocket *s : sockets) {
        delete m_clients.take(s);
        s->disconnect(this);
        s->abort();
        s->deleteLater();
    }
    if (m_server) {
        m_server->close(); // removes the socket file
        delete m_server;
        m_server = nullptr;
    }
}

bool TLocalChannel::IsListening() const
{
    return m_server && m_server->isListening();
}

QString TLocalChannel::ServerPath() const
{
    return m_server ? m_server->fullServerName() : QString();
}

void TLocalChannel::OnNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (!PeerIsUs(socket)) {
            emit ConnectionRejected(QStringLiteral("a connection from another user was refused"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (m_clients.size() >= kMaxClients) {
            emit ConnectionRejected(QStringLiteral("too many connections at once"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *client = new Client(m_maxPayload);
        for (auto it = m_idLimits.cbegin(); it != m_idLimits.cend(); ++it)
            client->reader.SetIdLimit(it.key(), it.value());
        m_clients.insert(socket, client);
        socket->setReadBufferSize(kReadChunk);
        client->stall = new QTimer(socket);
        client->stall->setSingleShot(true);
        client->stall->setInterval(m_stallTimeoutMs);
        connect(client->stall, &QTimer::timeout, this, [this, socket] {
            const Client *c = m_clients.value(socket);
            Drop(socket, c && c->reader.Pending() > 0 ? QStringLiteral("the sender stopped in the middle of a frame")
                                                      : QStringLiteral("the sender sent nothing"));
        });
        // A connection that never sends would hold its place for ever: the
        // limit runs from the start, not only once bytes are pending.
        client->stall->start();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            delete m_clients.take(socket);
            socket->deleteLater();
        });
        // Bytes may have come with the connection itself.
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void TLocalChannel::OnReadyRead(QLocalSocket *socket)
{
    Client *client = m_clients.value(socket);
    if (!client)
        return;
    QList<TChannelFrame> frames;
    while (socket->bytesAvailable() > 0) {
        client->reader.Append(socket->read(kReadChunk));
        TChannelFrame frame;
        while (client->reader.Next(&frame))
            frames.append(std::move(frame));
        if (client->reader.Failed())
            break;
    }
    // Frames complete before a bad header still count: they were whole.
    for (const TChannelFrame &f : frames) {
        QMetaObject::invokeMethod(
            this, [this, f] { emit MessageReceived(f.id, f.payload); }, Qt::QueuedConnection);
    }
    if (client->reader.Failed()) {
        Drop(socket, client->reader.ErrorString());
        return;
    }
    // Every arrival gives the sender the whole limit again.
    client->stall->start();
}

void TLocalChannel::Drop(QLocalSocket *socket, const QString &reason)
{
    Client *client = m_clients.take(socket);
    if (!client)
        return; // dropped already
    client->stall->stop();
    client->stall->disconnect(this);
    delete client;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    emit ConnectionRejected(reason);
}

bool TLocalChannel::Send(std::uint32_t id, const QByteArray &payload, const QString &path, int timeoutMs,
                         QString *error)
{
    return Send(QList<TChannelFrame>{TChannelFrame{id, payload}}, path, timeoutMs, error);
}

bool TLocalChannel::Send(const QList<TChannelFrame> &frames, const QString &path, int timeoutMs, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no private runtime folder for the program's socket"));
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return fail(socket.errorString());
    QByteArray bytes;
    for (const TChannelFrame &f : frames)
        bytes += EncodeChannelFrame(f.id, f.payload);
    if (socket.write(bytes) != bytes.size())
        return fail(socket.errorString());
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(timeoutMs))
            return fail(socket.errorString());
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

} // namespace zk
