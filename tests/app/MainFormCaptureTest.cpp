// The capture commands of the main window without a screen to grab: which
// capture mode runs what, the missing output folder, the mode menu, the
// toggles and their items, the tray icon, timed capture switching, the hot
// keys that grab nothing, the floating tool bars, and the program's socket.
#include "Bitmap.h"
#include "CaptureControl.h"
#include "ImageControl.h"
#include "LocalChannel.h"
#include "MainForm.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace zk;

namespace {

class CaptureForm : public TMainForm
{
public:
    CaptureForm()
    {
        Options.EndDlg = false;
        Options.SysKeys = false;
        FScanDelay = 0;
        for (int tool = 8; tool <= 12; ++tool)
            CaptureHooks.CaptureSource(tool) = [this, tool] { calls << QString("Source%1").arg(tool); };
        CaptureHooks.SetStampCursor = [this](int cursor) { calls << QString("StampCursor%1").arg(cursor); };
        CaptureHooks.OpenOptionsDialog = [this](QObject *) { calls << QStringLiteral("OptionsDialog"); };
        UpdateCaptureCommands();
    }
    QStringList calls;
};

QMessageBox *findBox(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->objectName() == name && box->isVisible())
            return box;
    return nullptr;
}

void closeBoxes()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox *>(w))
            w->close();
    QApplication::processEvents();
}

class MainFormCaptureTest : public ::testing::Test
{
protected:
    void SetUp() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
    void TearDown() override
    {
        closeBoxes();
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
};

// A 4x4 picture in the window, so an undo snapshot would have something to take.
void givePicture(TMainForm &form)
{
    form.ScanImage->Picture().Bitmap().SetSize(4, 4);
    form.ScanImage->PictureChanged();
}

} // namespace

TEST_F(MainFormCaptureTest, ModesSixToTwelveRunTheirCommandWithoutSnapshotOrHiding)
{
    CaptureForm form;
    form.show();
    givePicture(form);
    for (int tool = 8; tool <= 12; ++tool) { // 7 opens the recorder (RecorderFormTest)
        form.calls.clear();
        form.Options.ScanTool = std::uint8_t(tool);
        form.ScanClick(nullptr);
        EXPECT_EQ(form.calls, QStringList{QString("Source%1").arg(tool)}) << tool;
        EXPECT_TRUE(form.isVisible()) << tool;
        EXPECT_TRUE(!form.UndoBitmap || form.UndoBitmap->Empty()) << "no undo snapshot for mode " << tool;
    }
    bool coordOpened = false;
    form.CaptureHooks.ShowCoordDialog = [&] { coordOpened = true; };
    form.calls.clear();
    form.Options.ScanTool = 6;
    form.ScanClick(nullptr);
    EXPECT_TRUE(coordOpened);
    EXPECT_TRUE(form.calls.isEmpty());
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainFormCaptureTest, OverlayModesSnapshotHideAndHandTheDesktopOn)
{
    CaptureForm form;
    int overlays = 0;
    bool hiddenAtOverlay = false;
    form.CaptureHooks.ShowScanOverlay = [&](const TBitmap &) {
        ++overlays;
        hiddenAtOverlay = !form.isVisible();
    };
    form.UpdateCaptureCommands();
    form.show();
    for (int tool = 0; tool <= 4; ++tool) {
        givePicture(form);
        form.UndoBitmap.reset();
        form.calls.clear();
        form.Options.ScanTool = std::uint8_t(tool);
        form.ScanClick(nullptr);
        EXPECT_TRUE(form.calls.isEmpty()) << tool;
        ASSERT_TRUE(form.UndoBitmap) << tool;
        EXPECT_EQ(form.UndoBitmap->Width(), 4) << "the undo snapshot is taken first, mode " << tool;
        form.show();
    }
    EXPECT_EQ(overlays, 5);
    EXPECT_TRUE(hiddenAtOverlay);
}

TEST_F(MainFormCaptureTest, MissingOutputFolderStopsBeforeTheOverlayAndShowsEverythingAgain)
{
    CaptureForm form;
    int overlays = 0;
    form.CaptureHooks.ShowScanOverlay = [&](const TBitmap &) { ++overlays; };
    form.show();
    // A floating tool bar that the capture hides.
    form.CutterToolBar->setWindowFlags(Qt::Tool);
    form.CutterToolBar->show();
    ASSERT_TRUE(form.CutterToolBar->isFloating());

    form.Options.ScanTool = 0;
    form.Options.PersSave = true;
    form.Options.OutDir = zktest::sandboxDir() + "/no/such/folder";
    form.ScanClick(nullptr);
    EXPECT_EQ(overlays, 0);
    EXPECT_FALSE(form.FHasFileName);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.CutterToolBar->isVisible()) << "the floating tool bar comes back";
    QMessageBox *box = findBox("showmsg_autofilecreate_mistake");
    ASSERT_NE(box, nullptr);
    // Owned by the main window, so the window never covers it.
    EXPECT_EQ(box->parentWidget(), &form);
    EXPECT_TRUE(box->text().contains("/no/such/folder")) << box->text().toStdString();
}

