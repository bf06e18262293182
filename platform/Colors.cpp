#include "Colors.h"

#include <QGuiApplication>
#include <QPalette>
#include <array>

namespace zk {

namespace {

struct NamedColor
{
    TColor value;
    const char *name;
};

// One table for both directions. Where two names share a value, the first
// one is the name ColorToName gives.
constexpr NamedColor kNames[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clLtGray, "clLtGray"},
    {clDkGray, "clDkGray"},
    {clActiveBorder, "clActiveBorder"},
    {clActiveCaption, "clActiveCaption"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clBackground, "clBackground"},
    {clBtnFace, "clBtnFace"},
    {clBtnHighlight, "clBtnHighlight"},
    {clBtnShadow, "clBtnShadow"},
    {clBtnText, "clBtnText"},
    {clCaptionText, "clCaptionText"},
    {clDefault, "clDefault"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clGrayText, "clGrayText"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clHotLight, "clHotLight"},
    {clInactiveBorder, "clInactiveBorder"},
    {clInactiveCaption, "clInactiveCaption"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clInfoBk, "clInfoBk"},
    {clInfoText, "clInfoText"},
    {clMenu, "clMenu"},
    {clMenuBar, "clMenuBar"},
    {clMenuHighlight, "clMenuHighlight"},
    {clMenuText, "clMenuText"},
    {clNone, "clNone"},
    {clScrollBar, "clScrollBar"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clWindowText, "clWindowText"},
};

// The program's own colour names, registered beside the class library's.
// By name they come first ("clSkyBlue" is 0x00FFC800 here); a value not in
// this table keeps its class-library name.
constexpr NamedColor kExtraNames[] = {
    {static_cast<TColor>(0x8000001Au), "clHotLight"},
    {static_cast<TColor>(0x8000001Bu), "clGradientActiveCaption"},
    {static_cast<TColor>(0x8000001Cu), "clGradientInactiveCaption"},
    {0x00003090, "clBrown"},
    {0x00003030, "clOliveGreen"},
    {0x00003000, "clDarkGreen"},
    {0x00603000, "clDarkTeal"},
    {0x00903030, "clIndigo"},
    {0x00303030, "clNight"},
    {0x000068FF, "clOrange"},
    {0x00906060, "clBlueGray"},
    {0x000098FF, "clLightOrange"},
    {0x00609830, "clSeaGreen"},
    {0x0000C8FF, "clGold"},
    {0x00FFC800, "clSkyBlue"},
    {0x00603090, "clPlum"},
    {0x00D098FF, "clRose"},
    {0x00A0C8FF, "clTan"},
    {0x0090FFFF, "clLightYellow"},
    {0x00D0FFD0, "clLightGreen"},
    {0x00FFFFC0, "clLightTurquoise"},
    {0x00FFC890, "clPaleBlue"},
    {0x00FF98C0, "clLavender"},
    {0x00A6CAF0, "clCream"},
    {0x00C0DCC0, "clMoneyGreen"},
    {0x00FF6830, "clLightBlue"},
    {0x00909090, "clMetal"},
};

struct SystemRole
{
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
    int lighter; // percent for QColor::lighter, 100 = as is
};

// System colour index -> the application palette's role that plays the same
// part on a Qt desktop. Index 25 has no system colour; it reads as the window.
constexpr std::array<SystemRole, 31> kSystemRoles = {{
    {QPalette::Active, QPalette::Button, 100},            // 0 scroll bar
    {QPalette::Active, QPalette::Dark, 100},              // 1 desktop background
    {QPalette::Active, QPalette::Highlight, 100},         // 2 active caption
    {QPalette::Inactive, QPalette::Mid, 100},             // 3 inactive caption
    {QPalette::Active, QPalette::Window, 100},            // 4 menu
    {QPalette::Active, QPalette::Base, 100},              // 5 window
    {QPalette::Active, QPalette::Shadow, 100},            // 6 window frame
    {QPalette::Active, QPalette::WindowText, 100},        // 7 menu text
    {QPalette::Active, QPalette::Text, 100},              // 8 window text
    {QPalette::Active, QPalette::HighlightedText, 100},   // 9 caption text
    {QPalette::Active, QPalette::Window, 100},            // 10 active border
    {QPalette::Inactive, QPalette::Window, 100},          // 11 inactive border
    {QPalette::Active, QPalette::Dark, 100},              // 12 application work space
    {QPalette::Active, QPalette::Highlight, 100},         // 13 highlight
    {QPalette::Active, QPalette::HighlightedText, 100},   // 14 highlighted text
    {QPalette::Active, QPalette::Button, 100},            // 15 button face
    {QPalette::Active, QPalette::Dark, 100},              // 16 button shadow
    {QPalette::Disabled, QPalette::Text, 100},            // 17 grey text
    {QPalette::Active, QPalette::ButtonText, 100},        // 18 button text
    {QPalette::Inactive, QPalette::HighlightedText, 100}, // 19 inactive caption text
    {QPalette::Active, QPalette::Light, 100},             // 20 button highlight
    {QPalette::Active, QPalette::Shadow, 100},            // 21 3D dark shadow
    {QPalette::Active, QPalette::Midlight, 100},          // 22 3D light
    {QPalette::Active, QPalette::ToolTipText, 100},       // 23 info text
    {QPalette::Active, QPalette::ToolTipBase, 100},       // 24 info background
    {QPalette::Active, QPalette::Window, 100},            // 25 (none)
    {QPalette::Active, QPalette::Link, 100},              // 26 hot light
    {QPalette::Active, QPalette::Highlight, 150},         // 27 gradient, active caption
    {QPalette::Inactive, QPalette::Mid, 130},             // 28 gradient, inactive caption
    {QPalette::Active, QPalette::Highlight, 100},         // 29 menu highlight
    {QPalette::Active, QPalette::Window, 100},            // 30 menu bar
}};

QPalette applicationPalette()
{
    // QGuiApplication::palette() needs the application object; before it
    // exists (and in plain tools) Qt's default palette serves.
    return qGuiApp ? QGuiApplication::palette() : QPalette();
}

} // namespace

