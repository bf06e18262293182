#include "NavBDForm.h"
#include "XPLook.h"

#include "BarPopupMenu.h"
#include "Globals.h"
#include "Graphic.h"
#include "GraphicConvert.h"
#include "Icon.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "PictureFiles.h"
#include "ProgramDir.h"
#include "Progress.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace zk {

namespace {

constexpr int kTypeImages = 7;
// Row height of the report view and the icon side of the icon view.
constexpr int kSmallIcon = 16;
constexpr int kLargeIcon = 32;

QString withSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

QString autosaveFolder()
{
    return withSlash(ProgramDir()) + QStringLiteral("Autosave/");
}

// Grid lines under the rows of the report view, and the hovered caption
// underlined (the list follows the pointer like a link).
// The file list's header: its one section says how many pictures there are.
// Qt sizes a header by measuring its texts in bold, which at start-up loads a
// font that nothing draws. Measured in the header's own font the text comes
// out a few pixels narrower; the list below is wider than either, and the
// header's height is fixed.
class TFileListHeader final : public QHeaderView
{
public:
    using QHeaderView::QHeaderView;
    QSize sizeHint() const override
    {
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        if (model())
            opt.text = model()->headerData(0, orientation(), Qt::DisplayRole).toString();
        opt.fontMetrics = fontMetrics();
        return style()->sizeFromContents(QStyle::CT_HeaderSection, &opt, QSize(), this);
    }
};

class TFileListDelegate : public QStyledItemDelegate
{
public:
    TFileListDelegate(QListView *view) : QStyledItemDelegate(view), m_view(view) {}
    // The list keeps one item size for all rows, taken from whichever row
    // comes first. In the icon views that must not depend on the picture the
    // row shows so far (a type image until its thumbnail arrives): every
    // cell holds a whole picture of the icon size with the caption under it.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (m_view->viewMode() == QListView::IconMode && m_view->gridSize().isValid())
            return m_view->gridSize() - QSize(4, 4);
        return QStyledItemDelegate::sizeHint(option, index);
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem o(option);
        if (o.state & QStyle::State_MouseOver)
            o.font.setUnderline(true);
        QStyledItemDelegate::paint(painter, o, index);
        if (m_view->viewMode() == QListView::ListMode) {
            painter->save();
            painter->setPen(option.palette.color(QPalette::Midlight));
            painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
            painter->restore();
        }
    }

private:
    QListView *m_view;
};

// What a worker makes of one file: a thumbnail of a ".bmp", the picture of
// an ".ico"; a null image when the file cannot be read.
QImage decodeLazy(const QString &path)
{
    try {
        if (QFileInfo(path).size() <= 0)
            return {};
        if (FileExt(path) == QLatin1String(".ico")) {
            TIcon icon;
            icon.LoadFromFile(path);
            return icon.ToImage();
        }
        const QImage sampled = SampledBmpThumbnail(path);
        if (!sampled.isNull())
            return sampled;
        TBitmap bmp;
        bmp.LoadFromFile(path);
        return MakeListThumbnail(bmp.ToImage());
    } catch (const std::exception &) {
        return {};
    }
}

} // namespace

// The hourglass while a lister runs; listers started inside a running one
// stack their own.
struct TNavBDForm::ListingScope
{
    explicit ListingScope(TNavBDForm &f) : form(f)
    {
        ++form.m_running;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~ListingScope()
    {
        QApplication::restoreOverrideCursor();
        // A listing stopped by a newer one ends with it.
        if (--form.m_running == 0)
            form.ListingDone = true;
    }
    TNavBDForm &form;
};

TNavBDForm::TNavBDForm(QMainWindow *mainWindow, TZelkoraOptions *options, TDirBDForm *explorer)
    : TBaseDockForm(mainWindow, QStringLiteral("Datei-Explorer")), m_options(options), m_explorer(explorer)
{
    setObjectName(QStringLiteral("NavBDForm"));
    NavBDMultiLanguage = new TMultiLanguage(this);
    NavBDMultiLanguage->setObjectName(QStringLiteral("NavBDMultiLanguage"));
    makeTypeImages();
    buildList();
    buildMenu();
    setAcceptDrops(true);

    Prompts.Message = [this](const QString &text) { QMessageBox::information(this, windowTitle(), text); };
    Prompts.Confirm = [this](const QString &text) {
        return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    Prompts.SelectFolder = [this](const QString &caption) {
        QString folder;
        zk::SelectFolder(caption, folder, this);
        return folder;
    };

    m_pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    m_lazyTimer = new QTimer(this);
    m_lazyTimer->setSingleShot(true);
    m_lazyTimer->setInterval(0);
    connect(m_lazyTimer, &QTimer::timeout, this, &TNavBDForm::dispatchLazy);

    if (m_explorer) {
        TFileListHooks &h = m_explorer->FileList;
        h.ListStorageFolder = [this] { ListStorageFolder(); };
        h.ListAutosave = [this] { ListAutosave(); };
        h.ListAviBuild = [this] { ListAviBuild(); };
        h.ListAviEdit = [this] { ListAviEdit(); };
        h.ListBoth = [this] { ListBoth(); };
        h.ListToday = [this] { ListToday(); };
        h.ListYesterday = [this] { ListYesterday(); };
        h.SearchByDate = [this](QWidget *owner) {
            TDateSearchRequest request;
            bool ok = false;
            if (AskDateRequest) {
                ok = AskDateRequest(owner, request);
            } else {
                TDateFindBMForm dialog(owner, m_options);
                dialog.SetSyswideFind(FindFiles);
                dialog.SetLanguage(NavBDMultiLanguage->Script(), m_options ? m_options->Language : 0);
                TXPLook::ApplyToForm(&dialog, m_options && m_options->XPContrStyle);
                ok = dialog.exec() == QDialog::Accepted;
                if (ok)
                    dialog.GetRequest(request);
            }
            if (ok)
                SearchByDate(request);
        };
        h.ListFolder = [this](const QString &f) { ListFolder(f); };
        h.ListEntryFolder = [this](const QString &f) { ListEntryFolder(f); };
        h.ListRealFolder = [this](const QString &f) { ListRealFolder(f); };
        h.ClearList = [this] {
            ++m_generation; // a running listing stops
            m_batch.clear();
            FileListModel->clear();
            m_pending.clear();
            m_pendingSet.clear();
        };
        h.SetColumnCaption = [this](const QString &c) { FileListModel->setColumnCaption(c); };
        h.ListingDone = [this] { return ListingDone; };
        h.PageChanged = [this](bool intern) {
            NavThumbMenuItem->setVisible(intern);
            m_realListing = !intern;
            applyViewMode();
        };
        h.FileListVisible = [this] { return isVisible(); };
    }
}

TNavBDForm::~TNavBDForm()
{
    ++m_generation;
    m_pending.clear();
    m_pool.clear();
    m_pool.waitForDone();
    if (m_explorer)
        m_explorer->FileList = {};
}

void TNavBDForm::makeTypeImages()
{
    LVImageList = {QApplication::style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                   QApplication::style()->standardIcon(QStyle::SP_FileDialogListView)};
}

void TNavBDForm::makeFileTypeImages()
{
    // The type images are the desktop's icons of the seven picture kinds.
    static const char *const samples[kTypeImages] = {"a.bmp", "a.jpg", "a.gif", "a.wmf", "a.png", "a.tif", "a.zkg"};
    NavSImageList.clear();
    NavLImageList.clear();
    for (const char *name : samples) {
        for (const bool small : {true, false}) {
            QIcon icon;
            if (auto shell = GetShellFileIcon(QString::fromLatin1(name), small))
                icon = QIcon(QPixmap::fromImage(shell->ToImage()));
            if (icon.isNull())
                icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
            (small ? NavSImageList : NavLImageList).append(icon);
        }
    }
}

void TNavBDForm::buildList()
{
    auto *body = new QWidget(this);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    FileListModel = new TFileListModel(this);
    FileListModel->Decoration = [this](const TFileEntry &e) { return decoration(e); };
    updateCountCaption();

    FileListHeader = new TFileListHeader(Qt::Horizontal, body);
    FileListHeader->setObjectName(QStringLiteral("FileListHeader"));
    FileListHeader->setModel(FileListModel);
    FileListHeader->setSectionsClickable(false);
    FileListHeader->setStretchLastSection(true);
    FileListHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FileListHeader->setFixedHeight(FileListHeader->fontMetrics().height() + 8);
    layout->addWidget(FileListHeader);

    FileListView = new QListView(body);
    FileListView->setObjectName(QStringLiteral("FileListView"));
    FileListView->setModel(FileListModel);
    FileListView->setItemDelegate(new TFileListDelegate(FileListView));
    FileListView->setSelectionMode(QAbstractItemView::SingleSelection);
    FileListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FileListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileListView->setUniformItemSizes(true);
    FileListView->setMouseTracking(true);
    FileListView->viewport()->setCursor(Qt::PointingHandCursor);
    FileListView->setResizeMode(QListView::Adjust);
    FileListView->setLayoutMode(QListView::Batched);
    FileListView->setBatchSize(200);
    FileListView->setToolTip(QStringLiteral(
        "Ein Klick öffnet die entsprechende Datei, ein Doppelklick zeigt die Dateiinformationen an"));
    FileListView->setContextMenuPolicy(Qt::CustomContextMenu);
    FileListView->installEventFilter(this);
    layout->addWidget(FileListView);
    setWidget(body);
    applyViewMode();

    connect(FileListView, &QListView::clicked, this, [this] { FileListViewClick(); });
    connect(FileListView, &QListView::doubleClicked, this, [this] { FileListViewDblClick(); });
    connect(FileListView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    FileListViewSelectItem();
            });
    connect(FileListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { NavViewBarPopupMenu->popup(FileListView->viewport()->mapToGlobal(pos)); });
    // Rows scrolled into view get their pictures first; the thumbnail view
    // makes those of the rows that came into view.
    connect(FileListView->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!m_pending.isEmpty() || ThumbView)
            m_lazyTimer->start();
    });
    FileListView->viewport()->installEventFilter(this);
}

