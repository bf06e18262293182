// The real program started twice: one copy runs, the other hands over its
// picture and ends having touched nothing.
#include "Registry.h"
#include "ScreenGrab.h"
#include "TestSupport.h"
#include "X11Support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <unistd.h>

using namespace zktest;

namespace {

QString program()
{
    return QString(ZK_PROGRAM_DIR) + "/zelkora";
}

// Ends a copy however the test ends, so none is left running on the display.
struct KillAtEnd
{
    QProcess &p;
    ~KillAtEnd()
    {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
};

void quietStart(QProcess &p, const QStringList &args = {}, const QString &dir = {})
{
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program(), args);
}

// Every file below folder with its bytes.
std::map<QString, QByteArray> snapshot(const QString &folder)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        files[f] = readBytes(f);
    }
    return files;
}

// The 160x120 picture of one colour a second copy hands over.
bool savePicture(const QString &path, QRgb colour)
{
    QImage picture(160, 120, QImage::Format_RGB32);
    picture.fill(colour);
    return picture.save(path);
}

// At least half of such a picture is on the screen inside the window.
bool showsPicture(const QByteArray &id, QRgb colour)
{
    QByteArray geo;
    runProgram("xdotool", {"getwindowgeometry", "--shell", QString::fromLatin1(id)}, &geo);
    QHash<QString, int> v;
    for (const QByteArray &line : geo.split('\n'))
        if (line.contains('='))
            v[QString::fromLatin1(line.split('=').at(0))] = line.split('=').at(1).toInt();
    const QRect window = QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]) & zk::ScreenGrabber::instance().rootRect();
    zk::GrabbedPixels px;
    if (!zk::ScreenGrabber::instance().grab(window, &px))
        return false;
    int hits = 0;
    for (int y = 0; y < px.height; ++y)
        for (int x = 0; x < px.width; ++x) {
            const std::uint8_t *p = px.row(y) + 4 * x;
            hits += p[0] == qBlue(colour) && p[1] == qGreen(colour) && p[2] == qRed(colour);
        }
    return hits >= 160 * 120 / 2;
}

// A copy holds the program's lock in the runtime folder.
bool lockHeld()
{
    const QByteArray path = QFile::encodeName(qEnvironmentVariable("XDG_RUNTIME_DIR") +
                                              "/Zelkora 5.0.OneInstance.Default");
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

void noCloseQuestion()
{
    zk::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Tarvendo\\Zelkora\\5.0\\Options", true));
    reg.WriteBool("EndDlg", false);
    reg.WriteBool("Intro", false);
}

} // namespace

TEST(OneInstanceX11, TwoCopiesAtOnceLeaveOneRunning)
{
    REQUIRE_X11_XDOTOOL();
    noCloseQuestion();
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        QProcess a, b;
        KillAtEnd killA{a}, killB{b};
        quietStart(a);
        quietStart(b);
        ASSERT_TRUE(a.waitForStarted(5000) && b.waitForStarted(5000));
        // The second copy ends once the first answers (or gives up after 3 s).
        ASSERT_TRUE(waitFor([&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; },
                            30000));
        QProcess &ended = a.state() == QProcess::NotRunning ? a : b;
        QProcess &running = &ended == &a ? b : a;
        EXPECT_EQ(ended.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(ended.exitCode(), 0);
        QTest::qWait(300);
        EXPECT_EQ(running.state(), QProcess::Running);
        // A copy that dies leaves no lock behind: the next round starts anew.
        ::kill(pid_t(running.processId()), SIGKILL);
        running.waitForFinished(5000);
    }
}

TEST(OneInstanceX11, SecondCopyHandsItsPictureOverAndTouchesNothing)
{
    REQUIRE_X11_XDOTOOL();
    noCloseQuestion();
    QTemporaryDir work;
    ASSERT_TRUE(savePicture(work.path() + "/probe.png", qRgb(255, 0, 255)));
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    {
        // The first copy keeps its autostart entry, which the second must leave alone.
        zk::TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Tarvendo\\Zelkora\\5.0\\Options", true));
        reg.WriteBool("AutoSysStart", true);
    }

    QProcess first;
    KillAtEnd killFirst{first};
    quietStart(first);
    ASSERT_TRUE(first.waitForStarted(5000));
    const QByteArray id = waitForWindow("Zelkora 5.0", 30000, true, first.processId());
    ASSERT_FALSE(id.isEmpty());
    QTest::qWait(500);
    const auto before = snapshot(config);
    EXPECT_TRUE(before.count(config + "/autostart/zelkora.desktop"));

    QProcess second;
    KillAtEnd killSecond{second};
    quietStart(second, {"probe.png"}, work.path());
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(snapshot(config), before);

    // The first copy shows the picture: magenta appears in its window.
    EXPECT_TRUE(waitFor([&] { return showsPicture(id, qRgb(255, 0, 255)); }, 10000));

    first.terminate();
    if (!first.waitForFinished(10000))
        first.kill();
    zk::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Tarvendo\\Zelkora\\5.0\\Options", true));
    reg.WriteBool("AutoSysStart", false);
}

// The running copy opens its channel only once its window is up: a second
// copy started the moment the first holds the lock keeps asking until then.
TEST(OneInstanceX11, SecondCopyStartedWithTheFirstHandsItsPictureOver)
{
    REQUIRE_X11_XDOTOOL();
    noCloseQuestion();
    QTemporaryDir work;
    ASSERT_TRUE(savePicture(work.path() + "/early.png", qRgb(0, 160, 64)));

    QProcess first, second;
    KillAtEnd killFirst{first}, killSecond{second};
    quietStart(first);
    // Asked every millisecond: the window, and the channel, come tens of
    // milliseconds after the lock.
    QDeadlineTimer lockDeadline(10000);
    while (!lockHeld() && !lockDeadline.hasExpired())
        ::usleep(1000);
    ASSERT_TRUE(lockHeld());
    quietStart(second, {"early.png"}, work.path());
    // A hand-over that failed would stop the second copy at a message box.
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    const QByteArray id = waitForWindow("Zelkora 5.0", 30000, true, first.processId());
    ASSERT_FALSE(id.isEmpty());
    EXPECT_TRUE(waitFor([&] { return showsPicture(id, qRgb(0, 160, 64)); }, 10000));
    first.terminate();
    if (!first.waitForFinished(10000))
        first.kill();
}

// A running copy that holds the lock but never takes the hand-over: the
// second copy goes on into the program, which says the file was not taken
// (no display: on the standard error) and ends with 0, opening no window.
TEST(OneInstanceX11, SecondCopyReportsAFileTheRunningCopyNeverTook)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    ASSERT_FALSE(runtime.isEmpty());
    const QByteArray lockPath = QFile::encodeName(runtime + "/Zelkora 5.0.OneInstance.Default");
    const int lock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0) << "a copy of the program is still running";
    QFile::remove(runtime + "/zelkora.sock");

    QProcess second;
    KillAtEnd killSecond{second};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    second.setProcessEnvironment(env);
    second.start(program(), {"/tmp/never-taken.png"});
    const bool ended = second.waitForFinished(30000);
    ::close(lock);
    ASSERT_TRUE(ended);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(second.readAllStandardError());
    EXPECT_TRUE(err.contains(QString::fromUtf8("nicht übernommen")) && err.contains("/tmp/never-taken.png"))
        << err.toStdString();
}
