#pragma once
// Sending one mail to an SMTP server with libcurl, on a worker thread. The
// GUI thread gets progress and the result as queued signals, so a slow or
// silent server never blocks it. Nothing of a mail (addresses, text, names,
// server lines) is written to stderr or a log.
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

namespace zk {

struct TSmtpMessage
{
    QString Host;
    int Port = 25;
    // The name this client gives in its greeting; the local host name when empty.
    QString ClientName;
    QString From;
    QStringList To;
    QStringList Cc;
    QStringList Bcc; // envelope only, never a header
    QString Subject;
    QString Body;
    QStringList Attachments; // full paths
    int ConnectTimeoutSeconds = 30;
    // The longest the server may stay silent or the transfer stand still.
    int StallSeconds = 60;
};

// The addresses of a field that may hold several, one a line (or separated
// by ',' or ';'); blanks trimmed, empty entries dropped.
QStringList SplitMailAddresses(const QString &text);
// A header value with CR and LF (and other control characters) replaced by
// blanks, so a value can never start a header of its own.
QString CleanHeaderValue(const QString &value);
// The subject as RFC 2047 encoded word(s) when it is not plain ASCII.
QByteArray EncodeHeaderWord(const QString &value);
// The server part of an smtp:// address from the host field: "host" takes
// defaultPort, "host:port" and "[v6]:port" their own port, a bare IPv6
// address gets its brackets. A port that is not 1..65535 is left in the
// text, so the mail library refuses the address with its own reason.
QByteArray SmtpServerAddress(const QString &hostField, int defaultPort);

class TSmtpSender : public QObject
{
    Q_OBJECT
public:
    explicit TSmtpSender(QObject *parent = nullptr);
    ~TSmtpSender() override; // waits for a running send after asking it to stop

    // Starts the send; false when one is still running or the message has no
    // recipient or sender (Error() tells why, nothing is sent).
    bool Start(const TSmtpMessage &message);
    bool Running() const { return m_running; }
    QString Error() const { return m_error; }

signals:
    // bytes of the mail sent so far, of total
    void PacketSent(qint64 sent, qint64 total);
    // ok, or the server's last reply line / the transfer's reason
    void Finished(bool ok, const QString &error);

private:
    void Run(TSmtpMessage message);

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_running = false;
    QString m_error;
};

} // namespace zk
