// The main window built offscreen: start with and without stored settings,
// the language items, the companion items, the close question, the magnetic
// maximise, drops of several files and a whole start/close cycle read back
// from the store.
#include "BmpCodec.h"
#include "DockSite.h"
#include "DragDropFiles.h"
#include "FolderExplorerSetup.h"
#include "ContrClassForm.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "ProgramDir.h"
#include "SendForms.h"
#include "Registry.h"
#include "Splash.h"
#include "StartupRules.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <gtest/gtest.h>

#include <future>

using namespace zk;

namespace {

const QString kOptionsKey = QStringLiteral("Software\\Tarvendo\\Zelkora\\5.0\\Options");
const QString kGuiKey = QStringLiteral("Software\\Tarvendo\\Zelkora\\5.0\\GUI");

// A main window whose picture opening is observed: the picture-file code
// that really opens files is not part of this window's lifecycle.
class ObservedMainForm : public TMainForm
{
public:
    using TMainForm::TMainForm;
    QStringList opened;
    void OpenPictureFile(const QString &fileName) override { opened.append(fileName); }
};

class MainFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        SetProgramDirOverride(programDir.path());
        TRegistry reg;
        reg.DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    void TearDown() override
    {
        SetProgramDirOverride(QString());
        TRegistry reg;
        reg.DeleteKey(QStringLiteral("Software\\Tarvendo"));
        RemoveRunOnceEntry();
    }

    void writeProgramFile(const QString &name, const QByteArray &content)
    {
        const QString path = programDir.path() + u'/' + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    static void storeOption(const QString &name, int value)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kOptionsKey, true));
        reg.WriteInteger(name, value);
    }

    static bool keyExists(const QString &key)
    {
        TRegistry reg;
        return reg.KeyExists(key);
    }

    // Answers the next message box with the given button.
    static void answerNextBox(QMessageBox::StandardButton answer, QString *seenText = nullptr)
    {
        QTimer::singleShot(0, [answer, seenText] {
            for (int i = 0; i < 200; ++i) {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    if (seenText)
                        *seenText = box->text();
                    box->button(answer)->click();
                    return;
                }
                QTest::qWait(10);
            }
        });
    }

    QTemporaryDir programDir;
};

} // namespace

TEST_F(MainFormTest, FirstRunComesUpWithDefaultsAndWritesNothingBeforeClose)
{
    EXPECT_FALSE(IntroWanted()) << "no Options key: no start picture";
    EXPECT_FALSE(keyExists(kOptionsKey)) << "reading Intro must not create the key";

    ObservedMainForm form;
    EXPECT_EQ(form.windowTitle(), "Zelkora 5.0");
    EXPECT_EQ(form.Options.ScanDelay, 240);
    EXPECT_EQ(form.FScanDelay, 240);
    EXPECT_TRUE(form.Options.EndDlg);
    EXPECT_TRUE(form.Options.SysKeys);
    EXPECT_TRUE(form.Options.MagneticFE);
    EXPECT_EQ(form.MaximizeToggle.Count(), 1);
    EXPECT_TRUE(form.UndoBitmap && form.WorkBitmap && form.RecentList);
    EXPECT_EQ(form.StartDate, QDate::currentDate());
    EXPECT_FALSE(keyExists(kOptionsKey));
    EXPECT_FALSE(keyExists(kGuiKey));

    // The standard, picture-tool and crop bars show; the other six wait.
    EXPECT_FALSE(form.StandardToolBar->isHidden());
    EXPECT_FALSE(form.GrafikEditToolBar->isHidden());
    EXPECT_FALSE(form.CutterToolBar->isHidden());
    for (QToolBar *tb : {form.WordToolBar, form.OptionsToolBar, form.HelpToolBar, form.ExitToolBar,
                         form.XtrasToolBar, form.ViewToolBar})
        EXPECT_TRUE(tb->isHidden()) << tb->objectName().toStdString();

    // Without a language file only German and English can be chosen.
    EXPECT_TRUE(form.Item("GermanMenuItem")->isEnabled());
    EXPECT_TRUE(form.Item("GermanMenuItem")->isChecked());
    EXPECT_TRUE(form.Item("EnglishMenuItem")->isEnabled());
    EXPECT_FALSE(form.Item("ItalMenuItem")->isEnabled());
    EXPECT_FALSE(form.Item("SpanMenuItem")->isEnabled());
    EXPECT_FALSE(form.Item("FranceMenuItem")->isEnabled());

    // Options the window shows from the start.
    EXPECT_TRUE(form.Item("KoordLoupMenuItem")->isChecked());
    EXPECT_TRUE(form.Item("CoordLoupeToolButton")->isChecked());
    EXPECT_TRUE(form.Item("FileAsBmpToolButton")->isChecked());
    EXPECT_FALSE(form.Item("AutoFileToolButton")->isChecked());
    EXPECT_TRUE(form.Item("StatBarMenuItem")->isChecked());
    EXPECT_EQ(form.ZKStatusBar->height(), 20);
}

