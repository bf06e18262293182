#include "ContrClassForm.h"

#include "DLLImport.h"
#include "MainForm.h"
#include "MultiLanguage.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace zk {

namespace {

// The window text was read into a buffer of 30 characters: 29 and the end mark.
constexpr int kTitleChars = 29;

// The pick button's picture: cross hairs in a ring.
QIcon pickIcon()
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    p.drawEllipse(QRectF(4.5, 4.5, 15, 15));
    p.drawLine(QPointF(12, 1), QPointF(12, 9));
    p.drawLine(QPointF(12, 15), QPointF(12, 23));
    p.drawLine(QPointF(1, 12), QPointF(9, 12));
    p.drawLine(QPointF(15, 12), QPointF(23, 12));
    return QIcon(pm);
}

} // namespace

QString ElementTitleText(const QString &title, const QString &noTitle)
{
    return title.isEmpty() ? noTitle : title.left(kTitleChars);
}

QString ElementSizeText(const QRect &bounds)
{
    return QStringLiteral("%1x%2").arg(bounds.width()).arg(bounds.height());
}

QString CursorPositionText(const QPoint &pos)
{
    return QStringLiteral("X = %1   Y = %2").arg(pos.x()).arg(pos.y());
}

QString ElementStatusText(const QString &nameLabel, const QString &className, const QString &handleLabel,
                          const QString &handle)
{
    return nameLabel + className + QStringLiteral(" - ") + handleLabel + handle;
}

QStringList ElementClipboardLines(const QString &className, const QString &handle, const QString &title,
                                  const QString &module, const QString &cursor, const QString &size)
{
    return {QStringLiteral("Klasse: ") + className,          QStringLiteral("Handle: ") + handle,
            QStringLiteral("Fenstertitel: ") + title,        QStringLiteral("Modul: ") + module,
            QStringLiteral("Cursorposition X/Y: ") + cursor, QStringLiteral("Maße: ") + size};
}

