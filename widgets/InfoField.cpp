#include "InfoField.h"

#include <QApplication>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QStyleOption>

#include <cmath>
#include <cstring>
#include <vector>

namespace zk {

TInfoField::TInfoField(QWidget *parent)
    : QLineEdit(parent)
{
    setStyle(TFieldStyle::Instance());
}

QRect TInfoField::TextArea() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_LineEditContents, &option, this) & rect();
}

void TInfoField::ShowText(const QString &text)
{
    if (text == this->text())
        return;
    if (!isVisible() || !updatesEnabled() || findChild<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        setText(text);
        return;
    }
    // QLineEdit asks for its whole rectangle when the text changes. That
    // request is held back by the flag update() tests (setUpdatesEnabled
    // would ask for the whole rectangle again on the way back), and only
    // the text's area is asked for. A field with child widgets (buttons
    // inside it), which would have to follow the flag, takes the plain way.
    setAttribute(Qt::WA_UpdatesDisabled, true);
    setText(text);
    setAttribute(Qt::WA_UpdatesDisabled, false);
    update(TextArea());
}

// ---- TFieldStyle ---------------------------------------------------------------

namespace {

QStyle *app()
{
    return QApplication::style();
}

// A field's panel as the application's style drew it, with the pixels it
// draws the same over a black and over a white background.
struct PanelPicture
{
    const QStyle *style = nullptr;
    QSize size;
    int state = 0, lineWidth = 0, midLineWidth = 0, features = 0;
    qint64 palette = 0;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    QImage::Format format = QImage::Format_Invalid;
    QImage image;
    QRegion fixed;
};

std::vector<PanelPicture> &pictures()
{
    static std::vector<PanelPicture> kept;
    return kept;
}

const PanelPicture &pictureOf(const QStyleOptionFrame &frame, const QWidget *w, QImage::Format format)
{
    for (const PanelPicture &p : pictures())
        if (p.style == app() && p.size == frame.rect.size() && p.state == int(frame.state) &&
            p.lineWidth == frame.lineWidth && p.midLineWidth == frame.midLineWidth &&
            p.features == int(frame.features) && p.palette == frame.palette.cacheKey() &&
            p.direction == frame.direction && p.format == format)
            return p;
    // States and sizes come and go (focus, a resized window): a few are kept.
    if (pictures().size() >= 16)
        pictures().clear();
    PanelPicture p;
    p.style = app();
    p.size = frame.rect.size();
    p.state = int(frame.state);
    p.lineWidth = frame.lineWidth;
    p.midLineWidth = frame.midLineWidth;
    p.features = int(frame.features);
    p.palette = frame.palette.cacheKey();
    p.direction = frame.direction;
    p.format = format;
    QStyleOptionFrame at(frame);
    at.rect = QRect(QPoint(0, 0), frame.rect.size());
    QImage over[2] = {QImage(p.size, format), QImage(p.size, format)};
    over[0].fill(Qt::black);
    over[1].fill(Qt::white);
    for (QImage &img : over) {
        QPainter painter(&img);
        app()->drawPrimitive(QStyle::PE_PanelLineEdit, &at, &painter, w);
    }
    for (int y = 0; y < p.size.height(); ++y) {
        const auto *a = reinterpret_cast<const quint32 *>(over[0].constScanLine(y));
        const auto *b = reinterpret_cast<const quint32 *>(over[1].constScanLine(y));
        for (int x = 0; x < p.size.width();) {
            if (a[x] != b[x]) {
                ++x;
                continue;
            }
            const int from = x;
            while (x < p.size.width() && a[x] == b[x])
                ++x;
            p.fixed += QRect(from, y, x - from, 1);
        }
    }
    p.image = std::move(over[0]);
    pictures().push_back(std::move(p));
    return pictures().back();
}

} // namespace

TFieldStyle *TFieldStyle::Instance()
{
    static TFieldStyle *style = [] {
        auto *s = new TFieldStyle;
        s->setObjectName(QStringLiteral("TFieldStyle"));
        s->setParent(qApp);
        return s;
    }();
    return style;
}

bool TFieldStyle::copyPanel(const QStyleOption *opt, QPainter *p, const QWidget *w) const
{
    const auto *frame = qstyleoption_cast<const QStyleOptionFrame *>(opt);
    QPaintEngine *engine = p ? p->paintEngine() : nullptr;
    if (!frame || !qobject_cast<const TInfoField *>(w) || !engine || engine->type() != QPaintEngine::Raster)
        return false;
    QPaintDevice *device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return false;
    const auto *target = static_cast<const QImage *>(device);
    if (target->depth() != 32 || target->devicePixelRatio() != 1.0 || p->opacity() != 1.0 ||
        p->compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    const QTransform t = p->deviceTransform();
    if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy()))
        return false;
    // Where this paint may draw, in the field's own coordinates.
    QRegion clip = engine->systemClip();
    if (clip.isEmpty())
        return false;
    clip.translate(-int(t.dx()), -int(t.dy()));
    if (p->hasClipping())
        clip &= p->clipRegion();
    clip &= frame->rect;
    if (clip.isEmpty())
        return false;
    const PanelPicture &picture = pictureOf(*frame, w, target->format());
    if (!(clip - picture.fixed.translated(frame->rect.topLeft())).isEmpty())
        return false;
    const QRect bounds = clip.boundingRect();
    p->drawImage(bounds.topLeft(), picture.image, bounds.translated(-frame->rect.topLeft()));
    return true;
}

