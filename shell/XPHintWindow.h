#pragma once
// The look of every tool tip in the program: the tip's panel with a
// one-pixel etched frame in one colour. The drop shadow is the compositor's
// business on X11. Installed once on the application as its style, wrapping
// whatever style the desktop chose.
#include <QProxyStyle>

#include <map>
#include <utility>

namespace zk {

class TXPHintWindow : public QProxyStyle
{
    Q_OBJECT

public:
    TXPHintWindow();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    // The tool-tip pauses of the application's properties.
    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
    // Made when first drawn: the icon theme is read only for icons shown.
    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;

    // Makes it the application's style unless it already is.
    static void Install();

private:
    // The docked windows' title buttons, by button and layout direction.
    mutable std::map<std::pair<int, int>, QIcon> m_titleButtons;
};

} // namespace zk
