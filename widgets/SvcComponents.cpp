#include "SvcComponents.h"

#include <QAbstractEventDispatcher>
#include <QThread>
#include <QTimerEvent>
#include <QtGlobal>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

namespace zk {

EOutOfResources::EOutOfResources(const QString &message) : std::runtime_error(message.toStdString()) {}

namespace {

std::mutex g_handlerLock;
TComponentExceptionHandler g_handler;

} // namespace

void SetComponentExceptionHandler(TComponentExceptionHandler handler)
{
    std::lock_guard lock(g_handlerLock);
    g_handler = std::move(handler);
}

void HandleComponentException(std::exception_ptr error)
{
    TComponentExceptionHandler handler;
    {
        std::lock_guard lock(g_handlerLock);
        handler = g_handler;
    }
    // A box already open for an earlier tick is enough: further ticks that
    // fail while it waits are logged, not stacked up as more boxes.
    static thread_local bool handling = false;
    if (handler && !handling) {
        handling = true;
        try {
            handler(error);
        } catch (...) {
        }
        handling = false;
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        qWarning("Unhandled exception in a component's event: %s", e.what());
    } catch (...) {
        qWarning("Unhandled exception in a component's event");
    }
}

// --- TsvcComponent ---------------------------------------------------------

TsvcComponent::TsvcComponent(QObject *owner) : QObject(owner) {}

// --- TsvcCustomTimer -------------------------------------------------------

TsvcCustomTimer::TsvcCustomTimer(QObject *owner) : TsvcComponent(owner) {}

TsvcCustomTimer::~TsvcCustomTimer()
{
    m_enabled = false;
    if (m_timerId != 0)
        killTimer(m_timerId);
    m_timerId = 0;
}

void TsvcCustomTimer::SetInterval(std::uint32_t ms)
{
    ms = std::min(ms, MaxInterval);
    if (ms == m_interval)
        return;
    m_interval = ms;
    UpdateTimer();
}

void TsvcCustomTimer::SetEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    UpdateTimer();
}

void TsvcCustomTimer::SetOnTimer(TNotifyEvent handler)
{
    m_onTimer = std::move(handler);
    UpdateTimer();
}

void TsvcCustomTimer::UpdateTimer()
{
    if (m_timerId != 0)
        killTimer(m_timerId);
    m_timerId = 0;
    if (m_interval == 0 || !m_enabled || !m_onTimer)
        return;
    // QObject::startTimer only warns and returns 0 where no event loop can
    // deliver the ticks; say so instead of a timer that never fires.
    if (!QAbstractEventDispatcher::instance(thread()))
        throw EOutOfResources(QStringLiteral("Nicht genügend Timer verfügbar"));
    m_timerId = startTimer(std::chrono::milliseconds(m_interval));
    if (m_timerId == 0)
        throw EOutOfResources(QStringLiteral("Nicht genügend Timer verfügbar"));
}

void TsvcCustomTimer::Timer()
{
    if (m_onTimer)
        m_onTimer(this);
}

void TsvcCustomTimer::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId || m_timerId == 0) {
        TsvcComponent::timerEvent(event);
        return;
    }
    // An exception of a tick goes to the exception box and the timer goes on.
    try {
        Timer();
    } catch (...) {
        HandleComponentException(std::current_exception());
    }
}

// --- screen colour ---------------------------------------------------------

namespace {

struct RootPixelFormat
{
    xcb_window_t root = 0;
    std::uint8_t depth = 0;
    int bitsPerPixel = 0;
    bool lsbFirst = true;
    std::uint32_t masks[3] = {0, 0, 0}; // red, green, blue
};

bool DescribeRoot(xcb_connection_t *c, RootPixelFormat *out)
{
    const xcb_setup_t *setup = xcb_get_setup(c);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem)
        return false;
    const xcb_screen_t *screen = screens.data;
    out->root = screen->root;
    out->depth = screen->root_depth;
    out->lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == screen->root_depth)
            out->bitsPerPixel = f.data->bits_per_pixel;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual) {
                out->masks[0] = v.data->red_mask;
                out->masks[1] = v.data->green_mask;
                out->masks[2] = v.data->blue_mask;
            }
        }
    }
    return out->bitsPerPixel >= 8 && out->masks[0] && out->masks[1] && out->masks[2];
}

