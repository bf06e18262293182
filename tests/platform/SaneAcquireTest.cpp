// Scanner input through SANE's test device: each kind of page equals what
// scanimage writes for the same options, pixel for pixel; the feeder's pages;
// a jammed device and a cancel leave nothing behind; pages drawn over each
// other.
#include "Bitmap.h"
#include "ReaderCancel.h"
#include "SaneAcquire.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <dlfcn.h>

using namespace zk;

namespace {

// A private SANE configuration holding only the test backend. SANE reads
// SANE_CONFIG_DIR once a process, so every test shares the one folder and
// rewrites its files (they are read again at each start).
QTemporaryDir &ConfigDir()
{
    static QTemporaryDir dir;
    return dir;
}

class SaneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        WriteConfig({});
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(dir.path()));
        // Kept loaded, so what the test device keeps for itself is named
        // (and left out by the leak check) after SANE lets it go.
        static void *keep = ::dlopen("/usr/lib/x86_64-linux-gnu/sane/libsane-test.so.1", RTLD_NOW | RTLD_NODELETE);
        (void)keep;
        TwainHooks().ErrorBox = [this](const QString &text) { errors << text; };
        TWAIN_SetHideUI(true);
        TWAIN_SetDefaultSource(QStringLiteral("test:0"));
    }
    void TearDown() override
    {
        TwainHooks().ErrorBox = nullptr;
        TWAIN_SetSourceSettings({});
    }
    void WriteConfig(const QByteArray &extra)
    {
        ASSERT_TRUE(zktest::writeBytes(dir.filePath("dll.conf"), "test\n"));
        ASSERT_TRUE(zktest::writeBytes(dir.filePath("test.conf"), "number_of_devices 1\n" + extra));
    }
    QTemporaryDir &dir = ConfigDir();
    QStringList errors;
};

// scanimage's PNM as 32-bit RGB; 16-bit samples keep their high byte.
QImage ReadPnm(const QByteArray &data)
{
    qsizetype at = 0;
    const auto token = [&]() {
        while (at < data.size() && (std::isspace(uchar(data[at])) || data[at] == '#')) {
            if (data[at] == '#')
                while (at < data.size() && data[at] != '\n')
                    ++at;
            else
                ++at;
        }
        const qsizetype start = at;
        while (at < data.size() && !std::isspace(uchar(data[at])))
            ++at;
        return data.mid(start, at - start);
    };
    const QByteArray magic = token();
    const int w = token().toInt(), h = token().toInt();
    const int maxval = magic == "P4" ? 1 : token().toInt();
    ++at; // the one white space before the samples
    QImage out(w, h, QImage::Format_RGB32);
    const uchar *p = reinterpret_cast<const uchar *>(data.constData()) + at;
    const int bytesPerSample = maxval > 255 ? 2 : 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (magic == "P4") {
                const int rowBytes = (w + 7) / 8;
                const bool black = p[y * rowBytes + x / 8] & (0x80 >> (x % 8));
                out.setPixel(x, y, black ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
            } else if (magic == "P5") {
                const int v = p[(y * w + x) * bytesPerSample]; // big-endian: high byte first
                out.setPixel(x, y, qRgb(v, v, v));
            } else {
                const uchar *s = p + (y * w + x) * 3 * bytesPerSample;
                out.setPixel(x, y, qRgb(s[0], s[bytesPerSample], s[2 * bytesPerSample]));
            }
        }
    return out;
}

// scanimage's page. scanimage itself stops its device's reader thread
// asynchronously and, rarely, hangs doing so (inside SANE, not here): a run
// that has not ended after 10 s is tried again.
int Scanimage(const QStringList &args, QByteArray *pnm)
{
    int status = -1;
    for (int attempt = 0; attempt < 3 && status != 0; ++attempt)
        status = zktest::runProgram(QStringLiteral("scanimage"), args, pnm, 10000);
    return status;
}

struct Case
{
    const char *name;
    QList<QPair<const char *, const char *>> options; // SANE name, value
};

} // namespace