TEST_F(MainFormCaptureTest, ShowToolBarsTouchesOnlyFloatingBarsThatWereShown)
{
    CaptureForm form;
    form.show();
    form.CutterToolBar->setWindowFlags(Qt::Tool);
    form.CutterToolBar->show();
    form.WordToolBar->setWindowFlags(Qt::Tool);
    form.WordToolBar->hide(); // closed by the user: stays closed
    ASSERT_TRUE(form.StandardToolBar->isVisible());

    form.ShowToolBars(false);
    EXPECT_FALSE(form.CutterToolBar->isVisible());
    EXPECT_TRUE(form.StandardToolBar->isVisible()) << "docked bars stay";
    form.ShowToolBars(false);
    form.ShowToolBars(true);
    EXPECT_TRUE(form.CutterToolBar->isVisible());
    EXPECT_FALSE(form.WordToolBar->isVisible());
}

TEST_F(MainFormCaptureTest, ModeMenuChoosesTheModeAndTheCaptureCommandFollows)
{
    CaptureForm form;
    // As without the overlay, the coordinates dialog and the other sources.
    form.CaptureHooks.ShowScanOverlay = nullptr;
    form.CaptureHooks.ShowCoordDialog = nullptr;
    form.CaptureHooks.RunCaptureSource = {};
    form.UpdateCaptureCommands();
    QList<QAction *> items;
    for (QAction *a : form.ScanShapePopupMenu->actions())
        if (!a->isSeparator())
            items << a;
    ASSERT_EQ(items.size(), 13);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(items[i]->property("Tag").toInt(), i);

    // Then only the desktop mode and the recorder can run.
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_TRUE(items[5]->isEnabled());
    EXPECT_TRUE(items[7]->isEnabled());
    EXPECT_FALSE(items[8]->isEnabled());
    items[5]->trigger();
    EXPECT_EQ(form.Options.ScanTool, 5);
    EXPECT_TRUE(form.Item("ScanToolButton")->isEnabled());
    emit form.ScanShapePopupMenu->aboutToShow();
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(items[i]->isChecked(), i == 5) << i;

    form.ShapeMenuItemClick(items[0]);
    EXPECT_EQ(form.Options.ScanTool, 0);
    EXPECT_FALSE(form.Item("ScanToolButton")->isEnabled()) << "the rectangle needs the overlay";
    EXPECT_FALSE(form.Item("ScanMenuItem")->isEnabled());
    form.CaptureHooks.ShowScanOverlay = [](const TBitmap &) {};
    form.UpdateCaptureCommands();
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_TRUE(form.Item("ScanToolButton")->isEnabled());
}

TEST_F(MainFormCaptureTest, TogglesKeepMenuAndButtonWithTheOption)
{
    CaptureForm form;
    const bool loupe = form.Options.Loupe;
    form.Item("CoordLoupeToolButton")->trigger();
    EXPECT_EQ(form.Options.Loupe, !loupe);
    EXPECT_EQ(form.Item("KoordLoupMenuItem")->isChecked(), !loupe);
    EXPECT_EQ(form.Item("CoordLoupeToolButton")->isChecked(), !loupe);
    form.Item("KoordLoupMenuItem")->trigger();
    EXPECT_EQ(form.Options.Loupe, loupe);
    EXPECT_EQ(form.Item("CoordLoupeToolButton")->isChecked(), loupe);

    const bool filled = form.Options.FilledShape;
    form.Item("ScanTFMenuItem")->trigger();
    EXPECT_EQ(form.Options.FilledShape, !filled);
    EXPECT_EQ(form.Item("ScanTFMenuItem")->isChecked(), !filled);

    TsvcTrayIcon *cycle = form.ZKsvcTrayIcon;
    form.Options.PrintScan = false;
    form.UpdateTrayIcon();
    EXPECT_FALSE(cycle->CycleIcons());
    form.Item("PrintScanToolButton")->trigger();
    EXPECT_TRUE(form.Options.PrintScan);
    EXPECT_TRUE(form.Item("PrintScanMenuItem")->isChecked());
    EXPECT_TRUE(cycle->CycleIcons()) << "printing every capture shows in the tray";
    EXPECT_EQ(cycle->ImageList().size(), 2);
    form.Item("PrintScanMenuItem")->trigger();
    EXPECT_FALSE(form.Options.PrintScan);
    EXPECT_FALSE(cycle->CycleIcons());
    EXPECT_EQ(cycle->ImageIndex(), 0);
}

