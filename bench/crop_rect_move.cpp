// What one move of the crop rectangle costs: a 1000 x 800 rectangle moved in
// 5-pixel steps over a 3840 x 2160 picture repaints only the strips of the old
// and the new frame. Its peer is one full repaint of the same view with
// QPainter::drawImage. Both take turns in one run (bench/BenchKit.h).
// Goal: at most 0.2x.
#include "BenchKit.h"
#include "Bitmap.h"
#include "ImageControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <cstdio>
#include <memory>

namespace {

constexpr int kW = 3840, kH = 2160;

std::unique_ptr<zk::TBitmap> ScreenLikePicture()
{
    auto b = std::make_unique<zk::TBitmap>(kW, kH, zk::pf24bit);
    for (int y = 0; y < kH; ++y) {
        uchar *row = b->ScanLine(y);
        for (int x = 0; x < kW; ++x)
            for (int ch = 0; ch < 3; ++ch)
                row[x * 3 + ch] = uchar((x / 40) * 37 + (y / 25) * 91 + ch * 50);
    }
    return b;
}

struct View
{
    zk::TImage image;
    QImage backing{kW, kH, QImage::Format_RGB32};
    QImage display;
    int step = 0;

    View()
    {
        image.Picture().SetGraphic(ScreenLikePicture());
        image.PictureChanged();
        display = image.Picture().Graphic()->ToImage().convertToFormat(QImage::Format_RGB32);
        image.setAttribute(Qt::WA_OpaquePaintEvent);
        image.resize(kW, kH);
        image.show();
        QApplication::processEvents(); // exposed: repaints reach the backing store
        image.repaint();
    }

    // One move: the frame goes 5 pixels on, and what the control marks dirty
    // is painted into its backing store at once.
    void Move()
    {
        const int t = step++ % 400;
        const int d = (t < 200 ? t : 400 - t) * 5;
        const zk::TImage::TFrame frame{QRect(200 + d, 100 + d / 2, 1000, 800), QPen(Qt::black, 1), false};
        QRegion dirty = image.FrameRegion(frame);
        if (const auto &old = image.Frame(zk::TImage::CropFrame))
            dirty += image.FrameRegion(*old);
        image.SetFrame(zk::TImage::CropFrame, frame);
        image.repaint(dirty);
    }

    // The peer: the whole view painted once from the same picture.
    void FullRepaint()
    {
        QPainter p(&backing);
        p.drawImage(0, 0, display);
    }
};

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    View view;
    // Twenty moves against twenty full repaints a turn.
    const zkbench::Result r = zkbench::Turns(
        [&] {
            for (int i = 0; i < 20; ++i)
                view.Move();
        },
        [&] {
            for (int i = 0; i < 20; ++i)
                view.FullRepaint();
            asm volatile("" : : "r"(view.backing.constBits()) : "memory");
        },
        zkbench::Rounds(21));
    zkbench::Print("crop rectangle move (20 moves vs 20 repaints)", r, 0.2);
    return 0;
}
