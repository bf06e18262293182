// The picture views offscreen: centring, the workspace colours, the grid
// and its undoing, keyboard scrolling beside the crop tool, the full-screen
// view and its close button, the colour window's snapping, the text-output
// switch and the dock layout kept at close.
#include "Bitmap.h"
#include "ColViewForm.h"
#include "DirBDForm.h"
#include "DockSite.h"
#include "DockStream.h"
#include "FolderExplorerSetup.h"
#include "FullScreenForm.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "ViewRules.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QPalette>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace zk;

namespace {

TBitmap filled(int w, int h, QRgb colour)
{
    TBitmap b;
    b.SetPixelFormat(pf32bit);
    b.SetSize(w, h);
    auto canvas = b.Canvas();
    canvas->fillRect(QRect(0, 0, w, h), QColor::fromRgb(colour));
    return b;
}

class ViewModes : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid());
        SetProgramDirOverride(programDir.path() + "/");
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        form = std::make_unique<TMainForm>();
        form->ViewMessage = [this](const QString &t) { messages.append(t); };
    }
    void TearDown() override
    {
        form.reset();
        SetProgramDirOverride(QString());
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    }
    void setPicture(int w, int h, QRgb colour)
    {
        form->ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(filled(w, h, colour)));
        form->ScanImage->PictureChanged();
    }
    const TBitmap *bitmap() const { return dynamic_cast<const TBitmap *>(form->ScanImage->Picture().Graphic()); }

    QTemporaryDir programDir;
    std::unique_ptr<TMainForm> form;
    QStringList messages;
};

} // namespace

TEST(ViewRules, CentredOriginRoundsEachHalfTowardZero)
{
    struct Row
    {
        QSize client, picture;
        QPoint expected;
    };
    const Row rows[] = {
        {{100, 60}, {40, 20}, {30, 20}},       // 50 - 20, 30 - 10
        {{101, 61}, {41, 21}, {30, 20}},       // odd sizes: 50 - 20, 30 - 10
        {{100, 100}, {301, 201}, {-100, -50}}, // larger picture: 50 - 150, 50 - 100
        {{99, 9}, {300, 31}, {-101, -11}},     // 49 - 150, 4 - 15
    };
    for (const Row &r : rows)
        EXPECT_EQ(CenteredOrigin(r.client, r.picture), r.expected) << r.client.width() << "x" << r.picture.width();
}

TEST(ViewRules, WorkspaceColoursByIndex)
{
    QPalette pal;
    pal.setColor(QPalette::Button, QColor(1, 2, 3));
    pal.setColor(QPalette::ToolTipBase, QColor(4, 5, 6));
    const QColor expected[12] = {{1, 2, 3},     {128, 128, 128}, {0, 0, 0},   {255, 255, 255},
                                 {255, 255, 0}, {4, 5, 6},       {0, 0, 255}, {0, 255, 255},
                                 {128, 128, 0}, {0, 128, 0},     {255, 0, 0}, {128, 0, 0}};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(BackColorOf(i, pal), expected[i]) << i;
    for (int other : {-1, 12, 255})
        EXPECT_FALSE(BackColorOf(other, pal)) << other;
}

TEST(ViewRules, GridOnFortyFiveByThirty)
{
    TBitmap b = filled(45, 30, 0xFFFFFFFF);
    DrawCoordGrid(b);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 45; ++x) {
            const bool line = x == 0 || x == 20 || x == 40 || y == 0 || y == 20;
            ASSERT_EQ(b.PixelRgb(x, y) & 0xFFFFFF, line ? 0xC0C0C0u : 0xFFFFFFu) << x << "," << y;
        }
}

TEST_F(ViewModes, GridOffRestoresOnlyAnUnchangedPicture)
{
    QAction *grid = form->Item("CoordNetMenuItem");
    ASSERT_TRUE(grid->isEnabled());
    grid->trigger(); // on, no picture
    EXPECT_EQ(messages, QStringList{QString::fromUtf8("Kein Bild verfügbar.")});
    EXPECT_TRUE(grid->isChecked());
    grid->trigger(); // off again

    setPicture(45, 30, 0xFF0000FF);
    grid->trigger();
    EXPECT_EQ(bitmap()->PixelRgb(20, 5) & 0xFFFFFF, 0xC0C0C0u);
    grid->trigger();
    EXPECT_EQ(bitmap()->PixelRgb(20, 5) & 0xFFFFFF, 0x0000FFu) << "the grid is gone";

    // An edit after the grid stays: switching the grid off only unchecks.
    grid->trigger();
    setPicture(10, 10, 0xFF00FF00);
    grid->trigger();
    EXPECT_FALSE(grid->isChecked());
    EXPECT_EQ(bitmap()->Width(), 10);
    EXPECT_EQ(bitmap()->PixelRgb(0, 0) & 0xFFFFFF, 0x00FF00u);
}

