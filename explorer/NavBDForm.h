#pragma once
// The file list: the lower window of the explorer pair. It lists what the
// folder explorer has selected (the program's storage folders, the day
// views, a chosen folder, a date search, a real folder), opens a listed
// picture in the main window with one click and carries the list's
// commands (view, shell verbs, deleting, copying).
#include "DirBDForm.h"
#include "FileListing.h"
#include "FileListModel.h"
#include "ThumbImageList.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPixmap>
#include <QSet>
#include <QThreadPool>

class QCheckBox;
class QCalendarWidget;
class QHeaderView;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QRadioButton;
class QGroupBox;

namespace zk {

class TMainForm;

class TNavBDForm : public TBaseDockForm
{
    Q_OBJECT
public:
    TNavBDForm(QMainWindow *mainWindow, TZelkoraOptions *options, TDirBDForm *explorer);
    ~TNavBDForm() override;

    QListView *FileListView = nullptr;
    QHeaderView *FileListHeader = nullptr;
    TFileListModel *FileListModel = nullptr;
    QList<QIcon> NavSImageList, NavLImageList, LVImageList, AllSImageList, AllLImageList;
    TThumbImageList ThumbImageList;
    TMultiLanguage *NavBDMultiLanguage = nullptr;

    TBarPopupMenu *NavViewBarPopupMenu = nullptr;
    QAction *RefreshMenuItem = nullptr, *RepMenuItem = nullptr, *IconMenuItem = nullptr,
            *NavThumbMenuItem = nullptr, *FEMag3MenuItem = nullptr, *ExpDim2MenuItem = nullptr,
            *OnlyGraphTypMenuItem = nullptr, *ChRealDir2MenuItem = nullptr, *ShellMenuItem = nullptr;
    QMenu *ShellMenu = nullptr;
    QAction *ShellOpenMenuItem = nullptr, *ShellExploreMenuItem = nullptr, *ShellPropMenuItem = nullptr,
            *ShellPrintMenuItem = nullptr, *WriteProtMenuItem = nullptr, *DelFileMenuItem = nullptr,
            *DelFilesMenuItem = nullptr, *CopyToClpbMenuItem = nullptr, *CopyToClpb2MenuItem = nullptr,
            *Suchen1 = nullptr;

    bool ThumbView = false;
    QString ListBase;
    int FileCount = 0;
    bool ExplorerShown = false;
    bool ListingDone = true;
    // How long a lister works before the window gets its turn (ms).
    int BatchMs = 25;

    // Questions and messages (tests answer them without a box).
    TExplorerPrompts Prompts;
    // The date dialog; false when cancelled. Unset: TDateFindBMForm.
    std::function<bool(QWidget *owner, TDateSearchRequest &request)> AskDateRequest;
    // The system-wide file search of the main window; "Suchen" and the date
    // dialog's "Systemweit suchen" stay off while it is unset.
    std::function<void()> FindFiles;
    void SetFindFiles(std::function<void()> find);

    // Listers.
    void ListStorageFolder();
    void ListAutosave();
    void ListFolder(const QString &folder);
    void ListToday();
    void ListYesterday();
    void ListBoth();
    void ListAviBuild();
    void ListAviEdit();
    void SearchByDate(const TDateSearchRequest &request);
    void ListRealFolder(const QString &path);
    void ListRealFolderPictures(const QString &path);
    void ListEntryFolder(const QString &folder);
    // Lazy work (icons, the thumbnails of the rows in view and of the next
    // screen) still to do for the current listing.
    bool LazyWorkPending() const;

    // Actions.
    void FileListViewClick();
    void FileListViewDblClick();
    void FileListViewSelectItem();
    void ActMenuItemClick();
    // The refresh after a save: the listing shown, without any question.
    void RefreshAfterSave(bool autosaveOnly);
    void RepMenuItemClick(int tag);
    void NavViewPopupMenuPopup();
    void ShellMenuItemClick();
    void ShellOpenMenuItemClick(QAction *sender);
    void DelFileMenuItemClick(QAction *sender);
    void CopyToClpbMenuItemClick(int tag);
    void OnlyGraphTypMenuItemClick();
    void FEMag3MenuItemClick();
    void ExpDim2MenuItemClick();
    void ChRealDir2MenuItemClick();
    void Find2MenuItemClick();
    void DropFile(const QString &file);
    // True when the picture is in the main window.
    bool OpenInMain(const QString &path);
    void WM_EXPLORERSHOWN() { ExplorerShown = true; }
    // The path of the selected row ("" without one).
    QString SelectedPath() const;

