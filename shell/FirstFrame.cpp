#include "FirstFrame.h"

#include <QEvent>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace zk {

namespace {

struct Held {
    QPointer<QObject> context;
    std::function<void()> work;
};

bool g_holding = false;
int g_hold = 0; // which hold a timer or a watch was set for
QList<Held> g_held;

void queue(QObject *context, std::function<void()> work)
{
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

void release(int hold)
{
    // A timer or watch of an earlier hold leaves a later one alone.
    if (!g_holding || hold != g_hold)
        return;
    g_holding = false;
    const QList<Held> held = std::exchange(g_held, {});
    for (const Held &h : held)
        if (h.context)
            queue(h.context, h.work);
}

// Sees the window's first exposure; the paint runs inside its handling, so
// the work is queued behind it.
class ExposeWatch : public QObject
{
public:
    ExposeWatch(QWindow *window, int hold) : QObject(window), m_hold(hold) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            QTimer::singleShot(0, [hold = m_hold] { release(hold); });
            deleteLater();
        }
        return false;
    }

private:
    int m_hold;
};

} // namespace

void HoldUntilFirstFrame()
{
    g_holding = true;
    ++g_hold;
}

void ReleaseAfterFirstFrame(QWindow *window, int fallbackMs)
{
    if (!g_holding)
        return;
    const int hold = g_hold;
    if (window && window->isExposed()) {
        QTimer::singleShot(0, [hold] { release(hold); });
        return;
    }
    if (window)
        new ExposeWatch(window, hold);
    QTimer::singleShot(fallbackMs, [hold] { release(hold); });
}

void AfterFirstFrame(QObject *context, std::function<void()> work)
{
    if (g_holding)
        g_held.append({context, std::move(work)});
    else
        queue(context, std::move(work));
}

} // namespace zk