TEST_F(ViewModes, ModesExcludeEachOtherAndCentreReleasesStretch)
{
    setPicture(40, 20, 0xFF000000);
    form->resize(400, 300);
    form->show();
    QAction *stretch = form->Item("GsToolButton"), *centre = form->Item("DocCentToolButton");
    stretch->trigger();
    EXPECT_TRUE(form->Options.Stretch && stretch->isChecked());
    EXPECT_TRUE(form->ScanImage->Stretch());
    centre->trigger();
    EXPECT_TRUE(form->Options.DocCenter);
    EXPECT_FALSE(form->Options.Stretch);
    EXPECT_FALSE(stretch->isChecked()) << "the stretch button is released";
    EXPECT_FALSE(form->Item("GsMenuItem")->isChecked());
    EXPECT_FALSE(form->ScanImage->Stretch());
    const QSize view = form->ClientScrollBoxEx->viewport()->size();
    EXPECT_EQ(form->ScanImage->pos(), QPoint(view.width() / 2 - 20, view.height() / 2 - 10));
    int down = 0;
    for (const char *b : {"WinDimToolButton", "DocCentToolButton", "GsToolButton", "DocFocToolButton"})
        down += form->Item(b)->isChecked() ? 1 : 0;
    EXPECT_EQ(down, 1);
}

TEST_F(ViewModes, ArrowsScrollButNotWithTheCropToolAndTabMovesOnce)
{
    setPicture(2000, 2000, 0xFF808080);
    form->resize(400, 300);
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    TScrollBoxEx *box = form->ClientScrollBoxEx;
    box->setFocus();
    QScrollBar *v = box->verticalScrollBar(), *h = box->horizontalScrollBar();
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Right);
    EXPECT_EQ(v->value(), v->singleStep());
    EXPECT_EQ(h->value(), h->singleStep());

    form->CutterActive = true;
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Left);
    EXPECT_EQ(v->value(), v->singleStep()) << "eaten without effect";
    EXPECT_EQ(h->value(), h->singleStep());
    form->CutterActive = false;

    QWidget *next = box->nextInFocusChain();
    while (next && (!(next->focusPolicy() & Qt::TabFocus) || !next->isVisibleTo(form.get())))
        next = next->nextInFocusChain();
    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next);
    QApplication::setActiveWindow(nullptr);
}

TEST_F(ViewModes, FullScreenClosedByAClickOrByItsCloseButton)
{
    form->Item("FullScreenMenuItem")->trigger();
    EXPECT_FALSE(form->FullScreenForm) << "needs a picture";

    setPicture(50, 40, 0xFF0000FF);
    form->Options.FSClosedClick = true;
    form->Item("FullScreenMenuItem")->trigger();
    ASSERT_TRUE(form->FullScreenForm);
    QTest::qWait(50);
    EXPECT_FALSE(form->FullScreenForm->NotFSForm) << "a click closes; no close button";
    const QSize screen = form->FullScreenForm->ClientScrollBoxEx->viewport()->size();
    EXPECT_EQ(form->FullScreenForm->ScanImage->pos(), QPoint(screen.width() / 2 - 25, screen.height() / 2 - 20))
        << screen.width() << "x" << screen.height();
    QTest::mouseClick(form->FullScreenForm->ScanImage, Qt::LeftButton);
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form->FullScreenForm);

    form->Options.FSClosedClick = false;
    form->Item("FullScreenToolButton")->trigger();
    ASSERT_TRUE(form->FullScreenForm);
    QTest::qWait(0);
    QPointer<TNotFSForm> button = form->FullScreenForm->NotFSForm;
    ASSERT_TRUE(button);
    QTest::mouseClick(form->FullScreenForm->ScanImage, Qt::LeftButton);
    EXPECT_TRUE(form->FullScreenForm) << "without the option a click does not close";
    QTest::mouseClick(button->CloseSpeedButton, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form->FullScreenForm);
    EXPECT_FALSE(button);
}

