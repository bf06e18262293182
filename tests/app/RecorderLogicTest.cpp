// The recorder's rules without a window: centring, the grab rectangle, the
// frame files and building an AVI file from them.
#include "AviFile.h"
#include "Bitmap.h"
#include "Options.h"
#include "RecorderLogic.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace zk;

namespace {

QString freshDir(const QString &name)
{
    const QString dir = zktest::sandboxDir() + "/" + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

TBitmap solid(int w, int h, QRgb c, TPixelFormat pf = pf24bit)
{
    TBitmap b(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, TColor(qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16)));
    b.SetPixelFormat(pf);
    return b;
}

TZelkoraOptions frameOptions()
{
    TZelkoraOptions o;
    o.BmpPixForm = pf24bit;
    return o;
}

} // namespace

TEST(RecorderLogic, CentringAndGrabRectangle)
{
    struct Case
    {
        int vdo;
        QSize screen;
        QPoint origin;
    };
    // 600x480 on 800x600 sits at (100, 60); the small area is centred too;
    // an area larger than the screen gives -1.
    for (const Case c : {Case{1, {800, 600}, {100, 60}}, Case{0, {1920, 1080}, {810, 420}},
                         Case{4, {1920, 1080}, {384, 108}}, Case{3, {800, 600}, {-1, -1}}, Case{2, {800, 600}, {0, 0}}}) {
        const QSize area = RecordAreaSize(c.vdo);
        EXPECT_EQ(QPoint(CenterOffset(c.screen.width(), area.width()), CenterOffset(c.screen.height(), area.height())),
                  c.origin)
            << c.vdo << " on " << c.screen.width();
    }
    const QSize screen(800, 600);
    // The frame's 3-pixel ring stays out of the picture.
    EXPECT_EQ(FrameGrabRect({100, 60}, {600, 480}, 1, false, screen).rect, QRect(103, 63, 594, 474));
    EXPECT_EQ(FrameGrabRect({100, 60}, {600, 480}, 0, false, screen).rect, QRect(3, 3, 594, 474));
    EXPECT_EQ(FrameGrabRect({-1, -1}, {300, 240}, 1, true, screen).rect, QRect(3, 3, 294, 234));
    const TFrameGrab whole = FrameGrabRect({0, 0}, {800, 600}, 1, false, screen);
    EXPECT_TRUE(whole.wholeScreen);
}

TEST(RecorderLogic, FrameNumbersFollowTheHighestName)
{
    const QString dir = freshDir("frames");
    EXPECT_EQ(FrameFileName(dir, NextFrameNumber(dir)), dir + "/00000000.bmp");
    for (int i = 0; i < 3; ++i)
        SaveNextFrame(solid(8, 6, qRgb(i * 80, 0, 0)), dir, frameOptions());
    // Other files count for nothing and are never touched.
    for (const char *other : {"x.bmp", "123.bmp", "00000009.bmp.txt"})
        ASSERT_TRUE(zktest::writeBytes(dir + "/" + other, "keep"));
    ASSERT_TRUE(QFile::remove(dir + "/00000001.bmp"));
    const QString next = SaveNextFrame(solid(8, 6, qRgb(0, 0, 255)), dir, frameOptions());
    EXPECT_EQ(next, dir + "/00000003.bmp") << "a deleted frame must not make the next one overwrite the last";
    EXPECT_EQ(FrameNumbers(dir), (std::vector<std::uint32_t>{0, 2, 3}));

    const QString copy = freshDir("framecopy");
    QString error;
    ASSERT_TRUE(CollectFrameFiles(dir, copy, &error)) << error.toStdString();
    EXPECT_EQ(QDir(copy).entryList(QDir::Files), (QStringList{"00000000.bmp", "00000002.bmp", "00000003.bmp"}));
    EXPECT_EQ(DeleteFrameFiles(dir), 0);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), (QStringList{"00000009.bmp.txt", "123.bmp", "x.bmp"}));
    EXPECT_FALSE(FrameFolderExists(""));
    EXPECT_FALSE(FrameFolderExists(dir + "/x.bmp"));
}

