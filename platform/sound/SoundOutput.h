#pragma once
// The entry points of libzksound.so, the program's own module that holds
// everything touching Qt Multimedia. It is opened on the first sound, so the
// audio libraries behind Qt Multimedia cost nothing at start-up.
#include <QString>

extern "C" {
using ZkSoundHaveOutputFn = bool (*)();
using ZkSoundPlayFn = bool (*)(const QString &absolutePath);
using ZkSoundIsPlayingFn = bool (*)();
}

namespace zk::sound {
inline constexpr const char *kModuleName = "libzksound.so";
inline constexpr const char *kHaveOutput = "zkSoundHaveOutput";
inline constexpr const char *kPlay = "zkSoundPlay";
inline constexpr const char *kIsPlaying = "zkSoundIsPlaying";
} // namespace zk::sound