    Q_INVOKABLE void SetLanguage(const QStringList &Script, int LanguageIndex);
    QString Text(const QString &key, const QString &german) const;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dropEvent(QDropEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct ListingScope;
    void buildList();
    void buildMenu();
    void makeTypeImages();
    void makeFileTypeImages();
    TMainForm *mainForm() const;
    bool internPage() const;
    int beginListing(const QString &base, bool real);
    TListPump pumpFor(int generation);
    void flushBatch();
    void addStorageItems(int generation, const QString &folder, const QStringList &names);
    void addRealItems(int generation, const QString &folder, const QStringList &names);
    void listStorage(const QString &folder, TNameFilter filter);
    bool listReal(const QString &path, TNameFilter filter);
    void listDays(int mode);
    void updateCountCaption();
    void showStdCaption();
    bool m_stdCaption = false;
    void applyViewMode();
    QIcon decoration(const TFileEntry &e) const;
    void queueLazy(const QString &path);
    void dispatchLazy();
    QList<QPair<int, QString>> wantedThumbs(int room) const;
    int thumbsPerScreen() const;
    void pageIconView(int direction);
    void lazyDone(int generation, int rowHint, const QString &path, const QImage &image, bool ok);
    bool deleteFile(const QString &path);
    void showMessage(const QString &text) const;
    bool confirm(const QString &text) const;
    QString shellTarget(QAction *sender) const;
    bool isOwnShellItem(const QAction *a) const;

    TZelkoraOptions *m_options;
    QPointer<TDirBDForm> m_explorer;
    int m_generation = 0;
    int m_running = 0;
    bool m_realListing = false;
    bool m_iconMode = false;
    std::vector<TFileEntry> m_batch;
    QElapsedTimer m_batchClock;
    QHash<QString, int> m_realIcons; // shell icon index by extension
    // Lazy icons and thumbnails: waiting paths in listing order, those on a
    // worker, and the files that could not be read.
    QStringList m_pending;
    QSet<QString> m_pendingSet;
    int m_inFlight = 0;
    QStringList m_unreadable;
    // Thumbnails on a worker, and pictures whose thumbnail failed (not tried
    // again in this listing).
    QSet<QString> m_thumbsInFlight, m_thumbsFailed;
    QThreadPool m_pool;
    QTimer *m_lazyTimer = nullptr;
};

// "Nach Datum suchen": the day, the folders and the types of a date search.
class TDateFindBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    TDateFindBMForm(QWidget *owner, TZelkoraOptions *options);

    QCalendarWidget *FindMonthCalendar = nullptr;
    QGroupBox *FindArtRadioGroup = nullptr;
    QRadioButton *FindArtStdRadio = nullptr, *FindArtUserRadio = nullptr;
    QLabel *DFSearchPathLabel = nullptr;
    QLineEdit *DFFindPathEdit = nullptr;
    QGroupBox *SearchTypesGroupBox = nullptr;
    QCheckBox *DFBmpCheckBox = nullptr, *DFJpgCheckBox = nullptr, *DFGifCheckBox = nullptr,
              *DFWmfCheckBox = nullptr, *DFEmfCheckBox = nullptr, *DFIcoCheckBox = nullptr,
              *DFZkgCheckBox = nullptr, *DFPngCheckBox = nullptr, *DFAllCheckBox = nullptr;
    QCheckBox *CheckDateCheckBox = nullptr;
    QPushButton *DFSearchButton = nullptr, *DFCancButton = nullptr, *SyswideFindButton = nullptr;

    // Asks for a folder (the user-defined search place); "" when cancelled.
    std::function<QString(const QString &caption)> SelectFolder;
    // The main window's system-wide search; the button is off while unset.
    void SetSyswideFind(std::function<void()> find);

    void GetRequest(TDateSearchRequest &request) const;
    void FindArtRadioGroupClick(int item);
    QString Text(const QString &key, const QString &german) const;

    void done(int r) override;
    void reject() override;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    std::array<QCheckBox *, 8> typeBoxes() const;
    TZelkoraOptions *m_options;
    TMultiLanguage *m_language = nullptr;
    bool m_mayClose = false;
    std::function<void()> m_syswideFind;
};

} // namespace zk
