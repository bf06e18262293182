#include "Options.h"

#include "Registry.h"

#include <QByteArray>
#include <QDebug>

#include <algorithm>
#include <cstring>

namespace zk {

QString CaptureSoundFile;

namespace {

#define ZK_FIELD_PTR(member) [](TZelkoraOptions &o) -> void * { return &o.member; }
#define ZK_BOOL(reg, member, def) \
    OptionField{reg, OptionType::Bool, 1, (def) ? 1 : 0, nullptr, true, 1, 0, ZK_FIELD_PTR(member)}
#define ZK_STR(reg, member, def) \
    OptionField{reg, OptionType::String, 0, 0, def, true, 1, 0, ZK_FIELD_PTR(member)}
#define ZK_NUM(kind, reg, member, def) \
    OptionField{reg, OptionType::kind, widthOf(OptionType::kind), def, nullptr, true, 1, 0, ZK_FIELD_PTR(member)}
#define ZK_IDX(kind, reg, member, def, lo, hi) \
    OptionField{reg, OptionType::kind, widthOf(OptionType::kind), def, nullptr, true, lo, hi, ZK_FIELD_PTR(member)}
// Fields that the first run leaves in the zero state.
#define ZK_ZERO(kind, reg, member) \
    OptionField{reg, OptionType::kind, widthOf(OptionType::kind), 0, "", false, 1, 0, ZK_FIELD_PTR(member)}

constexpr int widthOf(OptionType t)
{
    switch (t) {
    case OptionType::Bool: return 1;
    case OptionType::Byte: return 1;
    case OptionType::Word: return 2;
    case OptionType::Int: return 4;
    case OptionType::String: return 0;
    case OptionType::Bytes9: return 9;
    }
    return 0;
}

// name, type, width, default, valid range: one line per stored field, in the
// record's order.
constexpr OptionField kTable[] = {
    ZK_BOOL("PersSave", PersSave, false),
    ZK_STR("OutDir", OutDir, ""),
    ZK_IDX(Byte, "FileTyp", FileTyp, 0, 0, 9),
    ZK_STR("FileName", FileName, ""),
    ZK_BOOL("AutoWinSize", AutoWinSize, false),
    ZK_ZERO(Bool, "DocCenter", DocCenter),
    ZK_BOOL("Stretch", Stretch, false),
    ZK_BOOL("AutoWinCenter", AutoWinCenter, false),
    ZK_BOOL("AutoSysStart", AutoSysStart, false),
    ZK_BOOL("TrayStart", TrayStart, false),
    ZK_NUM(Int, "ScanDelay", ScanDelay, 240),
    ZK_BOOL("TnaUse", TnaUse, true),
    ZK_BOOL("StatBar", StatBar, true),
    ZK_IDX(Byte, "BackColr", BackColr, 1, 0, 11),
    ZK_IDX(Byte, "HK1", HK1, 0, 0, 14),
    ZK_IDX(Byte, "HK2", HK2, 2, 0, 14),
    ZK_IDX(Byte, "HK3", HK3, 3, 0, 14),
    ZK_IDX(Byte, "HK4", HK4, 4, 0, 14),
    ZK_IDX(Byte, "HK5", HK5, 5, 0, 14),
    ZK_IDX(Byte, "HK6", HK6, 1, 0, 14),
    ZK_BOOL("SysKeys", SysKeys, true),
    ZK_IDX(Byte, "VType", VType, 0, 0, 1),
    ZK_STR("ImgPath", ImgPath, "/"),
    ZK_ZERO(String, "ExtProgPath", ExtProgPath),
    ZK_IDX(Byte, "ShapeColorBg", ShapeColorBg, 1, 0, 11),
    ZK_BOOL("Loupe", Loupe, true),
    ZK_IDX(Byte, "ScanTool", ScanTool, 0, 0, 12),
    ZK_NUM(Int, "LFaktor", LFaktor, 1),
    ZK_BOOL("EndDlg", EndDlg, true),
    ZK_IDX(Byte, "SBorder", SBorder, 0, 0, 1),
    ZK_IDX(Byte, "SBForce", SBForce, 0, 0, 2),
    ZK_BOOL("Intro", Intro, false),
    ZK_ZERO(Bool, "FilledShape", FilledShape),
    ZK_BOOL("SaveHist", SaveHist, true),
    ZK_BOOL("WithZelkoraWin", WithZelkoraWin, false),
    ZK_IDX(Byte, "ScanDest", ScanDest, 0, 0, 1),
    ZK_NUM(Byte, "ScanPerSec", ScanPerSec, 0),
    ZK_NUM(Word, "TimeScanCount", TimeScanCount, 5),
    ZK_BOOL("PrintScan", PrintScan, false),
    ZK_ZERO(Bool, "FocusMode", FocusMode),
    ZK_BOOL("OAsBmp", OAsBmp, true),
    ZK_BOOL("MinAScan", MinAScan, false),
    ZK_BOOL("SCross", SCross, true),
    ZK_STR("Script", Script, ""),
    ZK_STR("PrintText", PrintText, ""),
    ZK_BOOL("PrintDate", PrintDate, false),
    ZK_BOOL("PrintTime", PrintTime, false),
    ZK_BOOL("PrintUser", PrintUser, false),
    ZK_STR("PrTextFont", PrTextFont, "Arial"),
    ZK_NUM(Int, "PrTextGrFont", PrTextGrFont, 10),
    ZK_IDX(Byte, "PrPrintDocAlign", PrPrintDocAlign, 0, 0, 1),
    ZK_IDX(Byte, "PrGraphicAlign", PrGraphicAlign, 0, 0, 1),
    ZK_BOOL("Trans", Trans, false),
    ZK_IDX(Byte, "Language", Language, 0, 0, 4),
    ZK_BOOL("FileExp", FileExp, true),
    ZK_BOOL("ScanSound", ScanSound, true),
    ZK_BOOL("XPMenStyle", XPMenStyle, false),
    ZK_IDX(Byte, "VdoPixVal", VdoPixVal, 1, 0, 4),
    ZK_IDX(Byte, "GifComp", GifComp, 0, 0, 1),
    ZK_IDX(Byte, "GifDith", GifDith, 0, 0, 1),
    ZK_NUM(Byte, "GifColOpt", GifColOpt, 0),
    ZK_BOOL("XPContrStyle", XPContrStyle, false),
    ZK_BOOL("ImgWithMouse", ImgWithMouse, false),
    ZK_IDX(Byte, "JpgPixelFormat", JpgPixelFormat, 0, 0, 1),
    ZK_IDX(Byte, "JpgColr", JpgColr, 0, 0, 1),
    ZK_IDX(Byte, "JpgPerformance", JpgPerformance, 0, 0, 1),
    ZK_BOOL("JpgEncoding", JpgEncoding, false),
    ZK_BOOL("JpgIncDisplay", JpgIncDisplay, false),
    ZK_BOOL("JpgCompress", JpgCompress, false),
    ZK_BOOL("OnceCellStatbar", OnceCellStatbar, false),
    ZK_BOOL("CtrlScanInStatbar", CtrlScanInStatbar, false),
    ZK_STR("TmpAviPath", TmpAviPath, ""),
    ZK_BOOL("TmpAviDel", TmpAviDel, true),
    ZK_IDX(Byte, "AviFrameInit", AviFrameInit, 1, 0, 1),
    ZK_NUM(Int, "AviFramePerSec", AviFramePerSec, 10),
    ZK_IDX(Byte, "BmpPixForm", BmpPixForm, 6, 0, 7),
    ZK_BOOL("BmpMonochrome", BmpMonochrome, false),
    ZK_BOOL("AviStretch", AviStretch, false),
    ZK_BOOL("MoveGrabber", MoveGrabber, false),
    ZK_BOOL("AVICopyDir", AVICopyDir, false),
    ZK_STR("AviCopyPath", AviCopyPath, ""),
    ZK_NUM(Int, "AviTimerIntrv", AviTimerIntrv, 1000),
    ZK_BOOL("StatBarHints", StatBarHints, true),
    ZK_IDX(Int, "HotkeyCursor", HotkeyCursor, 1, 1, 20),
    ZK_BOOL("NoAviTimerSound", NoAviTimerSound, false),
    ZK_ZERO(Bytes9, "ShellExtAr", ShellExtAr),
    ZK_BOOL("IsAutoincFileName", IsAutoincFileName, true),
    ZK_BOOL("IsDateTimeToFile", IsDateTimeToFile, false),
    ZK_BOOL("IsManualInputFile", IsManualInputFile, false),
    ZK_BOOL("ScanToClipboard", ScanToClipboard, false),
    ZK_IDX(Byte, "SoundFileNr", SoundFileNr, 1, 0, 9),
    ZK_BOOL("ExtGrafikEditor", ExtGrafikEditor, false),
    ZK_STR("ExtGrEdtPath", ExtGrEdtPath, ""),
    ZK_BOOL("HotkeyOutputExtern", HotkeyOutputExtern, false),
    ZK_BOOL("ControlHints", ControlHints, true),
    ZK_BOOL("CursorHint", CursorHint, true),
    ZK_BOOL("ZKVisAScan", ZKVisAScan, false),
    ZK_BOOL("IEShellEntrys", IEShellEntrys, true),
    ZK_STR("GUID", GUID, ""),
    ZK_BOOL("MagneticFE", MagneticFE, true),
    ZK_BOOL("DelLastTextscanResult", DelLastTextscanResult, false),
    ZK_BOOL("ShowOnlyGraphTypes", ShowOnlyGraphTypes, false),
    ZK_BOOL("AnimMin", AnimMin, false),
    ZK_NUM(Byte, "AnimCount", AnimCount, 1),
    ZK_BOOL("ExpDimParts", ExpDimParts, true),
    ZK_IDX(Byte, "MailService", MailService, 0, 0, 2),
    ZK_BOOL("GraphicAsAttach", GraphicAsAttach, true),
    ZK_BOOL("AttachDir", AttachDir, false),
    ZK_IDX(Byte, "AttachType", AttachType, 1, 0, 1),
    ZK_STR("SmtpHost", Smtp.Host, ""),
    ZK_STR("SmtpUserID", Smtp.UserID, ""),
    ZK_STR("SmtpMailFrom", Smtp.MailFrom, ""),
    ZK_STR("SmtpMailTo", Smtp.MailTo, ""),
    ZK_STR("SmtpCopy", Smtp.Copy, ""),
    ZK_STR("SmtpBCopy", Smtp.BlindCopy, ""),
    ZK_STR("SmtpBody", Smtp.Body, ""),
    ZK_STR("SmtpSubject", Smtp.Subject, ""),
    ZK_STR("MapiMailTo", Mapi.MailTo, ""),
    ZK_STR("MapiSubject", Mapi.Subject, "Zelkora 5.0 - Screenshot"),
    ZK_STR("MapiBody", Mapi.Body, "Guten Tag,"),
    ZK_BOOL("FSClosedClick", FSClosedClick, false),
    ZK_NUM(Byte, "CRLineWidth", CRLineWidth, 1),
    ZK_BOOL("CRDotLine", CRDotLine, true),
    ZK_IDX(Byte, "CRLineColr", CRLineColr, 2, 0, 11),
    ZK_BOOL("CoordHint", CoordHint, false),
    ZK_NUM(Byte, "PrGrBorderWidth", PrGrBorderWidth, 1),
    ZK_NUM(Int, "PrPrinterIndex", PrPrinterIndex, 0),
    ZK_BOOL("PrPrevMaxStart", PrPrevMaxStart, true),
    ZK_NUM(Byte, "TxtPenWidth", TxtPenWidth, 10),
    ZK_IDX(Byte, "TxtPenColr", TxtPenColr, 2, 0, 11),
    ZK_STR("FontName", FontName, "MS Sans Serif"),
    ZK_BOOL("AttachZipped", AttachZipped, false),
};

#undef ZK_FIELD_PTR
#undef ZK_BOOL
#undef ZK_STR
#undef ZK_NUM
#undef ZK_IDX
#undef ZK_ZERO

// The order in which the values are read from the store.
constexpr std::string_view kLoadNames[] = {
    "PersSave", "AutoWinSize", "AutoWinCenter", "AutoSysStart", "TnaUse", "SysKeys", "EndDlg",
    "Loupe", "Stretch", "FilledShape", "SaveHist", "WithZelkoraWin", "DocCenter", "PrintScan",
    "FocusMode", "OAsBmp", "MinAScan", "SCross", "Trans", "PrintDate", "PrintTime", "PrintUser",
    "TmpAviDel", "StatBarHints", "FileExp", "ScanSound", "XPMenStyle", "XPContrStyle",
    "ImgWithMouse", "Intro", "MoveGrabber", "JpgEncoding", "JpgIncDisplay", "OnceCellStatbar",
    "StatBar", "CtrlScanInStatbar", "AviStretch", "ExtGrafikEditor", "BmpPixForm",
    "BmpMonochrome", "NoAviTimerSound", "IsAutoincFileName", "IsDateTimeToFile",
    "ScanToClipboard", "IsManualInputFile", "HotkeyOutputExtern", "ControlHints", "CursorHint",
    "IEShellEntrys", "MagneticFE", "AVICopyDir", "ZKVisAScan", "DelLastTextscanResult",
    "ShowOnlyGraphTypes", "AnimMin", "ExpDimParts", "FSClosedClick", "CRDotLine", "CoordHint",
    "TrayStart", "GraphicAsAttach", "AttachDir", "PrPrevMaxStart", "AttachZipped", "AnimCount",
    "ShellExtAr", "GifComp", "GifDith", "GifColOpt", "JpgPixelFormat", "JpgColr",
    "JpgPerformance", "JpgCompress", "FileTyp", "ScanDelay", "BackColr", "HK1", "HK2", "HK3",
    "HK4", "HK5", "HK6", "VType", "ShapeColorBg", "ScanTool", "AviFramePerSec", "LFaktor",
    "SBorder", "SBForce", "ScanDest", "ScanPerSec", "TimeScanCount", "AviFrameInit",
    "PrTextGrFont", "Language", "VdoPixVal", "SoundFileNr", "AviTimerIntrv", "HotkeyCursor",
    "MailService", "AttachType", "CRLineWidth", "CRLineColr", "PrGraphicAlign",
    "PrPrintDocAlign", "PrGrBorderWidth", "PrPrinterIndex", "TxtPenWidth", "TxtPenColr",
    "OutDir", "FileName", "ImgPath", "ExtProgPath", "Script", "PrintText", "PrTextFont",
    "TmpAviPath", "AviCopyPath", "GUID", "ExtGrEdtPath", "SmtpHost", "SmtpUserID",
    "SmtpMailFrom", "SmtpMailTo", "SmtpCopy", "SmtpBCopy", "SmtpBody", "SmtpSubject",
    "MapiMailTo", "MapiSubject", "MapiBody", "FontName",
};

// The order in which they are written: the view switches are left out (the
// main window writes them on its own when it closes).
constexpr std::string_view kSaveNames[] = {
    "PersSave", "TnaUse", "StatBar", "AutoWinSize", "AutoWinCenter", "AutoSysStart", "Loupe",
    "SysKeys", "Intro", "FilledShape", "SaveHist", "WithZelkoraWin", "PrintDate", "PrintTime",
    "PrintUser", "XPContrStyle", "ImgWithMouse", "PrintScan", "OAsBmp", "MinAScan", "SCross",
    "FileExp", "ScanSound", "XPMenStyle", "JpgEncoding", "JpgIncDisplay", "OnceCellStatbar",
    "CtrlScanInStatbar", "TmpAviDel", "EndDlg", "BmpMonochrome", "AviStretch", "MoveGrabber",
    "NoAviTimerSound", "IsAutoincFileName", "IsDateTimeToFile", "ScanToClipboard",
    "IsManualInputFile", "ExtGrafikEditor", "HotkeyOutputExtern", "ControlHints", "CursorHint",
    "IEShellEntrys", "MagneticFE", "AVICopyDir", "StatBarHints", "ZKVisAScan",
    "DelLastTextscanResult", "ShowOnlyGraphTypes", "ExpDimParts", "JpgCompress", "CoordHint",
    "AttachZipped", "ShellExtAr", "BmpPixForm", "BackColr", "HK1", "HK2", "HK3", "HK4", "HK5",
    "HK6", "VType", "FileTyp", "ScanDelay", "ScanDest", "ScanPerSec", "TimeScanCount",
    "SBorder", "SBForce", "ShapeColorBg", "ScanTool", "LFaktor", "GifComp", "GifDith",
    "GifColOpt", "JpgPixelFormat", "JpgColr", "JpgPerformance", "PrTextGrFont", "Language",
    "AviFrameInit", "VdoPixVal", "AviFramePerSec", "AviTimerIntrv", "HotkeyCursor",
    "SoundFileNr", "AnimCount", "MailService", "AttachType", "CRLineWidth", "CRLineColr",
    "PrGraphicAlign", "PrPrintDocAlign", "PrGrBorderWidth", "PrPrinterIndex", "TxtPenWidth",
    "TxtPenColr", "PrTextFont", "OutDir", "FileName", "ImgPath", "ExtProgPath", "Script",
    "PrintText", "TmpAviPath", "ExtGrEdtPath", "AviCopyPath", "GUID", "TrayStart", "AnimMin",
    "GraphicAsAttach", "AttachDir", "FSClosedClick", "CRDotLine", "PrPrevMaxStart", "SmtpHost",
    "SmtpUserID", "SmtpMailFrom", "SmtpMailTo", "SmtpCopy", "SmtpBCopy", "SmtpBody",
    "SmtpSubject", "MapiMailTo", "MapiSubject", "MapiBody", "FontName",
};

constexpr std::string_view kViewSwitches[] = {"Loupe", "Stretch", "DocCenter", "FocusMode", "Trans"};

constexpr char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

constexpr bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

constexpr int tableIndex(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(kTable); ++i)
        if (sameName(kTable[i].name, name))
            return int(i);
    return -1;
}

template <std::size_t N>
constexpr std::array<int, N> indicesOf(const std::string_view (&names)[N])
{
    std::array<int, N> out{};
    for (std::size_t i = 0; i < N; ++i)
        out[i] = tableIndex(names[i]);
    return out;
}

template <std::size_t N>
constexpr bool allKnownAndUnique(const std::array<int, N> &idx)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (idx[i] < 0)
            return false;
        for (std::size_t j = 0; j < i; ++j)
            if (idx[i] == idx[j])
                return false;
    }
    return true;
}

