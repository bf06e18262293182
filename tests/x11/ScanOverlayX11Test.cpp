// The capture overlay against a real X server with a window manager: a known
// picture on the screen, the overlay over it, and drags, clicks and keys
// sent through the server by xdotool. The captured picture must be exactly
// the dragged part of the known picture; window captures must be the window
// with the frame xwininfo reports.
#include "Bitmap.h"
#include "CoordScan.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "Registry.h"
#include "Options.h"
#include "Scan.h"
#include "ScreenGrab.h"
#include "TestSupport.h"
#include "X11Support.h"
#include "WindowAtPoint.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

using namespace zk;
using zktest::haveX11;
using zktest::knownPicture;
using zktest::PictureWindow;
using zktest::waitFor;

namespace {

class RecordingHost : public TScanHost
{
public:
    TZelkoraOptions options;
    std::optional<TBitmap> captured;
    std::optional<TBitmap> keyCaptured;
    std::optional<TBitmap> coordinates;
    bool windowMode = false;
    int cancelled = 0;

    const TZelkoraOptions &ScanOptions() const override { return options; }
    QRect area;
    void OverlayCaptured(TBitmap &&picture, bool window, const QRect &a) override
    {
        area = a;
        captured = std::move(picture);
        windowMode = window;
    }
    void OverlayCancelled() override { ++cancelled; }
    void WindowKeyCaptured(TBitmap &&picture, const QRect &) override { keyCaptured = std::move(picture); }
    void HideForGrab() override {}
    void CoordinatesCaptured(TBitmap &&picture, const QRect &) override { coordinates = std::move(picture); }
    void ShowApplication() override {}
};

// The window's outer bounds as xwininfo sees them: the ancestor that is a
// child of the root (the window manager's frame), border included.
QRect xwininfoFrame(WId id)
{
    QString window = QStringLiteral("0x%1").arg(id, 0, 16);
    for (int depth = 0; depth < 8; ++depth) {
        QByteArray tree;
        if (zktest::runProgram("xwininfo", {"-children", "-id", window}, &tree) != 0)
            return {};
        const QRegularExpressionMatch m = QRegularExpression(R"(Parent window id: (0x[0-9a-f]+)( \(the root window\))?)")
                                              .match(QString::fromLocal8Bit(tree));
        if (!m.hasMatch() || !m.captured(2).isEmpty())
            break;
        window = m.captured(1);
    }
    QByteArray out;
    if (zktest::runProgram("xwininfo", {"-id", window}, &out) != 0)
        return {};
    const QString s = QString::fromLocal8Bit(out);
    auto number = [&](const QString &label) {
        const QRegularExpressionMatch m = QRegularExpression(label + R"(:\s*(-?\d+))").match(s);
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    };
    const int bw = number("Border width");
    return QRect(number("Absolute upper-left X") - bw, number("Absolute upper-left Y") - bw,
                 number("Width") + 2 * bw, number("Height") + 2 * bw);
}

int xdotool(const QStringList &args)
{
    return zktest::runProgram("xdotool", args);
}

// The known picture at a known place, outside the window manager's care, and
// the overlay over the frozen screen.
struct OverlayX11 : ::testing::Test
{
    RecordingHost host;
    QImage pattern = knownPicture(400, 300, 2026);
    QPoint at{200, 150};
    std::unique_ptr<PictureWindow> patternWindow;
    std::unique_ptr<TScanForm> overlay;

    void SetUp() override
    {
        if (!haveX11() || !zktest::haveProgram("xdotool"))
            return;
        patternWindow = std::make_unique<PictureWindow>(pattern, Qt::Window | Qt::FramelessWindowHint
                                                                      | Qt::X11BypassWindowManagerHint);
        patternWindow->move(at);
        patternWindow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(patternWindow.get()));
        TBitmap probe;
        ASSERT_TRUE(waitFor(
            [&] {
                return GrabScreenRect(at.x(), at.y(), pattern.width(), &probe, pattern.height())
                       && probe.ToImage().convertToFormat(QImage::Format_RGB32) == pattern;
            },
            5000));
        overlay = std::make_unique<TScanForm>(&host);
    }

