#include "SmallSettingsDialogs.h"
#include "XPLook.h"

#include "EditDialogs.h"
#include "Globals.h"
#include "HistList.h"
#include "MultiLanguage.h"
#include "OptionDlg.h"
#include "ScanBTest.h"
#include "ViewVerb.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace zk {

// ---------------------------------------------------------------------------

TSmallSettingsForm::TSmallSettingsForm(QWidget *owner, const char *name, const QString &caption)
    : TBaseModalForm(owner)
{
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(caption);
    new QVBoxLayout(this);
}

void TSmallSettingsForm::addButtons()
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Abbrechen"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    row->addWidget(OkButton);
    row->addWidget(CancelButton);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);
    connect(OkButton, &QPushButton::clicked, this, [this] { done(1); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(2); });
}

QString TSmallSettingsForm::text(const char *key, const QString &fallback) const
{
    return FormText(const_cast<TSmallSettingsForm *>(this), QString::fromLatin1(key), fallback);
}

// ---------------------------------------------------------------------------

TGifColOptBMForm::TGifColOptBMForm(QWidget *owner)
    : TSmallSettingsForm(owner, "GifColOptBMForm", QStringLiteral("Farb Optimierung für GIF"))
{
    ColOptRadioGroup = new TRadioGroup(QStringLiteral("Farb Reduktion"),
                                       {QStringLiteral("Keine"), QStringLiteral("&Windows system (20 Farben)"),
                                        QStringLiteral("W&indows halbton (256 Farben)"),
                                        QStringLiteral("Win&dows graustufe (4 Farben)"),
                                        QStringLiteral("&Monochrome (schwarz/weiß)"),
                                        QStringLiteral("&Grayscale (256 schattiert)"),
                                        QStringLiteral("N&etscape (216 Farben)")},
                                       this);
    ColOptRadioGroup->setObjectName(QStringLiteral("ColOptRadioGroup"));
    // Room for the caption in every language beside the window manager's buttons.
    setMinimumWidth(360);
    layout()->addWidget(ColOptRadioGroup);
    addButtons();
    FormCreate();
}

void TGifColOptBMForm::FormCreate()
{
    // The choice stored for the program until the opener hands its own.
    const auto *settings = qobject_cast<TOptionDlgBMForm *>(parent());
    SetColOpt(settings ? settings->GifColOptCopy : 0);
}

void TGifColOptBMForm::SetColOpt(std::uint8_t Value)
{
    ColOptRadioGroup->SetItemIndex(Value);
}

void TGifColOptBMForm::GetColOpt(std::uint8_t &Value) const
{
    Value = std::uint8_t(std::clamp(ColOptRadioGroup->ItemIndex(), 0, 6));
}

// ---------------------------------------------------------------------------

