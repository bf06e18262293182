#include "PngDeflate.h"
#include "Bitmap.h"
#include "PngRows.h"
#include "ZStreams.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

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

// Zeros in a row at least this long leave zlib's stream for a block of their
// own (see ZeroRunBlock): black screen areas filter to rows of zeros, and
// zlib would otherwise look at every byte of them. Long enough that the
// block's table and the flush before it cost less than zlib's own copies.
constexpr size_t kLongZeroRun = 128 * 1024;

const uint8_t kZeros[kWindow] = {};
// The zeros zlib is given to look back into after a run's block.
constexpr size_t kZeroWindow = 4 * 1024;

// Bits as deflate packs them: the first bit in the lowest place.
class BitPacker
{
public:
    explicit BitPacker(std::vector<uint8_t> &bytes) : fBytes(bytes) {}

    void Put(uint32_t value, int count)
    {
        fAcc |= uint64_t(value) << fCount;
        fCount += count;
        while (fCount >= 8) {
            fBytes.push_back(uint8_t(fAcc));
            fAcc >>= 8;
            fCount -= 8;
        }
    }

    // A Huffman code, whose first bit is its highest.
    void PutCode(uint32_t code, int length)
    {
        uint32_t reversed = 0;
        for (int i = 0; i < length; ++i)
            reversed |= ((code >> i) & 1u) << (length - 1 - i);
        Put(reversed, length);
    }

    void PutZeroBits(size_t count)
    {
        const size_t total = size_t(fCount) + count;
        if (total < 8) {
            fCount = int(total);
            return;
        }
        fBytes.push_back(uint8_t(fAcc));
        fBytes.insert(fBytes.end(), total / 8 - 1, uint8_t(0));
        fAcc = 0;
        fCount = int(total % 8);
    }

    // The bits that do not fill a byte yet.
    uint32_t Left() const { return uint32_t(fAcc); }
    int LeftCount() const { return fCount; }

private:
    std::vector<uint8_t> &fBytes;
    uint64_t fAcc = 0;
    int fCount = 0;
};

// Canonical Huffman codes for the given code lengths.
template <size_t N>
std::array<uint16_t, N> canonicalCodes(const std::array<uint8_t, N> &lengths)
{
    std::array<int, 16> count{};
    for (uint8_t l : lengths)
        ++count[l];
    count[0] = 0;
    std::array<int, 16> next{};
    int code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + count[size_t(bits - 1)]) << 1;
        next[size_t(bits)] = code;
    }
    std::array<uint16_t, N> codes{};
    for (size_t i = 0; i < N; ++i)
        if (lengths[i])
            codes[i] = uint16_t(next[lengths[i]]++);
    return codes;
}

