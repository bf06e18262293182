// The main window against a real X server. Global hot keys: the running
// program holds its keys so another client cannot take them, a pressed key
// reaches the main window, a key someone else holds is reported, and
// switching the system keys off releases everything. Closing: the window
// manager's close asks first and the store holds the settings afterwards.
#include "DialogSupport.h"
#include "DirBDForm.h"
#include "FolderExplorerSetup.h"
#include "HotKeys.h"
#include "MainForm.h"
#include "OptionDlg.h"
#include "Options.h"
#include "Placement.h"
#include "Registry.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QScreen>
#include <QThread>
#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <cstdlib>
#include <cstring>

using namespace zk;

namespace {

constexpr std::uint8_t kBadAccess = 10;

// A second X client, as another program would be.
class OtherClient
{
public:
    OtherClient()
    {
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_syms = xcb_key_symbols_alloc(m_c);
    }
    ~OtherClient()
    {
        if (m_syms)
            xcb_key_symbols_free(m_syms);
        xcb_disconnect(m_c);
    }
    bool ok() const { return m_syms != nullptr; }

    std::uint8_t keycode(char lower)
    {
        xcb_keycode_t *codes = xcb_key_symbols_get_keycode(m_syms, xcb_keysym_t(lower));
        const std::uint8_t code = codes ? codes[0] : 0;
        std::free(codes);
        return code;
    }
    // 0 when the grab succeeded, else the X error code.
    int grabCtrl(char lower)
    {
        xcb_void_cookie_t cookie = xcb_grab_key_checked(m_c, 1, m_root, XCB_MOD_MASK_CONTROL, keycode(lower),
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t *error = xcb_request_check(m_c, cookie);
        const int code = error ? error->error_code : 0;
        std::free(error);
        return code;
    }
    void ungrabCtrl(char lower)
    {
        xcb_ungrab_key(m_c, keycode(lower), m_root, XCB_MOD_MASK_CONTROL);
        xcb_flush(m_c);
    }

private:
    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_key_symbols_t *m_syms = nullptr;
};

bool onX11()
{
    return std::getenv("ZK_TEST_X11") && std::getenv("DISPLAY");
}

void storeNoCloseQuestion()
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QString::fromLatin1(OptionsStore::KeyPath), true));
    reg.WriteBool("EndDlg", false);
}

class ResetStore : public ::testing::Test
{
protected:
    void SetUp() override { TRegistry().DeleteKey("Software\\Tarvendo"); }
    void TearDown() override { TRegistry().DeleteKey("Software\\Tarvendo"); }
};

using HotKeysX11 = ResetStore;
using MainWindowX11 = ResetStore;

} // namespace

TEST_F(HotKeysX11, RunningProgramHoldsCtrlEAndReceivesIt)
{
    if (!onX11())
        GTEST_SKIP() << "needs the test X server";
    ASSERT_TRUE(zktest::haveProgram("xdotool"));
    storeNoCloseQuestion();

    QProcess zelkora;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_LOGGING_RULES", "zk.hotkeys.info=true");
    zelkora.setProcessEnvironment(env);
    zelkora.setProcessChannelMode(QProcess::SeparateChannels);
    zelkora.start(QString(ZK_PROGRAM_DIR) + "/zelkora", {});
    ASSERT_TRUE(zelkora.waitForStarted(10000));
    const QByteArray id = zktest::waitForWindow("Zelkora 5.0", 30000, false, zelkora.processId());
    if (id.isEmpty()) {
        const QByteArray windows = zktest::windowsOf(zelkora.processId());
        zelkora.kill();
        zelkora.waitForFinished(5000);
        FAIL() << "no main window; the program's windows:\n"
               << windows.constData() << "its messages:\n"
               << zelkora.readAllStandardError().constData();
    }

    // The keys are grabbed just after the window is up: probing earlier
    // would take Ctrl+E away from the program.
    QByteArray log;
    for (int i = 0; i < 150 && !log.contains("hot keys registered"); ++i) {
        zelkora.waitForReadyRead(200);
        log += zelkora.readAllStandardError();
    }
    ASSERT_TRUE(log.contains("hot keys registered")) << log.constData();
    OtherClient other;
    ASSERT_TRUE(other.ok());
    EXPECT_EQ(other.grabCtrl('e'), kBadAccess) << "Ctrl+E belongs to the running program";
    EXPECT_EQ(other.grabCtrl('q'), 0) << "a key outside the table is free";
    other.ungrabCtrl('q');

    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "ctrl+e"}), 0);
    for (int i = 0; i < 50 && !log.contains("hot key 2"); ++i) {
        zelkora.waitForReadyRead(200);
        log += zelkora.readAllStandardError();
    }
    EXPECT_TRUE(log.contains("hot key 2")) << log.constData();

    // The key captures the desktop: the window hides for the capture and the
    // window manager ignores a close until it is back.
    ASSERT_FALSE(zktest::waitForWindow("Zelkora 5.0", 30000, true, zelkora.processId()).isEmpty());
    EXPECT_EQ(zktest::runProgram("wmctrl", {"-i", "-c", QString::fromLatin1(id)}), 0);
    ASSERT_TRUE(zelkora.waitForFinished(30000));
    EXPECT_EQ(zelkora.exitCode(), 0);
    EXPECT_EQ(other.grabCtrl('e'), 0) << "the key is free once the program has ended";
    other.ungrabCtrl('e');
}

