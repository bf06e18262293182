#pragma once
// Colours as the settings and the language file store them: 0x00BBGGRR
// values, or system colours as 0x80000000 plus the index of the system colour
// (negative as a signed 32-bit number). One table converts both to QColor.
#include <QColor>
#include <QString>
#include <cstdint>

namespace zk {

using TColor = std::int32_t;

constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor RGBToTColor(int r, int g, int b) { return (b << 16) | (g << 8) | r; }

// The named colours of the class library.
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clLtGray = 0xC0C0C0,
                 clDkGray = 0x808080, clWhite = 0xFFFFFF, clMoneyGreen = 0xC0DCC0,
                 clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF, clMedGray = 0xA4A0A0;

// System colours: clSystemColor + the index of the system colour.
constexpr TColor SystemColor(int index) { return clSystemColor | index; }
constexpr TColor clScrollBar = SystemColor(0), clBackground = SystemColor(1),
                 clActiveCaption = SystemColor(2), clInactiveCaption = SystemColor(3),
                 clMenu = SystemColor(4), clWindow = SystemColor(5), clWindowFrame = SystemColor(6),
                 clMenuText = SystemColor(7), clWindowText = SystemColor(8),
                 clCaptionText = SystemColor(9), clActiveBorder = SystemColor(10),
                 clInactiveBorder = SystemColor(11), clAppWorkSpace = SystemColor(12),
                 clHighlight = SystemColor(13), clHighlightText = SystemColor(14),
                 clBtnFace = SystemColor(15), clBtnShadow = SystemColor(16),
                 clGrayText = SystemColor(17), clBtnText = SystemColor(18),
                 clInactiveCaptionText = SystemColor(19), clBtnHighlight = SystemColor(20),
                 cl3DDkShadow = SystemColor(21), cl3DLight = SystemColor(22),
                 clInfoText = SystemColor(23), clInfoBk = SystemColor(24),
                 clHotLight = SystemColor(26), clGradientActiveCaption = SystemColor(27),
                 clGradientInactiveCaption = SystemColor(28), clMenuHighlight = SystemColor(29),
                 clMenuBar = SystemColor(30);

// System colours map onto the palette of the running application; clNone
// and clDefault give an invalid QColor (the caller decides what they mean).
QColor TColorToQColor(TColor c);
TColor QColorToTColor(const QColor &c); // always a plain 0x00BBGGRR value

// Names as the language file writes them: "clRed", "clBtnFace" (without
// case), "$00FF8000" hexadecimal, or a decimal number. False when unknown.
bool ColorFromName(const QString &name, TColor *out);
QString ColorToName(TColor c); // the cl name when there is one, else "$00BBGGRR"

} // namespace zk