// A deflate block (not the last) of n > 258 zero bytes with a table of its
// own: a literal zero, then copies of 258 bytes (and one shorter, or one or
// two literals) from one byte back. The copy of 258 and the one distance get
// one-bit codes, so each 258 zeros cost two bits, as in a block zlib gives
// to nothing but zeros. Whole bytes go to bytes; the bits past them stay in
// the packer.
void ZeroRunBlock(size_t n, BitPacker &bits)
{
    static constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    const size_t copies = (n - 1) / 258;
    const int rest = int((n - 1) % 258);
    int restCode = -1; // index into the length tables
    if (rest >= 3)
        for (int i = 27; i >= 0 && restCode < 0; --i)
            if (kLengthBase[i] <= rest)
                restCode = i;

    // Literal/length code: the copy of 258 one bit, the zero two, the end
    // (and the shorter copy) the rest: a complete code.
    std::array<uint8_t, 286> lengths{};
    lengths[285] = 1;
    lengths[0] = 2;
    lengths[256] = restCode >= 0 ? 3 : 2;
    if (restCode >= 0)
        lengths[size_t(257 + restCode)] = 3;
    const std::array<uint16_t, 286> codes = canonicalCodes(lengths);

    // The code lengths themselves go out through a code-length code of the
    // six symbols they need, also complete.
    std::array<uint8_t, 19> clLengths{};
    clLengths[17] = clLengths[18] = 2;
    clLengths[0] = clLengths[1] = clLengths[2] = clLengths[3] = 3;
    const std::array<uint16_t, 19> clCodes = canonicalCodes(clLengths);
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    constexpr int kSent = 18; // up to symbol 1 in kOrder

    bits.Put(0, 1);         // not the last block
    bits.Put(2, 2);         // dynamic tables
    bits.Put(286 - 257, 5); // literal/length lengths sent
    bits.Put(1 - 1, 5);     // distance lengths sent
    bits.Put(kSent - 4, 4);
    for (int i = 0; i < kSent; ++i)
        bits.Put(clLengths[kOrder[i]], 3);
    const auto putCl = [&](int symbol) { bits.PutCode(clCodes[size_t(symbol)], clLengths[size_t(symbol)]); };
    const auto putZeros = [&](int z) {
        while (z >= 11) {
            const int take = std::min(z, 138);
            putCl(18);
            bits.Put(uint32_t(take - 11), 7);
            z -= take;
        }
        if (z >= 3) {
            putCl(17);
            bits.Put(uint32_t(z - 3), 3);
        } else {
            for (; z > 0; --z)
                putCl(0);
        }
    };
    int zeros = 0;
    for (uint8_t l : lengths) {
        if (l == 0) {
            ++zeros;
            continue;
        }
        putZeros(zeros);
        zeros = 0;
        putCl(l);
    }
    putZeros(zeros);
    putCl(1); // the one distance code (one byte back): one bit, as the format asks

    bits.PutCode(codes[0], lengths[0]);
    // Code 285 and the distance are both the one-bit code 0.
    bits.PutZeroBits(2 * copies);
    if (restCode >= 0) {
        bits.PutCode(codes[size_t(257 + restCode)], 3);
        bits.Put(uint32_t(rest - kLengthBase[restCode]), kLengthExtra[restCode]);
        bits.Put(0, 1);
    } else {
        for (int i = 0; i < rest; ++i)
            bits.PutCode(codes[0], lengths[0]);
    }
    bits.PutCode(codes[256], lengths[256]);
}

// The deflate state of the last band this thread deflated, reset for its
// next one: a new state is four buffers of 64 KB from the heap, which the
// heap hands back to the system between pictures and takes again, cleared
// page by page, for the next.
struct KeptStream
{
    z_stream z{};
    int level = 0;
    bool ready = false;
    bool inUse = false;
    ~KeptStream()
    {
        if (ready)
            deflateEnd(&z);
    }
};
thread_local KeptStream t_kept;

// A raw deflate of one band (no header, no checksum), fed piece by piece,
// appended to out behind what it already holds, ended by a full flush or,
// for the last band, by the final block; adler and length follow its input.
// Long runs of zeros, wherever the pieces are cut, get blocks of their own.
class BandDeflater final : public BandSink
{
public:
    // Without a checksum the caller keeps adler and length itself.
    BandDeflater(int level, QByteArray &out, uLong &adler, size_t &length, bool checksum = true)
        : fKept(takeKept(level)), fZ(fKept ? fKept->z : fOwn), fOut(out), fAdler(adler), fLength(length),
          fStart(out.size()), fChecksum(checksum)
    {
        if (!fKept) {
            const int rc = deflateInit2(&fOwn, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
            if (rc != Z_OK)
                zfail(rc, fOwn);
        }
        fOut.resize(fStart + 64 * 1024);
        fZ.next_out = reinterpret_cast<Bytef *>(fOut.data() + fStart);
        fZ.avail_out = uInt(fOut.size() - fStart);
    }
    ~BandDeflater()
    {
        if (fKept)
            fKept->inUse = false;
        else
            deflateEnd(&fOwn);
    }
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
        if (fChecksum) {
            fAdler = adler32_z(fAdler, data, size);
            fLength += size;
        }
        size_t from = 0; // the first byte neither deflated nor held
        if (fHeldZeros > 0) {
            const size_t lead = zerosFrom(data, 0, size);
            fHeldZeros += lead;
            if (lead == size)
                return;
            settleZeros();
            from = lead;
        }
        // Runs long enough are found by their 32-byte steps of zeros.
        for (size_t at = from; at + 32 <= size;) {
            if (!zeroStep(data + at)) {
                at += 32;
                continue;
            }
            size_t begin = at;
            while (begin > from && data[begin - 1] == 0)
                --begin;
            const size_t end = zerosFrom(data, at + 32, size);
            if (end == size)
                break; // held below, to be measured with what follows
            if (end - begin >= kLongZeroRun) {
                feed(data + from, begin - from);
                zeroBlock(end - begin);
                from = end;
            }
            at = end;
        }
        // The zeros at the end wait for the next piece: a run is judged by
        // its whole length, however the input was cut.
        size_t tail = size;
        while (tail > from && data[tail - 1] == 0)
            --tail;
        feed(data + from, tail - from);
        fHeldZeros = size - tail;
    }

