#pragma once
// What the program and its two run-time loaded modules (modules/) agree on:
// the file names, the entry points' C signatures and the names of the X11
// messages the tools module sends. Plain C++ so the modules can include it
// without Qt. docs/modules.md describes the protocol.
#include <cstdint>

namespace zk::modules {

inline constexpr const char *kToolsModule = "libzktools32.so";
inline constexpr const char *kZipModule = "libvexzip32.so";

// vexzip32: packs the files listed in "zipfiles.dat" of the program folder.
// Returns 1 when the archive was written.
using ProceedFilesFn = std::uint8_t (*)(std::int32_t level, std::uint8_t, std::uint8_t);

// zktools32. Window arguments are X11 window ids; each returns 1 on success.
using InstallHookFn = std::uint8_t (*)(std::uint32_t window);
using UninstallHookFn = std::uint8_t (*)();
using ShowAviFrameFn = std::uint8_t (*)(std::uint32_t window, std::int32_t width, std::uint8_t frameInit,
                                        std::uint8_t moveGrabber, std::uint8_t one);
using HideAviFrameFn = std::uint8_t (*)();

// ClientMessages (format 32) the tools module sends to the window it was
// given; data32[0] and data32[1] carry the values.
inline constexpr const char *kLButtonUpAtom = "_ZELKORA_LBUTTONUP";     // root x, root y
inline constexpr const char *kFrameMovedAtom = "_ZELKORA_FRAME_MOVED"; // left, top
inline constexpr const char *kPrintKeyAtom = "_ZELKORA_PRINT_KEY";     // 1 press, 0 release

// The recording area's height for a width, as the recorder sizes it.
inline std::int32_t RecordHeightForWidth(std::int32_t width)
{
    switch (width) {
    case 300: return 240;
    case 600: return 480;
    case 800: return 600;
    case 1024: return 768;
    case 1152: return 864;
    default: return width * 3 / 4;
    }
}

} // namespace zk::modules
