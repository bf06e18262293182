#include "ImgGalForm.h"

#include "CaptureControl.h"
#include "DirBDForm.h"
#include "Globals.h"
#include "HistList.h"
#include "ImgPreviewForm.h"
#include "MultiLanguage.h"
#include "Named.h"
#include "PictureFiles.h"
#include "Progress.h"
#include "ShellOpen.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

namespace zk {

namespace {

void setHint(QWidget *w, const QString &hint)
{
    w->setToolTip(hint);
    w->setStatusTip(hint);
}

QList<TDialogFilter> galleryFilters()
{
    return {
        {QStringLiteral("JPEG-Grafikdateien"), {QStringLiteral("*.jpg")}, "imggal_filter_jpeg"},
        {QStringLiteral("Windows-Bitmap"), {QStringLiteral("*.bmp")}, "imggal_filter_bmp"},
        {QStringLiteral("Alle unterstützten Formate"), {QStringLiteral("*.jpg"), QStringLiteral("*.bmp")},
         "imggal_filter_all"},
    };
}

} // namespace

TImgGalBMForm::TImgGalBMForm(QWidget *opener)
    : TBaseModalForm(opener, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("ImgGalBMForm"));
    setWindowTitle(QStringLiteral("Bild-Galerie im HTML-Stiel erstellen"));
    ImgGalMultiLanguage = Named(new TMultiLanguage(this), "ImgGalMultiLanguage");

    auto *outer = new QVBoxLayout(this);
    outer->setSpacing(12);
    // A dialog border: its own size, no maximising.
    outer->setSizeConstraint(QLayout::SetFixedSize);
    auto *upper = new QHBoxLayout;

    ImgGalFilesGroupBox = Named(new QGroupBox(QStringLiteral("Dateien"), this), "ImgGalFilesGroupBox");
    ImgGalFilesGroupBox->setAutoFillBackground(true); // covers the shadow drawn behind it
    auto *filesBox = new QVBoxLayout(ImgGalFilesGroupBox);
    FilesListBox = Named(new QListWidget(ImgGalFilesGroupBox), "FilesListBox");
    setHint(FilesListBox, QStringLiteral("Enthält die zu Thumbnails konvertierenden Dateien (BMP, WMF, JPG)"));
    FilesListBox->setMinimumSize(320, 160);
    filesBox->addWidget(FilesListBox);
    upper->addWidget(ImgGalFilesGroupBox, 1);

    auto *buttons = new QVBoxLayout;
    const auto button = [&](QPushButton *&b, const char *name, const QString &caption, const QString &hint) {
        b = Named(new QPushButton(caption, this), name);
        if (!hint.isEmpty())
            setHint(b, hint);
        buttons->addWidget(b);
    };
    button(ImgGalOpenBitBtn, "ImgGalOpenBitBtn", QStringLiteral("&Auswählen..."),
           QStringLiteral("JPG-Dateien auswählen, welche die Galerie bilden"));
    ImgGalOpenBitBtn->setDefault(true);
    button(ImgGalPreviewButton, "ImgGalPreviewButton", QStringLiteral("&Vorschau"),
           QStringLiteral("Vorschau der ausgewählten Dateien"));
    button(ClearListButton, "ClearListButton", QStringLiteral("Liste &leeren"), QStringLiteral("Dateien-Liste leeren"));
    buttons->addSpacing(12);
    button(GenHTMLButton, "GenHTMLButton", QStringLiteral("&HTML-Site generieren"),
           QStringLiteral("Generiert eine Bildergalerie eingebettet in HTML"));
    button(ErgHTMLButton, "ErgHTMLButton", QStringLiteral("&Ergebnis"),
           QStringLiteral("Zeigt das Ergebnis in Form einer HTML-Seite im Browser an"));
    buttons->addStretch();
    button(CancelCloseButton, "CancelCloseButton", QStringLiteral("&Schließen"), QString());
    upper->addLayout(buttons);
    outer->addLayout(upper, 1);

