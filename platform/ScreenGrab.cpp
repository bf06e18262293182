#include "ScreenGrab.h"
#include "XcbReply.h"

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace zk {

namespace {

} // namespace

struct ScreenGrabber::Impl
{
    std::mutex mutex;
    xcb_connection_t *conn = nullptr;
    bool tried = false;
    QString error;

    xcb_window_t root = XCB_WINDOW_NONE;
    QSize rootSize;
    int bitsPerPixel = 0;
    int scanlinePad = 32;
    bool msbFirst = false;
    std::uint32_t masks[3] = {0, 0, 0}; // red, green, blue
    bool bgrx = false;                   // the server's pixels are already B, G, R, X

    xcb_atom_t atomActive = XCB_ATOM_NONE;
    xcb_atom_t atomExtents = XCB_ATOM_NONE;

    bool shmOffered = false;
    bool shmAllowed = true;
    xcb_shm_seg_t seg = 0;
    std::uint8_t *shmAddr = nullptr;
    std::size_t shmSize = 0;

    std::vector<std::uint8_t> converted; // a strip of another server format, as B, G, R, X
    std::vector<std::uint8_t> whole;     // the assembled picture of grab(area, out)

    ~Impl()
    {
        dropSegment();
        if (conn)
            xcb_disconnect(conn);
    }

    xcb_atom_t atom(const char *name)
    {
        const xcb_intern_atom_cookie_t c = xcb_intern_atom(conn, 0, std::uint16_t(std::strlen(name)), name);
        XReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(conn, c, nullptr));
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    bool connect()
    {
        if (tried)
            return conn != nullptr;
        tried = true;
        int screenNumber = 0;
        xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
        if (!c || xcb_connection_has_error(c)) {
            if (c)
                xcb_disconnect(c);
            error = QStringLiteral("Cannot connect to the X server (DISPLAY=\"%1\")")
                        .arg(QString::fromLocal8Bit(qgetenv("DISPLAY")));
            return false;
        }
        const xcb_setup_t *setup = xcb_get_setup(c);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        if (!it.rem) {
            xcb_disconnect(c);
            error = QStringLiteral("The X server has no screen %1").arg(screenNumber);
            return false;
        }
        const xcb_screen_t *screen = it.data;

        // Pixel layout of the root window's depth and visual.
        bitsPerPixel = 0;
        for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
            if (f.data->depth == screen->root_depth) {
                bitsPerPixel = f.data->bits_per_pixel;
                scanlinePad = f.data->scanline_pad;
            }
        }
        for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
            for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
                if (v.data->visual_id == screen->root_visual) {
                    masks[0] = v.data->red_mask;
                    masks[1] = v.data->green_mask;
                    masks[2] = v.data->blue_mask;
                }
            }
        }
        msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
        if ((bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) || !masks[0] || !masks[1]
            || !masks[2] || (scanlinePad % 8) != 0) {
            xcb_disconnect(c);
            error = QStringLiteral("The X server's pixel format (%1 bits per pixel) is not supported")
                        .arg(bitsPerPixel);
            return false;
        }
        bgrx = bitsPerPixel == 32 && !msbFirst && masks[0] == 0xFF0000u && masks[1] == 0xFF00u
               && masks[2] == 0xFFu;

        conn = c;
        root = screen->root;
        rootSize = QSize(screen->width_in_pixels, screen->height_in_pixels);
        // The root window's own configure events tell us when the screen is
        // resized (RandR), without a round trip per grab.
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(conn, root, XCB_CW_EVENT_MASK, &mask);
        atomActive = atom("_NET_ACTIVE_WINDOW");
        atomExtents = atom("_NET_FRAME_EXTENTS");

        const xcb_query_extension_reply_t *ext = xcb_get_extension_data(conn, &xcb_shm_id);
        if (ext && ext->present) {
            XReply<xcb_shm_query_version_reply_t> v(
                xcb_shm_query_version_reply(conn, xcb_shm_query_version(conn), nullptr));
            shmOffered = v != nullptr;
        }
        return true;
    }

    void pumpEvents()
    {
        while (xcb_generic_event_t *e = xcb_poll_for_event(conn)) {
            if ((e->response_type & 0x7F) == XCB_CONFIGURE_NOTIFY) {
                auto *ce = reinterpret_cast<xcb_configure_notify_event_t *>(e);
                if (ce->window == root)
                    rootSize = QSize(ce->width, ce->height);
            }
            std::free(e);
        }
    }

    void dropSegment()
    {
        if (shmAddr) {
            if (conn)
                xcb_shm_detach(conn, seg);
            shmdt(shmAddr);
        }
        shmAddr = nullptr;
        shmSize = 0;
        seg = 0;
    }

    // A segment at least `bytes` large, kept for the next grabs: a fresh
    // buffer per grab costs far more in page faults than the copy itself.
    bool ensureSegment(std::size_t bytes)
    {
        if (shmAddr && shmSize >= bytes)
            return true;
        dropSegment();
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0)
            return false;
        void *addr = shmat(id, nullptr, 0);
        if (addr == reinterpret_cast<void *>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return false;
        }
        const xcb_shm_seg_t s = xcb_generate_id(conn);
        xcb_generic_error_t *err = xcb_request_check(conn, xcb_shm_attach_checked(conn, s, std::uint32_t(id), 0));
        // Marked for removal at once: the kernel frees it when both sides
        // have detached, even if this process dies.
        shmctl(id, IPC_RMID, nullptr);
        if (err) {
            std::free(err);
            shmdt(addr);
            return false;
        }
        seg = s;
        shmAddr = static_cast<std::uint8_t *>(addr);
        shmSize = bytes;
        return true;
    }

    int serverStride(int width) const
    {
        const long bits = long(width) * bitsPerPixel;
        const long padded = (bits + scanlinePad - 1) / scanlinePad * scanlinePad;
        return int(padded / 8);
    }

    void convertRows(const std::uint8_t *src, int width, int height, int stride, GrabbedPixels *out)
    {
        converted.resize(std::size_t(width) * 4 * std::size_t(height));
        ServerPixelFormat f;
        f.bitsPerPixel = bitsPerPixel;
        f.msbFirst = msbFirst;
        f.red = masks[0];
        f.green = masks[1];
        f.blue = masks[2];
        ConvertServerRows(f, src, width, height, stride, converted.data());
        out->bits = converted.data();
        out->stride = width * 4;
    }
};

