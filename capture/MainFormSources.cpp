// Capture sources that do not grab the screen (scanner, file compare, text
// search, the companion program and its copy-data picture) and the main
// window's reactions to the tray icon.
#include "MainForm.h"

#include "BaseModal.h"
#include "Bitmap.h"
#include "BmpCodec.h"
#include "CaptureControl.h"
#include "FindTextForms.h"
#include "Globals.h"
#include "ImageControl.h"
#include "IniFile.h"
#include "ChannelModule.h"
#include "MultiLanguage.h"
#include "PictureFiles.h"
#include "ProgramDir.h"
#include "SafeFile.h"
#include "SaneAcquire.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVariantAnimation>
#include <QtEndian>

namespace zk {

void TMainForm::SetupCaptureSources()
{
    CaptureHooks.CaptureSource(9) = [this] { ScanTwainMenuItemClick(); };
    CaptureHooks.CaptureSource(10) = [this] { ScanFileMenuItemClick(); };
    CaptureHooks.CaptureSource(11) = [this] { ScanTxtMenuItemClick(); };
    CaptureHooks.CaptureSource(12) = [this] { QuorvMenuItemClick(); };

    const auto bind = [this](std::initializer_list<const char *> names, auto handler) {
        for (const char *n : names)
            if (QAction *a = Item(QString::fromLatin1(n))) {
                connect(a, &QAction::triggered, this, handler);
                a->setEnabled(true);
            }
    };
    bind({"DoScanTwainMenuItem", "ScanTwain2MenuItem", "ScanTwain3Menuitem"}, [this] { ScanTwainMenuItemClick(); });
    bind({"KodakScanMenuItem"}, [this] { KodakScanMenuItemClick(); });
    bind({"DoScanPropMenuItem"}, [this] { DoScanPropMenuItemClick(); });
    bind({"ScanFile2MenuItem", "ScanFile3MenuItem"}, [this] { ScanFileMenuItemClick(); });
    bind({"ScanTxt2MenuItem", "ScanTxt3MenuItem"}, [this] { ScanTxtMenuItemClick(); });
    bind({"Quorv2MenuItem", "Quorv3MenuItem"}, [this] { QuorvMenuItemClick(); });
    bind({"AviVdo3MenuItem"}, [this] { AviVdoMenuItemClick(); });

    TwainHooks().Text = [this](const char *key, const QString &fallback) {
        return Text(QString::fromLatin1(key), fallback);
    };

    // The text search's output window, in the bottom area.
    CreateFileOutputForm = [this]() -> QWidget * {
        auto *form = new TFileOutputBDForm(this, Options);
        form->SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
        form->OnClosed = [this] {
            FTextScanActive = false;
            if (FileOutputShown) {
                FileOutputShown = false;
                ToggleFileOutput();
            }
        };
        connect(form, &QObject::destroyed, this, [this] { FTextScanActive = false; });
        return form;
    };

    ZKsvcTrayIcon->OnMouseDown = [this](TsvcComponent *, Qt::MouseButton button, TShiftState, int, int) {
        ZKsvcTrayIconMouseDown(button);
    };
    ZKsvcTrayIcon->OnMouseUp = [this](TsvcComponent *, Qt::MouseButton button, TShiftState, int, int) {
        ZKsvcTrayIconMouseUp(button);
    };
    ZKsvcTrayIcon->OnDblClick = [this](TsvcComponent *) { ZKsvcTrayIconDblClick(); };
    // A tray that reports no double clicks gets the double click's work on
    // a single click; otherwise a single click does nothing, as the double
    // click (the component runs the menu's default item after it) shows and
    // hides.
    ZKsvcTrayIcon->OnClick = [this](TsvcComponent *) {
        if (TrayReportsDoubleClicks())
            return;
        ZKsvcTrayIconDblClick();
        ZKPopupMenuItemClick();
    };
    UpdateCaptureCommands();
}

// ---------------------------------------------------------------------------
// Pictures from the sources

void TMainForm::SetSourcePicture(TBitmap picture)
{
    // Moved in: a scanned page of many megabytes is not copied once more.
    ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(std::move(picture)));
    ScanImage->PictureChanged();
    // Like a pasted picture: no file behind it, so "delete file" cannot
    // reach the file the previous picture came from.
    FHasFileName = false;
    FFileName.clear();
    SetStatusPanelText(6, QString::fromLatin1(PanelBitmap)); // the format panel
    ShowPictureSizePanel();
}