TEST_F(MainFormTest, ComponentTreeCarriesTheNamesAndCommandsWithoutCodeStayDisabled)
{
    ObservedMainForm form;
    const char *const tops[7][2] = {{"DateiMenuItem", "&Datei"},        {"BearbeitenMenuItem", "&Bearbeiten"},
                                    {"ViewMenuItem", "&Ansicht"},       {"ExtrasMenuItem", "&Extras"},
                                    {"OptionenMenuItem", "&Optionen"},  {"WinMenuItem", "&Fenster"},
                                    {"HelpMenuItem", "&Hilfe"}};
    const QList<QAction *> menuBarActions = form.ZKMainMenu->actions();
    ASSERT_EQ(menuBarActions.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(menuBarActions[i]->objectName(), tops[i][0]);
        EXPECT_EQ(menuBarActions[i]->text(), QString::fromUtf8(tops[i][1]));
    }
    for (const char *name : {"MenuToolBar", "StandardToolBar", "WordToolBar", "GrafikEditToolBar",
                             "CutterToolBar", "HelpToolBar", "ExitToolBar", "OptionsToolBar",
                             "XtrasToolBar", "ViewToolBar"})
        EXPECT_NE(form.findChild<QToolBar *>(name), nullptr) << name;
    for (const char *name : {"ClientPanel", "ClientScrollBoxEx", "ScanImage", "ZKStatusBar"})
        EXPECT_NE(form.findChild<QWidget *>(name), nullptr) << name;
    for (const char *name : {"LeftDockPanel", "RightDockPanel", "BottomDockPanel"})
        EXPECT_NE(form.findChild<QObject *>(name), nullptr) << name;
    for (const char *name : {"ScanShapePopupMenu", "RecentPopupMenu", "FocObjPopupMenu", "TrayBarPopupMenu",
                             "ZKStatBarPopupMenu", "MarkColrPopupMenu", "AntiaPopupMenu", "ScalePopupMenu",
                             "GrEdtBarPopupMenu", "MenStatBarPopupMenu"})
        EXPECT_NE(form.findChild<QMenu *>(name), nullptr) << name;
    for (const char *name : {"ZKsvcTrayIcon", "ZKMultiLanguage", "TimeScanTimer", "WinFormFrameTimer"})
        EXPECT_NE(form.findChild<QObject *>(name), nullptr) << name;
    EXPECT_FALSE(form.TimeScanTimer->isActive());
    EXPECT_FALSE(form.WinFormFrameTimer->isActive());
    EXPECT_EQ(form.WinFormFrameTimer->interval(), 10);
    EXPECT_EQ(form.BottomDockPanel->isVisible(), false);
    EXPECT_TRUE(form.acceptDrops());

    // Close commands work.
    for (const char *name : {"FZKCloseMenuItem", "ZKCloseMenuItem", "ExitToolButton", "ZKPopupMenuItem",
                             "ScanMenuItem", "ScanToolButton", "MirrorHMenuItem", "StandardMenuItem"})
        EXPECT_TRUE(form.Item(name)->isEnabled()) << name;

    // "Inf&o..." closes the help menu, and the tool-bar items hang under the view menu.
    EXPECT_EQ(form.SubMenu("HelpMenuItem")->actions().last()->objectName(), "InfoMenuItem");
    EXPECT_EQ(form.SubMenu("HelpMenuItem")->actions().last()->text(), "Inf&o...");
    EXPECT_TRUE(form.SubMenu("ViewMenuItem")->actions().contains(form.Item("AMenuItem")));
    EXPECT_TRUE(form.SubMenu("GrafikMenuItem")->actions().contains(form.MarkColrPopupMenu->menuAction()));
    EXPECT_EQ(form.Item("MarkMenuItem")->property("Tag").toInt(), 5);
}

