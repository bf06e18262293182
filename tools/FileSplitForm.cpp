#include "FileSplitForm.h"

#include "Globals.h"
#include "MultiLanguage.h"

#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>
#include <memory>

namespace zk {

std::int32_t PartSizePreset(int index)
{
    if (index < 0 || index >= int(std::size(kPartSizePresets)))
        return kPartSizeNoChoice;
    return kPartSizePresets[index];
}

// --- part-size chooser ------------------------------------------------------

TByteTempBMForm::TByteTempBMForm(QWidget *opener) : TBaseModalForm(opener)
{
    setObjectName(QStringLiteral("ByteTempBMForm"));
    setWindowTitle(QStringLiteral("Bytewert auswählen"));
    ByteTempMultiLanguage = new TMultiLanguage(this);
    ByteTempMultiLanguage->setObjectName(QStringLiteral("ByteTempMultiLanguage"));
    auto *outer = new QVBoxLayout(this);
    ByteValListBox = new QListWidget(this);
    ByteValListBox->setObjectName(QStringLiteral("ByteValListBox"));
    ByteValListBox->addItems({
        QStringLiteral("5788136 Byte     (vier Disketten pro Datei -> 5,52 MB)"),
        QStringLiteral("4341102 Byte     (drei Disketten pro Datei -> 4,14 MB)"),
        QStringLiteral("2894068 Byte     (zwei Disketten pro Datei -> 2,76 MB)"),
        QStringLiteral("1447034 Byte     (eine Diskette pro Datei -> 1,38 MB)"),
        QStringLiteral("  723517 Byte     (eine halbe Diskette pro Datei -> 0,69 MB)"),
        QStringLiteral("  482344 Byte     (eine drittel Diskette pro Datei -> 0,46 MB)"),
        QStringLiteral("  361758 Byte     (eine viertel Diskette pro Datei -> 0,345 MB)"),
    });
    ByteValListBox->setCurrentRow(-1);
    ByteValListBox->setMinimumWidth(420);
    outer->addWidget(ByteValListBox);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    BTOkButton = new QPushButton(QStringLiteral("&OK"), this);
    BTOkButton->setObjectName(QStringLiteral("BTOkButton"));
    BTOkButton->setDefault(true);
    BTCancButton = new QPushButton(QStringLiteral("&Abbrechen"), this);
    BTCancButton->setObjectName(QStringLiteral("BTCancButton"));
    buttons->addWidget(BTOkButton);
    buttons->addWidget(BTCancButton);
    outer->addLayout(buttons);
    connect(BTOkButton, &QPushButton::clicked, this, &TByteTempBMForm::BTOkButtonClick);
    connect(BTCancButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ByteValListBox, &QListWidget::itemDoubleClicked, this, &TByteTempBMForm::BTOkButtonClick);
}

void TByteTempBMForm::BTOkButtonClick()
{
    const QListWidgetItem *item = ByteValListBox->currentItem();
    ByteValue = PartSizePreset(item && item->isSelected() ? ByteValListBox->row(item) : -1);
    accept();
}

// --- split and join ---------------------------------------------------------

TFileSplitBMForm::TFileSplitBMForm(QWidget *opener) : TBaseModalForm(opener)
{
    setObjectName(QStringLiteral("FileSplitBMForm"));
    setWindowTitle(QStringLiteral("Dateien Splitten/Zusammenführen"));
    FileSplitMultiLanguage = new TMultiLanguage(this);
    FileSplitMultiLanguage->setObjectName(QStringLiteral("FileSplitMultiLanguage"));
    Prompts = DefaultToolPrompts(this);
    RunByteChooser = [this](QWidget *owner) -> TByteTempBMForm * {
        auto *dlg = new TByteTempBMForm(owner);
        dlg->SetLanguage(m_script, m_languageIndex);
        if (FormLook)
            FormLook(dlg);
        if (dlg->exec() == QDialog::Accepted)
            return dlg;
        delete dlg;
        return nullptr;
    };

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 12, 17, 12);
    FileSplitPanel = new QFrame(this);
    FileSplitPanel->setObjectName(QStringLiteral("FileSplitPanel"));
    FileSplitPanel->setFrameShape(QFrame::Panel);
    FileSplitPanel->setFrameShadow(QFrame::Raised);
    FileSplitPanel->setAutoFillBackground(true);
    auto *grid = new QGridLayout(FileSplitPanel);
    SpHintLabel = new QLabel(QStringLiteral("Größe der einzelnen Dateien in Byte:"), FileSplitPanel);
    SpHintLabel->setObjectName(QStringLiteral("SpHintLabel"));
    DimEdit = new QLineEdit(QString::number(kPartSizePresets[3]), FileSplitPanel);
    DimEdit->setObjectName(QStringLiteral("DimEdit"));
    SpHintLabel->setBuddy(DimEdit);
    ByteChoiceButton = new QPushButton(QStringLiteral("..."), FileSplitPanel);
    ByteChoiceButton->setObjectName(QStringLiteral("ByteChoiceButton"));
    ByteChoiceButton->setMaximumWidth(32);
    SplitButton = new QPushButton(QStringLiteral("Datei Splitten..."), FileSplitPanel);
    SplitButton->setObjectName(QStringLiteral("SplitButton"));
    UnsplitButton = new QPushButton(QStringLiteral("Datei wieder herstellen..."), FileSplitPanel);
    UnsplitButton->setObjectName(QStringLiteral("UnsplitButton"));
    grid->addWidget(SpHintLabel, 0, 0, 1, 2);
    grid->addWidget(DimEdit, 1, 0);
    grid->addWidget(ByteChoiceButton, 1, 1);
    grid->addWidget(SplitButton, 2, 0, 1, 2);
    grid->addWidget(UnsplitButton, 3, 0, 1, 2);
    outer->addWidget(FileSplitPanel);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    SpCloseButton = new QPushButton(QStringLiteral("&Schließen"), this);
    SpCloseButton->setObjectName(QStringLiteral("SpCloseButton"));
    buttons->addWidget(SpCloseButton);
    outer->addSpacing(6);
    outer->addLayout(buttons);

