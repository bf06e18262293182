#pragma once
// The main window. One class for the whole program: this file declares its
// component tree, its state and its lifecycle; the capture, picture, view and
// output code adds its handlers to the same class in files of its own.
#include "Options.h"
#include "StartupRules.h"
#include "CaptureControl.h"
#include "ChannelModule.h"
#include "CapturePlan.h"
#include "CursorImage.h"
#include "BarPopupMenu.h"
#include "CoordHint.h"
#include "MoveRect.h"
#include "PointerClip.h"
#include "SmallControls.h"
#include "SvcComponents.h"
#include "SvcTrayIcon.h"

#include <QDate>
#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QMessageBox>
#include <QPen>
#include <QPointer>
#include <QRect>
#include <QSet>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QMessageBox;

class QDialog;
class QFileDialog;
class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPainter;
class QScrollArea;
class QSplitter;
class QStatusBar;
class QSystemTrayIcon;
class QTimer;
class QToolBar;

class QPrinter;

namespace zk {

class TBitmap;
struct TSmtpMessage;
class TDragDropFilesBMForm;
class TDockSite;
class TGlobalHotKeys;
class THistoryList;
class TImage;
class TMultiLanguage;

// Command codes of the window's system commands.
enum TSysCommand : int {
    SC_MINIMIZE = 0xF020,
    SC_MAXIMIZE = 0xF030,
    SC_CLOSE = 0xF060,
    SC_INFO = 0xF200, // "Inf&o..."
};

class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    // commandLineFiles: the program's arguments; the first is opened.
    explicit TMainForm(const QStringList &commandLineFiles = {}, QWidget *parent = nullptr);
    ~TMainForm() override;

    static constexpr const char *GuiKey = "Software\\Tarvendo\\Zelkora\\5.0\\GUI";
    static constexpr int kToolBarCount = 9;

    // --- Components -------------------------------------------------------
    QToolBar *MenuToolBar = nullptr;
    QMenuBar *ZKMainMenu = nullptr;
    QToolBar *StandardToolBar = nullptr;
    QToolBar *WordToolBar = nullptr;
    QToolBar *GrafikEditToolBar = nullptr;
    QToolBar *CutterToolBar = nullptr;
    QToolBar *HelpToolBar = nullptr;
    QToolBar *ExitToolBar = nullptr;
    QToolBar *OptionsToolBar = nullptr;
    QToolBar *XtrasToolBar = nullptr;
    QToolBar *ViewToolBar = nullptr;
    QSplitter *ClientPanel = nullptr;
    // The dock areas of the three sides (Tag 0, 1, 2).
    TDockSite *LeftDockPanel = nullptr;
    TDockSite *RightDockPanel = nullptr;
    TDockSite *BottomDockPanel = nullptr;
    TScrollBoxEx *ClientScrollBoxEx = nullptr;
    TImage *ScanImage = nullptr;
    TContrStatusBar *ZKStatusBar = nullptr;
    TsvcTrayIcon *ZKsvcTrayIcon = nullptr;
    TMultiLanguage *ZKMultiLanguage = nullptr;
    QTimer *TimeScanTimer = nullptr;
    QTimer *WinFormFrameTimer = nullptr;

    QMenu *ScanShapePopupMenu = nullptr;
    QMenu *RecentPopupMenu = nullptr;
    QMenu *FocObjPopupMenu = nullptr;
    TBarPopupMenu *TrayBarPopupMenu = nullptr;
    TBarPopupMenu *ZKStatBarPopupMenu = nullptr;
    QMenu *MarkColrPopupMenu = nullptr;
    QMenu *AntiaPopupMenu = nullptr;
    QMenu *ScalePopupMenu = nullptr;
    TBarPopupMenu *GrEdtBarPopupMenu = nullptr;
    TBarPopupMenu *MenStatBarPopupMenu = nullptr;

    // The nine tool bars in the order of their stored dock states.
    std::array<QToolBar *, kToolBarCount> DockOrderToolBars() const;
    static const std::array<const char *, kToolBarCount> &DockStateKeys();

    // A menu item or tool button by its name (null when there is none).
    QAction *Item(const QString &name) const;
    // The sub-menu of a menu item such as "DateiMenuItem".
    QMenu *SubMenu(const QString &itemName) const;

    // The explorer windows; empty until the explorer exists.
    QPointer<QWidget> DirBDForm;
    QPointer<QWidget> NavBDForm;

    // --- State --------------------------------------------------------------
    TZelkoraOptions Options;
    std::array<std::int32_t, 6> FHotKeyIds{};
    std::int32_t FScanDelay = 240;
    std::uint16_t FFastSaveCount = 0;
    std::array<QRect, kToolBarCount> ToolBarBounds{};
    QString HelpFilePath;
    QWidget *FocusResizer = nullptr;
    bool FStampCursorOnShow = false;
    bool MarkArmRequest = false;
    std::uint8_t MarkerKind = 0;
    QDate StartDate;
    TMaximizeToggle MaximizeToggle;
    bool IsClosing = false;
    QString FFileName;
    bool FHasFileName = false;
    std::unique_ptr<THistoryList> RecentList;
    std::unique_ptr<TBitmap> UndoBitmap;
    // The file name and the format panel that belonged to the picture in
    // UndoBitmap: undoing an open or a capture brings the earlier picture
    // back under its own name, not the name of the file that replaced it.
    QString FUndoFileName;
    bool FUndoHasFileName = false;
    QString FUndoFormatText;
    std::unique_ptr<TBitmap> WorkBitmap;
    bool FirstShowDone = false;
    // Dialogs open on the picture (TPicturePin); a capture hands each of
    // them the picture it replaces.
    QList<class TPicturePin *> FPicturePins;
    // Called by every capture just before it writes a new picture into the
    // window: open dialogs keep the old one and undo gives it back.
    void PictureBeingReplaced();