TEST_F(MainFormCaptureTest, AutomaticSavingSwitchAndTheSaveFormatPanel)
{
    CaptureForm form;
    QTemporaryDir out;
    form.Options.OutDir = out.path();
    form.Options.FileTyp = 1;
    form.Options.PersSave = false;
    form.ShowSaveFormat();
    EXPECT_EQ(form.StatusPanelText(6), "- - -");

    form.ScanImage->Picture().Bitmap().SetSize(4, 4);
    form.ScanImage->PictureChanged();
    form.Item("AutoFileToolButton")->trigger();
    EXPECT_TRUE(form.Options.PersSave);
    EXPECT_TRUE(form.Item("AutoFileMenuItem")->isChecked());
    EXPECT_TRUE(form.Item("AutoFileToolButton")->isChecked());
    EXPECT_EQ(form.StatusPanelText(6), "|bmp| - jpg");
    form.Item("AutoFileMenuItem")->trigger();
    EXPECT_FALSE(form.Options.PersSave);
    EXPECT_EQ(form.StatusPanelText(6), "|bmp|");

    // Without the folder the switch asks instead and stays off.
    form.Options.OutDir = out.path() + "/gone";
    QTimer::singleShot(0, [] {
        if (QMessageBox *box = findBox("AutoFileFolderQuestion"))
            box->button(QMessageBox::No)->click();
    });
    form.Item("AutoFileMenuItem")->trigger();
    EXPECT_FALSE(form.Options.PersSave);
    EXPECT_FALSE(form.Item("AutoFileMenuItem")->isChecked());
}

TEST_F(MainFormCaptureTest, TimedCaptureStartsOnlyWithAutomaticNames)
{
    CaptureForm form;
    QTemporaryDir out;
    form.Options.OutDir = out.path();
    form.Options.PersSave = true;
    form.Options.IsManualInputFile = true;
    form.Item("TimeScanMenuItem")->trigger();
    EXPECT_FALSE(form.Options.TimeScanRunning);
    EXPECT_FALSE(form.TimeScanTimer->isActive());
    EXPECT_NE(findBox("showmsg_choice_another_savemode"), nullptr);
    closeBoxes();

    form.Options.IsManualInputFile = false;
    form.Options.IsAutoincFileName = true;
    form.Options.ScanPerSec = 0;
    form.Item("TimeScanToolButton")->trigger();
    EXPECT_TRUE(form.Options.TimeScanRunning);
    EXPECT_TRUE(form.TimeScanTimer->isActive());
    EXPECT_EQ(form.TimeScanTimer->interval(), 1000) << "at least a second between captures";
    EXPECT_TRUE(form.Item("TimeScanMenuItem")->isChecked());
    EXPECT_TRUE(form.ZKsvcTrayIcon->CycleIcons());
    // The same command stops a running series.
    form.Item("TimeScanMenuItem")->trigger();
    EXPECT_FALSE(form.Options.TimeScanRunning);
    EXPECT_FALSE(form.TimeScanTimer->isActive());
    EXPECT_FALSE(form.Item("TimeScanToolButton")->isChecked());

    // Without automatic saving it asks first; "No" starts nothing.
    form.Options.PersSave = false;
    QString titleWhileAsked;
    QTimer::singleShot(0, [&] {
        titleWhileAsked = OpenDialogName;
        if (QMessageBox *box = findBox("TimeScanQuestion"))
            box->button(QMessageBox::No)->click();
    });
    form.TimeScanMenuItemClick();
    EXPECT_EQ(titleWhileAsked, QString::fromUtf8("Bestätigung"));
    EXPECT_TRUE(OpenDialogName.isEmpty());
    EXPECT_FALSE(form.Options.TimeScanRunning);
}

