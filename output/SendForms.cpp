#include "SendForms.h"
#include "ShellOpen.h"

#include "CaptureControl.h"
#include "Globals.h"
#include "HistList.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "ProgramDir.h"
#include "SvcAppProperties.h"

#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace zk {

QStringList AttachDialogFilters()
{
    return {QStringLiteral("JPEG/JPG (*.jpeg, *.jpg) (*.jpeg *.jpg)"),
            QStringLiteral("Bitmap (*.bmp, *.dib, *.zkg) (*.bmp *.dib *.zkg)"),
            QStringLiteral("GIF (*.gif) (*.gif)"),
            QStringLiteral("PNG (*.png) (*.png)"),
            QStringLiteral("WMF/EMF (*.wmf, *.emf) (*.wmf *.emf)"),
            QStringLiteral("TIFF (*.tif, *.tiff) (*.tif *.tiff)"),
            QStringLiteral("ICO (*.ico) (*.ico)"),
            QStringLiteral("Alle Grafiktypen (*.jpg, *.jpeg, *.bmp, *.dib, *.zkg, *.gif, *.png, *.wmf, *.emf, *.tif, "
                           "*.tiff, *.ico) (*.jpeg *.jpg *.bmp *.dib *.zkg *.gif *.png *.wmf *.emf *.tif *.tiff *.ico)"),
            QStringLiteral("Alle Dateitypen (*.*) (*)")};
}

// ---------------------------------------------------------------------------
// TAttachBMForm

