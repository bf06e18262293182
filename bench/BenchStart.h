#pragma once
// Starting a program and timing it to its first window on the screen, as X
// events tell: shared by the start-up benchmarks, whose floor is this same
// measurement of a minimal Qt window (bench_startup --floor).
#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace zkbench {

inline std::string windowName(xcb_connection_t *c, xcb_window_t w)
{
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
    std::string name;
    if (r) {
        name.assign(static_cast<const char *>(xcb_get_property_value(r)),
                    std::size_t(xcb_get_property_value_length(r)));
        std::free(r);
    }
    return name;
}

inline bool viewable(xcb_connection_t *c, xcb_window_t w)
{
    xcb_get_window_attributes_reply_t *r =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    const bool on = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(r);
    return on;
}

// Starts a program and returns once a top-level window with the given title
// is viewable; the program is then ended by stopSignal (and waited for).
// False on a timeout.
inline bool startUntilShown(const std::vector<std::string> &argv, const std::string &title, const std::string &home,
                            int stopSignal = SIGKILL)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    // Right after the last program was killed the server now and then
    // refuses a connection once; a few milliseconds later it takes it.
    for (int retry = 0; retry < 50 && xcb_connection_has_error(c); ++retry) {
        xcb_disconnect(c);
        usleep(2000);
        c = xcb_connect(nullptr, nullptr);
    }
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_flush(c);

    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) && std::strncmp(*e, "XDG_DATA_HOME=", 14) &&
            std::strncmp(*e, "XDG_RUNTIME_DIR=", 16))
            env.emplace_back(*e);
    env.push_back("XDG_CONFIG_HOME=" + home + "/config");
    env.push_back("XDG_DATA_HOME=" + home + "/data");
    // A runtime folder of its own: the program's one-copy lock and channel
    // live there, and another copy running on this machine must not make
    // the timed one a second copy.
    const std::string runtime = home + "/runtime";
    mkdir(runtime.c_str(), 0700);
    env.push_back("XDG_RUNTIME_DIR=" + runtime);
    std::vector<char *> args, envp;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), envp.data()) != 0) {
        xcb_disconnect(c);
        return false;
    }

    std::set<xcb_window_t> candidates;
    bool shown = false;
    const std::uint32_t winMask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    for (int idle = 0; !shown && idle < 20000;) {
        xcb_generic_event_t *ev = xcb_poll_for_event(c);
        if (!ev) {
            usleep(100);
            idle += 1;
            for (xcb_window_t w : candidates)
                if (viewable(c, w) && windowName(c, w) == title)
                    shown = true;
            continue;
        }
        const int type = ev->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            const xcb_window_t w = reinterpret_cast<xcb_create_notify_event_t *>(ev)->window;
            candidates.insert(w);
            xcb_change_window_attributes(c, w, XCB_CW_EVENT_MASK, &winMask);
            xcb_flush(c);
        } else if (type == XCB_MAP_NOTIFY) {
            const xcb_window_t w = reinterpret_cast<xcb_map_notify_event_t *>(ev)->window;
            if (candidates.count(w) && windowName(c, w) == title)
                shown = true;
        }
        std::free(ev);
    }
    kill(pid, stopSignal);
    waitpid(pid, nullptr, 0);
    xcb_disconnect(c);
    return shown;
}

} // namespace zkbench