    void showOverlay()
    {
        TBitmap desktop;
        ASSERT_TRUE(GrabDesktop(desktop));
        overlay->ShowDesktop(desktop);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(overlay.get()));
        QTest::qWait(150); // the pointer and keyboard grabs follow the map
    }

    void drag(QPoint from, QPoint to)
    {
        ASSERT_EQ(xdotool({"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
                           "mousemove", QString::number((from.x() + to.x()) / 2),
                           QString::number((from.y() + to.y()) / 2), "mousemove", QString::number(to.x()),
                           QString::number(to.y()), "mouseup", "1"}),
                  0);
    }
};

QImage asRgb32(const TBitmap &b)
{
    return b.ToImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST_F(OverlayX11, RectangleDragCapturesExactlyThatAreaOfThePattern)
{
    REQUIRE_X11_XDOTOOL();
    showOverlay();
    // Up-left, to see the normalisation on the real path as well.
    drag({410, 330}, {260, 210});
    ASSERT_TRUE(waitFor([&] { return host.captured.has_value(); }, 5000));
    EXPECT_FALSE(host.windowMode);
    EXPECT_EQ(host.area, QRect(260, 210, 150, 120));
    EXPECT_FALSE(overlay->isVisible());
    const QImage got = asRgb32(*host.captured);
    ASSERT_EQ(got.size(), QSize(150, 120));
    EXPECT_EQ(got, pattern.copy(QRect(QPoint(260, 210) - at, QSize(150, 120))));
}

TEST_F(OverlayX11, EllipseKeepsTheInsideAndMasksTheOutside)
{
    REQUIRE_X11_XDOTOOL();
    host.options.ScanTool = 3;
    host.options.ShapeColorBg = 10; // red
    showOverlay();
    drag({250, 200}, {451, 331});
    ASSERT_TRUE(waitFor([&] { return host.captured.has_value(); }, 5000));
    const QImage got = asRgb32(*host.captured);
    ASSERT_EQ(got.size(), QSize(201, 131));
    const QImage expected = pattern.copy(QRect(QPoint(250, 200) - at, got.size()));
    const double a = got.width() / 2.0, b = got.height() / 2.0;
    int inside = 0, outside = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const double dx = (x + 0.5 - a) / a, dy = (y + 0.5 - b) / b;
            const double margin = (1.0 - std::sqrt(dx * dx + dy * dy)) * std::min(a, b);
            if (margin > 1.0) {
                ++inside;
                ASSERT_EQ(got.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
            } else if (margin < -1.0) {
                ++outside;
                ASSERT_EQ(got.pixel(x, y), qRgb(255, 0, 0)) << x << "," << y;
            }
        }
    EXPECT_GT(inside, 15000);
    EXPECT_GT(outside, 4000);
}

TEST_F(OverlayX11, ShiftAndArrowsDragFromTheKeyboard)
{
    REQUIRE_X11_XDOTOOL();
    showOverlay();
    ASSERT_EQ(xdotool({"mousemove", "300", "250", "keydown", "shift", "key", "ctrl+Right", "key", "ctrl+Right", "key",
                       "ctrl+Down", "key", "Down", "keyup", "shift"}),
              0);
    ASSERT_TRUE(waitFor([&] { return host.captured.has_value(); }, 5000));
    const QImage got = asRgb32(*host.captured);
    ASSERT_EQ(got.size(), QSize(30, 16));
    EXPECT_EQ(got, pattern.copy(QRect(QPoint(300, 250) - at, QSize(30, 16))));
}

TEST_F(OverlayX11, PlainClickCancels)
{
    REQUIRE_X11_XDOTOOL();
    showOverlay();
    ASSERT_EQ(xdotool({"mousemove", "300", "300", "click", "1"}), 0);
    ASSERT_TRUE(waitFor([&] { return host.cancelled == 1; }, 5000));
    EXPECT_FALSE(host.captured);
    EXPECT_FALSE(overlay->isVisible());
}

TEST_F(OverlayX11, WindowModeTakesTheManagedWindowWithItsFrame)
{
    REQUIRE_X11_XDOTOOL();
    // A window the window manager frames.
    PictureWindow managed(knownPicture(240, 160, 5), Qt::Window);
    managed.setWindowTitle("Overlay test window");
    managed.move(700, 300);
    managed.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&managed));
    QRect frame;
    ASSERT_TRUE(waitFor(
        [&] {
            frame = xwininfoFrame(managed.winId());
            return frame.width() > 240 || frame.height() > 160; // the frame has arrived
        },
        5000))
        << "no window manager frame";
    const QPoint inside = frame.center();
    // The platform layer finds the same window at that point.
    const auto found = TopLevelWindowAt(inside);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->bounds, frame);
    TBitmap expected;
    ASSERT_TRUE(waitFor([&] { return GrabScreenRect(frame.x(), frame.y(), frame.width(), &expected, frame.height()); },
                        1000));

    host.options.ScanTool = 4;
    showOverlay();
    ASSERT_EQ(xdotool({"mousemove", QString::number(inside.x()), QString::number(inside.y()), "click", "1"}), 0);
    ASSERT_TRUE(waitFor([&] { return host.captured.has_value(); }, 5000));
    EXPECT_TRUE(host.windowMode);
    EXPECT_EQ(host.area, frame);
    EXPECT_EQ(host.captured->Width(), frame.width());
    EXPECT_EQ(host.captured->Height(), frame.height());
    EXPECT_EQ(asRgb32(*host.captured), asRgb32(expected));

    // Enter does the same from the keyboard, in any mode.
    host.options.ScanTool = 0;
    showOverlay();
    ASSERT_EQ(xdotool({"mousemove", QString::number(inside.x() + 5), QString::number(inside.y()), "key", "Return"}),
              0);
    ASSERT_TRUE(waitFor([&] { return host.keyCaptured.has_value(); }, 5000));
    EXPECT_EQ(asRgb32(*host.keyCaptured), asRgb32(expected));
}

