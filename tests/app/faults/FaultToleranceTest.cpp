// Nothing is lost under faults: the program killed with kill -9 in the middle
// of automatic saves and of its close, a full disk under the pictures and
// under the settings, settings the user may not write, and a termination
// signal. What is left behind is checked on disk, with pngcheck as the
// independent judge of the pictures. Hostile input too: a flood on the
// message channel, FIFOs and endless devices where the program reads.
#include "FaultKit.h"

#include "Bitmap.h"
#include "ImageControl.h"
#include "LocalChannel.h"
#include "MainForm.h"
#include "PictureClasses.h"
#include "PictureFiles.h"
#include "ProgramDir.h"
#include "SafeFile.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <random>
#include <sys/stat.h>

using namespace zk;
using namespace faultkit;

namespace {

using zktest::readBytes;

void writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(zktest::writeBytes(path, bytes));
}

QString storeFile(const QString &configHome)
{
    return configHome + QStringLiteral("/Zelkora/HKCU.reg");
}

// A store that names the output folder of automatic saving.
void writeOutDir(const QString &configHome, const QString &outDir)
{
    writeAll(storeFile(configHome), "Zelkora Registry Version 1\n\n[Software\\Tarvendo\\Zelkora\\5.0\\Options]\n"
                                    "\"OutDir\"=\"" + outDir.toUtf8() + "\"\n");
}

// Hidden entries: our temporary files and anything else a save left.
QStringList hiddenEntries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(QRegularExpression("^\\."));
}

bool wholePicture(const QString &file)
{
    if (zktest::haveProgram(QStringLiteral("pngcheck")))
        return zktest::runProgram(QStringLiteral("pngcheck"), {QStringLiteral("-q"), file}) == 0;
    return zktest::runProgram(QStringLiteral("/usr/bin/identify"), {file}) == 0;
}

TBitmap noise(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, rng() | 0xFF000000u);
    return TBitmap::FromImage(img);
}

// Counts the message boxes that come up while action runs, closing each.
QStringList boxesDuring(const std::function<void()> &action)
{
    QStringList seen;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible())
                continue;
            seen.append(box->text());
            box->done(QMessageBox::Ok);
        }
    });
    poll.start();
    action();
    QApplication::processEvents();
    poll.stop();
    return seen;
}

// The text of the one visible box of that name, empty unless exactly one.
QString oneBox(const QString &name)
{
    QStringList texts;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible() && box->objectName() == name)
            texts << box->text() + (box->icon() == QMessageBox::Critical ? "\n[error icon]" : "");
    return texts.size() == 1 ? texts.first() : QString();
}

class FaultTolerance : public ::testing::Test
{
protected:
    void SetUp() override { scratch = openScratchDir(QStringLiteral("case")); }
    void TearDown() override
    {
        SetProgramDirOverride(QString());
        QDir(scratch).removeRecursively();
    }
    QString scratch;
};

} // namespace

TEST_F(FaultTolerance, AutoSavesKilledAtRandomLeaveOnlyWholePictures)
{
    const QString out = scratch + QStringLiteral("/out"), config = scratch + QStringLiteral("/config");
    QDir().mkpath(out);
    std::mt19937 rng(15);
    std::uniform_int_distribution<int> pause(0, 70);
    int leftBehind = 0;
    for (int i = 0; i < 20; ++i) {
        ChildOptions o;
        o.configHome = config;
        o.slowFsync = true;
        o.namedTemps = i % 2 == 1; // half the kills on a file system without unnamed files
        auto child = startChild({QStringLiteral("autosave"), out}, o);
        ASSERT_TRUE(waitForLine(*child, QStringLiteral("saved"), 30000)) << "kill " << i;
        QThread::msleep(static_cast<unsigned long>(pause(rng)));
        killHard(*child);
        leftBehind = std::max(leftBehind, int(hiddenEntries(out).size()));
    }
    // A dead writer's named temporary file, whatever the kills left: the next
    // start clears them all.
    writeAll(out + QStringLiteral("/.Shot999.png.0123456789ab.tmp"), "half a picture");
    writeOutDir(config, out);
    QStringList lines;
    ChildOptions start;
    start.configHome = config;
    ASSERT_EQ(runChild({QStringLiteral("start")}, start, &lines), 0);
    RecordProperty("most_left_behind_by_the_kills", leftBehind);
    EXPECT_EQ(hiddenEntries(out), QStringList());
    const QFileInfoList pictures = QDir(out).entryInfoList({QStringLiteral("*.png")}, QDir::Files);
    EXPECT_GE(pictures.size(), 20);
    for (const QFileInfo &p : pictures) {
        EXPECT_GT(p.size(), 0) << p.fileName().toStdString();
        EXPECT_TRUE(wholePicture(p.filePath())) << p.fileName().toStdString();
    }
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), pictures.size());
}