constexpr auto kLoadIdx = indicesOf(kLoadNames);
constexpr auto kSaveIdx = indicesOf(kSaveNames);
constexpr auto kViewIdx = indicesOf(kViewSwitches);

// The store holds exactly the table: every field is read, every field but the
// four close-time switches is saved, and no name is misspelt.
static_assert(std::size(kTable) == 132);
static_assert(kLoadIdx.size() == 132 && allKnownAndUnique(kLoadIdx));
static_assert(kSaveIdx.size() == 128 && allKnownAndUnique(kSaveIdx));
static_assert(allKnownAndUnique(kViewIdx));
static_assert([] {
    for (int v : kViewIdx) {
        int inSave = 0;
        for (int s : kSaveIdx)
            inSave += s == v;
        // Loupe is both in the full save and among the view switches.
        if (inSave != (v == tableIndex("Loupe") ? 1 : 0))
            return false;
    }
    return true;
}());

std::int64_t intValue(const OptionField &f, const TZelkoraOptions &o)
{
    // The accessor only hands out the address; nothing is written through it here.
    void *p = f.field(const_cast<TZelkoraOptions &>(o));
    switch (f.type) {
    case OptionType::Bool: return *static_cast<bool *>(p) ? 1 : 0;
    case OptionType::Byte: return *static_cast<std::uint8_t *>(p);
    case OptionType::Word: return *static_cast<std::uint16_t *>(p);
    case OptionType::Int: return *static_cast<std::int32_t *>(p);
    case OptionType::String:
    case OptionType::Bytes9: break;
    }
    return 0;
}

