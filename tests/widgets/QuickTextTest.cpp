// Texts laid out from tables draw and measure exactly as Qt's own text
// drawing does, a changed text repaints only where its pixels change, and
// the status bar looks the same with and without the tables, also after a
// run of pointer positions painted one part at a time.
#include "QuickText.h"
#include "SmallControls.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBackingStore>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

using namespace zk;

namespace {

// An image at the screen's resolution, so fonts take the same pixel size.
QImage Canvas(const QWidget &dpiOf)
{
    QImage img(220, 26, QImage::Format_RGB32);
    img.setDotsPerMeterX(qRound(dpiOf.logicalDpiX() / 0.0254));
    img.setDotsPerMeterY(qRound(dpiOf.logicalDpiY() / 0.0254));
    img.fill(QColor(240, 240, 240));
    return img;
}

const int kLeft = Qt::AlignLeft | Qt::AlignVCenter;
const int kCentre = Qt::AlignHCenter | Qt::AlignVCenter;

} // namespace

TEST(QuickText, MeasuresAndDrawsAsQtDoes)
{
    QWidget screen;
    const QFont font = screen.font();
    const TQuickText quick(font, &screen);
    ASSERT_TRUE(quick.Usable()) << "the platform font shapes digits with more than pair kerning";
    const char *const texts[] = {"X: 0   Y: 0", "X: 1919   Y: 1079", "X: -5   Y: 77", "Y: 10", "X:X:Y-1"};
    const QRect rects[] = {QRect(2, 0, 106, 20), QRect(7, 3, 111, 19), QRect(0, 0, 30, 20)};
    for (const char *t : texts) {
        const QString text = QString::fromLatin1(t);
        ASSERT_TRUE(quick.Covers(text)) << t;
        EXPECT_TRUE(TQuickText::OfTheFew(text)) << t;
        EXPECT_EQ(quick.Width(text), QFontMetrics(font, &screen).horizontalAdvance(text)) << t;
        for (const QRect &r : rects)
            for (const int flags : {kLeft, kCentre}) {
                QImage plain = Canvas(screen), tables = Canvas(screen);
                QPainter(&plain).drawText(r, flags, text);
                {
                    QPainter p(&tables);
                    quick.Draw(p, r, flags, text, QRegion(tables.rect()));
                }
                EXPECT_EQ(plain, tables) << t << " in " << r.width() << " wide, flags " << flags;
            }
    }
    // Not covered: other letters, a leading or trailing space, nothing.
    for (const char *t : {"Grafik: 10 x 20", " X: 1", "X: 1 ", ""}) {
        EXPECT_FALSE(quick.Covers(QString::fromLatin1(t))) << t;
        EXPECT_FALSE(TQuickText::OfTheFew(QString::fromLatin1(t))) << t;
    }
    EXPECT_FALSE(TQuickText::Handles(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_FALSE(TQuickText::Handles(kCentre | Qt::TextWordWrap));
}

TEST(QuickText, RepaintingTheChangedColumnsGivesTheNewText)
{
    QWidget screen;
    const TQuickText quick(screen.font(), &screen);
    ASSERT_TRUE(quick.Usable());
    const QRect r(4, 0, 120, 22);
    const struct {
        const char *before, *after;
        bool whole; // the texts start at different places: all of r
    } cases[] = {
        {"X: 120   Y: 48", "X: 121   Y: 48", false},  // one digit
        {"X: 120   Y: 48", "X: 125   Y: 43", false},  // two apart
        {"X: 99   Y: 48", "X: 100   Y: 48", true},    // wider: centred anew
        {"X: 7   Y: 7", "X: 7   Y: 7", false},        // the same text
    };
    for (const auto &c : cases) {
        const QString before = QString::fromLatin1(c.before), after = QString::fromLatin1(c.after);
        const QRegion changed = quick.Changed(r, kCentre, before, after);
        EXPECT_EQ(changed == QRegion(r), c.whole) << c.before << " -> " << c.after;
        if (before == after) {
            EXPECT_TRUE(changed.isEmpty());
        }
        QImage step = Canvas(screen), fresh = Canvas(screen);
        {
            QPainter p(&step);
            quick.Draw(p, r, kCentre, before, QRegion(step.rect()));
            for (const QRect &part : changed) {
                p.setClipRect(part);
                p.fillRect(step.rect(), QColor(240, 240, 240));
                quick.Draw(p, r, kCentre, after, QRegion(part));
            }
        }
        QPainter(&fresh).drawText(r, kCentre, after);
        EXPECT_EQ(step, fresh) << c.before << " -> " << c.after;
    }
}

TEST(QuickText, StatusBarLooksTheSameWithAndWithoutTheTables)
{
    QWidget window;
    auto *bar = new TContrStatusBar(&window);
    for (const int width : {160, 120, 90}) {
        TStatusPanel panel;
        panel.Width = width;
        panel.Alignment = width == 120 ? Qt::AlignHCenter : Qt::AlignLeft;
        bar->Panels.push_back(panel);
    }
    bar->StretchPanel = 2;
    bar->setGeometry(0, 0, 420, 22);
    window.resize(420, 22);
    window.show();
    QApplication::processEvents();
    const QRect area = bar->geometry();
    // What the window's buffer holds after the bar painted its changes.
    const auto shown = [&] {
        QApplication::processEvents();
        return static_cast<QImage *>(window.backingStore()->paintDevice())->copy(area);
    };
    const auto full = [&](bool tables) {
        bar->SetQuickText(tables);
        return bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    bar->SetPanelText(0, QStringLiteral("Bereit"));
    for (int step = 0; step < 40; ++step) {
        bar->SetPanelText(1, QStringLiteral("X: %1   Y: %2").arg(95 + step * 7).arg(1000 - step * 13));
        bar->SetPanelText(2, QStringLiteral("%1").arg(step * 3));
        if (step % 8 != 7)
            continue;
        const QImage painted = shown().convertToFormat(QImage::Format_RGB32);
        const QImage withTables = full(true), plain = full(false);
        EXPECT_EQ(withTables, plain) << "step " << step;
        EXPECT_EQ(painted, plain) << "step " << step;
        bar->SetQuickText(true);
    }
}
