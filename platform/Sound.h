#pragma once
// The capture sound: WAV files played through QSoundEffect on the GUI thread.
#include <QString>

namespace zk {

// True when the system offers at least one audio output.
bool HaveAudioOutput();

// Starts playing a WAV file and returns at once. Plays nothing (and returns
// false) when there is no audio output, the file does not exist, or a sound
// started earlier is still playing: a playing sound is never cut off, the new
// one is skipped. Call from the GUI thread.
bool PlayWaveFile(const QString &fileName);

// True while a sound started by PlayWaveFile loads or plays.
bool IsWavePlaying();

} // namespace zk
