#include "DockStream.h"

#include "LeBytes.h"

#include <QPair>

namespace zk {

namespace {

void writeString(QByteArray &out, const QString &s)
{
    const QByteArray bytes = s.toLatin1();
    wrI32(out, bytes.size());
    out.append(bytes);
}

class Reader
{
public:
    explicit Reader(const QByteArray &data) : m_data(data) {}
    bool i32(std::int32_t &v)
    {
        if (m_data.size() - m_pos < 4)
            return false;
        v = rdI32(reinterpret_cast<const unsigned char *>(m_data.constData()) + m_pos);
        m_pos += 4;
        return true;
    }
    bool u8(std::uint8_t &v)
    {
        if (m_data.size() - m_pos < 1)
            return false;
        v = std::uint8_t(m_data[m_pos++]);
        return true;
    }
    bool string(QString &s)
    {
        std::int32_t n = 0;
        if (!i32(n) || n < 0 || n > TDockPanelStream::kMaxName || m_data.size() - m_pos < n)
            return false;
        s = QString::fromLatin1(m_data.constData() + m_pos, n);
        m_pos += n;
        return true;
    }
    bool atEnd() const { return m_pos == m_data.size(); }

private:
    const QByteArray &m_data;
    qsizetype m_pos = 0;
};

} // namespace

QByteArray TDockPanelStream::Encode() const
{
    QByteArray out;
    wrI32(out, width);
    wrI32(out, version);
    wrI32(out, hidden.size());
    for (const QString &name : hidden)
        writeString(out, name);
    wrI32(out, topLimit);
    for (const TDockZone &z : zones) {
        wrI32(out, z.level);
        out.append(char(z.orientation));
        wrI32(out, z.limit);
        writeString(out, z.name);
    }
    wrI32(out, -1);
    return out;
}

std::optional<TDockPanelStream> TDockPanelStream::Decode(const QByteArray &data)
{
    Reader r(data);
    TDockPanelStream s;
    std::int32_t count = 0;
    if (!r.i32(s.width) || s.width < 0 || s.width > kMaxWidth)
        return std::nullopt;
    if (!r.i32(s.version) || s.version != kVersion)
        return std::nullopt;
    if (!r.i32(count) || count < 0 || count > kMaxEntries)
        return std::nullopt;
    for (int i = 0; i < count; ++i) {
        QString name;
        if (!r.string(name))
            return std::nullopt;
        s.hidden.append(name);
    }
    if (!r.i32(s.topLimit))
        return std::nullopt;
    for (;;) {
        TDockZone z;
        if (!r.i32(z.level))
            return std::nullopt;
        if (z.level == -1)
            break;
        // Depth first: the first zone is the top (level 0, the only one);
        // a zone is at most one level below the one before it.
        const std::int32_t previous = s.zones.isEmpty() ? -1 : s.zones.last().level;
        if (z.level < 0 || z.level > previous + 1 || (z.level == 0) != s.zones.isEmpty()
            || s.zones.size() >= kMaxEntries)
            return std::nullopt;
        if (!r.u8(z.orientation) || z.orientation > 2 || !r.i32(z.limit) || !r.string(z.name))
            return std::nullopt;
        s.zones.append(z);
    }
    if (!r.atEnd())
        return std::nullopt;
    return s;
}

QStringList TDockPanelStream::ZoneNames() const
{
    QStringList names;
    for (const TDockZone &z : zones)
        if (!z.name.isEmpty())
            names.append(z.name);
    return names;
}

TDockPanelStream StackedPanelStream(int width, const QList<QPair<QString, int>> &windows, const QStringList &hidden)
{
    TDockPanelStream s;
    s.width = width;
    s.hidden = hidden;
    if (windows.isEmpty())
        return s;
    int total = 0;
    for (const auto &w : windows)
        total += w.second;
    s.topLimit = total;
    s.zones.append(TDockZone{0, 2, width, {}});
    for (const auto &w : windows)
        s.zones.append(TDockZone{1, 0, w.second, w.first});
    return s;
}

} // namespace zk