// One channel scaled to 0..255 from wherever its mask puts it.
int Channel(std::uint32_t pixel, std::uint32_t mask)
{
    int shift = 0;
    while (!((mask >> shift) & 1u))
        ++shift;
    const std::uint32_t max = mask >> shift;
    const std::uint32_t v = (pixel & mask) >> shift;
    return max ? int((v * 255u + max / 2) / max) : 0;
}

TColor DecodePixel(const RootPixelFormat &f, xcb_get_image_reply_t *reply)
{
    const int bytes = f.bitsPerPixel / 8;
    if (xcb_get_image_data_length(reply) < bytes || bytes > 4)
        return clNone;
    const std::uint8_t *data = xcb_get_image_data(reply);
    std::uint32_t pixel = 0;
    for (int i = 0; i < bytes; ++i) {
        const int index = f.lsbFirst ? bytes - 1 - i : i;
        pixel = (pixel << 8) | data[index];
    }
    return RGBToTColor(Channel(pixel, f.masks[0]), Channel(pixel, f.masks[1]), Channel(pixel, f.masks[2]));
}

xcb_get_image_cookie_t RequestPixel(xcb_connection_t *c, const RootPixelFormat &f, const QPoint &p)
{
    return xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, f.root, std::int16_t(p.x()), std::int16_t(p.y()), 1,
                         1, ~0u);
}

TColor ReadPixel(xcb_connection_t *c, const RootPixelFormat &f, xcb_get_image_cookie_t cookie)
{
    xcb_get_image_reply_t *reply = xcb_get_image_reply(c, cookie, nullptr);
    if (!reply)
        return clNone;
    const TColor color = DecodePixel(f, reply);
    std::free(reply);
    return color;
}

} // namespace

TColor ScreenColorAt(xcb_connection_t *connection, const QPoint &rootPos)
{
    RootPixelFormat f;
    if (!connection || xcb_connection_has_error(connection) || !DescribeRoot(connection, &f))
        return clNone;
    return ReadPixel(connection, f, RequestPixel(connection, f, rootPos));
}

// --- TsvcColorPicker -------------------------------------------------------

TsvcColorPicker::TsvcColorPicker(QObject *owner) : TsvcCustomTimer(owner)
{
    SetInterval(100);
}

TsvcColorPicker::~TsvcColorPicker()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool TsvcColorPicker::Connect()
{
    // A connection of our own: the picker then works under any Qt platform
    // plugin, and its round trips never wait behind the GUI's requests.
    if (m_connection && !xcb_connection_has_error(m_connection))
        return true;
    if (m_connection)
        xcb_disconnect(m_connection);
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return false;
    }
    return true;
}

TColor TsvcColorPicker::GetColor()
{
    if (!Connect())
        return clNone;
    RootPixelFormat f;
    if (!DescribeRoot(m_connection, &f))
        return clNone;
    // The pixel where the pointer was last time is asked for together with
    // the pointer: a pointer that stayed put (the usual case between two
    // ticks) costs one round trip, a moved one a second read.
    const QPoint guess = m_lastPos;
    const xcb_query_pointer_cookie_t pc = xcb_query_pointer(m_connection, f.root);
    const xcb_get_image_cookie_t ic = RequestPixel(m_connection, f, guess);
    xcb_query_pointer_reply_t *pointer = xcb_query_pointer_reply(m_connection, pc, nullptr);
    if (!pointer || !pointer->same_screen) {
        std::free(pointer);
        xcb_discard_reply(m_connection, ic.sequence);
        return clNone;
    }
    m_lastPos = QPoint(pointer->root_x, pointer->root_y);
    std::free(pointer);
    if (m_lastPos == guess)
        return ReadPixel(m_connection, f, ic);
    xcb_discard_reply(m_connection, ic.sequence);
    return ReadPixel(m_connection, f, RequestPixel(m_connection, f, m_lastPos));
}

void TsvcColorPicker::SetCursorIndex(std::uint16_t index)
{
    m_cursorIndex = index;
    RefreshCursor();
}

void TsvcColorPicker::Timer()
{
    TsvcCustomTimer::Timer();
    RefreshCursor();
}

void TsvcColorPicker::RefreshCursor()
{
    // No caller sets a cursor; with index 0 there is nothing to refresh.
}

} // namespace zk