    // --- Lifecycle ------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormHide();
    void FormCloseQuery(bool &canClose);
    void FormClose();
    void CloseClick();
    // A termination signal: the close command's work (settings, placement,
    // recent list kept) without the question nobody may be there to answer,
    // then the program ends.
    void CloseBySignal();
    void LoadOptions();
    void SaveOptions();
    void WriteOptionBool(const QString &name, bool value);
    // "showmsg_write_error_registry" with the store's reason, in a box owned
    // by the main window; on a close by a signal, on the standard error and
    // in the journal instead.
    void ReportStoreError(const QString &reason);
    // Writes a message to the standard error and the journal.
    void ReportToJournal(const QString &message);
    // The settings files kept because they did not read cleanly, told once.
    void ShowDamagedStoreNotes();
    // A box of its kind (name is its objectName) that, while open, counts
    // each further call instead of opening another; opened, not run, so
    // the caller goes on at once.
    QMessageBox *ShowCountedMessage(const QString &name, QMessageBox::Icon icon, const QString &text);
    // A message of the program's channel: handled after those before it,
    // from the main loop, never from inside a dialog's own loop.
    void QueueChannelMessage(quint32 id, const QByteArray &payload);
    // True while a message of the channel is being handled.
    bool HandlingChannelMessage() const { return m_channelBusy; }
    // A load-file message whose name no file can have is refused (true).
    bool RefuseChannelLoad(const QByteArray &payload);
    // "showmsg_file_evtl_not_exists" with the name, counted.
    void ShowLoadRefusal(const QString &name);
    void RegisterHotKeys(int slot = 0);
    void UnregisterHotKeys();
    void ApplyScanDelay();
    void SetQuorvexVisible(bool visible);
    void ZKPopupMenuItemClick();
    // True when the command was handled here; false means default handling.
    bool WMSysCommand(int command);
    void WMAfterShow();
    // sessionEnds: the desktop session really ends (not merely asked to).
    void WMEndSession(bool sessionEnds);
    void ZKsvcApplicationPropertiesException(const QString &typeName, const QString &message);
    // Several files dropped on the window.
    void ZKsvcApplicationPropertiesMessage(const QStringList &droppedFiles);
    void ApplyLanguage();
    // The form's first language pass: the texts of items shown only in
    // drop-down menus follow right after the first show (ApplyWaitingTexts,
    // queued here), so the window is up sooner.
    void ApplyStartLanguage();
    void ApplyWaitingTexts();
    void GermanMenuItemClick(QAction *sender);
    void SetScanToolHints();
    void ApplySubMenuTexts();

    // The text of a language key, or the German fallback when the language
    // file lacks it (an empty question box helps nobody).
    QString Text(const QString &key, const QString &fallback = {}) const;

    QString StatusPanelText(int index) const;
    void SetStatusPanelText(int index, const QString &text);

    // --- Status bar (shell/MainFormStatusBar.cpp) ---------------------------
    // Images of the state panels: 0/1 automatic saving on/off, 2/3 file
    // properties without/with a file name, 4 about, 5/6 minimise off/on.
    std::array<QIcon, 7> StatusImageList;
    void SetStatusBarPanels(QObject *sender = nullptr);
    void SetStatusBarSimple(QObject *sender = nullptr);
    // The hint of the item under the pointer, or the date line.
    void ShowHint(const QString &hint);
    QString DateLine() const;
    void ZKStatusBarClick(QPoint pos);
    void ZKStatusBarDrawPanel(QPainter &painter, int panel, const QRect &rect);
    void ZKStatusBarResize();
    void StatBarMenuItemClick();
    void LongHintsMenuItemClick();
    void ZKStatBarPopupMenuPopup();
    void StatusPanelAction(int action);
    // Panel 4 with the current picture's size ("statbar_graphic_txt" without one).
    void ShowPictureSizePanel();
    // What the panels reach in areas built later; unset, the click does nothing.
    struct TStatusHooks
    {
        std::function<void(bool on)> SwitchColorPicker; // the colour readout
        std::function<void()> FreeColorView;
        std::function<void(const QString &file, bool bitmapInfo)> ShowFileProperties;
        std::function<void()> ShowAboutBox;
    } StatusHooks;

    // Opening a picture file is the picture-file code's; a drop and the
    // command line route through here.
    virtual void OpenPictureFile(const QString &fileName);

    TDragDropFilesBMForm *DragDropFilesBMForm() const { return m_dragDrop; }
    TGlobalHotKeys *HotKeys() const { return m_hotKeys; }
    // The hot keys another program held at the last registration.
    QList<int> RefusedHotKeys() const { return m_refusedHotKeys; }

    // The active instance (the class library's global MainForm).
    static TMainForm *Instance();

    // --- Picture files: open, save as, automatic and fast saving, clipboard,
    // recent files, JPEG view scale (output/MainFormPictureFiles.cpp) ------
    // Registers the picture classes, counts the Autosave folder and wires and
    // switches on the commands; the constructor calls it after FormCreate.
    void SetupPictureFiles();
    QString FileTypeExt(int Index) const;
    bool IsNativePictureExt(const QString &Ext) const;
    int NextFreeNumber(int Index) const;
    QString NextAutoFileName(int Index) const;
    QString AutosaveDir() const;
    std::uint16_t CountAutosaveFiles() const;
    // The automatic save after a capture (nothing unless PersSave is on).
    void AutoSaveImage();
    // Sender null: the capture paths (the dialog then proposes the bare stem).
    // True when the picture was written.
    bool SaveAsClick(QObject *Sender);
    void FastSaveToolButtonClick(QObject *Sender);
    void OpenClick(QObject *Sender);
    // False, with the message shown and the picture unchanged, on failure.
    bool ConvertToBmpAndLoad(const QString &FileName, const QString &Ext);
    // What follows a picture loaded from FileName: recent list, view fitting,
    // file name and status panels.
    void ShowOpenedFile(const QString &FileName, bool Converted);
    // The load-file message (0x8066): opens without a recent-files entry.
    void WMLoadFile(const QString &FileName);
    // Sends the load-file message to this window; the name is copied.
    void PostLoadFile(const QString &FileName);
    void WMDropFiles(const QStringList &Files);
    // Receiver of the program's message channel (IChannelServer's handler).
    void ChannelMessage(quint32 id, const QByteArray &payload);
    void CopyClick();
    void PasteToolButtonClick();
    void FileAsBmpMenuItemClick();
    void RecentPopupMenuPopup();
    void DeleteListMenuItemClick();
    void JpgScaleMenuItemClick();
    // Closes the JPEG view-scale window if it is open.
    void FreeJpgScaleForm();
    QPointer<class TJpgScaleBMForm> JpgScaleBMForm;
    // --- end of picture files -----------------------------------------------

