#pragma once
// The dialogs of the number marks and the pointer stamp.
#include "EditDialogs.h"
#include "Marks.h"

class QCheckBox;
class QListWidget;

namespace zk {

class TColComboBox;

// "Grafik durchnummerieren": the range, colours, rim width and hint of the
// number marks. The stored settings are read once, at the first show, so a
// later activation does not throw away what was typed.
class TNumKindBMForm : public TEditDialogBase
{
    Q_OBJECT

public:
    explicit TNumKindBMForm(QWidget *owner = nullptr);

    QGroupBox *NumKindGroupBox = nullptr;
    QLabel *NumVonLabel = nullptr;
    QLineEdit *NumVonEdit = nullptr;
    TEditUpDown *NumVonUpDown = nullptr;
    QLabel *NumBisLabel = nullptr;
    QLineEdit *NumBisEdit = nullptr;
    TEditUpDown *NumBisUpDown = nullptr;
    QLabel *NumColLabel = nullptr;
    TColComboBox *NumColComboBox = nullptr;
    QLabel *RandColLabel = nullptr;
    TColComboBox *RandColComboBox = nullptr;
    QLabel *RandWidthLabel = nullptr;
    QComboBox *RandWidthComboBox = nullptr;
    QCheckBox *OutputHintCheckBox = nullptr;

    // OK was pressed; the settings are then stored at closing.
    bool OkPressed = false;
    // A store error while reading or writing; shown to the user, kept here
    // for the caller.
    QString StoreError;

    TNumberSettings Settings() const;
    void ApplySettings(const TNumberSettings &s);
    // "von" changed: "bis" cannot go below it.
    void NumVonChange();
    // Reads the stored settings (or the defaults without a key).
    void FormActivate();
    void SetLanguage(const QStringList &Script, int LanguageIndex) override;

protected:
    void OkClick() override;
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void ReportStoreError(const QString &reason);
    bool m_loaded = false;
};

// "Mauszeiger testen": the twenty pointers to look at and choose from.
class TMouseTestBMForm : public TEditDialogBase
{
    Q_OBJECT

public:
    explicit TMouseTestBMForm(QWidget *owner = nullptr);

    QListWidget *CursorsListBox = nullptr;
    QLabel *MouseTestLabel1 = nullptr;
    QLabel *MouseTestLabel2 = nullptr;
    QLabel *MouseTestLabel3 = nullptr;

    // The pointer shown for the chosen entry; 0 before a choice.
    int ChosenPointer() const;
    void CursorsListBoxClick();
};

} // namespace zk
