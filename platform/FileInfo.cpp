#include "FileInfo.h"

#include "LeBytes.h"
#include "PeResources.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace zk {

std::optional<TFixedVersionBlock> DecodeVersionBlock(const QByteArray &data)
{
    if (data.size() < kVersionBlockSize)
        return std::nullopt;
    const auto *p = reinterpret_cast<const unsigned char *>(data.constData());
    std::uint32_t w[13];
    for (int i = 0; i < 13; ++i)
        w[i] = rdU32(p + 4 * i);
    if (w[0] != kVersionBlockSignature)
        return std::nullopt;
    TFixedVersionBlock b;
    b.Signature = w[0];
    b.StructVersion = w[1];
    b.FileVersionHigh = w[2];
    b.FileVersionLow = w[3];
    b.ProductVersionHigh = w[4];
    b.ProductVersionLow = w[5];
    b.FlagsMask = w[6];
    b.Flags = w[7];
    b.OS = w[8];
    b.Type = w[9];
    b.SubType = w[10];
    b.DateHigh = w[11];
    b.DateLow = w[12];
    return b;
}

QByteArray EncodeVersionBlock(const TFixedVersionBlock &b)
{
    QByteArray out;
    for (std::uint32_t v : {b.Signature, b.StructVersion, b.FileVersionHigh, b.FileVersionLow, b.ProductVersionHigh,
                            b.ProductVersionLow, b.FlagsMask, b.Flags, b.OS, b.Type, b.SubType, b.DateHigh,
                            b.DateLow})
        wrU32(out, v);
    return out;
}

QString VersionOSName(std::uint32_t os)
{
    switch (os) {
    case 0: return QStringLiteral("VOS_UNKNOWN");
    case 1: return QStringLiteral("VOS__WINDOWS16");
    case 2: return QStringLiteral("VOS__PM16");
    case 3: return QStringLiteral("VOS__PM32");
    case 4: return QStringLiteral("VOS__WINDOWS32");
    case 0x10000: return QStringLiteral("VOS_DOS");
    case 0x10001: return QStringLiteral("VOS_DOS_WINDOWS16");
    case 0x10004: return QStringLiteral("VOS_DOS_WINDOWS32");
    case 0x20000: return QStringLiteral("VOS_OS216");
    case 0x20002: return QStringLiteral("VOS_OS216_PM16");
    case 0x30000: return QStringLiteral("VOS_OS232");
    case 0x30003: return QStringLiteral("VOS_OS232_PM32");
    case 0x40000: return QStringLiteral("VOS_NT");
    case 0x40004: return QStringLiteral("VOS_NT_WINDOWS32");
    default: return {};
    }
}

QString VersionTypeName(std::uint32_t type)
{
    switch (type) {
    case 0: return QStringLiteral("VFT_UNKNOWN");
    case 1: return QStringLiteral("VFT_APP");
    case 2: return QStringLiteral("VFT_DLL");
    case 3: return QStringLiteral("VFT_DRV");
    case 4: return QStringLiteral("VFT_FONT");
    case 5: return QStringLiteral("VFT_VXD");
    case 7: return QStringLiteral("VFT_STATIC_LIB");
    default: return {};
    }
}

QString VersionSubTypeName(std::uint32_t type, std::uint32_t subType)
{
    static const char *const drivers[] = {"VFT2_UNKNOWN",      "VFT2_DRV_PRINTER", "VFT2_DRV_KEYBOARD",
                                          "VFT2_DRV_LANGUAGE", "VFT2_DRV_DISPLAY", "VFT2_DRV_MOUSE",
                                          "VFT2_DRV_NETWORK",  "VFT2_DRV_SYSTEM",  "VFT2_DRV_INSTALLABLE",
                                          "VFT2_DRV_SOUND",    "VFT2_DRV_COMM"};
    static const char *const fonts[] = {nullptr, "VFT2_FONT_RASTER", "VFT2_FONT_VECTOR", "VFT2_FONT_TRUETYPE"};
    if (type == 3 && subType < std::size(drivers))
        return QString::fromLatin1(drivers[subType]);
    if (type == 4 && subType < std::size(fonts) && fonts[subType])
        return QString::fromLatin1(fonts[subType]);
    return {};
}