    // --- Picture edit commands and the one level of undo
    // (edit/MainFormEdit.cpp) ---------------------------------------------
    // Fills the scale and smoothing drop-downs, wires the commands of the
    // picture menu and tool bar and switches them on; the constructor calls it
    // after FormCreate.
    void SetupEditCommands();
    // ScaleKind: 0 by value, 1 persistent, 2 temporary. SmoothKind: 0 fixed,
    // 1 user-defined. Neither is stored.
    std::uint8_t ScaleKind = 0;
    std::uint8_t SmoothKind = 0;
    // The snapshot before a capture or a change of the picture.
    void SaveUndo();
    void UndoMenuItemClick();
    void MirrowingH();
    void MirrowingV();
    void RotationClick();
    void InvertClick();
    void GrayStepClick();
    void HellClick();
    void DarkToolButtonClick();
    void KontrastClick();
    void RGBChanMenuItemClick();
    void GlttenMenuItemClick();
    void GlttenMenuItem2Click();
    // Sender: the menu item or tool button that ran it.
    void ScaleClick(QObject *Sender);
    void ValScaleMenuItemClick();
    void PersistentScale();
    void TemporaryScale();
    void StretchPicture(int Width, int Height);
    void BorderMenuItemClick();
    void FeetLineMenuItemClick();
    void Kacheln1Click();
    void KachOpenPictureDialogShow(QObject *Sender);
    void WaterMenuItemClick();
    void TmpScalMenuItemClick(QObject *Sender);
    void ScalePopupMenuPopup();
    void StdAntiaMenuItemClick(QObject *Sender);
    void AntiaPopupMenuPopup();
    // --- end of picture edit commands -----------------------------------------

    // --- Sending: mail, attachments, hand-off (output/MainFormSend.cpp) ------
    std::unique_ptr<class TSmtpSender> ZKMailNMSMTP;
    std::unique_ptr<class TMailProgram> MailProgram;
    QPointer<class TProgressForm> SmtpProgress;
    // The SMTP server's port (25; tests use a free one).
    int SmtpPort = 25;
    // What sending reaches in the folder explorer; unset, nothing happens.
    struct TSendHooks
    {
        // Whether the explorer's current entry is "Attach".
        std::function<bool()> AttachEntryCurrent;
        std::function<void()> RefreshAttachTree;
    } SendHooks;
    void SetupSending();
    void SendMenuItemClick();
    void MoreAttachMenuItemClick();
    void EMailMenuItemClick();
    // The mail description of the mail program route.
    QStringList SetDefaultMailFields() const;
    void SendMapiMail(const QStringList &description);
    // The record of the SMTP route from the options; shows the progress window.
    TSmtpMessage PrepareSmtpSend();
    void ZKMailNMSMTPPacketSent(qint64 sent, qint64 total);
    void StartExtGraphEditor();
    void ExtGraphMenuItemClick(QAction *Sender);
    void ExtGraphHKMenuItemClick(QAction *Sender);
    void DTBackgrMenuItemClick(QAction *Sender);
    void WordClick();
    QString ReadAttachEntry() const;
    int NextAttachFileNo(int kind) const;
    // Writes the picture attachment; empty (after a message) on failure.
    QString MakeAttachFile();
    QString BuildAttachFile(const QString &file);
    QString BuildAttachArchive(const QStringList &files);
    QStringList CopyAttachments(const QStringList &files);

    // --- Printing (output/MainFormPrint.cpp) --------------------------------
    // Asked whether a printer exists; lists the printers for the settings.
    std::unique_ptr<class TXPrint> ZKXPrint;
    // The page painter and its preview, made on first use and kept.
    std::unique_ptr<class TPrintReport> PrintReport;
    QPointer<class TPrPrevForm> PrPrevForm;
    // The printer the report goes to (PrPrinterIndex, else the default).
    std::unique_ptr<::QPrinter> ReportPrinter;
    // Sends prints to this PDF file instead of a printer queue when set.
    QString PrintToFileName;
    void SetupPrinting();
    // Makes ZKXPrint (counting the printers) once; done after the first show.
    void FindPrinters();
    void PrintClick(QObject *Sender = nullptr);
    void PrintPrevMenuItemClick(QObject *Sender = nullptr);
    void FillPrintReport();
    void PrintPreviewClosed();
    // Prints the filled report; false (after a message) when nothing printed.
    bool PrintReportNow();
    // Prints the filled report on the chosen queue; false after a message.
    bool PrintToQueue();

    // --- Capture control (capture/MainFormCapture*.cpp) ----------------------
    // Operations of other areas that the capture calls. Each area sets its
    // own when it exists; until then the capture goes on without that step
    // and the commands that need it stay disabled.
    struct TCaptureHooks
    {
        // The automatic save; returns the full name written, throws on failure.
        // Unset: the picture-file writer is called directly.
        std::function<QString()> AutoSaveImage;
        // The save dialog; false when the user cancelled.
        std::function<bool(QObject *sender)> SaveAsClick;
        std::function<void()> PrintClick;
        std::function<void()> StartExtGraphEditor;
        std::function<void()> CreateFocusResizer;
        std::function<void()> FitMainWindowToImage;
        std::function<void()> CenterMainWindow;
        std::function<void()> ArmFocusFrame;       // focus frame at the picture's size
        std::function<void()> FreeLoupe;
        std::function<void()> FreeMoveRect;        // the crop rectangle and its hint
        std::function<void()> CenterPicture;       // DocCenter: re-centre in the scroll box
        // The capture overlay over the grabbed desktop (modes 0..4); it ends
        // with AfterCapture on the overlay path.
        std::function<void(const TBitmap &desktop)> ShowScanOverlay;
        std::function<void()> ShowCoordDialog;     // the typed-coordinates dialog
        std::function<void(int cursor)> SetStampCursor;
        // The settings dialog; sender: the command that asked (its start page).
        std::function<void(QObject *sender)> OpenOptionsDialog;
        // Modes 8..12 (window information, scanner, files, text, companion),
        // one entry a mode: a mode's items switch on only once its entry is set.
        std::array<std::function<void()>, 5> RunCaptureSource;
        std::function<void()> &CaptureSource(int scanTool) { return RunCaptureSource.at(size_t(scanTool - 8)); }
    } CaptureHooks;

