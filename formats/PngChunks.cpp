#include "PngChunks.h"

#include "GraphicText.h"
#include "PNGImage.h"
#include "PngRows.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

uint32_t readU32(const QByteArray &d, int at)
{
    if (d.size() < at + 4)
        return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(d.constData()) + at;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void writeU32(QByteArray &d, int at, uint32_t v)
{
    if (d.size() < at + 4)
        d.resize(at + 4, '\0');
    d[at] = char(v >> 24);
    d[at + 1] = char(v >> 16);
    d[at + 2] = char(v >> 8);
    d[at + 3] = char(v);
}

void appendU32(QByteArray &d, uint32_t v)
{
    writeU32(d, int(d.size()), v);
}

} // namespace

// ---- errors ---------------------------------------------------------------

EPNGImageException::EPNGImageException(int id, const QString &message)
    : EInvalidGraphic(message), fId(id)
{
}

QString PngErrorText(int id)
{
    // The German texts are the codec's own; the language file gives the
    // others under these keys.
    struct Row {
        int id;
        const char *key;
        const char *german;
    };
    static const Row rows[] = {
        {peNoTransparentColour, "showmsg_png_no_transparent_colour",
         "Kann die Transparenz-Information nicht finden, da das aktuelle Bild nicht im RGB-Modell (Wert 3) ist"},
        {peChunkNotInList, "showmsg_png_chunk_not_in_list",
         "Der angegebene Chunk ist nicht innerhalb der Chunk-Liste der verwendeten Methoden. Die Funktion kann "
         "nicht beendet werden."},
        {peInvalidHeader, "showmsg_png_invalid_header",
         "Ungültiges Portable-Graphics-Network-Bild. Es besitzt einen ungültigen Datei-Header."},
        {peChunkIndex, "showmsg_png_chunk_index", "Der angegebene Chunk-Index ist außerhalb des Bereichs."},
        {peChunkClassIndex, "showmsg_png_chunk_class_index",
         "Der angegebene Chunk-Klassenindex ist außerhalb des Bereichs."},
        {peDamagedData, "showmsg_png_damaged_data", "Das PNG-Bild kann nicht geladen werden. Es enthält defekte Daten."},
        {peMissingIHDR, "showmsg_png_missing_ihdr",
         "Das PNG-Bild ist ungültig. Der Chunk IHDR fehlt entweder oder ist nicht der erste Chunk."},
        {peNoImageData, "showmsg_png_no_image_data",
         "Das aktuell geladene Bild enthält keine Daten und kann nicht geladen werden."},
        {peInvalidPalette, "showmsg_png_invalid_palette", "Das aktuell geladene Bild enthält eine ungültige Palette!"},
        {peUnknownColourType, "showmsg_png_unknown_colour_type",
         "Das Bild kann nicht geladen werden, es enthält einen unbekannten Farbtyp."},
        {peUnknownFilterType, "showmsg_png_unknown_filter_type",
         "Das Bild kann nicht geladen werden, es enthält eine unbekannte Zahl von Filter-Typen."},
        {peUnknownInterlace, "showmsg_png_unknown_interlace", "Das Bild besitzt eine unbekannte Interlace-Methode."},
        {peUnknownCriticalChunk, "showmsg_png_unknown_critical_chunk",
         "Das aktuell zu ladende Bild enthält kritische Chunk, die vom Decoder nicht erkannt werden."},
        {peMissingPalette, "showmsg_png_missing_palette", "Das aktuelle Bild verlangt eine nicht verfügbare Palette."},
        {peEmptyImage, "showmsg_png_empty_image",
         "Ein leeres Bild (Breite oder Höhe 0) kann nicht als PNG gespeichert werden."},
        {peImageTooLarge, "showmsg_png_image_too_large", "Das PNG-Bild ist zu groß und kann nicht geladen werden."},
    };
    for (const Row &row : rows)
        if (row.id == id)
            return GraphicText(row.key, QString::fromUtf8(row.german));
    return QString();
}

namespace {
QString formatPngMessage(const QString &text)
{
    return GraphicText("showmsg_png_handler_error", QStringLiteral("Portable Network Graphics format handler error")) +
           QStringLiteral("\r\n\r\n") + text;
}
} // namespace

