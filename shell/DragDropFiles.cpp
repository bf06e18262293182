#include "DragDropFiles.h"

#include "MultiLanguage.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace zk {

TDragDropFilesBMForm::TDragDropFilesBMForm(QWidget *owner, Opener opener)
    : TBaseModalForm(owner, Qt::Dialog | Qt::WindowStaysOnTopHint)
    , m_opener(std::move(opener))
{
    setObjectName("DragDropFilesBMForm");
    setWindowTitle(QStringLiteral("Drag&Drop Dateien"));
    setModal(false);
    FilesListBox = new QListWidget(this);
    FilesListBox->setObjectName("FilesListBox");
    LoadDDFButton = new QPushButton(QStringLiteral("&Laden"), this);
    LoadDDFButton->setObjectName("LoadDDFButton");
    CancDDFButton = new QPushButton(QStringLiteral("&Abbrechen"), this);
    CancDDFButton->setObjectName("CancDDFButton");
    LoadDDFButton->setAutoDefault(false);
    CancDDFButton->setAutoDefault(false);
    DragDropMultiLanguage = new TMultiLanguage(this);
    DragDropMultiLanguage->setObjectName("DragDropMultiLanguage");

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(LoadDDFButton);
    buttons->addWidget(CancDDFButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(FilesListBox);
    layout->addLayout(buttons);
    resize(360, 260);

    connect(LoadDDFButton, &QPushButton::clicked, this, [this] { LoadDDFButtonClick(true); });
    connect(CancDDFButton, &QPushButton::clicked, this, &TDragDropFilesBMForm::CancDDFButtonClick);
    connect(FilesListBox, &QListWidget::itemDoubleClicked, this, [this] { LoadDDFButtonClick(false); });
    FilesListBox->installEventFilter(this);
}

TDragDropFilesBMForm::~TDragDropFilesBMForm() = default;

QString TDragDropFilesBMForm::Text(const QString &key, const QString &fallback) const
{
    const QString t = DragDropMultiLanguage->GetText(key);
    return t.isEmpty() ? fallback : t;
}

void TDragDropFilesBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    // The buttons may still show their second captions from the last round;
    // the language starts from the captions the dialog defines.
    LoadDDFButton->setText(QStringLiteral("&Laden"));
    CancDDFButton->setText(QStringLiteral("&Abbrechen"));
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
    m_loadCaption = LoadDDFButton->text();
    m_cancelCaption = CancDDFButton->text();
}

void TDragDropFilesBMForm::Fill(const TDropList &list)
{
    FilesListBox->clear();
    FilePaths = list.paths;
    FilesListBox->addItems(list.names);
    LoadDDFButton->setText(m_loadCaption);
    CancDDFButton->setText(m_cancelCaption);
}

void TDragDropFilesBMForm::SelectRow(int row)
{
    if (row < 0 || row >= FilesListBox->count()) {
        FilesListBox->setCurrentRow(-1);
        FilesListBox->clearSelection();
        return;
    }
    FilesListBox->setCurrentRow(row);
}

int TDragDropFilesBMForm::SelectedRow() const
{
    const QList<QListWidgetItem *> selected = FilesListBox->selectedItems();
    return selected.isEmpty() ? -1 : FilesListBox->row(selected.first());
}

void TDragDropFilesBMForm::LoadDDFButtonClick(bool fromButton)
{
    const int row = SelectedRow();
    if (row < 0 || row >= FilePaths.size()) {
        QMessageBox::information(this, windowTitle(),
                                 Text("showmsg_no_entry_selekt", QStringLiteral("Kein Eintrag ausgewählt!")));
        return;
    }
    LoadDDFButton->setText(Text("load_ddfbutton_state2", QStringLiteral("&Nächste laden")));
    CancDDFButton->setText(Text("canc_ddfbutton_state2", QStringLiteral("&Schließen")));
    if (m_opener)
        m_opener(FilePaths[row]);
    if (fromButton)
        SelectRow(row + 1 < FilesListBox->count() ? row + 1 : 0);
}

void TDragDropFilesBMForm::CancDDFButtonClick()
{
    close();
}

bool TDragDropFilesBMForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == FilesListBox && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
            LoadDDFButtonClick(false);
            return true;
        }
    }
    return TBaseModalForm::eventFilter(watched, event);
}

} // namespace zk