TAttachBMForm::TAttachBMForm(QWidget *opener) : TBaseModalForm(opener)
{
    setObjectName(QStringLiteral("AttachBMForm"));
    setWindowTitle(QStringLiteral("Anhänge einfügen"));
    setAcceptDrops(true);

    AttachFilesListBox = new QListWidget(this);
    AttachFilesListBox->setObjectName(QStringLiteral("AttachFilesListBox"));
    AttachFilesListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    AttachFilesListBox->installEventFilter(this);
    CntTextLabel = new QLabel(QStringLiteral("Anzahl:"), this);
    CntTextLabel->setObjectName(QStringLiteral("CntTextLabel"));
    CntLabel = new QLabel(QStringLiteral("0"), this);
    CntLabel->setObjectName(QStringLiteral("CntLabel"));
    AttChoiceButton = new QPushButton(QStringLiteral("&Wählen..."), this);
    AttChoiceButton->setObjectName(QStringLiteral("AttChoiceButton"));
    AttOkButton = new QPushButton(QStringLiteral("&Weiter >>>"), this);
    AttOkButton->setObjectName(QStringLiteral("AttOkButton"));
    AttOkButton->setDefault(true);
    AttCancButton = new QPushButton(QStringLiteral("&Abbrechen"), this);
    AttCancButton->setObjectName(QStringLiteral("AttCancButton"));

    AttachPopupMenu = new QMenu(this);
    AttachPopupMenu->setObjectName(QStringLiteral("AttachPopupMenu"));
    QAction *del = AttachPopupMenu->addAction(QStringLiteral("Löschen"));
    del->setObjectName(QStringLiteral("AttDelMenuItem"));
    QAction *delAll = AttachPopupMenu->addAction(QStringLiteral("Alle löschen"));
    delAll->setObjectName(QStringLiteral("AttDelAllMenuItem"));
    QAction *choose = AttachPopupMenu->addAction(QStringLiteral("Wählen..."));
    choose->setObjectName(QStringLiteral("AttChoiceMenuItem"));

    OpenPictureDialog = new QFileDialog(this);
    OpenPictureDialog->setObjectName(QStringLiteral("OpenPictureDialog"));
    OpenPictureDialog->setOption(QFileDialog::DontUseNativeDialog);
    OpenPictureDialog->setFileMode(QFileDialog::ExistingFiles);
    OpenPictureDialog->setAcceptMode(QFileDialog::AcceptOpen);

    // Drops reach the dialog through the application's event chain, where
    // this component is newer than the main window's and so sees them first.
    svcApplicationProperties1 = new TsvcApplicationProperties(this);
    svcApplicationProperties1->setObjectName(QStringLiteral("svcApplicationProperties1"));
    svcApplicationProperties1->OnMessage = [this](QObject *target, QEvent *event, bool &handled) {
        if (target != this || event->type() != QEvent::Drop)
            return;
        auto *drop = static_cast<QDropEvent *>(event);
        for (const QUrl &url : drop->mimeData()->urls())
            if (url.isLocalFile())
                AddFiles({url.toLocalFile()});
        drop->acceptProposedAction();
        handled = true;
    };

    auto *count = new QHBoxLayout;
    count->addWidget(CntTextLabel);
    count->addWidget(CntLabel);
    count->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(AttChoiceButton);
    buttons->addStretch(1);
    buttons->addWidget(AttOkButton);
    buttons->addWidget(AttCancButton);
    auto *main = new QVBoxLayout(this);
    main->addWidget(AttachFilesListBox, 1);
    main->addLayout(count);
    main->addLayout(buttons);
    resize(460, 320);

    connect(AttChoiceButton, &QPushButton::clicked, this, [this] { AttChoiceButtonClick(); });
    connect(choose, &QAction::triggered, this, [this] { AttChoiceButtonClick(); });
    connect(del, &QAction::triggered, this, [this] { DeleteMenuItemClick(); });
    connect(delAll, &QAction::triggered, this, [this] { DeleteAllMenuItemClick(); });
    connect(AttOkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(AttCancButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(AttachFilesListBox, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        AttachPopupMenu->popup(AttachFilesListBox->viewport()->mapToGlobal(p));
    });
}

TAttachBMForm::~TAttachBMForm() = default;

QString TAttachBMForm::text(const char *key, const QString &fallback) const
{
    const auto *ml = findChild<TMultiLanguage *>(QString(), Qt::FindDirectChildrenOnly);
    const QString t = ml ? ml->GetText(QString::fromLatin1(key)) : QString();
    return t.isEmpty() ? fallback : t;
}

QStringList TAttachBMForm::Files() const
{
    QStringList out;
    for (int i = 0; i < AttachFilesListBox->count(); ++i)
        out << AttachFilesListBox->item(i)->text();
    return out;
}

void TAttachBMForm::AddFiles(const QStringList &files)
{
    for (const QString &f : files)
        if (!f.isEmpty())
            AttachFilesListBox->addItem(f);
    UpdateCount();
}

void TAttachBMForm::UpdateCount()
{
    CntLabel->setText(QString::number(AttachFilesListBox->count()));
}

void TAttachBMForm::AttChoiceButtonClick()
{
    OpenPictureDialog->setWindowTitle(text("opendlg_choice_attachfiles", QStringLiteral("Anhänge wählen")));
    const QStringList filters = AttachDialogFilters();
    OpenPictureDialog->setNameFilters(filters);
    OpenPictureDialog->selectNameFilter(filters.at(7));
    TOpenDialogScope scope(OpenPictureDialog->windowTitle());
    if (OpenPictureDialog->exec() == QDialog::Accepted)
        AddFiles(OpenPictureDialog->selectedFiles());
}

void TAttachBMForm::DeleteMenuItemClick()
{
    const int row = AttachFilesListBox->currentRow();
    if (row < 0 || !AttachFilesListBox->currentItem()->isSelected()) {
        QMessageBox box(QMessageBox::Information, windowTitle(),
                        text("showmsg_no_entry_selected", QStringLiteral("Es ist kein Eintrag ausgewählt!")),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("showmsg_no_entry_selected"));
        box.exec();
        return;
    }
    delete AttachFilesListBox->takeItem(row);
    UpdateCount();
}

void TAttachBMForm::DeleteAllMenuItemClick()
{
    AttachFilesListBox->clear();
    UpdateCount();
}

bool TAttachBMForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == AttachFilesListBox && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            DeleteMenuItemClick();
            return true;
        }
    }
    return TBaseModalForm::eventFilter(watched, event);
}

void TAttachBMForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

// ---------------------------------------------------------------------------
// The two configuration dialogs

TSendConfigForm::TSendConfigForm(QWidget *opener, const QString &groupTitle) : TBaseModalForm(opener)
{
    ConfigGroupBox = new QGroupBox(groupTitle, this);
    ConfigGroupBox->setObjectName(QStringLiteral("SendCfgGroupBox"));
    // The shadow is painted on the form behind the box: the box covers it
    // with its own background, so only the offset edges show.
    ConfigGroupBox->setAutoFillBackground(true);
    new QFormLayout(ConfigGroupBox);
    HelpButton = new QPushButton(QStringLiteral("&Hilfe"), this);
    HelpButton->setObjectName(QStringLiteral("SendCfgHelpButton"));
    HelpButton->setEnabled(!HelpPage().isEmpty());
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("SendCfgOkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Abbrechen"), this);
    CancelButton->setObjectName(QStringLiteral("SendCfgCancButton"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(HelpButton);
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    auto *main = new QVBoxLayout(this);
    // Room for the shadow right of and below the group box.
    main->setContentsMargins(12, 12, 17, 12);
    main->addWidget(ConfigGroupBox, 1);
    main->addSpacing(5);
    main->addLayout(buttons);
    connect(HelpButton, &QPushButton::clicked, this, [this] { HelpButtonClick(); });
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QString TSendConfigForm::HelpPage()
{
    return HelpPageFile(QStringLiteral("sonstreg"));
}

void TSendConfigForm::HelpButtonClick()
{
    ShowHelpPage(this, QStringLiteral("sonstreg"));
}

void TSendConfigForm::paintEvent(QPaintEvent *event)
{
    TBaseModalForm::paintEvent(event);
    QPainter p(this);
    PaintShadow(p, ConfigGroupBox, 5, TColor(0x808080));
}

THistoryCombo *TSendConfigForm::AddHistoryCombo(const char *name, const char *section, const QString &label)
{
    auto *combo = new THistoryCombo(ConfigGroupBox);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(true);
    combo->SetRegistryPath(QString::fromLatin1(kSendHistoryKey));
    combo->SetIniSection(QString::fromLatin1(section));
    auto *l = new QLabel(label, ConfigGroupBox);
    l->setObjectName(QString::fromLatin1(name).replace(QStringLiteral("HistoryCombo"), QStringLiteral("Label")));
    l->setBuddy(combo);
    static_cast<QFormLayout *>(ConfigGroupBox->layout())->addRow(l, combo);
    return combo;
}

QLineEdit *TSendConfigForm::AddLineEdit(const char *name, const QString &label)
{
    auto *edit = new QLineEdit(ConfigGroupBox);
    edit->setObjectName(QString::fromLatin1(name));
    auto *l = new QLabel(label, ConfigGroupBox);
    l->setObjectName(QString::fromLatin1(name).replace(QStringLiteral("Edit"), QStringLiteral("Label")));
    l->setBuddy(edit);
    static_cast<QFormLayout *>(ConfigGroupBox->layout())->addRow(l, edit);
    return edit;
}

QPlainTextEdit *TSendConfigForm::AddMemo(const char *name, const QString &label)
{
    auto *memo = new QPlainTextEdit(ConfigGroupBox);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setTabChangesFocus(true);
    auto *l = new QLabel(label, ConfigGroupBox);
    l->setObjectName(QString::fromLatin1(name).replace(QStringLiteral("Memo"), QStringLiteral("Label")));
    l->setBuddy(memo);
    static_cast<QFormLayout *>(ConfigGroupBox->layout())->addRow(l, memo);
    return memo;
}

TSmtpBMForm::TSmtpBMForm(QWidget *opener) : TSendConfigForm(opener, QStringLiteral("SMTP-Konfiguration"))
{
    setObjectName(QStringLiteral("SmtpBMForm"));
    setWindowTitle(QStringLiteral("SMTP-Konfiguration"));
    ConfigGroupBox->setObjectName(QStringLiteral("SmtpGroupBox"));
    HostHistoryCombo = AddHistoryCombo("HostHistoryCombo", "SmtpHost", QStringLiteral("&Host:"));
    UserIDHistoryCombo = AddHistoryCombo("UserIDHistoryCombo", "SmtpUserID", QStringLiteral("&User-ID:"));
    MailFromHistoryCombo =
        AddHistoryCombo("MailFromHistoryCombo", "SmtpMailFrom", QStringLiteral("&Absender-Mail-Adresse:"));
    MailToHistoryCombo =
        AddHistoryCombo("MailToHistoryCombo", "SmtpMailTo", QStringLiteral("&Empfänger-Mail-Adresse:"));
    CopyHistoryCombo = AddHistoryCombo("CopyHistoryCombo", "SmtpCopy", QStringLiteral("&Kopie an:"));
    BlindCopyHistoryCombo = AddHistoryCombo("BlindCopyHistoryCombo", "SmtpBCopy", QStringLiteral("&Blindkopie an:"));
    MailMemo = AddMemo("MailMemo", QStringLiteral("eMail-&Text:"));
    SubjectEdit = AddLineEdit("SubjectEdit", QStringLiteral("Betreff: *"));
}

void TSmtpBMForm::LoadFrom(const TSmtpConfig &c)
{
    HostHistoryCombo->setEditText(c.Host);
    UserIDHistoryCombo->setEditText(c.UserID);
    MailFromHistoryCombo->setEditText(c.MailFrom);
    MailToHistoryCombo->setEditText(c.MailTo);
    CopyHistoryCombo->setEditText(c.Copy);
    BlindCopyHistoryCombo->setEditText(c.BlindCopy);
    MailMemo->setPlainText(c.Body);
    SubjectEdit->setText(c.Subject);
}

void TSmtpBMForm::SaveTo(TSmtpConfig &c) const
{
    c.Host = HostHistoryCombo->currentText();
    c.UserID = UserIDHistoryCombo->currentText();
    c.MailFrom = MailFromHistoryCombo->currentText();
    c.MailTo = MailToHistoryCombo->currentText();
    c.Copy = CopyHistoryCombo->currentText();
    c.BlindCopy = BlindCopyHistoryCombo->currentText();
    c.Body = MailMemo->toPlainText();
    c.Subject = SubjectEdit->text();
}

TMapiConfigBMForm::TMapiConfigBMForm(QWidget *opener) : TSendConfigForm(opener, QStringLiteral("MAPI-Konfiguration"))
{
    setObjectName(QStringLiteral("MapiConfigBMForm"));
    setWindowTitle(QStringLiteral("MAPI-Konfiguration"));
    ConfigGroupBox->setObjectName(QStringLiteral("MapiGroupBox"));
    MapiMailToHistoryCombo = AddHistoryCombo("MapiMailToHistoryCombo", "MapiMailTo", QStringLiteral("Mail-&Empfänger: *"));
    MapiBetrEdit = AddLineEdit("MapiBetrEdit", QStringLiteral("&Betreff: *"));
    MapiBodyMemo = AddMemo("MapiBodyMemo", QStringLiteral("&Mitteilungstext: *"));
}

void TMapiConfigBMForm::LoadFrom(const TMapiConfig &c)
{
    MapiMailToHistoryCombo->setEditText(c.MailTo);
    MapiBetrEdit->setText(c.Subject);
    MapiBodyMemo->setPlainText(c.Body);
}

void TMapiConfigBMForm::SaveTo(TMapiConfig &c) const
{
    c.MailTo = MapiMailToHistoryCombo->currentText();
    c.Subject = MapiBetrEdit->text();
    c.Body = MapiBodyMemo->toPlainText();
}

} // namespace zk
