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
QList<Held> g_held;

void queue(QObject *context, std::function<void()> work)
{
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

void release()
{
    if (!g_holding)
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
    explicit ExposeWatch(QWindow *window) : QObject(window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            QTimer::singleShot(0, [] { release(); });
            deleteLater();
        }
        return false;
    }
};

} // namespace

void HoldUntilFirstFrame()
{
    g_holding = true;
}

void ReleaseAfterFirstFrame(QWindow *window, int fallbackMs)
{
    if (!g_holding)
        return;
    if (window && window->isExposed()) {
        QTimer::singleShot(0, [] { release(); });
        return;
    }
    if (window)
        new ExposeWatch(window);
    QTimer::singleShot(fallbackMs, [] { release(); });
}

void AfterFirstFrame(QObject *context, std::function<void()> work)
{
    if (g_holding)
        g_held.append({context, std::move(work)});
    else
        queue(context, std::move(work));
}

} // namespace zk
