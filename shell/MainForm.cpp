// The main window's creation, first show, hiding, closing and the window
// commands it answers itself.
#include "MainForm.h"
#include "FirstFrame.h"
#include "ShellOpen.h"
#include "ZelkoraApplication.h"
#include "RecorderForm.h"
#include "SaveAviEdtForm.h"
#include "PrPrevForm.h"
#include "PrintReport.h"
#include "XPrint.h"
#include "MailProgram.h"
#include "SmtpMail.h"

#include "Bitmap.h"
#include "DockSite.h"
#include "DragDropFiles.h"
#include "HistList.h"
#include "HotKeys.h"
#include "ImageControl.h"
#include "MultiLanguage.h"
#include "PictureFiles.h"
#include "Placement.h"
#include "ProgramDir.h"
#include "QtTranslations.h"
#include "Registry.h"
#include "SafeFile.h"
#include "SvcAutoRun.h"
#include "WindowElement.h"
#include "WindowFrame.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QPrinter>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSessionManager>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>
#include <QToolBar>
#include <QUrl>

Q_LOGGING_CATEGORY(lcHotKeys, "zk.hotkeys", QtWarningMsg)

namespace zk {

namespace {

TMainForm *g_mainForm = nullptr;


QString guiKey()
{
    return QString::fromLatin1(TMainForm::GuiKey);
}

QString subKey(const char *name)
{
    return guiKey() + u'\\' + QString::fromLatin1(name);
}

} // namespace

TMainForm *TMainForm::Instance()
{
    return g_mainForm;
}

const std::array<const char *, TMainForm::kToolBarCount> &TMainForm::DockStateKeys()
{
    static const std::array<const char *, kToolBarCount> keys = {
        "StandardPal", "PicEditPal", "CutterPal", "WordPal", "OptionPal",
        "HelpPal",     "ExitPal",    "XtrasPal",  "ViewPal"};
    return keys;
}

std::array<QToolBar *, TMainForm::kToolBarCount> TMainForm::DockOrderToolBars() const
{
    return {StandardToolBar, GrafikEditToolBar, CutterToolBar, WordToolBar, OptionsToolBar,
            HelpToolBar,     ExitToolBar,       XtrasToolBar,  ViewToolBar};
}

TMainForm::TMainForm(const QStringList &commandLineFiles, QWidget *parent)
    : QMainWindow(parent)
    , m_commandLineFiles(commandLineFiles)
{
    g_mainForm = this;
    BuildComponents();
    FormCreate();
    SetupPictureFiles();
    SetupEditCommands();
    SetupPrinting();
    SetupMouseTools();
    SetupMarks();
    SetupCaptureCommands();
    SetupScanOverlay();
    SetupRecorder();
    SetupSending();
    SetupOptionsDialog();
    SetupViewCommands();
    SetupInfoCommands();
    SetupLaunchers();
    SetupShellCommands();
    SetupIconTools();
    SetupCaptureSources();
    SetupKonvertJobs();
    SetupPreviewGallery();
    SetupWindowInfo();
    SetupCommandSurface();
    // The status bar is the window's first control that measures a text,
    // which needs the font list: it comes after the steps that measure none,
    // and the list, read on another core meanwhile, is ready by then. Texts
    // given to its panels before wait for it.
    BuildStatusBar();
    SetupXPLook();
}

TMainForm::~TMainForm()
{
    SetComponentExceptionHandler(nullptr);
    // The preview paints on the report's printer: it goes first.
    delete PrPrevForm.data();
    // The recorder's windows have no parent: they go with the main window.
    delete RecorderForm.data();
    delete SaveAviEdtForm.data();
    if (m_hotKeys)
        m_hotKeys->UnregisterAll();
    if (g_mainForm == this)
        g_mainForm = nullptr;
    SetDamagedStoreHandler(nullptr);
}

void TMainForm::BuildComponents()
{
    setObjectName("MainForm");
    setWindowTitle(QStringLiteral("Zelkora 5.0"));
    resize(800, 600);

    BuildMenus();
    BuildToolBars();

    // Client area: the picture. Dockable windows sit in the dock areas
    // around it, which take no room until something docks there; the bottom
    // area spans below both side areas.
    ClientPanel = new QSplitter(Qt::Horizontal, this);
    ClientPanel->setObjectName("ClientPanel");
    ClientScrollBoxEx = new TScrollBoxEx(ClientPanel);
    ClientScrollBoxEx->setObjectName("ClientScrollBoxEx");
    ClientScrollBoxEx->setWidgetResizable(false);
    ScanImage = new TImage;
    ScanImage->setObjectName("ScanImage");
    ClientScrollBoxEx->setWidget(ScanImage);
    setCentralWidget(ClientPanel);
    LeftDockPanel = new TDockSite(this, Qt::LeftDockWidgetArea, 0, QStringLiteral("LeftDockPanel"));
    RightDockPanel = new TDockSite(this, Qt::RightDockWidgetArea, 1, QStringLiteral("RightDockPanel"));
    BottomDockPanel = new TDockSite(this, Qt::BottomDockWidgetArea, 2, QStringLiteral("BottomDockPanel"));
    setCorner(Qt::BottomLeftCorner, Qt::BottomDockWidgetArea);
    setCorner(Qt::BottomRightCorner, Qt::BottomDockWidgetArea);

    ZKsvcTrayIcon = new TsvcTrayIcon(this);
    ZKsvcTrayIcon->setObjectName("ZKsvcTrayIcon");
    ZKsvcTrayIcon->SetHint(QStringLiteral("Zelkora 5.0"));
    ZKsvcTrayIcon->SetCycleInterval(700);
    ZKsvcTrayIcon->MinimizeToTray = true;
    // The tray menu is opened by the component at the pointer (a tray that
    // exports menus would show them without the side bar); a double click
    // runs the menu's default item, the show-and-hide item. The mouse
    // events are wired with the other capture sources.
    // An exception of a component's timer tick reaches the exception box.
    SetComponentExceptionHandler([this](std::exception_ptr error) {
        ReportException(error, [this](const QString &type, const QString &message) {
            ZKsvcApplicationPropertiesException(type, message);
        });
    });
    ZKMultiLanguage = new TMultiLanguage(this);
    ZKMultiLanguage->setObjectName("ZKMultiLanguage");

    TimeScanTimer = new QTimer(this);
    TimeScanTimer->setObjectName("TimeScanTimer");
    WinFormFrameTimer = new QTimer(this);
    WinFormFrameTimer->setObjectName("WinFormFrameTimer");
    WinFormFrameTimer->setInterval(10);

    m_hotKeys = new TGlobalHotKeys(this);
    connect(m_hotKeys, &TGlobalHotKeys::hotKey, this, &TMainForm::OnHotKey);

    for (QAction *close : {Item("FZKCloseMenuItem"), Item("ZKCloseMenuItem"), Item("ExitToolButton")})
        connect(close, &QAction::triggered, this, &TMainForm::CloseClick);
    connect(Item("ZKPopupMenuItem"), &QAction::triggered, this, &TMainForm::ZKPopupMenuItemClick);
    for (const char *name : {"GermanMenuItem", "EnglishMenuItem", "ItalMenuItem", "SpanMenuItem", "FranceMenuItem"}) {
        QAction *a = Item(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [this, a] { GermanMenuItemClick(a); });
    }

    // A real end of the desktop session: remembered here, acted on when the
    // program then really quits.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) {
        m_sessionEnding = true;
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!m_sessionEnding)
            return;
        // The session manager ends the program without a close: keep the
        // settings all the same, without a question nobody can answer now.
        if (!m_closeDone)
            FormClose();
        WMEndSession(true);
    });
    qApp->installEventFilter(this);
}