    // Wires the capture commands, hot keys, timer and tray icon and switches
    // on what works; the constructor calls it after FormCreate.
    void SetupCaptureCommands();
    void ScanClick(QObject *sender = nullptr);
    void DeskMenuItemClick(QObject *sender);
    void CoordMenuItemClick();
    void ShapeMenuItemClick(QObject *sender);
    void ScanShapePopupMenuPopup();
    void KoordLoupMenuItemClick();
    void ScanTFMenuItemClick();
    void PrintScanMenuItemClick();
    void AutoFileMenuItemClick();
    void TimeScanMenuItemClick();
    void TimeScanTimerTimer();
    void SetTimeScan(bool on);
    void UpdateTrayIcon();
    void WMHotKey(int id);
    void WMStartScan();
    void WMShowApplication();
    void ShowToolBars(bool visible);
    void ApplyImageStretch();
    void FreeCutRect();
    void ShowSaveFormat();
    // The cursor as shown now, whichever program set it.
    std::optional<TCursorImage> ForeignCursorHandle() const;
    // The cursor remembered at the start of the capture, placed where the
    // pointer was within the captured area; nothing when it lay outside.
    void DrawCursorIntoImage(QPainter &canvas);
    // The post-capture actions of one capture (the picture is in ScanImage).
    bool AfterCapture(const TCaptureContext &context);
    void ShowApplication(bool toFront = false);
    void HideApplication();
    // Remembers the pointer and the cursor's picture for the stamp.
    void RememberCursor();
    // Enables the capture commands whose code is there (hooks included).
    void UpdateCaptureCommands();
    IChannelServer *LocalChannel() const { return m_localChannel.get(); }
    // Listens on the program's socket (docs/ipc.md); false when another
    // copy holds it.
    bool StartLocalChannel(const QString &path = {});

    QPoint FCursorPos;                       // screen position at the start of a capture
    std::optional<TCursorImage> FCursorImage; // the cursor's picture at that moment
    QRect FCaptureArea;                      // screen area of the picture in ScanImage
    bool FHotKeyCapture = false;
    bool FRecorderActive = false;
    std::uint16_t FTimeScanDone = 0;
    bool FCaptureBusy = false;               // a capture is running; triggers wait their turn
    // The picture's name before the capture command prepared the next
    // automatic one; a cancelled capture gets it back.
    QString FPreScanFileName;
    bool FPreScanHasFileName = false;
    // The fixed waits of the desktop command and the hot keys (benchmarks
    // set them to 0 to time the rest of the path).
    int FDesktopDelayMs = kDesktopCommandDelayMs;
    int FHotKeyDelayMs = kHotKeyDelayMs;

private:
    void OnChannelMessage(quint32 id, const QByteArray &payload);
    bool GrabIntoImage(bool foregroundWindow);
    void ShowCaptureMessage(const QString &key, const QString &fallback, const QString &detail = {});
    // The capture messages that waited for the window to come back.
    void ShowHeldMessages();
    QList<QPointer<QMessageBox>> m_heldMessages;
    bool m_holdMessages = false; // the steps after a capture run
    std::unique_ptr<IChannelServer> m_localChannel;
    QIcon m_staticTrayIcon;
    QList<QPointer<QWidget>> m_hiddenToolWindows;
    QString m_lastSaved;
    friend class TMainFormCaptureExecutor;

public:
    // --- end of capture control ---------------------------------------------

    // --- Capture overlay and typed coordinates (capture/MainFormOverlay.cpp) -
    // Makes the capture overlay, the program's one ScanForm, and fills the
    // capture hooks of modes 0..4 and 6, which switches their commands on; the
    // constructor calls it after SetupCaptureCommands.
    void SetupScanOverlay();
    QPointer<class TScanForm> ScanForm;
    // The window takes the size that shows the whole picture (never more than
    // the screen) / goes to the middle of the screen.
    void FitMainWindowToImage();
    void CenterMainWindow();
    // A captured picture into ScanImage; area: where it lay on the screen.
    void SetScanPicture(TBitmap &&picture, const QRect &area);
    // --- end of capture overlay ---------------------------------------------

    // --- AVI recorder (capture/MainFormRecorder.cpp) -------------------------
    // Wires and switches on the recorder's menu items; the constructor calls
    // it after SetupCaptureCommands.
    void SetupRecorder();
    void AviVdoMenuItemClick();
    // The recorder closed: the window back from the tray, menus and tool bars on.
    void RecorderClosed();
    // The window back from the tray with its tool bars (building, editing).
    void RecorderBackToMain();
    // Recording goes on after a build that wrote nothing.
    void RecorderResumed();
    // The capture commands off while the recorder runs, on again after.
    void EnableRecorderMenus(bool on);
    void OpenSaveAviEdtForm();
    // Asks whether to play a new AVI file (unless told not to ask again).
    void OfferAviView(const QString &fileName);
    void ShowRecorderMessage(const QString &text);
    int AreaWidth = 300;
    QPointer<class TRecorderForm> RecorderForm;
    QPointer<class TSaveAviEdtForm> SaveAviEdtForm;
    // What the recorder reaches in the explorer, the file list and the
    // viewer; an unset step is left out (its button stays disabled).
    struct TRecorderHooks
    {
        std::function<void()> ResetExplorerView;
        std::function<void()> RefreshAviEntries;  // when "AVI-Build"/"AVI-Edit" shows
        std::function<void()> SelectAviEditEntry; // entry "AVI-Edit"
        std::function<QString()> SelectedListItem; // the file list's chosen name
        std::function<QWidget *()> FileListWindow;
        std::function<void(const QString &file)> OpenAviView;
    } RecorderHooks;
    // Tests answer the recorder's messages here; unset, a message box shows.
    std::function<void(const QString &text)> RecorderMessage;
    // --- end of AVI recorder ---------------------------------------------------

