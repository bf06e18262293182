#pragma once
// A picture's rows shared between the calling thread and a few kept helper
// threads. One thread alone cannot read and write memory as fast as the
// machine can; a large picture's format change or flip done by two to four
// takes about half the time. Small pictures stay on the calling thread,
// where waking a helper would cost more than it saves.
#include <cstddef>
#include <functional>
#include <utility>

namespace zk {

// Runs work(band) once for every band from count - 1 down to 0, on the
// calling thread and on helpers when bytes (what the work touches) make it
// worth it, and returns when all are done. A band starts only when the bands
// above it from needs(band).first to needs(band).second have finished (an
// empty range or one at or below the band: none), so work done in place from
// the end backwards can be shared out: a band may overwrite what a band
// above it still has to read. A band's own work runs on one thread, in its
// own order. work must not throw.
void RunBandsDescending(int count, std::size_t bytes, const std::function<std::pair<int, int>(int band)> &needs,
                        const std::function<void(int band)> &work);

// Off: every band on the calling thread. Tests walk a picture both ways; the
// program never calls it.
void ShareRowsWithHelpers(bool on);

} // namespace zk
