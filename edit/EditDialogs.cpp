#include "EditDialogs.h"

#include "EditCommands.h"
#include "HistList.h"
#include "MultiLanguage.h"
#include "Named.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zk {

namespace {

QLabel *Label(QWidget *parent, const char *name, const QString &caption)
{
    return Named(new QLabel(caption, parent), name);
}

QLineEdit *DigitsEdit(QWidget *parent, const char *name)
{
    auto *edit = Named(new QLineEdit(parent), name);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,9}")), edit));
    edit->setMaximumWidth(80);
    return edit;
}

QHBoxLayout *EditRow(QLineEdit *edit, TEditUpDown *ud)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(edit);
    row->addWidget(ud);
    row->addStretch();
    return row;
}

void SetTag(QObject *obj, int tag)
{
    obj->setProperty("Tag", tag);
}

QSlider *Slider(QWidget *parent, const char *name, int min, int max, int position)
{
    auto *s = Named(new QSlider(Qt::Horizontal, parent), name);
    s->setRange(min, max);
    s->setValue(position);
    s->setTickPosition(QSlider::TicksBelow);
    s->setPageStep(std::max(1, (max - min) / 10));
    return s;
}

} // namespace

// ---------------------------------------------------------------------------
// TEditUpDown

TEditUpDown::TEditUpDown(QWidget *parent)
    : QWidget(parent)
{
    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("UpButton"));
    m_up->setArrowType(Qt::UpArrow);
    m_up->setAutoRepeat(true);
    m_down = new QToolButton(this);
    m_down->setObjectName(QStringLiteral("DownButton"));
    m_down->setArrowType(Qt::DownArrow);
    m_down->setAutoRepeat(true);
    for (QToolButton *b : {m_up, m_down}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(18, 12);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { StepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { StepBy(-1); });
}

void TEditUpDown::Associate(QLineEdit *edit)
{
    if (m_edit)
        m_edit->removeEventFilter(this);
    m_edit = edit;
    if (m_edit) {
        m_edit->installEventFilter(this);
        connect(m_edit, &QLineEdit::editingFinished, this, [this] {
            // Typed numbers beyond the range are shown as what counts.
            SetPosition(Position());
        });
        WriteEdit();
    }
}

void TEditUpDown::SetRange(int min, int max)
{
    m_min = min;
    m_max = std::max(min, max);
    m_position = std::clamp(m_position, m_min, m_max);
    WriteEdit();
}

int TEditUpDown::Position() const
{
    if (m_edit) {
        bool ok = false;
        const qlonglong typed = m_edit->text().trimmed().toLongLong(&ok);
        if (ok)
            return int(std::clamp<qlonglong>(typed, m_min, m_max));
    }
    return m_position;
}

void TEditUpDown::SetPosition(int position)
{
    const int p = std::clamp(position, m_min, m_max);
    const bool changed = p != m_position;
    m_position = p;
    WriteEdit();
    if (changed)
        emit Changed(m_position);
}

void TEditUpDown::StepBy(int steps)
{
    SetPosition(int(std::clamp<qint64>(qint64(Position()) + qint64(steps) * m_increment, m_min, m_max)));
}

void TEditUpDown::WriteEdit()
{
    if (m_edit && m_edit->text() != QString::number(m_position))
        m_edit->setText(QString::number(m_position));
}

bool TEditUpDown::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TEditUpDown::changeEvent(QEvent *event)
{
    // An up-down and its edit are one control to the user.
    if (event->type() == QEvent::EnabledChange && m_edit)
        m_edit->setEnabled(isEnabled());
    QWidget::changeEvent(event);
}

// ---------------------------------------------------------------------------
// TEditColorGrid

namespace {
constexpr int kGridColumns = 4;
constexpr int kCell = 22;
} // namespace

