#include "KonvForms.h"

#include "DirBDForm.h"
#include "EditDialogs.h"
#include "GraphicConvert.h"
#include "HistList.h"
#include "MultiLanguage.h"
#include "Named.h"
#include "PictureFiles.h"
#include "Progress.h"
#include "ShellOpen.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QSet>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStackedLayout>
#include <QTabBar>
#include <QUrl>
#include <QVBoxLayout>

namespace zk {

namespace {

// The place a path names: links and "." resolved as far as the file or its
// folder exist, so that two spellings of one file compare equal.
QString placeOf(const QString &path)
{
    const QFileInfo info(path);
    if (const QString real = info.canonicalFilePath(); !real.isEmpty())
        return real;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

// Where a list job's results go: none over a file of the list (its own
// source or another one not done yet) and none over the result of an earlier
// file of the same run. An item refused here fails and the run goes on.
class TTargetPlaces
{
public:
    explicit TTargetPlaces(const QStringList &sources)
    {
        for (const QString &s : sources)
            m_sources.insert(placeOf(s));
    }
    bool Claim(const QString &target)
    {
        const QString place = placeOf(target);
        if (m_sources.contains(place) || m_claimed.contains(place))
            return false;
        m_claimed.insert(place);
        return true;
    }

private:
    QSet<QString> m_sources, m_claimed;
};

constexpr const char *kHistoryKey = "Software\\Tarvendo\\Zelkora\\5.0";

QLabel *Label(QWidget *parent, const char *name, const QString &text)
{
    return Named(new QLabel(text, parent), name);
}

QPushButton *Button(QWidget *parent, const char *name, const QString &text, const QString &hint = {})
{
    auto *b = Named(new QPushButton(text, parent), name);
    if (!hint.isEmpty())
        b->setToolTip(hint);
    return b;
}

// The small "..." buttons beside a path.
QPushButton *ChooseButton(QWidget *parent, const char *name, const QString &hint)
{
    auto *b = Button(parent, name, QStringLiteral("..."), hint);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    return b;
}

THistoryCombo *History(QWidget *parent, const char *name, const char *section)
{
    auto *c = Named(new THistoryCombo(parent), name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->SetRegistryPath(QString::fromLatin1(kHistoryKey));
    c->SetIniSection(QString::fromLatin1(section));
    c->setCurrentIndex(-1);
    c->setEditText(QString());
    c->setMinimumContentsLength(28);
    return c;
}

// A folder as the user typed it, without trailing '/' (the root stays "/").
QString FolderText(const QString &text)
{
    QString f = text.trimmed();
    while (f.size() > 1 && f.endsWith(u'/'))
        f.chop(1);
    return f;
}

QStringList QtFilters(const QList<TDialogFilter> &filters, QWidget *form)
{
    QStringList out;
    for (const TDialogFilter &f :
         TranslatedFilters(filters, [form](const QString &key) { return FormText(form, key, QString()); }))
        out << f.QtFilter();
    return out;
}

TDialogFilter Filter(const char *description, QStringList patterns, const char *key)
{
    return TDialogFilter{QString::fromUtf8(description), std::move(patterns), key};
}

QStringList ListFiles(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

// Chosen files first, then the ones listed before.
void PrependFiles(QListWidget *list, const QStringList &chosen)
{
    const QStringList before = ListFiles(list);
    list->clear();
    list->addItems(chosen + before);
}

} // namespace

TKonvHooks DefaultKonvHooks()
{
    TKonvHooks h;
    h.Message = [](QWidget *parent, const QString &key, const QString &text) {
        QMessageBox box(QMessageBox::Information, parent ? parent->window()->windowTitle() : QString(), text,
                        QMessageBox::Ok, parent);
        box.setObjectName(key);
        box.exec();
    };
    h.Confirm = [](QWidget *parent, const QString &key, const QString &text) {
        QMessageBox box(QMessageBox::Question, parent ? parent->window()->windowTitle() : QString(), text,
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.setObjectName(key);
        return box.exec() == QMessageBox::Yes;
    };
    h.OpenFiles = [](QWidget *parent, const QStringList &filters, bool multi) {
        QFileDialog dialog(parent, parent ? parent->window()->windowTitle() : QString());
        dialog.setObjectName(QStringLiteral("OpenPictureDialog"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(multi ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.last());
        dialog.setLabelText(QFileDialog::Accept, FormText(parent, QStringLiteral("opendlg_choice_btn"),
                                                          QStringLiteral("&Auswählen")));
        dialog.setDirectory(DialogStartFolder({}));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
    };
    h.BrowseFolder = [] { return BrowseForFolder(); };
    h.SelectFolder = [](QWidget *parent, const QString &caption) {
        QString folder;
        zk::SelectFolder(caption, folder, parent);
        return folder;
    };
    h.ChooseColor = [](QWidget *parent, const QColor &start) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(start, parent);
        if (!c.isValid())
            return std::nullopt;
        return c;
    };
    h.Help = [](QWidget *parent) { ShowHelpPage(parent, QStringLiteral("extratools")); };
    return h;
}

// ---------------------------------------------------------------------------
// TKonvControlFrame

TKonvControlFrame::TKonvControlFrame(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("KonvControlFrame"));
    setFrameShape(QFrame::StyledPanel);
    StartButton = Button(this, "StartButton", QStringLiteral("Start"), QStringLiteral("Aktion starten"));
    StartButton->setDefault(true);
    LOutPutCheckBox = Named(new QCheckBox(QStringLiteral("&Log-Datei ausgeben"), this), "LOutPutCheckBox");
    LogFileButton = Button(this, "LogFileButton", QStringLiteral("Log-&Verzeichnis..."),
                           QStringLiteral("Verzeichnis der Log-Datei wählen"));
    auto *row = new QHBoxLayout(this);
    row->addWidget(LOutPutCheckBox);
    row->addWidget(LogFileButton);
    row->addStretch(1);
    row->addWidget(StartButton);
}

// ---------------------------------------------------------------------------
// TKonvJobForm

TKonvJobForm::TKonvJobForm(TKonvJob job, std::shared_ptr<TKonvHooks> hooks, QWidget *parent)
    : QWidget(parent), m_job(job), m_hooks(std::move(hooks))
{
    if (!m_hooks)
        m_hooks = std::make_shared<TKonvHooks>(DefaultKonvHooks());
    KonvControlFrame = new TKonvControlFrame(this);
    m_batch = new TKonvBatch(this);
    const TKonvJobNames &names = KonvJobNames(job);
    ReadLogSettings(QString::fromLatin1(names.flagName), QString::fromLatin1(names.pathName), LogFile,
                    KonvControlFrame->LOutPutCheckBox);
    connect(KonvControlFrame->LOutPutCheckBox, &QCheckBox::clicked, this,
            [this](bool on) { LogFile.LogFile = on; });
    connect(KonvControlFrame->LogFileButton, &QPushButton::clicked, this, [this] { LogFileButtonClick(); });
}

TKonvJobForm::~TKonvJobForm()
{
    if (m_cursorSet)
        QApplication::restoreOverrideCursor();
}

QString TKonvJobForm::LogFilePath() const
{
    const QString folder = LogFile.LogFilePath.isEmpty() ? AppFilePath(QString()) : LogFile.LogFilePath;
    return QDir(folder).filePath(QString::fromLatin1(KonvJobNames(m_job).logFile));
}

void TKonvJobForm::SetLanguage(const QStringList &script, int languageIndex)
{
    SetFormLanguage(this, script, languageIndex);
}

void TKonvJobForm::FormClose()
{
    const TKonvJobNames &names = KonvJobNames(m_job);
    WriteLogSettings(QString::fromLatin1(names.flagName), QString::fromLatin1(names.pathName), LogFile);
}

QString TKonvJobForm::Text(const char *key, const QString &german) const
{
    return FormText(const_cast<TKonvJobForm *>(this), QString::fromLatin1(key), german);
}

void TKonvJobForm::MessageText(const QString &key, const QString &text)
{
    if (m_hooks->Message)
        m_hooks->Message(this, key, text);
}

void TKonvJobForm::Message(const char *key, const QString &german, QWidget *focus)
{
    MessageText(QString::fromLatin1(key), Text(key, german));
    if (focus)
        focus->setFocus();
}

bool TKonvJobForm::Confirm(const char *key, const QString &german)
{
    return m_hooks->Confirm && m_hooks->Confirm(this, QString::fromLatin1(key), Text(key, german));
}

QStringList TKonvJobForm::OpenFiles(const QStringList &filters, bool multi)
{
    return m_hooks->OpenFiles ? m_hooks->OpenFiles(this, filters, multi) : QStringList();
}

void TKonvJobForm::Preview(const QString &file)
{
    if (m_hooks->Preview)
        m_hooks->Preview(this, file);
}

void TKonvJobForm::LogFileButtonClick()
{
    // A cancelled dialog keeps the folder there was.
    const QString folder = m_hooks->BrowseFolder ? m_hooks->BrowseFolder() : QString();
    if (!folder.isEmpty())
        LogFile.LogFilePath = folder;
}

void TKonvJobForm::BeginRun(int progressMax)
{
    m_running = true;
    emit RunningChanged(true);
    if (!m_cursorSet) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_cursorSet = true;
    }
    if (progressMax > 0) {
        m_progress = new TProgressForm(window());
        m_progress->SetMax(progressMax);
        m_progress->show();
    }
}

void TKonvJobForm::StepProgress(int step)
{
    // The window ends itself (or the conversion closes it): once gone it is
    // left alone and the run goes on.
    if (m_progress && !m_progress->IsEnded())
        m_progress->SetPosition(std::uint8_t(step));
}

void TKonvJobForm::EndRun()
{
    if (m_cursorSet) {
        QApplication::restoreOverrideCursor();
        m_cursorSet = false;
    }
    if (m_progress && !m_progress->IsEnded())
        m_progress->close();
    m_progress = nullptr;
    m_running = false;
    emit RunningChanged(false);
    emit RunEnded();
}

void TKonvJobForm::WriteLog(const TKonvLog &log)
{
    if (!LogFile.LogFile)
        return;
    const QString path = LogFilePath();
    QString error;
    if (!log.Write(QFileInfo(path).absolutePath(), QFileInfo(path).fileName(), &error))
        MessageText(QStringLiteral("showmsg_log_not_written"),
                    Text("showmsg_log_not_written", QStringLiteral("Die Log-Datei konnte nicht geschrieben werden:")) +
                        u'\n' + error);
}

bool TKonvJobForm::CheckWritable(const QString &folder)
{
    if (KonvFolderWritable(folder))
        return true;
    MessageText(QStringLiteral("showmsg_dir_not_writable"),
                Text("showmsg_dir_not_writable", QStringLiteral("In dieses Verzeichnis kann nicht geschrieben werden:")) +
                    u'\n' + QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath()));
    return false;
}

bool TKonvJobForm::EnsureTargetFolder(QComboBox *box)
{
    const QString folder = FolderText(box->currentText());
    if (!QFileInfo(folder).isDir()) {
        if (folder.isEmpty()) {
            Message("showmsg_please_cordir",
                    QStringLiteral("Das Verzeichnis existiert nicht. Bitte ein vorhandenes Verzeichnis angeben."), box);
            return false;
        }
        if (!Confirm("err_msg_no_dest_dir_new_create",
                     QStringLiteral("Das Zielverzeichnis existiert nicht. Soll es angelegt werden?")))
            return false;
        if (!QDir().mkpath(folder))
            return CheckWritable(folder);
    }
    return CheckWritable(folder);
}

void TKonvJobForm::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter p(this);
    for (QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isVisible() || qobject_cast<QLabel *>(child))
            continue;
        const bool check = qobject_cast<QCheckBox *>(child) != nullptr;
        if ((qobject_cast<QAbstractButton *>(child) && !check) || (check && m_shadowSkipsChecks))
            continue;
        PaintShadow(p, child, 4, TColor(0x808080));
    }
}

// ---------------------------------------------------------------------------
// TFileKonvertForm

TFileKonvertForm::TFileKonvertForm(std::shared_ptr<TKonvHooks> hooks, QWidget *parent)
    : TKonvJobForm(TKonvJob::File, std::move(hooks), parent)
{
    setObjectName(QStringLiteral("FileKonvertForm"));
    m_shadowSkipsChecks = false;
    setAcceptDrops(true);
    SourcePathEdit = Named(new QLineEdit(this), "SourcePathEdit");
    DestPathEdit = Named(new QLineEdit(this), "DestPathEdit");
    // The form takes dropped files, not the edits.
    SourcePathEdit->setAcceptDrops(false);
    DestPathEdit->setAcceptDrops(false);
    FTypComboBox = Named(new QComboBox(this), "FTypComboBox");
    SPrevButton = Button(this, "SPrevButton", QStringLiteral("&Vorschau..."), QStringLiteral("Quelldatei ansehen"));
    ResViewButton = Button(this, "ResViewButton", QStringLiteral("&Ergebnis..."),
                           QStringLiteral("Konvertierte Datei ansehen"));
    ResViewButton->setEnabled(false);
    SPrevButton->setEnabled(CanPreview());
    SourcePathBitBtn = ChooseButton(this, "SourcePathBitBtn", QStringLiteral("Quelldatei wählen"));
    DestPathBitBtn = ChooseButton(this, "DestPathBitBtn", QStringLiteral("Zielverzeichnis wählen"));

    auto *grid = new QGridLayout(this);
    grid->setSpacing(10);
    grid->addWidget(Label(this, "FKSourceLabel", QStringLiteral("Quelldatei:")), 0, 0);
    grid->addWidget(SourcePathEdit, 0, 1);
    grid->addWidget(SourcePathBitBtn, 0, 2);
    grid->addWidget(SPrevButton, 0, 3);
    grid->addWidget(Label(this, "FKDestLabel", QStringLiteral("Zielverzeichnis:")), 1, 0);
    grid->addWidget(DestPathEdit, 1, 1);
    grid->addWidget(DestPathBitBtn, 1, 2);
    grid->addWidget(ResViewButton, 1, 3);
    grid->addWidget(Label(this, "FKTypLabel", QStringLiteral("Zieltyp:")), 2, 0);
    grid->addWidget(FTypComboBox, 2, 1, Qt::AlignLeft);
    grid->setRowStretch(3, 1);
    grid->addWidget(KonvControlFrame, 4, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    FTypComboBox->setMinimumContentsLength(6);

    connect(SourcePathBitBtn, &QPushButton::clicked, this, [this] { SourcePathBitBtnClick(); });
    connect(DestPathBitBtn, &QPushButton::clicked, this, [this] { DestPathBitBtnClick(); });
    connect(FTypComboBox, &QComboBox::activated, this, [this] { FTypComboBoxChange(); });
    connect(SPrevButton, &QPushButton::clicked, this, [this] { SPrevButtonClick(); });
    connect(ResViewButton, &QPushButton::clicked, this, [this] { ResViewButtonClick(); });
    connect(KonvControlFrame->StartButton, &QPushButton::clicked, this, [this] { StartButtonClick(); });
}

QStringList TFileKonvertForm::OpenFilters(QWidget *form)
{
    static const QList<TDialogFilter> filters = {
        Filter("Windows Bitmap", {"*.bmp"}, "opendlg_filter_bmp"),
        Filter("JPEG-Grafik", {"*.jpg", "*.jpeg"}, "opendlg_filter_jpeg"),
        Filter("GIF-Grafik", {"*.gif"}, "opendlg_filter_gif"),
        Filter("Windows Metafile", {"*.wmf"}, "opendlg_filter_wmf"),
        Filter("Enhanced Windows Metafile", {"*.emf"}, "opendlg_filter_emf"),
        Filter("Windows Icon", {"*.ico"}, "opendlg_filter_ico"),
        Filter("Zelkora Bitmap", {"*.zkg"}, "opendlg_filter_zkg"),
        Filter("Portable Network Graphics", {"*.png"}, "opendlg_filter_png"),
        Filter("Alle lesbaren Dateien",
               {"*.bmp", "*.jpg", "*.jpeg", "*.gif", "*.wmf", "*.emf", "*.ico", "*.zkg", "*.png"},
               "opendlg_filter_all"),
    };
    return QtFilters(filters, form);
}

void TFileKonvertForm::SourcePathBitBtnClick()
{
    const QStringList chosen = OpenFiles(OpenFilters(this), false);
    if (chosen.isEmpty())
        return;
    SourcePathEdit->setText(chosen.first());
    FillTypes();
}

void TFileKonvertForm::FillTypes()
{
    FTypComboBox->clear();
    FTypComboBox->addItems(FileTargetTypes(KonvFileExt(SourcePathEdit->text().trimmed())));
    FTypComboBox->setCurrentIndex(FTypComboBox->count() > 0 ? 0 : -1);
}

void TFileKonvertForm::DestPathBitBtnClick()
{
    const QString folder = Hooks().BrowseFolder ? Hooks().BrowseFolder() : QString();
    if (!folder.isEmpty())
        DestPathEdit->setText(FolderText(folder) == QLatin1String("/") ? QStringLiteral("/") : FolderText(folder) + u'/');
}

void TFileKonvertForm::FTypComboBoxChange()
{
    // Drops the name of an earlier result, keeping the folder.
    const QString text = DestPathEdit->text();
    if (!QFileInfo(text).isDir())
        DestPathEdit->setText(text.left(text.lastIndexOf(u'/') + 1));
}

void TFileKonvertForm::DropFile(const QString &file)
{
    const QFileInfo fi(file);
    if (!fi.isFile())
        return;
    SourcePathEdit->setText(fi.absoluteFilePath());
    DestPathEdit->setText(fi.absolutePath() == QLatin1String("/") ? QStringLiteral("/") : fi.absolutePath() + u'/');
    FillTypes();
}

void TFileKonvertForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFileKonvertForm::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        event->acceptProposedAction();
        DropFile(urls.first().toLocalFile());
    }
}

