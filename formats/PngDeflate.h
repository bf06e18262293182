#pragma once
// Deflating a large block of filtered rows on several cores at once while
// still writing one ordinary zlib stream: the block is cut into bands, each
// band is deflated by its own zlib stream primed with the 32 KB before it,
// every band but the last ends on a full flush (a byte boundary), and the
// pieces are joined behind one zlib header with the Adler-32 checksums
// combined. Any inflater reads the result as if one stream had written it.
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace zk::png {

// Runs work(0) .. work(count - 1), each on its own thread (the last on the
// caller's). Every call runs to its end; the first exception thrown by any
// of them is rethrown here after all have finished.
void RunInParallel(int count, const std::function<void(int index)> &work);

// Worker threads worth starting for `bytes` of input: 1 below the band
// threshold, else up to the machine's cores with bands of at least 128 KB.
int BandCount(size_t bytes);

// One zlib stream holding data[0 .. size), deflated at zlib `level` in the
// bands that start at cuts[i] (cuts[0] must be 0, ascending, below size).
QByteArray DeflateInBands(const uint8_t *data, size_t size, const std::vector<size_t> &cuts, int level);

// Tests only: when set, called at the start of each band's deflate with its
// index; an exception it throws fails that band like a zlib error would.
extern std::function<void(int band)> BandFaultForTest;
// Tests only: above 0, BandCount gives this for every size.
extern int ForcedBandsForTest;

} // namespace zk::png
