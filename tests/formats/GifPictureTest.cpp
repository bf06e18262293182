// The GIF picture class and its frames: defaults, sizes, import, clipboard,
// and the painter's timing, loops and composition (against ImageMagick's
// -coalesce).
#include "ColorReduction.h"
#include "GIFImage.h"
#include "GIFPainter.h"
#include "GifAnimations.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zk;

namespace {

QString raised(const std::function<void()> &f)
{
    try {
        f();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// Time moves only when the painter sleeps or the test says so.
class FakeClock : public TGIFPainterClock
{
public:
    qint64 Now() override { return now; }
    void Sleep(int ms) override
    {
        now += ms;
        slept += ms;
    }
    qint64 now = 1000;
    qint64 slept = 0;
};

using namespace gifanim;

struct Played
{
    int frames = 0, loops = 0, starts = 0, ends = 0;
    qint64 slept = 0;
};

// Plays synchronously to the end and counts what the events tell.
Played playSync(const QByteArray &bytes, uint16_t options = GIFDefaultDrawOptions & ~goAsync, int speed = 100)
{
    TGIFImage img;
    img.LoadFromBytes(bytes);
    FakeClock clock;
    img.PainterClock = &clock;
    img.AnimationSpeed = speed;
    Played p;
    img.OnAfterPaint = [&](TGIFPainter &) { ++p.frames; };
    img.OnLoop = [&](TGIFPainter &) { ++p.loops; };
    img.OnStartPaint = [&](TGIFPainter &) { ++p.starts; };
    img.OnEndPaint = [&](TGIFPainter &) { ++p.ends; };
    img.StartPainter(nullptr, QRect(0, 0, img.Width(), img.Height()), options);
    p.slept = clock.slept;
    return p;
}

} // namespace

TEST(GifPicture, DefaultsOfANewImage)
{
    TGIFImage img;
    EXPECT_EQ(img.DrawOptions, 0x060F);
    EXPECT_EQ(img.ReductionMethod, 6);
    EXPECT_EQ(img.ReductionBits, 8);
    EXPECT_EQ(img.DitherMode, 0);
    EXPECT_EQ(img.Compression, 0);
    EXPECT_EQ(img.ThreadPriority, 3);
    EXPECT_EQ(img.AnimationSpeed, 100);
    EXPECT_EQ(img.DrawBackgroundColor, GIFNoBackgroundColor);
    EXPECT_TRUE(img.Empty());
}

TEST(GifPicture, SizeBelowAFrameRaisesAndKeepsTheSize)
{
    TGIFImage img;
    img.LoadFromBytes(animation({frame(2, 1, 6, 5, 1)}));
    EXPECT_EQ(raised([&] { img.SetWidth(7); }), "Image width too small for contained frames");
    EXPECT_EQ(raised([&] { img.SetHeight(5); }), "Image height too small for contained frames");
    EXPECT_EQ(img.Width(), 8);
    EXPECT_EQ(img.Height(), 6);
    img.SetWidth(20);
    EXPECT_EQ(img.Width(), 20);
}

TEST(GifPicture, AssignKeepsTargetCompressionAndDropsOnWarning)
{
    TGIFImage src;
    src.LoadFromBytes(animation({frame(0, 0, 8, 6, 2), frame(1, 1, 3, 3, 1)}));
    src.Compression = gcLZW;
    src.DrawOptions = 0x0103;
    src.ReductionBits = 4;
    src.OnWarning = [](TGIFImage &, uint8_t, const QString &) {};
    TGIFImage dst;
    dst.Compression = gcRLE;
    dst.OnWarning = [](TGIFImage &, uint8_t, const QString &) {};
    dst.Assign(src);
    EXPECT_EQ(dst.Compression, gcRLE);
    EXPECT_EQ(dst.ReductionBits, 8);
    EXPECT_EQ(dst.DrawOptions, 0x0103);
    EXPECT_FALSE(dst.OnWarning);
    ASSERT_EQ(dst.Images().Count(), 2);
    // The copy decodes as the source does.
    EXPECT_EQ(giforacle::Dump(giforacle::Read(dst.SaveToBytes())), giforacle::Dump(giforacle::Read(src.SaveToBytes())));
}

TEST(GifPicture, OneFrameNeverStartsAPainter)
{
    TGIFImage img;
    img.LoadFromBytes(animation({frame(0, 0, 8, 6, 1)}));
    int starts = 0;
    img.OnStartPaint = [&](TGIFPainter &) { ++starts; };
    QImage target(8, 6, QImage::Format_ARGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    img.Draw(p, target.rect());
    p.end();
    EXPECT_EQ(starts, 0);
    EXPECT_EQ(img.PainterCount(), 0);
    EXPECT_EQ(target.pixel(3, 3), qRgb(255, 0, 0));
}

TEST(GifPicture, UnsupportedObjectsAndClipboardFormatsRaise)
{
    TGIFImage img;
    EXPECT_EQ(raised([&] { img.Add(QStringList{QStringLiteral("a")}); }), "Object type not supported for operation");
    QMimeData mime;
    mime.setText(QStringLiteral("not a picture"));
    EXPECT_FALSE(raised([&] { img.LoadFromClipboardFormat(mime, QStringLiteral("text/plain")); }).isEmpty());
}

TEST(GifPicture, ClipboardCarriesTheFileBesideTheImage)
{
    TGIFImage img;
    img.LoadFromBytes(animation({frame(0, 0, 8, 6, 3), frame(2, 2, 2, 2, 1)}));
    QMimeData mime;
    img.SaveToClipboardFormat(mime);
    ASSERT_TRUE(mime.hasFormat(QStringLiteral("image/gif")));
    EXPECT_TRUE(mime.hasImage());
    TGIFImage back;
    back.LoadFromClipboardFormat(mime, QStringLiteral("image/gif"));
    EXPECT_EQ(back.Images().Count(), 2);
    TGIFImage fromImage;
    fromImage.LoadFromClipboardFormat(mime, QStringLiteral("application/x-qt-image"));
    EXPECT_EQ(fromImage.Images().Count(), 1);
}

TEST(GifFrame, ThreeHundredColoursUnderNoReductionRaise)
{
    TBitmap bmp(30, 10, pf24bit);
    for (int i = 0; i < 300; ++i)
        bmp.SetPixel(i % 30, i / 30, RGBToTColor(i % 256, i / 256, 7));
    TGIFImage img;
    img.ReductionMethod = 0;
    EXPECT_EQ(raised([&] { img.Add(bmp); }), "Color table overflow");
}

TEST(GifFrame, BitmapsKeepTheirColours)
{
    struct Case
    {
        TPixelFormat pf;
        int colours;
    };
    for (const Case c : {Case{pf1bit, 2}, Case{pf4bit, 16}, Case{pf8bit, 200}, Case{pf24bit, 256}}) {
        SCOPED_TRACE(int(c.pf));
        TBitmap bmp(32, 16, c.pf);
        if (c.pf != pf24bit) {
            QVector<QRgb> pal;
            for (int i = 0; i < (1 << BitsPerPixel(c.pf)); ++i)
                pal << qRgb(i * 37 % 256, i * 11 % 256, 255 - i);
            bmp.SetPalette(pal);
        }
        for (int i = 0; i < 32 * 16; ++i) {
            const int k = i % c.colours;
            bmp.SetPixel(i % 32, i / 32, c.pf == pf24bit ? RGBToTColor(k, 255 - k, k / 2)
                                                         : QColorToTColor(QColor(bmp.Palette()[k])));
        }
        TGIFImage img;
        img.ReductionMethod = 0;
        img.Add(bmp);
        if (c.pf == pf1bit) {
            EXPECT_EQ(img.Images()[0]->ColorMap().Count(), 2);
        }
        const giforacle::Gif g = giforacle::Read(img.SaveToBytes());
        ASSERT_TRUE(g.ok) << g.error.toStdString();
        const giforacle::Frame &f = g.frames[0];
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(f.localMap[uchar(f.indices[y * 32 + x])] & 0xFFFFFF, bmp.PixelRgb(x, y) & 0xFFFFFF);
    }
}

TEST(GifFrame, TransparentBitmapMarksItsColourTransparent)
{
    TBitmap bmp(10, 10, pf24bit);
    auto c = bmp.Canvas();
    c->fillRect(0, 0, 10, 10, Qt::white);
    c->fillRect(2, 2, 4, 4, Qt::red);
    c.reset();
    bmp.SetTransparentColor(RGBToTColor(255, 255, 255));
    bmp.SetTransparent(true);
    TGIFImage img;
    img.ReductionMethod = 0;
    img.Add(bmp);
    TGIFSubImage &f = *img.Images()[0];
    ASSERT_TRUE(f.Transparent());
    EXPECT_TRUE(f.HasMask());
    QImage target(10, 10, QImage::Format_ARGB32);
    target.fill(qRgb(0, 0, 255));
    QPainter p(&target);
    f.Draw(p, target.rect(), true, false);
    p.end();
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(3, 3), qRgb(255, 0, 0));
}

// ------------------------------------------------------------------ painter

TEST(GifPainter, WaitsFollowDelaysSpeedAndMode)
{
    struct Case
    {
        QList<giforacle::Ext> exts; // of the first frame
        bool async;
        int speed;
        int expectMs; // the wait before the second frame
    };
    const Case cases[] = {
        {{gce(1, 1)}, true, 100, 36},          {{gce(1, 5000)}, true, 100, 60000},
        {{gce(1, 5000)}, false, 100, 12000},   {{}, true, 100, 120},
        {{gce(1, 10)}, true, 200, 60},         {{gce(1, 1)}, false, 100, 36},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expectMs);
        TGIFImage img;
        img.LoadFromBytes(animation({frame(0, 0, 8, 6, 1, c.exts), frame(0, 0, 8, 6, 2)}));
        FakeClock clock;
        img.PainterClock = &clock;
        img.AnimationSpeed = c.speed;
        const uint16_t options = c.async ? GIFDefaultDrawOptions : GIFDefaultDrawOptions & ~goAsync;
        if (c.async) {
            TGIFPainter *p = img.StartPainter(nullptr, QRect(0, 0, 8, 6), options);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p->PendingWait(), c.expectMs);
            img.StopPainters();
        } else {
            // The first frame waits one unit in the caller, then the delay.
            int drawn = 0;
            qint64 before = 0;
            img.OnPaint = [&](TGIFPainter &) {
                if (drawn++ == 1) {
                    EXPECT_EQ(clock.slept - before, c.expectMs);
                }
                before = clock.slept;
            };
            img.StartPainter(nullptr, QRect(0, 0, 8, 6), options);
            EXPECT_EQ(drawn, 2);
        }
    }
}

