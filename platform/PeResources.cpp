#include "PeResources.h"

#include "LeBytes.h"

#include <QString>

namespace zk {

namespace {

constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr int kResourceDirectoryIndex = 2;
constexpr int kMaxEntriesPerDirectory = 4096; // far above any real program, small enough for hostile tables

class Reader
{
public:
    explicit Reader(const QByteArray &d) : m_p(reinterpret_cast<const unsigned char *>(d.constData())), m_n(d.size()) {}
    bool has(std::uint64_t off, std::uint64_t len) const { return off <= std::uint64_t(m_n) && len <= std::uint64_t(m_n) - off; }
    std::uint16_t u16(std::uint64_t off) const { return rdU16(m_p + off); }
    std::uint32_t u32(std::uint64_t off) const { return rdU32(m_p + off); }
    const char *at(std::uint64_t off) const { return reinterpret_cast<const char *>(m_p + off); }

private:
    const unsigned char *m_p;
    qsizetype m_n;
};

struct Section {
    std::uint32_t va, vsize, raw, rawSize;
};

struct Image {
    QList<Section> sections;
    std::uint32_t resRva = 0, resSize = 0;
};

std::optional<Image> parseHeaders(const Reader &r)
{
    if (!r.has(0, 0x40) || r.u16(0) != 0x5A4D) // "MZ"
        return std::nullopt;
    const std::uint64_t pe = r.u32(0x3C);
    if (!r.has(pe, 24) || r.u32(pe) != 0x00004550) // "PE\0\0"
        return std::nullopt;
    const std::uint64_t coff = pe + 4;
    const int sectionCount = r.u16(coff + 2);
    const std::uint64_t optSize = r.u16(coff + 16);
    const std::uint64_t opt = coff + 20;
    if (!r.has(opt, optSize) || optSize < 2)
        return std::nullopt;
    const std::uint16_t magic = r.u16(opt);
    std::uint64_t countAt = 0, dirsAt = 0;
    if (magic == 0x10B) {
        countAt = 92;
        dirsAt = 96;
    } else if (magic == 0x20B) {
        countAt = 108;
        dirsAt = 112;
    } else {
        return std::nullopt;
    }
    Image img;
    if (optSize >= countAt + 4) {
        const std::uint64_t dirCount = r.u32(opt + countAt);
        const std::uint64_t dirEntry = dirsAt + 8ull * kResourceDirectoryIndex;
        if (dirCount > std::uint64_t(kResourceDirectoryIndex) && optSize >= dirEntry + 8) {
            img.resRva = r.u32(opt + dirEntry);
            img.resSize = r.u32(opt + dirEntry + 4);
        }
    }
    const std::uint64_t table = opt + optSize;
    if (!r.has(table, 40ull * std::uint64_t(sectionCount)))
        return std::nullopt;
    for (int i = 0; i < sectionCount; ++i) {
        const std::uint64_t s = table + 40ull * std::uint64_t(i);
        img.sections.append({r.u32(s + 12), r.u32(s + 8), r.u32(s + 20), r.u32(s + 16)});
    }
    return img;
}

// The file offset of an address inside the image, with how many bytes of the
// section's stored data follow it.
std::optional<std::pair<std::uint64_t, std::uint64_t>> fileOffset(const Image &img, std::uint32_t rva)
{
    for (const Section &s : img.sections) {
        const std::uint64_t span = std::max(s.vsize, s.rawSize);
        if (rva >= s.va && std::uint64_t(rva) - s.va < span) {
            const std::uint64_t into = std::uint64_t(rva) - s.va;
            if (into >= s.rawSize)
                return std::nullopt; // lies in the part the file does not store
            return std::make_pair(std::uint64_t(s.raw) + into, std::uint64_t(s.rawSize) - into);
        }
    }
    return std::nullopt;
}

} // namespace

QList<TPeResource> ReadPeResources(const QByteArray &data, std::optional<std::uint32_t> onlyType)
{
    QList<TPeResource> out;
    const Reader r(data);
    const auto img = parseHeaders(r);
    if (!img || img->resRva == 0)
        return out;
    const auto base = fileOffset(*img, img->resRva);
    if (!base || !r.has(base->first, 16))
        return out;
    // Offsets in the tree count from the start of the resource data; every
    // one must stay within what the section stores.
    const std::uint64_t root = base->first;
    const std::uint64_t limit = std::min<std::uint64_t>(base->second, std::uint64_t(data.size()) - root);

    struct Entry {
        std::uint32_t nameField, target;
    };
    const auto entries = [&](std::uint64_t dirOff, QList<Entry> *list) {
        if (dirOff + 16 > limit)
            return false;
        const int count = int(r.u16(root + dirOff + 12)) + int(r.u16(root + dirOff + 14));
        if (count > kMaxEntriesPerDirectory || dirOff + 16 + 8ull * std::uint64_t(count) > limit)
            return false;
        for (int i = 0; i < count; ++i) {
            const std::uint64_t e = root + dirOff + 16 + 8ull * std::uint64_t(i);
            list->append({r.u32(e), r.u32(e + 4)});
        }
        return true;
    };

    // Three levels, always: type, name, language. A subdirectory bit where a
    // leaf belongs (or none where a directory belongs) ends that branch, so
    // a looping tree cannot recurse.
    std::uint64_t budget = 2 * std::uint64_t(data.size());
    QList<Entry> types;
    if (!entries(0, &types))
        return out;
    for (const Entry &t : types) {
        if (!(t.target & kSubdirectoryBit) || (t.nameField & kSubdirectoryBit))
            continue; // string-named types are never the ones read here
        if (onlyType && t.nameField != *onlyType)
            continue;
        QList<Entry> names;
        if (!entries(t.target & ~kSubdirectoryBit, &names))
            continue;
        for (int ni = 0; ni < names.size(); ++ni) {
            const Entry &n = names.at(ni);
            if (!(n.target & kSubdirectoryBit))
                continue;
            QList<Entry> langs;
            if (!entries(n.target & ~kSubdirectoryBit, &langs))
                continue;
            for (const Entry &l : langs) {
                if (l.target & kSubdirectoryBit)
                    continue;
                const std::uint64_t leaf = l.target;
                if (leaf + 16 > limit)
                    continue;
                const std::uint32_t rva = r.u32(root + leaf);
                const std::uint32_t size = r.u32(root + leaf + 4);
                const auto where = fileOffset(*img, rva);
                if (!where || size > where->second || !r.has(where->first, size))
                    continue;
                if (out.size() >= kMaxPeResources || std::uint64_t(size) > budget)
                    return out;
                budget -= size;
                TPeResource res;
                res.Type = t.nameField;
                res.Id = (n.nameField & kSubdirectoryBit) ? -1 : std::int64_t(n.nameField);
                res.Language = (l.nameField & kSubdirectoryBit) ? 0 : l.nameField;
                res.NameEntry = ni;
                res.Data = QByteArray(r.at(where->first), qsizetype(size));
                out.append(res);
            }
        }
    }
    return out;
}

std::optional<QByteArray> PeFixedVersionBytes(const QByteArray &image)
{
    constexpr std::uint32_t kVersionType = 16;
    const QList<TPeResource> found = ReadPeResources(image, kVersionType);
    if (found.isEmpty())
        return std::nullopt;
    const QByteArray &v = found.first().Data;
    // Length, value length and kind (three words), the key in UTF-16 with its
    // terminator, padding to four bytes, then the fixed block.
    static const QString key = QStringLiteral("VS_VERSION_INFO");
    const qsizetype keyBytes = (key.size() + 1) * 2;
    const qsizetype valueAt = (6 + keyBytes + 3) & ~qsizetype(3);
    if (v.size() < valueAt + 52)
        return std::nullopt;
    const auto *p = reinterpret_cast<const unsigned char *>(v.constData());
    if (rdU16(p + 2) < 52)
        return std::nullopt;
    for (qsizetype i = 0; i <= key.size(); ++i) {
        const char16_t want = i < key.size() ? key.at(i).unicode() : u'\0';
        if (rdU16(p + 6 + 2 * i) != want)
            return std::nullopt;
    }
    return v.mid(valueAt, 52);
}

} // namespace zk
