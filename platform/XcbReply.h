#pragma once
// Small pieces every xcb user here needs: replies are malloc'ed by xcb and
// must be free'd, and visual masks are turned into shifts.
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zk {

struct XcbFree
{
    void operator()(void *p) const { std::free(p); }
};

// Owns one xcb reply (or error) and frees it.
template <typename T>
using XReply = std::unique_ptr<T, XcbFree>;

// The position of the lowest set bit of a colour mask (0 for an empty mask).
inline int MaskShift(std::uint32_t mask)
{
    int s = 0;
    while (mask && !(mask & 1u)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

} // namespace zk
