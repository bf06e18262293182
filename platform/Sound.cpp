#include "Sound.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaDevices>
#include <QPointer>
#include <QSoundEffect>
#include <QThread>
#include <QUrl>

namespace zk {

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

bool HaveAudioOutput()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

bool IsWavePlaying()
{
    QSoundEffect *e = effect();
    if (!e)
        return false;
    return e->isPlaying() || e->status() == QSoundEffect::Loading;
}

bool PlayWaveFile(const QString &fileName)
{
    if (!QFileInfo(fileName).isFile() || !HaveAudioOutput())
        return false;
    QSoundEffect *e = effect();
    if (!e || IsWavePlaying())
        return false;
    const QUrl url = QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath());
    if (e->source() != url)
        e->setSource(url);
    // play() before the sample has loaded is queued by QSoundEffect.
    e->play();
    return true;
}

} // namespace zk
