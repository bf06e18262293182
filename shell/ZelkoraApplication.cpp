#include "ZelkoraApplication.h"

#include "StartupRules.h"
#include "XPHintWindow.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QEvent>
#include <QFileDialog>

#include <exception>
#include <typeinfo>

namespace zk {

void ReportException(std::exception_ptr error, const ExceptionHandler &handler)
{
    QString type, message;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        type = ExceptionTypeName(typeid(e).name());
        message = QString::fromUtf8(e.what());
    } catch (...) {
        type = QStringLiteral("Exception");
        message = QStringLiteral("Unbekannter Fehler");
    }
    if (handler)
        handler(type, message);
    else
        qWarning("%s: %s", qPrintable(type), qPrintable(message));
}

bool DeliverGuarded(const std::function<bool()> &delivery, const ExceptionHandler &handler)
{
    try {
        return delivery();
    } catch (...) {
        ReportException(std::current_exception(), handler);
        return false;
    }
}

namespace {

// A file dialog closed by Enter or a double click while its name
// completion was open leaves the completion's pop-up on the screen, where
// it takes the next click meant for another window.
class TCompletionCloser : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide) {
            if (auto *dialog = qobject_cast<QFileDialog *>(watched))
                for (QCompleter *c : dialog->findChildren<QCompleter *>())
                    if (c->popup() && c->popup()->isVisible())
                        c->popup()->hide();
        }
        return false;
    }
};

} // namespace

void InstallCompletionCloser()
{
    static TCompletionCloser *closer = nullptr;
    if (closer || !qApp)
        return;
    closer = new TCompletionCloser(qApp);
    qApp->installEventFilter(closer);
}

TZelkoraApplication::TZelkoraApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // The menus stay in the program's windows: no global menu bar, so
    // creating the menu bar asks no desktop service whether one exists.
    setAttribute(Qt::AA_DontUseNativeMenuBar);
    // Every tool tip of the program gets the etched frame.
    TXPHintWindow::Install();
    InstallCompletionCloser();
}

TZelkoraApplication::~TZelkoraApplication() = default;

bool TZelkoraApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // The box itself runs events; an error inside it must not open another.
        if (m_inHandler || !m_handler) {
            ReportException(std::current_exception(), {});
            return false;
        }
        m_inHandler = true;
        ReportException(std::current_exception(), m_handler);
        m_inHandler = false;
        return false;
    }
}

} // namespace zk