TEST_F(MainFormTest, LanguageFileWithoutFranceLeavesTheFrenchItemCheckedButDisabled)
{
    writeProgramFile("Templates/Languages.lng",
                     "[german]\nstatbar_app_run=Bereit\n[english]\nstatbar_app_run=Ready\n"
                     "  [ITALIAN]  \n[Italian]\nstatbar_app_run=Pronto\n[espaniol]\nstatbar_app_run=Listo\n"
                     "; [france]\n");
    storeOption("Language", 4);
    ObservedMainForm form;
    EXPECT_TRUE(form.Item("ItalMenuItem")->isEnabled()) << "a header line matches without case";
    EXPECT_TRUE(form.Item("SpanMenuItem")->isEnabled());
    EXPECT_FALSE(form.Item("FranceMenuItem")->isEnabled());
    EXPECT_TRUE(form.Item("FranceMenuItem")->isChecked());
    EXPECT_FALSE(form.Item("GermanMenuItem")->isChecked());

    // Choosing English switches the texts the window shows.
    form.show();
    QApplication::processEvents();
    form.Item("EnglishMenuItem")->trigger();
    EXPECT_EQ(form.Options.Language, 1);
    EXPECT_TRUE(form.Item("EnglishMenuItem")->isChecked());
    EXPECT_FALSE(form.Item("FranceMenuItem")->isChecked());
    EXPECT_EQ(form.ZKMultiLanguage->GetText("statbar_app_run"), "Ready");
    form.Options.EndDlg = false;
}

TEST_F(MainFormTest, FirstShowPutsTheStartTextIntoPanelZero)
{
    writeProgramFile("Templates/Languages.lng", "[german]\nstatbar_app_run=Programm bereit\n");
    ObservedMainForm form;
    form.Options.EndDlg = false;
    EXPECT_FALSE(form.FirstShowDone);
    form.show();
    QApplication::processEvents();
    EXPECT_TRUE(form.FirstShowDone);
    EXPECT_EQ(form.StatusPanelText(0), "Programm bereit");
    // Offscreen there is no X server: no key can be grabbed and none is
    // reported as taken by someone else.
    EXPECT_TRUE(form.RefusedHotKeys().isEmpty());
    EXPECT_EQ(form.findChild<QMessageBox *>("HotKeyInUseBox"), nullptr);
}

TEST_F(MainFormTest, StartInTheTrayWithoutATrayMinimisesAndTheTrayItemBringsItBack)
{
    storeOption("TrayStart", 1);
    storeOption("TnaUse", 1);
    ObservedMainForm form;
    form.Options.EndDlg = false;
    form.show();
    QTRY_VERIFY_WITH_TIMEOUT(form.isMinimized(), 2000);
    EXPECT_TRUE(form.isVisible()) << "no tray offscreen: minimised, never lost";

    form.Item("ZKPopupMenuItem")->trigger();
    EXPECT_FALSE(form.isMinimized());
    EXPECT_TRUE(form.isVisible());
    form.Item("ZKPopupMenuItem")->trigger();
    EXPECT_TRUE(form.isMinimized());
}

TEST_F(MainFormTest, HidingTakesFloatingExplorerWindowsAlongAndLeavesDockedOnes)
{
    ObservedMainForm form;
    form.Options.EndDlg = false;
    QWidget floatingDir;          // a window of its own: floating
    QWidget host;
    QWidget dockedNav(&host);     // inside a dock panel: docked
    form.DirBDForm = &floatingDir;
    form.NavBDForm = &dockedNav;
    form.show();
    floatingDir.show();
    host.show();
    QApplication::processEvents();

    form.hide();
    EXPECT_FALSE(floatingDir.isVisible());
    EXPECT_TRUE(dockedNav.isVisible());

    // The tray item brings both back with the window.
    form.Item("ZKPopupMenuItem")->trigger();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(floatingDir.isVisible());

    // While closing, the explorer windows are left alone.
    form.IsClosing = true;
    form.hide();
    EXPECT_TRUE(floatingDir.isVisible());
    form.IsClosing = false;

    // With the explorer switched off nothing is touched either.
    form.show();
    form.Options.FileExp = false;
    form.hide();
    EXPECT_TRUE(floatingDir.isVisible());
}