TEST(GifPainter, SpeedZeroWaitsUntilStoppedAndStopEndsAWaitAtOnce)
{
    for (int speed : {0, 100}) {
        TGIFImage img;
        img.LoadFromBytes(animation({frame(0, 0, 8, 6, 1, {gce(1, 5000)}), frame(0, 0, 8, 6, 2)}));
        img.AnimationSpeed = speed;
        int ends = 0;
        img.OnEndPaint = [&](TGIFPainter &) { ++ends; };
        TGIFPainter *p = img.StartPainter(nullptr, QRect(0, 0, 8, 6), GIFDefaultDrawOptions);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->PendingWait(), speed == 0 ? TGIFPainter::InfiniteWait : 60000);
        QElapsedTimer t;
        t.start();
        p->Stop();
        while (!p->Finished() && t.elapsed() < 2000)
            QCoreApplication::processEvents();
        EXPECT_TRUE(p->Finished());
        EXPECT_LT(t.elapsed(), 1000);
        EXPECT_EQ(ends, 1);
    }
}

TEST(GifPainter, LoopCountsGivePasses)
{
    const auto two = animation({frame(0, 0, 8, 6, 1, loopExt(2) + QList{gce(1, 5)}), frame(0, 0, 8, 6, 2)});
    Played p = playSync(two);
    EXPECT_EQ(p.frames, 4);
    EXPECT_EQ(p.loops, 1);
    EXPECT_EQ(p.starts, 1);
    EXPECT_EQ(p.ends, 1);

    const auto endless = animation({frame(0, 0, 8, 6, 1, loopExt(0)), frame(0, 0, 8, 6, 2)});
    EXPECT_EQ(playSync(endless).frames, 2);
    // Asynchronous: still playing after many passes.
    TGIFImage img;
    img.LoadFromBytes(endless);
    FakeClock clock;
    img.PainterClock = &clock;
    int frames = 0;
    img.OnAfterPaint = [&](TGIFPainter &) { ++frames; };
    TGIFPainter *painter = img.StartPainter(nullptr, QRect(0, 0, 8, 6), GIFDefaultDrawOptions);
    ASSERT_NE(painter, nullptr);
    for (int i = 0; i < 20; ++i) {
        clock.now += painter->PendingWait();
        painter->WaitEnded();
    }
    EXPECT_FALSE(painter->Finished());
    EXPECT_EQ(frames, 21);
    img.StopPainters();
}

