#include "Sound.h"

#include "sound/SoundOutput.h"

#include <QCoreApplication>
#include <QFile>
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

// Null with why in reason when the module is missing or does not load.
void *openSoundModule(QByteArray &reason)
{
    QStringList folders{QCoreApplication::applicationDirPath()};
#ifdef ZK_BUILD_PROGRAM_DIR
    // Tests and benchmarks run from the build tree, away from the program.
    folders << QStringLiteral(ZK_BUILD_PROGRAM_DIR);
#endif
    for (const QString &folder : folders) {
        const QString path = folder + '/' + QLatin1String(sound::kModuleName);
        if (!QFileInfo::exists(path))
            continue;
        void *lib = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            reason = dlerror();
        return lib;
    }
    reason = "not found beside the program";
    return nullptr;
}

// The module, opened at the first sound and kept; without it (or without one
// of its entry points) the program stays silent and says so once on stderr.
const TSoundModule *soundModule()
{
    static TSoundModule m;
    static std::once_flag once;
    std::call_once(once, [] {
        QByteArray reason;
        if (void *lib = openSoundModule(reason)) {
            m.haveOutput = reinterpret_cast<ZkSoundHaveOutputFn>(dlsym(lib, sound::kHaveOutput));
            m.play = reinterpret_cast<ZkSoundPlayFn>(dlsym(lib, sound::kPlay));
            m.isPlaying = reinterpret_cast<ZkSoundIsPlayingFn>(dlsym(lib, sound::kIsPlaying));
            if (!m.haveOutput || !m.play || !m.isPlaying)
                reason = "an entry point is missing";
        }
        if (!reason.isEmpty()) {
            std::fprintf(stderr, "Sounds are off: %s could not be loaded (%s).\n", sound::kModuleName,
                         reason.constData());
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