    // --- Menus and tool bars that follow the program's state
    // (shell/MainFormToolBars.cpp, shell/MainFormIdle.cpp) -----------------
    // Reads the tool-bar flags and positions and wires the tool-bar menu,
    // the top menus, the idle handler and the picture's context menu; the
    // constructor calls it after the other areas switched on their commands.
    void SetupCommandSurface();
    std::array<bool, kToolBarCount> PaletteFlags{}; // by tag, as the bars show
    bool ColView = false;
    std::uint8_t Antialiasing = 1;
    std::uint8_t Scaling = 1;
    bool PopupBuilt = false;
    // The file list's "Shell" menu once the explorer exists.
    QPointer<QMenu> FileListShellMenu;
    // Runs one of those entries for its copy here (sender), so the file list
    // knows the command came from the main window.
    std::function<void(QAction *original, QAction *sender)> RunFileListItem;
    // After a save: the file list reads its listing again (only the
    // Autosave, today and both-folder listings when autosaveOnly).
    std::function<void(bool autosaveOnly)> RefreshFileList;
    void RefreshFileListAfterSave(bool autosaveOnly)
    {
        if (RefreshFileList)
            RefreshFileList(autosaveOnly);
    }
    void ReadPaletteFlags();
    void WritePaletteFlags();
    void ReadPicEditPalFlags();
    void WritePicEditPalFlags();
    void LoadToolBarPositions();
    void WriteStdValsMenuItemClick();
    void SetMPUndoMenuItemClick();
    void StandardMenuItemClick(QAction *Sender);
    // A floating bar whose place lies off every screen moves onto one.
    void KeepFloatingBarOnScreen(QToolBar *bar);
    void MenuToolBarResize();
    // Most bars wrap their buttons into rows exactly while they float.
    void StandardToolBarResize(QToolBar *bar);
    void MenStatBarPopupMenuPopup();
    // True when a main-menu short cut took the key.
    bool FormShortCut(const QKeySequence &key);
    void XPStyleMenuItemClick();
    void LangMenuItemClick();
    void ZKMultiLanguageTranslate();
    void DateiMenuItemClick();
    void ZKApplicationEventsIdle();
    // Arms the idle pass once; every change of state the commands follow calls it.
    void RequestIdle();
    void GrEdtPopupMenuPopup();
    void EnableFileCommands(bool on);
    void EnableEditCommands(bool on);
    void EnableCursorCommands(bool on);
    void EnableViewCommands(bool on);
    // True when the command's code exists (its area switched it on at start).
    bool CommandBuilt(const QString &name) const;
    bool PrinterExists() const;
    bool ClipboardHasPicture() const { return m_clipboardPicture; }

private:
    void SetCommandEnabled(const QString &name, bool on);
    // Each group's items with whether their code exists, resolved once.
    void SwitchGroup(int group, bool on);
    std::array<QList<QPair<QAction *, bool>>, 4> m_groupSwitches;
    void RelayToolBars(const std::array<QRect, kToolBarCount> &bounds);
    void RefreshShellSubMenu();
    void ArmDateTimer();
    void SetupIdleHandling();
    bool m_inIdle = false;
    QTimer *m_idleTimer = nullptr;
    QTimer *m_dateTimer = nullptr;
    mutable std::optional<QSet<QString>> m_builtCommands;
    mutable std::optional<bool> m_printerExists;
    bool m_clipboardPicture = false;
    QList<QPointer<QAction>> m_focusEntries;
    QPointer<QMenu> m_shellSubMenu;

public:
    // --- end of menus and tool bars -----------------------------------------
    // --- Mouse and keyboard tools on the picture (edit/MainFormMouse.cpp) ----
    // Wires the text, cutter and crop-rectangle commands, the picture's mouse
    // events and the key preview; the constructor calls it after the edit
    // commands. Positions are picture pixels.
    void SetupMouseTools();
    std::unique_ptr<TMoveRect> CutRect;
    QString InsertText;
    bool TextArmed = false;
    bool CutterActive = false;
    bool MarkerActive = false;
    bool StampArmed = false;
    bool NumberMarkActive = false;
    QPoint CutStart, CutEnd, LastDown;
    bool KeyDragStarted = false;
    QPointer<TCoordHint> HintWindow;
    QPoint HintLast;
    QPen MarkerPen; // the marker's dot, set when the marker is armed
    // Steps of the marks, the focus frame and the window-information tool;
    // each area sets its own, until then the step is left out.
    struct TToolHooks
    {
        std::function<void(const QPoint &)> PlaceNumberMark; // left press in number-mark mode
        std::function<void(const QPoint &)> NumberMarkHint;  // every move over the picture
        std::function<void()> RestoreNumberCursor;           // mouse-up with marks left
        std::function<void()> EndNumberMarks;                // Escape in number-mark mode
        std::function<void()> FocusFrameOn;                  // Ctrl+click while FocusMode is on
        std::function<void()> StopWindowInfo;                // Escape
    } ToolHooks;
    void TxtInpMenuItemClick();
    void CutterMenuItemClick();
    void CutterEnterMenuItemClick();
    void ScanImageMouseDown(Qt::MouseButton Button, TShiftState Shift, int X, int Y);
    void ScanImageMouseMove(TShiftState Shift, int X, int Y);
    void ScanImageMouseUp(Qt::MouseButton Button, TShiftState Shift, int X, int Y);
    void ScanImageDblClick();
    void ScanImageClick();
    // Key is set to 0 when a tool used it up.
    void FormKeyDown(int &Key, Qt::KeyboardModifiers Shift);
    void FormKeyPress(int Key);
    void FormKeyUp(int &Key, Qt::KeyboardModifiers Shift);
    void ClipCursorToImage(bool On);
    void KeyMoveCursor(int Key, Qt::KeyboardModifiers Shift);
    void KeyNudgeMoveRect(int Key, Qt::KeyboardModifiers Shift);
    void KeyNudgeSelection(int Key, Qt::KeyboardModifiers Shift);
    void MarkMenuItemClick();
    // The picture pixel under the mouse pointer.
    QPoint PointerOnPicture() const;

private:
    void ApplyCutRect();
    void EscapeCutRect();
    void FinishCut(const QRect &area);
    void ShowCoordHint(int X, int Y);
    void FreeCoordHint();
    // The arrow-key driving of the cutter, the marker and the crop rectangle.
    void KeyDrive(int Key, Qt::KeyboardModifiers Shift, bool &DragStarted, TMoveRect *Rect);
    std::unique_ptr<TPointerClip> m_pointerClip;
    // The picture's mouse events and the key preview; it goes before the
    // window's widgets do, so no event reaches a half-destroyed window.
    std::unique_ptr<QObject> m_mouseToolFilter;
    bool m_cutterPressed = false;
    QPen m_rubberPen{Qt::black}; // the pen of the cutter's and the crop rectangle's frames
    friend class TMouseToolFilter;

public:
    // --- end of mouse and keyboard tools ----------------------------------

