#include "IconLinkExtForm.h"

#include "GraphicConvert.h"
#include "Globals.h"
#include "Icon.h"
#include "MultiLanguage.h"
#include "OptionDlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace zk {

QStringList SplitExtensionList(const QString &answer)
{
    QStringList out;
    QString current;
    for (const QChar c : answer) {
        if (c == QLatin1Char(';')) {
            out << current;
            current.clear();
        } else {
            current += c;
        }
    }
    return out;
}

namespace {
constexpr int kSmallPanel = 20;
constexpr int kLargePanel = 36;
} // namespace

TIconLinkExtBMForm::TIconLinkExtBMForm(QWidget *opener) : TBaseModalForm(opener)
{
    setObjectName(QStringLiteral("IconLinkExtBMForm"));
    setWindowTitle(QStringLiteral("Dateierweiterungs-Icon"));
    IconLinkExtMultiLanguage = new TMultiLanguage(this);
    IconLinkExtMultiLanguage->setObjectName(QStringLiteral("IconLinkExtMultiLanguage"));
    Prompts = DefaultToolPrompts(this);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 12, 16, 12);
    DlgClientPanel = new QFrame(this);
    DlgClientPanel->setObjectName(QStringLiteral("DlgClientPanel"));
    DlgClientPanel->setFrameShape(QFrame::Panel);
    DlgClientPanel->setFrameShadow(QFrame::Raised);
    DlgClientPanel->setAutoFillBackground(true);
    auto *grid = new QGridLayout(DlgClientPanel);
    ExtLabel = new QLabel(QStringLiteral("Geben Sie die Dateier&weiterung ein:"), DlgClientPanel);
    ExtLabel->setObjectName(QStringLiteral("ExtLabel"));
    ExtEdit = new QLineEdit(DlgClientPanel);
    ExtEdit->setObjectName(QStringLiteral("ExtEdit"));
    ExtLabel->setBuddy(ExtEdit);
    ILEFindButton = new QPushButton(QStringLiteral("&Finden"), DlgClientPanel);
    ILEFindButton->setObjectName(QStringLiteral("ILEFindButton"));
    ILEFindButton->setDefault(true);
    ListButton = new QPushButton(QStringLiteral("..."), DlgClientPanel);
    ListButton->setObjectName(QStringLiteral("ListButton"));
    ListButton->setMaximumWidth(32);
    grid->addWidget(ExtLabel, 0, 0, 1, 3);
    grid->addWidget(ExtEdit, 1, 0);
    grid->addWidget(ILEFindButton, 1, 1);
    grid->addWidget(ListButton, 1, 2);

    IcoLabel = new QLabel(QStringLiteral("Dem Dateityp zugeordnetes &Icon:"), DlgClientPanel);
    IcoLabel->setObjectName(QStringLiteral("IcoLabel"));
    ImgClientPanel = new QFrame(DlgClientPanel);
    ImgClientPanel->setObjectName(QStringLiteral("ImgClientPanel"));
    ImgClientPanel->setLineWidth(1);
    ImgClientPanel->setFixedSize(kLargePanel, kLargePanel);
    auto *imgLayout = new QVBoxLayout(ImgClientPanel);
    imgLayout->setContentsMargins(2, 2, 2, 2);
    IcoLinkImage = new QLabel(ImgClientPanel);
    IcoLinkImage->setObjectName(QStringLiteral("IcoLinkImage"));
    IcoLinkImage->setAlignment(Qt::AlignCenter);
    IcoLinkImage->setContextMenuPolicy(Qt::DefaultContextMenu);
    IcoLinkImage->installEventFilter(this);
    imgLayout->addWidget(IcoLinkImage);
    IcoLabel->setBuddy(ImgClientPanel);
    grid->addWidget(IcoLabel, 2, 0, 1, 3);
    grid->addWidget(ImgClientPanel, 3, 0, Qt::AlignLeft);

    IcoDimRadioGroup = new TRadioGroup(QStringLiteral("Icon-Format"),
                                       {QStringLiteral("16 X 16"), QStringLiteral("32 X 32")}, DlgClientPanel, 2);
    IcoDimRadioGroup->setObjectName(QStringLiteral("IcoDimRadioGroup"));
    IcoDimRadioGroup->SetItemIndex(1);
    grid->addWidget(IcoDimRadioGroup, 4, 0, 1, 3);
    outer->addWidget(DlgClientPanel);

    auto *buttons = new QHBoxLayout;
    SaveBitBtn = new QPushButton(QStringLiteral("Speichern..."), this);
    SaveBitBtn->setObjectName(QStringLiteral("SaveBitBtn"));
    ILECloseButton = new QPushButton(QStringLiteral("&Schliessen"), this);
    ILECloseButton->setObjectName(QStringLiteral("ILECloseButton"));
    buttons->addWidget(SaveBitBtn);
    buttons->addStretch();
    buttons->addWidget(ILECloseButton);
    outer->addSpacing(6);
    outer->addLayout(buttons);

    OptPopupMenu = new QMenu(this);
    OptPopupMenu->setObjectName(QStringLiteral("OptPopupMenu"));
    TransMenuItem = OptPopupMenu->addAction(QStringLiteral("Transparenz"));
    TransMenuItem->setObjectName(QStringLiteral("TransMenuItem"));
    TransMenuItem->setCheckable(true);
    TransMenuItem->setProperty("Tag", 0);
    MoveableMenuItem = OptPopupMenu->addAction(QStringLiteral("Verschiebbar"));
    MoveableMenuItem->setObjectName(QStringLiteral("MoveableMenuItem"));
    MoveableMenuItem->setCheckable(true);
    MoveableMenuItem->setProperty("Tag", 1);

    connect(ILEFindButton, &QPushButton::clicked, this, [this] { ILEFindButtonClick(ILEFindButton); });
    connect(ListButton, &QPushButton::clicked, this, &TIconLinkExtBMForm::ListButtonClick);
    connect(SaveBitBtn, &QPushButton::clicked, this, &TIconLinkExtBMForm::ILESaveButtonClick);
    connect(ILECloseButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(IcoDimRadioGroup, &TRadioGroup::Clicked, this, [this](int) { IcoDimRadioGroupClick(); });
    // Both items toggle through the one handler; the check follows it.
    for (QAction *a : {TransMenuItem, MoveableMenuItem})
        connect(a, &QAction::triggered, this, [this, a] {
            a->setChecked(!a->isChecked()); // the handler toggles it back
            TransMenuItemClick(a);
        });
    applyBevel();
}