void setInt(const OptionField &f, TZelkoraOptions &o, std::int64_t v)
{
    void *p = f.field(o);
    switch (f.type) {
    case OptionType::Bool: *static_cast<bool *>(p) = v != 0; break;
    case OptionType::Byte: *static_cast<std::uint8_t *>(p) = std::uint8_t(v & 0xFF); break;
    case OptionType::Word: *static_cast<std::uint16_t *>(p) = std::uint16_t(v & 0xFFFF); break;
    case OptionType::Int: *static_cast<std::int32_t *>(p) = std::int32_t(v); break;
    case OptionType::String:
    case OptionType::Bytes9: break;
    }
}

void setDefault(const OptionField &f, TZelkoraOptions &o)
{
    switch (f.type) {
    case OptionType::String:
        *static_cast<QString *>(f.field(o)) = f.hasDefault ? QString::fromUtf8(f.defString) : QString();
        break;
    case OptionType::Bytes9:
        static_cast<std::array<std::uint8_t, 9> *>(f.field(o))->fill(0);
        break;
    default:
        setInt(f, o, f.hasDefault ? f.defInt : 0);
        break;
    }
}

// One value from the open key into its field. A value that is missing or has
// another type gives the field's default, so one damaged value cannot spoil
// the values after it.
void readField(const TRegistry &reg, const OptionField &f, TZelkoraOptions &o)
{
    const QString name = QString::fromLatin1(f.name.data(), qsizetype(f.name.size()));
    try {
        const RegDataType t = reg.GetDataType(name);
        switch (f.type) {
        case OptionType::Bool:
        case OptionType::Byte:
        case OptionType::Word:
        case OptionType::Int:
            if (t != RegDataType::Integer)
                break;
            if (f.type == OptionType::Bool)
                setInt(f, o, reg.ReadBool(name) ? 1 : 0);
            else
                setInt(f, o, reg.ReadInteger(name));
            return;
        case OptionType::String:
            if (t != RegDataType::String && t != RegDataType::ExpandString)
                break;
            *static_cast<QString *>(f.field(o)) = reg.ReadString(name);
            return;
        case OptionType::Bytes9: {
            if (t != RegDataType::Binary)
                break;
            auto *bytes = static_cast<std::array<std::uint8_t, 9> *>(f.field(o));
            bytes->fill(0);
            reg.ReadBinaryData(name, bytes->data(), int(bytes->size()));
            return;
        }
        }
        // There, but of another type: the next save replaces it, so the file
        // as it was is kept first and the user told.
        if (t != RegDataType::Unknown) {
            qWarning().noquote() << QStringLiteral("The option \"%1\" is stored with another type; its default is used")
                                        .arg(name);
            MarkStoreDamaged(reg.rootKey());
        }
    } catch (const ERegistryException &) {
        // fall through to the default
    }
    setDefault(f, o);
}

