// The entry points of libzkchannel.so: the channel behind the plain
// interface of ChannelModule.h, so that the program itself never links Qt
// Network.
#include "ChannelModule.h"
#include "LocalChannel.h"

namespace {

class TChannelServer final : public zk::IChannelServer
{
public:
    explicit TChannelServer(const zk::TChannelHandler &onMessage)
    {
        QObject::connect(&m_channel, &zk::TLocalChannel::MessageReceived, &m_channel,
                         [onMessage](quint32 id, const QByteArray &payload) { onMessage(id, payload); });
    }
    bool Listen(const QString &path) override { return m_channel.Listen(path); }
    bool IsListening() const override { return m_channel.IsListening(); }
    QString ServerPath() const override { return m_channel.ServerPath(); }
    QString ErrorString() const override { return m_channel.ErrorString(); }
    void SetMaxPayloadFor(std::uint32_t id, std::uint32_t bytes) override { m_channel.SetMaxPayloadFor(id, bytes); }

private:
    zk::TLocalChannel m_channel;
};

} // namespace

extern "C" __attribute__((visibility("default"))) zk::IChannelServer *
zkChannelNewServer(const zk::TChannelHandler &onMessage)
{
    return new TChannelServer(onMessage);
}

extern "C" __attribute__((visibility("default"))) bool zkChannelSend(const QList<zk::TChannelFrame> &frames,
                                                                      const QString &path, int timeoutMs,
                                                                      QString *error)
{
    return zk::TLocalChannel::Send(frames, path, timeoutMs, error);
}
