// The capture overlay and its loupe and hint driven with simulated mouse and
// keys on the offscreen platform: what the rubber band looks like, which
// part is repainted, when the loupe and hint appear, and what reaches the
// main window on release. Pixel content of live-screen grabs is checked in
// the x11 suite.
#include "Bitmap.h"
#include "CoordHint.h"
#include "Options.h"
#include "PrevKoord.h"
#include "Scan.h"
#include "ScreenGrab.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

using namespace zk;

namespace {

class RecordingHost : public TScanHost
{
public:
    TZelkoraOptions options;
    std::optional<TBitmap> captured;
    bool capturedWindowMode = false;
    std::optional<TBitmap> keyCaptured;
    int cancelled = 0;
    int closed = 0;
    int cursorDrawn = 0;

    const TZelkoraOptions &ScanOptions() const override { return options; }
    void DrawCursorIntoImage(QPainter &canvas) override
    {
        ++cursorDrawn;
        canvas.fillRect(QRect(5, 5, 3, 3), Qt::green);
    }
    void OverlayCaptured(TBitmap &&picture, bool windowMode, const QRect &) override
    {
        captured = std::move(picture);
        capturedWindowMode = windowMode;
    }
    void OverlayCancelled() override { ++cancelled; }
    void WindowKeyCaptured(TBitmap &&picture, const QRect &) override { keyCaptured = std::move(picture); }
    void OverlayClosed() override { ++closed; }
    void HideForGrab() override {}
    void CoordinatesCaptured(TBitmap &&, const QRect &) override {}
    void ShowApplication() override {}
};

TBitmap knownDesktop(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator gen(99);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(int(gen.bounded(256)), int(gen.bounded(256)), int(gen.bounded(256))));
    TBitmap b;
    b.Assign(img);
    return b;
}

QRgb inverted(QRgb c)
{
    return qRgb(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c));
}

// What the overlay shows now.
QImage shown(TScanForm &form)
{
    QImage out(form.DesktopPicture().size(), QImage::Format_RGB32);
    QPainter p(&out);
    form.PaintContent(p, QRect(QPoint(0, 0), out.size()));
    return out;
}

// The release copies from the live screen. With an X server the picture has
// the dragged size; without one nothing is captured and the program comes
// back as after a cancel, never with a black picture.
void expectCaptureOf(const RecordingHost &host, const QSize &size)
{
    if (ScreenGrabber::instance().isAvailable()) {
        ASSERT_TRUE(host.captured);
        EXPECT_EQ(host.captured->Width(), size.width());
        EXPECT_EQ(host.captured->Height(), size.height());
        EXPECT_EQ(host.cancelled, 0);
    } else {
        EXPECT_FALSE(host.captured);
        EXPECT_EQ(host.cancelled, 1);
    }
}

struct Overlay : ::testing::Test
{
    RecordingHost host;
    std::unique_ptr<TScanForm> form;
    TBitmap desktop = knownDesktop(640, 480);

    void SetUp() override
    {
        host.options.ScanTool = 0;
        host.options.SBorder = 1;
        host.options.SBForce = 0;
        host.options.LFaktor = 2;
        form = std::make_unique<TScanForm>(&host);
        form->ShowDesktop(desktop);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override { form.reset(); }

    void press(QPoint p) { QTest::mousePress(form->DesktopImage, Qt::LeftButton, {}, p); }
    void move(QPoint p)
    {
        // QTest's mouseMove carries no buttons: send the event as X delivers it.
        QMouseEvent e(QEvent::MouseMove, QPointF(p), form->DesktopImage->mapToGlobal(QPointF(p)), Qt::NoButton,
                      Qt::LeftButton, {});
        QApplication::sendEvent(form->DesktopImage, &e);
    }
    void release(QPoint p) { QTest::mouseRelease(form->DesktopImage, Qt::LeftButton, {}, p); }
};

} // namespace

