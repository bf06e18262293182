// Screen grabs against a real X server: a window shows a known picture at a
// known place, and the grabs must return it pixel for pixel. Frames and the
// desktop are checked against what xwininfo and ImageMagick's own X grab
// report, and the root-window wallpaper against the tiles it was given.
#include "Globals.h"
#include "Registry.h"
#include "ScreenGrab.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

using namespace zk;
using zktest::haveX11;
using zktest::knownPicture;
using zktest::PictureWindow;
using zktest::waitFor;

namespace {

#define REQUIRE_X11()                                                                  \
    do {                                                                               \
        if (!haveX11())                                                                \
            GTEST_SKIP() << "needs the test X server (ZK_TEST_X11 and DISPLAY)";       \
    } while (0)

// A window placed exactly where we say, outside the window manager's care.
std::unique_ptr<PictureWindow> showPlaced(const QImage &picture, const QPoint &at)
{
    auto w = std::make_unique<PictureWindow>(picture, Qt::Window | Qt::FramelessWindowHint
                                                           | Qt::X11BypassWindowManagerHint);
    w->move(at);
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
}

QRgb rgbAt(const TBitmap &bmp, int x, int y)
{
    return bmp.PixelRgb(x, y) & 0xFFFFFFu;
}

// Number of pixels where the bitmap differs from picture placed at offset.
int differences(const TBitmap &bmp, const QImage &picture, const QPoint &offset, const QRect &part)
{
    int bad = 0;
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            bad += rgbAt(bmp, x + offset.x(), y + offset.y()) != (picture.pixel(x, y) & 0xFFFFFFu);
    return bad;
}

// The geometry xwininfo reports for a window, border included, and the
// window's parent unless that is the root.
QRect xwininfoRect(const QString &id, QString *parent = nullptr)
{
    QByteArray out;
    if (zktest::runProgram("xwininfo", {"-id", id}, &out) != 0)
        return {};
    const QString s = QString::fromLocal8Bit(out);
    auto number = [&](const QString &label) {
        const QRegularExpressionMatch m = QRegularExpression(label + R"(:\s*(-?\d+))").match(s);
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    };
    if (parent) {
        QByteArray tree;
        zktest::runProgram("xwininfo", {"-children", "-id", id}, &tree);
        const QRegularExpressionMatch m =
            QRegularExpression(R"(Parent window id: (0x[0-9a-f]+)( \(the root window\))?)").match(QString::fromLocal8Bit(tree));
        *parent = m.hasMatch() && m.captured(2).isEmpty() ? m.captured(1) : QString();
    }
    const int bw = number("Border width");
    return QRect(number("Absolute upper-left X") - bw, number("Absolute upper-left Y") - bw,
                 number("Width") + 2 * bw, number("Height") + 2 * bw);
}

// ImageMagick's grab of the whole screen, the independent view of it.
QImage oracleScreen()
{
    const QString file = zktest::sandboxDir() + "/oracle-screen.png";
    if (zktest::runProgram("/usr/bin/import", {"-silent", "-window", "root", file}) != 0)
        return {};
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(ScreenGrab, DesktopHasTheRootWindowsSize)
{
    REQUIRE_X11();
    QByteArray out;
    ASSERT_EQ(zktest::runProgram("xwininfo", {"-root"}, &out), 0);
    const QString s = QString::fromLocal8Bit(out);
    const int w = QRegularExpression(R"(Width:\s*(\d+))").match(s).captured(1).toInt();
    const int h = QRegularExpression(R"(Height:\s*(\d+))").match(s).captured(1).toInt();
    ASSERT_GT(w, 0);

    for (TPixelFormat pf : {pf32bit, pf24bit, pf8bit}) {
        TBitmap bmp;
        bmp.SetPixelFormat(pf);
        ASSERT_TRUE(GrabDesktop(bmp));
        EXPECT_EQ(bmp.Width(), w);
        EXPECT_EQ(bmp.Height(), h);
        EXPECT_EQ(bmp.PixelFormat(), pf); // the bitmap keeps its depth
    }
}

TEST(ScreenGrab, ScreenRectEqualsTheShownPicture)
{
    REQUIRE_X11();
    const QImage picture = knownPicture(200, 120, 11);
    const QPoint at(300, 250);
    auto window = showPlaced(picture, at);
    // Not managed, so no frame: its outer bounds are its own.
    EXPECT_EQ(ScreenGrabber::instance().windowFrame(std::uint32_t(window->winId())), QRect(at, picture.size()));

    for (bool shm : {true, false}) {
        ScreenGrabber::instance().setSharedMemoryAllowed(shm);
        for (TPixelFormat pf : {pf32bit, pf24bit}) {
            TBitmap bmp(1, 1, pf);
            ASSERT_TRUE(waitFor(
                [&] {
                    return GrabScreenRect(at.x(), at.y(), 200, &bmp, 120)
                           && differences(bmp, picture, {}, picture.rect()) == 0;
                },
                5000))
                << "shm " << shm << " pf " << pf << ": " << differences(bmp, picture, {}, picture.rect())
                << " pixels differ";
            EXPECT_EQ(bmp.Width(), 200);
            EXPECT_EQ(bmp.Height(), 120);
            EXPECT_EQ(bmp.PixelFormat(), pf);
        }
    }
    ScreenGrabber::instance().setSharedMemoryAllowed(true);

    // The desktop holds the same picture at the same place, and ImageMagick
    // sees the same desktop.
    TBitmap desk(1, 1, pf32bit);
    ASSERT_TRUE(GrabDesktop(desk));
    EXPECT_EQ(differences(desk, picture, at, picture.rect()), 0);
    const QImage oracle = oracleScreen();
    ASSERT_FALSE(oracle.isNull());
    ASSERT_EQ(oracle.size(), QSize(desk.Width(), desk.Height()));
    int bad = 0;
    for (int y = 0; y < oracle.height(); y += 3)
        for (int x = 0; x < oracle.width(); x += 3)
            bad += rgbAt(desk, x, y) != (oracle.pixel(x, y) & 0xFFFFFFu);
    EXPECT_EQ(bad, 0);

    EXPECT_FALSE(GrabScreenRect(0, 0, 10, nullptr, 10));
}

TEST(ScreenGrab, PartsOffTheScreenComeBackBlack)
{
    REQUIRE_X11();
    const QRect root = ScreenGrabber::instance().rootRect();
    const QImage picture = knownPicture(200, 120, 12);
    // Half of the window hangs over the bottom-right corner of the screen.
    const QPoint at(root.width() - 100, root.height() - 60);
    auto window = showPlaced(picture, at);

    for (TPixelFormat pf : {pf32bit, pf24bit}) {
        TBitmap bmp(5, 5, pf);
        ASSERT_TRUE(waitFor(
            [&] {
                return GrabScreenRect(at.x(), at.y(), 200, &bmp, 120)
                       && differences(bmp, picture, {}, QRect(0, 0, 100, 60)) == 0;
            },
            5000));
        ASSERT_EQ(bmp.Width(), 200);
        ASSERT_EQ(bmp.Height(), 120);
        int notBlack = 0;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 200; ++x)
                if (x >= 100 || y >= 60)
                    notBlack += rgbAt(bmp, x, y) != 0;
        EXPECT_EQ(notBlack, 0) << "pf " << pf;
    }

    // Over the top-left corner, and entirely off the screen.
    const QImage corner = knownPicture(80, 40, 13);
    auto cornerWindow = showPlaced(corner, QPoint(0, 0));
    TBitmap bmp(1, 1, pf32bit);
    ASSERT_TRUE(waitFor(
        [&] { return GrabScreenRect(-30, -10, 110, &bmp, 50) && differences(bmp, corner, {30, 10}, corner.rect()) == 0; },
        5000));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 110; ++x)
            if (x < 30 || y < 10) {
                ASSERT_EQ(rgbAt(bmp, x, y), 0u) << x << "," << y;
            }
    ASSERT_TRUE(GrabScreenRect(root.width() + 5, 0, 20, &bmp, 10));
    EXPECT_EQ(bmp.Width(), 20);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(rgbAt(bmp, x, 5), 0u);
}

