#include "GIFImage.h"
#include "SafeFile.h"
#include "GIFPainter.h"
#include "GraphicText.h"

#include "GifLzw.h"
#include "LeBytes.h"

#include <QBuffer>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace zk {

// ---------------------------------------------------------------- messages

QString GIFMessage(TGIFMsg msg)
{
    switch (msg) {
    case TGIFMsg::PrematureEOF: return QStringLiteral("Premature end of data");
    case TGIFMsg::ColorTableOverflow: return QStringLiteral("Color table overflow");
    case TGIFMsg::InvalidColor: return QStringLiteral("Invalid color index");
    case TGIFMsg::ColorTableEmpty: return QStringLiteral("Color table is empty");
    case TGIFMsg::UnsupportedVersion: return QStringLiteral("Unsupported GIF version");
    case TGIFMsg::BadSignature: return QStringLiteral("Invalid GIF signature");
    case TGIFMsg::UnknownExtension: return QStringLiteral("Unknown extension type");
    case TGIFMsg::BadExtensionIntroducer: return QStringLiteral("Invalid extension introducer");
    case TGIFMsg::ExtensionLabelMismatch:
        return QStringLiteral("Internal error: Extension Instance does not match Extension Label");
    case TGIFMsg::BadAppExtensionSize: return QStringLiteral("Unsupported Application Extension block size");
    case TGIFMsg::InvalidData: return QStringLiteral("Invalid GIF data");
    case TGIFMsg::UnknownBlockType: return QStringLiteral("Unknown GIF block type");
    case TGIFMsg::BadTrailer: return QStringLiteral("Invalid Image trailer");
    case TGIFMsg::DibAllocFailed: return QStringLiteral("Failed to allocate memory for GIF DIB");
    case TGIFMsg::DecoderUnderrun: return QStringLiteral("Decoder bit buffer under-run");
    case TGIFMsg::CircularTable: return QStringLiteral("Circular decoder table entry");
    case TGIFMsg::InvalidStreamOp: return QStringLiteral("Invalid stream operation");
    case TGIFMsg::ColorNotInTable: return QStringLiteral("Color not in color table");
    case TGIFMsg::WidthTooSmall: return QStringLiteral("Image width too small for contained frames");
    case TGIFMsg::HeightTooSmall: return QStringLiteral("Image height too small for contained frames");
    case TGIFMsg::ExceedsScreen: return QStringLiteral("Image exceeds Logical Screen size");
    case TGIFMsg::NoColorTable: return QStringLiteral("No global or local color table defined");
    case TGIFMsg::BadPixelCoordinates: return QStringLiteral("Invalid pixel coordinates");
    case TGIFMsg::UnsupportedPixelFormat: return QStringLiteral("Unsupported PixelFormat");
    case TGIFMsg::BadImageDimensions: return QStringLiteral("Invalid image dimensions");
    case TGIFMsg::NoDIB: return QStringLiteral("Image has no DIB");
    case TGIFMsg::ImageEmpty: return QStringLiteral("Image is empty");
    case TGIFMsg::UnsupportedObject: return QStringLiteral("Object type not supported for operation");
    case TGIFMsg::ClipboardFailed: return QStringLiteral("Failed to store GIF on clipboard");
    case TGIFMsg::ImageName: return QStringLiteral("GIF Image");
    case TGIFMsg::ProgressLoading: return QStringLiteral("Loading...");
    case TGIFMsg::ProgressSaving: return QStringLiteral("Saving...");
    case TGIFMsg::ProgressConverting: return QStringLiteral("Converting...");
    case TGIFMsg::ProgressRendering: return QStringLiteral("Rendering...");
    case TGIFMsg::ProgressCopying: return QStringLiteral("Copying...");
    case TGIFMsg::BadCodeSize: return QStringLiteral("Invalid LZW code size");
    case TGIFMsg::BadCode: return QStringLiteral("Invalid LZW code");
    case TGIFMsg::ImageTooLarge: return QStringLiteral("Image too large");
    }
    return {};
}

void RaiseGIFError(const QString &message) { throw GIFException(message); }
void RaiseGIFError(TGIFMsg msg) { throw GIFException(GIFMessage(msg)); }

EGIFStreamError::EGIFStreamError() : std::runtime_error("Invalid stream operation") {}

QByteArray GIFVersionText(TGIFVersion v)
{
    switch (v) {
    case gv87a: return QByteArrayLiteral("87a");
    case gv89a: return QByteArrayLiteral("89a");
    default: return {};
    }
}

// ------------------------------------------------------------ byte streams

qint64 TGIFInStream::Read(void *buf, qint64 n)
{
    const qint64 got = std::max<qint64>(0, std::min(n, Left()));
    if (got > 0)
        std::memcpy(buf, fData + fPos, std::size_t(got));
    fPos += got;
    return got;
}

void WriteByte(TGIFOutStream &stream, uint8_t value) { stream.Put(value); }

uint8_t ReadByte(TGIFInStream &stream)
{
    uint8_t b = 0;
    stream.Get(b);
    return b;
}

void ReadExact(TGIFInStream &stream, void *buffer, qint64 count)
{
    if (count > stream.Left())
        RaiseGIFError(TGIFMsg::PrematureEOF);
    stream.Read(buffer, count);
}

void WriteSubBlockStrings(TGIFOutStream &stream, const QStringList &strings)
{
    for (const QString &s : strings) {
        const QByteArray bytes = s.toLatin1();
        for (qsizetype at = 0; at < bytes.size(); at += 255) {
            const qsizetype n = std::min<qsizetype>(255, bytes.size() - at);
            stream.Put(uint8_t(n));
            stream.Write(bytes.constData() + at, n);
        }
    }
    stream.Put(0);
}

void ReadSubBlockStrings(TGIFInStream &stream, QStringList &strings)
{
    strings.clear();
    uint8_t size = 0;
    while (stream.Get(size) && size != 0) {
        char buf[255];
        ReadExact(stream, buf, size);
        strings.append(QString::fromLatin1(buf, size));
    }
}