TEST(GifPainter, WithoutLoopExtensionPlaysOnceAndWaitsTheDefault)
{
    Played p = playSync(animation({frame(0, 0, 8, 6, 1), frame(0, 0, 8, 6, 2), frame(0, 0, 8, 6, 3)}));
    EXPECT_EQ(p.frames, 3);
    EXPECT_EQ(p.loops, 0);
    // One unit before the first frame, ten before each other.
    EXPECT_EQ(p.slept, 12 + 120 + 120);
    EXPECT_EQ(playSync(animation({frame(0, 0, 8, 6, 1), frame(0, 0, 8, 6, 2)}), GIFDefaultDrawOptions & ~goAsync, 200)
                  .slept,
              6 + 60);
}

namespace {

// The painter's canvas after every frame.
QList<QImage> composedFrames(const QByteArray &bytes)
{
    TGIFImage img;
    img.LoadFromBytes(bytes);
    FakeClock clock;
    img.PainterClock = &clock;
    QList<QImage> out;
    img.OnAfterPaint = [&](TGIFPainter &p) { out << p.Canvas().convertToFormat(QImage::Format_ARGB32); };
    img.StartPainter(nullptr, QRect(0, 0, img.Width(), img.Height()), GIFDefaultDrawOptions & ~goAsync);
    return out;
}

bool sameVisible(const QImage &a, const QImage &b, QString &where)
{
    if (a.size() != b.size()) {
        where = QStringLiteral("size");
        return false;
    }
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const bool pt = qAlpha(p) == 0, qt = qAlpha(q) == 0;
            if (pt != qt || (!pt && (p & 0xFFFFFF) != (q & 0xFFFFFF))) {
                where = QStringLiteral("(%1,%2) %3 vs %4").arg(x).arg(y).arg(p, 8, 16).arg(q, 8, 16);
                return false;
            }
        }
    return true;
}

} // namespace