void TMainForm::CreateStep(const char *what, const std::function<void()> &step)
{
    // An error in one step of the creation is reported and the window still
    // comes up: a program that will not start cannot be repaired by its user.
    try {
        step();
    } catch (const std::exception &e) {
        const QString type = ExceptionTypeName(typeid(e).name());
        const QString message = QString::fromUtf8(e.what());
        qWarning("Start-up step \"%s\" failed: %s", what, qPrintable(message));
        QMetaObject::invokeMethod(this, [this, type, message] {
            ZKsvcApplicationPropertiesException(type, message);
        }, Qt::QueuedConnection);
    }
}

void TMainForm::FormCreate()
{
    CreateStep("layout", [this] {
        setAcceptDrops(true);
        InstallStoreNotices(); // before the first write of the settings
    });
    CreateStep("placement", [this] { LoadWindowPos(guiKey(), this); });
    CreateStep("options", [this] { LoadOptions(); });
    CreateStep("leftovers", [this] {
        // Temporary files of saves that a killed copy never finished.
        if (!Options.OutDir.isEmpty())
            RemoveOrphanedTempsOnce(Options.OutDir);
        RemoveOrphanedTempsOnce(AutosaveDir());
        // And wherever else a write had to use a named temporary file.
        RemoveNotedTemps();
    });
    CreateStep("view", [this] {
        Item("KoordLoupMenuItem")->setChecked(Options.Loupe);
        ScanImage->SetStretch(false);
        ScanImage->SetCenter(false);
        ScanImage->SetAutoSize(true);
        if (Options.AutoWinSize)
            Item("WinDimMenuItem")->setChecked(true);
        ScanImage->SetTransparent(Options.Trans);
        Item("ScanTFMenuItem")->setChecked(Options.FilledShape);
        Item("PrintScanMenuItem")->setChecked(Options.PrintScan);
        Item("TimeScanMenuItem")->setChecked(Options.TimeScanRunning);
        Item("FileExMenuItem")->setChecked(Options.FileExp);
        const bool statBar = Options.StatBar || Options.OnceCellStatbar;
        Item("StatBarMenuItem")->setChecked(statBar);
    });
    CreateStep("bitmaps and history", [this] {
        UndoBitmap = std::make_unique<TBitmap>();
        RecentList = std::make_unique<THistoryList>();
        RecentList->LoadHistory(guiKey(), QStringLiteral("Recent"));
        RecentList->SetMenu(RecentPopupMenu);
        RecentList->SetMenuItem(Item("NewOpenMenuItem"));
        RecentList->OnHistoryClick = [this](QObject *, const QString &file) {
            QMetaObject::invokeMethod(this, [this, file] { OpenPictureFile(file); }, Qt::QueuedConnection);
        };
    });
    CreateStep("tool bars", [this] { RestoreToolBarDockStates(); });
    // The manual is HTML pages opened in the browser; its command says so
    // itself when they are not installed.
    CreateStep("help", [this] { HelpFilePath = HelpPageFile(QStringLiteral("index")); });
    CreateStep("scan delay", [this] { ApplyScanDelay(); });
    CreateStep("tool buttons", [this] {
        Item("AutoFileToolButton")->setChecked(Options.PersSave);
        Item("CoordLoupeToolButton")->setChecked(Options.Loupe);
        Item("PrintScanToolButton")->setChecked(Options.PrintScan);
        Item("FileAsBmpToolButton")->setChecked(Options.OAsBmp);
    });
    CreateStep("language", [this] {
        const QString file = ProgramDir() + QStringLiteral("Templates/Languages.lng");
        const bool haveFile = QFileInfo::exists(file);
        const QStringList script = haveFile ? ReadLanguageFile(file) : QStringList();
        const TLanguageOffer offer = LanguageOffer(script);
        Item("ItalMenuItem")->setEnabled(offer.italian);
        Item("SpanMenuItem")->setEnabled(offer.spanish);
        Item("FranceMenuItem")->setEnabled(offer.french);
        const int language = UsableIndex(Options, "Language");
        // The texts are there for every step from here; the form itself
        // takes them once, after its last items are made (SetupEditCommands).
        ZKMultiLanguage->Prepare(script, LanguageName(language));
        if (!ApplyQtTranslations(language))
            qWarning("Qt's translations for this language are not installed; its dialogs stay English");
        const char *const items[5] = {"GermanMenuItem", "EnglishMenuItem", "ItalMenuItem",
                                      "SpanMenuItem", "FranceMenuItem"};
        for (int i = 0; i < 5; ++i)
            Item(QString::fromLatin1(items[i]))->setChecked(i == language);
    });
    CreateStep("sub-menus", [this] {
        // The View menu carries the same items without the side bar.
        auto *barsCopy = new QMenu(MenStatBarPopupMenu->title(), this);
        barsCopy->addActions(MenStatBarPopupMenu->actions());
        QAction *bars = SubMenu("ViewMenuItem")->addMenu(barsCopy);
        bars->setObjectName("AMenuItem");
        m_items.insert(bars->objectName(), bars);
        QAction *marks = SubMenu("GrafikMenuItem")->addMenu(MarkColrPopupMenu);
        marks->setObjectName("MarkMenuItem");
        marks->setProperty("Tag", 5);
        marks->setEnabled(false); // the marker colours come with the marking code
        m_items.insert(marks->objectName(), marks);
        ApplySubMenuTexts();
        SetScanToolHints();
        StartDate = QDate::currentDate();
    });
    CreateStep("command line", [this] {
        if (!m_commandLineFiles.isEmpty())
            OpenPictureFile(m_commandLineFiles.first());
    });
    CreateStep("sound", [this] { SelectSoundFile(UsableIndex(Options, "SoundFileNr")); });
    CreateStep("companion", [this] {
        SetQuorvexVisible(CompanionConfigured(ProgramDir() + QStringLiteral("ZK5.ini")));
    });
    CreateStep("work bitmap", [this] {
        MaximizeToggle.Reset();
        WorkBitmap = std::make_unique<TBitmap>();
    });
}

