// Nothing lost, nothing hangs: writers killed on a file system without
// unnamed temporary files, a termination signal with settings that cannot
// be written, automatic saves onto a full disk, a flood on the message
// channel, and FIFOs or endless devices where the program reads its store,
// its language file or a picture.
#include "FaultKit.h"

#include "Bitmap.h"
#include "ImageControl.h"
#include "LocalChannel.h"
#include "MainForm.h"
#include "PictureClasses.h"
#include "PictureFiles.h"
#include "ProgramDir.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

using namespace zk;
using namespace faultkit;

namespace {

class HostileInput : public ::testing::Test
{
protected:
    void SetUp() override { scratch = openScratchDir(QStringLiteral("hostile")); }
    void TearDown() override
    {
        SetProgramDirOverride(QString());
        QDir(scratch).removeRecursively();
    }
    QString scratch;
};

QList<QMessageBox *> openBoxes(const QString &name)
{
    QList<QMessageBox *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible() && box->objectName() == name)
            boxes << box;
    return boxes;
}

QStringList dirEntries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

TEST_F(HostileInput, WritersKilledWithoutUnnamedFilesLeaveNothingAfterTheNextStart)
{
    struct Case
    {
        const char *kind;
        const char *target;
    };
    const Case cases[] = {{"avi", "target.avi"}, {"gif", "target.gif"},  {"tiff", "target.tif"},
                          {"bmp", "target.bmp"}, {"copy", "target.bmp"}, {"convert", "source.png"},
                          {"runonce", nullptr}};
    int leftBehind = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        ChildOptions o;
        o.configHome = scratch + QStringLiteral("/config-") + QLatin1String(c.kind);
        o.noTmpfileShim = true;
        o.slowFsync = true;
        const QString dir = c.target ? scratch + QStringLiteral("/out-") + QLatin1String(c.kind)
                                     : o.configHome + QStringLiteral("/autostart");
        QDir().mkpath(dir);
        for (int kill = 0; kill < 3; ++kill) {
            auto child = startChild({QStringLiteral("write"), QLatin1String(c.kind), dir}, o);
            ASSERT_TRUE(waitForLine(*child, QStringLiteral("wrote"), 60000));
            QThread::msleep(unsigned(7 * kill + 5));
            killHard(*child);
            leftBehind += int(dirEntries(dir).filter(QRegularExpression("^\\.")).size());
        }
        QStringList lines;
        ASSERT_EQ(runChild({QStringLiteral("start")}, o, &lines), 0) << lines.join('\n').toStdString();
        // The new file and nothing else (the writers' source aside).
        QStringList now = dirEntries(dir);
        now.removeAll(QStringLiteral("source.bmp"));
        EXPECT_EQ(now, QStringList(QLatin1String(c.target ? c.target : "zelkora-runonce.desktop")));
    }
    // The shim did its work: the kills found named temporary files.
    RecordProperty("left_behind_by_the_kills", leftBehind);
}

TEST_F(HostileInput, TermSignalWithAReadOnlySettingsFolderExitsAndSaysSoOnStandardError)
{
    const Unprivileged user = UnprivilegedUser();
    if (!user.possible)
        GTEST_SKIP() << user.skipReason.toStdString();
    ChildOptions o;
    o.configHome = scratch + QStringLiteral("/config");
    o.unprivileged = true;
    o.mergeErrors = true;
    QDir().mkpath(o.configHome);
    giveTo(o.configHome, user);
    QStringList lines;
    ASSERT_EQ(runChild({QStringLiteral("close"), QStringLiteral("0")}, o, &lines), 0) << lines.join('\n').toStdString();
    const QString folder = o.configHome + QStringLiteral("/Zelkora");
    ::chmod(QFile::encodeName(folder).constData(), 0500);
    auto child = startChild({QStringLiteral("signal"), QStringLiteral("1")}, o);
    lines.clear();
    ASSERT_TRUE(waitForLine(*child, QStringLiteral("ready"), 60000, &lines));
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(child->processId()), SIGTERM);
    const bool ended = child->waitForFinished(10000);
    const qint64 took = clock.elapsed();
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    ASSERT_TRUE(ended) << "still running after a termination signal";
    RecordProperty("exit_ms", int(took));
    // A second with room for the sanitizers on a busy machine.
    EXPECT_LT(took, 2000);
    for (const QByteArray &l : child->readAll().split('\n'))
        lines << QString::fromUtf8(l);
    const QString all = lines.join('\n');
    EXPECT_TRUE(all.contains(QStringLiteral("the settings could not be saved"))) << all.toStdString();
    EXPECT_EQ(messagesIn(lines), QStringList()) << all.toStdString();
}