TEST(GifPainter, ComposedFramesEqualImageMagickCoalesce)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/convert")))
        GTEST_SKIP() << "ImageMagick missing";
    QTemporaryDir dir;
    const QList<QByteArray> files = compositionCases();
    for (int n = 0; n < files.size(); ++n) {
        SCOPED_TRACE(n);
        const QList<QImage> theirs = coalesced(files[n], QDir(dir.path()));
        const QList<QImage> ours = composedFrames(files[n]);
        ASSERT_EQ(ours.size(), theirs.size());
        for (int i = 0; i < ours.size(); ++i) {
            QString where;
            EXPECT_TRUE(sameVisible(ours[i], theirs[i], where)) << "frame " << i << " " << where.toStdString();
        }
    }
}

TEST(GifPainter, UndefinedDisposalsAreDrawn)
{
    for (int d = 4; d <= 7; ++d) {
        SCOPED_TRACE(d);
        const QList<QImage> frames = composedFrames(animation(
            {frame(0, 0, 8, 6, 3, {gce(1, 5)}), frame(2, 2, 2, 2, 1, {gce(d, 5)}), frame(0, 0, 1, 1, 2, {gce(1, 5)})}));
        ASSERT_EQ(frames.size(), 3);
        EXPECT_EQ(frames[1].pixel(2, 2), qRgb(255, 0, 0));
        // 4 restores what lay below (as 3), 5-7 leave the frame (as 1).
        EXPECT_EQ(frames[2].pixel(2, 2), d == 4 ? qRgb(0, 0, 255) : qRgb(255, 0, 0));
    }
}
