// The program under fault for the fault-tolerance tests: a test starts it,
// kills it (kill -9 or a termination signal) or takes its disk or its rights
// away, and looks at what it left behind.
//
//   autosave DIR        automatic saves of one picture as PNG into DIR, one
//                       after the other until killed; "saved NAME" after each
//   start               makes the main window (the start-up clean-up runs)
//                       and prints "language N", the language it speaks
//   close LANG          makes the main window, picks language LANG (0..4)
//                       through its menu, prints "closing" and runs the close
//                       command
//   signal LANG         the same up to the language, then "ready" and the
//                       event loop until a termination signal closes it
//   start FILE          as start, with FILE on the command line
//   write KIND DIR      one writer (avi, gif, tiff, bmp, copy, convert,
//                       runonce) writing DIR/target.* again and again until
//                       killed; "wrote N" after each
//
// Every message box that appears is printed as "message NAME: TEXT" and
// closed. The close and signal modes print "flushes N renames M" for the
// close when the fsync shim is loaded. With ZK_NO_TMPFILE set, unnamed
// temporary files are not used. ZK_PROGRAM_DIR_OVERRIDE sets the program
// folder.
#include "CloseSignals.h"
#include "MainForm.h"
#include "Options.h"
#include "PictureClasses.h"
#include "PictureFiles.h"
#include "ProgramDir.h"
#include "SafeFile.h"
#include "AviFile.h"
#include "Bmp2Tiff.h"
#include "GIFImage.h"
#include "Globals.h"
#include "GraphicConvert.h"
#include "StartupRules.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// Answers every message box the way a user who reads and confirms would.
void watchMessageBoxes(QObject *owner)
{
    auto *timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, [] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible() || box->property("zkSeen").toBool())
                continue;
            box->setProperty("zkSeen", true);
            say(QStringLiteral("message %1: %2").arg(box->objectName(), box->text().simplified()));
            box->done(QMessageBox::Ok);
        }
    });
    timer->start(5);
}

long shimCount(const char *name)
{
    auto fn = reinterpret_cast<long (*)()>(dlsym(RTLD_DEFAULT, name));
    return fn ? fn() : -1;
}

zk::TBitmap testPicture()
{
    zk::TBitmap bmp;
    bmp.SetPixelFormat(zk::pf24bit);
    bmp.SetSize(320, 200);
    for (int y = 0; y < bmp.Height(); ++y) {
        auto *row = static_cast<unsigned char *>(bmp.ScanLine(y));
        for (int x = 0; x < bmp.Width() * 3; ++x)
            row[x] = static_cast<unsigned char>((x * 7 + y * 13) ^ (x >> 3));
    }
    return bmp;
}

int autosave(const QString &dir)
{
    zk::TZelkoraOptions options;
    zk::SetDefaultOptions(options);
    options.PersSave = true;
    options.OutDir = dir;
    options.FileName = QStringLiteral("Shot");
    options.FileTyp = zk::ptPng;
    const zk::TBitmap picture = testPicture();
    for (;;)
        say(QStringLiteral("saved ") + zk::AutoSavePicture(picture, options));
}

// Writes the same target with one of the program's writers until killed.
int writeForEver(const QString &kind, const QString &dir)
{
    zk::TBitmap picture = testPicture();
    const QString source = dir + QStringLiteral("/source.bmp");
    picture.SaveToFile(source);
    for (long n = 1;; ++n) {
        if (kind == QLatin1String("avi")) {
            zk::TAviFileWriter avi;
            avi.Open(dir + QStringLiteral("/target.avi"), picture.Width(), picture.Height(), 10, 40);
            for (int i = 0; i < 40; ++i)
                avi.WriteFrame(picture);
            avi.Finish();
        } else if (kind == QLatin1String("gif")) {
            zk::TGIFImage gif;
            gif.Assign(picture);
            gif.SaveToFile(dir + QStringLiteral("/target.gif"));
        } else if (kind == QLatin1String("tiff")) {
            zk::SaveBitmapAsTiff(picture, dir + QStringLiteral("/target.tif"));
        } else if (kind == QLatin1String("bmp")) {
            picture.SaveToFile(dir + QStringLiteral("/target.bmp"));
        } else if (kind == QLatin1String("copy")) {
            zk::CopyFileByStream(source, dir + QStringLiteral("/target.bmp"));
        } else if (kind == QLatin1String("convert")) {
            zk::ConvertGraphicFile(source, dir, QStringLiteral(".bmp"), QStringLiteral(".png"), nullptr);
        } else if (kind == QLatin1String("runonce")) {
            zk::WriteRunOnceEntry(dir + QStringLiteral("/zelkora"));
        } else {
            return 2;
        }
        say(QStringLiteral("wrote %1").arg(n));
    }
}

void pickLanguage(zk::TMainForm &form, int language)
{
    const char *const items[5] = {"GermanMenuItem", "EnglishMenuItem", "ItalMenuItem", "SpanMenuItem",
                                  "FranceMenuItem"};
    form.Options.EndDlg = false; // no question in the way of the close
    form.findChild<QAction *>(QString::fromLatin1(items[language % 5]))->trigger();
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty())
        return 2;
    if (qEnvironmentVariableIsSet("ZK_NO_TMPFILE"))
        zk::SetUnnamedTempFilesDisabled(true);
    if (qEnvironmentVariableIsSet("ZK_PROGRAM_DIR_OVERRIDE"))
        zk::SetProgramDirOverride(qEnvironmentVariable("ZK_PROGRAM_DIR_OVERRIDE"));
    zk::RegisterPictureCodecs();
    const QString mode = args.first();
    if (mode == QLatin1String("autosave") && args.size() == 2)
        return autosave(args[1]);
    if (mode == QLatin1String("write") && args.size() == 3)
        return writeForEver(args[1], args[2]);

    watchMessageBoxes(&app);
    const QStringList commandLine = mode == QLatin1String("start") ? args.mid(1) : QStringList();
    zk::TMainForm form{commandLine};
    form.show();
    QApplication::processEvents();
    if (mode == QLatin1String("start")) {
        // Boxes opened rather than run show up on the next round of events.
        for (int i = 0; i < 10; ++i) {
            QApplication::processEvents();
            QThread::msleep(5);
        }
        say(QStringLiteral("language %1").arg(form.Options.Language));
        return 0;
    }
    const int language = args.value(1).toInt();
    if (mode == QLatin1String("close")) {
        pickLanguage(form, language);
        const long flushes = shimCount("zk_slow_fsync_count"), renames = shimCount("zk_slow_rename_count");
        say(QStringLiteral("closing"));
        form.CloseClick();
        say(QStringLiteral("flushes %1 renames %2")
                .arg(shimCount("zk_slow_fsync_count") - flushes)
                .arg(shimCount("zk_slow_rename_count") - renames));
        return 0;
    }
    if (mode == QLatin1String("signal")) {
        zk::TCloseSignals closer([&form](int) { form.CloseBySignal(); });
        pickLanguage(form, language);
        say(QStringLiteral("ready"));
        const int rc = QApplication::exec();
        say(QStringLiteral("closed"));
        return rc;
    }
    return 2;
}