void TFileKonvertForm::StartButtonClick()
{
    if (Running())
        return;
    const QString source = SourcePathEdit->text().trimmed();
    if (!QFileInfo(source).isFile()) {
        Message("showmsg_please_corfile",
                QStringLiteral("Die Datei existiert nicht. Bitte eine vorhandene Datei angeben."), SourcePathEdit);
        return;
    }
    // The edit holds the folder, or the result of the last run in it.
    QString folder = DestPathEdit->text().trimmed();
    if (!QFileInfo(folder).isDir())
        folder = folder.left(folder.lastIndexOf(u'/') + 1);
    folder = FolderText(folder);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        Message("showmsg_please_cordir",
                QStringLiteral("Das Verzeichnis existiert nicht. Bitte ein vorhandenes Verzeichnis angeben."),
                DestPathEdit);
        return;
    }
    if (FTypComboBox->currentIndex() < 0) {
        Message("showmsg_please_desttype", QStringLiteral("Bitte einen Zieltyp wählen."), FTypComboBox);
        return;
    }
    if (!CheckWritable(folder))
        return;

    const QString type = FTypComboBox->currentText();
    const QString ext = KonvFileExt(source);
    const QString target = u'.' + type.toLower();
    ResViewButton->setEnabled(false);
    m_written.clear();
    BeginRun(100);
    StepProgress(50);
    if (GetConversionCode(ext.toLower(), target) == -1) {
        // Not offered by the list, but typed by hand: the conversion layer
        // tells the user and closes the progress window.
        ConvertGraphicFile(source, folder, ext, target, QPointer<QWidget>(Progress()));
        Done(source, folder, type, false, QString(), QString());
        return;
    }
    auto written = std::make_shared<QString>();
    std::vector<TKonvBatch::Item> items(1);
    items[0].Work = [=] {
        *written = ConvertGraphicFileTo(source, folder, ext, target);
        if (written->isEmpty())
            throw ENoConverter();
    };
    items[0].Files = {source, folder + u'/' + KonvBaseName(KonvFileName(source)) + target};
    connect(
        Batch(), &TKonvBatch::Finished, this,
        [=, this] {
            const TKonvBatch::Result r = Batch()->Results().front();
            Done(source, folder, type, r.Ok, *written, r.Error);
        },
        Qt::SingleShotConnection);
    Batch()->Start(std::move(items));
}

