// The main window's reactions to its tray icon in a real tray (trayer,
// started here, an XEmbed tray that reports double clicks): a right click
// while a dialog is open brings that dialog forward instead of the menu, a
// double click toggles the floating explorer windows, and a minimise with
// the animation switched on flies the outline to the icon, then hides.
#include "CaptureControl.h"
#include "FindTextForms.h"
#include "QuietForm.h"
#include "Registry.h"
#include "SvcTrayIcon.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTest>
#include <QMenu>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <climits>

using namespace zk;
using namespace zktest;

namespace {

void xdotool(const QStringList &args)
{
    ASSERT_EQ(runProgram("xdotool", args), 0) << args.join(' ').toStdString();
    QTest::qWait(50);
}

struct Tray
{
    QProcess process;
    bool Start()
    {
        process.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                                 "--height", "32", "--SetDockType", "true"});
        return process.waitForStarted(5000) && waitFor([] { return TsvcTrayIcon::TrayAvailable(); }, 8000);
    }
    ~Tray()
    {
        process.kill();
        process.waitForFinished();
    }
};

bool Embedded(const QuietForm &form)
{
    return waitFor(
        [&] {
            const QRect g = form.ZKsvcTrayIcon->SystemTrayIcon()->geometry();
            return g.isValid() && !g.isEmpty();
        },
        5000);
}

} // namespace

// Every case runs beside a tray of its own, from empty settings.
class TraySourcesX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_X11_XDOTOOL();
        if (!haveProgram("trayer"))
            GTEST_SKIP() << "needs trayer";
        TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
        if (!tray.Start())
            GTEST_SKIP() << "trayer did not offer a system tray";
    }
    Tray tray;
};

TEST_F(TraySourcesX11, RightClickBringsTheOpenDialogForwardAndDoubleClickTogglesExplorers)
{
    ASSERT_TRUE(QuietForm::TrayReportsDoubleClicks());
    QuietForm form;
    form.Options.FileExp = true;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.ZKsvcTrayIcon->SetVisible(true);
    ASSERT_TRUE(Embedded(form));
    QTest::qWait(300);
    const QPoint c = form.ZKsvcTrayIcon->SystemTrayIcon()->geometry().center();

    // A dialog named by its class, behind another window.
    TFindOptBMForm dialog(nullptr, form.Options);
    dialog.resize(200, 100);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QWidget other;
    other.resize(300, 300);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == &other; }, 3000));
    {
        TOpenDialogScope scope("TFindOptBMForm");
        xdotool({"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "3"});
        EXPECT_TRUE(waitFor([&] { return QApplication::activeWindow() == &dialog; }, 3000)) << "brought forward";
        EXPECT_FALSE(form.TrayBarPopupMenu->isVisible()) << "no menu while a dialog is open";
    }
    dialog.hide();
    other.hide();

    // Two floating explorer windows: a double click hides them with the
    // program, the next one shows all again.
    QWidget dir, nav;
    dir.resize(150, 200);
    nav.resize(150, 200);
    dir.show();
    nav.show();
    form.DirBDForm = &dir;
    form.NavBDForm = &nav;
    form.activateWindow();
    QTest::qWait(200);
    xdotool({"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "--repeat", "2", "--delay", "80", "1"});
    EXPECT_TRUE(waitFor([&] { return !dir.isVisible() && !nav.isVisible() && !form.isVisible(); }, 3000));
    QTest::qWait(500);
    xdotool({"click", "--repeat", "2", "--delay", "80", "1"});
    EXPECT_TRUE(waitFor([&] { return dir.isVisible() && nav.isVisible() && form.isVisible(); }, 3000));
    form.DirBDForm = nullptr;
    form.NavBDForm = nullptr;
    form.ZKsvcTrayIcon->SetVisible(false);
}

TEST_F(TraySourcesX11, MinimiseWithAnimationFliesToTheIconThenHides)
{
    QuietForm form;
    form.Options.AnimMin = true;
    form.Options.AnimCount = 2;
    form.resize(400, 300);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.ZKsvcTrayIcon->SetVisible(true);
    ASSERT_TRUE(Embedded(form));
    const QRect icon = form.ZKsvcTrayIcon->SystemTrayIcon()->geometry();
    // Every place the frame is moved to, the last one included (a timer
    // sampling the frame misses the steps a loaded machine skips over).
    struct Probe : QObject
    {
        QList<QRect> seen;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if ((e->type() == QEvent::Move || e->type() == QEvent::Resize) &&
                o->objectName() == QLatin1String("TrayAnimationFrame"))
                seen << static_cast<QWidget *>(o)->geometry();
            return false;
        }
    } probe;
    qApp->installEventFilter(&probe);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(form.WMSysCommand(SC_MINIMIZE));
    const qint64 took = clock.elapsed();
    qApp->removeEventFilter(&probe);
    const QList<QRect> &seen = probe.seen;
    ASSERT_GE(seen.size(), 4);
    int nearest = INT_MAX;
    for (const QRect &r : seen)
        nearest = std::min(nearest, (r.center() - icon.center()).manhattanLength());
    EXPECT_LT(nearest, 60) << "reaches the icon";
    EXPECT_GT((seen.first().center() - icon.center()).manhattanLength(), 200) << "starts at the window";
    EXPECT_GE(took, 2 * 200);
    EXPECT_TRUE(waitFor([&] { return !form.isVisible(); }, 3000)) << "hidden into the tray";
    form.ZKsvcTrayIcon->SetVisible(false);
}
