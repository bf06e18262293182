#pragma once
// The GIF codec's object model: a TGIFImage holds the header (logical screen
// descriptor and global colour table) and a list of frames (TGIFSubImage);
// each frame holds the extensions that precede it in the file, its image
// descriptor, an optional local colour table and one byte a pixel.
//
// Every item reads and writes itself as a block of the file through the small
// memory streams below (TGIFInStream, TGIFOutStream): a whole file is read
// into memory first, so every length can be checked against the bytes that
// are really left, and written to memory first, so a failed save writes
// nothing.
//
// Errors raise GIFException (an EInvalidGraphic) with one of the English
// texts of GIFMessage(); warnings (severity 1) go to TGIFImage::OnWarning and
// the operation goes on.
#include "Bitmap.h"
#include "Colors.h"
#include "Graphic.h"

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <memory>
#include <vector>

class QIODevice;
class QMimeData;
class QPainter;
class QWidget;

namespace zk {

// ---------------------------------------------------------------- messages

enum class TGIFMsg {
    PrematureEOF,
    ColorTableOverflow,
    InvalidColor,
    ColorTableEmpty,
    UnsupportedVersion,
    BadSignature,
    UnknownExtension,
    BadExtensionIntroducer,
    ExtensionLabelMismatch,
    BadAppExtensionSize,
    InvalidData,
    UnknownBlockType,
    BadTrailer,
    DibAllocFailed,
    DecoderUnderrun,
    CircularTable,
    InvalidStreamOp,
    ColorNotInTable,
    WidthTooSmall,
    HeightTooSmall,
    ExceedsScreen,
    NoColorTable,
    BadPixelCoordinates,
    UnsupportedPixelFormat,
    BadImageDimensions,
    NoDIB,
    ImageEmpty,
    UnsupportedObject,
    ClipboardFailed,
    ImageName,
    ProgressLoading,
    ProgressSaving,
    ProgressConverting,
    ProgressRendering,
    ProgressCopying,
    // Our own: damage the decoder refuses rather than guessing at.
    BadCodeSize,
    BadCode,
    ImageTooLarge,
};

// The English text of a message. Exceptions carry these texts; the program
// shows them as detail after a message in the user's language.
QString GIFMessage(TGIFMsg msg);

class GIFException : public EInvalidGraphic
{
public:
    using EInvalidGraphic::EInvalidGraphic;
};

[[noreturn]] void RaiseGIFError(const QString &message);
[[noreturn]] void RaiseGIFError(TGIFMsg msg);

// "Invalid stream operation": the encoders' output stream allows writing
// only. A plain error, not a GIFException.
class EGIFStreamError : public std::runtime_error
{
public:
    EGIFStreamError();
};

enum TGIFVersion : uint8_t { gvUnknown = 0, gv87a = 1, gv89a = 2 };
// "87a", "89a"; empty for gvUnknown.
QByteArray GIFVersionText(TGIFVersion v);

// ------------------------------------------------------------ byte streams

// Reading over bytes held in memory. Every read is checked against the
// bytes left; nothing reads past the end.
class TGIFInStream
{
public:
    TGIFInStream(const uint8_t *data, qint64 size) : fData(data), fSize(size) {}
    explicit TGIFInStream(const QByteArray &bytes)
        : fData(reinterpret_cast<const uint8_t *>(bytes.constData())), fSize(bytes.size())
    {
    }
    // The bytes must outlive the stream.
    explicit TGIFInStream(QByteArray &&) = delete;
    qint64 Position() const { return fPos; }
    void SetPosition(qint64 p) { fPos = p < 0 ? 0 : (p > fSize ? fSize : p); }
    void Skip(qint64 n) { SetPosition(fPos + n); }
    qint64 Size() const { return fSize; }
    qint64 Left() const { return fSize - fPos; }
    bool AtEnd() const { return fPos >= fSize; }
    // One byte; false at the end.
    bool Get(uint8_t &b)
    {
        if (fPos >= fSize)
            return false;
        b = fData[fPos++];
        return true;
    }
    // As many as are left, up to n; returns the count.
    qint64 Read(void *buf, qint64 n);
    const uint8_t *Data() const { return fData; }

private:
    const uint8_t *fData;
    qint64 fSize;
    qint64 fPos = 0;
};

// Writing into a growing byte array.
class TGIFOutStream
{
public:
    void Write(const void *buf, qint64 n) { fBytes.append(static_cast<const char *>(buf), qsizetype(n)); }
    void Put(uint8_t b) { fBytes.append(char(b)); }
    QByteArray &Bytes() { return fBytes; }
    qint64 Size() const { return fBytes.size(); }

private:
    QByteArray fBytes;
};

// Stream helpers.
void WriteByte(TGIFOutStream &stream, uint8_t value);
// One byte; 0 when the stream has no byte left (the sub-block loops then see
// a terminator).
uint8_t ReadByte(TGIFInStream &stream);
// Exactly count bytes or GIFException "Premature end of data".
void ReadExact(TGIFInStream &stream, void *buffer, qint64 count);
// Each string as data sub-blocks (an empty string writes nothing), then one
// terminator byte.
void WriteSubBlockStrings(TGIFOutStream &stream, const QStringList &strings);
// Each sub-block up to a terminator (or the end) becomes one string.
void ReadSubBlockStrings(TGIFInStream &stream, QStringList &strings);
// Skips sub-blocks up to and including a terminator, or to the end.
void SkipSubBlocks(TGIFInStream &stream);
// 0 for 0, 1 for 1 and 2, else the smallest b with 2^b >= count.
int ColorCountToBits(int count);
// Bytes of a row of `width` pixels of `bits` bits, padded to `alignment`
// bits (32 for device-independent bitmaps).
int DibRowBytes(int width, int bits, int alignment);
// 216 colours: red outermost, then green, then blue; each 0, 51, ..., 255.
QVector<QRgb> CreateWebSafePalette();

class TGIFImage;
class TGIFSubImage;
class TGIFHeader;

// ------------------------------------------------------------------- items

class TGIFItem
{
public:
    explicit TGIFItem(TGIFImage *image) : fImage(image) {}
    virtual ~TGIFItem();
    TGIFItem(const TGIFItem &) = delete;
    TGIFItem &operator=(const TGIFItem &) = delete;