TEST_F(HotKeysX11, KeyHeldElsewhereIsReportedAndTheOthersStillWork)
{
    if (!onX11() || !TGlobalHotKeys::Available())
        GTEST_SKIP() << "needs the test X server";
    OtherClient other;
    ASSERT_TRUE(other.ok());
    ASSERT_EQ(other.grabCtrl('e'), 0);

    TMainForm form;
    form.Options.EndDlg = false;
    QSignalSpy spy(&form, &TMainForm::HotKeyMessage);
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.RefusedHotKeys(), QList<int>{2});
    EXPECT_EQ(form.HotKeys()->RegisteredIds(), (QList<int>{1, 3, 4, 5, 6}));
    auto *box = form.findChild<QMessageBox *>("HotKeyInUseBox");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains("STRG + E")) << box->text().toStdString();
    box->close();

    // Ctrl+F is slot 3 by default, also with NumLock lit.
    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "ctrl+f"}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
    EXPECT_EQ(spy.takeFirst().value(0).toInt(), 3);
    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "Num_Lock"}), 0);
    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "ctrl+f"}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "Num_Lock"}), 0);
    spy.clear();

    // Once the other program lets go, the next show takes the key; showing
    // again does not grab twice, and the key is still ours.
    other.ungrabCtrl('e');
    form.hide();
    form.show();
    form.hide();
    form.show();
    QApplication::processEvents();
    EXPECT_TRUE(form.RefusedHotKeys().isEmpty());
    EXPECT_EQ(form.HotKeys()->RegisteredIds(), (QList<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(other.grabCtrl('e'), kBadAccess);
    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "ctrl+e"}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
    EXPECT_EQ(spy.takeFirst().value(0).toInt(), 2);

    // System keys off: a show grabs nothing and earlier grabs are released.
    form.Options.SysKeys = false;
    form.hide();
    form.show();
    QApplication::processEvents();
    EXPECT_TRUE(form.HotKeys()->RegisteredIds().isEmpty());
    EXPECT_EQ(other.grabCtrl('a'), 0);
    other.ungrabCtrl('a');
    form.close();
}

TEST_F(HotKeysX11, ClosingTheWindowReleasesTheKeys)
{
    if (!onX11() || !TGlobalHotKeys::Available())
        GTEST_SKIP() << "needs the test X server";
    OtherClient other;
    ASSERT_TRUE(other.ok());
    {
        TMainForm form;
        form.Options.EndDlg = false;
        form.show();
        QApplication::processEvents();
        EXPECT_EQ(other.grabCtrl('h'), kBadAccess);
        form.close();
        EXPECT_EQ(other.grabCtrl('h'), 0);
        other.ungrabCtrl('h');
    }
}