void TFileKonvertForm::Done(const QString &source, const QString &folder, const QString &type, bool ok,
                            const QString &written, const QString &error)
{
    StepProgress(50);
    const QString sourceName = KonvFileName(source);
    const QString ext = KonvFileExt(source);
    // The name the conversion wrote; for a failure the name it would have.
    const QString targetName = ok ? KonvFileName(written) : KonvBaseName(sourceName) + u'.' + type.toLower();
    TKonvLog log;
    log.Begin(KonvHeaderLine(TKonvJob::File, ok),
              (ok ? QStringLiteral("Aktion: Datei-Konvertieren, Konvertieren von ")
                  : QStringLiteral("Aktion: Konvertieren von ")) +
                  ext + QStringLiteral(" in .") + type);
    log.Add(KonvResultLine(sourceName, targetName, ok));
    log.End();
    EndRun();
    WriteLog(log);
    m_written = ok ? written : QString();
    ResViewButton->setEnabled(ok && CanPreview() && QFileInfo(written).isFile());
    DestPathEdit->setText((folder == QLatin1String("/") ? folder : folder + u'/') + targetName);
    if (!ok && !error.isEmpty())
        MessageText(QStringLiteral("showmsg_konv_failed"),
                    Text("showmsg_konv_failed", QStringLiteral("Die Datei wurde nicht konvertiert:")) + u'\n' +
                        error);
}