    virtual TGIFImage *Image() const { return fImage; }
    virtual TGIFVersion GetVersion() const { return gv87a; }
    virtual void Warning(uint8_t severity, const QString &message) const;
    void Warning(uint8_t severity, TGIFMsg msg) const { Warning(severity, GIFMessage(msg)); }

    virtual void SaveToStream(TGIFOutStream &stream) = 0;
    virtual void LoadFromStream(TGIFInStream &stream) = 0;
    // A whole file; saving goes to a temporary name renamed into place.
    void SaveToFile(const QString &fileName);
    void LoadFromFile(const QString &fileName);

protected:
    friend class TGIFImage;
    TGIFImage *fImage;
};

// An owned list of items.
template <class T>
class TGIFList
{
public:
    explicit TGIFList(TGIFImage *image) : fImage(image) {}
    virtual ~TGIFList() = default;
    TGIFList(const TGIFList &) = delete;
    TGIFList &operator=(const TGIFList &) = delete;

    T *Items(int i) const { return fItems.at(std::size_t(i)).get(); }
    T *operator[](int i) const { return Items(i); }
    int Count() const { return int(fItems.size()); }
    int Add(std::unique_ptr<T> item)
    {
        fItems.push_back(std::move(item));
        return Count() - 1;
    }
    // Removes and frees.
    void Delete(int i)
    {
        std::unique_ptr<T> gone = std::move(fItems.at(std::size_t(i)));
        fItems.erase(fItems.begin() + i);
        gone.reset();
    }
    void Clear()
    {
        while (!fItems.empty())
            Delete(0);
    }
    // Takes the item out without freeing it; the caller owns it then.
    T *Remove(T *item)
    {
        for (std::size_t i = 0; i < fItems.size(); ++i)
            if (fItems[i].get() == item) {
                T *p = fItems[i].release();
                fItems.erase(fItems.begin() + qsizetype(i));
                return p;
            }
        return nullptr;
    }
    int IndexOf(const T *item) const
    {
        for (std::size_t i = 0; i < fItems.size(); ++i)
            if (fItems[i].get() == item)
                return int(i);
        return -1;
    }
    virtual void SaveToStream(TGIFOutStream &stream)
    {
        for (auto &item : fItems)
            item->SaveToStream(stream);
    }
    TGIFImage *Image() const { return fImage; }
    void Warning(uint8_t severity, const QString &message) const;

protected:
    friend class TGIFImage;
    TGIFImage *fImage;
    std::vector<std::unique_ptr<T>> fItems;
};

// ------------------------------------------------------------- colour maps

// One entry of a histogram: how often a colour index is used.
struct TUsageCount
{
    int count;
    int index;
};

class TGIFColorMap
{
public:
    TGIFColorMap() = default;
    virtual ~TGIFColorMap() = default;
    TGIFColorMap(const TGIFColorMap &) = delete;
    TGIFColorMap &operator=(const TGIFColorMap &) = delete;

