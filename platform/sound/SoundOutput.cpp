// The module's side: WAV files played through QSoundEffect on the GUI thread.
#include "SoundOutput.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>

namespace {

// One effect for the whole program, owned by the application object so it is
// gone before the multimedia back end shuts down.
QSoundEffect *effect()
{
    static QPointer<QSoundEffect> e;
    if (!e) {
        auto *app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread())
            return nullptr;
        e = new QSoundEffect(app);
    }
    return e;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) bool zkSoundHaveOutput()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

__attribute__((visibility("default"))) bool zkSoundIsPlaying()
{
    QSoundEffect *e = effect();
    if (!e)
        return false;
    return e->isPlaying() || e->status() == QSoundEffect::Loading;
}

__attribute__((visibility("default"))) bool zkSoundPlay(const QString &absolutePath)
{
    QSoundEffect *e = effect();
    if (!e || zkSoundIsPlaying())
        return false;
    const QUrl url = QUrl::fromLocalFile(absolutePath);
    if (e->source() != url)
        e->setSource(url);
    // play() before the sample has loaded is queued by QSoundEffect.
    e->play();
    return true;
}

} // extern "C"
