#include "PngDeflate.h"
#include "ZStreams.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace zk::png {

std::function<void(int band)> BandFaultForTest;
int ForcedBandsForTest = 0;

namespace {

constexpr size_t kBandThreshold = 256 * 1024;
constexpr size_t kMinBand = 128 * 1024;

struct Band
{
    QByteArray out;
    uLong adler = 1;
    size_t length = 0;
};

[[noreturn]] void zfail(int rc, const z_stream &z)
{
    throw EZCompressionError(QString::fromLatin1(z.msg ? z.msg : zError(rc)));
}

// A raw deflate of one band (no header, no checksum), fed piece by piece,
// ended by a full flush or, for the last band, by the final block.
class BandDeflater final : public BandSink
{
public:
    BandDeflater(int level, Band &band) : fBand(band)
    {
        const int rc = deflateInit2(&fZ, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        if (rc != Z_OK)
            zfail(rc, fZ);
        fBand.out.resize(64 * 1024);
        fZ.next_out = reinterpret_cast<Bytef *>(fBand.out.data());
        fZ.avail_out = uInt(fBand.out.size());
    }
    ~BandDeflater() { deflateEnd(&fZ); }
    BandDeflater(const BandDeflater &) = delete;
    BandDeflater &operator=(const BandDeflater &) = delete;

    void SetDictionary(const uint8_t *data, size_t size) override
    {
        // So matches reach back across the cut as they would in one stream.
        const int rc = deflateSetDictionary(&fZ, data, uInt(size));
        if (rc != Z_OK)
            zfail(rc, fZ);
    }

    void Write(const uint8_t *data, size_t size) override
    {
        fBand.adler = adler32_z(fBand.adler, data, size);
        fBand.length += size;
        fZ.next_in = const_cast<Bytef *>(data);
        fZ.avail_in = uInt(size);
        while (fZ.avail_in > 0)
            step(Z_NO_FLUSH);
    }

    void Finish(bool last)
    {
        for (;;) {
            const int rc = step(last ? Z_FINISH : Z_FULL_FLUSH);
            // A flush is complete once zlib leaves output room unused.
            if (rc == Z_STREAM_END || (!last && fZ.avail_out > 0))
                break;
        }
        fBand.out.resize(qsizetype(fZ.total_out));
    }

private:
    int step(int flush)
    {
        if (fZ.avail_out == 0) {
            // Grows by halves: no more than a third is ever unused.
            const qsizetype used = fBand.out.size();
            fBand.out.resize(used + used / 2);
            fZ.next_out = reinterpret_cast<Bytef *>(fBand.out.data() + used);
            fZ.avail_out = uInt(fBand.out.size() - used);
        }
        const int rc = deflate(&fZ, flush);
        if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END)
            zfail(rc, fZ);
        return rc;
    }

    z_stream fZ{};
    Band &fBand;
};

} // namespace

void RunInParallel(int count, const std::function<void(int index)> &work)
{
    std::exception_ptr first;
    std::mutex lock;
    auto guarded = [&](int i) {
        try {
            work(i);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(lock);
            if (!first)
                first = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(size_t(std::max(count - 1, 0)));
    for (int i = 0; i < count - 1; ++i) {
        try {
            threads.emplace_back(guarded, i);
        } catch (const std::system_error &) {
            guarded(i); // no thread to be had: do it here
        }
    }
    if (count > 0)
        guarded(count - 1);
    for (std::thread &t : threads)
        t.join();
    if (first)
        std::rethrow_exception(first);
}

int BandCount(size_t bytes)
{
    if (ForcedBandsForTest > 0)
        return ForcedBandsForTest;
    if (bytes <= kBandThreshold)
        return 1;
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    return int(std::max<size_t>(1, std::min(cores, bytes / kMinBand)));
}

QByteArray DeflateBands(int count, int level, const std::function<void(int band, BandSink &sink)> &feed)
{
    const int n = count;
    std::vector<Band> bands(static_cast<size_t>(n));
    RunInParallel(n, [&](int i) {
        if (BandFaultForTest)
            BandFaultForTest(i);
        BandDeflater deflater(level, bands[size_t(i)]);
        feed(i, deflater);
        deflater.Finish(i + 1 == n);
    });

    qsizetype total = 6;
    for (const Band &b : bands)
        total += b.out.size();
    QByteArray out;
    out.reserve(total);
    // The header zlib itself writes for a 32 KB window at this level.
    const int levelFlags = level == Z_BEST_SPEED || (level >= 0 && level < 2) ? 0
                           : level == 6 || level == Z_DEFAULT_COMPRESSION   ? 2
                           : level < 6                                      ? 1
                                                                            : 3;
    unsigned header = (0x78u << 8) | unsigned(levelFlags << 6);
    header += 31 - header % 31;
    out.append(char(header >> 8));
    out.append(char(header & 0xFF));
    uLong adler = 1;
    for (Band &b : bands) {
        out.append(b.out);
        b.out = QByteArray(); // the joined copy only, as early as can be
        adler = adler32_combine(adler, b.adler, z_off_t(b.length));
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((adler >> shift) & 0xFF));
    return out;
}

} // namespace zk::png