    void Clear();
    // Appends a colour (0x00BBGGRR); "Color table overflow" at 256 colours.
    int Add(TColor color);
    // Not optimised: the highest matching index wins; optimised: the lowest.
    int IndexOf(TColor color) const;
    int AddUnique(TColor color);
    void Delete(int index);
    // A bad index warns "Invalid color index" and reads entry 0; an empty
    // table then raises "Color table is empty".
    TColor Colors(int index) const;
    void SetColors(int index, TColor color);

    int Count() const { return fCount; }
    int Capacity() const { return fCapacity; }
    bool Optimized() const { return fOptimized; }
    void SetOptimized(bool on) { fOptimized = on; }
    int BitsPerPixel() const { return ColorCountToBits(fCount); }
    // Red, green, blue of each colour in use.
    const uint8_t *Data() const { return fData.data(); }

    // Up to 256 palette colours (alpha ignored).
    void ImportPalette(const QVector<QRgb> &palette);
    // `count` colour quads in the order blue, green, red, reserved.
    void ImportColorTable(const uint8_t *quads, int count);
    // The colour table of a palette bitmap.
    void ImportDIBColors(const TBitmap &bitmap);
    // Opaque colours; empty for an empty table.
    QVector<QRgb> ExportPalette() const;

    void Assign(const TGIFColorMap &source);
    void LoadFromStream(TGIFInStream &stream, int count);
    // count x 3 bytes, then zero triplets up to 2^BitsPerPixel entries.
    void SaveToStream(TGIFOutStream &stream) const;

    // Sorts the table by use (most used first), remaps the frames that use it
    // and drops unused colours. False when nothing could be done.
    virtual bool Optimize() = 0;
    virtual void Warning(uint8_t severity, const QString &message) const = 0;

protected:
    virtual void BuildHistogram(std::vector<TUsageCount> &histogram) = 0;
    virtual void MapImages(const std::vector<uint8_t> &map) = 0;
    virtual void Changed() = 0;
    bool DoOptimize();
    void SetCapacity(int needed);

    std::vector<uint8_t> fData; // capacity x 3 bytes
    int fCount = 0;
    int fCapacity = 0;
    bool fOptimized = false;
};

class TGIFGlobalColorMap : public TGIFColorMap
{
public:
    explicit TGIFGlobalColorMap(TGIFHeader *header) : fHeader(header) {}
    bool Optimize() override;
    void Warning(uint8_t severity, const QString &message) const override;

protected:
    void BuildHistogram(std::vector<TUsageCount> &histogram) override;
    void MapImages(const std::vector<uint8_t> &map) override;
    void Changed() override;

private:
    TGIFHeader *fHeader;
};

class TGIFLocalColorMap : public TGIFColorMap
{
public:
    explicit TGIFLocalColorMap(TGIFSubImage *frame) : fSubImage(frame) {}
    bool Optimize() override;
    void Warning(uint8_t severity, const QString &message) const override;

protected:
    void BuildHistogram(std::vector<TUsageCount> &histogram) override;
    void MapImages(const std::vector<uint8_t> &map) override;
    void Changed() override;

private:
    TGIFSubImage *fSubImage;
};

// ------------------------------------------------------------------ header

class TGIFHeader : public TGIFItem
{
public:
    explicit TGIFHeader(TGIFImage *image);
    void Clear();
    void Assign(const TGIFHeader &source);
    void Assign(const TGIFColorMap &source);
    // Recomputes the packed byte before writing.
    void Prepare();
    void SaveToStream(TGIFOutStream &stream) override;
    void LoadFromStream(TGIFInStream &stream) override;

