#include "FindTextForms.h"

#include "Globals.h"
#include "HistList.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "SmallControls.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cstring>

namespace zk {

QString HitLineText(const TTextHit &hit, const std::function<QString(const char *, const QString &)> &text)
{
    if (!hit.IsError())
        return text("findtxt_hit_line", QStringLiteral("%s = Zeile %d"))
            .replace(QLatin1String("%s"), hit.file)
            .replace(QLatin1String("%d"), QString::number(hit.line));
    QString reason;
    switch (hit.fault) {
    case TSearchFault::NotRegular:
        reason = text("findtxt_err_notregular", QStringLiteral("keine gewöhnliche Datei"));
        break;
    case TSearchFault::Link:
        reason = text("findtxt_err_link", QStringLiteral("Verknüpfung, nicht verfolgt"));
        break;
    default:
        reason = QString::fromLocal8Bit(std::strerror(hit.errnum));
        break;
    }
    // Filled one after the other, so a "%s" in the reason stays as it is.
    QString line = text("findtxt_hit_error", QStringLiteral("Fehler: %s beim Durchsuchen der Datei %s"));
    const qsizetype first = line.indexOf(QLatin1String("%s"));
    if (first >= 0)
        line.replace(first, 2, reason);
    const qsizetype second = line.indexOf(QLatin1String("%s"), first >= 0 ? first + reason.size() : 0);
    if (second >= 0)
        line.replace(second, 2, hit.file);
    return line;
}

// ---------------------------------------------------------------------------

int TSearchHitModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TSearchHitModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_rows[index.row()].first;
    if (role == FileRole)
        return m_rows[index.row()].second;
    return {};
}

void TSearchHitModel::Append(const QList<QPair<QString, QString>> &rows)
{
    if (rows.isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
    m_rows += rows;
    endInsertRows();
}

void TSearchHitModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

// ---------------------------------------------------------------------------

TFileOutputBDForm::TFileOutputBDForm(QMainWindow *mainWindow, TZelkoraOptions &options)
    : TBaseDockForm(mainWindow, QStringLiteral("Suchergebnisse"))
    , m_options(options)
{
    setObjectName(QStringLiteral("FileOutputBDForm"));
    setAllowedAreas(Qt::BottomDockWidgetArea);
    FleOutpListBox = new QListView(this);
    FleOutpListBox->setObjectName(QStringLiteral("FleOutpListBox"));
    FleOutpListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FleOutpListBox->setUniformItemSizes(true);
    Hits = new TSearchHitModel(this);
    FleOutpListBox->setModel(Hits);
    setWidget(FleOutpListBox);

    FleOutputPopupMenu = new QMenu(this);
    FleOutputPopupMenu->setObjectName(QStringLiteral("FleOutputPopupMenu"));
    SearchResDelMenuItem = FleOutputPopupMenu->addAction(QStringLiteral("Suchergebnisse löschen"));
    SearchResDelMenuItem->setObjectName(QStringLiteral("SearchResDelMenuItem"));
    NewSearchMenuItem = FleOutputPopupMenu->addAction(QStringLiteral("Neue Suche anhängen"));
    NewSearchMenuItem->setObjectName(QStringLiteral("NewSearchMenuItem"));
    NewSearchMenuItem->setCheckable(true);
    FleOutpListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FleOutpListBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { FleOutputPopupMenu->popup(FleOutpListBox->viewport()->mapToGlobal(at)); });
    connect(SearchResDelMenuItem, &QAction::triggered, this, &TFileOutputBDForm::SearchResDelMenuItemClick);
    connect(NewSearchMenuItem, &QAction::triggered, this, &TFileOutputBDForm::NewSearchMenuItemClick);
    connect(FleOutpListBox, &QAbstractItemView::doubleClicked, this, &TFileOutputBDForm::FleOutpListBoxDblClick);
    OpenFile = [](const QString &file) { QDesktopServices::openUrl(QUrl::fromLocalFile(file)); };
    FormCreate();
}

TFileOutputBDForm::~TFileOutputBDForm()
{
    // FormDestroy: a window that goes without being closed says so too.
    FormClose();
}

void TFileOutputBDForm::FormCreate()
{
    Hits->Clear();
    NewSearchMenuItem->setChecked(m_options.DelLastTextscanResult);
}

void TFileOutputBDForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    SetFormLanguage(this, Script, LanguageIndex);
    if (TMultiLanguage *ml = FormMultiLanguage(this))
        if (ml->HasText(QStringLiteral("Set_FileOutputForm_Title")))
            setWindowTitle(ml->GetText(QStringLiteral("Set_FileOutputForm_Title")));
}

void TFileOutputBDForm::FleOutpListBoxDblClick(const QModelIndex &index)
{
    // The row keeps its file, so a name with "=" in it opens as well.
    const QString file = index.data(TSearchHitModel::FileRole).toString();
    if (!file.isEmpty() && OpenFile)
        OpenFile(file);
}

void TFileOutputBDForm::SearchResDelMenuItemClick()
{
    Hits->Clear();
}

void TFileOutputBDForm::NewSearchMenuItemClick()
{
    m_options.DelLastTextscanResult = NewSearchMenuItem->isChecked();
}

void TFileOutputBDForm::closeEvent(QCloseEvent *event)
{
    TBaseDockForm::closeEvent(event);
    FormClose();
}

void TFileOutputBDForm::FormClose()
{
    if (m_closedReported)
        return;
    m_closedReported = true;
    if (OnClosed) {
        const auto closed = std::move(OnClosed);
        OnClosed = nullptr;
        closed();
    }
}

// ---------------------------------------------------------------------------