void RaisePngError(const QString &text)
{
    throw EPNGImageException(0, formatPngMessage(text));
}

void RaisePngError(int id)
{
    throw EPNGImageException(id, formatPngMessage(PngErrorText(id)));
}

void RaisePngError(int id, const QString &detail)
{
    throw EPNGImageException(id, formatPngMessage(PngErrorText(id) + QStringLiteral(" (") + detail +
                                                  QLatin1Char(')')));
}

QString ChunkNameText(const TChunkName &name)
{
    return QString::fromLatin1(name.data(), 4);
}

// ---- TChunk ---------------------------------------------------------------

TChunk::TChunk(TChunkList *owner) : fOwner(owner) {}

TChunk::~TChunk() = default;

TPNGImage *TChunk::Image() const
{
    return fOwner ? fOwner->Owner() : nullptr;
}

void TChunk::AfterLoad() {}

void TChunk::Assign(const TChunk &source)
{
    fData = source.fData;
    fChunkType = source.fChunkType;
}

TChunkClass TChunk::ClassType() const
{
    return &CreateChunk<TChunk>;
}

void TChunk::SaveToStream(QIODevice &stream)
{
    WriteChunk(stream);
}

void TChunk::WriteChunk(QIODevice &stream)
{
    // Safe-to-copy chunks (lower-case fourth letter) are left out.
    const char last = fChunkType[3];
    if (last >= 'a' && last <= 'z')
        return;
    // Length and type, the data where it lies (a picture's image data is
    // most of the file: no second copy of it), then the CRC of type and data.
    QByteArray head;
    appendU32(head, uint32_t(fData.size()));
    head.append(fChunkType.data(), 4);
    uint32_t crc = png::Crc32Update(0xFFFFFFFFu, reinterpret_cast<const uint8_t *>(head.constData()) + 4, 4);
    crc = png::Crc32Update(crc, reinterpret_cast<const uint8_t *>(fData.constData()), size_t(fData.size()));
    QByteArray tail;
    appendU32(tail, crc ^ 0xFFFFFFFFu);
    if (stream.write(head) != head.size() || stream.write(fData) != fData.size() || stream.write(tail) != tail.size())
        throw EGraphicFileError(stream.errorString());
}

// ---- IHDR -----------------------------------------------------------------

TChunkIHDR::TChunkIHDR(TChunkList *owner) : TChunk(owner)
{
    Data().fill('\0', 13);
}

uint32_t TChunkIHDR::Width() const
{
    return readU32(Data(), 0);
}

uint32_t TChunkIHDR::Height() const
{
    return readU32(Data(), 4);
}

void TChunkIHDR::SetWidth(uint32_t v)
{
    writeU32(Data(), 0, v);
}

void TChunkIHDR::SetHeight(uint32_t v)
{
    writeU32(Data(), 4, v);
}

uint8_t TChunkIHDR::Field(int index) const
{
    const int at = 8 + index;
    return index >= 0 && index < 5 && Data().size() > at ? uint8_t(Data()[at]) : 0;
}

void TChunkIHDR::SetField(int index, uint8_t v)
{
    if (index < 0 || index >= 5)
        return;
    if (Data().size() < 13)
        Data().resize(13, '\0');
    Data()[8 + index] = char(v);
}

void TChunkIHDR::Validate() const
{
    if (Data().size() != 13)
        RaisePngError(peMissingIHDR);
    const uint32_t w = Width(), h = Height();
    if (w == 0 || h == 0)
        RaisePngError(peMissingIHDR);
    // The format caps each side at 2^31-1; the bitmap caps the pixel count.
    if (w > 0x7FFFFFFFu || h > 0x7FFFFFFFu || uint64_t(w) * h > uint64_t(TBitmap::MaxPixels()))
        RaisePngError(peImageTooLarge, QStringLiteral("%1 x %2 > %3").arg(w).arg(h).arg(TBitmap::MaxPixels()));
    if (!png::ValidColourDepth(ColorType(), BitDepth()))
        RaisePngError(peUnknownColourType);
    if (CompressionMethod() != 0)
        RaisePngError(peMissingIHDR);
    if (FilterMethod() != 0)
        RaisePngError(peUnknownFilterType);
    if (InterlaceMethod() > 1)
        RaisePngError(peUnknownInterlace);
}

