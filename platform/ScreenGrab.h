#pragma once
// Screen grabs from the X server: the root window (all monitors) read with
// GetImage, through a reused MIT-SHM segment when the server offers one.
//
// The grabber keeps its own connection to $DISPLAY, so it works whatever Qt
// platform plugin runs (and without a QGuiApplication at all). One grabber
// serves the whole process; calls are serialised.
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace zk {

// A grabbed area as 32-bit pixels, bytes B, G, R, X (X undefined: the server
// leaves the padding byte as it likes). Valid until the next grab.
struct GrabbedPixels
{
    const std::uint8_t *bits = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // bytes from one row to the next
    const std::uint8_t *row(int y) const { return bits + std::ptrdiff_t(y) * stride; }
};

// How an X server lays out the pixels of its root window's depth.
struct ServerPixelFormat
{
    int bitsPerPixel = 32; // 16, 24 or 32
    bool msbFirst = false; // image byte order
    std::uint32_t red = 0xFF0000u, green = 0xFF00u, blue = 0xFFu;
};

// Rows in the server's layout to B, G, R, 0xFF rows of width * 4 bytes
// (channels scaled to 8 bits). Used where the server's pixels are not already
// B, G, R, X.
void ConvertServerRows(const ServerPixelFormat &format, const std::uint8_t *src, int width, int height,
                       int srcStride, std::uint8_t *dst);

class ScreenGrabber
{
public:
    // The process-wide grabber; connects on first use.
    static ScreenGrabber &instance();

    ~ScreenGrabber();
    ScreenGrabber(const ScreenGrabber &) = delete;
    ScreenGrabber &operator=(const ScreenGrabber &) = delete;

    // False when no X server could be reached (or its pixel format is one
    // this grabber cannot read); errorString() says why.
    bool isAvailable();
    QString errorString() const;

    // The root window's rectangle (origin 0,0); empty when unavailable.
    QRect rootRect();

    // Reads `area`, which must lie inside rootRect(), as horizontal strips
    // from the top: sink gets each strip and its first row within the area,
    // while the server already works on the next one. Returns false when the
    // server refused (the area left the screen meanwhile) or is unavailable;
    // some strips may have reached the sink by then. The sink must not call
    // the grabber.
    using StripSink = std::function<void(const GrabbedPixels &strip, int top)>;
    bool grab(const QRect &area, const StripSink &sink);
    // The same area as one picture (valid until the next grab).
    bool grab(const QRect &area, GrabbedPixels *out);

    // Outer bounds (with the window manager's frame) of the window the window
    // manager calls active; nullopt when there is none.
    std::optional<QRect> activeWindowFrame();
    // The same for any top-level client window.
    std::optional<QRect> windowFrame(std::uint32_t window);

    // Shared memory is used when the server offers it; tests and benchmarks
    // switch it off to exercise the plain GetImage path.
    void setSharedMemoryAllowed(bool allowed);
    bool usesSharedMemory();

private:
    ScreenGrabber();
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zk
