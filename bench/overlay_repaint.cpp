// What one mouse move costs while a shape is dragged over a 3840 x 2160 frozen
// desktop: the move handler marks the old and the new bounds of the shape,
// and those bounds are painted again from the frozen picture onto a backing
// picture of the screen's size, as the window system's paint would. Goal:
// under 4 ms per move for every shape, with and without the crosshair.
#include "Bitmap.h"
#include "Options.h"
#include "Scan.h"

#include <QApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

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

void BM_DragMove(benchmark::State &state)
{
    BenchHost host;
    host.options.ScanTool = std::uint8_t(state.range(0));
    host.options.SCross = state.range(1) != 0;
    host.options.SBorder = 1;
    host.options.SBForce = 1;
    const zk::TBitmap desktop = screenLikePicture(3840, 2160);
    zk::TScanForm form(&host);
    form.ShowDesktop(desktop);
    QImage backing(3840, 2160, QImage::Format_RGB32);
    {
        QPainter p(&backing);
        form.PaintContent(p, backing.rect());
    }
    form.FormMouseDown(Qt::LeftButton, QPoint(400, 300));
    int step = 0;
    for (auto _ : state) {
        // A diagonal drag growing to a large shape and back.
        const int t = step++ % 1000;
        const int d = t < 500 ? t : 1000 - t;
        form.FormMouseMove(QPoint(500 + d * 5, 400 + d * 3), true);
        QPainter p(&backing);
        for (const QRect &r : form.LastDirty())
            form.PaintContent(p, r);
        p.end();
        benchmark::DoNotOptimize(backing.constBits());
    }
    form.hide();
}

} // namespace

BENCHMARK(BM_DragMove)
    ->ArgNames({"shape", "cross"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
