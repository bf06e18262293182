// The progress window's three ends (maximum reached, nothing to do, caller
// gone quiet), with a short timer so the quiet case takes milliseconds.
#include "Progress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace zk;

namespace {

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs) {
        QTest::qWait(5);
        flushDeletes();
    }
    return condition();
}

} // namespace

TEST(ProgressForm, LooksAsDefined)
{
    QPointer<TProgressForm> p = new TProgressForm;
    EXPECT_EQ(p->windowTitle(), "Fortschrittsanzeige...");
    EXPECT_EQ(p->KonvProgressBar->objectName(), "KonvProgressBar");
    EXPECT_EQ(p->ExceptTimer->objectName(), "ExceptTimer");
    EXPECT_EQ(p->ExceptTimer->interval(), 2000);
    EXPECT_FALSE(p->ExceptTimer->isActive());
    EXPECT_TRUE(p->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(p->windowType(), Qt::Tool);
    EXPECT_FALSE(p->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(p->cursor().shape(), Qt::WaitCursor);
    delete p;
}

TEST(ProgressForm, MaximumZeroVanishesAtOnce)
{
    QPointer<TProgressForm> p = new TProgressForm;
    QSignalSpy ended(p.data(), &TProgressForm::Ended);
    p->SetMax(0);
    p->show();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(p->isVisible());
    p->SetPosition(5); // after the end: nothing
    EXPECT_EQ(p->Position(), 0);
    flushDeletes();
    EXPECT_TRUE(p.isNull());
}

TEST(ProgressForm, ReachingTheMaximumEndsIt)
{
    QWidget owner;
    owner.setGeometry(200, 100, 600, 400);
    owner.show();
    QPointer<TProgressForm> p = new TProgressForm(&owner);
    QSignalSpy ended(p.data(), &TProgressForm::Ended);
    p->SetMax(100);
    p->show();
    EXPECT_TRUE(p->ExceptTimer->isActive());
    EXPECT_EQ(p->KonvProgressBar->maximum(), 100);
    // Centred on its owner.
    EXPECT_LE((p->frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(), 2);

    p->SetPosition(50);
    EXPECT_EQ(p->KonvProgressBar->value(), 50);
    EXPECT_EQ(ended.count(), 0);
    p->SetPosition(50);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(p->IsEnded());
    EXPECT_FALSE(p->ExceptTimer->isActive());
    p->SetPosition(1); // a late step has no effect
    EXPECT_EQ(p->Position(), 100);
    EXPECT_EQ(ended.count(), 1);
    flushDeletes();
    EXPECT_TRUE(p.isNull());
}

TEST(ProgressForm, PositionPastTheMaximumCountsAsTheMaximum)
{
    QPointer<TProgressForm> p = new TProgressForm;
    QSignalSpy ended(p.data(), &TProgressForm::Ended);
    p->SetMax(300);
    p->show();
    p->SetPosition(255);
    EXPECT_EQ(ended.count(), 0);
    p->SetPosition(255);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(p->Position(), 300);
    EXPECT_EQ(p->KonvProgressBar->value(), 300);
    flushDeletes();
    EXPECT_TRUE(p.isNull());
}

TEST(ProgressForm, CallerGoingQuietEndsItAfterTwoTicks)
{
    QPointer<TProgressForm> p = new TProgressForm;
    QSignalSpy ended(p.data(), &TProgressForm::Ended);
    p->SetIdleInterval(40);
    p->SetMax(1000);
    p->show();
    p->SetPosition(1);
    EXPECT_TRUE(waitFor([&] { return p.isNull(); }, 5000));
    EXPECT_EQ(ended.count(), 1);
}

TEST(ProgressForm, StepsBetweenTicksKeepItAlive)
{
    QPointer<TProgressForm> p = new TProgressForm;
    p->SetIdleInterval(300);
    p->SetMax(1000);
    p->show();
    // Several ticks pass while the caller keeps stepping every few ms.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000) {
        ASSERT_FALSE(p.isNull()) << "ended while still being stepped";
        p->SetPosition(1);
        QTest::qWait(10);
    }
    ASSERT_FALSE(p.isNull());
    EXPECT_FALSE(p->IsEnded());
    // Then the caller stops.
    EXPECT_TRUE(waitFor([&] { return p.isNull(); }, 5000));
}

TEST(ProgressForm, ManyStepsOfOneReachALargeMaximum)
{
    QPointer<TProgressForm> p = new TProgressForm;
    p->SetMax(5000);
    p->show();
    for (int i = 0; i < 4999; ++i)
        p->SetPosition(1);
    EXPECT_FALSE(p->IsEnded());
    p->SetPosition(1);
    EXPECT_TRUE(p->IsEnded());
    flushDeletes();
    EXPECT_TRUE(p.isNull());
}
