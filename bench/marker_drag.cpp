// One move of the marker over a 3840 x 2160 picture on the main window
// (offscreen): the dot drawn into the picture and the repaint of its bounds,
// against a bare QPainter dot of the same pen on a picture of the same size
// and format plus a repaint of the same bounds, taking turns in one run.
// The status bar stays shown; its position panel is repainted once a display
// frame, with the frames played for a mouse of a given report rate.
// Goal: at most 2x the bare dot and repaint per move.
#include "BenchKit.h"
#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "ProgramDir.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTemporaryDir>

namespace {

// The bare side: a widget showing a picture, painting only what is asked.
class BarePicture : public QWidget
{
public:
    explicit BarePicture(QImage *img) : m_img(img) { setAttribute(Qt::WA_OpaquePaintEvent); resize(img->size()); }

protected:
    void paintEvent(QPaintEvent *e) override
    {
        QPainter p(this);
        p.drawImage(e->rect(), *m_img, e->rect());
    }

private:
    QImage *m_img;
};

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir settings;
    setenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", settings.path().toLocal8Bit().constData(), 1);
    zk::SetProgramDirOverride(settings.path());
    QApplication app(argc, argv);

    zk::TMainForm form;
    form.Options.AutoWinSize = false;
    QImage blank(3840, 2160, QImage::Format_BGR888);
    blank.fill(Qt::white);
    const zk::TBitmap big = zk::TBitmap::FromImage(blank);
    form.ScanImage->Picture().SetGraphic(std::make_unique<zk::TBitmap>(big));
    form.ScanImage->PictureChanged();
    form.resize(1200, 800);
    form.show();
    QApplication::processEvents();
    form.SelectMarkerByIndex(1);
    form.MarkToolButtonClick();

    QImage bareImage(3840, 2160, QImage::Format_BGR888);
    bareImage.fill(Qt::white);
    BarePicture bare(&bareImage);
    bare.show();
    QApplication::processEvents();
    const QPen pen = form.MarkerPen;

    const int moves = 200;
    int step = 0;
    const auto point = [&step](int i) { return QPoint(100 + (step * 7 + i) % 900, 100 + (i * 3) % 600); };
    // The bar shows the position once a display frame (60 Hz). This loop
    // sends moves far faster than a mouse reports them, so the frame timer
    // would seldom fire inside it; the frames are played as they come for a
    // mouse of the given report rate instead: after every `movesPerFrame`
    // moves the waiting position is shown, and after the last move too, all
    // inside the timed turn. The frame timer itself still runs as well.
    int movesPerFrame = 1;
    const std::function<void()> ours = [&] {
        for (int i = 0; i < moves; ++i) {
            const QPoint p = point(i);
            form.ScanImageMouseMove(zk::TShiftState{Qt::NoModifier, Qt::LeftButton}, p.x(), p.y());
            if ((i + 1) % movesPerFrame == 0)
                form.ZKStatusBar->ShowWaitingTexts();
            QApplication::processEvents();
        }
        form.ZKStatusBar->ShowWaitingTexts();
        QApplication::processEvents();
        ++step;
    };
    const std::function<void()> peer = [&] {
        for (int i = 0; i < moves; ++i) {
            const QPoint p = point(i);
            {
                QPainter painter(&bareImage);
                painter.setPen(pen);
                painter.drawPoint(p);
            }
            const int m = pen.width() / 2 + 1;
            bare.update(QRect(p.x() - m, p.y() - m, 2 * m + 1, 2 * m + 1));
            QApplication::processEvents();
        }
    };
    // An ordinary mouse reports 125 times a second (two moves a frame), a
    // gaming mouse 1000 times (sixteen).
    movesPerFrame = 2;
    const zkbench::Result r = zkbench::Turns(ours, peer, zkbench::Rounds(9));
    zkbench::Print("marker move x200 / bare dot+repaint, 125 Hz", r, 2.0);
    movesPerFrame = 16;
    const zkbench::Result r16 = zkbench::Turns(ours, peer, zkbench::Rounds(9));
    zkbench::Print("  the same at 1000 Hz", r16, 2.0);
    // The position shown at every move, as before the frame coalescing.
    movesPerFrame = 1;
    const zkbench::Result r1 = zkbench::Turns(ours, peer, zkbench::Rounds(9));
    zkbench::Print("  the same, the position shown at every move", r1, 2.0);
    // Where the time goes: the same moves with the status bar out of the
    // picture.
    form.ZKStatusBar->hide();
    const zkbench::Result r2 = zkbench::Turns(ours, peer, zkbench::Rounds(9));
    zkbench::Print("  the same without the status bar", r2, 2.0);
    return 0;
}
