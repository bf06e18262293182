#include "MailSink.h"

#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>

namespace zktest {

int freeLocalPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

TMailSink::TMailSink(const QString &mode, const QStringList &extra)
{
    for (int attempt = 0; attempt < 3 && !m_ready; ++attempt) {
        m_port = freeLocalPort();
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        QStringList{QStringLiteral(ZK_SOURCE_DIR "/tests/tools/smtp_sink.py"), QString::number(m_port),
                         m_dir.filePath(QStringLiteral("mails.jsonl")), mode} + extra);
        if (!m_process.waitForStarted(10000))
            return;
        while (m_process.state() == QProcess::Running && !m_process.canReadLine())
            m_process.waitForReadyRead(10000);
        m_ready = m_process.readLine().trimmed() == "ready";
        if (!m_ready) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

TMailSink::~TMailSink()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

QList<QJsonObject> TMailSink::Mails() const
{
    QList<QJsonObject> out;
    QFile f(m_dir.filePath(QStringLiteral("mails.jsonl")));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            out << QJsonDocument::fromJson(line).object();
    return out;
}

} // namespace zktest