TEST_F(FaultTolerance, ClosesKilledAtRandomLeaveTheOldOrTheNewSettings)
{
    ChildOptions o;
    o.configHome = scratch + QStringLiteral("/config");
    QStringList lines;
    ASSERT_EQ(runChild({QStringLiteral("close"), QStringLiteral("0")}, o, &lines), 0);
    const QByteArray before = readBytes(storeFile(o.configHome));
    ASSERT_FALSE(before.isEmpty());

    // The whole close is one replacement and one flush.
    o.slowFsync = true;
    lines.clear();
    ASSERT_EQ(runChild({QStringLiteral("close"), QStringLiteral("1")}, o, &lines), 0);
    EXPECT_TRUE(lines.contains(QStringLiteral("flushes 1 renames 1"))) << lines.join('\n').toStdString();
    EXPECT_EQ(messagesIn(lines), QStringList());
    const QByteArray after = readBytes(storeFile(o.configHome));
    ASSERT_NE(after, before);
    ASSERT_TRUE(after.contains("\"Language\"=dword:00000001"));

    std::mt19937 rng(1015);
    std::uniform_int_distribution<int> pause(0, 60);
    int oldSeen = 0, newSeen = 0;
    for (int i = 0; i < 10; ++i) {
        writeAll(storeFile(o.configHome), before);
        auto child = startChild({QStringLiteral("close"), QStringLiteral("1")}, o);
        ASSERT_TRUE(waitForLine(*child, QStringLiteral("closing"), 30000)) << "kill " << i;
        QThread::msleep(static_cast<unsigned long>(pause(rng)));
        killHard(*child);
        const QByteArray now = readBytes(storeFile(o.configHome));
        // The same close from the same store writes the same bytes: the old
        // store or the new one, never a cut or mixed file.
        EXPECT_TRUE(now == before || now == after) << "kill " << i << " left a mixed store";
        oldSeen += now == before;
        newSeen += now != before;
    }
    RecordProperty("old", oldSeen);
    RecordProperty("new", newSeen);
}

TEST_F(FaultTolerance, TermSignalAfterALanguageChangeKeepsTheLanguage)
{
    ChildOptions o;
    o.configHome = scratch + QStringLiteral("/config");
    auto child = startChild({QStringLiteral("signal"), QStringLiteral("1")}, o);
    QStringList lines;
    ASSERT_TRUE(waitForLine(*child, QStringLiteral("ready"), 30000, &lines));
    ::kill(static_cast<pid_t>(child->processId()), SIGTERM);
    ASSERT_TRUE(child->waitForFinished(30000));
    EXPECT_EQ(child->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child->exitCode(), 0);
    // The next start speaks English.
    lines.clear();
    ASSERT_EQ(runChild({QStringLiteral("start")}, o, &lines), 0);
    EXPECT_TRUE(lines.contains(QStringLiteral("language 1"))) << lines.join('\n').toStdString();
}

