#include "RecorderForm.h"

#include "Bitmap.h"
#include "DLLImport.h"
#include "Globals.h"
#include "HotKeys.h"
#include "MainForm.h"
#include "MultiLanguage.h"
#include "PictureFiles.h"
#include "Options.h"
#include "Progress.h"
#include "RecorderLogic.h"
#include "SaveAviEdtForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace zk {

namespace {

// How long a window manager takes to map a window and give it its frame.
constexpr int kSettleMs = 150;
// The window manager's frame before it is known: title bar and borders of
// common themes fit in this.
constexpr QSize kFrameAllowance(12, 36);

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

QSize screenSize()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize(800, 600);
}

} // namespace

TRecorderForm::TRecorderForm(TMainForm *main)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint)
    , m_main(main)
{
    setObjectName(QStringLiteral("RecorderForm"));
    setWindowTitle(QStringLiteral("Aufnahmeregler"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(1);
    AviManPicButton = makeButton(this, "AviManPicButton", QStringLiteral("Einzelaufnahme (Druck/Print-Taste)"));
    AVIEditButton = makeButton(this, "AVIEditButton", QStringLiteral("Aufnahmen bearbeiten"));
    AviStartButton = makeButton(this, "AviStartButton", QStringLiteral("Timer-St&art"));
    AviStopButton = makeButton(this, "AviStopButton", QStringLiteral("Timer-St&op"));
    AviEndButton = makeButton(this, "AviEndButton", QStringLiteral("&Beenden"));
    AVIDelButton = makeButton(this, "AVIDelButton", QStringLiteral("AVI-Verzeichnis löschen"));
    CompAviButton = makeButton(this, "CompAviButton", QStringLiteral("AVI erzeugen..."));
    ChangeAviBitBtn = makeButton(this, "ChangeAviBitBtn", QStringLiteral("AVI-Verzeichnis ändern"));
    for (QPushButton *b : {AviManPicButton, AVIEditButton, AviStartButton, AviStopButton, AviEndButton, AVIDelButton,
                           CompAviButton, ChangeAviBitBtn})
        row->addWidget(b);
    AviStopButton->setEnabled(false);

    AviTimer = new QTimer(this);
    AviTimer->setObjectName(QStringLiteral("AviTimer"));

    connect(AviManPicButton, &QPushButton::clicked, this, [this] { AviManPicButtonClick(AviManPicButton); });
    connect(AviTimer, &QTimer::timeout, this, [this] { AviManPicButtonClick(AviTimer); });
    connect(AviStartButton, &QPushButton::clicked, this, &TRecorderForm::AviStartButtonClick);
    connect(AviStopButton, &QPushButton::clicked, this, &TRecorderForm::AviStopButtonClick);
    connect(AviEndButton, &QPushButton::clicked, this, &TRecorderForm::AviEndButtonClick);
    connect(CompAviButton, &QPushButton::clicked, this, [this] { CompAviButtonClick(); });
    connect(AVIDelButton, &QPushButton::clicked, this, &TRecorderForm::AVIDelButtonClick);
    connect(ChangeAviBitBtn, &QPushButton::clicked, this, &TRecorderForm::ChangeAviDirButtonClick);
    connect(AVIEditButton, &QPushButton::clicked, this, &TRecorderForm::AVIEditButtonClick);

    AskAviFileName = [this](const QString &title) {
        QFileDialog dialog(this, title);
        dialog.setObjectName(QStringLiteral("AviSaveDialog"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("avi"));
        if (m_main) {
            QStringList candidates;
            if (m_main->FHasFileName)
                candidates << QFileInfo(m_main->FFileName).absolutePath();
            candidates << m_main->Options.OutDir;
            dialog.setDirectory(DialogStartFolder(candidates));
        }
        dialog.setNameFilter(text(QStringLiteral("opendlg_filter_avi"), QStringLiteral("Windows-AVI-Dateien")) +
                             QStringLiteral(" (*.avi)"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    AskFolder = [this](const QString &caption, const QString &start) {
        return QFileDialog::getExistingDirectory(this, caption, start);
    };
    ShowMessage = [this](const QString &message) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Zelkora 5.0"), message, QMessageBox::Ok,
                        m_main ? static_cast<QWidget *>(m_main.data()) : this);
        box.exec();
    };

    m_messages = new TModuleMessages(this);
    connect(m_messages, &TModuleMessages::FrameMoved, this, &TRecorderForm::FrameMoved);
    connect(m_messages, &TModuleMessages::PrintKey, this, &TRecorderForm::PrintKey);
    if (m_main && m_main->HotKeys())
        connect(m_main->HotKeys(), &TGlobalHotKeys::hotKey, this, &TRecorderForm::HotKey);

    adjustSize();
    setFixedHeight(AviStartButton->sizeHint().height() + 2 + row->contentsMargins().top() +
                   row->contentsMargins().bottom());
    installPrintHook();
}

TRecorderForm::~TRecorderForm()
{
    // Destroyed without closing (the program ends): the grabs go all the same.
    if (!m_closing) {
        UninstallHook2();
        HideAviFrame();
        if (m_main && m_main->HotKeys())
            m_main->HotKeys()->Unregister(kEscapeHotKey);
    }
}

QString TRecorderForm::text(const QString &key, const QString &fallback) const
{
    return m_main ? m_main->Text(key, fallback) : fallback;
}

void TRecorderForm::SetLanguage(const QStringList &script, int languageIndex)
{
    SetFormLanguage(this, script, languageIndex);
    applyCaptions();
}

void TRecorderForm::applyCaptions()
{
    struct Pair
    {
        QPushButton *button;
        const char *key1, *key2;
        const char *first, *second;
    };
    for (const Pair &p :
         {Pair{AviManPicButton, "caption_AviManPicButton_1", "caption_AviManPicButton_2", "Einzelaufnahme",
               "(Druck/Print-Taste)"},
          Pair{AVIEditButton, "caption_AviVdoEdt_1", "caption_AviVdoEdt_2", "Aufnahmen", "bearbeiten"},
          Pair{AVIDelButton, "caption_AviDir_del_1", "caption_AviDir_del_2", "AVI-Verzeichnis", "löschen"},
          Pair{ChangeAviBitBtn, "caption_AviDir_change_1", "caption_AviDir_change_2", "AVI-Verzeichnis", "ändern"}})
        p.button->setText(text(QLatin1String(p.key1), QString::fromUtf8(p.first)) + QLatin1Char('\n') +
                          text(QLatin1String(p.key2), QString::fromUtf8(p.second)));
    setFixedHeight(std::max(AviManPicButton->sizeHint().height(), AviStartButton->sizeHint().height()) + 4);
    adjustSize();
}

void TRecorderForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!AreaSize.isEmpty()) {
        // Shown again after hiding: the area stays, and so does the window
        // (the window manager would place it anew, perhaps over the area).
        if (m_place)
            keepPlace(*m_place);
        return;
    }
    applyCaptions();
    if (m_main && m_main->Options.MoveGrabber)
        SetRecordArea();
    else
        SetRecordAreaCentered();
    placeOutsideArea();
    if (m_main && m_main->HotKeys() && TGlobalHotKeys::Available() &&
        !m_main->HotKeys()->RegisterKey(kEscapeHotKey, 0xff1b))
        tellKeyTaken(QStringLiteral("showmsg_avi_escape_taken"),
                     QStringLiteral("Die Esc-Taste ist von einem anderen Programm belegt: "
                                    "sie kann den Aufnahmeregler nicht aus- und einblenden."));
    // Once the frame has said where it stands, so the notice keeps out of it.
    if (m_printKeyTaken)
        QTimer::singleShot(2 * kSettleMs, this, [this] { tellPrintKeyTaken(); });
}

// Told without stopping the recording, in a box that does not wait.
void TRecorderForm::tellKeyTaken(const QString &key, const QString &fallback)
{
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("Zelkora 5.0"), text(key, fallback),
                                QMessageBox::Ok, this);
    box->setObjectName(key);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    // Beside the recorder, out of the area: the window manager would centre
    // it over the recorder, in the frames being taken.
    if (const QScreen *s = screen()) {
        const QPoint place = RecorderPlace(areaRect().united(frameGeometry()), box->sizeHint() + kFrameAllowance,
                                           s->availableGeometry());
        box->move(place);
        // As for the recorder: once mapped, where it was asked to stand.
        QTimer::singleShot(kSettleMs, box, [box, place] {
            if (box->pos() != place)
                box->move(place);
        });
    }
    box->show();
}

void TRecorderForm::installPrintHook()
{
    // The tools module grabs the Print key for the recorder; a desktop that
    // holds the key itself refuses the grab.
    m_printKeyTaken = !InstallHook2(m_messages->Window()) && ToolsModuleLoaded();
    if (m_printKeyTaken && isVisible())
        tellPrintKeyTaken();
}

void TRecorderForm::tellPrintKeyTaken()
{
    // Once in a session: the key stays taken while the desktop runs.
    static bool told = false;
    if (told)
        return;
    told = true;
    tellKeyTaken(QStringLiteral("showmsg_avi_print_taken"),
                 QStringLiteral("Die Druck-Taste ist von einem anderen Programm belegt: sie nimmt keine "
                                "Einzelbilder auf. Der Knopf und der Timer nehmen weiter auf."));
}

QRect TRecorderForm::areaRect() const
{
    if (!m_main)
        return {};
    const TZelkoraOptions &o = m_main->Options;
    const TFrameGrab grab = FrameGrabRect(AreaOrigin, AreaSize, o.AviFrameInit, o.MoveGrabber, screenSize());
    // The grab leaves the module's 3-pixel frame out; windows keep off the
    // frame too.
    return grab.rect.adjusted(-3, -3, 3, 3);
}

void TRecorderForm::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous())
        m_place = pos();
    QWidget::hideEvent(event);
}