QColor TColorToQColor(TColor c)
{
    if (c == clNone || c == clDefault)
        return QColor();
    if (c & clSystemColor) {
        const int index = c & 0xFF;
        if ((c & 0x7FFFFF00) != 0 || index >= int(kSystemRoles.size()))
            return QColor(Qt::black);
        const SystemRole &r = kSystemRoles[std::size_t(index)];
        QColor q = applicationPalette().color(r.group, r.role);
        if (r.lighter != 100)
            q = q.lighter(r.lighter);
        q.setAlpha(255);
        return q;
    }
    // The high byte of a plain colour selects palette behaviour on the
    // original system; the colour itself is in the low three bytes.
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

TColor QColorToTColor(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return RGBToTColor(rgb.red(), rgb.green(), rgb.blue());
}

bool ColorFromName(const QString &name, TColor *out)
{
    const QString s = name.trimmed();
    if (s.isEmpty())
        return false;
    const auto byName = [&s, out](const auto &table) {
        for (const NamedColor &n : table) {
            if (s.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0) {
                if (out)
                    *out = n.value;
                return true;
            }
        }
        return false;
    };
    if (byName(kExtraNames) || byName(kNames))
        return true;
    bool ok = false;
    qint64 v = 0;
    if (s.startsWith(QLatin1Char('$')))
        v = s.mid(1).toLongLong(&ok, 16);
    else if (s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = s.mid(2).toLongLong(&ok, 16);
    else
        v = s.toLongLong(&ok, 10);
    // Hexadecimal is read as the 32 bits it spells ("$80000005" is a system
    // colour); decimal must fit a signed 32-bit number.
    if (!ok || v < -2147483648LL || v > 0xFFFFFFFFLL)
        return false;
    if (!s.startsWith(QLatin1Char('$')) && !s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) &&
        v > 2147483647LL)
        return false;
    if (out)
        *out = static_cast<TColor>(static_cast<std::uint32_t>(v & 0xFFFFFFFFLL));
    return true;
}

QString ColorToName(TColor c)
{
    for (const NamedColor &n : kExtraNames)
        if (n.value == c)
            return QLatin1String(n.name);
    for (const NamedColor &n : kNames)
        if (n.value == c)
            return QLatin1String(n.name);
    return QStringLiteral("$%1").arg(static_cast<std::uint32_t>(c), 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace zk
