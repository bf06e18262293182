// The flat look beside plain Qt styling in the same run, taking turns:
//  - switching the look on and off on the main window and on the settings
//    dialog beside a bare loop that gives the same widgets the Fusion style
//    and takes it back (goal: at most twice the loop);
//  - rendering the "&Bearbeiten" menu and the standard tool bar with the look
//    beside the same widgets under Fusion (goal: at most 1.5x).
#include "BenchKit.h"
#include "MainForm.h"
#include "OptionDlg.h"
#include "ProgramDir.h"
#include "XPLook.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QToolBar>

#include <memory>

namespace {

// Switching: ours turns the look on and off; the peer styles the very
// widgets the look takes, and gives them their style back.
zkbench::Result switching(zk::TXPLook &look, QStyle *fusion, int rounds)
{
    look.SetActive(true);
    QList<QPointer<QWidget>> widgets;
    for (QWidget *w : look.HookedWidgets())
        widgets.append(w);
    look.SetActive(false);
    return zkbench::Turns(
        [&] {
            look.SetActive(true);
            look.SetActive(false);
        },
        [&] {
            for (const QPointer<QWidget> &w : widgets)
                if (w)
                    w->setStyle(fusion);
            for (const QPointer<QWidget> &w : widgets)
                if (w)
                    w->setStyle(nullptr);
        },
        rounds);
}

// Rendering: the widget with the look on, or with the look off and Fusion.
zkbench::Result rendering(zk::TXPLook &look, QWidget *widget, QStyle *fusion, int rounds)
{
    QImage img(1, 1, QImage::Format_RGB32);
    const auto paint = [&] {
        widget->adjustSize();
        if (img.size() != widget->size())
            img = QImage(widget->size(), QImage::Format_RGB32);
        widget->render(&img);
    };
    return zkbench::Turns(paint, paint, rounds,
                          [&] {
                              widget->setStyle(nullptr);
                              look.SetActive(true);
                          },
                          [&] {
                              look.SetActive(false);
                              widget->setStyle(fusion);
                          });
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and program folder of this run stay in a folder of its own.
    QTemporaryDir dir;
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(var, (dir.path() + "/" + var).toLocal8Bit());
    QApplication app(argc, argv);
    QDir().mkpath(dir.path() + "/Templates");
    QFile::copy(QStringLiteral(ZK_SOURCE_DIR "/Templates/Languages.lng"), dir.path() + "/Templates/Languages.lng");
    zk::SetProgramDirOverride(dir.path());
    const int rounds = zkbench::Rounds(41);
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    {
        zk::TMainForm form;
        zkbench::Print("look on+off, main window", switching(*form.ZKXPLook, fusion.get(), rounds), 2.0);
        zk::TOptionDlgBMForm dlg(&form);
        zk::TXPLook *look = zk::TXPLook::OfForm(&dlg);
        zkbench::Print("look on+off, settings dialog", switching(*look, fusion.get(), rounds), 2.0);

        QMenu *edit = form.SubMenu(QStringLiteral("BearbeitenMenuItem"));
        zkbench::Print("render \"&Bearbeiten\" menu", rendering(*form.ZKXPLook, edit, fusion.get(), rounds * 5),
                       1.5);
        zkbench::Print("render StandardToolBar", rendering(*form.ZKXPLook, form.StandardToolBar, fusion.get(),
                                                            rounds * 5),
                       1.5);
        form.ZKXPLook->SetActive(false);
        edit->setStyle(nullptr);
        form.StandardToolBar->setStyle(nullptr);
    }
    zk::SetProgramDirOverride(QString());
    return 0;
}