void TRecorderForm::placeOutsideArea()
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s || !m_main)
        return;
    // Before the first mapping the window manager's frame is not known yet.
    QSize outer = frameGeometry().size();
    if (outer == size())
        outer += kFrameAllowance;
    const QPoint place = RecorderPlace(areaRect(), outer, s->availableGeometry());
    keepPlace(place);
    // Once mapped, with the frame's real size, once more.
    if (outer != frameGeometry().size() || !isVisible())
        QTimer::singleShot(kSettleMs, this, [this] {
            if (isVisible() && frameGeometry().size() != size())
                placeOutsideArea();
        });
}

void TRecorderForm::keepPlace(QPoint place)
{
    m_place = place;
    move(place);
    // A window manager that maps the window may put its frame elsewhere
    // than asked while the frame's size is not known to us yet; asked again
    // once it is mapped, it follows.
    QTimer::singleShot(kSettleMs, this, [this, place] {
        if (isVisible() && m_place == place && pos() != place)
            move(place);
    });
}

void TRecorderForm::SetRecordArea()
{
    AreaSize = RecordAreaSize(m_main ? m_main->Options.VdoPixVal : 0);
}

void TRecorderForm::SetRecordAreaCentered()
{
    SetRecordArea();
    const QSize screen = screenSize();
    AreaOrigin = QPoint(CenterOffset(screen.width(), AreaSize.width()), CenterOffset(screen.height(), AreaSize.height()));
}

