// What one mouse move costs while a shape is dragged over a 3840 x 2160 frozen
// desktop: the move handler marks the old and the new bounds of the shape,
// and those bounds are painted again from the frozen picture onto a backing
// picture of the screen's size, as the window system's paint would; beside
// the same drag repainting the whole screen every move, taking turns in one
// run. Goals: under 4 ms a move for every shape, with and without the
// crosshair, and less than the whole repaint.
#include "BenchKit.h"
#include "Bitmap.h"
#include "Options.h"
#include "Scan.h"

#include <QApplication>
#include <QPainter>

#include <cstdio>

namespace {

class BenchHost : public zk::TScanHost
{
public:
    zk::TZelkoraOptions options;
    const zk::TZelkoraOptions &ScanOptions() const override { return options; }
    void OverlayCaptured(zk::TBitmap &&, bool, const QRect &) override {}
    void OverlayCancelled() override {}
    void WindowKeyCaptured(zk::TBitmap &&, const QRect &) override {}
    void HideForGrab() override {}
    void CoordinatesCaptured(zk::TBitmap &&, const QRect &) override {}
    void ShowApplication() override {}
};

zk::TBitmap screenLikePicture(int w, int h)
{
    zk::TBitmap b(w, h, zk::pf32bit);
    for (int y = 0; y < h; ++y) {
        uchar *row = b.ScanLine(y);
        for (int x = 0; x < w; ++x)
            for (int ch = 0; ch < 3; ++ch)
                row[x * 4 + ch] = uchar(((x / 40) * 37 + (y / 25) * 91 + ch * 50) ^ ((x + y) % 7 == 0 ? 0xFF : 0));
    }
    return b;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const zk::TBitmap desktop = screenLikePicture(3840, 2160);
    const int rounds = zkbench::Rounds(9);
    constexpr int kMoves = 200;
    for (int shape = 0; shape < 4; ++shape)
        for (int cross = 0; cross < 2; ++cross) {
            BenchHost host;
            host.options.ScanTool = std::uint8_t(shape);
            host.options.SCross = cross != 0;
            host.options.SBorder = 1;
            host.options.SBForce = 1;
            zk::TScanForm form(&host);
            form.ShowDesktop(desktop);
            QImage backing(3840, 2160, QImage::Format_RGB32);
            {
                QPainter p(&backing);
                form.PaintContent(p, backing.rect());
            }
            form.FormMouseDown(Qt::LeftButton, QPoint(400, 300));
            int step = 0;
            // A diagonal drag growing to a large shape and back; ours paints
            // what the move marked, the peer the whole screen each move.
            const auto move = [&](bool whole) {
                for (int i = 0; i < kMoves; ++i) {
                    const int t = step++ % 1000;
                    const int d = t < 500 ? t : 1000 - t;
                    form.FormMouseMove(QPoint(500 + d * 5, 400 + d * 3), true);
                    QPainter p(&backing);
                    if (whole) {
                        form.PaintContent(p, backing.rect());
                    } else {
                        for (const QRect &r : form.LastDirty())
                            form.PaintContent(p, r);
                    }
                }
            };
            const zkbench::Result r = zkbench::Turns([&] { move(false); }, [&] { move(true); }, rounds);
            char name[80];
            std::snprintf(name, sizeof name, "drag move, shape %d%s (vs whole repaint)", shape, cross ? " + cross" : "");
            zkbench::Print(name, r, 1.0);
            const double perMove = r.ours / kMoves;
            std::printf("  %.3f ms a move (goal <= 4 ms) %s\n", perMove, perMove <= 4 ? "ok" : "MISSED");
            form.hide();
        }
    return 0;
}
