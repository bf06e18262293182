#pragma once
// The conversion host and its four job forms: one file, a whole folder, a
// list of chosen files, and thumbnails. Each job reads its controls, hands
// one piece of work per file to TKonvBatch (worker threads) and writes the
// result lines and the log on the GUI thread as the files end.
#include "BaseModal.h"
#include "Globals.h"
#include "KonvJobs.h"
#include "Progress.h"

#include <QColor>
#include <QFrame>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabBar;
class QStackedLayout;

namespace zk {

class TEditUpDown;
class THistoryCombo;

// What the jobs ask of the user and of the rest of the program. The host
// fills each with the real dialog; tests answer them without one.
struct TKonvHooks
{
    std::function<void(QWidget *parent, const QString &key, const QString &text)> Message;
    std::function<bool(QWidget *parent, const QString &key, const QString &text)> Confirm; // Yes/No
    // The open-picture dialog; the chosen files, none when cancelled.
    std::function<QStringList(QWidget *parent, const QStringList &filters, bool multi)> OpenFiles;
    std::function<QString()> BrowseFolder;                                   // "" when cancelled
    std::function<QString(QWidget *parent, const QString &caption)> SelectFolder; // "" when cancelled
    std::function<std::optional<QColor>(QWidget *parent, const QColor &start)> ChooseColor;
    // The preview of one file; while unset the preview buttons stay off.
    std::function<void(QWidget *owner, const QString &file)> Preview;
    // Gives a newly made job form the main window's look.
    std::function<void(QWidget *form)> Look;
    // F1 on the host.
    std::function<void(QWidget *parent)> Help;
};
// Every hook with its real dialog (Preview, Look and Help stay unset).
TKonvHooks DefaultKonvHooks();

// The three controls every job form shows; the form binds their events.
class TKonvControlFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TKonvControlFrame(QWidget *parent = nullptr);
    QPushButton *StartButton = nullptr;
    QCheckBox *LOutPutCheckBox = nullptr;
    QPushButton *LogFileButton = nullptr;
};

// What the four job forms share: the frame, the log setting, the run and
// its progress window, the texts and the shadow.
class TKonvJobForm : public QWidget
{
    Q_OBJECT
public:
    TKonvJobForm(TKonvJob job, std::shared_ptr<TKonvHooks> hooks, QWidget *parent);
    ~TKonvJobForm() override;

    TKonvControlFrame *KonvControlFrame = nullptr;
    TLogFile LogFile;

    TKonvJob Job() const { return m_job; }
    bool Running() const { return m_running; }
    // The log file of this job in its log folder.
    QString LogFilePath() const;
    virtual void SetLanguage(const QStringList &script, int languageIndex);
    // Writes the log setting (the host closes).
    void FormClose();
    // The progress window of the run, null when none is showing.
    TProgressForm *Progress() const { return m_progress; }

signals:
    void RunningChanged(bool running);
    // A run ended and its log (if any) is written.
    void RunEnded();

protected:
    QString Text(const char *key, const QString &german) const;
    void Message(const char *key, const QString &german, QWidget *focus = nullptr);
    void MessageText(const QString &key, const QString &text);
    bool Confirm(const char *key, const QString &german);
    QStringList OpenFiles(const QStringList &filters, bool multi);
    bool CanPreview() const { return bool(m_hooks->Preview); }
    void Preview(const QString &file);
    const TKonvHooks &Hooks() const { return *m_hooks; }

    // The run's frame: progress window of max steps, busy cursor, running.
    void BeginRun(int progressMax);
    void StepProgress(int step);
    void EndRun();
    TKonvBatch *Batch() const { return m_batch; }
    // Writes the log when its option is on; a failure is told.
    void WriteLog(const TKonvLog &log);
    // The target folder test of the list and thumbnail jobs: missing with an
    // empty text, a message and focus on box; otherwise asked whether to
    // make it. True when the folder is there and can be written.
    bool EnsureTargetFolder(QComboBox *box);
    // True when folder can be written; otherwise a message naming it.
    bool CheckWritable(const QString &folder);

    void paintEvent(QPaintEvent *event) override;
    // Which direct children get no shadow besides buttons.
    bool m_shadowSkipsChecks = true;

private:
    void LogFileButtonClick();

    TKonvJob m_job;
    std::shared_ptr<TKonvHooks> m_hooks;
    TKonvBatch *m_batch = nullptr;
    QPointer<TProgressForm> m_progress;
    bool m_running = false;
    bool m_cursorSet = false;
};

class TFileKonvertForm : public TKonvJobForm
{
    Q_OBJECT
public:
    TFileKonvertForm(std::shared_ptr<TKonvHooks> hooks, QWidget *parent);

    QLineEdit *SourcePathEdit = nullptr;
    QLineEdit *DestPathEdit = nullptr;
    QComboBox *FTypComboBox = nullptr;
    QPushButton *SPrevButton = nullptr;
    QPushButton *ResViewButton = nullptr;
    QPushButton *SourcePathBitBtn = nullptr;
    QPushButton *DestPathBitBtn = nullptr;