// The start shows the window before its explorer is built: what the window
// paints, at once and once the queued work has run, is what it paints with
// the explorer built first; on a first run, with the explorer switched off,
// and with a dock layout a closed window stored.
TEST_F(MainFormTest, TheExplorerBuiltIntoTheShownWindowPaintsAsIfBuiltBefore)
{
    const auto frames = [](bool shownFirst) {
        ObservedMainForm form;
        form.Options.EndDlg = false;
        if (shownFirst) {
            ShowWithFolderExplorer(form);
        } else {
            CreateFolderExplorer(form);
            form.show();
        }
        const QImage atOnce = form.grab().toImage();
        QTest::qWait(50);
        EXPECT_EQ(form.DirBDForm->isVisible(), form.Options.FileExp);
        return std::make_pair(atOnce, form.grab().toImage());
    };
    for (const char *setup : {"first run", "explorer off", "stored docks"}) {
        SCOPED_TRACE(setup);
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        if (qstrcmp(setup, "explorer off") == 0)
            storeOption(QStringLiteral("FileExp"), 0);
        if (qstrcmp(setup, "stored docks") == 0) {
            ObservedMainForm form;
            form.Options.EndDlg = false;
            CreateFolderExplorer(form);
            form.show();
            auto *dir = qobject_cast<QDockWidget *>(form.DirBDForm.data());
            auto *nav = qobject_cast<QDockWidget *>(form.NavBDForm.data());
            ASSERT_TRUE(dir && nav);
            form.resizeDocks({dir}, {330}, Qt::Horizontal);
            form.resizeDocks({dir, nav}, {120, 340}, Qt::Vertical);
            QTest::qWait(20);
            ASSERT_TRUE(form.close());
        }
        const auto built = frames(false);
        const auto shown = frames(true);
        EXPECT_FALSE(shown.first.isNull());
        EXPECT_TRUE(shown.first == built.first);
        EXPECT_TRUE(shown.second == built.second);
    }
}

TEST_F(MainFormTest, CompanionItemsFollowTheIniFile)
{
    const QStringList items = {"QuorvMenuItem", "Quorv2MenuItem", "Quorv3MenuItem", "QuorvexMenuItem"};
    {
        writeProgramFile("ZK5.ini", "[ZK_Quorvex]\nPath=/opt/quorvex\n[Entrys]\nAttach=/tmp\n");
        storeOption("ScanTool", 12);
        ObservedMainForm form;
        for (const QString &name : items)
            EXPECT_FALSE(form.Item(name)->isVisible()) << name.toStdString();
        EXPECT_EQ(form.Options.ScanTool, 0);
    }
    {
        writeProgramFile("ZK5.ini", "[ZK_Quorvex]\nappPath=/opt/quorvex/quorvex\n");
        ObservedMainForm form;
        for (const QString &name : items)
            EXPECT_TRUE(form.Item(name)->isVisible()) << name.toStdString();
        EXPECT_EQ(form.Options.ScanTool, 12);
    }
    {
        QFile::remove(programDir.path() + "/ZK5.ini");
        ObservedMainForm form;
        EXPECT_FALSE(form.Item("QuorvexMenuItem")->isVisible());
        EXPECT_EQ(form.Options.ScanTool, 0);
    }
}

TEST_F(MainFormTest, RefusedCloseKeepsRunningWritesNothingAndClearsIsClosing)
{
    ObservedMainForm form;
    ASSERT_TRUE(form.Options.EndDlg);
    form.show();
    QApplication::processEvents();

    QString question;
    answerNextBox(QMessageBox::No, &question);
    form.Item("FZKCloseMenuItem")->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.IsClosing);
    EXPECT_FALSE(question.isEmpty());
    EXPECT_FALSE(keyExists(kOptionsKey));
    EXPECT_FALSE(keyExists(kGuiKey));

    answerNextBox(QMessageBox::Yes);
    form.Item("ExitToolButton")->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.IsClosing);
    EXPECT_TRUE(keyExists(kOptionsKey));
}