TEditColorGrid::TEditColorGrid(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

const QList<TColor> &TEditColorGrid::GridColors()
{
    static const QList<TColor> colors = {clBlack, clMaroon, clGreen, clOlive, clNavy,   clPurple,
                                         clTeal,  clGray,   clSilver, clRed,  clLime,   clYellow,
                                         clBlue,  clFuchsia, clAqua,  clWhite};
    return colors;
}

void TEditColorGrid::SetForegroundIndex(int index)
{
    if (index < 0 || index >= GridColors().size())
        return;
    m_foreground = index;
    update();
}

QRect TEditColorGrid::CellRect(int index) const
{
    return QRect((index % kGridColumns) * kCell, (index / kGridColumns) * kCell, kCell, kCell);
}

QSize TEditColorGrid::sizeHint() const
{
    return QSize(kGridColumns * kCell, int((GridColors().size() + kGridColumns - 1) / kGridColumns) * kCell);
}

void TEditColorGrid::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    for (int i = 0; i < GridColors().size(); ++i) {
        const QRect r = CellRect(i).adjusted(1, 1, -1, -1);
        p.fillRect(r, TColorToQColor(GridColors().at(i)));
        p.setPen(i == m_foreground ? palette().color(QPalette::Highlight) : palette().color(QPalette::Mid));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        if (i == m_foreground)
            p.drawRect(r.adjusted(-1, -1, 0, 0));
    }
}

void TEditColorGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    for (int i = 0; i < GridColors().size(); ++i) {
        if (CellRect(i).contains(pos)) {
            SetForegroundIndex(i);
            emit Clicked();
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// TEditDialogBase

TEditDialogBase::TEditDialogBase(QWidget *owner, const QString &prefix)
    : TBaseModalForm(owner)
{
    m_language = new TMultiLanguage(this);
    m_language->setObjectName(prefix + QStringLiteral("MultiLanguage"));
    m_ok = new QPushButton(QStringLiteral("&OK"), this);
    m_ok->setObjectName(prefix + QStringLiteral("OkButton"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("&Abbrechen"), this);
    m_cancel->setObjectName(prefix + QStringLiteral("CancelButton"));
    connect(m_ok, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TEditDialogBase::Text(const QString &key, const QString &fallback) const
{
    const QString t = m_language->GetText(key);
    return t.isEmpty() ? fallback : t;
}

void TEditDialogBase::OkClick()
{
    accept();
}

QWidget *TEditDialogBase::ButtonRow()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(m_ok);
    layout->addWidget(m_cancel);
    return row;
}

// ---------------------------------------------------------------------------
// TScaleBMForm

TScaleBMForm::TScaleBMForm(QWidget *owner)
    : TEditDialogBase(owner, QStringLiteral("Scale"))
{
    setObjectName(QStringLiteral("ScaleBMForm"));
    setWindowTitle(QStringLiteral("Grafik skalieren"));
    ScaleTrackBar = Slider(this, "ScaleTrackBar", -4, 4, 0);
    ScaleTrackBar->setTickInterval(1);
    ScaleTrackBar->setPageStep(1);
    SubSpeedButton = Named(new QToolButton(this), "SubSpeedButton");
    SubSpeedButton->setText(QStringLiteral("-"));
    AddSpeedButton = Named(new QToolButton(this), "AddSpeedButton");
    AddSpeedButton->setText(QStringLiteral("+"));
    SFActionStaticText = Label(this, "SFActionStaticText",
                               QStringLiteral("Links = verkleinern - Rechts = vergrößern"));
    SFActionStaticText->setAlignment(Qt::AlignCenter);
    SFActionStaticText->setFrameShape(QFrame::StyledPanel);

    auto *sliderRow = new QHBoxLayout;
    sliderRow->addWidget(SubSpeedButton);
    sliderRow->addWidget(ScaleTrackBar, 1);
    sliderRow->addWidget(AddSpeedButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(sliderRow);
    layout->addWidget(SFActionStaticText);
    layout->addWidget(ButtonRow());
    resize(360, 140);

    connect(ScaleTrackBar, &QSlider::valueChanged, this, &TScaleBMForm::ScaleTrackBarChange);
    connect(SubSpeedButton, &QToolButton::clicked, this,
            [this] { ScaleTrackBar->setValue(ScaleTrackBar->value() - 1); });
    connect(AddSpeedButton, &QToolButton::clicked, this,
            [this] { ScaleTrackBar->setValue(ScaleTrackBar->value() + 1); });
}

void TScaleBMForm::ScaleTrackBarChange(int position)
{
    static const char *const fallback[9] = {
        "Verkleinern auf 1/5 der Größe", "Verkleinern auf 1/4 der Größe", "Verkleinern auf 1/3 der Größe",
        "Verkleinern auf 1/2 der Größe", "Links = verkleinern - Rechts = vergrößern",
        "Vergrößern auf die doppelte Größe", "Vergrößern auf die dreifache Größe",
        "Vergrößern auf die vierfache Größe", "Vergrößern auf die fünffache Größe",
    };
    const int p = std::clamp(position, -4, 4);
    SFActionStaticText->setText(
        Text(QStringLiteral("caption_set_%1").arg(p), QString::fromUtf8(fallback[p + 4])));
    ScaleFactor = ScaleFactorForPosition(p);
}

void TScaleBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    TEditDialogBase::SetLanguage(Script, LanguageIndex);
    if (ScaleTrackBar->value() != 0)
        ScaleTrackBarChange(ScaleTrackBar->value());
}

void TScaleBMForm::OkClick()
{
    ScaleFactor = ScaleFactorForPosition(ScaleTrackBar->value());
    accept();
}

// ---------------------------------------------------------------------------
// TGraphDimBMForm

TGraphDimBMForm::TGraphDimBMForm(QWidget *owner)
    : TEditDialogBase(owner, QStringLiteral("GraphDim"))
{
    setObjectName(QStringLiteral("GraphDimBMForm"));
    setWindowTitle(QStringLiteral("Ansicht skalieren"));
    GDFPixRadioButton = Named(new QRadioButton(QStringLiteral("Angaben in Pixel:"), this), "GDFPixRadioButton");
    SetTag(GDFPixRadioButton, 0);
    GDFProzRadioButton =
        Named(new QRadioButton(QStringLiteral("Angaben in Prozent:"), this), "GDFProzRadioButton");
    SetTag(GDFProzRadioButton, 1);
    GDFPixRadioButton->setChecked(true);
    // Nothing reads the percentages yet, so that mode is not offered.
    GDFProzRadioButton->setEnabled(false);

    GDFPixPanel = Named(new QWidget(this), "GDFPixPanel");
    PixWidthEdit = DigitsEdit(GDFPixPanel, "PixWidthEdit");
    PixHeightEdit = DigitsEdit(GDFPixPanel, "PixHeightEdit");
    PixWidthUpDown = AttachUpDown(PixWidthEdit, "PixWidthUpDown", 0, 1600, 0);
    PixHeightUpDown = AttachUpDown(PixHeightEdit, "PixHeightUpDown", 0, 1200, 0);
    auto *pix = new QGridLayout(GDFPixPanel);
    pix->addWidget(Label(GDFPixPanel, "PixWidthLabel", QStringLiteral("Breite:")), 0, 0);
    pix->addLayout(EditRow(PixWidthEdit, PixWidthUpDown), 0, 1);
    pix->addWidget(Label(GDFPixPanel, "PixHeightLabel", QStringLiteral("Höhe:")), 1, 0);
    pix->addLayout(EditRow(PixHeightEdit, PixHeightUpDown), 1, 1);

    GDFProzPanel = Named(new QWidget(this), "GDFProzPanel");
    ProzWidthEdit = DigitsEdit(GDFProzPanel, "ProzWidthEdit");
    ProzHeightEdit = DigitsEdit(GDFProzPanel, "ProzHeightEdit");
    ProzWidthUpDown = AttachUpDown(ProzWidthEdit, "ProzWidthUpDown", 0, 1000, 100);
    ProzHeightUpDown = AttachUpDown(ProzHeightEdit, "ProzHeightUpDown", 0, 1000, 100);
    auto *proz = new QGridLayout(GDFProzPanel);
    proz->addWidget(Label(GDFProzPanel, "ProzWidthLabel", QStringLiteral("Breite:")), 0, 0);
    proz->addLayout(EditRow(ProzWidthEdit, ProzWidthUpDown), 0, 1);
    proz->addWidget(Label(GDFProzPanel, "ProzHeightLabel", QStringLiteral("Höhe:")), 1, 0);
    proz->addLayout(EditRow(ProzHeightEdit, ProzHeightUpDown), 1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GDFPixRadioButton);
    layout->addWidget(GDFPixPanel);
    layout->addWidget(GDFProzRadioButton);
    layout->addWidget(GDFProzPanel);
    layout->addWidget(ButtonRow());

    connect(GDFPixRadioButton, &QRadioButton::clicked, this, [this] { RadioButtonClick(0); });
    connect(GDFProzRadioButton, &QRadioButton::clicked, this, [this] { RadioButtonClick(1); });
    RadioButtonClick(0);
}

void TGraphDimBMForm::RadioButtonClick(int tag)
{
    GDFPixPanel->setEnabled(tag == 0);
    GDFProzPanel->setEnabled(tag == 1);
}

void TGraphDimBMForm::Preset(int pixWidth, int pixHeight, int prozWidth, int prozHeight)
{
    const QSize max = ViewScaleMaxima(QSize(pixWidth, pixHeight));
    PixWidthUpDown->SetRange(0, max.width());
    PixHeightUpDown->SetRange(0, max.height());
    PixWidthUpDown->SetPosition(pixWidth);
    PixHeightUpDown->SetPosition(pixHeight);
    ProzWidthUpDown->SetPosition(prozWidth);
    ProzHeightUpDown->SetPosition(prozHeight);
}

int TGraphDimBMForm::PixWidth() const { return PixWidthUpDown->Position(); }
int TGraphDimBMForm::PixHeight() const { return PixHeightUpDown->Position(); }
int TGraphDimBMForm::ProzWidth() const { return ProzWidthUpDown->Position(); }
int TGraphDimBMForm::ProzHeight() const { return ProzHeightUpDown->Position(); }
bool TGraphDimBMForm::PixelMode() const { return GDFPixRadioButton->isChecked(); }

void TGraphDimBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    TEditDialogBase::SetLanguage(Script, LanguageIndex);
    // No caption key of its own: its title is a text of the file.
    setWindowTitle(Text(QStringLiteral("caption_graphdim_title"), QStringLiteral("Ansicht skalieren")));
}

// ---------------------------------------------------------------------------
// TNewDimPicBMForm

TNewDimPicBMForm::TNewDimPicBMForm(QWidget *owner)
    : TEditDialogBase(owner, QStringLiteral("NewDimPic"))
{
    setObjectName(QStringLiteral("NewDimPicBMForm"));
    setWindowTitle(QStringLiteral("Neue Grafikgröße"));
    GrWidthEdit = DigitsEdit(this, "GrWidthEdit");
    GrHeightEdit = DigitsEdit(this, "GrHeightEdit");
    GrWidthUpDown = AttachUpDown(GrWidthEdit, "GrWidthUpDown", 0, 1920, 0);
    GrHeightUpDown = AttachUpDown(GrHeightEdit, "GrHeightUpDown", 0, 1080, 0);
    auto *grid = new QGridLayout;
    grid->addWidget(Label(this, "GrWidthLabel", QStringLiteral("&Breite:")), 0, 0);
    grid->addLayout(EditRow(GrWidthEdit, GrWidthUpDown), 0, 1);
    grid->addWidget(Label(this, "GrHeightLabel", QStringLiteral("&Höhe:")), 1, 0);
    grid->addLayout(EditRow(GrHeightEdit, GrHeightUpDown), 1, 1);
    findChild<QLabel *>(QStringLiteral("GrWidthLabel"))->setBuddy(GrWidthEdit);
    findChild<QLabel *>(QStringLiteral("GrHeightLabel"))->setBuddy(GrHeightEdit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label(this, "GrSizeLabel", QStringLiteral("Neue Größe in Pixel:")));
    layout->addLayout(grid);
    layout->addWidget(ButtonRow());
}

void TNewDimPicBMForm::Preset(const QSize &screenSize, const QSize &pictureSize)
{
    const QSize max = NewSizeMaxima(screenSize, pictureSize);
    GrWidthUpDown->SetRange(0, max.width());
    GrHeightUpDown->SetRange(0, max.height());
    GrWidthUpDown->SetPosition(pictureSize.width());
    GrHeightUpDown->SetPosition(pictureSize.height());
}

int TNewDimPicBMForm::NewWidth() const { return GrWidthUpDown->Position(); }
int TNewDimPicBMForm::NewHeight() const { return GrHeightUpDown->Position(); }

void TNewDimPicBMForm::OkClick()
{
    if (NewWidth() < 1 || NewHeight() < 1) {
        QMessageBox::warning(this, windowTitle(),
                             Text(QStringLiteral("showmsg_newdim_zero"),
                                  QStringLiteral("Breite und Höhe müssen mindestens 1 Pixel betragen.")));
        (NewWidth() < 1 ? GrWidthEdit : GrHeightEdit)->setFocus();
        return;
    }
    accept();
}

// ---------------------------------------------------------------------------
// TBorderPropertyBMForm

TBorderPropertyBMForm::TBorderPropertyBMForm(QWidget *owner)
    : TEditDialogBase(owner, QStringLiteral("BorderProperty"))
{
    setObjectName(QStringLiteral("BorderPropertyBMForm"));
    setWindowTitle(QStringLiteral("Rahmen-Eigenschaften"));

    BorderColorGroupBox = Named(new QGroupBox(QStringLiteral("Rahmenfarbe"), this), "BorderColorGroupBox");
    BorderColorGrid = Named(new TEditColorGrid(BorderColorGroupBox), "BorderColorGrid");
    MColrButton = Named(new QPushButton(QStringLiteral("Mehr &Farben..."), BorderColorGroupBox), "MColrButton");
    MColrButton->setAutoDefault(false);
    BorderColorShape = Label(BorderColorGroupBox, "BorderColorShape", QString());
    BorderColorShape->setFixedSize(40, 20);
    BorderColorShape->setAutoFillBackground(true);
    BorderColorShape->setFrameShape(QFrame::Box);
    MoreColorDialog = Named(new QColorDialog(this), "MoreColorDialog");
    auto *colors = new QGridLayout(BorderColorGroupBox);
    colors->addWidget(BorderColorGrid, 0, 0, 2, 1);
    colors->addWidget(MColrButton, 0, 1);
    colors->addWidget(BorderColorShape, 1, 1);

    BorderWidthGroupBox = Named(new QGroupBox(QStringLiteral("Rahmenstärke"), this), "BorderWidthGroupBox");
    BorderEdit = DigitsEdit(BorderWidthGroupBox, "BorderEdit");
    BorderLeftEdit = DigitsEdit(BorderWidthGroupBox, "BorderLeftEdit");
    BorderBottomEdit = DigitsEdit(BorderWidthGroupBox, "BorderBottomEdit");
    BorderRightEdit = DigitsEdit(BorderWidthGroupBox, "BorderRightEdit");
    BorderUpDown = AttachUpDown(BorderEdit, "BorderUpDown", 1, 20, 3);
    BorderLeftUpDown = AttachUpDown(BorderLeftEdit, "BorderLeftUpDown", 1, 20, 3);
    BorderBottomUpDown = AttachUpDown(BorderBottomEdit, "BorderBottomUpDown", 1, 20, 3);
    BorderRightUpDown = AttachUpDown(BorderRightEdit, "BorderRightUpDown", 1, 20, 3);
    auto *widths = new QGridLayout(BorderWidthGroupBox);
    widths->addWidget(Label(BorderWidthGroupBox, "BorderTopLabel", QStringLiteral("Oben:")), 0, 0);
    widths->addLayout(EditRow(BorderEdit, BorderUpDown), 0, 1);
    widths->addWidget(Label(BorderWidthGroupBox, "BorderLeftLabel", QStringLiteral("Links:")), 1, 0);
    widths->addLayout(EditRow(BorderLeftEdit, BorderLeftUpDown), 1, 1);
    widths->addWidget(Label(BorderWidthGroupBox, "BorderBottomLabel", QStringLiteral("Unten:")), 2, 0);
    widths->addLayout(EditRow(BorderBottomEdit, BorderBottomUpDown), 2, 1);
    widths->addWidget(Label(BorderWidthGroupBox, "BorderRightLabel", QStringLiteral("Rechts:")), 3, 0);
    widths->addLayout(EditRow(BorderRightEdit, BorderRightUpDown), 3, 1);

    auto *groups = new QHBoxLayout;
    groups->addWidget(BorderColorGroupBox);
    groups->addWidget(BorderWidthGroupBox);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(ButtonRow());

    connect(BorderColorGrid, &TEditColorGrid::Clicked, this, &TBorderPropertyBMForm::BorderColorGridClick);
    connect(MColrButton, &QPushButton::clicked, this, &TBorderPropertyBMForm::MColrButtonClick);
    ShowColor();
}

int TBorderPropertyBMForm::TopWidth() const { return BorderUpDown->Position(); }
int TBorderPropertyBMForm::LeftWidth() const { return BorderLeftUpDown->Position(); }
int TBorderPropertyBMForm::BottomWidth() const { return BorderBottomUpDown->Position(); }
int TBorderPropertyBMForm::RightWidth() const { return BorderRightUpDown->Position(); }

void TBorderPropertyBMForm::BorderColorGridClick()
{
    BorderColor = BorderColorGrid->ForegroundColor();
    ShowColor();
}

void TBorderPropertyBMForm::MColrButtonClick()
{
    MoreColorDialog->setCurrentColor(TColorToQColor(BorderColor));
    if (MoreColorDialog->exec() != QDialog::Accepted)
        return;
    BorderColor = QColorToTColor(MoreColorDialog->currentColor());
    ShowColor();
}

void TBorderPropertyBMForm::ShowColor()
{
    QPalette pal = BorderColorShape->palette();
    pal.setColor(QPalette::Window, TColorToQColor(BorderColor));
    BorderColorShape->setPalette(pal);
}

// ---------------------------------------------------------------------------
// TAntialiasing2BMForm

TAntialiasing2BMForm::TAntialiasing2BMForm(QWidget *owner)
    : TEditDialogBase(owner, QStringLiteral("Antialiasing2"))
{
    setObjectName(QStringLiteral("Antialiasing2BMForm"));
    setWindowTitle(QStringLiteral("Benutzerdefiniertes Antialiasing"));
    AntialiasLabel = Label(this, "AntialiasLabel", QStringLiteral("Stärke der Glättung:"));
    AntialiasTrackBar = Slider(this, "AntialiasTrackBar", 0, 100, 0);
    AntialiasTrackBar->setTickInterval(2);
    TachoLabel = Label(this, "TachoLabel", QStringLiteral("0"));
    TachoLabel->setMinimumWidth(30);
    TachoLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *row = new QHBoxLayout;
    row->addWidget(AntialiasTrackBar, 1);
    row->addWidget(TachoLabel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(AntialiasLabel);
    layout->addLayout(row);
    layout->addWidget(ButtonRow());
    resize(340, 120);
    connect(AntialiasTrackBar, &QSlider::valueChanged, this, &TAntialiasing2BMForm::AntialiasTrackBarChange);
}

void TAntialiasing2BMForm::AntialiasTrackBarChange(int position)
{
    TachoLabel->setText(QString::number(position));
}

void TAntialiasing2BMForm::OkClick()
{
    AntialiasValue = AntialiasTrackBar->value();
    accept();
}

// ---------------------------------------------------------------------------
// TRGBChannelsBMForm

TRGBChannelsBMForm::TRGBChannelsBMForm(QWidget *owner)
    : TEditDialogBase(owner, QStringLiteral("RGBChannels"))
{
    setObjectName(QStringLiteral("RGBChannelsBMForm"));
    setWindowTitle(QStringLiteral("Rot, Grün, Blau Kanäle modifizieren"));
    RotTrackBar = Slider(this, "RotTrackBar", 0, 255, 0);
    GreenTrackBar = Slider(this, "GreenTrackBar", 0, 255, 0);
    BlauTrackBar = Slider(this, "BlauTrackBar", 0, 255, 0);
    RotPanel = Label(this, "RotPanel", QStringLiteral("0"));
    GruenPanel = Label(this, "GruenPanel", QStringLiteral("0"));
    BlauPanel = Label(this, "BlauPanel", QStringLiteral("0"));
    auto *grid = new QGridLayout;
    const QList<QSlider *> sliders = {RotTrackBar, GreenTrackBar, BlauTrackBar};
    const QList<QLabel *> panels = {RotPanel, GruenPanel, BlauPanel};
    const char *labelNames[3] = {"RotLabel", "GruenLabel", "BlauLabel"};
    const QString captions[3] = {QStringLiteral("Rot:"), QStringLiteral("Grün:"), QStringLiteral("Blau:")};
    for (int i = 0; i < 3; ++i) {
        SetTag(sliders[i], i);
        sliders[i]->setTickInterval(16);
        panels[i]->setFrameShape(QFrame::Panel);
        panels[i]->setFrameShadow(QFrame::Sunken);
        panels[i]->setMinimumWidth(36);
        panels[i]->setAlignment(Qt::AlignCenter);
        grid->addWidget(Label(this, labelNames[i], captions[i]), i, 0);
        grid->addWidget(sliders[i], i, 1);
        grid->addWidget(panels[i], i, 2);
        QSlider *s = sliders[i];
        connect(s, &QSlider::valueChanged, this, [this, s] { TrackBarChange(s); });
    }
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(ButtonRow());
    resize(380, 160);
}

void TRGBChannelsBMForm::TrackBarChange(QSlider *sender)
{
    QLabel *panels[3] = {RotPanel, GruenPanel, BlauPanel};
    const int tag = sender->property("Tag").toInt();
    if (tag >= 0 && tag < 3)
        panels[tag]->setText(QString::number(sender->value()));
}

void TRGBChannelsBMForm::OkClick()
{
    RedShift = RotTrackBar->value();
    GreenShift = GreenTrackBar->value();
    BlueShift = BlauTrackBar->value();
    accept();
}

// ---------------------------------------------------------------------------
// TWatermarkBMForm

namespace {
QStringList AlignItems()
{
    return {QStringLiteral("Oben links"), QStringLiteral("Oben rechts"), QStringLiteral("Mitte"),
            QStringLiteral("Unten links"), QStringLiteral("Unten rechts")};
}
} // namespace

TWatermarkBMForm::TWatermarkBMForm(QWidget *owner)
    : TEditDialogBase(owner, QStringLiteral("Watermark"))
{
    setObjectName(QStringLiteral("WatermarkBMForm"));
    setWindowTitle(QStringLiteral("Wasserzeichen einfügen"));
    WmPageControl = Named(new QTabWidget(this), "WmPageControl");
    WmPageControl->tabBar()->setObjectName(QStringLiteral("WmTabBar"));

    WmTextTabSheet = Named(new QWidget, "WmTextTabSheet");
    // Not stored: the box sets no registry path.
    WmTxtHistoryCombo = Named(new THistoryCombo(WmTextTabSheet), "WmTxtHistoryCombo");
    WmTxtAlignComboBox = Named(new QComboBox(WmTextTabSheet), "WmTxtAlignComboBox");
    WmTxtAlignComboBox->addItems(AlignItems());
    WmTxtAlignComboBox->setCurrentIndex(4);
    WmFontButton = Named(new QPushButton(QStringLiteral("&Schriftart..."), WmTextTabSheet), "WmFontButton");
    WmFontButton->setAutoDefault(false);
    WmTxtIntensTrackBar = Slider(WmTextTabSheet, "WmTxtIntensTrackBar", 0, 100, 50);
    auto *text = new QGridLayout(WmTextTabSheet);
    text->addWidget(Label(WmTextTabSheet, "WmTxtLabel", QStringLiteral("Text:")), 0, 0);
    text->addWidget(WmTxtHistoryCombo, 0, 1);
    text->addWidget(Label(WmTextTabSheet, "WmTxtAlignLabel", QStringLiteral("Ausrichtung:")), 1, 0);
    text->addWidget(WmTxtAlignComboBox, 1, 1);
    text->addWidget(WmFontButton, 2, 1);
    text->addWidget(Label(WmTextTabSheet, "WmTxtIntensLabel", QStringLiteral("Intensität:")), 3, 0);
    text->addWidget(WmTxtIntensTrackBar, 3, 1);

    WmLogoTabSheet = Named(new QWidget, "WmLogoTabSheet");
    WmLogoImage = Label(WmLogoTabSheet, "WmLogoImage", QString());
    WmLogoImage->setFixedSize(96, 96);
    WmLogoImage->setFrameShape(QFrame::Box);
    WmLogoImage->setAlignment(Qt::AlignCenter);
    WmLogoSelectButton = Named(new QPushButton(QStringLiteral("&Wählen..."), WmLogoTabSheet), "WmLogoSelectButton");
    WmLogoSelectButton->setAutoDefault(false);
    WmLogoAlignComboBox = Named(new QComboBox(WmLogoTabSheet), "WmLogoAlignComboBox");
    WmLogoAlignComboBox->addItems(AlignItems());
    WmLogoAlignComboBox->setCurrentIndex(4);
    WmLogoIntensTrackBar = Slider(WmLogoTabSheet, "WmLogoIntensTrackBar", 0, 100, 50);
    WmHideWhiteCheckBox =
        Named(new QCheckBox(QStringLiteral("Weiß ausblenden"), WmLogoTabSheet), "WmHideWhiteCheckBox");
    auto *logo = new QGridLayout(WmLogoTabSheet);
    logo->addWidget(WmLogoImage, 0, 0, 2, 1);
    logo->addWidget(WmLogoSelectButton, 0, 1);
    logo->addWidget(Label(WmLogoTabSheet, "WmLogoAlignLabel", QStringLiteral("Ausrichtung:")), 2, 0);
    logo->addWidget(WmLogoAlignComboBox, 2, 1);
    logo->addWidget(Label(WmLogoTabSheet, "WmLogoIntensLabel", QStringLiteral("Intensität:")), 3, 0);
    logo->addWidget(WmLogoIntensTrackBar, 3, 1);
    logo->addWidget(WmHideWhiteCheckBox, 4, 1);

    WmPageControl->addTab(WmTextTabSheet, QStringLiteral("Text"));
    WmPageControl->addTab(WmLogoTabSheet, QStringLiteral("Logo"));

    WmBatchButton = Named(new QPushButton(QStringLiteral("Stapelverarbeitung..."), this), "WmBatchButton");
    WmBatchButton->setAutoDefault(false);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(WmBatchButton);
    bottom->addWidget(ButtonRow(), 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(WmPageControl);
    layout->addLayout(bottom);

    WatermarkFont = font();
    connect(WmFontButton, &QPushButton::clicked, this, &TWatermarkBMForm::WmFontButtonClick);
    connect(WmLogoSelectButton, &QPushButton::clicked, this, &TWatermarkBMForm::WmLogoSelectButtonClick);
    connect(WmBatchButton, &QPushButton::clicked, this, &TWatermarkBMForm::WmBatchButtonClick);
}

void TWatermarkBMForm::WmFontButtonClick()
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, WatermarkFont, this);
    if (ok)
        WatermarkFont = chosen;
}

void TWatermarkBMForm::WmLogoSelectButtonClick()
{
    const QString name = QFileDialog::getOpenFileName(
        this, WmLogoSelectButton->text().remove(QLatin1Char('&')), QString(),
        Text(QStringLiteral("opendlg_wm_logo_filter"),
             QStringLiteral("Grafiken (*.bmp *.png *.jpg *.jpeg *.gif *.ico)")));
    if (name.isEmpty())
        return;
    if (!LoadLogo(name))
        QMessageBox::warning(this, windowTitle(),
                             Text(QStringLiteral("showmsg_wm_logo_invalid"),
                                  QStringLiteral("Die Datei ist keine lesbare Grafik:")) +
                                 QLatin1Char('\n') + name);
}

bool TWatermarkBMForm::LoadLogo(const QString &fileName)
{
    QImageReader reader(fileName);
    // A logo needs no giant pictures; the reader refuses them before decoding.
    reader.setAllocationLimit(256);
    const QImage img = reader.read();
    if (img.isNull())
        return false;
    LogoFileName = fileName;
    WmLogoImage->setPixmap(QPixmap::fromImage(
        img.scaled(WmLogoImage->size() - QSize(4, 4), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    return true;
}

void TWatermarkBMForm::WmBatchButtonClick()
{
    auto *batch = new TWmBatchModeBMForm(this);
    // The batch window speaks the language this dialog was switched to.
    batch->Language()->Assign(Language()->Script(), Language()->Language());
    batch->exec();
    delete batch;
}

// ---------------------------------------------------------------------------
// TWmBatchModeBMForm

TWmBatchModeBMForm::TWmBatchModeBMForm(QWidget *owner)
    : TBaseModalForm(owner)
{
    setObjectName(QStringLiteral("WmBatchModeBMForm"));
    setWindowTitle(QStringLiteral("WmBatchModeBMForm"));
    m_language = new TMultiLanguage(this);
    m_language->setObjectName(QStringLiteral("WmBatchModeMultiLanguage"));
    connect(m_language, &TMultiLanguage::OnTranslate, this, [this] {
        const QString title = m_language->GetText(QStringLiteral("caption_wmbatch_title"));
        setWindowTitle(title.isEmpty() ? QStringLiteral("WmBatchModeBMForm") : title);
    });
    resize(320, 200);
}

TEditUpDown *AttachUpDown(QLineEdit *edit, const char *name, int min, int max, int position)
{
    auto *ud = Named(new TEditUpDown(edit->parentWidget()), name);
    ud->SetRange(min, max);
    ud->Associate(edit);
    ud->SetPosition(position);
    return ud;
}

} // namespace zk
