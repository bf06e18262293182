// A window of another process for the window-information tests, made with
// plain xcb: zk_probe_window CLASS TITLE X Y WIDTH HEIGHT RRGGBB
// It prints its window id once mapped and stays until its standard input
// closes or it is killed.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 8) {
        std::fprintf(stderr, "usage: %s CLASS TITLE X Y WIDTH HEIGHT RRGGBB\n", argv[0]);
        return 2;
    }
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const std::uint32_t colour = std::uint32_t(std::strtoul(argv[7], nullptr, 16));
    const xcb_window_t w = xcb_generate_id(c);
    const std::uint32_t values[] = {colour, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, std::int16_t(std::atoi(argv[3])),
                      std::int16_t(std::atoi(argv[4])), std::uint16_t(std::atoi(argv[5])),
                      std::uint16_t(std::atoi(argv[6])), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    std::string cls = std::string("zkprobe") + '\0' + argv[1] + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        std::uint32_t(cls.size()), cls.data());
    const std::string title = argv[2];
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 8,
                        std::uint32_t(title.size()), title.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        std::uint32_t(title.size()), title.data());
    // Placed where asked, not where the window manager would like.
    const std::uint32_t hints[18] = {1u | 2u | 4u | 8u, std::uint32_t(std::atoi(argv[3])), std::uint32_t(std::atoi(argv[4])),
                                     std::uint32_t(std::atoi(argv[5])), std::uint32_t(std::atoi(argv[6]))};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    xcb_map_window(c, w);
    xcb_flush(c);
    bool announced = false;
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {0, POLLIN, 0}};
    while (true) {
        while (xcb_generic_event_t *e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY && !announced) {
                std::printf("%u\n", w);
                std::fflush(stdout);
                announced = true;
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c))
            return 1;
        if (poll(fds, 2, -1) < 0)
            return 1;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buf[64];
            if (read(0, buf, sizeof buf) <= 0)
                break;
        }
    }
    xcb_disconnect(c);
    return 0;
}
