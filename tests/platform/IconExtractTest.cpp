// The icons of program files and icon files, checked against icoutils'
// wrestool (which groups a program holds) and ImageMagick (the pixels of the
// entry shown), on programs linked in the test by the MinGW binutils.
#include "IconCodec.h"
#include "IconExtract.h"
#include "PictureOracles.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace zk;
using namespace zktest;

namespace {

struct Arch {
    const char *prefix;
    const char *name;
};

// Three icon files made by ImageMagick: "mixed" (16 px 4-bit, 32 px 8-bit,
// 48 px 32-bit, 256 px PNG), "nothirty" (16 and 48 px, no 32) and "pair"
// (32 px in 4 and in 32 bits).
bool makeIcons(const QString &dir)
{
    const auto run = [&](const QStringList &args) { return runProgram(kConvert, args) == 0; };
    const QString d = dir + "/";
    return run({"-size", "16x16", "xc:white", "-fill", "red", "-draw", "rectangle 1,1 7,7", "-fill", "blue", "-draw",
                "rectangle 8,8 14,14", "-fill", "lime", "-draw", "rectangle 1,9 6,14", "-type", "Palette",
                d + "s16.png"}) &&
           run({"-size", "32x32", "plasma:fractal", "-seed", "3", "-colors", "200", "-type", "Palette", d + "s32.png"}) &&
           run({"-size", "48x48", "gradient:red-blue", "-alpha", "set", "-channel", "A", "-fx", "i/48", "+channel",
                d + "s48.png"}) &&
           run({"-size", "256x256", "gradient:blue-yellow", d + "s256.png"}) &&
           run({"-size", "32x32", "xc:yellow", "-fill", "black", "-draw", "circle 16,16 16,4", "-fill", "red", "-draw",
                "rectangle 0,0 5,5", "-type", "Palette", d + "p4.png"}) &&
           run({"-size", "32x32", "gradient:green-white", "-alpha", "set", "-channel", "A", "-fx", "j", "+channel",
                d + "p32.png"}) &&
           run({d + "s16.png", d + "s32.png", d + "s48.png", d + "s256.png", d + "mixed.ico"}) &&
           run({d + "s16.png", d + "s48.png", d + "nothirty.ico"}) && run({d + "p4.png", d + "p32.png", d + "pair.ico"});
}

// A library or program holding the groups, linked by the MinGW tools; empty
// (with the reason) when they are missing.
QString linkImage(const QString &dir, const Arch &arch, bool exe, QString *why)
{
    const QString windres = QString::fromLatin1(arch.prefix) + "windres", ld = QString::fromLatin1(arch.prefix) + "ld";
    if (!haveProgram(windres) || !haveProgram(ld)) {
        *why = windres + " or " + ld + " missing (binutils-mingw-w64)";
        return {};
    }
    QFile rc(dir + "/icons.rc");
    rc.open(QIODevice::WriteOnly);
    rc.write("1 ICON \"mixed.ico\"\nAPPICON ICON \"nothirty.ico\"\n7 ICON \"pair.ico\"\n");
    rc.close();
    const QString obj = dir + "/icons-" + arch.name + ".o";
    const QString out = dir + "/icons-" + arch.name + (exe ? ".exe" : ".dll");
    if (runProgram(windres, {"--preprocessor=cpp", "-I", dir, "-i", dir + "/icons.rc", "-o", obj}) != 0) {
        *why = "windres failed";
        return {};
    }
    QStringList args = exe ? QStringList{"-e", "0"} : QStringList{"-shared", "-e", "0"};
    args << "-o" << out << obj;
    if (runProgram(ld, args) != 0) {
        *why = "ld failed";
        return {};
    }
    return out;
}

// The group names in directory order, as wrestool lists them.
QStringList wrestoolGroups(const QString &file)
{
    QByteArray out;
    if (runProgram("wrestool", {"-l", "-t", "14", file}, &out) != 0)
        return {};
    QStringList names;
    const QRegularExpression re(QStringLiteral("--name=('?)([^' ]+)\\1"));
    for (const QByteArray &line : out.split('\n'))
        if (const auto m = re.match(QString::fromLatin1(line)); m.hasMatch())
            names << m.captured(2);
    return names;
}

int sameArgb(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    int differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            // A fully transparent pixel's colour is not shown.
            if (qAlpha(p) != qAlpha(q) || (qAlpha(p) != 0 && p != q))
                ++differ;
        }
    return differ;
}

class IconExtractPe : public ::testing::TestWithParam<std::tuple<int, bool>>
{
};