void TNavBDForm::buildMenu()
{
    NavViewBarPopupMenu = new TBarPopupMenu(this);
    NavViewBarPopupMenu->setObjectName(QStringLiteral("NavViewBarPopupMenu"));
    NavViewBarPopupMenu->VerticalText = QStringLiteral("Zelkora 5.0");
    const auto item = [](QMenu *menu, const char *name, const char *caption, int tag, const char *hint = nullptr) {
        QAction *a = menu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setProperty("Tag", tag);
        if (hint) {
            a->setStatusTip(QString::fromUtf8(hint));
            a->setToolTip(QString::fromUtf8(hint));
        }
        return a;
    };
    QMenu *m = NavViewBarPopupMenu;
    RefreshMenuItem = item(m, "RefreshMenuItem", "Aktualisieren", 0);
    RefreshMenuItem->setShortcut(QKeySequence(QStringLiteral("Ctrl+R")));
    RefreshMenuItem->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(RefreshMenuItem);
    m->addSeparator();
    RepMenuItem = item(m, "RepMenuItem", "Report", 0, "Tabellarische Listendarstellung");
    RepMenuItem->setIcon(LVImageList.value(0));
    IconMenuItem = item(m, "IconMenuItem", "Icon", 1, "Alle Einträge werden mit großen Icons versehen");
    IconMenuItem->setIcon(LVImageList.value(1));
    NavThumbMenuItem = item(m, "NavThumbMenuItem", "Thumbnails", 2,
                            "Wenn möglich werden die Grafiken als kleine Thumbnails in Vorschau angezeigt");
    m->addSeparator();
    FEMag3MenuItem = item(m, "FEMag3MenuItem", "Datei-Explorer anheften", 0,
                          "Datei-Explorer wir an die linke Seite der Anwendung geheftet");
    FEMag3MenuItem->setCheckable(true);
    ExpDim2MenuItem = item(m, "ExpDim2MenuItem", "Explorerteile in gleicher Grösse", 0);
    ExpDim2MenuItem->setCheckable(true);
    m->addSeparator();
    OnlyGraphTypMenuItem = item(m, "OnlyGraphTypMenuItem", "Nur Grafikdateien anzeigen", 0,
                                "Filter setzen: BMP, JPG, GIF, TIF, PNG, ZKG, WMF, EMF, ICO");
    OnlyGraphTypMenuItem->setCheckable(true);
    ChRealDir2MenuItem = item(m, "ChRealDir2MenuItem", "In Realverzeichnis wechseln", 0);
    ChRealDir2MenuItem->setVisible(false);
    m->addSeparator();
    ShellMenu = m->addMenu(QStringLiteral("Shell"));
    ShellMenu->setObjectName(QStringLiteral("ShellMenu"));
    ShellMenuItem = ShellMenu->menuAction();
    ShellMenuItem->setObjectName(QStringLiteral("ShellMenuItem"));
    ShellMenuItem->setProperty("Tag", 5);
    ShellOpenMenuItem = item(ShellMenu, "ShellOpenMenuItem", "Öffnen", 0);
    ShellExploreMenuItem = item(ShellMenu, "ShellExploreMenuItem", "Explorer", 1);
    ShellPropMenuItem = item(ShellMenu, "ShellPropMenuItem", "Eigenschaften", 2);
    ShellPrintMenuItem = item(ShellMenu, "ShellPrintMenuItem", "Drucken", 3);
    WriteProtMenuItem = item(ShellMenu, "WriteProtMenuItem", "Schreibschützen", 4);
    DelFileMenuItem = item(ShellMenu, "DelFileMenuItem", "&Löschen...", 0, "Löscht die selektierte Datei unwiderruflich");
    DelFilesMenuItem = item(ShellMenu, "DelFilesMenuItem", "Alle löschen...", 1);
    CopyToClpbMenuItem = item(ShellMenu, "CopyToClpbMenuItem", "Kopieren als Grafik", 0,
                              "Kopiert die selektierte Datei als Grafik in die Zwischenablage");
    CopyToClpb2MenuItem = item(ShellMenu, "CopyToClpb2MenuItem", "Kopieren als Datei", 1,
                               "Kopiert die selektierte Datei als Datei in die Zwischenablage");
    ShellMenu->addSeparator();
    Suchen1 = item(ShellMenu, "Suchen1", "Suchen", 0);
    SetFindFiles({});

    connect(RefreshMenuItem, &QAction::triggered, this, [this] { ActMenuItemClick(); });
    for (QAction *a : {RepMenuItem, IconMenuItem, NavThumbMenuItem})
        connect(a, &QAction::triggered, this, [this, a] { RepMenuItemClick(a->property("Tag").toInt()); });
    connect(FEMag3MenuItem, &QAction::triggered, this, [this] { FEMag3MenuItemClick(); });
    connect(ExpDim2MenuItem, &QAction::triggered, this, [this] { ExpDim2MenuItemClick(); });
    connect(OnlyGraphTypMenuItem, &QAction::triggered, this, [this] { OnlyGraphTypMenuItemClick(); });
    connect(ChRealDir2MenuItem, &QAction::triggered, this, [this] { ChRealDir2MenuItemClick(); });
    for (QAction *a : {ShellOpenMenuItem, ShellExploreMenuItem, ShellPropMenuItem, ShellPrintMenuItem, WriteProtMenuItem})
        connect(a, &QAction::triggered, this, [this, a] { ShellOpenMenuItemClick(a); });
    for (QAction *a : {DelFileMenuItem, DelFilesMenuItem})
        connect(a, &QAction::triggered, this, [this, a] { DelFileMenuItemClick(a); });
    for (QAction *a : {CopyToClpbMenuItem, CopyToClpb2MenuItem})
        connect(a, &QAction::triggered, this, [this, a] { CopyToClpbMenuItemClick(a->property("Tag").toInt()); });
    connect(Suchen1, &QAction::triggered, this, [this] { Find2MenuItemClick(); });
    connect(NavViewBarPopupMenu, &QMenu::aboutToShow, this, [this] { NavViewPopupMenuPopup(); });
    connect(ShellMenu, &QMenu::aboutToShow, this, [this] { ShellMenuItemClick(); });
}

