#pragma once
// The main window. One class for the whole program: this file declares its
// component tree, its state and its lifecycle; the capture, picture, view and
// output code adds its handlers to the same class in files of its own.
#include "Options.h"
#include "StartupRules.h"

#include <QDate>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QSet>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QScrollArea;
class QSplitter;
class QStatusBar;
class QSystemTrayIcon;
class QTimer;
class QToolBar;

namespace zk {

class TBitmap;
class TDragDropFilesBMForm;
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
    QWidget *LeftDockPanel = nullptr;
    QWidget *RightDockPanel = nullptr;
    QWidget *BottomDockPanel = nullptr;
    QScrollArea *ClientScrollBoxEx = nullptr;
    TImage *ScanImage = nullptr;
    QStatusBar *ZKStatusBar = nullptr;
    QSystemTrayIcon *ZKsvcTrayIcon = nullptr;
    TMultiLanguage *ZKMultiLanguage = nullptr;
    QTimer *TimeScanTimer = nullptr;
    QTimer *WinFormFrameTimer = nullptr;

    QMenu *ScanShapePopupMenu = nullptr;
    QMenu *RecentPopupMenu = nullptr;
    QMenu *FocObjPopupMenu = nullptr;
    QMenu *TrayBarPopupMenu = nullptr;
    QMenu *ZKStatBarPopupMenu = nullptr;
    QMenu *MarkColrPopupMenu = nullptr;
    QMenu *AntiaPopupMenu = nullptr;
    QMenu *ScalePopupMenu = nullptr;
    QMenu *GrEdtBarPopupMenu = nullptr;
    QMenu *MenStatBarPopupMenu = nullptr;

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
    std::unique_ptr<TBitmap> WorkBitmap;
    bool FirstShowDone = false;

    // --- Lifecycle ------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormHide();
    void FormCloseQuery(bool &canClose);
    void FormClose();
    void CloseClick();
    void LoadOptions();
    void SaveOptions();
    void WriteOptionBool(const QString &name, bool value);
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
    void GermanMenuItemClick(QAction *sender);
    void SetScanToolHints();
    void ApplySubMenuTexts();

    // The text of a language key, or the German fallback when the language
    // file lacks it (an empty question box helps nobody).
    QString Text(const QString &key, const QString &fallback = {}) const;

    QString StatusPanelText(int index) const;
    void SetStatusPanelText(int index, const QString &text);

    // Opening a picture file is the picture-file code's; a drop and the
    // command line route through here.
    virtual void OpenPictureFile(const QString &fileName) { Q_UNUSED(fileName); }

    TDragDropFilesBMForm *DragDropFilesBMForm() const { return m_dragDrop; }
    TGlobalHotKeys *HotKeys() const { return m_hotKeys; }
    // The hot keys another program held at the last registration.
    QList<int> RefusedHotKeys() const { return m_refusedHotKeys; }

    // The active instance (the class library's global MainForm).
    static TMainForm *Instance();

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

private:
    void BuildComponents();
    void BuildMenus();
    void BuildToolBars();
    QAction *AddItem(QMenu *menu, const char *name, const QString &caption);
    QMenu *AddSubMenu(QMenu *menu, const char *name, const QString &caption);
    QMenu *AddPopup(const char *name);
    void RegisterItem(QAction *action, const char *name);
    void EnableBuiltCommands();
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
    QList<QLabel *> m_statusPanels;
    QSplitter *m_bottomSplit = nullptr;
    TGlobalHotKeys *m_hotKeys = nullptr;
    TDragDropFilesBMForm *m_dragDrop = nullptr;
    QStringList m_commandLineFiles;
    QList<int> m_refusedHotKeys;
    QSet<int> m_reportedHotKeys;
    bool m_closeDone = false;
    bool m_inMaximizeToggle = false;
    bool m_sessionEnding = false;
    bool m_trayWanted = true;
};

} // namespace zk