void ConvertServerRows(const ServerPixelFormat &format, const std::uint8_t *src, int width, int height,
                       int srcStride, std::uint8_t *dst)
{
    const int bytes = format.bitsPerPixel / 8;
    const std::uint32_t masks[3] = {format.red, format.green, format.blue};
    int shifts[3];
    std::uint32_t maxes[3];
    for (int c = 0; c < 3; ++c) {
        shifts[c] = MaskShift(masks[c]);
        maxes[c] = masks[c] >> shifts[c];
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *s = src + std::ptrdiff_t(y) * srcStride;
        std::uint8_t *d = dst + std::size_t(y) * std::size_t(width) * 4;
        for (int x = 0; x < width; ++x, s += bytes, d += 4) {
            std::uint32_t v = 0;
            for (int b = 0; b < bytes; ++b)
                v |= std::uint32_t(s[b]) << (format.msbFirst ? 8 * (bytes - 1 - b) : 8 * b);
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t part = (v & masks[c]) >> shifts[c];
                d[2 - c] = std::uint8_t(maxes[c] ? (part * 255u + maxes[c] / 2) / maxes[c] : 0);
            }
            d[3] = 0xFF;
        }
    }
}

ScreenGrabber &ScreenGrabber::instance()
{
    static ScreenGrabber grabber;
    return grabber;
}