TShlExtTypeBMForm::TShlExtTypeBMForm(QWidget *owner)
    : TSmallSettingsForm(owner, "ShlExtTypeBMForm", QStringLiteral("Shell-Einstellungen"))
{
    FTypesCheckListBox = new QListWidget(this);
    FTypesCheckListBox->setObjectName(QStringLiteral("FTypesCheckListBox"));
    for (const char *item : {"Windows Bitmap: BMP", "JPEG-Grafik: JPG/JPEG", "GIF-Grafik: GIF",
                             "Windows Metafile: WMF", "Enhanced Windows Metafile: EMF", "Windows Icon: ICO",
                             "Zelkora Bitmap: ZKG", "Portable Network Graphics: PNG",
                             "Alle unterstützten Dateitypen: BMP/DIB/JPG/JPEG/GIF/WMF/EMF/ICO/ZKG/PNG"}) {
        auto *it = new QListWidgetItem(QString::fromUtf8(item), FTypesCheckListBox);
        it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
        it->setCheckState(Qt::Unchecked);
    }
    FTypesCheckListBox->setMinimumSize(FTypesCheckListBox->sizeHintForColumn(0) + 32,
                                       FTypesCheckListBox->sizeHintForRow(0) * 9 + 8);
    SETInfCheckBox = new QCheckBox(QStringLiteral("Bestätigungen für jeden Eintrag anzeigen"), this);
    SETInfCheckBox->setObjectName(QStringLiteral("SETInfCheckBox"));
    IEShellCheckBox = new QCheckBox(QStringLiteral("Schnellzugriffseinträge im Internet Explorer eingetragen"), this);
    IEShellCheckBox->setObjectName(QStringLiteral("IEShellCheckBox"));
    IEShellCheckBox->hide();
    layout()->addWidget(FTypesCheckListBox);
    layout()->addWidget(SETInfCheckBox);
    layout()->addWidget(IEShellCheckBox);
    addButtons();
    disconnect(OkButton, nullptr, this, nullptr);
    connect(OkButton, &QPushButton::clicked, this, &TShlExtTypeBMForm::SETOkButtonClick);
    connect(FTypesCheckListBox, &QListWidget::itemChanged, this, [this](QListWidgetItem *it) {
        const int index = FTypesCheckListBox->row(it);
        FTypesCheckListBoxClick(index);
        FTypesCheckListBoxOnClick(index);
    });
    Ask = [this](const QString &t) {
        return QMessageBox::question(this, windowTitle(), t, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    Message = [this](const QString &t) { QMessageBox::information(this, windowTitle(), t); };
}

void TShlExtTypeBMForm::SetTypeChecks(const std::array<std::uint8_t, 9> &Checks)
{
    m_handed = Checks;
    const QSignalBlocker block(FTypesCheckListBox);
    for (int i = 0; i < 9; ++i)
        FTypesCheckListBox->item(i)->setCheckState(Checks[size_t(i)] ? Qt::Checked : Qt::Unchecked);
}

bool TShlExtTypeBMForm::GetTypeChecks(std::array<std::uint8_t, 9> &Checks) const
{
    bool any = false;
    for (int i = 0; i < 9; ++i) {
        Checks[size_t(i)] = FTypesCheckListBox->item(i)->checkState() == Qt::Checked;
        any = any || Checks[size_t(i)];
    }
    return any;
}

void TShlExtTypeBMForm::FTypesCheckListBoxClick(int index)
{
    if (index != 8)
        return;
    const Qt::CheckState state = FTypesCheckListBox->item(8)->checkState();
    const QSignalBlocker block(FTypesCheckListBox);
    for (int i = 0; i < 8; ++i)
        FTypesCheckListBox->item(i)->setCheckState(state);
}

void TShlExtTypeBMForm::FTypesCheckListBoxOnClick(int index)
{
    if (index < 0 || index == 8 || FTypesCheckListBox->item(index)->checkState() == Qt::Checked)
        return;
    const QSignalBlocker block(FTypesCheckListBox);
    FTypesCheckListBox->item(8)->setCheckState(Qt::Unchecked);
}

void TShlExtTypeBMForm::showEvent(QShowEvent *e)
{
    TSmallSettingsForm::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TShlExtTypeBMForm::FormShow()
{
    // No browser extension to look for: the box keeps what was handed in.
    IEShellCheckBox->hide();
}

void TShlExtTypeBMForm::SETOkButtonClick()
{
    TViewVerbRegistrar reg(DataHome, ProgramPath.isEmpty() ? QCoreApplication::applicationFilePath() : ProgramPath);
    const bool confirm = SETInfCheckBox->isChecked();
    int stoppedAt = -1;
    for (int i = 0; i < 8; ++i) {
        const QString ext = QString::fromLatin1(ViewVerbExtensions()[size_t(i)]);
        const bool on = FTypesCheckListBox->item(i)->checkState() == Qt::Checked;
        if (on) {
            const QString existing = reg.ExistingExec();
            if (confirm && !existing.isEmpty() && existing != reg.ExecValue() &&
                !(Ask && Ask(text("msgdlg_shell_ext_reg_1", QStringLiteral("Die Dateiendung ")) + ext +
                             text("msgdlg_shell_ext_reg_2", QStringLiteral(" wird schon betrachtet mit:\n")) +
                             existing +
                             text("msgdlg_shell_ext_reg_3", QStringLiteral("\nSoll Zelkora das übernehmen?"))))) {
                stoppedAt = i;
                break;
            }
        }
        QString error;
        const bool written = (!on || i != 6 || reg.DeclareZkgType(&error)) && reg.SetType(i, on, &error);
        if (!written) {
            if (Message)
                Message(text("msgdlg_shell_ext_write_error",
                             QStringLiteral("Der Eintrag \"Mit Zelkora betrachten\" konnte nicht geschrieben werden:")) +
                        QLatin1Char('\n') + error);
            stoppedAt = i;
            break;
        }
        if (on && confirm && Message)
            Message(text("msgdlg_shell_ext_reg_1", QStringLiteral("Die Dateiendung ")) + ext +
                    text("msgdlg_shell_ext_reg_4", QStringLiteral(" wird jetzt mit Zelkora betrachtet.")));
    }
    reg.RunUpdateTools();
    // What was not done keeps the state it had, so the record says what is
    // really registered.
    if (stoppedAt >= 0) {
        const QSignalBlocker block(FTypesCheckListBox);
        for (int i = stoppedAt; i < 9; ++i)
            FTypesCheckListBox->item(i)->setCheckState(m_handed[size_t(i)] ? Qt::Checked : Qt::Unchecked);
    }
    done(1);
}

// ---------------------------------------------------------------------------

TMinKindBMForm::TMinKindBMForm(QWidget *owner)
    : TSmallSettingsForm(owner, "MinKindBMForm", QStringLiteral("Animiertes Minimieren"))
{
    AnimMinCheckBox = new QCheckBox(QStringLiteral("Zelkora animiert minimieren"), this);
    AnimMinCheckBox->setObjectName(QStringLiteral("AnimMinCheckBox"));
    AnimCountLabel = new QLabel(QStringLiteral("Anzahl der Animationswiederholungen:"), this);
    AnimCountLabel->setObjectName(QStringLiteral("AnimCountLabel"));
    AnimCountEdit = new QLineEdit(this);
    AnimCountEdit->setObjectName(QStringLiteral("AnimCountEdit"));
    AnimCountEdit->setMaximumWidth(60);
    AnimCountUpDown = new TEditUpDown(this);
    AnimCountUpDown->setObjectName(QStringLiteral("AnimCountUpDown"));
    AnimCountUpDown->Associate(AnimCountEdit);
    AnimCountUpDown->SetRange(1, 20);
    AnimCountLabel->setBuddy(AnimCountEdit);
    auto *row = new QHBoxLayout;
    row->addWidget(AnimCountLabel);
    row->addWidget(AnimCountEdit);
    row->addWidget(AnimCountUpDown);
    row->addStretch();
    layout()->addWidget(AnimMinCheckBox);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);
    addButtons();
    connect(AnimMinCheckBox, &QCheckBox::toggled, this, &TMinKindBMForm::AnimMinCheckBoxClick);
    FormCreate();
}

void TMinKindBMForm::FormCreate()
{
    MakeEditNumeric(AnimCountEdit);
}

void TMinKindBMForm::showEvent(QShowEvent *e)
{
    TSmallSettingsForm::showEvent(e);
    FormShow();
    if (QWidget *owner = parentWidget())
        move(owner->window()->frameGeometry().center() - rect().center());
}

void TMinKindBMForm::FormShow()
{
    AnimMinCheckBoxClick();
}

void TMinKindBMForm::AnimMinCheckBoxClick()
{
    AnimCountUpDown->setEnabled(AnimMinCheckBox->isChecked());
    AnimCountEdit->setEnabled(AnimMinCheckBox->isChecked());
}

// ---------------------------------------------------------------------------

TGraphEdtBMForm::TGraphEdtBMForm(QWidget *owner)
    : TSmallSettingsForm(owner, "GraphEdtBMForm", QStringLiteral("Externer Grafikeditor"))
{
    GraphEdtGroupBox = new QGroupBox(QStringLiteral("Grafikeditor wählen"), this);
    GraphEdtGroupBox->setObjectName(QStringLiteral("GraphEdtGroupBox"));
    ExtProgHistoryCombo = new THistoryCombo(GraphEdtGroupBox);
    ExtProgHistoryCombo->setObjectName(QStringLiteral("ExtProgHistoryCombo"));
    ExtProgHistoryCombo->setMinimumWidth(320);
    ExtProgBitBtn = new QPushButton(QStringLiteral("..."), GraphEdtGroupBox);
    ExtProgBitBtn->setObjectName(QStringLiteral("ExtProgBitBtn"));
    auto *row = new QHBoxLayout(GraphEdtGroupBox);
    row->addWidget(ExtProgHistoryCombo, 1);
    row->addWidget(ExtProgBitBtn);
    layout()->addWidget(GraphEdtGroupBox);
    addButtons();
    connect(ExtProgBitBtn, &QPushButton::clicked, this, &TGraphEdtBMForm::ExtProgButtonClick);
}

void TGraphEdtBMForm::SetEditorPath(const QString &Path)
{
    ExtProgHistoryCombo->setCurrentText(Path);
}

void TGraphEdtBMForm::ExtProgButtonClick()
{
    const QString file = ChooseProgram ? ChooseProgram() : QString();
    if (!file.isEmpty())
        ExtProgHistoryCombo->setCurrentText(file);
}

// ---------------------------------------------------------------------------

namespace {

// The script and language of the settings dialog that opens a form.
void takeLanguage(TBaseModalForm &form, QWidget *owner)
{
    if (auto *settings = qobject_cast<TOptionDlgBMForm *>(owner))
        form.SetLanguage(settings->OptionMultiLanguage->Script(), settings->LanguageIndex);
    TXPLook::ApplyToForm(&form, TXPLook::FormActive(owner));
}

} // namespace

void InstallOptionSubDialogs()
{
    TOptionSubDialogs &hooks = OptionSubDialogs();
    hooks.GifColOpt = [](QWidget *owner, std::uint8_t &gifColOpt) {
        TGifColOptBMForm form(owner);
        form.SetColOpt(gifColOpt);
        takeLanguage(form, owner);
        const int result = form.exec();
        if (result == 1)
            form.GetColOpt(gifColOpt);
        return result;
    };
    hooks.ShellExt = [](QWidget *owner, std::array<std::uint8_t, 9> &types, bool &ieShell, QString &guid) {
        TShlExtTypeBMForm form(owner);
        takeLanguage(form, owner);
        form.SetTypeChecks(types);
        form.IEShellCheckBox->setChecked(ieShell);
        form.GUID = guid;
        const int result = form.exec();
        if (result == 1) {
            form.GetTypeChecks(types);
            ieShell = form.IEShellCheckBox->isChecked();
            guid = form.GUID;
        }
        return result;
    };
    hooks.MinKind = [](QWidget *owner, bool &animMin, std::uint8_t &animCount) {
        TMinKindBMForm form(owner);
        takeLanguage(form, owner);
        form.AnimMinCheckBox->setChecked(animMin);
        form.AnimCountUpDown->SetPosition(animCount);
        const int result = form.exec();
        if (result == 1) {
            animMin = form.AnimMinCheckBox->isChecked();
            animCount = std::uint8_t(form.AnimCountUpDown->Position());
        }
        return result;
    };
    hooks.GraphEditor = [](QWidget *owner, QString &path) {
        TGraphEdtBMForm form(owner);
        takeLanguage(form, owner);
        if (auto *settings = qobject_cast<TOptionDlgBMForm *>(owner))
            form.ChooseProgram = settings->Prompts.ChooseProgram;
        form.SetEditorPath(path);
        const int result = form.exec();
        if (result == 1)
            path = form.ExtProgHistoryCombo->currentText();
        return result;
    };
    InstallScanTestDialog(hooks);
}

} // namespace zk
