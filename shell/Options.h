#pragma once
// The program's settings record and its store under
// HKCU\Software\Tarvendo\Zelkora\5.0\Options.
//
// Every stored field is declared once, in OptionTable(): registry name, type,
// width, default and (for indices) the valid range. Loading, saving, the
// first-run defaults and the settings dialog all walk that table, so a field
// cannot be forgotten in one of them. Loading and saving keep their own
// historical value orders (kept as name lists checked against the table at
// compile time), because the order of the values in the store is what older
// copies of the program wrote.
#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zk {

struct TSmtpConfig
{
    QString Host;
    QString UserID;
    QString MailFrom;
    QString MailTo;
    QString Copy;
    QString BlindCopy;
    QString Body;
    QString Subject;
};

struct TMapiConfig
{
    QString MailTo;
    QString Subject;
    QString Body;
};

// A new record is in the zero state (false, 0, empty) that a fresh main window
// has before LoadOptions runs.
struct TZelkoraOptions
{
    bool PersSave = false;
    QString OutDir;
    std::uint8_t FileTyp = 0;
    QString FileName;
    bool AutoWinSize = false;
    bool DocCenter = false;
    bool Stretch = false;
    bool AutoWinCenter = false;
    bool AutoSysStart = false;
    bool TrayStart = false;
    std::int32_t ScanDelay = 0;
    bool TnaUse = false;
    bool StatBar = false;
    std::uint8_t BackColr = 0;
    std::uint8_t HK1 = 0;
    std::uint8_t HK2 = 0;
    std::uint8_t HK3 = 0;
    std::uint8_t HK4 = 0;
    std::uint8_t HK5 = 0;
    std::uint8_t HK6 = 0;
    bool SysKeys = false;
    std::uint8_t VType = 0;
    QString ImgPath;
    QString ExtProgPath;
    std::uint8_t ShapeColorBg = 0;
    bool Loupe = false;
    std::uint8_t ScanTool = 0;
    std::int32_t LFaktor = 0;
    bool EndDlg = false;
    std::uint8_t SBorder = 0;
    std::uint8_t SBForce = 0;
    bool Intro = false;
    bool FilledShape = false;
    bool SaveHist = false;
    bool WithZelkoraWin = false;
    std::uint8_t ScanDest = 0;
    std::uint8_t ScanPerSec = 0;
    bool TimeScanRunning = false; // never stored: a timed capture never survives a restart
    std::uint16_t TimeScanCount = 0;
    bool PrintScan = false;
    bool FocusMode = false;
    bool OAsBmp = false;
    bool MinAScan = false;
    bool SCross = false;
    QString Script;
    QString PrintText;
    bool PrintDate = false;
    bool PrintTime = false;
    bool PrintUser = false;
    QString PrTextFont;
    std::int32_t PrTextGrFont = 0;
    std::uint8_t PrPrintDocAlign = 0;
    std::uint8_t PrGraphicAlign = 0;
    bool Trans = false;
    std::uint8_t Language = 0;
    bool FileExp = false;
    bool ScanSound = false;
    bool XPMenStyle = false;
    std::uint8_t VdoPixVal = 0;
    std::uint8_t GifComp = 0;
    std::uint8_t GifDith = 0;
    std::uint8_t GifColOpt = 0;
    bool XPContrStyle = false;
    bool ImgWithMouse = false;
    std::uint8_t JpgPixelFormat = 0;
    std::uint8_t JpgColr = 0;
    std::uint8_t JpgPerformance = 0;
    bool JpgEncoding = false;
    bool JpgIncDisplay = false;
    bool JpgCompress = false;
    bool OnceCellStatbar = false;
    bool CtrlScanInStatbar = false;
    QString TmpAviPath;
    bool TmpAviDel = false;
    std::uint8_t AviFrameInit = 0;
    std::int32_t AviFramePerSec = 0;
    std::uint8_t BmpPixForm = 0;
    bool BmpMonochrome = false;
    bool AviStretch = false;
    bool MoveGrabber = false;
    bool AVICopyDir = false;
    QString AviCopyPath;
    std::int32_t AviTimerIntrv = 0;
    bool StatBarHints = false;
    std::int32_t HotkeyCursor = 0;
    bool NoAviTimerSound = false;
    std::array<std::uint8_t, 9> ShellExtAr{};
    bool IsAutoincFileName = false;
    bool IsDateTimeToFile = false;
    bool IsManualInputFile = false;
    bool ScanToClipboard = false;
    std::uint8_t SoundFileNr = 0;
    bool ExtGrafikEditor = false;
    QString ExtGrEdtPath;
    bool HotkeyOutputExtern = false;
    bool ControlHints = false;
    bool CursorHint = false;
    bool ZKVisAScan = false;
    bool IEShellEntrys = false;
    QString GUID;
    bool MagneticFE = false;
    bool DelLastTextscanResult = false;
    bool ShowOnlyGraphTypes = false;
    bool AnimMin = false;
    std::uint8_t AnimCount = 0;
    bool ExpDimParts = false;
    std::uint8_t MailService = 0;
    bool GraphicAsAttach = false;
    bool AttachDir = false;
    std::uint8_t AttachType = 0;
    TSmtpConfig Smtp;
    TMapiConfig Mapi;
    bool FSClosedClick = false;
    std::uint8_t CRLineWidth = 0;
    bool CRDotLine = false;
    std::uint8_t CRLineColr = 0;
    bool CoordHint = false;
    std::uint8_t PrGrBorderWidth = 0;
    std::int32_t PrPrinterIndex = 0;
    bool PrPrevMaxStart = false;
    std::uint8_t TxtPenWidth = 0;
    std::uint8_t TxtPenColr = 0;
    QString FontName;
    bool AttachZipped = false;
};