TContrClassForm::TContrClassForm(TMainForm *main)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint)
    , m_main(main)
{
    setObjectName(QStringLiteral("ContrClassForm"));
    setWindowTitle(QStringLiteral("Control Informationen"));

    auto *outer = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    outer->addLayout(grid);
    const auto row = [this, grid](int r, QLabel *&label, const char *labelName, const QString &caption,
                                  TInfoField *&edit, const char *editName) {
        label = new QLabel(caption, this);
        label->setObjectName(QLatin1String(labelName));
        edit = new TInfoField(this);
        edit->setObjectName(QLatin1String(editName));
        edit->setReadOnly(true);
        edit->setMinimumWidth(220);
        label->setBuddy(edit);
        grid->addWidget(label, r, 0);
        grid->addWidget(edit, r, 1);
    };
    row(0, ClassNameLabel, "ClassNameLabel", QStringLiteral("&Klassenname:"), ClassNameEdit, "ClassNameEdit");
    row(1, WinTitleLabel, "WinTitleLabel", QStringLiteral("&Fenstertitel:"), WinTitleEdit, "WinTitleEdit");
    row(2, ModuleLabel, "ModuleLabel", QStringLiteral("&Modul:"), ModuleEdit, "ModuleEdit");
    row(3, DimAlignLabel, "DimAlignLabel", QStringLiteral("&Abmessungen:"), DimAlignEdit, "DimAlignEdit");
    row(4, CurPosAlignLabel, "CurPosAlignLabel", QStringLiteral("&Cursorposition:"), CurPosAlignEdit,
        "CurPosAlignEdit");
    row(5, WinHandleLabel, "WinHandleLabel", QStringLiteral("Fenster&handle:"), WinHandleEdit, "WinHandleEdit");
    // No program module can be named for a window of another process here.
    ModuleEdit->setEnabled(false);
    DimAlignEdit->setToolTip(QStringLiteral("Breite mal Höhe"));

    SToolPanel = new QFrame(this);
    SToolPanel->setObjectName(QStringLiteral("SToolPanel"));
    SToolPanel->setFrameShape(QFrame::StyledPanel);
    auto *panel = new QHBoxLayout(SToolPanel);
    CIInfLabel = new QLabel(QStringLiteral("Scan-Werkzeug: Bei gedrückt gehaltener linken Maustaste auf das zu "
                                           "scannende Element ziehen, ist dieses erreicht Maustaste loslassen."),
                            SToolPanel);
    CIInfLabel->setObjectName(QStringLiteral("CIInfLabel"));
    CIInfLabel->setWordWrap(true);
    ActionSpeedButton = new QToolButton(SToolPanel);
    ActionSpeedButton->setObjectName(QStringLiteral("ActionSpeedButton"));
    ActionSpeedButton->setIcon(pickIcon());
    ActionSpeedButton->setIconSize(QSize(24, 24));
    ActionSpeedButton->setAutoRaise(true);
    ActionSpeedButton->setCursor(Qt::CrossCursor);
    ActionSpeedButton->setToolTip(QStringLiteral("Mit gedrückter linker Maustaste auf ein Fenster ziehen"));
    ActionSpeedButton->installEventFilter(this);
    InvertCheckBox = new QCheckBox(QStringLiteral("Rechteckfläche &invertieren"), SToolPanel);
    InvertCheckBox->setObjectName(QStringLiteral("InvertCheckBox"));
    auto *panelRight = new QVBoxLayout;
    panelRight->addWidget(CIInfLabel);
    panelRight->addWidget(InvertCheckBox);
    panel->addWidget(ActionSpeedButton, 0, Qt::AlignTop);
    panel->addLayout(panelRight, 1);
    outer->addWidget(SToolPanel);

    auto *buttons = new QHBoxLayout;
    ClipbrdButton = new QPushButton(QStringLiteral("In &Zwischenablage"), this);
    ClipbrdButton->setObjectName(QStringLiteral("ClipbrdButton"));
    CloseCIFButton = new QPushButton(QStringLiteral("&Schließen"), this);
    CloseCIFButton->setObjectName(QStringLiteral("CloseCIFButton"));
    buttons->addStretch(1);
    buttons->addWidget(ClipbrdButton);
    buttons->addWidget(CloseCIFButton);
    outer->addLayout(buttons);
    connect(ClipbrdButton, &QPushButton::clicked, this, &TContrClassForm::ClipbrdButtonClick);
    connect(CloseCIFButton, &QPushButton::clicked, this, &TContrClassForm::CloseCIFButtonClick);

    m_messages = new TModuleMessages(this);
    connect(m_messages, &TModuleMessages::LButtonUp, this, [this](QPoint) { LButtonUp(); });
    adjustSize();
}

TContrClassForm::~TContrClassForm()
{
    if (m_hookInstalled)
        UninstallHook();
}

void TContrClassForm::SetLanguage(const QStringList &script, int languageIndex)
{
    SetFormLanguage(this, script, languageIndex);
    adjustSize();
}

void TContrClassForm::ActionSpeedButtonMouseDown()
{
    m_tracking = true;
    if (m_main)
        m_main->WinFormFrameTimer->start();
    m_hookInstalled = InstallHook(std::uint32_t(winId()));
}

void TContrClassForm::LButtonUp()
{
    if (!m_tracking)
        return;
    m_tracking = false;
    if (m_main)
        m_main->WinFormFrameTimer->stop();
    if (m_hookInstalled) {
        UninstallHook();
        m_hookInstalled = false;
    }
}

void TContrClassForm::ClipbrdButtonClick()
{
    const QStringList lines =
        ElementClipboardLines(ClassNameEdit->text(), WinHandleEdit->text(), WinTitleEdit->text(), ModuleEdit->text(),
                              CurPosAlignEdit->text(), DimAlignEdit->text());
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void TContrClassForm::CloseCIFButtonClick()
{
    LButtonUp();
    if (m_main)
        m_main->CloseWindowInfo();
    m_closing = true;
    close();
    m_closing = false;
}

bool TContrClassForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ActionSpeedButton) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            ActionSpeedButtonMouseDown();
        } else if (event->type() == QEvent::MouseButtonRelease &&
                   static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            LButtonUp();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TContrClassForm::closeEvent(QCloseEvent *event)
{
    // The window manager's close button ends the tool as the button does.
    if (!m_closing) {
        LButtonUp();
        if (m_main)
            m_main->CloseWindowInfo();
    }
    QWidget::closeEvent(event);
}

} // namespace zk
