// The arithmetic of the flat look: colours, the scheme, measuring, glyph
// effects and which widgets the look takes.
#include "XPLook.h"

#include "BarPopupMenu.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolBox>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace zk {

namespace {

int clamp255(int v) { return std::clamp(v, 0, 255); }

// x + round((255 - x) * p / 100), an exact half going to the even result.
int lightenComponent(int x, int p)
{
    const int num = (255 - x) * p;
    int q = num / 100;
    const int r = num % 100;
    if (r > 50 || (r == 50 && (q & 1)))
        ++q;
    return clamp255(x + q);
}

int nearestLevel(int v, int levels)
{
    const int step = (v * levels + 127) / 255;
    return (step * 255 + levels / 2) / levels;
}

// The colours a display of few colours shows: the sixteen of the standard
// palette.
constexpr std::array<QRgb, 16> kSixteen = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};

QRgb nearestShown(QRgb c, int depth)
{
    if (depth >= 24)
        return c;
    if (depth >= 15) {
        const int green = depth == 16 ? 63 : 31;
        return qRgb(nearestLevel(qRed(c), 31), nearestLevel(qGreen(c), green), nearestLevel(qBlue(c), 31));
    }
    QRgb best = kSixteen[0];
    int bestDist = 1 << 30;
    for (QRgb k : kSixteen) {
        const int dr = qRed(k) - qRed(c), dg = qGreen(k) - qGreen(c), db = qBlue(k) - qBlue(c);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = k;
        }
    }
    return best;
}

// Halves go to the even neighbour, as the measuring asks.
int roundHalfEven(double v)
{
    return int(std::nearbyint(v));
}

bool isPanelFrame(const QWidget *w)
{
    // QFrame is the base of many Qt widgets; only a plain frame is a panel.
    return qobject_cast<const QFrame *>(w) && !qobject_cast<const QAbstractScrollArea *>(w) &&
           !qobject_cast<const QLabel *>(w) && !qobject_cast<const QSplitter *>(w) &&
           !qobject_cast<const QStackedWidget *>(w) && !qobject_cast<const QToolBox *>(w) &&
           !qobject_cast<const QLCDNumber *>(w);
}

bool insideToolBar(const QWidget *w)
{
    for (const QWidget *p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<const QToolBar *>(p))
            return true;
    return false;
}

} // namespace

QRgb XPDarken(QRgb c, int n)
{
    return qRgb(clamp255(qRed(c) - n), clamp255(qGreen(c) - n + 2), clamp255(qBlue(c) - n));
}

QRgb XPLighten(QRgb c, int p, int depth)
{
    p = std::clamp(p, 0, 100);
    const QRgb raw = qRgb(lightenComponent(qRed(c), p), lightenComponent(qGreen(c), p),
                          lightenComponent(qBlue(c), p));
    return nearestShown(raw, depth);
}

QRgb XPGrey(QRgb c, int n)
{
    const int v = std::clamp((qRed(c) + qGreen(c) + qBlue(c)) / 3 + n, 0, 240);
    return qRgb(v, v, v);
}

QRgb XPContrastText(QRgb background, QRgb fontColor)
{
    if ((qRed(background) + qBlue(background)) / 2 < 151 && qGreen(background) < 201)
        return XPLighten(background, 90);
    return fontColor;
}