ScreenGrabber::ScreenGrabber() : d(std::make_unique<Impl>()) {}

ScreenGrabber::~ScreenGrabber() = default;

bool ScreenGrabber::isAvailable()
{
    std::lock_guard lock(d->mutex);
    return d->connect();
}

QString ScreenGrabber::errorString() const
{
    std::lock_guard lock(d->mutex);
    return d->error;
}

QRect ScreenGrabber::rootRect()
{
    std::lock_guard lock(d->mutex);
    if (!d->connect())
        return {};
    d->pumpEvents();
    return QRect(QPoint(0, 0), d->rootSize);
}

bool ScreenGrabber::grab(const QRect &area, const StripSink &sink)
{
    std::lock_guard lock(d->mutex);
    if (!d->connect())
        return false;
    d->pumpEvents();
    if (area.isEmpty() || !QRect(QPoint(0, 0), d->rootSize).contains(area))
        return false;

    const int w = area.width();
    const int h = area.height();
    const int stride = d->serverStride(w);
    // Strips of about 1 MiB: all are requested at once, so the server fills
    // the next strip while the caller copies the last one, and each strip is
    // still in the cache when it is copied.
    const int rows = std::max(1, std::min(h, (1 << 20) / std::max(1, stride)));
    const int strips = (h + rows - 1) / rows;

    bool shm = d->shmOffered && d->shmAllowed;
    if (shm && !d->ensureSegment(std::size_t(stride) * std::size_t(h))) {
        // The server cannot share memory with us (a remote display): use
        // the plain path from now on.
        d->shmOffered = false;
        shm = false;
    }

    std::vector<unsigned int> cookies(std::size_t(strips), 0);
    for (int k = 0; k < strips; ++k) {
        const int top = k * rows;
        const int n = std::min(rows, h - top);
        const auto x = std::int16_t(area.x());
        const auto y = std::int16_t(area.y() + top);
        if (shm)
            cookies[std::size_t(k)] =
                xcb_shm_get_image(d->conn, d->root, x, y, std::uint16_t(w), std::uint16_t(n), ~0u,
                                  XCB_IMAGE_FORMAT_Z_PIXMAP, d->seg, std::uint32_t(std::size_t(top) * std::size_t(stride)))
                    .sequence;
        else
            cookies[std::size_t(k)] =
                xcb_get_image(d->conn, XCB_IMAGE_FORMAT_Z_PIXMAP, d->root, x, y, std::uint16_t(w), std::uint16_t(n), ~0u)
                    .sequence;
    }
    xcb_flush(d->conn);

    bool ok = true;
    for (int k = 0; k < strips; ++k) {
        const int top = k * rows;
        const int n = std::min(rows, h - top);
        if (!ok) {
            xcb_discard_reply(d->conn, cookies[std::size_t(k)]);
            continue;
        }
        xcb_generic_error_t *err = nullptr;
        const std::uint8_t *data = nullptr;
        XReply<xcb_get_image_reply_t> plain;
        if (shm) {
            XReply<xcb_shm_get_image_reply_t> r(
                xcb_shm_get_image_reply(d->conn, xcb_shm_get_image_cookie_t{cookies[std::size_t(k)]}, &err));
            if (r && !err)
                data = d->shmAddr + std::size_t(top) * std::size_t(stride);
        } else {
            plain.reset(xcb_get_image_reply(d->conn, xcb_get_image_cookie_t{cookies[std::size_t(k)]}, &err));
            if (plain && !err
                && std::size_t(xcb_get_image_data_length(plain.get())) >= std::size_t(stride) * std::size_t(n))
                data = xcb_get_image_data(plain.get());
        }
        std::free(err);
        if (!data) {
            ok = false; // the area left the screen meanwhile, or the server went away
            continue;
        }
        GrabbedPixels strip;
        strip.width = w;
        strip.height = n;
        if (d->bgrx) {
            strip.bits = data;
            strip.stride = stride;
        } else {
            d->convertRows(data, w, n, stride, &strip);
        }
        sink(strip, top);
    }
    return ok;
}