void TFieldStyle::drawPrimitive(PrimitiveElement pe, const QStyleOption *opt, QPainter *p, const QWidget *w) const
{
    if (pe == PE_PanelLineEdit && copyPanel(opt, p, w))
        return;
    app()->drawPrimitive(pe, opt, p, w);
}

void TFieldStyle::polish(QWidget *widget)
{
    app()->polish(widget);
}

void TFieldStyle::unpolish(QWidget *widget)
{
    app()->unpolish(widget);
}

void TFieldStyle::polish(QApplication *application)
{
    app()->polish(application);
}

void TFieldStyle::unpolish(QApplication *application)
{
    app()->unpolish(application);
}

void TFieldStyle::polish(QPalette &palette)
{
    app()->polish(palette);
}

QRect TFieldStyle::itemTextRect(const QFontMetrics &fm, const QRect &r, int flags, bool enabled,
                                const QString &text) const
{
    return app()->itemTextRect(fm, r, flags, enabled, text);
}

QRect TFieldStyle::itemPixmapRect(const QRect &r, int flags, const QPixmap &pixmap) const
{
    return app()->itemPixmapRect(r, flags, pixmap);
}

void TFieldStyle::drawItemText(QPainter *painter, const QRect &rect, int flags, const QPalette &pal, bool enabled,
                               const QString &text, QPalette::ColorRole textRole) const
{
    app()->drawItemText(painter, rect, flags, pal, enabled, text, textRole);
}

void TFieldStyle::drawItemPixmap(QPainter *painter, const QRect &rect, int alignment, const QPixmap &pixmap) const
{
    app()->drawItemPixmap(painter, rect, alignment, pixmap);
}

QPalette TFieldStyle::standardPalette() const
{
    return app()->standardPalette();
}

void TFieldStyle::drawControl(ControlElement element, const QStyleOption *opt, QPainter *p, const QWidget *w) const
{
    app()->drawControl(element, opt, p, w);
}

QRect TFieldStyle::subElementRect(SubElement subElement, const QStyleOption *option, const QWidget *widget) const
{
    return app()->subElementRect(subElement, option, widget);
}

void TFieldStyle::drawComplexControl(ComplexControl cc, const QStyleOptionComplex *opt, QPainter *p,
                                     const QWidget *widget) const
{
    app()->drawComplexControl(cc, opt, p, widget);
}

QStyle::SubControl TFieldStyle::hitTestComplexControl(ComplexControl cc, const QStyleOptionComplex *opt,
                                                      const QPoint &pt, const QWidget *widget) const
{
    return app()->hitTestComplexControl(cc, opt, pt, widget);
}

QRect TFieldStyle::subControlRect(ComplexControl cc, const QStyleOptionComplex *opt, SubControl sc,
                                  const QWidget *widget) const
{
    return app()->subControlRect(cc, opt, sc, widget);
}

int TFieldStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    return app()->pixelMetric(metric, option, widget);
}

QSize TFieldStyle::sizeFromContents(ContentsType ct, const QStyleOption *opt, const QSize &contentsSize,
                                    const QWidget *w) const
{
    return app()->sizeFromContents(ct, opt, contentsSize, w);
}

int TFieldStyle::styleHint(StyleHint stylehint, const QStyleOption *opt, const QWidget *widget,
                           QStyleHintReturn *returnData) const
{
    return app()->styleHint(stylehint, opt, widget, returnData);
}

QPixmap TFieldStyle::standardPixmap(StandardPixmap standardPixmap, const QStyleOption *opt,
                                    const QWidget *widget) const
{
    return app()->standardPixmap(standardPixmap, opt, widget);
}

QIcon TFieldStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption *option, const QWidget *widget) const
{
    return app()->standardIcon(standardIcon, option, widget);
}

QPixmap TFieldStyle::generatedIconPixmap(QIcon::Mode iconMode, const QPixmap &pixmap, const QStyleOption *opt) const
{
    return app()->generatedIconPixmap(iconMode, pixmap, opt);
}

int TFieldStyle::layoutSpacing(QSizePolicy::ControlType control1, QSizePolicy::ControlType control2,
                               Qt::Orientation orientation, const QStyleOption *option, const QWidget *widget) const
{
    return app()->layoutSpacing(control1, control2, orientation, option, widget);
}

} // namespace zk