void TFileKonvertForm::SPrevButtonClick()
{
    const QString file = SourcePathEdit->text().trimmed();
    if (QFileInfo(file).isFile())
        Preview(file);
    else
        Message("showmsg_please_corfile",
                QStringLiteral("Die Datei existiert nicht. Bitte eine vorhandene Datei angeben."));
}

void TFileKonvertForm::ResViewButtonClick()
{
    const QString file = DestPathEdit->text().trimmed();
    if (QFileInfo(file).isFile())
        Preview(file);
    else
        Message("showmsg_please_corfile",
                QStringLiteral("Die Datei existiert nicht. Bitte eine vorhandene Datei angeben."));
}

// ---------------------------------------------------------------------------
// TDirKonvertForm

TDirKonvertForm::TDirKonvertForm(std::shared_ptr<TKonvHooks> hooks, QWidget *parent)
    : TKonvJobForm(TKonvJob::Dir, std::move(hooks), parent)
{
    setObjectName(QStringLiteral("DirKonvertForm"));
    VonHistoryCombo = History(this, "VonHistoryCombo", "DKv");
    NachHistoryCombo = History(this, "NachHistoryCombo", "DKn");
    TypVonComboBox = Named(new QComboBox(this), "TypVonComboBox");
    TypVonComboBox->addItems(DirSourceTypes());
    TypVonComboBox->setCurrentIndex(-1);
    TypNachComboBox = Named(new QComboBox(this), "TypNachComboBox");
    TypVonComboBox->setMinimumContentsLength(5);
    TypNachComboBox->setMinimumContentsLength(5);
    LogListBox = Named(new QListWidget(this), "LogListBox");
    VonBitBtn = ChooseButton(this, "VonBitBtn", QStringLiteral("Quellverzeichnis wählen"));
    NachBitBtn = ChooseButton(this, "NachBitBtn", QStringLiteral("Zielverzeichnis wählen"));

    auto *grid = new QGridLayout(this);
    grid->setSpacing(10);
    grid->addWidget(Label(this, "DKVonLabel", QStringLiteral("Quellverzeichnis:")), 0, 0);
    grid->addWidget(VonHistoryCombo, 0, 1, 1, 3);
    grid->addWidget(VonBitBtn, 0, 4);
    grid->addWidget(Label(this, "DKTypVonLabel", QStringLiteral("Quelltyp:")), 1, 0);
    grid->addWidget(TypVonComboBox, 1, 1);
    grid->addWidget(Label(this, "DKTypNachLabel", QStringLiteral("Zieltyp:")), 1, 2, Qt::AlignRight);
    grid->addWidget(TypNachComboBox, 1, 3, Qt::AlignLeft);
    grid->addWidget(Label(this, "DKNachLabel", QStringLiteral("Zielverzeichnis:")), 2, 0);
    grid->addWidget(NachHistoryCombo, 2, 1, 1, 3);
    grid->addWidget(NachBitBtn, 2, 4);
    grid->addWidget(LogListBox, 3, 0, 1, 5);
    grid->addWidget(KonvControlFrame, 4, 0, 1, 5);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(3, 1);

    connect(VonBitBtn, &QPushButton::clicked, this, [this] { VonBitBtnClick(); });
    connect(NachBitBtn, &QPushButton::clicked, this, [this] { NachBitBtnClick(); });
    connect(TypVonComboBox, &QComboBox::currentIndexChanged, this, [this] { TypVonComboBoxChange(); });
    connect(KonvControlFrame->StartButton, &QPushButton::clicked, this, [this] { StartButtonClick(); });
}

void TDirKonvertForm::VonBitBtnClick()
{
    const QString folder = Hooks().SelectFolder
                               ? Hooks().SelectFolder(this, Text("select_dir_dlg_source",
                                                                 QStringLiteral("Quellverzeichnis wählen")))
                               : QString();
    if (!folder.isEmpty())
        VonHistoryCombo->setEditText(folder);
}

void TDirKonvertForm::NachBitBtnClick()
{
    const QString folder = Hooks().BrowseFolder ? Hooks().BrowseFolder() : QString();
    if (!folder.isEmpty())
        NachHistoryCombo->setEditText(folder);
}

void TDirKonvertForm::TypVonComboBoxChange()
{
    TypNachComboBox->clear();
    if (TypVonComboBox->currentIndex() < 0)
        return;
    TypNachComboBox->addItems(DirTargetTypes(TypVonComboBox->currentText()));
    TypNachComboBox->setCurrentIndex(TypNachComboBox->count() > 0 ? 0 : -1);
}

