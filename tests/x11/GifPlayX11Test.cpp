// An animated GIF opened in the main window against a real X server: after
// every frame the screen shows ImageMagick's "-coalesce" frame over the
// window's background, pixel by pixel. The frames are stepped by the test
// (a very slow speed keeps the painter's own timer out of the way).
#include "GIFImage.h"
#include "GIFPainter.h"
#include "GifAnimations.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "Registry.h"
#include "ScreenSettle.h"
#include "X11Support.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zk;

namespace {

// A colour none of the test animations has.
constexpr QRgb kWindowColour = qRgb(0xe1, 0x17, 0xb4);

// What the screen should show: the frame over the window's background.
QImage overWindow(const QImage &frame)
{
    QImage out(frame.size(), QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb p = frame.pixel(x, y);
            out.setPixel(x, y, qAlpha(p) == 0 ? kWindowColour : (p | 0xFF000000));
        }
    return out;
}

QString firstDifference(const QImage &got, const QImage &want)
{
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            if ((got.pixel(x, y) & 0xFFFFFF) != (want.pixel(x, y) & 0xFFFFFF))
                return QStringLiteral("(%1,%2) %3 vs %4")
                    .arg(x)
                    .arg(y)
                    .arg(got.pixel(x, y) & 0xFFFFFF, 6, 16)
                    .arg(want.pixel(x, y) & 0xFFFFFF, 6, 16);
    return QString();
}

} // namespace

TEST(GifPlayX11, MainWindowShowsTheComposedFrames)
{
    if (!zktest::haveX11())
        GTEST_SKIP() << "needs the test X server (ZK_TEST_X11 and DISPLAY)";
    if (!QFile::exists(QStringLiteral("/usr/bin/convert")))
        GTEST_SKIP() << "ImageMagick missing";
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    QTemporaryDir dir;
    TMainForm form;
    form.Options.EndDlg = false;
    form.Options.OAsBmp = false;
    form.setGeometry(200, 150, 500, 400);
    QWidget *background = form.ClientScrollBoxEx->viewport();
    QPalette pal = background->palette();
    pal.setColor(QPalette::Window, QColor(kWindowColour));
    pal.setColor(QPalette::Base, QColor(kWindowColour));
    background->setPalette(pal);
    background->setAutoFillBackground(true);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    const QList<QByteArray> files = gifanim::compositionCases();
    for (int n = 0; n < files.size(); ++n) {
        SCOPED_TRACE(n);
        const QList<QImage> want = gifanim::coalesced(files[n], QDir(dir.path()));
        ASSERT_FALSE(want.isEmpty());
        const QString file = dir.filePath(QStringLiteral("play%1.gif").arg(n));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(files[n]);
        f.close();

        form.OpenPictureFile(file);
        auto *gif = dynamic_cast<TGIFImage *>(form.ScanImage->Picture().Graphic());
        ASSERT_NE(gif, nullptr);
        // Waits of minutes: only the test moves the play on.
        gif->AnimationSpeed = 1;
        int drawn = 0;
        gif->OnAfterPaint = [&](TGIFPainter &) { ++drawn; };
        form.ScanImage->update();

        const QRectF at = form.ScanImage->PictureRect();
        ASSERT_EQ(at.size().toSize(), want[0].size()) << "the picture is shown scaled";
        const QPoint origin = form.ScanImage->mapToGlobal(at.topLeft().toPoint());
        for (int i = 0; i < want.size(); ++i) {
            SCOPED_TRACE(i);
            ASSERT_TRUE(zktest::waitFor([&] { return drawn == i + 1; }, 5000)) << "drawn " << drawn;
            const QImage expected = overWindow(want[i]);
            QImage shown;
            zktest::waitFor(
                [&] {
                    shown = QGuiApplication::primaryScreen()
                                ->grabWindow(0, origin.x(), origin.y(), expected.width(), expected.height())
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
                    return firstDifference(shown, expected).isEmpty();
                },
                3000);
            const QString difference = firstDifference(shown, expected);
            EXPECT_TRUE(difference.isEmpty()) << "screen vs ImageMagick at " << difference.toStdString();
            ASSERT_EQ(drawn, i + 1) << "the painter moved on by itself";
            if (TGIFPainter *painter = gif->CurrentPainter())
                painter->WaitEnded();
        }
    }
    form.close();
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}