TEST(ScreenGrab, ForegroundWindowComesWithItsFrame)
{
    REQUIRE_X11();
    const QImage picture = knownPicture(240, 160, 14);
    PictureWindow window(picture, Qt::Window);
    window.setWindowTitle("Grab me");
    window.move(400, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    const QString id = QStringLiteral("0x%1").arg(window.winId(), 0, 16);

    // The window manager has made it active (as xprop sees it) and framed it.
    ASSERT_TRUE(waitFor(
        [&] {
            QByteArray out;
            zktest::runProgram("xprop", {"-root", "_NET_ACTIVE_WINDOW"}, &out);
            return out.contains(id.toLatin1());
        },
        5000));
    const QRect client = xwininfoRect(id);
    QString parent = id, top = id;
    for (int i = 0; i < 10 && !parent.isEmpty(); ++i) {
        top = parent;
        xwininfoRect(top, &parent);
    }
    const QRect frame = xwininfoRect(top);
    ASSERT_NE(top, id) << "the window manager did not reparent the window";
    ASSERT_TRUE(frame.contains(client)) << "frame " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                        << frame.height() << " client " << client.x() << "," << client.y() << " "
                                        << client.width() << "x" << client.height();
    ASSERT_GT(frame.height(), client.height()) << "no title bar";

    EXPECT_EQ(ScreenGrabber::instance().activeWindowFrame(), frame);

    TBitmap bmp(1, 1, pf32bit);
    const QPoint inside = client.topLeft() - frame.topLeft();
    ASSERT_TRUE(waitFor(
        [&] { return GrabForegroundWindow(bmp) && differences(bmp, picture, inside, picture.rect()) == 0; }, 5000));
    EXPECT_EQ(bmp.Width(), frame.width());
    EXPECT_EQ(bmp.Height(), frame.height());

    // The frame itself as ImageMagick sees it.
    const QImage oracle = oracleScreen();
    ASSERT_FALSE(oracle.isNull());
    int bad = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            bad += rgbAt(bmp, x, y) != (oracle.pixel(frame.x() + x, frame.y() + y) & 0xFFFFFFu);
    EXPECT_EQ(bad, 0);
}

TEST(ScreenGrab, RootWindowWallpaperIsTiledAndRecorded)
{
    REQUIRE_X11();
    // Nothing but the root window in the top-left corner, and no desktop
    // program that would own the background.
    qunsetenv("XDG_CURRENT_DESKTOP");
    QImage tile(16, 12, QImage::Format_RGB32);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            tile.setPixel(x, y, qRgb(x * 16, y * 20, (x + y) % 2 ? 255 : 0));
    const QString file = zktest::sandboxDir() + "/tile.png";
    ASSERT_TRUE(tile.save(file));

    QString error;
    ASSERT_TRUE(SetWallpaper(file, true, &error)) << error.toStdString();
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(QString::fromLatin1(DesktopKeyPath)));
        EXPECT_EQ(reg.ReadString("Wallpaper"), file);
        EXPECT_EQ(reg.ReadString("TileWallpaper"), "1");
    }
    QByteArray out;
    ASSERT_EQ(zktest::runProgram("xprop", {"-root", "_XROOTPMAP_ID"}, &out), 0);
    EXPECT_TRUE(out.contains("pixmap id")) << out.constData();

    TBitmap bmp(1, 1, pf32bit);
    ASSERT_TRUE(GrabScreenRect(0, 0, 64, &bmp, 48));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(rgbAt(bmp, x, y), tile.pixel(x % 16, y % 12) & 0xFFFFFFu) << x << "," << y;

    // Setting it again frees the first background and shows the centred one.
    ASSERT_TRUE(SetWallpaper(file, false, &error)) << error.toStdString();
    const QRect root = ScreenGrabber::instance().rootRect();
    ASSERT_TRUE(GrabScreenRect(0, 0, 64, &bmp, 48));
    EXPECT_EQ(rgbAt(bmp, 20, 20), 0u); // black around the centred picture
    ASSERT_TRUE(GrabScreenRect((root.width() - 16) / 2, (root.height() - 12) / 2, 16, &bmp, 12));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(rgbAt(bmp, x, y), tile.pixel(x, y) & 0xFFFFFFu) << x << "," << y;

    error.clear();
    EXPECT_FALSE(SetWallpaper(zktest::sandboxDir() + "/no-such-picture.png", true, &error));
    EXPECT_FALSE(error.isEmpty());
}
