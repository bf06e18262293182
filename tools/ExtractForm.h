#pragma once
// The icon extractor: lists the icons of a program, library or icon file in
// a grid of nine per row, previews one, saves it as icon or bitmap, and
// saves them all through the batch dialog.
#include "BaseModal.h"
#include "IconExtract.h"
#include "ToolPrompts.h"

#include <QImage>

class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QTableWidget;

namespace zk {

class THistoryCombo;
class TMultiLanguage;
class TPathLabel;
struct TZelkoraOptions;

inline constexpr int kIconsPerRow = 9;
inline constexpr int kIconCell = 32;

// Rows and columns of the icon grid for count icons (count > 0): one row
// more than the full rows of nine, at most nine columns.
int IconGridRows(int count);
int IconGridColumns(int count);
// name + index + ".ico" in folder.
QString BatchIconFileName(const QString &folder, const QString &name, int index);

class TIcoResBatchBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TIcoResBatchBMForm(QWidget *opener = nullptr);

    TToolPrompts Prompts;
    QLabel *NameLabel = nullptr, *PathLabel = nullptr, *Label2 = nullptr;
    QLineEdit *NameEdit = nullptr;
    THistoryCombo *PathHistoryCombo = nullptr;
    QPushButton *ICResOpenBitBtn = nullptr, *OkButton = nullptr, *CancelButton = nullptr;
    TMultiLanguage *IcoResBatchMultiLanguage = nullptr;
    bool OkPressed = false, CancelPressed = false;

    void Button3Click();
    bool ValidateFolder();
    bool ValidateName();
    void OkButtonClick();
    void CancelButtonClick();

protected:
    void done(int r) override;

private:
    QString text(const char *key, const QString &german) const;
};

class TExtractBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    TExtractBMForm(const TZelkoraOptions &options, QWidget *opener = nullptr);
    ~TExtractBMForm() override;

    TToolPrompts Prompts;
    // Opens the batch dialog; tests replace it. Returns the dialog after
    // its run (null when cancelled), owned by the caller.
    std::function<TIcoResBatchBMForm *(QWidget *owner)> RunBatchDialog;
    // The program's look for the batch dialog (unset: the plain look).
    std::function<void(QWidget *form)> FormLook;

    void SetLanguage(const QStringList &Script, int LanguageIndex) override;

    QGroupBox *ExtractGroupBox = nullptr, *IcoColrGroupBox = nullptr;
    QLabel *PicPathLabel = nullptr, *NumLabel = nullptr, *PreviewImage = nullptr;
    TPathLabel *PathPathLabel = nullptr;
    QTabBar *PictureTabSet = nullptr;
    QCheckBox *FDimCheckBox = nullptr;
    QStackedWidget *PictureNotebook = nullptr;
    QTableWidget *IconDrawGrid = nullptr, *BitmapDrawGrid = nullptr, *CursorDrawGrid = nullptr;
    QPushButton *CloseButton = nullptr, *SaveButton = nullptr, *BatchButton = nullptr, *OpenBitBtn = nullptr;
    TMultiLanguage *ExtractMultiLanguage = nullptr;

    const TIconExtractor &Icons() const { return m_icons; }
    QImage Preview() const { return m_preview; }

    void OpenButtonClick();
    // Lists the file's icons; false (with a message) when it holds none.
    bool LoadIconGrid(const QString &FileName);
    void IconDrawGridClick(int row, int column);
    void FDimCheckBoxClick();
    void SaveButtonClick();
    void BatchButtonClick();
    // The batch run itself: every cell of the grid, empty ones skipped.
    // Returns how many files were written.
    int SaveAllIcons(const QString &folder, const QString &name);
    void ExtractOpenDialogShow(QFileDialog &dialog);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString text(const char *key, const QString &german) const;
    void showPreview(const QImage &image);
    bool saveIcon(const QImage &image, const QString &file);

    const TZelkoraOptions &m_options;
    QStringList m_script;
    int m_languageIndex = 0;
    TIconExtractor m_icons;
    QImage m_preview;
};

} // namespace zk