void writeField(TRegistry &reg, const OptionField &f, const TZelkoraOptions &o)
{
    const QString name = QString::fromLatin1(f.name.data(), qsizetype(f.name.size()));
    switch (f.type) {
    case OptionType::Bool:
        reg.WriteBool(name, intValue(f, o) != 0);
        break;
    case OptionType::Byte:
    case OptionType::Word:
    case OptionType::Int:
        reg.WriteInteger(name, std::int32_t(intValue(f, o)));
        break;
    case OptionType::String:
        reg.WriteString(name, *static_cast<const QString *>(f.field(const_cast<TZelkoraOptions &>(o))));
        break;
    case OptionType::Bytes9: {
        const auto *bytes = static_cast<const std::array<std::uint8_t, 9> *>(
            f.field(const_cast<TZelkoraOptions &>(o)));
        reg.WriteBinaryData(name, bytes->data(), int(bytes->size()));
        break;
    }
    }
}

template <std::size_t N>
std::span<const std::string_view> asSpan(const std::string_view (&names)[N])
{
    return {names, N};
}

} // namespace

std::span<const OptionField> OptionTable()
{
    return {kTable, std::size(kTable)};
}

const OptionField *FindOptionField(std::string_view name)
{
    const int i = tableIndex(name);
    return i < 0 ? nullptr : &kTable[i];
}

