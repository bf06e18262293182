#pragma once
// The chunk model of the PNG codec: one object per chunk of a file, kept in
// file order by a TChunkList that belongs to a TPNGImage. Loading reads every
// chunk, then lets each act on the picture (AfterLoad); saving rebuilds the
// chunks from the picture and writes them.
#include "Graphic.h"

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

class QIODevice;

namespace zk {

class TPNGImage;
class TChunkList;

// Error ids of the codec; each has its own text (PngErrorText).
enum PngErrorId : int {
    peNoTransparentColour = 65184,
    peChunkNotInList = 65185,
    peInvalidHeader = 65204,
    peChunkIndex = 65205,
    peChunkClassIndex = 65206,
    peDamagedData = 65207,
    peMissingIHDR = 65208,
    peNoImageData = 65209,
    peInvalidPalette = 65210,
    peUnknownColourType = 65211,
    peUnknownFilterType = 65212,
    peUnknownInterlace = 65213,
    peUnknownCriticalChunk = 65214,
    peMissingPalette = 65215,
    peEmptyImage = 65216,
    peImageTooLarge = 65217,
};

// A picture error like every codec's (callers catch EGraphicError), with
// the id of its text so callers and tests can tell the cases apart.
class EPNGImageException : public EInvalidGraphic
{
public:
    EPNGImageException(int id, const QString &message);
    int Id() const { return fId; }

private:
    int fId;
};

QString PngErrorText(int id);

// Raises EPNGImageException; the message is the handler's heading, a blank
// line and the text.
[[noreturn]] void RaisePngError(const QString &text);
[[noreturn]] void RaisePngError(int id);
// The same with a detail after the text (zlib's own message, say).
[[noreturn]] void RaisePngError(int id, const QString &detail);

using TChunkName = std::array<char, 4>;
QString ChunkNameText(const TChunkName &name);
constexpr TChunkName ChunkName(const char (&s)[5])
{
    return {s[0], s[1], s[2], s[3]};
}

class TChunk;
// A chunk class is its virtual constructor.
using TChunkClass = std::unique_ptr<TChunk> (*)(TChunkList *owner);

class TChunk
{
public:
    explicit TChunk(TChunkList *owner);
    virtual ~TChunk();
    TChunk(const TChunk &) = delete;
    TChunk &operator=(const TChunk &) = delete;

    // Runs once for every chunk after the whole file has been read.
    virtual void AfterLoad();
    // Copies the source's data and type.
    virtual void Assign(const TChunk &source);
    // Writes length, type, data and CRC. A chunk whose fourth letter is
    // lower case is not written.
    virtual void SaveToStream(QIODevice &stream);
    virtual TChunkClass ClassType() const;

    TChunkList *Owner() const { return fOwner; }
    TPNGImage *Image() const;
    QByteArray &Data() { return fData; }
    const QByteArray &Data() const { return fData; }
    const TChunkName &ChunkType() const { return fChunkType; }
    void SetChunkType(const TChunkName &t) { fChunkType = t; }

protected:
    void WriteChunk(QIODevice &stream);

private:
    friend class TChunkList;
    TChunkList *fOwner;
    QByteArray fData;
    TChunkName fChunkType{};
};

template <class T>
std::unique_ptr<TChunk> CreateChunk(TChunkList *owner);

#define ZK_CHUNK_CLASS(T) \
    TChunkClass ClassType() const override { return &CreateChunk<T>; }

class TChunkIHDR : public TChunk
{
public:
    explicit TChunkIHDR(TChunkList *owner);
    ZK_CHUNK_CLASS(TChunkIHDR)
    void AfterLoad() override;
    void SaveToStream(QIODevice &stream) override;

    uint32_t Width() const;
    uint32_t Height() const;
    void SetWidth(uint32_t v);
    void SetHeight(uint32_t v);
    // The five one-byte fields by index 0..4: bit depth, colour type,
    // compression method, filter method, interlace method.
    uint8_t Field(int index) const;
    void SetField(int index, uint8_t v);
    uint8_t BitDepth() const { return Field(0); }
    uint8_t ColorType() const { return Field(1); }
    uint8_t CompressionMethod() const { return Field(2); }
    uint8_t FilterMethod() const { return Field(3); }
    uint8_t InterlaceMethod() const { return Field(4); }

    // Raises for a header no decoder should act on: wrong length, a zero or
    // oversized dimension, an illegal colour type / depth pair, unknown
    // methods.
    void Validate() const;
};

class TChunkPLTE : public TChunk
{
public:
    explicit TChunkPLTE(TChunkList *owner);
    ZK_CHUNK_CLASS(TChunkPLTE)
    void SaveToStream(QIODevice &stream) override;
    void Assign(const TChunk &source) override;

