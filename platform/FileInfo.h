#pragma once
// The version block of a program file: the 52-byte fixed part of a version
// resource (thirteen little-endian 32-bit words, opened by 0xFEEF04BD) and
// the component that shows its values.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace zk {

struct TFixedVersionBlock {
    std::uint32_t Signature = 0;
    std::uint32_t StructVersion = 0;
    std::uint32_t FileVersionHigh = 0, FileVersionLow = 0;
    std::uint32_t ProductVersionHigh = 0, ProductVersionLow = 0;
    std::uint32_t FlagsMask = 0, Flags = 0;
    std::uint32_t OS = 0, Type = 0, SubType = 0;
    std::uint32_t DateHigh = 0, DateLow = 0;
};

constexpr std::uint32_t kVersionBlockSignature = 0xFEEF04BDu;
constexpr int kVersionBlockSize = 52;

// The block at the start of `data`; nothing when it is shorter than 52 bytes
// or the signature is wrong.
std::optional<TFixedVersionBlock> DecodeVersionBlock(const QByteArray &data);
// The 52 bytes of a block (what the program's own file reports, and tests).
QByteArray EncodeVersionBlock(const TFixedVersionBlock &block);

// The names of the version-resource constants; empty for other values.
QString VersionOSName(std::uint32_t os);
QString VersionTypeName(std::uint32_t type);
// Sub-types have names for drivers and fonts only.
QString VersionSubTypeName(std::uint32_t type, std::uint32_t subType);

// Reads the fixed version block of a file. The program's own file gives the
// version it was built with; other files give nothing (no block).
class TFileInfo
{
public:
    QString FileName() const { return m_fileName; }
    void SetFileName(const QString &name);
    // Fills every value from a block, as reading a file with one does.
    void SetBlock(const TFixedVersionBlock &block);

    bool IsVersionInfo = false;
    std::uint16_t MajorFileVersionMS = 0, MinorFileVersionMS = 0;
    std::uint16_t MajorFileVersionLS = 0, MinorFileVersionLS = 0;
    std::uint16_t MajorProductVersionMS = 0, MinorProductVersionMS = 0;
    std::uint16_t MajorProductVersionLS = 0, MinorProductVersionLS = 0;
    std::uint16_t MajorFileDataMS = 0, MinorFileDataMS = 0;
    std::uint16_t MajorFileDataLS = 0, MinorFileDataLS = 0;
    std::uint32_t FileType = 0, FileSubType = 0, FileOS = 0, FileFlagsMask = 0, FileFlags = 0;
    bool IsFlagDebug = false, IsFlagPreRelease = false, IsFlagPatched = false;
    bool IsFlagPrivateBuild = false, IsFlagInfoinferred = false, IsFlagSpecialBuild = false;
    QString FileOSAsString, FileTypeAsString, FileSubTypeAsString;

    // The block this build reports for its own file.
    static TFixedVersionBlock OwnVersionBlock();

private:
    void reset();
    QString m_fileName;
};

} // namespace zk