    // --- Marks, number marks and pointer stamps (edit/MainFormMarks.cpp) -----
    // Fills the marker menu, wires the number and stamp commands and the
    // tool hooks of the marks; the constructor calls it after the mouse tools.
    void SetupMarks();
    std::int32_t NumberFrom = 0;
    std::int32_t NumberTo = 0;
    std::uint8_t NumberFill = 0;
    std::uint8_t NumberRim = 0;
    std::uint8_t NumberRimWidth = 0;
    std::int32_t NumberPlaced = 0;
    std::int32_t NumberSpan = 0;
    bool NumberHint = false;
    void MarkToolButtonClick();
    void RedThinMenuItemClick(int entry);
    void RedThinMenuItemDrawItem(QPainter &canvas, const QRect &rect, int entry, bool selected) const;
    void SelectMarkerByIndex(int entry);
    void NumMenuItemClick();
    void DrawNumberMark(const QPoint &p, const QString &text);
    void SetNumberCursor(bool on);
    void MausMenuItemClick(QAction *Sender);
    void SetStampCursor(int index);
    // --- end of marks ------------------------------------------------------------

    // --- About box and file properties (shell/MainFormInfo.cpp) -------------
    // Wires the about command and the two status-bar hooks; the constructor calls it.
    void SetupInfoCommands();
    void InfoMenuItemClick();
    // The properties of a file; bitmapInfo shows the note on "|bmp|" views.
    void ShowFileProperties(const QString &fileName, bool bitmapInfo);

    // --- Tool launchers and help (shell/MainFormLaunchers.cpp) ---------------
    // Wires the launcher items; the constructor calls it.
    void SetupLaunchers();
    // The common way a tool dialog opens: named in OpenDialogName while it
    // runs (an empty name leaves it unnamed), the mode call, the language,
    // the look by XPContrStyle, modal, freed afterwards.
    void RunToolDialog(QDialog *dialog, const QString &name, const std::function<void()> &mode = {});
    // Gives a form its look (the flat controls when xpControls is set);
    // unset until the look component exists.
    std::function<void(QWidget *form, bool xpControls)> FormLookHook;
    // The tool dialogs the launchers make, owned by owner; a launcher's items
    // stay disabled while its dialog's entry is unset.
    struct TToolDialogs {
        std::function<QDialog *(QWidget *owner)> Extract;               // "TExtractForm"
        std::function<QDialog *(QWidget *owner, int tab)> AllKonvert;   // "TAllKonvForm", SetTabIndex(tab)
        std::function<QDialog *(QWidget *owner)> BildGalerie;           // "TImgGalForm"
        std::function<QDialog *(QWidget *owner, int mode)> ScanBrowse;  // "TImgPreviewForm", SetMode(mode)
        std::function<QDialog *(QWidget *owner)> Split;
        std::function<QDialog *(QWidget *owner)> FileExtIcon;
        // The preview of one picture file (its mode 3), modal over owner;
        // the conversion jobs' preview buttons stay off while it is unset.
        std::function<void(QWidget *owner, const QString &file)> PreviewPicture;
    } ToolDialogs;
    // Switches each launcher's items by whether its dialog can be made.
    void UpdateLauncherItems();
    void ExtractMenuItemClick();
    void AllKonvertMenuItemClick(QObject *Sender);
    void BildGalerieMenuItemClick();
    void ScanBrowsMenuItemClick(QObject *Sender);
    void SplitMenuItemClick();
    void KeyboardMenuItemClick();
    void FileExtIconMenuItemClick();
    void HandbuchMenuItemClick();

    // --- Settings dialog (shell/MainFormOptions.cpp) ------------------------
    // Wires and switches on the settings commands; the constructor calls it.
    void SetupOptionsDialog();
    void OptionenMenuItemClick(QObject *Sender);
    void EMailSetMenuItemClick(QObject *Sender);
    // The page the dialog opens on for the command that opened it.
    static int OptionsStartPage(const QObject *sender);
    // The steps after OK: the record stored and put to work.
    void ApplyOptionsDialog(class TOptionDlgBMForm &dlg);
    // Ends this copy as the close command does and starts a new one.
    void RestartProgram();
    // Replaces the start of the new copy (tests).
    std::function<void(const QString &program)> RestartCommand;
    // The open settings dialog; null while none is open.
    QPointer<class TOptionDlgBMForm> OptionDlgBMForm;
    // --- end of settings dialog ---------------------------------------------

    // --- Picture view modes and screen windows (shell/MainFormView.cpp) ------
    // Wires the view commands, fills the view hooks of the other areas and
    // switches on what works here; the constructor calls it.
    void SetupViewCommands();
    void WinDimMenuItemClick();
    void DocCentMenuItemClick();
    void GsMenuItemClick();
    void DocFocMenuItemClick();
    void FocObjStretchClick(QObject *Sender);
    void TransMenuItemClick();
    void ViewMenuItemClick();
    void CenterPicture();
    void ClientScrollBoxResize();
    void ApplyBackColor();
    // A dialog key (Tab, arrows, Enter, Escape) the focused control left;
    // virtualKey as the scroll box reports it. True when it was used up.
    bool CMDialogKey(int virtualKey, Qt::KeyboardModifiers Shift);
    void FocusModeOn();
    void FocusModeOff();
    void CreateFocusResizer();
    void CoordNetMenuItemClick();
    void FullScreenMenuItemClick();
    void DskIcOutMenuItemClick(QObject *Sender);
    void TskbOutMenuItemClick(QObject *Sender);
    void HideTaskbar();
    void ShowTaskbar();
    void InvScrMenuItemClick();
    void WinMinMenuItemClick();
    // The picture as it was before the grid, and the picture's change count
    // right after the grid was drawn.
    std::unique_ptr<TBitmap> GridCopy;
    quint64 GridGeneration = 0;
    QPointer<class TFullScreenForm> FullScreenForm;
    // The colour window; null while it is not open.
    QPointer<QWidget> ColViewForm;
    // Samples the colour under the pointer while the "ColView" flag is on.
    class TsvcColorPicker *ZKsvcColorPicker = nullptr;
    void ColViewMenuItemClick();
    void ZKsvcColorPickerTimer();
    // The desktop and panel windows this program took off the screen.
    QList<std::uint32_t> HiddenDesktopWindows, HiddenTaskbarWindows;
    // Tests answer the view's messages here; unset, a message box shows.
    std::function<void(const QString &text)> ViewMessage;
    // --- end of view modes ---------------------------------------------------

