// The tools module: a mouse-button hook for the window-information tool, a
// Print-key hook for the recorder, and the frame that marks the recording
// area. It keeps its own X connection and one event thread that sleeps in
// poll() on that connection and an eventfd; everything it learns goes to the
// caller's window as a ClientMessage (see docs/modules.md).
#include "ModuleProtocol.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#define ZK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace zk::modules;

constexpr std::uint32_t kPrintKeysym = 0xff61;
constexpr std::uint32_t kNumLockKeysym = 0xff7f;
constexpr int kBorder = 3;
constexpr std::uint16_t kHandleWidth = 48, kHandleHeight = 14;
constexpr std::uint32_t kFrameColour = 0xFF0000, kHandleColour = 0xC00000;

template <class T>
struct Reply
{
    T *p = nullptr;
    explicit Reply(T *r) : p(r) {}
    ~Reply() { std::free(p); }
    Reply(const Reply &) = delete;
    Reply &operator=(const Reply &) = delete;
    T *operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

bool failed(xcb_connection_t *c, xcb_void_cookie_t ck)
{
    xcb_generic_error_t *e = xcb_request_check(c, ck);
    std::free(e);
    return e != nullptr;
}

class Tools
{
public:
    ~Tools() { Shutdown(); }

    bool InstallButtonHook(std::uint32_t window)
    {
        std::lock_guard lock(m_mutex);
        if (!window || !ensureConnection() || !m_xinput)
            return false;
        if (!selectRawRelease(true))
            return false;
        m_buttonTarget = window;
        wake();
        return true;
    }

    bool UninstallButtonHook()
    {
        std::lock_guard lock(m_mutex);
        if (!m_conn || !m_buttonTarget)
            return false;
        selectRawRelease(false);
        m_buttonTarget = 0;
        wake();
        return true;
    }

    bool InstallKeyHook(std::uint32_t window)
    {
        std::lock_guard lock(m_mutex);
        if (!window || !ensureConnection())
            return false;
        if (m_keyTarget) { // already grabbed: only the receiver changes
            m_keyTarget = window;
            return true;
        }
        m_printKey = keycodeFor(kPrintKeysym);
        if (!m_printKey)
            return false;
        if (!grabPrint(true))
            return false;
        m_keyTarget = window;
        wake();
        return true;
    }

    bool UninstallKeyHook()
    {
        std::lock_guard lock(m_mutex);
        if (!m_conn || !m_keyTarget)
            return false;
        grabPrint(false);
        m_keyTarget = 0;
        xcb_flush(m_conn);
        wake();
        return true;
    }

    bool ShowFrame(std::uint32_t window, std::int32_t width, bool centred, bool grabber)
    {
        std::lock_guard lock(m_mutex);
        if (!window || width <= 2 * kBorder || !ensureConnection())
            return false;
        const std::int32_t height = RecordHeightForWidth(width);
        if (height <= 2 * kBorder || width > 0x7FFF || height > 0x7FFF)
            return false;
        m_frameTarget = window;
        m_w = width;
        m_h = height;
        if (centred) {
            m_left = std::max(0, (m_screen->width_in_pixels - width) / 2);
            m_top = std::max(0, (m_screen->height_in_pixels - height) / 2);
        } else {
            m_left = m_top = 0;
        }
        if (!m_frame)
            createFrame();
        shapeFrame();
        if (grabber && !m_handle)
            createHandle();
        else if (!grabber && m_handle) {
            xcb_destroy_window(m_conn, m_handle);
            m_handle = 0;
        }
        placeFrame();
        xcb_map_window(m_conn, m_frame);
        if (m_handle)
            xcb_map_window(m_conn, m_handle);
        watchStacking(true);
        send(m_frameTarget, m_frameMovedAtom, std::uint32_t(m_left), std::uint32_t(m_top));
        wake();
        return true;
    }

    bool HideFrame()
    {
        std::lock_guard lock(m_mutex);
        if (!m_conn || !m_frame)
            return false;
        destroyFrame();
        xcb_flush(m_conn);
        wake();
        return true;
    }

    void Shutdown()
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_conn)
                return;
            m_stop = true;
            wake();
        }
        if (m_thread.joinable())
            m_thread.join();
        std::lock_guard lock(m_mutex);
        if (m_keyTarget)
            grabPrint(false);
        if (m_buttonTarget)
            selectRawRelease(false);
        destroyFrame();
        xcb_flush(m_conn);
        xcb_disconnect(m_conn);
        m_conn = nullptr;
        close(m_wakeFd);
        m_wakeFd = -1;
    }