    TGIFGlobalColorMap &ColorMap() { return fColorMap; }
    const TGIFGlobalColorMap &ColorMap() const { return fColorMap; }
    int Width() const { return fWidth; }
    int Height() const { return fHeight; }
    void SetWidth(int w) { fWidth = uint16_t(w); }
    void SetHeight(int h) { fHeight = uint16_t(h); }
    uint8_t Packed() const { return fPacked; }
    uint8_t BackgroundColorIndex() const { return fBackgroundIndex; }
    void SetBackgroundColorIndex(uint8_t i) { fBackgroundIndex = i; }
    uint8_t AspectRatio() const { return fAspectRatio; }
    void SetAspectRatio(uint8_t a) { fAspectRatio = a; }
    TColor BackgroundColor() const { return fColorMap.Colors(fBackgroundIndex); }
    int BitsPerPixel() const { return fColorMap.BitsPerPixel(); }
    int ColorResolution() const { return BitsPerPixel() - 1; }

private:
    uint16_t fWidth = 0;
    uint16_t fHeight = 0;
    uint8_t fPacked = 0;
    uint8_t fBackgroundIndex = 0;
    uint8_t fAspectRatio = 0;
    TGIFGlobalColorMap fColorMap;
};

// -------------------------------------------------------------- extensions

class TGIFExtension;

// What the class library would call the class of an extension: its label, a
// maker, and the step that may refine the class from the block's bytes.
struct TGIFExtensionClass
{
    const char *name;
    uint8_t label;
    std::unique_ptr<TGIFExtension> (*create)(TGIFSubImage *frame);
    // Reads what it needs from the stream (the position after the label) and
    // answers a more precise class, or the class itself.
    const TGIFExtensionClass *(*refine)(const TGIFExtensionClass *self, TGIFInStream &stream);
};

class TGIFExtension : public TGIFItem
{
public:
    explicit TGIFExtension(TGIFSubImage *frame);
    ~TGIFExtension() override;
    TGIFImage *Image() const override;
    TGIFSubImage *SubImage() const { return fSubImage; }
    TGIFVersion GetVersion() const override { return gv89a; }
    virtual uint8_t GetExtensionType() const = 0;
    virtual const TGIFExtensionClass *ExtensionClass() const = 0;
    // 0x21, the label, then the body.
    void SaveToStream(TGIFOutStream &stream) override;
    // Checks 0x21 and the label, then reads the body.
    void LoadFromStream(TGIFInStream &stream) override;

protected:
    virtual void SaveBody(TGIFOutStream &stream) = 0;
    virtual void LoadBody(TGIFInStream &stream) = 0;
    friend class TGIFSubImage;
    TGIFSubImage *fSubImage;
};

class TGIFGraphicControlExtension : public TGIFExtension
{
public:
    static const TGIFExtensionClass Class;
    explicit TGIFGraphicControlExtension(TGIFSubImage *frame);
    ~TGIFGraphicControlExtension() override;
    uint8_t GetExtensionType() const override { return 0xF9; }
    const TGIFExtensionClass *ExtensionClass() const override { return &Class; }

    bool Transparent() const { return fPacked & 0x01; }
    void SetTransparent(bool on);
    uint8_t TransparentColorIndex() const { return fTransparentIndex; }
    // An index the active table lacks warns "Invalid color index" and
    // stores 0.
    void SetTransparentColorIndex(int index);
    // Without the check (remapping after a table was sorted).
    void SetTransparentColorIndexRaw(uint8_t index);
    int Delay() const { return fDelay; }
    void SetDelay(int hundredths) { fDelay = uint16_t(hundredths); }
    bool UserInput() const { return fPacked & 0x02; }
    void SetUserInput(bool on) { fPacked = uint8_t(on ? fPacked | 0x02 : fPacked & ~0x02); }
    int Disposal() const { return (fPacked >> 2) & 7; }
    void SetDisposal(int d) { fPacked = uint8_t((fPacked & ~0x1C) | ((d & 7) << 2)); }
    uint8_t Packed() const { return fPacked; }

protected:
    void SaveBody(TGIFOutStream &stream) override;
    void LoadBody(TGIFInStream &stream) override;

private:
    uint8_t fBlockSize = 4;
    uint8_t fPacked = 0;
    uint16_t fDelay = 0;
    uint8_t fTransparentIndex = 0;
};

class TGIFTextExtension : public TGIFExtension
{
public:
    static const TGIFExtensionClass Class;
    using TGIFExtension::TGIFExtension;
    uint8_t GetExtensionType() const override { return 0x01; }
    const TGIFExtensionClass *ExtensionClass() const override { return &Class; }