void TMainForm::LoadOptions()
{
    const bool existed = OptionsStore::Load(Options);
    // The icon itself appears right after the first show (ShowTrayIcon):
    // asking the desktop for its tray costs more than the window needs to
    // come up.
    m_trayWanted = existed ? Options.TnaUse : true;
    ZKsvcTrayIcon->MinimizeToTray = m_trayWanted;
}

void TMainForm::ShowTrayIcon()
{
    if (!ZKsvcTrayIcon->PopupMenu()) {
        ZKsvcTrayIcon->SetPopupMenu(TrayBarPopupMenu);
        if (QAction *item = Item(QStringLiteral("ZKPopupMenuItem")))
            TrayBarPopupMenu->setDefaultAction(item);
    }
    if (!m_trayWanted) {
        ZKsvcTrayIcon->SetVisible(false);
        return;
    }
    if (m_staticTrayIcon.isNull()) {
        m_staticTrayIcon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_DesktopIcon)
                                                               : QApplication::windowIcon();
        UpdateTrayIcon();
    }
    if (TsvcTrayIcon::TrayAvailable())
        ZKsvcTrayIcon->SetVisible(true);
}

void TMainForm::SaveOptions()
{
    OptionsStore::Save(Options);
}

void TMainForm::WriteOptionBool(const QString &name, bool value)
{
    QString error;
    if (!OptionsStore::WriteOptionBool(name, value, &error))
        ReportStoreError(error);
}