TEST_F(SaneTest, EveryPageKindEqualsScanimagePixelForPixel)
{
    if (!zktest::haveProgram(QStringLiteral("scanimage")))
        GTEST_SKIP() << "scanimage (sane-utils) is not installed";
    const QList<Case> cases = {
        {"gray 1 grid", {{"mode", "Gray"}, {"depth", "1"}, {"test-picture", "Grid"}}},
        {"gray 8 grid", {{"mode", "Gray"}, {"depth", "8"}, {"test-picture", "Grid"}}},
        {"gray 8 pattern", {{"mode", "Gray"}, {"depth", "8"}, {"test-picture", "Color pattern"}}},
        {"gray 16 pattern", {{"mode", "Gray"}, {"depth", "16"}, {"test-picture", "Color pattern"}}},
        {"color 8 pattern", {{"mode", "Color"}, {"depth", "8"}, {"test-picture", "Color pattern"}}},
        // 400 pixels a line (80 mm at 127 dpi): lines laid out as the
        // picture's, read into it without conversion.
        {"color 8 pattern, whole-word lines",
         {{"mode", "Color"}, {"resolution", "127"}, {"test-picture", "Color pattern"}}},
        {"color 16 pattern", {{"mode", "Color"}, {"depth", "16"}, {"test-picture", "Color pattern"}}},
        {"three-pass pattern",
         {{"mode", "Color"}, {"three-pass", "yes"}, {"three-pass-order", "GBR"}, {"test-picture", "Color pattern"}}},
        {"hand-scanner grid", {{"mode", "Gray"}, {"hand-scanner", "yes"}, {"test-picture", "Grid"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QList<TSaneSetting> settings = {{"resolution", QStringLiteral("50")}};
        QStringList args = {QStringLiteral("-d"), QStringLiteral("test:0"), QStringLiteral("--format=pnm"),
                            QStringLiteral("--resolution"), QStringLiteral("50")};
        for (const auto &[name, value] : c.options) {
            settings.append({name, QString::fromUtf8(value)});
            args << QStringLiteral("--%1=%2").arg(QString::fromLatin1(name), QString::fromUtf8(value));
        }
        QByteArray pnm;
        ASSERT_EQ(Scanimage(args, &pnm), 0);
        const QImage expected = ReadPnm(pnm);
        ASSERT_FALSE(expected.isNull());

        TWAIN_SetSourceSettings(settings);
        HDIB last = TWAIN_AcquireNative(nullptr, 0);
        ASSERT_EQ(TWAIN_ImageCount(), 1);
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(TWAIN_State(), 1);
        const QImage ours = last->convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(ours.size(), expected.size());
        int differing = 0;
        for (int y = 0; y < ours.height(); ++y)
            for (int x = 0; x < ours.width(); ++x)
                differing += ours.pixel(x, y) != expected.pixel(x, y);
        EXPECT_EQ(differing, 0);
        TWAIN_FreeNative(last);
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }
}

TEST_F(SaneTest, FeederGivesItsTenPagesAndTheLastIsReturned)
{
    TWAIN_SetSourceSettings({{"source", QStringLiteral("Automatic Document Feeder")},
                             {"resolution", QStringLiteral("10")}});
    HDIB last = TWAIN_AcquireNative(nullptr, 0);
    ASSERT_EQ(TWAIN_ImageCount(), 10);
    EXPECT_EQ(last, TWAIN_GetImage(9));
    EXPECT_EQ(TWAIN_GetImage(10), nullptr);
    const QSize page = TWAIN_GetImage(0)->size();
    for (int i = 0; i < 10; ++i) {
        ASSERT_NE(TWAIN_GetImage(i), nullptr);
        EXPECT_EQ(TWAIN_GetImage(i)->size(), page);
        TWAIN_FreeNative(TWAIN_GetImage(i));
        EXPECT_EQ(TWAIN_GetImage(i), nullptr) << "freed once, not again";
    }
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(SaneTest, JammedDeviceReportsItsStatusAndHandsOutNothing)
{
    WriteConfig("read-status-code \"SANE_STATUS_JAMMED\"\n");
    TWAIN_SetSourceSettings({{"resolution", QStringLiteral("10")}});
    EXPECT_EQ(TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(TWAIN_ImageCount(), 0);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("jammed"), Qt::CaseInsensitive)) << errors[0].toStdString();
    EXPECT_EQ(TWAIN_State(), 1);
}

// The test device's reader asks to be cancelled asynchronously; this
// executable turns that into deferred cancelling, so a sane_cancel cannot
// stop the reader inside malloc or the loader.
TEST_F(SaneTest, ReaderThreadIsCancelledOnlyWhereThatIsSafe)
{
    const int before = SaneAsyncCancelsDeferred();
    TWAIN_SetSourceSettings({{"resolution", QStringLiteral("10")}});
    HDIB page = TWAIN_AcquireNative(nullptr, 0);
    ASSERT_NE(page, nullptr);
    TWAIN_FreeNative(page);
    EXPECT_EQ(SaneAsyncCancelsDeferred(), before + 1);
}

// The backends are loaded by the zelkora executable, whose own symbols come
// first: the hook must be defined there and exported, not only inside the
// program library (where the loader never offers it to them).
TEST(SaneReaderCancel, ShippedExecutableExportsTheHook)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"),
                                    QStringLiteral(ZK_PROGRAM_EXECUTABLE)});
    ASSERT_TRUE(nm.waitForFinished(30000));
    ASSERT_EQ(nm.exitCode(), 0) << nm.readAllStandardError().toStdString();
    const QList<QByteArray> lines = nm.readAllStandardOutput().split('\n');
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const QByteArray &l) { return l.endsWith(" T pthread_setcanceltype"); }));
}

