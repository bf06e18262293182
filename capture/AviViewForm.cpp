#include "AviViewForm.h"

#include "AviFile.h"
#include "Colors.h"
#include "MultiLanguage.h"
#include "Registry.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace zk {

// ---------------------------------------------------------------------------
// TAviAnimate

TAviAnimate::TAviAnimate(QWidget *parent)
    : QWidget(parent)
    , m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &TAviAnimate::tick);
}

TAviAnimate::~TAviAnimate() = default;

bool TAviAnimate::Open(const QString &fileName, QString *error)
{
    auto reader = std::make_unique<TAviFileReader>();
    QImage first;
    try {
        reader->Open(fileName);
        first = reader->Frame(0).ToImage();
    } catch (const EGraphicError &e) {
        if (error)
            *error = e.message();
        return false;
    }
    Stop();
    m_reader = std::move(reader);
    m_timer->setInterval(m_reader->FrameIntervalMs());
    m_image = first;
    m_current = 0;
    update();
    emit FrameShown(0);
    return true;
}

int TAviAnimate::FrameCount() const
{
    return m_reader ? m_reader->FrameCount() : 0;
}

bool TAviAnimate::Seek(int index)
{
    if (!m_reader || index < 0 || index >= FrameCount())
        return false;
    try {
        m_image = m_reader->Frame(index).ToImage();
    } catch (const EGraphicError &) {
        return false; // a damaged frame: the last good one stays
    }
    m_current = index;
    update();
    emit FrameShown(index);
    return true;
}

void TAviAnimate::Play()
{
    if (!m_reader)
        return;
    m_round = 0;
    Seek(std::clamp(StartFrame, 0, FrameCount() - 1));
    m_timer->start();
}

void TAviAnimate::Stop()
{
    if (m_timer->isActive()) {
        m_timer->stop();
        emit Stopped();
    }
}

bool TAviAnimate::Playing() const
{
    return m_timer->isActive();
}

void TAviAnimate::tick()
{
    const int last = StopFrame < 0 ? FrameCount() - 1 : std::min(StopFrame, FrameCount() - 1);
    int next = m_current + 1;
    if (next > last) {
        ++m_round;
        if (Repetitions > 0 && m_round >= Repetitions) {
            Stop();
            return;
        }
        next = std::clamp(StartFrame, 0, last);
    }
    if (!Seek(next))
        Stop();
}

void TAviAnimate::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Color);
    if (!m_image.isNull())
        p.drawImage(QPoint((width() - m_image.width()) / 2, (height() - m_image.height()) / 2), m_image);
}

// ---------------------------------------------------------------------------
// TAviViewBMForm

TAviViewBMForm::TAviViewBMForm(QWidget *opener)
    : TBaseModalForm(opener)
{
    setObjectName(QStringLiteral("AviViewBMForm"));
    setWindowTitle(QStringLiteral("AVI abspielen"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    AviAnimate = new TAviAnimate(this);
    AviAnimate->setObjectName(QStringLiteral("AviAnimate"));
    AviAnimate->setContextMenuPolicy(Qt::CustomContextMenu);
    column->addWidget(AviAnimate, 1);
    ControlPanel = new QWidget(this);
    ControlPanel->setObjectName(QStringLiteral("ControlPanel"));
    column->addWidget(ControlPanel);
    auto *row = new QHBoxLayout(ControlPanel);
    const auto button = [this, row](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromUtf8(caption), ControlPanel);
        b->setObjectName(QLatin1String(name));
        row->addWidget(b);
        return b;
    };
    StartButton = button("StartButton", "Start");
    StopButton = button("StopButton", "Stop");
    BackButton = button("BackButton", "<<<");
    ForwardButton = button("ForwardButton", ">>>");
    CountDispPanel = new QLabel(QStringLiteral("1"), ControlPanel);
    CountDispPanel->setObjectName(QStringLiteral("CountDispPanel"));
    CountDispPanel->setFrameShape(QFrame::Panel);
    CountDispPanel->setFrameShadow(QFrame::Sunken);
    CountDispPanel->setMinimumWidth(48);
    CountDispPanel->setAlignment(Qt::AlignCenter);
    row->addWidget(CountDispPanel);
    AutoRepCheckBox = new QCheckBox(QStringLiteral("Autorepeat"), ControlPanel);
    AutoRepCheckBox->setObjectName(QStringLiteral("AutoRepCheckBox"));
    row->addWidget(AutoRepCheckBox);
    row->addStretch();
    ReloadButton = button("ReloadButton", "Neu laden...");
    ReloadButton->setEnabled(false); // until the load command is given
    BackButton->setEnabled(false);

    connect(StartButton, &QPushButton::clicked, this, &TAviViewBMForm::StartButtonClick);
    connect(StopButton, &QPushButton::clicked, this, &TAviViewBMForm::StopButtonClick);
    connect(ForwardButton, &QPushButton::clicked, this, &TAviViewBMForm::ForwardButtonClick);
    connect(BackButton, &QPushButton::clicked, this, &TAviViewBMForm::BackButtonClick);
    connect(AutoRepCheckBox, &QCheckBox::clicked, this, &TAviViewBMForm::AutoRepCheckBoxClick);
    connect(ReloadButton, &QPushButton::clicked, this, &TAviViewBMForm::ReloadButtonClick);
    connect(AviAnimate, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu menu(this);
        QAction *item = menu.addAction(BackgroundCaption);
        item->setObjectName(QStringLiteral("BkColorMenuItem"));
        if (menu.exec(AviAnimate->mapToGlobal(pos)) == item)
            BkColorMenuItemClick();
    });

    FrameCounter = 1;
    AviAnimate->Repetitions = 1;
    TRegistry reg;
    if (reg.OpenKeyReadOnly(QLatin1String(AviKey))) {
        try {
            if (reg.ValueExists(QStringLiteral("AviAutoRepeat")))
                AutoRepCheckBox->setChecked(reg.ReadBool(QStringLiteral("AviAutoRepeat")));
            if (reg.ValueExists(QStringLiteral("BackgrColr")))
                AviAnimate->Color = TColorToQColor(TColor(reg.ReadInteger(QStringLiteral("BackgrColr"))));
        } catch (const ERegistryException &) {
            // a value of another type: the defaults stay
        }
    }
    AutoRepCheckBoxClick();
}

void TAviViewBMForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
    if (TMultiLanguage *ml = FormMultiLanguage(this))
        if (ml->HasText(QStringLiteral("caption_avi_background")))
            BackgroundCaption = ml->GetText(QStringLiteral("caption_avi_background"));
}

void TAviViewBMForm::showEvent(QShowEvent *event)
{
    ReloadButton->setEnabled(bool(ReloadAvi));
    TBaseModalForm::showEvent(event);
}

bool TAviViewBMForm::OpenFile(const QString &fileName, QString *error)
{
    if (!AviAnimate->Open(fileName, error))
        return false;
    FrameCounter = 1;
    CountDispPanel->setText(QStringLiteral("1"));
    BackButton->setEnabled(false);
    return true;
}

void TAviViewBMForm::StartButtonClick()
{
    AviAnimate->Play();
}

void TAviViewBMForm::StopButtonClick()
{
    AviAnimate->Stop();
    BackButton->setEnabled(false);
}

void TAviViewBMForm::ForwardButtonClick()
{
    const int count = AviAnimate->FrameCount();
    if (count == 0)
        return;
    FrameCounter = FrameCounter % count + 1; // after the last frame the first again
    CountDispPanel->setText(QString::number(FrameCounter));
    AviAnimate->Seek(FrameCounter - 1);
    BackButton->setEnabled(FrameCounter > 1);
}

void TAviViewBMForm::BackButtonClick()
{
    if (FrameCounter > 1)
        --FrameCounter;
    CountDispPanel->setText(QString::number(FrameCounter));
    AviAnimate->Seek(FrameCounter - 1);
    BackButton->setEnabled(FrameCounter > 1);
}

void TAviViewBMForm::AutoRepCheckBoxClick()
{
    AviAnimate->Repetitions = AutoRepCheckBox->isChecked() ? 0 : 1;
}

void TAviViewBMForm::BkColorMenuItemClick()
{
    const QColor chosen = AskColor ? AskColor(AviAnimate->Color) : QColorDialog::getColor(AviAnimate->Color, this);
    if (!chosen.isValid())
        return;
    AviAnimate->Color = chosen;
    AviAnimate->update();
}

void TAviViewBMForm::ReloadButtonClick()
{
    if (!ReloadAvi)
        return;
    const std::function<void()> reload = ReloadAvi;
    close();
    reload();
}

void TAviViewBMForm::done(int result)
{
    AviAnimate->Stop();
    try {
        TRegistry reg;
        if (reg.OpenKey(QLatin1String(AviKey), true)) {
            reg.WriteBool(QStringLiteral("AviAutoRepeat"), AutoRepCheckBox->isChecked());
            reg.WriteInteger(QStringLiteral("BackgrColr"), std::int32_t(QColorToTColor(AviAnimate->Color)));
        }
    } catch (const ERegistryException &e) {
        qWarning("The player's settings were not stored: %s", qPrintable(e.message()));
    }
    TBaseModalForm::done(result);
}

// ---------------------------------------------------------------------------
// TAskAviViewBMForm

TAskAviViewBMForm::TAskAviViewBMForm(QWidget *opener)
    : TBaseModalForm(opener)
{
    setObjectName(QStringLiteral("AskAviViewBMForm"));
    setWindowTitle(QStringLiteral("AVI abspielen?"));
    auto *column = new QVBoxLayout(this);
    AskAviNotViewCheckBox = new QCheckBox(QStringLiteral("Diesen Dialog zukünftig nicht mehr anzeigen"), this);
    AskAviNotViewCheckBox->setObjectName(QStringLiteral("AskAviNotViewCheckBox"));
    column->addWidget(AskAviNotViewCheckBox);
    auto *row = new QHBoxLayout;
    column->addLayout(row);
    row->addStretch();
    PlayAviButton = new QPushButton(QStringLiteral("AVI abspielen"), this);
    PlayAviButton->setObjectName(QStringLiteral("PlayAviButton"));
    PlayAviButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Abbrechen"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    row->addWidget(PlayAviButton);
    row->addWidget(CancelButton);
    connect(PlayAviButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

bool TAskAviViewBMForm::NotAsked()
{
    TRegistry reg;
    try {
        return reg.OpenKeyReadOnly(QLatin1String(TAviViewBMForm::AviKey)) &&
               reg.ValueExists(QStringLiteral("AskAviNotView")) && reg.ReadBool(QStringLiteral("AskAviNotView"));
    } catch (const ERegistryException &) {
        return false;
    }
}

void TAskAviViewBMForm::done(int result)
{
    try {
        TRegistry reg;
        if (reg.OpenKey(QLatin1String(TAviViewBMForm::AviKey), true))
            reg.WriteBool(QStringLiteral("AskAviNotView"), AskAviNotViewCheckBox->isChecked());
    } catch (const ERegistryException &e) {
        qWarning("The question's setting was not stored: %s", qPrintable(e.message()));
    }
    TBaseModalForm::done(result);
}

} // namespace zk
