#pragma once
// The application object: every exception that reaches the event loop is
// shown to the user and the program goes on.
#include <QApplication>
#include <exception>
#include <functional>

namespace zk {

using ExceptionHandler = std::function<void(const QString &typeName, const QString &message)>;

// Tells the handler (or the log, without one) about a caught exception.
void ReportException(std::exception_ptr error, const ExceptionHandler &handler);

// Runs a delivery and turns an escaping exception into a call of the handler
// (or a log line when there is none). Returns the delivery's result, false
// after an exception.
bool DeliverGuarded(const std::function<bool()> &delivery, const ExceptionHandler &handler);

// Closes a file dialog's name-completion pop-up together with the dialog.
void InstallCompletionCloser();

class TZelkoraApplication : public QApplication
{
    Q_OBJECT

public:
    TZelkoraApplication(int &argc, char **argv);
    ~TZelkoraApplication() override;

    void SetExceptionHandler(ExceptionHandler handler) { m_handler = std::move(handler); }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    ExceptionHandler m_handler;
    bool m_inHandler = false;
};

} // namespace zk
