#pragma once
// The settings dialog: twelve pages over a copy of the options record.
// Which control shows which field is the table in OptionDlgRules.h; the
// handlers below keep the controls consistent while the dialog is open.
#include "BaseModal.h"
#include "Options.h"

#include <QGroupBox>
#include <QStringList>

#include <array>
#include <functional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPainter;
class QStyleOptionViewItem;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

namespace zk {

class TColComboBox;
class TEditUpDown;
class THistoryCombo;
class TMultiLanguage;

// A group box of radio buttons chosen by index (-1: none).
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
    // The language file's "Items" line: the texts one a line.
    Q_PROPERTY(QString Items READ ItemsText WRITE SetItemsText)
public:
    TRadioGroup(const QString &caption, const QStringList &items, QWidget *parent = nullptr, int columns = 1);
    int ItemIndex() const;
    void SetItemIndex(int index);
    int Count() const;
    QAbstractButton *Button(int index) const;
    // Shown texts, for the language file's "Items" lines.
    QStringList Items() const;
    void SetItems(const QStringList &items);
    QString ItemsText() const { return Items().join(QLatin1Char('\n')); }
    void SetItemsText(const QString &text) { SetItems(text.split(QLatin1Char('\n'))); }
signals:
    void Clicked(int index);

private:
    QButtonGroup *m_group = nullptr;
};

// A page of a tab widget whose "Caption" is its tab's text.
class TTabSheet : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
    using QWidget::QWidget;
    QString Caption() const;
    void SetCaption(const QString &caption);

private:
    QTabWidget *tabs() const;
};

// The small settings dialogs that come with a later part of the program.
// Each opener returns the dialog's modal result; unset, its button stays off.
struct TOptionSubDialogs
{
    // style, strength, tool, cross, loupe, loupe factor, sound
    std::function<void(QWidget *owner, int, int, int, bool, bool, int, bool)> ScanTest;
    // the editor path in and out
    std::function<int(QWidget *owner, QString &path)> GraphEditor;
    std::function<int(QWidget *owner, std::uint8_t &gifColOpt)> GifColOpt;
    std::function<int(QWidget *owner, std::array<std::uint8_t, 9> &types, bool &ieShell, QString &guid)> ShellExt;
    std::function<int(QWidget *owner, bool &animMin, std::uint8_t &animCount)> MinKind;
};
TOptionSubDialogs &OptionSubDialogs();

// What the dialog asks the user; tests answer without a modal box.
struct TOptionPrompts
{
    std::function<void(const QString &key, const QString &text)> Message;
    std::function<bool(const QString &title, const QString &text)> Confirm; // Yes/No
    // false: cancelled
    std::function<bool(const QString &caption, const QString &prompt, QString &value)> InputQuery;
    std::function<QString()> BrowseFolder;            // "" when cancelled
    std::function<QString()> ChooseProgram;           // "" when cancelled
    std::function<void(const QString &url)> OpenUrl;  // help pages, scripts
};

class TOptionDlgBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TOptionDlgBMForm(QWidget *owner = nullptr);
    ~TOptionDlgBMForm() override;

    TOptionPrompts Prompts;

    // --- controls -----------------------------------------------------------
    QTabWidget *OptionPageControl = nullptr;
    QPushButton *OkButton = nullptr, *CancelButton = nullptr, *HelpBitBtn = nullptr;
    QCheckBox *IntroCheckBox = nullptr;
    TMultiLanguage *OptionMultiLanguage = nullptr;
    // Dateien
    QCheckBox *PersSaveCheckBox = nullptr;
    THistoryCombo *PathHistoryCombo = nullptr, *FileNameHistoryCombo = nullptr;
    QPushButton *PathBitBtn = nullptr;
    TRadioGroup *FTypRadioGroup = nullptr;
    QRadioButton *AiRadioButton = nullptr, *DteTmeRadioButton = nullptr, *MiRadioButton = nullptr;
    // Programm
    QCheckBox *TNACheckBox = nullptr, *SysStartCheckBox = nullptr, *WinCenterCheckBox = nullptr,
              *StatBarCheckBox = nullptr, *ProgEndCheckBox = nullptr, *SaveHistoryCheckBox = nullptr,
              *FileExpCheckBox = nullptr, *XPMenCheckBox = nullptr, *XPContrCheckBox = nullptr,
              *OnePartStatBarCheckBox = nullptr, *StatHintsCheckBox = nullptr, *ContHintsCheckBox = nullptr,
              *FEMagCheckBox = nullptr, *FEOnlyGrTypesCheckBox = nullptr, *SysTrayStartCheckBox = nullptr,
              *FSCloseClickCheckBox = nullptr, *OAsBmpCheckBox = nullptr, *ExtGrEdtCheckBox = nullptr,
              *ZKVisCheckBox = nullptr;
    TColComboBox *CColorComboBox = nullptr, *SColorComboBox = nullptr;
    QPushButton *SetGrEdtButton = nullptr, *ShlExtTypeButton = nullptr;
    QAction *MinKindMenuItem = nullptr;
    // Scannen
    QListWidget *ScanToolListBox = nullptr;
    QPushButton *ScanPrevBitBtn = nullptr, *OtherValButton = nullptr, *SndTestBitBtn = nullptr;
    QCheckBox *LoupeCheckBox = nullptr, *MinimizeCheckBox = nullptr, *SCrossCheckBox = nullptr,
              *SoundCheckBox = nullptr, *ZKWinCheckBox = nullptr, *WithMouseCheckBox = nullptr,
              *CtrlScanInStatbarCheckBox = nullptr, *ClpbrdCheckBox = nullptr, *SResDelCheckBox = nullptr,
              *CurHintCheckBox = nullptr, *FillShapeCheckBox = nullptr;
    QLineEdit *LFaktorEdit = nullptr;
    TEditUpDown *LFaktorUpDown = nullptr;
    QComboBox *ScanBComboBox = nullptr, *ScanBFComboBox = nullptr, *DelayComboBox = nullptr,
              *SndFleComboBox = nullptr;
    // Grafikviewer
    TRadioGroup *ProgRadioGroup = nullptr;
    THistoryCombo *ExplorerHistoryCombo = nullptr, *ExtProgHistoryCombo = nullptr;
    QPushButton *ExpPathBitBtn = nullptr, *ExtProgBitBtn = nullptr;
    // Hotkeys
    std::array<QComboBox *, 6> HKComboBoxes{};
    QCheckBox *SysKeyCheckBox = nullptr, *SndPicExtGrEdtCheckBox = nullptr;
    QPushButton *SetGrEdt2Button = nullptr, *MPSetButton = nullptr;
    QLabel *SaveStatStaticText = nullptr;
    // Skript
    QListWidget *ScriptCheckListBox = nullptr;
    // Drucken
    QCheckBox *AutoPrintCheckBox = nullptr, *DateCheckBox = nullptr, *TimeCheckBox = nullptr,
              *UsNameCheckBox = nullptr, *PrPrevMaxCheckBox = nullptr;
    THistoryCombo *FeetTextHistoryCombo = nullptr;
    QLabel *PrFontStaticText = nullptr, *FontGrStaticText = nullptr;
    QPushButton *FontButton = nullptr;
    QLineEdit *BorderWidthEdit = nullptr;
    TEditUpDown *BorderWidthUpDown = nullptr;
    TRadioGroup *DocAlignRadioGroup = nullptr, *GrAlignRadioGroup = nullptr;
    QComboBox *PrintersComboBox = nullptr;
    // TimeScan
    QCheckBox *TimeScanCheckBox = nullptr;
    TRadioGroup *ScDestRadioGroup = nullptr;
    QGroupBox *SecScanGroupBox = nullptr, *CountScanGroupBox = nullptr;
    QLineEdit *SecEdit = nullptr, *CountEdit = nullptr;
    TEditUpDown *SecUpDown = nullptr, *CountUpDown = nullptr;
    // AVI
    TRadioGroup *PixValRadioGroup = nullptr, *AviFrInitRadioGroup = nullptr;
    THistoryCombo *TmpAviHistoryCombo = nullptr, *AftEdtHistoryCombo = nullptr;
    QPushButton *TmpAviPathBitBtn = nullptr, *AfterEdtPathBitBtn = nullptr;
    QCheckBox *TmpAviDelCheckBox = nullptr, *AviStretchCheckBox = nullptr, *MoveGrabCheckBox = nullptr,
              *AftEdtCheckBox = nullptr, *NoTSoundCheckBox = nullptr;
    QLineEdit *AviFrameTimeEdit = nullptr, *AviTimerEdit = nullptr;
    TEditUpDown *AviFrameTimeUpDown = nullptr, *AviTimerUpDown = nullptr;
    // Sichern
    TRadioGroup *GifCompRadioGroup = nullptr, *GifDithRadioGroup = nullptr, *PixFormRadioGroup = nullptr,
                *ColSpaceRadioGroup = nullptr, *PerformRadioGroup = nullptr;
    QPushButton *ColOptButton = nullptr;
    QCheckBox *ProgEncCheckBox = nullptr, *IncDispCheckBox = nullptr, *CompressCheckBox = nullptr,
              *MonoChrCheckBox = nullptr;
    QComboBox *BmpPxFormComboBox = nullptr;
    // Sprache
    TRadioGroup *LangRadioGroup = nullptr;
    // Sonstige
    TRadioGroup *SendServiceRadioGroup = nullptr, *AttachTypeRadioGroup = nullptr;
    QCheckBox *AttachCheckBox = nullptr, *AttZipCheckBox = nullptr, *LineKindCheckBox = nullptr,
              *CoordHintCheckBox = nullptr;
    QPushButton *CreateDirButton = nullptr, *AttDirEmptyButton = nullptr, *SmtpConfButton = nullptr,
                *MapiConfigButton = nullptr;
    QLineEdit *ZRLbEdit = nullptr, *PenWidthEdit = nullptr;
    TEditUpDown *LineWidthUpDown = nullptr, *PenWidthUpDown = nullptr;
    TColComboBox *LineColComboBox = nullptr, *PenColComboBox = nullptr;
    QComboBox *FontComboBox = nullptr;
    // The "Standardwerte" menus, by owner.
    QMenu *FilesPopupMenu = nullptr, *ProgPopupMenu = nullptr, *ScanPopupMenu = nullptr,
          *ExternPopupMenu = nullptr, *HotkeyPopupMenu = nullptr, *PrintPopupMenu = nullptr,
          *TimeScanPopupMenu = nullptr, *AviStdPopupMenu = nullptr, *GifPopupMenu = nullptr,
          *JpgPopupMenu = nullptr, *BmpPopupMenu = nullptr, *ZKStdSettsPopupMenu = nullptr;

    // --- record exchange and closing checks ---------------------------------
    void SetLanguage(const QStringList &Script, int LangIdx) override;
    void SetOptions(TZelkoraOptions Options);
    void GetOptions(TZelkoraOptions &Options) const;
    bool CheckGraphEditor();
    int ValidateEntries();
    bool ChooseGraphEditor();
    void EnableAutoSaveControls(bool Enable);
    void EnableTimeScanControls(bool Enable);

    void FormCreate();
    void FormShow();
    void FormActivate();
    void OkButtonClick(QObject *Sender);
    void FormCloseQuery(bool &CanClose);

    // --- defaults -------------------------------------------------------------
    void FilesStdMenuItemClick();
    void StandardButtonClick();
    void ScanStdMenuItemClick();
    void Standard1Click();
    void HotkeyStdMenuItemClick();
    void Standardwerte1Click();
    void Standardwerte2Click();
    void AviStdValMenuItemClick();
    void GIFStdValsMenuItemClick();
    void JPGStdValsMenuItemClick();
    void BmpStdValMenuItemClick();
    void ZKStdMenuItemClick();

    // --- live rules -------------------------------------------------------------
    void LoupeCheckBoxClick();
    void PersSaveCheckBoxClick();
    void PathButtonClick(QObject *Sender);
    void OptionPageControlChange();
    void OtherValButtonClick();
    void HK1ComboBoxDropDown(QObject *Sender);
    void HK1ComboBoxChange(QObject *Sender);
    void SysKeyCheckBoxClick();
    void ExtProgButtonClick();
    void ProgRadioGroupClick();
    void ScanToolListBoxMouseMove(int row);
    void ScanToolListBoxClick();
    void ScanBFComboBoxChange();
    void ScanBComboBoxChange();
    void SaveStatStaticTextClick();
    void HelpButtonClick();
    void TestBorderButtonClick();
    void ScriptCheckListBoxClickCheck(QListWidgetItem *clicked = nullptr);
    void ScriptCheckListBoxDblClick();
    void FontButtonClick();
    void ColOptButtonClick();
    void MPSetButtonClick();
    void TmpAviDelCheckBoxClick(QObject *Sender);
    void TmpAviHistoryComboChange(QObject *Sender);
    void OnePartStatBarCheckBoxClick(QObject *Sender);
    void StatHintsCheckBoxClick();
    void ShlExtTypeButtonClick();
    void MiRadioButtonClick();
    void SoundCheckBoxClick();
    void SndFleComboBoxChange();
    void SndTestButtonClick();
    void ExtGrEdtMenuItemClick(QObject *Sender);
    void ExtGrEdtCheckBoxClick();
    void SndPicExtGrEdtCheckBoxClick();
    void AviFrInitRadioGroupClick();
    void TNACheckBoxClick();
    void FileExpCheckBoxClick();
    void MinKindMenuItemClick();
    void SendServiceRadioGroupClick();
    void AttachDirCheckBoxClick();
    void AttDirEmptyButtonClick();
    void SmtpConfButtonClick();
    void MapiConfigButtonClick();
    void LineWidthUpDownClick();
    void PenWidthEditExit();
    void AttachCheckBoxClick();

    // The help page of a tab, or "" when the help pages are missing.
    static QString HelpPage(int page);
    // Each family in its own face; the list paints only the rows it shows.
    static void FontComboBoxDrawItem(QPainter &canvas, const QStyleOptionViewItem &option, const QString &family);
    // The default footer line of the print defaults.
    static QString DefaultFooter();

    // --- private state, public for the main window and tests ------------------
    int LanguageIndex = 0;
    QString ScriptName;
    int LastHotKeyIndex = -1;
    bool OkPressed = false;
    std::uint8_t GifColOptCopy = 0;
    std::int32_t HotkeyCursorCopy = 0;
    bool IEShellEntrysCopy = false;
    bool AnimMinCopy = false;
    std::uint8_t AnimCountCopy = 0;
    bool AttachDirCopy = false;
    bool ExpDimPartsCopy = false;
    TSmtpConfig SmtpCopy;
    TMapiConfig MapiCopy;
    std::array<std::uint8_t, 9> ShellExtArCopy{};
    QString ExtGrEdtPathCopy;
    QString GUIDCopy;
    bool RestartWanted = false;
    std::uint8_t SoundFileNrCopy = 0;
    int StartPage = 0;
    // Values the controls cannot show exactly, kept when left alone.
    std::int32_t ScanDelayCopy = 240;
    QString FontNameCopy;
    QString ScriptCopy;
    // Waits out the sound test; never blocks the dialog.
    QTimer *SoundTestTimer = nullptr;

protected:
    void keyPressEvent(QKeyEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void done(int r) override;

private:
    QString text(const char *key, const QString &fallback) const;
    void message(const char *key, const QString &fallback, const QString &suffix = QString());
    void notWholeNumber(const QString &typed);
    void buildPages();
    void wire();
    void setPage(int page);
    void enableViewerChoice();
    QStringList otherHotKeyTexts(int tag) const;
    bool m_activated = false;
    bool m_validating = false;
};

} // namespace zk