    void Finish(bool last)
    {
        settleZeros();
        for (;;) {
            const int rc = step(last ? Z_FINISH : Z_FULL_FLUSH);
            // A flush is complete once zlib leaves output room unused.
            if (rc == Z_STREAM_END || (!last && fZ.avail_out > 0))
                break;
        }
        fOut.resize(fStart + qsizetype(fZ.total_out));
    }

private:
    // This thread's kept state, reset for the level, when it is free.
    static KeptStream *takeKept(int level)
    {
        KeptStream &k = t_kept;
        if (k.inUse)
            return nullptr;
        if (k.ready && (k.level != level || deflateReset(&k.z) != Z_OK)) {
            deflateEnd(&k.z);
            k.z = z_stream{};
            k.ready = false;
        }
        if (!k.ready) {
            if (deflateInit2(&k.z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
                k.z = z_stream{};
                return nullptr; // the caller's own init says why
            }
            k.ready = true;
            k.level = level;
        }
        k.inUse = true;
        return &k;
    }

    static bool zeroWord(const uint8_t *p)
    {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w == 0;
    }

    static bool zeroStep(const uint8_t *p)
    {
        uint64_t w[4];
        std::memcpy(w, p, 32);
        return (w[0] | w[1] | w[2] | w[3]) == 0;
    }

    // The first byte at or after at that is not zero (size if none is).
    static size_t zerosFrom(const uint8_t *data, size_t at, size_t size)
    {
        while (at + 32 <= size && zeroStep(data + at))
            at += 32;
        while (at + 8 <= size && zeroWord(data + at))
            at += 8;
        while (at < size && data[at] == 0)
            ++at;
        return at;
    }

    void feed(const uint8_t *data, size_t size)
    {
        fZ.next_in = const_cast<Bytef *>(data);
        fZ.avail_in = uInt(size);
        while (fZ.avail_in > 0)
            step(Z_NO_FLUSH);
    }

    void settleZeros()
    {
        const size_t n = std::exchange(fHeldZeros, 0);
        if (n >= kLongZeroRun) {
            zeroBlock(n);
            return;
        }
        for (size_t left = n; left > 0;) {
            const size_t take = std::min(left, sizeof kZeros);
            feed(kZeros, take);
            left -= take;
        }
    }

    // Ends zlib's block where its last bit is, hands zlib the run's own
    // block to put out right behind it, and has zlib go on behind that with
    // the run's last zeros as the window it looks back into: any match zlib
    // could find further back, in zeros, is as near in these. No flush
    // marker, so a run costs no more than in zlib's own block of zeros.
    void zeroBlock(size_t n)
    {
        // Room for the whole block in one call (zlib holds at most its
        // pending buffer).
        reserve(96 * 1024);
        const int rc = deflate(&fZ, Z_BLOCK);
        if ((rc != Z_OK && rc != Z_BUF_ERROR) || fZ.avail_out == 0)
            zfail(rc == Z_OK ? Z_BUF_ERROR : rc, fZ);
        fBlock.clear();
        BitPacker bits(fBlock);
        ZeroRunBlock(n, bits);
        int zrc = deflateSetDictionary(&fZ, kZeros, uInt(kZeroWindow));
        for (size_t i = 0; zrc == Z_OK && i + 1 < fBlock.size(); i += 2) {
            // zlib's buffer for bits given it this way is a part of its
            // pending buffer: it goes out every few kilobytes.
            if (i % 4096 == 0) {
                reserve(8192);
                const int drc = deflate(&fZ, Z_NO_FLUSH);
                if (drc != Z_OK && drc != Z_BUF_ERROR)
                    zfail(drc, fZ);
            }
            zrc = deflatePrime(&fZ, 16, fBlock[i] | fBlock[i + 1] << 8);
        }
        if (zrc == Z_OK && fBlock.size() % 2)
            zrc = deflatePrime(&fZ, 8, fBlock.back());
        if (zrc == Z_OK && bits.LeftCount() > 0)
            zrc = deflatePrime(&fZ, bits.LeftCount(), int(bits.Left()));
        if (zrc != Z_OK)
            zfail(zrc, fZ);
    }

    // At least `bytes` of output room.
    void reserve(size_t bytes)
    {
        if (fZ.avail_out >= bytes)
            return;
        const qsizetype used = reinterpret_cast<char *>(fZ.next_out) - fOut.data();
        fOut.resize(used + qsizetype(bytes) + used / 2);
        fZ.next_out = reinterpret_cast<Bytef *>(fOut.data() + used);
        fZ.avail_out = uInt(fOut.size() - used);
    }

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

    KeptStream *fKept;
    z_stream fOwn{}; // when this thread's kept state is taken
    z_stream &fZ;
    QByteArray &fOut;
    uLong &fAdler;
    size_t &fLength;
    qsizetype fStart;
    bool fChecksum;
    size_t fHeldZeros = 0; // zeros at the end of the input so far, not yet deflated
    std::vector<uint8_t> fBlock;
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

namespace {

// Threads kept for RunInParallel once it has first run: a capture's bands
// start at once instead of waiting for threads to be made, which on a busy
// machine takes milliseconds. A task goes to a kept thread only when one is
// idle; the caller makes a thread of its own otherwise. The threads live as
// long as the process.
class KeptThreads
{
public:
    static KeptThreads &Instance()
    {
        static KeptThreads *kept = new KeptThreads; // never ends: its threads wait to the last
        return *kept;
    }

    bool TryRun(std::function<void()> task)
    {
        {
            const std::lock_guard<std::mutex> hold(fLock);
            if (fIdle <= int(fTasks.size())) {
                if (int(fThreads.size()) >= fMost)
                    return false;
                try {
                    fThreads.emplace_back([this] { Serve(); });
                } catch (const std::system_error &) {
                    return false;
                }
                ++fIdle;
            }
            fTasks.push_back(std::move(task));
        }
        fWake.notify_one();
        return true;
    }

private:
    KeptThreads() : fMost(int(std::max(1u, std::thread::hardware_concurrency()))) {}

    void Serve()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> hold(fLock);
                fWake.wait(hold, [this] { return !fTasks.empty(); });
                task = std::move(fTasks.front());
                fTasks.pop_front();
                --fIdle;
            }
            task();
            const std::lock_guard<std::mutex> hold(fLock);
            ++fIdle;
        }
    }

