#pragma once
// The windows of the text search: the options dialog that starts it, the
// small window that shows it running, and the dockable list of its hits.
#include "BaseModal.h"
#include "DirBDForm.h"
#include "TextSearch.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace zk {

class THistoryCombo;
class TPathLabel;
struct TZelkoraOptions;

// The line a hit shows: "%s = Zeile %d", or for a file that could not be
// searched "Fehler: %s beim Durchsuchen der Datei %s". The two formats and
// the reasons come from the language (text(key, german)).
QString HitLineText(const TTextHit &hit, const std::function<QString(const char *key, const QString &german)> &text);

// The hits, one row each; the file of a row is its data under FileRole.
class TSearchHitModel : public QAbstractListModel
{
    Q_OBJECT
public:
    static constexpr int FileRole = Qt::UserRole + 1;
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    void Append(const QList<QPair<QString, QString>> &rows); // (line, file)
    void Clear();

private:
    QList<QPair<QString, QString>> m_rows;
};

// The dockable list of hits, in the bottom area.
class TFileOutputBDForm : public TBaseDockForm
{
    Q_OBJECT
public:
    TFileOutputBDForm(QMainWindow *mainWindow, TZelkoraOptions &options);
    ~TFileOutputBDForm() override;

    QListView *FleOutpListBox = nullptr;
    TSearchHitModel *Hits = nullptr;
    QMenu *FleOutputPopupMenu = nullptr;
    QAction *SearchResDelMenuItem = nullptr;
    QAction *NewSearchMenuItem = nullptr;

    // The main window's part when the window closes or goes: the search is
    // no longer shown, the output switch follows.
    std::function<void()> OnClosed;
    // Opens a file with its program (tests record instead).
    std::function<void(const QString &file)> OpenFile;

    void FleOutpListBoxDblClick(const QModelIndex &index);
    void SearchResDelMenuItemClick();
    void NewSearchMenuItemClick();
    Q_INVOKABLE void SetLanguage(const QStringList &Script, int LanguageIndex);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void FormClose();
    TZelkoraOptions &m_options;
    bool m_closedReported = false;
};

// The small window on top while a search runs.
class TFindProcessForm : public QWidget
{
    Q_OBJECT
public:
    explicit TFindProcessForm(QWidget *owner);
    QLabel *FndTxtResLabel = nullptr;
    TPathLabel *HitsPathLabel = nullptr;
    QLabel *FoundCountResLabel = nullptr;
    QProgressBar *FndTxtAnimate = nullptr;
};

// The search options; the main window makes it once and keeps it.
class TFindOptBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    TFindOptBMForm(QWidget *opener, TZelkoraOptions &options);
    ~TFindOptBMForm() override;

    QTabWidget *FindOptPageControl = nullptr;
    QLineEdit *FindTextEdit = nullptr;
    QCheckBox *CaseSensCheckBox = nullptr;
    QCheckBox *ChkSubDirsCheckBox = nullptr;
    THistoryCombo *FndPlcHistoryCombo = nullptr;
    QCheckBox *OnlyFileCheckBox = nullptr;
    QPushButton *PathOrFileBitBtn = nullptr;
    QPushButton *FndTxtOkButton = nullptr;
    QPushButton *FndTxtCancButton = nullptr;

    std::int32_t FoundCount = 0;
    bool SearchRunning = false;
    std::unique_ptr<TFndTxtThread> Worker;
    QPointer<TFindProcessForm> ProcessForm;

    // What the main window does for the search: show the output window
    // (search-active flag and ToggleFileOutput) and give it, and end the
    // search (EndTextScan) once the worker is done.
    std::function<TFileOutputBDForm *()> ShowOutput;
    std::function<void()> OnSearchEnd;
    // Choices the dialogs would ask for; tests answer them.
    std::function<QString()> ChooseFile;
    std::function<QString()> ChooseFolder;
    std::function<void(const QString &)> ShowInfo;

    void FormShow();
    void FindTextEditChange();
    void OnlyFileCheckBoxClick();
    void PathOrFileButtonClick();
    void FndTxtOkButtonClick();
    // The hit handler: counts, shows the count, lists the hits.
    void FoundHits(const QList<TTextHit> &hits);
    // Stops a running search and waits for it; the progress window goes.
    void StopSearch();
    // The end of the worker: progress window closed, the opener told.
    void WorkerFinished();
    // The dialog's part of the end: cursor back, worker freed, start
    // control on, busy flag cleared.
    void EndSearch();
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString Tx(const char *key, const QString &german) const;
    TZelkoraOptions &m_options;
    QPointer<TFileOutputBDForm> m_output;
    std::uint64_t m_search = 0; // counts the searches started
    QStringList m_script;
    int m_language = 0;
};

} // namespace zk