    // The palette for loading a palette image (gamma applied); raises for a
    // length that is not whole entries or more than 256 entries.
    const QList<QRgb> &Palette();

private:
    QList<QRgb> fPalette;
};

class TChunkIDAT : public TChunk
{
public:
    explicit TChunkIDAT(TChunkList *owner);
    ZK_CHUNK_CLASS(TChunkIDAT)
    void AfterLoad() override;
    void SaveToStream(QIODevice &stream) override;

    // Fills the picture from the data (what AfterLoad does).
    void Decode();
    // Rebuilds the data from the picture.
    void Encode();
    // Writes the chunk as the last Encode left it (SaveToStream encodes
    // first).
    void WriteEncoded(QIODevice &stream) { WriteChunk(stream); }
    // Encodes and writes the chunk at once, the bytes of a large picture
    // going out while later bands still deflate, its length filled in at the
    // end; the same bytes as Encode and WriteEncoded. A stream that cannot
    // seek gets them that way. On failure the stream holds part of a chunk.
    void EncodeAndWrite(QIODevice &stream);
};

class TChunkIEND : public TChunk
{
public:
    explicit TChunkIEND(TChunkList *owner);
    ZK_CHUNK_CLASS(TChunkIEND)
    void SaveToStream(QIODevice &stream) override;
};

class TChunkGAMA : public TChunk
{
public:
    explicit TChunkGAMA(TChunkList *owner);
    ZK_CHUNK_CLASS(TChunkGAMA)
    void AfterLoad() override;
    void Assign(const TChunk &source) override;
    void SaveToStream(QIODevice &stream) override;

    // The gamma times 100000 (0 when the data is not 4 bytes).
    uint32_t Gamma() const;
    void SetGamma(uint32_t v);
    // A gAMA of 0 or of another length than 4 is ignored: no tables, not
    // written.
    bool Valid() const;
    void BuildTables();
    const std::array<uint8_t, 256> &GammaTable() const { return fGamma; }
    const std::array<uint8_t, 256> &InverseTable() const { return fInverse; }

private:
    std::array<uint8_t, 256> fGamma{};
    std::array<uint8_t, 256> fInverse{};
};

class TChunkTEXT : public TChunk
{
public:
    explicit TChunkTEXT(TChunkList *owner);
    ZK_CHUNK_CLASS(TChunkTEXT)
};

class TChunkTRNS : public TChunk
{
public:
    explicit TChunkTRNS(TChunkList *owner);
    ZK_CHUNK_CLASS(TChunkTRNS)
    void SaveToStream(QIODevice &stream) override;

    // The transparent colour of an RGB image (raises for other colour
    // types); reads the 6-byte form and the old 3-byte one.
    QRgb TransparentColor() const;
};

template <class T>
std::unique_ptr<TChunk> CreateChunk(TChunkList *owner);

class TChunkList
{
public:
    explicit TChunkList(TPNGImage *owner);
    ~TChunkList();
    TChunkList(const TChunkList &) = delete;
    TChunkList &operator=(const TChunkList &) = delete;

    TPNGImage *Owner() const { return fOwner; }
    int Count() const { return int(fItems.size()); }
    TChunk *Item(int index) const;
    void Move(int from, int to);
    TChunk *Add(std::unique_ptr<TChunk> chunk);
    TChunk *AddClass(TChunkClass cls);
    void Remove(TChunk *chunk);
    int ItemFromClass(TChunkClass cls) const;
    int IndexOf(const TChunk *chunk) const;
    void Clear();

    template <class T> T *Find() const
    {
        const int i = ItemFromClass(&CreateChunk<T>);
        return i < 0 ? nullptr : static_cast<T *>(fItems[size_t(i)].get());
    }

    // Hands all chunks to another list (used to commit a finished load).
    void Swap(TChunkList &other);

private:
    TPNGImage *fOwner;
    std::vector<std::unique_ptr<TChunk>> fItems;
};

struct TChunkClassInfo
{
    TChunkName ChunkType;
    TChunkClass ChunkClass;
};

// The registry of chunk classes by type.
class TChunkClasses
{
public:
    static int Count();
    static TChunkClassInfo Item(int index);
    static int IndexOfClass(TChunkClass cls);
    static int IndexOfType(const TChunkName &type);
    static void RegisterChunkClass(const TChunkName &type, TChunkClass cls);
};

template <class T>
std::unique_ptr<TChunk> CreateChunk(TChunkList *owner)
{
    std::unique_ptr<TChunk> c = std::make_unique<T>(owner);
    const int i = TChunkClasses::IndexOfClass(&CreateChunk<T>);
    if (i >= 0)
        c->SetChunkType(TChunkClasses::Item(i).ChunkType);
    return c;
}

} // namespace zk
