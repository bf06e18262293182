#pragma once
// The non-visual components the main window holds: a base with its "About"
// text, a timer that ticks only while it has something to call, and a
// sampler of the screen colour under the pointer built on that timer.
//
// The timer's "hidden window" is the QObject itself: Qt's timer events stand
// in for the timer message, and the timer runs on the thread that owns the
// object. A thread without an event loop cannot run one, which is reported
// as EOutOfResources instead of a timer that silently never fires.
#include "Colors.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>

struct xcb_connection_t;

namespace zk {

class TsvcComponent;

// An event that carries only its sender.
using TNotifyEvent = std::function<void(TsvcComponent *Sender)>;

// Raised when no timer can be started.
class EOutOfResources : public std::runtime_error
{
public:
    explicit EOutOfResources(const QString &message);
};

// Where an exception escaping a component's event goes: the main window sets
// its exception box here; without one the exception is logged.
using TComponentExceptionHandler = std::function<void(std::exception_ptr)>;
void SetComponentExceptionHandler(TComponentExceptionHandler handler);
void HandleComponentException(std::exception_ptr error);

class TsvcComponent : public QObject
{
    Q_OBJECT

public:
    explicit TsvcComponent(QObject *owner = nullptr);

    // Shown in a designer only; nothing reads or writes it.
    QString About;
};

class TsvcCustomTimer : public TsvcComponent
{
    Q_OBJECT

public:
    explicit TsvcCustomTimer(QObject *owner = nullptr);
    ~TsvcCustomTimer() override;

    std::uint32_t Interval() const { return m_interval; }
    void SetInterval(std::uint32_t ms);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on);
    const TNotifyEvent &OnTimer() const { return m_onTimer; }
    void SetOnTimer(TNotifyEvent handler);

    // Whether a timer is running now (Interval, Enabled and OnTimer all set).
    bool Running() const { return m_timerId != 0; }

    // The longest period the platform timer takes; longer ones are cut to it.
    static constexpr std::uint32_t MaxInterval = 0x7FFFFFFFu;

protected:
    // One tick: calls OnTimer. Subclasses add their own step after it.
    virtual void Timer();
    void timerEvent(QTimerEvent *event) override;
    void UpdateTimer();

private:
    std::uint32_t m_interval = 1000;
    bool m_enabled = true;
    TNotifyEvent m_onTimer;
    int m_timerId = 0;
};

// The colour of one screen pixel, read straight from the root window (one
// pixel, never a grab of the screen); clNone without an X server.
TColor ScreenColorAt(xcb_connection_t *connection, const QPoint &rootPos);

class TsvcColorPicker : public TsvcCustomTimer
{
    Q_OBJECT

public:
    explicit TsvcColorPicker(QObject *owner = nullptr);
    ~TsvcColorPicker() override;

    // The colour of the screen pixel under the pointer; clNone when the X
    // server cannot be reached or the pointer is on another screen.
    virtual TColor GetColor();
    // Where the pointer was at the last GetColor (root coordinates).
    QPoint LastPointerPos() const { return m_lastPos; }

    // A cursor to show while sampling; 0 (none) is all the program uses and
    // then the refresh after each tick leaves the cursor alone.
    std::uint16_t CursorIndex() const { return m_cursorIndex; }
    virtual void SetCursorIndex(std::uint16_t index);

protected:
    void Timer() override;
    virtual void RefreshCursor();

private:
    bool Connect();

    std::uint16_t m_cursorIndex = 0;
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    QPoint m_lastPos;
};

} // namespace zk