std::span<const std::string_view> OptionLoadOrder() { return asSpan(kLoadNames); }
std::span<const std::string_view> OptionSaveOrder() { return asSpan(kSaveNames); }
std::span<const std::string_view> OptionViewSwitches() { return asSpan(kViewSwitches); }

void SetDefaultOptions(TZelkoraOptions &options)
{
    for (const OptionField &f : kTable)
        if (f.hasDefault)
            setDefault(f, options);
    options.TimeScanRunning = false;
}

std::int64_t OptionIntValue(const OptionField &field, const TZelkoraOptions &options)
{
    return intValue(field, options);
}

void SetOptionIntValue(const OptionField &field, TZelkoraOptions &options, std::int64_t value)
{
    setInt(field, options, value);
}

int UsableIndex(const TZelkoraOptions &options, std::string_view name)
{
    const OptionField *f = FindOptionField(name);
    if (!f || f->type == OptionType::String || f->type == OptionType::Bytes9)
        return 0;
    const std::int64_t v = intValue(*f, options);
    if (f->rangeMin <= f->rangeMax && (v < f->rangeMin || v > f->rangeMax))
        return int(f->defInt);
    return int(v);
}

bool OptionsStore::Load(TZelkoraOptions &options)
{
    options.TimeScanRunning = false;
    // The record is read from one look at the file, not a look per value.
    TRegistryBatch oneLook(RootKey::CurrentUser);
    TRegistry reg(RootKey::CurrentUser);
    bool opened = false;
    try {
        opened = reg.OpenKey(QString::fromLatin1(KeyPath), false);
    } catch (const ERegistryException &) {
        opened = false;
    }
    if (!opened) {
        SetDefaultOptions(options);
        return false;
    }
    for (int i : kLoadIdx)
        readField(reg, kTable[i], options);
    reg.CloseKey();
    return true;
}

