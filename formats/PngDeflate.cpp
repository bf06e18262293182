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

thread_local int t_threadLimit = 0; // 0: no ThreadLimit on this thread

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
// appended to out behind what it already holds, ended by a full flush or,
// for the last band, by the final block; adler and length follow its input.
class BandDeflater final : public BandSink
{
public:
    BandDeflater(int level, QByteArray &out, uLong &adler, size_t &length)
        : fOut(out), fAdler(adler), fLength(length), fStart(out.size())
    {
        const int rc = deflateInit2(&fZ, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        if (rc != Z_OK)
            zfail(rc, fZ);
        fOut.resize(fStart + 64 * 1024);
        fZ.next_out = reinterpret_cast<Bytef *>(fOut.data() + fStart);
        fZ.avail_out = uInt(fOut.size() - fStart);
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
        fAdler = adler32_z(fAdler, data, size);
        fLength += size;
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
        fOut.resize(fStart + qsizetype(fZ.total_out));
    }

private:
    int step(int flush)
    {
        if (fZ.avail_out == 0) {
            // Grows by halves: no more than a third is ever unused.
            const qsizetype used = fOut.size();
            fOut.resize(used + used / 2);
            fZ.next_out = reinterpret_cast<Bytef *>(fOut.data() + used);
            fZ.avail_out = uInt(fOut.size() - used);
        }
        const int rc = deflate(&fZ, flush);
        if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END)
            zfail(rc, fZ);
        return rc;
    }

    z_stream fZ{};
    QByteArray &fOut;
    uLong &fAdler;
    size_t &fLength;
    qsizetype fStart;
};

// The two bytes zlib itself writes before a stream with a 32 KB window at
// this level.
void appendZlibHeader(QByteArray &out, int level)
{
    const int levelFlags = level == Z_BEST_SPEED || (level >= 0 && level < 2) ? 0
                           : level == 6 || level == Z_DEFAULT_COMPRESSION   ? 2
                           : level < 6                                      ? 1
                                                                            : 3;
    unsigned header = (0x78u << 8) | unsigned(levelFlags << 6);
    header += 31 - header % 31;
    out.append(char(header >> 8));
    out.append(char(header & 0xFF));
}

void appendAdler(QByteArray &out, uLong adler)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((adler >> shift) & 0xFF));
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
    // Runner k takes indices k, k + runners, ...; the last runner is this thread.
    const int runners = t_threadLimit > 0 ? std::min(count, t_threadLimit) : count;
    const auto run = [&](int k) {
        for (int i = k; i < count; i += runners)
            guarded(i);
    };
    std::vector<std::thread> threads;
    threads.reserve(size_t(std::max(runners - 1, 0)));
    for (int k = 0; k < runners - 1; ++k) {
        try {
            threads.emplace_back(run, k);
        } catch (const std::system_error &) {
            run(k); // no thread to be had: do it here
        }
    }
    if (runners > 0)
        run(runners - 1);
    for (std::thread &t : threads)
        t.join();
    if (first)
        std::rethrow_exception(first);
}

ThreadLimit::ThreadLimit(int threads) : fOld(t_threadLimit)
{
    t_threadLimit = std::max(1, threads);
}

ThreadLimit::~ThreadLimit()
{
    t_threadLimit = fOld;
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
    QByteArray out;
    if (t_threadLimit == 1 || n <= 1) {
        // One band after the other, each appended to the one output where it
        // ends up anyway: no second copy of the compressed picture.
        appendZlibHeader(out, level);
        uLong adler = 1;
        size_t length = 0;
        for (int i = 0; i < n; ++i) {
            if (BandFaultForTest)
                BandFaultForTest(i);
            BandDeflater deflater(level, out, adler, length);
            feed(i, deflater);
            deflater.Finish(i + 1 == n);
        }
        appendAdler(out, adler);
        return out;
    }

    std::vector<Band> bands(static_cast<size_t>(n));
    RunInParallel(n, [&](int i) {
        if (BandFaultForTest)
            BandFaultForTest(i);
        Band &band = bands[size_t(i)];
        BandDeflater deflater(level, band.out, band.adler, band.length);
        feed(i, deflater);
        deflater.Finish(i + 1 == n);
    });

    qsizetype total = 6;
    for (const Band &b : bands)
        total += b.out.size();
    out.reserve(total);
    appendZlibHeader(out, level);
    uLong adler = 1;
    for (Band &b : bands) {
        out.append(b.out);
        b.out = QByteArray(); // the joined copy only, as early as can be
        adler = adler32_combine(adler, b.adler, z_off_t(b.length));
    }
    appendAdler(out, adler);
    return out;
}

} // namespace zk::png
