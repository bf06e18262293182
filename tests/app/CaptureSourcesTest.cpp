// The capture sources that do not grab the screen: the copy-data picture,
// the file compare, the companion program, the scanner settings program,
// the scanner into the picture, and which mode items switch on.
#include "Bitmap.h"
#include "BmpCodec.h"
#include "CaptureControl.h"
#include "ImageControl.h"
#include "LocalChannel.h"
#include "MainForm.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "SaneAcquire.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QDialog>
#include <QPushButton>
#include <QtEndian>
#include <gtest/gtest.h>

#include <thread>

#include <dlfcn.h>

using namespace zk;

namespace {

class SourcesForm : public TMainForm
{
public:
    SourcesForm()
    {
        Options.EndDlg = false;
        Options.SysKeys = false;
        SourcePrompts.Message = [this](const QString &t) { messages << t; };
        SourcePrompts.Wait = [](int) { return 0; };
        SourcePrompts.StartDetached = [this](const QString &p, const QStringList &) {
            started << p;
            return true;
        };
    }
    QStringList messages, started;
};

QByteArray copyData(std::uint32_t dwData, const QByteArray &block)
{
    QByteArray out(4, '\0');
    qToLittleEndian<quint32>(dwData, out.data());
    return out + block;
}

QByteArray bmpOf(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return WriteBmp(TBitmap::FromImage(image));
}

class CaptureSourcesTest : public ::testing::Test
{
protected:
    void SetUp() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
    void TearDown() override { TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo")); }
};

} // namespace

TEST_F(CaptureSourcesTest, CopyDataTakesOnlyAWholeSoundBitmapOfId1)
{
    SourcesForm form;
    form.FFileName = QStringLiteral("/old/picture.png");
    form.FHasFileName = true;
    EXPECT_FALSE(form.WMCopyData(copyData(2, bmpOf(3, 2, Qt::red))));
    EXPECT_TRUE(form.ScanImage->Picture().Empty());
    QByteArray damaged = bmpOf(3, 2, Qt::red);
    damaged.truncate(20);
    EXPECT_FALSE(form.WMCopyData(copyData(1, damaged)));
    EXPECT_EQ(form.messages.size(), 1);
    EXPECT_TRUE(form.ScanImage->Picture().Empty());
    EXPECT_TRUE(form.FHasFileName);
    EXPECT_FALSE(form.WMCopyData(QByteArray("\x01\x00", 2)));

    ASSERT_TRUE(form.WMCopyData(copyData(1, bmpOf(3, 2, Qt::red))));
    const QImage shown = form.ScanImage->Picture().Bitmap().ToImage();
    EXPECT_EQ(shown.size(), QSize(3, 2));
    EXPECT_EQ(shown.pixel(2, 1), qRgb(255, 0, 0));
    // Like a paste: no file behind it.
    EXPECT_FALSE(form.FHasFileName);
    EXPECT_TRUE(form.FFileName.isEmpty());
}

TEST(CopyDataFrames, OnlyTheCopyDataIdMayExceedTheCommandLimit)
{
    TFrameReader reader(1u << 20);
    reader.SetIdLimit(MsgCopyData, 64u << 20);
    const QByteArray big(2 << 20, 'x');
    reader.Append(EncodeChannelFrame(MsgCopyData, big));
    TChannelFrame frame;
    ASSERT_TRUE(reader.Next(&frame));
    EXPECT_EQ(frame.payload.size(), big.size());
    reader.Append(EncodeChannelFrame(MsgLoadFile, big));
    EXPECT_FALSE(reader.Next(&frame));
    EXPECT_TRUE(reader.Failed());
}

TEST_F(CaptureSourcesTest, CopyDataOverTheChannelReachesThePicture)
{
    QTemporaryDir dir;
    SourcesForm form;
    ASSERT_TRUE(form.StartLocalChannel(dir.filePath("z.sock")));
    const QByteArray block = bmpOf(800, 600, Qt::green); // over 1 MiB
    ASSERT_GT(block.size(), 1 << 20);
    // Sent from a second thread: the receiving loop is this one.
    bool sent = false;
    std::thread sender([&] { sent = TLocalChannel::Send(MsgCopyData, copyData(1, block), dir.filePath("z.sock")); });
    QTRY_VERIFY_WITH_TIMEOUT(!form.ScanImage->Picture().Empty(), 10000);
    sender.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(form.ScanImage->Picture().Bitmap().Width(), 800);
}

TEST_F(CaptureSourcesTest, FileCompareAsksTwiceAndSaysWhetherEqual)
{
    QTemporaryDir dir;
    ASSERT_TRUE(zktest::writeBytes(dir.filePath("a"), "same"));
    ASSERT_TRUE(zktest::writeBytes(dir.filePath("b"), "same"));
    ASSERT_TRUE(zktest::writeBytes(dir.filePath("c"), "other"));
    SourcesForm form;
    QStringList answers, titles;
    form.SourcePrompts.ChooseFile = [&](const QString &title) {
        titles << title;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    };
    form.ScanFileMenuItemClick(); // cancelled at the first dialog
    EXPECT_EQ(titles.size(), 1);
    EXPECT_TRUE(form.messages.isEmpty());
    answers = {dir.filePath("a"), dir.filePath("b")};
    form.ScanFileMenuItemClick();
    answers = {dir.filePath("a"), dir.filePath("c")};
    form.ScanFileMenuItemClick();
    EXPECT_EQ(titles.size(), 5);
    EXPECT_EQ(form.messages, (QStringList{QStringLiteral("Die beiden Dateien sind identisch."),
                                          QStringLiteral("Die beiden Dateien sind nicht identisch.")}));
}

TEST_F(CaptureSourcesTest, CompanionStartsOnlyAnExistingPath)
{
    QTemporaryDir dir;
    SetProgramDirOverride(dir.path() + '/');
    SourcesForm form;
    form.QuorvMenuItemClick(); // no ini
    ASSERT_TRUE(zktest::writeBytes(dir.filePath("ZK5.ini"), "[ZK_Quorvex]\nAppPath=ERROR\n"));
    form.QuorvMenuItemClick();
    ASSERT_TRUE(zktest::writeBytes(dir.filePath("quorvex"), "#!/bin/sh\n"));
    ASSERT_TRUE(zktest::writeBytes(dir.filePath("ZK5.ini"), "[ZK_Quorvex]\nAppPath=" +
                                                                QFile::encodeName(dir.filePath("quorvex")) + "\n"));
    form.QuorvMenuItemClick();
    SetProgramDirOverride({});
    EXPECT_EQ(form.started, QStringList{dir.filePath("quorvex")});
}

TEST_F(CaptureSourcesTest, ScannerSettingsRunTheFirstProgramOnPath)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("ran");
    const QString script = dir.filePath("simple-scan");
    ASSERT_TRUE(zktest::writeBytes(script, "#!/bin/sh\necho started > '" + QFile::encodeName(log) + "'\n"));
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.path()) + ':' + path);
    SourcesForm form;
    form.SourcePrompts.StartDetached = nullptr; // really started
    form.DoScanPropMenuItemClick();
    qputenv("PATH", path);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(log), 5000);
    EXPECT_TRUE(form.messages.isEmpty());

    qputenv("PATH", QFile::encodeName(dir.path() + "/none"));
    form.DoScanPropMenuItemClick();
    qputenv("PATH", path);
    EXPECT_EQ(form.messages.size(), 1);
}