    // --- Docked explorer and dock layout (explorer/MainFormDock.cpp) ---------
    static constexpr int kSidePanelWidth = 169;
    static constexpr int kBottomPanelHeight = 65;
    // Binds the dock rules, the explorer switch, the pinned placement and
    // the Window menu to both explorer windows; the explorer's set-up calls
    // it once they exist.
    void SetupDockLayout();
    // "DataStream" of a side area under "GUI\" + its name.
    void SaveDockPanel(TDockSite *Panel);
    void LoadDockPanel(TDockSite *Panel);
    void RestoreDockForms();
    // The two side areas and the explorer windows' dock states (close).
    void SaveDockForms();
    void ShowFileExplorer();
    void FileExMenuItemClick();
    // Qt's dock events of a dockable window: docked into area, or floating.
    void DockFormLocationChanged(QWidget *form, Qt::DockWidgetArea area);
    void DockFormTopLevelChanged(QWidget *form, bool floating);
    void ToggleFileOutput();
    void FileOutputMenuItemClick();
    void WMMove();
    void FormResize();
    void PlacePinnedExplorer();
    void FEMagMenuItemClick();
    void WinMenuItemClick();
    void TreeMenuItemClick(QObject *Sender);
    void InternMenuItemClick();
    // The text-output window and whether it is shown.
    bool FileOutputShown = false;
    QPointer<QWidget> FileOutputBDForm;
    // Makes the text-output window (the text search's); unset, its items
    // stay disabled.
    std::function<QWidget *()> CreateFileOutputForm;
    // The dockable windows' areas as the rules allow them now.
    void ApplyDockRules();
    // --- end of docked explorer ----------------------------------------------

    // --- Other capture sources and the tray's events (capture/MainFormSources.cpp)
    // Fills capture modes 9..12, the scanner items, the copy-data message
    // and the tray icon's mouse events; the constructor calls it.
    void SetupCaptureSources();
    void ScanTwainMenuItemClick();
    void KodakScanMenuItemClick();
    void DoScanPropMenuItemClick();
    void ScanFileMenuItemClick();
    void ScanOpenPictureDialogShow(QFileDialog *dialog);
    void ScanTxtMenuItemClick();
    void EndTextScan();
    void QuorvMenuItemClick();
    // Channel message 0x004A: dwData (4 bytes LE) and the block; 1 is a
    // whole BMP file for the picture. False when the block changed nothing.
    bool WMCopyData(const QByteArray &payload);
    void ZKsvcTrayIconMouseDown(Qt::MouseButton button);
    void ZKsvcTrayIconMouseUp(Qt::MouseButton button);
    void ZKsvcTrayIconDblClick();
    // An outline flying from the window to the tray icon (about 250 ms).
    void AnimateToTray();
    // Whether the tray host reports double clicks (an XEmbed tray does; a
    // StatusNotifierItem host reports one activation per click).
    static bool TrayReportsDoubleClicks();
    // The picture of the sources, set as a paste sets one: no file name.
    void SetSourcePicture(TBitmap picture);
    QPointer<class TFindOptBMForm> FindOptBMForm;
    bool FTextScanActive = false; // the text search's output is shown
    // The questions the sources ask; tests answer them.
    struct TSourcePrompts
    {
        std::function<QString(const QString &title)> ChooseFile; // "" when cancelled
        std::function<void(const QString &text)> Message;
        std::function<bool(const QString &program, const QStringList &args)> StartDetached;
        std::function<int(int ms)> Wait; // the pause between the two file dialogs
    } SourcePrompts;
    // --- end of other capture sources ---------------------------------------
    // --- Window information, one running copy, autostart and the
    // application-wide properties (capture/MainFormWindowInfo.cpp) -------
    // Fills capture mode 8, wires its items, the Escape hook and the
    // application components; the constructor calls it after the launchers.
    void SetupWindowInfo();
    void WEMenuItemClick();
    void WinFormFrameTimerTimer();
    // Wnd: an element found by the tracker (0: none).
    void ShowWinElementInfo(std::uint32_t Wnd);
    // Frames Wnd, or takes the frame away when Wnd is the one framed now.
    void DrawWindowFrame(std::uint32_t Wnd);
    // The tray's capture items (in this order: close, show/hide, settings,
    // files, scanner, recorder, window information, coordinates, desktop,
    // capture, text); switching on brings back only what switching off took.
    void EnableScanMenus(bool Enabled);
    // Ends the tracking and takes the frame away; Escape in the status-bar mode.
    void StopWindowInfo();
    // The tool window's close: the program, its menus and bars come back.
    void CloseWindowInfo();
    std::uint32_t FLastElement = 0;
    QPointer<class TContrClassForm> ContrClassForm;
    std::unique_ptr<class TWindowTracker> WindowTracker;
    std::unique_ptr<class TWindowFrame> WindowFrame;
    // What the tracker read about FLastElement, and the root's child it sits in.
    std::unique_ptr<struct TWindowElement> FLastElementInfo;
    std::uint32_t FLastRootChild = 0;
    QPoint FLastCursor;
    // Tests answer the tool's message here; unset, a message box shows.
    std::function<void(const QString &text)> WindowInfoMessage;
    // The autostart entry (the user's, kept in step with AutoSysStart) and
    // the application's events and hint timings (shell/MainFormAppComponents.cpp).
    void SetupApplicationComponents();
    class TsvcAutoRun *ZKsvcAutoRun = nullptr;
    class TsvcApplicationProperties *ZKsvcApplicationProperties = nullptr;
    // --- end of window information ------------------------------------------

signals:
    // A global hot key of slot 1..6 was pressed (the WM_HOTKEY message).
    void HotKeyMessage(int slot);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool m_placingPinned = false;
    bool m_centrePending = false;
    void BuildComponents();
    void BuildMenus();
    void BuildToolBars();
    QAction *AddItem(QMenu *menu, const char *name, const QString &caption);
    QMenu *AddSubMenu(QMenu *menu, const char *name, const QString &caption);
    QMenu *AddPopup(const char *name);
    TBarPopupMenu *AddBarPopup(const char *name);
    void BuildStatusBar();
    // What a panel shows until something is written to it.
    static QString InitialPanelText(int index);
    // Panel texts written before the status bar is made.
    QHash<int, QString> m_panelTextsBeforeBar;
    void RegisterItem(QAction *action, const char *name);
    // A command item: registered, and disabled unless its code is in place.
    void RegisterCommand(QAction *action, const char *name);
    void RestoreToolBarDockStates();
    void SaveToolBarDockStates();
    void HideToTray();
    void ShowTrayIcon();
    bool TrayUsable() const;
    void ShowFromTray();
    void ReportRefusedHotKeys(const QList<int> &refused);
    void OnHotKey(int id);
    void CreateStep(const char *what, const std::function<void()> &step);

