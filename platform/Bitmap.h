#pragma once
// TBitmap: a picture that keeps the depth it was given (1, 4, 8, 15, 16, 24 or
// 32 bits per pixel) and, for 1/4/8 bits, a palette of up to 2^bits entries.
//
// Storage. The pixels live in one buffer of rows from the top row down, each
// row padded to a multiple of 4 bytes, in the layout of a device-independent
// bitmap row:
//   pf1bit  1 bit palette index a pixel, most significant bit first
//   pf4bit  4 bit index, high nibble first
//   pf8bit  one byte index
//   pf15bit 16 bit little-endian 0RRRRRGG GGGBBBBB (5-5-5)
//   pf16bit 16 bit little-endian RRRRRGGG GGGBBBBB (5-6-5)
//   pf24bit bytes B, G, R
//   pf32bit bytes B, G, R, X (X is 0xFF in everything this class produces;
//           it carries no transparency and is written to files as 0)
// ScanLine(row) points into that buffer; row 0 is the top row. For every depth
// but 4 bits the buffer is also a valid QImage of the matching format (Mono,
// Indexed8, RGB555, RGB16, BGR888, RGB32), which Canvas() and ToImage() use
// without copying; 4-bit pictures are expanded to Indexed8 when Qt needs them.
//
// Canvas. Canvas() returns a QPainter on the bitmap that must be destroyed
// before ScanLine, SetSize or SetPixelFormat are used again. 15/16/24/32-bit
// pictures are painted directly. Qt cannot paint on palette images, so for
// 1/4/8 bits the painter works on a 32-bit copy; when it is destroyed every
// pixel that changed is mapped to the nearest palette colour (pixels that did
// not change keep their index, even where the palette repeats a colour).
// The painter's resolution is 96 dpi, so fonts set in points have the same
// pixel size on every display.
//
// Limits. SetSize and every loader refuse a picture of more than MaxPixels()
// pixels (default 2^28) before allocating anything.
#include "Colors.h"
#include "Graphic.h"

#include <QImage>
#include <QPainter>
#include <QVector>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace zk {

// The class library's order: settings store these as numbers.
enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

enum TTransparentMode { tmAuto, tmFixed };

int BitsPerPixel(TPixelFormat pf); // 0 for pfDevice and pfCustom
// Bytes of one row padded to 'align' bytes (4 for DIB rows).
std::size_t BytesPerRow(int width, int bitsPerPixel, int align = 4);

class TBitmap;

// Memory for pixel rows. Buffers of a few megabytes are asked for in large
// pages where the system offers them: a picture's first pass then takes a
// handful of page faults instead of one per 4 KB, which otherwise costs more
// than the pass itself. Small ones come from the ordinary heap.
void *AllocatePixels(std::size_t bytes);
void FreePixels(void *p, std::size_t bytes) noexcept;