TEST_F(CaptureSourcesTest, ModesNineToTwelveSwitchOnAndTheTwainMenuIsThere)
{
    SourcesForm form;
    // (The companion's items show only once its path is configured.)
    for (const char *name : {"ScanTwainMenuItem", "ScanFileMenuItem", "ScanTxtMenuItem",
                             "ScanTwain2MenuItem", "ScanTxt3MenuItem", "AviVdo3MenuItem", "DoScanTwainMenuItem",
                             "KodakScanMenuItem", "DoScanPropMenuItem"})
        EXPECT_TRUE(form.Item(QString::fromLatin1(name))->isEnabled()) << name;
    QMenu *twain = form.Item("TwainMenuItem")->menu();
    ASSERT_NE(twain, nullptr);
    EXPECT_EQ(twain->actions().first()->objectName(), QStringLiteral("DoScanTwainMenuItem"));
}

namespace {

// The scanner through SANE's test device. SANE reads its configuration
// folder once a process, so every case shares one.
class ScannerSourceTest : public CaptureSourcesTest
{
protected:
    void SetUp() override
    {
        CaptureSourcesTest::SetUp();
        static QTemporaryDir sane;
        ASSERT_TRUE(zktest::writeBytes(sane.filePath("dll.conf"), "test\n"));
        ASSERT_TRUE(zktest::writeBytes(sane.filePath("test.conf"), "number_of_devices 1\n"));
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(sane.path()));
        // Kept loaded, so what the test device keeps for itself is named
        // (and left out by the leak check) after SANE lets it go.
        static void *keep = ::dlopen("/usr/lib/x86_64-linux-gnu/sane/libsane-test.so.1", RTLD_NOW | RTLD_NODELETE);
        (void)keep;
        TwainHooks().ErrorBox = [this](const QString &t) { errors << t; };
        TWAIN_SetHideUI(true);
        TWAIN_SetDefaultSource(QStringLiteral("test:0"));
        // The selection dialog comes first; closed, the default source is used.
        QObject::connect(&poll, &QTimer::timeout, [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName() == QStringLiteral("TwainSelectDialog") && w->isVisible())
                    qobject_cast<QDialog *>(w)->reject();
        });
        poll.start(50);
    }
    void TearDown() override
    {
        poll.stop();
        TwainHooks().ErrorBox = nullptr;
        TWAIN_SetSourceSettings({});
        TWAIN_SetPageLimit(0);
        CaptureSourcesTest::TearDown();
    }
    // The form's picture as 32-bit pixels.
    static QImage Shown(SourcesForm &form)
    {
        return form.ScanImage->Picture().Bitmap().ToImage().convertToFormat(QImage::Format_RGB32);
    }
    QStringList errors;
    QTimer poll;
};

} // namespace

