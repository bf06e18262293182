// The program's message channel: the bytes of a frame as outside senders
// write them, splitting a stream into frames however it arrives, refusing
// oversized frames, the socket closed to other users, a stale socket file
// replaced, a live one left alone, and stalled senders cut off.
#include "LocalChannel.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using namespace zk;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// A socket file that nobody listens on, as a copy that was killed leaves.
bool makeStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    std::strncpy(addr.sun_path, p.constData(), sizeof addr.sun_path - 1);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd); // the file stays behind
    return ok;
}

// Connects as another user in a child process; true when the connection
// was accepted by the kernel.
int connectAsNobody(const QString &path)
{
    const QByteArray p = QFile::encodeName(path);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, p.constData(), sizeof addr.sun_path - 1);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ChannelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.path() + "/test.sock";
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QTemporaryDir dir;
    QString path;
};

} // namespace

TEST(ChannelFrames, WireFormatIsIdThenLengthLittleEndianThenPayload)
{
    EXPECT_EQ(EncodeChannelFrame(0x8067), bytes({0x67, 0x80, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(EncodeChannelFrame(0x8066, "/tmp/a.png"),
              bytes({0x66, 0x80, 0, 0, 10, 0, 0, 0}) + QByteArray("/tmp/a.png"));
    EXPECT_EQ(EncodeChannelFrame(0x806E, QByteArray(0x10203, 'x')).left(8),
              bytes({0x6E, 0x80, 0, 0, 0x03, 0x02, 0x01, 0}));
}

TEST(ChannelFrames, ReaderSplitsAStreamHoweverItArrives)
{
    const QByteArray stream = bytes({0x67, 0x80, 0, 0, 0, 0, 0, 0}) + bytes({0x66, 0x80, 0, 0, 3, 0, 0, 0}) +
                              "abc" + bytes({0x6E, 0x80, 0, 0, 0, 0, 0, 0});
    for (int chunk : {1, 2, 3, 7, 8, 11, 100}) {
        TFrameReader reader(16);
        QList<TChannelFrame> got;
        for (qsizetype at = 0; at < stream.size(); at += chunk) {
            reader.Append(stream.mid(at, chunk));
            TChannelFrame f;
            while (reader.Next(&f))
                got.append(f);
        }
        ASSERT_EQ(got.size(), 3) << "chunk " << chunk;
        EXPECT_EQ(got[0].id, 0x8067u);
        EXPECT_TRUE(got[0].payload.isEmpty());
        EXPECT_EQ(got[1].id, 0x8066u);
        EXPECT_EQ(got[1].payload, QByteArray("abc"));
        EXPECT_EQ(got[2].id, 0x806Eu);
        EXPECT_EQ(reader.Pending(), 0);
        EXPECT_FALSE(reader.Failed());
    }
}

TEST(ChannelFrames, OversizedLengthFailsAtTheHeaderAndStaysFailed)
{
    TFrameReader reader(4);
    TChannelFrame f;
    reader.Append(bytes({1, 0, 0, 0, 4, 0, 0, 0}) + "wxyz"); // exactly the limit
    ASSERT_TRUE(reader.Next(&f));
    EXPECT_EQ(f.payload, QByteArray("wxyz"));

    // Only the header of the big frame has arrived: refused before any of
    // its payload is held.
    reader.Append(bytes({2, 0, 0, 0, 0xff, 0xff, 0xff, 0xff}));
    EXPECT_FALSE(reader.Next(&f));
    EXPECT_TRUE(reader.Failed());
    EXPECT_TRUE(reader.ErrorString().contains("4294967295")) << reader.ErrorString().toStdString();
    EXPECT_EQ(reader.Pending(), 0);
    // What follows cannot be trusted to start on a frame.
    reader.Append(bytes({3, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(reader.Next(&f));
    EXPECT_EQ(reader.Pending(), 0);
}

TEST_F(ChannelTest, SentFramesArriveInOrderAfterTheSocketHandler)
{
    TLocalChannel channel;
    ASSERT_TRUE(channel.Listen(path)) << channel.ErrorString().toStdString();
    EXPECT_EQ(channel.ServerPath(), path);
    QSignalSpy spy(&channel, &TLocalChannel::MessageReceived);

    // Two frames on one connection, written in pieces.
    QLocalSocket raw;
    raw.connectToServer(path);
    ASSERT_TRUE(raw.waitForConnected(3000));
    const QByteArray both = EncodeChannelFrame(MsgStartScan) + EncodeChannelFrame(MsgLoadFile, "/home/u/Bild 1.png");
    raw.write(both.left(5));
    raw.flush();
    QTest::qWait(20);
    raw.write(both.mid(5));
    raw.flush();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 5000);
    EXPECT_EQ(spy[0][0].toUInt(), 0x8067u);
    EXPECT_EQ(spy[1][0].toUInt(), 0x8066u);
    EXPECT_EQ(spy[1][1].toByteArray(), QByteArray("/home/u/Bild 1.png"));
    raw.disconnectFromServer();

    // The one-shot sender of other programs.
    QString error;
    spy.clear();
    // Send blocks while our event loop does not run: the kernel takes the
    // connection and buffers a small frame, which is all a sender needs.
    ASSERT_TRUE(TLocalChannel::Send(MsgShowApplication, {}, path, 3000, &error)) << error.toStdString();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
    EXPECT_EQ(spy[0][0].toUInt(), 0x806Eu);

    // A second copy's files and "show" in one go, in their order.
    spy.clear();
    ASSERT_TRUE(TLocalChannel::Send({{MsgLoadFile, "/a.png"}, {MsgLoadFile, "/b.png"}, {MsgShowApplication, {}}},
                                    path, 3000, &error))
        << error.toStdString();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 3, 5000);
    EXPECT_EQ(spy[0][1].toByteArray(), QByteArray("/a.png"));
    EXPECT_EQ(spy[1][1].toByteArray(), QByteArray("/b.png"));
    EXPECT_EQ(spy[2][0].toUInt(), 0x806Eu);
}

TEST_F(ChannelTest, OversizedFrameDropsOnlyThatConnection)
{
    TLocalChannel channel;
    channel.SetMaxPayload(64);
    ASSERT_TRUE(channel.Listen(path));
    QSignalSpy messages(&channel, &TLocalChannel::MessageReceived);
    QSignalSpy rejected(&channel, &TLocalChannel::ConnectionRejected);

    QLocalSocket raw;
    raw.connectToServer(path);
    ASSERT_TRUE(raw.waitForConnected(3000));
    // A whole frame first, then a header claiming 65 bytes.
    raw.write(EncodeChannelFrame(MsgStartScan) + bytes({0x66, 0x80, 0, 0, 65, 0, 0, 0}) + QByteArray(65, 'x'));
    raw.flush();
    QTRY_COMPARE_WITH_TIMEOUT(rejected.count(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(raw.state(), QLocalSocket::UnconnectedState, 5000);
    QTest::qWait(50);
    ASSERT_EQ(messages.count(), 1) << "the whole frame before the bad one still counts";
    EXPECT_EQ(messages[0][0].toUInt(), 0x8067u);

    // The channel itself goes on working.
    ASSERT_TRUE(TLocalChannel::Send(MsgStartScan, QByteArray(64, 'y'), path));
    QTRY_COMPARE_WITH_TIMEOUT(messages.count(), 2, 5000);
    EXPECT_EQ(messages[1][1].toByteArray(), QByteArray(64, 'y'));
}

TEST_F(ChannelTest, StalledSenderIsCutOff)
{
    TLocalChannel channel;
    channel.SetStallTimeout(200);
    ASSERT_TRUE(channel.Listen(path));
    QSignalSpy rejected(&channel, &TLocalChannel::ConnectionRejected);
    QLocalSocket raw;
    raw.connectToServer(path);
    ASSERT_TRUE(raw.waitForConnected(3000));
    raw.write(bytes({0x67, 0x80, 0}));
    raw.flush();
    QTRY_COMPARE_WITH_TIMEOUT(rejected.count(), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(raw.state(), QLocalSocket::UnconnectedState, 5000);
}

TEST_F(ChannelTest, SocketIsClosedToOtherUsers)
{
    TLocalChannel channel;
    ASSERT_TRUE(channel.Listen(path));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << (st.st_mode & 0777);

    if (::geteuid() != 0)
        GTEST_SKIP() << "switching to another user needs root";
    // Even with the folder opened up, another user cannot connect.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                          QFileDevice::ExeOther | QFileDevice::ReadOther);
    EXPECT_EQ(connectAsNobody(path), 1);
}

TEST_F(ChannelTest, StaleSocketIsReplacedLiveOneIsNot)
{
    ASSERT_TRUE(makeStaleSocket(path));
    ASSERT_TRUE(QFileInfo::exists(path));
    TLocalChannel first;
    ASSERT_TRUE(first.Listen(path)) << first.ErrorString().toStdString();

    TLocalChannel second;
    EXPECT_FALSE(second.Listen(path));
    EXPECT_TRUE(second.ErrorString().contains("in use")) << second.ErrorString().toStdString();
    EXPECT_FALSE(second.IsListening());

    // The first copy still gets its messages.
    QSignalSpy spy(&first, &TLocalChannel::MessageReceived);
    ASSERT_TRUE(TLocalChannel::Send(MsgStartScan, {}, path));
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);

    first.Close();
    EXPECT_FALSE(QFileInfo::exists(path)) << "closing removes the socket file";
    QString error;
    EXPECT_FALSE(TLocalChannel::Send(MsgStartScan, {}, path, 500, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ChannelFolder, RuntimeFolderMustBePrivate)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir open;
    ASSERT_TRUE(open.isValid());
    ::chmod(QFile::encodeName(open.path()).constData(), 0755);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(open.path()));
    const QString fallback = TLocalChannel::RuntimeFolder();
    EXPECT_NE(fallback, open.path()) << "a folder others can enter is not used";
    ASSERT_FALSE(fallback.isEmpty());
    struct stat st;
    ASSERT_EQ(::lstat(QFile::encodeName(fallback).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);

    ::chmod(QFile::encodeName(open.path()).constData(), 0700);
    EXPECT_EQ(TLocalChannel::RuntimeFolder(), open.path());
    EXPECT_EQ(TLocalChannel::DefaultPath(), open.path() + "/zelkora.sock");
    qputenv("XDG_RUNTIME_DIR", saved);
}

// Connections that never send a byte are closed after the stall limit, so
// sixteen of them cannot keep a real sender out.
TEST(LocalChannelSilence, SixteenSilentConnectionsDoNotKeepARealSenderOut)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/zelkora.sock";
    TLocalChannel channel;
    channel.SetStallTimeout(300);
    ASSERT_TRUE(channel.Listen(path));
    QSignalSpy received(&channel, &TLocalChannel::MessageReceived);
    std::vector<std::unique_ptr<QLocalSocket>> silent;
    for (int i = 0; i < TLocalChannel::kMaxClients; ++i) {
        silent.push_back(std::make_unique<QLocalSocket>());
        silent.back()->connectToServer(path);
        ASSERT_TRUE(silent.back()->waitForConnected(2000));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::all_of(silent.begin(), silent.end(),
                           [](const auto &s) { return s->state() == QLocalSocket::UnconnectedState; });
    }, 5000));
    std::thread sender([&] { TLocalChannel::Send(MsgShowApplication, {}, path); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 1; }, 5000));
    sender.join();
}