int TRecorderForm::CountFrameFiles() const
{
    return m_main ? int(FrameNumbers(m_main->Options.TmpAviPath).size()) : 0;
}

bool TRecorderForm::CollectFrameFiles()
{
    if (!m_main || !m_main->Options.AVICopyDir)
        return true;
    QString error;
    if (zk::CollectFrameFiles(m_main->Options.TmpAviPath, m_main->Options.AviCopyPath, &error))
        return true;
    ShowMessage(text(QStringLiteral("showmsg_avi_frames_not_copied"),
                         QStringLiteral("Die Einzelbilder konnten nicht kopiert werden:")) +
                    QLatin1Char('\n') + error);
    return false;
}

void TRecorderForm::DeleteFrameFiles()
{
    if (m_main && m_main->Options.TmpAviDel)
        zk::DeleteFrameFiles(m_main->Options.TmpAviPath);
}

void TRecorderForm::FrameMoved(QPoint areaTopLeft)
{
    AreaOrigin = areaTopLeft;
    // The frame's place is known only now for an area without a centring
    // entry; the window gives way when it stands in it.
    if (isVisible() && frameGeometry().intersects(areaRect()))
        placeOutsideArea();
}

void TRecorderForm::PrintKey(bool pressed)
{
    if (pressed)
        AviManPicButtonClick(AviManPicButton);
}

