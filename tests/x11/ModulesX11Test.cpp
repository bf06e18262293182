// The tools module against the real X server, through the program's
// binding: the mouse hook sees a click over another window, the key hook
// sees Print while another window has the focus, and the recording frame
// stands where it should, follows its handle and lets clicks through.
#include "DLLImport.h"
#include "ModuleProtocol.h"
#include "Registry.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

using namespace zk;

namespace {

void xdotool(const QStringList &args)
{
    ASSERT_EQ(zktest::runProgram("xdotool", args), 0) << args.join(' ').toStdString();
}

// Geometry of the first window with that name, from xwininfo; null when
// there is none.
QRect windowGeometry(const QString &name)
{
    QByteArray out;
    if (zktest::runProgram("xwininfo", {"-name", name}, &out) != 0)
        return {};
    const QString text = QString::fromUtf8(out);
    const auto num = [&text](const char *label) {
        const QRegularExpressionMatch m =
            QRegularExpression(QString::fromLatin1(label) + QStringLiteral(":\\s+(-?\\d+)")).match(text);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    return QRect(num("Absolute upper-left X"), num("Absolute upper-left Y"), num("Width"), num("Height"));
}

// A window that counts the mouse presses it gets.
class ClickTarget : public QWidget
{
public:
    ClickTarget() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

class ModulesX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!zktest::haveX11())
            GTEST_SKIP() << "needs the test X server";
        FreeOutsideModules();
        LoadOutsideModules(QStringLiteral(ZK_PROGRAM_DIR));
        ASSERT_TRUE(ToolsModuleLoaded());
        receiver = std::make_unique<QWidget>();
        receiver->setWindowTitle("module receiver");
        receiver->setGeometry(1500, 50, 200, 100);
        receiver->show();
        messages = new TModuleMessages(receiver.get());
        QObject::connect(messages, &TModuleMessages::LButtonUp, [this](QPoint p) { ups.append(p); });
        QObject::connect(messages, &TModuleMessages::FrameMoved, [this](QPoint p) { moves.append(p); });
        QObject::connect(messages, &TModuleMessages::PrintKey, [this](bool on) { keys.append(on); });
        ASSERT_TRUE(QTest::qWaitForWindowExposed(receiver.get()));
    }
    void TearDown() override
    {
        UninstallHook();
        UninstallHook2();
        HideAviFrame();
        FreeOutsideModules();
    }

    std::unique_ptr<QWidget> receiver;
    TModuleMessages *messages = nullptr;
    QList<QPoint> ups, moves;
    QList<bool> keys;
};

TEST_F(ModulesX11, MouseHookReportsOneReleaseOverAnotherWindowAndStops)
{
    ClickTarget other;
    other.setGeometry(300, 300, 200, 150);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));

    ASSERT_TRUE(InstallHook(messages->Window()));
    xdotool({"mousemove", "--sync", "350", "360", "click", "1"});
    ASSERT_TRUE(zktest::waitFor([&] { return !ups.isEmpty(); }, 5000)) << "no button-up message";
    QTest::qWait(300); // a second message would have come by now
    ASSERT_EQ(ups.size(), 1);
    EXPECT_EQ(ups[0], QPoint(350, 360));
    EXPECT_TRUE(zktest::waitFor([&] { return other.presses == 1; }, 2000)) << "the click was swallowed";
    // Other buttons are not reported.
    xdotool({"click", "3"});
    QTest::qWait(300);
    EXPECT_EQ(ups.size(), 1);

    EXPECT_TRUE(UninstallHook());
    xdotool({"click", "1"});
    QTest::qWait(400);
    EXPECT_EQ(ups.size(), 1);
    EXPECT_FALSE(UninstallHook()) << "nothing left to remove";
}

TEST_F(ModulesX11, KeyHookSeesPrintWhileAnotherWindowHasTheFocus)
{
    ClickTarget other;
    other.setGeometry(300, 300, 200, 150);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    other.activateWindow();

    ASSERT_TRUE(InstallHook2(messages->Window()));
    xdotool({"key", "Print"});
    ASSERT_TRUE(zktest::waitFor([&] { return keys.size() >= 2; }, 5000)) << "got " << keys.size();
    EXPECT_EQ(keys, (QList<bool>{true, false}));
    EXPECT_TRUE(UninstallHook2());
    xdotool({"key", "Print"});
    QTest::qWait(300);
    EXPECT_EQ(keys.size(), 2);
}

