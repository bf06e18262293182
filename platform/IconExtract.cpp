#include "IconExtract.h"

#include "Graphic.h"
#include "IconCodec.h"
#include "LeBytes.h"
#include "PeResources.h"

#include <QFile>

#include <cstdlib>
#include <cstring>

namespace zk {
namespace {

constexpr std::uint32_t kIconType = 3;
constexpr std::uint32_t kIconGroupType = 14;
constexpr int kShownSize = 32;
// Program files larger than this are not read whole for their icons.
constexpr qint64 kMaxImageBytes = qint64(1) << 30;
// An icon file rebuilt from a group stays below this; a group naming the
// same large picture thousands of times is refused instead.
constexpr qint64 kMaxGroupFileBytes = qint64(64) << 20;

bool isIconFile(const QByteArray &d)
{
    if (d.size() < 6)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(d.constData());
    return rdU16(p) == 0 && rdU16(p + 2) == 1 && rdU16(p + 4) > 0;
}

bool isPeImage(const QByteArray &d)
{
    if (d.size() < 0x40 || d.at(0) != 'M' || d.at(1) != 'Z')
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(d.constData());
    const std::uint64_t pe = rdU32(p + 0x3C);
    return pe + 4 <= std::uint64_t(d.size()) && std::memcmp(p + pe, "PE\0\0", 4) == 0;
}

// The group's header is sound, its entries fit its bytes and at least one
// names a picture that is there.
bool groupUsable(const QByteArray &group, const QHash<std::uint32_t, QByteArray> &icons)
{
    if (group.size() < 6)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(group.constData());
    const int count = rdU16(p + 4);
    if (rdU16(p) != 0 || rdU16(p + 2) != 1 || 6 + 14 * qsizetype(count) > group.size())
        return false;
    for (int i = 0; i < count; ++i)
        if (icons.contains(rdU16(p + 6 + 14 * i + 12)))
            return true;
    return false;
}

} // namespace

int IconEntryNear32(const std::vector<IconEntry> &entries)
{
    const bool pngOk = GetIconPngDecoder() != nullptr;
    int best = -1;
    std::int64_t bestDistance = 0;
    for (int i = 0; i < int(entries.size()); ++i) {
        const IconEntry &e = entries[std::size_t(i)];
        if (e.png && !pngOk)
            continue;
        const std::int64_t distance = std::abs(std::int64_t(e.width) - kShownSize) + std::abs(std::int64_t(e.height) - kShownSize);
        if (best >= 0) {
            const IconEntry &b = entries[std::size_t(best)];
            const std::int64_t area = std::int64_t(e.width) * e.height, bestArea = std::int64_t(b.width) * b.height;
            if (distance > bestDistance)
                continue;
            if (distance == bestDistance && (area < bestArea || (area == bestArea && e.bitCount <= b.bitCount)))
                continue;
        }
        best = i;
        bestDistance = distance;
    }
    return best;
}

QByteArray IconFileFromGroup(const QByteArray &group, const QHash<std::uint32_t, QByteArray> &iconById)
{
    if (group.size() < 6)
        return {};
    const auto *p = reinterpret_cast<const unsigned char *>(group.constData());
    if (rdU16(p) != 0 || rdU16(p + 2) != 1)
        return {};
    const int declared = rdU16(p + 4);
    // The count is checked against the group's own bytes before anything is kept.
    if (6 + 14 * qsizetype(declared) > group.size())
        return {};
    struct Found {
        const unsigned char *dir;
        const QByteArray *data;
    };
    std::vector<Found> found;
    qint64 total = 0;
    for (int i = 0; i < declared; ++i) {
        const unsigned char *d = p + 6 + 14 * i;
        const auto it = iconById.constFind(rdU16(d + 12));
        if (it == iconById.constEnd() || it->isEmpty())
            continue;
        total += 16 + it->size();
        if (total > kMaxGroupFileBytes)
            return {};
        found.push_back({d, &*it});
    }
    if (found.empty())
        return {};
    QByteArray out;
    out.reserve(qsizetype(6 + total));
    wrU16(out, 0);
    wrU16(out, 1);
    wrU16(out, std::uint16_t(found.size()));
    std::uint32_t offset = std::uint32_t(6 + 16 * found.size());
    for (const Found &f : found) {
        out.append(reinterpret_cast<const char *>(f.dir), 8); // size, colours, reserved, planes, depth
        wrU32(out, std::uint32_t(f.data->size()));
        wrU32(out, offset);
        offset += std::uint32_t(f.data->size());
    }
    for (const Found &f : found)
        out.append(*f.data);
    return out;
}

void TIconExtractor::Clear()
{
    m_fileName.clear();
    m_groups.clear();
    m_icons.clear();
    m_pe = false;
    m_cache.clear();
}

TIconExtractor::TStatus TIconExtractor::Load(const QString &fileName, QString *error)
{
    Clear();
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return TStatus::Unreadable;
    }
    // The start tells whether the rest is worth reading.
    const QByteArray head = f.peek(0x40);
    if (!(head.size() >= 2 && head.at(0) == 'M' && head.at(1) == 'Z') && !isIconFile(head))
        return TStatus::NotSupported;
    if (f.size() > kMaxImageBytes)
        return TStatus::NoIcons;
    const QByteArray data = f.readAll();
    if (data.size() != f.size()) {
        if (error)
            *error = f.errorString();
        return TStatus::Unreadable;
    }
    const TStatus s = LoadData(data);
    m_fileName = fileName;
    return s;
}