TEST_F(FaultTolerance, AFullDiskRefusesSavesOnceAndKeepsEarlierPictures)
{
    SmallDisk disk(320);
    if (disk.dir.isEmpty())
        GTEST_SKIP() << disk.skipReason.toStdString();
    RegisterPictureCodecs();
    TZelkoraOptions options;
    SetDefaultOptions(options);
    options.OutDir = disk.dir;
    options.FileName = QStringLiteral("Full");
    options.FileTyp = ptPng;
    QMap<QString, QByteArray> written;
    QString failure;
    for (int i = 0; i < 40 && failure.isEmpty(); ++i) {
        const TBitmap picture = noise(160, 120, unsigned(i));
        try {
            const QString name = AutoSavePicture(picture, options);
            written.insert(name, readBytes(name));
        } catch (const EGraphicFileError &e) {
            failure = QString::fromUtf8(e.what());
        }
    }
    ASSERT_FALSE(failure.isEmpty()) << "the disk never filled up";
    EXPECT_TRUE(failure.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << failure.toStdString();
    ASSERT_FALSE(written.isEmpty());
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        EXPECT_EQ(readBytes(it.key()), it.value());
        EXPECT_TRUE(wholePicture(it.key())) << it.key().toStdString();
    }
    // Only the pictures that were written: no empty file, no leftover.
    EXPECT_EQ(QDir(disk.dir).entryList(QDir::Files | QDir::Hidden).size(), written.size());

    // The fast save on the same full disk: one message, nothing written.
    SetProgramDirOverride(disk.dir);
    QDir().mkpath(AutosaveDir());
    TMainForm form;
    form.ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(noise(160, 120, 99)));
    form.ScanImage->PictureChanged();
    const QStringList boxes = boxesDuring([&] { form.Item("FastSaveToolButton")->trigger(); });
    ASSERT_EQ(boxes.size(), 1) << boxes.join('\n').toStdString();
    EXPECT_TRUE(boxes.first().contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << boxes.first().toStdString();
    EXPECT_EQ(QDir(AutosaveDir()).entryList(QDir::Files | QDir::Hidden), QStringList());
    EXPECT_FALSE(form.FHasFileName);
}