bool ScreenGrabber::grab(const QRect &area, GrabbedPixels *out)
{
    if (!out)
        return false;
    std::vector<std::uint8_t> &whole = d->whole;
    const bool ok = grab(area, [&](const GrabbedPixels &strip, int top) {
        const std::size_t rowBytes = std::size_t(strip.width) * 4;
        whole.resize(rowBytes * std::size_t(area.height()));
        for (int y = 0; y < strip.height; ++y)
            std::memcpy(whole.data() + std::size_t(top + y) * rowBytes, strip.row(y), rowBytes);
    });
    if (!ok)
        return false;
    out->bits = whole.data();
    out->width = area.width();
    out->height = area.height();
    out->stride = area.width() * 4;
    return true;
}

std::optional<QRect> ScreenGrabber::activeWindowFrame()
{
    xcb_window_t active = XCB_WINDOW_NONE;
    {
        std::lock_guard lock(d->mutex);
        if (!d->connect() || d->atomActive == XCB_ATOM_NONE)
            return std::nullopt;
        XReply<xcb_get_property_reply_t> r(xcb_get_property_reply(
            d->conn, xcb_get_property(d->conn, 0, d->root, d->atomActive, XCB_ATOM_WINDOW, 0, 1), nullptr));
        if (r && r->format == 32 && xcb_get_property_value_length(r.get()) >= 4)
            std::memcpy(&active, xcb_get_property_value(r.get()), 4);
    }
    if (active == XCB_WINDOW_NONE)
        return std::nullopt;
    return windowFrame(active);
}

std::optional<QRect> ScreenGrabber::windowFrame(std::uint32_t window)
{
    std::lock_guard lock(d->mutex);
    if (!d->connect() || window == XCB_WINDOW_NONE)
        return std::nullopt;
    xcb_connection_t *c = d->conn;

    XReply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    XReply<xcb_translate_coordinates_reply_t> pos(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, d->root, 0, 0), nullptr));
    if (!geo || !pos)
        return std::nullopt; // gone meanwhile
    const int bw = geo->border_width;

    if (d->atomExtents != XCB_ATOM_NONE) {
        XReply<xcb_get_property_reply_t> r(xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, d->atomExtents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
        if (r && r->format == 32 && xcb_get_property_value_length(r.get()) >= 16) {
            std::uint32_t e[4]; // left, right, top, bottom
            std::memcpy(e, xcb_get_property_value(r.get()), sizeof e);
            return QRect(pos->dst_x - bw - int(e[0]), pos->dst_y - bw - int(e[2]),
                         geo->width + 2 * bw + int(e[0] + e[1]), geo->height + 2 * bw + int(e[2] + e[3]));
        }
    }

    // No extents published: the frame is the window manager's parent window,
    // the ancestor that is a direct child of the root.
    xcb_window_t top = window;
    for (int depth = 0; depth < 64; ++depth) {
        XReply<xcb_query_tree_reply_t> t(xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr));
        if (!t)
            return std::nullopt;
        if (t->parent == d->root || t->parent == XCB_WINDOW_NONE)
            break;
        top = t->parent;
    }
    XReply<xcb_get_geometry_reply_t> tg(xcb_get_geometry_reply(c, xcb_get_geometry(c, top), nullptr));
    if (!tg)
        return std::nullopt;
    return QRect(tg->x, tg->y, tg->width + 2 * tg->border_width, tg->height + 2 * tg->border_width);
}

void ScreenGrabber::setSharedMemoryAllowed(bool allowed)
{
    std::lock_guard lock(d->mutex);
    d->shmAllowed = allowed;
}

bool ScreenGrabber::usesSharedMemory()
{
    std::lock_guard lock(d->mutex);
    return d->connect() && d->shmOffered && d->shmAllowed;
}

} // namespace zk