TEST_F(MainWindowX11, CloseByTheWindowManagerAsksFirstOnAFirstRun)
{
    if (!onX11())
        GTEST_SKIP() << "needs the test X server";
    ASSERT_TRUE(zktest::haveProgram("wmctrl"));
    QProcess zelkora;
    zelkora.setProcessChannelMode(QProcess::ForwardedChannels);
    zelkora.start(QString(ZK_PROGRAM_DIR) + "/zelkora", {});
    ASSERT_TRUE(zelkora.waitForStarted(10000));
    const QByteArray id = zktest::waitForWindow("Zelkora 5.0", 30000, true, zelkora.processId());
    ASSERT_FALSE(id.isEmpty());

    // "EndDlg" is on by default: the close button brings the question, and
    // the program keeps running until it is answered. The key goes to
    // whatever has the focus, so it waits until the question has it (it
    // carries the main window's title and is told apart by its id); a close
    // request the manager dropped before taking the window in is repeated.
    QByteArray active;
    const auto questionHasFocus = [&] {
        for (int waited = 0; waited < 3000; waited += 100) {
            if (zktest::runProgram("xdotool", {"getactivewindow"}, &active) == 0 &&
                !active.trimmed().isEmpty() && active.trimmed() != id)
                return true;
            QThread::msleep(100);
        }
        return false;
    };
    bool asked = false;
    for (int attempt = 0; attempt < 5 && !asked; ++attempt) {
        EXPECT_EQ(zktest::runProgram("wmctrl", {"-i", "-c", QString::fromLatin1(id)}), 0);
        asked = questionHasFocus();
    }
    ASSERT_TRUE(asked) << "the question never took the focus";
    EXPECT_EQ(zelkora.state(), QProcess::Running);
    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "Return"}), 0); // "Ja" is the default answer
    ASSERT_TRUE(zelkora.waitForFinished(30000));
    EXPECT_EQ(zelkora.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(zelkora.exitCode(), 0);

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(QString::fromLatin1(OptionsStore::KeyPath)));
    EXPECT_EQ(reg.GetValueNames().size(), 132);
    EXPECT_TRUE(reg.KeyExists("\\Software\\Tarvendo\\Zelkora\\5.0\\GUI\\ViewPal"));
}

namespace {

// The outer frame of a window as the X server and the window manager tell
// it: the client's place (xwininfo) grown by _NET_FRAME_EXTENTS (xprop).
QRect frameOf(WId id)
{
    QByteArray info, extents;
    if (zktest::runProgram("xwininfo", {"-id", QString::number(id)}, &info) != 0 ||
        zktest::runProgram("xprop", {"-id", QString::number(id), "_NET_FRAME_EXTENTS"}, &extents) != 0)
        return {};
    int x = 0, y = 0, w = 0, h = 0;
    for (const QByteArray &line : info.split('\n')) {
        const QByteArray t = line.trimmed();
        const auto value = [&](const char *key, int *v) {
            if (t.startsWith(key))
                *v = t.mid(qsizetype(std::strlen(key))).trimmed().toInt();
        };
        value("Absolute upper-left X:", &x);
        value("Absolute upper-left Y:", &y);
        value("Width:", &w);
        value("Height:", &h);
    }
    // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
    const QList<QByteArray> e = extents.mid(extents.indexOf('=') + 1).trimmed().split(',');
    if (e.size() != 4)
        return {};
    const int left = e[0].trimmed().toInt(), right = e[1].trimmed().toInt();
    const int top = e[2].trimmed().toInt(), bottom = e[3].trimmed().toInt();
    return QRect(x - left, y - top, w + left + right, h + top + bottom);
}

} // namespace

// With the magnet on: a docked explorer is part of the window, which fills
// the work area from its left edge; a floating one keeps its width free on
// the left. Either way the whole frame stays inside the work area.
TEST_F(MainWindowX11, MagneticMaximiseKeepsTheWholeFrameInTheWorkArea)
{
    if (!onX11())
        GTEST_SKIP() << "needs the test X server";
    ASSERT_TRUE(zktest::haveProgram("xwininfo") && zktest::haveProgram("xprop"));
    for (const bool floating : {false, true}) {
        SCOPED_TRACE(floating ? "floating explorer" : "docked explorer");
        TRegistry().DeleteKey("Software\\Tarvendo"); // no maximised placement from the last round
        TMainForm form;
        form.Options.EndDlg = false;
        form.Options.FileExp = true;
        ASSERT_TRUE(form.Options.MagneticFE);
        TDirBDForm *explorer = CreateFolderExplorer(form);
        form.resize(700, 500);
        form.move(300, 120);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        if (floating) {
            explorer->setFloating(true);
            explorer->resize(240, 400);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(explorer));
        }
        ASSERT_TRUE(zktest::waitFor([&] { QApplication::processEvents(); return form.frameGeometry() != form.geometry(); }, 5000));
        const QRect area = form.screen()->availableGeometry();
        const int band = floating ? explorer->frameGeometry().width() : 0;
        ASSERT_TRUE(!floating || band >= 240);
        const QRect before = frameOf(form.winId());
        QRect frame;
        const auto frameBecomes = [&](const QRect &wanted) {
            zktest::waitFor([&] {
                QApplication::processEvents();
                frame = frameOf(form.winId());
                return frame == wanted;
            }, 5000);
            return frame;
        };
        // Docked: the window manager's maximise button; floating: the magnet's
        // own command.
        if (floating)
            ASSERT_TRUE(form.WMSysCommand(SC_MAXIMIZE));
        else
            form.setWindowState(Qt::WindowMaximized);
        const QRect wanted(area.left() + band, area.top(), area.width() - band, area.height());
        EXPECT_EQ(frameBecomes(wanted), wanted) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        EXPECT_TRUE(area.contains(frame));
        if (!floating) {
            // The explorer sits at the window's left edge, no empty band before it.
            const QPoint inside = explorer->mapToGlobal(QPoint(0, 0));
            EXPECT_LT(inside.x() - area.left(), 20) << inside.x();
        }
        // The second press gives the former frame back.
        if (floating)
            ASSERT_TRUE(form.WMSysCommand(SC_MAXIMIZE));
        else
            form.setWindowState(Qt::WindowNoState);
        EXPECT_EQ(frameBecomes(before), before) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        form.close();
    }
}

