#pragma once
// The four small dialogs the settings dialog opens: the colour reduction of
// GIF files, the picture types shown with "Mit Zelkora betrachten", the
// animated minimising and the external picture editor.
#include "BaseModal.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zk {

class TEditUpDown;
class THistoryCombo;
class TRadioGroup;

// OK and Cancel under the dialog's controls (modal results 1 and 2).
class TSmallSettingsForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TSmallSettingsForm(QWidget *owner, const char *name, const QString &caption);
    QPushButton *OkButton = nullptr;
    QPushButton *CancelButton = nullptr;

protected:
    // Puts the OK and Cancel row under what the form built.
    void addButtons();
    QString text(const char *key, const QString &fallback) const;
};

class TGifColOptBMForm : public TSmallSettingsForm
{
    Q_OBJECT
public:
    explicit TGifColOptBMForm(QWidget *owner = nullptr);
    TRadioGroup *ColOptRadioGroup = nullptr;

    void FormCreate();
    void SetColOpt(std::uint8_t Value);
    void GetColOpt(std::uint8_t &Value) const;
};

class TShlExtTypeBMForm : public TSmallSettingsForm
{
    Q_OBJECT
public:
    explicit TShlExtTypeBMForm(QWidget *owner = nullptr);
    QListWidget *FTypesCheckListBox = nullptr;
    QCheckBox *SETInfCheckBox = nullptr;
    // Windows Explorer's quick-access entries have no counterpart here: the
    // box stays hidden and its value passes through.
    QCheckBox *IEShellCheckBox = nullptr;
    // The class identifier of that extension, passed through unchanged.
    QString GUID;

    // Where the entry goes ($XDG_DATA_HOME when empty) and the program it
    // starts (this program when empty); tests point them elsewhere.
    QString DataHome;
    QString ProgramPath;
    // Questions and messages; tests answer them.
    std::function<bool(const QString &text)> Ask;
    std::function<void(const QString &text)> Message;

    void SetTypeChecks(const std::array<std::uint8_t, 9> &Checks);
    // True when any of the nine is checked.
    bool GetTypeChecks(std::array<std::uint8_t, 9> &Checks) const;
    // Item 8 (all types) sets all nine; unchecking another unchecks it.
    void FTypesCheckListBoxClick(int index);
    void FTypesCheckListBoxOnClick(int index);
    void FormShow();
    void SETOkButtonClick();

protected:
    void showEvent(QShowEvent *e) override;

private:
    std::array<std::uint8_t, 9> m_handed{};
    bool m_shown = false;
};

class TMinKindBMForm : public TSmallSettingsForm
{
    Q_OBJECT
public:
    explicit TMinKindBMForm(QWidget *owner = nullptr);
    QCheckBox *AnimMinCheckBox = nullptr;
    QLabel *AnimCountLabel = nullptr;
    QLineEdit *AnimCountEdit = nullptr;
    TEditUpDown *AnimCountUpDown = nullptr;

    void FormCreate();
    void FormShow();
    void AnimMinCheckBoxClick();

protected:
    void showEvent(QShowEvent *e) override;
};

class TGraphEdtBMForm : public TSmallSettingsForm
{
    Q_OBJECT
public:
    explicit TGraphEdtBMForm(QWidget *owner = nullptr);
    QGroupBox *GraphEdtGroupBox = nullptr;
    THistoryCombo *ExtProgHistoryCombo = nullptr;
    QPushButton *ExtProgBitBtn = nullptr;
    // Picks a program file ("" when cancelled); the settings dialog hands its own.
    std::function<QString()> ChooseProgram;

    void SetEditorPath(const QString &Path);
    void ExtProgButtonClick();
};

// Fills the settings dialog's openers for these four dialogs and the
// capture-settings test window.
void InstallOptionSubDialogs();

} // namespace zk