TEST_F(MainFormTest, MagneticMaximiseTwiceRestoresTheBounds)
{
    ObservedMainForm form;
    form.Options.EndDlg = false;
    ASSERT_TRUE(form.Options.MagneticFE);
    auto *explorer = new QDockWidget(&form);
    form.addDockWidget(Qt::LeftDockWidgetArea, explorer);
    explorer->setFloating(true);
    explorer->resize(250, 400);
    form.DirBDForm = explorer;
    form.show();
    explorer->show();
    QApplication::processEvents();
    form.resize(640, 480);
    form.move(100, 50);
    const QRect before = form.frameGeometry(); // decorations included
    const QRect screen = form.screen()->availableGeometry();
    const int band = explorer->frameGeometry().width();
    ASSERT_GE(band, 250);
    const QRect beside(screen.left() + band, screen.top(), screen.width() - band, screen.height());

    EXPECT_TRUE(form.WMSysCommand(SC_MAXIMIZE));
    EXPECT_EQ(form.frameGeometry(), beside);
    EXPECT_EQ(form.MaximizeToggle.Count(), 2);
    EXPECT_EQ(form.MaximizeToggle.RestoreBounds(), before);

    EXPECT_TRUE(form.WMSysCommand(SC_MAXIMIZE));
    EXPECT_EQ(form.size(), QSize(640, 480));
    EXPECT_EQ(form.pos(), QPoint(100, 50));
    EXPECT_EQ(form.MaximizeToggle.Count(), 3);

    // The window manager's maximise takes the same way.
    form.setWindowState(Qt::WindowMaximized);
    QTRY_COMPARE_WITH_TIMEOUT(form.MaximizeToggle.Count(), 4, 2000);
    EXPECT_FALSE(form.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form.frameGeometry(), beside);
    form.setWindowState(Qt::WindowMaximized);
    QTRY_COMPARE_WITH_TIMEOUT(form.MaximizeToggle.Count(), 5, 2000);
    EXPECT_EQ(form.size(), QSize(640, 480));
    EXPECT_EQ(form.pos(), QPoint(100, 50));

    // Minimising with the animation but without a tray stays an ordinary
    // minimise (and does not bounce between states).
    form.Options.AnimMin = true;
    EXPECT_FALSE(form.WMSysCommand(SC_MINIMIZE));
    form.setWindowState(Qt::WindowMinimized);
    QTest::qWait(50);
    EXPECT_TRUE(form.isMinimized());
    EXPECT_TRUE(form.isVisible());
    form.setWindowState(Qt::WindowNoState);

    // A docked explorer is inside the window: the ordinary maximise.
    explorer->setFloating(false);
    EXPECT_FALSE(form.WMSysCommand(SC_MAXIMIZE));
    EXPECT_EQ(form.MaximizeToggle.Count(), 5);

    // Without the magnet the command is the window's ordinary maximise.
    form.Options.MagneticFE = false;
    EXPECT_FALSE(form.WMSysCommand(SC_MAXIMIZE));
    EXPECT_FALSE(form.WMSysCommand(SC_MINIMIZE)) << "AnimMin is off by default";
    EXPECT_FALSE(form.WMSysCommand(0xF120));
}

