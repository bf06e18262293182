#pragma once
// The dialog that turns a list of JPEG and BMP files into an HTML picture
// gallery (tools/ImgGal.h does the work).
#include "BaseModal.h"
#include "ImgGal.h"

#include <QStringList>

#include <functional>

class QCheckBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace zk {

class THistoryCombo;
class TMultiLanguage;

// What the gallery asks of the world; tests answer without a box.
struct TImgGalPrompts
{
    std::function<void(const QString &text)> Message;
    std::function<bool(const QString &text)> Confirm; // Yes/No
    std::function<QString()> BrowseFolder;            // "" when cancelled
    // The files chosen in the open dialog; false when cancelled.
    std::function<bool(QStringList &files)> ChooseFiles;
};

class TImgGalBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TImgGalBMForm(QWidget *opener = nullptr);
    ~TImgGalBMForm() override;

    TImgGalPrompts Prompts;

    void SetLanguage(const QStringList &Script, int LanguageIndex) override;
    void EnableSettings(bool on);
    // The settings as the controls hold them.
    TGallerySettings Settings() const;
    QStringList Files() const;
    // The last generation's outcome (for the tests).
    const TGalleryResult &LastResult() const { return m_last; }

    void ImgGalOpenButtonClick();
    void ImgGalPreviewButtonClick();
    void ClearListButtonClick();
    void GalPathButtonClick();
    void GenHTMLButtonClick();
    void ErgHTMLButtonClick();

    QGroupBox *ImgGalFilesGroupBox = nullptr;
    QListWidget *FilesListBox = nullptr;
    QPushButton *ImgGalOpenBitBtn = nullptr;
    QPushButton *ImgGalPreviewButton = nullptr;
    QPushButton *ClearListButton = nullptr;
    QPushButton *GenHTMLButton = nullptr;
    QPushButton *ErgHTMLButton = nullptr;
    QPushButton *CancelCloseButton = nullptr;
    QGroupBox *SettingsGroupBox = nullptr;
    QLabel *TitLabel = nullptr;
    QLineEdit *TitleEdit = nullptr;
    QLabel *SavePathLabel = nullptr;
    THistoryCombo *SaveHistoryCombo = nullptr;
    QPushButton *GalPathBitBtn = nullptr;
    QLabel *BorderLabel = nullptr;
    QSpinBox *BorderUpDown = nullptr;
    QLabel *RowsLabel = nullptr;
    QSpinBox *ColUpDown = nullptr;
    QLabel *ImgWidtLabel = nullptr;
    QSpinBox *PWidthUpDown = nullptr;
    QLabel *ImgHeightLabel = nullptr;
    QSpinBox *PHeightUpDown = nullptr;
    QLabel *SpacingLabel = nullptr;
    QSpinBox *CellPaddingUpDown = nullptr;
    QLabel *FNWELabel = nullptr;
    QLineEdit *FNameEdit = nullptr;
    QCheckBox *AbsPathCheckBox = nullptr;
    QCheckBox *JPGCheckBox = nullptr;
    QFileDialog *HtmOpenPictureDialog = nullptr;
    TMultiLanguage *ImgGalMultiLanguage = nullptr;

protected:
    void paintEvent(QPaintEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    QString text(const char *key, const QString &german) const;
    void message(const QString &text);
    bool confirm(const QString &text);
    void setListButtons(bool on);

    QStringList m_script;
    int m_languageIndex = 0;
    TGalleryResult m_last;
};

} // namespace zk
