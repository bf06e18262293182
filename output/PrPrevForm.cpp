#include "PrPrevForm.h"

#include "BarPopupMenu.h"
#include "MultiLanguage.h"
#include "SmallControls.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLocale>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace zk {

TPrPrevForm::TPrPrevForm(QPrinter *printer, QWidget *opener) : TBaseModalForm(opener, Qt::Window)
{
    setObjectName(QStringLiteral("PrPrevForm"));
    setModal(false);
    setWindowTitle(QStringLiteral("Druckvorschau"));

    auto *buttons = new QHBoxLayout;
    const auto button = [&](QPushButton *&b, const char *name, const QString &caption, void (TPrPrevForm::*slot)()) {
        b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, slot);
    };
    button(PPSDimButton, "PPSDimButton", QString::fromUtf8("Seitengrösse"), &TPrPrevForm::PPSDimButtonClick);
    button(PPWholeSiteButton, "PPWholeSiteButton", QString::fromUtf8("Blattgrösse"),
           &TPrPrevForm::PPWholeSiteButtonClick);
    button(PPOrigDimButton, "PPOrigDimButton", QString::fromUtf8("Originalgrösse"),
           &TPrPrevForm::PPOrigDimButtonClick);
    button(PPMinButton, "PPMinButton", QStringLiteral("Verkleinern -"), &TPrPrevForm::PPMinButtonClick);
    button(PPPlusButton, "PPPlusButton", QString::fromUtf8("Vergrössern +"), &TPrPrevForm::PPPlusButtonClick);
    button(PrintDocBitBtn, "PrintDocBitBtn", QStringLiteral("&Drucken"), &TPrPrevForm::PrintDocBitBtnClick);
    buttons->addStretch(1);
    PPCloseBitBtn = new QPushButton(QStringLiteral("Schliessen"), this);
    PPCloseBitBtn->setObjectName(QStringLiteral("PPCloseBitBtn"));
    PPCloseBitBtn->setAutoDefault(false);
    buttons->addWidget(PPCloseBitBtn);
    connect(PPCloseBitBtn, &QPushButton::clicked, this, &QWidget::close);

    PicRepPreview = new QPrintPreviewWidget(printer, this);
    PicRepPreview->setObjectName(QStringLiteral("PicRepPreview"));
    connect(PicRepPreview, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter *p) {
        if (OnPaint)
            OnPaint(p);
    });
    connect(PicRepPreview, &QPrintPreviewWidget::previewChanged, this,
            [this] { PicRepPreviewPageAvailable(PicRepPreview->pageCount()); });

    PrPrevStatusBar = new TContrStatusBar(this);
    PrPrevStatusBar->setObjectName(QStringLiteral("PrPrevStatusBar"));
    PrPrevStatusBar->StretchPanel = -1;
    for (int w : {130, 60, 50, 50})
        PrPrevStatusBar->Panels.push_back({QString(), w});
    PrPrevStatusBar->setFixedHeight(20);

    PrPrevBarPopupMenu = new TBarPopupMenu(this);
    PrPrevBarPopupMenu->setObjectName(QStringLiteral("PrPrevBarPopupMenu"));
    PrPrevBarPopupMenu->VerticalText = QStringLiteral("Zelkora 5.0");
    const struct {
        const char *name;
        const char *caption;
        void (TPrPrevForm::*slot)();
    } items[] = {
        {"PPSDimMenuItem", "Seitengrösse", &TPrPrevForm::PPSDimButtonClick},
        {"PPWholeSiteMenuItem", "Blattgrösse", &TPrPrevForm::PPWholeSiteButtonClick},
        {"PPOrigDimMenuItem", "Originalgrösse", &TPrPrevForm::PPOrigDimButtonClick},
        {"-", "", nullptr},
        {"PPMinMenuItem", "Verkleinern -", &TPrPrevForm::PPMinButtonClick},
        {"PPPlusMenuItem", "Vergrössern +", &TPrPrevForm::PPPlusButtonClick},
        {"-", "", nullptr},
        {"PrintDocMenuItem", "Drucken", &TPrPrevForm::PrintDocBitBtnClick},
        {"-", "", nullptr},
        {"PPCloseMenuItem", "Schliessen", nullptr},
    };
    for (const auto &it : items) {
        if (!it.slot && qstrcmp(it.name, "-") == 0) {
            PrPrevBarPopupMenu->addSeparator();
            continue;
        }
        QAction *a = PrPrevBarPopupMenu->addAction(QString::fromUtf8(it.caption));
        a->setObjectName(QString::fromLatin1(it.name));
        if (it.slot)
            connect(a, &QAction::triggered, this, it.slot);
        else
            connect(a, &QAction::triggered, this, &QWidget::close);
    }
    PicRepPreview->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PicRepPreview, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QPoint g = PicRepPreview->mapToGlobal(pos);
        PrPrevBarPopupMenu->Popup(g.x(), g.y());
    });

    DateTimeTimer = new QTimer(this);
    DateTimeTimer->setObjectName(QStringLiteral("DateTimeTimer"));
    DateTimeTimer->setInterval(1000);
    connect(DateTimeTimer, &QTimer::timeout, this, &TPrPrevForm::DateTimeTimerTimer);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addLayout(buttons);
    layout->addWidget(PicRepPreview, 1);
    layout->addWidget(PrPrevStatusBar);
    resize(690, 535);
}