TEST_F(FaultTolerance, AFullSettingsDiskKeepsTheOldStoreAndSaysSoOnce)
{
    SmallDisk disk(256);
    if (disk.dir.isEmpty())
        GTEST_SKIP() << disk.skipReason.toStdString();
    ChildOptions o;
    o.configHome = disk.dir + QStringLiteral("/config");
    o.programDir = scratch + QStringLiteral("/program");
    QStringList lines;
    ASSERT_EQ(runChild({QStringLiteral("close"), QStringLiteral("0")}, o, &lines), 0);
    const QByteArray before = readBytes(storeFile(o.configHome));
    ASSERT_FALSE(before.isEmpty());
    disk.Fill();
    lines.clear();
    ASSERT_EQ(runChild({QStringLiteral("close"), QStringLiteral("1")}, o, &lines), 0);
    const QStringList messages = messagesIn(lines);
    ASSERT_EQ(messages.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(messages.first().startsWith(QLatin1String("WriteErrorRegistryBox:"))) << messages.first().toStdString();
    EXPECT_EQ(readBytes(storeFile(o.configHome)), before);
    EXPECT_EQ(hiddenEntries(o.configHome + QStringLiteral("/Zelkora")), QStringList());
}

namespace {

struct ReadOnlyCase
{
    const char *what;
    mode_t folderMode;
    mode_t fileMode;
};

void PrintTo(const ReadOnlyCase &c, std::ostream *os)
{
    *os << c.what;
}

} // namespace

class ReadOnlySettings : public FaultTolerance, public ::testing::WithParamInterface<ReadOnlyCase>
{
};

TEST_P(ReadOnlySettings, AreNotReplacedAndSaidAtMostOncePerClose)
{
    const Unprivileged user = UnprivilegedUser();
    if (!user.possible)
        GTEST_SKIP() << user.skipReason.toStdString();
    ChildOptions o;
    o.configHome = scratch + QStringLiteral("/config");
    o.unprivileged = true;
    QDir().mkpath(o.configHome);
    giveTo(o.configHome, user);
    QStringList lines;
    // Two closes: the second one's tool-bar layout is the one every later
    // close writes again.
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(runChild({QStringLiteral("close"), QStringLiteral("0")}, o, &lines), 0)
            << lines.join('\n').toStdString();
    const QString folder = o.configHome + QStringLiteral("/Zelkora"), store = storeFile(o.configHome);
    const QByteArray before = readBytes(store);
    ASSERT_FALSE(before.isEmpty());
    struct stat was;
    ASSERT_EQ(::stat(QFile::encodeName(store).constData(), &was), 0);
    ::chmod(QFile::encodeName(store).constData(), GetParam().fileMode);
    ::chmod(QFile::encodeName(folder).constData(), GetParam().folderMode);

    // A close that changes something: one message, no exception box, the
    // store untouched.
    lines.clear();
    ASSERT_EQ(runChild({QStringLiteral("close"), QStringLiteral("1")}, o, &lines), 0);
    const QStringList messages = messagesIn(lines);
    ASSERT_EQ(messages.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(messages.first().startsWith(QLatin1String("WriteErrorRegistryBox:"))) << messages.first().toStdString();
    // A close that changes nothing: not a word.
    lines.clear();
    ASSERT_EQ(runChild({QStringLiteral("close"), QStringLiteral("0")}, o, &lines), 0);
    EXPECT_EQ(messagesIn(lines), QStringList()) << lines.join('\n').toStdString();

    struct stat now;
    ASSERT_EQ(::stat(QFile::encodeName(store).constData(), &now), 0);
    EXPECT_EQ(now.st_ino, was.st_ino);
    EXPECT_EQ(now.st_mode & 07777, GetParam().fileMode);
    EXPECT_EQ(readBytes(store), before);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadOnlySettings,
                         ::testing::Values(ReadOnlyCase{"ReadOnlyFile", 0700, 0400},
                                           ReadOnlyCase{"ReadOnlyFolder", 0500, 0600}),
                         [](const auto &info) { return std::string(info.param.what); });

TEST_F(FaultTolerance, WritersKilledWithoutUnnamedFilesLeaveNothingAfterTheNextStart)
{
    const struct
    {
        const char *kind, *target;
    } cases[] = {{"avi", "target.avi"},  {"gif", "target.gif"},     {"tiff", "target.tif"}, {"bmp", "target.bmp"},
                 {"copy", "target.bmp"}, {"convert", "source.png"}, {"runonce", "zelkora-runonce.desktop"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind);
        ChildOptions o;
        o.configHome = scratch + QStringLiteral("/config-") + QLatin1String(c.kind);
        o.noTmpfileShim = o.slowFsync = true;
        const QString dir = o.configHome + (QLatin1String(c.kind) == "runonce" ? "/autostart" : "/out");
        QDir().mkpath(dir);
        for (int kill = 0; kill < 3; ++kill) {
            auto child = startChild({QStringLiteral("write"), QLatin1String(c.kind), dir}, o);
            ASSERT_TRUE(waitForLine(*child, QStringLiteral("wrote"), 60000));
            QThread::msleep(unsigned(7 * kill + 5));
            killHard(*child);
        }
        ASSERT_EQ(runChild({QStringLiteral("start")}, o, nullptr), 0);
        QStringList now = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
        now.removeAll(QStringLiteral("source.bmp"));
        EXPECT_EQ(now, QStringList(QLatin1String(c.target))); // the new file, nothing beside it
    }
}

TEST_F(FaultTolerance, TermSignalWithAReadOnlySettingsFolderEndsAndSaysSoOnStandardError)
{
    const Unprivileged user = UnprivilegedUser();
    if (!user.possible)
        GTEST_SKIP() << user.skipReason.toStdString();
    ChildOptions o;
    o.configHome = scratch + QStringLiteral("/config");
    o.unprivileged = o.mergeErrors = true;
    QDir().mkpath(o.configHome);
    giveTo(o.configHome, user);
    ASSERT_EQ(runChild({QStringLiteral("close"), QStringLiteral("0")}, o, nullptr), 0);
    const QByteArray folder = QFile::encodeName(o.configHome + QStringLiteral("/Zelkora"));
    ::chmod(folder.constData(), 0500);
    auto child = startChild({QStringLiteral("signal"), QStringLiteral("1")}, o);
    QStringList lines;
    ASSERT_TRUE(waitForLine(*child, QStringLiteral("ready"), 60000, &lines));
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(child->processId()), SIGTERM);
    const bool ended = child->waitForFinished(10000);
    RecordProperty("exit_ms", int(clock.elapsed()));
    ::chmod(folder.constData(), 0700);
    ASSERT_TRUE(ended) << "still running after a termination signal";
    EXPECT_LT(clock.elapsed(), 2000); // a second, with room for the sanitizers
    lines << QString::fromUtf8(child->readAll()).split('\n');
    EXPECT_TRUE(lines.join('\n').contains("the settings could not be saved")) << lines.join('\n').toStdString();
    EXPECT_EQ(messagesIn(lines), QStringList());
}

TEST_F(FaultTolerance, AutomaticSavesOnAFullDiskShowOneErrorBoxCountingTheRefusals)
{
    SmallDisk disk(256);
    if (disk.dir.isEmpty())
        GTEST_SKIP() << disk.skipReason.toStdString();
    disk.Fill();
    RegisterPictureCodecs();
    TMainForm form;
    form.Options.PersSave = true;
    form.Options.OutDir = disk.dir;
    form.Options.FileName = QStringLiteral("Full");
    form.Options.FileTyp = ptPng;
    form.ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(noise(200, 100, 7)));
    for (int i = 0; i < 16; ++i) {
        form.AutoSaveImage();
        QApplication::processEvents();
    }
    // One box, all in the window's German, with the error icon.
    const QString text = oneBox(QStringLiteral("AutoSaveFailedBox"));
    EXPECT_TRUE(text.startsWith("Die Grafik konnte nicht gespeichert werden: Die Datei kann nicht geschrieben werden: \"" +
                                disk.dir + "/Full1.png\": "))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("\n\nInsgesamt 16-mal abgelehnt.\n[error icon]")) << text.toStdString();
}

