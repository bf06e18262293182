#include "MarkDialogs.h"

#include "Globals.h"
#include "MultiLanguage.h"
#include "Named.h"
#include "Registry.h"
#include "SmallControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QVBoxLayout>

namespace zk {

namespace {

} // namespace

// ---------------------------------------------------------------------------
// TNumKindBMForm

TNumKindBMForm::TNumKindBMForm(QWidget *owner)
    : TEditDialogBase(owner, QStringLiteral("NumKind"))
{
    setObjectName(QStringLiteral("NumKindBMForm"));
    setWindowTitle(QStringLiteral("Grafik durchnummerieren"));
    NumKindGroupBox = Named(new QGroupBox(QStringLiteral("Nummernart"), this), "NumKindGroupBox");
    QWidget *g = NumKindGroupBox;
    NumVonLabel = Named(new QLabel(QStringLiteral("Nummerierung &von:"), g), "NumVonLabel");
    NumVonEdit = Named(new QLineEdit(g), "NumVonEdit");
    NumVonUpDown = AttachUpDown(NumVonEdit, "NumVonUpDown", 1, 999, 1);
    NumBisLabel = Named(new QLabel(QStringLiteral("&bis:"), g), "NumBisLabel");
    NumBisEdit = Named(new QLineEdit(g), "NumBisEdit");
    NumBisUpDown = AttachUpDown(NumBisEdit, "NumBisUpDown", 0, 999, 1);
    for (QLineEdit *e : {NumVonEdit, NumBisEdit}) {
        MakeEditNumeric(e);
        e->setMaximumWidth(60);
    }
    NumColLabel = Named(new QLabel(QString::fromUtf8("Füll&farbe:"), g), "NumColLabel");
    NumColComboBox = Named(new TColComboBox(g), "NumColComboBox");
    RandColLabel = Named(new QLabel(QStringLiteral("&Randfarbe:"), g), "RandColLabel");
    RandColComboBox = Named(new TColComboBox(g), "RandColComboBox");
    for (TColComboBox *box : {NumColComboBox, RandColComboBox})
        for (const QString &name : ColComboNames())
            box->AddColorItem(name, name);
    RandWidthLabel = Named(new QLabel(QStringLiteral("Rand&breite:"), g), "RandWidthLabel");
    RandWidthComboBox = Named(new QComboBox(g), "RandWidthComboBox");
    RandWidthComboBox->addItems({"1", "2", "3", "4", "5", "6"});
    OutputHintCheckBox = Named(new QCheckBox(QStringLiteral("Aktuelle Nummerierungs&ausgabe anzeigen"), g),
                               "OutputHintCheckBox");
    NumVonLabel->setBuddy(NumVonEdit);
    NumBisLabel->setBuddy(NumBisEdit);
    NumColLabel->setBuddy(NumColComboBox);
    RandColLabel->setBuddy(RandColComboBox);
    RandWidthLabel->setBuddy(RandWidthComboBox);

    auto *grid = new QGridLayout(g);
    const auto row = [](QLineEdit *e, TEditUpDown *u) {
        auto *r = new QHBoxLayout;
        r->setSpacing(0);
        r->addWidget(e);
        r->addWidget(u);
        r->addStretch();
        return r;
    };
    grid->addWidget(NumVonLabel, 0, 0);
    grid->addLayout(row(NumVonEdit, NumVonUpDown), 0, 1);
    grid->addWidget(NumBisLabel, 0, 2);
    grid->addLayout(row(NumBisEdit, NumBisUpDown), 0, 3);
    grid->addWidget(NumColLabel, 1, 0);
    grid->addWidget(NumColComboBox, 1, 1, 1, 3);
    grid->addWidget(RandColLabel, 2, 0);
    grid->addWidget(RandColComboBox, 2, 1, 1, 3);
    grid->addWidget(RandWidthLabel, 3, 0);
    grid->addWidget(RandWidthComboBox, 3, 1);
    grid->addWidget(OutputHintCheckBox, 4, 0, 1, 4);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(NumKindGroupBox);
    layout->addWidget(ButtonRow());

    NumColComboBox->setCurrentIndex(3);
    RandColComboBox->setCurrentIndex(2);
    RandWidthComboBox->setCurrentIndex(1);
    connect(NumVonUpDown, &TEditUpDown::Changed, this, &TNumKindBMForm::NumVonChange);
    connect(NumVonEdit, &QLineEdit::textEdited, this, &TNumKindBMForm::NumVonChange);
}

TNumberSettings TNumKindBMForm::Settings() const
{
    TNumberSettings s;
    s.From = NumVonUpDown->Position();
    s.To = NumBisUpDown->Position();
    s.Fill = NumColComboBox->currentIndex();
    s.Rim = RandColComboBox->currentIndex();
    s.RimItem = RandWidthComboBox->currentIndex();
    s.Hint = OutputHintCheckBox->isChecked();
    return s;
}

void TNumKindBMForm::ApplySettings(const TNumberSettings &s)
{
    NumVonUpDown->SetPosition(s.From);
    NumVonChange();
    NumBisUpDown->SetPosition(std::max(s.To, s.From));
    NumColComboBox->setCurrentIndex(s.Fill);
    RandColComboBox->setCurrentIndex(s.Rim);
    RandWidthComboBox->setCurrentIndex(s.RimItem);
    OutputHintCheckBox->setChecked(s.Hint);
}

void TNumKindBMForm::NumVonChange()
{
    const int from = NumVonUpDown->Position();
    NumBisUpDown->SetRange(from, 999);
    NumBisUpDown->SetPosition(from);
}

void TNumKindBMForm::ReportStoreError(const QString &reason)
{
    StoreError = reason;
    QMessageBox::warning(this, windowTitle(),
                         Text(QStringLiteral("showmsg_reg_except"),
                              QStringLiteral("Fehler beim Zugriff auf die Registrierung:")) +
                             QLatin1Char(' ') + reason);
}

void TNumKindBMForm::FormActivate()
{
    try {
        if (const std::optional<TNumberSettings> stored = LoadNumberSettings()) {
            ApplySettings(*stored);
        } else {
            TNumberSettings defaults;
            defaults.From = defaults.To = 1;
            defaults.Fill = 0;
            defaults.Rim = 2;
            defaults.RimItem = 2;
            defaults.Hint = false;
            ApplySettings(defaults);
        }
    } catch (const ERegistryException &e) {
        ReportStoreError(e.message());
    }
}

void TNumKindBMForm::showEvent(QShowEvent *event)
{
    TEditDialogBase::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        FormActivate();
    }
}