// How a field is held in the record and in the store.
enum class OptionType {
    Bool,   // one byte 0/1; DWORD 0/1, read as "not 0"
    Byte,   // unsigned 8 bits; DWORD, low 8 bits read back
    Word,   // unsigned 16 bits; DWORD, low 16 bits read back
    Int,    // signed 32 bits; DWORD
    String, // registry string
    Bytes9  // nine boolean bytes; 9-byte binary value
};

struct OptionField
{
    std::string_view name;  // registry value name
    OptionType type;
    int width;              // bytes in the record (0 for strings)
    std::int64_t defInt;    // default of Bool/Byte/Word/Int fields
    const char *defString;  // default of String fields
    bool hasDefault;        // false: first run keeps the zero state
    int rangeMin;           // valid range of index fields; rangeMin > rangeMax
    int rangeMax;           // means "not an index"
    void *(*field)(TZelkoraOptions &);
};

// The stored fields in the record's declared order.
std::span<const OptionField> OptionTable();
const OptionField *FindOptionField(std::string_view name); // without case; null when unknown

// The value orders of the store (names of OptionTable() entries).
std::span<const std::string_view> OptionLoadOrder(); // 132 values
std::span<const std::string_view> OptionSaveOrder(); // 128 values
// Written separately when the main window closes, in this order.
std::span<const std::string_view> OptionViewSwitches(); // Loupe, Stretch, DocCenter, FocusMode, Trans

// The first-run record: every field with a default gets it, the rest keep the
// zero state of `base`.
void SetDefaultOptions(TZelkoraOptions &options);

// The value of an index field as its users may rely on: a stored value outside
// the field's range (a damaged or foreign store) counts as the field's default.
// Fields that are not indices give their raw value.
int UsableIndex(const TZelkoraOptions &options, std::string_view name);

// The value of a Bool/Byte/Word/Int field as a number, and writing one (cut
// to the field's width); strings and byte arrays give 0 and are not written.
std::int64_t OptionIntValue(const OptionField &field, const TZelkoraOptions &options);
void SetOptionIntValue(const OptionField &field, TZelkoraOptions &options, std::int64_t value);

// The store side of TMainForm.LoadOptions / SaveOptions / WriteOptionBool.
class OptionsStore
{
public:
    static constexpr const char *KeyPath = "\\Software\\Tarvendo\\Zelkora\\5.0\\Options";

    // Fills `options` from the store. Returns true when the key existed; then
    // each value the key lacks (or holds with another type) takes its field's
    // default and the rest of the load goes on. Without the key every field
    // with a default gets it. TimeScanRunning is always false afterwards.
    static bool Load(TZelkoraOptions &options);

    // Writes the 128 values in the store's order, creating the key when
    // missing. The four view switches are not among them. Returns false when
    // a write failed; the values written before it stay.
    static bool Save(const TZelkoraOptions &options);

    // Writes one boolean under "Options" (created when missing). On failure
    // returns false and puts the store's message into *error.
    static bool WriteOptionBool(const QString &name, bool value, QString *error = nullptr);
};

// Shown by the main window when WriteOptionBool fails: this text directly
// followed by the store's message.
inline constexpr const char *WriteErrorRegistryText = "showmsg_write_error_registry";

// Picture extension of a FileTyp index for numbered automatic names: 0 ".bmp"
// to 8 ".png"; any other index gives "ftUndefine".
QString FileTypeExt(int index);

// The capture sound chosen by SoundFileNr, relative to the program directory.
// Empty until SelectSoundFile picks one.
extern QString CaptureSoundFile;

// 0 "Templates/camera.snd", 1 "Templates/camera.wav", 2..9
// "Templates/cameraN.wav"; an index of 10 or more leaves CaptureSoundFile
// unchanged.
void SelectSoundFile(int index);

} // namespace zk
