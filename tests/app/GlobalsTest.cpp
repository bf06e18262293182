// The shared helper routines that need no screen: text helpers, the shadow
// geometry, files, log settings, edits, folder choice and sounds.
#include "Globals.h"
#include "ProgramDir.h"
#include "Registry.h"
#include "Sound.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace zk;

namespace {

QByteArray randomBytes(int n, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        b[i] = char(gen.bounded(256));
    return b;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(GlobalsText, IntToStr8KeepsTheLastEightDigits)
{
    EXPECT_EQ(IntToStr8(0), "00000000");
    EXPECT_EQ(IntToStr8(123456789), "23456789");
    EXPECT_EQ(IntToStr8(12), "00000012");
    EXPECT_EQ(IntToStr8(99999999), "99999999");
    EXPECT_EQ(IntToStr8(4294967295u), "94967295");
}

TEST(GlobalsText, ColorToHtmlWritesRedGreenBlue)
{
    EXPECT_EQ(ColorToHtml(RGBToTColor(255, 0, 0)), "#FF0000");
    EXPECT_EQ(ColorToHtml(RGBToTColor(0, 0x80, 0xFF)), "#0080FF");
    EXPECT_EQ(ColorToHtml(0x00C0FFEE), "#EEFFC0");
    EXPECT_EQ(ColorToHtml(0), "#000000");
    // A system colour gives the colour it currently stands for.
    const QColor face = TColorToQColor(clSystemColor | 15);
    EXPECT_EQ(ColorToHtml(clSystemColor | 15), face.name().toUpper());
}

TEST(GlobalsText, ExpandEnvVarsExpandsKnownNamesAndTrims)
{
    qputenv("ZK_TEST_EXPAND", "/srv/pictures");
    qunsetenv("ZK_TEST_NOT_SET");
    EXPECT_EQ(ExpandEnvVars("%ZK_TEST_EXPAND%\\shots"), "/srv/pictures\\shots");
    EXPECT_EQ(ExpandEnvVars("  $ZK_TEST_EXPAND/a  "), "/srv/pictures/a");
    EXPECT_EQ(ExpandEnvVars("${ZK_TEST_EXPAND}b"), "/srv/picturesb");
    EXPECT_EQ(ExpandEnvVars("%ZK_TEST_NOT_SET%/x"), "%ZK_TEST_NOT_SET%/x");
    EXPECT_EQ(ExpandEnvVars("100% sure"), "100% sure");
    EXPECT_EQ(ExpandEnvVars(""), "");
}

TEST(GlobalsText, AppFilePathIsInsideTheProgramDirectory)
{
    EXPECT_EQ(AppFilePath("ZK5.ini"), ProgramDir() + "ZK5.ini");
    EXPECT_TRUE(ProgramDir().endsWith('/'));
    SetProgramDirOverride("/opt/elsewhere");
    EXPECT_EQ(AppFilePath("Templates/Languages.lng"), "/opt/elsewhere/Templates/Languages.lng");
    SetProgramDirOverride(QString());
}

TEST(GlobalsText, LoginUserNameMatchesTheSystem)
{
    QByteArray out;
    ASSERT_EQ(zktest::runProgram("id", {"-un"}, &out), 0);
    EXPECT_EQ(GetLoginUserName(), QString::fromLocal8Bit(out.trimmed()));
    EXPECT_TRUE(IsWinNT());
}

TEST(GlobalsShadow, ShadowIsOffsetWithItsTopThreeFurtherDown)
{
    const QRect control(10, 20, 30, 15); // right 39, bottom 34
    EXPECT_EQ(ShadowRect(control, 4), QRect(QPoint(14, 27), QPoint(43, 38)));

    QImage canvas(80, 80, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    p.setBrush(QColor(Qt::blue));
    PaintShadow(p, control, 4, RGBToTColor(255, 0, 0));
    EXPECT_EQ(p.brush().color(), QColor(Qt::blue));
    p.end();

    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 80; ++x) {
            const bool inside = x >= 14 && x <= 43 && y >= 27 && y <= 38;
            ASSERT_EQ(canvas.pixel(x, y), inside ? qRgb(255, 0, 0) : qRgb(255, 255, 255)) << x << "," << y;
        }
    }
}

TEST(GlobalsShadow, ShadowOfAWidgetUsesItsPlaceOnTheForm)
{
    QWidget form;
    form.resize(100, 100);
    QPushButton button(&form);
    button.setGeometry(5, 6, 20, 10);
    QImage canvas(100, 100, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    PaintShadow(p, &button, 2, RGBToTColor(0, 0, 0));
    p.end();
    EXPECT_EQ(canvas.pixel(7, 11), qRgb(0, 0, 0));   // left 5+2, top 6+2+3
    EXPECT_EQ(canvas.pixel(7, 10), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(26, 17), qRgb(0, 0, 0));  // right 24+2, bottom 15+2
    EXPECT_EQ(canvas.pixel(27, 17), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(26, 18), qRgb(255, 255, 255));
}

TEST(GlobalsFiles, FilesEqualComparesEveryByte)
{
    QTemporaryDir dir;
    const QByteArray big = randomBytes(300 * 1024 + 17, 1);
    QByteArray lastDiffers = big;
    lastDiffers[lastDiffers.size() - 1] = char(lastDiffers.back() ^ 1);
    QByteArray blockEdge = big;
    blockEdge[64 * 1024] = char(blockEdge[64 * 1024] ^ 0x80);
    writeFile(dir.filePath("a"), big);
    writeFile(dir.filePath("b"), big);
    writeFile(dir.filePath("c"), lastDiffers);
    writeFile(dir.filePath("d"), blockEdge);
    writeFile(dir.filePath("e"), big.left(big.size() - 1));
    writeFile(dir.filePath("empty1"), {});
    writeFile(dir.filePath("empty2"), {});

    EXPECT_TRUE(FilesEqual(dir.filePath("a"), dir.filePath("b")));
    EXPECT_FALSE(FilesEqual(dir.filePath("a"), dir.filePath("c")));
    EXPECT_FALSE(FilesEqual(dir.filePath("a"), dir.filePath("d")));
    EXPECT_FALSE(FilesEqual(dir.filePath("a"), dir.filePath("e")));
    EXPECT_TRUE(FilesEqual(dir.filePath("empty1"), dir.filePath("empty2")));
    EXPECT_FALSE(FilesEqual(dir.filePath("a"), dir.filePath("missing")));
}

TEST(GlobalsFiles, CopyFileByStreamCopiesAndReplaces)
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(700 * 1024 + 3, 2);
    writeFile(dir.filePath("src"), data);
    writeFile(dir.filePath("dest"), "old contents");

    EXPECT_TRUE(CopyFileByStream(dir.filePath("src"), dir.filePath("new")));
    EXPECT_EQ(readFile(dir.filePath("new")), data);
    EXPECT_TRUE(CopyFileByStream(dir.filePath("src"), dir.filePath("dest")));
    EXPECT_EQ(readFile(dir.filePath("dest")), data);
    writeFile(dir.filePath("empty"), {});
    EXPECT_TRUE(CopyFileByStream(dir.filePath("empty"), dir.filePath("dest")));
    EXPECT_EQ(readFile(dir.filePath("dest")).size(), 0);
    // Nothing but the copies is left in the folder (no temporary files).
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);
}