    // The open dialog's filters in form's language (German without one).
    static QStringList OpenFilters(QWidget *form = nullptr);

    void SourcePathBitBtnClick();
    void DestPathBitBtnClick();
    void FTypComboBoxChange();
    void FillTypes();
    // A file dropped on the form.
    void DropFile(const QString &file);
    void StartButtonClick();
    void SPrevButtonClick();
    void ResViewButtonClick();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void Done(const QString &source, const QString &folder, const QString &type, bool ok, const QString &written,
              const QString &error);
    QString m_written; // the file the last run wrote
};

class TDirKonvertForm : public TKonvJobForm
{
    Q_OBJECT
public:
    TDirKonvertForm(std::shared_ptr<TKonvHooks> hooks, QWidget *parent);

    THistoryCombo *VonHistoryCombo = nullptr;
    QComboBox *TypVonComboBox = nullptr;
    QComboBox *TypNachComboBox = nullptr;
    THistoryCombo *NachHistoryCombo = nullptr;
    QListWidget *LogListBox = nullptr;
    QPushButton *VonBitBtn = nullptr;
    QPushButton *NachBitBtn = nullptr;

    void VonBitBtnClick();
    void NachBitBtnClick();
    void TypVonComboBoxChange();
    void StartButtonClick();
};

class TMultiKonvertForm : public TKonvJobForm
{
    Q_OBJECT
public:
    TMultiKonvertForm(std::shared_ptr<TKonvHooks> hooks, QWidget *parent);

    QPushButton *OpenBitBtn = nullptr;
    QPushButton *ListEmptyButton = nullptr;
    QPushButton *PathBitBtn = nullptr;
    QListWidget *SourceListBox = nullptr;
    QComboBox *TypComboBox = nullptr;
    THistoryCombo *PathHistoryCombo = nullptr;

    // The open dialog's filters in form's language (German without one).
    static QStringList OpenFilters(QWidget *form = nullptr);
    QStringList Files() const;

    void OpenBitBtnClick();
    void ListEmptyButtonClick();
    void PathBitBtnClick();
    void SourceListBoxDblClick();
    void StartButtonClick();

private:
    void FillTypes();
};

class TThumbBMForm : public TKonvJobForm
{
    Q_OBJECT
public:
    TThumbBMForm(std::shared_ptr<TKonvHooks> hooks, QWidget *parent);

    QPushButton *OpenBitBtn = nullptr;
    QPushButton *ClearListButton = nullptr;
    QPushButton *PrevSource1Button = nullptr;
    QPushButton *PrevDestButton = nullptr;
    QPushButton *ColrButton = nullptr;
    QPushButton *PathBitBtn = nullptr;
    QListWidget *SourceListBox = nullptr;
    QLineEdit *WidthEdit = nullptr;
    QLineEdit *HeightEdit = nullptr;
    TEditUpDown *WidthUpDown = nullptr;
    TEditUpDown *HeightUpDown = nullptr;
    QFrame *FillColrShape = nullptr;
    QLineEdit *PrfxEdit = nullptr;
    THistoryCombo *PathHistoryCombo = nullptr;

    // The open dialog's filters in form's language (German without one).
    static QStringList OpenFilters(QWidget *form = nullptr);
    QStringList Files() const;
    QColor FillColor() const { return m_fill; }
    void SetFillColor(const QColor &color);
    // Where the thumbnail of source goes.
    QString ThumbPath(const QString &source) const;

    void OpenBitBtnClick();
    void ClearListButtonClick();
    void ColrButtonClick();
    void PathBitBtnClick();
    void PrevSource1ButtonClick();
    void PrevDestButtonClick();
    void StartButtonClick();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;

private:
    QColor m_fill = Qt::white;
};

// The host: one tab per job, each job form made on its first selection.
class TAllKonvBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TAllKonvBMForm(QWidget *owner, std::shared_ptr<TKonvHooks> hooks = {});
    ~TAllKonvBMForm() override;

    QTabBar *KonvTabSet = nullptr;
    QPushButton *AllKonvCloseButton = nullptr;

    // 0 one file, 1 folder, 2 list, 3 thumbnails.
    void SetTabIndex(int index);
    int TabIndex() const;
    // The job form of a tab; null until its tab was first selected.
    TKonvJobForm *JobForm(int index) const { return m_forms[size_t(index)]; }
    TKonvHooks &Hooks() { return *m_hooks; }
    bool Running() const;

    void SetLanguage(const QStringList &Script, int LanguageIndex) override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void done(int result) override;

private:
    void KonvTabSetChange(int index);
    void RunningChanged();
    void SetCaption();
    bool m_closing = false;

    std::shared_ptr<TKonvHooks> m_hooks;
    QStackedLayout *m_stack = nullptr;
    std::array<QPointer<TKonvJobForm>, 4> m_forms;
    QStringList m_script;
    int m_language = -1;
};

} // namespace zk