TEST(RecorderLogic, BuildStoresFramesInOrderAsEightBits)
{
    const QString dir = freshDir("build");
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    // Gaps in the numbers are skipped; the frames keep their order.
    const std::uint32_t numbers[] = {0, 2, 5};
    for (int i = 0; i < 3; ++i)
        solid(20, 10, colours[i], i == 1 ? pf32bit : pf24bit).SaveToFile(FrameFileName(dir, numbers[i]));
    const QString avi = dir + "/out.avi";
    int steps = 0, openedAfter = -1;
    const TAviBuildResult r =
        BuildAviFromFrames(dir, avi, 10, {[&](int, int) { return ++steps > 0; }, 0, [&] { openedAfter = steps; }});
    ASSERT_EQ(r.outcome, TAviBuildResult::Written) << r.error.toStdString();
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(openedAfter, 1) << "the file opens once, after the first frame is read";
    TAviFileReader reader;
    reader.Open(avi);
    ASSERT_EQ(reader.FrameCount(), 3);
    EXPECT_EQ(reader.BitCount(), 8);
    EXPECT_EQ(reader.Palette().size(), 256);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(reader.Frame(i).PixelRgb(5, 5), colours[i]) << i;
}

TEST(RecorderLogic, RefusedBuildsWriteNothingAndKeepTheFrames)
{
    const QString dir = freshDir("refused");
    for (int i = 0; i < 2; ++i)
        solid(20, 10, qRgb(0, 0, 0)).SaveToFile(FrameFileName(dir, std::uint32_t(i)));
    const QString avi = dir + "/out.avi";
    ASSERT_TRUE(zktest::writeBytes(avi, "old"));

    // The size guard with a faked limit: one byte short of the real size.
    const qint64 real = AviFileSize(20, 10, 2);
    TAviBuildResult r = BuildAviFromFrames(dir, avi, 10, {{}, real - 1, [] { ADD_FAILURE() << "opened a refused file"; }});
    EXPECT_EQ(r.outcome, TAviBuildResult::TooLarge);
    EXPECT_EQ(BuildAviFromFrames(dir, avi, 10, {[](int done, int) { return done < 1; }, 0, {}}).outcome,
              TAviBuildResult::Cancelled);
    // A damaged frame fails the build with its name.
    ASSERT_TRUE(zktest::writeBytes(FrameFileName(dir, 2), "BM-damaged"));
    r = BuildAviFromFrames(dir, avi, 10);
    EXPECT_EQ(r.outcome, TAviBuildResult::Failed);
    EXPECT_TRUE(r.error.contains("00000002.bmp")) << r.error.toStdString();

    EXPECT_EQ(zktest::readBytes(avi), QByteArray("old"));
    EXPECT_EQ(FrameNumbers(dir).size(), 3u);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 4);
    EXPECT_EQ(BuildAviFromFrames(freshDir("empty"), avi, 10).outcome, TAviBuildResult::NoFrames);
}

TEST(RecorderLogic, AFailedFrameWriteSaysSoAndLeavesNoFile)
{
    const QString dir = freshDir("fullDisk");
    for (int i = 0; i < 4; ++i)
        solid(64, 64, qRgb(0, 0, 0)).SaveToFile(FrameFileName(dir, std::uint32_t(i)));
    const QString avi = dir + "/out.avi";
    // A file size limit stands in for a full disk: the header fits, the
    // frames do not.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = 6000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const TAviBuildResult r = BuildAviFromFrames(dir, avi, 10);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(r.outcome, TAviBuildResult::Failed);
    EXPECT_TRUE(r.error.startsWith(kFrameNotWritten)) << r.error.toStdString();
    EXPECT_FALSE(QFile::exists(avi));
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 4) << "frames only, no half file";
}

TEST(RecorderLogic, SnapsToTheMainWindowsEdges)
{
    const QRect main(100, 100, 400, 300); // right edge 500, bottom edge 400
    struct Case
    {
        QPoint dropped, landed;
    };
    for (const Case c : {Case{{150, 430}, {150, 400}},  // below: top to the bottom edge
                         Case{{150, 30}, {150, 20}},    // above: bottom edge to the top edge
                         Case{{540, 150}, {500, 150}},  // right: left edge to the right edge
                         Case{{30, 150}, {20, 150}},    // left: right edge to the left edge
                         Case{{150, 460}, {150, 460}},  // 60 pixels off: stays
                         Case{{700, 700}, {700, 700}}}) // no overlap at all
        EXPECT_EQ(SnapToMainWindow(QRect(c.dropped, QSize(80, 80)), main).topLeft(), c.landed)
            << c.dropped.x() << "," << c.dropped.y();
}
