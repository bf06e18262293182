#pragma once
// The capture overlay: one full-screen window, made once and reused, that
// shows the frozen desktop while the user drags a rectangle, triangle,
// rounded rectangle or ellipse over it, or points at a window. On release it
// copies the chosen area from the live screen and hands it to its host (the
// main window), which runs the post-capture actions.
#include "ScanGeometry.h"

#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <array>
#include <memory>

class QPainter;
class QTimer;

namespace zk {

class TBitmap;
class TCoordHint;
class TPrevKoordForm;
struct TZelkoraOptions;

// What the overlay and the typed-coordinates dialog need from the program.
class TScanHost
{
public:
    virtual ~TScanHost() = default;
    virtual const TZelkoraOptions &ScanOptions() const = 0;
    // ImgWithMouse: the cursor remembered when the capture began goes into
    // the frozen picture (screen coordinates are picture coordinates).
    virtual void DrawCursorIntoImage(QPainter &canvas) { Q_UNUSED(canvas); }
    // A drawn area or a picked window: the picture goes into the main window
    // and the post-capture actions of the overlay run.
    // area: where the picture lay on the screen.
    virtual void OverlayCaptured(TBitmap &&picture, bool windowMode, const QRect &area) = 0;
    // A click or a drag of no extent: nothing was captured; the picture stays
    // as it was and the program comes back.
    virtual void OverlayCancelled() = 0;
    // Enter (or Space in window mode): the window under the cursor becomes the
    // picture; the program comes back with a sound and nothing else runs.
    virtual void WindowKeyCaptured(TBitmap &&picture, const QRect &area) = 0;
    // The overlay closed (the status-bar hints may resume).
    virtual void OverlayClosed() {}
    // The typed-coordinates dialog: hide the program before its grab ...
    virtual void HideForGrab() = 0;
    // ... and the grabbed picture, after which its post-capture actions run.
    virtual void CoordinatesCaptured(TBitmap &&picture, const QRect &area) = 0;
    // The program's window again (typed-coordinates dialog closed while
    // WithZelkoraWin is off).
    virtual void ShowApplication() = 0;
};

class TScanForm;

// The client-aligned picture of the frozen desktop; it paints the picture and
// the rubber band and passes the mouse on to the form.
class TDesktopImage : public QWidget
{
    Q_OBJECT

public:
    explicit TDesktopImage(TScanForm *form);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    TScanForm *m_form;
};

class TScanForm : public QWidget
{
    Q_OBJECT

public:
    explicit TScanForm(TScanHost *host, QWidget *parent = nullptr);
    ~TScanForm() override;

    TDesktopImage *DesktopImage = nullptr;
    QPointer<TPrevKoordForm> PrevKoordForm;

    // ---- state (positions in device pixels; the overlay's client
    // coordinates are screen coordinates)
    int FScreenWidth = 0;
    int FScreenHeight = 0;
    int FX1 = 0, FY1 = 0, FX2 = 0, FY2 = 0;
    int FApexX = 0;
    std::array<QPoint, 3> FTriangle{};
    int FCrossX = -1, FCrossY = -1;
    bool FKeyDrag = false;
    bool FWindowMode = false;
    std::unique_ptr<TBitmap> FWindowBitmap;
    QRect FWindowArea; // where FWindowBitmap lay on the screen
    TCoordHintTracker FLastHint;
    QPointer<TCoordHint> FCoordHint;

    // Puts the frozen desktop in and shows the overlay over the whole screen,
    // holding keyboard and pointer until it closes.
    void ShowDesktop(const TBitmap &desktop);
    const QImage &DesktopPicture() const { return m_frozen; }
    // True between a press and its release.
    bool Dragging() const { return m_dragging; }

    // ---- handlers (positions in device pixels)
    void FormShow();
    void FormMouseDown(Qt::MouseButton button, const QPoint &pos);
    void FormMouseMove(const QPoint &pos, bool leftHeld);
    void FormMouseUp(Qt::MouseButton button, const QPoint &pos);
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void FormKeyUp(int key);
    void FormClose();

    void PlaceMagnifier(const QPoint &cursor);
    // Closes the loupe window when one is open.
    void FreeLoupe();
    // FWindowBitmap := the top-level window at (x, y) with its frame, copied
    // out of bitmap (a picture of the whole screen) and clipped to it.
    void CaptureWindowAtPoint(const TBitmap &bitmap, int x, int y);

    // Paints the frozen picture and the rubber band within area (device
    // pixels) on a painter whose coordinates are device pixels.
    void PaintContent(QPainter &painter, const QRect &area) const;
    // The part of the overlay the last move marked for repainting.
    QRegion LastDirty() const { return m_lastDirty; }

    // The pointer's position in device pixels.
    QPoint CursorPosition() const;
    qreal DeviceRatio() const { return m_ratio; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    TScanShape shape() const;
    QRect shapeBounds() const;
    void invalidate(const QRegion &deviceRegion);
    void updateLoupe(const QPoint &cursor);
    void takeGrabs();
    void releaseGrabs();
    void closeOverlay();
    void windowKeyCapture(const QPoint &cursor);

    TScanHost *m_host;
    QImage m_frozen;
    qreal m_ratio = 1.0;
    bool m_dragging = false;
    int m_penWidth = 1;
    Qt::PenStyle m_penStyle = Qt::DotLine;
    QRegion m_lastDirty;
    QTimer *m_grabRetry = nullptr;
    int m_grabTries = 0;
};

} // namespace zk
