#include "CoordScan.h"

#include "Bitmap.h"
#include "EditDialogs.h"
#include "Globals.h"
#include "MultiLanguage.h"
#include "Options.h"
#include "Scan.h"
#include "ScanGeometry.h"
#include "ScreenGrab.h"
#include "ScreenSettle.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHash>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace zk {

namespace {

// The dialog must be gone from the screen before the rectangle is read.
constexpr int kHideSettleMs = 100;

QSize realScreenSize()
{
    ScreenGrabber &grabber = ScreenGrabber::instance();
    if (grabber.isAvailable()) {
        const QRect root = grabber.rootRect();
        if (!root.isEmpty())
            return root.size();
    }
    if (QScreen *s = QGuiApplication::primaryScreen())
        return s->virtualGeometry().size() * s->devicePixelRatio();
    return QSize(1024, 768);
}

} // namespace

TCoordScanBMForm::TCoordScanBMForm(TScanHost *host, QWidget *opener, const QSize &screen)
    : TBaseModalForm(opener)
    , m_host(host)
    , m_screen(screen.isValid() ? screen : realScreenSize())
{
    setObjectName(QStringLiteral("CoordScanBMForm"));
    setWindowTitle(QStringLiteral("Koordinaten eingeben"));

    auto *outer = new QVBoxLayout(this);
    ScCrdGroupBox = new QGroupBox(QStringLiteral("Scan-Koordinaten"), this);
    ScCrdGroupBox->setObjectName(QStringLiteral("ScCrdGroupBox"));
    auto *grid = new QGridLayout(ScCrdGroupBox);

    auto row = [&](int r, const char *labelName, const QString &caption, const char *editName,
                   const char *upDownName, QLabel *&label, QLineEdit *&edit, TEditUpDown *&upDown) {
        label = new QLabel(caption, ScCrdGroupBox);
        label->setObjectName(QString::fromLatin1(labelName));
        edit = new QLineEdit(QStringLiteral("0"), ScCrdGroupBox);
        edit->setObjectName(QString::fromLatin1(editName));
        label->setBuddy(edit);
        upDown = new TEditUpDown(ScCrdGroupBox);
        upDown->setObjectName(QString::fromLatin1(upDownName));
        upDown->Associate(edit);
        grid->addWidget(label, r, 0);
        grid->addWidget(edit, r, 1);
        grid->addWidget(upDown, r, 2);
    };
    row(0, "ScCrdXLabel", QStringLiteral("&X-Wert:"), "CoordXCoordEdit", "XCoordUpDown", ScCrdXLabel,
        CoordXCoordEdit, XCoordUpDown);
    row(1, "ScCrdYLabel", QStringLiteral("&Y-Wert:"), "CoordYCoordEdit", "YCoordUpDown", ScCrdYLabel,
        CoordYCoordEdit, YCoordUpDown);
    row(2, "ScCrdWLabel", QStringLiteral("&Breite:"), "CoordWCoordEdit", "WCoordUpDown", ScCrdWLabel,
        CoordWCoordEdit, WCoordUpDown);
    row(3, "ScCrdHLabel", QStringLiteral("&Höhe:"), "CoordHCoordEdit", "HCoordUpDown", ScCrdHLabel,
        CoordHCoordEdit, HCoordUpDown);
    ScCrdOriginLabel = new QLabel(QStringLiteral("Urpsrung = links oben"), ScCrdGroupBox);
    ScCrdOriginLabel->setObjectName(QStringLiteral("ScCrdOriginLabel"));
    grid->addWidget(ScCrdOriginLabel, 4, 0, 1, 3);
    outer->addWidget(ScCrdGroupBox);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    ScCrdOkButton = new QPushButton(QStringLiteral("&OK"), this);
    ScCrdOkButton->setObjectName(QStringLiteral("ScCrdOkButton"));
    ScCrdOkButton->setDefault(true);
    ScCrdCancButton = new QPushButton(QStringLiteral("&Abbrechen"), this);
    ScCrdCancButton->setObjectName(QStringLiteral("ScCrdCancButton"));
    buttons->addWidget(ScCrdOkButton);
    buttons->addWidget(ScCrdCancButton);
    outer->addLayout(buttons);

    connect(ScCrdOkButton, &QPushButton::clicked, this, &TCoordScanBMForm::ScCrdOkButtonClick);
    connect(ScCrdCancButton, &QPushButton::clicked, this, &TCoordScanBMForm::ScCrdCancButtonClick);

    FormCreate();
}