void TDirKonvertForm::StartButtonClick()
{
    if (Running())
        return;
    LogListBox->clear();
    const QString source = FolderText(VonHistoryCombo->currentText());
    const QString target = FolderText(NachHistoryCombo->currentText());
    const QString from = TypVonComboBox->currentIndex() < 0 ? QString() : TypVonComboBox->currentText();
    const QString to = TypNachComboBox->currentIndex() < 0 ? QString() : TypNachComboBox->currentText();
    const QString noSource = QStringLiteral("Bitte ein vorhandenes Quellverzeichnis angeben.");
    if (source.isEmpty())
        return Message("err_msg_no_source_dir", noSource, VonHistoryCombo);
    if (target.isEmpty())
        return Message("err_msg_no_dest_dir", QStringLiteral("Bitte ein Zielverzeichnis angeben."), NachHistoryCombo);
    if (from.isEmpty())
        return Message("err_msg_no_source_type", QStringLiteral("Bitte einen Quelltyp wählen."), TypVonComboBox);
    if (to.isEmpty())
        return Message("err_msg_no_dest_type", QStringLiteral("Bitte einen Zieltyp wählen."), TypNachComboBox);
    if (from == to)
        return Message("err_msg_source_is_dest", QStringLiteral("Quell- und Zieltyp sind gleich."), TypVonComboBox);
    if (!QFileInfo(source).isDir())
        return Message("err_msg_no_source_dir", noSource, VonHistoryCombo);
    const QString E = u'.' + from.left(3), F = u'.' + to.left(3);
    if (GetConversionCode(E.toLower(), F.toLower()) == -1)
        return Message("err_msg_incompatibel_fileformats",
                       QStringLiteral("Diese Dateiformate lassen sich nicht ineinander konvertieren."),
                       TypNachComboBox);
    if (!QFileInfo(target).isDir()) {
        if (!Confirm("err_msg_no_dest_dir_new_create",
                     QStringLiteral("Das Zielverzeichnis existiert nicht. Soll es angelegt werden?")))
            return;
        if (!QDir().mkpath(target)) {
            CheckWritable(target);
            return;
        }
    }
    if (!CheckWritable(target))
        return;

    const TDirScan scan = ScanKonvFolder(source, E);
    if (scan.Count == 0)
        return Message("showmsg_please_corfile",
                       QStringLiteral("Die Datei existiert nicht. Bitte eine vorhandene Datei angeben."));

    auto log = std::make_shared<TKonvLog>();
    log->Begin(KonvHeaderLine(TKonvJob::Dir),
               QStringLiteral("Aktion: Verzeichnis-Konvertieren, Konvertieren von ") + E.toUpper() +
                   QStringLiteral(" in ") + F.toUpper());
    EnableChildControls(this, false);
    EnableChildControls(KonvControlFrame, false);
    BeginRun(int(scan.Files.size()));

    const QStringList files = scan.Files;
    const auto finish = [this, log] {
        log->End();
        EnableChildControls(KonvControlFrame, true);
        EnableChildControls(this, true);
        EndRun();
        WriteLog(*log);
    };
    if (files.isEmpty()) {
        MessageText(QStringLiteral("showmsg_no_matching_file"),
                    Text("showmsg_no_matching_file", QStringLiteral("Keine entsprechende %1-Datei im "
                                                                    "Quellverzeichnis vorhanden!"))
                        .replace(QLatin1String("%1"), E.toLower()));
        finish();
        return;
    }
    std::vector<TKonvBatch::Item> items(files.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const QString file = source + u'/' + files[int(i)];
        const QString src = E.toLower(), dst = F.toLower();
        items[i].Work = [file, target, src, dst] {
            if (ConvertGraphicFileTo(file, target, src, dst).isEmpty())
                throw ENoConverter();
        };
        items[i].Files = {file, target + u'/' + KonvBaseName(files[int(i)]) + dst};
    }
    auto *context = new QObject(this);
    connect(Batch(), &TKonvBatch::FileEnded, context, [this] { StepProgress(1); });
    connect(Batch(), &TKonvBatch::ResultReady, context, [this, log, files, F](int i, bool ok) {
        const QString line = KonvResultLine(i + 1, files[i], KonvBaseName(files[i]) + F.toUpper(), ok);
        log->Add(line);
        LogListBox->addItem(line);
    });
    connect(Batch(), &TKonvBatch::Finished, context, [this, context, finish] {
        Batch()->disconnect(context);
        context->deleteLater();
        finish();
    });
    Batch()->Start(std::move(items));
}

// ---------------------------------------------------------------------------
// TMultiKonvertForm

TMultiKonvertForm::TMultiKonvertForm(std::shared_ptr<TKonvHooks> hooks, QWidget *parent)
    : TKonvJobForm(TKonvJob::Multi, std::move(hooks), parent)
{
    setObjectName(QStringLiteral("MultiKonvertForm"));
    OpenBitBtn = Button(this, "OpenBitBtn", QStringLiteral("&Auswählen..."), QStringLiteral("Dateien wählen"));
    ListEmptyButton = Button(this, "ListEmptyButton", QStringLiteral("Liste &leeren"));
    ListEmptyButton->setEnabled(false);
    PathBitBtn = ChooseButton(this, "PathBitBtn", QStringLiteral("Zielverzeichnis wählen"));
    SourceListBox = Named(new QListWidget(this), "SourceListBox");
    TypComboBox = Named(new QComboBox(this), "TypComboBox");
    TypComboBox->setMinimumContentsLength(5);
    PathHistoryCombo = History(this, "PathHistoryCombo", "MKn");
    KonvControlFrame->StartButton->setEnabled(false);

    auto *grid = new QGridLayout(this);
    grid->setSpacing(10);
    grid->addWidget(Label(this, "MKListLabel", QStringLiteral("Dateien:")), 0, 0, 1, 2);
    grid->addWidget(SourceListBox, 1, 0, 3, 3);
    grid->addWidget(OpenBitBtn, 1, 3);
    grid->addWidget(ListEmptyButton, 2, 3, Qt::AlignTop);
    grid->addWidget(Label(this, "MKTypLabel", QStringLiteral("Zieltyp:")), 4, 0);
    grid->addWidget(TypComboBox, 4, 1, Qt::AlignLeft);
    grid->addWidget(Label(this, "MKPathLabel", QStringLiteral("Zielverzeichnis:")), 5, 0);
    grid->addWidget(PathHistoryCombo, 5, 1, 1, 2);
    grid->addWidget(PathBitBtn, 5, 3, Qt::AlignLeft);
    grid->addWidget(KonvControlFrame, 6, 0, 1, 4);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(2, 1);

    connect(OpenBitBtn, &QPushButton::clicked, this, [this] { OpenBitBtnClick(); });
    connect(ListEmptyButton, &QPushButton::clicked, this, [this] { ListEmptyButtonClick(); });
    connect(PathBitBtn, &QPushButton::clicked, this, [this] { PathBitBtnClick(); });
    connect(SourceListBox, &QListWidget::itemDoubleClicked, this, [this] { SourceListBoxDblClick(); });
    connect(KonvControlFrame->StartButton, &QPushButton::clicked, this, [this] { StartButtonClick(); });
}

QStringList TMultiKonvertForm::OpenFilters(QWidget *form)
{
    static const QList<TDialogFilter> filters = {
        Filter("Windows Bitmap", {"*.bmp"}, "opendlg_filter_bmp"),
        Filter("JPEG-Grafik", {"*.jpg", "*.jpeg"}, "opendlg_filter_jpeg"),
        Filter("Windows Metafile", {"*.wmf"}, "opendlg_filter_wmf"),
        Filter("Enhanced Windows Metafile", {"*.emf"}, "opendlg_filter_emf"),
        Filter("Windows Icon", {"*.ico"}, "opendlg_filter_ico"),
        Filter("Zelkora Bitmap", {"*.zkg"}, "opendlg_filter_zkg"),
        Filter("Portable Network Graphics", {"*.png"}, "opendlg_filter_png"),
        Filter("Alle lesbaren Dateien", {"*.bmp", "*.jpg", "*.jpeg", "*.wmf", "*.emf", "*.ico", "*.zkg", "*.png"},
               "opendlg_filter_all"),
    };
    return QtFilters(filters, form);
}