TEST_F(OverlayX11, WindowAtThePointIsClippedToTheScreen)
{
    REQUIRE_X11_XDOTOOL();
    // A window hanging over the screen's left edge.
    PictureWindow off(knownPicture(300, 100, 8), Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    off.move(-100, 700);
    off.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&off));
    QTest::qWait(50);
    TBitmap screen;
    ASSERT_TRUE(GrabDesktop(screen));
    overlay->CaptureWindowAtPoint(screen, 50, 750);
    ASSERT_TRUE(overlay->FWindowBitmap);
    EXPECT_EQ(overlay->FWindowBitmap->Width(), 200);
    EXPECT_EQ(overlay->FWindowBitmap->Height(), 100);
    EXPECT_EQ(asRgb32(*overlay->FWindowBitmap), knownPicture(300, 100, 8).copy(100, 0, 200, 100));
}

TEST_F(OverlayX11, TypedCoordinatesGiveTheTypedRectangle)
{
    REQUIRE_X11_XDOTOOL();
    TCoordScanBMForm dialog(&host);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    for (auto [edit, text] : {std::pair{dialog.CoordXCoordEdit, "230"}, std::pair{dialog.CoordYCoordEdit, "170"},
                              std::pair{dialog.CoordWCoordEdit, "321"}, std::pair{dialog.CoordHCoordEdit, "99"}}) {
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromLatin1(text));
    }
    QTest::mouseClick(dialog.ScCrdOkButton, Qt::LeftButton);
    ASSERT_TRUE(host.coordinates);
    EXPECT_EQ(asRgb32(*host.coordinates), pattern.copy(QRect(QPoint(230, 170) - at, QSize(321, 99))));
}

