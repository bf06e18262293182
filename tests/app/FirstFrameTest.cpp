// Work held for the main window's first frame: queued at once where nothing
// is held, else after the window's first exposure (or the fallback), in the
// order given, without the work of contexts gone meanwhile.
#include "FirstFrame.h"

#include <QCoreApplication>
#include <QObject>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>

using namespace zk;

TEST(FirstFrame, HeldWorkRunsInOrderAfterTheFirstExposureOrTheFallback)
{
    QStringList ran;
    QObject context;

    // Nothing held: the next turn of the event loop.
    AfterFirstFrame(&context, [&] { ran << "unheld"; });
    EXPECT_TRUE(ran.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, QStringList{"unheld"});

    // Held across event loop turns until the window is exposed.
    ran.clear();
    HoldUntilFirstFrame();
    auto gone = std::make_unique<QObject>();
    AfterFirstFrame(&context, [&] { ran << "first"; });
    AfterFirstFrame(gone.get(), [&] { ran << "of a context gone"; });
    AfterFirstFrame(&context, [&] { ran << "second"; });
    gone.reset();
    QTest::qWait(20);
    EXPECT_TRUE(ran.isEmpty());
    QWidget window;
    window.resize(120, 80);
    window.show();
    ReleaseAfterFirstFrame(window.windowHandle(), 60000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 2; }, 5000));
    EXPECT_TRUE(window.windowHandle()->isExposed());
    EXPECT_EQ(ran, (QStringList{"first", "second"}));

    // A window never shown: the fallback lets the work go.
    ran.clear();
    HoldUntilFirstFrame();
    AfterFirstFrame(&context, [&] { ran << "late"; });
    QWidget hidden;
    hidden.winId();
    ReleaseAfterFirstFrame(hidden.windowHandle(), 50);
    QTest::qWait(20);
    EXPECT_TRUE(ran.isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ran.isEmpty(); }, 5000));
    EXPECT_EQ(ran, QStringList{"late"});

    // Released: queued at once again.
    AfterFirstFrame(&context, [&] { ran << "after"; });
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, (QStringList{"late", "after"}));
}