void SkipSubBlocks(TGIFInStream &stream)
{
    uint8_t size = 0;
    while (stream.Get(size) && size != 0)
        stream.Skip(size);
}

int ColorCountToBits(int count)
{
    if (count <= 0)
        return 0;
    if (count <= 2)
        return 1;
    int b = 1;
    while ((1 << b) < count)
        ++b;
    return b;
}

int DibRowBytes(int width, int bits, int alignment)
{
    const qint64 rowBits = qint64(width) * bits + alignment - 1;
    return int((rowBits - rowBits % alignment) >> 3);
}

QVector<QRgb> CreateWebSafePalette()
{
    QVector<QRgb> pal;
    pal.reserve(216);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                pal.append(qRgb(r * 51, g * 51, b * 51));
    return pal;
}

// ------------------------------------------------------------------- items

TGIFItem::~TGIFItem() = default;

void TGIFItem::Warning(uint8_t severity, const QString &message) const
{
    if (TGIFImage *img = Image())
        img->Warning(*img, severity, message);
}

namespace {

QByteArray ReadWholeFile(const QString &fileName)
{
    QFile f;
    QString error;
    if (!OpenRegularFile(f, fileName, &error))
        throw EGraphicFileError(GraphicCannotOpen(fileName, error));
    return ReadRestCapped(f, qint64(1) << 30, QStringLiteral("GIF file"));
}

void WriteWholeFile(const QString &fileName, const QByteArray &bytes)
{
    TSafeFile f(fileName);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw EGraphicFileError(QStringLiteral("Cannot write %1: %2").arg(fileName, f.errorString()));
}

} // namespace

void TGIFItem::SaveToFile(const QString &fileName)
{
    TGIFOutStream out;
    SaveToStream(out);
    WriteWholeFile(fileName, out.Bytes());
}

void TGIFItem::LoadFromFile(const QString &fileName)
{
    const QByteArray bytes = ReadWholeFile(fileName);
    TGIFInStream in(bytes);
    LoadFromStream(in);
}

template <class T>
void TGIFList<T>::Warning(uint8_t severity, const QString &message) const
{
    if (fImage)
        fImage->Warning(*fImage, severity, message);
}

// ------------------------------------------------------------- colour maps

namespace {
TColor TripletColor(const uint8_t *p) { return RGBToTColor(p[0], p[1], p[2]); }
} // namespace

void TGIFColorMap::SetCapacity(int needed)
{
    if (needed < fCapacity)
        return;
    int cap = needed <= 16 ? 16 : ((needed + 31) / 32) * 32;
    cap = std::min(cap, 256);
    fCapacity = cap;
    fData.resize(std::size_t(cap) * 3, 0);
}

void TGIFColorMap::Clear()
{
    fData.clear();
    fData.shrink_to_fit();
    fCount = 0;
    fCapacity = 0;
    fOptimized = false;
}

int TGIFColorMap::Add(TColor color)
{
    if (fCount >= 256)
        RaiseGIFError(TGIFMsg::ColorTableOverflow);
    if (fCount >= fCapacity)
        SetCapacity(fCount + 1);
    uint8_t *p = fData.data() + std::size_t(fCount) * 3;
    p[0] = uint8_t(color & 0xFF);
    p[1] = uint8_t((color >> 8) & 0xFF);
    p[2] = uint8_t((color >> 16) & 0xFF);
    const int index = fCount++;
    fOptimized = false;
    Changed();
    return index;
}

int TGIFColorMap::IndexOf(TColor color) const
{
    const TColor rgb = color & 0xFFFFFF;
    if (fOptimized) {
        for (int i = 0; i < fCount; ++i)
            if (TripletColor(fData.data() + i * 3) == rgb)
                return i;
    } else {
        for (int i = fCount - 1; i >= 0; --i)
            if (TripletColor(fData.data() + i * 3) == rgb)
                return i;
    }
    return -1;
}

int TGIFColorMap::AddUnique(TColor color)
{
    const int i = IndexOf(color);
    return i >= 0 ? i : Add(color);
}

void TGIFColorMap::Delete(int index)
{
    if (index < 0 || index >= fCount)
        RaiseGIFError(TGIFMsg::InvalidColor);
    std::memmove(fData.data() + index * 3, fData.data() + (index + 1) * 3, std::size_t(fCount - index - 1) * 3);
    --fCount;
    fOptimized = false;
    Changed();
}

TColor TGIFColorMap::Colors(int index) const
{
    if (index < 0 || index >= fCount) {
        Warning(1, GIFMessage(TGIFMsg::InvalidColor));
        index = 0;
        if (fCount == 0)
            RaiseGIFError(TGIFMsg::ColorTableEmpty);
    }
    return TripletColor(fData.data() + index * 3);
}

void TGIFColorMap::SetColors(int index, TColor color)
{
    if (index < 0 || index >= fCount)
        RaiseGIFError(TGIFMsg::InvalidColor);
    uint8_t *p = fData.data() + index * 3;
    p[0] = uint8_t(color & 0xFF);
    p[1] = uint8_t((color >> 8) & 0xFF);
    p[2] = uint8_t((color >> 16) & 0xFF);
    Changed();
}

void TGIFColorMap::ImportPalette(const QVector<QRgb> &palette)
{
    Clear();
    const int n = int(std::min<qsizetype>(palette.size(), 256));
    if (n == 0)
        return;
    SetCapacity(n);
    for (int i = 0; i < n; ++i) {
        fData[std::size_t(i) * 3] = uint8_t(qRed(palette[i]));
        fData[std::size_t(i) * 3 + 1] = uint8_t(qGreen(palette[i]));
        fData[std::size_t(i) * 3 + 2] = uint8_t(qBlue(palette[i]));
    }
    fCount = n;
    Changed();
}