TFindProcessForm::TFindProcessForm(QWidget *owner)
    : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("FindProcessForm"));
    setWindowTitle(QStringLiteral("Suchen"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *grid = new QGridLayout(this);
    const auto label = [this](const char *name, const QString &caption) {
        auto *l = new QLabel(caption, this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    grid->addWidget(label("FndTxtLabel", QStringLiteral("Text:")), 0, 0);
    FndTxtResLabel = label("FndTxtResLabel", {});
    grid->addWidget(FndTxtResLabel, 0, 1);
    grid->addWidget(label("FndFromLabel", QStringLiteral("Suchen von:")), 1, 0);
    HitsPathLabel = new TPathLabel(this);
    HitsPathLabel->setObjectName(QStringLiteral("HitsPathLabel"));
    HitsPathLabel->setMinimumWidth(260);
    grid->addWidget(HitsPathLabel, 1, 1);
    grid->addWidget(label("FndCountLabel", QStringLiteral("Gefunden:")), 2, 0);
    FoundCountResLabel = label("FoundCountResLabel", QStringLiteral("0"));
    grid->addWidget(FoundCountResLabel, 2, 1);
    // A running bar stands for the search animation.
    FndTxtAnimate = new QProgressBar(this);
    FndTxtAnimate->setObjectName(QStringLiteral("FndTxtAnimate"));
    FndTxtAnimate->setRange(0, 0);
    FndTxtAnimate->setTextVisible(false);
    grid->addWidget(FndTxtAnimate, 3, 0, 1, 2);
}

// ---------------------------------------------------------------------------

TFindOptBMForm::TFindOptBMForm(QWidget *opener, TZelkoraOptions &options)
    : TBaseModalForm(opener)
    , m_options(options)
{
    setObjectName(QStringLiteral("FindOptBMForm"));
    setWindowTitle(QStringLiteral("Text finden"));
    auto *outer = new QVBoxLayout(this);
    FindOptPageControl = new QTabWidget(this);
    FindOptPageControl->setObjectName(QStringLiteral("FindOptPageControl"));
    auto *page = new QWidget(FindOptPageControl);
    page->setObjectName(QStringLiteral("FindOptTabSheet"));
    FindOptPageControl->addTab(page, QStringLiteral("Dateien scannen"));
    outer->addWidget(FindOptPageControl);

    auto *grid = new QGridLayout(page);
    auto *findLabel = new QLabel(QStringLiteral("&Suchen nach:"), page);
    findLabel->setObjectName(QStringLiteral("FindTextLabel"));
    FindTextEdit = new QLineEdit(page);
    FindTextEdit->setObjectName(QStringLiteral("FindTextEdit"));
    findLabel->setBuddy(FindTextEdit);
    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(FindTextEdit, 0, 1, 1, 2);
    CaseSensCheckBox = new QCheckBox(QStringLiteral("Groß/Kleinschreibung"), page);
    CaseSensCheckBox->setObjectName(QStringLiteral("CaseSensCheckBox"));
    grid->addWidget(CaseSensCheckBox, 1, 1, 1, 2);
    ChkSubDirsCheckBox = new QCheckBox(QStringLiteral("Unterverzeichnisse durchsuchen"), page);
    ChkSubDirsCheckBox->setObjectName(QStringLiteral("ChkSubDirsCheckBox"));
    grid->addWidget(ChkSubDirsCheckBox, 2, 1, 1, 2);
    OnlyFileCheckBox = new QCheckBox(QStringLiteral("Einzelne Datei:"), page);
    OnlyFileCheckBox->setObjectName(QStringLiteral("OnlyFileCheckBox"));
    grid->addWidget(OnlyFileCheckBox, 3, 0);
    FndPlcHistoryCombo = new THistoryCombo(page);
    FndPlcHistoryCombo->setObjectName(QStringLiteral("FndPlcHistoryCombo"));
    FndPlcHistoryCombo->setEditable(true);
    FndPlcHistoryCombo->setMinimumWidth(260);
    FndPlcHistoryCombo->SetRegistryPath(QStringLiteral("Software\\Tarvendo\\Zelkora\\5.0"));
    FndPlcHistoryCombo->SetIniSection(QStringLiteral("FndPlcHistory"));
    grid->addWidget(FndPlcHistoryCombo, 3, 1);
    PathOrFileBitBtn = new QPushButton(QStringLiteral("..."), page);
    PathOrFileBitBtn->setObjectName(QStringLiteral("PathOrFileBitBtn"));
    grid->addWidget(PathOrFileBitBtn, 3, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    FndTxtOkButton = new QPushButton(QStringLiteral("OK"), this);
    FndTxtOkButton->setObjectName(QStringLiteral("FndTxtOkButton"));
    FndTxtOkButton->setDefault(true);
    FndTxtCancButton = new QPushButton(QStringLiteral("Abbrechen"), this);
    FndTxtCancButton->setObjectName(QStringLiteral("FndTxtCancButton"));
    buttons->addWidget(FndTxtOkButton);
    buttons->addWidget(FndTxtCancButton);
    outer->addLayout(buttons);

    connect(FindTextEdit, &QLineEdit::textChanged, this, &TFindOptBMForm::FindTextEditChange);
    connect(OnlyFileCheckBox, &QCheckBox::clicked, this, &TFindOptBMForm::OnlyFileCheckBoxClick);
    connect(PathOrFileBitBtn, &QPushButton::clicked, this, &TFindOptBMForm::PathOrFileButtonClick);
    connect(FndTxtOkButton, &QPushButton::clicked, this, &TFindOptBMForm::FndTxtOkButtonClick);
    connect(FndTxtCancButton, &QPushButton::clicked, this, &QDialog::reject);

    ChooseFile = [this] {
        return QFileDialog::getOpenFileName(this, {}, FndPlcHistoryCombo->currentText(),
                                            Tx("findtxt_opendlg_filter", QStringLiteral("Textdateien (.*txt, *.dat, *.ini, *.bat, *.*)")) +
                                                QStringLiteral(" (*)"));
    };
    ChooseFolder = [this] {
        QString folder;
        SelectFolder(Tx("findtxt_selectfolder", QStringLiteral("Suchpfad wählen:")), folder, this);
        return folder;
    };
    ShowInfo = [this](const QString &text) { QMessageBox::information(this, windowTitle(), text); };
    FindTextEditChange();
    OnlyFileCheckBoxClick();
}

TFindOptBMForm::~TFindOptBMForm()
{
    // The opener may be going as well: its end-of-search is not called now.
    OnSearchEnd = nullptr;
    StopSearch();
}

QString TFindOptBMForm::Tx(const char *key, const QString &german) const
{
    return FormText(const_cast<TFindOptBMForm *>(this), QString::fromLatin1(key), german);
}

void TFindOptBMForm::showEvent(QShowEvent *event)
{
    TBaseModalForm::showEvent(event);
    FormShow();
}

void TFindOptBMForm::FormShow()
{
    FoundCount = 0;
    FindTextEdit->setFocus();
}

void TFindOptBMForm::FindTextEditChange()
{
    FndTxtOkButton->setEnabled(!FindTextEdit->text().isEmpty());
}

void TFindOptBMForm::OnlyFileCheckBoxClick()
{
    ChkSubDirsCheckBox->setEnabled(!OnlyFileCheckBox->isChecked());
}

void TFindOptBMForm::PathOrFileButtonClick()
{
    if (SearchRunning) {
        if (ShowInfo)
            ShowInfo(Tx("findtxt_search_running", QStringLiteral("Es ist gerade ein Suchvorgang aktiv!")));
        return;
    }
    const QString chosen = OnlyFileCheckBox->isChecked() ? (ChooseFile ? ChooseFile() : QString())
                                                         : (ChooseFolder ? ChooseFolder() : QString());
    if (!chosen.isEmpty())
        FndPlcHistoryCombo->setCurrentText(chosen);
}

void TFindOptBMForm::FndTxtOkButtonClick()
{
    const QString text = FindTextEdit->text();
    const bool caseSensitive = CaseSensCheckBox->isChecked();
    const bool recursive = ChkSubDirsCheckBox->isChecked();
    QString path = FndPlcHistoryCombo->currentText().trimmed();
    if (text.isEmpty())
        return;
    // A search that still runs ends before the next one starts.
    StopSearch();
    FoundCount = 0;
    QPointer<TFileOutputBDForm> output = ShowOutput ? ShowOutput() : nullptr;
    if (output && !m_options.DelLastTextscanResult)
        output->Hits->Clear();

    ProcessForm = new TFindProcessForm(OwnerWindow() ? OwnerWindow() : parentWidget());
    SetFormLanguage(ProcessForm, m_script, m_language);
    ProcessForm->FndTxtResLabel->setText(text);
    ProcessForm->HitsPathLabel->SetCaption(path);
    ProcessForm->show();

    auto found = [this](const QList<TTextHit> &hits) { FoundHits(hits); };
    if (OnlyFileCheckBox->isChecked()) {
        Worker = std::make_unique<TFndTxtThread>(text, found, path, caseSensitive);
    } else {
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        Worker = std::make_unique<TFndTxtThread>(text, found, path, caseSensitive, recursive);
    }
    m_output = output;
    // A worker stopped for this search still has its end queued: that end
    // is not this search's.
    const std::uint64_t search = ++m_search;
    connect(
        Worker.get(), &QThread::finished, this,
        [this, search] {
            if (search == m_search)
                WorkerFinished();
        },
        Qt::QueuedConnection);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    SearchRunning = true;
    Worker->start();
    accept();
}

void TFindOptBMForm::FoundHits(const QList<TTextHit> &hits)
{
    FoundCount += std::int32_t(hits.size());
    if (ProcessForm)
        ProcessForm->FoundCountResLabel->setText(QString::number(FoundCount));
    if (!m_output)
        return;
    const auto text = [this](const char *key, const QString &german) { return Tx(key, german); };
    QList<QPair<QString, QString>> rows;
    rows.reserve(hits.size());
    for (const TTextHit &hit : hits)
        rows.append({HitLineText(hit, text), hit.IsError() ? QString() : hit.file});
    m_output->Hits->Append(rows);
}

void TFindOptBMForm::StopSearch()
{
    if (Worker) {
        Worker->Stop();
        Worker->wait();
    }
    if (SearchRunning)
        WorkerFinished();
}

void TFindOptBMForm::WorkerFinished()
{
    if (!SearchRunning)
        return;
    // Hits still queued from the worker arrive before its end.
    QCoreApplication::sendPostedEvents(Worker.get());
    if (ProcessForm)
        ProcessForm->close();
    if (OnSearchEnd)
        OnSearchEnd();
    else
        EndSearch();
}

void TFindOptBMForm::EndSearch()
{
    if (!SearchRunning)
        return;
    QApplication::restoreOverrideCursor();
    Worker.reset();
    SearchRunning = false;
    FndTxtOkButton->setEnabled(!FindTextEdit->text().isEmpty());
}

void TFindOptBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    m_script = Script;
    m_language = LanguageIndex;
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
}

} // namespace zk