// ---------------------------------------------------------------------------
// Small helpers

TMainForm *TNavBDForm::mainForm() const
{
    return qobject_cast<TMainForm *>(MainWindow());
}

bool TNavBDForm::internPage() const
{
    return !m_explorer || m_explorer->DirPageControl->currentIndex() == 0;
}

QString TNavBDForm::Text(const QString &key, const QString &german) const
{
    const QString t = NavBDMultiLanguage ? NavBDMultiLanguage->GetText(key) : QString();
    return t.isEmpty() ? german : t;
}

void TNavBDForm::showMessage(const QString &text) const
{
    if (Prompts.Message)
        Prompts.Message(text);
}

bool TNavBDForm::confirm(const QString &text) const
{
    return Prompts.Confirm && Prompts.Confirm(text);
}

void TNavBDForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    SetFormLanguage(this, Script, LanguageIndex);
    // The column caption is ours, not the file's: it is written again in the
    // new language.
    if (m_stdCaption)
        showStdCaption();
    else
        updateCountCaption();
}

QString TNavBDForm::SelectedPath() const
{
    const QModelIndex i = FileListView->currentIndex();
    if (!i.isValid() || !FileListView->selectionModel()->isSelected(i))
        return {};
    return FileListModel->entry(i.row()).path;
}

// ---------------------------------------------------------------------------
// Listing

int TNavBDForm::beginListing(const QString &base, bool real)
{
    const int generation = ++m_generation;
    ListingDone = false;
    m_batch.clear();
    m_pending.clear();
    m_pendingSet.clear();
    m_unreadable.clear();
    FileListModel->clear();
    // Asking the desktop's icon theme for the type images takes longer than
    // the rest of the form together: they wait for the first listing that
    // needs them, not for the window to come up.
    if (NavSImageList.isEmpty())
        makeFileTypeImages();
    // The image lists start afresh: an old listing's icons are of no use.
    NavSImageList = NavSImageList.mid(0, kTypeImages);
    NavLImageList = NavLImageList.mid(0, kTypeImages);
    ThumbImageList.clear();
    m_thumbsInFlight.clear();
    m_thumbsFailed.clear();
    AllSImageList.clear();
    AllLImageList.clear();
    m_realIcons.clear();
    m_realListing = real;
    if (!real)
        ListBase = withSlash(base);
    FileCount = 0;
    m_batchClock.start();
    applyViewMode();
    return generation;
}

TListPump TNavBDForm::pumpFor(int generation)
{
    return [this, generation] {
        if (m_batchClock.elapsed() >= BatchMs) {
            if (generation == m_generation)
                flushBatch();
            QCoreApplication::processEvents();
            m_batchClock.restart();
        }
        return generation == m_generation;
    };
}

void TNavBDForm::flushBatch()
{
    if (m_batch.empty())
        return;
    std::vector<TFileEntry> batch;
    batch.swap(m_batch);
    QStringList lazy;
    if (!m_realListing)
        for (const TFileEntry &e : batch)
            if (FileExt(e.path) == QLatin1String(".ico"))
                lazy.append(e.path);
    FileListModel->addEntries(std::move(batch));
    for (const QString &p : std::as_const(lazy))
        queueLazy(p);
    if (ThumbView)
        m_lazyTimer->start(); // the new rows may be in view
    updateCountCaption();
}

void TNavBDForm::showStdCaption()
{
    m_stdCaption = true;
    FileListModel->setColumnCaption(Text(QStringLiteral("caption_vsreport_std"), QStringLiteral("Dateiname")));
}

void TNavBDForm::updateCountCaption()
{
    m_stdCaption = false;
    if (m_realListing)
        FileListModel->setColumnCaption(QString::number(FileCount) +
                                        Text(QStringLiteral("caption_vsreport_files"), QStringLiteral(" Dateien")));
    else
        FileListModel->setColumnCaption(QString::number(FileCount) +
                                        Text(QStringLiteral("caption_vsreport_xfiles"), QStringLiteral(" Grafikdateien")));
}

void TNavBDForm::addStorageItems(int generation, const QString &folder, const QStringList &names)
{
    const TListPump pump = pumpFor(generation);
    for (const QString &name : names) {
        TFileEntry e;
        e.path = folder + name;
        e.caption = name.toLower();
        e.image = TypeImageIndex(name);
        m_batch.push_back(std::move(e));
        ++FileCount;
        if (!pump())
            return;
    }
    flushBatch();
}

void TNavBDForm::listStorage(const QString &folder, TNameFilter filter)
{
    ListingScope scope(*this);
    const int generation = beginListing(folder, false);
    showStdCaption();
    const QString base = withSlash(folder);
    const QStringList names = ListFolderNames(base, filter, pumpFor(generation));
    if (generation != m_generation)
        return;
    addStorageItems(generation, base, names);
    if (generation != m_generation)
        return;
    if (FileCount == 0)
        showStdCaption();
}

void TNavBDForm::ListStorageFolder()
{
    listStorage(m_options ? m_options->OutDir : QString(), TNameFilter::Pictures);
}

void TNavBDForm::ListAutosave()
{
    listStorage(autosaveFolder(), TNameFilter::AutosaveScan);
}

void TNavBDForm::ListFolder(const QString &folder)
{
    listStorage(folder, TNameFilter::Pictures);
}

void TNavBDForm::ListAviBuild()
{
    listStorage(m_options ? m_options->TmpAviPath : QString(), TNameFilter::Bitmaps);
}

void TNavBDForm::ListAviEdit()
{
    listStorage(m_options ? m_options->AviCopyPath : QString(), TNameFilter::Bitmaps);
}

void TNavBDForm::ListEntryFolder(const QString &folder)
{
    if (folder == QLatin1String("ERROR")) {
        showMessage(Text(QStringLiteral("showmsg_error_occured_in_dir"),
                         QStringLiteral("Beim Öffnen des Verzeichnisses ist ein Fehler aufgetreten:")));
        return;
    }
    ListFolder(folder);
}

