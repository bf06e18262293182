#pragma once
// The user's own mail program: a new mail with recipient, subject, text and
// attached files, opened through xdg-email without waiting for it; and the
// mailto link for the desktop's handler.
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace zk {

// The arguments of xdg-email: --subject, --body, one --attach per file (full
// path), and the recipient last when there is one.
QStringList XdgEmailArguments(const QString &to, const QString &subject, const QString &body,
                              const QStringList &attachments);

// "mailto:" + recipient + subject and body, percent-encoded.
QUrl MailtoUrl(const QString &to, const QString &subject, const QString &body);

// xdg-email's exit code when no mail program could be found.
inline constexpr int kNoMailProgramExit = 3;

class TMailProgram : public QObject
{
    Q_OBJECT
public:
    explicit TMailProgram(QObject *parent = nullptr);
    ~TMailProgram() override;
    // Starts xdg-email; false (with the reason) only when one still runs.
    bool Start(const QStringList &arguments);
    bool Running() const;

signals:
    // exitCode -1 when the program could not be started or crashed; detail
    // is the program's last error line or the system's reason.
    void Finished(int exitCode, const QString &detail);

private:
    QPointer<QProcess> m_process;
};

} // namespace zk
