#pragma once
// Deflating a large block of filtered rows on several cores at once while
// still writing one ordinary zlib stream: the block is cut into bands, each
// band is made and deflated row by row by its own worker (so the whole block
// never stands in memory), its zlib stream primed with the 32 KB before it,
// every band but the last ends on a full flush (a byte boundary), and the
// pieces are joined behind one zlib header with the Adler-32 checksums
// combined. Any inflater reads the result as if one stream had written it.
// Long runs of zeros (black screen areas) skip zlib: each gets a block of
// its own, coded as tightly as zlib codes a block of zeros, at a small part
// of zlib's cost, which looks at every byte of them.
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace zk::png {

// Runs work(0) .. work(count - 1), each on its own thread (the last on the
// caller's), or on at most the calling thread's ThreadLimit threads, each
// taking every limit-th index. Every call runs to its end; the first
// exception thrown by any of them is rethrown here after all have finished.
void RunInParallel(int count, const std::function<void(int index)> &work);

// While it lives, RunInParallel and DeflateBands called on the thread that
// made it use at most `threads` threads (1: the caller's alone). A job that
// already keeps every core busy with one picture each sets it on its
// workers, so each picture's bands do not multiply the threads, and with
// them the buffers held at once, by the cores. The bands, and so the bytes
// written, stay those of the unlimited run. Nests; below 1 counts as 1.
class ThreadLimit
{
public:
    explicit ThreadLimit(int threads);
    ~ThreadLimit();
    ThreadLimit(const ThreadLimit &) = delete;
    ThreadLimit &operator=(const ThreadLimit &) = delete;

private:
    int fOld;
};

// The ThreadLimit in force on this thread, 0 when there is none.
int CurrentThreadLimit();

// Worker threads worth starting for `bytes` of input: 1 below the band
// threshold, else up to the machine's cores with bands of at least 128 KB.
int BandCount(size_t bytes);

// The most bytes a band's deflate looks back into the band before it.
constexpr size_t kWindow = 32 * 1024;

// Where a band's worker puts its bytes.
class BandSink
{
public:
    // The kWindow bytes (fewer at the stream's start) that stand before the
    // band in the stream; before the first Write, and not for band 0.
    virtual void SetDictionary(const uint8_t *data, size_t size) = 0;
    // The band's next bytes; data may be reused once Write returns.
    virtual void Write(const uint8_t *data, size_t size) = 0;

protected:
    ~BandSink() = default;
};

// One zlib stream at zlib `level` made of `count` bands, band i's bytes
// given by feed(i, sink) on a worker of its own; under a ThreadLimit of 1
// the bands follow one another on the caller's thread, straight into the
// one output.
QByteArray DeflateBands(int count, int level, const std::function<void(int band, BandSink &sink)> &feed);

// The rows of a banded deflate, made on any core ahead of the deflate that
// needs them: rows of rowBytes bytes, cut into bands of rowsPerBand rows (the
// last band may be shorter). make(y0, y1, dst) writes rows y0 .. y1 - 1 to
// dst; it runs for any range of rows, on any thread, in any order.
struct RowSource
{
    int64_t rows = 0;
    size_t rowBytes = 0;
    int64_t rowsPerBand = 0;
    std::function<void(int64_t y0, int64_t y1, uint8_t *dst)> make;
};

// Takes the stream's bytes in order as soon as they are final: the zlib
// header, each band once it and every band before it are deflated, then the
// checksum. Called on one thread at a time (perhaps a worker); an exception
// it throws stops the work and DeflateRows rethrows it.
using StreamOut = std::function<void(const char *data, size_t size)>;

// The bytes DeflateBands gives for the same bands fed the same rows, with
// the cores kept busy to the end: a thread whose bands are done makes the
// last rows of the bands still deflating, and each band's bytes go out while
// later bands still deflate. Holds the made rows of the whole stream at once.
// Under a ThreadLimit the bands share that many threads.
void DeflateRows(const RowSource &source, int level, const StreamOut &out);

// Tests only: when set, called at the start of each band's deflate with its
// index; an exception it throws fails that band like a zlib error would.
extern std::function<void(int band)> BandFaultForTest;
// Tests only: above 0, BandCount gives this for every size.
extern int ForcedBandsForTest;

} // namespace zk::png
