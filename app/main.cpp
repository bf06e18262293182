// Start-up of Zelkora: the start picture when the user wants it, the main
// window, then the message loop.
#include "CloseSignals.h"
#include "DLLImport.h"
#include "FolderExplorerSetup.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "PictureClasses.h"
#include "ProgramDir.h"
#include "Splash.h"
#include "StartupRules.h"
#include "ZelkoraApplication.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <thread>

#include <fontconfig/fontconfig.h>

int main(int argc, char **argv)
{
    // Screen grabs, global hot keys and window information go through X11:
    // inside a Wayland session the program runs on XWayland.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("DISPLAY") && std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    // Reading the font configuration takes milliseconds that the first text
    // of the window would wait for: a second core reads it while the
    // application connects to the display.
    std::thread fontConfig([] { FcInit(); });
    zk::TZelkoraApplication app(argc, argv);
    // The language file is read the same way while the window is built.
    zk::PreloadLanguageFile(zk::ProgramDir() + QStringLiteral("Templates/Languages.lng"));
    fontConfig.join();
    struct ModulesGuard
    {
        ~ModulesGuard() { zk::FreeOutsideModules(); }
    } modulesGuard;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        QMessageBox::warning(nullptr, QStringLiteral("Zelkora 5.0"),
                             QStringLiteral("Zelkora braucht eine X11-Anzeige (XWayland genügt). In einer reinen "
                                            "Wayland-Sitzung sind Bildschirmaufnahmen und globale Tastenkürzel "
                                            "nicht möglich."));
    }
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
    zk::CreateFolderExplorer(mainForm);
    app.SetExceptionHandler([&mainForm](const QString &type, const QString &message) {
        mainForm.ZKsvcApplicationPropertiesException(type, message);
    });
    zk::TCloseSignals closeSignals([&mainForm](int) { mainForm.CloseBySignal(); });
    mainForm.show();
    // The two outside modules are bound once, from the program's folder,
    // right after the window is up (only commands use them), and let go
    // only after every window that used them is gone (modulesGuard).
    QTimer::singleShot(0, [] { zk::LoadOutsideModules(); });

    splash.reset();
    return app.exec();
}