void TChunkIHDR::AfterLoad()
{
    Validate();
}

void TChunkIHDR::SaveToStream(QIODevice &stream)
{
    TPNGImage *img = Image();
    Data().resize(13, '\0');
    SetField(2, 0);
    SetField(3, 0);
    SetField(4, 0);
    SetWidth(uint32_t(img->Width()));
    SetHeight(uint32_t(img->Height()));
    switch (img->PixelFormat()) {
    case pf1bit: case pf4bit: case pf8bit:
        SetField(1, 3);
        SetField(0, uint8_t(img->BitsPerPixel()));
        break;
    default:
        img->SetPixelFormat(pf24bit);
        SetField(1, 2);
        SetField(0, 8);
        break;
    }
    WriteChunk(stream);
}

// ---- PLTE -----------------------------------------------------------------

TChunkPLTE::TChunkPLTE(TChunkList *owner) : TChunk(owner) {}

void TChunkPLTE::Assign(const TChunk &source)
{
    TChunk::Assign(source);
    fPalette.clear();
}

const QList<QRgb> &TChunkPLTE::Palette()
{
    const QByteArray &d = Data();
    if (d.isEmpty() || d.size() % 3 != 0 || d.size() > 768)
        RaisePngError(peInvalidPalette);
    const TChunkList *list = Owner();
    const TChunkGAMA *gama = list ? list->Find<TChunkGAMA>() : nullptr;
    const bool useGamma = gama && gama->Valid() && list->IndexOf(gama) < list->IndexOf(this);
    const TChunkIHDR *ihdr = list ? list->Find<TChunkIHDR>() : nullptr;
    const int depth = ihdr ? ihdr->BitDepth() : 8;

    const auto *p = reinterpret_cast<const uint8_t *>(d.constData());
    int n = int(d.size() / 3);
    // Entries beyond what the depth can index are never used.
    if (depth >= 1 && depth <= 8)
        n = std::min(n, 1 << depth);
    QList<QRgb> pal;
    pal.reserve(16);
    for (int i = 0; i < n; ++i) {
        uint8_t r = p[3 * i], g = p[3 * i + 1], b = p[3 * i + 2];
        if (useGamma) {
            const auto &t = gama->GammaTable();
            r = t[r];
            g = t[g];
            b = t[b];
        }
        pal.append(qRgb(r, g, b));
    }
    if (depth == 2) {
        // 2-bit pictures live in a 4-bit bitmap: a short palette is made up
        // with black, then entries 0-3 repeat over the 16.
        while (pal.size() < 4)
            pal.append(qRgb(0, 0, 0));
        for (int i = 4; i < 16; ++i)
            pal.append(pal[i % 4]);
    }
    fPalette = pal;
    return fPalette;
}

void TChunkPLTE::SaveToStream(QIODevice &stream)
{
    Data().clear();
    TPNGImage *img = Image();
    const int bits = img->BitsPerPixel();
    if (bits > 8)
        return;
    QVector<QRgb> pal = img->Palette();
    // Indices beyond the palette read as black in the bitmap; write them so,
    // or decoders reject the file. Never more entries than the depth can
    // index.
    int highest = -1;
    if (pal.size() < (1 << bits)) {
        for (int y = 0; y < img->Height(); ++y) {
            const uchar *row = img->ScanLine(y);
            for (int x = 0; x < img->Width(); ++x) {
                int v;
                if (bits == 8)
                    v = row[x];
                else if (bits == 4)
                    v = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
                else
                    v = (row[x >> 3] >> (7 - (x & 7))) & 1;
                highest = std::max(highest, v);
            }
        }
    }
    while (pal.size() <= highest)
        pal.append(qRgb(0, 0, 0));
    if (pal.size() > (1 << bits))
        pal.resize(1 << bits);
    if (pal.isEmpty())
        pal.append(qRgb(0, 0, 0));
    const TChunkGAMA *gama = Owner()->Find<TChunkGAMA>();
    const bool useGamma = gama && gama->Valid();
    QByteArray &d = Data();
    d.reserve(pal.size() * 3);
    for (QRgb c : pal) {
        uint8_t r = uint8_t(qRed(c)), g = uint8_t(qGreen(c)), b = uint8_t(qBlue(c));
        if (useGamma) {
            const auto &t = gama->InverseTable();
            r = t[r];
            g = t[g];
            b = t[b];
        }
        d.append(char(r));
        d.append(char(g));
        d.append(char(b));
    }
    WriteChunk(stream);
}

