#include "Wallpaper.h"
#include "XcbReply.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace zk {

namespace {

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// Runs a helper program; false (with its complaint) when it is missing,
// hangs or fails.
bool run(const QString &program, const QStringList &args, QString *error, QByteArray *out = nullptr)
{
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        setError(error, QStringLiteral("\"%1\" is not installed").arg(program));
        return false;
    }
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(1000);
        setError(error, QStringLiteral("\"%1\" did not answer").arg(program));
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        setError(error, QStringLiteral("\"%1 %2\" failed: %3")
                            .arg(program, args.join(' '), QString::fromLocal8Bit(p.readAllStandardError()).trimmed()));
        return false;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

bool gsettingsWallpaper(const QString &schema, const QString &key, const QString &value, bool tile, QString *error)
{
    if (!run("gsettings", {"set", schema, key, value}, error))
        return false;
    if (key == "picture-uri") {
        // Newer GNOME keeps a second picture for the dark style; older ones
        // lack the key, which is no failure.
        QString ignored;
        run("gsettings", {"set", schema, "picture-uri-dark", value}, &ignored);
    }
    return run("gsettings", {"set", schema, "picture-options", tile ? "wallpaper" : "centered"}, error);
}

bool xfconfWallpaper(const QString &file, bool tile, QString *error)
{
    QByteArray list;
    if (!run("xfconf-query", {"-c", "xfce4-desktop", "-l"}, error, &list))
        return false;
    int set = 0;
    for (const QByteArray &line : list.split('\n')) {
        const QString prop = QString::fromUtf8(line.trimmed());
        if (!prop.endsWith("/last-image"))
            continue;
        const QString style = prop.left(prop.size() - int(qstrlen("last-image"))) + "image-style";
        if (!run("xfconf-query", {"-c", "xfce4-desktop", "-p", prop, "-s", file}, error))
            return false;
        // 1 centred, 2 tiled; created when the monitor has none yet.
        if (!run("xfconf-query", {"-c", "xfce4-desktop", "-p", style, "-n", "-t", "int", "-s", tile ? "2" : "1"},
                 error))
            return false;
        ++set;
    }
    if (!set)
        setError(error, QStringLiteral("Xfce lists no monitor backgrounds"));
    return set > 0;
}

struct Connection
{
    xcb_connection_t *c = nullptr;
    ~Connection()
    {
        if (c)
            xcb_disconnect(c);
    }
};

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    XReply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_pixmap_t pixmapProperty(xcb_connection_t *c, xcb_window_t root, xcb_atom_t a)
{
    if (a == XCB_ATOM_NONE)
        return XCB_PIXMAP_NONE;
    XReply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, a, XCB_ATOM_PIXMAP, 0, 1), nullptr));
    xcb_pixmap_t p = XCB_PIXMAP_NONE;
    if (r && r->format == 32 && xcb_get_property_value_length(r.get()) >= 4)
        std::memcpy(&p, xcb_get_property_value(r.get()), 4);
    return p;
}

} // namespace

WallpaperMechanism WallpaperMechanismFor(const QString &currentDesktop)
{
    const QStringList parts = currentDesktop.toLower().split(':', Qt::SkipEmptyParts);
    for (const QString &p : parts) {
        if (p == "gnome" || p == "unity" || p == "budgie" || p == "pantheon" || p == "gnome-classic"
            || p == "gnome-flashback")
            return WallpaperMechanism::GSettingsGnome;
        if (p == "x-cinnamon" || p == "cinnamon")
            return WallpaperMechanism::GSettingsCinnamon;
        if (p == "mate")
            return WallpaperMechanism::GSettingsMate;
        if (p == "xfce")
            return WallpaperMechanism::Xfconf;
        if (p == "kde")
            return WallpaperMechanism::Plasma;
    }
    return WallpaperMechanism::RootWindow;
}

bool ApplyWallpaper(const QString &fileName, bool tile, QString *error)
{
    const QFileInfo info(fileName);
    if (!info.isFile() || QImageReader(fileName).size().isEmpty()) {
        setError(error, QStringLiteral("\"%1\" is not a picture that can be read").arg(fileName));
        return false;
    }
    const QString path = info.absoluteFilePath();
    const QString uri = QUrl::fromLocalFile(path).toString();
    switch (WallpaperMechanismFor(qEnvironmentVariable("XDG_CURRENT_DESKTOP"))) {
    case WallpaperMechanism::GSettingsGnome:
        return gsettingsWallpaper("org.gnome.desktop.background", "picture-uri", uri, tile, error);
    case WallpaperMechanism::GSettingsCinnamon:
        return gsettingsWallpaper("org.cinnamon.desktop.background", "picture-uri", uri, tile, error);
    case WallpaperMechanism::GSettingsMate:
        return gsettingsWallpaper("org.mate.background", "picture-filename", path, tile, error);
    case WallpaperMechanism::Xfconf:
        return xfconfWallpaper(path, tile, error);
    case WallpaperMechanism::Plasma:
        // Plasma's own tool knows no tiling; the picture is shown its way.
        return run("plasma-apply-wallpaperimage", {path}, error);
    case WallpaperMechanism::RootWindow:
        break;
    }
    return SetRootWindowWallpaper(path, tile, error);
}