void TMainForm::ScanTwainMenuItemClick()
{
    if (FCaptureBusy)
        return;
    // The program answers while the page is read: no second capture meanwhile.
    const std::unique_ptr<bool, void (*)(bool *)> busy(&(FCaptureBusy = true), [](bool *b) { *b = false; });
    FreeCutRect();
    TWAIN_SelectImageSource(nullptr); // cancelled: the default source stays
    TWAIN_AcquireNative(nullptr, 0);
    const int n = TWAIN_ImageCount();
    TBitmap picture;
    for (int i = 0; i < n; ++i) {
        HDIB dib = TWAIN_GetImage(i);
        // The second page goes over the first; with three or more only the
        // first is drawn. Every page is freed.
        if (i == 0 || (i == 1 && n == 2))
            DibToImage(dib, picture);
        TWAIN_FreeNative(dib);
    }
    // A cancelled or failed acquisition leaves the picture as it was.
    if (!picture.Empty())
        SetSourcePicture(std::move(picture));
}

void TMainForm::KodakScanMenuItemClick()
{
    if (FCaptureBusy)
        return;
    const std::unique_ptr<bool, void (*)(bool *)> busy(&(FCaptureBusy = true), [](bool *b) { *b = false; });
    FreeCutRect();
    const auto message = [this](const QString &text) {
        if (SourcePrompts.Message)
            SourcePrompts.Message(text);
        else
            QMessageBox::information(this, windowTitle(), text);
    };
    if (!TWAIN_SourceAvailable()) {
        message(Text(QStringLiteral("showmsg_no_scanner"), QStringLiteral("Es wurde kein Scanner gefunden.")));
        return;
    }
    // The source's dialog first, then the pages; a cancel keeps the picture.
    TWAIN_AcquireNative(this, 0);
    const int n = TWAIN_ImageCount();
    if (n == 0)
        return;
    TBitmap page;
    for (int i = 0; i < n; ++i) {
        HDIB dib = TWAIN_GetImage(i);
        if (i == 0)
            DibToImage(dib, page);
        TWAIN_FreeNative(dib);
    }
    const QString file = AppFilePath(QStringLiteral("ZK_Scanner.bmp"));
    TSafeFile out(file);
    const QByteArray bytes = WriteBmp(page);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        message(Text(QStringLiteral("showmsg_scanner_file_failed"),
                     QStringLiteral("Die Scanner-Datei konnte nicht geschrieben werden:")) +
                QLatin1Char(' ') + file);
        SetSourcePicture(std::move(page));
        return;
    }
    // Loaded back from the file it wrote, as a picture without a name.
    QFile in(file);
    TBitmap loaded;
    QString why;
    bool read = OpenRegularFile(in, file, &why);
    if (read) {
        const QByteArray data = in.readAll();
        try {
            ReadBmp(reinterpret_cast<const uchar *>(data.constData()), std::size_t(data.size()), loaded);
        } catch (const std::exception &) {
            read = false;
        }
    }
    if (!read || loaded.Empty())
        loaded.Assign(page);
    SetSourcePicture(std::move(loaded));
}