// ---- IEND -----------------------------------------------------------------

TChunkIEND::TChunkIEND(TChunkList *owner) : TChunk(owner) {}

void TChunkIEND::SaveToStream(QIODevice &stream)
{
    Data().clear(); // IEND carries nothing, whatever the file we read held
    WriteChunk(stream);
}

// ---- gAMA -----------------------------------------------------------------

TChunkGAMA::TChunkGAMA(TChunkList *owner) : TChunk(owner)
{
    SetGamma(1);
}

uint32_t TChunkGAMA::Gamma() const
{
    return Data().size() == 4 ? readU32(Data(), 0) : 0;
}

void TChunkGAMA::SetGamma(uint32_t v)
{
    Data().clear();
    writeU32(Data(), 0, v);
    BuildTables();
}

bool TChunkGAMA::Valid() const
{
    return Gamma() != 0;
}

void TChunkGAMA::BuildTables()
{
    if (!Valid()) {
        for (int i = 0; i < 256; ++i)
            fGamma[size_t(i)] = fInverse[size_t(i)] = uint8_t(i);
        return;
    }
    const double exponent = double(Gamma()) / 100000.0 * 2.2;
    std::array<bool, 256> reached{};
    for (int i = 0; i < 256; ++i) {
        const double v = 255.0 * std::pow(i / 255.0, 1.0 / exponent);
        fGamma[size_t(i)] = uint8_t(std::clamp(std::nearbyint(v), 0.0, 255.0));
    }
    for (int i = 0; i < 256; ++i) {
        fInverse[fGamma[size_t(i)]] = uint8_t(i);
        reached[fGamma[size_t(i)]] = true;
    }
    // Values no input reaches still need an answer when a picture is saved:
    // the exact inverse curve gives it.
    for (int v = 0; v < 256; ++v) {
        if (reached[size_t(v)])
            continue;
        const double i = 255.0 * std::pow(v / 255.0, exponent);
        fInverse[size_t(v)] = uint8_t(std::clamp(std::nearbyint(i), 0.0, 255.0));
    }
}

void TChunkGAMA::AfterLoad()
{
    BuildTables();
}

void TChunkGAMA::Assign(const TChunk &source)
{
    TChunk::Assign(source);
    if (auto *g = dynamic_cast<const TChunkGAMA *>(&source)) {
        fGamma = g->fGamma;
        fInverse = g->fInverse;
    } else {
        BuildTables();
    }
}

void TChunkGAMA::SaveToStream(QIODevice &stream)
{
    if (Valid())
        WriteChunk(stream);
}

// ---- tEXt -----------------------------------------------------------------

TChunkTEXT::TChunkTEXT(TChunkList *owner) : TChunk(owner)
{
    Data().fill('\0', 2);
}

// ---- tRNS -----------------------------------------------------------------

TChunkTRNS::TChunkTRNS(TChunkList *owner) : TChunk(owner) {}

QRgb TChunkTRNS::TransparentColor() const
{
    const TChunkIHDR *ihdr = Owner() ? Owner()->Find<TChunkIHDR>() : nullptr;
    if (!ihdr || ihdr->ColorType() != 2)
        RaisePngError(peNoTransparentColour);
    const auto *p = reinterpret_cast<const uint8_t *>(Data().constData());
    if (Data().size() == 6) {
        // Three 16-bit samples; the bitmap keeps the high byte of 16-bit
        // pictures and the low byte is the whole value of 8-bit ones.
        const int k = ihdr->BitDepth() == 16 ? 0 : 1;
        return qRgb(p[k], p[2 + k], p[4 + k]);
    }
    if (Data().size() == 3)
        return qRgb(p[0], p[1], p[2]);
    RaisePngError(peNoTransparentColour);
}

