#pragma once
// A read-only line whose text changes often, such as the fields that follow
// the mouse pointer from window to window. QLineEdit repaints its whole
// rectangle on every change of its text, frame included, and the frame (an
// antialiased rounded outline in the common styles) costs several times as
// much as the text. The frame does not depend on the text, so ShowText
// repaints only the area the text is drawn in; what the field shows is the
// same as after setText.
#include <QLineEdit>
#include <QRect>
#include <QString>
#include <QStyle>

namespace zk {

class TInfoField : public QLineEdit
{
    Q_OBJECT

public:
    explicit TInfoField(QWidget *parent = nullptr);

    // Shows text like setText, repainting only the text's area; nothing at
    // all when the field shows that text already.
    void ShowText(const QString &text);
    // The area the style draws the text in, inside the frame.
    QRect TextArea() const;
};

// The fields' style: the application's style in every respect, answered by
// it, except that a field's panel behind a repaint of its text area alone is
// copied from a picture of that panel the application's style drew once.
// Only the pixels the style draws the same over any background are copied
// (the text area lies inside the frame's antialiased edge); any other
// repaint, or a painter it cannot tell about, is drawn by the style itself.
class TFieldStyle : public QStyle
{
    Q_OBJECT

public:
    // The one instance the fields share; it lives as long as the application.
    static TFieldStyle *Instance();

    void polish(QWidget *widget) override;
    void unpolish(QWidget *widget) override;
    void polish(QApplication *application) override;
    void unpolish(QApplication *application) override;
    void polish(QPalette &palette) override;
    QRect itemTextRect(const QFontMetrics &fm, const QRect &r, int flags, bool enabled,
                       const QString &text) const override;
    QRect itemPixmapRect(const QRect &r, int flags, const QPixmap &pixmap) const override;
    void drawItemText(QPainter *painter, const QRect &rect, int flags, const QPalette &pal, bool enabled,
                      const QString &text, QPalette::ColorRole textRole = QPalette::NoRole) const override;
    void drawItemPixmap(QPainter *painter, const QRect &rect, int alignment, const QPixmap &pixmap) const override;
    QPalette standardPalette() const override;
    void drawPrimitive(PrimitiveElement pe, const QStyleOption *opt, QPainter *p,
                       const QWidget *w = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *opt, QPainter *p,
                     const QWidget *w = nullptr) const override;
    QRect subElementRect(SubElement subElement, const QStyleOption *option,
                         const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl cc, const QStyleOptionComplex *opt, QPainter *p,
                            const QWidget *widget = nullptr) const override;
    SubControl hitTestComplexControl(ComplexControl cc, const QStyleOptionComplex *opt, const QPoint &pt,
                                     const QWidget *widget = nullptr) const override;
    QRect subControlRect(ComplexControl cc, const QStyleOptionComplex *opt, SubControl sc,
                         const QWidget *widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;
    QSize sizeFromContents(ContentsType ct, const QStyleOption *opt, const QSize &contentsSize,
                           const QWidget *w = nullptr) const override;
    int styleHint(StyleHint stylehint, const QStyleOption *opt = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
    QPixmap standardPixmap(StandardPixmap standardPixmap, const QStyleOption *opt = nullptr,
                           const QWidget *widget = nullptr) const override;
    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
    QPixmap generatedIconPixmap(QIcon::Mode iconMode, const QPixmap &pixmap,
                                const QStyleOption *opt) const override;
    int layoutSpacing(QSizePolicy::ControlType control1, QSizePolicy::ControlType control2,
                      Qt::Orientation orientation, const QStyleOption *option = nullptr,
                      const QWidget *widget = nullptr) const override;

private:
    TFieldStyle() = default;
    bool copyPanel(const QStyleOption *opt, QPainter *p, const QWidget *w) const;
};

} // namespace zk
