#pragma once
// The window-free rules of the AVI recorder: area sizes and centring, the
// grab rectangle, the numbered frame files and building an AVI file from
// them. The recorder form (capture/RecorderForm.h) only wires these to its
// buttons.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace zk {

class TBitmap;
struct TZelkoraOptions;

// The recording area by the VdoPixVal index (0..4; others count as 0).
QSize RecordAreaSize(int vdoPixVal);
// The area's offset that centres it on a screen side, -1 when the area is
// larger than the screen.
int CenterOffset(int screen, int area);

// Where a frame is grabbed from. With frameInit 1 the area's inside at its
// origin (3 pixels in on every side, leaving the frame out), or the whole
// screen (wholeScreen set) when the area is not narrower than the screen;
// otherwise the area's inside at the screen's top-left corner.
struct TFrameGrab
{
    QRect rect;
    bool wholeScreen = false;
};
TFrameGrab FrameGrabRect(QPoint origin, QSize area, int frameInit, bool moveGrabber, QSize screen);
// Where the recorder window stands so that no frame shows it: below the
// recorded area (frame included), else above it, right of it, left of it;
// window is the outer size with the window manager's frame. Within free.
QPoint RecorderPlace(const QRect &area, const QSize &window, const QRect &free);

// Frame files are named by eight decimal digits and ".bmp" (any case).
bool IsFrameFileName(const QString &fileName);
QString FrameFileName(const QString &folder, std::uint32_t number);
// The frame numbers in the folder, ascending.
std::vector<std::uint32_t> FrameNumbers(const QString &folder);
// One past the highest frame number, 0 for a folder without frames.
std::uint32_t NextFrameNumber(const QString &folder);
// An empty name, or one that is not an existing folder, is no frame folder.
bool FrameFolderExists(const QString &folder);

// Writes the picture as the next frame file (BmpPixForm and BmpMonochrome
// applied) under a temporary name renamed when complete. Returns the file
// written; raises EGraphicError with the reason on failure.
QString SaveNextFrame(const TBitmap &picture, const QString &folder, const TZelkoraOptions &options);

// Copies every frame file to target (an existing file there is replaced only
// by a complete copy). False with *error naming the first failure.
bool CollectFrameFiles(const QString &folder, const QString &target, QString *error);
// Deletes every frame file; returns how many remain (0 when all went).
int DeleteFrameFiles(const QString &folder);

// Building an AVI file from the frame files, streaming one frame at a time.
struct TAviBuildResult
{
    enum Outcome { Written, NoFrames, TooLarge, Failed, Cancelled } outcome = Failed;
    int frames = 0;
    QString error; // the reason for TooLarge and Failed
};
struct TAviBuildSteps
{
    // Called before each frame is loaded (done of total); false cancels.
    std::function<bool(int done, int total)> step;
    // The largest file accepted (AVI 1.0's 1 GiB; tests lower it).
    qint64 sizeLimit = 0;
    // Called once the output file is open (after the size check), before
    // the first frame is written.
    std::function<void()> opened;
};
// The frames in folder, in order (gaps skipped), into aviFile at fps frames
// a second. Frames take the first frame's size. Nothing is written when the
// file would pass the limit, and a failure leaves no file (and an existing
// aviFile as it was).
// The first line of a build's error when writing a frame failed.
extern const QString kFrameNotWritten;
TAviBuildResult BuildAviFromFrames(const QString &folder, const QString &aviFile, int fps,
                                   const TAviBuildSteps &steps = {});

// Where a window dragged to moved lands near the main window: when the two
// overlap horizontally, its top edge snaps to the main window's bottom edge
// within 50 pixels, else its bottom edge to the main window's top edge;
// when they overlap vertically, its left edge to the right edge, else its
// right edge to the left edge, the same way.
QRect SnapToMainWindow(QRect moved, const QRect &main, int distance = 50);

} // namespace zk