TEST_F(MainFormCaptureTest, HotKeysThatGrabNothing)
{
    CaptureForm form;
    form.show();
    QTemporaryDir out;
    form.Options.OutDir = out.path();
    form.Options.PersSave = true;
    form.Options.IsAutoincFileName = true;
    form.Options.HotkeyCursor = 7;
    form.FHotKeyIds = {101, 102, 103, 104, 105, 106};

    form.WMHotKey(106);
    EXPECT_EQ(form.calls, QStringList{"StampCursor7"});
    form.WMHotKey(105);
    EXPECT_TRUE(form.Options.TimeScanRunning) << "the fifth key starts timed capture";
    form.WMHotKey(105);
    EXPECT_FALSE(form.Options.TimeScanRunning) << "... and stops it";

    form.FRecorderActive = true;
    form.calls.clear();
    form.WMHotKey(106);
    EXPECT_TRUE(form.calls.isEmpty()) << "nothing while the recorder is open";
    form.FRecorderActive = false;

    // The hot-key signal of the main window reaches the handler.
    form.FHotKeyIds = {1, 2, 3, 4, 5, 6};
    emit form.HotKeyMessage(6);
    EXPECT_EQ(form.calls, QStringList{"StampCursor7"});
}

TEST_F(MainFormCaptureTest, FramedMessagesReachTheirHandlers)
{
    CaptureForm form;
    const QString path = zktest::sandboxDir() + "/capture-test.sock";
    ASSERT_TRUE(form.StartLocalChannel(path));

    form.hide();
    ASSERT_TRUE(TLocalChannel::Send(MsgShowApplication, {}, path));
    QTRY_VERIFY_WITH_TIMEOUT(form.isVisible(), 5000);

    form.Options.ScanTool = 9;
    ASSERT_TRUE(TLocalChannel::Send(MsgStartScan, {}, path));
    QTRY_COMPARE_WITH_TIMEOUT(form.calls, QStringList{"Source9"}, 5000);

    // Unknown ids and a capture in progress leave everything as it was.
    form.calls.clear();
    ASSERT_TRUE(TLocalChannel::Send(0x1234, {}, path));
    form.FCaptureBusy = true;
    ASSERT_TRUE(TLocalChannel::Send(MsgStartScan, {}, path));
    QTest::qWait(200);
    form.FCaptureBusy = false;
    EXPECT_TRUE(form.calls.isEmpty());
}

TEST_F(MainFormCaptureTest, StretchFillsTheScrollBox)
{
    CaptureForm form;
    form.Options.Stretch = true;
    form.ApplyImageStretch();
    EXPECT_TRUE(form.ScanImage->Stretch());
    EXPECT_FALSE(form.ScanImage->AutoSize());
    EXPECT_TRUE(form.ClientScrollBoxEx->widgetResizable());
    form.Options.Stretch = false;
    form.ApplyImageStretch();
    EXPECT_FALSE(form.ScanImage->Stretch());
    EXPECT_TRUE(form.ScanImage->AutoSize());
    EXPECT_FALSE(form.ClientScrollBoxEx->widgetResizable());
    EXPECT_EQ(form.ScanImage->pos(), QPoint(0, 0));
}

namespace {

// Notes whether the main window was on screen when a box of the given name
// appeared.
class ShowWatcher : public QObject
{
public:
    ShowWatcher(const QString &name, const QWidget &window) : m_name(name), m_window(window) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->objectName() == m_name && qobject_cast<QMessageBox *>(watched))
            windowVisibleAtShow.append(m_window.isVisible());
        return false;
    }
    QList<bool> windowVisibleAtShow;

private:
    QString m_name;
    const QWidget &m_window;
};

} // namespace

TEST_F(MainFormCaptureTest, AFailedAutomaticSaveIsShownOverTheWindowOnceItIsBack)
{
    CaptureForm form;
    givePicture(form);
    QTemporaryDir out;
    form.Options.PersSave = true;
    form.Options.OutDir = out.path();
    form.CaptureHooks.AutoSaveImage = []() -> QString { throw std::runtime_error("No space left on device"); };
    ShowWatcher watcher(QStringLiteral("showmsg_except_afc_mistake"), form);
    qApp->installEventFilter(&watcher);
    // The desktop command hid the window for the grab; the steps after it
    // bring it back.
    form.hide();
    TCaptureContext context;
    context.path = TCapturePath::Desktop;
    context.outDirExists = true;
    form.AfterCapture(context);
    qApp->removeEventFilter(&watcher);
    QMessageBox *box = findBox("showmsg_except_afc_mistake");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget(), &form);
    EXPECT_TRUE(box->text().contains("No space left on device")) << box->text().toStdString();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(watcher.windowVisibleAtShow, QList<bool>{true});
}
