// The colour picker's read of the pixel under the pointer against a bare
// 1x1 get_image of the root window on its own connection, taking turns in
// one run. Goal: at most 2x the bare round trip (the pointer query rides
// along with the pixel read while the pointer stays put). Needs an X server.
#include "BenchKit.h"
#include "SvcComponents.h"

#include <QCoreApplication>

#include <xcb/xcb.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "needs an X server (DISPLAY)\n");
        return 2;
    }
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cannot reach the X server\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    zk::TsvcColorPicker picker;
    volatile zk::TColor sink = picker.GetColor();
    const int reads = 200;
    const zkbench::Result r = zkbench::Turns(
        [&] {
            for (int i = 0; i < reads; ++i)
                sink = picker.GetColor();
        },
        [&] {
            for (int i = 0; i < reads; ++i)
                std::free(xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, 10, 10, 1, 1, ~0u),
                                              nullptr));
        },
        zkbench::Rounds(15));
    (void)sink;
    zkbench::Print("GetColor x200 / bare 1x1 get_image x200", r, 2.0);
    xcb_disconnect(c);
    return 0;
}
