// The chain of application components: newest first, Chained false stops,
// exceptions fall back to the standard display.
#include "SvcAppProperties.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

using namespace zk;

TEST(SvcAppProperties, EventsWalkNewestFirstAndChainedFalseStops)
{
    QString order;
    auto a = std::make_unique<TsvcApplicationProperties>();
    auto b = std::make_unique<TsvcApplicationProperties>();
    auto c = std::make_unique<TsvcApplicationProperties>();
    ASSERT_EQ(TsvcAppPropList::Instance()->Instances().size(), 3);
    const auto tracer = [&order](QChar name) {
        return [&order, name](QObject *, QEvent *e, bool &) {
            if (e->type() == QEvent::User)
                order += name;
        };
    };
    a->OnMessage = tracer('a');
    b->OnMessage = tracer('b');
    c->OnMessage = tracer('c');
    QWidget target;
    QEvent ev(QEvent::User);
    QApplication::sendEvent(&target, &ev);
    EXPECT_EQ(order, "cba");

    order.clear();
    b->Chained = false;
    QApplication::sendEvent(&target, &ev);
    EXPECT_EQ(order, "cb");

    // Handled stops the event itself from reaching its receiver.
    struct Counter : QWidget
    {
        int seen = 0;
        bool event(QEvent *e) override
        {
            if (e->type() == QEvent::User)
                ++seen;
            return QWidget::event(e);
        }
    } counter;
    c->OnMessage = [](QObject *, QEvent *e, bool &handled) { handled = e->type() == QEvent::User; };
    QApplication::sendEvent(&counter, &ev);
    EXPECT_EQ(counter.seen, 0);
    c->OnMessage = nullptr;
    QApplication::sendEvent(&counter, &ev);
    EXPECT_EQ(counter.seen, 1);
}

TEST(SvcAppProperties, ExceptionGoesToHandlersElseTheStandardDisplay)
{
    QStringList shown;
    TsvcAppPropList::SetStandardExceptionDisplay(
        [&shown](const QString &type, const QString &message) { shown << type + ":" + message; });
    {
        TsvcApplicationProperties plain;
        EXPECT_TRUE(TsvcAppPropList::DispatchException("ERangeError", "x"));
        EXPECT_EQ(shown, QStringList({"ERangeError:x"}));

        QStringList handled;
        auto handler = std::make_unique<TsvcApplicationProperties>();
        handler->OnException = [&handled](QObject *, const QString &type, const QString &) { handled << type; };
        TsvcAppPropList::DispatchException("EIO", "y");
        EXPECT_EQ(handled, QStringList({"EIO"}));
        EXPECT_EQ(shown.size(), 1);

        // A newer instance that stops the chain before any handler ran.
        auto stopper = std::make_unique<TsvcApplicationProperties>();
        stopper->Chained = false;
        TsvcAppPropList::DispatchException("EStop", "z");
        EXPECT_EQ(handled.size(), 1);
        EXPECT_EQ(shown.last(), "EStop:z");
    }
    // The list goes with its last instance.
    EXPECT_EQ(TsvcAppPropList::Instance(), nullptr);
    TsvcAppPropList::SetStandardExceptionDisplay(nullptr);
}

TEST(SvcAppProperties, HandlerMayFreeAnInstanceDuringTheWalk)
{
    auto older = std::make_unique<TsvcApplicationProperties>();
    int olderCalls = 0;
    older->OnMessage = [&olderCalls](QObject *, QEvent *e, bool &) {
        if (e->type() == QEvent::User)
            ++olderCalls;
    };
    auto newer = std::make_unique<TsvcApplicationProperties>();
    newer->OnMessage = [&older](QObject *, QEvent *e, bool &) {
        if (e->type() == QEvent::User)
            older.reset();
    };
    QWidget target;
    QEvent ev(QEvent::User);
    QApplication::sendEvent(&target, &ev);
    EXPECT_EQ(olderCalls, 0);
    EXPECT_EQ(TsvcAppPropList::Instance()->Instances().size(), 1);
}

TEST(SvcAppProperties, PropertiesReachTheApplication)
{
    TsvcApplicationProperties p;
    p.SetMouseDragThreshold(17);
    EXPECT_EQ(QApplication::startDragDistance(), 17);
    p.SetHintPause(400);
    EXPECT_EQ(TsvcAppPropList::HintPauseMs(), 400);
    p.SetBiDiMode(Qt::RightToLeft);
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
    p.SetBiDiMode(Qt::LeftToRight);
    p.SetMouseDragThreshold(5);
}

TEST(SvcAppProperties, ADialogsComponentLeavesTheAppliedHintSettingsInForce)
{
    TsvcApplicationProperties main;
    main.SetHintHidePause(3000);
    main.SetShowHint(true);
    {
        // Made as a dialog makes it: its defaults (2500 ms) are never applied.
        TsvcApplicationProperties dialog;
        EXPECT_EQ(TsvcAppPropList::HintHidePauseMs(), 3000);
        EXPECT_TRUE(TsvcAppPropList::HintsShown());
        dialog.SetShowHint(false);
        EXPECT_FALSE(TsvcAppPropList::HintsShown());
        dialog.SetShowHint(true);
    }
    EXPECT_EQ(TsvcAppPropList::HintHidePauseMs(), 3000);
    main.SetHintHidePause(2500);
}
