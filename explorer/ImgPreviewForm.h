#pragma once
// The picture preview: one picture, or the pictures of a folder to browse and
// to show as a slide show; and the slide show's settings dialog.
#include "BaseModal.h"
#include "Bitmap.h"
#include "ImgPreview.h"

#include <QStringList>

#include <functional>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QRadioButton;
class QGroupBox;
class QScrollArea;
class QSpinBox;
class QTimer;

namespace zk {

class TImage;
class TMultiLanguage;

class TSlideConfigBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TSlideConfigBMForm(QWidget *opener = nullptr);

    void SetSettings(const TSlideShowSettings &settings);
    void GetSettings(TSlideShowSettings &settings) const;

    QLabel *SCFSecLabel = nullptr;
    QLineEdit *SlideTimeEdit = nullptr; // the edit of the up-down
    QSpinBox *SlideTimeUpDown = nullptr;
    QCheckBox *SCFARepeatCheckBox = nullptr;
    QGroupBox *SCRRadioGroup = nullptr;
    QRadioButton *SCRForwardRadio = nullptr;
    QRadioButton *SCRBackwardRadio = nullptr;
    QCheckBox *SlideActiveCheckBox = nullptr;
    QPushButton *SCFOkButton = nullptr;
    QPushButton *SCFCancButton = nullptr;
};

// Where the sequences of modes 0 and 1 lie, as the main window's settings
// give them.
struct TPreviewSources
{
    QString OutDir;      // the storage folder
    QString FileName;    // the automatic names' stem
    QString TypeExt;     // the save type's extension with the dot
    QString AutosaveDir; // the Autosave folder
};

// What the preview asks of the world; tests answer without a box.
struct TPreviewPrompts
{
    // The folder chosen for mode 2, "" when cancelled.
    std::function<QString(const QString &caption)> ChooseFolder;
    std::function<void(const QString &text)> Message;
    // QMessageBox::Yes, No or Cancel.
    std::function<int(const QString &text)> AskYesNoCancel;
};

class TImgPreviewBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TImgPreviewBMForm(QWidget *opener = nullptr);
    ~TImgPreviewBMForm() override;

    // 0 storage folder, 1 Autosave, 2 a chosen folder, 3 one picture. Set
    // before the window shows.
    void SetMode(int mode);
    int Mode() const { return m_mode; }
    void SetSources(const TPreviewSources &sources) { m_sources = sources; }
    TPreviewPrompts Prompts;
    // Hands the shown picture to the main window (Edit): the file it came
    // from and its bitmap. Unset, the edit button stays hidden.
    std::function<void(const QString &file, const TBitmap &bitmap)> LoadIntoMain;

    // Loads the file and names it in the top line. False (with the message
    // shown) when it cannot be read.
    bool ShowPicture(const QString &path);
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;

    const QStringList &FileList() const { return m_files; }
    const TPreviewSequence &Sequence() const { return m_seq; }
    const TSlideShowSettings &SlideSettings() const { return m_slide; }
    QString FolderPath() const { return m_folder; }
    QString TopCaption() const;
    bool SlideShowRunning() const;

    // The handlers (public for the tests, which press nothing).
    void FirstBitBtnClick();
    void RetBitBtnClick();
    void NextBitBtnClick();
    void LastBitBtnClick();
    void GoToEditEnter();
    void WinDimCheckBoxClick();
    void StretchCheckBoxClick();
    void EditBitBtnClick();
    void NewChoiceBitBtnClick();
    void SlideShowButtonClick();
    void SlideShowTimerTimer();
    // The show sequence: lists the mode's files and shows the first. False
    // when the window is to close (nothing to show).
    bool FormShow();
    // The window's client size for the picture, when fitting applies.
    void FitWindow();

    QScrollArea *PreviewScrollBox = nullptr;
    TImage *PreviewImage = nullptr;
    QFrame *TopPanel = nullptr;
    QLabel *TopPanelLabel = nullptr;
    QCheckBox *StretchCheckBox = nullptr;
    QFrame *PropPanel = nullptr;
    QPushButton *FirstBitBtn = nullptr;
    QPushButton *RetBitBtn = nullptr;
    QPushButton *NextBitBtn = nullptr;
    QPushButton *LastBitBtn = nullptr;
    QLabel *GoToLabel = nullptr;
    QLineEdit *GoToEdit = nullptr;
    QCheckBox *WinDimCheckBox = nullptr;
    QPushButton *EditBitBtn = nullptr;
    QPushButton *NewChoiceBitBtn = nullptr;
    QPushButton *SlideShowButton = nullptr;
    QTimer *SlideShowTimer = nullptr;
    QMenu *PrevPopupMenu = nullptr;
    QAction *SlideKonfigMenuItem = nullptr;
    TMultiLanguage *ImgPrevMultiLanguage = nullptr;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void done(int r) override;
    void keyPressEvent(QKeyEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    QString text(const char *key, const QString &german) const;
    void message(const QString &text);
    // Shows the sequence's current file and sets the browse buttons.
    void showCurrent(bool fit);
    void updateBrowseButtons();
    void setBrowseVisible(bool on);
    void fixSlideButtonWidth();
    void setCaptionForMode();
    void saveSettings();

    int m_mode = 3;
    TPreviewSources m_sources;
    QString m_folder; // with a trailing '/'
    QStringList m_files;
    TPreviewSequence m_seq;
    QString m_currentName;
    QString m_currentPath;
    TSlideShowSettings m_slide;
    QStringList m_script;
    int m_languageIndex = 0;
    bool m_shownOnce = false;
    bool m_saved = false;
};

} // namespace zk
