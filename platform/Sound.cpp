#include "Sound.h"

#include "ProgramModule.h"
#include "sound/SoundOutput.h"

#include <QFileInfo>

#include <cstdio>
#include <mutex>
#include <dlfcn.h>

namespace zk {

namespace {

struct TSoundModule
{
    ZkSoundHaveOutputFn haveOutput = nullptr;
    ZkSoundPlayFn play = nullptr;
    ZkSoundIsPlayingFn isPlaying = nullptr;
};

// The module, opened at the first sound and kept; without it (or without one
// of its entry points) the program stays silent and says so once on stderr.
const TSoundModule *soundModule()
{
    static TSoundModule m;
    static std::once_flag once;
    std::call_once(once, [] {
        QString reason;
        if (void *lib = OpenProgramModule(sound::kModuleName, &reason)) {
            m.haveOutput = reinterpret_cast<ZkSoundHaveOutputFn>(dlsym(lib, sound::kHaveOutput));
            m.play = reinterpret_cast<ZkSoundPlayFn>(dlsym(lib, sound::kPlay));
            m.isPlaying = reinterpret_cast<ZkSoundIsPlayingFn>(dlsym(lib, sound::kIsPlaying));
            if (!m.haveOutput || !m.play || !m.isPlaying)
                reason = "an entry point is missing";
        }
        if (!reason.isEmpty()) {
            std::fprintf(stderr, "Sounds are off: %s could not be loaded (%s).\n", sound::kModuleName,
                         qPrintable(reason));
            m = TSoundModule{};
        }
    });
    return m.play ? &m : nullptr;
}

} // namespace

bool HaveAudioOutput()
{
    const TSoundModule *m = soundModule();
    return m && m->haveOutput();
}

bool IsWavePlaying()
{
    const TSoundModule *m = soundModule();
    return m && m->isPlaying();
}

bool PlayWaveFile(const QString &fileName)
{
    if (!QFileInfo(fileName).isFile() || !HaveAudioOutput())
        return false;
    return soundModule()->play(QFileInfo(fileName).absoluteFilePath());
}

} // namespace zk