void TNumKindBMForm::OkClick()
{
    OkPressed = true;
    accept();
}

void TNumKindBMForm::done(int result)
{
    if (OkPressed) {
        try {
            SaveNumberSettings(Settings());
        } catch (const ERegistryException &e) {
            ReportStoreError(e.message());
        }
    }
    TEditDialogBase::done(result);
}

void TNumKindBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    TEditDialogBase::SetLanguage(Script, LanguageIndex);
    const QString names = Text(QStringLiteral("numkind_color_names"), QString());
    // The language file's "\n" may arrive as written or already as a line break.
    QString lines = names;
    lines.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    const QStringList texts = lines.split(QLatin1Char('\n'));
    if (texts.size() == ColComboNames().size()) {
        NumColComboBox->SetItemTexts(texts);
        RandColComboBox->SetItemTexts(texts);
    }
}

// ---------------------------------------------------------------------------
// TMouseTestBMForm

TMouseTestBMForm::TMouseTestBMForm(QWidget *owner)
    : TEditDialogBase(owner, QStringLiteral("MouseTest"))
{
    setObjectName(QStringLiteral("MouseTestBMForm"));
    setWindowTitle(QStringLiteral("Mauszeiger testen"));
    MouseTestLabel1 = Named(new QLabel(QString::fromUtf8("Klicken Sie auf einen Mauszeiger der Liste."), this),
                            "MouseTestLabel1");
    MouseTestLabel2 = Named(new QLabel(QString::fromUtf8("Über der Liste zeigt sich der gewählte Zeiger."), this),
                            "MouseTestLabel2");
    MouseTestLabel3 = Named(new QLabel(QString::fromUtf8("OK stempelt ihn beim nächsten Klick in die Grafik."), this),
                            "MouseTestLabel3");
    CursorsListBox = Named(new QListWidget(this), "CursorsListBox");
    CursorsListBox->addItems(PointerListEntries());
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MouseTestLabel1);
    layout->addWidget(CursorsListBox, 1);
    layout->addWidget(MouseTestLabel2);
    layout->addWidget(MouseTestLabel3);
    layout->addWidget(ButtonRow());
    resize(300, 420);
    connect(CursorsListBox, &QListWidget::itemClicked, this, &TMouseTestBMForm::CursorsListBoxClick);
    connect(CursorsListBox, &QListWidget::currentRowChanged, this, &TMouseTestBMForm::CursorsListBoxClick);
}

int TMouseTestBMForm::ChosenPointer() const
{
    return CursorsListBox->currentRow() + 1;
}

void TMouseTestBMForm::CursorsListBoxClick()
{
    if (const std::optional<Qt::CursorShape> shape = PointerShape(ChosenPointer())) {
        setCursor(*shape);
        CursorsListBox->setCursor(cursor());
        CursorsListBox->viewport()->setCursor(cursor());
    }
}

} // namespace zk
