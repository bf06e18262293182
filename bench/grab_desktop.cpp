// GrabDesktop against the floor of what the X server can deliver: a bare
// MIT-SHM GetImage of the whole root window into one reused segment, and a
// plain GetImage without shared memory. The goal is at most twice the floor.
// Needs DISPLAY (Xvfb -screen 0 1920x1080x24 is the reference). After the
// single benchmarks, the grab and the floor take turns and the verdict is
// printed.
#include "BenchKit.h"
#include "Bitmap.h"
#include "Globals.h"
#include "ScreenGrab.h"

#include <benchmark/benchmark.h>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>

namespace {

struct BareX
{
    xcb_connection_t *c = nullptr;
    xcb_screen_t *screen = nullptr;
    xcb_shm_seg_t seg = 0;
    void *addr = nullptr;

    BareX()
    {
        if (!std::getenv("DISPLAY"))
            return;
        int n = 0;
        c = xcb_connect(nullptr, &n);
        if (xcb_connection_has_error(c))
            return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < n; ++i)
            xcb_screen_next(&it);
        screen = it.data;
    }
    ~BareX()
    {
        if (addr) {
            xcb_shm_detach(c, seg);
            shmdt(addr);
        }
        if (c)
            xcb_disconnect(c);
    }
    bool ok() const { return screen != nullptr; }
    std::size_t bytes() const { return std::size_t(screen->width_in_pixels) * screen->height_in_pixels * 4; }
    bool attach()
    {
        const int id = shmget(IPC_PRIVATE, bytes(), IPC_CREAT | 0600);
        if (id < 0)
            return false;
        addr = shmat(id, nullptr, 0);
        seg = xcb_generate_id(c);
        xcb_generic_error_t *e = xcb_request_check(c, xcb_shm_attach_checked(c, seg, std::uint32_t(id), 0));
        shmctl(id, IPC_RMID, nullptr);
        if (e) {
            std::free(e);
            return false;
        }
        return true;
    }
};

void BM_FloorShmGetImage(benchmark::State &state)
{
    BareX x;
    if (!x.ok() || !x.attach()) {
        state.SkipWithError("no X server with MIT-SHM (set DISPLAY)");
        return;
    }
    for (auto _ : state) {
        auto *r = xcb_shm_get_image_reply(
            x.c,
            xcb_shm_get_image(x.c, x.screen->root, 0, 0, x.screen->width_in_pixels, x.screen->height_in_pixels, ~0u,
                              XCB_IMAGE_FORMAT_Z_PIXMAP, x.seg, 0),
            nullptr);
        benchmark::DoNotOptimize(r);
        std::free(r);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(x.bytes()));
}
BENCHMARK(BM_FloorShmGetImage)->Unit(benchmark::kMillisecond);

void BM_PlainGetImage(benchmark::State &state)
{
    BareX x;
    if (!x.ok()) {
        state.SkipWithError("no X server (set DISPLAY)");
        return;
    }
    for (auto _ : state) {
        auto *r = xcb_get_image_reply(x.c,
                                      xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, x.screen->root, 0, 0,
                                                    x.screen->width_in_pixels, x.screen->height_in_pixels, ~0u),
                                      nullptr);
        benchmark::DoNotOptimize(r);
        std::free(r);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(x.bytes()));
}
BENCHMARK(BM_PlainGetImage)->Unit(benchmark::kMillisecond);

void grabDesktop(benchmark::State &state, zk::TPixelFormat pf, bool shm)
{
    if (!std::getenv("DISPLAY") || !zk::ScreenGrabber::instance().isAvailable()) {
        state.SkipWithError("no X server (set DISPLAY)");
        return;
    }
    zk::ScreenGrabber::instance().setSharedMemoryAllowed(shm);
    zk::TBitmap bmp(1, 1, pf);
    for (auto _ : state) {
        if (!zk::GrabDesktop(bmp)) {
            state.SkipWithError("grab failed");
            break;
        }
        benchmark::DoNotOptimize(bmp.ScanLine(0));
    }
    zk::ScreenGrabber::instance().setSharedMemoryAllowed(true);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * bmp.Width() * bmp.Height() * 4);
}

// The bitmap is reused from grab to grab, as the capture code does.
void BM_GrabDesktop32(benchmark::State &state) { grabDesktop(state, zk::pf32bit, true); }
BENCHMARK(BM_GrabDesktop32)->Unit(benchmark::kMillisecond);

void BM_GrabDesktop24(benchmark::State &state) { grabDesktop(state, zk::pf24bit, true); }
BENCHMARK(BM_GrabDesktop24)->Unit(benchmark::kMillisecond);

void BM_GrabDesktop32WithoutShm(benchmark::State &state) { grabDesktop(state, zk::pf32bit, false); }
BENCHMARK(BM_GrabDesktop32WithoutShm)->Unit(benchmark::kMillisecond);

// Ten grabs at a depth against ten bare shared-memory reads, in turns.
void Verdict(zk::TPixelFormat pf, const char *name)
{
    BareX x;
    if (!x.ok() || !x.attach() || !zk::ScreenGrabber::instance().isAvailable()) {
        std::printf("%s: no X server with MIT-SHM (set DISPLAY)\n", name);
        return;
    }
    zk::TBitmap bmp(1, 1, pf);
    bool grabbed = true;
    const auto ours = [&] {
        for (int i = 0; i < 10; ++i)
            grabbed = zk::GrabDesktop(bmp) && grabbed;
    };
    const auto floor = [&] {
        for (int i = 0; i < 10; ++i) {
            auto *r = xcb_shm_get_image_reply(x.c,
                                              xcb_shm_get_image(x.c, x.screen->root, 0, 0, x.screen->width_in_pixels,
                                                                x.screen->height_in_pixels, ~0u,
                                                                XCB_IMAGE_FORMAT_Z_PIXMAP, x.seg, 0),
                                              nullptr);
            std::free(r);
        }
    };
    const zkbench::Result r = zkbench::Turns(ours, floor, zkbench::Rounds(9));
    if (!grabbed) {
        std::printf("%s: grab failed\n", name);
        return;
    }
    zkbench::Print(name, r, 2.0);
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Verdict(zk::pf32bit, "grab x10, 32-bit / shared-memory floor x10");
    Verdict(zk::pf24bit, "grab x10, 24-bit / shared-memory floor x10");
    return 0;
}