QStringList TMultiKonvertForm::Files() const
{
    return ListFiles(SourceListBox);
}

void TMultiKonvertForm::OpenBitBtnClick()
{
    const QStringList chosen = OpenFiles(OpenFilters(this), true);
    if (!chosen.isEmpty()) {
        PrependFiles(SourceListBox, chosen);
        ListEmptyButton->setEnabled(true);
        KonvControlFrame->StartButton->setEnabled(true);
    }
    FillTypes();
}

void TMultiKonvertForm::FillTypes()
{
    TypComboBox->clear();
    TypComboBox->addItems(MultiTargetTypes(Files()));
    TypComboBox->setCurrentIndex(-1);
}

void TMultiKonvertForm::ListEmptyButtonClick()
{
    SourceListBox->clear();
    TypComboBox->clear();
    ListEmptyButton->setEnabled(false);
    KonvControlFrame->StartButton->setEnabled(false);
}

void TMultiKonvertForm::PathBitBtnClick()
{
    const QString folder = Hooks().BrowseFolder ? Hooks().BrowseFolder() : QString();
    if (!folder.isEmpty())
        PathHistoryCombo->setEditText(folder);
}

void TMultiKonvertForm::SourceListBoxDblClick()
{
    const QListWidgetItem *item = SourceListBox->currentItem();
    if (!item || !CanPreview())
        return;
    if (QFileInfo(item->text()).isFile())
        Preview(item->text());
    else
        Message("showmsg_mistake_graphic", QStringLiteral("Die Grafikdatei ist nicht vorhanden."));
}

void TMultiKonvertForm::StartButtonClick()
{
    if (Running() || SourceListBox->count() == 0)
        return;
    if (!EnsureTargetFolder(PathHistoryCombo))
        return;
    if (TypComboBox->currentIndex() < 0)
        return Message("showmsg_please_corouttype", QStringLiteral("Bitte einen Ausgabetyp wählen."), TypComboBox);

    const QString folder = FolderText(PathHistoryCombo->currentText());
    const QString type = TypComboBox->currentText().toLower();
    const QString target = u'.' + type;
    const QStringList files = Files();
    EnableChildControls(this, false);
    BeginRun(int(files.size()));
    auto log = std::make_shared<TKonvLog>();
    log->Begin(KonvHeaderLine(TKonvJob::Multi),
               QStringLiteral("Aktion: Multi-Konvertieren, Konvertieren von Formaten in ") + type);

    std::vector<TKonvBatch::Item> items(files.size());
    TTargetPlaces places(files);
    for (size_t i = 0; i < items.size(); ++i) {
        const QString file = files[int(i)];
        const QString ext = KonvFileExt(file);
        items[i].Files = {file, folder + u'/' + KonvBaseName(KonvFileName(file)) + target};
        if (!places.Claim(items[i].Files[1]))
            continue; // two files of one name ("a.bmp", "a.jpg"), or a listed file in the way
        if (GetConversionCode(ext.toLower(), target) == -1) {
            // The list offers every type not listed, so a pair may have no
            // converter: the conversion layer says so, the file fails.
            ConvertGraphicFile(file, folder, ext, target, QPointer<QWidget>(Progress()));
            continue;
        }
        items[i].Work = [file, folder, ext, target] {
            if (ConvertGraphicFileTo(file, folder, ext, target).isEmpty())
                throw ENoConverter();
        };
    }
    auto *context = new QObject(this);
    connect(Batch(), &TKonvBatch::FileEnded, context, [this] { StepProgress(1); });
    connect(Batch(), &TKonvBatch::ResultReady, context, [log, files, type](int i, bool ok) {
        const QString name = KonvFileName(files[i]);
        log->Add(KonvResultLine(i, name, KonvBaseName(name) + u'.' + type, ok));
    });
    connect(Batch(), &TKonvBatch::Finished, context, [this, context, log] {
        Batch()->disconnect(context);
        context->deleteLater();
        log->End();
        WriteLog(*log);
        EnableChildControls(this, true);
        // The list buttons follow the list, which the run left as it was.
        EndRun();
    });
    Batch()->Start(std::move(items));
}

// ---------------------------------------------------------------------------
// TThumbBMForm