bool OptionsStore::Save(const TZelkoraOptions &options)
{
    // One update of the store file for all 128 values, not one per value.
    TRegistryBatch batch(RootKey::CurrentUser);
    bool ok = true;
    {
        TRegistry reg(RootKey::CurrentUser);
        try {
            if (!reg.OpenKey(QString::fromLatin1(KeyPath), true))
                return false;
            for (int i : kSaveIdx)
                writeField(reg, kTable[i], options);
        } catch (const ERegistryException &) {
            ok = false; // the values written before the failure are kept
        }
        reg.CloseKey();
    }
    try {
        batch.Commit();
    } catch (const ERegistryException &) {
        ok = false;
    }
    return ok;
}

bool OptionsStore::WriteOptionBool(const QString &name, bool value, QString *error)
{
    TRegistry reg(RootKey::CurrentUser);
    try {
        if (!reg.OpenKey(QString::fromLatin1(KeyPath), true)) {
            if (error)
                *error = QStringLiteral("cannot open %1").arg(QString::fromLatin1(KeyPath));
            return false;
        }
        reg.WriteBool(name, value);
    } catch (const ERegistryException &e) {
        if (error)
            *error = e.message();
        return false;
    }
    reg.CloseKey();
    return true;
}

QString FileTypeExt(int index)
{
    static const char *const exts[] = {".bmp", ".jpg", ".gif", ".wmf", ".emf", ".ico", ".zkg", ".tif", ".png"};
    if (index < 0 || index >= int(std::size(exts)))
        return QStringLiteral("ftUndefine");
    return QString::fromLatin1(exts[index]);
}

void SelectSoundFile(int index)
{
    if (index < 0 || index > 9)
        return;
    if (index == 0)
        CaptureSoundFile = QStringLiteral("Templates/camera.snd");
    else if (index == 1)
        CaptureSoundFile = QStringLiteral("Templates/camera.wav");
    else
        CaptureSoundFile = QStringLiteral("Templates/camera%1.wav").arg(index);
}

} // namespace zk
