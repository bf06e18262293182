#include "XPLookStyle.h"

#include "XPLook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QToolBar>
#include <QToolButton>

namespace zk {

namespace {

QColor col(QRgb c) { return QColor::fromRgb(c); }

QRgb sys(TColor c) { return TColorToQColor(c).rgb(); }

// The colour the control stands on: its parent's background.
QRgb parentColor(const QWidget *w)
{
    const QWidget *on = w && w->parentWidget() ? w->parentWidget() : w;
    return on ? on->palette().color(QPalette::Window).rgb() : sys(clBtnFace);
}

// A one-pixel outline inside r.
void frameRect(QPainter *p, const QRect &r, QRgb c)
{
    p->setPen(col(c));
    p->setBrush(Qt::NoBrush);
    p->drawRect(r.adjusted(0, 0, -1, -1));
}

const QToolBar *barOf(const QWidget *w)
{
    for (const QWidget *p = w; p; p = p->parentWidget())
        if (auto *bar = qobject_cast<const QToolBar *>(p))
            return bar;
    return nullptr;
}

// Three lines of 5, 3 and 1 pixels, each one lower and one narrower on each side.
void arrowFigure(QPainter *p, int x, int y, QRgb c)
{
    p->setPen(col(c));
    for (int i = 0; i < 3; ++i)
        p->drawLine(x + i, y + i, x + 4 - i, y + i);
}

// The check mark: three stacked lines through (x+2, y-5), (x+4, y-3), (x+9, y-8).
void checkFigure(QPainter *p, int x, int y, QRgb c)
{
    p->setPen(col(c));
    for (int i = 0; i < 3; ++i) {
        p->drawLine(x + 2, y - 5 + i, x + 4, y - 3 + i);
        p->drawLine(x + 4, y - 3 + i, x + 9, y - 8 + i);
    }
}

enum GlyphEffect { kPlain, kFaded, kDisabled, kShadow };

// The room a popup item gets beside its measured width, and where its
// caption starts right of the icon column.
constexpr int kCheckRoom = 16;
constexpr int kCaptionGap = 6;

} // namespace

TXPLookStyle::TXPLookStyle(TXPLook *look, QStyle *base)
    : QProxyStyle(base)
    , look_(look)
{
    setObjectName(QStringLiteral("TXPLookStyle"));
}

std::uint16_t TXPLookStyle::as(const QWidget *w) const
{
    return look_ && look_->Active() ? look_->HookedAs(w) : 0;
}

int TXPLookStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    if (as(widget) & (xcMainMenu | xcPopupMenu)) {
        switch (metric) {
        case PM_MenuHMargin:
            return 0;
        case PM_MenuVMargin:
            return 1;
        case PM_MenuPanelWidth:
            return look_->FlatMenu ? 3 : 1;
        case PM_MenuBarItemSpacing:
            return 0;
        default:
            break;
        }
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QSize TXPLookStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                     const QWidget *widget) const
{
    const std::uint16_t kind = as(widget);
    if ((type == CT_MenuItem || type == CT_MenuBarItem) && (kind & (xcMainMenu | xcPopupMenu))) {
        if (auto *mi = qstyleoption_cast<const QStyleOptionMenuItem *>(option)) {
            TXPMenuMeasure m;
            const qsizetype tab = mi->text.indexOf(u'\t');
            m.caption = mi->menuItemType == QStyleOptionMenuItem::Separator ? QStringLiteral("-")
                                                                            : mi->text.left(tab);
            if (tab >= 0)
                m.shortcut = mi->text.mid(tab + 1);
            if (!mi->icon.isNull()) {
                const int s = QProxyStyle::pixelMetric(PM_SmallIconSize, option, widget);
                m.image = QSize(s, s);
            }
            m.onMainMenu = type == CT_MenuBarItem;
            m.iconWidth = look_->IconWidth;
            const QFontMetrics fm(look_->Font());
            const QSize measured = XPMeasureMenuItem(
                m, [&fm](const QString &t) { return fm.horizontalAdvance(t); }, fm.height(), size);
            // The menu bar keeps its own height; only its items' widths change.
            if (type == CT_MenuBarItem)
                return {measured.width(), QProxyStyle::sizeFromContents(type, option, size, widget).height()};
            // As the system does for items it does not draw itself, a popup's
            // item gets room for the check mark beside its measured width; the
            // caption column and a sub-menu's arrow sit in it.
            return {measured.width() + kCheckRoom, measured.height()};
        }
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}

void TXPLookStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                 const QWidget *widget) const
{
    const std::uint16_t kind = as(widget);
    if (!kind) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const TXPScheme s = look_->Scheme();
    const int iw = look_->IconWidth;
    switch (element) {
    case PE_PanelMenu:
        if (kind & (xcMainMenu | xcPopupMenu)) {
            painter->fillRect(option->rect, col(s.menuBack));
            const int fw = pixelMetric(PM_MenuPanelWidth, option, widget);
            painter->fillRect(QRect(option->rect.left() + fw, option->rect.top(), iw, option->rect.height()),
                              col(s.iconBack));
            return;
        }
        break;
    case PE_FrameMenu:
        if (kind & (xcMainMenu | xcPopupMenu)) {
            const QRect r = option->rect;
            if (!look_->FlatMenu) {
                frameRect(painter, r, s.shadow1);
                return;
            }
            // Flat: an outer line, the inner lines in the item colours and a
            // two-pixel shadow along the right and bottom, all inside the popup.
            const QRect outer = r.adjusted(0, 0, -2, -2);
            frameRect(painter, outer, s.shadow1);
            frameRect(painter, outer.adjusted(1, 1, -1, -1), s.menuBack);
            painter->setPen(col(s.iconBack));
            painter->drawLine(outer.left() + 1, outer.top() + 1, outer.left() + 1, outer.bottom() - 1);
            painter->fillRect(QRect(r.right() - 1, r.top() + 2, 2, r.height() - 2), col(s.shadow2));
            painter->fillRect(QRect(r.left() + 2, r.bottom() - 1, r.width() - 2, 2), col(s.shadow2));
            return;
        }
        break;
    case PE_PanelMenuBar:
        if (kind & xcMainMenu) {
            painter->fillRect(option->rect, col(s.menuBar));
            return;
        }
        break;
    case PE_PanelToolBar:
        if (kind & xcControlbar) {
            controlBarBand(option, painter, widget);
            return;
        }
        break;
    case PE_IndicatorToolBarHandle:
        if (kind & xcControlbar) {
            grabber(option, painter, widget);
            return;
        }
        break;
    case PE_IndicatorToolBarSeparator:
        if (kind & xcToolbar) {
            const QToolBar *bar = barOf(widget);
            const QRgb barColor = (bar ? bar : widget)->palette().color(QPalette::Window).rgb();
            painter->fillRect(option->rect, col(s.highColor ? XPLighten(barColor, 16, look_->Depth()) : barColor));
            int tag = 0;
            if (bar)
                for (QAction *a : bar->actions())
                    if (a->isSeparator() && bar->widgetForAction(a) == widget)
                        tag = a->property("Tag").toInt();
            if (tag > 0) {
                const QRect r = option->rect;
                painter->setPen(col(XPDarken(barColor, 30)));
                if (option->state & State_Horizontal)
                    painter->drawLine(r.center().x(), r.top() + 2, r.center().x(), r.bottom() - 1);
                else
                    painter->drawLine(r.left() + 2, r.center().y(), r.right() - 1, r.center().y());
            }
            return;
        }
        break;
    case PE_PanelLineEdit:
        if (kind & xcEdit) {
            auto *f = qstyleoption_cast<const QStyleOptionFrame *>(option);
            painter->fillRect(option->rect, option->palette.brush(QPalette::Base));
            editFrame(option->rect, painter, widget, f && f->lineWidth > 0);
            return;
        }
        break;
    case PE_FrameLineEdit:
        if (kind & xcEdit)
            return; // the panel draws it
        break;
    case PE_IndicatorCheckBox:
        if (kind & xcCheckBox) {
            checkIndicator(option, painter, widget, false);
            return;
        }
        break;
    case PE_IndicatorRadioButton:
        if (kind & xcRadioButton) {
            checkIndicator(option, painter, widget, true);
            return;
        }
        break;
    case PE_FrameFocusRect:
        // The flat controls show focus by their outline.
        if (kind & (xcButton | xcBitBtn | xcCheckBox | xcRadioButton | xcSpeedButton))
            return;
        break;
    default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void TXPLookStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    const std::uint16_t kind = as(widget);
    if (kind) {
        switch (element) {
        case CE_MenuItem:
            if ((kind & (xcMainMenu | xcPopupMenu)) && menuItem(option, painter, widget))
                return;
            break;
        case CE_MenuEmptyArea:
            if (kind & (xcMainMenu | xcPopupMenu)) {
                // The margins above and below the items: the icon column runs on.
                drawPrimitive(PE_PanelMenu, option, painter, widget);
                return;
            }
            break;
        case CE_MenuBarItem:
            if (kind & xcMainMenu) {
                menuBarItem(option, painter, widget);
                return;
            }
            break;
        case CE_MenuBarEmptyArea:
            if (kind & xcMainMenu) {
                painter->fillRect(option->rect, col(look_->Scheme().menuBar));
                return;
            }
            break;
        case CE_ToolBar:
            if (kind & xcControlbar) {
                controlBarBand(option, painter, widget);
                return;
            }
            break;
        case CE_PushButton:
            if (kind & (xcButton | xcBitBtn)) {
                pushButton(option, painter, widget);
                if (auto *b = qstyleoption_cast<const QStyleOptionButton *>(option)) {
                    QStyleOptionButton label(*b);
                    label.rect = subElementRect(SE_PushButtonContents, b, widget);
                    QProxyStyle::drawControl(CE_PushButtonLabel, &label, painter, widget);
                }
                return;
            }
            break;
        case CE_PushButtonBevel:
            if (kind & (xcButton | xcBitBtn)) {
                pushButton(option, painter, widget);
                return;
            }
            break;
        case CE_CheckBox:
        case CE_RadioButton:
            // The rest of the box shows the colour beneath it; Qt has painted
            // the parent's background there already unless the box fills its own.
            if ((kind & (xcCheckBox | xcRadioButton)) && widget->autoFillBackground())
                painter->fillRect(option->rect, option->palette.brush(QPalette::Window));
            break;
        case CE_ShapedFrame:
            if (kind & (xcMemo | xcRichEdit)) {
                auto *f = qstyleoption_cast<const QStyleOptionFrame *>(option);
                if (f && f->frameShape != QFrame::NoFrame) {
                    const int lw = std::max(1, f->lineWidth + f->midLineWidth);
                    const QRect r = option->rect;
                    const QRegion ring = QRegion(r).subtracted(QRegion(r.adjusted(lw, lw, -lw, -lw)));
                    painter->save();
                    painter->setClipRegion(ring);
                    painter->fillRect(r, option->palette.brush(QPalette::Base));
                    painter->restore();
                    editFrame(r, painter, widget, true);
                }
                return;
            }
            if (kind & xcPanel) {
                panelFrame(option, painter, widget);
                return;
            }
            break;
        default:
            break;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void TXPLookStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                                      const QWidget *widget) const
{
    const std::uint16_t kind = as(widget);
    if (control == CC_ToolButton && (kind & xcToolbar)) {
        toolButton(option, painter, widget);
        return;
    }
    if (control == CC_ToolButton && (kind & xcSpeedButton)) {
        speedButton(option, painter, widget);
        return;
    }
    if (control == CC_ComboBox && (kind & xcCombo)) {
        comboBox(option, painter, widget);
        return;
    }
    if (control == CC_GroupBox && (kind & xcGroupBox)) {
        groupBox(option, painter, widget);
        return;
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

// ---- Menus -------------------------------------------------------------------

bool TXPLookStyle::menuItem(const QStyleOption *option, QPainter *p, const QWidget *w) const
{
    auto *mi = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (!mi)
        return false;
    // An item marked to be left alone keeps the stock painting.
    if (auto *menu = qobject_cast<const QMenu *>(w))
        if (QAction *a = menu->actionAt(mi->rect.center()); a && a->property("Tag").toInt() == kXPLookSkipTag)
            return false;
    const TXPScheme s = look_->Scheme();
    const int depth = look_->Depth();
    const int iw = look_->IconWidth;
    const QRect r = mi->rect;
    const bool separator = mi->menuItemType == QStyleOptionMenuItem::Separator;
    const bool enabled = mi->state & State_Enabled;
    const bool selected = (mi->state & State_Selected) && !separator;
    const bool checked = mi->checkType != QStyleOptionMenuItem::NotCheckable && mi->checked;
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);

    // Background: the item, and its icon column.
    if (look_->Gradient && s.highColor) {
        int level = 0;
        for (int x = r.left(); x <= r.right(); ++x) {
            p->setPen(col(XPLighten(s.iconBack, level, depth)));
            p->drawLine(x, r.top(), x, r.bottom());
            level = std::min(96, level + (x - r.left() < iw + 5 ? 3 : 1));
        }
    } else {
        p->fillRect(r, col(s.menuBack));
        p->fillRect(QRect(r.left(), r.top(), iw, r.height()), col(s.iconBack));
    }
    if (selected && enabled && look_->DrawSelect) {
        p->fillRect(r, col(s.selectFill));
        frameRect(p, r, s.selectFrame);
    }

    const QSize iconSize(QProxyStyle::pixelMetric(PM_SmallIconSize, option, w),
                         QProxyStyle::pixelMetric(PM_SmallIconSize, option, w));
    const bool hasGlyph = !mi->icon.isNull();
    if (checked) {
        const QRect area(r.left() + 2, r.top() + 2, iw - 4, r.height() - 4);
        const QRgb outline = !enabled ? s.disabledText : hasGlyph ? s.selectFrame : s.checkedFrame;
        const QRgb fill = selected ? s.pressedFill : s.checkedFill;
        const QRgb mark = enabled ? qRgb(0, 0, 0) : s.disabledText;
        p->setPen(col(outline));
        p->setBrush(col(fill));
        if (mi->checkType == QStyleOptionMenuItem::Exclusive) {
            if (hasGlyph) {
                p->drawRoundedRect(area.adjusted(0, 0, -1, -1), 3, 3);
            } else {
                const QRect dot(area.center().x() - 3, area.center().y() - 3, 7, 7);
                p->setRenderHint(QPainter::Antialiasing, true);
                p->drawEllipse(dot);
                p->setBrush(col(mark));
                p->setPen(Qt::NoPen);
                p->drawEllipse(dot.adjusted(2, 2, -2, -2));
                p->setRenderHint(QPainter::Antialiasing, false);
            }
        } else {
            const QRect box = hasGlyph ? area : QRect(area.center().x() - 7, area.center().y() - 7, 15, 15);
            p->drawRect(box.adjusted(0, 0, -1, -1));
            if (!hasGlyph)
                checkFigure(p, box.left() + 1, box.top() + 11, mark);
        }
        p->setBrush(Qt::NoBrush);
    }
    if (hasGlyph) {
        const int gx = iconSize.width() < iw ? r.left() + (iw - iconSize.width()) / 2 - 1 : r.left() + 2;
        glyph(p, mi->icon, iconSize, QPoint(gx, r.top() + 3), enabled, selected && enabled, checked, false,
              s.selectFill, s);
    }

    const int textLeft = r.left() + iw + kCaptionGap;
    if (separator) {
        p->setPen(col(s.separator));
        p->drawLine(textLeft, r.center().y(), r.right(), r.center().y());
        p->restore();
        return true;
    }
    const QFont font = look_->Font();
    p->setFont(font);
    const QFontMetrics fm(font);
    const QRgb fontColor = sys(look_->FontColor);
    const QRgb text = !enabled ? s.disabledText : selected ? s.selectText : fontColor;
    const int top = r.top() + (r.height() - fm.height()) / 2;
    const qsizetype tab = mi->text.indexOf(u'\t');
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine |
                      (styleHint(SH_UnderlineShortcut, mi, w) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic);
    p->setPen(col(text));
    p->drawText(QRect(textLeft, top, r.right() - textLeft, fm.height()), flags, mi->text.left(tab));
    if (tab >= 0) {
        p->setPen(col(s.highColor ? XPDarken(text, -40) : text));
        p->drawText(QRect(r.left(), top, r.width() - 10, fm.height()), Qt::AlignRight | Qt::AlignTop,
                    mi->text.mid(tab + 1) + u' ');
    }
    if (mi->menuItemType == QStyleOptionMenuItem::SubMenu) {
        QStyleOption arrow(*mi);
        arrow.rect = QRect(r.right() - 12, r.top(), 9, r.height());
        arrow.palette.setColor(QPalette::ButtonText, col(text));
        arrow.palette.setColor(QPalette::WindowText, col(text));
        arrow.palette.setColor(QPalette::Text, col(text));
        QProxyStyle::drawPrimitive(PE_IndicatorArrowRight, &arrow, p, w);
    }
    p->restore();
    return true;
}

void TXPLookStyle::barItemLook(QPainter *p, const QRect &r, QRgb base, const TXPScheme &s, bool shadow) const
{
    const int L = r.left(), T = r.top(), R = r.right() + 1, B = r.bottom() + 1;
    const auto fill = [p](int l, int t, int rr, int b, QRgb c) {
        if (rr > l && b > t)
            p->fillRect(QRect(l, t, rr - l, b - t), col(c));
    };
    const int right = shadow ? R - 8 : R - 3;
    fill(L, T, right, B, s.selectFill);
    p->setPen(col(s.selectFrame));
    p->drawLine(L, T, L, B - 1);
    p->drawLine(L, T, right, T);
    p->drawLine(right, T, right, B - 1);
    if (shadow) {
        fill(R - 7, T, R, B, XPDarken(base, 10));
        fill(R - 7, T + 3, R - 2, B, XPDarken(base, 30));
        fill(R - 7, T + 5, R - 3, B, XPDarken(base, 60));
        fill(R - 7, T + 6, R - 5, B, XPDarken(base, 100));
        // The shadow's top corner, rounded.
        p->setPen(col(base));
        p->drawLine(R - 7, T, R - 1, T);
        p->drawLine(R - 7, T + 1, R - 4, T + 1);
        p->setPen(col(XPDarken(base, 10)));
        p->drawPoint(R - 3, T + 1);
        p->setPen(col(XPDarken(base, 30)));
        p->drawPoint(R - 6, T + 2);
        p->setPen(col(XPDarken(base, 40)));
        p->drawPoint(R - 7, T + 2);
    } else {
        fill(R - 2, T + 2, R, B, XPDarken(base, 70));
        fill(R - 2, T, R, T + 2, base);
    }
}

void TXPLookStyle::menuBarItem(const QStyleOption *option, QPainter *p, const QWidget *w) const
{
    auto *mi = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    const TXPScheme s = look_->Scheme();
    const QRect r = option->rect;
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->fillRect(r, col(s.menuBar));
    const bool enabled = option->state & State_Enabled;
    const bool open = (option->state & State_Sunken) && (option->state & State_Selected);
    const bool hot = (option->state & State_Selected) && !open;
    const bool shadow = s.highColor && option->direction != Qt::RightToLeft;
    if (enabled && look_->DrawSelect && open)
        barItemLook(p, r, s.menuBar, s, shadow);
    else if (enabled && look_->DrawSelect && hot) {
        p->fillRect(r.adjusted(0, 0, shadow ? -8 : -3, 0), col(s.selectFill));
        frameRect(p, r.adjusted(0, 0, shadow ? -8 : -3, 0), s.selectFrame);
    }
    if (mi) {
        const QFont font = look_->Font();
        p->setFont(font);
        const QRgb fontColor = sys(look_->FontColor);
        p->setPen(col(!enabled ? s.disabledText : (open || hot) ? s.selectText : fontColor));
        const int flags = Qt::AlignCenter | Qt::TextSingleLine |
                          (styleHint(SH_UnderlineShortcut, mi, w) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic);
        p->drawText(r.adjusted(0, 0, shadow ? -8 : -3, 0), flags, mi->text);
    }
    p->restore();
}

// ---- Glyphs ------------------------------------------------------------------

QPixmap TXPLookStyle::effect(const QPixmap &src, int kind, QRgb color, int level, int depth) const
{
    if (kind == kPlain)
        return src;
    const QString key = QStringLiteral("%1/%2/%3/%4/%5")
                            .arg(src.cacheKey())
                            .arg(kind)
                            .arg(color)
                            .arg(level)
                            .arg(depth);
    if (QPixmap *hit = glyphs_.object(key))
        return *hit;
    const QImage img = src.toImage();
    QImage out;
    if (kind == kFaded)
        out = XPFadedGlyph(img, level, depth);
    else if (kind == kDisabled)
        out = XPDisabledGlyph(img, level, depth);
    else
        out = XPShadowGlyph(img, color);
    auto *pm = new QPixmap(QPixmap::fromImage(out));
    pm->setDevicePixelRatio(src.devicePixelRatio());
    glyphs_.insert(key, pm);
    return *pm;
}

void TXPLookStyle::glyph(QPainter *p, const QIcon &icon, QSize size, QPoint pos, bool enabled, bool selected,
                         bool checked, bool onBar, QRgb shadowBase, const TXPScheme &s) const
{
    const QPixmap pm = icon.pixmap(size, p->device() ? p->device()->devicePixelRatio() : 1.0);
    if (pm.isNull())
        return;
    const int depth = look_->Depth();
    if (selected && enabled && !checked && !onBar) {
        const QPoint lifted = pos - QPoint(1, 1);
        p->drawPixmap(lifted + QPoint(2, 2), effect(pm, kShadow, XPDarken(shadowBase, 50), 0, depth));
        p->drawPixmap(lifted, pm);
        return;
    }
    if (!enabled)
        p->drawPixmap(pos, effect(pm, kDisabled, 0, look_->GrayLevel, depth));
    else if (!selected && !checked && s.highColor)
        p->drawPixmap(pos, effect(pm, kFaded, 0, look_->DimLevel, depth));
    else
        p->drawPixmap(pos, pm);
}

// ---- Tool bars ---------------------------------------------------------------

void TXPLookStyle::controlBarBand(const QStyleOption *option, QPainter *p, const QWidget *w) const
{
    const TXPScheme s = look_->Scheme();
    const QRgb c = (w ? w->palette() : option->palette).color(QPalette::Window).rgb();
    p->fillRect(option->rect, col(s.highColor ? XPLighten(c, 6, look_->Depth()) : c));
}

void TXPLookStyle::grabber(const QStyleOption *option, QPainter *p, const QWidget *w) const
{
    const QRgb c = (w ? w->palette() : option->palette).color(QPalette::Window).rgb();
    const QRect r = option->rect;
    const bool horizontal = option->state & State_Horizontal;
    int n = 30;
    p->save();
    if (horizontal) {
        for (int y = r.top(); y <= r.bottom(); y += 2, n += 7) {
            p->setPen(col(XPDarken(c, n)));
            p->drawLine(r.left() + 3, y, r.left() + 6, y);
        }
    } else {
        for (int x = r.left(); x <= r.right(); x += 2, n += 7) {
            p->setPen(col(XPDarken(c, n)));
            p->drawLine(x, r.top() + 3, x, r.top() + 6);
        }
    }
    p->restore();
}

void TXPLookStyle::toolButton(const QStyleOptionComplex *option, QPainter *p, const QWidget *w) const
{
    auto *tb = qstyleoption_cast<const QStyleOptionToolButton *>(option);
    if (!tb) {
        QProxyStyle::drawComplexControl(CC_ToolButton, option, p, w);
        return;
    }
    const TXPScheme s = look_->Scheme();
    const int depth = look_->Depth();
    const QToolBar *bar = barOf(w);
    const QRgb barColor = (bar ? static_cast<const QWidget *>(bar) : w)->palette().color(QPalette::Window).rgb();
    const QRgb barBack = s.highColor ? XPLighten(barColor, 16, depth) : barColor;
    const QRgb hotFill = s.highColor && !look_->UseSystemColors() ? XPLighten(sys(look_->SelectColor), 68, depth)
                                                                   : s.selectFill;
    const bool enabled = tb->state & State_Enabled;
    const bool hot = enabled && (tb->state & State_MouseOver);
    const bool checked = tb->state & State_On;
    const bool down = tb->state & State_Sunken;
    const bool menuOpen = down && (tb->features & QStyleOptionToolButton::HasMenu) &&
                          !(tb->features & QStyleOptionToolButton::MenuButtonPopup);
    QRect r = tb->rect;
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->fillRect(r, col(barBack));
    if (menuOpen) {
        barItemLook(p, r, barColor, s, false);
    } else {
        bool frame = true;
        QRgb fill = 0;
        if (hot && (checked || down))
            fill = s.pressedFill;
        else if (hot)
            fill = hotFill;
        else if (checked)
            fill = s.checkedFill;
        else
            frame = false;
        r.setTop(r.top() + 1);
        if (frame) {
            p->fillRect(r, col(fill));
            frameRect(p, r, s.selectFrame);
        }
    }
    if (tb->features & QStyleOptionToolButton::MenuButtonPopup) {
        const QRect all = tb->rect;
        arrowFigure(p, all.right() + 1 - 10, all.top() + (all.height() - 3) / 2 + 1, qRgb(0, 0, 0));
    }

    // Glyph and caption.
    const QRect content = tb->rect.adjusted(2, 2, (tb->features & QStyleOptionToolButton::MenuButtonPopup) ? -12 : -2,
                                            -2);
    const bool showIcon = !tb->icon.isNull() && tb->toolButtonStyle != Qt::ToolButtonTextOnly;
    const bool showText = !tb->text.isEmpty() && tb->toolButtonStyle != Qt::ToolButtonIconOnly;
    QRect textRect = content;
    if (showIcon) {
        const QSize is = tb->iconSize;
        QPoint pos;
        if (!showText) {
            pos = QPoint(content.left() + (content.width() - is.width()) / 2,
                         content.top() + (content.height() - is.height()) / 2);
        } else if (tb->toolButtonStyle == Qt::ToolButtonTextUnderIcon) {
            pos = QPoint(content.left() + (content.width() - is.width()) / 2, content.top());
            textRect.setTop(content.top() + is.height() + 1);
        } else {
            pos = QPoint(content.left(), content.top() + (content.height() - is.height()) / 2);
            textRect.setLeft(content.left() + is.width() + 3);
        }
        glyph(p, tb->icon, is, pos, enabled, hot, checked, false, hotFill, s);
    }
    if (showText) {
        p->setFont(tb->font);
        p->setPen(enabled ? tb->palette.color(QPalette::ButtonText) : col(s.disabledText));
        const int align = showIcon && tb->toolButtonStyle != Qt::ToolButtonTextUnderIcon ? Qt::AlignLeft | Qt::AlignVCenter
                                                                                         : Qt::AlignCenter;
        p->drawText(textRect, align | Qt::TextShowMnemonic | Qt::TextSingleLine, tb->text);
    }
    p->restore();
}

void TXPLookStyle::speedButton(const QStyleOptionComplex *option, QPainter *p, const QWidget *w) const
{
    auto *tb = qstyleoption_cast<const QStyleOptionToolButton *>(option);
    if (!tb || (w && !w->isVisible())) {
        QProxyStyle::drawComplexControl(CC_ToolButton, option, p, w);
        return;
    }
    const TXPScheme s = look_->Scheme();
    const TControlSubClass *sub = look_->SubClassOf(w);
    const bool highlighted = sub && sub->Highlighted;
    const bool pressed = (sub && sub->MouseDown && highlighted) || (tb->state & State_Sunken);
    const bool down = tb->state & (State_On | State_Sunken);
    QRgb fill = s.iconBack, frame = sys(clBtnShadow);
    if (down) {
        fill = highlighted ? s.pressedFill : s.checkedFill;
        if (highlighted)
            frame = s.selectFrame;
    } else if (highlighted) {
        fill = s.selectFill;
        frame = s.selectFrame;
    }
    const QRect r = tb->rect;
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->fillRect(r, col(fill));
    frameRect(p, r, XPLighten(frame, 30, look_->Depth()));
    if (pressed && (tb->state & State_Enabled)) {
        p->setPen(col(XPDarken(frame, 50)));
        p->drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
        p->drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
    }
    p->restore();
    QStyleOptionToolButton label(*tb);
    label.rect = r.adjusted(2, 2, -2, -2);
    label.state &= ~(State_Sunken | State_On | State_MouseOver);
    QProxyStyle::drawControl(CE_ToolButtonLabel, &label, p, w);
}

// ---- Controls ------------------------------------------------------------------

void TXPLookStyle::pushButton(const QStyleOption *option, QPainter *p, const QWidget *w) const
{
    const TXPScheme s = look_->Scheme();
    const int depth = look_->Depth();
    const TControlSubClass *sub = look_->SubClassOf(w);
    const bool highlighted = sub && sub->Highlighted;
    const bool spaceDown = sub && sub->SpaceDown;
    const bool focused = sub ? sub->Focused : bool(option->state & State_HasFocus);
    const bool enabled = option->state & State_Enabled;
    const QRgb face = sys(clBtnFace);
    const QRgb normalLine = XPLighten(sys(clBtnShadow), 30, depth);
    const QRgb hotLine = XPLighten(XPLighten(s.selectFrame, 60, depth), 30, depth);
    QRgb fill = s.iconBack, line = normalLine;
    if (enabled && (highlighted || spaceDown)) {
        fill = XPLighten(face, 60, depth);
        line = hotLine;
    } else if (enabled && focused) {
        line = hotLine;
    }
    const QRect r = option->rect;
    const QRect o = r.adjusted(0, 0, -1, -1);
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    // Cleared: the parent's background is beneath already unless the
    // button fills its own.
    if (w && w->autoFillBackground())
        p->fillRect(r, col(parentColor(w)));
    p->setPen(col(line));
    p->setBrush(col(fill));
    p->drawRoundedRect(o, 2, 2);
    if (enabled) {
        const bool pressed = (sub && sub->MouseDown && highlighted) || spaceDown || (option->state & State_Sunken);
        p->setPen(col(XPDarken(line, 50)));
        if (pressed) {
            p->drawLine(o.left() + 1, o.top() + 2, o.left() + 1, o.bottom() - 2);
            p->drawLine(o.left() + 2, o.top() + 1, o.right() - 2, o.top() + 1);
        } else {
            p->drawLine(o.right() - 1, o.top() + 2, o.right() - 1, o.bottom() - 2);
            p->drawLine(o.left() + 2, o.bottom() - 1, o.right() - 2, o.bottom() - 1);
        }
    }
    p->restore();
}

void TXPLookStyle::editFrame(const QRect &r, QPainter *p, const QWidget *w, bool single) const
{
    const TXPScheme s = look_->Scheme();
    const TControlSubClass *sub = look_->SubClassOf(w);
    const bool active = sub && (sub->Highlighted || sub->Focused);
    const QRgb parent = parentColor(w);
    QRgb c;
    if (active)
        c = XPLighten(s.selectFrame, single ? 60 : 80, look_->Depth());
    else
        c = single ? XPDarken(parent, 60) : parent;
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    frameRect(p, r, c);
    p->restore();
}

void TXPLookStyle::checkIndicator(const QStyleOption *option, QPainter *p, const QWidget *w, bool radio) const
{
    const TXPScheme s = look_->Scheme();
    const TControlSubClass *sub = look_->SubClassOf(w);
    const bool active = sub && (sub->Highlighted || sub->Focused);
    const bool pressed = sub && (sub->MouseDown || sub->SpaceDown);
    const bool enabled = option->state & State_Enabled;
    QRgb fill = active ? s.selectFill : sys(clWindow);
    const QRgb outline = active ? s.selectFrame : sys(clBtnShadow);
    if (pressed)
        fill = s.pressedFill;
    const QRect box = option->rect.adjusted(0, 0, -1, -1);
    p->save();
    p->setPen(col(outline));
    p->setBrush(col(fill));
    if (radio) {
        p->setRenderHint(QPainter::Antialiasing, true);
        p->drawEllipse(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
        if (option->state & State_On) {
            p->setPen(Qt::NoPen);
            p->setBrush(col(enabled ? sys(clHighlight) : s.disabledText));
            const QPointF c = QRectF(box).center();
            p->drawEllipse(c, box.width() / 5.0, box.height() / 5.0);
        }
    } else {
        p->setRenderHint(QPainter::Antialiasing, false);
        p->drawRect(box);
        QRgb mark = 0;
        bool show = true;
        if (!enabled)
            mark = s.disabledText;
        else if (pressed)
            mark = sys(clWindow);
        else if (option->state & State_NoChange)
            mark = qRgb(0x80, 0x80, 0x80);
        else
            mark = sys(clHighlight);
        if (!(option->state & (State_On | State_NoChange)))
            show = false;
        if (show)
            checkFigure(p, box.left(), box.top() + 10, mark);
    }
    p->restore();
}

void TXPLookStyle::comboBox(const QStyleOptionComplex *option, QPainter *p, const QWidget *w) const
{
    const TXPScheme s = look_->Scheme();
    const TControlSubClass *sub = look_->SubClassOf(w);
    const bool active = sub && (sub->Highlighted || sub->Focused);
    const bool pressed = (option->state & State_Sunken) || (sub && sub->MouseDown);
    const QRgb controlColor = option->palette.color(QPalette::Base).rgb();
    const QRgb frame = active ? s.selectFrame : controlColor;
    QRgb button = active ? s.selectFill : sys(clBtnFace);
    if (pressed)
        button = s.pressedFill;
    const QRect r = option->rect;
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->fillRect(r, option->palette.brush(QPalette::Base));
    const int bw = 16;
    const QRect b(r.right() - bw, r.top() + 1, bw, r.height() - 2);
    p->fillRect(b, col(button));
    if (active) {
        p->setPen(col(frame));
        p->drawLine(b.left() - 1, b.top(), b.left() - 1, b.bottom());
    }
    frameRect(p, r, frame);
    const int x = b.left() + (b.width() - 5) / 2;
    arrowFigure(p, x, r.top() + std::min(10, std::max(1, (r.height() - 3) / 2)),
                (option->state & State_Enabled) ? qRgb(0, 0, 0) : s.disabledText);
    p->restore();
}

void TXPLookStyle::groupBox(const QStyleOptionComplex *option, QPainter *p, const QWidget *w) const
{
    auto *gb = qstyleoption_cast<const QStyleOptionGroupBox *>(option);
    if (!gb) {
        QProxyStyle::drawComplexControl(CC_GroupBox, option, p, w);
        return;
    }
    const QRgb parent = parentColor(w);
    const bool flat = gb->features & QStyleOptionFrame::Flat;
    const QRgb line = flat ? XPDarken(parent, 60) : XPLighten(parent, 60, look_->Depth());
    const QRect frame = subControlRect(CC_GroupBox, gb, SC_GroupBoxFrame, w);
    QRect label = subControlRect(CC_GroupBox, gb, SC_GroupBoxLabel, w);
    QRect check;
    if (gb->subControls & SC_GroupBoxCheckBox)
        check = subControlRect(CC_GroupBox, gb, SC_GroupBoxCheckBox, w);
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    // The frame breaks behind the caption, which stands on what is beneath.
    const QRect gap = (check.isValid() ? label.united(check) : label).adjusted(-2, 0, 2, 0);
    p->setClipRegion(QRegion(gb->rect).subtracted(QRegion(gap)));
    frameRect(p, frame, line);
    p->restore();
    if (!gb->text.isEmpty())
        drawItemText(p, label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, gb->palette,
                     gb->state & State_Enabled, gb->text, QPalette::WindowText);
    if (check.isValid()) {
        QStyleOptionButton box;
        box.QStyleOption::operator=(*gb);
        box.rect = check;
        proxy()->drawPrimitive(PE_IndicatorCheckBox, &box, p, w);
    }
}

void TXPLookStyle::panelFrame(const QStyleOption *option, QPainter *p, const QWidget *w) const
{
    auto *f = qstyleoption_cast<const QStyleOptionFrame *>(option);
    if (!f || f->frameShape == QFrame::NoFrame || f->frameShape == QFrame::HLine || f->frameShape == QFrame::VLine) {
        QProxyStyle::drawControl(CE_ShapedFrame, option, p, w);
        return;
    }
    const QRgb c = (w ? w->palette() : option->palette).color(QPalette::Window).rgb();
    const QRgb light = XPLighten(c, 60, look_->Depth()), dark = XPDarken(c, 60);
    const QRect r = option->rect.adjusted(0, 0, -1, -1);
    QRgb topLeft = light, bottomRight = dark;
    if (f->state & State_Sunken)
        std::swap(topLeft, bottomRight);
    else if (!(f->state & State_Raised))
        topLeft = bottomRight = dark;
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(col(topLeft));
    p->drawLine(r.topLeft(), r.topRight());
    p->drawLine(r.topLeft(), r.bottomLeft());
    p->setPen(col(bottomRight));
    p->drawLine(r.bottomLeft(), r.bottomRight());
    p->drawLine(r.topRight(), r.bottomRight());
    p->restore();
}

} // namespace zk