TEST_F(ScannerSourceTest, ScannedPageBecomesThePicture)
{
    TWAIN_SetSourceSettings({{"resolution", QStringLiteral("25")}, {"test-picture", QStringLiteral("Solid white")}});
    SourcesForm form;
    form.ScanTwainMenuItemClick();
    ASSERT_FALSE(form.ScanImage->Picture().Empty()) << errors.join('\n').toStdString();
    const int width = form.ScanImage->Picture().Bitmap().Width();
    EXPECT_NEAR(width, 79, 1); // 80 mm at 25 dpi
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    // A failing read is not tried here: the test backend then cancels its
    // reader thread asynchronously, which can leave the sanitizer's allocator
    // locked and hang the process at exit.
}

// Two or three pages from the feeder: the picture is a page (the second
// drawn over the first; of three only the first), taking the page's size
// over a bigger picture, and every page is freed.
TEST_F(ScannerSourceTest, FeederPagesEndAsOnePageInThePicture)
{
    const QList<TSaneSetting> page = {{"resolution", QStringLiteral("10")},
                                      {"test-picture", QStringLiteral("Color pattern")},
                                      {"mode", QStringLiteral("Color")}};
    TWAIN_SetSourceSettings(page);
    HDIB single = TWAIN_AcquireNative(nullptr, 0);
    ASSERT_NE(single, nullptr) << errors.join('\n').toStdString();
    const QImage expected = single->convertToFormat(QImage::Format_RGB32);
    TWAIN_FreeNative(single);
    ASSERT_EQ(expected.size(), QSize(31, 39)); // 80 x 100 mm at 10 dpi

    for (const int pages : {2, 3}) {
        SCOPED_TRACE(pages);
        SourcesForm form;
        ASSERT_TRUE(form.WMCopyData(copyData(1, bmpOf(60, 50, Qt::green))));
        TWAIN_SetSourceSettings(page + QList<TSaneSetting>{{"source", QStringLiteral("Automatic Document Feeder")}});
        TWAIN_SetPageLimit(pages); // of the feeder's ten
        form.ScanTwainMenuItemClick();
        EXPECT_EQ(TWAIN_ImageCount(), pages);
        for (int i = 0; i < pages; ++i)
            EXPECT_EQ(TWAIN_GetImage(i), nullptr) << "page " << i << " not freed";
        EXPECT_TRUE(Shown(form) == expected);
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }
}

// "Abbrechen" in the progress window of a slow page stops the reading; the
// picture stays as it was, with no message.
TEST_F(ScannerSourceTest, ProgressCancelKeepsThePicture)
{
    // About 7 s of reading (4 MB, 100 ms after each 64 KB).
    TWAIN_SetSourceSettings({{"resolution", QStringLiteral("600")},
                             {"read-delay", QStringLiteral("yes")},
                             {"read-delay-duration", QStringLiteral("100000")}});
    SourcesForm form;
    ASSERT_TRUE(form.WMCopyData(copyData(1, bmpOf(3, 2, Qt::red))));
    bool pressed = false;
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QStringLiteral("TwainProgressDialog") && w->isVisible() && !pressed)
                for (QPushButton *b : w->findChildren<QPushButton *>())
                    if (b->text() == QStringLiteral("Abbrechen")) {
                        pressed = true;
                        QTest::mouseClick(b, Qt::LeftButton);
                    }
    });
    press.start(50);
    form.ScanTwainMenuItemClick();
    press.stop();
    EXPECT_TRUE(pressed);
    EXPECT_EQ(TWAIN_ImageCount(), 0);
    const QImage shown = Shown(form);
    EXPECT_EQ(shown.size(), QSize(3, 2));
    EXPECT_EQ(shown.pixel(2, 1), qRgb(255, 0, 0));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}