TEST(GlobalsFiles, CopyFileByStreamRefusesToCopyAFileOntoItself)
{
    QTemporaryDir dir;
    const QByteArray data = randomBytes(5000, 3);
    writeFile(dir.filePath("pic.bmp"), data);
    ASSERT_TRUE(QFile::link(dir.filePath("pic.bmp"), dir.filePath("alias.bmp")));
    ASSERT_EQ(::link(QFile::encodeName(dir.filePath("pic.bmp")).constData(),
                     QFile::encodeName(dir.filePath("hard.bmp")).constData()),
              0);

    EXPECT_FALSE(CopyFileByStream(dir.filePath("pic.bmp"), dir.filePath("pic.bmp")));
    EXPECT_FALSE(CopyFileByStream(dir.filePath("pic.bmp"), dir.path() + "/./pic.bmp"));
    EXPECT_FALSE(CopyFileByStream(dir.filePath("pic.bmp"), dir.filePath("alias.bmp")));
    EXPECT_FALSE(CopyFileByStream(dir.filePath("hard.bmp"), dir.filePath("pic.bmp")));
    EXPECT_EQ(readFile(dir.filePath("pic.bmp")), data);
}

TEST(GlobalsFiles, FailedCopyKeepsTheDestinationAndMissingSourceRaises)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("src"), "new");
    EXPECT_FALSE(CopyFileByStream(dir.filePath("src"), dir.filePath("no/such/folder/dest")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("adir"));
    EXPECT_FALSE(CopyFileByStream(dir.filePath("src"), dir.filePath("adir")));
    EXPECT_TRUE(QFileInfo(dir.filePath("adir")).isDir());

    writeFile(dir.filePath("dest"), "precious");
    EXPECT_THROW(CopyFileByStream(dir.filePath("missing"), dir.filePath("dest")), EFOpenError);
    EXPECT_EQ(readFile(dir.filePath("dest")), "precious");

    // A source that fails while being read: the old destination survives.
    if (QFileInfo("/proc/self/mem").exists()) {
        EXPECT_FALSE(CopyFileByStream("/proc/self/mem", dir.filePath("dest")));
        EXPECT_EQ(readFile(dir.filePath("dest")), "precious");
    }
}