bool SetRootWindowWallpaper(const QString &fileName, bool tile, QString *error)
{
    const QImage picture(fileName);
    if (picture.isNull()) {
        setError(error, QStringLiteral("\"%1\" is not a picture that can be read").arg(fileName));
        return false;
    }
    Connection conn;
    int screenNumber = 0;
    conn.c = xcb_connect(nullptr, &screenNumber);
    xcb_connection_t *c = conn.c;
    if (!c || xcb_connection_has_error(c)) {
        setError(error, QStringLiteral("Cannot connect to the X server"));
        return false;
    }
    const xcb_setup_t *setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        setError(error, QStringLiteral("The X server has no such screen"));
        return false;
    }
    const xcb_screen_t *screen = it.data;
    const xcb_window_t root = screen->root;

    int bpp = 0, pad = 32;
    for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == screen->root_depth) {
            bpp = f.data->bits_per_pixel;
            pad = f.data->scanline_pad;
        }
    std::uint32_t masks[3] = {0, 0, 0};
    for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual) {
                masks[0] = v.data->red_mask;
                masks[1] = v.data->green_mask;
                masks[2] = v.data->blue_mask;
            }
    if ((bpp != 16 && bpp != 24 && bpp != 32) || !masks[0] || !masks[1] || !masks[2] || pad % 8) {
        setError(error, QStringLiteral("The X server's pixel format is not supported"));
        return false;
    }

    XReply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr));
    if (!geo) {
        setError(error, QStringLiteral("The X server did not tell the screen size"));
        return false;
    }
    const int w = geo->width;
    const int h = geo->height;

    // The whole background as one picture of the root's size: tiles or the
    // picture centred on black.
    QImage canvas(w, h, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter p(&canvas);
        if (tile) {
            for (int y = 0; y < h; y += picture.height())
                for (int x = 0; x < w; x += picture.width())
                    p.drawImage(QPoint(x, y), picture);
        } else
            p.drawImage(QPoint((w - picture.width()) / 2, (h - picture.height()) / 2), picture);
    }

    const int bytesPerPixel = bpp / 8;
    const int stride = int((long(w) * bpp + pad - 1) / pad * pad / 8);
    const bool msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    int shifts[3];
    std::uint32_t maxes[3];
    for (int k = 0; k < 3; ++k) {
        shifts[k] = MaskShift(masks[k]);
        maxes[k] = masks[k] >> shifts[k];
    }
    std::vector<std::uint8_t> data(std::size_t(stride) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const QRgb *src = reinterpret_cast<const QRgb *>(canvas.constScanLine(y));
        std::uint8_t *dst = data.data() + std::size_t(y) * std::size_t(stride);
        for (int x = 0; x < w; ++x, dst += bytesPerPixel) {
            const std::uint32_t comp[3] = {std::uint32_t(qRed(src[x])), std::uint32_t(qGreen(src[x])),
                                           std::uint32_t(qBlue(src[x]))};
            std::uint32_t v = 0;
            for (int k = 0; k < 3; ++k)
                v |= ((comp[k] * maxes[k] + 127) / 255) << shifts[k];
            for (int b = 0; b < bytesPerPixel; ++b)
                dst[b] = std::uint8_t(v >> (msbFirst ? 8 * (bytesPerPixel - 1 - b) : 8 * b));
        }
    }

    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_generic_error_t *err =
        xcb_request_check(c, xcb_create_pixmap_checked(c, screen->root_depth, pixmap, root, std::uint16_t(w),
                                                       std::uint16_t(h)));
    if (err) {
        std::free(err);
        setError(error, QStringLiteral("The X server refused a background of %1x%2 pixels").arg(w).arg(h));
        return false;
    }
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    // Requests have a size limit: send the rows in strips that fit.
    const std::size_t maxRequest = std::size_t(xcb_get_maximum_request_length(c)) * 4;
    const int rowsPerStrip = std::max(1, int((std::min<std::size_t>(maxRequest, 4u << 20) - 64) / std::size_t(stride)));
    for (int y = 0; y < h; y += rowsPerStrip) {
        const int rows = std::min(rowsPerStrip, h - y);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, std::uint16_t(w), std::uint16_t(rows), 0,
                      std::int16_t(y), 0, screen->root_depth, std::uint32_t(stride) * std::uint32_t(rows),
                      data.data() + std::size_t(y) * std::size_t(stride));
    }
    xcb_free_gc(c, gc);

    // The previous background of a setter that left it behind on purpose
    // (the ESETROOT convention) is freed with the client that kept it.
    const xcb_atom_t rootPmap = internAtom(c, "_XROOTPMAP_ID");
    const xcb_atom_t esetroot = internAtom(c, "ESETROOT_PMAP_ID");
    const xcb_pixmap_t old = pixmapProperty(c, root, esetroot);
    if (old != XCB_PIXMAP_NONE && old == pixmapProperty(c, root, rootPmap))
        xcb_kill_client(c, old);

    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, rootPmap, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, esetroot, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    err = xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_BACK_PIXMAP, &pixmap));
    if (err) {
        std::free(err);
        xcb_free_pixmap(c, pixmap);
        setError(error, QStringLiteral("The X server refused the new background"));
        return false;
    }
    xcb_clear_area(c, 0, root, 0, 0, 0, 0);
    // The pixmap must outlive this connection.
    xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    XReply<xcb_get_input_focus_reply_t> sync(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (xcb_connection_has_error(c)) {
        setError(error, QStringLiteral("The connection to the X server broke"));
        return false;
    }
    return true;
}

} // namespace zk
