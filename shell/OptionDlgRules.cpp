#include "OptionDlgRules.h"

#include "IniFile.h"
#include "Options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>

namespace zk {

namespace {

using R = BindRule;

constexpr OptionBinding kBindings[] = {
    // Dateien
    {"PersSaveCheckBox", "PersSave", R::Checked},
    {"PathHistoryCombo", "OutDir", R::Text},
    {"FTypRadioGroup", "FileTyp", R::ItemIndex},
    {"FileNameHistoryCombo", "FileName", R::Text},
    {"AiRadioButton", "IsAutoincFileName", R::Checked},
    {"DteTmeRadioButton", "IsDateTimeToFile", R::Checked},
    {"MiRadioButton", "IsManualInputFile", R::Checked},
    // Programm
    {"TNACheckBox", "TnaUse", R::Checked},
    {"SysStartCheckBox", "AutoSysStart", R::Checked},
    {"WinCenterCheckBox", "AutoWinCenter", R::Checked},
    {"StatBarCheckBox", "StatBar", R::Checked},
    {"ProgEndCheckBox", "EndDlg", R::Checked},
    {"SaveHistoryCheckBox", "SaveHist", R::Checked},
    {"FileExpCheckBox", "FileExp", R::Checked},
    {"XPMenCheckBox", "XPMenStyle", R::Checked},
    {"XPContrCheckBox", "XPContrStyle", R::Checked},
    {"OnePartStatBarCheckBox", "OnceCellStatbar", R::Checked},
    {"StatHintsCheckBox", "StatBarHints", R::Checked},
    {"ContHintsCheckBox", "ControlHints", R::Checked},
    {"FEMagCheckBox", "MagneticFE", R::Checked},
    {"FEOnlyGrTypesCheckBox", "ShowOnlyGraphTypes", R::Checked},
    {"SysTrayStartCheckBox", "TrayStart", R::Checked},
    {"FSCloseClickCheckBox", "FSClosedClick", R::Checked},
    {"CColorComboBox", "BackColr", R::ItemIndex},
    {"SColorComboBox", "ShapeColorBg", R::ItemIndex},
    {"OAsBmpCheckBox", "OAsBmp", R::Checked},
    {"ExtGrEdtCheckBox", "ExtGrafikEditor", R::Checked},
    {"ZKVisCheckBox", "ZKVisAScan", R::Checked},
    // Scannen
    {"ScanToolListBox", "ScanTool", R::ItemIndex},
    {"LoupeCheckBox", "Loupe", R::Checked},
    {"MinimizeCheckBox", "MinAScan", R::Checked},
    {"SCrossCheckBox", "SCross", R::Checked},
    {"SoundCheckBox", "ScanSound", R::Checked},
    {"ZKWinCheckBox", "WithZelkoraWin", R::Checked},
    {"WithMouseCheckBox", "ImgWithMouse", R::Checked},
    {"CtrlScanInStatbarCheckBox", "CtrlScanInStatbar", R::Checked},
    {"ClpbrdCheckBox", "ScanToClipboard", R::Checked},
    {"SResDelCheckBox", "DelLastTextscanResult", R::Checked},
    {"CurHintCheckBox", "CursorHint", R::Checked},
    {"FillShapeCheckBox", "FilledShape", R::Checked},
    {"LFaktorUpDown", "LFaktor", R::Position},
    {"ScanBComboBox", "SBorder", R::ItemIndex},
    {"ScanBFComboBox", "SBForce", R::ItemIndex},
    {"SndFleComboBox", "SoundFileNr", R::ItemIndex},
    // Grafikviewer
    {"ProgRadioGroup", "VType", R::ItemIndex},
    {"ExplorerHistoryCombo", "ImgPath", R::Text},
    {"ExtProgHistoryCombo", "ExtProgPath", R::Text},
    // Hotkeys
    {"HK1ComboBox", "HK1", R::ItemIndex},
    {"HK2ComboBox", "HK2", R::ItemIndex},
    {"HK3ComboBox", "HK3", R::ItemIndex},
    {"HK4ComboBox", "HK4", R::ItemIndex},
    {"HK5ComboBox", "HK5", R::ItemIndex},
    {"HK6ComboBox", "HK6", R::ItemIndex},
    {"SysKeyCheckBox", "SysKeys", R::Checked},
    {"SndPicExtGrEdtCheckBox", "HotkeyOutputExtern", R::Checked},
    // Drucken
    {"AutoPrintCheckBox", "PrintScan", R::Checked},
    {"DateCheckBox", "PrintDate", R::Checked},
    {"TimeCheckBox", "PrintTime", R::Checked},
    {"UsNameCheckBox", "PrintUser", R::Checked},
    {"PrPrevMaxCheckBox", "PrPrevMaxStart", R::Checked},
    {"FeetTextHistoryCombo", "PrintText", R::Text},
    {"PrFontStaticText", "PrTextFont", R::Text},
    {"BorderWidthUpDown", "PrGrBorderWidth", R::Position},
    {"DocAlignRadioGroup", "PrPrintDocAlign", R::ItemIndex},
    {"GrAlignRadioGroup", "PrGraphicAlign", R::ItemIndex},
    {"PrintersComboBox", "PrPrinterIndex", R::ItemIndex},
    // TimeScan
    {"ScDestRadioGroup", "ScanDest", R::ItemIndex},
    {"SecUpDown", "ScanPerSec", R::Position},
    {"CountUpDown", "TimeScanCount", R::Position},
    // AVI
    {"PixValRadioGroup", "VdoPixVal", R::ItemIndex},
    {"TmpAviHistoryCombo", "TmpAviPath", R::Text},
    {"AftEdtHistoryCombo", "AviCopyPath", R::Text},
    {"TmpAviDelCheckBox", "TmpAviDel", R::Checked},
    {"AviStretchCheckBox", "AviStretch", R::Checked},
    {"MoveGrabCheckBox", "MoveGrabber", R::Checked},
    {"AftEdtCheckBox", "AVICopyDir", R::Checked},
    {"NoTSoundCheckBox", "NoAviTimerSound", R::Checked},
    {"AviFrInitRadioGroup", "AviFrameInit", R::ItemIndex},
    {"AviFrameTimeUpDown", "AviFramePerSec", R::Position},
    {"AviTimerUpDown", "AviTimerIntrv", R::Position},
    // Sichern
    {"GifCompRadioGroup", "GifComp", R::ItemIndex},
    {"GifDithRadioGroup", "GifDith", R::ItemIndex},
    {"PixFormRadioGroup", "JpgPixelFormat", R::ItemIndex},
    {"ColSpaceRadioGroup", "JpgColr", R::ItemIndex},
    {"PerformRadioGroup", "JpgPerformance", R::ItemIndex},
    {"ProgEncCheckBox", "JpgEncoding", R::Checked},
    {"IncDispCheckBox", "JpgIncDisplay", R::Checked},
    {"CompressCheckBox", "JpgCompress", R::Checked},
    {"BmpPxFormComboBox", "BmpPixForm", R::ItemIndex},
    {"MonoChrCheckBox", "BmpMonochrome", R::Checked},
    // Sprache
    {"LangRadioGroup", "Language", R::ItemIndex},
    // Sonstige
    {"SendServiceRadioGroup", "MailService", R::ItemIndex},
    {"AttachCheckBox", "GraphicAsAttach", R::Checked},
    {"AttZipCheckBox", "AttachZipped", R::Checked},
    {"AttachTypeRadioGroup", "AttachType", R::ItemIndex},
    {"LineWidthUpDown", "CRLineWidth", R::Position},
    {"LineKindCheckBox", "CRDotLine", R::Unchecked},
    {"LineColComboBox", "CRLineColr", R::ItemIndex},
    {"PenColComboBox", "TxtPenColr", R::ItemIndex},
    {"CoordHintCheckBox", "CoordHint", R::Checked},
    {"PenWidthUpDown", "TxtPenWidth", R::Position},
    // below the tabs
    {"IntroCheckBox", "Intro", R::Checked},
};

constexpr std::string_view kByHand[] = {
    "ScanDelay", "Script", "PrTextGrFont", "FontName", "GifColOpt", "HotkeyCursor", "IEShellEntrys",
    "AnimMin", "AnimCount", "AttachDir", "ExpDimParts", "SmtpHost", "SmtpUserID", "SmtpMailFrom",
    "SmtpMailTo", "SmtpCopy", "SmtpBCopy", "SmtpBody", "SmtpSubject", "MapiMailTo", "MapiSubject",
    "MapiBody", "ShellExtAr", "ExtGrEdtPath", "GUID",
};

constexpr std::string_view kUntouched[] = {"AutoWinSize", "DocCenter", "FocusMode", "Stretch", "Trans"};

constexpr std::array<int, 11> kDelays = {100, 240, 400, 600, 800, 1000, 1200, 1500, 2000, 2500, 3000};

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

QString attachFolderOf(const QString &programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/Attach"));
}

} // namespace

std::span<const OptionBinding> OptionBindings() { return kBindings; }
std::span<const std::string_view> OptionFieldsByHand() { return kByHand; }
std::span<const std::string_view> OptionFieldsUntouched() { return kUntouched; }

QStringList OptionFieldsNotCovered()
{
    QStringList missing;
    for (const OptionField &f : OptionTable()) {
        const auto in = [&](auto &&list, auto proj) {
            return std::any_of(list.begin(), list.end(), [&](const auto &e) { return sameName(proj(e), f.name); });
        };
        const auto self = [](std::string_view s) { return s; };
        if (!in(OptionBindings(), [](const OptionBinding &b) { return b.field; }) && !in(OptionFieldsByHand(), self) &&
            !in(OptionFieldsUntouched(), self))
            missing << QString::fromLatin1(f.name.data(), qsizetype(f.name.size()));
    }
    return missing;
}

std::span<const int> DelayValues() { return kDelays; }

QStringList DelayItems()
{
    QStringList items;
    for (int v : kDelays)
        items << (v == 240 ? QStringLiteral("240 (Standard)") : QString::number(v));
    return items;
}

int DelayItemFor(int delay)
{
    const auto it = std::find(kDelays.begin(), kDelays.end(), delay);
    return it == kDelays.end() ? -1 : int(it - kDelays.begin());
}

std::optional<int> WholeNumber(const QString &text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

QString ChosenScript(const QStringList &items, const QList<bool> &checked, const QString &current)
{
    for (qsizetype i = 0; i < items.size() && i < checked.size(); ++i)
        if (checked[i])
            return items[i];
    return current;
}

QStringList ScriptFiles(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        return {};
    // Hidden and system files count too; only folders are left out.
    return dir.entryList({QStringLiteral("*.vbs"), QStringLiteral("*.sh")},
                         QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

bool HotKeyTaken(const QString &text, const QStringList &others)
{
    return others.contains(text);
}

QList<int> AviSizesTooWide(int screenWidth)
{
    static constexpr int widths[] = {240, 480, 800, 1024, 1152};
    QList<int> out;
    for (int i = 0; i < 5; ++i)
        if (widths[i] > screenWidth)
            out << i;
    return out;
}

AttachLinkResult LinkAttachFolder(const QString &iniFile, const QString &programDir)
{
    const QString folder = attachFolderOf(programDir);
    TIniFile ini(iniFile);
    const QString section = QStringLiteral("Entrys");
    const QString ident = QStringLiteral("Attach");
    bool wrote = false;
    if (!ini.ValueExists(section, ident)) {
        if (!ini.WriteString(section, ident, folder) || !ini.ValueExists(section, ident))
            return {};
        wrote = true;
    }
    if (!QDir().mkpath(folder)) {
        // Without its folder the entry would point at nothing.
        if (wrote)
            ini.DeleteKey(section, ident);
        return {};
    }
    return {true, folder};
}

bool UnlinkAttachFolder(const QString &iniFile, const QString &programDir)
{
    TIniFile ini(iniFile);
    if (ini.ValueExists(QStringLiteral("Entrys"), QStringLiteral("Attach")) &&
        !ini.DeleteKey(QStringLiteral("Entrys"), QStringLiteral("Attach")))
        return false; // the entry stays, so its folder stays too
    const QString folder = attachFolderOf(programDir);
    if (QFileInfo(folder).isDir())
        QFile::moveToTrash(folder);
    return true;
}

int EmptyAttachFolder(const QString &iniFile)
{
    const TIniFile ini(iniFile);
    const QString folder = ini.ReadString(QStringLiteral("Entrys"), QStringLiteral("Attach"), QString()).trimmed();
    // An empty or relative value would name the current folder, not ours.
    if (folder.isEmpty() || QDir::isRelativePath(folder) || !QFileInfo(folder).isDir())
        return 0;
    int moved = 0;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (QFile::moveToTrash(dir.filePath(name)))
            ++moved;
    return moved;
}

} // namespace zk
