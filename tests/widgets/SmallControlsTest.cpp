// The small controls: path shortening on real font metrics, colour swatches
// also under translated texts, status-bar panel hits, every scroll action
// reported, thumb tracking, special keys, and the embossed vertical label.
#include "SmallControls.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionViewItem>

#include <set>
#include <utility>

using namespace zk;

namespace {
QFont fixedFont()
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setStyleHint(QFont::TypeWriter);
    f.setKerning(false);
    return f;
}
} // namespace

TEST(PathLabel, ShortensFolderByFolderDownToTheLastName)
{
    const QFontMetrics fm(fixedFont());
    auto w = [&](const char *s) { return fm.horizontalAdvance(QString::fromLatin1(s)); };
    const QString win = QStringLiteral("C:\\Programme\\Foo\\Bar\\file.txt");
    const QString lin = QStringLiteral("/home/user/pics/shot.png");
    const struct {
        QString path;
        int width;
        const char *shown;
    } cases[] = {
        {win, w("C:\\Programme\\Foo\\Bar\\file.txt"), "C:\\Programme\\Foo\\Bar\\file.txt"},
        {win, w("C:\\...\\Foo\\Bar\\file.txt"), "C:\\...\\Foo\\Bar\\file.txt"},
        {win, w("C:\\...\\Foo\\Bar\\file.txt") - 1, "C:\\...\\Bar\\file.txt"},
        {win, w("C:\\...\\Bar\\file.txt"), "C:\\...\\Bar\\file.txt"},
        {win, 1, "C:\\...\\file.txt"}, // shortest form even when it does not fit
        {lin, w("/.../pics/shot.png"), "/.../pics/shot.png"},
        {lin, 1, "/.../shot.png"},
        {QStringLiteral("no-separator-at-all.png"), 1, "no-separator-at-all.png"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ShortenPath(c.path, c.width, fm), QString::fromLatin1(c.shown)) << c.width;

    TPathLabel label;
    label.setFont(fixedFont());
    label.show();
    label.resize(w("C:\\...\\Bar\\file.txt"), label.height());
    label.SetCaption(win);
    EXPECT_EQ(label.text(), QStringLiteral("C:\\...\\Bar\\file.txt"));
    EXPECT_EQ(label.Caption(), win);
    label.resize(2000, label.height());
    EXPECT_EQ(label.text(), win);
}

TEST(ColComboBox, SwatchColourFollowsTheGermanNameUnderAnyLanguage)
{
    EXPECT_EQ(ColComboColor(QStringLiteral("Maroon")), 0x00808000);
    EXPECT_EQ(ColComboColor(QStringLiteral("Wasserblau")), 0x00808000);
    EXPECT_EQ(ColComboColor(QString::fromUtf8("Weiß")), 0x00FFFFFF);
    EXPECT_EQ(ColComboColor(QStringLiteral("Hellgelb")), clInfoBk);
    EXPECT_EQ(ColComboColor(QStringLiteral("rot")), 0x00808000); // case counts
    EXPECT_EQ(ColComboNames().size(), 12);

    TColComboBox box;
    for (const QString &n : ColComboNames())
        box.AddColorItem(n);
    QStringList english = {"Grey", "Dark grey", "Black", "White", "Yellow", "Light yellow",
                           "Blue", "Aqua", "Olive", "Green", "Red", "Maroon"};
    box.SetItemTexts(english);
    EXPECT_EQ(box.itemText(10), QStringLiteral("Red"));
    EXPECT_EQ(box.ItemColor(10), 0x000000FF);
    EXPECT_EQ(box.ItemColor(2), 0x00000000);

    // The painted swatch has that colour inside its 2-pixel inset.
    QImage img(200, 20, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    QStyleOptionViewItem opt;
    opt.rect = QRect(0, 0, 200, 20);
    opt.palette = box.palette();
    box.itemDelegate()->paint(&p, opt, box.model()->index(10, 0));
    p.end();
    EXPECT_EQ(img.pixel(10, 10), qRgb(255, 0, 0));
}

TEST(ContrStatusBar, ClicksHitHalfOpenPanelsAndANarrowBarNeverGoesNegative)
{
    const std::vector<int> w = {10, 90, 10};
    const std::pair<int, int> hits[] = {{0, 0}, {9, 0}, {10, 1}, {99, 1}, {100, 2}, {109, 2}, {110, -1}, {-1, -1}};
    for (auto [x, panel] : hits)
        EXPECT_EQ(StatusPanelAt(w, x), panel) << x;

    TContrStatusBar bar;
    for (int width : {0, 90, 10, 110})
        bar.Panels.push_back({QString(), width});
    bar.resize(150, 20);
    EXPECT_EQ(bar.PanelWidths(), (std::vector<int>{0, 90, 10, 110}));
    bar.resize(400, 20);
    EXPECT_EQ(bar.PanelWidths()[0], 190);
    EXPECT_EQ(bar.PanelRect(2), QRect(280, 0, 10, 20));

    // A child control stays on the bar.
    QWidget child(&bar);
    EXPECT_EQ(child.parentWidget(), &bar);
}

TEST(ContrStatusBar, ATextSetAtOnceWinsOverAnOlderOneWaitingForTheFrame)
{
    TContrStatusBar bar;
    bar.Panels.assign(2, TStatusPanel{QStringLiteral("Grafik: 10 x 20"), 110});
    // A position waits, then the picture's size is set at once: the size
    // stays, the stale position never comes up.
    bar.SetPanelTextNextFrame(1, QStringLiteral("X: 5   Y: 6"));
    bar.SetPanelTextNextFrame(0, QStringLiteral("X: 7   Y: 8"));
    bar.SetPanelText(1, QStringLiteral("Grafik: 30 x 40"));
    EXPECT_TRUE(bar.HasWaitingTexts());
    bar.ShowWaitingTexts();
    EXPECT_FALSE(bar.HasWaitingTexts());
    EXPECT_EQ(bar.PanelText(0), QStringLiteral("X: 7   Y: 8"));
    EXPECT_EQ(bar.PanelText(1), QStringLiteral("Grafik: 30 x 40"));
    // The text already shown is not waited for.
    bar.SetPanelTextNextFrame(0, QStringLiteral("X: 7   Y: 8"));
    EXPECT_FALSE(bar.HasWaitingTexts());
}

TEST(ScrollBoxEx, ReportsEveryActionAndTracksTheThumbOnlyWhenSmooth)
{
    TScrollBoxEx box;
    auto *content = new QWidget;
    content->resize(2000, 2000);
    box.setWidget(content);
    box.resize(200, 200);
    box.show(); // offscreen
    QSignalSpy spy(&box, &TScrollBoxEx::OnScroll);
    const struct {
        QAbstractSlider::SliderAction action;
        quint16 code;
    } actions[] = {{QAbstractSlider::SliderSingleStepAdd, SB_LINEDOWN}, {QAbstractSlider::SliderSingleStepSub, SB_LINEUP},
                   {QAbstractSlider::SliderPageStepAdd, SB_PAGEDOWN},   {QAbstractSlider::SliderPageStepSub, SB_PAGEUP},
                   {QAbstractSlider::SliderToMaximum, SB_BOTTOM},       {QAbstractSlider::SliderToMinimum, SB_TOP}};
    for (bool horz : {true, false}) {
        QScrollBar *bar = horz ? box.horizontalScrollBar() : box.verticalScrollBar();
        for (const auto &a : actions) {
            spy.clear();
            bar->triggerAction(a.action);
            ASSERT_EQ(spy.size(), 1);
            EXPECT_EQ(spy[0][0].value<quint16>(), a.code);
            EXPECT_EQ(spy[0][1].toBool(), horz);
        }
    }

    QScrollBar *v = box.verticalScrollBar();
    for (bool smooth : {true, false}) {
        box.SetSmoothScrolling(smooth);
        v->setValue(0);
        v->setSliderDown(true);
        v->setSliderPosition(300);
        EXPECT_EQ(content->y() == -300, smooth) << smooth;
        v->setSliderDown(false);
        EXPECT_EQ(content->y(), -300);
    }

    // Arrow keys go to the box only when its owner claims them.
    for (bool want : {false, true}) {
        quint16 asked = 0;
        box.OnWantSpecialKey = [want, &asked](quint16 key, bool &wanted) {
            asked = key;
            wanted = want;
        };
        v->setValue(0);
        QSignalSpy keys(&box, &TScrollBoxEx::OnKeyDown);
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(&box, &down);
        EXPECT_EQ(asked, 40) << "the virtual-key code of Down";
        EXPECT_EQ(keys.size(), want ? 1 : 0);
        EXPECT_EQ(v->value() > 0, want);
    }
    // The owner compares virtual-key codes, whatever Qt numbers its keys.
    const std::pair<Qt::Key, int> codes[] = {{Qt::Key_Left, 37}, {Qt::Key_Up, 38}, {Qt::Key_Right, 39},
                                             {Qt::Key_Tab, 9},   {Qt::Key_Home, 36}, {Qt::Key_A, 0}};
    for (const auto &[key, vk] : codes)
        EXPECT_EQ(VirtualKeyOf(key), vk) << key;
}

TEST(VertLabel, DisabledTextIsDrawnTwiceOnePixelApart)
{
    QFont f = fixedFont();
    f.setStyleStrategy(QFont::NoAntialias);
    f.setPixelSize(16);
    auto inkOf = [&](bool enabled, QRgb *highlight, QRgb *shadow) {
        TVertLabel label;
        label.setFont(f);
        label.SetCaption(QStringLiteral("Zelkora"));
        QPalette pal = label.palette();
        pal.setColor(QPalette::Window, QColor(128, 128, 128));
        pal.setColor(QPalette::WindowText, Qt::black);
        label.setPalette(pal);
        label.setAutoFillBackground(true);
        label.setEnabled(enabled);
        EXPECT_GT(label.height(), label.width()); // written upwards
        const QImage img = label.grab().toImage().convertToFormat(QImage::Format_RGB32);
        *highlight = TColorToQColor(clBtnHighlight).rgb();
        *shadow = TColorToQColor(clBtnShadow).rgb();
        std::set<std::pair<int, int>> dark, light;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb c = img.pixel(x, y);
                if (enabled ? c == qRgb(0, 0, 0) : c == *shadow)
                    dark.insert({x, y});
                else if (!enabled && c == *highlight)
                    light.insert({x, y});
            }
        return std::make_pair(dark, light);
    };
    QRgb hi = 0, sh = 0;
    const auto [text, unused] = inkOf(true, &hi, &sh);
    const auto [shadow, highlight] = inkOf(false, &hi, &sh);
    ASSERT_FALSE(text.empty());
    std::set<std::pair<int, int>> shifted;
    for (auto [x, y] : text)
        shifted.insert({x - 1, y - 1});
    EXPECT_EQ(shadow, shifted);
    EXPECT_FALSE(highlight.empty());
    for (auto pt : highlight)
        EXPECT_TRUE(text.count(pt)) << pt.first << "," << pt.second;
}