    QStringList Text;
    uint16_t GridLeft = 0, GridTop = 0, GridWidth = 0, GridHeight = 0;
    uint8_t CharWidth = 0, CharHeight = 0, ForegroundIndex = 0, BackgroundIndex = 0;

protected:
    void SaveBody(TGIFOutStream &stream) override;
    void LoadBody(TGIFInStream &stream) override;

private:
    uint8_t fBlockSize = 12;
};

class TGIFCommentExtension : public TGIFExtension
{
public:
    static const TGIFExtensionClass Class;
    using TGIFExtension::TGIFExtension;
    uint8_t GetExtensionType() const override { return 0xFE; }
    const TGIFExtensionClass *ExtensionClass() const override { return &Class; }
    QStringList Comment;

protected:
    void SaveBody(TGIFOutStream &stream) override;
    void LoadBody(TGIFInStream &stream) override;
};

using TGIFAppIdentifier = std::array<uint8_t, 11>;

class TGIFApplicationExtension : public TGIFExtension
{
public:
    static const TGIFExtensionClass Class;
    using TGIFExtension::TGIFExtension;
    uint8_t GetExtensionType() const override { return 0xFF; }
    // 8 bytes identifier, 3 bytes authentication code.
    TGIFAppIdentifier Identifier{};
    void SetIdentifier(const char (&ident)[12]);
    // The identifier block's length as read (10 to 255): an unknown
    // extension is written back with the same block, so a reader that
    // knows the 11-byte identifier does not take it for its own.
    int IdentifierBlockSize = 11;
    std::vector<uint8_t> IdentifierExtra;

protected:
    void SaveBody(TGIFOutStream &stream) override;
    void LoadBody(TGIFInStream &stream) override;
    virtual void SaveData(TGIFOutStream &stream) = 0;
    virtual void LoadData(TGIFInStream &stream) = 0;
};

// One data sub-block kept as it was read.
struct TGIFBlock
{
    explicit TGIFBlock(int size) : Size(size), Data(std::size_t(size), 0) {}
    int Size;
    std::vector<uint8_t> Data;
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension
{
public:
    static const TGIFExtensionClass Class;
    using TGIFApplicationExtension::TGIFApplicationExtension;
    const TGIFExtensionClass *ExtensionClass() const override { return &Class; }
    std::vector<std::unique_ptr<TGIFBlock>> Blocks;

protected:
    void SaveData(TGIFOutStream &stream) override;
    void LoadData(TGIFInStream &stream) override;
};

// Loop count of an animation ("NETSCAPE2.0", also read as "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension
{
public:
    static const TGIFExtensionClass Class;
    explicit TGIFAppExtNSLoop(TGIFSubImage *frame);
    const TGIFExtensionClass *ExtensionClass() const override { return &Class; }
    uint16_t Loops = 0;
    uint32_t BufferSize = 0;

protected:
    void SaveData(TGIFOutStream &stream) override;
    void LoadData(TGIFInStream &stream) override;
};

// Process-wide registries; lookups search from the last registration back,
// so a later registration of a label or identifier wins.
class TExtensionList
{
public:
    static TExtensionList &Instance();
    void Add(uint8_t label, const TGIFExtensionClass *cls);
    const TGIFExtensionClass *Find(uint8_t label) const;

private:
    TExtensionList();
    std::vector<std::pair<uint8_t, const TGIFExtensionClass *>> fEntries;
};

class TAppExtensionList
{
public:
    static TAppExtensionList &Instance();
    void Add(const TGIFAppIdentifier &ident, const TGIFExtensionClass *cls);
    const TGIFExtensionClass *Find(const TGIFAppIdentifier &ident) const;

private:
    TAppExtensionList();
    std::vector<std::pair<TGIFAppIdentifier, const TGIFExtensionClass *>> fEntries;
};

// The extensions that precede a frame's descriptor.
class TGIFExtensionList : public TGIFList<TGIFExtension>
{
public:
    explicit TGIFExtensionList(TGIFSubImage *frame);
    void LoadFromStream(TGIFInStream &stream, TGIFSubImage *frame);

private:
    TGIFSubImage *fSubImage;
};

class TGIFTrailer : public TGIFItem
{
public:
    using TGIFItem::TGIFItem;
    void SaveToStream(TGIFOutStream &stream) override;
    void LoadFromStream(TGIFInStream &stream) override;
};

// ------------------------------------------------------------------ frames

class TGIFSubImage : public TGIFItem
{
public:
    explicit TGIFSubImage(TGIFImage *image);
    ~TGIFSubImage() override;

    void Clear();
    bool Empty() const;

