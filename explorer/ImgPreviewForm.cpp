#include "ImgPreviewForm.h"

#include "CaptureControl.h"
#include "Globals.h"
#include "GraphicConvert.h"
#include "ImageControl.h"
#include "MultiLanguage.h"
#include "Named.h"
#include "PictureFiles.h"
#include "ShellOpen.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace zk {

namespace {

void setHint(QWidget *w, const QString &hint)
{
    w->setToolTip(hint);
    w->setStatusTip(hint);
}

} // namespace

// ---------------------------------------------------------------------------
// Slide-show settings

TSlideConfigBMForm::TSlideConfigBMForm(QWidget *opener)
    : TBaseModalForm(opener, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("SlideConfigBMForm"));
    setWindowTitle(QStringLiteral("Slideshow konfigurieren"));
    auto *outer = new QVBoxLayout(this);
    // A dialog border: its own size, no maximising; wide enough for the
    // caption beside the title-bar buttons.
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->addSpacerItem(new QSpacerItem(340, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));

    auto *timeRow = new QHBoxLayout;
    SCFSecLabel = Named(new QLabel(QStringLiteral("Blättern alle &n Sekunden:"), this), "SCFSecLabel");
    SlideTimeUpDown = Named(new QSpinBox(this), "SlideTimeUpDown");
    SlideTimeUpDown->setRange(SlideSecondsMin, SlideSecondsMax);
    SlideTimeUpDown->setValue(2);
    SlideTimeEdit = SlideTimeUpDown->findChild<QLineEdit *>();
    // The up-down's own edit takes digits only.
    if (SlideTimeEdit)
        SlideTimeEdit->setObjectName(QStringLiteral("SlideTimeEdit"));
    SCFSecLabel->setBuddy(SlideTimeUpDown);
    timeRow->addWidget(SCFSecLabel);
    timeRow->addWidget(SlideTimeUpDown);
    timeRow->addStretch();
    outer->addLayout(timeRow);

    SCFARepeatCheckBox = Named(new QCheckBox(QStringLiteral("Auto-&Repeat"), this), "SCFARepeatCheckBox");
    setHint(SCFARepeatCheckBox, QStringLiteral("Blätter durch von 0 bis n und von n bis 0"));
    outer->addWidget(SCFARepeatCheckBox);

    SCRRadioGroup = Named(new QGroupBox(QStringLiteral("Laufrichtung"), this), "SCRRadioGroup");
    auto *radios = new QVBoxLayout(SCRRadioGroup);
    SCRForwardRadio = Named(new QRadioButton(QStringLiteral("&Vorwärts"), SCRRadioGroup), "SCRForwardRadio");
    SCRBackwardRadio = Named(new QRadioButton(QStringLiteral("&Rückwärts"), SCRRadioGroup), "SCRBackwardRadio");
    SCRForwardRadio->setChecked(true);
    radios->addWidget(SCRForwardRadio);
    radios->addWidget(SCRBackwardRadio);
    outer->addWidget(SCRRadioGroup);

    SlideActiveCheckBox = Named(new QCheckBox(QStringLiteral("Slideshow &aktiv"), this), "SlideActiveCheckBox");
    outer->addWidget(SlideActiveCheckBox);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    SCFOkButton = Named(new QPushButton(QStringLiteral("&Start"), this), "SCFOkButton");
    SCFOkButton->setDefault(true);
    SCFOkButton->setEnabled(false);
    SCFCancButton = Named(new QPushButton(QStringLiteral("&Abbrechen"), this), "SCFCancButton");
    buttons->addWidget(SCFOkButton);
    buttons->addWidget(SCFCancButton);
    outer->addLayout(buttons);

    connect(SlideActiveCheckBox, &QCheckBox::toggled, SCFOkButton, &QWidget::setEnabled);
    connect(SCFOkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(SCFCancButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TSlideConfigBMForm::SetSettings(const TSlideShowSettings &settings)
{
    SlideTimeUpDown->setValue(settings.Interval / 1000);
    SCFARepeatCheckBox->setChecked(settings.Repeat);
    SlideActiveCheckBox->setChecked(settings.Active);
    (settings.Direction == 1 ? SCRForwardRadio : SCRBackwardRadio)->setChecked(true);
}

void TSlideConfigBMForm::GetSettings(TSlideShowSettings &settings) const
{
    settings.Interval = SlideTimeUpDown->value() * 1000;
    settings.Repeat = SCFARepeatCheckBox->isChecked();
    settings.Active = SlideActiveCheckBox->isChecked();
    settings.Direction = SCRForwardRadio->isChecked() ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The preview

TImgPreviewBMForm::TImgPreviewBMForm(QWidget *opener) : TBaseModalForm(opener)
{
    setObjectName(QStringLiteral("ImgPreviewBMForm"));
    setWindowTitle(QStringLiteral("Vorschau"));
    setSizeGripEnabled(true);
    resize(666, 481);
    ImgPrevMultiLanguage = Named(new TMultiLanguage(this), "ImgPrevMultiLanguage");
    RegisterPictureFileClasses();

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    TopPanel = Named(new QFrame(this), "TopPanel");
    TopPanel->setFrameShape(QFrame::StyledPanel);
    auto *top = new QHBoxLayout(TopPanel);
    top->setContentsMargins(6, 3, 6, 3);
    TopPanelLabel = Named(new QLabel(TopPanel), "TopPanelLabel");
    TopPanelLabel->setTextFormat(Qt::PlainText);
    StretchCheckBox = Named(new QCheckBox(QStringLiteral("&Stretchen"), TopPanel), "StretchCheckBox");
    setHint(StretchCheckBox, QStringLiteral("Bild stretchen"));
    top->addWidget(TopPanelLabel, 1);
    top->addWidget(StretchCheckBox);
    outer->addWidget(TopPanel);

    PreviewScrollBox = Named(new QScrollArea(this), "PreviewScrollBox");
    setHint(PreviewScrollBox,
            QStringLiteral("Verwenden Sie das Kontextmenü der Maus, um eine Slideshow zu konfigurieren"));
    PreviewImage = Named(new TImage, "PreviewImage");
    PreviewImage->SetAutoSize(true);
    setHint(PreviewImage, QStringLiteral("Verwenden Sie das Kontextmenü der Maus, um die Slideshow zu konfigurieren"));
    PreviewScrollBox->setWidget(PreviewImage);
    PreviewScrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    outer->addWidget(PreviewScrollBox, 1);

    PropPanel = Named(new QFrame(this), "PropPanel");
    PropPanel->setFixedHeight(35);
    auto *prop = new QHBoxLayout(PropPanel);
    prop->setContentsMargins(4, 2, 4, 2);
    const auto button = [&](QPushButton *&b, const char *name, const QString &caption, const QString &hint) {
        b = Named(new QPushButton(caption, PropPanel), name);
        // Enter belongs to the go-to box, not to a button.
        b->setAutoDefault(false);
        if (!hint.isEmpty())
            setHint(b, hint);
        b->setVisible(false);
        prop->addWidget(b);
    };
    button(FirstBitBtn, "FirstBitBtn", QStringLiteral("|<<"), QStringLiteral("Erste Grafik anzeigen"));
    button(RetBitBtn, "RetBitBtn", QStringLiteral("<&<<"), QStringLiteral("Vorherige Grafik anzeigen"));
    button(NextBitBtn, "NextBitBtn", QStringLiteral(">&>>"), QStringLiteral("Nächste Grafik anzeigen"));
    button(LastBitBtn, "LastBitBtn", QStringLiteral(">>|"), QStringLiteral("Letzte Grafik anzeigen"));
    for (QPushButton *b : {FirstBitBtn, RetBitBtn, NextBitBtn, LastBitBtn})
        b->setMaximumWidth(48);
    GoToLabel = Named(new QLabel(QStringLiteral("Gehe &zu:"), PropPanel), "GoToLabel");
    GoToLabel->setVisible(false);
    GoToEdit = Named(new QLineEdit(PropPanel), "GoToEdit");
    GoToEdit->setMaximumWidth(50);
    GoToEdit->setVisible(false);
    setHint(GoToEdit, QStringLiteral("Geht zum Bild mit der eingegebenen Nummer (Enter)"));
    MakeEditNumeric(GoToEdit);
    GoToLabel->setBuddy(GoToEdit);
    prop->addWidget(GoToLabel);
    prop->addWidget(GoToEdit);
    WinDimCheckBox = Named(new QCheckBox(QStringLiteral("Fenstergröße &anpassen"), PropPanel), "WinDimCheckBox");
    WinDimCheckBox->setLayoutDirection(Qt::RightToLeft); // the text left of the box
    setHint(WinDimCheckBox, QStringLiteral("Passt das Fenster an die Größe des Bilds an"));
    WinDimCheckBox->setVisible(false);
    prop->addWidget(WinDimCheckBox);
    prop->addStretch();
    button(EditBitBtn, "EditBitBtn", QStringLiteral("&Bearbeiten"), QStringLiteral("Grafik bearbeiten"));
    button(NewChoiceBitBtn, "NewChoiceBitBtn", QStringLiteral("&Verzeichnis..."),
           QStringLiteral("Neues Verzeichnis wählen ohne dieses Fenster zu verlassen"));
    button(SlideShowButton, "SlideShowButton", QStringLiteral("Slideshow..."), QString());
    outer->addWidget(PropPanel);

    SlideShowTimer = Named(new QTimer(this), "SlideShowTimer");
    SlideShowTimer->setInterval(2000);
    PrevPopupMenu = Named(new QMenu(this), "PrevPopupMenu");
    SlideKonfigMenuItem = Named(PrevPopupMenu->addAction(QStringLiteral("Slideshow &konfigurieren...")),
                                "SlideKonfigMenuItem");
    for (QWidget *w : {static_cast<QWidget *>(PreviewScrollBox), static_cast<QWidget *>(PreviewImage)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint &pos) {
            // One picture has no show to configure.
            SlideKonfigMenuItem->setEnabled(m_mode != 3);
            PrevPopupMenu->popup(w->mapToGlobal(pos));
        });
    }

    m_slide = ReadViewerSettings();

    connect(FirstBitBtn, &QPushButton::clicked, this, &TImgPreviewBMForm::FirstBitBtnClick);
    connect(RetBitBtn, &QPushButton::clicked, this, &TImgPreviewBMForm::RetBitBtnClick);
    connect(NextBitBtn, &QPushButton::clicked, this, &TImgPreviewBMForm::NextBitBtnClick);
    connect(LastBitBtn, &QPushButton::clicked, this, &TImgPreviewBMForm::LastBitBtnClick);
    connect(GoToEdit, &QLineEdit::returnPressed, this, &TImgPreviewBMForm::GoToEditEnter);
    connect(WinDimCheckBox, &QCheckBox::clicked, this, &TImgPreviewBMForm::WinDimCheckBoxClick);
    connect(StretchCheckBox, &QCheckBox::clicked, this, &TImgPreviewBMForm::StretchCheckBoxClick);
    connect(EditBitBtn, &QPushButton::clicked, this, &TImgPreviewBMForm::EditBitBtnClick);
    connect(NewChoiceBitBtn, &QPushButton::clicked, this, &TImgPreviewBMForm::NewChoiceBitBtnClick);
    connect(SlideShowButton, &QPushButton::clicked, this, &TImgPreviewBMForm::SlideShowButtonClick);
    connect(SlideKonfigMenuItem, &QAction::triggered, this, &TImgPreviewBMForm::SlideShowButtonClick);
    connect(SlideShowTimer, &QTimer::timeout, this, &TImgPreviewBMForm::SlideShowTimerTimer);
}

TImgPreviewBMForm::~TImgPreviewBMForm() = default;

QString TImgPreviewBMForm::text(const char *key, const QString &german) const
{
    return FormText(const_cast<TImgPreviewBMForm *>(this), QString::fromLatin1(key), german);
}

void TImgPreviewBMForm::message(const QString &text)
{
    if (Prompts.Message)
        Prompts.Message(text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

void TImgPreviewBMForm::SetMode(int mode)
{
    m_mode = (mode >= 0 && mode <= 3) ? mode : 3;
    setCaptionForMode();
}

void TImgPreviewBMForm::setCaptionForMode()
{
    switch (m_mode) {
    case 0:
        setWindowTitle(text("Set_ImgPreviewForm_Title_Tag0", QStringLiteral("Vorschau: Ablage-Verzeichnis")));
        break;
    case 1:
        setWindowTitle(text("Set_ImgPreviewForm_Title_Tag1", QStringLiteral("Vorschau: Autosave-Verzeichnis")));
        break;
    case 2:
        setWindowTitle(text("Set_ImgPreviewForm_Title_Tag2", QStringLiteral("Vorschau: ")) +
                       QDir::toNativeSeparators(m_folder));
        break;
    default:
        setWindowTitle(text("caption_prev", QStringLiteral("Vorschau")));
        break;
    }
}

void TImgPreviewBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    m_script = Script;
    m_languageIndex = LanguageIndex;
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
    setCaptionForMode();
    SlideShowButton->setText(SlideShowRunning()
                                 ? text("caption_stop_SlideShowButton", QStringLiteral("Slideshow stoppen"))
                                 : text("caption_start_SlideShowButton", QStringLiteral("Slideshow...")));
    fixSlideButtonWidth();
    TopPanelLabel->setText(TopCaption());
}

bool TImgPreviewBMForm::SlideShowRunning() const
{
    return SlideShowTimer->isActive();
}

QString TImgPreviewBMForm::TopCaption() const
{
    if (m_currentName.isEmpty())
        return {};
    const QString prefix = text("caption_file", QStringLiteral("Datei: "));
    if (m_mode == 3)
        return prefix + m_currentName;
    const int position = m_files.indexOf(m_currentName) + 1;
    return SequenceCaption(prefix, text("caption_file_of", QStringLiteral(" von ")), position, m_files.size(),
                           m_currentName);
}

bool TImgPreviewBMForm::ShowPicture(const QString &path)
{
    const QFileInfo info(path);
    m_currentPath = path;
    m_currentName = info.fileName();
    bool ok = true;
    QString failure;
    try {
        PreviewImage->Picture().LoadFromFile(path);
    } catch (const std::exception &e) {
        // The old picture must not stand under the new name.
        PreviewImage->Picture().Assign(static_cast<const TGraphic *>(nullptr));
        const TFailureMessage m = OpenFailureMessage(e);
        failure = text(m.key, QString::fromUtf8(m.german)).trimmed() + QStringLiteral("\n\n") + FailureDetail(e);
        ok = false;
    }
    PreviewImage->PictureChanged();
    if (!StretchCheckBox->isChecked())
        PreviewImage->adjustSize();
    TopPanelLabel->setText(TopCaption());
    if (!ok)
        message(failure);
    return ok;
}

void TImgPreviewBMForm::showEvent(QShowEvent *e)
{
    TBaseModalForm::showEvent(e);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    if (!FormShow())
        QTimer::singleShot(0, this, &QDialog::reject);
}

bool TImgPreviewBMForm::FormShow()
{
    if (m_mode != 3) {
        QString folder;
        QStringList files;
        if (m_mode == 0) {
            folder = m_sources.OutDir;
            files = ListStemFiles(folder, m_sources.FileName, m_sources.TypeExt);
        } else if (m_mode == 1) {
            folder = m_sources.AutosaveDir;
            files = ListStemFiles(folder, CaptureFileStem(), QStringLiteral(".bmp"));
        } else {
            const QString caption = text("showmsg_choice_dir", QStringLiteral("Verzeichnis mit Grafiken wählen"));
            folder = Prompts.ChooseFolder ? Prompts.ChooseFolder(caption) : [&] {
                QString chosen;
                SelectFolder(caption, chosen, this);
                return chosen;
            }();
            if (folder.isEmpty())
                return false;
            files = ListPictureFolder(folder);
        }
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        m_folder = folder;
        setCaptionForMode();
        if (files.isEmpty()) {
            message(text("showmsg_dir_no_corfiles",
                         QStringLiteral("Das Verzeichnis enthält keine passenden Grafikdateien.")));
            return false;
        }
        m_files = files;
        m_seq.Reset(int(m_files.size()));
        setBrowseVisible(true);
        showCurrent(false);
    } else {
        setCaptionForMode();
        setBrowseVisible(false);
    }
    SlideShowButton->setText(text("caption_start_SlideShowButton", QStringLiteral("Slideshow...")));
    fixSlideButtonWidth();
    FitWindow();
    // Centred on the window it was opened from.
    if (QWidget *over = OwnerWindow(); over && isVisible())
        move(over->frameGeometry().center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    return true;
}

void TImgPreviewBMForm::fixSlideButtonWidth()
{
    // Wide enough for both captions, so the buttons beside it stay put when
    // the show starts or stops.
    const QFontMetrics fm(SlideShowButton->font());
    int widest = 0;
    for (const QString &caption : {text("caption_start_SlideShowButton", QStringLiteral("Slideshow...")),
                                   text("caption_stop_SlideShowButton", QStringLiteral("Slideshow stoppen"))})
        widest = std::max(widest, fm.horizontalAdvance(QString(caption).remove(QLatin1Char('&'))));
    SlideShowButton->setMinimumWidth(widest + 24);
}

void TImgPreviewBMForm::setBrowseVisible(bool on)
{
    // One picture has no row of browse controls at all.
    PropPanel->setVisible(on);
    for (QWidget *w : {static_cast<QWidget *>(FirstBitBtn), static_cast<QWidget *>(RetBitBtn),
                       static_cast<QWidget *>(NextBitBtn), static_cast<QWidget *>(LastBitBtn),
                       static_cast<QWidget *>(WinDimCheckBox), static_cast<QWidget *>(GoToEdit),
                       static_cast<QWidget *>(GoToLabel), static_cast<QWidget *>(SlideShowButton)})
        w->setVisible(on);
    EditBitBtn->setVisible(on && bool(LoadIntoMain));
    NewChoiceBitBtn->setVisible(on && m_mode == 2);
    updateBrowseButtons();
}

void TImgPreviewBMForm::updateBrowseButtons()
{
    FirstBitBtn->setEnabled(m_seq.CanBack());
    RetBitBtn->setEnabled(m_seq.CanBack());
    NextBitBtn->setEnabled(m_seq.CanForward());
    LastBitBtn->setEnabled(m_seq.CanForward());
}

void TImgPreviewBMForm::showCurrent(bool fit)
{
    updateBrowseButtons();
    if (m_seq.Total() == 0)
        return;
    ShowPicture(m_folder + m_files.at(m_seq.Index()));
    if (fit)
        FitWindow();
}

void TImgPreviewBMForm::FitWindow()
{
    if (isMaximized() || !WinDimCheckBox->isChecked())
        return;
    const TPicture &p = PreviewImage->Picture();
    const int bars = (PropPanel->isVisible() ? PropPanel->height() : 0) + TopPanel->sizeHint().height();
    QSize client(p.Width() + 4, p.Height() + bars + 4);
    // Never wider or taller than the screen it stands on.
    if (const QScreen *s = screen()) {
        const QSize avail = s->availableGeometry().size();
        const QSize frame = frameGeometry().size() - geometry().size();
        client = client.boundedTo(avail - frame);
    }
    resize(client.expandedTo(minimumSizeHint()));
}

void TImgPreviewBMForm::NextBitBtnClick()
{
    if (m_seq.Next())
        showCurrent(true);
}

void TImgPreviewBMForm::RetBitBtnClick()
{
    if (m_seq.Previous())
        showCurrent(true);
}

void TImgPreviewBMForm::FirstBitBtnClick()
{
    m_seq.First();
    showCurrent(true);
}

void TImgPreviewBMForm::LastBitBtnClick()
{
    m_seq.Last();
    showCurrent(true);
}

void TImgPreviewBMForm::GoToEditEnter()
{
    if (!m_seq.GoTo(ParseGoToNumber(GoToEdit->text()))) {
        message(text("showmsg_not_correct_value", QStringLiteral("Der eingegebene Wert ist ungültig.")));
        GoToEdit->setFocus();
        return;
    }
    showCurrent(false);
}

void TImgPreviewBMForm::WinDimCheckBoxClick()
{
    FitWindow();
}

void TImgPreviewBMForm::StretchCheckBoxClick()
{
    const bool on = StretchCheckBox->isChecked();
    PreviewImage->SetAutoSize(!on);
    PreviewImage->SetStretch(on);
    PreviewScrollBox->setWidgetResizable(on);
    if (!on)
        PreviewImage->adjustSize();
}

void TImgPreviewBMForm::EditBitBtnClick()
{
    if (!LoadIntoMain || m_currentPath.isEmpty())
        return;
    const QString question =
        text("msgdlg_would_change_to_main",
             QStringLiteral("Die Grafik im Hauptfenster bearbeiten?\n\nJa: laden und die Vorschau schließen\n"
                            "Nein: laden und die Vorschau offen lassen"));
    const int answer = Prompts.AskYesNoCancel
                           ? Prompts.AskYesNoCancel(question)
                           : QMessageBox::question(this, windowTitle(), question,
                                                   QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                                   QMessageBox::Yes);
    if (answer != QMessageBox::Yes && answer != QMessageBox::No)
        return;
    TBitmap bitmap;
    const auto *shown = dynamic_cast<const TBitmap *>(PreviewImage->Picture().Graphic());
    if (QFileInfo(m_currentPath).suffix().compare(QLatin1String("bmp"), Qt::CaseInsensitive) == 0 && shown &&
        !shown->Empty()) {
        bitmap = *shown;
    } else {
        // In memory: no file beside the source is written or deleted.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        try {
            bitmap = ConvertGraphicToBitmap(m_currentPath);
        } catch (const std::exception &e) {
            QApplication::restoreOverrideCursor();
            const TFailureMessage m = OpenFailureMessage(e);
            message(text(m.key, QString::fromUtf8(m.german)).trimmed() + QStringLiteral("\n\n") + FailureDetail(e));
            return;
        }
        QApplication::restoreOverrideCursor();
    }
    LoadIntoMain(m_currentPath, bitmap);
    if (answer == QMessageBox::Yes)
        accept();
}

void TImgPreviewBMForm::NewChoiceBitBtnClick()
{
    const QString caption = text("showmsg_choice_dir", QStringLiteral("Verzeichnis mit Grafiken wählen"));
    QString folder;
    if (Prompts.ChooseFolder)
        folder = Prompts.ChooseFolder(caption);
    else
        SelectFolder(caption, folder, this);
    // Cancelled, or nothing to show there: the sequence in hand stays.
    if (folder.isEmpty())
        return;
    const QStringList files = ListPictureFolder(folder);
    if (files.isEmpty()) {
        message(text("showmsg_dir_no_corfiles", QStringLiteral("Das Verzeichnis enthält keine passenden Grafikdateien.")));
        return;
    }
    m_mode = 2;
    m_folder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    m_files = files;
    m_seq.Reset(int(m_files.size()));
    setCaptionForMode();
    setBrowseVisible(true);
    showCurrent(true);
}

void TImgPreviewBMForm::SlideShowButtonClick()
{
    if (SlideShowRunning()) {
        SlideShowTimer->stop();
        m_slide.Active = false;
        SlideShowButton->setText(text("caption_start_SlideShowButton", QStringLiteral("Slideshow...")));
        return;
    }
    OpenDialogName = QStringLiteral("TSlideConfigForm");
    {
        TSlideConfigBMForm dlg(this);
        if (!m_script.isEmpty())
            dlg.SetLanguage(m_script, m_languageIndex);
        dlg.SetSettings(m_slide);
        if (dlg.exec() == QDialog::Accepted)
            dlg.GetSettings(m_slide);
    }
    if (m_slide.Active) {
        SlideShowTimer->setInterval(m_slide.Interval);
        SlideShowTimer->start();
        SlideShowButton->setText(text("caption_stop_SlideShowButton", QStringLiteral("Slideshow stoppen")));
    } else {
        SlideShowButton->setText(text("caption_start_SlideShowButton", QStringLiteral("Slideshow...")));
    }
    OpenDialogName = QStringLiteral("TImgPreviewForm");
}

void TImgPreviewBMForm::SlideShowTimerTimer()
{
    if (m_seq.SlideStep(m_slide))
        showCurrent(true);
    else
        updateBrowseButtons();
}

void TImgPreviewBMForm::saveSettings()
{
    if (m_saved)
        return;
    m_saved = true;
    SlideShowTimer->stop();
    WriteViewerSettings(m_slide);
}

void TImgPreviewBMForm::done(int r)
{
    saveSettings();
    TBaseModalForm::done(r);
}

void TImgPreviewBMForm::closeEvent(QCloseEvent *e)
{
    saveSettings();
    TBaseModalForm::closeEvent(e);
}

void TImgPreviewBMForm::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_F1) {
        ShowHelpPage(this, QStringLiteral("extratools"));
        return;
    }
    TBaseModalForm::keyPressEvent(e);
}

void TImgPreviewBMForm::changeEvent(QEvent *e)
{
    TBaseModalForm::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isMaximized())
        WinDimCheckBox->setChecked(false);
}

} // namespace zk
