#pragma once
// Windows icon files (.ico): the directory, the entries and our choice among
// them. TIcon (Icon.h) holds the result; these functions work on QImages.
// Damage raises EInvalidGraphic; pictures over TBitmap::MaxPixels() are
// refused before anything is allocated.
#include "Graphic.h"

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <vector>

namespace zk {

// Decodes a PNG-compressed icon entry (any QImage format); raises
// EInvalidGraphic on damage. The PNG codec installs one when it registers;
// until then such entries are passed over for the next best one.
using IconPngDecoder = QImage (*)(const QByteArray &png);
void SetIconPngDecoder(IconPngDecoder decoder);
IconPngDecoder GetIconPngDecoder();

// Encodes an ARGB32 picture as a PNG file with its alpha, for icon entries
// larger than 256 pixels a side (their directory bytes cannot hold the
// size, and other readers take it from the PNG). The PNG codec installs one
// when it registers.
using IconPngEncoder = QByteArray (*)(const QImage &argb);
void SetIconPngEncoder(IconPngEncoder encoder);
IconPngEncoder GetIconPngEncoder();

struct IconEntry {
    int width = 0;     // from the entry's own header, not the directory bytes
    int height = 0;
    int bitCount = 0;
    bool png = false;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// The directory, each entry checked to lie inside the file.
std::vector<IconEntry> IconListEntries(const QByteArray &file);

// Index into IconListEntries of the entry a user expects to see: the largest
// picture, among equals the deepest. PNG entries count only while a PNG
// decoder is installed. -1 when nothing can be shown.
int IconChooseEntry(const std::vector<IconEntry> &entries);

// The chosen entry as ARGB32 (transparent where the mask says so).
QImage IconDecode(const QByteArray &file, int *chosen = nullptr);
// One entry of IconListEntries(file) as ARGB32.
QImage IconDecodeEntry(const QByteArray &file, const std::vector<IconEntry> &entries, int index);

// One 32-bit entry with its AND mask (set where alpha is 0). A picture wider
// or taller than 256 pixels becomes one PNG-compressed entry instead, while
// a PNG encoder is installed.
QByteArray IconEncode(const QImage &image);

} // namespace zk