    int Left() const { return fLeft; }
    int Top() const { return fTop; }
    int Width() const { return fWidth; }
    int Height() const { return fHeight; }
    QRect BoundsRect() const { return QRect(fLeft, fTop, fWidth, fHeight); }
    // New sizes give new, zero-filled pixels; a logical screen too small for
    // the frame grows, with its warnings.
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int v) { SetBounds(v, fTop, fWidth, fHeight); }
    void SetTop(int v) { SetBounds(fLeft, v, fWidth, fHeight); }
    void SetWidth(int v) { SetBounds(fLeft, fTop, v, fHeight); }
    void SetHeight(int v) { SetBounds(fLeft, fTop, fWidth, v); }

    bool Interlaced() const { return fPacked & 0x40; }
    void SetInterlaced(bool on) { fPacked = uint8_t(on ? fPacked | 0x40 : fPacked & ~0x40); }
    uint8_t Packed() const { return fPacked; }
    int BitsPerPixel() const { return fColorMap.BitsPerPixel(); }
    int ColorResolution() const { return BitsPerPixel() - 1; }
    TGIFVersion GetVersion() const override;
    TGIFVersion Version() const { return GetVersion(); }

    // The local table when it has colours, else the global one when it has,
    // else the (empty) local table.
    TGIFColorMap &ActiveColorMap();
    const TGIFColorMap &ActiveColorMap() const;
    TGIFLocalColorMap &ColorMap() { return fColorMap; }
    const TGIFLocalColorMap &ColorMap() const { return fColorMap; }
    TGIFExtensionList &Extensions() { return fExtensions; }
    const TGIFExtensionList &Extensions() const { return fExtensions; }

    // Pixel indices, Width() x Height(), rows top to bottom.
    uint8_t *Data() { return fData.data(); }
    const uint8_t *Data() const { return fData.data(); }
    qint64 DataSize() const { return qint64(fData.size()); }
    // "Image is empty" without data, "Invalid pixel coordinates" outside.
    uint8_t Pixels(int x, int y) const;
    void SetPixels(int x, int y, uint8_t index);
    uint8_t *ScanLine(int y);

    bool Transparent() const { return fTransparent; }
    void SetTransparent(bool on) { fTransparent = on; }
    TGIFGraphicControlExtension *GraphicControlExtension() const { return fGCE; }

    // The colours the frame renders with: those of its bitmap once built,
    // else a palette set on it, else the web-safe colours when the image
    // renders dithered, the image's palette without local colours, or the
    // local table.
    QVector<QRgb> Palette();
    // Frees the bitmap when the palette differs from it.
    void SetPalette(const QVector<QRgb> &palette);
    // The frame as an 8-bit bitmap, built on first use (with the mask of its
    // transparent pixels); null for an empty frame.
    TBitmap *Bitmap();
    bool HasMask();
    // The bitmap as drawn: with alpha 0 at the transparent pixels when
    // `transparent` is asked for and the frame has a mask.
    const QImage &DrawImage(bool transparent);

    // A frame's contents (descriptor, pixels, tables, extensions).
    void Assign(const TGIFSubImage &source);
    // A bitmap (1/4/8 bits copied, other depths reduced by the image's
    // reduction settings), an icon (its mask marks transparency), a metafile
    // (drawn on white and on black; what differs is transparent) or any
    // other graphic drawn on white.
    void Assign(const TGraphic &source);
    // A bitmap takes the frame's bitmap; false for anything else.
    bool AssignTo(TGraphic &dest);
    // Marks every pixel whose mask byte is not 0 (width x height bytes) as
    // transparent through a new colour, when the local table has room.
    void MarkTransparency(const std::vector<uint8_t> &mask);

    // The frame's rectangle is scaled from the logical screen into rect
    // (tiled: copies at their own size, a logical screen apart).
    void Draw(QPainter &painter, const QRect &rect, bool transparent, bool tile);
    void StretchDraw(QPainter &painter, const QRect &rect, bool transparent, bool tile);

    void SaveToStream(TGIFOutStream &stream) override;
    void LoadFromStream(TGIFInStream &stream) override;

private:
    friend class TGIFGraphicControlExtension;
    friend class TGIFLocalColorMap;
    friend class TGIFImage;
    friend void DecodeFrameLZW(TGIFSubImage &frame, TGIFInStream &stream);
    void CheckPixelCoordinates(int x, int y) const;
    void AllocateData(uint8_t fill);
    void FreeBitmap();
    void BuildBitmap();
    void AssignBitmap(const TBitmap &source);