TEST(ColViewForm, SnapsBelowAndBesideTheMainWindowWithinFortyNinePixels)
{
    TColViewForm view(nullptr);
    view.resize(100, 80);
    const QRect main(100, 100, 400, 300); // right edge 500, bottom edge 400
    view.MainWindowRect = [main] { return std::optional<QRect>(main); };
    struct Row
    {
        QPoint to;
        QPoint expected;
    };
    const Row rows[] = {
        {{200, 449}, {200, 400}}, // 49 below the bottom edge: snaps
        {{200, 450}, {200, 450}}, // 50: stays
        {{549, 150}, {500, 150}}, // 49 right of the right edge
        {{550, 150}, {550, 150}},
    };
    for (const Row &r : rows) {
        view.move(0, 0);
        view.StartDrag(QPoint(10, 10));
        view.DragTo(r.to + QPoint(10, 10));
        EXPECT_EQ(view.pos(), r.expected) << r.to.x() << "," << r.to.y();
    }
    view.MainWindowRect = [] { return std::optional<QRect>(); };
    view.move(0, 0);
    view.StartDrag(QPoint(0, 0));
    view.DragTo(QPoint(200, 449));
    EXPECT_EQ(view.pos(), QPoint(200, 449)) << "no main window: no snapping";
}

TEST_F(ViewModes, TextOutputSwitchSurvivesTheWindowsDestruction)
{
    form->CreateFileOutputForm = [this] { return new TBaseDockForm(form.get()); };
    form->show();
    form->FileOutputShown = true;
    form->ToggleFileOutput();
    auto *out = qobject_cast<QDockWidget *>(form->FileOutputBDForm.data());
    ASSERT_TRUE(out);
    EXPECT_EQ(form->dockWidgetArea(out), Qt::BottomDockWidgetArea);
    delete out; // its own destruction, as its close does
    EXPECT_FALSE(form->FileOutputBDForm);
    EXPECT_FALSE(form->FileOutputShown);
    form->IsClosing = true;
    form->FileOutputShown = true;
    form->ToggleFileOutput();
    EXPECT_FALSE(form->FileOutputBDForm) << "nothing is made while closing";
}

TEST_F(ViewModes, CloseKeepsBothAreasAndBothExplorerStatesInOneStoreUpdate)
{
    form->Options.FileExp = true;
    CreateFolderExplorer(*form);
    form->resize(800, 600);
    form->show();
    form->ShowFileExplorer();
    QTest::qWait(0);
    auto *dir = qobject_cast<QDockWidget *>(form->DirBDForm.data());
    ASSERT_TRUE(dir);
    form->resizeDocks({dir}, {200}, Qt::Horizontal);
    QTest::qWait(0);

    const QString store = TRegistry::StoreFile(RootKey::CurrentUser);
    QDir().mkpath(QFileInfo(store).absolutePath());
    const int fd = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_GE(inotify_add_watch(fd, QFile::encodeName(QFileInfo(store).absolutePath()).constData(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    form->FormClose();
    int updates = 0;
    alignas(inotify_event) char buf[8192];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        for (char *p = buf; p < buf + n;) {
            auto *ev = reinterpret_cast<inotify_event *>(p);
            if (ev->len && QFileInfo(store).fileName() == QString::fromLocal8Bit(ev->name))
                ++updates;
            p += sizeof(inotify_event) + ev->len;
        }
    ::close(fd);
    EXPECT_EQ(updates, 1);

    TRegistry reg;
    const QString gui = QStringLiteral("\\Software\\Tarvendo\\Zelkora\\5.0\\GUI\\");
    ASSERT_TRUE(reg.OpenKeyReadOnly(gui + "LeftDockPanel"));
    const auto left = TDockPanelStream::Decode(reg.ReadBinaryData("DataStream"));
    ASSERT_TRUE(left);
    EXPECT_EQ(left->width, 200);
    EXPECT_EQ(left->ZoneNames(), (QStringList{"DirBDForm", "NavBDForm"}));
    ASSERT_TRUE(reg.OpenKeyReadOnly(gui + "RightDockPanel"));
    const auto right = TDockPanelStream::Decode(reg.ReadBinaryData("DataStream"));
    ASSERT_TRUE(right);
    EXPECT_TRUE(right->zones.isEmpty());
    for (const char *cls : {"TDirBDForm", "TNavBDForm"})
        EXPECT_TRUE(reg.KeyExists(gui + cls)) << cls;
}
