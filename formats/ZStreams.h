#pragma once
// Stream adapters that deflate into, or inflate out of, another stream with
// zlib. The PNG codec moves all its image data through them; anything else
// that wants a zlib stream on a QIODevice may use them too.
//
// Both adapters are sequential QIODevices opened for reading and writing so
// that a call in the wrong direction reaches us and fails loudly instead of
// being swallowed by QIODevice. Errors are exceptions: a negative zlib result
// raises EZCompressionError / EZDecompressionError with zlib's own text.
#include "Graphic.h"

#include <QIODevice>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

struct z_stream_s;

namespace zk {

// Picture code catches EGraphicError; damaged compressed data is one.
class EZLibError : public EGraphicError
{
public:
    using EGraphicError::EGraphicError;
};

class EZCompressionError : public EZLibError
{
public:
    using EZLibError::EZLibError;
};

class EZDecompressionError : public EZLibError
{
public:
    using EZLibError::EZLibError;
};

enum class TZCompressionLevel { zcNone, zcFastest, zcDefault, zcMax };

// Where a Seek offset counts from.
enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TCustomZStream : public QIODevice
{
public:
    static constexpr qint64 BufferSize = 0x10000;

    ~TCustomZStream() override;

    bool isSequential() const override { return true; }

    // Raised after each full buffer passed to or taken from the underlying
    // stream.
    std::function<void(TCustomZStream &sender)> OnProgress;

    // Bytes taken in (compression) or given out (decompression) so far.
    qint64 Position() const { return fPosition; }

    virtual qint64 Read(void *buffer, qint64 count) = 0;
    virtual qint64 Write(const void *buffer, qint64 count) = 0;
    virtual qint64 Seek(qint64 offset, TSeekOrigin origin) = 0;

protected:
    explicit TCustomZStream(QIODevice *strm);

    qint64 readData(char *data, qint64 maxlen) override;
    qint64 writeData(const char *data, qint64 len) override;

    // Puts the underlying stream back where we last left it, in case someone
    // else moved it between our calls.
    void RestorePosition();
    void RememberPosition();
    void Progress();

    QIODevice *fStrm;       // not owned
    qint64 fStrmPos = 0;    // the underlying position as we last left it
    std::unique_ptr<z_stream_s> fZRec;
    std::vector<unsigned char> fBuffer;
    qint64 fPosition = 0;
};

// Write-only: everything written is deflated into the destination. The zlib
// stream is finished by Finish() or, at the latest, by the destructor.
class TZCompressionStream : public TCustomZStream
{
public:
    TZCompressionStream(QIODevice *dest,
                        TZCompressionLevel level = TZCompressionLevel::zcDefault);
    ~TZCompressionStream() override;

    qint64 Read(void *buffer, qint64 count) override;
    qint64 Write(const void *buffer, qint64 count) override;
    qint64 Seek(qint64 offset, TSeekOrigin origin) override;

    // Flushes what zlib still holds and ends the stream; later writes fail.
    // Unlike the destructor, it reports errors.
    void Finish();

    // Ratio of output to input in percent (0 before any input).
    double CompressionRate() const;

private:
    bool fFinished = false;
    bool fInitialised = false;
};

// Read-only: reading inflates the source from where it stood when the adapter
// was made. A read stops short at the end of the zlib stream or when the
// source runs dry (truncated data is the caller's to judge).
class TZDecompressionStream : public TCustomZStream
{
public:
    explicit TZDecompressionStream(QIODevice *source);
    ~TZDecompressionStream() override;

    qint64 Read(void *buffer, qint64 count) override;
    qint64 Write(const void *buffer, qint64 count) override;
    qint64 Seek(qint64 offset, TSeekOrigin origin) override;

    // True once the zlib stream has reached its proper end.
    bool StreamEnded() const { return fEnded; }

private:
    void Restart();

    qint64 fStartPos = 0;
    bool fEnded = false;
    bool fInitialised = false;
};

} // namespace zk
