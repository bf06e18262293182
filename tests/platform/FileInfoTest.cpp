#include "FileInfo.h"

#include <QCoreApplication>
#include <QTemporaryFile>
#include <gtest/gtest.h>

using namespace zk;

namespace {

// A block laid out by hand: thirteen little-endian words.
QByteArray handBlock(std::uint32_t flagsMask, std::uint32_t flags, std::uint32_t os, std::uint32_t type,
                     std::uint32_t subType)
{
    const std::uint32_t words[13] = {0xFEEF04BD, 0x00010000, 0x00050001, 0x00020003, 0x00060007, 0x00080009,
                                     flagsMask,  flags,      os,         type,       subType,    0x000A000B,
                                     0x000C000D};
    QByteArray b;
    for (std::uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            b.append(char((w >> (8 * i)) & 0xFF));
    return b;
}

} // namespace

TEST(FileInfoTest, DecodesWordsFlagsAndNames)
{
    struct Case {
        std::uint32_t mask, flags, os, type, sub;
        bool debug, pre, patched, priv, inferred, special;
        const char *osName, *typeName, *subName;
    } cases[] = {
        // Every flag set but only debug and patched let through the mask.
        {0x05, 0x3F, 0x40004, 1, 0, true, false, true, false, false, false, "VOS_NT_WINDOWS32", "VFT_APP", ""},
        {0x3F, 0x3A, 0x10001, 3, 10, false, true, false, true, true, true, "VOS_DOS_WINDOWS16", "VFT_DRV",
         "VFT2_DRV_COMM"},
        {0x00, 0x3F, 4, 4, 3, false, false, false, false, false, false, "VOS__WINDOWS32", "VFT_FONT",
         "VFT2_FONT_TRUETYPE"},
        // Unknown values have no name; a font sub-type 0 has none either.
        {0x3F, 0x00, 0x50000, 6, 1, false, false, false, false, false, false, "", "", ""},
        {0x3F, 0x00, 0, 4, 0, false, false, false, false, false, false, "VOS_UNKNOWN", "VFT_FONT", ""},
        {0x3F, 0x00, 3, 2, 1, false, false, false, false, false, false, "VOS__PM32", "VFT_DLL", ""},
    };
    for (const Case &c : cases) {
        const auto block = DecodeVersionBlock(handBlock(c.mask, c.flags, c.os, c.type, c.sub));
        ASSERT_TRUE(block);
        TFileInfo info;
        info.SetBlock(*block);
        SCOPED_TRACE(c.osName);
        EXPECT_TRUE(info.IsVersionInfo);
        EXPECT_EQ(info.MajorFileVersionMS, 5);
        EXPECT_EQ(info.MinorFileVersionMS, 1);
        EXPECT_EQ(info.MajorFileVersionLS, 2);
        EXPECT_EQ(info.MinorFileVersionLS, 3);
        EXPECT_EQ(info.MajorProductVersionMS, 6);
        EXPECT_EQ(info.MinorProductVersionMS, 7);
        EXPECT_EQ(info.MajorProductVersionLS, 8);
        EXPECT_EQ(info.MinorProductVersionLS, 9);
        EXPECT_EQ(info.MajorFileDataMS, 10);
        EXPECT_EQ(info.MinorFileDataMS, 11);
        EXPECT_EQ(info.MajorFileDataLS, 12);
        EXPECT_EQ(info.MinorFileDataLS, 13);
        EXPECT_EQ(info.FileFlags, c.flags);
        EXPECT_EQ(info.FileFlagsMask, c.mask);
        EXPECT_EQ(info.FileOS, c.os);
        EXPECT_EQ(info.IsFlagDebug, c.debug);
        EXPECT_EQ(info.IsFlagPreRelease, c.pre);
        EXPECT_EQ(info.IsFlagPatched, c.patched);
        EXPECT_EQ(info.IsFlagPrivateBuild, c.priv);
        EXPECT_EQ(info.IsFlagInfoinferred, c.inferred);
        EXPECT_EQ(info.IsFlagSpecialBuild, c.special);
        EXPECT_EQ(info.FileOSAsString, QString::fromLatin1(c.osName));
        EXPECT_EQ(info.FileTypeAsString, QString::fromLatin1(c.typeName));
        EXPECT_EQ(info.FileSubTypeAsString, QString::fromLatin1(c.subName));
    }
}

TEST(FileInfoTest, RefusesShortOrUnsignedBlocks)
{
    QByteArray good = handBlock(0, 0, 0, 0, 0);
    EXPECT_FALSE(DecodeVersionBlock(good.left(51)));
    good[0] = char(0xBC);
    EXPECT_FALSE(DecodeVersionBlock(good));
    EXPECT_FALSE(DecodeVersionBlock(QByteArray()));
}

TEST(FileInfoTest, OwnFileGivesBuildVersionOthersAndEmptyNameNothing)
{
    TFileInfo info;
    info.SetFileName(QCoreApplication::applicationFilePath());
    ASSERT_TRUE(info.IsVersionInfo);
    EXPECT_EQ(info.MajorFileVersionMS, ZK_VERSION_MAJOR);
    EXPECT_EQ(info.MinorFileVersionMS, ZK_VERSION_MINOR);
    EXPECT_EQ(info.MajorFileVersionLS, ZK_VERSION_RELEASE);
    EXPECT_EQ(info.MinorFileVersionLS, ZK_VERSION_BUILD);
    EXPECT_EQ(info.FileTypeAsString, "VFT_APP");

    // An empty name clears every value.
    info.SetFileName(QString());
    EXPECT_FALSE(info.IsVersionInfo);
    EXPECT_EQ(info.MajorFileVersionMS, 0);
    EXPECT_EQ(info.MinorFileVersionLS, 0);
    EXPECT_EQ(info.FileType, 0u);
    EXPECT_EQ(info.FileFlagsMask, 0u);
    EXPECT_TRUE(info.FileTypeAsString.isEmpty());
    EXPECT_TRUE(info.FileOSAsString.isEmpty());

    QTemporaryFile other;
    ASSERT_TRUE(other.open());
    other.write(handBlock(0x3F, 1, 4, 1, 0));
    other.flush();
    info.SetFileName(other.fileName());
    EXPECT_FALSE(info.IsVersionInfo);
    EXPECT_EQ(info.FileName(), other.fileName());
    info.SetFileName(QStringLiteral("/nonexistent/zk.exe"));
    EXPECT_FALSE(info.IsVersionInfo);
}