TPrPrevForm::~TPrPrevForm() = default;

void TPrPrevForm::showEvent(QShowEvent *e)
{
    TBaseModalForm::showEvent(e);
    if (e->spontaneous())
        return;
    DateTimeTimerTimer();
    DateTimeTimer->start();
    if (OnActivate)
        OnActivate();
}

void TPrPrevForm::closeEvent(QCloseEvent *e)
{
    DateTimeTimer->stop();
    TBaseModalForm::closeEvent(e);
    if (OnClosed)
        OnClosed();
}

void TPrPrevForm::Refresh()
{
    PicRepPreview->updatePreview();
    PicRepPreviewPageAvailable(PicRepPreview->pageCount());
}

int TPrPrevForm::Zoom() const
{
    return qRound(PicRepPreview->zoomFactor() * 100.0);
}

void TPrPrevForm::setZoom(int percent)
{
    PicRepPreview->setZoomMode(QPrintPreviewWidget::CustomZoom);
    PicRepPreview->setZoomFactor(qMax(10, percent) / 100.0);
}

void TPrPrevForm::PPSDimButtonClick() { PicRepPreview->fitToWidth(); }
void TPrPrevForm::PPWholeSiteButtonClick() { PicRepPreview->fitInView(); }
void TPrPrevForm::PPOrigDimButtonClick() { setZoom(100); }
void TPrPrevForm::PPMinButtonClick() { setZoom(Zoom() - 10); }
void TPrPrevForm::PPPlusButtonClick() { setZoom(Zoom() + 10); }

void TPrPrevForm::PrintDocBitBtnClick()
{
    if (OnPrint)
        OnPrint();
}

void TPrPrevForm::DateTimeTimerTimer()
{
    const QDateTime now = QDateTime::currentDateTime();
    PrPrevStatusBar->SetPanelText(0, QLocale().toString(now.date(), QLocale::ShortFormat) + QStringLiteral("  ") +
                                         QLocale().toString(now.time(), QLocale::LongFormat));
}

void TPrPrevForm::PicRepPreviewPageAvailable(int pageNum)
{
    m_pages = pageNum;
    showPageCount();
}

void TPrPrevForm::showPageCount()
{
    if (m_pages <= 0)
        return;
    const TMultiLanguage *ml = FormMultiLanguage(this);
    const QString format = ml ? ml->GetText(QStringLiteral("caption_prprev_pages")) : QString();
    PrPrevStatusBar->SetPanelText(1, (format.isEmpty() ? QStringLiteral("%1 Seite") : format).arg(m_pages));
}

void TPrPrevForm::SetLanguage(const QStringList &Script, int LanguageIndex)
{
    TBaseModalForm::SetLanguage(Script, LanguageIndex);
    showPageCount();
}

void TPrPrevForm::PicRepPreviewProgressUpdate(int progress)
{
    PrPrevStatusBar->SetPanelText(2, QString::number(progress) + QLatin1Char('%'));
    PrPrevStatusBar->repaint();
}

} // namespace zk