TThumbBMForm::TThumbBMForm(std::shared_ptr<TKonvHooks> hooks, QWidget *parent)
    : TKonvJobForm(TKonvJob::Thumb, std::move(hooks), parent)
{
    setObjectName(QStringLiteral("ThumbBMForm"));
    m_shadowSkipsChecks = false;
    OpenBitBtn = Button(this, "OpenBitBtn", QStringLiteral("&Auswählen..."), QStringLiteral("Dateien wählen"));
    ClearListButton = Button(this, "ClearListButton", QStringLiteral("Liste &leeren"));
    PrevSource1Button = Button(this, "PrevSource1Button", QStringLiteral("&Original"));
    PrevDestButton = Button(this, "PrevDestButton", QStringLiteral("&Thumbnail"));
    ClearListButton->setEnabled(false);
    PrevSource1Button->setEnabled(false);
    PrevDestButton->setEnabled(false);
    KonvControlFrame->StartButton->setEnabled(false);
    ColrButton = ChooseButton(this, "ColrButton", QStringLiteral("Füllfarbe wählen"));
    PathBitBtn = ChooseButton(this, "PathBitBtn", QStringLiteral("Zielverzeichnis wählen"));
    SourceListBox = Named(new QListWidget(this), "SourceListBox");
    WidthEdit = Named(new QLineEdit(this), "WidthEdit");
    HeightEdit = Named(new QLineEdit(this), "HeightEdit");
    MakeEditNumeric(WidthEdit);
    MakeEditNumeric(HeightEdit);
    WidthUpDown = AttachUpDown(WidthEdit, "WidthUpDown", 1, 1000, 120);
    HeightUpDown = AttachUpDown(HeightEdit, "HeightUpDown", 1, 1000, 150);
    const QString widthHint = QStringLiteral("Breite der zu erstellenden Thumbnail maximal 1000");
    const QString heightHint = QStringLiteral("Höhe der zu erstellenden Thumbnail maximal 1000");
    WidthEdit->setToolTip(widthHint);
    WidthUpDown->setToolTip(widthHint);
    HeightEdit->setToolTip(heightHint);
    HeightUpDown->setToolTip(heightHint);
    FillColrShape = Named(new QFrame(this), "FillColrShape");
    FillColrShape->setFrameShape(QFrame::Box);
    FillColrShape->setFixedSize(40, 22);
    FillColrShape->setAutoFillBackground(true);
    SetFillColor(Qt::white);
    PrfxEdit = Named(new QLineEdit(this), "PrfxEdit");
    PathHistoryCombo = History(this, "PathHistoryCombo", "ThumbOutput");
    // Dropped files are not taken, and no edit takes them as text either.
    for (QLineEdit *e : {WidthEdit, HeightEdit, PrfxEdit, PathHistoryCombo->lineEdit()})
        e->setAcceptDrops(false);

    auto *grid = new QGridLayout(this);
    grid->setSpacing(10);
    grid->addWidget(Label(this, "TKListLabel", QStringLiteral("Dateien:")), 0, 0, 1, 2);
    grid->addWidget(SourceListBox, 1, 0, 5, 4);
    grid->addWidget(OpenBitBtn, 1, 4);
    grid->addWidget(ClearListButton, 2, 4);
    grid->addWidget(PrevSource1Button, 3, 4);
    grid->addWidget(PrevDestButton, 4, 4, Qt::AlignTop);
    auto *size = new QHBoxLayout;
    size->setSpacing(10);
    size->addWidget(WidthEdit);
    size->addWidget(WidthUpDown);
    size->addSpacing(8);
    size->addWidget(Label(this, "TKHeightLabel", QStringLiteral("Höhe:")));
    size->addWidget(HeightEdit);
    size->addWidget(HeightUpDown);
    size->addSpacing(8);
    size->addWidget(Label(this, "TKFillLabel", QStringLiteral("Füllfarbe:")));
    size->addWidget(FillColrShape);
    size->addWidget(ColrButton);
    size->addStretch(1);
    WidthEdit->setMaximumWidth(60);
    HeightEdit->setMaximumWidth(60);
    grid->addWidget(Label(this, "TKWidthLabel", QStringLiteral("Breite:")), 6, 0);
    grid->addLayout(size, 6, 1, 1, 4);
    grid->addWidget(Label(this, "TKPrfxLabel", QStringLiteral("Präfix:")), 7, 0);
    grid->addWidget(PrfxEdit, 7, 1);
    grid->addWidget(Label(this, "TKPathLabel", QStringLiteral("Zielverzeichnis:")), 8, 0);
    grid->addWidget(PathHistoryCombo, 8, 1, 1, 3);
    grid->addWidget(PathBitBtn, 8, 4, Qt::AlignLeft);
    grid->addWidget(KonvControlFrame, 9, 0, 1, 5);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(3, 1);

    connect(OpenBitBtn, &QPushButton::clicked, this, [this] { OpenBitBtnClick(); });
    connect(ClearListButton, &QPushButton::clicked, this, [this] { ClearListButtonClick(); });
    connect(ColrButton, &QPushButton::clicked, this, [this] { ColrButtonClick(); });
    connect(PathBitBtn, &QPushButton::clicked, this, [this] { PathBitBtnClick(); });
    connect(PrevSource1Button, &QPushButton::clicked, this, [this] { PrevSource1ButtonClick(); });
    connect(SourceListBox, &QListWidget::itemDoubleClicked, this, [this] { PrevSource1ButtonClick(); });
    connect(PrevDestButton, &QPushButton::clicked, this, [this] { PrevDestButtonClick(); });
    connect(KonvControlFrame->StartButton, &QPushButton::clicked, this, [this] { StartButtonClick(); });
}

QStringList TThumbBMForm::OpenFilters(QWidget *form)
{
    static const QList<TDialogFilter> filters = {
        Filter("JPEG-Grafik", {"*.jpg"}, "opendlg_filter_jpeg"),
        Filter("Windows Bitmap", {"*.bmp"}, "opendlg_filter_bmp"),
        Filter("Alle lesbaren Dateien", {"*.jpg", "*.bmp"}, "opendlg_filter_all"),
    };
    return QtFilters(filters, form);
}

QStringList TThumbBMForm::Files() const
{
    return ListFiles(SourceListBox);
}

void TThumbBMForm::SetFillColor(const QColor &color)
{
    m_fill = color;
    FillColrShape->setStyleSheet(QStringLiteral("background-color: %1;").arg(color.name()));
}

QString TThumbBMForm::ThumbPath(const QString &source) const
{
    const QString folder = FolderText(PathHistoryCombo->currentText());
    return (folder == QLatin1String("/") ? folder : folder + u'/') + PrfxEdit->text() + KonvFileName(source);
}

void TThumbBMForm::OpenBitBtnClick()
{
    const QStringList chosen = OpenFiles(OpenFilters(this), true);
    if (chosen.isEmpty())
        return;
    PrependFiles(SourceListBox, chosen);
    ClearListButton->setEnabled(true);
    PrevSource1Button->setEnabled(CanPreview());
    KonvControlFrame->StartButton->setEnabled(true);
}

void TThumbBMForm::ClearListButtonClick()
{
    SourceListBox->clear();
    ClearListButton->setEnabled(false);
    PrevSource1Button->setEnabled(false);
    KonvControlFrame->StartButton->setEnabled(false);
}

void TThumbBMForm::ColrButtonClick()
{
    if (!Hooks().ChooseColor)
        return;
    if (const std::optional<QColor> c = Hooks().ChooseColor(this, m_fill))
        SetFillColor(*c);
}

void TThumbBMForm::PathBitBtnClick()
{
    const QString folder = Hooks().BrowseFolder ? Hooks().BrowseFolder() : QString();
    if (!folder.isEmpty())
        PathHistoryCombo->setEditText(folder);
}

void TThumbBMForm::PrevSource1ButtonClick()
{
    if (SourceListBox->count() == 0 || !CanPreview())
        return;
    if (!SourceListBox->currentItem())
        SourceListBox->setCurrentRow(0);
    const QString file = SourceListBox->currentItem()->text();
    if (QFileInfo(file).isFile())
        Preview(file);
    else
        Message("showmsg_please_select_file", QStringLiteral("Bitte eine vorhandene Datei auswählen."));
}

void TThumbBMForm::PrevDestButtonClick()
{
    if (!CanPreview())
        return;
    const QListWidgetItem *item = SourceListBox->currentItem();
    if (!item && SourceListBox->count() > 0)
        item = SourceListBox->item(0);
    const QString thumb = item ? ThumbPath(item->text()) : QString();
    if (item && QFileInfo(item->text()).isFile() && QFileInfo(thumb).isFile())
        Preview(thumb);
    else
        Message("showmsg_please_select_file", QStringLiteral("Bitte eine vorhandene Datei auswählen."));
}

void TThumbBMForm::dragEnterEvent(QDragEnterEvent *event)
{
    event->ignore();
}

