#pragma once
// What the main window remembers about its nine tool bars, without a window:
// the table of bars, the visibility flags under "GUI", the stored default
// positions ("DefToolBarPos") and the picture-tool values under
// "GUI\PicEditPal"; plus the fixed groups of commands that are switched
// together while the program is idle.
#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace zk {

constexpr int kPaletteCount = 9;

struct TPaletteRow
{
    int tag;
    const char *toolBar;   // object name of the bar
    const char *menuItem;  // its check item in the tool-bar menu
    const char *flagValue; // visibility flag under "GUI"
    bool defaultOn;
};

// Tags 0..8 in order.
const std::array<TPaletteRow, kPaletteCount> &PaletteTable();

// The ten flags as they are read ("StdPal" ... "ViewPal", then "ColView")
// and as they are written ("ColView" stands before "XtrasPal").
const QStringList &PaletteFlagReadOrder();
const QStringList &PaletteFlagWriteOrder();

struct TPaletteFlags
{
    std::array<bool, kPaletteCount> bars{};
    bool colView = false;
};

TPaletteFlags DefaultPaletteFlags();

// All ten flags from the key; nothing when the key, any value, or a value of
// another type than an integer is missing (the caller then uses the defaults).
std::optional<TPaletteFlags> ReadPaletteFlagsFrom(const QString &key);
// Writes the ten flags in their write order (key created when missing).
// False when the store could not be written.
bool WritePaletteFlagsTo(const QString &key, const TPaletteFlags &flags);

// "DefToolBarPos": nine rectangles of Left, Top, Right, Bottom as
// little-endian signed 32-bit integers, right and bottom exclusive.
using TToolBarBounds = std::array<QRect, kPaletteCount>;
constexpr int kToolBarBoundsBytes = kPaletteCount * 4 * 4;
QByteArray EncodeToolBarBounds(const TToolBarBounds &bounds);
// Nothing for any other length than 144 bytes.
std::optional<TToolBarBounds> DecodeToolBarBounds(const QByteArray &data);
std::optional<TToolBarBounds> ReadToolBarBounds(const QString &key);
bool WriteToolBarBounds(const QString &key, const TToolBarBounds &bounds);

// "Antialiasing", "Scaling", "Marker" under "GUI\PicEditPal"; a missing or
// mistyped value keeps its default.
struct TPicEditPal
{
    std::uint8_t antialiasing = 1;
    std::uint8_t scaling = 1;
    std::uint8_t marker = 0;
};
TPicEditPal ReadPicEditPal(const QString &key);
bool WritePicEditPal(const QString &key, const TPicEditPal &values);

// The four groups the idle handler switches together.
enum class TCommandGroup { File, Edit, Cursor, View };
const QStringList &CommandGroup(TCommandGroup group);

} // namespace zk