// The whole road through the main window: the capture command grabs the
// desktop, shows the overlay over it, and the drag's picture lands in
// ScanImage with the window back on the screen.
TEST_F(OverlayX11, CaptureCommandThroughTheMainWindow)
{
    REQUIRE_X11_XDOTOOL();
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    auto form = std::make_unique<TMainForm>();
    form->Options.EndDlg = false;
    form->setGeometry(900, 500, 500, 400); // away from the pattern
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    ASSERT_TRUE(form->ScanForm);

    form->Options.ScanTool = 0;
    form->UpdateCaptureCommands();
    QAction *command = form->Item("ScanMenuItem");
    ASSERT_TRUE(command->isEnabled());
    command->trigger();
    ASSERT_TRUE(waitFor([&] { return form->ScanForm->isVisible(); }, 5000));
    EXPECT_FALSE(form->isVisible()) << "the window leaves the screen during the capture";
    QTest::qWait(150);
    drag({230, 180}, {330, 260});
    ASSERT_TRUE(waitFor([&] { return !form->ScanForm->isVisible() && form->isVisible(); }, 5000));
    const QImage got = asRgb32(form->ScanImage->Picture().Bitmap());
    EXPECT_EQ(got, pattern.copy(QRect(QPoint(230, 180) - at, QSize(100, 80))));
    EXPECT_EQ(form->FCaptureArea, QRect(230, 180, 100, 80));

    // A cancelled capture leaves the picture's name as it was, even though
    // the command had prepared the next automatic name.
    QTemporaryDir outDir;
    form->Options.PersSave = true;
    form->Options.OutDir = outDir.path();
    form->FFileName = QStringLiteral("/pictures/Before.bmp");
    form->FHasFileName = true;
    command->trigger();
    ASSERT_TRUE(waitFor([&] { return form->ScanForm->isVisible(); }, 5000));
    QTest::qWait(150);
    ASSERT_EQ(xdotool({"mousemove", "600", "600", "click", "1"}), 0);
    ASSERT_TRUE(waitFor([&] { return !form->ScanForm->isVisible() && form->isVisible(); }, 5000));
    EXPECT_EQ(form->FFileName, QStringLiteral("/pictures/Before.bmp"));
    EXPECT_TRUE(form->FHasFileName);
    EXPECT_TRUE(QDir(outDir.path()).isEmpty()) << "a cancelled capture saves nothing";

    // Return takes the window under the pointer and saves nothing, so the
    // new picture names no file either (not the prepared automatic name of
    // a file that was never written): closing asks whether to save it.
    command->trigger();
    ASSERT_TRUE(waitFor([&] { return form->ScanForm->isVisible(); }, 5000));
    QTest::qWait(150);
    ASSERT_EQ(xdotool({"key", "Return"}), 0);
    ASSERT_TRUE(waitFor([&] { return !form->ScanForm->isVisible() && form->isVisible(); }, 5000));
    EXPECT_FALSE(form->FHasFileName) << qPrintable(form->FFileName);
    EXPECT_TRUE(QDir(outDir.path()).isEmpty());
    form->Options.PersSave = false;

    // Typed coordinates from the tray menu's item.
    QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        for (int i = 0; i < 300; ++i) {
            if (auto *dialog = qobject_cast<TCoordScanBMForm *>(QApplication::activeModalWidget())) {
                for (auto [edit, text] : {std::pair{dialog->CoordXCoordEdit, "210"}, std::pair{dialog->CoordYCoordEdit, "160"},
                                          std::pair{dialog->CoordWCoordEdit, "77"}, std::pair{dialog->CoordHCoordEdit, "55"}}) {
                    edit->selectAll();
                    QTest::keyClicks(edit, QString::fromLatin1(text));
                }
                QTest::mouseClick(dialog->ScCrdOkButton, Qt::LeftButton);
                return;
            }
            QTest::qWait(10);
        }
    });
    form->Item("Coord2MenuItem")->trigger();
    ASSERT_TRUE(waitFor([&] { return form->isVisible(); }, 5000));
    EXPECT_EQ(asRgb32(form->ScanImage->Picture().Bitmap()), pattern.copy(QRect(QPoint(210, 160) - at, QSize(77, 55))));

    form->close();
    form.reset();
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}