QString TMainForm::Text(const QString &key, const QString &fallback) const
{
    const QString text = ZKMultiLanguage ? ZKMultiLanguage->GetText(key) : QString();
    return text.isEmpty() ? fallback : text;
}

QString TMainForm::StatusPanelText(int index) const
{
    if (!ZKStatusBar)
        return m_panelTextsBeforeBar.value(index, InitialPanelText(index));
    return ZKStatusBar->PanelText(index);
}

void TMainForm::ApplyScanDelay()
{
    FScanDelay = Options.ScanDelay >= 0 ? Options.ScanDelay : 240;
}

void TMainForm::SetQuorvexVisible(bool visible)
{
    for (const char *name : {"QuorvMenuItem", "Quorv2MenuItem", "Quorv3MenuItem", "QuorvexMenuItem"})
        Item(QString::fromLatin1(name))->setVisible(visible);
    // The Window menu shows its item only while the companion's window is there.
    Item("QuorvexMenuItem")->setProperty("companion", visible);
    if (!visible && Options.ScanTool == 12)
        Options.ScanTool = 0;
}

void TMainForm::ApplyLanguage()
{
    const bool showsReady = !StatusPanelText(0).isEmpty() && StatusPanelText(0) == Text("statbar_app_run");
    ZKMultiLanguage->SetLanguage(LanguageName(UsableIndex(Options, "Language")));
    if (showsReady)
        SetStatusPanelText(0, Text("statbar_app_run"));
    if (!ApplyQtTranslations(UsableIndex(Options, "Language")))
        qWarning("Qt's translations for this language are not installed; its dialogs stay English");
    ApplySubMenuTexts();
    SetScanToolHints();
    SetStatusPanelText(2, Text("statbar_colview"));
    ShowPictureSizePanel();
}

void TMainForm::ApplyStartLanguage()
{
    FirstLanguagePass(ZKMultiLanguage, this, [this] { ApplyLanguage(); }, [this] { ApplyWaitingTexts(); });
}

void TMainForm::ApplyWaitingTexts()
{
    if (!ZKMultiLanguage->HasWaiting())
        return;
    ZKMultiLanguage->ApplyWaiting();
    // The texts the code gives these items win over the file's lines, as
    // after every other pass.
    ApplySubMenuTexts();
    SetScanToolHints();
}

void TMainForm::ApplySubMenuTexts()
{
    // The two hung-in sub-menus have no caption of their own in the form;
    // they follow the language like every other item.
    if (QAction *bars = Item("AMenuItem")) {
        bars->setText(Text("AMenuItem_Caption", QStringLiteral("&Symbolleisten")));
        bars->setStatusTip(Text("AMenuItem_Hint"));
    }
    if (QAction *marks = Item("MarkMenuItem")) {
        marks->setText(Text("MarkMenuItem_Caption", QStringLiteral("&Markierungsfarbe")));
        marks->setStatusTip(Text("MarkMenuItem_Hint"));
    }
}