    connect(ByteChoiceButton, &QPushButton::clicked, this, &TFileSplitBMForm::ByteChoiceButtonClick);
    connect(SplitButton, &QPushButton::clicked, this, &TFileSplitBMForm::SplitButtonClick);
    connect(UnsplitButton, &QPushButton::clicked, this, &TFileSplitBMForm::UnsplitButtonClick);
    connect(SpCloseButton, &QPushButton::clicked, this, &QDialog::reject);
}

TFileSplitBMForm::~TFileSplitBMForm() = default;

void TFileSplitBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    m_script = Script;
    m_languageIndex = LanguageIndex;
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
}

QString TFileSplitBMForm::text(const char *key, const QString &german) const
{
    return FormText(const_cast<TFileSplitBMForm *>(this), QString::fromLatin1(key), german);
}

void TFileSplitBMForm::ByteChoiceButtonClick()
{
    if (!RunByteChooser)
        return;
    std::unique_ptr<TByteTempBMForm> dlg(RunByteChooser(this));
    if (dlg)
        DimEdit->setText(QString::number(dlg->ByteValue));
}

void TFileSplitBMForm::SplitOpenDialogShow(QFileDialog &dialog)
{
    const bool first = dialog.selectedNameFilter() == dialog.nameFilters().value(0);
    dialog.setLabelText(QFileDialog::Accept, first ? text("opendlg_filesplit_btn_split", QStringLiteral("Splitten"))
                                                   : text("opendlg_filesplit_btn_join", QStringLiteral("Entsplitten")));
}

bool TFileSplitBMForm::chooseFile(bool join, QString *file)
{
    QFileDialog dialog(this, join ? text("opendlg_filesplit_desplit", QStringLiteral("Datei wieder herstellen"))
                                  : text("opendlg_filesplit_split", QStringLiteral("Datei splitten")));
    dialog.setObjectName(QStringLiteral("SplitOpenDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({text("opendlg_filesplit_filter_all", QStringLiteral("Alle Dateien")) +
                               QStringLiteral(" (*)"),
                           text("opendlg_filesplit_filter_part", QStringLiteral("Kestro Datei")) +
                               QStringLiteral(" (*.001)")});
    dialog.selectNameFilter(dialog.nameFilters().value(join ? 1 : 0));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [this, &dialog] { SplitOpenDialogShow(dialog); });
    SplitOpenDialogShow(dialog);
    if (!Prompts.RunFileDialog(dialog))
        return false;
    *file = dialog.selectedFiles().constFirst();
    return !file->isEmpty();
}

