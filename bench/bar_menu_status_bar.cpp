// The side-bar menu's first paint beside a plain QMenu with the same fifteen
// items, and a repaint of the thirteen-panel status bar beside a QStatusBar
// holding thirteen labels. Ours and the peer take turns round by round in
// one process; the medians and their ratio are printed. Goals: 1.5x each.
#include "BarPopupMenu.h"
#include "BenchKit.h"
#include "SmallControls.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStatusBar>


namespace {

void fill(QMenu &m)
{
    for (int i = 0; i < 15; ++i)
        m.addAction(QStringLiteral("Menu item number %1").arg(i));
}

void firstPaint(QMenu &m)
{
    fill(m);
    m.adjustSize();
    QImage img(m.size(), QImage::Format_RGB32);
    m.render(&img);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = zkbench::Rounds(201);
    zkbench::Print("first paint, 15-item menu",
                   zkbench::Turns(
                       [] {
                           zk::TBarPopupMenu m;
                           m.VerticalText = QStringLiteral("Zelkora 5.0");
                           firstPaint(m);
                       },
                       [] {
                           QMenu m;
                           firstPaint(m);
                       },
                       rounds),
                   1.5);

    zk::TContrStatusBar bar;
    const int widths[13] = {0, 10, 90, 10, 110, 10, 70, 10, 24, 24, 24, 24, 20};
    for (int w : widths)
        bar.Panels.push_back({QStringLiteral("X: 120   Y: 45"), w});
    bar.OnDrawPanel = [](QPainter &p, int, const QRect &r) { p.fillRect(r.adjusted(2, 2, -2, -2), Qt::darkGreen); };
    for (int i = 8; i <= 11; ++i)
        bar.Panels[i].OwnerDraw = true;
    bar.resize(900, 20);
    QStatusBar plain;
    for (int i = 0; i < 13; ++i) {
        auto *l = new QLabel(QStringLiteral("X: 120   Y: 45"), &plain);
        if (i)
            l->setFixedWidth(widths[i]);
        plain.addWidget(l, i == 0 ? 1 : 0);
    }
    plain.resize(900, 20);
    QImage img(900, 20, QImage::Format_RGB32);
    bar.render(&img);
    plain.render(&img);
    zkbench::Print("repaint, 13-panel status bar",
                   zkbench::Turns([&] { bar.render(&img); }, [&] { plain.render(&img); }, rounds), 1.5);
    return 0;
}