void TFileInfo::reset()
{
    const QString name = m_fileName;
    *this = TFileInfo();
    m_fileName = name;
}

void TFileInfo::SetFileName(const QString &name)
{
    m_fileName = name;
    reset();
    if (name.isEmpty() || !QFileInfo::exists(name))
        return;
    const QString own = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    if (!own.isEmpty() && QFileInfo(name).canonicalFilePath() == own) {
        if (const auto block = DecodeVersionBlock(EncodeVersionBlock(OwnVersionBlock())))
            SetBlock(*block);
        return;
    }
    // A Windows program carries its block in its resources; the file is
    // mapped, not read, so a large one costs nothing until touched.
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 64)
        return;
    uchar *mapped = file.map(0, file.size());
    if (!mapped)
        return;
    const QByteArray image = QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), qsizetype(file.size()));
    if (const auto bytes = PeFixedVersionBytes(image))
        if (const auto block = DecodeVersionBlock(*bytes))
            SetBlock(*block);
    file.unmap(mapped);
}

void TFileInfo::SetBlock(const TFixedVersionBlock &b)
{
    const auto hi = [](std::uint32_t v) { return std::uint16_t(v >> 16); };
    const auto lo = [](std::uint32_t v) { return std::uint16_t(v & 0xFFFF); };
    MajorFileVersionMS = hi(b.FileVersionHigh);
    MinorFileVersionMS = lo(b.FileVersionHigh);
    MajorFileVersionLS = hi(b.FileVersionLow);
    MinorFileVersionLS = lo(b.FileVersionLow);
    MajorProductVersionMS = hi(b.ProductVersionHigh);
    MinorProductVersionMS = lo(b.ProductVersionHigh);
    MajorProductVersionLS = hi(b.ProductVersionLow);
    MinorProductVersionLS = lo(b.ProductVersionLow);
    MajorFileDataMS = hi(b.DateHigh);
    MinorFileDataMS = lo(b.DateHigh);
    MajorFileDataLS = hi(b.DateLow);
    MinorFileDataLS = lo(b.DateLow);
    FileOS = b.OS;
    FileType = b.Type;
    FileSubType = b.SubType;
    FileFlagsMask = b.FlagsMask;
    FileFlags = b.Flags;
    const std::uint32_t set = b.Flags & b.FlagsMask;
    IsFlagDebug = set & 0x01;
    IsFlagPreRelease = set & 0x02;
    IsFlagPatched = set & 0x04;
    IsFlagPrivateBuild = set & 0x08;
    IsFlagInfoinferred = set & 0x10;
    IsFlagSpecialBuild = set & 0x20;
    FileOSAsString = VersionOSName(FileOS);
    FileTypeAsString = VersionTypeName(FileType);
    FileSubTypeAsString = VersionSubTypeName(FileType, FileSubType);
    IsVersionInfo = true;
}

TFixedVersionBlock TFileInfo::OwnVersionBlock()
{
    TFixedVersionBlock b;
    b.Signature = kVersionBlockSignature;
    b.StructVersion = 0x00010000;
    b.FileVersionHigh = (std::uint32_t(ZK_VERSION_MAJOR) << 16) | std::uint32_t(ZK_VERSION_MINOR);
    b.FileVersionLow = (std::uint32_t(ZK_VERSION_RELEASE) << 16) | std::uint32_t(ZK_VERSION_BUILD);
    b.ProductVersionHigh = b.FileVersionHigh;
    b.ProductVersionLow = b.FileVersionLow;
    b.FlagsMask = 0x3F;
    b.Type = 1; // an application
    return b;
}

} // namespace zk
