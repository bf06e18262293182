#include "FileInfo.h"
#include "PeResources.h"

#include <QTemporaryDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace zk;

namespace {

void put16(QByteArray &b, int at, quint32 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}
void put32(QByteArray &b, int at, quint32 v)
{
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// A small 32-bit program image laid out by hand: headers at 0, one ".rsrc"
// section stored at 0x200 and loaded at 0x1000, holding a version resource
// (type 16, id 1, language 0x407) whose block says 7.6.5.4.
QByteArray handImage(bool plus = false)
{
    QByteArray b(0x400, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, 0x40);
    b.replace(0x40, 4, QByteArray("PE\0\0", 4));
    const int coff = 0x44;
    put16(b, coff, plus ? 0x8664 : 0x14C);
    put16(b, coff + 2, 1);                  // one section
    const int optSize = plus ? 240 : 224;   // sixteen directories
    put16(b, coff + 16, optSize);
    const int opt = coff + 20;
    put16(b, opt, plus ? 0x20B : 0x10B);
    const int dirs = opt + (plus ? 112 : 96);
    put32(b, opt + (plus ? 108 : 92), 16);
    put32(b, dirs + 16, 0x1000); // resources
    put32(b, dirs + 20, 0x200);
    const int sec = opt + optSize;
    b.replace(sec, 5, ".rsrc");
    put32(b, sec + 8, 0x200);  // virtual size
    put32(b, sec + 12, 0x1000);
    put32(b, sec + 16, 0x200); // stored size
    put32(b, sec + 20, 0x200);

    const int r = 0x200;
    // type directory -> name directory -> language directory -> leaf
    put16(b, r + 14, 1);
    put32(b, r + 16, 16);
    put32(b, r + 20, 0x80000000u | 24);
    put16(b, r + 24 + 14, 1);
    put32(b, r + 40, 1);
    put32(b, r + 44, 0x80000000u | 48);
    put16(b, r + 48 + 14, 1);
    put32(b, r + 64, 0x407);
    put32(b, r + 68, 72);
    const int versionAt = 0x60;
    const int versionSize = 40 + 52;
    put32(b, r + 72, 0x1000 + versionAt);
    put32(b, r + 76, versionSize);

    const int v = r + versionAt;
    put16(b, v, versionSize);
    put16(b, v + 2, 52);
    const char *key = "VS_VERSION_INFO";
    for (int i = 0; key[i]; ++i)
        put16(b, v + 6 + 2 * i, quint8(key[i]));
    const int block = v + 40; // 6 + 32 key bytes, padded to 40
    const quint32 words[13] = {0xFEEF04BD, 0x10000, 0x00070006, 0x00050004, 0x00070006, 0x00050004, 0x3F, 0x02,
                               0x40004,    2,       0,          0,          0};
    for (int i = 0; i < 13; ++i)
        put32(b, block + 4 * i, words[i]);
    return b;
}

} // namespace

TEST(PeResourcesTest, WalksTheTreeAndReadsTheVersionBlockOfBothImageKinds)
{
    for (bool plus : {false, true}) {
        const QByteArray image = handImage(plus);
        const QList<TPeResource> all = ReadPeResources(image);
        ASSERT_EQ(all.size(), 1) << plus;
        EXPECT_EQ(all[0].Type, 16u);
        EXPECT_EQ(all[0].Id, 1);
        EXPECT_EQ(all[0].Language, 0x407u);
        EXPECT_EQ(all[0].Data.size(), 92);
        EXPECT_TRUE(ReadPeResources(image, 14).isEmpty());

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("prog.exe"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(image);
        f.close();
        TFileInfo info;
        info.SetFileName(path);
        ASSERT_TRUE(info.IsVersionInfo);
        EXPECT_EQ(info.MajorFileVersionMS, 7);
        EXPECT_EQ(info.MinorFileVersionMS, 6);
        EXPECT_EQ(info.MajorFileVersionLS, 5);
        EXPECT_EQ(info.MinorFileVersionLS, 4);
        EXPECT_EQ(info.FileTypeAsString, "VFT_DLL");
        EXPECT_EQ(info.FileOSAsString, "VOS_NT_WINDOWS32");
        EXPECT_TRUE(info.IsFlagPreRelease);
        EXPECT_FALSE(info.IsFlagDebug);
    }
}

TEST(PeResourcesTest, TruncatedAndHostileImagesGiveNothing)
{
    const QByteArray image = handImage();
    // Every cut inside the version block or before it loses the block.
    for (int cut = 0; cut < 0x200 + 0x60 + 92; cut += 7)
        EXPECT_FALSE(PeFixedVersionBytes(image.left(cut))) << cut;

    const auto spoiled = [&](int at, quint32 value) {
        QByteArray b = image;
        put32(b, at, value);
        return b;
    };
    const QByteArray hostile[] = {
        spoiled(0x3C, 0xFFFFFFF0),               // header far past the end
        spoiled(0x200 + 20, 0x80000000u),        // the type entry points back at the root
        spoiled(0x200 + 68, 0x7FFFFFF0),         // leaf past the section
        spoiled(0x200 + 76, 0xFFFFFFFF),         // data larger than the file
        spoiled(0x200 + 72, 0x0FFF),             // data before the section
        spoiled(0x200 + 12, 0xFFFFFFFF),         // 131070 entries claimed
    };
    for (const QByteArray &b : hostile)
        EXPECT_FALSE(PeFixedVersionBytes(b));
    // A resource tree that loops back to its root yields no entries, not a hang.
    EXPECT_TRUE(ReadPeResources(hostile[1]).isEmpty());
}

TEST(PeResourcesTest, LeavesSharingOneBlockAreCopiedOnlyUpToABudget)
{
    // 4096 names whose language directories all lead to one 4 KiB block:
    // 16 MiB of copies from a file of some 45 KiB.
    constexpr int kNames = 4096, kBlock = 4096;
    const int r = 0x200, names = 24, lang = names + 16 + 8 * kNames, leaf = lang + 24, data = lang + 40;
    const int size = data + kBlock;
    QByteArray b = handImage().left(r) + QByteArray(size, '\0');
    const int sec = 0x44 + 20 + 224;
    put32(b, sec + 8, quint32(size));
    put32(b, sec + 16, quint32(size));
    put16(b, r + 14, 1);
    put32(b, r + 16, 16);
    put32(b, r + 20, 0x80000000u | names);
    put16(b, r + names + 14, kNames);
    for (int i = 0; i < kNames; ++i) {
        put32(b, r + names + 16 + 8 * i, quint32(i + 1));
        put32(b, r + names + 20 + 8 * i, 0x80000000u | lang);
    }
    put16(b, r + lang + 14, 1);
    put32(b, r + lang + 16, 0x409);
    put32(b, r + lang + 20, leaf);
    put32(b, r + leaf, 0x1000 + data);
    put32(b, r + leaf + 4, kBlock);

    const QList<TPeResource> all = ReadPeResources(b);
    ASSERT_FALSE(all.isEmpty());
    EXPECT_EQ(all.first().Data.size(), kBlock);
    qint64 copied = 0;
    for (const TPeResource &res : all)
        copied += res.Data.size();
    EXPECT_LE(copied, 2 * b.size());
    EXPECT_EQ(all.size(), 2 * b.size() / kBlock); // as many whole blocks as the budget holds
}