void TNavBDForm::listDays(int mode)
{
    ListingScope scope(*this);
    const int generation = beginListing(autosaveFolder(), false);
    showStdCaption();
    const QDate today = QDate::currentDate();
    for (const QString &folder : {autosaveFolder(), withSlash(m_options ? m_options->OutDir : QString())}) {
        if (folder.isEmpty())
            continue;
        const QStringList names = CollectPicturesByDay({}, folder, mode, today, pumpFor(generation));
        if (generation != m_generation)
            return;
        addStorageItems(generation, folder, names);
        if (generation != m_generation)
            return;
    }
}

void TNavBDForm::ListToday() { listDays(0); }
void TNavBDForm::ListYesterday() { listDays(1); }
void TNavBDForm::ListBoth() { listDays(2); }

void TNavBDForm::SearchByDate(const TDateSearchRequest &request)
{
    ListingScope scope(*this);
    const int generation = beginListing(request.Paths.value(0), false);
    showStdCaption();
    for (const QString &path : request.Paths) {
        const QString folder = withSlash(path);
        const QStringList names = SearchFolderByDate(folder, request, {}, pumpFor(generation));
        if (generation != m_generation)
            return;
        addStorageItems(generation, folder, names);
        if (generation != m_generation)
            return;
    }
}

void TNavBDForm::addRealItems(int generation, const QString &folder, const QStringList &names)
{
    QPointer<TProgressForm> progress;
    if (!names.isEmpty()) {
        progress = new TProgressForm(this);
        progress->setAttribute(Qt::WA_DeleteOnClose);
        progress->setWindowTitle(Text(QStringLiteral("caption_progressform_navbdform"),
                                      QStringLiteral("Dateien werden eingelesen...")));
        progress->SetMax(static_cast<std::int32_t>(names.size()));
        progress->show();
    }
    const TListPump pump = pumpFor(generation);
    bool stopped = false;
    for (const QString &name : names) {
        TFileEntry e;
        e.path = folder + name;
        e.caption = name;
        const QString ext = FileExt(name);
        auto found = m_realIcons.constFind(ext);
        if (found == m_realIcons.constEnd()) {
            // One shell icon per file type: the theme lookup is the costly part.
            QIcon small, large;
            if (auto icon = GetShellFileIcon(e.path, true))
                small = QIcon(QPixmap::fromImage(icon->ToImage()));
            if (auto icon = GetShellFileIcon(e.path, false))
                large = QIcon(QPixmap::fromImage(icon->ToImage()));
            AllSImageList.append(small);
            AllLImageList.append(large);
            found = m_realIcons.insert(ext, static_cast<int>(AllSImageList.size()) - 1);
        }
        e.image = *found;
        m_batch.push_back(std::move(e));
        ++FileCount;
        if (progress)
            progress->SetPosition(1);
        if (!pump()) {
            stopped = true;
            break;
        }
    }
    if (progress)
        progress->close();
    if (!stopped)
        flushBatch();
}

// Returns whether the listing ran to its end.
bool TNavBDForm::listReal(const QString &path, TNameFilter filter)
{
    ListingScope scope(*this);
    const int generation = beginListing(path, true);
    const QString folder = withSlash(path);
    updateCountCaption(); // FileCount is 0 and the listing real
    const QStringList names = ListFolderNames(folder, filter, pumpFor(generation));
    if (generation != m_generation)
        return false;
    addRealItems(generation, folder, names);
    return generation == m_generation;
}

void TNavBDForm::ListRealFolder(const QString &path)
{
    if (path.isEmpty())
        return;
    if (m_options && m_options->ShowOnlyGraphTypes) {
        ListRealFolderPictures(path);
        return;
    }
    if (listReal(path, TNameFilter::Every) && m_explorer && m_explorer->isVisible()) {
        // Back to the control that had it in the folder window, so that the
        // keys go on walking its tree; the window's frame would take none.
        QWidget *back = m_explorer->focusWidget();
        if (!back)
            back = m_explorer->DirPageControl->currentIndex() == 0 ? m_explorer->InternTreeView
                                                                   : m_explorer->ExternTree();
        back->setFocus();
    }
}

void TNavBDForm::ListRealFolderPictures(const QString &path)
{
    if (!path.isEmpty())
        listReal(path, TNameFilter::Pictures);
}

// ---------------------------------------------------------------------------
// Views and lazy pictures

void TNavBDForm::applyViewMode()
{
    const bool icons = ThumbView || m_iconMode;
    FileListView->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
    FileListView->setMovement(QListView::Static);
    FileListView->setWrapping(icons);
    FileListView->setWordWrap(icons);
    const int side = ThumbView ? kListThumbSize : (icons ? kLargeIcon : kSmallIcon);
    FileListView->setIconSize(QSize(side, side));
    FileListView->setGridSize(icons ? QSize(side + 40, side + 36) : QSize());
    // The report view scrolls by rows and fixes the scroll bar's step at one
    // row for good; the icon views scroll by pixels and kept that step, so
    // the wheel moved them three pixels a notch. They get the step of a view
    // made in icon mode: a row of pictures (a notch scrolls three, a page at
    // most).
    if (icons)
        FileListView->verticalScrollBar()->setSingleStep(FileListView->gridSize().height());
    FileListHeader->setVisible(!icons);
    FileListView->viewport()->update();
}

QIcon TNavBDForm::decoration(const TFileEntry &e) const
{
    if (ThumbView && ThumbImageList.Holds(e.thumb))
        return QIcon(ThumbImageList.At(e.thumb));
    const bool large = ThumbView || m_iconMode;
    const QList<QIcon> &list =
        m_realListing ? (large ? AllLImageList : AllSImageList) : (large ? NavLImageList : NavSImageList);
    return list.value(e.image);
}

void TNavBDForm::queueLazy(const QString &path)
{
    if (m_pendingSet.contains(path))
        return;
    m_pendingSet.insert(path);
    m_pending.append(path);
    m_lazyTimer->start();
}

bool TNavBDForm::LazyWorkPending() const
{
    return !m_pending.isEmpty() || m_inFlight > 0 || m_lazyTimer->isActive();
}

// The list view's own paging looks for an item a view's height away and
// finds none when the view is not a whole number of rows high (the dock
// usually holds less than one row of thumbnails): the current item stays
// where it was. A page is the rows the view shows, at least one, in the
// same column.
void TNavBDForm::pageIconView(int direction)
{
    const int rows = FileListModel->rowCount();
    const QSize grid = FileListView->gridSize();
    if (rows == 0 || !grid.isValid())
        return;
    const QSize area = FileListView->viewport()->size();
    const int perRow = std::max(1, area.width() / grid.width());
    const int step = std::max(1, area.height() / grid.height()) * perRow;
    const QModelIndex current = FileListView->currentIndex();
    const int from = current.isValid() ? current.row() : 0;
    // Past either end: the last or the first item.
    const QModelIndex target = FileListModel->index(std::clamp(from + direction * step, 0, rows - 1));
    FileListView->setCurrentIndex(target);
    FileListView->scrollTo(target);
}