TCoordScanBMForm::~TCoordScanBMForm() = default;

void TCoordScanBMForm::FormCreate()
{
    XCoordUpDown->SetRange(0, m_screen.width());
    WCoordUpDown->SetRange(0, m_screen.width());
    YCoordUpDown->SetRange(0, m_screen.height());
    HCoordUpDown->SetRange(0, m_screen.height());
    for (QLineEdit *e : {CoordXCoordEdit, CoordYCoordEdit, CoordWCoordEdit, CoordHCoordEdit})
        MakeEditNumeric(e);
    FCancelled = false;
}

int TCoordScanBMForm::value(const QLineEdit *edit) const
{
    // Digits only, but any number of them: too large a number is as
    // refused as any other rectangle off the screen.
    bool ok = false;
    const qlonglong v = edit->text().toLongLong(&ok);
    if (!ok)
        return 0;
    return int(std::min<qlonglong>(v, 1LL << 30));
}

QString TCoordScanBMForm::text(const QString &key, const QString &fallback) const
{
    return FormText(const_cast<TCoordScanBMForm *>(this), key, fallback);
}

void TCoordScanBMForm::ScCrdOkButtonClick()
{
    const int x = value(CoordXCoordEdit), y = value(CoordYCoordEdit);
    const int w = value(CoordWCoordEdit), h = value(CoordHCoordEdit);
    m_lastRefusal = ValidateCoordRect(x, y, w, h, m_screen);
    if (!m_lastRefusal.isEmpty()) {
        static const QHash<QString, QString> german = {
            {QStringLiteral("showmsg_coordscan_invalid_value"),
             QStringLiteral("Breite und Höhe müssen mindestens 1 Pixel betragen!")},
            {QStringLiteral("showmsg_coordscan_unlogical_widthval"),
             QStringLiteral("X-Wert und Breite reichen über den rechten Bildschirmrand hinaus!")},
            {QStringLiteral("showmsg_coordscan_unlogical_heightval"),
             QStringLiteral("Y-Wert und Höhe reichen über den unteren Bildschirmrand hinaus!")},
        };
        QMessageBox::warning(this, windowTitle(), text(m_lastRefusal, german.value(m_lastRefusal)));
        return;
    }

    // The dialog and the program leave the screen before the grab, so
    // neither is in the picture.
    setResult(QDialog::Accepted);
    hide();
    m_host->HideForGrab();
    SettleScreen(kHideSettleMs);

    const TZelkoraOptions &o = m_host->ScanOptions();
    TBitmap picture;
    if (o.BmpPixForm <= pf32bit)
        picture.SetPixelFormat(TPixelFormat(o.BmpPixForm));
    if (o.BmpMonochrome)
        picture.SetMonochrome(true);
    if (!GrabScreenRect(x, y, w, &picture, h)) {
        // A black picture is no capture: the program comes back unchanged.
        m_host->ShowApplication();
        done(QDialog::Rejected);
        return;
    }
    m_host->CoordinatesCaptured(std::move(picture), QRect(x, y, w, h));
    done(QDialog::Accepted);
}

void TCoordScanBMForm::ScCrdCancButtonClick()
{
    FCancelled = true;
    done(QDialog::Rejected);
}

void TCoordScanBMForm::reject()
{
    // Escape counts as the cancel button.
    FCancelled = true;
    TBaseModalForm::reject();
}

void TCoordScanBMForm::FormCloseQuery(bool &canClose)
{
    canClose = CoordCloseAllowed(FCancelled, value(CoordXCoordEdit), value(CoordYCoordEdit),
                                 value(CoordWCoordEdit), value(CoordHCoordEdit), m_screen);
}

void TCoordScanBMForm::closeEvent(QCloseEvent *event)
{
    // The window's close command is a cancel.
    FCancelled = true;
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    TBaseModalForm::closeEvent(event);
}

void TCoordScanBMForm::done(int result)
{
    TBaseModalForm::done(result);
    FormClose();
}

void TCoordScanBMForm::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    if (!m_host->ScanOptions().WithZelkoraWin)
        m_host->ShowApplication();
}

void TCoordScanBMForm::paintEvent(QPaintEvent *event)
{
    TBaseModalForm::paintEvent(event);
    QPainter p(this);
    for (QWidget *w : {static_cast<QWidget *>(ScCrdOkButton), static_cast<QWidget *>(ScCrdCancButton)})
        PaintShadow(p, w, 2, clBtnShadow);
}

} // namespace zk