// Pixel rows are overwritten right after allocation, so the buffer leaves
// them uninitialised instead of zeroing megabytes first.
template <class T>
struct DefaultInitAllocator : std::allocator<T>
{
    template <class U>
    struct rebind
    {
        using other = DefaultInitAllocator<U>;
    };
    using std::allocator<T>::allocator;
    T *allocate(std::size_t n)
    {
        if (n > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T *>(AllocatePixels(n * sizeof(T)));
    }
    void deallocate(T *p, std::size_t n) noexcept { FreePixels(p, n * sizeof(T)); }
    template <class U>
    void construct(U *p)
    {
        ::new (static_cast<void *>(p)) U;
    }
    template <class U, class... Args>
    void construct(U *p, Args &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};
using PixelBuffer = std::vector<uchar, DefaultInitAllocator<uchar>>;

// A buffer for the rows of a width x height picture of depth pf (padded as
// BytesPerRow gives them), its bytes left uninitialised. A 24-bit picture
// whose 32-bit form is a large buffer is given room for that form behind its
// rows, so that the change to 32 bits (the invert asks for it first) widens
// it in place instead of writing a new buffer whose lines are cold in every
// cache. The room is no more than the rounding to whole large pages of the
// 32-bit form, and its pages stay untouched until a widening uses them.
PixelBuffer NewPixelRows(int width, int height, TPixelFormat pf);

// The painter that TBitmap::Canvas() returns; see the header comment.
class TCanvas : public QPainter
{
public:
    ~TCanvas(); // QPainter's destructor is not virtual: hold TCanvas by its own type
    TCanvas(const TCanvas &) = delete;
    TCanvas &operator=(const TCanvas &) = delete;

private:
    friend class TBitmap;
    explicit TCanvas(TBitmap &bitmap);
    TBitmap &m_bitmap;
    QImage m_target;   // what the painter draws on
    QImage m_original; // palette pictures: the 32-bit copy before drawing
};

class TBitmap : public TGraphic
{
public:
    TBitmap();
    TBitmap(int width, int height, TPixelFormat pf = pf24bit);
    TBitmap(const TBitmap &other);
    TBitmap &operator=(const TBitmap &other);
    // Moving hands the pixel buffer over without copying it (a converter that
    // passes a large picture along keeps one copy); the source is left empty.
    TBitmap(TBitmap &&other);
    TBitmap &operator=(TBitmap &&other);
    ~TBitmap() override;

    QString ClassName() const override { return QStringLiteral("TBitmap"); }
    std::unique_ptr<TGraphic> Clone() const override;

    // ---- size and depth
    bool Empty() const override { return m_width == 0 || m_height == 0; }
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    // Resizing keeps the pixels of the overlapping top-left area; new pixels
    // are 0 (palette index 0, or black). EInvalidGraphic over the limit.
    void SetWidth(int w) override;
    void SetHeight(int h) override;
    void SetSize(int w, int h);
    // Frees the pixels (width and height 0); keeps depth and palette.
    void Clear();

    // Never pfDevice or pfCustom: a new bitmap is pf24bit.
    TPixelFormat PixelFormat() const { return m_pf; }
    int BitsPerPixel() const;
    // Converts the pixels. To 1/4/8 bits: a palette that already fits is kept
    // (indices unchanged); otherwise the default palette of the depth
    // (black/white; the 16 VGA colours; a 6x6x6 cube plus 40 greys) and every
    // pixel takes its nearest colour. pfDevice means the screen's depth,
    // pf32bit. pfCustom raises EInvalidGraphicOperation.
    void SetPixelFormat(TPixelFormat pf);
    // A 24-bit picture changed to 32 bits with blue, green and red inverted on
    // the way: the invert command's two steps in one pass. Returns false,
    // changing nothing, when the picture is not 24 bits.
    bool WidenInverted();
    // A 32-bit picture turned top to bottom and narrowed to 24 bits in one
    // pass into a new buffer: the flip command's two steps at once.
    // Returns false, changing nothing, when the picture is not 32 bits.
    bool FlipNarrowed();
    // Brings the picture to 24 bits and hands every row (its first
    // 3 x Width() bytes) to row, top to bottom. A 32-bit picture is narrowed
    // row by row and each row handed over right after, while it is still in
    // the cache: a command that narrows and then changes every row walks
    // the picture once. narrowRow, when given, takes the place of narrowing
    // and row for a 32-bit row (its 3 x Width() bytes written to dst, which
    // lies at or before src). The caller signals the change when it is done.
    void ChangeRows24(const std::function<void(uchar *row)> &row,
                      const std::function<void(uchar *dst, const uchar *src)> &narrowRow = {});
    // True for a 1-bit black-and-white picture. Setting it converts to 1 bit
    // with black and white (false on a monochrome picture: to pf24bit).
    bool Monochrome() const;
    void SetMonochrome(bool on);

    // ---- palette (1/4/8 bits; empty for true colour)
    QVector<QRgb> Palette() const { return m_palette; }
    // Replaces the colours without touching the indices. At most 2^bits
    // entries (EInvalidGraphicOperation otherwise); ignored for true colour.
    // Indices beyond the palette read as black.
    void SetPalette(const QVector<QRgb> &colors);
    static QVector<QRgb> DefaultPalette(TPixelFormat pf);

    // ---- pixels
    // The row in the layout described above; EInvalidGraphicOperation
    // "Scan line index out of range" outside 0..Height()-1.
    uchar *ScanLine(int row);
    const uchar *ScanLine(int row) const;
    std::size_t Stride() const { return m_stride; }
    // Colour of a pixel as 0x00BBGGRR; -1 (clNone-like) outside the picture.
    TColor Pixel(int x, int y) const;
    QRgb PixelRgb(int x, int y) const; // opaque QRgb; 0 outside
    // count pixels of row y from column x on as opaque QRgb; the caller
    // keeps the span inside the picture.
    void ReadPixels(int x, int y, int count, QRgb *out) const;
    // Paletted pictures take the nearest palette entry.
    void SetPixel(int x, int y, TColor color);

    // ---- transparency
    // Transparent() (from TGraphic) switches drawing with TransparentColor.
    // In tmAuto the colour is that of the bottom-left pixel.
    TColor TransparentColor() const;
    void SetTransparentColor(TColor c); // also sets tmFixed
    TTransparentMode TransparentMode() const { return m_transparentMode; }
    void SetTransparentMode(TTransparentMode m) { m_transparentMode = m; }

    // ---- drawing
    std::unique_ptr<TCanvas> Canvas();
    void Draw(QPainter &painter, const QRect &rect) const override;

    // ---- Qt images
    // A deep copy in the nearest Qt format (4 bits as Indexed8 with 16
    // colours). Null for an empty bitmap.
    QImage ToImage() const override;
    // Takes a QImage: Mono/MonoLSB -> pf1bit, Indexed8 and Grayscale8 ->
    // pf8bit, RGB555 -> pf15bit, RGB16 -> pf16bit, RGB888/BGR888 -> pf24bit,
    // everything else -> pf32bit (alpha dropped). EInvalidGraphic over the
    // limit.
    void Assign(const QImage &image);
    static TBitmap FromImage(const QImage &image);

    // ---- graphics
    // From a TBitmap: a copy. Otherwise the source's AssignTo, and when it
    // declines, the source drawn on white at (0, 0) of a pf24bit bitmap of its
    // size.
    void Assign(const TGraphic &source) override;
    bool AssignTo(TGraphic &dest) const override;

    // ---- device-independent form
    // BITMAPINFOHEADER (40 bytes), for 15 bits nothing more (BI_RGB 5-5-5),
    // for 16 bits the three BI_BITFIELDS masks, for 1/4/8 bits the palette
    // (B, G, R, 0 each; biClrUsed = entries), then the rows bottom-up, each
    // padded to 4 bytes.
    QByteArray SaveToDIB() const;
    // Reads such a block (any header the BMP reader accepts, without the
    // 14-byte file header). EInvalidGraphic when damaged; unchanged then.
    void LoadFromDIB(const QByteArray &dib);

    // ---- BMP files and streams (our own codec, BmpCodec.h)
    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;

    // ---- limits
    static qint64 MaxPixels();
    static void SetMaxPixels(qint64 limit); // <= 0 restores the default 2^28
    static constexpr qint64 DefaultMaxPixels = qint64(1) << 28;

    // Takes over prepared rows without copying (used by the codecs): the
    // buffer holds height rows of BytesPerRow(width, bits) bytes, top row
    // first, in the layout above. The palette must fit the depth.
    void Adopt(int width, int height, TPixelFormat pf, PixelBuffer &&bits,
               const QVector<QRgb> &palette = {});

    // The same for 32-bit rows whose fourth bytes are 0xFF already (no pass
    // to make them opaque).
    void AdoptOpaque32(int width, int height, PixelBuffer &&bits);

private:
    friend class TCanvas;
    QImage View();             // a QImage on m_bits (not for pf4bit)
    // View() as the last canvas left it when it still describes m_bits:
    // a QImage keeps its paint engine, and a new engine for every canvas
    // costs more than a small drawing on it (a marker dot, say).
    QImage CanvasView();
    void MakeOpaque();         // pf32bit: X byte := 0xFF
    QVector<QRgb> QtColorTable() const; // palette padded to 2^bits
    void ReadRow(int y, QRgb *out) const;          // any depth -> 0xFFRRGGBB
    void WriteRow(int y, const QRgb *in);          // true colour only
    void CheckNoCanvas() const;
    // SetPixelFormat's fast road for 24/32-bit targets; false when the pair
    // of depths is not one it covers (nothing written then).
    bool ConvertTrueColorRows(TPixelFormat pf, std::size_t stride, PixelBuffer &bits) const;
    void widenTo32(std::uint32_t flip);
    // Adopt's work once the format and palette are known to be sound.
    void take(int width, int height, TPixelFormat pf, PixelBuffer &&bits, const QVector<QRgb> &palette,
              bool makeOpaque);

    int m_width = 0;
    int m_height = 0;
    TPixelFormat m_pf = pf24bit;
    std::size_t m_stride = 0;
    PixelBuffer m_bits;
    QVector<QRgb> m_palette;
    TColor m_transparentColor = 0;
    TTransparentMode m_transparentMode = tmAuto;
    bool m_canvasOpen = false;
    // Handed to the open canvas and back; never copied with the picture.
    QImage m_canvasView;
};

} // namespace zk