// How many thumbnail cells one screen of the view shows (at least a few).
int TNavBDForm::thumbsPerScreen() const
{
    const QSize grid = FileListView->gridSize().isValid() ? FileListView->gridSize() : QSize(180, 176);
    const QSize area = FileListView->viewport()->size();
    return std::max(32, std::max(1, area.width() / grid.width()) * (area.height() / grid.height() + 1));
}

// The BMP rows from the first one in view through the screen after the last
// one in view whose thumbnail is neither held, nor being made, nor failed;
// at most room of them, as (row, path). A hidden view counts its own size
// (at least a few rows) from the top.
QList<QPair<int, QString>> TNavBDForm::wantedThumbs(int room) const
{
    QList<QPair<int, QString>> out;
    const int rows = FileListModel->rowCount();
    if (!ThumbView || rows == 0 || room <= 0)
        return out;
    const QSize grid = FileListView->gridSize().isValid() ? FileListView->gridSize() : QSize(180, 176);
    const int perScreen = thumbsPerScreen();
    int first = 0;
    if (FileListView->isVisible())
        for (int y = 1; y < grid.height(); y += 8) {
            const QModelIndex i = FileListView->indexAt(QPoint(grid.width() / 2, y));
            if (i.isValid()) {
                first = i.row();
                break;
            }
        }
    const int end = std::min(rows, first + 2 * perScreen);
    for (int r = first; r < end && out.size() < room; ++r) {
        const TFileEntry &e = FileListModel->entry(r);
        if (ThumbImageList.Holds(e.thumb) || FileExt(e.path) != QLatin1String(".bmp") ||
            m_thumbsInFlight.contains(e.path) || m_thumbsFailed.contains(e.path))
            continue;
        out.append({r, e.path});
    }
    return out;
}

void TNavBDForm::dispatchLazy()
{
    const int room = m_pool.maxThreadCount() * 2 - m_inFlight;
    if (room <= 0)
        return;
    // Thumbnails of the rows in view and the next screen first, then icons:
    // the rows in view first, then the rest in listing order. The held
    // thumbnails take in those two screens and half a screen more on a
    // view larger than the usual bound allows for.
    if (ThumbView)
        ThumbImageList.HoldAtLeast(thumbsPerScreen() * 5 / 2, kListThumbSize);
    QList<QPair<int, QString>> next = wantedThumbs(room);
    for (const auto &t : std::as_const(next))
        m_thumbsInFlight.insert(t.second);
    QStringList icons;
    // (A hidden list has no rows in view; asking would lay all of them out.)
    const QModelIndex first =
        FileListView->isVisible() && !m_pending.isEmpty() ? FileListView->indexAt(QPoint(4, 4)) : QModelIndex();
    if (first.isValid()) {
        const QRect area = FileListView->viewport()->rect();
        for (int r = first.row(); r < FileListModel->rowCount() && next.size() + icons.size() < room; ++r) {
            const QModelIndex i = FileListModel->index(r);
            if (!FileListView->visualRect(i).intersects(area))
                break;
            const QString &p = FileListModel->entry(r).path;
            if (m_pendingSet.contains(p))
                icons.append(p);
        }
    }
    for (const QString &p : std::as_const(icons))
        m_pending.removeOne(p);
    while (next.size() + icons.size() < room && !m_pending.isEmpty())
        icons.append(m_pending.takeFirst());
    for (const QString &p : std::as_const(icons)) {
        m_pendingSet.remove(p);
        next.append({-1, p});
    }
    const int generation = m_generation;
    for (const auto &[row, path] : std::as_const(next)) {
        ++m_inFlight;
        m_pool.start([this, generation, row, path] {
            const QImage image = decodeLazy(path);
            QMetaObject::invokeMethod(
                this, [this, generation, row, path, image] { lazyDone(generation, row, path, image, !image.isNull()); },
                Qt::QueuedConnection);
        });
    }
}

void TNavBDForm::lazyDone(int generation, int rowHint, const QString &path, const QImage &image, bool ok)
{
    --m_inFlight;
    if (generation == m_generation) {
        const bool icon = FileExt(path) == QLatin1String(".ico");
        if (!icon)
            m_thumbsInFlight.remove(path);
        const bool hinted = rowHint >= 0 && rowHint < FileListModel->rowCount() &&
                            FileListModel->entry(rowHint).path == path;
        const int row = hinted ? rowHint : FileListModel->rowOf(path);
        if (!ok) {
            m_unreadable.append(QFileInfo(path).fileName());
            if (!icon)
                m_thumbsFailed.insert(path);
        } else if (row >= 0) {
            if (icon) {
                const QIcon ico(QPixmap::fromImage(image));
                NavSImageList.append(ico);
                NavLImageList.append(ico);
                FileListModel->setImage(row, static_cast<int>(NavSImageList.size()) - 1);
            } else {
                FileListModel->setThumb(row, ThumbImageList.Add(QPixmap::fromImage(image)));
            }
        }
    }
    if (!m_pending.isEmpty() || !wantedThumbs(1).isEmpty()) {
        m_lazyTimer->start();
        return;
    }
    if (m_inFlight == 0 && generation == m_generation && !m_unreadable.isEmpty()) {
        // One message for the pictures found unreadable, once the work in
        // hand is done.
        const QStringList names = m_unreadable;
        m_unreadable.clear();
        showMessage(Text(QStringLiteral("showmsg_pictures_not_readable"),
                         QStringLiteral("Diese Grafikdateien konnten nicht gelesen werden:")) +
                    u'\n' + names.join(u'\n'));
    }
}

// ---------------------------------------------------------------------------
// Opening

bool TNavBDForm::OpenInMain(const QString &path)
{
    TMainForm *main = mainForm();
    if (!main)
        return false;
    const QString ext = FileExt(path);
    if (main->Options.OAsBmp && ext != QLatin1String(".bmp") && IsCdRomDrive(path)) {
        if (!confirm(Text(QStringLiteral("msgdlg_CDROM_no_convert"),
                          QStringLiteral("Die Datei liegt auf einer CD-ROM und kann nicht konvertiert werden. "
                                         "Soll sie ohne Konvertierung geöffnet werden?"))))
            return false;
        if (QAction *a = main->Item(QStringLiteral("FileAsBmpMenuItem")))
            a->setChecked(false);
        main->Options.OAsBmp = false;
    }
    if (IsNativePictureExt(ext)) {
        // The main window's open shows the picture's type, size and recent entry.
        main->OpenPictureFile(path);
        return main->FHasFileName && main->FFileName == path;
    }
    // ".tif", ".tiff", ".dib": through a bitmap.
    if (!main->ConvertToBmpAndLoad(path, ext))
        return false;
    main->ShowOpenedFile(path, true);
    return true;
}