void TMainForm::GermanMenuItemClick(QAction *sender)
{
    Options.Language = std::uint8_t(sender->property("Tag").toInt());
    const char *const items[5] = {"GermanMenuItem", "EnglishMenuItem", "ItalMenuItem", "SpanMenuItem",
                                  "FranceMenuItem"};
    for (int i = 0; i < 5; ++i)
        Item(QString::fromLatin1(items[i]))->setChecked(i == Options.Language);
    ApplyLanguage();
}

void TMainForm::SetScanToolHints()
{
    static const struct
    {
        const char *key;
        std::initializer_list<const char *> items;
    } table[] = {
        {"ScanToolListBox_Hint1", {"RectMenuItem"}},
        {"ScanToolListBox_Hint2", {"TriangleMenuItem"}},
        {"ScanToolListBox_Hint3", {"RoundRectMenuItem"}},
        {"ScanToolListBox_Hint4", {"EllipseMenuItem"}},
        {"ScanToolListBox_Hint5", {"ObjectMenuItem"}},
        {"ScanToolListBox_Hint6", {"DeskMenuItem", "Desk2MenuItem", "Desk3MenuItem"}},
        {"ScanToolListBox_Hint7", {"CoordMenuItem", "Coord2MenuItem", "Coord3MenuItem"}},
        {"ScanToolListBox_Hint9", {"AviVdoMenuItem", "AviVdo2MenuItem", "AviVdo3MenuItem"}},
        {"ScanToolListBox_Hint10", {"WEMenuItem", "WE2MenuItem", "WE3MenuItem"}},
        {"ScanToolListBox_Hint11", {"ScanTwainMenuItem", "ScanTwain2MenuItem", "ScanTwain3Menuitem"}},
        {"ScanToolListBox_Hint12", {"ScanFileMenuItem", "ScanFile2MenuItem", "ScanFile3MenuItem"}},
        {"ScanToolListBox_Hint13", {"ScanTxtMenuItem", "ScanTxt2MenuItem", "ScanTxt3MenuItem"}},
        {"ScanToolListBox_Hint14", {"Quorv2MenuItem", "Quorv3MenuItem"}},
    };
    for (const auto &row : table) {
        const QString hint = Text(QString::fromLatin1(row.key));
        for (const char *name : row.items)
            if (QAction *a = Item(QString::fromLatin1(name)))
                a->setStatusTip(hint);
    }
}

// ---------------------------------------------------------------------------
// Tool-bar dock states

void TMainForm::RestoreToolBarDockStates()
{
    const auto bars = DockOrderToolBars();
    const auto &keys = DockStateKeys();
    const QList<QObject *> sites = {this};
    std::array<QRect, kToolBarCount> bounds;
    for (int i = 0; i < kToolBarCount; ++i) {
        const auto state = LoadDockState(subKey(keys[i]), bars[i], sites);
        if (!state || !state->bounds.isValid())
            return; // first run or a damaged store: the defined layout stays
        bounds[i] = state->bounds;
    }
    RelayToolBars(bounds);
}

void TMainForm::SaveToolBarDockStates()
{
    const auto bars = DockOrderToolBars();
    const auto &keys = DockStateKeys();
    const QList<QObject *> sites = {this};
    for (int i = 0; i < kToolBarCount; ++i)
        SaveDockState(subKey(keys[i]), bars[i], sites);
}

// ---------------------------------------------------------------------------
// Show, hide, hot keys

