#pragma once
// The dialogs of sending: the list of files for a mail with several
// attachments, and the SMTP and mail-program fields (opened by the settings
// dialog; their values live in the options record).
#include "BaseModal.h"

#include <QStringList>

class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace zk {

class THistoryCombo;
class TsvcApplicationProperties;
struct TSmtpConfig;
struct TMapiConfig;

// The registry key under which the history combos keep their entries.
inline constexpr const char *kSendHistoryKey = "Software\\Tarvendo\\Zelkora\\5.0";

class TAttachBMForm : public TBaseModalForm
{
    Q_OBJECT
public:
    explicit TAttachBMForm(QWidget *opener = nullptr);
    ~TAttachBMForm() override;

    QListWidget *AttachFilesListBox = nullptr;
    QLabel *CntTextLabel = nullptr;
    QLabel *CntLabel = nullptr;
    QPushButton *AttChoiceButton = nullptr;
    QPushButton *AttOkButton = nullptr;
    QPushButton *AttCancButton = nullptr;
    QMenu *AttachPopupMenu = nullptr;
    QFileDialog *OpenPictureDialog = nullptr;
    // Takes the files dropped on the dialog before the main window's own
    // application component could open them as pictures.
    TsvcApplicationProperties *svcApplicationProperties1 = nullptr;

    QStringList Files() const;
    void AddFiles(const QStringList &files);
    void AttChoiceButtonClick();
    void DeleteMenuItemClick();
    void DeleteAllMenuItemClick();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void UpdateCount();
    QString text(const char *key, const QString &fallback) const;
};

// The shared frame of the two configuration dialogs: group box with shadow,
// help and OK/cancel buttons.
class TSendConfigForm : public TBaseModalForm
{
    Q_OBJECT
public:
    QGroupBox *ConfigGroupBox = nullptr;
    QPushButton *HelpButton = nullptr;
    QPushButton *OkButton = nullptr;
    QPushButton *CancelButton = nullptr;
    // The help page of both dialogs; empty when the help files are missing.
    static QString HelpPage();
    void HelpButtonClick();

protected:
    TSendConfigForm(QWidget *opener, const QString &groupTitle);
    void paintEvent(QPaintEvent *event) override;
    THistoryCombo *AddHistoryCombo(const char *name, const char *section, const QString &label);
    QLineEdit *AddLineEdit(const char *name, const QString &label);
    QPlainTextEdit *AddMemo(const char *name, const QString &label);
};

class TSmtpBMForm : public TSendConfigForm
{
    Q_OBJECT
public:
    explicit TSmtpBMForm(QWidget *opener = nullptr);
    THistoryCombo *HostHistoryCombo = nullptr;
    THistoryCombo *UserIDHistoryCombo = nullptr;
    THistoryCombo *MailFromHistoryCombo = nullptr;
    THistoryCombo *MailToHistoryCombo = nullptr;
    THistoryCombo *CopyHistoryCombo = nullptr;
    THistoryCombo *BlindCopyHistoryCombo = nullptr;
    QPlainTextEdit *MailMemo = nullptr;
    QLineEdit *SubjectEdit = nullptr;
    void LoadFrom(const TSmtpConfig &config);
    void SaveTo(TSmtpConfig &config) const;
};

class TMapiConfigBMForm : public TSendConfigForm
{
    Q_OBJECT
public:
    explicit TMapiConfigBMForm(QWidget *opener = nullptr);
    THistoryCombo *MapiMailToHistoryCombo = nullptr;
    QLineEdit *MapiBetrEdit = nullptr;
    QPlainTextEdit *MapiBodyMemo = nullptr;
    void LoadFrom(const TMapiConfig &config);
    void SaveTo(TMapiConfig &config) const;
};

// The open dialog's filter list of the attachment dialog ("Alle Grafiktypen"
// is the eighth).
QStringList AttachDialogFilters();

} // namespace zk
