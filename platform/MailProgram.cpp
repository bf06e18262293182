#include "MailProgram.h"

#include <QFileInfo>
#include <QUrlQuery>

namespace zk {

QStringList XdgEmailArguments(const QString &to, const QString &subject, const QString &body,
                              const QStringList &attachments)
{
    QStringList args;
    if (!subject.isEmpty())
        args << QStringLiteral("--subject") << subject;
    if (!body.isEmpty())
        args << QStringLiteral("--body") << body;
    for (const QString &file : attachments)
        args << QStringLiteral("--attach") << QFileInfo(file).absoluteFilePath();
    if (!to.trimmed().isEmpty())
        args << to.trimmed();
    return args;
}

QUrl MailtoUrl(const QString &to, const QString &subject, const QString &body)
{
    QString text = QStringLiteral("mailto:") + QString::fromLatin1(QUrl::toPercentEncoding(to.trimmed(), "@"));
    text += QStringLiteral("?subject=") + QString::fromLatin1(QUrl::toPercentEncoding(subject));
    text += QStringLiteral("&body=") + QString::fromLatin1(QUrl::toPercentEncoding(body));
    return QUrl(text, QUrl::StrictMode);
}

TMailProgram::TMailProgram(QObject *parent) : QObject(parent) {}

TMailProgram::~TMailProgram()
{
    // xdg-email hands the mail to the mail program and ends; give a run
    // that is still finishing a moment before the watch over it goes.
    if (m_process) {
        m_process->disconnect(this);
        if (m_process->state() != QProcess::NotRunning)
            m_process->waitForFinished(2000);
        delete m_process.data();
    }
}

bool TMailProgram::Running() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

bool TMailProgram::Start(const QStringList &arguments)
{
    if (Running())
        return false;
    auto *p = new QProcess(this);
    m_process = p;
    p->setProcessChannelMode(QProcess::SeparateChannels);
    p->setStandardInputFile(QProcess::nullDevice());
    connect(p, &QProcess::errorOccurred, this, [this, p](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart)
            return;
        emit Finished(-1, p->errorString());
        p->deleteLater();
    });
    connect(p, &QProcess::finished, this, [this, p](int code, QProcess::ExitStatus status) {
        QString detail;
        const QList<QByteArray> lines = p->readAllStandardError().trimmed().split('\n');
        if (!lines.isEmpty())
            detail = QString::fromLocal8Bit(lines.last()).trimmed();
        emit Finished(status == QProcess::NormalExit ? code : -1, detail);
        p->deleteLater();
    });
    p->start(QStringLiteral("xdg-email"), arguments);
    return true;
}

} // namespace zk