    QHash<QString, QAction *> m_items;
    QHash<QString, QMenu *> m_subMenus;
    TGlobalHotKeys *m_hotKeys = nullptr;
    TDragDropFilesBMForm *m_dragDrop = nullptr;
    QStringList m_commandLineFiles;
    QList<int> m_refusedHotKeys;
    QSet<int> m_reportedHotKeys;
    bool m_closeDone = false;
    bool m_closeAsking = false;
    bool m_closingBySignal = false;
    // Channel messages waiting for the main loop (shell/MainFormNotices.cpp).
    QList<std::pair<quint32, QByteArray>> m_channelQueue;
    bool m_channelDrainQueued = false;
    bool m_channelBusy = false;
    QHash<QString, QPointer<QMessageBox>> m_countedBoxes;
    QStringList m_damagedNotes;
    void DrainChannelMessages();
    void InstallStoreNotices();
    void NoteDamagedStore(const QString &store, const QString &copy);
    bool m_inMaximizeToggle = false;
    bool m_sessionEnding = false;
    bool m_trayWanted = true;

public:
    // --- Desktop hand-offs, cut, numbered bitmap copies, AVI player and
    // frames (shell/MainFormShellCommands.cpp) --------------------------------
    // Wires and switches on these commands and fills the recorder's player
    // hook; the constructor calls it.
    void SetupShellCommands();
    void FileManagerMenuItemClick();
    // The system-wide file search, from the home folder.
    void FileSysFindMenuItemClick();
    void ScriptMenuItemClick();
    void CutMenuItemClick();
    void BmpsToAviMenuItemClick();
    void AviLoadMenuItemClick();
    void OpenAviView(const QString &FileName);
    void AVIextrahieren1Click();
    // Sender's Tag: 0 "Readme.txt", 1 "Lizenz.txt".
    void ReadmeMenuItemClick(QObject *Sender);
    // Text files to be turned into pictures; its accept button is named on
    // show. Made at its first use: a file dialog costs the start a fifth of
    // its time (its icons, its settings, a watched folder).
    QFileDialog *TxtOpenDialog();
    void TxtOpenDialogShow(QObject *Sender);
    // The open player; null while none is shown.
    QPointer<class TAviViewBMForm> AviViewBMForm;
    // Tests answer these commands' questions here; unset, the dialogs show.
    struct TShellPrompts
    {
        std::function<void(const QString &text)> Message;
        std::function<bool(const QString &text)> Confirm; // Yes/No
        // kind 0: the bitmaps' folder (caption given), 1: the copies' folder;
        // "" when cancelled.
        std::function<QString(int kind, const QString &caption)> ChooseFolder;
        // "AviOpenDialog" or "Avi2BmpSaveDialog"; "" when cancelled.
        std::function<QString(const QString &dialogName)> ChooseFile;
        // The frame number as typed; nullopt when cancelled.
        std::function<std::optional<QString>(const QString &preset)> AskFrameNumber;
    } ShellPrompts;

private:
    void ShellMessage(QString text, const QString &detail = {});
    bool ShellConfirm(const QString &key, const QString &fallback);
    QString ShellChooseFile(const QString &dialogName);
    // --- end of desktop hand-offs ----------------------------------------------
public:
    // --- Icon tools, split and join (tools/MainFormIconTools.cpp) ------------
    // Fills the extractor, extension-icon and split launchers; the
    // constructor calls it after the launchers.
    void SetupIconTools();
    // --- end of icon tools, split and join -----------------------------------
public:
    // --- Flat look of menus, tool bars and controls (shell/MainFormXPLook.cpp)
    // Makes ZKXPLook, sets it by XPMenStyle and FormLookHook for the dialogs;
    // the constructor calls it once the tool bars exist.
    void SetupXPLook();
    // ZKXPLook active as XPMenStyle says (creation, the menu item, the
    // settings dialog's OK).
    void ApplyXPLook();
    class TXPLook *ZKXPLook = nullptr;
public:
    // --- Conversion jobs (tools/MainFormKonvert.cpp) -------------------------
    // Fills the conversion host's factory; the constructor calls it.
    void SetupKonvertJobs();
public:
    // --- Picture preview and HTML gallery (explorer/MainFormPreviewGallery.cpp)
    // Fills the preview's and the gallery's tool-dialog factories and the
    // one-picture preview; the constructor calls it after SetupLaunchers.
    void SetupPreviewGallery();
    // A preview of the mode with the main window's folders and its edit hook.
    class TImgPreviewBMForm *MakePreviewForm(QWidget *owner, int mode);
    // The preview's Edit: the picture of file into the main window.
    void LoadPreviewPicture(const QString &file, const TBitmap &bitmap);
    // --- end of picture preview and gallery --------------------------------
private:
    // --- The idle pass's switching list (shell/MainFormIdle.cpp) ------------
    // Each command the idle pass switches, looked up once: its action,
    // whether its code exists, and one bit for each step of the pass that
    // names it (the last step that applies decides its state).
    struct TIdleSwitch
    {
        QAction *action;
        bool built;
        quint8 steps;
    };
    QList<TIdleSwitch> m_idleSwitches;
    // Counts the items registered; the list is made again when it moved on.
    quint32 m_itemRegistrations = 0, m_idleSwitchesFor = ~0u;
    void MakeIdleSwitches();
    // --- end of the idle pass's switching list ------------------------------
    // --- The resting text of a pointer move (edit/MainFormMouse.cpp) -------
    // Every move puts panel 0's resting text back; it is looked up again
    // only when the language's texts or the number mark changed.
    struct TMoveStatusText
    {
        bool known = false;
        const TMultiLanguage *language = nullptr;
        quint64 textsRead = 0;
        bool numberMark = false;
        QString text;
    };
    TMoveStatusText m_moveStatusText;
    const QString &MoveStatusText();
    // --- end of the resting text of a pointer move --------------------------
};

} // namespace zk