void TThumbBMForm::StartButtonClick()
{
    if (Running() || SourceListBox->count() == 0)
        return;
    if (!EnsureTargetFolder(PathHistoryCombo))
        return;
    const QStringList files = Files();
    const int width = WidthUpDown->Position(), height = HeightUpDown->Position();
    const TColor fill = RGBToTColor(m_fill.red(), m_fill.green(), m_fill.blue());
    const QString prefix = PrfxEdit->text();
    BeginRun(int(files.size()));
    EnableChildControls(this, false);
    auto log = std::make_shared<TKonvLog>();
    if (LogFile.LogFile)
        log->Begin(KonvHeaderLine(TKonvJob::Thumb), QStringLiteral("Aktion: Thumb-Konvertieren, Konvertieren in Thumbnail"));

    std::vector<TKonvBatch::Item> items(files.size());
    TTargetPlaces places(files);
    for (size_t i = 0; i < items.size(); ++i) {
        const QString source = files[int(i)];
        const QString thumb = ThumbPath(source);
        items[i].Files = {source, thumb};
        // Never over a listed picture (with no prefix into a source's own
        // folder) nor over the thumbnail of a file of the same name.
        if (!places.Claim(thumb))
            continue;
        const QString ext = KonvFileExt(source).toLower();
        if (ext == QLatin1String(".jpg"))
            items[i].Work = [=] { MakeJpegThumbnailFile(source, thumb, width, height, fill); };
        else if (ext == QLatin1String(".bmp"))
            items[i].Work = [=] { MakePictureThumbnail(source, thumb, width, height, fill); };
        // Any other type has no thumbnail maker: it fails.
    }
    auto *context = new QObject(this);
    connect(Batch(), &TKonvBatch::FileEnded, context, [this] { StepProgress(1); });
    connect(Batch(), &TKonvBatch::ResultReady, context, [log, files, prefix](int i, bool ok) {
        const QString name = KonvFileName(files[i]);
        log->Add(KonvResultLine(i, name, prefix + name, ok));
    });
    connect(Batch(), &TKonvBatch::Finished, context, [this, context, log] {
        Batch()->disconnect(context);
        context->deleteLater();
        log->End();
        WriteLog(*log);
        EnableChildControls(this, true);
        ClearListButton->setEnabled(SourceListBox->count() > 0);
        PrevSource1Button->setEnabled(SourceListBox->count() > 0 && CanPreview());
        PrevDestButton->setEnabled(CanPreview());
        EndRun();
    });
    Batch()->Start(std::move(items));
}

// ---------------------------------------------------------------------------
// TAllKonvBMForm

TAllKonvBMForm::TAllKonvBMForm(QWidget *owner, std::shared_ptr<TKonvHooks> hooks)
    : TBaseModalForm(owner), m_hooks(std::move(hooks))
{
    if (!m_hooks)
        m_hooks = std::make_shared<TKonvHooks>(DefaultKonvHooks());
    setObjectName(QStringLiteral("AllKonvBMForm"));
    setWindowTitle(QStringLiteral("Grafik-Konvertierung"));
    KonvTabSet = Named(new QTabBar(this), "KonvTabSet");
    for (const char *t : {"Einzelne Datei", "Gesamtes Verzeichnis", "Ausgewählte Dateien", "Thumbnails"})
        KonvTabSet->addTab(QString::fromUtf8(t));
    KonvTabSet->setToolTip(QStringLiteral("Bitte wählen"));
    KonvTabSet->setExpanding(false);
    AllKonvCloseButton = Button(this, "AllKonvCloseButton", QStringLiteral("S&chließen"),
                                QStringLiteral("Konvertierungs-Modul verlassen"));
    auto *page = Named(new QWidget(this), "KonvPagePanel");
    m_stack = new QStackedLayout(page);

    auto *main = new QVBoxLayout(this);
    main->addWidget(KonvTabSet);
    main->addWidget(page, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(AllKonvCloseButton);
    main->addLayout(bottom);
    resize(640, 460);

    connect(KonvTabSet, &QTabBar::currentChanged, this, [this](int i) { KonvTabSetChange(i); });
    connect(AllKonvCloseButton, &QPushButton::clicked, this, [this] { close(); });
    KonvTabSetChange(KonvTabSet->currentIndex());
}

TAllKonvBMForm::~TAllKonvBMForm() = default;

void TAllKonvBMForm::SetTabIndex(int index)
{
    if (index < 0 || index >= KonvTabSet->count())
        return;
    if (KonvTabSet->currentIndex() == index)
        KonvTabSetChange(index);
    else
        KonvTabSet->setCurrentIndex(index);
}

int TAllKonvBMForm::TabIndex() const
{
    return KonvTabSet->currentIndex();
}

bool TAllKonvBMForm::Running() const
{
    for (const auto &f : m_forms)
        if (f && f->Running())
            return true;
    return false;
}

void TAllKonvBMForm::KonvTabSetChange(int index)
{
    if (index < 0 || index > 3)
        return;
    if (!m_forms[size_t(index)]) {
        QWidget *page = m_stack->parentWidget();
        TKonvJobForm *made = nullptr;
        switch (index) {
        case 0: made = new TFileKonvertForm(m_hooks, page); break;
        case 1: made = new TDirKonvertForm(m_hooks, page); break;
        case 2: made = new TMultiKonvertForm(m_hooks, page); break;
        default: made = new TThumbBMForm(m_hooks, page); break;
        }
        m_forms[size_t(index)] = made;
        m_stack->addWidget(made);
        connect(made, &TKonvJobForm::RunningChanged, this, [this] { RunningChanged(); });
        if (m_hooks->Look)
            m_hooks->Look(made);
        if (m_language >= 0)
            made->SetLanguage(m_script, m_language);
    }
    m_stack->setCurrentWidget(m_forms[size_t(index)]);
    SetCaption();
}

void TAllKonvBMForm::SetCaption()
{
    static const char *const keys[] = {"Set_FileKonvForm_Title", "Set_DirKonvForm_Title", "Set_MultiKonvForm_Title",
                                       "Set_ThumbForm_Title"};
    static const char *const german[] = {"Einzelne Datei konvertieren", "Gesamtes Verzeichnis konvertieren",
                                         "Ausgewählte Dateien konvertieren", "Thumbnails erstellen"};
    const int i = KonvTabSet->currentIndex();
    if (i >= 0 && i < 4)
        setWindowTitle(FormText(this, QString::fromLatin1(keys[i]), QString::fromUtf8(german[i])));
}

void TAllKonvBMForm::RunningChanged()
{
    const bool running = Running();
    KonvTabSet->setEnabled(!running);
    AllKonvCloseButton->setEnabled(!running);
}

void TAllKonvBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    m_script = Script;
    m_language = LanguageIndex;
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
    for (const auto &f : m_forms)
        if (f)
            f->SetLanguage(Script, LanguageIndex);
    SetCaption();
}

void TAllKonvBMForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1) {
        if (m_hooks->Help)
            m_hooks->Help(this);
        return;
    }
    TBaseModalForm::keyPressEvent(event);
}

void TAllKonvBMForm::reject()
{
    if (Running())
        return;
    TBaseModalForm::reject();
}

void TAllKonvBMForm::done(int result)
{
    // A job still running keeps the host open; its results are still to come.
    if (Running())
        return;
    if (!m_closing) {
        m_closing = true;
        for (const auto &f : m_forms)
            if (f)
                f->FormClose();
    }
    TBaseModalForm::done(result);
}

void TAllKonvBMForm::closeEvent(QCloseEvent *event)
{
    if (Running()) {
        event->ignore();
        return;
    }
    TBaseModalForm::closeEvent(event);
}

} // namespace zk
