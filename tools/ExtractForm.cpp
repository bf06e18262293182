#include "ExtractForm.h"

#include "CaptureControl.h"
#include "GraphicConvert.h"
#include "Globals.h"
#include "HistList.h"
#include "Icon.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "PictureFiles.h"
#include "Progress.h"
#include "ShellOpen.h"
#include "SmallControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zk {

int IconGridRows(int count) { return count / kIconsPerRow + 1; }
int IconGridColumns(int count) { return std::min(count, kIconsPerRow); }

QString BatchIconFileName(const QString &folder, const QString &name, int index)
{
    return QDir(folder).filePath(name + QString::number(index) + QStringLiteral(".ico"));
}

// --- batch dialog -----------------------------------------------------------

TIcoResBatchBMForm::TIcoResBatchBMForm(QWidget *opener) : TBaseModalForm(opener)
{
    setObjectName(QStringLiteral("IcoResBatchBMForm"));
    setWindowTitle(QStringLiteral("Stapelverarbeitung"));
    IcoResBatchMultiLanguage = new TMultiLanguage(this);
    IcoResBatchMultiLanguage->setObjectName(QStringLiteral("IcoResBatchMultiLanguage"));
    Prompts = DefaultToolPrompts(this);

    auto *outer = new QVBoxLayout(this);
    Label2 = new QLabel(QStringLiteral("Alle Icons werden als Dateiname + laufende Nummer (ab 0) + \".ico\" im "
                                       "Zielverzeichnis gespeichert."),
                        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    outer->addWidget(Label2);
    auto *grid = new QGridLayout;
    NameLabel = new QLabel(QStringLiteral("&Dateiname:"), this);
    NameLabel->setObjectName(QStringLiteral("IRBNameLabel"));
    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    NameLabel->setBuddy(NameEdit);
    PathLabel = new QLabel(QStringLiteral("&Zielverzeichnis:"), this);
    PathLabel->setObjectName(QStringLiteral("IRBPathLabel"));
    PathHistoryCombo = new THistoryCombo(this);
    PathHistoryCombo->setObjectName(QStringLiteral("PathHistoryCombo"));
    PathHistoryCombo->setEditable(true);
    PathHistoryCombo->setMinimumWidth(280);
    PathLabel->setBuddy(PathHistoryCombo);
    ICResOpenBitBtn = new QPushButton(QStringLiteral("..."), this);
    ICResOpenBitBtn->setObjectName(QStringLiteral("ICResOpenBitBtn"));
    grid->addWidget(NameLabel, 0, 0);
    grid->addWidget(NameEdit, 0, 1, 1, 2);
    grid->addWidget(PathLabel, 1, 0);
    grid->addWidget(PathHistoryCombo, 1, 1);
    grid->addWidget(ICResOpenBitBtn, 1, 2);
    outer->addLayout(grid);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    OkButton = new QPushButton(QStringLiteral("&OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("&Abbrechen"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    outer->addLayout(buttons);

    connect(ICResOpenBitBtn, &QPushButton::clicked, this, &TIcoResBatchBMForm::Button3Click);
    connect(OkButton, &QPushButton::clicked, this, &TIcoResBatchBMForm::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TIcoResBatchBMForm::CancelButtonClick);
}

QString TIcoResBatchBMForm::text(const char *key, const QString &german) const
{
    return FormText(const_cast<TIcoResBatchBMForm *>(this), QString::fromLatin1(key), german);
}

void TIcoResBatchBMForm::Button3Click()
{
    const QString folder = Prompts.BrowseFolder ? Prompts.BrowseFolder() : QString();
    if (!folder.isEmpty())
        PathHistoryCombo->setEditText(QDir::toNativeSeparators(folder));
}

bool TIcoResBatchBMForm::ValidateName()
{
    if (!NameEdit->text().trimmed().isEmpty())
        return true;
    Prompts.Message(text("showmsg_icores_no_name", QStringLiteral("Bitte gültigen Dateiname eingeben!")));
    NameEdit->setFocus();
    return false;
}

bool TIcoResBatchBMForm::ValidateFolder()
{
    const QString folder = PathHistoryCombo->currentText().trimmed();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return true;
    if (folder.isEmpty()) {
        Prompts.Message(text("showmsg_icores_no_folder",
                             QStringLiteral("Bitte gültiges Zielverzeichnis eingeben bzw. auswählen!")));
        PathHistoryCombo->setFocus();
        return false;
    }
    if (!Prompts.Confirm(text("showmsg_icores_create_folder",
                              QStringLiteral("Zielverzeichnis nicht vorhanden, neu erstellen?"))))
        return false;
    if (QDir().mkpath(folder))
        return true;
    Prompts.Message(text("showmsg_icores_folder_failed", QStringLiteral("Das Verzeichnis konnte nicht erstellt "
                                                                       "werden:")) +
                    QLatin1Char(' ') + folder);
    PathHistoryCombo->setFocus();
    return false;
}

void TIcoResBatchBMForm::OkButtonClick()
{
    OkPressed = true;
    CancelPressed = false;
    accept();
}

void TIcoResBatchBMForm::CancelButtonClick()
{
    OkPressed = false;
    CancelPressed = true;
    reject();
}

void TIcoResBatchBMForm::done(int r)
{
    // After OK the dialog stays until a name and a usable folder are given.
    if (r == QDialog::Accepted && OkPressed && !(ValidateName() && ValidateFolder())) {
        OkPressed = false;
        return;
    }
    if (r != QDialog::Accepted)
        OkPressed = false;
    TBaseModalForm::done(r);
}

// --- extractor --------------------------------------------------------------

namespace {

// Draws icon i of the grid at its cell's top left.
class IconCellDelegate : public QStyledItemDelegate
{
public:
    IconCellDelegate(const TIconExtractor &icons, QObject *parent) : QStyledItemDelegate(parent), m_icons(icons) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (option.state & QStyle::State_Selected)
            painter->fillRect(option.rect, option.palette.highlight());
        const int i = index.row() * kIconsPerRow + index.column();
        const QImage img = m_icons.Icon(i);
        if (!img.isNull())
            painter->drawImage(option.rect.topLeft(), img);
    }

private:
    const TIconExtractor &m_icons;
};

QTableWidget *makeGrid(const char *name, QWidget *parent)
{
    auto *g = new QTableWidget(parent);
    g->setObjectName(QString::fromLatin1(name));
    g->horizontalHeader()->hide();
    g->verticalHeader()->hide();
    g->horizontalHeader()->setDefaultSectionSize(kIconCell + 4);
    g->verticalHeader()->setDefaultSectionSize(kIconCell + 4);
    g->horizontalHeader()->setMinimumSectionSize(kIconCell + 4);
    g->verticalHeader()->setMinimumSectionSize(kIconCell + 4);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setMinimumSize(kIconsPerRow * (kIconCell + 4) + 24, 3 * (kIconCell + 4) + 4);
    g->setEnabled(false);
    return g;
}

} // namespace

TExtractBMForm::TExtractBMForm(const TZelkoraOptions &options, QWidget *opener)
    : TBaseModalForm(opener), m_options(options)
{
    setObjectName(QStringLiteral("ExtractBMForm"));
    setWindowTitle(QStringLiteral("Grafik extrahieren"));
    ExtractMultiLanguage = new TMultiLanguage(this);
    ExtractMultiLanguage->setObjectName(QStringLiteral("ExtractMultiLanguage"));
    Prompts = DefaultToolPrompts(this);
    RunBatchDialog = [this](QWidget *owner) -> TIcoResBatchBMForm * {
        auto *dlg = new TIcoResBatchBMForm(owner);
        dlg->SetLanguage(m_script, m_languageIndex);
        if (FormLook)
            FormLook(dlg);
        if (dlg->exec() == QDialog::Accepted && dlg->OkPressed)
            return dlg;
        delete dlg;
        return nullptr;
    };

    auto *outer = new QVBoxLayout(this);
    outer->setSpacing(10);
    ExtractGroupBox = new QGroupBox(QStringLiteral("Grafiken aus ausführbarer Datei (EXE/DLL) extrahieren"), this);
    ExtractGroupBox->setObjectName(QStringLiteral("ExtractGroupBox"));
    ExtractGroupBox->setAutoFillBackground(true); // covers the shadow drawn behind it
    auto *box = new QGridLayout(ExtractGroupBox);
    PicPathLabel = new QLabel(QStringLiteral("Pfad:"), ExtractGroupBox);
    PicPathLabel->setObjectName(QStringLiteral("PicPathLabel"));
    PathPathLabel = new TPathLabel(ExtractGroupBox);
    PathPathLabel->setObjectName(QStringLiteral("PathPathLabel"));
    PathPathLabel->setMinimumWidth(260);
    NumLabel = new QLabel(QStringLiteral("Grafik-Nr.:"), ExtractGroupBox);
    NumLabel->setObjectName(QStringLiteral("NumLabel"));
    box->addWidget(PicPathLabel, 0, 0);
    box->addWidget(PathPathLabel, 0, 1, 1, 2);
    box->addWidget(NumLabel, 1, 0, 1, 2);

    PictureTabSet = new QTabBar(ExtractGroupBox);
    PictureTabSet->setObjectName(QStringLiteral("PictureTabSet"));
    PictureTabSet->addTab(QStringLiteral("Icons"));
    box->addWidget(PictureTabSet, 2, 0, 1, 2);

    PictureNotebook = new QStackedWidget(ExtractGroupBox);
    PictureNotebook->setObjectName(QStringLiteral("PictureNotebook"));
    IconDrawGrid = makeGrid("IconDrawGrid", PictureNotebook);
    BitmapDrawGrid = makeGrid("BitmapDrawGrid", PictureNotebook);
    CursorDrawGrid = makeGrid("CursorDrawGrid", PictureNotebook);
    IconDrawGrid->setItemDelegate(new IconCellDelegate(m_icons, IconDrawGrid));
    PictureNotebook->addWidget(IconDrawGrid);
    PictureNotebook->addWidget(BitmapDrawGrid);
    PictureNotebook->addWidget(CursorDrawGrid);
    PictureNotebook->setCurrentWidget(IconDrawGrid);
    box->addWidget(PictureNotebook, 3, 0, 1, 2);

    auto *side = new QVBoxLayout;
    PreviewImage = new QLabel(ExtractGroupBox);
    PreviewImage->setObjectName(QStringLiteral("PreviewImage"));
    PreviewImage->setFixedSize(96, 96);
    PreviewImage->setFrameShape(QFrame::Box);
    PreviewImage->setAlignment(Qt::AlignCenter);
    side->addWidget(PreviewImage);
    FDimCheckBox = new QCheckBox(QStringLiteral("Volle &Größe"), ExtractGroupBox);
    FDimCheckBox->setObjectName(QStringLiteral("FDimCheckBox"));
    side->addWidget(FDimCheckBox);
    // The background colour choice of an earlier design; kept hidden.
    IcoColrGroupBox = new QGroupBox(QStringLiteral("Hintergrundfarbe"), ExtractGroupBox);
    IcoColrGroupBox->setObjectName(QStringLiteral("IcoColrGroupBox"));
    auto *colr = new QVBoxLayout(IcoColrGroupBox);
    for (const char *n : {"RedTrackBar", "GreenTrackBar", "BlueTrackBar"}) {
        auto *t = new QSlider(Qt::Horizontal, IcoColrGroupBox);
        t->setObjectName(QString::fromLatin1(n));
        t->setRange(0, 255);
        colr->addWidget(t);
    }
    IcoColrGroupBox->setVisible(false);
    side->addWidget(IcoColrGroupBox);
    side->addStretch();
    box->addLayout(side, 2, 2, 2, 1);
    outer->addWidget(ExtractGroupBox);

    auto *buttons = new QHBoxLayout;
    OpenBitBtn = new QPushButton(QStringLiteral("Öffnen..."), this);
    OpenBitBtn->setObjectName(QStringLiteral("OpenBitBtn"));
    SaveButton = new QPushButton(QStringLiteral("Speichern &als..."), this);
    SaveButton->setObjectName(QStringLiteral("SaveButton"));
    SaveButton->setEnabled(false);
    BatchButton = new QPushButton(QStringLiteral("Stapel&verarbeitung..."), this);
    BatchButton->setObjectName(QStringLiteral("BatchButton"));
    BatchButton->setEnabled(false);
    CloseButton = new QPushButton(QStringLiteral("&Schließen"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    buttons->addWidget(OpenBitBtn);
    buttons->addWidget(SaveButton);
    buttons->addWidget(BatchButton);
    buttons->addStretch();
    buttons->addWidget(CloseButton);
    outer->addLayout(buttons);

    connect(OpenBitBtn, &QPushButton::clicked, this, &TExtractBMForm::OpenButtonClick);
    connect(SaveButton, &QPushButton::clicked, this, &TExtractBMForm::SaveButtonClick);
    connect(BatchButton, &QPushButton::clicked, this, &TExtractBMForm::BatchButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(FDimCheckBox, &QCheckBox::toggled, this, &TExtractBMForm::FDimCheckBoxClick);
    connect(IconDrawGrid, &QTableWidget::cellClicked, this, &TExtractBMForm::IconDrawGridClick);
}

TExtractBMForm::~TExtractBMForm() = default;

QString TExtractBMForm::text(const char *key, const QString &german) const
{
    return FormText(const_cast<TExtractBMForm *>(this), QString::fromLatin1(key), german);
}

void TExtractBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    m_script = Script;
    m_languageIndex = LanguageIndex;
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
}

void TExtractBMForm::ExtractOpenDialogShow(QFileDialog &dialog)
{
    dialog.setLabelText(QFileDialog::Accept, text("opendlg_extract_btn_caption", QStringLiteral("Extrahieren")));
}

void TExtractBMForm::OpenButtonClick()
{
    QFileDialog dialog(this, text("opendlg_extract_title", QStringLiteral("Grafiken extrahieren")));
    dialog.setObjectName(QStringLiteral("ExtractOpenDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = {
        text("opendlg_extract_filter_prog", QStringLiteral("Programme und Bibliotheken")) +
            QStringLiteral(" (*.exe *.dll *.EXE *.DLL)"),
        text("opendlg_extract_filter_ico", QStringLiteral("Icons")) + QStringLiteral(" (*.ico *.ICO)"),
        text("opendlg_extract_filter_all", QStringLiteral("Alle Dateien")) + QStringLiteral(" (*)")};
    dialog.setNameFilters(filters);
    ExtractOpenDialogShow(dialog);
    if (!Prompts.RunFileDialog(dialog))
        return;
    const QString file = dialog.selectedFiles().constFirst();
    const int filterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;

    PictureNotebook->setCurrentWidget(IconDrawGrid);
    BatchButton->setEnabled(true);
    SaveButton->setEnabled(false);
    showPreview(QImage());
    const QString base = text("NumLabel.Caption", QStringLiteral("Grafik-Nr.:"));
    if (NumLabel->text() == base)
        NumLabel->setText(base + QStringLiteral(" 1"));
    if (filterIndex >= 1 && filterIndex <= 3) {
        LoadIconGrid(file);
        PathPathLabel->SetCaption(QDir::toNativeSeparators(file));
    }
}

bool TExtractBMForm::LoadIconGrid(const QString &FileName)
{
    QString error;
    const TIconExtractor::TStatus status = m_icons.Load(FileName, &error);
    IconDrawGrid->clearSelection();
    const int n = m_icons.Count();
    if (status != TIconExtractor::TStatus::Ok || n <= 0) {
        IconDrawGrid->setRowCount(0);
        IconDrawGrid->setColumnCount(0);
        IconDrawGrid->setEnabled(false);
        BatchButton->setEnabled(false);
        QString message;
        switch (status) {
        case TIconExtractor::TStatus::Unreadable:
            message = text("showmsg_extract_unreadable", QStringLiteral("Die Datei konnte nicht gelesen werden:")) +
                      QLatin1Char(' ') + QDir::toNativeSeparators(FileName) + QStringLiteral("\n") + error;
            break;
        case TIconExtractor::TStatus::NotSupported:
            message = text("showmsg_extract_no_program",
                           QStringLiteral("Die Datei ist weder ein Windows-Programm (EXE/DLL) noch eine Icon-Datei; "
                                          "sie enthält keine Icons:")) +
                      QLatin1Char(' ') + QDir::toNativeSeparators(FileName);
            break;
        default:
            message = text("showmsg_extract_no_icons", QStringLiteral("Die Datei enthält keine lesbaren Icons:")) +
                      QLatin1Char(' ') + QDir::toNativeSeparators(FileName);
            break;
        }
        Prompts.Message(message);
        return false;
    }
    IconDrawGrid->setEnabled(true);
    IconDrawGrid->setRowCount(IconGridRows(n));
    IconDrawGrid->setColumnCount(IconGridColumns(n));
    IconDrawGrid->viewport()->update();
    return true;
}

void TExtractBMForm::showPreview(const QImage &image)
{
    m_preview = image;
    PreviewImage->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
}

void TExtractBMForm::IconDrawGridClick(int row, int column)
{
    const int index = row * kIconsPerRow + column;
    showPreview(m_icons.Icon(index));
    const QString base = text("NumLabel.Caption", QStringLiteral("Grafik-Nr.:"));
    NumLabel->setText(base + QLatin1Char(' ') + QString::number(index + 1));
    // A cell past the last icon holds nothing to save.
    SaveButton->setEnabled(!m_preview.isNull());
}

void TExtractBMForm::FDimCheckBoxClick()
{
    PreviewImage->setAlignment(FDimCheckBox->isChecked() ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignCenter);
}

bool TExtractBMForm::saveIcon(const QImage &image, const QString &file)
{
    try {
        TIcon icon;
        icon.SetImage(image);
        icon.SaveToFile(file);
        return true;
    } catch (const std::exception &e) {
        Prompts.Message(text("showmsg_extract_not_saved", QStringLiteral("Die Datei konnte nicht gespeichert "
                                                                          "werden:")) +
                        QLatin1Char(' ') + QDir::toNativeSeparators(file) + QStringLiteral("\n") +
                        QString::fromUtf8(e.what()));
        return false;
    }
}

void TExtractBMForm::SaveButtonClick()
{
    if (m_preview.isNull())
        return;
    QFileDialog dialog(this, text("savedlg_extract_title", QStringLiteral("Grafik speichern unter")));
    dialog.setObjectName(QStringLiteral("ExtractSaveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList filters = {QStringLiteral("Windows-Icon (*.ico)"), QStringLiteral("Windows-Bitmap (*.bmp)")};
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("ico"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString &f) {
        dialog.setDefaultSuffix(f == filters.at(1) ? QStringLiteral("bmp") : QStringLiteral("ico"));
    });
    QString file;
    int filterIndex = 0;
    {
        // Named while the save dialog runs; the extractor's own name (set by
        // whoever opened it) comes back afterwards.
        struct Restore {
            QString before = OpenDialogName;
            ~Restore() { OpenDialogName = before; }
        } restore;
        OpenDialogName = QStringLiteral("Datei speichern unter");
        if (!Prompts.RunFileDialog(dialog))
            return;
        file = dialog.selectedFiles().constFirst();
        filterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    }
    if (filterIndex == 1) {
        saveIcon(m_preview, file);
    } else if (filterIndex == 2) {
        try {
            TIcon icon;
            icon.SetImage(m_preview);
            const std::unique_ptr<TBitmap> bmp = IconToBitmap(icon, clNone);
            TBitmap out = ApplyBmpOptions(*bmp, m_options);
            out.SaveToFile(file);
        } catch (const std::exception &e) {
            Prompts.Message(text("showmsg_extract_not_saved", QStringLiteral("Die Datei konnte nicht gespeichert "
                                                                              "werden:")) +
                            QLatin1Char(' ') + QDir::toNativeSeparators(file) + QStringLiteral("\n") +
                            QString::fromUtf8(e.what()));
        }
    }
}

int TExtractBMForm::SaveAllIcons(const QString &folder, const QString &name)
{
    const int total = IconDrawGrid->rowCount() * IconDrawGrid->columnCount();
    QPointer<TProgressForm> progress = new TProgressForm(this);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->SetMax(total);
    progress->show();
    const QString base = text("NumLabel.Caption", QStringLiteral("Grafik-Nr.:"));
    int written = 0;
    for (int i = 0; i < total; ++i) {
        if (progress)
            progress->SetPosition(1);
        NumLabel->setText(base + QLatin1Char(' ') + QString::number(i));
        QCoreApplication::processEvents();
        showPreview(m_icons.Icon(i));
        if (m_preview.isNull())
            continue; // cells past the last icon
        if (!saveIcon(m_preview, BatchIconFileName(folder, name, i)))
            break;
        ++written;
    }
    if (progress)
        progress->close();
    return written;
}

void TExtractBMForm::BatchButtonClick()
{
    if (!RunBatchDialog)
        return;
    std::unique_ptr<TIcoResBatchBMForm> dlg(RunBatchDialog(this));
    if (!dlg)
        return;
    const QString folder = dlg->PathHistoryCombo->currentText().trimmed();
    const QString name = dlg->NameEdit->text().trimmed();
    dlg.reset();
    SaveAllIcons(folder, name);
}

void TExtractBMForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1) {
        ShowHelpPage(this, QStringLiteral("extratools"));
        return;
    }
    TBaseModalForm::keyPressEvent(event);
}

void TExtractBMForm::paintEvent(QPaintEvent *event)
{
    TBaseModalForm::paintEvent(event);
    QPainter p(this);
    for (QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isVisible() && !qobject_cast<QPushButton *>(child))
            PaintShadow(p, child, 4, TColor(0x808080));
}

} // namespace zk
