#pragma once
// The picture edit commands without their window: the undo snapshot, the
// three kinds of scaling, border, footnote, tiling and the whole-picture
// smoothing. The main window's handlers read their dialogs, call these and
// repaint; everything here works on bitmaps only and needs no display.
//
// Opaque pictures stay opaque: everything that reaches 32 bits goes through
// pf32bit (QImage::Format_RGB32), never through a format with alpha.
#include "Bitmap.h"
#include "Colors.h"
#include "Graphic.h"

#include <QPoint>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace zk {

// A command that cannot be carried out (a size of 0, a picture too large to
// allocate). The picture is unchanged when it is raised; message() is for
// the user.
class EEditCommandError : public std::runtime_error
{
public:
    explicit EEditCommandError(const QString &message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

// A tile picture without pixels: tiling with it would never end a row.
class EEmptyTileError : public EEditCommandError
{
public:
    using EEditCommandError::EEditCommandError;
};

// ---------------------------------------------------------------------------
// Kinds chosen in the drop-down menus of the tool buttons

// ScaleKind: what the scale tool button repeats.
constexpr std::uint8_t skByValue = 0;
constexpr std::uint8_t skPersistent = 1;
constexpr std::uint8_t skTemporary = 2;
// SmoothKind: what the smoothing tool button runs.
constexpr std::uint8_t smStandard = 0;
constexpr std::uint8_t smUserDefined = 1;

// The kind a menu item of the given Tag selects; tags outside 0..2 keep the
// current kind.
std::uint8_t ScaleKindForTag(std::uint8_t current, int tag);
// Tag 0 standard, 1 user-defined; anything else keeps the current kind.
std::uint8_t SmoothKindForTag(std::uint8_t current, int tag);

// ---------------------------------------------------------------------------
// Text colours of the text tool and the footnote

// Index 0..11 to a colour value (red in the low byte); any other index black.
TColor TextPenColor(int index);

// ---------------------------------------------------------------------------
// Undo

enum class TSnapshotResult {
    NoGraphic, // the picture is empty: nothing taken, Undo keeps its state
    Taken,     // the snapshot holds the picture
    Failed,    // copying failed: the snapshot is emptied, Undo must be disabled
};

// The bitmap of the picture, converting another graphic (JPEG, PNG, icon,
// metafile) into a bitmap of the same look first instead of discarding it.
TBitmap &EditableBitmap(TPicture &picture);

// Takes a copy of the picture (as a bitmap) into undo.
TSnapshotResult TakeSnapshot(const TPicture &picture, TBitmap &undo);
// The picture becomes a copy of the snapshot.
void RestoreSnapshot(TPicture &picture, const TBitmap &undo);

// ---------------------------------------------------------------------------
// Scaling

// Slider position -4..4 of the scale dialog to its factor: 1..4 give 2..5,
// -1..-4 give -2..-5 (a reduction), 0 gives 0 (no change). Positions outside
// the slider's range are taken at the nearest end.
int ScaleFactorForPosition(int position);
// The size a factor gives: f > 0 multiplies, f < 0 divides (rounded down,
// at least 1 pixel), 0 keeps the size.
QSize ScaledSize(const QSize &size, int factor);

// Scales the bitmap by the factor, keeping its pixel format (palette
// pictures take their nearest palette colours). Enlarging repeats pixels so
// edges stay sharp; reducing averages the pixels it merges. False for factor
// 0 (nothing changes). EEditCommandError when the result would be too large;
// the bitmap is then unchanged.
bool PersistentScaleBitmap(TBitmap &bitmap, int factor);

// Stretches the whole bitmap to width x height with smoothing (scale by
// value). EEditCommandError for a width or height below 1, or a result too
// large; the bitmap is then unchanged.
void StretchBitmap(TBitmap &bitmap, int width, int height);

// Maxima of the view-scale dialog: the dialog's own limits, raised to the
// picture's size so that confirming the preset never shrinks the view.
QSize ViewScaleMaxima(const QSize &pictureSize);
// Maxima of the scale-by-value dialog: the screen, raised to the picture.
QSize NewSizeMaxima(const QSize &screenSize, const QSize &pictureSize);

// ---------------------------------------------------------------------------
// Border and footnote

// Surrounds the picture with strips of the given widths in the colour:
// the old picture ends up at (left, top) of a picture left + right wider and
// top + bottom higher. clDefault keeps the fill white (the canvas default).
// EEditCommandError when the result would be too large (bitmap unchanged).
void DrawBorder(TBitmap &bitmap, int left, int top, TColor color, int bottom, int right);

constexpr int FootnoteRows = 25;
// Appends FootnoteRows white rows below the picture.
void AddFootnoteRows(TBitmap &bitmap);
// Takes them away again (never below one row).
void RemoveFootnoteRows(TBitmap &bitmap);
// Where the text's top-left corner goes in a picture of the given height.
QPoint FootnoteTextOrigin(int bitmapHeight, int penWidth);
// Writes one line of text at FootnoteTextOrigin in the font (size in points,
// 96 dpi) and the text colour of colorIndex.
void DrawFootnoteText(TBitmap &bitmap, const QString &text, const QString &fontName,
                      int penWidth, int colorIndex);

// ---------------------------------------------------------------------------
// Tiling

constexpr int MinTileTargetSize = 1;
constexpr int MaxTileTargetSize = 32767;

// A size typed into the tiling input boxes: the number limited to
// 1..32767, or nothing with the reason in *error when the text is no integer.
std::optional<int> ParseTileTargetSize(const QString &text, QString *error);

// Makes bitmap a new 24-bit picture of width x height (limited to
// 1..32767) covered with copies of the BMP file from the top-left corner.
// Returns the number of copies. A file that cannot be read raises
// EGraphicError, a tile without pixels EEmptyTileError; the bitmap is then
// unchanged.
int TileFileOver(const QString &fileName, TBitmap &bitmap, int width, int height);

// ---------------------------------------------------------------------------
// Whole-picture smoothing

// The fixed smoothing over the picture's own rectangle (0, 0, width, height).
void SmoothWholeBitmap(TBitmap &bitmap);
// The user-defined smoothing (soft edges) over the whole picture.
void SoftenWholeBitmap(TBitmap &bitmap, int amount);

} // namespace zk