void TNavBDForm::FileListViewClick()
{
    const QString path = SelectedPath();
    if (path.isEmpty())
        return;
    TMainForm *main = mainForm();
    if (main)
        main->FreeCutRect();
    const bool intern = internPage();
    if (intern || IsPictureName(path, true)) {
        OpenInMain(path);
    } else {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    if (intern && m_options && m_options->ExtGrafikEditor && !m_options->ExtGrEdtPath.isEmpty())
        QProcess::startDetached(m_options->ExtGrEdtPath, {path});
}

void TNavBDForm::FileListViewDblClick()
{
    TMainForm *main = mainForm();
    if (!main || !internPage() || SelectedPath().isEmpty())
        return;
    const bool autoSize = main->Options.AutoWinSize;
    main->Options.AutoWinSize = false;
    main->StatusPanelAction(10);
    main->Options.AutoWinSize = autoSize;
}

void TNavBDForm::FileListViewSelectItem()
{
    if (TMainForm *main = mainForm())
        if (QAction *undo = main->Item(QStringLiteral("UndoMenuItem")); undo && undo->isEnabled())
            undo->setEnabled(false);
}

bool TNavBDForm::eventFilter(QObject *watched, QEvent *event)
{
    if (ThumbView && m_lazyTimer && watched == FileListView->viewport() && event->type() == QEvent::Resize)
        m_lazyTimer->start(); // more rows may be in view

    if (watched == FileListView && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            FileListViewClick();
            return true;
        }
        const Qt::KeyboardModifiers mods = static_cast<QKeyEvent *>(event)->modifiers();
        if ((key == Qt::Key_PageDown || key == Qt::Key_PageUp) && !(mods & ~Qt::KeypadModifier)
            && FileListView->viewMode() == QListView::IconMode) {
            pageIconView(key == Qt::Key_PageDown ? 1 : -1);
            return true;
        }
    }
    return TBaseDockForm::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Menu commands

void TNavBDForm::ActMenuItemClick()
{
    if (!m_explorer)
        return;
    if (internPage()) {
        if (!m_explorer->UserFolder.isEmpty())
            ListFolder(m_explorer->UserFolder);
        else
            m_explorer->InternTreeViewClick();
    } else {
        ListRealFolder(m_explorer->GetNodePath(m_explorer->ExternTree()->currentItem()));
    }
}

void TNavBDForm::RefreshAfterSave(bool autosaveOnly)
{
    if (!m_explorer)
        return;
    if (internPage()) {
        const int node = m_explorer->InternNodeIndex(m_explorer->InternTreeView->currentItem());
        // "Autosave", "Beide", "Heute".
        if (autosaveOnly && node != 2 && node != 3 && node != 8)
            return;
        // A save does not ask: "Datum..." and "Neu..." would open their
        // dialogs again, "Auswahl..." without a chosen folder too.
        if (node == 10 || node == 13 || (node == 12 && m_explorer->UserFolder.isEmpty()))
            return;
    } else if (autosaveOnly) {
        return;
    }
    ActMenuItemClick();
}

void TNavBDForm::RepMenuItemClick(int tag)
{
    ThumbView = tag == 2;
    m_iconMode = tag == 1;
    applyViewMode();
    if (!m_explorer)
        return;
    if (internPage()) {
        QString node;
        m_explorer->GetSelectedNodeText(node);
        if (node != QLatin1String("Auswahl...") && node != QLatin1String("Datum..."))
            m_explorer->InternTreeViewClick();
        else
            ListFolder(ListBase);
    } else if (ThumbView) {
        // The thumbnails of the folder selected there, not of an older listing.
        ListRealFolder(m_explorer->GetNodePath(m_explorer->ExternTree()->currentItem()));
    }
}

void TNavBDForm::NavViewPopupMenuPopup()
{
    FEMag3MenuItem->setChecked(m_options && m_options->MagneticFE);
    OnlyGraphTypMenuItem->setChecked(m_options && m_options->ShowOnlyGraphTypes);
    OnlyGraphTypMenuItem->setEnabled(!internPage());
    ExpDim2MenuItem->setChecked(m_options && m_options->ExpDimParts);
    QString node;
    if (m_explorer)
        m_explorer->GetSelectedNodeText(node);
    static const QStringList real = {"Attach", "Ablage", "Autosave", "AVI-Build", "AVI-Edit", "Heute", "Gestern",
                                     "Datum..."};
    ChRealDir2MenuItem->setVisible(real.contains(node));
}

void TNavBDForm::ShellMenuItemClick()
{
    const bool selected = !SelectedPath().isEmpty();
    for (QAction *a : {ShellOpenMenuItem, ShellExploreMenuItem, ShellPropMenuItem, ShellPrintMenuItem,
                       WriteProtMenuItem, DelFileMenuItem, CopyToClpbMenuItem, CopyToClpb2MenuItem})
        a->setEnabled(selected);
    DelFilesMenuItem->setEnabled(FileListModel->rowCount() > 0);
}

bool TNavBDForm::isOwnShellItem(const QAction *a) const
{
    return a && a->parent() == ShellMenu;
}

QString TNavBDForm::shellTarget(QAction *sender) const
{
    // The main window's copies of these items act on its own picture file.
    const TMainForm *main = mainForm();
    if (!isOwnShellItem(sender) && main && main->FHasFileName)
        return main->FFileName;
    return SelectedPath();
}

void TNavBDForm::ShellOpenMenuItemClick(QAction *sender)
{
    const QString file = shellTarget(sender);
    if (file.isEmpty())
        return;
    switch (sender ? sender->property("Tag").toInt() : 0) {
    case 0: QDesktopServices::openUrl(QUrl::fromLocalFile(file)); break;
    case 1: QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath())); break;
    case 2: {
        // The desktop's own properties sheet, through its file manager.
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItemProperties"));
        call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
        auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
            watcher->deleteLater();
            if (watcher->isError())
                showMessage(Text(QStringLiteral("showmsg_no_file_manager"),
                                 QStringLiteral("Kein Dateimanager zeigt die Eigenschaften an:")) +
                            u'\n' + watcher->error().message());
        });
        break;
    }
    case 3: {
        auto *lp = new QProcess(this);
        connect(lp, &QProcess::finished, this, [this, lp](int code, QProcess::ExitStatus status) {
            lp->deleteLater();
            if (status != QProcess::NormalExit || code != 0)
                showMessage(Text(QStringLiteral("showmsg_print_failed"), QStringLiteral("Der Drucker nimmt den Auftrag nicht an:")) +
                            u'\n' + QString::fromLocal8Bit(lp->readAllStandardError()).trimmed());
        });
        connect(lp, &QProcess::errorOccurred, this, [this, lp](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            lp->deleteLater();
            showMessage(Text(QStringLiteral("showmsg_print_failed"), QStringLiteral("Der Drucker nimmt den Auftrag nicht an:")) +
                        u'\n' + lp->errorString());
        });
        lp->start(QStringLiteral("lp"), {QStringLiteral("--"), file});
        break;
    }
    case 4: {
        QFile f(file);
        const QFile::Permissions writable = QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
        if (!f.exists() || !f.setPermissions(f.permissions() & ~writable)) {
            showMessage(Text(QStringLiteral("showmsg_file_not_writeprot"),
                             QStringLiteral("Die Datei konnte nicht schreibgeschützt werden:")) +
                        u'\n' + file);
            break;
        }
        showMessage(Text(QStringLiteral("showmsg_the_file_is_writeprot"),
                         QStringLiteral("Die Datei ist jetzt schreibgeschützt.")));
        break;
    }
    default: break;
    }
}

bool TNavBDForm::deleteFile(const QString &path)
{
    QFile f(path);
    // Write-protected for the one deleting it, whoever owns it.
    if (!QFileInfo(path).isWritable()) {
        if (!confirm(Text(QStringLiteral("msgdlg_would_file_with_writeprot_del"),
                          QStringLiteral("Die Datei ist schreibgeschützt. Soll sie trotzdem gelöscht werden?")) +
                     u'\n' + path))
            return false;
        f.setPermissions(f.permissions() | QFile::WriteOwner | QFile::WriteUser);
    }
    if (f.remove())
        return true;
    showMessage(Text(QStringLiteral("showmsg_file_not_deleted"), QStringLiteral("Die Datei konnte nicht gelöscht werden:")) +
                u'\n' + path + u'\n' + f.errorString());
    return false;
}