TEST_F(ModulesX11, KeyHookRefusedWhileAnotherClientHoldsPrint)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    xcb_connection_t *c = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_key_symbols_t *syms = xcb_key_symbols_alloc(c);
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(syms, 0xff61);
    ASSERT_NE(codes, nullptr);
    const xcb_keycode_t print = codes[0];
    free(codes);
    xcb_key_symbols_free(syms);
    xcb_generic_error_t *e =
        xcb_request_check(c, xcb_grab_key_checked(c, 1, root, 0, print, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(e, nullptr) << "Print is already held by someone";
    EXPECT_FALSE(InstallHook2(messages->Window()));
    EXPECT_FALSE(UninstallHook2());
    xcb_ungrab_key(c, print, root, 0);
    xcb_flush(c);
    QTest::qWait(100);
    // Free again: the module gets it now.
    EXPECT_TRUE(InstallHook2(messages->Window()));
}

TEST_F(ModulesX11, FrameStandsAtItsPlaceInItsSize)
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    struct Case
    {
        int width;
        std::uint8_t frameInit;
        QSize size;
    };
    for (const Case &c : {Case{600, 1, {600, 480}}, Case{300, 0, {300, 240}}, Case{1024, 1, {1024, 768}},
                          Case{700, 0, {700, 525}}}) {
        SCOPED_TRACE(c.width);
        moves.clear();
        ASSERT_TRUE(ShowAviFrame(messages->Window(), c.width, c.frameInit, 0, 1));
        const QPoint at = c.frameInit == 1 ? QPoint((screen.width() - c.size.width()) / 2,
                                                    (screen.height() - c.size.height()) / 2)
                                           : QPoint(0, 0);
        ASSERT_TRUE(zktest::waitFor([&] { return !moves.isEmpty(); }, 3000));
        EXPECT_EQ(moves, QList<QPoint>{at});
        EXPECT_EQ(windowGeometry("Zelkora recording frame"), QRect(at, c.size));
        EXPECT_FALSE(windowGeometry("Zelkora frame handle").isValid()) << "no handle without moveGrabber";
    }
    EXPECT_TRUE(HideAviFrame());
    EXPECT_FALSE(windowGeometry("Zelkora recording frame").isValid());
    EXPECT_FALSE(HideAviFrame());
}

TEST_F(ModulesX11, HandleDragsTheFrameAndClicksInsidePassThrough)
{
    ClickTarget below;
    below.setGeometry(0, 0, 400, 300);
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));
    const QRect belowAt = below.frameGeometry();

    ASSERT_TRUE(ShowAviFrame(messages->Window(), 300, 0, 1, 1));
    ASSERT_TRUE(zktest::waitFor([&] { return moves.size() == 1; }, 3000));
    const QRect handle = windowGeometry("Zelkora frame handle");
    ASSERT_EQ(handle, QRect(0, 240, 48, 14));

    // A click inside the frame reaches the window under it.
    const QPoint inside(belowAt.left() + 150, belowAt.top() + 120);
    xdotool({"mousemove", "--sync", QString::number(inside.x()), QString::number(inside.y()), "click", "1"});
    EXPECT_TRUE(zktest::waitFor([&] { return below.presses == 1; }, 3000)) << "the click did not pass through";

    // Drag the handle 100 right and 50 down.
    xdotool({"mousemove", "--sync", "10", "245", "mousedown", "1"});
    QTest::qWait(100);
    xdotool({"mousemove", "--sync", "60", "270"});
    xdotool({"mousemove", "--sync", "110", "295"});
    xdotool({"mouseup", "1"});
    ASSERT_TRUE(zktest::waitFor([&] { return moves.size() == 2; }, 3000));
    EXPECT_EQ(moves[1], QPoint(100, 50));
    EXPECT_EQ(windowGeometry("Zelkora recording frame"), QRect(100, 50, 300, 240));
    EXPECT_EQ(windowGeometry("Zelkora frame handle"), QRect(100, 290, 48, 14));

    // Dragged beyond the screen's top right corner it stops at the edges.
    const QSize screen = QGuiApplication::primaryScreen()->size();
    xdotool({"mousedown", "1"}); // the pointer is still on the handle
    QTest::qWait(100);
    xdotool({"mousemove", "--sync", QString::number(screen.width() - 1), "0"});
    xdotool({"mouseup", "1"});
    ASSERT_TRUE(zktest::waitFor([&] { return moves.size() == 3; }, 3000));
    EXPECT_EQ(moves[2], QPoint(screen.width() - 300, 0));
}

TEST_F(ModulesX11, ProgramRunsWithoutTheModuleFiles)
{
    {
        TRegistry reg; // no close question
        ASSERT_TRUE(reg.OpenKey("Software\\Tarvendo\\Zelkora\\5.0\\Options", true));
        reg.WriteBool("EndDlg", false);
    }
    // A copy of the program without the modules beside it.
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(ZK_PROGRAM_DIR "/zelkora", dir.filePath("zelkora")));
    ASSERT_TRUE(QFile::copy(ZK_PROGRAM_DIR "/libzelkora.so", dir.filePath("libzelkora.so")));
    QDir().mkpath(dir.filePath("Templates"));
    for (const QString &f : QDir(ZK_PROGRAM_DIR "/Templates").entryList(QDir::Files))
        QFile::copy(ZK_PROGRAM_DIR "/Templates/" + f, dir.filePath("Templates/" + f));
    QProcess zelkora;
    zelkora.setProcessChannelMode(QProcess::ForwardedChannels);
    zelkora.start(dir.filePath("zelkora"), {});
    ASSERT_TRUE(zelkora.waitForStarted(10000));
    const QByteArray id = zktest::waitForWindow("Zelkora 5.0", 30000, false, zelkora.processId());
    EXPECT_FALSE(id.isEmpty()) << "no main window without the modules";
    if (!id.isEmpty())
        zktest::runProgram("wmctrl", {"-i", "-c", QString::fromLatin1(id)});
    if (!zelkora.waitForFinished(30000)) {
        zelkora.kill();
        zelkora.waitForFinished(5000);
        FAIL() << "the program did not end";
    }
    EXPECT_EQ(zelkora.exitCode(), 0);
}

} // namespace
