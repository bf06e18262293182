#include "ZStreams.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace zk {

namespace {

const char *const InvalidOperation = "Invalid ZStream operation!";

QString zlibText(int code, const z_stream &z)
{
    // zlib's own message when it left one, else its text for the code.
    if (z.msg)
        return QString::fromLatin1(z.msg);
    return QString::fromLatin1(zError(code));
}

int zlibLevel(TZCompressionLevel level)
{
    switch (level) {
    case TZCompressionLevel::zcNone: return Z_NO_COMPRESSION;
    case TZCompressionLevel::zcFastest: return Z_BEST_SPEED;
    case TZCompressionLevel::zcDefault: return Z_DEFAULT_COMPRESSION;
    case TZCompressionLevel::zcMax: return Z_BEST_COMPRESSION;
    }
    return Z_DEFAULT_COMPRESSION;
}

} // namespace

// ---------------------------------------------------------------------------

TCustomZStream::TCustomZStream(QIODevice *strm)
    : fStrm(strm), fZRec(std::make_unique<z_stream_s>()), fBuffer(BufferSize)
{
    std::memset(fZRec.get(), 0, sizeof(z_stream));
    fStrmPos = fStrm && !fStrm->isSequential() ? fStrm->pos() : 0;
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

TCustomZStream::~TCustomZStream() = default;

qint64 TCustomZStream::readData(char *data, qint64 maxlen)
{
    return Read(data, maxlen);
}

qint64 TCustomZStream::writeData(const char *data, qint64 len)
{
    return Write(data, len);
}

void TCustomZStream::RestorePosition()
{
    if (fStrm && !fStrm->isSequential() && fStrm->pos() != fStrmPos)
        fStrm->seek(fStrmPos);
}

void TCustomZStream::RememberPosition()
{
    if (fStrm && !fStrm->isSequential())
        fStrmPos = fStrm->pos();
}

void TCustomZStream::Progress()
{
    if (OnProgress)
        OnProgress(*this);
}

// ---------------------------------------------------------------------------

TZCompressionStream::TZCompressionStream(QIODevice *dest, TZCompressionLevel level)
    : TCustomZStream(dest)
{
    z_stream &z = *fZRec;
    const int rc = deflateInit(&z, zlibLevel(level));
    if (rc < 0)
        throw EZCompressionError(zlibText(rc, z));
    fInitialised = true;
    z.next_out = fBuffer.data();
    z.avail_out = uInt(fBuffer.size());
}

TZCompressionStream::~TZCompressionStream()
{
    // A destructor must not throw; a failing finish here loses only what the
    // caller chose not to check by calling Finish() itself.
    try {
        Finish();
    } catch (const EZLibError &) {
    }
    if (fInitialised)
        deflateEnd(fZRec.get());
}

qint64 TZCompressionStream::Read(void *, qint64)
{
    throw EZCompressionError(QString::fromLatin1(InvalidOperation));
}

qint64 TZCompressionStream::Write(const void *buffer, qint64 count)
{
    if (fFinished)
        throw EZCompressionError(QString::fromLatin1(InvalidOperation));
    if (count <= 0)
        return 0;
    z_stream &z = *fZRec;
    const unsigned char *src = static_cast<const unsigned char *>(buffer);
    qint64 left = count;
    RestorePosition();
    while (left > 0) {
        // avail_in is 32 bits wide; feed huge writes in slices.
        const uInt slice = uInt(std::min<qint64>(left, 0x40000000));
        z.next_in = const_cast<unsigned char *>(src);
        z.avail_in = slice;
        while (z.avail_in > 0) {
            const int rc = deflate(&z, Z_NO_FLUSH);
            if (rc < 0)
                throw EZCompressionError(zlibText(rc, z));
            if (z.avail_out == 0) {
                if (fStrm->write(reinterpret_cast<const char *>(fBuffer.data()), qint64(fBuffer.size()))
                    != qint64(fBuffer.size()))
                    throw EZCompressionError(fStrm->errorString());
                RememberPosition();
                z.next_out = fBuffer.data();
                z.avail_out = uInt(fBuffer.size());
                Progress();
            }
        }
        src += slice;
        left -= slice;
    }
    fPosition += count;
    return count;
}

void TZCompressionStream::Finish()
{
    if (fFinished || !fInitialised)
        return;
    fFinished = true;
    z_stream &z = *fZRec;
    RestorePosition();
    z.next_in = nullptr;
    z.avail_in = 0;
    for (;;) {
        const int rc = deflate(&z, Z_FINISH);
        if (rc < 0 && rc != Z_BUF_ERROR)
            throw EZCompressionError(zlibText(rc, z));
        const qint64 produced = qint64(fBuffer.size()) - z.avail_out;
        if (produced > 0) {
            if (fStrm->write(reinterpret_cast<const char *>(fBuffer.data()), produced) != produced)
                throw EZCompressionError(fStrm->errorString());
            RememberPosition();
            if (produced == qint64(fBuffer.size()))
                Progress();
        }
        z.next_out = fBuffer.data();
        z.avail_out = uInt(fBuffer.size());
        if (rc == Z_STREAM_END)
            break;
    }
}

qint64 TZCompressionStream::Seek(qint64 offset, TSeekOrigin origin)
{
    if (offset == 0 && origin == TSeekOrigin::soCurrent)
        return fPosition;
    throw EZCompressionError(QString::fromLatin1(InvalidOperation));
}

double TZCompressionStream::CompressionRate() const
{
    if (fZRec->total_in == 0)
        return 0;
    return 100.0 * double(fZRec->total_out) / double(fZRec->total_in);
}

// ---------------------------------------------------------------------------

TZDecompressionStream::TZDecompressionStream(QIODevice *source) : TCustomZStream(source)
{
    fStartPos = fStrmPos;
    z_stream &z = *fZRec;
    const int rc = inflateInit(&z);
    if (rc < 0)
        throw EZDecompressionError(zlibText(rc, z));
    fInitialised = true;
}

TZDecompressionStream::~TZDecompressionStream()
{
    if (fInitialised)
        inflateEnd(fZRec.get());
}

qint64 TZDecompressionStream::Read(void *buffer, qint64 count)
{
    if (count <= 0 || fEnded)
        return 0;
    z_stream &z = *fZRec;
    unsigned char *dst = static_cast<unsigned char *>(buffer);
    qint64 given = 0;
    RestorePosition();
    while (given < count && !fEnded) {
        if (z.avail_in == 0) {
            const qint64 got = fStrm->read(reinterpret_cast<char *>(fBuffer.data()), qint64(fBuffer.size()));
            if (got <= 0)
                break; // the source ran dry before the zlib stream ended
            RememberPosition();
            z.next_in = fBuffer.data();
            z.avail_in = uInt(got);
            Progress();
        }
        const uInt want = uInt(std::min<qint64>(count - given, 0x40000000));
        z.next_out = dst + given;
        z.avail_out = want;
        const int rc = inflate(&z, Z_NO_FLUSH);
        given += want - z.avail_out;
        if (rc == Z_STREAM_END) {
            fEnded = true;
        } else if (rc == Z_NEED_DICT || (rc < 0 && rc != Z_BUF_ERROR)) {
            // The bytes given before the fault count: a caller reading large
            // blocks can still use the rows that came out whole.
            fPosition += given;
            throw EZDecompressionError(zlibText(rc == Z_NEED_DICT ? Z_DATA_ERROR : rc, z));
        }
    }
    fPosition += given;
    return given;
}

qint64 TZDecompressionStream::Write(const void *, qint64)
{
    throw EZDecompressionError(QString::fromLatin1(InvalidOperation));
}

void TZDecompressionStream::Restart()
{
    z_stream &z = *fZRec;
    const int rc = inflateReset(&z);
    if (rc < 0)
        throw EZDecompressionError(zlibText(rc, z));
    z.next_in = nullptr;
    z.avail_in = 0;
    fEnded = false;
    fPosition = 0;
    fStrmPos = fStartPos;
    if (!fStrm->isSequential())
        fStrm->seek(fStartPos);
}

qint64 TZDecompressionStream::Seek(qint64 offset, TSeekOrigin origin)
{
    if (offset == 0 && origin == TSeekOrigin::soBeginning) {
        Restart();
        return 0;
    }
    qint64 skip = -1;
    if (origin == TSeekOrigin::soCurrent && offset >= 0)
        skip = offset;
    else if (origin == TSeekOrigin::soBeginning && offset >= fPosition)
        skip = offset - fPosition;
    if (skip < 0)
        throw EZDecompressionError(QString::fromLatin1(InvalidOperation));
    // Forward seeks read and discard; a stream that ends first stops there.
    std::vector<unsigned char> scratch(size_t(std::min<qint64>(skip, BufferSize)));
    while (skip > 0) {
        const qint64 got = Read(scratch.data(), std::min<qint64>(skip, qint64(scratch.size())));
        if (got <= 0)
            break;
        skip -= got;
    }
    return fPosition;
}

} // namespace zk