    TGIFLocalColorMap fColorMap;
    uint16_t fLeft = 0, fTop = 0, fWidth = 0, fHeight = 0;
    uint8_t fPacked = 0;
    TGIFExtensionList fExtensions;
    std::vector<uint8_t> fData;
    bool fTransparent = false;
    TGIFGraphicControlExtension *fGCE = nullptr;
    // Caches, freed whenever bounds, pixels or palette change.
    std::unique_ptr<TBitmap> fBitmap;
    std::vector<uint8_t> fMask; // rows of (width + 15) / 16 x 2 bytes, MSB first
    bool fHasMask = false;
    bool fNeedMask = true;
    QImage fOpaqueImage, fMaskedImage;
    QVector<QRgb> fPalette;
    bool fHasPalette = false;
};

class TGIFImageList : public TGIFList<TGIFSubImage>
{
public:
    using TGIFList<TGIFSubImage>::TGIFList;
    // The block loop: frames up to the trailer.
    void LoadFromStream(TGIFInStream &stream, TGIFImage *image);
};

// ----------------------------------------------------------------- picture

// Encoders a save may use.
enum TGIFCompression : uint8_t { gcLZW = 0, gcRLE = 1 };

// DrawOptions bits.
enum TGIFDrawOption : uint16_t {
    goAsync = 0x0001,            // painters run on timers (else to the end in the caller)
    goTransparent = 0x0002,      // transparent drawing
    goAnimate = 0x0004,          // more than the first frame is shown
    goLoop = 0x0008,             // with goAnimate: the animation plays in passes
    goLoopContinously = 0x0010,  // loop forever, whatever the loop extension says
    goValidateCanvas = 0x0020,   // the painter ends when its target widget is gone
    goDirectDraw = 0x0040,       // paint within the target rectangle, not the rendered bitmap
    goClearOnLoop = 0x0080,      // clear the background before the first frame of a pass
    goTile = 0x0100,             // tile the logical screen over the target rectangle
    goDither = 0x0200,           // dither when rendering
    goAutoDither = 0x0400,       // dither only on palette devices
};
constexpr uint16_t GIFDefaultDrawOptions = 0x060F;
// DrawBackgroundColor when none is set.
constexpr TColor GIFNoBackgroundColor = TColor(0x1FFFFFFF);

class TGIFPainter;
class TGIFPainterClock;

class TGIFImage : public TGraphic
{
public:
    TGIFImage();
    ~TGIFImage() override;
    TGIFImage(const TGIFImage &) = delete;
    TGIFImage &operator=(const TGIFImage &) = delete;

    QString ClassName() const override { return QStringLiteral("TGIFImage"); }
    std::unique_ptr<TGraphic> Clone() const override;

    // No frames, empty global table, logical screen 0 x 0; painters stopped.
    void Clear();
    bool Empty() const override { return fImages.Count() == 0; }
    int Width() const override { return fHeader.Width(); }
    int Height() const override { return fHeader.Height(); }
    // "Image width/height too small for contained frames" below a frame's
    // edge, the size kept.
    void SetWidth(int w) override;
    void SetHeight(int h) override;
    // True when the picture must draw itself rather than be shown as a
    // copy: it animates, or it has transparent frames drawn transparently.
    bool Transparent() const override;
    // Only the same object.
    bool Equals(const TGraphic &other) const { return &other == this; }

    // Reads the rest of the device as one GIF file (anything after the
    // trailer is left unread). On failure the image keeps what it held.
    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;
    void LoadFromBytes(const QByteArray &data);
    QByteArray SaveToBytes();
    void LoadFromFile(const QString &fileName);
    // To a temporary name renamed into place.
    void SaveToFile(const QString &fileName);

    TGIFHeader &Header() { return fHeader; }
    const TGIFHeader &Header() const { return fHeader; }
    TGIFImageList &Images() { return fImages; }
    const TGIFImageList &Images() const { return fImages; }
    // The highest version of any frame (the search stops at 89a); unknown
    // without frames.
    TGIFVersion Version() const;

    // The palette of the image: the rendered bitmap's, a palette set on it,
    // the web-safe colours when rendering dithered, the global table, or the
    // first frame's. Re-entry raises "No global or local color table defined".
    QVector<QRgb> GetPalette();
    void SetPalette(const QVector<QRgb> &palette);

    // A graphic becomes a new frame assigned from it; a frame is taken as it
    // is. Returns its index.
    int Add(const TGraphic &source);
    int Add(std::unique_ptr<TGIFSubImage> frame);
    // Anything else: "Object type not supported for operation".
    template <class T>
        requires(!std::is_base_of_v<TGraphic, T>)
    [[noreturn]] int Add(const T &)
    {
        RaiseGIFError(TGIFMsg::UnsupportedObject);
    }

