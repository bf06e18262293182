// Start-up of Zelkora: the start picture when the user wants it, the main
// window, then the message loop. Entered from the zelkora executable
// (app/Launcher.cpp) once it has made the one-copy test.
#include "CloseSignals.h"
#include "DLLImport.h"
#include "FirstFrame.h"
#include "FolderExplorerSetup.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "PictureClasses.h"
#include "ProgramEntry.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "SessionBus.h"
#include "Splash.h"
#include "StartupRules.h"
#include "SvcAppProperties.h"
#include "SvcOneInstance.h"
#include "ZelkoraApplication.h"

#include <fontconfig/fontconfig.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <optional>
#include <thread>


namespace {

// A second copy: hands its work to the running one and ends, having touched
// nothing. Returns the exit code.
int HandOverToFirstCopy(int argc, char **argv, zk::TsvcOneInstance &oneInstance)
{
    QString problem;
    {
        QCoreApplication core(argc, argv);
        QStringList args = QCoreApplication::arguments();
        args.removeFirst();
        // Only the first argument names a picture.
        if (args.size() > 1)
            args = args.mid(0, 1);
        oneInstance.Files = zk::TsvcOneInstance::AbsoluteFiles(args, QDir::currentPath());
        oneInstance.DoInstanceFound();
        if (!oneInstance.LockError().isEmpty())
            problem = QStringLiteral("Zelkora kann nicht prüfen, ob es schon läuft: %1")
                          .arg(oneInstance.LockError());
        else if (!oneInstance.HandedOver() && !oneInstance.Files.isEmpty())
            problem = QStringLiteral("Zelkora läuft bereits, hat die Datei aber nicht übernommen (%1):\n%2")
                          .arg(oneInstance.HandOverError(), oneInstance.Files.join(u'\n'));
        if (!oneInstance.Terminated())
            return -1; // told to keep running
    }
    if (problem.isEmpty())
        return 0;
    std::fprintf(stderr, "%s\n", qPrintable(problem));
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) {
        QApplication app(argc, argv);
        QMessageBox::warning(nullptr, QStringLiteral("Zelkora 5.0"), problem);
    }
    return oneInstance.LockError().isEmpty() ? 0 : 1;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int ZelkoraProgramMain(int argc, char **argv, int start)
{
    // One running copy: the test comes before anything else is read or
    // written, so a second copy leaves the settings and the autostart
    // entries as they are. The first copy's lock is the executable's.
    zk::TsvcOneInstance oneInstance;
    if (start != ZelkoraFirstCopy && oneInstance.InstanceExists()) {
        // The channel was already given its time: what is left is the
        // running copy's window and telling the user.
        oneInstance.HandOverTimeoutMs = 0;
        const int code = HandOverToFirstCopy(argc, argv, oneInstance);
        if (code >= 0)
            return code;
    }
    // Screen grabs, global hot keys and window information go through X11:
    // inside a Wayland session the program runs on XWayland.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("DISPLAY") && std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    // Without a session bus that could be reached or started, the first
    // connection fails at once instead of forking the program to try.
    zk::TSessionBusShortcut busShortcut;
    struct Joined
    {
        std::thread thread;
        ~Joined()
        {
            if (thread.joinable())
                thread.join();
        }
    };
    // One thing only runs beside the application's connection to the
    // display (on virtual cores any busy thread of the process makes the
    // loader's page protections and the connection's round trips wait for
    // it): fontconfig's own configuration, 7 ms from a cold process, which
    // needs nothing of Qt. It costs the application object a few tenths of
    // a millisecond; read after it, the window's first text waited for it.
    Joined fontConfig{std::thread([] { FcInit(); })};
    zk::TZelkoraApplication app(argc, argv);
    // Then the font list, on the configuration read, while the window's first
    // steps, which measure no text, are made; a text is measured in the
    // application's font, so the fallback fonts it sorts out (kept for every
    // thread) are ready too. Joined before the application goes (and before
    // fontConfig, which it joins).
    Joined fontList{std::thread([&fontConfig] {
        fontConfig.thread.join();
        QFontDatabase::families();
        QFontMetrics(QGuiApplication::font()).height();
    })};
    // Then other cores do the rest of what the window will wait for.
    // The settings file is parsed, and every later read finds it parsed. The
    // language stored there is the first value needed: the language file is
    // read, and that language's section indexed, as soon as it is known.
    const std::shared_future<int> storedLanguage =
        std::async(std::launch::async, [] { return zk::StoredLanguageIndex(); }).share();
    zk::PreloadLanguageFile(zk::ProgramDir() + QStringLiteral("Templates/Languages.lng"),
                            [storedLanguage] { return zk::LanguageName(storedLanguage.get()); });
    // The first control given a text starts the accessibility bridge, which
    // waits for a connection to the session bus (where there is none, for
    // an attempt to start one): that connection is made meanwhile, and the
    // bridge finds it made.
    Joined sessionBus{std::thread([] { QDBusConnection::sessionBus(); })};
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

    // Building the window reads a few hundred settings: they come from one
    // look at the store file.
    std::optional<zk::TRegistryOneLook> oneLook(std::in_place);
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
    // What the window queues for later waits until its first frame is on
    // the screen, so the user does not look at an empty frame meanwhile.
    zk::HoldUntilFirstFrame();
    zk::TMainForm mainForm(files);
    // An exception that reaches the event loop goes through the chain of the
    // application components (the main window's shows the error box); with
    // no handler left, the standard box shows it.
    zk::TsvcAppPropList::SetStandardExceptionDisplay([](const QString &type, const QString &message) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Zelkora 5.0"), zk::ExceptionBoxText(type, message));
        box.setObjectName(QStringLiteral("ExceptionBox"));
        box.exec();
    });
    app.SetExceptionHandler([](const QString &type, const QString &message) {
        zk::TsvcAppPropList::DispatchException(type, message);
    });
    zk::TCloseSignals closeSignals([&mainForm](int) { mainForm.CloseBySignal(); });
    // From the map request to the map the window manager frames the window
    // (2-3 ms), and no frame can be painted before: the docked explorer is
    // built meanwhile instead of before the show.
    zk::ShowWithFolderExplorer(mainForm);
    oneLook.reset();
    // The window's first control with a text has tried the bus connection
    // and found there is none: the environment is the user's again for the
    // programs started from here.
    if (busShortcut.Active()) {
        sessionBus.thread.join();
        busShortcut.Release();
    }
    zk::ReleaseAfterFirstFrame(mainForm.windowHandle());
    // The two outside modules are bound once, from the program's folder,
    // right after the window's first frame (only commands use them), and let go
    // only after every window that used them is gone (modulesGuard).
    zk::AfterFirstFrame(&app, [] { zk::LoadOutsideModules(); });

    splash.reset();
    return app.exec();
}