TXPScheme XPDeriveScheme(const TXPSchemeInput &in)
{
    TXPScheme s;
    const int d = in.depth;
    s.highColor = d >= 16;
    const QRgb white = qRgb(255, 255, 255), silver = qRgb(0xC0, 0xC0, 0xC0);
    if (in.useSystemColors) {
        s.menuBack = s.highColor ? XPLighten(in.btnFace, 86, d) : white;
        s.iconBack = s.highColor ? XPLighten(in.btnFace, 16, d) : in.btnFace;
        s.selectFill = s.highColor ? XPLighten(in.highlight, 68, d) : white;
        s.selectFrame = in.highlight;
        s.selectText = in.fontColor;
        s.checkedFill = s.highColor ? XPLighten(in.highlight, 80, d) : white;
        s.pressedFill = s.highColor ? XPLighten(in.highlight, 50, d) : white;
        s.checkedFrame = in.highlight;
        s.menuBar = in.btnFace;
        s.disabledText = s.highColor ? XPLighten(in.btnShadow, 10, d) : in.btnShadow;
        s.separator = s.highColor ? XPLighten(in.btnShadow, 25, d) : in.btnShadow;
    } else {
        s.menuBack = in.color;
        s.iconBack = in.iconBackColor;
        s.selectFill = s.highColor ? XPLighten(in.selectColor, 68, d) : in.selectColor;
        s.selectFrame = in.selectBorderColor;
        s.selectText = in.selectFontColor;
        s.checkedFill = s.highColor ? XPLighten(in.selectColor, 80, d) : white;
        s.pressedFill = s.highColor ? XPLighten(in.selectColor, 50, d) : silver;
        s.checkedFrame = in.checkedColor;
        s.menuBar = in.menuBarColor;
        s.disabledText = in.disabledColor;
        s.separator = in.separatorColor;
    }
    s.shadow1 = s.highColor ? XPDarken(in.btnFace, 90) : in.btnShadow;
    s.shadow2 = s.highColor ? XPDarken(in.btnFace, 76) : in.btnShadow;
    return s;
}

QSize XPMeasureMenuItem(const TXPMenuMeasure &item, const std::function<int(const QString &)> &textWidth,
                        int textHeight, QSize given)
{
    const bool separator = item.caption == QLatin1String("-");
    QString text = separator ? QString() : item.caption;
    if (!separator && !item.shortcut.trimmed().isEmpty())
        text += item.shortcut + QStringLiteral("WWW");
    int w = textWidth(text) + 5;
    if (text.contains(u'&'))
        w -= textWidth(QStringLiteral("&"));
    int imageWidth = item.image.isEmpty() ? 0 : item.image.width();
    if (!item.onMainMenu)
        imageWidth = std::max(imageWidth, item.iconWidth);
    if (imageWidth > 0)
        w += imageWidth;
    if (item.onMainMenu)
        w += 8;
    int h = 4;
    if (!separator) {
        const int th = textHeight;
        h = th + roundHalfEven(th * 0.75);
        if (!item.image.isEmpty())
            h = std::max(h, item.image.height() + 6);
    }
    return {std::max(given.width(), w), std::max(given.height(), h)};
}

namespace {

// src in ARGB32 with every pixel's colour put through recolour and its alpha
// kept; a run of equal pixels is worked out once.
template <typename Recolour>
QImage RecolouredGlyph(const QImage &src, Recolour recolour)
{
    QImage img = src.convertToFormat(QImage::Format_ARGB32);
    QRgb lastIn = 0, lastOut = 0;
    bool have = false;
    for (int y = 0; y < img.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = row[x];
            if (!have || px != lastIn) {
                lastIn = px;
                const QRgb c = recolour(px);
                lastOut = qRgba(qRed(c), qGreen(c), qBlue(c), qAlpha(px));
                have = true;
            }
            row[x] = lastOut;
        }
    }
    return img;
}

} // namespace

QImage XPFadedGlyph(const QImage &src, int dimLevel, int depth)
{
    return RecolouredGlyph(src, [=](QRgb px) { return XPLighten(px, dimLevel, depth); });
}

QImage XPDisabledGlyph(const QImage &src, int grayLevel, int depth)
{
    return RecolouredGlyph(src, [=](QRgb px) { return XPLighten(XPGrey(px, grayLevel), 40, depth); });
}

QImage XPShadowGlyph(const QImage &src, QRgb color)
{
    QImage img = src.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            row[x] = qAlpha(row[x]) ? qRgba(qRed(color), qGreen(color), qBlue(color), qAlpha(row[x])) : 0;
    }
    return img;
}

