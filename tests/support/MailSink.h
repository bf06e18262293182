#pragma once
// The local SMTP server of the mail tests (tests/tools/smtp_sink.py under the
// system's python3) on 127.0.0.1 and a free port, and what it received.
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace zktest {

class TMailSink
{
public:
    // mode: "accept", "reject-rcpt" (every recipient refused with 550) or
    // "starttls" (offers and requires STARTTLS with extra = {cert, key}).
    explicit TMailSink(const QString &mode = QStringLiteral("accept"), const QStringList &extra = {});
    ~TMailSink();
    bool Ready() const { return m_ready; }
    int Port() const { return m_port; }
    // The mails taken so far, one object each (see smtp_sink.py).
    QList<QJsonObject> Mails() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    bool m_ready = false;
};

// A port on 127.0.0.1 that was free a moment ago.
int freeLocalPort();

} // namespace zktest