TEST_F(FaultTolerance, AFloodOfOpenFileMessagesGivesOneBoxAndTheProgramLives)
{
    TMainForm form;
    const QString path = scratch + QStringLiteral("/zk.sock");
    ASSERT_TRUE(form.StartLocalChannel(path));
    QByteArray stream;
    for (int i = 0; i < 10000; ++i)
        stream += EncodeChannelFrame(MsgLoadFile, (scratch + QStringLiteral("/gone%1.png").arg(i)).toUtf8());
    stream += EncodeChannelFrame(MsgLoadFile, QByteArray(1 << 20, 'a')); // refused unread, counted
    QLocalSocket sender;
    sender.connectToServer(path);
    ASSERT_TRUE(sender.waitForConnected(2000));
    sender.write(stream);
    QString text;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        sender.flush();
        text = oneBox(QStringLiteral("LoadFileRefusedBox"));
        return text.endsWith(QStringLiteral("Insgesamt 10001-mal abgelehnt."));
    }, 240000)) << text.right(200).toStdString();
    EXPECT_LT(text.size(), 1000);
}

TEST_F(FaultTolerance, FifosAndEndlessDevicesAreRefusedWithoutAHang)
{
    // The store and the language file read at start, and a picture named on
    // the command line; each as a FIFO and as a link to /dev/zero.
    const char *const places[] = {"/Zelkora/HKCU.reg", "/program/Templates/Languages.lng", "/picture.png"};
    for (int i = 0; i < 6; ++i) {
        const bool fifo = i % 2 == 0;
        SCOPED_TRACE(std::string(places[i / 2]) + (fifo ? " as FIFO" : " as /dev/zero"));
        ChildOptions o;
        o.configHome = scratch + QStringLiteral("/config%1").arg(i);
        o.programDir = o.configHome + QStringLiteral("/program");
        o.mergeErrors = true;
        const QString file = o.configHome + QLatin1String(places[i / 2]);
        QDir().mkpath(QFileInfo(file).absolutePath());
        const QByteArray f = QFile::encodeName(file);
        ASSERT_EQ(fifo ? ::mkfifo(f.constData(), 0600) : ::symlink("/dev/zero", f.constData()), 0);
        QStringList lines;
        ASSERT_EQ(runChild(i / 2 == 2 ? QStringList{"start", file} : QStringList{"start"}, o, &lines, 60000), 0);
        // Said: in a box for the picture, on the standard error for the rest.
        EXPECT_TRUE(lines.join('\n').contains("not a regular file")) << lines.join('\n').toStdString();
        EXPECT_NE(QFileInfo(file).isSymLink(), fifo); // still what it was
    }
}