void TNavBDForm::DelFileMenuItemClick(QAction *sender)
{
    const bool fromMain = sender && sender->objectName().isEmpty();
    if (!sender || sender->property("Tag").toInt() == 0) {
        const TMainForm *main = mainForm();
        const QString file = fromMain && main && main->FHasFileName ? main->FFileName : SelectedPath();
        if (file.isEmpty())
            return;
        if (!confirm(Text(QStringLiteral("msgdlg_selfile_delete_quest"),
                          QStringLiteral("Soll die ausgewählte Datei unwiderruflich gelöscht werden?"))))
            return;
        deleteFile(file);
        ActMenuItemClick();
        return;
    }
    if (fromMain) {
        showMessage(Text(QStringLiteral("showmsg_del_dir_not_here"),
                         QStringLiteral("Alle Dateien eines Verzeichnisses können nur im Datei-Explorer gelöscht werden.")));
        return;
    }
    if (!confirm(Text(QStringLiteral("msgdlg_selfiles_delete_quest"),
                      QStringLiteral("Sollen alle aufgelisteten Dateien unwiderruflich gelöscht werden?"))))
        return;
    QStringList files;
    for (int r = 0; r < FileListModel->rowCount(); ++r)
        files.append(FileListModel->entry(r).path);
    for (const QString &f : std::as_const(files))
        deleteFile(f);
    ActMenuItemClick();
}

void TNavBDForm::CopyToClpbMenuItemClick(int tag)
{
    const QString file = SelectedPath();
    if (file.isEmpty())
        return;
    if (tag == 1) {
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(file)});
        data->setData(QStringLiteral("x-special/gnome-copied-files"), CopiedFilesGnome({file}));
        QApplication::clipboard()->setMimeData(data);
        return;
    }
    try {
        TPicture picture;
        picture.LoadFromFile(file);
        picture.SaveToClipboard();
    } catch (const std::exception &e) {
        showMessage(Text(QStringLiteral("showmsg_except_prob_with_clpbrd"),
                         QStringLiteral("Problem mit der Zwischenablage: ")) +
                    QString::fromUtf8(e.what()));
    }
}

void TNavBDForm::OnlyGraphTypMenuItemClick()
{
    if (m_options)
        m_options->ShowOnlyGraphTypes = OnlyGraphTypMenuItem->isChecked();
    if (m_explorer)
        m_explorer->ExternTreeViewChange();
}

void TNavBDForm::FEMag3MenuItemClick()
{
    if (m_explorer)
        m_explorer->FEMag2MenuItemClick(FEMag3MenuItem);
}

void TNavBDForm::ExpDim2MenuItemClick()
{
    if (m_explorer)
        m_explorer->ExpDimMenuItemClick(ExpDim2MenuItem);
}

void TNavBDForm::ChRealDir2MenuItemClick()
{
    if (m_explorer)
        m_explorer->ChRealDirMenuItemClick();
}

void TNavBDForm::SetFindFiles(std::function<void()> find)
{
    FindFiles = std::move(find);
    // The system-wide search is the main window's; without it the entry is
    // off, and the main window's copy of it stays off too.
    Suchen1->setEnabled(bool(FindFiles));
    Suchen1->setProperty("Unavailable", FindFiles ? QVariant() : QVariant(true));
}

void TNavBDForm::Find2MenuItemClick()
{
    if (FindFiles)
        FindFiles();
}

// ---------------------------------------------------------------------------
// Window events

void TNavBDForm::DropFile(const QString &file)
{
    if (file.isEmpty() || !m_explorer)
        return;
    if (m_options && m_options->ShowOnlyGraphTypes && !IsNativePictureExt(FileExt(file))) {
        showMessage(Text(QStringLiteral("showmsg_view_only_graphic_types"),
                         QStringLiteral("Es werden nur Grafikdateien angezeigt.")));
        return;
    }
    if (m_explorer->DirPageControl->currentIndex() == 0)
        m_explorer->DirPageControl->setCurrentIndex(1);
    if (!m_explorer->ExternFilled())
        m_explorer->FillExternRoots();
    const QString folder = QFileInfo(file).absolutePath();
    m_explorer->RealPathRest = folder;
    m_explorer->SelectRealPath(folder);
}