TEST_F(MainFormTest, DropsOfSeveralFilesFillTheDropDialog)
{
    QTemporaryDir files;
    // A path well past 255 characters must arrive whole.
    QString deep = files.path();
    for (int i = 0; i < 8; ++i)
        deep += QStringLiteral("/a_rather_long_folder_name_for_drop_tests_%1").arg(i);
    ASSERT_TRUE(QDir().mkpath(deep));
    const QStringList paths = {deep + "/first.png", files.path() + "/notes.txt", files.path() + "/second.JPG",
                               files.path() + "/third.bmp"};
    for (const QString &p : paths) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_GT(paths[0].size(), 300);

    ObservedMainForm form;
    form.Options.EndDlg = false;
    form.show();
    QApplication::processEvents();

    const auto drop = [&form](const QStringList &dropped) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString &p : dropped)
            urls.append(QUrl::fromLocalFile(p));
        mime.setUrls(urls);
        // As a drag arrives: entering the window, then the drop itself.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &event);
    };

    // Nothing that is a picture: no dialog, nothing opened.
    drop({files.path() + "/notes.txt", files.path() + "/readme.doc"});
    EXPECT_EQ(form.DragDropFilesBMForm(), nullptr);
    EXPECT_TRUE(form.opened.isEmpty());

    // One file is opened directly.
    drop({paths[2]});
    EXPECT_EQ(form.DragDropFilesBMForm(), nullptr);
    EXPECT_EQ(form.opened, QStringList{paths[2]});
    form.opened.clear();

    // While the attachment dialog is open the main window leaves the drops
    // to it.
    {
        TAttachBMForm attach(&form);
        drop(paths);
        EXPECT_EQ(form.DragDropFilesBMForm(), nullptr);
        EXPECT_TRUE(form.opened.isEmpty());
    }

    drop(paths);
    TDragDropFilesBMForm *dialog = form.DragDropFilesBMForm();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Drag&Drop Dateien");
    EXPECT_EQ(dialog->FilePaths, (QStringList{paths[0], paths[2], paths[3]}));
    ASSERT_EQ(dialog->FilesListBox->count(), 3);
    EXPECT_EQ(dialog->FilesListBox->item(0)->text(), "first.png");
    EXPECT_EQ(dialog->FilesListBox->item(1)->text(), "second.JPG");
    EXPECT_EQ(form.opened, QStringList{paths[0]}) << "the first picture is loaded";
    EXPECT_EQ(dialog->SelectedRow(), 1) << "the second is next";

    // The button loads the selection and moves on, wrapping at the end.
    QTest::mouseClick(dialog->LoadDDFButton, Qt::LeftButton);
    EXPECT_EQ(form.opened.last(), paths[2]);
    EXPECT_EQ(dialog->SelectedRow(), 2);
    QTest::mouseClick(dialog->LoadDDFButton, Qt::LeftButton);
    EXPECT_EQ(form.opened.last(), paths[3]);
    EXPECT_EQ(dialog->SelectedRow(), 0);
    EXPECT_NE(dialog->LoadDDFButton->text(), "&Laden") << "the buttons change after the first load";

    // Space in the list loads without moving the selection.
    dialog->FilesListBox->setFocus();
    QTest::keyClick(dialog->FilesListBox, Qt::Key_Space);
    EXPECT_EQ(form.opened.last(), paths[0]);
    EXPECT_EQ(dialog->SelectedRow(), 0);

    // No selection: a message, nothing opened.
    const int before = form.opened.size();
    dialog->SelectRow(-1);
    QString message;
    answerNextBox(QMessageBox::Ok, &message);
    QTest::mouseClick(dialog->LoadDDFButton, Qt::LeftButton);
    EXPECT_EQ(form.opened.size(), before);
    EXPECT_FALSE(message.isEmpty());

    // A second drop reuses the one dialog and starts afresh.
    drop({paths[3], paths[0]});
    EXPECT_EQ(form.DragDropFilesBMForm(), dialog);
    EXPECT_EQ(dialog->FilePaths, (QStringList{paths[3], paths[0]}));
    EXPECT_EQ(dialog->LoadDDFButton->text(), "&Laden");
    EXPECT_EQ(form.opened.last(), paths[3]);

    QTest::mouseClick(dialog->CancDDFButton, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(MainFormTest, StartCloseCycleStoresOptionsAndGuiAndTheNextStartRestoresThePlacement)
{
    {
        ObservedMainForm form;
        form.Options.EndDlg = false;
        form.show();
        QApplication::processEvents();
        form.resize(700, 500);
        form.move(123, 77);
        // The crop bar on a row of its own.
        form.insertToolBarBreak(form.CutterToolBar);
        QApplication::processEvents();
        ASSERT_GT(form.CutterToolBar->y(), form.StandardToolBar->y());
        form.close();
        EXPECT_FALSE(form.isVisible());
    }
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(kOptionsKey));
        EXPECT_EQ(reg.GetValueNames().size(), 132);
        EXPECT_FALSE(reg.ReadBool("EndDlg"));
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\" + kGuiKey));
        EXPECT_EQ(reg.GetDataType("WindowPos"), RegDataType::Binary);
        EXPECT_EQ(reg.GetDataSize("WindowPos"), 44);
        for (const char *key : TMainForm::DockStateKeys()) {
            TRegistry bar;
            ASSERT_TRUE(bar.OpenKeyReadOnly(kGuiKey + "\\" + key)) << key;
            for (const char *value : {"Left", "Top", "Right", "Bottom", "UndockWidth", "UndockHeight",
                                      "DockSiteIndex", "DockSiteWidth", "DockSiteHeight"})
                EXPECT_TRUE(bar.ValueExists(value)) << key << " " << value;
            EXPECT_EQ(bar.ReadInteger("DockSiteIndex"), 0) << key;
        }
    }
    ObservedMainForm again;
    again.Options.EndDlg = false;
    EXPECT_FALSE(again.Options.EndDlg);
    EXPECT_EQ(again.pos(), QPoint(123, 77));
    again.show();
    // The frame's thickness is known once the window is shown: the inside
    // then comes back to what it was.
    EXPECT_TRUE(zktest::waitFor([&] { return again.size() == QSize(700, 500); }, 3000))
        << again.width() << "x" << again.height();
    EXPECT_EQ(again.pos(), QPoint(123, 77));
    EXPECT_GT(again.CutterToolBar->y(), again.StandardToolBar->y()) << "the stored rows come back";
    EXPECT_EQ(again.GrafikEditToolBar->y(), again.StandardToolBar->y());
    EXPECT_GT(again.GrafikEditToolBar->x(), again.StandardToolBar->x());
    EXPECT_FALSE(again.CutterToolBar->isHidden());
    EXPECT_TRUE(again.ViewToolBar->isHidden());
}