TEST(GlobalsLog, LogSettingsRoundTripAndDefaults)
{
    {
        TRegistry reg;
        if (reg.KeyExists(QString::fromLatin1(LogKeyPath))) {
            ASSERT_TRUE(reg.DeleteKey(QString::fromLatin1(LogKeyPath)));
        }
    }
    QCheckBox check;
    TLogFile log{true, "junk"};
    ReadLogSettings("FCLogFile", "FCLogFilePath", log, &check);
    EXPECT_FALSE(log.LogFile);
    EXPECT_EQ(log.LogFilePath, ProgramDir());
    EXPECT_FALSE(check.isChecked());
    {
        TRegistry reg;
        EXPECT_FALSE(reg.KeyExists(QString::fromLatin1(LogKeyPath))); // reading creates nothing
    }

    WriteLogSettings("FCLogFile", "FCLogFilePath", TLogFile{true, "/var/log/zk"});
    WriteLogSettings("DCLogFile", "DCLogFilePath", TLogFile{false, ""});
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKeyReadOnly(QString::fromLatin1(LogKeyPath)));
        EXPECT_EQ(reg.GetDataType("FCLogFile"), RegDataType::Integer);
        EXPECT_EQ(reg.ReadInteger("FCLogFile"), 1);
        EXPECT_EQ(reg.ReadString("FCLogFilePath"), "/var/log/zk");
    }
    ReadLogSettings("FCLogFile", "FCLogFilePath", log, &check);
    EXPECT_TRUE(log.LogFile);
    EXPECT_EQ(log.LogFilePath, "/var/log/zk");
    EXPECT_TRUE(check.isChecked());

    QCheckBox other;
    ReadLogSettings("DCLogFile", "DCLogFilePath", log, &other);
    EXPECT_FALSE(log.LogFile);
    EXPECT_EQ(log.LogFilePath, ProgramDir()); // empty path
    EXPECT_FALSE(other.isChecked());

    ReadLogSettings("TCLogFile", "TCLogFilePath", log); // key there, values not
    EXPECT_FALSE(log.LogFile);
    EXPECT_EQ(log.LogFilePath, ProgramDir());
}

TEST(GlobalsControls, MakeEditNumericTakesDigitsOnly)
{
    QLineEdit edit;
    MakeEditNumeric(&edit);
    QTest::keyClicks(&edit, "12a-3 4.5");
    EXPECT_EQ(edit.text(), "12345");
}

TEST(GlobalsControls, EnableChildControlsTouchesDirectChildrenOnly)
{
    QWidget parent;
    auto *a = new QPushButton(&parent);
    auto *box = new QWidget(&parent);
    auto *inner = new QPushButton(box);
    EnableChildControls(&parent, false);
    EXPECT_FALSE(a->isEnabled());
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(inner->testAttribute(Qt::WA_ForceDisabled)); // its own switch untouched
    EXPECT_TRUE(parent.isEnabled());
    EnableChildControls(&parent, true);
    EXPECT_TRUE(a->isEnabled());
    EXPECT_TRUE(inner->isEnabled());
}

TEST(GlobalsControls, SelectFolderGivesTheChosenFolderOnlyOnConfirm)
{
    QTemporaryDir dir;
    const QString target = QDir(dir.path()).canonicalPath();
    QString folder = "/previous";
    QTimer::singleShot(0, [&] {
        auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->windowTitle(), "Ordner wählen");
        dlg->setDirectory(target);
        static_cast<QDialog *>(dlg)->done(QDialog::Accepted);
    });
    SelectFolder("Ordner wählen", folder);
    EXPECT_EQ(QDir(folder).canonicalPath(), target);

    folder = target;
    QTimer::singleShot(0, [&] {
        auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(QDir(dlg->directory().path()).canonicalPath(), target); // starts where it was
        dlg->reject();
    });
    SelectFolder("Ordner wählen", folder);
    EXPECT_TRUE(folder.isEmpty());
}

TEST(GlobalsDrives, OpticalFileSystemsAreRecognised)
{
    EXPECT_TRUE(IsCdRomFileSystem("iso9660", "/dev/loop3"));
    EXPECT_TRUE(IsCdRomFileSystem("UDF", ""));
    EXPECT_TRUE(IsCdRomFileSystem("auto", "/dev/sr0"));
    EXPECT_TRUE(IsCdRomFileSystem("", "/dev/cdrom"));
    EXPECT_FALSE(IsCdRomFileSystem("ext4", "/dev/sda1"));
    EXPECT_FALSE(IsCdRomFileSystem("ext4", "/dev/sr0x"));
    EXPECT_FALSE(IsCdRomFileSystem("tmpfs", "tmpfs"));
    EXPECT_FALSE(IsCdRomDrive(zktest::sandboxDir()));
    EXPECT_FALSE(IsCdRomDrive("/no/such/place/at/all"));
}

TEST(GlobalsSound, NothingPlaysWithoutAFileOrADevice)
{
    EXPECT_FALSE(PlayWaveFile("/no/such/sound.wav"));
    const QString shipped = QStringLiteral(ZK_SOURCE_DIR "/Templates/camera.wav");
    if (!HaveAudioOutput()) {
        EXPECT_FALSE(PlayWaveFile(shipped));
        EXPECT_FALSE(IsWavePlaying());
    } else {
        // A playing sound is not cut off: the second one is skipped.
        EXPECT_TRUE(PlayWaveFile(shipped));
        EXPECT_FALSE(PlayWaveFile(QStringLiteral(ZK_SOURCE_DIR "/Templates/camera2.wav")));
    }
    PlaySoundFile("Templates/no-such-sound.wav"); // silently nothing
    PlaySoundFile(QString());
}