void TRecorderForm::HotKey(int id)
{
    if (id != kEscapeHotKey)
        return;
    setVisible(!isVisible());
}

void TRecorderForm::keyPressEvent(QKeyEvent *event)
{
    // Without the tools module the key reaches the window itself.
    if (event->key() == Qt::Key_Print && !event->isAutoRepeat()) {
        AviManPicButtonClick(AviManPicButton);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TRecorderForm::AviManPicButtonClick(QObject *sender)
{
    if (!m_main)
        return;
    const TZelkoraOptions &o = m_main->Options;
    const bool fromTimer = sender == AviTimer;
    if (!FrameFolderExists(o.TmpAviPath)) {
        hide();
        if (fromTimer)
            AviTimer->stop();
        ShowMessage(text(QStringLiteral("showmsg_no_avitmppath"), QStringLiteral("Das AVI-Verzeichnis existiert nicht!")));
        close();
        return;
    }
    const TFrameGrab grab = FrameGrabRect(AreaOrigin, AreaSize, o.AviFrameInit, o.MoveGrabber, screenSize());
    TBitmap frame;
    if (grab.wholeScreen)
        GrabDesktop(frame);
    else
        GrabScreenRect(grab.rect.x(), grab.rect.y(), grab.rect.width(), &frame, grab.rect.height());
    if (!fromTimer || !o.NoAviTimerSound) {
        if (o.ScanSound)
            PlaySoundFile(CaptureSoundFile);
        else
            QApplication::beep();
    }
    try {
        SaveNextFrame(frame, o.TmpAviPath, o);
    } catch (const std::exception &e) {
        AviTimer->stop();
        AviStopButtonClick();
        ShowMessage(text(QStringLiteral("showmsg_avi_frame_not_saved"),
                         QStringLiteral("Das Einzelbild konnte nicht gespeichert werden:")) +
                    QLatin1Char('\n') + QString::fromUtf8(e.what()));
    }
}

void TRecorderForm::setControlsEnabled(bool on)
{
    for (QPushButton *b : {AviManPicButton, AVIEditButton, AviStartButton, AviEndButton, AVIDelButton, CompAviButton,
                           ChangeAviBitBtn})
        b->setEnabled(on);
    AviStopButton->setEnabled(!on && AviTimer->isActive());
}

void TRecorderForm::AviStartButtonClick()
{
    if (!m_main)
        return;
    const int interval = m_main->Options.AviTimerIntrv > 0 ? m_main->Options.AviTimerIntrv : 1000;
    AviTimer->setInterval(interval);
    AviTimer->start();
    setControlsEnabled(false);
}

void TRecorderForm::AviStopButtonClick()
{
    AviTimer->stop();
    setControlsEnabled(true);
}

void TRecorderForm::AviEndButtonClick()
{
    AviTimer->stop();
    close();
}

void TRecorderForm::ShowFrame()
{
    if (!m_main)
        return;
    ShowAviFrame(m_messages->Window(), m_main->AreaWidth, m_main->Options.AviFrameInit, m_main->Options.MoveGrabber, 1);
}

bool TRecorderForm::CompAviButtonClick()
{
    if (!m_main)
        return false;
    TZelkoraOptions &o = m_main->Options;
    if (!FrameFolderExists(o.TmpAviPath) || FrameNumbers(o.TmpAviPath).empty()) {
        hide();
        ShowMessage(text(QStringLiteral("showmsg_no_avibitmap_exists"),
                         QStringLiteral("Es sind keine Einzelbilder für ein AVI vorhanden!")));
        show();
        return false;
    }
    AviTimer->stop();
    UninstallHook2();
    HideAviFrame();
    setControlsEnabled(false);
    hide();
    const auto backToRecording = [this] {
        ShowFrame();
        show();
        installPrintHook();
        setControlsEnabled(true);
    };
    const QString fileName = AskAviFileName(text(QStringLiteral("savedlg_avisave"), QStringLiteral("AVI-Datei speichern unter")));
    if (fileName.isEmpty()) {
        backToRecording();
        return false;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FrameCount = CountFrameFiles();
    m_main->RecorderBackToMain();

    // One window for reading the frames (and opening the file), one for
    // writing them; the build streams, so both move frame by frame.
    QPointer<TProgressForm> reading = new TProgressForm(m_main);
    reading->setWindowTitle(text(QStringLiteral("caption_progform_get_avidata"), QStringLiteral("AVI-Daten werden gelesen...")));
    reading->SetMax(FrameCount + 5);
    reading->show();
    QPointer<TProgressForm> writing;
    TAviBuildSteps steps;
    steps.step = [&reading, &writing](int done, int) {
        if (reading)
            reading->SetPosition(1);
        if (writing && done > 0)
            writing->SetPosition(1);
        QCoreApplication::processEvents();
        return true;
    };
    steps.opened = [this, &reading, &writing] {
        if (reading)
            reading->SetPosition(5);
        writing = new TProgressForm(m_main);
        writing->setWindowTitle(text(QStringLiteral("caption_progform_avi_compiled"), QStringLiteral("AVI wird erzeugt...")));
        writing->SetMax(FrameCount);
        writing->show();
    };
    const TAviBuildResult result = BuildAviFromFrames(o.TmpAviPath, fileName, o.AviFramePerSec, steps);
    for (TProgressForm *p : {reading.data(), writing.data()})
        if (p)
            p->close();
    QApplication::restoreOverrideCursor();

    if (result.outcome != TAviBuildResult::Written) {
        // Nothing was written, the frames stay: back to recording.
        const QString message =
            result.outcome == TAviBuildResult::TooLarge
                ? text(QStringLiteral("showmsg_avi_too_large"),
                       QStringLiteral("Das AVI wäre größer als 1 GB und wird nicht erzeugt. Die Einzelbilder bleiben erhalten."))
                : text(QStringLiteral("showmsg_avi_not_written"), QStringLiteral("Das AVI konnte nicht erzeugt werden:"));
        ShowMessage(message + QLatin1Char('\n') + result.error);
        m_main->RecorderResumed();
        backToRecording();
        return false;
    }
    m_main->EnableRecorderMenus(true);
    // Frames whose copy failed are the only ones left: they stay.
    if (CollectFrameFiles())
        DeleteFrameFiles();
    if (m_main->RecorderHooks.RefreshAviEntries)
        m_main->RecorderHooks.RefreshAviEntries();
    QApplication::beep();
    AviFileName = fileName;
    m_main->OfferAviView(AviFileName);
    close();
    return true;
}

void TRecorderForm::AVIDelButtonClick()
{
    if (!m_main)
        return;
    zk::DeleteFrameFiles(m_main->Options.TmpAviPath);
    if (m_main->RecorderHooks.RefreshAviEntries)
        m_main->RecorderHooks.RefreshAviEntries();
    setControlsEnabled(true);
}

void TRecorderForm::ChangeAviDirButtonClick()
{
    if (!m_main)
        return;
    const QString folder =
        AskFolder(text(QStringLiteral("select_new_avi_path"), QStringLiteral("Neues AVI-Verzeichnis wählen")),
                  m_main->Options.TmpAviPath);
    if (FrameFolderExists(folder))
        m_main->Options.TmpAviPath = QDir::cleanPath(folder);
}

void TRecorderForm::AVIEditButtonClick()
{
    if (!m_main)
        return;
    if (!m_main->Options.FileExp) {
        ShowMessage(text(QStringLiteral("showmsg_no_fileexp"),
                         QStringLiteral("Der Datei-Explorer ist ausgeschaltet (Einstellungen).")));
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    hide();
    if (m_main->RecorderHooks.SelectAviEditEntry)
        m_main->RecorderHooks.SelectAviEditEntry();
    m_main->RecorderBackToMain();
    m_main->EnableRecorderMenus(true);
    m_main->OpenSaveAviEdtForm();
    QApplication::restoreOverrideCursor();
    close();
}

void TRecorderForm::closeEvent(QCloseEvent *event)
{
    if (!m_closing) {
        m_closing = true;
        AviTimer->stop();
        UninstallHook2();
        HideAviFrame();
        if (m_main && m_main->HotKeys())
            m_main->HotKeys()->Unregister(kEscapeHotKey);
        if (m_main)
            m_main->RecorderClosed();
    }
    event->accept();
}

} // namespace zk
