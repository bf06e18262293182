#pragma once
// TGIFPainter plays an animated TGIFImage on the GUI thread. It steps through
// the frames, waits each frame's delay scaled by the image's AnimationSpeed,
// applies the frames' disposal methods in off-screen buffers (back, previous,
// background) and composes the result into its canvas, a QImage of the target
// rectangle's size; after every frame it asks its target widget to repaint,
// and the widget's paint event draws the canvas (through TGIFImage::Draw).
//
// Asynchronous mode (goAsync) waits on a single-shot QTimer between frames;
// otherwise Execute runs the play to its end in the caller, waiting in slices
// of at most 100 ms that let the application process its events. Stopping is
// cooperative: Stop marks the painter terminated and, in asynchronous mode,
// cuts the current wait short.
//
// Delays are in GIF units of 1/100 s, waited as 12 ms each at speed 100: a
// frame without delay waits 10 units, at least 3, and at most 1000 unless
// asynchronous. Half of any time the previous wait overran is taken off.
#include "Colors.h"

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace zk {

class TGIFImage;
class TGIFSubImage;

// The time the painter waits by; tests inject a clock of their own.
class TGIFPainterClock
{
public:
    virtual ~TGIFPainterClock() = default;
    // Milliseconds since any fixed start.
    virtual qint64 Now() = 0;
    // Synchronous waits: one slice of at most 100 ms.
    virtual void Sleep(int ms) = 0;
};
TGIFPainterClock &SystemPainterClock();

class TGIFPainter
{
public:
    static constexpr int DelayUnit = 12;      // ms a GIF unit is waited at speed 100
    static constexpr int DefaultDelay = 10;   // units of a frame without a delay
    static constexpr int MinimumDelay = 3;    // units
    static constexpr int MaximumDelay = 1000; // units (not in asynchronous mode)
    static constexpr int InfiniteWait = -1;

    // `current`, when given, is set to the new painter and cleared when it
    // ends.
    TGIFPainter(TGIFImage *image, QWidget *target, const QRect &rect, uint16_t options,
                TGIFPainter **current = nullptr, TGIFPainterClock *clock = nullptr);
    ~TGIFPainter();
    TGIFPainter(const TGIFPainter &) = delete;
    TGIFPainter &operator=(const TGIFPainter &) = delete;

    // Asynchronous: plays up to the first wait now, the rest on the timer.
    // Otherwise: Execute.
    void Start();
    void Stop();
    // The whole play in the caller (synchronous mode).
    void Execute();

    bool Asynchronous() const { return fOptions & 0x0001; }
    bool Terminated() const { return fTerminated; }
    bool Finished() const { return fFinished; }
    bool FirstFrameDrawn() const { return fFirstFrameDrawn; }
    // -1 when not painting. Events may set it to jump to another frame.
    int ActiveImage() const { return fActiveImage; }
    void SetActiveImage(int index) { fActiveImage = index; }
    uint16_t DrawOptions() const { return fOptions; }
    int AnimationSpeed() const { return fSpeed; }
    QRect Rect() const { return fRect; }
    QWidget *Target() const { return fTarget; }
    void SetTarget(QWidget *target);
    TGIFImage *Image() const { return fImage; }
    // The composed picture, the target rectangle's size.
    const QImage &Canvas() const { return fCanvas; }
    TColor BackgroundColor() const { return fBackgroundColor; }
    // Asynchronous mode: the wait scheduled before the next frame in ms,
    // InfiniteWait when it waits until stopped, or -2 when nothing waits.
    int PendingWait() const { return fPendingWait; }
    // The scheduled wait is over (the timer's handler; tests call it).
    void WaitEnded();

    // The image lets the painter go (it ends without touching the image).
    void DetachImage() { fImage = nullptr; }

    std::function<void(TGIFPainter &sender)> OnStartPaint, OnPaint, OnAfterPaint, OnLoop, OnEndPaint;

private:
    enum class Phase { BeginPlay, BeginPass, Frame, Draw, EndPass, Done };
    // Runs the play until it must wait (asynchronous) or ends.
    void Run();
    void Fire(const std::function<void(TGIFPainter &)> &event);
    // Before a frame: the wait in ms (0 when none), InfiniteWait.
    int ComputeWait(TGIFSubImage &frame);
    void SyncWait(int ms);
    void DrawFrame(TGIFSubImage &frame);
    void DrawWithBuffers(TGIFSubImage &frame);
    void RestoreBackground(QImage &target, TGIFSubImage &frame);
    void Finish();

    TGIFImage *fImage;
    QPointer<QWidget> fTarget;
    bool fHadTarget;
    QRect fRect;
    uint16_t fOptions;
    int fSpeed;
    int fActiveImage = -1;
    int fDisposal = 1;
    int fPreviousDisposal = 1;
    QImage fCanvas, fBackBuffer, fPreviousBuffer, fBackgroundBuffer;
    bool fFirstFrameDrawn = false;
    TGIFPainter **fCurrent;
    TGIFPainterClock &fClock;
    TColor fBackgroundColor = 0;
    QTimer fTimer;
    bool fTerminated = false;
    bool fFinished = false;
    bool fRunning = false;

    Phase fPhase = Phase::BeginPlay;
    int fPassesLeft = 1;
    int fLoopStart = 0;
    bool fLoopSeen = false;
    int fDelay = 0;
    qint64 fLastTime = 0;
    qint64 fAdjustment = 0;
    int fPendingWait = -2;
    int fDrawnIndex = -1;
};

} // namespace zk