TEST_F(Overlay, CoversTheScreenFramelessAboveEverythingWithTheFrozenPicture)
{
    EXPECT_EQ(form->objectName(), QStringLiteral("ScanForm"));
    EXPECT_EQ(form->DesktopImage->objectName(), QStringLiteral("DesktopImage"));
    const Qt::WindowFlags f = form->windowFlags();
    EXPECT_TRUE(f & Qt::FramelessWindowHint);
    EXPECT_TRUE(f & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(f & Qt::X11BypassWindowManagerHint);
    EXPECT_EQ(form->geometry(), QRect(0, 0, 640, 480));
    EXPECT_EQ(form->DesktopImage->geometry(), QRect(0, 0, 640, 480));
    EXPECT_EQ(form->FScreenWidth, 640);
    EXPECT_EQ(form->FScreenHeight, 480);
    EXPECT_EQ(form->FCrossX, -1);
    EXPECT_EQ(shown(*form), desktop.ToImage().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(form->DesktopImage->cursor().shape(), Qt::CrossCursor);
    EXPECT_EQ(host.cursorDrawn, 0);
}

TEST_F(Overlay, RubberBandInvertsItsOutlineAndRepaintsOnlyItsBounds)
{
    const QImage frozen = form->DesktopPicture();
    press({300, 200});
    move({200, 150});
    move({100, 50}); // dragged up-left
    EXPECT_EQ(form->FX1, 300);
    EXPECT_EQ(form->FX2, 100);
    const QImage img = shown(*form);
    // The outline's corners and edges are inverted, inside and outside not.
    EXPECT_EQ(img.pixel(100, 50), inverted(frozen.pixel(100, 50)));
    EXPECT_EQ(img.pixel(300, 200), inverted(frozen.pixel(300, 200)));
    EXPECT_EQ(img.pixel(200, 50), inverted(frozen.pixel(200, 50)));
    EXPECT_EQ(img.pixel(100, 120), inverted(frozen.pixel(100, 120)));
    EXPECT_EQ(img.pixel(200, 120), frozen.pixel(200, 120));
    EXPECT_EQ(img.pixel(400, 300), frozen.pixel(400, 300));

    // The last move repainted the old and the new rectangle's bounds only.
    const QRect dirty = form->LastDirty().boundingRect();
    EXPECT_TRUE(dirty.contains(QRect(QPoint(100, 50), QPoint(300, 200))));
    EXPECT_LT(qint64(dirty.width()) * dirty.height(), 640 * 480 / 4);

    // The previous outline is gone.
    move({250, 180});
    const QImage later = shown(*form);
    EXPECT_EQ(later.pixel(100, 50), frozen.pixel(100, 50));
    EXPECT_EQ(later.pixel(250, 180), inverted(frozen.pixel(250, 180)));
}

TEST_F(Overlay, FilledShapeAndCrosshair)
{
    host.options.FilledShape = true;
    host.options.SCross = true;
    form->FormShow();
    const QImage frozen = form->DesktopPicture();
    press({100, 100});
    move({200, 160});
    const QImage img = shown(*form);
    // Inside the filled rectangle everything is inverted.
    EXPECT_EQ(img.pixel(150, 130), inverted(frozen.pixel(150, 130)));
    // The crosshair through the cursor runs over the whole screen, in grey.
    EXPECT_EQ(form->FCrossX, 200);
    EXPECT_EQ(form->FCrossY, 160);
    const QRgb f = frozen.pixel(200, 400);
    EXPECT_EQ(img.pixel(200, 400), qRgb(255 - (qRed(f) ^ 0x80), 255 - (qGreen(f) ^ 0x80), 255 - (qBlue(f) ^ 0x80)));
    EXPECT_EQ(img.pixel(600, 160) != frozen.pixel(600, 160), true);
    EXPECT_EQ(img.pixel(600, 400), frozen.pixel(600, 400));
}

TEST_F(Overlay, EllipseAndTriangleOutlines)
{
    const QImage frozen = form->DesktopPicture();
    host.options.ScanTool = 3;
    press({100, 100});
    move({300, 200});
    QImage img = shown(*form);
    EXPECT_EQ(img.pixel(100, 100), frozen.pixel(100, 100)); // the corner is off an ellipse
    EXPECT_EQ(img.pixel(200, 100), inverted(frozen.pixel(200, 100)));
    release({100, 100}); // back to the press point: no area
    EXPECT_EQ(host.cancelled, 1);

    form->ShowDesktop(desktop);
    host.options.ScanTool = 1;
    press({100, 300});
    move({300, 100}); // upward
    EXPECT_EQ(form->FApexX, 200);
    EXPECT_EQ(form->FTriangle[2], QPoint(200, 300));
    img = shown(*form);
    EXPECT_EQ(img.pixel(200, 100), inverted(frozen.pixel(200, 100))); // on the base
    EXPECT_EQ(img.pixel(110, 290), frozen.pixel(110, 290));           // beside the apex
}

TEST_F(Overlay, PlainClickCancelsAndNothingIsCaptured)
{
    press({50, 60});
    release({50, 60});
    EXPECT_EQ(host.cancelled, 1);
    EXPECT_FALSE(host.captured);
    EXPECT_FALSE(form->isVisible());
    EXPECT_GE(host.closed, 1);
    EXPECT_FALSE(form->FCoordHint);
}

TEST_F(Overlay, ReleaseCopiesExactlyTheDraggedRectangle)
{
    press({300, 200});
    move({250, 190});
    // The last move event is older than the release: the release point counts.
    release({120, 150});
    expectCaptureOf(host, QSize(180, 50));
    EXPECT_FALSE(host.capturedWindowMode);
    EXPECT_EQ(form->FX2, 120);
    EXPECT_EQ(form->FY2, 150);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(Overlay, ReleaseWithoutPressDoesNothing)
{
    release({10, 10});
    EXPECT_FALSE(host.captured);
    EXPECT_EQ(host.cancelled, 0);
    EXPECT_TRUE(form->isVisible());
    QTest::mousePress(form->DesktopImage, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_FALSE(form->Dragging());
}

TEST_F(Overlay, WindowModeDrawsNothingAndCapturesOnRelease)
{
    host.options.ScanTool = 4;
    form->FormShow();
    EXPECT_EQ(form->DesktopImage->cursor().shape(), Qt::PointingHandCursor);
    const QImage frozen = form->DesktopPicture();
    press({100, 100});
    EXPECT_TRUE(form->FWindowMode);
    move({200, 200});
    EXPECT_EQ(shown(*form), frozen);
    EXPECT_FALSE(form->PrevKoordForm);
    release({100, 100}); // a click picks a window; it is no cancel here
    EXPECT_FALSE(form->isVisible());
    if (ScreenGrabber::instance().isAvailable()) {
        EXPECT_EQ(host.cancelled, 0);
        ASSERT_TRUE(host.captured);
        EXPECT_TRUE(host.capturedWindowMode);
    } else {
        EXPECT_EQ(host.cancelled, 1);
    }
}

TEST_F(Overlay, LoupeFollowsTheDragAndLeavesOnRelease)
{
    host.options.Loupe = true;
    host.options.LFaktor = 0; // a damaged store: clamped, no division by zero
    press({100, 100});
    ASSERT_TRUE(form->PrevKoordForm);
    TPrevKoordForm *loupe = form->PrevKoordForm;
    EXPECT_EQ(loupe->objectName(), QStringLiteral("PrevKoordForm"));
    // Cursor in the upper-left quarter: the loupe goes to the lower right.
    EXPECT_EQ(loupe->pos(), QPoint(640 - 188, 480 - 238));
    EXPECT_EQ(loupe->size(), QSize(178, 227));
    move({130, 140});
    EXPECT_EQ(loupe->XAlignEdit->text(), QStringLiteral("X = 130"));
    EXPECT_EQ(loupe->YAlignEdit->text(), QStringLiteral("Y = 140"));
    EXPECT_EQ(loupe->WAlignEdit->text(), QStringLiteral("W = 30"));
    EXPECT_EQ(loupe->HAlignEdit->text(), QStringLiteral("H = 40"));
    // Factor 1: the 170-pixel square up-left of the cursor, unscaled.
    const QImage &mag = loupe->LoupeImage->Picture();
    ASSERT_EQ(mag.size(), QSize(170, 170));
    // Loupe pixel (lx, ly) shows screen pixel (lx - 40, ly - 30); what lies
    // off the screen is black, and the rubber band shows as on the overlay.
    const QImage frozen = form->DesktopPicture();
    EXPECT_EQ(mag.pixel(10, 100), QColor(Qt::black).rgb());
    EXPECT_EQ(mag.pixel(100, 10), QColor(Qt::black).rgb());
    EXPECT_EQ(mag.pixel(169, 60), frozen.pixel(129, 30));
    EXPECT_EQ(mag.pixel(150, 150), frozen.pixel(110, 120));
    EXPECT_EQ(mag.pixel(140, 150), inverted(frozen.pixel(100, 120)));
    // The cursor enters the loupe's quarter: it moves away.
    move({500, 400});
    EXPECT_EQ(loupe->pos(), QPoint(10, 10));
    release({500, 400});
    EXPECT_FALSE(form->PrevKoordForm);
}

TEST_F(Overlay, HintShowsTheCursorPositionAfterTwoPixels)
{
    host.options.CursorHint = true;
    ASSERT_TRUE(form->FCoordHint);
    move({1, 1});
    EXPECT_FALSE(form->FCoordHint->isVisible());
    move({40, 30});
    EXPECT_TRUE(form->FCoordHint->isVisible());
    EXPECT_EQ(form->FCoordHint->Text(), QStringLiteral("40, 30"));
    const QSize text = form->FCoordHint->TextSize(QStringLiteral("40, 30"));
    EXPECT_EQ(form->FCoordHint->geometry(),
              QRect(40 + 19, 30 + TCoordHint::SystemCursorHeight() - 10, text.width() + 8, text.height()));
    move({41, 31});
    EXPECT_EQ(form->FCoordHint->Text(), QStringLiteral("40, 30"));
}

TEST_F(Overlay, ShiftDragsFromTheKeyboard)
{
    QCursor::setPos(100, 100);
    if (QCursor::pos() != QPoint(100, 100))
        GTEST_SKIP() << "this platform cannot place the cursor";
    QTest::keyPress(form.get(), Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_TRUE(form->FKeyDrag);
    EXPECT_TRUE(form->Dragging());
    EXPECT_EQ(form->FX1, 100);
    QTest::keyPress(form.get(), Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
    QTest::keyPress(form.get(), Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier);
    QTest::keyPress(form.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(QCursor::pos(), QPoint(115, 116));
    EXPECT_EQ(form->FX2, 115);
    EXPECT_EQ(form->FY2, 116);
    QTest::keyRelease(form.get(), Qt::Key_Shift, {});
    EXPECT_FALSE(form->FKeyDrag);
    EXPECT_FALSE(form->isVisible());
    expectCaptureOf(host, QSize(15, 16));
}

TEST_F(Overlay, ArrowsMoveTheCursorAndEnterTakesTheWindow)
{
    QCursor::setPos(200, 200);
    if (QCursor::pos() != QPoint(200, 200))
        GTEST_SKIP() << "this platform cannot place the cursor";
    QTest::keyClick(form.get(), Qt::Key_Left);
    QTest::keyClick(form.get(), Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(QCursor::pos(), QPoint(199, 185));
    EXPECT_FALSE(form->Dragging());
    QTest::keyClick(form.get(), Qt::Key_Return);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(host.captured);
    EXPECT_EQ(host.keyCaptured.has_value(), ScreenGrabber::instance().isAvailable());
}

TEST_F(Overlay, ReusedForTheNextCaptureWithTheCursorStamped)
{
    press({10, 10});
    release({60, 40});
    EXPECT_FALSE(form->isVisible());
    host.options.ImgWithMouse = true;
    form->ShowDesktop(desktop);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(host.cursorDrawn, 1);
    EXPECT_EQ(form->DesktopPicture().pixel(6, 6), QColor(Qt::green).rgb());
    EXPECT_FALSE(form->Dragging());
    EXPECT_EQ(form->FCrossX, -1);
    // Closing only hides: the form lives on for the next capture.
    form->close();
    EXPECT_FALSE(form->isVisible());
}

TEST(OverlayWithoutPicture, AFailedDesktopGrabNeverShowsAnEmptyOverlay)
{
    RecordingHost host;
    TScanForm form(&host);
    form.ShowDesktop(TBitmap());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(host.cancelled, 1);
}
