// The window-information tool's tick (the 10 ms timer) against bare
// xcb_query_pointer round trips on a connection of our own, taking turns in
// one run, with the tool window open over two framed windows of known class
// and title:
//  - the pointer resting on the same element: one tick, goal at most 2x one
//    round trip;
//  - the pointer moved onto the other window before every tick (untimed):
//    the tick that reads the new element's properties and geometry and frames
//    it, with the events the tick leaves run (the tool window's fields
//    repainted) and one round trip after them (the server's work for the
//    frame, which the tick does not wait for, is ours), goal at most 20
//    round trips; then, to show where the time goes, the same tick without
//    running its events, and without the frame.
// Needs an X server with a window manager (Xvfb with openbox is the reference).
#include "BenchKit.h"
#include "ContrClassForm.h"
#include "WindowFrame.h"
#include "MainForm.h"
#include "ProgramDir.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// A plain top-level window of this connection, as another program's would be.
xcb_window_t makeWindow(xcb_connection_t *c, xcb_screen_t *screen, int x, int y, const char *title)
{
    const xcb_window_t w = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, std::int16_t(x), std::int16_t(y), 320, 240, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
    const char cls[] = "zkbench\0ZkBenchWindow";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof cls, cls);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 8,
                        std::uint32_t(std::strlen(title)), title);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        std::uint32_t(std::strlen(title)), title);
    xcb_map_window(c, w);
    return w;
}

void roundTrip(xcb_connection_t *c, xcb_window_t root)
{
    std::free(xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr));
}

void settle(int ms)
{
    const double end = zkbench::nowMs() + ms;
    while (zkbench::nowMs() < end) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "needs an X server (DISPLAY)\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QTemporaryDir settings;
    setenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", settings.path().toLocal8Bit().constData(), 1);
    zk::SetProgramDirOverride(settings.path());
    QApplication app(argc, argv);

    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cannot reach the X server\n");
        return 2;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t root = screen->root;
    const xcb_window_t windows[2] = {makeWindow(c, screen, 80, 120, "Zelkora bench window one"),
                                     makeWindow(c, screen, 480, 120, "Zelkora bench window two")};
    xcb_flush(c);

    zk::TMainForm form;
    form.Options.CtrlScanInStatbar = false;
    form.show();
    settle(500);
    form.WEMenuItemClick();
    // Driven by hand below, one tick per call.
    form.WinFormFrameTimer->stop();
    if (!form.ContrClassForm) {
        std::fprintf(stderr, "the tool window did not open\n");
        return 1;
    }
    settle(300);

    // Where the window manager put them (it may place them as it likes).
    QPoint centres[2];
    for (int i = 0; i < 2; ++i) {
        xcb_translate_coordinates_reply_t *r = xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, windows[i], root, 160, 120), nullptr);
        if (!r) {
            std::fprintf(stderr, "a bench window went away\n");
            return 1;
        }
        centres[i] = QPoint(r->dst_x, r->dst_y);
        std::free(r);
    }
    // The tool window in a corner that leaves both windows free.
    const QRect screenRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    const QSize toolSize = form.ContrClassForm->frameGeometry().size();
    for (const QPoint corner : {screenRect.bottomRight(), screenRect.topRight(), screenRect.bottomLeft()}) {
        QRect place(QPoint(0, 0), toolSize);
        place.moveCenter(corner);
        place = place.translated(corner.x() ? -toolSize.width() / 2 : toolSize.width() / 2,
                                 corner.y() ? -toolSize.height() / 2 : toolSize.height() / 2);
        bool free = true;
        for (const QPoint &centre : centres)
            free = free && !place.intersects(QRect(centre - QPoint(170, 150), QSize(340, 300)));
        if (free) {
            form.ContrClassForm->move(place.topLeft());
            break;
        }
    }
    settle(500);
    const auto warp = [&](QPoint p) {
        xcb_warp_pointer(c, XCB_NONE, root, 0, 0, 0, 0, std::int16_t(p.x()), std::int16_t(p.y()));
        roundTrip(c, root); // the server has moved it before the tick asks
    };
    // The frame's requests are not waited for: ours ends with one round
    // trip of its own, so the server's work for them is counted in ours and
    // not in the peer's turn that may follow.
    const auto settleServer = [&] { roundTrip(c, root); };
    warp(centres[0]);
    form.WinFormFrameTimerTimer();
    settle(100);
    if (!form.FLastElement) {
        std::fprintf(stderr, "no element under the pointer\n");
        return 1;
    }

    const int ticks = 200;
    const zkbench::Result same = zkbench::Turns(
        [&] {
            for (int i = 0; i < ticks; ++i)
                form.WinFormFrameTimerTimer();
        },
        [&] {
            for (int i = 0; i < ticks; ++i)
                roundTrip(c, root);
        },
        zkbench::Rounds(15));
    zkbench::Print("tick, same element x200 / query_pointer x200", same, 2.0);

    int next = 1;
    std::uint32_t seen = form.FLastElement;
    bool changed = true;
    // Each tick finds the other window: the pointer moves between them
    // outside the timed part. `repaint` lets the tool window paint its new
    // texts; `settled` waits for the server to finish what the tick sent.
    const auto newElementTicks = [&](bool repaint, bool settled) {
        return zkbench::Turns(
            [&] {
                form.WinFormFrameTimerTimer();
                if (repaint)
                    QApplication::processEvents();
                if (settled)
                    settleServer();
                changed = changed && form.FLastElement != seen && form.FLastElement != 0;
                seen = form.FLastElement;
            },
            [&] { roundTrip(c, root); }, zkbench::Rounds(100),
            [&] {
                warp(centres[next]);
                next ^= 1;
            },
            {});
    };
    const zkbench::Result fresh = newElementTicks(true, true);
    if (!changed) {
        std::fprintf(stderr, "a tick did not find the new element\n");
        return 1;
    }
    zkbench::Print("tick, new element (frame shown) / one query_pointer", fresh, 20.0);

    // The same with the tool window's repaint left undone: reading the
    // element, setting its texts and sending the frame.
    const zkbench::Result unpainted = newElementTicks(false, true);
    QApplication::processEvents();
    zkbench::Print("  of it before the tool window repaints", unpainted, 20.0);

    // The same without the frame: what reading the new element costs.
    form.WindowFrame.reset();
    const zkbench::Result bare = newElementTicks(false, false);
    if (!changed) {
        std::fprintf(stderr, "a tick did not find the new element\n");
        return 1;
    }
    zkbench::Print("  of it without the frame (element read only)", bare, 20.0);
    form.CloseWindowInfo();
    xcb_disconnect(c);
    return 0;
}
