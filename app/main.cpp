// Start-up of Zelkora: the start picture when the user wants it, the main
// window, then the message loop.
#include "MainForm.h"
#include "PictureClasses.h"
#include "Splash.h"
#include "StartupRules.h"
#include "ZelkoraApplication.h"

#include <QEventLoop>
#include <QTimer>
#include <memory>

int main(int argc, char **argv)
{
    zk::TZelkoraApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelkora"));
    QApplication::setApplicationDisplayName(QString());
    // The entry written when the last session ended has done its job.
    zk::RemoveRunOnceEntry();

    const bool intro = zk::IntroWanted();
    std::unique_ptr<zk::TSplashForm> splash;
    if (intro) {
        splash = std::make_unique<zk::TSplashForm>();
        splash->show();
        QApplication::processEvents();
        // Half a second for the picture, painting as the server asks.
        QEventLoop wait;
        QTimer::singleShot(500, &wait, &QEventLoop::quit);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }

    zk::RegisterPictureCodecs();
    QStringList files = QApplication::arguments();
    files.removeFirst();
    zk::TMainForm mainForm(files);
    app.SetExceptionHandler([&mainForm](const QString &type, const QString &message) {
        mainForm.ZKsvcApplicationPropertiesException(type, message);
    });
    mainForm.show();

    splash.reset();
    return app.exec();
}
