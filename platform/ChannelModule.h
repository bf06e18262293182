#pragma once
// The program's message channel as the rest of the program sees it. The
// channel itself (platform/channel/LocalChannel.h, over Qt Network) lives in
// libzkchannel.so, the program's own module beside the executable: Qt
// Network and the Kerberos and proxy libraries behind it cost a start a few
// milliseconds, so the module is opened only where the channel is needed: by
// a second copy for its hand-over, and by the running program right after
// its window is up. What is here needs QtCore only.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace zk {

// The messages other programs may send.
enum TChannelMessage : std::uint32_t {
    MsgLoadFile = 0x8066,        // payload: a picture file name, UTF-8
    MsgStartScan = 0x8067,       // start a capture as the capture command does
    MsgAfterShow = 0x8068,       // go to the tray when the settings say so
    MsgShowApplication = 0x806E, // show the program
    MsgCopyData = 0x004A,        // dwData (4 bytes LE) + a data block; 1: a whole BMP file
};

// Frames of MsgCopyData carry whole pictures; every other message keeps the
// channel's limit of 1 MiB.
inline constexpr std::uint32_t kCopyDataMaxPayload = 64u << 20;

struct TChannelFrame
{
    std::uint32_t id = 0;
    QByteArray payload;
};

// The folder for the socket: $XDG_RUNTIME_DIR when it is a folder owned by
// this user and closed to everyone else; otherwise a private folder
// "zelkora-<uid>" in the temporary folder, created owner-only. Empty when
// neither can be had safely.
QString ChannelRuntimeFolder();
// ChannelRuntimeFolder() + "/zelkora.sock".
QString ChannelDefaultPath();

// Called from the event loop for each frame that arrived, never from inside
// the socket's own handler.
using TChannelHandler = std::function<void(quint32 id, const QByteArray &payload)>;

// The listening end, owned by the program (made by the module, lives on the
// thread that made it).
class IChannelServer
{
public:
    virtual ~IChannelServer() = default;
    // A socket file left behind by a copy that died is replaced; one that
    // still answers is not (false, "in use").
    virtual bool Listen(const QString &path) = 0;
    virtual bool IsListening() const = 0;
    virtual QString ServerPath() const = 0;
    virtual QString ErrorString() const = 0;
    // For connections made afterwards: frames of this id may be this large;
    // the others keep the channel's 1 MiB.
    virtual void SetMaxPayloadFor(std::uint32_t id, std::uint32_t bytes) = 0;
};

// Why the module cannot be had (it is opened on the first call); empty when
// it can.
QString ChannelModuleProblem();

// A new listening end from the module; null with the reason in *error when
// the module cannot be had.
std::unique_ptr<IChannelServer> NewChannelServer(TChannelHandler onMessage, QString *error);

// Connects to path, writes the frames in order through one connection and
// disconnects. False with the reason when no program listens, the frames
// could not be written or the module cannot be had.
bool SendChannelFrames(const QList<TChannelFrame> &frames, const QString &path, int timeoutMs, QString *error);

} // namespace zk

// The module's entry points.
extern "C" {
using ZkChannelNewServerFn = zk::IChannelServer *(*)(const zk::TChannelHandler &onMessage);
using ZkChannelSendFn = bool (*)(const QList<zk::TChannelFrame> &frames, const QString &path, int timeoutMs,
                                 QString *error);
}

namespace zk::channel {
inline constexpr const char *kModuleName = "libzkchannel.so";
inline constexpr const char *kNewServer = "zkChannelNewServer";
inline constexpr const char *kSend = "zkChannelSend";
} // namespace zk::channel