private:
    // ------------------------------------------------------------ connection

    bool ensureConnection()
    {
        if (m_conn)
            return !xcb_connection_has_error(m_conn);
        if (m_broken)
            return false;
        int screenNo = 0;
        xcb_connection_t *c = xcb_connect(nullptr, &screenNo);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            m_broken = true; // no X server: every entry point says false
            return false;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNo && it.rem; ++i)
            xcb_screen_next(&it);
        m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (!it.rem || m_wakeFd < 0) {
            xcb_disconnect(c);
            if (m_wakeFd >= 0)
                close(m_wakeFd);
            m_wakeFd = -1;
            m_broken = true;
            return false;
        }
        m_conn = c;
        m_screen = it.data;
        m_lButtonUpAtom = intern(kLButtonUpAtom);
        m_frameMovedAtom = intern(kFrameMovedAtom);
        m_printKeyAtom = intern(kPrintKeyAtom);
        m_xinput = queryXInput();
        m_stop = false;
        m_thread = std::thread([this] { run(); });
        return true;
    }

    xcb_atom_t intern(const char *name)
    {
        Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
            m_conn, xcb_intern_atom(m_conn, 0, std::uint16_t(std::strlen(name)), name), nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    bool queryXInput()
    {
        const xcb_query_extension_reply_t *ext = xcb_get_extension_data(m_conn, &xcb_input_id);
        if (!ext || !ext->present)
            return false;
        m_xinputOpcode = ext->major_opcode;
        Reply<xcb_input_xi_query_version_reply_t> v(
            xcb_input_xi_query_version_reply(m_conn, xcb_input_xi_query_version(m_conn, 2, 2), nullptr));
        return v && v->major_version >= 2;
    }

    // Round trips made here may have queued events without the socket
    // becoming readable again: the event thread looks at its queue anew.
    void wake()
    {
        if (m_wakeFd >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = write(m_wakeFd, &one, sizeof one);
        }
    }

    void send(std::uint32_t window, xcb_atom_t type, std::uint32_t a, std::uint32_t b)
    {
        xcb_client_message_event_t ev;
        std::memset(&ev, 0, sizeof ev);
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = window;
        ev.type = type;
        ev.data.data32[0] = a;
        ev.data.data32[1] = b;
        // No event mask: the event goes to the client that made the window.
        xcb_send_event(m_conn, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&ev));
        xcb_flush(m_conn);
    }

    // ------------------------------------------------------------ hooks

    bool selectRawRelease(bool on)
    {
        struct
        {
            xcb_input_event_mask_t head;
            std::uint32_t bits;
        } mask{};
        mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
        mask.head.mask_len = 1;
        mask.bits = on ? XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE : 0;
        return !failed(m_conn, xcb_input_xi_select_events_checked(m_conn, m_screen->root, 1, &mask.head));
    }

    xcb_keycode_t keycodeFor(std::uint32_t keysym)
    {
        xcb_key_symbols_t *syms = xcb_key_symbols_alloc(m_conn);
        if (!syms)
            return 0;
        xcb_keycode_t result = 0;
        if (xcb_keycode_t *codes = xcb_key_symbols_get_keycode(syms, keysym)) {
            result = codes[0] == XCB_NO_SYMBOL ? 0 : codes[0];
            std::free(codes);
        }
        xcb_key_symbols_free(syms);
        return result;
    }

    std::uint16_t numLockMask()
    {
        const xcb_keycode_t numLock = keycodeFor(kNumLockKeysym);
        Reply<xcb_get_modifier_mapping_reply_t> r(
            xcb_get_modifier_mapping_reply(m_conn, xcb_get_modifier_mapping(m_conn), nullptr));
        if (!numLock || !r)
            return 0;
        const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(r.p);
        const int per = r->keycodes_per_modifier;
        for (int mod = 0; mod < 8; ++mod)
            for (int k = 0; k < per; ++k)
                if (codes[mod * per + k] == numLock)
                    return std::uint16_t(1u << mod);
        return 0;
    }

    // Print alone and with NumLock/CapsLock lit; all or nothing.
    bool grabPrint(bool on)
    {
        const std::uint16_t num = numLockMask();
        std::vector<std::uint16_t> variants = {0, XCB_MOD_MASK_LOCK};
        if (num)
            variants.insert(variants.end(), {num, std::uint16_t(num | XCB_MOD_MASK_LOCK)});
        if (!on) {
            for (std::uint16_t m : variants)
                xcb_ungrab_key(m_conn, m_printKey, m_screen->root, m);
            return true;
        }
        std::vector<xcb_void_cookie_t> cookies;
        for (std::uint16_t m : variants)
            cookies.push_back(xcb_grab_key_checked(m_conn, 1, m_screen->root, m, m_printKey, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC));
        bool ok = true;
        for (xcb_void_cookie_t ck : cookies)
            ok = !failed(m_conn, ck) && ok;
        if (!ok) // another client holds a variant: give back what we got
            for (std::uint16_t m : variants)
                xcb_ungrab_key(m_conn, m_printKey, m_screen->root, m);
        xcb_flush(m_conn);
        return ok;
    }

    // ------------------------------------------------------------ frame

    xcb_window_t makeWindow(std::uint32_t colour, std::uint32_t events, const char *name)
    {
        const xcb_window_t w = xcb_generate_id(m_conn);
        const std::uint32_t values[] = {colour, 1, events};
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, w, m_screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            std::uint32_t(std::strlen(name)), name);
        return w;
    }

    void createFrame() { m_frame = makeWindow(kFrameColour, 0, "Zelkora recording frame"); }

    void createHandle()
    {
        m_handle = makeWindow(kHandleColour,
                              XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                  XCB_EVENT_MASK_BUTTON_1_MOTION,
                              "Zelkora frame handle");
    }

    // Only the 3-pixel ring belongs to the window, so the area inside shows
    // what lies below and clicks there reach it.
    void shapeFrame()
    {
        const std::int16_t w = std::int16_t(m_w), h = std::int16_t(m_h), b = kBorder;
        const xcb_rectangle_t ring[] = {
            {0, 0, std::uint16_t(w), std::uint16_t(b)},
            {0, std::int16_t(h - b), std::uint16_t(w), std::uint16_t(b)},
            {0, b, std::uint16_t(b), std::uint16_t(h - 2 * b)},
            {std::int16_t(w - b), b, std::uint16_t(b), std::uint16_t(h - 2 * b)},
        };
        for (xcb_shape_kind_t kind : {XCB_SHAPE_SK_BOUNDING, XCB_SHAPE_SK_INPUT})
            xcb_shape_rectangles(m_conn, XCB_SHAPE_SO_SET, kind, XCB_CLIP_ORDERING_UNSORTED, m_frame, 0, 0, 4, ring);
    }

    // The handle hangs below the frame's left end, or above it when the
    // screen ends there.
    std::pair<std::int32_t, std::int32_t> handlePos() const
    {
        const std::int32_t below = m_top + m_h;
        if (below + kHandleHeight <= m_screen->height_in_pixels)
            return {m_left, below};
        return {m_left, std::max(0, m_top - kHandleHeight)};
    }

    void placeFrame()
    {
        const std::uint32_t geo[] = {std::uint32_t(m_left), std::uint32_t(m_top), std::uint32_t(m_w),
                                     std::uint32_t(m_h), XCB_STACK_MODE_ABOVE};
        xcb_configure_window(m_conn, m_frame,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                             geo);
        if (m_handle) {
            const auto [x, y] = handlePos();
            const std::uint32_t hg[] = {std::uint32_t(x), std::uint32_t(y), kHandleWidth, kHandleHeight,
                                        XCB_STACK_MODE_ABOVE};
            xcb_configure_window(m_conn, m_handle,
                                 XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                     XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                                 hg);
        }
        xcb_flush(m_conn);
    }

    void raiseFrame()
    {
        const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
        for (xcb_window_t w : {m_frame, m_handle})
            if (w)
                xcb_configure_window(m_conn, w, XCB_CONFIG_WINDOW_STACK_MODE, above);
        xcb_flush(m_conn);
    }

    // While the frame is up, other windows' restacking is watched so the
    // frame can stay on top.
    void watchStacking(bool on)
    {
        const std::uint32_t mask[] = {on ? std::uint32_t(XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY) : 0u};
        xcb_change_window_attributes(m_conn, m_screen->root, XCB_CW_EVENT_MASK, mask);
    }

    void destroyFrame()
    {
        if (!m_frame)
            return;
        watchStacking(false);
        xcb_destroy_window(m_conn, m_frame);
        if (m_handle)
            xcb_destroy_window(m_conn, m_handle);
        m_frame = m_handle = 0;
        m_dragging = false;
        m_frameTarget = 0;
    }

    // ------------------------------------------------------------ events

    void run()
    {
        pollfd fds[2] = {{xcb_get_file_descriptor(m_conn), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (m_stop)
                    return;
                while (xcb_generic_event_t *ev = xcb_poll_for_event(m_conn)) {
                    handle(ev);
                    std::free(ev);
                }
                if (xcb_connection_has_error(m_conn))
                    return;
            }
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents & POLLIN) {
                std::uint64_t n;
                [[maybe_unused]] ssize_t r = read(m_wakeFd, &n, sizeof n);
            }
        }
    }

    void handle(xcb_generic_event_t *ev)
    {
        switch (ev->response_type & 0x7f) {
        case XCB_GE_GENERIC: {
            auto *ge = reinterpret_cast<xcb_ge_generic_event_t *>(ev);
            if (m_xinput && ge->extension == m_xinputOpcode && ge->event_type == XCB_INPUT_RAW_BUTTON_RELEASE)
                rawRelease(reinterpret_cast<xcb_input_raw_button_release_event_t *>(ev));
            break;
        }
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE: {
            auto *k = reinterpret_cast<xcb_key_press_event_t *>(ev);
            if (m_keyTarget && k->detail == m_printKey)
                send(m_keyTarget, m_printKeyAtom, (ev->response_type & 0x7f) == XCB_KEY_PRESS ? 1 : 0, 0);
            break;
        }
        case XCB_BUTTON_PRESS: {
            auto *b = reinterpret_cast<xcb_button_press_event_t *>(ev);
            if (b->event == m_handle && m_handle && b->detail == 1) {
                m_dragging = true;
                m_grabDx = b->root_x - m_left;
                m_grabDy = b->root_y - m_top;
            }
            break;
        }
        case XCB_MOTION_NOTIFY: {
            auto *m = reinterpret_cast<xcb_motion_notify_event_t *>(ev);
            if (m_dragging && m->event == m_handle)
                dragTo(m->root_x, m->root_y);
            break;
        }
        case XCB_BUTTON_RELEASE: {
            auto *b = reinterpret_cast<xcb_button_release_event_t *>(ev);
            if (m_dragging && b->event == m_handle && b->detail == 1) {
                dragTo(b->root_x, b->root_y);
                m_dragging = false;
                send(m_frameTarget, m_frameMovedAtom, std::uint32_t(m_left), std::uint32_t(m_top));
            }
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            auto *c = reinterpret_cast<xcb_configure_notify_event_t *>(ev);
            if (m_frame && c->window != m_frame && c->window != m_handle)
                raiseFrame();
            break;
        }
        case XCB_MAP_NOTIFY: {
            auto *m = reinterpret_cast<xcb_map_notify_event_t *>(ev);
            if (m_frame && m->window != m_frame && m->window != m_handle)
                raiseFrame();
            break;
        }
        default:
            break;
        }
    }

    void rawRelease(const xcb_input_raw_button_release_event_t *ev)
    {
        if (!m_buttonTarget || ev->detail != 1)
            return;
        Reply<xcb_query_pointer_reply_t> p(
            xcb_query_pointer_reply(m_conn, xcb_query_pointer(m_conn, m_screen->root), nullptr));
        if (!p)
            return;
        send(m_buttonTarget, m_lButtonUpAtom, std::uint32_t(std::int32_t(p->root_x)),
             std::uint32_t(std::int32_t(p->root_y)));
    }

    void dragTo(std::int32_t rootX, std::int32_t rootY)
    {
        const std::int32_t maxLeft = std::max(0, m_screen->width_in_pixels - m_w);
        const std::int32_t maxTop = std::max(0, m_screen->height_in_pixels - m_h);
        m_left = std::clamp(rootX - m_grabDx, 0, maxLeft);
        m_top = std::clamp(rootY - m_grabDy, 0, maxTop);
        placeFrame();
    }

    std::mutex m_mutex;
    xcb_connection_t *m_conn = nullptr;
    xcb_screen_t *m_screen = nullptr;
    bool m_broken = false;
    int m_wakeFd = -1;
    bool m_stop = false;
    std::thread m_thread;

    xcb_atom_t m_lButtonUpAtom = 0, m_frameMovedAtom = 0, m_printKeyAtom = 0;
    bool m_xinput = false;
    std::uint8_t m_xinputOpcode = 0;

    std::uint32_t m_buttonTarget = 0;
    std::uint32_t m_keyTarget = 0;
    xcb_keycode_t m_printKey = 0;

    std::uint32_t m_frameTarget = 0;
    xcb_window_t m_frame = 0, m_handle = 0;
    std::int32_t m_left = 0, m_top = 0, m_w = 0, m_h = 0;
    bool m_dragging = false;
    std::int32_t m_grabDx = 0, m_grabDy = 0;
};

// Torn down when the module is unloaded: the thread stops before the code
// it runs goes away.
Tools g_tools;

} // namespace

ZK_EXPORT std::uint8_t InstallHook(std::uint32_t window)
{
    return g_tools.InstallButtonHook(window);
}

ZK_EXPORT std::uint8_t UninstallHook()
{
    return g_tools.UninstallButtonHook();
}

ZK_EXPORT std::uint8_t InstallHook2(std::uint32_t window)
{
    return g_tools.InstallKeyHook(window);
}

ZK_EXPORT std::uint8_t UninstallHook2()
{
    return g_tools.UninstallKeyHook();
}

ZK_EXPORT std::uint8_t ShowAviFrame(std::uint32_t window, std::int32_t width, std::uint8_t frameInit,
                                    std::uint8_t moveGrabber, std::uint8_t)
{
    return g_tools.ShowFrame(window, width, frameInit == 1, moveGrabber != 0);
}

ZK_EXPORT std::uint8_t HideAviFrame()
{
    return g_tools.HideFrame();
}