    SettingsGroupBox = Named(new QGroupBox(QStringLiteral("Einstellungen"), this), "SettingsGroupBox");
    SettingsGroupBox->setAutoFillBackground(true);
    auto *grid = new QGridLayout(SettingsGroupBox);
    const auto label = [&](QLabel *&l, const char *name, const QString &caption) {
        l = Named(new QLabel(caption, SettingsGroupBox), name);
    };
    label(TitLabel, "TitLabel", QStringLiteral("&Titel:"));
    TitleEdit = Named(new QLineEdit(SettingsGroupBox), "TitleEdit");
    setHint(TitleEdit, QStringLiteral("Titel der Seite (Titelleiste des Fensters)"));
    TitLabel->setBuddy(TitleEdit);
    grid->addWidget(TitLabel, 0, 0);
    grid->addWidget(TitleEdit, 0, 1, 1, 4);

    label(SavePathLabel, "SavePathLabel", QStringLiteral("Speicher&ort Grafiken:"));
    SaveHistoryCombo = Named(new THistoryCombo(SettingsGroupBox), "SaveHistoryCombo");
    SaveHistoryCombo->setEditable(true);
    SaveHistoryCombo->SetRegistryPath(QStringLiteral("Software\\Tarvendo\\Zelkora\\5.0"));
    SaveHistoryCombo->SetIniSection(QStringLiteral("HtmOutput"));
    setHint(SaveHistoryCombo, QStringLiteral("Ablageort der zu generierenden HTML-Datei"));
    SavePathLabel->setBuddy(SaveHistoryCombo);
    GalPathBitBtn = Named(new QPushButton(QStringLiteral("..."), SettingsGroupBox), "GalPathBitBtn");
    GalPathBitBtn->setAutoDefault(false);
    grid->addWidget(SavePathLabel, 1, 0);
    grid->addWidget(SaveHistoryCombo, 1, 1, 1, 3);
    grid->addWidget(GalPathBitBtn, 1, 4);

    const auto upDown = [&](QSpinBox *&box, const char *name, const char *editName, int lo, int hi, int value,
                            const QString &hint) {
        box = Named(new QSpinBox(SettingsGroupBox), name);
        box->setRange(lo, hi);
        box->setValue(value);
        // The up-down's own edit takes digits only.
        if (auto *edit = box->findChild<QLineEdit *>())
            edit->setObjectName(QString::fromLatin1(editName));
        if (!hint.isEmpty())
            setHint(box, hint);
    };
    label(BorderLabel, "BorderLabel", QStringLiteral("Bor&der:"));
    upDown(BorderUpDown, "BorderUpDown", "BorderEdit", 0, 20, 0, QStringLiteral("Tabellenrand (0 = unsichtbar)"));
    label(RowsLabel, "RowsLabel", QStringLiteral("S&palten:"));
    upDown(ColUpDown, "ColUpDown", "ColEdit", 1, 100, 1,
           QStringLiteral("Die Anzahl der Bilder die in der Tabelle nebeneinander stehen"));
    label(ImgWidtLabel, "ImgWidtLabel", QStringLiteral("Bildbreite:"));
    upDown(PWidthUpDown, "PWidthUpDown", "PWidthEdit", 0, 500, 100, QString());
    label(ImgHeightLabel, "ImgHeightLabel", QStringLiteral("Bildhöhe:"));
    upDown(PHeightUpDown, "PHeightUpDown", "PHeightEdit", 0, 500, 100, QString());
    label(SpacingLabel, "SpacingLabel", QStringLiteral("Spacing:"));
    upDown(CellPaddingUpDown, "CellPaddingUpDown", "CellpaddingEdit", 0, 60, 0, QString());
    BorderLabel->setBuddy(BorderUpDown);
    RowsLabel->setBuddy(ColUpDown);
    ImgWidtLabel->setBuddy(PWidthUpDown);
    ImgHeightLabel->setBuddy(PHeightUpDown);
    SpacingLabel->setBuddy(CellPaddingUpDown);
    grid->addWidget(BorderLabel, 2, 0);
    grid->addWidget(BorderUpDown, 2, 1);
    grid->addWidget(RowsLabel, 2, 2);
    grid->addWidget(ColUpDown, 2, 3);
    grid->addWidget(ImgWidtLabel, 3, 0);
    grid->addWidget(PWidthUpDown, 3, 1);
    grid->addWidget(ImgHeightLabel, 3, 2);
    grid->addWidget(PHeightUpDown, 3, 3);
    grid->addWidget(SpacingLabel, 4, 0);
    grid->addWidget(CellPaddingUpDown, 4, 1);