TIconLinkExtBMForm::~TIconLinkExtBMForm()
{
    if (m_float)
        delete m_float.data();
}

QString TIconLinkExtBMForm::text(const char *key, const QString &german) const
{
    return FormText(const_cast<TIconLinkExtBMForm *>(this), QString::fromLatin1(key), german);
}

void TIconLinkExtBMForm::ILEFindButtonClick(QObject *Sender)
{
    if (ListMode) {
        if (Sender)
            ++ListIndex;
        if (ListIndex >= 0 && ListIndex < ExtList.size()) {
            ExtEdit->setText(ExtList.at(ListIndex));
        } else {
            ExtList.clear();
            ListIndex = -1;
            ListMode = false;
            ILEFindButton->setText(text("ILEFindButton.Caption", QStringLiteral("&Finden")));
        }
    }
    if (ExtEdit->text().startsWith(QLatin1Char('.'))) {
        Prompts.Message(text("showmsg_no_ext_point",
                             QStringLiteral("Bitte die Dateierweiterung ohne führenden Punkt eingeben.")));
        ExtEdit->setText(ExtEdit->text().mid(1));
    }
    const bool small = IcoDimRadioGroup->ItemIndex() == 0;
    const std::unique_ptr<TIcon> icon = GetShellFileIcon(QStringLiteral("file.") + ExtEdit->text(), small);
    m_icon = icon ? icon->Image() : QImage();
    showIcon();
}

