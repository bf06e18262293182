// The side-bar menu's first paint beside a plain QMenu with the same fifteen
// items, and a repaint of the thirteen-panel status bar beside a QStatusBar
// holding thirteen labels. Ours and the peer take turns round by round in
// one process; the medians and their ratio are printed. Goals: 1.5x each.
#include "BarPopupMenu.h"
#include "SmallControls.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStatusBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double seconds(const std::function<void()> &f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

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

void report(const char *what, const std::vector<double> &ours, const std::vector<double> &peer, double goal)
{
    const double a = median(ours), b = median(peer);
    std::printf("%-34s ours %8.1f us   peer %8.1f us   ratio %.2fx (goal <= %.1fx)\n", what, a * 1e6, b * 1e6,
                a / b, goal);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = 200;

    std::vector<double> ours, peer;
    for (int r = 0; r < rounds; ++r) {
        ours.push_back(seconds([] {
            zk::TBarPopupMenu m;
            m.VerticalText = QStringLiteral("Zelkora 5.0");
            firstPaint(m);
        }));
        peer.push_back(seconds([] {
            QMenu m;
            firstPaint(m);
        }));
    }
    report("first paint, 15-item menu", ours, peer, 1.5);

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
    ours.clear();
    peer.clear();
    for (int r = 0; r < rounds; ++r) {
        ours.push_back(seconds([&] { bar.render(&img); }));
        peer.push_back(seconds([&] { plain.render(&img); }));
    }
    report("repaint, 13-panel status bar", ours, peer, 1.5);
    return 0;
}
