#pragma once
// The icons a file holds, as the icon extraction dialog lists them: one for
// an icon file, one per icon group of a Windows program or library (PE32 and
// PE32+), in the order of the resource directory. Each icon is shown by the
// group's entry nearest 32 x 32, among equals the one with the most colours,
// scaled to 32 x 32 when it has another size. Files are read once; every
// icon is decoded once and kept.
#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

namespace zk {

struct IconEntry;

// The entry of an icon directory shown at 32 x 32: the least distance of
// width and height from 32, then the larger picture, then the deeper one.
// -1 for an empty list. PNG entries count only while a PNG decoder is
// installed.
int IconEntryNear32(const std::vector<IconEntry> &entries);

// An icon group resource (the directory of 14-byte entries that name their
// pictures by resource number) rebuilt as an icon file, with the pictures
// found through iconById. Entries whose picture is missing are left out;
// empty when none is left or the group is damaged.
QByteArray IconFileFromGroup(const QByteArray &group, const QHash<std::uint32_t, QByteArray> &iconById);

class TIconExtractor
{
public:
    enum class TStatus {
        Ok,         // at least one icon
        Unreadable, // the file could not be read
        NoIcons,    // an icon file or program without any icon that can be read
        NotSupported, // neither an icon file nor a Windows program (NE, ELF, text, ...)
    };

    // Reads the file; replaces whatever was loaded before. error gets the
    // system's reason when the file cannot be read.
    TStatus Load(const QString &fileName, QString *error = nullptr);
    TStatus LoadData(const QByteArray &data);
    void Clear();

    QString FileName() const { return m_fileName; }
    int Count() const { return int(m_groups.size()); }
    // The icon file of icon index (all entries of its group); empty out of range.
    QByteArray IconFile(int index) const;
    // The icon as shown, 32 x 32 ARGB32; null out of range or when its
    // group cannot be read.
    QImage Icon(int index) const;
    // The entry of IconFile(index) that Icon(index) shows; -1 when none.
    int ShownEntry(int index) const;

private:
    struct Decoded {
        QImage image;
        int entry = -1;
    };
    const Decoded &decoded(int index) const;

    QString m_fileName;
    QList<QByteArray> m_groups; // icon files, or group resources while m_pe
    QHash<std::uint32_t, QByteArray> m_icons;
    bool m_pe = false;
    mutable QHash<int, Decoded> m_cache;
};

} // namespace zk
