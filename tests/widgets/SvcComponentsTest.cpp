// The timer ticks only with a period, switched on and something to call; a
// tick's exception reaches the exception handler and the timer goes on; a
// thread without an event loop is refused loudly. The colour picker starts at
// 100 ms and its cursor stays untouched.
#include "SvcComponents.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include <thread>

using namespace zk;

namespace {

int TicksWithin(TsvcCustomTimer &timer, int ms)
{
    int ticks = 0;
    timer.SetOnTimer([&ticks](TsvcComponent *) { ++ticks; });
    QTest::qWait(ms);
    timer.SetOnTimer(nullptr);
    return ticks;
}

} // namespace

TEST(SvcCustomTimer, RunsOnlyWithIntervalEnabledAndHandler)
{
    TsvcCustomTimer timer;
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(timer.Running()) << "no handler: nothing to tick for";

    timer.SetInterval(10);
    EXPECT_FALSE(timer.Running());
    EXPECT_GT(TicksWithin(timer, 120), 2);

    struct Case { std::uint32_t interval; bool enabled; };
    for (const Case c : {Case{0, true}, Case{10, false}}) {
        timer.SetInterval(c.interval);
        timer.SetEnabled(c.enabled);
        EXPECT_EQ(TicksWithin(timer, 60), 0) << c.interval << " " << c.enabled;
    }
    timer.SetInterval(0xFFFFFFFFu);
    EXPECT_EQ(timer.Interval(), TsvcCustomTimer::MaxInterval) << "what QTimer takes";
}

TEST(SvcCustomTimer, TickExceptionGoesToTheHandlerAndTicksGoOn)
{
    QStringList seen;
    SetComponentExceptionHandler([&seen](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception &x) {
            seen << QString::fromUtf8(x.what());
        }
    });
    TsvcCustomTimer timer;
    timer.SetInterval(5);
    int ticks = 0;
    timer.SetOnTimer([&ticks](TsvcComponent *sender) {
        EXPECT_NE(sender, nullptr);
        ++ticks;
        throw std::runtime_error("tick failed");
    });
    QElapsedTimer clock;
    clock.start();
    while (ticks < 3 && clock.elapsed() < 5000)
        QTest::qWait(10);
    timer.SetEnabled(false);
    SetComponentExceptionHandler(nullptr);
    EXPECT_GE(ticks, 3);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.front(), "tick failed");
}

TEST(SvcCustomTimer, ThreadWithoutEventLoopIsRefused)
{
    QString message;
    std::thread worker([&message] {
        TsvcCustomTimer timer;
        timer.SetInterval(10);
        try {
            timer.SetOnTimer([](TsvcComponent *) {});
        } catch (const EOutOfResources &e) {
            message = QString::fromUtf8(e.what());
        }
        EXPECT_FALSE(timer.Running());
    });
    worker.join();
    EXPECT_EQ(message, QString::fromUtf8("Nicht genügend Timer verfügbar"));
}

TEST(SvcColorPicker, DefaultsAndCursorLeftAlone)
{
    TsvcColorPicker picker;
    EXPECT_EQ(picker.Interval(), 100u);
    EXPECT_TRUE(picker.Enabled());
    EXPECT_EQ(picker.CursorIndex(), 0);
    int ticks = 0;
    picker.SetInterval(5);
    picker.SetOnTimer([&ticks](TsvcComponent *) { ++ticks; });
    QTest::qWait(60);
    picker.SetEnabled(false);
    EXPECT_GT(ticks, 0) << "the picker's tick calls OnTimer";
}
