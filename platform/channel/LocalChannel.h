#pragma once
// The program's private message channel: a Unix-domain socket in the user's
// runtime folder through which other programs (and a second copy of this
// one) hand the running program short commands, as they could post window
// messages to it elsewhere. docs/ipc.md describes the wire format for
// outside senders.
//
// A message is one frame: message id (4 bytes), payload length (4 bytes),
// payload, both numbers little-endian. A frame whose length exceeds the
// receiver's limit ends that connection before anything is buffered; only
// the user who runs the program may connect (the socket is owner-only and
// every peer's uid is checked).
#include "ChannelModule.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

class QLocalServer;
class QLocalSocket;

namespace zk {

// Bytes of one frame on the wire.
QByteArray EncodeChannelFrame(std::uint32_t id, const QByteArray &payload = {});

// Splits a byte stream into frames. Once a header announces more than the
// limit the reader stays failed: the rest of that stream cannot be trusted
// to be aligned on frames any more.
class TFrameReader
{
public:
    static constexpr std::uint32_t kHeaderSize = 8;

    explicit TFrameReader(std::uint32_t maxPayload);
    // A larger (or smaller) limit for frames of one message id.
    void SetIdLimit(std::uint32_t id, std::uint32_t maxPayload) { m_idLimits.insert(id, maxPayload); }

    void Append(const QByteArray &bytes);
    // The next complete frame; false when more bytes are needed or the
    // stream failed.
    bool Next(TChannelFrame *frame);

    bool Failed() const { return m_failed; }
    QString ErrorString() const { return m_error; }
    // Bytes held that do not yet form a whole frame.
    qsizetype Pending() const { return m_buffer.size(); }

private:
    std::uint32_t m_max;
    QHash<std::uint32_t, std::uint32_t> m_idLimits;
    QByteArray m_buffer;
    bool m_failed = false;
    QString m_error;
};

class TLocalChannel : public QObject
{
    Q_OBJECT

public:
    static constexpr std::uint32_t kDefaultMaxPayload = 1u << 20;
    static constexpr int kMaxClients = 16;
    // A connection that sends nothing for this long (at its start, between
    // frames or in the middle of one) is cut off.
    static constexpr int kStallTimeoutMs = 10000;

    explicit TLocalChannel(QObject *parent = nullptr);
    ~TLocalChannel() override;

    // ChannelRuntimeFolder() and ChannelDefaultPath() (ChannelModule.h).
    static QString RuntimeFolder() { return ChannelRuntimeFolder(); }
    static QString DefaultPath() { return ChannelDefaultPath(); }

    // Starts listening. A socket file left behind by a copy that died is
    // replaced; a socket that still answers is not (false, "in use").
    bool Listen(const QString &path = DefaultPath());
    void Close();
    bool IsListening() const;
    QString ServerPath() const;
    QString ErrorString() const { return m_error; }

    // Both apply to connections made afterwards.
    void SetMaxPayload(std::uint32_t bytes) { m_maxPayload = bytes; }
    std::uint32_t MaxPayload() const { return m_maxPayload; }
    // The limit for frames of one id only; the others keep MaxPayload.
    void SetMaxPayloadFor(std::uint32_t id, std::uint32_t bytes) { m_idLimits.insert(id, bytes); }
    void SetStallTimeout(int ms) { m_stallTimeoutMs = ms; }

    // Connects, writes one frame and disconnects. False with a reason in
    // *error when no program listens or the frame could not be written.
    static bool Send(std::uint32_t id, const QByteArray &payload = {}, const QString &path = DefaultPath(),
                     int timeoutMs = 3000, QString *error = nullptr);
    // Several frames through one connection, in order (a second copy's
    // files and its "show" cost one connect).
    static bool Send(const QList<TChannelFrame> &frames, const QString &path = DefaultPath(), int timeoutMs = 3000,
                     QString *error = nullptr);

signals:
    // Delivered from the event loop after the frame arrived, never from
    // inside the socket's own handler, so a receiver may run dialogs or
    // nested loops freely.
    void MessageReceived(quint32 id, const QByteArray &payload);
    // A connection was dropped for a bad frame, a foreign peer or a stall.
    void ConnectionRejected(const QString &reason);

private:
    struct Client;
    void OnNewConnection();
    void OnReadyRead(QLocalSocket *socket);
    void Drop(QLocalSocket *socket, const QString &reason);

    QLocalServer *m_server = nullptr;
    QHash<QLocalSocket *, Client *> m_clients;
    std::uint32_t m_maxPayload = kDefaultMaxPayload;
    QHash<std::uint32_t, std::uint32_t> m_idLimits;
    int m_stallTimeoutMs = kStallTimeoutMs;
    QString m_error;
};

} // namespace zk