    label(FNWELabel, "FNWELabel", QStringLiteral("Dateiname (ohne Endung):"));
    FNameEdit = Named(new QLineEdit(SettingsGroupBox), "FNameEdit");
    FNWELabel->setBuddy(FNameEdit);
    grid->addWidget(FNWELabel, 5, 0);
    grid->addWidget(FNameEdit, 5, 1, 1, 4);
    AbsPathCheckBox = Named(new QCheckBox(QStringLiteral("Absolute Pfadangabe in Indexfile"), SettingsGroupBox),
                            "AbsPathCheckBox");
    setHint(AbsPathCheckBox, QStringLiteral("Speichert den kompletten Pfad im Indexfile"));
    grid->addWidget(AbsPathCheckBox, 6, 0, 1, 5);
    JPGCheckBox = Named(new QCheckBox(QStringLiteral("Ausgabe als JPG"), SettingsGroupBox), "JPGCheckBox");
    setHint(JPGCheckBox, QStringLiteral("Die Thumbnail-Dateien werden alle (BMP, WMF) in JPGs konvertiert, "
                                        "ansonsten wird das Format beibehalten"));
    JPGCheckBox->setVisible(false);
    grid->addWidget(JPGCheckBox, 7, 0, 1, 5);
    outer->addWidget(SettingsGroupBox);

    HtmOpenPictureDialog = Named(new QFileDialog(this), "HtmOpenPictureDialog");
    HtmOpenPictureDialog->setOption(QFileDialog::DontUseNativeDialog);
    HtmOpenPictureDialog->setOption(QFileDialog::ReadOnly);
    HtmOpenPictureDialog->setFileMode(QFileDialog::ExistingFiles);
    HtmOpenPictureDialog->setAcceptMode(QFileDialog::AcceptOpen);

    for (QPushButton *b : {ImgGalPreviewButton, ClearListButton, GenHTMLButton, ErgHTMLButton})
        b->setEnabled(false);
    EnableSettings(false);

    connect(ImgGalOpenBitBtn, &QPushButton::clicked, this, &TImgGalBMForm::ImgGalOpenButtonClick);
    connect(ImgGalPreviewButton, &QPushButton::clicked, this, &TImgGalBMForm::ImgGalPreviewButtonClick);
    connect(FilesListBox, &QListWidget::itemDoubleClicked, this, &TImgGalBMForm::ImgGalPreviewButtonClick);
    connect(ClearListButton, &QPushButton::clicked, this, &TImgGalBMForm::ClearListButtonClick);
    connect(GalPathBitBtn, &QPushButton::clicked, this, &TImgGalBMForm::GalPathButtonClick);
    connect(GenHTMLButton, &QPushButton::clicked, this, &TImgGalBMForm::GenHTMLButtonClick);
    connect(ErgHTMLButton, &QPushButton::clicked, this, &TImgGalBMForm::ErgHTMLButtonClick);
    connect(CancelCloseButton, &QPushButton::clicked, this, &QDialog::reject);
}

TImgGalBMForm::~TImgGalBMForm() = default;

QString TImgGalBMForm::text(const char *key, const QString &german) const
{
    return FormText(const_cast<TImgGalBMForm *>(this), QString::fromLatin1(key), german);
}