void TChunkTRNS::SaveToStream(QIODevice &stream)
{
    Data().clear();
    const TChunkIHDR *ihdr = Owner()->Find<TChunkIHDR>();
    if (!ihdr || ihdr->ColorType() != 2)
        return;
    const TColor c = Image()->TransparentColor();
    const char bytes[6] = {0, char(c & 0xFF), 0, char((c >> 8) & 0xFF), 0, char((c >> 16) & 0xFF)};
    Data().append(bytes, 6);
    WriteChunk(stream);
}

// ---- TChunkList -----------------------------------------------------------

TChunkList::TChunkList(TPNGImage *owner) : fOwner(owner) {}

TChunkList::~TChunkList() = default;

TChunk *TChunkList::Item(int index) const
{
    if (index < 0 || index >= Count())
        RaisePngError(peChunkIndex);
    return fItems[size_t(index)].get();
}

void TChunkList::Move(int from, int to)
{
    if (from < 0 || from >= Count() || to < 0 || to >= Count())
        RaisePngError(peChunkIndex);
    auto c = std::move(fItems[size_t(from)]);
    fItems.erase(fItems.begin() + from);
    fItems.insert(fItems.begin() + to, std::move(c));
}

TChunk *TChunkList::Add(std::unique_ptr<TChunk> chunk)
{
    chunk->fOwner = this;
    fItems.push_back(std::move(chunk));
    return fItems.back().get();
}

TChunk *TChunkList::AddClass(TChunkClass cls)
{
    return Add(cls(this));
}

void TChunkList::Remove(TChunk *chunk)
{
    const int i = IndexOf(chunk);
    if (i < 0)
        RaisePngError(peChunkNotInList);
    fItems.erase(fItems.begin() + i);
}

int TChunkList::ItemFromClass(TChunkClass cls) const
{
    for (size_t i = 0; i < fItems.size(); ++i)
        if (fItems[i]->ClassType() == cls)
            return int(i);
    return -1;
}

int TChunkList::IndexOf(const TChunk *chunk) const
{
    for (size_t i = 0; i < fItems.size(); ++i)
        if (fItems[i].get() == chunk)
            return int(i);
    return -1;
}

void TChunkList::Clear()
{
    fItems.clear();
}

void TChunkList::Swap(TChunkList &other)
{
    fItems.swap(other.fItems);
    for (auto &c : fItems)
        c->fOwner = this;
    for (auto &c : other.fItems)
        c->fOwner = &other;
}

// ---- TChunkClasses --------------------------------------------------------

namespace {

std::vector<TChunkClassInfo> &classRegistry()
{
    static std::vector<TChunkClassInfo> registry = [] {
        std::vector<TChunkClassInfo> r;
        r.push_back({ChunkName("IEND"), &CreateChunk<TChunkIEND>});
        r.push_back({ChunkName("IHDR"), &CreateChunk<TChunkIHDR>});
        r.push_back({ChunkName("gAMA"), &CreateChunk<TChunkGAMA>});
        r.push_back({ChunkName("IDAT"), &CreateChunk<TChunkIDAT>});
        r.push_back({ChunkName("PLTE"), &CreateChunk<TChunkPLTE>});
        r.push_back({ChunkName("tEXt"), &CreateChunk<TChunkTEXT>});
        r.push_back({ChunkName("tRNS"), &CreateChunk<TChunkTRNS>});
        return r;
    }();
    return registry;
}

} // namespace

int TChunkClasses::Count()
{
    return int(classRegistry().size());
}

TChunkClassInfo TChunkClasses::Item(int index)
{
    const auto &r = classRegistry();
    if (index < 0 || size_t(index) >= r.size())
        RaisePngError(peChunkClassIndex);
    return r[size_t(index)];
}

int TChunkClasses::IndexOfClass(TChunkClass cls)
{
    const auto &r = classRegistry();
    for (size_t i = 0; i < r.size(); ++i)
        if (r[i].ChunkClass == cls)
            return int(i);
    return -1;
}

int TChunkClasses::IndexOfType(const TChunkName &type)
{
    const auto &r = classRegistry();
    for (size_t i = 0; i < r.size(); ++i)
        if (r[i].ChunkType == type)
            return int(i);
    return -1;
}

void TChunkClasses::RegisterChunkClass(const TChunkName &type, TChunkClass cls)
{
    classRegistry().push_back({type, cls});
}

} // namespace zk