TEST_F(MainFormTest, EndOfSessionWritesTheAutostartEntryOnlyWhenTheSessionEnds)
{
    ObservedMainForm form;
    form.Options.EndDlg = false;
    form.WMEndSession(false);
    EXPECT_FALSE(QFile::exists(RunOnceEntryPath()));
    form.WMEndSession(true);
    QFile entry(RunOnceEntryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=\"" + QCoreApplication::applicationFilePath() + "\"\n"));
    RemoveRunOnceEntry();
    EXPECT_FALSE(QFile::exists(RunOnceEntryPath()));
}

TEST_F(MainFormTest, CloseSetsTheUserAutostartEntryFromTheOption)
{
    const QString entry = AutoRunEntryPath(aekUserRun, QCoreApplication::applicationFilePath());
    ASSERT_TRUE(entry.endsWith("/autostart/" + QFileInfo(QCoreApplication::applicationFilePath()).fileName() +
                               ".desktop"));
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        ObservedMainForm form;
        form.Options.EndDlg = false;
        form.Options.AutoSysStart = on;
        form.close();
        EXPECT_EQ(QFile::exists(entry), on);
    }
}

TEST_F(MainFormTest, WindowInformationTextsAsTheToolShowsThem)
{
    EXPECT_EQ(ElementTitleText("", "(kein Fenstertitel)"), "(kein Fenstertitel)");
    EXPECT_EQ(ElementTitleText("12345678901234567890123456789X", "-"), "12345678901234567890123456789");
    EXPECT_EQ(ElementTitleText("Editor", "-"), "Editor");
    EXPECT_EQ(ElementSizeText(QRect(5, 6, 640, 480)), "640x480");
    EXPECT_EQ(CursorPositionText(QPoint(-3, 1079)), "X = -3   Y = 1079");
    EXPECT_EQ(ElementStatusText("Klassenname: ", "XTerm", "Handle: ", "4194317"),
              "Klassenname: XTerm - Handle: 4194317");
    EXPECT_EQ(ElementClipboardLines("C", "1", "T", "", "X = 1   Y = 2", "3x4"),
              QStringList({"Klasse: C", "Handle: 1", "Fenstertitel: T", "Modul: ", "Cursorposition X/Y: X = 1   Y = 2",
                           QString::fromUtf8("Maße: 3x4")}));
}

TEST_F(MainFormTest, SplashShowsTheCompiledVersionAndIgnoresClicks)
{
    TSplashForm splash;
    EXPECT_EQ(splash.CompVerLabel->text(), "Compilierung: 5.0.0.1");
    EXPECT_EQ(splash.RegLabel->text(), QString::fromUtf8("Screen-Capture für Win32-Systeme"));
    EXPECT_EQ(splash.size(), QSize(288 + 6, 125 + 6));
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    splash.show();
    QTest::mouseClick(&splash, Qt::LeftButton);
    EXPECT_TRUE(splash.isVisible());
    EXPECT_FALSE(splash.SplashImage->pixmap().isNull());
}