const Arch kArches[] = {{"x86_64-w64-mingw32-", "pe32plus"}, {"i686-w64-mingw32-", "pe32"}};

} // namespace

TEST_P(IconExtractPe, GroupsMatchWrestoolAndShownPixelsMatchImageMagick)
{
    const Arch arch = kArches[std::get<0>(GetParam())];
    const bool exe = std::get<1>(GetParam());
    if (!haveProgram("wrestool"))
        GTEST_SKIP() << "wrestool missing (icoutils)";
    const QString dir = scratchDir(QStringLiteral("pe-icons-%1-%2").arg(arch.name).arg(exe));
    ASSERT_TRUE(makeIcons(dir));
    QString why;
    const QString image = linkImage(dir, arch, exe, &why);
    if (image.isEmpty())
        GTEST_SKIP() << why.toStdString();

    const QStringList groups = wrestoolGroups(image);
    // Named groups sort before numbered ones in the directory.
    ASSERT_EQ(groups, QStringList({"APPICON", "1", "7"}));
    TIconExtractor icons;
    ASSERT_EQ(icons.Load(image), TIconExtractor::TStatus::Ok);
    ASSERT_EQ(icons.Count(), groups.size());

    // Entry shown, worked out by hand from the icon files: "nothirty" has
    // 16 and 48 px, both 16 away from 32, and the larger wins; "mixed"
    // has its 32 px entry second; "pair" the 32-bit one of two 32 px.
    const int expectEntry[3] = {1, 1, 1};
    for (int i = 0; i < groups.size(); ++i) {
        SCOPED_TRACE(groups.at(i).toStdString());
        const QString extracted = dir + "/group-" + groups.at(i) + ".ico";
        ASSERT_EQ(runProgram("wrestool", {"-x", "-t", "14", "-n", groups.at(i), image, "-o", extracted}), 0);
        EXPECT_EQ(IconListEntries(icons.IconFile(i)).size(), IconListEntries(readBytes(extracted)).size());
        EXPECT_EQ(icons.ShownEntry(i), expectEntry[i]);
        const QImage ours = icons.Icon(i);
        ASSERT_EQ(ours.size(), QSize(32, 32));
        if (i == 0)
            continue; // scaled from 48 px: no entry to compare with
        const QImage theirs = magickDecode(QStringLiteral("%1[%2]").arg(extracted).arg(expectEntry[i]));
        EXPECT_EQ(sameArgb(ours, theirs), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Arches, IconExtractPe,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(false, true)));

namespace {

quint32 rd32(const QByteArray &b, qint64 at)
{
    return quint8(b[at]) | (quint8(b[at + 1]) << 8) | (quint8(b[at + 2]) << 16) | (quint32(quint8(b[at + 3])) << 24);
}
void wr32(QByteArray &b, qint64 at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

// File offsets of the resource root and of the resource directory entry of
// the optional header.
struct Layout {
    qint64 root = -1, dirEntry = -1;
};
Layout layoutOf(const QByteArray &b)
{
    Layout l;
    const qint64 pe = rd32(b, 0x3C);
    const qint64 coff = pe + 4;
    const int sections = quint8(b[coff + 2]) | (quint8(b[coff + 3]) << 8);
    const int optSize = quint8(b[coff + 16]) | (quint8(b[coff + 17]) << 8);
    const qint64 opt = coff + 20;
    const bool plus = quint8(b[opt]) == 0x0B && quint8(b[opt + 1]) == 0x02;
    l.dirEntry = opt + (plus ? 112 : 96) + 16;
    for (int s = 0; s < sections; ++s) {
        const qint64 h = opt + optSize + 40 * s;
        if (b.mid(h, 5) == ".rsrc")
            l.root = rd32(b, h + 20);
    }
    return l;
}

} // namespace

TEST(IconExtract, HostileProgramsGiveNoIcons)
{
    const QString dir = scratchDir(QStringLiteral("pe-icons-bad"));
    ASSERT_TRUE(makeIcons(dir));
    QString why;
    const QString image = linkImage(dir, kArches[0], false, &why);
    if (image.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QByteArray good = readBytes(image);
    const Layout l = layoutOf(good);
    ASSERT_GT(l.root, 0);
    {
        TIconExtractor icons;
        ASSERT_EQ(icons.LoadData(good), TIconExtractor::TStatus::Ok);
        ASSERT_EQ(icons.Count(), 3);
    }
    // The root's two types are 3 (pictures) and 14 (groups), in that order.
    const qint64 groupEntry = l.root + 16 + 8;
    struct Case {
        const char *what;
        std::function<void(QByteArray &)> damage;
    } cases[] = {
        {"cut inside the headers", [](QByteArray &b) { b.truncate(0x90); }},
        {"cut inside the resource tree", [&](QByteArray &b) { b.truncate(l.root + 20); }},
        {"resources past the end", [&](QByteArray &b) { wr32(b, l.dirEntry, 0x7FFFFF00); }},
        {"group directory pointing at the root", [&](QByteArray &b) { wr32(b, groupEntry + 4, 0x80000000u); }},
        {"huge entry count at the root", [&](QByteArray &b) { b[l.root + 14] = char(0xFF); b[l.root + 15] = char(0xFF); }},
        {"group type directory past the data", [&](QByteArray &b) { wr32(b, groupEntry + 4, 0xBFFFFFF0u); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray bad = good;
        c.damage(bad);
        TIconExtractor icons;
        EXPECT_EQ(icons.LoadData(bad), TIconExtractor::TStatus::NoIcons);
        EXPECT_EQ(icons.Count(), 0);
    }
}

TEST(IconExtract, GroupWithHugeCountOrMissingPicturesIsLeftOut)
{
    QHash<std::uint32_t, QByteArray> pictures;
    pictures.insert(5, QByteArray(40, 'x'));
    // reserved, type 1, count, then 14-byte entries naming picture 5 / 6
    const auto group = [](quint16 count, quint16 id, int entries) {
        QByteArray g;
        g.append("\0\0\1\0", 4);
        g.append(char(count & 0xFF)).append(char(count >> 8));
        for (int i = 0; i < entries; ++i) {
            QByteArray e(14, '\0');
            e[0] = 32;
            e[1] = 32;
            e[12] = char(id);
            g.append(e);
        }
        return g;
    };
    EXPECT_FALSE(IconFileFromGroup(group(1, 5, 1), pictures).isEmpty());
    EXPECT_TRUE(IconFileFromGroup(group(0xFFFF, 5, 1), pictures).isEmpty()); // count past the data
    EXPECT_TRUE(IconFileFromGroup(group(1, 6, 1), pictures).isEmpty());      // picture missing
    // 6 + 16 + 40 bytes: the directory entry points just behind itself.
    const QByteArray ico = IconFileFromGroup(group(1, 5, 1), pictures);
    EXPECT_EQ(ico.size(), 62);
    EXPECT_EQ(rd32(ico, 6 + 8), 40u);
    EXPECT_EQ(rd32(ico, 6 + 12), 22u);
}

TEST(IconExtract, OtherFilesHoldNoIcons)
{
    const QString dir = scratchDir(QStringLiteral("pe-icons-other"));
    QByteArray ne(0x80, '\0');
    ne[0] = 'M';
    ne[1] = 'Z';
    ne[0x3C] = 0x40;
    ne[0x40] = 'N';
    ne[0x41] = 'E';
    const struct {
        const char *name;
        QByteArray bytes;
        TIconExtractor::TStatus want;
    } files[] = {
        {"old.exe", ne, TIconExtractor::TStatus::NotSupported},
        {"prog", readBytes("/bin/true").left(4096), TIconExtractor::TStatus::NotSupported},
        {"notes.txt", QByteArray("plain text\n"), TIconExtractor::TStatus::NotSupported},
        // An icon directory of 200 entries in a file of 30 bytes.
        {"short.ico", QByteArray("\0\0\1\0\xC8\0", 6) + QByteArray(24, '\0'), TIconExtractor::TStatus::NoIcons},
    };
    for (const auto &f : files) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(writeBytes(dir + "/" + f.name, f.bytes));
        TIconExtractor icons;
        EXPECT_EQ(icons.Load(dir + "/" + f.name), f.want);
        EXPECT_EQ(icons.Count(), 0);
    }
    TIconExtractor missing;
    QString error;
    EXPECT_EQ(missing.Load(dir + "/none.exe", &error), TIconExtractor::TStatus::Unreadable);
    EXPECT_FALSE(error.isEmpty());
}

TEST(IconExtract, IconFileIsOneIconShownNear32)
{
    const QString dir = scratchDir(QStringLiteral("pe-icons-ico"));
    ASSERT_TRUE(makeIcons(dir));
    TIconExtractor icons;
    ASSERT_EQ(icons.Load(dir + "/mixed.ico"), TIconExtractor::TStatus::Ok);
    EXPECT_EQ(icons.Count(), 1);
    EXPECT_EQ(icons.ShownEntry(0), 1);
    EXPECT_EQ(sameArgb(icons.Icon(0), magickDecode(dir + "/mixed.ico[1]")), 0);
    EXPECT_TRUE(icons.Icon(1).isNull());
}