void TImgGalBMForm::message(const QString &text)
{
    if (Prompts.Message)
        Prompts.Message(text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

bool TImgGalBMForm::confirm(const QString &text)
{
    if (Prompts.Confirm)
        return Prompts.Confirm(text);
    return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TImgGalBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    m_script = Script;
    m_languageIndex = LanguageIndex;
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
    // Keys of its own: the list buttons of other tools share this name.
    ClearListButton->setText(text("imggal_clear_caption", QStringLiteral("Liste &leeren")));
    setHint(ClearListButton, text("imggal_clear_hint", QStringLiteral("Dateien-Liste leeren")));
}

void TImgGalBMForm::EnableSettings(bool on)
{
    for (QWidget *w : std::initializer_list<QWidget *>{TitleEdit, ColUpDown, BorderUpDown, PWidthUpDown,
                                                        PHeightUpDown, SaveHistoryCombo, GalPathBitBtn, FNameEdit})
        w->setEnabled(on);
}

void TImgGalBMForm::setListButtons(bool on)
{
    GenHTMLButton->setEnabled(on);
    ClearListButton->setEnabled(on);
    ImgGalPreviewButton->setEnabled(on);
    EnableSettings(on);
}

QStringList TImgGalBMForm::Files() const
{
    QStringList out;
    for (int i = 0; i < FilesListBox->count(); ++i)
        out << FilesListBox->item(i)->text();
    return out;
}

TGallerySettings TImgGalBMForm::Settings() const
{
    TGallerySettings s;
    s.Title = TitleEdit->text();
    s.OutDir = SaveHistoryCombo->currentText().trimmed();
    s.Border = BorderUpDown->value();
    s.Columns = ColUpDown->value();
    s.ThumbWidth = PWidthUpDown->value();
    s.ThumbHeight = PHeightUpDown->value();
    s.Spacing = CellPaddingUpDown->value();
    s.PageName = FNameEdit->text();
    s.AbsolutePaths = AbsPathCheckBox->isChecked();
    s.CopyFailedText = text("imggal_copy_failed", QStringLiteral("Die Datei %1 konnte nicht geschrieben werden."));
    return s;
}

void TImgGalBMForm::ImgGalOpenButtonClick()
{
    const QStringList kept = Files();
    QStringList chosen;
    if (Prompts.ChooseFiles) {
        if (!Prompts.ChooseFiles(chosen))
            return;
    } else {
        const QList<TDialogFilter> filters =
            TranslatedFilters(galleryFilters(), [this](const QString &key) { return FormText(this, key, {}); });
        QStringList names;
        for (const TDialogFilter &f : filters)
            names << f.QtFilter();
        HtmOpenPictureDialog->setNameFilters(names);
        HtmOpenPictureDialog->selectNameFilter(names.first());
        HtmOpenPictureDialog->setWindowTitle(text("imggal_opendlg_title", QStringLiteral("Bilder für die Galerie wählen")));
        HtmOpenPictureDialog->setLabelText(QFileDialog::Accept, text("opendlg_choice_btn", QStringLiteral("&Wählen")));
        if (HtmOpenPictureDialog->directory().path() == QDir::currentPath())
            HtmOpenPictureDialog->setDirectory(DialogStartFolder({}));
        TOpenDialogScope scope(HtmOpenPictureDialog->windowTitle());
        if (HtmOpenPictureDialog->exec() != QDialog::Accepted)
            return;
        chosen = HtmOpenPictureDialog->selectedFiles();
    }
    if (chosen.isEmpty())
        return;
    FilesListBox->clear();
    for (const QString &f : chosen + kept)
        FilesListBox->addItem(QDir::toNativeSeparators(f));
    setListButtons(true);
}

void TImgGalBMForm::ClearListButtonClick()
{
    FilesListBox->clear();
    setListButtons(false);
}

void TImgGalBMForm::GalPathButtonClick()
{
    SaveHistoryCombo->setEditText(Prompts.BrowseFolder ? Prompts.BrowseFolder() : BrowseForFolder(0));
}

void TImgGalBMForm::ImgGalPreviewButtonClick()
{
    if (FilesListBox->count() == 0)
        return;
    if (!FilesListBox->currentItem())
        FilesListBox->setCurrentRow(0);
    const QString file = FilesListBox->currentItem()->text();
    if (!QFileInfo(file).isFile()) {
        message(text("showmsg_please_corfile", QStringLiteral("Bitte eine vorhandene Datei angeben.")));
        return;
    }
    auto *preview = new TImgPreviewBMForm(this);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->SetMode(3);
    preview->WinDimCheckBox->setChecked(true);
    if (!m_script.isEmpty())
        preview->SetLanguage(m_script, m_languageIndex);
    preview->ShowPicture(file);
    preview->show();
}

void TImgGalBMForm::GenHTMLButtonClick()
{
    const QString dir = SaveHistoryCombo->currentText().trimmed();
    if (!QFileInfo(dir).isDir()) {
        if (dir.isEmpty()) {
            message(text("showmsg_please_cordir",
                         QStringLiteral("Das Verzeichnis existiert nicht. Bitte ein vorhandenes Verzeichnis angeben.")));
            SaveHistoryCombo->setFocus();
            return;
        }
        if (!confirm(text("err_msg_no_dest_dir_new_create",
                          QStringLiteral("Das Zielverzeichnis existiert nicht. Soll es angelegt werden?"))))
            return;
        if (!QDir().mkpath(dir)) {
            message(text("showmsg_please_cor_save_dir",
                         QStringLiteral("Bitte ein vorhandenes Verzeichnis und einen Dateinamen angeben.")));
            SaveHistoryCombo->setFocus();
            return;
        }
    }
    if (FNameEdit->text().isEmpty())
        FNameEdit->setText(QString::fromLatin1(DefaultPageName));

    const QString templatePath = AppFilePath(QString::fromLatin1(GalleryTemplateName));
    QFile templateFile(templatePath);
    if (!templateFile.open(QIODevice::ReadOnly)) {
        message(text("imggal_no_template", QStringLiteral("Die Vorlage der Galerie-Seite fehlt:")) +
                QLatin1Char('\n') + QDir::toNativeSeparators(templatePath));
        return;
    }
    const QString templateText = QString::fromUtf8(templateFile.readAll());
    templateFile.close();

    const QStringList files = Files();
    const TGallerySettings settings = Settings();
    EnableChildControls(this, false);
    QPointer<TProgressForm> progress = new TProgressForm(this);
    progress->setWindowTitle(text("caption_progressform_progress", QStringLiteral("Fortschritt")));
    progress->SetMax(int(files.size()));
    progress->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString step = text("progress_msg_for_indexfile", QStringLiteral("Galerie: "));
    m_last = GenerateGallery(files, settings, templateText, [&](const QString &name) {
        if (progress) {
            progress->setWindowTitle(step + name);
            progress->SetPosition(1);
        }
    });
    QApplication::restoreOverrideCursor();
    if (progress)
        progress->close();
    EnableChildControls(this, true);
    setListButtons(FilesListBox->count() > 0);
    ErgHTMLButton->setEnabled(QFileInfo::exists(GalleryPagePath(settings)));
    if (!m_last.Error.isEmpty())
        message(m_last.Error);
}

void TImgGalBMForm::ErgHTMLButtonClick()
{
    const QString page = GalleryPagePath(Settings());
    if (!QFileInfo::exists(page)) {
        message(text("showmsg_file_not_here", QStringLiteral("Die Datei ist nicht vorhanden.")));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()));
}

void TImgGalBMForm::paintEvent(QPaintEvent *e)
{
    TBaseModalForm::paintEvent(e);
    QPainter p(this);
    for (QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isVisible() && qstrcmp(child->metaObject()->className(), "QPushButton") != 0 &&
            !qobject_cast<QFileDialog *>(child) && !child->isWindow())
            PaintShadow(p, child, 4, TColor(0x808080));
}

void TImgGalBMForm::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_F1) {
        ShowHelpPage(this, QStringLiteral("extratools"));
        return;
    }
    TBaseModalForm::keyPressEvent(e);
}

} // namespace zk