    std::mutex fLock;
    std::condition_variable fWake;
    std::deque<std::function<void()>> fTasks;
    std::vector<std::thread> fThreads;
    int fIdle = 0;
    const int fMost;
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
    // Runner k takes indices k, k + runners, ...; the last runner is this thread.
    const int runners = t_threadLimit > 0 ? std::min(count, t_threadLimit) : count;
    const auto run = [&](int k) {
        for (int i = k; i < count; i += runners)
            guarded(i);
    };
    std::vector<std::thread> threads;
    threads.reserve(size_t(std::max(runners - 1, 0)));
    std::mutex doneLock;
    std::condition_variable doneChanged;
    int kept = 0, keptDone = 0;
    for (int k = 0; k < runners - 1; ++k) {
        const bool taken = KeptThreads::Instance().TryRun([&, k] {
            run(k);
            const std::lock_guard<std::mutex> hold(doneLock);
            if (++keptDone == kept)
                doneChanged.notify_all();
        });
        if (taken) {
            const std::lock_guard<std::mutex> hold(doneLock);
            ++kept;
            continue;
        }
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
    std::unique_lock<std::mutex> hold(doneLock);
    doneChanged.wait(hold, [&] { return keptDone == kept; });
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

int CurrentThreadLimit()
{
    return t_threadLimit;
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

namespace {

// The made rows of the last DeflateRows, kept for the next: a fresh buffer
// of a screen's size costs the kernel a fault and a page clearing for every
// page of it on each picture, more than making the rows. One buffer is kept,
// up to kMostKept bytes; an encode meeting it in use, or needing more, takes
// a fresh one, and the larger of the two is kept afterwards.
class KeptRows
{
public:
    static constexpr size_t kMostKept = size_t(48) << 20;

    // A buffer of at least `bytes` bytes; its real size goes to capacity.
    static uint8_t *Take(size_t bytes, size_t &capacity)
    {
        {
            const std::lock_guard<std::mutex> hold(Lock());
            Slot &slot = Kept();
            if (slot.data && slot.size >= bytes) {
                capacity = slot.size;
                return std::exchange(slot.data, nullptr);
            }
        }
        capacity = bytes;
        return static_cast<uint8_t *>(AllocatePixels(bytes));
    }

    static void Give(uint8_t *data, size_t capacity) noexcept
    {
        if (capacity <= kMostKept) {
            const std::lock_guard<std::mutex> hold(Lock());
            Slot &slot = Kept();
            if (!slot.data || slot.size < capacity) {
                std::swap(slot.data, data);
                std::swap(slot.size, capacity);
            }
        }
        if (data)
            FreePixels(data, capacity);
    }

private:
    struct Slot
    {
        uint8_t *data = nullptr;
        size_t size = 0;
    };
    static std::mutex &Lock()
    {
        static std::mutex lock;
        return lock;
    }
    static Slot &Kept()
    {
        static Slot slot; // lives as long as the process, like its threads
        return slot;
    }
};

// A run of rows of one band, made as one piece of work.
struct Piece
{
    int64_t y0 = 0, y1 = 0;
    uLong adler = 1;
    std::atomic<int> state{0}; // RowPipeline::Free, Made or Failed
};

// Raised in a thread that gives up because another one failed; the first
// real fault is what DeflateRows rethrows.
struct Abandoned
{
};

// The shared state of one DeflateRows: the made rows, their pieces, and the
// bands' outputs waiting for their turn to go out.
//
// Each band's thread makes its own rows, piece by piece from the top, and
// deflates each piece while it is still in the cache; it never waits for a
// thread that may not be running. A thread whose bands are done takes pieces
// from the bottom of the band with the most rows still unmade, so the slow
// bands find their last rows made when they get there. Only where the two
// meet may a band wait for a piece in the making.
class RowPipeline
{
public:
    enum { Free, Made, Failed };

    RowPipeline(const RowSource &source, int level, const StreamOut &out)
        : fSource(source), fLevel(level), fOut(out)
    {
        const int64_t h = source.rows;
        fBands = int((h + source.rowsPerBand - 1) / source.rowsPerBand);
        // Pieces of about 64 KB: a few rows, so that a helper's share is
        // worth having, and small enough to stay in the cache between being
        // made and being deflated.
        const int64_t perPiece =
            std::clamp<int64_t>(int64_t(64 * 1024 / std::max<size_t>(source.rowBytes, 1)), 1, source.rowsPerBand);
        fBandPieces.resize(size_t(fBands));
        size_t count = 0;
        for (int b = 0; b < fBands; ++b) {
            const int64_t y0 = b * source.rowsPerBand, y1 = std::min(h, y0 + source.rowsPerBand);
            fBandPieces[size_t(b)] = {count, count + size_t((y1 - y0 + perPiece - 1) / perPiece)};
            count = fBandPieces[size_t(b)].second;
        }
        fPieces = std::make_unique<Piece[]>(count);
        fPieceCount = count;
        for (int b = 0; b < fBands; ++b) {
            const int64_t y0 = b * source.rowsPerBand, y1 = std::min(h, y0 + source.rowsPerBand);
            size_t i = fBandPieces[size_t(b)].first;
            for (int64_t y = y0; y < y1; y += perPiece, ++i) {
                fPieces[i].y0 = y;
                fPieces[i].y1 = std::min(y1, y + perPiece);
            }
        }
        fFront.assign(size_t(fBands), 0);
        fBack.resize(size_t(fBands));
        for (int b = 0; b < fBands; ++b) {
            fFront[size_t(b)] = fBandPieces[size_t(b)].first;
            fBack[size_t(b)] = fBandPieces[size_t(b)].second;
        }
        fBytes = size_t(h) * source.rowBytes;
        fRows = KeptRows::Take(std::max<size_t>(fBytes, 1), fCapacity);
        fOutputs.resize(size_t(fBands));
        fDone.assign(size_t(fBands), false);
    }
    ~RowPipeline() { KeptRows::Give(fRows, fCapacity); }
    RowPipeline(const RowPipeline &) = delete;
    RowPipeline &operator=(const RowPipeline &) = delete;

    int Bands() const { return fBands; }

    void DeflateBand(int b)
    {
        if (BandFaultForTest)
            BandFaultForTest(b);
        const size_t rowBytes = fSource.rowBytes;
        const int64_t y0 = b * fSource.rowsPerBand;
        QByteArray &out = fOutputs[size_t(b)];
        uLong unusedAdler = 1;
        size_t unusedLength = 0;
        BandDeflater deflater(fLevel, out, unusedAdler, unusedLength, false);
        if (b > 0) {
            // The window before the cut, made again here rather than waited
            // for: the band above makes those rows last.
            const int64_t windowRows = int64_t((kWindow + rowBytes - 1) / rowBytes);
            const int64_t w0 = std::max<int64_t>(0, y0 - windowRows);
            std::vector<uint8_t> before(size_t(y0 - w0) * rowBytes);
            fSource.make(w0, y0, before.data());
            const size_t keep = std::min(before.size(), kWindow);
            deflater.SetDictionary(before.data() + before.size() - keep, keep);
        }
        const auto [first, end] = fBandPieces[size_t(b)];
        for (size_t i = first; i < end; ++i) {
            Piece &p = fPieces[i];
            if (ClaimFront(b, i))
                Make(p);
            else
                WaitMade(p);
            deflater.Write(fRows + size_t(p.y0) * rowBytes, size_t(p.y1 - p.y0) * rowBytes);
        }
        deflater.Finish(b + 1 == fBands);
        Publish(b);
    }

    // Makes one piece for a band still at work; false once none is left.
    bool HelpOne()
    {
        if (fFailed.load(std::memory_order_relaxed))
            return false;
        size_t piece = 0;
        {
            const std::lock_guard<std::mutex> hold(fClaimLock);
            size_t most = 0;
            int band = -1;
            for (int b = 0; b < fBands; ++b) {
                const size_t left = fBack[size_t(b)] - fFront[size_t(b)];
                if (left > most) {
                    most = left;
                    band = b;
                }
            }
            // The band's own next piece stays its own.
            if (band < 0 || most < 2)
                return false;
            piece = --fBack[size_t(band)];
        }
        Make(fPieces[piece]);
        return true;
    }

    // The checksum of the whole stream, from its pieces' own.
    uLong Adler() const
    {
        uLong adler = 1;
        for (size_t i = 0; i < fPieceCount; ++i) {
            const Piece &p = fPieces[i];
            adler = adler32_combine(adler, p.adler, z_off_t(size_t(p.y1 - p.y0) * fSource.rowBytes));
        }
        return adler;
    }

    // Records the first real fault and wakes every waiting thread.
    void Fail(std::exception_ptr e)
    {
        {
            const std::lock_guard<std::mutex> hold(fLock);
            if (!fFault)
                fFault = e;
            fFailed = true;
        }
        fChanged.notify_all();
    }

    std::exception_ptr Fault()
    {
        const std::lock_guard<std::mutex> hold(fLock);
        return fFault;
    }

private:
    // Band b's next piece i, unless a helper has taken it.
    bool ClaimFront(int b, size_t i)
    {
        const std::lock_guard<std::mutex> hold(fClaimLock);
        if (i >= fBack[size_t(b)])
            return false;
        fFront[size_t(b)] = i + 1;
        return true;
    }

    void Make(Piece &p)
    {
        if (fFailed.load(std::memory_order_relaxed))
            throw Abandoned();
        uint8_t *dst = fRows + size_t(p.y0) * fSource.rowBytes;
        const size_t size = size_t(p.y1 - p.y0) * fSource.rowBytes;
        try {
            fSource.make(p.y0, p.y1, dst);
            p.adler = Adler32(1, dst, size);
        } catch (...) {
            {
                const std::lock_guard<std::mutex> hold(fLock);
                p.state.store(Failed, std::memory_order_release);
            }
            Fail(std::current_exception());
            throw;
        }
        {
            const std::lock_guard<std::mutex> hold(fLock);
            p.state.store(Made, std::memory_order_release);
        }
        fChanged.notify_all();
    }

    // Returns once a helper has made p.
    void WaitMade(Piece &p)
    {
        std::unique_lock<std::mutex> hold(fLock);
        fChanged.wait(hold, [&] {
            return p.state.load(std::memory_order_acquire) != Free || fFailed.load(std::memory_order_relaxed);
        });
        if (p.state.load(std::memory_order_acquire) != Made)
            throw Abandoned();
    }

    // Hands the bands that are complete and next in the stream to fOut.
    void Publish(int b)
    {
        const std::lock_guard<std::mutex> hold(fPublishLock);
        fDone[size_t(b)] = true;
        while (fNext < fBands && fDone[size_t(fNext)]) {
            QByteArray &bytes = fOutputs[size_t(fNext)];
            if (fFailed.load(std::memory_order_relaxed))
                throw Abandoned();
            try {
                fOut(bytes.constData(), size_t(bytes.size()));
            } catch (...) {
                // Failed before the lock is let go: no other band may go
                // out behind the refused one.
                Fail(std::current_exception());
                throw;
            }
            bytes = QByteArray();
            ++fNext;
        }
    }

    const RowSource &fSource;
    int fLevel;
    const StreamOut &fOut;
    int fBands = 0;
    std::vector<std::pair<size_t, size_t>> fBandPieces; // [first, end) per band
    std::unique_ptr<Piece[]> fPieces;
    size_t fPieceCount = 0;
    std::mutex fClaimLock;
    std::vector<size_t> fFront, fBack; // per band: pieces before fFront are the band's, from fBack on the helpers'
    uint8_t *fRows = nullptr;
    size_t fBytes = 0;
    size_t fCapacity = 0;
    std::atomic<bool> fFailed{false};
    std::mutex fLock;
    std::condition_variable fChanged;
    std::exception_ptr fFault;
    std::mutex fPublishLock;
    std::vector<QByteArray> fOutputs;
    std::vector<bool> fDone;
    int fNext = 0;
};

} // namespace

void DeflateRows(const RowSource &source, int level, const StreamOut &out)
{
    if (source.rows <= 0 || source.rowsPerBand <= 0)
        throw EZCompressionError(QStringLiteral("no rows to deflate"));
    RowPipeline pipe(source, level, out);
    QByteArray header;
    appendZlibHeader(header, level);
    out(header.constData(), size_t(header.size()));
    const int bands = pipe.Bands();
    const int runners = t_threadLimit > 0 ? std::min(bands, t_threadLimit) : bands;
    try {
        // Each runner takes the next band nobody has started, so a thread
        // that starts late (on a busy machine) holds up no band; with no
        // band left it makes rows for the bands still at work.
        std::atomic<int> nextBand{0};
        RunInParallel(runners, [&](int) {
            try {
                for (int b = nextBand++; b < bands; b = nextBand++)
                    pipe.DeflateBand(b);
                while (pipe.HelpOne()) {
                }
            } catch (const Abandoned &) {
                throw;
            } catch (...) {
                pipe.Fail(std::current_exception());
                throw;
            }
        });
    } catch (...) {
        if (const std::exception_ptr first = pipe.Fault())
            std::rethrow_exception(first);
        throw;
    }
    QByteArray trailer;
    appendAdler(trailer, pipe.Adler());
    out(trailer.constData(), size_t(trailer.size()));
}

} // namespace zk::png
