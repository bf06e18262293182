#pragma once
// The painting side of the flat look: a proxy style over the program's
// application style that reads its look's settings before every paint and
// draws only for the widgets the look has hooked; everything else, tool tips
// and standard icons included, goes to the style below.
#include <QCache>
#include <QPixmap>
#include <QProxyStyle>

namespace zk {

class TXPLook;
struct TXPScheme;

class TXPLookStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // Takes the base style over.
    TXPLookStyle(TXPLook *look, QStyle *base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;

private:
    std::uint16_t as(const QWidget *w) const;
    bool menuItem(const QStyleOption *option, QPainter *p, const QWidget *w) const;
    void menuBarItem(const QStyleOption *option, QPainter *p, const QWidget *w) const;
    void barItemLook(QPainter *p, const QRect &r, QRgb base, const TXPScheme &s, bool shadow) const;
    void toolButton(const QStyleOptionComplex *option, QPainter *p, const QWidget *w) const;
    void speedButton(const QStyleOptionComplex *option, QPainter *p, const QWidget *w) const;
    void pushButton(const QStyleOption *option, QPainter *p, const QWidget *w) const;
    void comboBox(const QStyleOptionComplex *option, QPainter *p, const QWidget *w) const;
    void groupBox(const QStyleOptionComplex *option, QPainter *p, const QWidget *w) const;
    void editFrame(const QRect &r, QPainter *p, const QWidget *w, bool single) const;
    void checkIndicator(const QStyleOption *option, QPainter *p, const QWidget *w, bool radio) const;
    void panelFrame(const QStyleOption *option, QPainter *p, const QWidget *w) const;
    void controlBarBand(const QStyleOption *option, QPainter *p, const QWidget *w) const;
    void grabber(const QStyleOption *option, QPainter *p, const QWidget *w) const;
    // A glyph by the glyph rules at pos: faded, disabled or lifted with its
    // shadow; shadowBase is the fill the lifted glyph's shadow darkens.
    void glyph(QPainter *p, const QIcon &icon, QSize size, QPoint pos, bool enabled, bool selected, bool checked,
               bool onBar, QRgb shadowBase, const TXPScheme &s) const;
    QPixmap effect(const QPixmap &src, int kind, QRgb color, int level, int depth) const;

    TXPLook *look_;
    mutable QCache<QString, QPixmap> glyphs_{256};
};

} // namespace zk