void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TMainForm::hideEvent(QHideEvent *event)
{
    // A window never moved by the program (a first run without a stored
    // placement) would be placed anew by the window manager on every show:
    // pinning its inside where it is now brings it back there after a
    // capture. The pin uses the kind of position the window already has
    // (its inside's corner, which the window manager keeps still around its
    // frame): asking for the frame's corner instead changes how the window
    // manager reads positions at the very moment the window hides, and one
    // that takes the move before that change puts the inside at the frame's
    // corner, a title bar too high.
    if (!event->spontaneous() && !testAttribute(Qt::WA_Moved))
        if (QWindow *w = windowHandle())
            w->setGeometry(w->geometry());
    QMainWindow::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TMainForm::FormShow()
{
    if (!FirstShowDone) {
        SetStatusPanelText(0, Text("statbar_app_run"));
        QMetaObject::invokeMethod(this, &TMainForm::WMAfterShow, Qt::QueuedConnection);
        // Other programs (and a second copy, which keeps asking for a few
        // seconds) reach the running copy through the channel (docs/ipc.md).
        // Its module binds Qt Network's libraries: another core opens it
        // once the window is up (starting that thread is not left in the
        // way of the window's first frame), and the channel listens from
        // there on.
        AfterFirstFrame(this, [this] {
            auto *channelLoad = new QFutureWatcher<void>(this);
            connect(channelLoad, &QFutureWatcherBase::finished, this, [this, channelLoad] {
                channelLoad->deleteLater();
                if (!m_localChannel)
                    StartLocalChannel();
            });
            channelLoad->setFuture(QtConcurrent::run([] { ChannelModuleProblem(); }));
        });
        FirstShowDone = true;
    }
    for (int slot = 1; slot <= 6; ++slot)
        FHotKeyIds[slot - 1] = slot;
    // Each grab is a round trip to the display: the keys are taken right
    // after the window's first frame.
    AfterFirstFrame(this, [this] { RegisterHotKeys(0); });
    ShowHeldMessages();
}

void TMainForm::RegisterHotKeys(int)
{
    // Registering again replaces the grabs of the same slots, so any number
    // of shows holds each key once; with the system-wide keys switched off
    // nothing is grabbed at all.
    if (!Options.SysKeys) {
        UnregisterHotKeys();
        return;
    }
    const QList<THotKeyRequest> requests = HotKeyRequests(Options);
    const THotKeyResult result = m_hotKeys->RegisterAll(requests);
    m_refusedHotKeys = result.refused;
    qCInfo(lcHotKeys) << "hot keys registered, refused:" << result.refused;
    if (!result.refused.isEmpty())
        ReportRefusedHotKeys(result.refused);
}

void TMainForm::UnregisterHotKeys()
{
    m_hotKeys->UnregisterAll();
}

void TMainForm::ReportRefusedHotKeys(const QList<int> &refused)
{
    const QList<THotKeyRequest> requests = HotKeyRequests(Options);
    QStringList keys;
    for (const THotKeyRequest &r : requests) {
        const int code = r.id * 100 + HotKeyLetterIndex(r.letter);
        if (refused.contains(r.id) && !m_reportedHotKeys.contains(code)) {
            keys.append(HotKeyDisplayName(r.letter));
            m_reportedHotKeys.insert(code);
        }
    }
    if (keys.isEmpty())
        return; // told once per key; every show would otherwise repeat it
    const QString text =
        Text("showmsg_hotkey_in_use",
             QStringLiteral("Diese Tastenkombinationen werden bereits von einem anderen Programm verwendet:")) +
        QStringLiteral("\n") + keys.join(QStringLiteral(", "));
    qCWarning(lcHotKeys).noquote() << text;
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setObjectName("HotKeyInUseBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void TMainForm::OnHotKey(int id)
{
    qCInfo(lcHotKeys) << "hot key" << id;
    emit HotKeyMessage(id);
}

void TMainForm::WMAfterShow()
{
    // Nothing on the first frame waits for the printer list, and loading the
    // printing system's plug-in takes longer than painting it: the list is
    // asked for once the frame is on the screen (a picture shown in that
    // frame asks for it itself, to set its print commands).
    AfterFirstFrame(this, [this] { FindPrinters(); });
    ShowTrayIcon();
    if (Options.TrayStart && Options.TnaUse)
        HideToTray();
}

bool TMainForm::TrayUsable() const
{
    return ZKsvcTrayIcon->Visible() && TsvcTrayIcon::TrayAvailable();
}

void TMainForm::HideToTray()
{
    // Without a tray to come back from, hiding would lose the window.
    if (TrayUsable())
        ZKsvcTrayIcon->HideApplication();
    else
        showMinimized();
}

void TMainForm::ShowFromTray()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TMainForm::FormHide()
{
    if (IsClosing || !Options.FileExp)
        return;
    const bool dirFloating = DirBDForm && DirBDForm->isWindow();
    const bool navFloating = NavBDForm && NavBDForm->isWindow();
    if (!dirFloating && !navFloating)
        return;
    for (QWidget *w : {DirBDForm.data(), NavBDForm.data()})
        if (w)
            w->setVisible(!w->isWindow());
}

void TMainForm::ZKPopupMenuItemClick()
{
    // Without a tray the program went to the task bar instead of hiding;
    // the same item has to bring it back from there.
    if (isVisible() && !isMinimized()) {
        if (Options.FileExp)
            for (QWidget *w : {DirBDForm.data(), NavBDForm.data()})
                if (w)
                    w->hide();
        HideToTray();
    } else {
        ShowFromTray();
        if (Options.FileExp)
            for (QWidget *w : {DirBDForm.data(), NavBDForm.data()})
                if (w)
                    w->show();
    }
}

// ---------------------------------------------------------------------------
// Window commands

bool TMainForm::WMSysCommand(int command)
{
    switch (command) {
    case SC_MINIMIZE:
        // Without a tray the ordinary minimise is what hiding falls back to.
        if (!Options.AnimMin || !TrayUsable())
            return false;
        for (int i = 0; i < Options.AnimCount; ++i)
            AnimateToTray();
        ZKsvcTrayIcon->Minimize();
        return true;
    case SC_MAXIMIZE: {
        // The magnet keeps room for a floating explorer beside the window; a
        // docked one is inside the window, which then maximises as any other.
        if (!Options.MagneticFE || !DirBDForm || !DirBDForm->isWindow() || !DirBDForm->isVisible())
            return false;
        const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        const int explorerWidth = DirBDForm->frameGeometry().width();
        // The toggle works on the outer frame, decorations included, so the
        // whole window (status bar too) fits the work area; resize() takes
        // the inside, which is the frame less the decorations.
        const QRect next = MaximizeToggle.Toggle(frameGeometry(), area, explorerWidth);
        const QSize decorations = frameGeometry().size() - size();
        m_inMaximizeToggle = true;
        setWindowState(windowState() & ~Qt::WindowMaximized);
        resize(next.size() - decorations);
        move(next.topLeft());
        m_inMaximizeToggle = false;
        return true;
    }
    case SC_CLOSE:
        IsClosing = true;
        close();
        return true;
    case SC_INFO:
        InfoMenuItemClick();
        return true;
    default:
        return false;
    }
}

void TMainForm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || m_inMaximizeToggle)
        return;
    const auto *change = static_cast<QWindowStateChangeEvent *>(event);
    const Qt::WindowStates now = windowState();
    if ((now & Qt::WindowMaximized) && !(change->oldState() & Qt::WindowMaximized) && Options.MagneticFE) {
        QTimer::singleShot(0, this, [this] { WMSysCommand(SC_MAXIMIZE); });
    }
    // Minimising into the tray is the tray icon's (its filter on this window).
}

void TMainForm::CloseClick()
{
    IsClosing = true;
    close();
}

void TMainForm::CloseBySignal()
{
    IsClosing = true;
    m_closingBySignal = true; // whatever goes wrong now is reported, not asked about
    if (!m_closeDone)
        FormClose();
    close();
    QCoreApplication::exit(0); // leaves open dialogs' loops as well
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (m_closeDone) {
        event->accept();
        return;
    }
    // The window manager's close button is the system close command.
    // A second close while the question is open would stack a second one.
    if (m_closeAsking) {
        event->ignore();
        return;
    }
    if (event->spontaneous())
        IsClosing = true;
    bool canClose = true;
    m_closeAsking = true;
    FormCloseQuery(canClose);
    m_closeAsking = false;
    if (!canClose) {
        IsClosing = false; // the window stays, so hiding it later is no close
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TMainForm::FormCloseQuery(bool &canClose)
{
    canClose = true;
    if (!Options.EndDlg)
        return;
    QMessageBox box(QMessageBox::Question, windowTitle(),
                    Text("msgdlg_closequery", QStringLiteral("Zelkora 5.0 beenden?")),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("CloseQueryBox");
    box.setDefaultButton(QMessageBox::Yes);
    // Qt's catalogue names the buttons in every language of the window;
    // German is named here too, so it reads right where that catalogue is
    // missing.
    if (UsableIndex(Options, "Language") == 0) {
        box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
        box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    }
    canClose = box.exec() == QMessageBox::Yes;
}

void TMainForm::FormClose()
{
    m_closeDone = true;
    // Starting with the desktop as the option says now.
    if (ZKsvcAutoRun)
        ZKsvcAutoRun->SetAutoRun(Options.AutoSysStart);
    // Taking the icon away would bring a tray-minimised window back first.
    ZKsvcTrayIcon->MinimizeToTray = false;
    ZKsvcTrayIcon->SetVisible(false);
    UndoBitmap.reset();
    // Everything the close keeps is one update of the store: a kill or a full
    // disk leaves the old settings or the new ones, never half of them, and a
    // store that cannot be written is said once.
    QString failure;
    // A close soon after the start can come before the restored window gave
    // the window manager's frame back; the tool-bar places and dock sites
    // read below are those of the final size, not of the moment, so a close
    // without changes writes what it read.
    SettlePlacement(this);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    try {
        TRegistryBatch batch(RootKey::CurrentUser);
        for (std::string_view name : OptionViewSwitches()) {
            const QString n = QString::fromLatin1(name.data(), qsizetype(name.size()));
            bool value = false;
            if (n == QLatin1String("Loupe"))
                value = Options.Loupe;
            else if (n == QLatin1String("Stretch"))
                value = Options.Stretch;
            else if (n == QLatin1String("DocCenter"))
                value = Options.DocCenter;
            else if (n == QLatin1String("FocusMode"))
                value = Options.FocusMode;
            else if (n == QLatin1String("Trans"))
                value = Options.Trans;
            QString error;
            if (!OptionsStore::WriteOptionBool(n, value, &error) && failure.isEmpty())
                failure = error;
        }
        SaveWindowPos(guiKey(), this);
        SaveToolBarDockStates();
        SaveDockForms();
        WritePaletteFlags();
        WritePicEditPalFlags();
        WriteStdValsMenuItemClick();
        if (RecentList) {
            try {
                RecentList->SaveHistory(guiKey(), QStringLiteral("Recent"));
            } catch (const std::exception &e) {
                if (failure.isEmpty())
                    failure = QString::fromUtf8(e.what());
            }
        }
        OptionsStore::Save(Options);
        batch.Commit();
    } catch (const ERegistryException &e) {
        failure = e.message();
    }
    RecentList.reset();
    UnregisterHotKeys();
    ShowDamagedStoreNotes();
    if (!failure.isEmpty())
        ReportStoreError(failure);
}

void TMainForm::ReportStoreError(const QString &reason)
{
    if (m_closingBySignal) {
        // A logout or a service stop waits for us: a box nobody answers
        // would keep the program running until it is killed.
        ReportToJournal(QStringLiteral("the settings could not be saved: ") + reason);
        return;
    }
    QMessageBox box(QMessageBox::Warning, windowTitle(),
                    Text(QString::fromLatin1(WriteErrorRegistryText),
                         QStringLiteral("Die Einstellungen konnten nicht gespeichert werden: ")) + reason,
                    QMessageBox::Ok, this);
    box.setObjectName("WriteErrorRegistryBox");
    box.exec();
}

void TMainForm::WMEndSession(bool sessionEnds)
{
    if (!sessionEnds)
        return;
    if (!WriteRunOnceEntry(QCoreApplication::applicationFilePath()))
        qWarning("The autostart entry for the next login could not be written");
}

void TMainForm::ZKsvcApplicationPropertiesException(const QString &typeName, const QString &message)
{
    QMessageBox box(QMessageBox::NoIcon, windowTitle(), ExceptionBoxText(typeName, message),
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setObjectName("ExceptionBox");
    box.exec();
}

// ---------------------------------------------------------------------------
// Drops

void TMainForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent *event)
{
    QStringList files;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    if (files.size() >= 2)
        ZKsvcApplicationPropertiesMessage(files);
    else
        OpenPictureFile(files.first());
}

void TMainForm::ZKsvcApplicationPropertiesMessage(const QStringList &droppedFiles)
{
    // While the attachment dialog is open the drops are its files.
    if (findChild<QDialog *>(QStringLiteral("AttachBMForm")))
        return;
    const TDropList list = DroppedPictures(droppedFiles);
    if (list.paths.isEmpty())
        return; // nothing to load: an empty list would only be in the way
    if (!m_dragDrop)
        m_dragDrop = new TDragDropFilesBMForm(this, [this](const QString &f) { OpenPictureFile(f); });
    m_dragDrop->SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
    if (FormLookHook)
        FormLookHook(m_dragDrop, Options.XPContrStyle);
    m_dragDrop->Fill(list);
    m_dragDrop->show();
    m_dragDrop->raise();
    m_dragDrop->SelectRow(list.paths.size() > 1 ? 1 : -1);
    OpenPictureFile(list.paths.first());
}

// ---------------------------------------------------------------------------

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    // The scroll box places the picture on its own resize first; the centre
    // mode places it again right after.
    if ((watched == ClientScrollBoxEx || watched == ScanImage) && event->type() == QEvent::Resize && Options.DocCenter)
        QMetaObject::invokeMethod(this, &TMainForm::ClientScrollBoxResize, Qt::QueuedConnection);
    // A picture that fits stays in the middle when the box puts it back.
    if (watched == ScanImage && event->type() == QEvent::Move && Options.DocCenter) {
        const QSize view = ClientScrollBoxEx->viewport()->size();
        if (ScanImage->width() <= view.width() && ScanImage->height() <= view.height())
            QMetaObject::invokeMethod(this, &TMainForm::ClientScrollBoxResize, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace zk