void TGIFColorMap::ImportColorTable(const uint8_t *quads, int count)
{
    Clear();
    const int n = std::clamp(count, 0, 256);
    if (n == 0)
        return;
    SetCapacity(n);
    for (int i = 0; i < n; ++i) {
        fData[std::size_t(i) * 3] = quads[i * 4 + 2];
        fData[std::size_t(i) * 3 + 1] = quads[i * 4 + 1];
        fData[std::size_t(i) * 3 + 2] = quads[i * 4];
    }
    fCount = n;
    Changed();
}

void TGIFColorMap::ImportDIBColors(const TBitmap &bitmap) { ImportPalette(bitmap.Palette()); }

QVector<QRgb> TGIFColorMap::ExportPalette() const
{
    QVector<QRgb> pal;
    pal.reserve(fCount);
    for (int i = 0; i < fCount; ++i) {
        const uint8_t *p = fData.data() + i * 3;
        pal.append(qRgb(p[0], p[1], p[2]));
    }
    return pal;
}

void TGIFColorMap::Assign(const TGIFColorMap &source)
{
    if (&source == this)
        return;
    fCount = source.fCount;
    fCapacity = source.fCapacity;
    fOptimized = source.fOptimized;
    fData = source.fData;
    Changed();
}

void TGIFColorMap::LoadFromStream(TGIFInStream &stream, int count)
{
    Clear();
    count = std::clamp(count, 0, 256);
    SetCapacity(count);
    ReadExact(stream, fData.data(), qint64(count) * 3);
    fCount = count;
}

void TGIFColorMap::SaveToStream(TGIFOutStream &stream) const
{
    if (fCount == 0)
        return;
    stream.Write(fData.data(), qint64(fCount) * 3);
    const int full = 1 << ColorCountToBits(fCount);
    for (int i = fCount; i < full; ++i) {
        stream.Put(0);
        stream.Put(0);
        stream.Put(0);
    }
}