TEST_F(HostileInput, AutomaticSavesOnAFullDiskShowOneErrorBoxCountingTheRefusals)
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
    TBitmap picture(200, 100, pf24bit);
    form.ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(picture));
    for (int i = 0; i < 16; ++i) {
        form.AutoSaveImage();
        QApplication::processEvents();
    }
    const QList<QMessageBox *> boxes = openBoxes(QStringLiteral("AutoSaveFailedBox"));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.first()->icon(), QMessageBox::Critical);
    // All German, the language of the window: no English lead in the middle.
    const QString text = boxes.first()->text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Die Grafik konnte nicht gespeichert werden: Die Datei kann nicht "
                                               "geschrieben werden: \"") + disk.dir))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("Insgesamt 16-mal abgelehnt."))) << text.toStdString();
    boxes.first()->close();
}

TEST_F(HostileInput, AFloodOfOpenFileMessagesGivesOneBoxAndTheProgramLives)
{
    TMainForm form;
    const QString path = scratch + QStringLiteral("/zk.sock");
    ASSERT_TRUE(form.StartLocalChannel(path));
    QByteArray stream;
    constexpr int missing = 10000;
    for (int i = 0; i < missing; ++i)
        stream += EncodeChannelFrame(MsgLoadFile, (scratch + QStringLiteral("/gone%1.png").arg(i)).toUtf8());
    // A name of a megabyte is refused before it is looked at, and counts.
    stream += EncodeChannelFrame(MsgLoadFile, QByteArray(1 << 20, 'a'));
    QLocalSocket sender;
    sender.connectToServer(path);
    ASSERT_TRUE(sender.waitForConnected(2000));
    sender.write(stream);
    QElapsedTimer clock;
    clock.start();
    QString text;
    const bool all = QTest::qWaitFor([&] {
        sender.flush();
        const auto boxes = openBoxes(QStringLiteral("LoadFileRefusedBox"));
        text = boxes.size() == 1 ? boxes.first()->text() : QString();
        return text.endsWith(QStringLiteral("Insgesamt %1-mal abgelehnt.").arg(missing + 1));
    }, 240000);
    RecordProperty("flood_ms", int(clock.elapsed()));
    EXPECT_TRUE(all) << text.right(200).toStdString();
    EXPECT_EQ(openBoxes(QStringLiteral("LoadFileRefusedBox")).size(), 1);
    EXPECT_LT(text.size(), 1000);
    // One single refused open still shows its box.
    for (QMessageBox *b : openBoxes(QStringLiteral("LoadFileRefusedBox")))
        b->close();
    QApplication::processEvents();
    ASSERT_TRUE(TLocalChannel::Send(MsgLoadFile, QByteArrayLiteral("/nowhere/x.png"), path, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return openBoxes(QStringLiteral("LoadFileRefusedBox")).size() == 1; }, 10000));
}

TEST_F(HostileInput, FifosAndEndlessDevicesAreRefusedWithoutAHang)
{
    struct Case
    {
        const char *what;
        const char *place; // store, language or picture
        bool fifo;         // else a link to /dev/zero
    };
    const Case cases[] = {{"FIFO as store", "store", true},
                          {"zero as store", "store", false},
                          {"FIFO as language file", "language", true},
                          {"zero as language file", "language", false},
                          {"FIFO as picture", "picture", true},
                          {"zero as picture", "picture", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ChildOptions o;
        o.configHome = scratch + QStringLiteral("/config-%1-%2").arg(QLatin1String(c.place)).arg(int(c.fifo));
        o.programDir = o.configHome + QStringLiteral("/program");
        o.mergeErrors = true;
        QString file;
        const QString place = QLatin1String(c.place);
        if (place == QLatin1String("store"))
            file = o.configHome + QStringLiteral("/Zelkora/HKCU.reg");
        else if (place == QLatin1String("language"))
            file = o.programDir + QStringLiteral("/Templates/Languages.lng");
        else
            file = o.configHome + QStringLiteral("/picture.png");
        QDir().mkpath(QFileInfo(file).absolutePath());
        const QByteArray f = QFile::encodeName(file);
        ASSERT_EQ(c.fifo ? ::mkfifo(f.constData(), 0600) : ::symlink("/dev/zero", f.constData()), 0);
        QStringList args = {QStringLiteral("start")};
        if (place == QLatin1String("picture"))
            args << file;
        QStringList lines;
        ASSERT_EQ(runChild(args, o, &lines, 60000), 0) << "hung or crashed";
        const QString all = lines.join('\n');
        // Said somewhere: a box for the picture, the standard error for the
        // files read at start.
        EXPECT_TRUE(all.contains(QStringLiteral("not a regular file"))) << all.toStdString();
        // The FIFO or link is still what it was.
        EXPECT_TRUE(QFileInfo(file).isSymLink() != c.fifo);
    }
}