TEST_F(MainFormTest, ShippedLanguageFileSwitchesTheMainWindowAndTheDropDialog)
{
    QFile shipped(QStringLiteral(ZK_SOURCE_DIR) + "/Templates/Languages.lng");
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    writeProgramFile("Templates/Languages.lng", shipped.readAll());

    ObservedMainForm form;
    form.Options.EndDlg = false;
    for (const char *name : {"GermanMenuItem", "EnglishMenuItem", "ItalMenuItem", "SpanMenuItem", "FranceMenuItem"})
        EXPECT_TRUE(form.Item(name)->isEnabled()) << name;
    EXPECT_EQ(form.Item("DateiMenuItem")->text(), "&Datei");
    EXPECT_FALSE(form.Item("RectMenuItem")->statusTip().isEmpty()) << "capture-mode hints come from the file";

    // The picture classes' messages follow the window's language, on a
    // worker thread too (conversions run there).
    const auto damagedBmpMessage = [] {
        return std::async(std::launch::async, [] {
                   zk::TBitmap b;
                   try {
                       zk::ReadBmp(reinterpret_cast<const uchar *>("BMxx"), 4, b);
                   } catch (const zk::EGraphicError &e) {
                       return e.message();
                   }
                   return QString();
               }).get();
    };
    EXPECT_TRUE(damagedBmpMessage().startsWith(QString::fromUtf8("Die Bitmap-Datei ist beschädigt")));

    form.Item("EnglishMenuItem")->trigger();
    EXPECT_TRUE(damagedBmpMessage().startsWith("The bitmap file is damaged or not supported: "))
        << qPrintable(damagedBmpMessage());
    EXPECT_EQ(form.Item("DateiMenuItem")->text(), "&File");
    EXPECT_EQ(form.Item("HelpMenuItem")->text(), "&Help");
    EXPECT_EQ(form.Item("RectMenuItem")->statusTip(), "Capture a rectangular area");
    EXPECT_EQ(form.Item("AMenuItem")->text(), "Tool &bars");

    QTemporaryDir files;
    const QStringList paths = {files.path() + "/a.bmp", files.path() + "/b.bmp"};
    form.ZKsvcApplicationPropertiesMessage(paths);
    ASSERT_NE(form.DragDropFilesBMForm(), nullptr);
    EXPECT_EQ(form.DragDropFilesBMForm()->windowTitle(), "Drag&Drop files");
    EXPECT_EQ(form.DragDropFilesBMForm()->LoadDDFButton->text(), "&Load");

    QTest::mouseClick(form.DragDropFilesBMForm()->LoadDDFButton, Qt::LeftButton);
    EXPECT_EQ(form.DragDropFilesBMForm()->LoadDDFButton->text(), "Load &next");

    form.Item("GermanMenuItem")->trigger();
    EXPECT_EQ(form.Item("DateiMenuItem")->text(), "&Datei");
    EXPECT_EQ(form.Item("AMenuItem")->text(), "&Symbolleisten");
    form.ZKsvcApplicationPropertiesMessage(paths);
    EXPECT_EQ(form.DragDropFilesBMForm()->windowTitle(), "Drag&Drop Dateien");
    EXPECT_EQ(form.DragDropFilesBMForm()->LoadDDFButton->text(), "&Laden");
}

// The store text of the options after a first start and close, against a
// file written out by hand from the option table: names, types, defaults and
// the order they are written in (the view switches first, then the rest).
TEST_F(MainFormTest, FirstCloseWritesTheOptionsOfTheHandWrittenFixture)
{
    {
        ObservedMainForm form;
        answerNextBox(QMessageBox::Yes);
        form.close();
        QApplication::processEvents();
    }
    const auto sectionOf = [](const QString &path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QStringList{QStringLiteral("cannot read ") + path};
        QStringList section;
        bool inside = false;
        for (const QString &line : QString::fromUtf8(f.readAll()).split(u'\n')) {
            if (line.startsWith(u'['))
                inside = line == QStringLiteral("[Software\\Tarvendo\\Zelkora\\5.0\\Options]");
            if (inside && !line.trimmed().isEmpty())
                section << line.trimmed();
        }
        return section;
    };
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + "/.config");
    const QString store = configHome + QStringLiteral("/Zelkora/HKCU.reg");
    const QStringList written = sectionOf(store);
    const QStringList expected = sectionOf(QStringLiteral(ZK_SOURCE_DIR "/tests/data/options-first-close.reg"));
    ASSERT_EQ(expected.size(), 133) << "the heading and 132 values";
    EXPECT_EQ(written.size(), expected.size());
    for (int i = 0; i < std::min(written.size(), expected.size()); ++i)
        EXPECT_EQ(written[i], expected[i]) << "line " << i;
}