void TNavBDForm::dragEnterEvent(QDragEnterEvent *e)
{
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void TNavBDForm::dropEvent(QDropEvent *e)
{
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    e->acceptProposedAction();
    DropFile(urls.first().toLocalFile());
}

void TNavBDForm::showEvent(QShowEvent *e)
{
    TBaseDockForm::showEvent(e);
    WM_EXPLORERSHOWN();
    if (m_explorer)
        m_explorer->WM_EXPLORERSHOWN();
    if (m_running == 0)
        ListingDone = true;
}

void TNavBDForm::closeEvent(QCloseEvent *e)
{
    if (m_options) {
        m_options->MagneticFE = false;
        if (!m_explorer || !m_explorer->isVisible()) {
            m_options->FileExp = false;
            if (m_explorer && m_explorer->MainHooks.ShowFileExplorer)
                m_explorer->MainHooks.ShowFileExplorer();
            ExplorerShown = false;
        }
    }
    TBaseDockForm::closeEvent(e);
}

void TNavBDForm::moveEvent(QMoveEvent *e)
{
    TBaseDockForm::moveEvent(e);
    if (m_options && m_options->MagneticFE && ExplorerShown && m_explorer && m_explorer->MainHooks.MainWindowMoved)
        m_explorer->MainHooks.MainWindowMoved();
}

// ---------------------------------------------------------------------------
// The date dialog

TDateFindBMForm::TDateFindBMForm(QWidget *owner, TZelkoraOptions *options)
    : TBaseModalForm(owner), m_options(options)
{
    setObjectName(QStringLiteral("DateFindBMForm"));
    setWindowTitle(QStringLiteral("Nach Datum suchen"));
    m_language = new TMultiLanguage(this);
    m_language->setObjectName(QStringLiteral("DateFindMultiLanguage"));
    auto *grid = new QGridLayout(this);

    FindMonthCalendar = new QCalendarWidget(this);
    FindMonthCalendar->setObjectName(QStringLiteral("FindMonthCalendar"));
    FindMonthCalendar->setSelectedDate(QDate::currentDate());
    grid->addWidget(FindMonthCalendar, 0, 0, 2, 1);

    FindArtRadioGroup = new QGroupBox(QStringLiteral("&Ort der Suche"), this);
    FindArtRadioGroup->setObjectName(QStringLiteral("FindArtRadioGroup"));
    auto *art = new QVBoxLayout(FindArtRadioGroup);
    FindArtStdRadio = new QRadioButton(QStringLiteral("&Standardverzeichnisse"), FindArtRadioGroup);
    FindArtStdRadio->setObjectName(QStringLiteral("FindArtStdRadio"));
    FindArtUserRadio = new QRadioButton(QStringLiteral("&Benutzerdefiniertes Verzeichnis"), FindArtRadioGroup);
    FindArtUserRadio->setObjectName(QStringLiteral("FindArtUserRadio"));
    FindArtStdRadio->setChecked(true);
    art->addWidget(FindArtStdRadio);
    art->addWidget(FindArtUserRadio);
    grid->addWidget(FindArtRadioGroup, 0, 1);

    auto *pathRow = new QHBoxLayout;
    DFSearchPathLabel = new QLabel(QStringLiteral("Suchpfad:"), this);
    DFSearchPathLabel->setObjectName(QStringLiteral("DFSearchPathLabel"));
    DFFindPathEdit = new QLineEdit(this);
    DFFindPathEdit->setObjectName(QStringLiteral("DFFindPathEdit"));
    DFSearchPathLabel->setBuddy(DFFindPathEdit);
    pathRow->addWidget(DFSearchPathLabel);
    pathRow->addWidget(DFFindPathEdit, 1);
    grid->addLayout(pathRow, 2, 0, 1, 2);

    SearchTypesGroupBox = new QGroupBox(QStringLiteral("Zu suchende &Typen"), this);
    SearchTypesGroupBox->setObjectName(QStringLiteral("SearchTypesGroupBox"));
    auto *types = new QGridLayout(SearchTypesGroupBox);
    const auto box = [this, types](const char *name, const char *caption, int at) {
        auto *c = new QCheckBox(QString::fromUtf8(caption), SearchTypesGroupBox);
        c->setObjectName(QString::fromLatin1(name));
        types->addWidget(c, at / 3, at % 3);
        return c;
    };
    DFBmpCheckBox = box("DFBmpCheckBox", "&BMP", 0);
    DFJpgCheckBox = box("DFJpgCheckBox", "&JPG", 1);
    DFGifCheckBox = box("DFGifCheckBox", "&GIF", 2);
    DFWmfCheckBox = box("DFWmfCheckBox", "&WMF", 3);
    DFEmfCheckBox = box("DFEmfCheckBox", "&EMF", 4);
    DFIcoCheckBox = box("DFIcoCheckBox", "&ICO", 5);
    DFZkgCheckBox = box("DFZkgCheckBox", "Z&KG", 6);
    DFPngCheckBox = box("DFPngCheckBox", "&PNG", 7);
    DFAllCheckBox = box("DFAllCheckBox", "&Alle", 8);
    grid->addWidget(SearchTypesGroupBox, 1, 1);

    CheckDateCheckBox = new QCheckBox(QStringLiteral("Datum ber&ücksichtigen"), this);
    CheckDateCheckBox->setObjectName(QStringLiteral("CheckDateCheckBox"));
    CheckDateCheckBox->setChecked(true);
    grid->addWidget(CheckDateCheckBox, 3, 0);

    auto *buttons = new QHBoxLayout;
    SyswideFindButton = new QPushButton(QStringLiteral("Systemweit suchen"), this);
    SyswideFindButton->setObjectName(QStringLiteral("SyswideFindButton"));
    SyswideFindButton->setEnabled(false); // until the main window's search is given
    DFSearchButton = new QPushButton(QStringLiteral("&Suchen"), this);
    DFSearchButton->setObjectName(QStringLiteral("DFSearchButton"));
    DFSearchButton->setDefault(true);
    DFCancButton = new QPushButton(QStringLiteral("&Abbrechen"), this);
    DFCancButton->setObjectName(QStringLiteral("DFCancButton"));
    buttons->addWidget(SyswideFindButton);
    buttons->addStretch();
    buttons->addWidget(DFSearchButton);
    buttons->addWidget(DFCancButton);
    grid->addLayout(buttons, 4, 0, 1, 2);

    SelectFolder = [this](const QString &caption) {
        QString folder;
        zk::SelectFolder(caption, folder, this);
        return folder;
    };
    connect(CheckDateCheckBox, &QCheckBox::toggled, FindMonthCalendar, &QWidget::setEnabled);
    connect(DFAllCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        for (QCheckBox *c : typeBoxes())
            c->setChecked(on);
    });
    connect(FindArtStdRadio, &QRadioButton::clicked, this, [this] { FindArtRadioGroupClick(0); });
    connect(FindArtUserRadio, &QRadioButton::clicked, this, [this] { FindArtRadioGroupClick(1); });
    // The search runs beside the dialog, which stays open.
    connect(SyswideFindButton, &QPushButton::clicked, this, [this] {
        if (m_syswideFind)
            m_syswideFind();
    });
    connect(DFSearchButton, &QPushButton::clicked, this, [this] {
        m_mayClose = true;
        accept();
    });
    connect(DFCancButton, &QPushButton::clicked, this, [this] {
        m_mayClose = true;
        QDialog::reject();
    });
}

void TDateFindBMForm::SetSyswideFind(std::function<void()> find)
{
    m_syswideFind = std::move(find);
    SyswideFindButton->setEnabled(bool(m_syswideFind));
}

std::array<QCheckBox *, 8> TDateFindBMForm::typeBoxes() const
{
    return {DFBmpCheckBox, DFJpgCheckBox, DFGifCheckBox, DFWmfCheckBox,
            DFEmfCheckBox, DFIcoCheckBox, DFZkgCheckBox, DFPngCheckBox};
}

QString TDateFindBMForm::Text(const QString &key, const QString &german) const
{
    const QString t = m_language->GetText(key);
    return t.isEmpty() ? german : t;
}

void TDateFindBMForm::FindArtRadioGroupClick(int item)
{
    if (item == 0) {
        DFFindPathEdit->setText(Text(QStringLiteral("set_FindPath_txt"), QStringLiteral("Standardverzeichnisse")));
        return;
    }
    const QString folder = SelectFolder ? SelectFolder(Text(QStringLiteral("select_udfindpath_txt"),
                                                            QStringLiteral("Suchverzeichnis wählen")))
                                        : QString();
    if (!folder.isEmpty())
        DFFindPathEdit->setText(folder);
}

void TDateFindBMForm::GetRequest(TDateSearchRequest &request) const
{
    request.Date = FindMonthCalendar->selectedDate();
    const auto boxes = typeBoxes();
    for (size_t i = 0; i < boxes.size(); ++i)
        request.Types[i] = boxes[i]->isChecked();
    const QString path = DFFindPathEdit->text();
    request.Paths.clear();
    if (path != Text(QStringLiteral("set_FindPath_txt"), QStringLiteral("Standardverzeichnisse"))) {
        request.Paths << withSlash(path);
    } else {
        request.Paths << autosaveFolder();
        if (m_options && !m_options->OutDir.isEmpty())
            request.Paths << withSlash(m_options->OutDir);
    }
    request.UseDate = CheckDateCheckBox->isChecked();
}

void TDateFindBMForm::showEvent(QShowEvent *e)
{
    DFFindPathEdit->setText(Text(QStringLiteral("set_FindPath_txt"), QStringLiteral("Standardverzeichnisse")));
    TBaseModalForm::showEvent(e);
}

void TDateFindBMForm::reject()
{
    // Escape works as the cancel button does.
    m_mayClose = true;
    QDialog::reject();
}

void TDateFindBMForm::done(int r)
{
    if (!m_mayClose)
        return;
    m_mayClose = false;
    TBaseModalForm::done(r);
}

void TDateFindBMForm::closeEvent(QCloseEvent *e)
{
    // The close box counts as cancelling; other closes are refused.
    if (e->spontaneous())
        m_mayClose = true;
    if (!m_mayClose) {
        e->ignore();
        return;
    }
    TBaseModalForm::closeEvent(e);
}

} // namespace zk