    // The first frame on the logical screen, built on first use; null for an
    // empty image.
    TBitmap *Bitmap();
    // From another TGIFImage: header, frames and the drawing and reduction
    // options (not Compression, ReductionBits or AnimationSpeed); OnWarning
    // and OnProgress are none afterwards. Anything else becomes one frame.
    void Assign(const TGraphic &source) override;
    // A bitmap takes the rendered bitmap.
    bool AssignTo(TGraphic &dest) const override;
    QImage ToImage() const override;

    // The first frame, or with goAnimate the animation: a painter composes
    // the frames and repaints the widget painted on (painter.device()).
    void Draw(QPainter &painter, const QRect &rect) const override;

    // "image/gif" beside the picture as an image; nothing for an empty image.
    void SaveToClipboardFormat(QMimeData &mime);
    // "image/gif" or an image; any other format raises.
    void LoadFromClipboardFormat(const QMimeData &mime, const QString &format);

    // True when frames render dithered to the web-safe colours.
    bool DoDither() const;
    // The display has at most 8 bits a pixel (set at registration).
    static bool PaletteDevice();
    static void SetPaletteDevice(bool on);

    // Painters: one is current (the one Draw started); all are stopped and
    // freed with the image.
    TGIFPainter *StartPainter(QWidget *target, const QRect &rect, uint16_t options);
    void StopPainter();
    void StopPainters();
    TGIFPainter *CurrentPainter() const { return fCurrentPainter; }
    int PainterCount() const { return int(fPainters.size()); }
    // What the painters compose when not drawing directly (the rendered
    // animation); null before a painter has drawn.
    QImage RenderedCanvas() const;

    uint8_t Compression = gcLZW;
    uint16_t DrawOptions = GIFDefaultDrawOptions;
    uint8_t ReductionMethod = 6;
    int ReductionBits = 8;
    uint8_t DitherMode = 0;
    // Kept and copied for the settings that carry it; painters run on the
    // GUI thread, so it steers nothing.
    uint8_t ThreadPriority = 3;
    int AnimationSpeed = 100;
    TColor DrawBackgroundColor = GIFNoBackgroundColor;
    // Clock the painters wait by (tests inject one); null: the system's.
    TGIFPainterClock *PainterClock = nullptr;
    // Painter events, passed on to every painter started.
    std::function<void(TGIFPainter &sender)> OnStartPaint, OnPaint, OnAfterPaint, OnLoop, OnEndPaint;

    // Severity 1 for every warning of this codec.
    std::function<void(TGIFImage &sender, uint8_t severity, const QString &message)> OnWarning;
    // "Loading..." / "Saving..." with the percentage done.
    std::function<void(TGIFImage &sender, int percent, const QString &message)> OnProgress;

    virtual void Warning(TGIFImage &sender, uint8_t severity, const QString &message);
    void Progress(int percent, TGIFMsg message);

    // Parses a whole file held in memory into this (empty) image.
    void ReadFile(TGIFInStream &stream);
    void WriteFile(TGIFOutStream &stream);

private:
    friend class TGIFPainter;
    friend class TGIFSubImage;
    void TakeOver(TGIFImage &other);
    void FreeRendered();
    void PainterFinished(TGIFPainter *painter);
    void PurgeFinishedPainters();
    void DrawRendered(QPainter &painter, const QRect &rect, const QImage &canvas) const;
    // Loads a whole file held in memory; returns the bytes it used.
    qint64 LoadFromMemory(const QByteArray &data);
    void GrowScreenToFrames();
    TGIFHeader fHeader;
    TGIFImageList fImages;
    bool fDrawing = false;
    bool fPaletteGuard = false;
    QVector<QRgb> fPalette;
    bool fHasPalette = false;
    std::unique_ptr<TBitmap> fBitmap;
    QImage fRendered;
    std::vector<std::unique_ptr<TGIFPainter>> fPainters;
    TGIFPainter *fCurrentPainter = nullptr;
};

// True when the bitmap holds more than `limit` distinct colours (palette
// bitmaps: counted by their pixels' colours as well).
bool BitmapHasMoreColors(const TBitmap &bitmap, int limit);

// Registers "gif" ("GIF Image") and the clipboard's "image/gif" with the
// picture registry; start-up calls it once.
void RegisterGifGraphics();

} // namespace zk
