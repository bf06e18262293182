#include "CursorImage.h"
#include "XcbReply.h"

#include <QPainter>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace zk {

namespace {

// One connection for the whole process, opened on first use and opened
// again after the server went away.
struct CursorConnection
{
    std::mutex mutex;
    xcb_connection_t *conn = nullptr;
    bool xfixes = false;

    ~CursorConnection()
    {
        if (conn)
            xcb_disconnect(conn);
    }

    bool ensure(QString *error)
    {
        if (conn && xcb_connection_has_error(conn)) {
            xcb_disconnect(conn);
            conn = nullptr;
        }
        if (conn)
            return xfixes || fail(error, QStringLiteral("the X server has no XFixes extension"));
        conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conn)) {
            xcb_disconnect(conn);
            conn = nullptr;
            return fail(error, QStringLiteral("no X server could be reached"));
        }
        const xcb_query_extension_reply_t *ext = xcb_get_extension_data(conn, &xcb_xfixes_id);
        xfixes = false;
        if (ext && ext->present) {
            // The cursor image request needs the version handshake first.
            XReply<xcb_xfixes_query_version_reply_t> v(
                xcb_xfixes_query_version_reply(conn, xcb_xfixes_query_version(conn, 4, 0), nullptr));
            xfixes = v && v->major_version >= 1;
        }
        return xfixes || fail(error, QStringLiteral("the X server has no XFixes extension"));
    }

    static bool fail(QString *error, const QString &why)
    {
        if (error)
            *error = why;
        return false;
    }
};

CursorConnection &connection()
{
    static CursorConnection c;
    return c;
}

} // namespace

std::optional<TCursorImage> ReadCursorImage(QString *error)
{
    CursorConnection &cc = connection();
    std::lock_guard lock(cc.mutex);
    if (!cc.ensure(error))
        return std::nullopt;
    XReply<xcb_xfixes_get_cursor_image_reply_t> r(
        xcb_xfixes_get_cursor_image_reply(cc.conn, xcb_xfixes_get_cursor_image(cc.conn), nullptr));
    if (!r) {
        CursorConnection::fail(error, QStringLiteral("the X server did not return the cursor"));
        return std::nullopt;
    }
    const int w = r->width;
    const int h = r->height;
    const int have = xcb_xfixes_get_cursor_image_cursor_image_length(r.get());
    if (w <= 0 || h <= 0 || w > 1024 || h > 1024 || have < w * h) {
        CursorConnection::fail(error, QStringLiteral("the X server returned a damaged cursor image"));
        return std::nullopt;
    }
    TCursorImage cursor;
    // The server's pixels are premultiplied ARGB words, as Qt's format.
    cursor.image = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    const std::uint32_t *src = xcb_xfixes_get_cursor_image_cursor_image(r.get());
    for (int y = 0; y < h; ++y)
        std::memcpy(cursor.image.scanLine(y), src + std::ptrdiff_t(y) * w, std::size_t(w) * 4);
    cursor.hotSpot = QPoint(r->xhot, r->yhot);
    cursor.position = QPoint(r->x, r->y);
    cursor.serial = r->cursor_serial;
    return cursor;
}

std::optional<QPoint> CursorStampOrigin(const QPoint &pointerOnScreen, const QPoint &hotSpot,
                                        const QRect &capturedArea)
{
    if (!capturedArea.contains(pointerOnScreen))
        return std::nullopt;
    return pointerOnScreen - capturedArea.topLeft() - hotSpot;
}

bool StampCursor(QPainter &painter, const TCursorImage &cursor, const QPoint &pointerOnScreen,
                 const QRect &capturedArea)
{
    if (cursor.IsNull())
        return false;
    const std::optional<QPoint> at = CursorStampOrigin(pointerOnScreen, cursor.hotSpot, capturedArea);
    if (!at)
        return false;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(*at, cursor.image);
    painter.restore();
    return true;
}

} // namespace zk