void TMainForm::DoScanPropMenuItemClick()
{
    // The desktop's scanner programs, in this order.
    for (const char *program : {"simple-scan", "xsane", "skanlite"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (path.isEmpty())
            continue;
        const bool started = SourcePrompts.StartDetached ? SourcePrompts.StartDetached(path, {})
                                                         : QProcess::startDetached(path, {});
        if (started)
            return;
    }
    const QString text = Text(QStringLiteral("showmsg_no_scan_settings"),
                              QStringLiteral("Kein Programm für die Scanner-Einstellungen gefunden "
                                             "(simple-scan, xsane oder skanlite)."));
    if (SourcePrompts.Message)
        SourcePrompts.Message(text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

// ---------------------------------------------------------------------------
// File compare

void TMainForm::ScanOpenPictureDialogShow(QFileDialog *dialog)
{
    dialog->setLabelText(QFileDialog::Accept, Text(QStringLiteral("opendlg_btn_caption"), QStringLiteral("&Auswählen")));
}

void TMainForm::ScanFileMenuItemClick()
{
    if (FCaptureBusy)
        return;
    FreeCutRect();
    const auto choose = [this](const QString &title) -> QString {
        if (SourcePrompts.ChooseFile)
            return SourcePrompts.ChooseFile(title);
        QFileDialog dlg(this, title);
        dlg.setObjectName(QStringLiteral("ScanOpenDialog"));
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        dlg.setFileMode(QFileDialog::ExistingFile);
        dlg.setNameFilter(Text(QStringLiteral("opendlg_allfiles_filter"), QStringLiteral("Alle Dateien (*.*)")) +
                          QStringLiteral(" (*)"));
        ScanOpenPictureDialogShow(&dlg);
        TOpenDialogScope scope(title);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return {};
        return dlg.selectedFiles().first();
    };
    const QString first = choose(Text(QStringLiteral("opendlg_1_title"), QStringLiteral("Erste Datei zum Vergleich wählen")));
    if (first.isEmpty())
        return;
    // A short pause between the two dialogs, the program answering.
    if (SourcePrompts.Wait)
        SourcePrompts.Wait(500);
    else {
        QEventLoop pause;
        QTimer::singleShot(500, &pause, &QEventLoop::quit);
        pause.exec();
    }
    const QString second = choose(Text(QStringLiteral("opendlg_2_title"), QStringLiteral("Zweite Datei zum Vergleich wählen")));
    if (second.isEmpty())
        return;
    const bool same = FilesEqual(first, second);
    const QString text = same ? Text(QStringLiteral("showmsg_file_ident"), QStringLiteral("Die beiden Dateien sind identisch."))
                              : Text(QStringLiteral("showmsg_file_not_ident"),
                                     QStringLiteral("Die beiden Dateien sind nicht identisch."));
    if (SourcePrompts.Message)
        SourcePrompts.Message(text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

// ---------------------------------------------------------------------------
// Text search

void TMainForm::ScanTxtMenuItemClick()
{
    if (FCaptureBusy)
        return;
    FreeCutRect();
    if (!FindOptBMForm) {
        auto *form = new TFindOptBMForm(this, Options);
        form->ShowOutput = [this]() -> TFileOutputBDForm * {
            FTextScanActive = true;
            FileOutputShown = true;
            if (QAction *item = Item("FileOutputMenuItem"))
                item->setChecked(true);
            ToggleFileOutput();
            return qobject_cast<TFileOutputBDForm *>(FileOutputBDForm.data());
        };
        form->OnSearchEnd = [this] { EndTextScan(); };
        FindOptBMForm = form;
    }
    FindOptBMForm->SetLanguage(ZKMultiLanguage->Script(), UsableIndex(Options, "Language"));
    if (FormLookHook)
        FormLookHook(FindOptBMForm, Options.XPContrStyle);
    TOpenDialogScope scope(QStringLiteral("TFindOptBMForm"));
    FindOptBMForm->exec();
}

void TMainForm::EndTextScan()
{
    if (FindOptBMForm)
        FindOptBMForm->EndSearch();
    else
        QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------
// The companion program

void TMainForm::QuorvMenuItemClick()
{
    if (FCaptureBusy)
        return;
    FreeCutRect();
    const QString ini = ProgramDir() + QStringLiteral("ZK5.ini");
    QString path = QStringLiteral("ERROR");
    if (QFileInfo::exists(ini))
        path = TIniFile(ini).ReadString(QStringLiteral("ZK_Quorvex"), QStringLiteral("AppPath"), path);
    // "ERROR" is the unset path; a path that names nothing starts nothing.
    if (path == QLatin1String("ERROR") || !QFileInfo(path).isFile())
        return;
    if (SourcePrompts.StartDetached)
        SourcePrompts.StartDetached(path, {});
    else
        QProcess::startDetached(path, {});
}

bool TMainForm::WMCopyData(const QByteArray &payload)
{
    if (payload.size() < 4)
        return false;
    const std::uint32_t dwData = qFromLittleEndian<quint32>(payload.constData());
    if (dwData != 1)
        return false;
    const QByteArray block = payload.mid(4);
    TBitmap picture;
    try {
        ReadBmp(reinterpret_cast<const uchar *>(block.constData()), std::size_t(block.size()), picture);
    } catch (const std::exception &e) {
        // A damaged block changes nothing.
        const QString german = QStringLiteral("Das empfangene Bild ist beschädigt und wurde nicht übernommen:");
        const QString detail = QLatin1Char(' ') + QString::fromLocal8Bit(e.what());
        if (SourcePrompts.Message)
            SourcePrompts.Message(Text(QStringLiteral("showmsg_copydata_bad"), german) + detail);
        else
            ShowCaptureMessage(QStringLiteral("showmsg_copydata_bad"), german, detail);
        return false;
    }
    if (picture.Empty())
        return false;
    SetSourcePicture(std::move(picture));
    return true;
}

// ---------------------------------------------------------------------------
// The tray icon

bool TMainForm::TrayReportsDoubleClicks()
{
    // Qt talks StatusNotifierItem whenever a watcher is registered on the
    // session bus; only the XEmbed tray reports double clicks.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return true;
    return !bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
}

void TMainForm::ZKsvcTrayIconMouseDown(Qt::MouseButton button)
{
    if (button != Qt::RightButton)
        return;
    // While a dialog is open the menu would act behind it: no menu then.
    ZKsvcTrayIcon->SetPopupMenu(OpenDialogName.isEmpty() ? TrayBarPopupMenu : nullptr);
}

void TMainForm::ZKsvcTrayIconMouseUp(Qt::MouseButton button)
{
    if (button != Qt::RightButton || OpenDialogName.isEmpty())
        return;
    // A name beginning with "T" is the class of one of our windows, any
    // other a caption.
    const bool byClass = OpenDialogName.startsWith(QLatin1Char('T'));
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;
        const QString cls = QString::fromLatin1(w->metaObject()->className()).section(QStringLiteral("::"), -1);
        const bool match = byClass ? cls == OpenDialogName : w->windowTitle() == OpenDialogName;
        if (match) {
            w->raise();
            w->activateWindow();
            return;
        }
    }
}

void TMainForm::ZKsvcTrayIconDblClick()
{
    if (!Options.FileExp)
        return;
    QWidget *dir = DirBDForm.data();
    QWidget *nav = NavBDForm.data();
    const bool dirFloats = dir && dir->isWindow();
    const bool navFloats = nav && nav->isWindow();
    if (!dirFloats && !navFloats)
        return;
    const bool mainShown = isVisible() && !isMinimized();
    if (dir) {
        if (dir->isHidden())
            dir->show();
        else if (mainShown)
            dir->hide();
        else
            dir->show();
    }
    if (nav) {
        if (nav->isVisible() && mainShown)
            nav->hide();
        else
            nav->show();
    }
}

void TMainForm::AnimateToTray()
{
    static bool told = false;
    const auto fail = [this](const char *key, const QString &german) {
        // Told once a run: a tray without a place would say it on every minimise.
        if (told)
            return;
        told = true;
        const QString text = Text(QString::fromLatin1(key), german);
        if (SourcePrompts.Message)
            SourcePrompts.Message(text);
        else
            QMessageBox::critical(this, windowTitle(), text);
    };
    const QRect to = ZKsvcTrayIcon->SystemTrayIcon()->geometry();
    if (!to.isValid() || to.isEmpty()) {
        fail("showmsg_tray_no_handle", QStringLiteral("Das Handle für die System-Tray konnte nicht besorgt werden"));
        return;
    }
    if (!QGuiApplication::primaryScreen()) {
        fail("showmsg_tray_anim_failed", QStringLiteral("Die API-Funktion \"DrawAnimatedRects()\" schlug fehl!"));
        return;
    }
    const QRect from = frameGeometry();
    QWidget frame(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
    frame.setObjectName(QStringLiteral("TrayAnimationFrame"));
    frame.setAttribute(Qt::WA_ShowWithoutActivating);
    frame.setAutoFillBackground(true);
    QPalette pal = frame.palette();
    pal.setColor(QPalette::Window, palette().color(QPalette::Highlight));
    frame.setPalette(pal);
    const auto place = [&frame](const QRect &r) {
        frame.setGeometry(r);
        const int t = std::min({3, r.width() / 2, r.height() / 2});
        frame.setMask(QRegion(0, 0, r.width(), r.height()) -
                      QRegion(t, t, std::max(0, r.width() - 2 * t), std::max(0, r.height() - 2 * t)));
    };
    place(from);
    frame.show();
    QVariantAnimation anim;
    anim.setDuration(250);
    anim.setStartValue(from);
    anim.setEndValue(to);
    connect(&anim, &QVariantAnimation::valueChanged, &frame, [&place](const QVariant &v) { place(v.toRect()); });
    QEventLoop loop;
    connect(&anim, &QVariantAnimation::finished, &loop, &QEventLoop::quit);
    anim.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    frame.hide();
}

} // namespace zk