TIconExtractor::TStatus TIconExtractor::LoadData(const QByteArray &data)
{
    Clear();
    if (isIconFile(data)) {
        m_groups.append(data);
        // A damaged file shows no icon rather than an empty cell.
        if (Icon(0).isNull()) {
            Clear();
            return TStatus::NoIcons;
        }
        return TStatus::Ok;
    }
    if (!isPeImage(data))
        return TStatus::NotSupported;
    m_pe = true;
    int lastName = -1;
    for (TPeResource &r : ReadPeResources(data, kIconGroupType)) {
        // One icon per group name: its first language.
        if (r.NameEntry == lastName)
            continue;
        lastName = r.NameEntry;
        m_groups.append(std::move(r.Data));
    }
    if (m_groups.isEmpty())
        return TStatus::NoIcons;
    for (TPeResource &r : ReadPeResources(data, kIconType))
        if (r.Id >= 0 && r.Id <= 0xFFFF && !m_icons.contains(std::uint32_t(r.Id)))
            m_icons.insert(std::uint32_t(r.Id), std::move(r.Data));
    // A group that names no picture the file holds is no icon.
    m_groups.removeIf([this](const QByteArray &g) { return !groupUsable(g, m_icons); });
    if (m_groups.isEmpty()) {
        Clear();
        return TStatus::NoIcons;
    }
    return TStatus::Ok;
}

QByteArray TIconExtractor::IconFile(int index) const
{
    if (index < 0 || index >= m_groups.size())
        return {};
    return m_pe ? IconFileFromGroup(m_groups.at(index), m_icons) : m_groups.at(index);
}

const TIconExtractor::Decoded &TIconExtractor::decoded(int index) const
{
    const auto it = m_cache.constFind(index);
    if (it != m_cache.constEnd())
        return *it;
    Decoded d;
    const QByteArray file = IconFile(index);
    if (!file.isEmpty()) {
        try {
            const std::vector<IconEntry> entries = IconListEntries(file);
            const int entry = IconEntryNear32(entries);
            if (entry >= 0) {
                QImage img = IconDecodeEntry(file, entries, entry);
                if (img.size() != QSize(kShownSize, kShownSize))
                    img = img.scaled(kShownSize, kShownSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                d.image = img.convertToFormat(QImage::Format_ARGB32);
                d.entry = entry;
            }
        } catch (const EGraphicError &) {
            // A damaged group shows as an empty cell.
        }
    }
    return *m_cache.insert(index, d);
}

QImage TIconExtractor::Icon(int index) const
{
    if (index < 0 || index >= m_groups.size())
        return {};
    return decoded(index).image;
}

int TIconExtractor::ShownEntry(int index) const
{
    if (index < 0 || index >= m_groups.size())
        return -1;
    return decoded(index).entry;
}

} // namespace zk