std::uint16_t XPControlKind(const QWidget *w)
{
    if (!w)
        return 0;
    // First match wins; the order matters where Qt classes derive from
    // each other (a push button with an icon is checked before any button).
    if (qobject_cast<const QComboBox *>(w))
        return xcCombo;
    if (qobject_cast<const QLineEdit *>(w))
        return xcEdit;
    if (qobject_cast<const QPlainTextEdit *>(w))
        return xcMemo;
    if (qobject_cast<const QTextEdit *>(w))
        return xcRichEdit;
    if (qobject_cast<const QCheckBox *>(w))
        return xcCheckBox;
    if (qobject_cast<const QRadioButton *>(w))
        return xcRadioButton;
    if (auto *b = qobject_cast<const QPushButton *>(w))
        return b->icon().isNull() ? xcButton : xcBitBtn;
    if (qobject_cast<const QAbstractSpinBox *>(w))
        return xcButton;
    if (qobject_cast<const QToolButton *>(w))
        return insideToolBar(w) ? 0 : xcSpeedButton;
    if (qobject_cast<const QGroupBox *>(w))
        return xcGroupBox;
    if (isPanelFrame(w))
        return xcPanel;
    return 0;
}

std::uint16_t XPContainerKind(const QWidget *parent)
{
    for (const QWidget *p = parent; p; p = p->parentWidget()) {
        if (qobject_cast<const QToolBar *>(p))
            return xccToolbar;
        if (isPanelFrame(p))
            return xccPanel;
        if (const QWidget *up = p->parentWidget()) {
            // A scroll area's viewport stands for the scroll box.
            if (auto *area = qobject_cast<const QAbstractScrollArea *>(up); area && area->viewport() == p)
                return xccScrollBox;
        }
        if (qobject_cast<const QGroupBox *>(p))
            return xccGroupBox;
        if (auto *stack = qobject_cast<const QStackedWidget *>(p->parentWidget());
            stack && qobject_cast<const QTabWidget *>(stack->parentWidget()))
            return xccTabSheet;
        if (p->isWindow())
            return xccForm;
        if (auto *main = qobject_cast<const QMainWindow *>(p->parentWidget()); main && main->centralWidget() == p)
            return xccForm;
        if (auto *dock = qobject_cast<const QDockWidget *>(p->parentWidget()); dock && dock->widget() == p)
            return xccForm;
        // Any other widget only lays out its children: look further up,
        // unless it is a control itself (a combo's edit has no container).
        if (XPControlKind(p) || qobject_cast<const QAbstractScrollArea *>(p))
            return 0;
        if (std::string_view(p->metaObject()->className()) != "QWidget" &&
            !p->inherits("zk::TBaseModalForm"))
            return 0;
    }
    return 0;
}

QString XPLookName(const QWidget *form)
{
    if (!form)
        return QStringLiteral("XPLook");
    static const QHash<QString, QString> known = {
        {QStringLiteral("TMainForm"), QStringLiteral("ZKXPLook")},
        {QStringLiteral("TOptionDlgBMForm"), QStringLiteral("OptionXPLook")},
        {QStringLiteral("TDragDropFilesBMForm"), QStringLiteral("DragDropXPLook")},
        {QStringLiteral("TFileInfDlgBMForm"), QStringLiteral("FileInfoDlgXPLook")},
        {QStringLiteral("TSmtpBMForm"), QStringLiteral("SmptXPLook")},
        {QStringLiteral("TMapiConfigBMForm"), QStringLiteral("MapiXPLook")},
        {QStringLiteral("TImgGalForm"), QStringLiteral("ImgGalXPLook")},
        {QStringLiteral("TImgPreviewForm"), QStringLiteral("ImgPreviewXPLook")},
    };
    QString cls = QString::fromLatin1(form->metaObject()->className());
    if (cls.startsWith(QLatin1String("zk::")))
        cls = cls.mid(4);
    if (auto it = known.constFind(cls); it != known.constEnd())
        return *it;
    QString stem = cls;
    if (stem.startsWith(u'T'))
        stem = stem.mid(1);
    for (const char *ending : {"BMForm", "BDForm", "Form"})
        if (stem.endsWith(QLatin1String(ending)) && stem.size() > qsizetype(qstrlen(ending))) {
            stem.chop(qstrlen(ending));
            break;
        }
    return stem + QStringLiteral("XPLook");
}

} // namespace zk
