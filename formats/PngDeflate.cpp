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
constexpr size_t kWindow = 32 * 1024;

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

// A raw deflate of one band (no header, no checksum), ended by a full flush
// or, for the last band, by the final block.
void deflateBand(const uint8_t *data, size_t begin, size_t end, bool last, int level, Band &band)
{
    z_stream z{};
    int rc = deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK)
        zfail(rc, z);
    struct Ender
    {
        z_stream &z;
        ~Ender() { deflateEnd(&z); }
    } ender{z};
    if (begin > 0) {
        // The previous band's last 32 KB, so matches reach back across the
        // cut as they would in one stream.
        const size_t dict = std::min(begin, kWindow);
        rc = deflateSetDictionary(&z, data + begin - dict, uInt(dict));
        if (rc != Z_OK)
            zfail(rc, z);
    }
    const size_t length = end - begin;
    band.length = length;
    band.adler = adler32_z(1, data + begin, length);
    band.out.resize(qsizetype(deflateBound(&z, uLong(length)) + 64));
    z.next_in = const_cast<Bytef *>(data + begin);
    z.avail_in = uInt(length);
    z.next_out = reinterpret_cast<Bytef *>(band.out.data());
    z.avail_out = uInt(band.out.size());
    for (;;) {
        rc = deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
        if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END)
            zfail(rc, z);
        // A flush is complete once zlib leaves output room unused.
        if (rc == Z_STREAM_END || (!last && z.avail_in == 0 && z.avail_out > 0))
            break;
        // deflateBound leaves room for everything; more is a fault of ours.
        if (z.avail_out == 0) {
            const qsizetype used = band.out.size();
            band.out.resize(used * 2);
            z.next_out = reinterpret_cast<Bytef *>(band.out.data() + used);
            z.avail_out = uInt(used);
        }
    }
    band.out.resize(qsizetype(z.total_out));
}

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

QByteArray DeflateInBands(const uint8_t *data, size_t size, const std::vector<size_t> &cuts, int level)
{
    const int n = int(cuts.size());
    std::vector<Band> bands(static_cast<size_t>(n));
    RunInParallel(n, [&](int i) {
        if (BandFaultForTest)
            BandFaultForTest(i);
        const size_t end = i + 1 < n ? cuts[size_t(i) + 1] : size;
        deflateBand(data, cuts[size_t(i)], end, i + 1 == n, level, bands[size_t(i)]);
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
    for (const Band &b : bands) {
        out.append(b.out);
        adler = adler32_combine(adler, b.adler, z_off_t(b.length));
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((adler >> shift) & 0xFF));
    return out;
}

} // namespace zk::png
