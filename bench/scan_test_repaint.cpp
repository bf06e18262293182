// The capture-settings test window at 1920 x 1080: what one mouse move of a
// drag costs (the move handler, then the window system's own repaint of what
// it marked: the old and the new outline) beside one full repaint of the
// window's client (backing store and flush, the labels on top included),
// taking turns in one run (BenchKit), with the first-run pen (dotted, one
// pixel). Goal: a move of the rubber band within a quarter of the full
// repaint, for each shape.
#include "BenchKit.h"
#include "ScanBTest.h"

#include <QApplication>
#include <QWindow>

namespace {

// Lets the window system's repaint run now: the marked region is painted
// into the window's backing store and handed on to the screen.
void repaintNow(QWidget &w)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::sendPostedEvents(w.windowHandle(), QEvent::UpdateRequest);
}

zkbench::Result measure(int shape, bool cross)
{
    zk::TScanBTestBMForm form;
    form.resize(1920, 1080);
    form.show();
    for (int i = 0; i < 100 && !(form.windowHandle() && form.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    zk::TScanTestSettings settings;
    settings.cross = cross;
    settings.shape = shape;
    form.SetTestSettings(settings);
    form.FormMouseDown(Qt::LeftButton, QPoint(300, 200));
    repaintNow(form);
    int step = 0;
    const auto move = [&] {
        // A diagonal drag growing to a large shape and back.
        const int t = step++ % 600;
        const int d = t < 300 ? t : 600 - t;
        form.FormMouseMove(QPoint(320 + d * 5, 220 + d * 2), true);
        repaintNow(form);
    };
    const auto full = [&] {
        form.update();
        repaintNow(form);
    };
    const zkbench::Result r = zkbench::Turns(move, full, zkbench::Rounds(300));
    form.FormMouseUp(Qt::LeftButton, QPoint(320, 220));
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const char *const names[4] = {"rectangle", "triangle", "round rect", "ellipse"};
    bool ok = true;
    for (int shape = 0; shape < 4; ++shape) {
        const zkbench::Result r = measure(shape, false);
        zkbench::Print(qPrintable(QStringLiteral("test window move, %1").arg(QLatin1String(names[shape]))), r, 0.25);
        ok = ok && r.Ratio() <= 0.25;
    }
    // With the crosshair a move also repaints two strips across the whole
    // window; shown for the record, the goal is the rubber band's.
    for (int shape = 0; shape < 4; ++shape)
        zkbench::Print(qPrintable(QStringLiteral("test window move, %1 + crosshair").arg(QLatin1String(names[shape]))),
                       measure(shape, true), 0.25);
    return ok ? 0 : 1;
}