TEST_F(SaneTest, IoErrorIsRetriedThreeTimesThenReported)
{
    TWAIN_SetSourceSettings({{"resolution", QStringLiteral("10")},
                             {"read-return-value", QStringLiteral("SANE_STATUS_IO_ERROR")}});
    EXPECT_EQ(TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(TWAIN_ImageCount(), 0);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("I/O"), Qt::CaseInsensitive)) << errors[0].toStdString();
}

TEST_F(SaneTest, CancelDuringASlowReadHandsOutNothing)
{
    TWAIN_SetSourceSettings({{"resolution", QStringLiteral("300")},
                             {"read-delay", QStringLiteral("yes")},
                             {"read-delay-duration", QStringLiteral("100000")}});
    QTimer::singleShot(300, [] { TWAIN_CancelAcquire(); });
    EXPECT_EQ(TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(TWAIN_ImageCount(), 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// The program is asked to end while a feeder batch is read (a scan started
// from its event loop): the batch is given up at once, nothing handed out
// and no message, instead of being read to its end with the program
// standing still.
TEST_F(SaneTest, EndingTheProgramDuringABatchGivesItUp)
{
    TWAIN_SetSourceSettings({{"source", QStringLiteral("Automatic Document Feeder")},
                             {"resolution", QStringLiteral("100")},
                             {"read-delay", QStringLiteral("yes")},
                             {"read-delay-duration", QStringLiteral("100000")}});
    HDIB last = reinterpret_cast<HDIB>(1);
    int pages = -1;
    QTimer::singleShot(0, [&] {
        last = TWAIN_AcquireNative(nullptr, 0);
        pages = TWAIN_ImageCount();
    });
    QTimer::singleShot(300, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    EXPECT_EQ(last, nullptr);
    EXPECT_EQ(pages, 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(SaneTest, NoDeviceSaysSo)
{
    ASSERT_TRUE(zktest::writeBytes(dir.filePath("dll.conf"), "# no backend\n"));
    EXPECT_FALSE(TWAIN_SourceAvailable());
    EXPECT_EQ(TWAIN_AcquireNative(nullptr, 0), nullptr);
    ASSERT_EQ(errors.size(), 1);
}

TEST(SaneImageBuilder, SecondPageIsDrawnOverTheFirstAtItsSize)
{
    QImage first(4, 3, QImage::Format_RGB888);
    first.fill(Qt::red);
    QImage second(2, 2, QImage::Format_RGB888);
    second.fill(Qt::blue);
    TBitmap picture;
    DibToImage(&first, picture);
    DibToImage(&second, picture);
    const QImage shown = picture.ToImage();
    ASSERT_EQ(shown.size(), QSize(2, 2));
    EXPECT_EQ(shown.pixel(1, 1), qRgb(0, 0, 255));
}

TEST(SaneImageBuilder, LinesArrivingInPiecesAndTooFewLines)
{
    TSaneImageBuilder b;
    TSaneImageBuilder::TFrame f;
    f.kind = TSaneImageBuilder::Gray;
    f.pixelsPerLine = 3;
    f.bytesPerLine = 4; // one byte of padding a line
    f.lines = 2;
    ASSERT_TRUE(b.BeginFrame(f));
    const unsigned char data[] = {10, 20, 30, 0, 40, 50, 60, 0};
    b.Feed(data, 3);
    b.Feed(data + 3, 5);
    ASSERT_TRUE(b.EndFrame());
    const QImage image = b.Take();
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(qGray(image.pixel(2, 0)), 30);
    EXPECT_EQ(qGray(image.pixel(0, 1)), 40);

    ASSERT_TRUE(b.BeginFrame(f));
    b.Feed(data, 4);
    EXPECT_FALSE(b.EndFrame()); // one line of two
    EXPECT_TRUE(b.Take().isNull());
    f.depth = 12;
    QString why;
    EXPECT_FALSE(b.BeginFrame(f, &why));
    EXPECT_FALSE(why.isEmpty());
}

// A page is handed out only whole: a three-pass page whose first pass came
// short, or whose passes differ in height, and a page of unknown height that
// outgrows the picture limit give nothing (the last with its reason).
TEST(SaneImageBuilder, PagesMissingLinesAreNotHandedOut)
{
    const unsigned char line[2] = {200, 100};
    const auto pass = [](TSaneImageBuilder::TFrameKind kind, int lines, bool last) {
        TSaneImageBuilder::TFrame f;
        f.kind = kind;
        f.pixelsPerLine = 2;
        f.bytesPerLine = 2;
        f.lines = lines;
        f.lastFrame = last;
        return f;
    };
    {
        TSaneImageBuilder b;
        ASSERT_TRUE(b.BeginFrame(pass(TSaneImageBuilder::Red, 2, false)));
        b.Feed(line, 2); // one line of two
        EXPECT_FALSE(b.EndFrame());
        for (const auto kind : {TSaneImageBuilder::Green, TSaneImageBuilder::Blue}) {
            ASSERT_TRUE(b.BeginFrame(pass(kind, 2, kind == TSaneImageBuilder::Blue)));
            b.Feed(line, 2);
            b.Feed(line, 2);
            EXPECT_TRUE(b.EndFrame());
        }
        EXPECT_TRUE(b.Take().isNull());
    }
    {
        TSaneImageBuilder b;
        ASSERT_TRUE(b.BeginFrame(pass(TSaneImageBuilder::Red, 2, false)));
        b.Feed(line, 2);
        b.Feed(line, 2);
        ASSERT_TRUE(b.EndFrame());
        EXPECT_FALSE(b.BeginFrame(pass(TSaneImageBuilder::Green, 5, false)));
    }
    {
        // 64 lines are made at first; the limit lets the picture double once.
        TBitmap::SetMaxPixels(2 * 100);
        TSaneImageBuilder b;
        ASSERT_TRUE(b.BeginFrame(pass(TSaneImageBuilder::Gray, -1, true)));
        for (int y = 0; y < 101; ++y)
            b.Feed(line, 2);
        TBitmap::SetMaxPixels(0);
        EXPECT_FALSE(b.EndFrame());
        EXPECT_EQ(b.Lost(), QStringLiteral("picture too large"));
        EXPECT_TRUE(b.Take().isNull());
    }
}

// A big colour page whose lines are laid out as the picture's is read into
// it directly, in pieces that cut lines; bytes past its lines are dropped,
// and a page that stops early stays incomplete. Its memory is made ahead in
// 2 MB pieces from both ends: sizes with a last piece of a few bytes, of half
// a piece and of whole pieces.
TEST(SaneImageBuilder, BigPageReadStraightIntoThePicture)
{
    struct TCase
    {
        int lines;
        QRgb lastLine200; // the byte value at column 200 of the last line
    };
    const TCase cases[] = {
        {1399, qRgb(62, 62, 62)},    // 4,197,000 bytes: 2,696 past two pieces; 1598 mod 256
        {1500, qRgb(163, 163, 163)}, // 4.5 MB; 1699 mod 256
        {4194, qRgb(41, 41, 41)},    // 12,582,000 bytes, just under six pieces; 4393 mod 256
    };
    const auto byteAt = [](std::size_t i) { return static_cast<unsigned char>(i % 3000 / 3 + i / 3000); };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.lines);
        TSaneImageBuilder b;
        TSaneImageBuilder::TFrame f;
        f.kind = TSaneImageBuilder::Rgb;
        f.pixelsPerLine = 1000;
        f.bytesPerLine = 3000;
        f.lines = c.lines;
        for (const bool complete : {true, false}) {
            ASSERT_TRUE(b.BeginFrame(f));
            const std::size_t total = 3000u * std::size_t(complete ? c.lines : c.lines - 1);
            std::size_t at = 0;
            while (at < total) {
                std::size_t room = 0;
                unsigned char *target = b.DirectTarget(&room);
                ASSERT_NE(target, nullptr);
                const std::size_t n = std::min({room, total - at, std::size_t(7777)});
                for (std::size_t i = 0; i < n; ++i)
                    target[i] = byteAt(at + i);
                b.Fed(n);
                at += n;
            }
            if (!complete) {
                EXPECT_FALSE(b.EndFrame());
                continue;
            }
            std::size_t room = 0;
            EXPECT_EQ(b.DirectTarget(&room), nullptr);
            const std::vector<unsigned char> extra(3000, 0xff);
            b.Feed(extra.data(), extra.size());
            ASSERT_TRUE(b.EndFrame());
            const QImage image = b.Take();
            ASSERT_EQ(image.size(), QSize(1000, c.lines));
            // Byte value: pixel column plus line, all three samples alike.
            EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
            EXPECT_EQ(image.pixel(5, 2), qRgb(7, 7, 7));
            EXPECT_EQ(image.pixel(200, c.lines - 1), c.lastLine200);
        }
    }
}

// With no window given, the dialogs open over the program's window, also
// when none is active (right after another dialog closed).
TEST_F(SaneTest, DialogsWithoutAWindowOpenOverTheProgramsWindow)
{
    QWidget main;
    main.setGeometry(300, 200, 400, 300);
    main.show();
    QRect over;
    QTimer::singleShot(100, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QStringLiteral("TwainSelectDialog") && w->isVisible()) {
                over = w->parentWidget()->geometry();
                qobject_cast<QDialog *>(w)->reject();
            }
    });
    TWAIN_SelectImageSource(nullptr);
    EXPECT_EQ(over, main.geometry());
}
