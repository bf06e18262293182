#pragma once
// The rules of the marks on the picture, without a window: the marker's
// colour pairs and widths, the number marks' colours, circle and text
// position, the number dialog's stored settings, and the table of the twenty
// pointers the stamp copies. The main window's handlers (edit/MainFormMarks.cpp)
// keep only the arming and the drawing.
#include "Colors.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

namespace zk {

// --- marker ----------------------------------------------------------------
constexpr int kMarkerEntries = 12;
// Entry 0..11: colour pair entry / 2 (red, blue, black, yellow, green,
// silver); even entries are thin, odd ones fat.
TColor MarkerColor(int entry);
int MarkerPenWidth(int entry); // 5 thin, 10 fat
// The menu item's names ("RotDuenn" ... "SilberFett") and the button image
// each entry gives the tool button.
QString MarkerItemName(int entry);
QString MarkerIconName(int entry); // "marker-red-thin" ...
// The colour bar an item shows: thin entries narrowed 4 pixels at the top
// and 8 at the bottom.
QRect MarkerItemBar(const QRect &item, int entry);

// --- number marks ----------------------------------------------------------
constexpr int kNumberColors = 12;
// Colour index 0..11 of the dialog's colour boxes; 12 or more is white for
// the fill and black for the rim.
TColor NumberMarkColor(int index, bool rim);
// The circle of a mark placed at p: (p.x + 3, p.y + 3) to (p.x + 28, p.y + 28).
QRect NumberCircle(const QPoint &p);
// Where the number's text starts in that circle: 9, 6 or 3 pixels in for one,
// two or three digits, 6 down. A text that is no number goes 6 in.
QPoint NumberTextOrigin(const QRect &circle, const QString &text);
// "<placed>. Nummerierungsmarke von <span + 1> an: x=<x>, y=<y>" with the
// template's %1 .. %4 in the program's language.
QString NumberHintText(const QString &pattern, int placed, int span, int x, int y);

struct TNumberSettings
{
    int From = 1;       // 1..999
    int To = 1;         // From..999
    int Fill = 0;       // colour box item
    int Rim = 2;        // colour box item
    // Width box item 0..5 ("1" .. "6"); it is also the rim's pen width, so
    // item "1" draws with width 0 (one pixel) and "6" with width 5.
    int RimItem = 2;
    bool Hint = false;
    // A "bis" below "von" is raised to "von"; out-of-range values are limited.
    void Normalize();
};

constexpr const char *kNumKindKey = "Software\\Tarvendo\\Zelkora\\5.0\\GUI\\NumKindBMForm";
// The stored settings; nullopt when the key is missing. Throws
// ERegistryException when a value cannot be read.
std::optional<TNumberSettings> LoadNumberSettings();
void SaveNumberSettings(const TNumberSettings &s);

// --- pointer stamp ---------------------------------------------------------
constexpr int kPointerCount = 20;
constexpr int kPointerChooseTag = 100;
// The Qt shape standing in for pointer 1..20; nullopt for any other index.
std::optional<Qt::CursorShape> PointerShape(int index);
// The menu item named after pointer 1..20 ("DefaultMenuItem" ...).
QString PointerItemName(int index);
// The test dialog's list: "Default (1)" ... "VSplit (20)".
QStringList PointerListEntries();

} // namespace zk