void TIconLinkExtBMForm::showIcon()
{
    QImage shown = m_icon;
    if (!shown.isNull() && !TransMenuItem->isChecked()) {
        // Without transparency the icon stands on its own white square.
        QImage opaque(shown.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter p(&opaque);
        p.drawImage(0, 0, shown);
        p.end();
        shown = opaque;
    }
    const QPixmap pm = shown.isNull() ? QPixmap() : QPixmap::fromImage(shown);
    IcoLinkImage->setPixmap(m_float ? QPixmap() : pm);
    if (m_float)
        if (auto *l = m_float->findChild<QLabel *>())
            l->setPixmap(pm);
}

void TIconLinkExtBMForm::IcoDimRadioGroupClick()
{
    const int side = IcoDimRadioGroup->ItemIndex() == 0 ? kSmallPanel : kLargePanel;
    ImgClientPanel->setFixedSize(side, side);
    ILEFindButtonClick(nullptr);
}

void TIconLinkExtBMForm::ListButtonClick()
{
    QString answer = QString::fromLatin1(kDefaultExtensionList);
    if (!Prompts.InputQuery(text("inputbox_iconlinkext_caption", QStringLiteral("Dateierweiterungen eingeben")),
                            text("inputbox_iconlinkext_prompt",
                                 QStringLiteral("Erweiterung durch Semikolon abschliessen (Bsp.):")),
                            answer) ||
        answer.isEmpty())
        return;
    const QStringList list = SplitExtensionList(answer);
    if (list.isEmpty()) {
        // Without one ";" there is no list to walk.
        Prompts.Message(text("showmsg_iconlinkext_no_list",
                             QStringLiteral("Bitte jede Erweiterung mit einem Semikolon abschliessen (z. B. bmp;gif;).")));
        return;
    }
    ExtList = list;
    ListIndex = 0;
    ExtEdit->setText(ExtList.first());
    ListMode = true;
    ILEFindButtonClick(nullptr);
    ILEFindButton->setText(QStringLiteral(">>>"));
}

void TIconLinkExtBMForm::applyBevel()
{
    ImgClientPanel->setFrameShape(BevelState == 2 ? QFrame::NoFrame : QFrame::Panel);
    ImgClientPanel->setFrameShadow(BevelState == 1 ? QFrame::Sunken : QFrame::Raised);
}

void TIconLinkExtBMForm::IcoLinkImageClick()
{
    if (Moveable)
        return;
    BevelState = (BevelState + 1) % 3;
    applyBevel();
}

void TIconLinkExtBMForm::TransMenuItemClick(QAction *Sender)
{
    if (!Sender)
        return;
    Sender->setChecked(!Sender->isChecked());
    if (Sender->property("Tag").toInt() == 0)
        showIcon();
    else
        Moveable = Sender->isChecked();
}

void TIconLinkExtBMForm::ILESaveButtonClick()
{
    if (m_icon.isNull())
        return;
    QFileDialog dialog(this, text("savedlg_iconlinkext_title", QStringLiteral("Icon speichern unter")));
    dialog.setObjectName(QStringLiteral("IconLinkExtSaveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("ico"));
    dialog.setNameFilter(QStringLiteral("Windows-Icon (*.ico)"));
    if (!Prompts.RunFileDialog(dialog))
        return;
    const QString file = dialog.selectedFiles().constFirst();
    try {
        TIcon icon;
        icon.SetImage(m_icon);
        icon.SaveToFile(file);
    } catch (const std::exception &e) {
        Prompts.Message(text("showmsg_extract_not_saved", QStringLiteral("Die Datei konnte nicht gespeichert "
                                                                          "werden:")) +
                        QLatin1Char(' ') + QDir::toNativeSeparators(file) + QStringLiteral("\n") +
                        QString::fromUtf8(e.what()));
    }
}

void TIconLinkExtBMForm::FloatIcon(const QPoint &globalPos)
{
    if (m_float)
        return;
    auto *w = new QWidget(this, Qt::Tool);
    w->setObjectName(QStringLiteral("IcoLinkFloatWindow"));
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setWindowTitle(windowTitle());
    auto *l = new QVBoxLayout(w);
    l->setContentsMargins(4, 4, 4, 4);
    auto *img = new QLabel(w);
    img->setObjectName(QStringLiteral("IcoLinkFloatImage"));
    img->setAlignment(Qt::AlignCenter);
    img->setMinimumSize(m_icon.isNull() ? QSize(32, 32) : m_icon.size());
    img->installEventFilter(this);
    l->addWidget(img);
    m_float = w;
    // Closed by its own title bar, the icon goes back to the panel.
    connect(w, &QObject::destroyed, this, [this] {
        QMetaObject::invokeMethod(this, &TIconLinkExtBMForm::showIcon, Qt::QueuedConnection);
    });
    showIcon();
    w->adjustSize();
    w->move(globalPos - QPoint(w->width() / 2, w->height() / 2));
    w->show();
}

void TIconLinkExtBMForm::ImgClientPanelDockDrop()
{
    if (m_float) {
        m_float->removeEventFilter(this);
        delete m_float.data();
    }
    BevelState = 0;
    applyBevel();
    showIcon();
}

bool TIconLinkExtBMForm::eventFilter(QObject *watched, QEvent *event)
{
    const bool inPanel = watched == IcoLinkImage;
    const bool floating = m_float && watched->parent() == m_float.data();
    if (!inPanel && !floating)
        return TBaseModalForm::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() != Qt::LeftButton)
            break;
        m_pressed = true;
        m_dragged = false;
        m_pressPos = me->globalPosition().toPoint();
        return true;
    }
    case QEvent::MouseMove: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (!m_pressed || !Moveable)
            break;
        const QPoint g = me->globalPosition().toPoint();
        if (!m_dragged && (g - m_pressPos).manhattanLength() < QApplication::startDragDistance())
            return true;
        m_dragged = true;
        if (!m_float)
            FloatIcon(g);
        else
            m_float->move(g - QPoint(m_float->width() / 2, m_float->height() / 2));
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() != Qt::LeftButton || !m_pressed)
            break;
        m_pressed = false;
        const QPoint g = me->globalPosition().toPoint();
        if (m_dragged) {
            const QRect panel(ImgClientPanel->mapToGlobal(QPoint(0, 0)), ImgClientPanel->size());
            if (m_float && panel.adjusted(-8, -8, 8, 8).contains(g))
                QMetaObject::invokeMethod(this, &TIconLinkExtBMForm::ImgClientPanelDockDrop, Qt::QueuedConnection);
        } else if (inPanel) {
            IcoLinkImageClick();
        }
        m_dragged = false;
        return true;
    }
    case QEvent::ContextMenu: {
        auto *ce = static_cast<QContextMenuEvent *>(event);
        OptPopupMenu->exec(ce->globalPos());
        return true;
    }
    default:
        break;
    }
    return TBaseModalForm::eventFilter(watched, event);
}

void TIconLinkExtBMForm::paintEvent(QPaintEvent *event)
{
    TBaseModalForm::paintEvent(event);
    QPainter p(this);
    PaintShadow(p, DlgClientPanel, 5, TColor(0x808080));
}

} // namespace zk