TEST_F(MainWindowX11, TheStoredPlacementIsTheOuterFrame)
{
    if (!onX11())
        GTEST_SKIP() << "needs the test X server";
    ASSERT_TRUE(zktest::haveProgram("xwininfo") && zktest::haveProgram("xprop"));
    const QString key = QStringLiteral("Software\\Tarvendo\\PlacementCheck");
    QRect frame;
    {
        QWidget first;
        first.resize(420, 310);
        first.move(160, 130);
        first.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
        ASSERT_TRUE(zktest::waitFor([&] { return !DecorationsOf(&first).isNull(); }, 5000));
        ASSERT_TRUE(zktest::waitFor([&] { return frameOf(first.winId()).topLeft() == QPoint(160, 130); }, 5000));
        frame = frameOf(first.winId());
        ASSERT_GT(frame.height(), 310) << "decorated";
        ASSERT_TRUE(SaveWindowPos(key, &first));
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(key));
    const auto stored = TWindowPlacement::Decode(reg.ReadBinaryData("WindowPos"));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->normal, frame);

    // The next start puts the frame back on the same pixels.
    QWidget second;
    ASSERT_TRUE(LoadWindowPos(key, &second));
    second.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
    QRect again;
    zktest::waitFor([&] { again = frameOf(second.winId()); return again == frame; }, 5000);
    EXPECT_EQ(again, frame);
}

TEST_F(MainWindowX11, OnAFirstRunACaptureBringsTheWindowBackWhereItWas)
{
    if (!onX11())
        GTEST_SKIP() << "needs the test X server";
    ASSERT_TRUE(zktest::haveProgram("xdotool"));
    TMainForm form; // no stored placement: the window manager places it
    form.Options.EndDlg = false;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // The user drags it somewhere: the program itself never moved it.
    const QRect placed = frameOf(form.winId());
    ASSERT_EQ(zktest::runProgram("xdotool", {"windowmove", QString::number(form.winId()), "137", "91"}), 0);
    ASSERT_TRUE(zktest::waitFor([&] {
        QApplication::processEvents();
        return frameOf(form.winId()).topLeft() != placed.topLeft();
    }, 5000));
    QTest::qWait(200);
    const QRect before = frameOf(form.winId());

    form.DeskMenuItemClick(form.Item("DeskMenuItem"));
    ASSERT_TRUE(zktest::waitFor([&] { QApplication::processEvents(); return form.isVisible(); }, 5000));
    QRect after;
    zktest::waitFor([&] {
        QApplication::processEvents();
        after = frameOf(form.winId());
        return after == before;
    }, 3000);
    EXPECT_EQ(after, before);
    form.close();
}

TEST_F(HotKeysX11, KeyChosenInTheSettingsWorksAfterOk)
{
    if (!onX11() || !TGlobalHotKeys::Available())
        GTEST_SKIP() << "needs the test X server";
    TMainForm form;
    form.Options.EndDlg = false;
    form.Options.MagneticFE = false;
    QSignalSpy spy(&form, &TMainForm::HotKeyMessage);
    form.show();
    QApplication::processEvents();
    zktest::AnswerNext<TOptionDlgBMForm>([](TOptionDlgBMForm *d) {
        d->HKComboBoxes[0]->setCurrentIndex(8); // "STRG + K"
        d->OkButton->click();
    });
    form.Item("SettingsMenuItem")->trigger();
    EXPECT_EQ(form.Options.HK1, 8);

    OtherClient other;
    ASSERT_TRUE(other.ok());
    EXPECT_EQ(other.grabCtrl('a'), 0) << "the old key is free";
    other.ungrabCtrl('a');
    EXPECT_EQ(other.grabCtrl('k'), kBadAccess);
    ASSERT_EQ(zktest::runProgram("xdotool", {"key", "ctrl+k"}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
    EXPECT_EQ(spy.takeFirst().value(0).toInt(), 1);
    form.close();
}
