#include "GIFPainter.h"

#include "GIFImage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QThread>

#include <algorithm>
#include <limits>

namespace zk {

namespace {

class TSystemClock : public TGIFPainterClock
{
public:
    TSystemClock() { fTimer.start(); }
    qint64 Now() override { return fTimer.elapsed(); }
    void Sleep(int ms) override { QThread::msleep(ulong(std::max(ms, 0))); }

private:
    QElapsedTimer fTimer;
};

// a x b / c rounded to nearest; false when c is 0 or the result leaves 32 bits.
bool MulDiv(qint64 a, qint64 b, qint64 c, qint64 &result)
{
    if (c == 0)
        return false;
    const qint64 p = a * b;
    const qint64 half = (c < 0 ? -c : c) / 2;
    result = (p >= 0 ? p + half : p - half) / c;
    return result >= std::numeric_limits<int32_t>::min() && result <= std::numeric_limits<int32_t>::max();
}

// Disposal 0-3 as GIF defines them; the undefined 4 is kept like 3 and 5-7
// like 1, so that such a frame is still drawn.
int EffectiveDisposal(int d)
{
    if (d == 4)
        return 3;
    return d > 4 ? 1 : d;
}

QColor ColorOf(TColor c)
{
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

} // namespace

TGIFPainterClock &SystemPainterClock()
{
    static TSystemClock clock;
    return clock;
}

TGIFPainter::TGIFPainter(TGIFImage *image, QWidget *target, const QRect &rect, uint16_t options,
                         TGIFPainter **current, TGIFPainterClock *clock)
    : fImage(image)
    , fTarget(target)
    , fHadTarget(target != nullptr)
    , fRect(rect)
    , fOptions(options)
    , fSpeed(image ? image->AnimationSpeed : 100)
    , fCurrent(current)
    , fClock(clock ? *clock : SystemPainterClock())
{
    if (fCurrent)
        *fCurrent = this;
    fTimer.setSingleShot(true);
    QObject::connect(&fTimer, &QTimer::timeout, [this] { WaitEnded(); });

    const int w = std::max(rect.width(), 1);
    const int h = std::max(rect.height(), 1);
    fCanvas = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    fCanvas.fill(Qt::transparent);
    if (!image)
        return;

    if (image->DrawBackgroundColor != GIFNoBackgroundColor)
        fBackgroundColor = image->DrawBackgroundColor;
    else if (image->Header().ColorMap().Count() == 0) {
        const QColor window = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                                  ? QGuiApplication::palette().color(QPalette::Base)
                                  : QColor(Qt::white);
        fBackgroundColor = RGBToTColor(window.red(), window.green(), window.blue());
    } else
        fBackgroundColor = image->Header().BackgroundColor();

    bool restoreBackground = options & goClearOnLoop;
    bool restorePrevious = false;
    for (int i = 0; i < image->Images().Count(); ++i) {
        const TGIFGraphicControlExtension *gce = image->Images()[i]->GraphicControlExtension();
        const int d = gce ? EffectiveDisposal(gce->Disposal()) : 0;
        restoreBackground |= d == 2;
        restorePrevious |= d == 3;
    }
    if (restoreBackground && (options & goTransparent))
        fBackgroundBuffer = fCanvas.copy();
    if (restoreBackground || restorePrevious) {
        fBackBuffer = fCanvas.copy();
        fPreviousBuffer = fCanvas.copy();
    }
}

TGIFPainter::~TGIFPainter()
{
    fTimer.stop();
    if (fCurrent && *fCurrent == this)
        *fCurrent = nullptr;
}

void TGIFPainter::SetTarget(QWidget *target)
{
    fTarget = target;
    fHadTarget = fHadTarget || target;
}

void TGIFPainter::Start()
{
    if (Asynchronous())
        Run();
    else
        Execute();
}

void TGIFPainter::Stop()
{
    fTerminated = true;
    if (Asynchronous() && !fFinished && !fRunning) {
        // Cut the wait short: the play ends on the next pass of the loop.
        fTimer.start(0);
        fPendingWait = 0;
    }
}

void TGIFPainter::Execute() { Run(); }

void TGIFPainter::WaitEnded()
{
    if (fRunning)
        return;
    fTimer.stop();
    fPendingWait = -2;
    if (!fFinished)
        Run();
}

void TGIFPainter::Fire(const std::function<void(TGIFPainter &)> &event)
{
    if (event && !fTerminated)
        event(*this);
}

int TGIFPainter::ComputeWait(TGIFSubImage &frame)
{
    frame.Bitmap();
    const qint64 now = fClock.Now();
    qint64 wait;
    if (fSpeed < 1) {
        wait = Asynchronous() ? InfiniteWait : qint64(MaximumDelay) * DelayUnit;
    } else {
        const qint64 overrun = (now - fLastTime - fAdjustment) / 2;
        if (MulDiv(qint64(fDelay) * DelayUnit - overrun, 100, fSpeed, wait)) {
            fAdjustment = wait;
        } else {
            wait = qint64(MaximumDelay) * DelayUnit;
            fAdjustment = 0;
        }
    }
    fLastTime = now;
    return int(wait);
}

void TGIFPainter::SyncWait(int ms)
{
    const qint64 end = fClock.Now() + std::max(ms, 1);
    for (;;) {
        const qint64 left = end - fClock.Now();
        if (left <= 0 || fTerminated)
            return;
        fClock.Sleep(int(std::min<qint64>(left, 100)));
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    }
}

void TGIFPainter::Run()
{
    fRunning = true;
    const bool async = Asynchronous();
    while (fPhase != Phase::Done) {
        if (!fImage) {
            fTerminated = true;
            fPhase = Phase::EndPass;
        }
        switch (fPhase) {
        case Phase::BeginPlay:
            fActiveImage = 0;
            Fire(OnStartPaint);
            fFirstFrameDrawn = false;
            fPassesLeft = 1;
            fLoopStart = 0;
            fLoopSeen = false;
            fDelay = async ? 0 : 1;
            fPreviousDisposal = 1;
            fLastTime = fClock.Now();
            fAdjustment = 0;
            fPhase = Phase::BeginPass;
            break;
        case Phase::BeginPass:
            if ((fPassesLeft == 0 && !(fOptions & goLoopContinously)) || fTerminated) {
                fPhase = Phase::Done;
                break;
            }
            fActiveImage = fLoopStart;
            if (fFirstFrameDrawn)
                Fire(OnLoop);
            fPhase = Phase::Frame;
            break;
        case Phase::Frame: {
            if (fTerminated || fActiveImage < 0 || fActiveImage >= fImage->Images().Count() ||
                fImage->Images()[fActiveImage]->Empty()) {
                fPhase = Phase::EndPass;
                break;
            }
            fPhase = Phase::Draw;
            if (fDelay <= 0)
                break;
            const int wait = ComputeWait(*fImage->Images()[fActiveImage]);
            if (async) {
                if (wait == InfiniteWait || wait >= 1) {
                    fPendingWait = wait;
                    if (wait != InfiniteWait)
                        fTimer.start(wait);
                    fRunning = false;
                    return;
                }
            } else {
                SyncWait(wait);
            }
            break;
        }
        case Phase::Draw: {
            if (fTerminated) {
                fPhase = Phase::EndPass;
                break;
            }
            Fire(OnPaint);
            if (fTerminated || !fImage || fActiveImage < 0 || fActiveImage >= fImage->Images().Count()) {
                fPhase = Phase::EndPass;
                break;
            }
            TGIFSubImage &frame = *fImage->Images()[fActiveImage];
            fDisposal = 1;
            for (int i = 0; i < frame.Extensions().Count(); ++i) {
                TGIFExtension *ext = frame.Extensions()[i];
                if (auto *loop = dynamic_cast<TGIFAppExtNSLoop *>(ext)) {
                    if (!fLoopSeen) {
                        fLoopSeen = true;
                        fPassesLeft = loop->Loops;
                        fLoopStart = fActiveImage;
                        if (async && (loop->Loops == 0 || (fOptions & goLoopContinously)))
                            fPassesLeft = -1;
                    }
                } else if (auto *gce = dynamic_cast<TGIFGraphicControlExtension *>(ext)) {
                    fDisposal = EffectiveDisposal(gce->Disposal());
                }
            }
            const int drawn = fActiveImage;
            DrawFrame(frame);
            fPreviousDisposal = fDisposal;
            if (fTerminated) {
                fPhase = Phase::EndPass;
                break;
            }
            fDelay = DefaultDelay;
            if (const TGIFGraphicControlExtension *gce = frame.GraphicControlExtension(); gce && gce->Delay() != 0) {
                fDelay = std::max(gce->Delay(), MinimumDelay);
                if (!async)
                    fDelay = std::min(fDelay, MaximumDelay);
            }
            Fire(OnAfterPaint);
            if (fTerminated) {
                fPhase = Phase::EndPass;
                break;
            }
            if (fActiveImage == drawn)
                ++fActiveImage;
            fPhase = (fOptions & goAnimate) ? Phase::Frame : Phase::EndPass;
            break;
        }
        case Phase::EndPass:
            if (fPassesLeft > 0)
                --fPassesLeft;
            fPhase = ((fOptions & goAnimate) && (fOptions & goLoop) && !fTerminated) ? Phase::BeginPass
                                                                                      : Phase::Done;
            break;
        case Phase::Done:
            break;
        }
    }
    fRunning = false;
    Finish();
}

void TGIFPainter::Finish()
{
    if (fFinished)
        return;
    fActiveImage = -1;
    // The end event is told even after a stop: listeners learn the play is over.
    const bool wasTerminated = fTerminated;
    fTerminated = false;
    Fire(OnEndPaint);
    fTerminated = wasTerminated;
    fFinished = true;
    fTimer.stop();
    fPendingWait = -2;
    if (fCurrent && *fCurrent == this)
        *fCurrent = nullptr;
    fBackBuffer = QImage();
    fPreviousBuffer = QImage();
    fBackgroundBuffer = QImage();
    if (fImage)
        fImage->PainterFinished(this);
}

void TGIFPainter::DrawFrame(TGIFSubImage &frame)
{
    if ((fOptions & goValidateCanvas) && fHadTarget && !fTarget) {
        fTerminated = true;
        return;
    }
    if (!fBackBuffer.isNull()) {
        DrawWithBuffers(frame);
    } else {
        QPainter p(&fCanvas);
        frame.Draw(p, fCanvas.rect(), fOptions & goTransparent, fOptions & goTile);
    }
    fFirstFrameDrawn = true;
    if (fTarget)
        fTarget->update();
}

void TGIFPainter::DrawWithBuffers(TGIFSubImage &frame)
{
    const bool transparent = fOptions & goTransparent;
    const bool tile = fOptions & goTile;
    const auto copyTo = [](QImage &dest, const QImage &src) {
        QPainter p(&dest);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, src);
    };
    QImage *target = &fBackBuffer;
    bool toCanvas = true;
    if (fDisposal == 3) {
        if (fPreviousDisposal <= 1) {
            target = &fCanvas;
            toCanvas = false;
        } else {
            copyTo(fPreviousBuffer, fBackBuffer);
            target = &fPreviousBuffer;
        }
    }
    if ((fOptions & goClearOnLoop) && fActiveImage == 0)
        RestoreBackground(fBackBuffer, frame);
    {
        QPainter p(target);
        frame.Draw(p, target->rect(), transparent, tile);
    }
    if (toCanvas)
        copyTo(fCanvas, *target);
    if (fDisposal == 2)
        RestoreBackground(fBackBuffer, frame);
}

void TGIFPainter::RestoreBackground(QImage &target, TGIFSubImage &frame)
{
    if (!fImage)
        return;
    const int sw = std::max(fImage->Width(), 1);
    const int sh = std::max(fImage->Height(), 1);
    QList<QRect> areas;
    const QRect all = target.rect();
    if (fOptions & goTile) {
        if (frame.Width() != sw || frame.Height() != sh)
            for (int y = frame.Top(); y < all.height(); y += sh)
                for (int x = frame.Left(); x < all.width(); x += sw)
                    areas << QRect(x, y, frame.Width(), frame.Height());
    } else {
        qint64 l, t, r, b;
        MulDiv(frame.Left(), all.width(), sw, l);
        MulDiv(frame.Top(), all.height(), sh, t);
        MulDiv(frame.Left() + frame.Width(), all.width(), sw, r);
        MulDiv(frame.Top() + frame.Height(), all.height(), sh, b);
        areas << QRect(QPoint(int(l), int(t)), QPoint(int(r) - 1, int(b) - 1));
    }
    QPainter p(&target);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect &a : areas) {
        if ((fOptions & goTransparent) && !fBackgroundBuffer.isNull())
            p.drawImage(a, fBackgroundBuffer, a);
        else
            p.fillRect(a, ColorOf(fBackgroundColor));
    }
}

} // namespace zk