namespace {

// Largest use count first; middle element as pivot, recursion on the left
// part and a loop on the right.
void SortByUse(std::vector<TUsageCount> &h, int lo, int hi)
{
    while (lo < hi) {
        int i = lo, j = hi;
        const int pivot = h[std::size_t((lo + hi) / 2)].count;
        do {
            while (h[std::size_t(i)].count > pivot)
                ++i;
            while (h[std::size_t(j)].count < pivot)
                --j;
            if (i <= j) {
                std::swap(h[std::size_t(i)], h[std::size_t(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (lo < j)
            SortByUse(h, lo, j);
        lo = i;
    }
}

} // namespace

bool TGIFColorMap::DoOptimize()
{
    if (fCount < 2)
        return false;
    fOptimized = true;
    std::vector<TUsageCount> hist(static_cast<std::size_t>(fCount));
    for (int i = 0; i < fCount; ++i)
        hist[std::size_t(i)] = {0, i};
    BuildHistogram(hist);
    SortByUse(hist, 0, fCount - 1);
    bool moved = false;
    for (int i = 0; i < fCount; ++i)
        if (hist[std::size_t(i)].index != i)
            moved = true;
    if (!moved)
        return false;
    std::vector<uint8_t> map(256, 0);
    for (int i = 0; i < fCount; ++i)
        map[std::size_t(hist[std::size_t(i)].index)] = uint8_t(i);
    MapImages(map);
    std::vector<uint8_t> sorted(fData.size(), 0);
    int used = fCount;
    for (int i = 0; i < fCount; ++i) {
        std::memcpy(sorted.data() + i * 3, fData.data() + hist[std::size_t(i)].index * 3, 3);
        if (hist[std::size_t(i)].count == 0 && used == fCount)
            used = i;
    }
    fData = std::move(sorted);
    fCount = used;
    Changed();
    return true;
}

namespace {

void CountPixels(const TGIFSubImage &frame, std::vector<TUsageCount> &hist)
{
    const uint8_t *p = frame.Data();
    const qint64 n = frame.DataSize();
    for (qint64 i = 0; i < n; ++i)
        if (p[i] < hist.size())
            ++hist[p[i]].count;
}

void MapPixels(TGIFSubImage &frame, const std::vector<uint8_t> &map)
{
    uint8_t *p = frame.Data();
    const qint64 n = frame.DataSize();
    for (qint64 i = 0; i < n; ++i)
        p[i] = map[p[i]];
    if (TGIFGraphicControlExtension *gce = frame.GraphicControlExtension())
        gce->SetTransparentColorIndexRaw(map[gce->TransparentColorIndex()]);
}

} // namespace

void TGIFGlobalColorMap::Warning(uint8_t severity, const QString &message) const
{
    fHeader->Warning(severity, message);
}

void TGIFGlobalColorMap::BuildHistogram(std::vector<TUsageCount> &histogram)
{
    TGIFImage *img = fHeader->Image();
    for (int i = 0; i < img->Images().Count(); ++i)
        if (&img->Images()[i]->ActiveColorMap() == this)
            CountPixels(*img->Images()[i], histogram);
}

void TGIFGlobalColorMap::MapImages(const std::vector<uint8_t> &map)
{
    TGIFImage *img = fHeader->Image();
    for (int i = 0; i < img->Images().Count(); ++i)
        if (&img->Images()[i]->ActiveColorMap() == this)
            MapPixels(*img->Images()[i], map);
}

bool TGIFGlobalColorMap::Optimize()
{
    if (fHeader->Image()->Images().Count() == 0)
        return false;
    return DoOptimize();
}

void TGIFGlobalColorMap::Changed()
{
    // The picture's palette is derived from this table; it follows on its
    // next use.
}

void TGIFLocalColorMap::Warning(uint8_t severity, const QString &message) const
{
    fSubImage->Warning(severity, message);
}

void TGIFLocalColorMap::BuildHistogram(std::vector<TUsageCount> &histogram)
{
    CountPixels(*fSubImage, histogram);
}

void TGIFLocalColorMap::MapImages(const std::vector<uint8_t> &map) { MapPixels(*fSubImage, map); }

bool TGIFLocalColorMap::Optimize() { return DoOptimize(); }

void TGIFLocalColorMap::Changed() {}

// ------------------------------------------------------------------ header

TGIFHeader::TGIFHeader(TGIFImage *image) : TGIFItem(image), fColorMap(this) {}

void TGIFHeader::Clear()
{
    fColorMap.Clear();
    fWidth = fHeight = 0;
    fPacked = fBackgroundIndex = fAspectRatio = 0;
}

void TGIFHeader::Assign(const TGIFHeader &source)
{
    if (&source == this)
        return;
    fColorMap.Assign(source.fColorMap);
    fWidth = source.fWidth;
    fHeight = source.fHeight;
    fPacked = source.fPacked;
    fBackgroundIndex = source.fBackgroundIndex;
    fAspectRatio = source.fAspectRatio;
}

void TGIFHeader::Assign(const TGIFColorMap &source)
{
    Clear();
    fColorMap.Assign(source);
}

void TGIFHeader::Prepare()
{
    int packed = 0;
    if (fColorMap.Count() > 0) {
        packed |= 0x80;
        if (fColorMap.Optimized())
            packed |= 0x08;
    }
    int resolution = std::max(0, fColorMap.BitsPerPixel() - 1);
    if (TGIFImage *img = Image())
        for (int i = 0; i < img->Images().Count(); ++i)
            resolution = std::max(resolution, img->Images()[i]->ColorMap().BitsPerPixel() - 1);
    packed |= (resolution & 7) << 4;
    packed |= (fColorMap.BitsPerPixel() - 1) & 7;
    fPacked = uint8_t(packed);
}

void TGIFHeader::SaveToStream(TGIFOutStream &stream)
{
    const TGIFVersion v = Image() ? Image()->Version() : gvUnknown;
    if (v == gvUnknown)
        RaiseGIFError(TGIFMsg::UnsupportedVersion);
    stream.Write("GIF", 3);
    stream.Write(GIFVersionText(v).constData(), 3);
    Prepare();
    QByteArray d;
    wrU16(d, fWidth);
    wrU16(d, fHeight);
    d.append(char(fPacked));
    d.append(char(fBackgroundIndex));
    d.append(char(fAspectRatio));
    stream.Write(d.constData(), d.size());
    if (fPacked & 0x80)
        fColorMap.SaveToStream(stream);
}

void TGIFHeader::LoadFromStream(TGIFInStream &stream)
{
    const auto isGif = [](const uint8_t *s) {
        return (s[0] & 0xDF) == 'G' && (s[1] & 0xDF) == 'I' && (s[2] & 0xDF) == 'F';
    };
    const qint64 start = stream.Position();
    uint8_t sig[6];
    ReadExact(stream, sig, 6);
    if (!isGif(sig)) {
        stream.SetPosition(start + 4);
        ReadExact(stream, sig, 6);
        if (!isGif(sig))
            RaiseGIFError(TGIFMsg::BadSignature);
    }
    uint8_t d[7];
    ReadExact(stream, d, 7);
    fWidth = rdU16(d);
    fHeight = rdU16(d + 2);
    fPacked = d[4];
    fBackgroundIndex = d[5];
    fAspectRatio = d[6];
    if (fPacked & 0x80)
        fColorMap.LoadFromStream(stream, 2 << (fPacked & 7));
    else
        fColorMap.Clear();
}

// -------------------------------------------------------------- extensions

TGIFExtension::TGIFExtension(TGIFSubImage *frame) : TGIFItem(frame ? frame->Image() : nullptr), fSubImage(frame)
{
}

TGIFExtension::~TGIFExtension()
{
    if (fSubImage)
        fSubImage->Extensions().Remove(this);
}

TGIFImage *TGIFExtension::Image() const { return fSubImage ? fSubImage->Image() : fImage; }

void TGIFExtension::SaveToStream(TGIFOutStream &stream)
{
    stream.Put(0x21);
    stream.Put(GetExtensionType());
    SaveBody(stream);
}

void TGIFExtension::LoadFromStream(TGIFInStream &stream)
{
    uint8_t b[2];
    ReadExact(stream, b, 2);
    if (b[0] != 0x21)
        RaiseGIFError(TGIFMsg::BadExtensionIntroducer);
    if (b[1] != GetExtensionType())
        RaiseGIFError(TGIFMsg::ExtensionLabelMismatch);
    LoadBody(stream);
}

namespace {

const TGIFExtensionClass *SameClass(const TGIFExtensionClass *self, TGIFInStream &) { return self; }

template <class E>
std::unique_ptr<TGIFExtension> Make(TGIFSubImage *frame)
{
    return std::make_unique<E>(frame);
}

const TGIFExtensionClass *RefineApplication(const TGIFExtensionClass *self, TGIFInStream &stream)
{
    uint8_t size = 0;
    if (!stream.Get(size))
        return self;
    if (size == 11) {
        TGIFAppIdentifier ident{};
        if (stream.Read(ident.data(), 11) != 11)
            return &TGIFUnknownAppExtension::Class;
        const TGIFExtensionClass *cls = TAppExtensionList::Instance().Find(ident);
        return cls ? cls : &TGIFUnknownAppExtension::Class;
    }
    // 10-byte identifiers and longer blocks are kept as they are.
    if (size >= 10)
        return &TGIFUnknownAppExtension::Class;
    return self;
}

} // namespace

// ---- graphic control

const TGIFExtensionClass TGIFGraphicControlExtension::Class = {
    "TGIFGraphicControlExtension", 0xF9, &Make<TGIFGraphicControlExtension>, &SameClass};

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage *frame) : TGIFExtension(frame)
{
    if (frame && !frame->fGCE)
        frame->fGCE = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension()
{
    if (fSubImage && fSubImage->fGCE == this) {
        fSubImage->fGCE = nullptr;
        if (Transparent())
            fSubImage->fTransparent = false;
    }
}

void TGIFGraphicControlExtension::SetTransparent(bool on)
{
    fPacked = uint8_t(on ? fPacked | 0x01 : fPacked & ~0x01);
    if (fSubImage)
        fSubImage->fTransparent = on;
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int index)
{
    if (fSubImage) {
        const TGIFColorMap &map = fSubImage->ActiveColorMap();
        if (map.Count() > 0 && index >= map.Count()) {
            Warning(1, TGIFMsg::InvalidColor);
            index = 0;
        }
    }
    fTransparentIndex = uint8_t(index);
}

void TGIFGraphicControlExtension::SetTransparentColorIndexRaw(uint8_t index) { fTransparentIndex = index; }

void TGIFGraphicControlExtension::SaveBody(TGIFOutStream &stream)
{
    stream.Put(fBlockSize);
    stream.Put(fPacked);
    stream.Put(uint8_t(fDelay & 0xFF));
    stream.Put(uint8_t(fDelay >> 8));
    stream.Put(fTransparentIndex);
    stream.Put(0);
}

void TGIFGraphicControlExtension::LoadBody(TGIFInStream &stream)
{
    // Taken by its own length byte and skipped up to its terminator, so a
    // block of another length does not throw the reader off.
    uint8_t size = 0;
    uint8_t d[4] = {0, 0, 0, 0};
    bool complete = false;
    if (stream.Get(size)) {
        const qint64 want = std::min<int>(size, 4);
        complete = size >= 4 && stream.Read(d, want) == want;
        if (!complete)
            stream.Skip(std::min<qint64>(size, stream.Left()));
        else
            stream.Skip(size - 4);
        SkipSubBlocks(stream);
    }
    fBlockSize = 4;
    if (!complete) {
        Warning(1, TGIFMsg::PrematureEOF);
        return;
    }
    fPacked = d[0];
    fDelay = rdU16(d + 1);
    fTransparentIndex = d[3];
    if (Transparent() && fSubImage)
        fSubImage->fTransparent = true;
}

// ---- plain text

const TGIFExtensionClass TGIFTextExtension::Class = {"TGIFTextExtension", 0x01, &Make<TGIFTextExtension>,
                                                     &SameClass};

void TGIFTextExtension::SaveBody(TGIFOutStream &stream)
{
    QByteArray d;
    d.append(char(12));
    wrU16(d, GridLeft);
    wrU16(d, GridTop);
    wrU16(d, GridWidth);
    wrU16(d, GridHeight);
    d.append(char(CharWidth));
    d.append(char(CharHeight));
    d.append(char(ForegroundIndex));
    d.append(char(BackgroundIndex));
    stream.Write(d.constData(), d.size());
    WriteSubBlockStrings(stream, Text);
}

void TGIFTextExtension::LoadBody(TGIFInStream &stream)
{
    uint8_t size = 0;
    ReadExact(stream, &size, 1);
    uint8_t d[255] = {};
    ReadExact(stream, d, size);
    fBlockSize = 12;
    GridLeft = rdU16(d);
    GridTop = rdU16(d + 2);
    GridWidth = rdU16(d + 4);
    GridHeight = rdU16(d + 6);
    CharWidth = d[8];
    CharHeight = d[9];
    ForegroundIndex = d[10];
    BackgroundIndex = d[11];
    ReadSubBlockStrings(stream, Text);
}

// ---- comment

const TGIFExtensionClass TGIFCommentExtension::Class = {"TGIFCommentExtension", 0xFE,
                                                        &Make<TGIFCommentExtension>, &SameClass};

void TGIFCommentExtension::SaveBody(TGIFOutStream &stream) { WriteSubBlockStrings(stream, Comment); }

void TGIFCommentExtension::LoadBody(TGIFInStream &stream) { ReadSubBlockStrings(stream, Comment); }

// ---- application

// A block size below 10 names no class of its own; it is made as an unknown
// application extension whose read then refuses the size.
const TGIFExtensionClass TGIFApplicationExtension::Class = {
    "TGIFApplicationExtension", 0xFF, &Make<TGIFUnknownAppExtension>, &RefineApplication};

void TGIFApplicationExtension::SetIdentifier(const char (&ident)[12])
{
    std::memcpy(Identifier.data(), ident, 11);
}

void TGIFApplicationExtension::SaveBody(TGIFOutStream &stream)
{
    if (IdentifierBlockSize == 10) {
        stream.Put(10);
        stream.Write(Identifier.data(), 10);
    } else {
        stream.Put(uint8_t(11 + IdentifierExtra.size()));
        stream.Write(Identifier.data(), 11);
        if (!IdentifierExtra.empty())
            stream.Write(IdentifierExtra.data(), IdentifierExtra.size());
    }
    SaveData(stream);
}

void TGIFApplicationExtension::LoadBody(TGIFInStream &stream)
{
    uint8_t size = 0;
    ReadExact(stream, &size, 1);
    if (size < 10)
        RaiseGIFError(TGIFMsg::BadAppExtensionSize);
    Identifier.fill(0);
    IdentifierBlockSize = size;
    IdentifierExtra.clear();
    if (size == 10) {
        ReadExact(stream, Identifier.data(), 10);
    } else {
        ReadExact(stream, Identifier.data(), 11);
        IdentifierExtra.resize(size - 11u);
        if (!IdentifierExtra.empty())
            ReadExact(stream, IdentifierExtra.data(), IdentifierExtra.size());
    }
    LoadData(stream);
}

const TGIFExtensionClass TGIFUnknownAppExtension::Class = {"TGIFUnknownAppExtension", 0xFF,
                                                           &Make<TGIFUnknownAppExtension>, &SameClass};

void TGIFUnknownAppExtension::SaveData(TGIFOutStream &stream)
{
    for (const auto &b : Blocks) {
        stream.Put(uint8_t(b->Size));
        stream.Write(b->Data.data(), b->Size);
    }
    stream.Put(0);
}

void TGIFUnknownAppExtension::LoadData(TGIFInStream &stream)
{
    Blocks.clear();
    uint8_t size = 0;
    while (stream.Get(size) && size != 0) {
        auto block = std::make_unique<TGIFBlock>(size);
        ReadExact(stream, block->Data.data(), size);
        Blocks.push_back(std::move(block));
    }
}

const TGIFExtensionClass TGIFAppExtNSLoop::Class = {"TGIFAppExtNSLoop", 0xFF, &Make<TGIFAppExtNSLoop>,
                                                    &SameClass};

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage *frame) : TGIFApplicationExtension(frame)
{
    SetIdentifier("NETSCAPE2.0");
}

void TGIFAppExtNSLoop::SaveData(TGIFOutStream &stream)
{
    const uint8_t loop[4] = {3, 1, uint8_t(Loops & 0xFF), uint8_t(Loops >> 8)};
    stream.Write(loop, 4);
    if (BufferSize != 0) {
        const uint8_t buf[6] = {5,
                                2,
                                uint8_t(BufferSize & 0xFF),
                                uint8_t((BufferSize >> 8) & 0xFF),
                                uint8_t((BufferSize >> 16) & 0xFF),
                                uint8_t(BufferSize >> 24)};
        stream.Write(buf, 6);
    }
    stream.Put(0);
}

void TGIFAppExtNSLoop::LoadData(TGIFInStream &stream)
{
    uint8_t size = 0;
    while (stream.Get(size) && size != 0) {
        uint8_t d[255];
        ReadExact(stream, d, size);
        const int id = d[0] & 7;
        if (id == 1) {
            if (size < 3)
                RaiseGIFError(TGIFMsg::InvalidData);
            Loops = rdU16(d + 1);
        } else if (id == 2) {
            if (size < 5)
                RaiseGIFError(TGIFMsg::InvalidData);
            BufferSize = rdU32(d + 1);
        }
    }
}

// ---- registries

TExtensionList::TExtensionList()
{
    fEntries = {{0x01, &TGIFTextExtension::Class},
                {0xF9, &TGIFGraphicControlExtension::Class},
                {0xFE, &TGIFCommentExtension::Class},
                {0xFF, &TGIFApplicationExtension::Class}};
}

TExtensionList &TExtensionList::Instance()
{
    static TExtensionList list;
    return list;
}

void TExtensionList::Add(uint8_t label, const TGIFExtensionClass *cls) { fEntries.emplace_back(label, cls); }

const TGIFExtensionClass *TExtensionList::Find(uint8_t label) const
{
    for (auto it = fEntries.rbegin(); it != fEntries.rend(); ++it)
        if (it->first == label)
            return it->second;
    return nullptr;
}

namespace {
TGIFAppIdentifier Ident(const char (&s)[12])
{
    TGIFAppIdentifier id{};
    std::memcpy(id.data(), s, 11);
    return id;
}
} // namespace

TAppExtensionList::TAppExtensionList()
{
    fEntries = {{Ident("NETSCAPE2.0"), &TGIFAppExtNSLoop::Class}, {Ident("ANIMEXTS1.0"), &TGIFAppExtNSLoop::Class}};
}

TAppExtensionList &TAppExtensionList::Instance()
{
    static TAppExtensionList list;
    return list;
}

void TAppExtensionList::Add(const TGIFAppIdentifier &ident, const TGIFExtensionClass *cls)
{
    fEntries.emplace_back(ident, cls);
}

const TGIFExtensionClass *TAppExtensionList::Find(const TGIFAppIdentifier &ident) const
{
    for (auto it = fEntries.rbegin(); it != fEntries.rend(); ++it)
        if (it->first == ident)
            return it->second;
    return nullptr;
}

// ---- extension list

TGIFExtensionList::TGIFExtensionList(TGIFSubImage *frame)
    : TGIFList<TGIFExtension>(frame ? frame->Image() : nullptr), fSubImage(frame)
{
}

void TGIFExtensionList::LoadFromStream(TGIFInStream &stream, TGIFSubImage *frame)
{
    uint8_t b = 0;
    if (!stream.Get(b))
        return;
    while (b != 0x2C && b != 0x3B) {
        if (b != 0x21) {
            frame->Warning(1, TGIFMsg::BadExtensionIntroducer);
            break;
        }
        const qint64 introducer = stream.Position() - 1;
        uint8_t label = 0;
        if (!stream.Get(label))
            RaiseGIFError(TGIFMsg::PrematureEOF);
        const TGIFExtensionClass *cls = TExtensionList::Instance().Find(label);
        if (!cls) {
            // An extension nobody knows is passed over; the frames stay.
            frame->Warning(1, TGIFMsg::UnknownExtension);
            SkipSubBlocks(stream);
        } else {
            const qint64 afterLabel = stream.Position();
            for (int round = 0; round < 8; ++round) {
                stream.SetPosition(afterLabel);
                const TGIFExtensionClass *next = cls->refine(cls, stream);
                if (!next || next == cls)
                    break;
                cls = next;
            }
            stream.SetPosition(introducer);
            std::unique_ptr<TGIFExtension> ext = cls->create(frame);
            ext->LoadFromStream(stream);
            Add(std::move(ext));
        }
        if (!stream.Get(b))
            return;
    }
    stream.Skip(-1);
}

// ---- trailer

void TGIFTrailer::SaveToStream(TGIFOutStream &stream) { stream.Put(0x3B); }

void TGIFTrailer::LoadFromStream(TGIFInStream &stream)
{
    uint8_t b = 0;
    if (stream.Get(b) && b != 0x3B)
        Warning(1, TGIFMsg::BadTrailer);
}

// ------------------------------------------------------------------ frames

TGIFSubImage::TGIFSubImage(TGIFImage *image) : TGIFItem(image), fColorMap(this), fExtensions(this) {}

TGIFSubImage::~TGIFSubImage()
{
    if (fImage)
        fImage->Images().Remove(this);
    fExtensions.Clear();
}

void TGIFSubImage::Clear()
{
    fExtensions.Clear();
    fColorMap.Clear();
    fData.clear();
    fData.shrink_to_fit();
    SetBounds(fLeft, fTop, 0, 0);
    fTransparent = false;
    fGCE = nullptr;
    FreeBitmap();
}

bool TGIFSubImage::Empty() const { return fData.empty() || fWidth == 0 || fHeight == 0; }

void TGIFSubImage::AllocateData(uint8_t fill)
{
    const qint64 n = qint64(fWidth) * fHeight;
    if (n > TBitmap::MaxPixels())
        RaiseGIFError(TGIFMsg::ImageTooLarge);
    fData.assign(std::size_t(n), fill);
}

void TGIFSubImage::SetBounds(int left, int top, int width, int height)
{
    left = std::clamp(left, 0, 0xFFFF);
    top = std::clamp(top, 0, 0xFFFF);
    width = std::clamp(width, 0, 0xFFFF);
    height = std::clamp(height, 0, 0xFFFF);
    if (width != fWidth || height != fHeight) {
        if (qint64(width) * height > TBitmap::MaxPixels())
            RaiseGIFError(TGIFMsg::ImageTooLarge);
        fWidth = uint16_t(width);
        fHeight = uint16_t(height);
        AllocateData(0);
        FreeBitmap();
    }
    fLeft = uint16_t(left);
    fTop = uint16_t(top);
    if (!fImage)
        return;
    TGIFHeader &h = fImage->Header();
    bool grown = false;
    if (h.Width() < left + width) {
        if (h.Width() > 0) {
            Warning(1, TGIFMsg::WidthTooSmall);
            grown = true;
        }
        h.SetWidth(std::min(left + width, 0xFFFF));
    }
    if (h.Height() < top + height) {
        if (h.Height() > 0) {
            Warning(1, TGIFMsg::HeightTooSmall);
            grown = true;
        }
        h.SetHeight(std::min(top + height, 0xFFFF));
    }
    if (grown)
        Warning(1, TGIFMsg::ExceedsScreen);
}

TGIFVersion TGIFSubImage::GetVersion() const
{
    if (fColorMap.Optimized())
        return gv89a;
    TGIFVersion v = gv87a;
    for (int i = 0; i < fExtensions.Count() && v < gv89a; ++i)
        v = std::max(v, fExtensions[i]->GetVersion());
    return v;
}

TGIFColorMap &TGIFSubImage::ActiveColorMap()
{
    if (fColorMap.Count() > 0 || !fImage || fImage->Header().ColorMap().Count() == 0)
        return fColorMap;
    return fImage->Header().ColorMap();
}

const TGIFColorMap &TGIFSubImage::ActiveColorMap() const
{
    return const_cast<TGIFSubImage *>(this)->ActiveColorMap();
}

void TGIFSubImage::CheckPixelCoordinates(int x, int y) const
{
    if (fData.empty())
        RaiseGIFError(TGIFMsg::ImageEmpty);
    if (x < 0 || x >= fWidth || y < 0 || y >= fHeight)
        RaiseGIFError(TGIFMsg::BadPixelCoordinates);
}

uint8_t TGIFSubImage::Pixels(int x, int y) const
{
    CheckPixelCoordinates(x, y);
    return fData[std::size_t(y) * fWidth + std::size_t(x)];
}

void TGIFSubImage::SetPixels(int x, int y, uint8_t index)
{
    CheckPixelCoordinates(x, y);
    fData[std::size_t(y) * fWidth + std::size_t(x)] = index;
    FreeBitmap();
}

uint8_t *TGIFSubImage::ScanLine(int y)
{
    CheckPixelCoordinates(0, y);
    return fData.data() + std::size_t(y) * fWidth;
}

void TGIFSubImage::SaveToStream(TGIFOutStream &stream)
{
    fExtensions.SaveToStream(stream);
    if (Empty())
        return;
    if (fColorMap.Count() > 0)
        fPacked = uint8_t(0x80 | (fColorMap.Optimized() ? 0x20 : 0) | ((fColorMap.BitsPerPixel() - 1) & 7));
    else
        fPacked &= 0x40 | 0x10 | 0x08;
    QByteArray d;
    d.append(char(0x2C));
    wrU16(d, fLeft);
    wrU16(d, fTop);
    wrU16(d, fWidth);
    wrU16(d, fHeight);
    d.append(char(fPacked));
    stream.Write(d.constData(), d.size());
    fColorMap.SaveToStream(stream);
    CompressFrame(*this, stream);
}

void TGIFSubImage::LoadFromStream(TGIFInStream &stream)
{
    Clear();
    fExtensions.LoadFromStream(stream, this);
    if (stream.AtEnd())
        return;
    // Only an image separator starts a descriptor; anything else is left
    // for the block loop to judge.
    if (stream.Data()[stream.Position()] != 0x2C)
        return;
    uint8_t d[10];
    ReadExact(stream, d, 10);
    int width = rdU16(d + 5);
    int height = rdU16(d + 7);
    fLeft = rdU16(d + 1);
    fTop = rdU16(d + 3);
    fPacked = d[9];
    if (width == 0 || height == 0) {
        width = fImage ? fImage->Header().Width() : 0;
        height = fImage ? fImage->Header().Height() : 0;
        Warning(1, TGIFMsg::ExceedsScreen);
    }
    if (qint64(width) * height > TBitmap::MaxPixels())
        RaiseGIFError(TGIFMsg::ImageTooLarge);
    fWidth = uint16_t(width);
    fHeight = uint16_t(height);
    if (fPacked & 0x80)
        fColorMap.LoadFromStream(stream, 2 << (fPacked & 7));
    DecodeFrameLZW(*this, stream);
}

void TGIFImageList::LoadFromStream(TGIFInStream &stream, TGIFImage *image)
{
    uint8_t b = 0;
    const auto skipZeros = [&] {
        while (stream.Get(b))
            if (b != 0)
                return true;
        return false;
    };
    if (!skipZeros())
        return;
    while (b != 0x3B) {
        stream.Skip(-1);
        if (b != 0x21 && b != 0x2C) {
            // Nothing after an unknown block can be trusted: the frames read
            // so far are kept and the rest is not read.
            Warning(1, GIFMessage(TGIFMsg::UnknownBlockType));
            stream.SetPosition(stream.Size());
            return;
        }
        auto frame = std::make_unique<TGIFSubImage>(image);
        frame->LoadFromStream(stream);
        Add(std::move(frame));
        const qint64 size = std::max<qint64>(1, stream.Size());
        image->Progress(int(stream.Position() * 100 / size), TGIFMsg::ProgressLoading);
        if (!skipZeros())
            return;
    }
    stream.Skip(-1);
}

// ----------------------------------------------------------------- picture

TGIFImage::TGIFImage() : fHeader(this), fImages(this) {}

TGIFImage::~TGIFImage()
{
    StopPainters();
    for (auto &p : fPainters)
        p->DetachImage();
    fPainters.clear();
    // Frames remove themselves from the list while they are freed.
    while (fImages.Count() > 0)
        fImages.Delete(fImages.Count() - 1);
}

void TGIFImage::Clear()
{
    StopPainters();
    FreeRendered();
    while (fImages.Count() > 0)
        fImages.Delete(fImages.Count() - 1);
    fHeader.Clear();
    fHeader.Prepare();
    fPalette.clear();
    fHasPalette = false;
}

TGIFVersion TGIFImage::Version() const
{
    TGIFVersion v = gvUnknown;
    for (int i = 0; i < fImages.Count() && v < gv89a; ++i)
        v = std::max(v, fImages[i]->GetVersion());
    return v;
}

void TGIFImage::Warning(TGIFImage &sender, uint8_t severity, const QString &message)
{
    if (OnWarning)
        OnWarning(sender, severity, message);
}

void TGIFImage::Progress(int percent, TGIFMsg message)
{
    if (OnProgress)
        OnProgress(*this, percent, GIFMessage(message));
}

void TGIFImage::GrowScreenToFrames()
{
    // Drawing scales frames by the screen size: it must cover every frame.
    for (int i = 0; i < fImages.Count(); ++i) {
        const TGIFSubImage &f = *fImages[i];
        if (f.Empty())
            continue;
        fHeader.SetWidth(std::max(fHeader.Width(), std::min(f.Left() + f.Width(), 0xFFFF)));
        fHeader.SetHeight(std::max(fHeader.Height(), std::min(f.Top() + f.Height(), 0xFFFF)));
    }
}

void TGIFImage::ReadFile(TGIFInStream &stream)
{
    Progress(0, TGIFMsg::ProgressLoading);
    try {
        fHeader.LoadFromStream(stream);
        fImages.LoadFromStream(stream, this);
        TGIFTrailer trailer(this);
        trailer.LoadFromStream(stream);
        GrowScreenToFrames();
    } catch (...) {
        Progress(0, TGIFMsg::ProgressLoading);
        throw;
    }
    Progress(100, TGIFMsg::ProgressLoading);
}

void TGIFImage::WriteFile(TGIFOutStream &stream)
{
    Progress(0, TGIFMsg::ProgressSaving);
    try {
        fHeader.SaveToStream(stream);
        const int n = fImages.Count();
        for (int i = 0; i < n; ++i) {
            fImages[i]->SaveToStream(stream);
            Progress((i + 1) * 100 / n, TGIFMsg::ProgressSaving);
        }
        TGIFTrailer trailer(this);
        trailer.SaveToStream(stream);
    } catch (...) {
        Progress(0, TGIFMsg::ProgressSaving);
        throw;
    }
    Progress(100, TGIFMsg::ProgressSaving);
}

void TGIFImage::TakeOver(TGIFImage &other)
{
    Clear();
    fHeader.Assign(other.fHeader);
    for (auto &frame : other.fImages.fItems) {
        frame->fImage = this;
        frame->fExtensions.fImage = this;
        fImages.fItems.push_back(std::move(frame));
    }
    other.fImages.fItems.clear();
}

qint64 TGIFImage::LoadFromMemory(const QByteArray &data)
{
    TGIFInStream in(data);
    TGIFImage fresh;
    fresh.OnWarning = [this](TGIFImage &, uint8_t severity, const QString &msg) { Warning(*this, severity, msg); };
    fresh.OnProgress = [this](TGIFImage &, int percent, const QString &msg) {
        if (OnProgress)
            OnProgress(*this, percent, msg);
    };
    fresh.ReadFile(in);
    TakeOver(fresh);
    return in.Position();
}

void TGIFImage::LoadFromBytes(const QByteArray &data) { LoadFromMemory(data); }

void TGIFImage::LoadFromStream(QIODevice &stream)
{
    const qint64 start = stream.pos();
    const qint64 used = LoadFromMemory(ReadRestCapped(stream, qint64(1) << 30, QStringLiteral("GIF file")));
    if (!stream.isSequential())
        stream.seek(start + used);
}

QByteArray TGIFImage::SaveToBytes()
{
    TGIFOutStream out;
    WriteFile(out);
    return out.Bytes();
}

void TGIFImage::SaveToStream(QIODevice &stream)
{
    const QByteArray bytes = SaveToBytes();
    if (stream.write(bytes) != bytes.size())
        throw EGraphicFileError(
            GraphicFault("showmsg_gif_not_written", QStringLiteral("Die GIF-Daten konnten nicht geschrieben werden"),
                         stream.errorString()));
}

void TGIFImage::LoadFromFile(const QString &fileName) { LoadFromBytes(ReadWholeFile(fileName)); }

void TGIFImage::SaveToFile(const QString &fileName) { WriteWholeFile(fileName, SaveToBytes()); }

} // namespace zk