void TFileSplitBMForm::SplitButtonClick()
{
    if (m_busy)
        return;
    bool fellBack = false;
    PartSize = ParsePartSize(DimEdit->text(), &fellBack);
    if (fellBack) {
        DimEdit->setText(QString::number(kFallbackPartSize));
        Prompts.Message(text("showmsg_filesplit_no_number",
                             QStringLiteral("Bytewert konnte nicht konvertiert werden, Programm setzt nun 500000 Byte "
                                            "pro Datei vorraus!")));
    }
    QString source;
    if (!chooseFile(false, &source))
        return;
    // Without a folder there is nowhere to write.
    const QString folder = Prompts.BrowseFolder ? Prompts.BrowseFolder() : QString();
    if (folder.isEmpty())
        return;
    const qint64 size = PartSize;
    runJob([source, folder, size] { return SplitFile(source, folder, size); });
}

void TFileSplitBMForm::UnsplitButtonClick()
{
    if (m_busy)
        return;
    QString part;
    if (!chooseFile(true, &part))
        return;
    const QString folder = Prompts.BrowseFolder ? Prompts.BrowseFolder() : QString();
    if (folder.isEmpty())
        return;
    QString ext = QStringLiteral("exe");
    if (!Prompts.InputQuery(text("inputbox_filesplit_ext_caption", QStringLiteral("Dateierweiterung eingeben")),
                            text("inputbox_filesplit_ext_prompt",
                                 QStringLiteral("Ursprüngliche Dateierweiterung eingeben (z. B. dll):")),
                            ext))
        return;
    ext = ext.trimmed();
    while (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    runJob([part, folder, ext] { return JoinFiles(part, folder, ext); });
}

void TFileSplitBMForm::runJob(const std::function<TSplitResult()> &job)
{
    m_busy = true;
    const QList<QPushButton *> buttons = {ByteChoiceButton, SplitButton, UnsplitButton, SpCloseButton};
    for (QPushButton *b : buttons)
        b->setEnabled(false);
    DimEdit->setEnabled(false);
    setCursor(Qt::BusyCursor);

    TSplitResult result;
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create([&result, job] { result = job(); }));
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec(); // the dialog stays live and repaints while the copy runs
    worker->wait();
    m_last = result;

    unsetCursor();
    for (QPushButton *b : buttons)
        b->setEnabled(true);
    DimEdit->setEnabled(true);
    m_busy = false;
    if (result.Ok)
        return;
    QString message;
    const QString file = QDir::toNativeSeparators(result.File);
    switch (result.Fault) {
    case TSplitFault::Unreadable:
        message = text("showmsg_filesplit_unreadable", QStringLiteral("Die Datei konnte nicht gelesen werden:"));
        break;
    case TSplitFault::SameFile:
        message = text("showmsg_filesplit_same_file",
                       QStringLiteral("Die Zieldatei wäre eine der gelesenen Dateien; es wurde nichts geschrieben:"));
        break;
    default:
        message = text("showmsg_filesplit_unwritable", QStringLiteral("Die Datei konnte nicht geschrieben werden:"));
        break;
    }
    message += QLatin1Char(' ') + file;
    if (!result.Reason.isEmpty())
        message += QStringLiteral("\n") + result.Reason;
    Prompts.Message(message);
}

void TFileSplitBMForm::reject()
{
    if (m_busy)
        return; // the copy finishes first; its buttons are off meanwhile
    TBaseModalForm::reject();
}

void TFileSplitBMForm::closeEvent(QCloseEvent *event)
{
    if (m_busy) {
        event->ignore();
        return;
    }
    TBaseModalForm::closeEvent(event);
}

void TFileSplitBMForm::paintEvent(QPaintEvent *event)
{
    TBaseModalForm::paintEvent(event);
    QPainter p(this);
    PaintShadow(p, FileSplitPanel, 5, TColor(0x808080));
}

} // namespace zk
