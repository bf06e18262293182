// The main window's status bar: thirteen panels (hint or date line, colour
// readout, coordinates or size, file type, four state icons) that double as
// buttons, or one single cell.
#include "MainForm.h"

#include "Bitmap.h"
#include "CaptureControl.h"
#include "Globals.h"
#include "ImageControl.h"
#include "MultiLanguage.h"

#include <QAction>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

namespace zk {

namespace {

constexpr int kPanelCount = 13;
constexpr int kPanelWidths[kPanelCount] = {0, 10, 90, 10, 110, 10, 70, 10, 24, 24, 24, 24, 20};
const QString kConvertedPrefix = QStringLiteral("|bmp| - ");
const QString kConverted = QStringLiteral("|bmp|");
const QString kNoPicture = QStringLiteral("- - -");

// The state icons, drawn here so they match at any scale: a floppy for
// automatic saving, a sheet for file properties, an "i" for the about box
// and a window with an arrow for minimising after a capture.
QIcon drawStatusImage(int index)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 40, 40);
    const QColor on(30, 140, 60), off(170, 170, 170);
    p.setPen(QPen(ink, 1));
    switch (index) {
    case 0:
    case 1: { // automatic saving on / off
        p.setBrush(index == 0 ? QColor(60, 110, 200) : off);
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
        if (index == 1) {
            p.setPen(QPen(QColor(200, 30, 30), 2));
            p.drawLine(QPointF(2, 14), QPointF(14, 2));
        }
        break;
    }
    case 2:
    case 3: { // file properties without / with a file
        QPainterPath sheet;
        sheet.moveTo(3.5, 1.5);
        sheet.lineTo(10.5, 1.5);
        sheet.lineTo(13.5, 4.5);
        sheet.lineTo(13.5, 14.5);
        sheet.lineTo(3.5, 14.5);
        sheet.closeSubpath();
        p.setBrush(index == 3 ? Qt::white : QColor(225, 225, 225));
        p.setPen(QPen(index == 3 ? ink : off, 1));
        p.drawPath(sheet);
        if (index == 3)
            for (int y = 6; y <= 12; y += 2)
                p.drawLine(QPointF(5.5, y + 0.5), QPointF(11.5, y + 0.5));
        break;
    }
    case 4: { // about
        p.setBrush(QColor(60, 110, 200));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(7, 3.5, 2.2, 2.2));
        p.drawRect(QRectF(7, 7, 2.2, 6));
        break;
    }
    default: { // 5, 6: minimise after capture off / on
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 2.5, 13, 11));
        p.fillRect(QRectF(2, 3, 12, 2.5), index == 6 ? on : off);
        p.setPen(QPen(index == 6 ? on : off, 2));
        p.drawLine(QPointF(5, 11), QPointF(11, 11));
        p.drawLine(QPointF(8, 7), QPointF(8, 11));
        break;
    }
    }
    return QIcon(pm);
}

} // namespace

QString TMainForm::InitialPanelText(int index)
{
    switch (index) {
    case 2:
        return QStringLiteral("Farbcodes");
    case 4:
        return QStringLiteral("X: 0   Y: 0");
    case 6:
        return kNoPicture;
    default:
        return QString();
    }
}

void TMainForm::BuildStatusBar()
{
    ZKStatusBar = new TContrStatusBar(this);
    ZKStatusBar->setObjectName("ZKStatusBar");
    ZKStatusBar->StretchPanel = 0;
    for (int i = 0; i < kPanelCount; ++i) {
        TStatusPanel panel;
        panel.Width = kPanelWidths[i];
        panel.OwnerDraw = i >= 8 && i <= 11;
        if (i == 2 || i == 4 || i == 6)
            panel.Alignment = Qt::AlignHCenter;
        ZKStatusBar->Panels.push_back(panel);
    }
    for (int i = 0; i < kPanelCount; ++i)
        ZKStatusBar->Panels[i].Text = m_panelTextsBeforeBar.value(i, InitialPanelText(i));
    m_panelTextsBeforeBar.clear();
    for (int i = 0; i < static_cast<int>(StatusImageList.size()); ++i)
        StatusImageList[i] = drawStatusImage(i);
    ZKStatusBar->OnDrawPanel = [this](QPainter &p, int panel, const QRect &r) {
        ZKStatusBarDrawPanel(p, panel, r);
    };
    connect(ZKStatusBar, &TContrStatusBar::Clicked, this, [this](QPoint pos, Qt::MouseButton button) {
        if (button == Qt::LeftButton)
            ZKStatusBarClick(pos);
    });
    // Qt's status tips arrive as temporary messages of the bar; they become
    // the hint of panel 0 (or of the single cell).
    connect(ZKStatusBar, &QStatusBar::messageChanged, this, [this](const QString &m) { ShowHint(m); });
    ZKStatusBar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ZKStatusBar, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        ZKStatBarPopupMenuPopup();
        const QPoint g = ZKStatusBar->mapToGlobal(pos);
        ZKStatBarPopupMenu->Popup(g.x(), g.y());
    });
    setStatusBar(ZKStatusBar);
    ZKStatusBar->setFixedHeight(Options.StatBar || Options.OnceCellStatbar ? 20 : 1);
    // Every change of the picture (capture, open, paste, edit, undo) shows
    // its size: the panel never keeps an earlier picture's.
    connect(ScanImage, &TImage::OnChange, this, [this] { ShowPictureSizePanel(); });

    ZKStatBarPopupMenu->addAction(Item("LongHintsMenuItem"));
    connect(Item("StatBarMenuItem"), &QAction::triggered, this, [this] { StatBarMenuItemClick(); });
    connect(Item("LongHintsMenuItem"), &QAction::triggered, this, [this] { LongHintsMenuItemClick(); });
    // The bar comes up in the layout the user left it in.
    if (Options.OnceCellStatbar)
        SetStatusBarSimple();
}

QString TMainForm::DateLine() const
{
    return QLocale().toString(StartDate.isValid() ? StartDate : QDate::currentDate(), QLocale::ShortFormat) +
           QStringLiteral("   Zelkora 5.0 - Tarvendo");
}

void TMainForm::ShowHint(const QString &hint)
{
    const QString text = Options.StatBarHints ? hint : DateLine();
    if (ZKStatusBar->SimplePanel())
        ZKStatusBar->SetSimpleText(text);
    else
        SetStatusPanelText(0, text);
}

void TMainForm::SetStatusBarPanels(QObject *)
{
    ZKStatusBar->SetSimplePanel(false);
    ZKStatusBarResize();
    ShowHint(ZKStatusBar->currentMessage());
}

void TMainForm::SetStatusBarSimple(QObject *)
{
    ZKStatusBar->SetSimplePanel(true);
    ShowHint(ZKStatusBar->currentMessage());
}

void TMainForm::ShowPictureSizePanel()
{
    const TPicture &pic = ScanImage->Picture();
    if (pic.Empty()) {
        SetStatusPanelText(4, Text("statbar_graphic_txt"));
        return;
    }
    SetStatusPanelText(4, Text("statbar_graphic_size_txt", QStringLiteral("Grafik: ")) +
                              QString::number(pic.Width()) + QStringLiteral(" x ") + QString::number(pic.Height()));
}

void TMainForm::ZKStatusBarResize()
{
    int others = 0;
    for (int i = 1; i < kPanelCount; ++i)
        others += ZKStatusBar->FittedWidth(i);
    // Never negative: on a narrow bar a negative width would put every
    // click one panel off.
    ZKStatusBar->Panels[0].Width = qMax(0, ZKStatusBar->width() - others);
}

void TMainForm::ZKStatusBarClick(QPoint pos)
{
    if (ZKStatusBar->SimplePanel())
        return;
    ZKStatusBarResize();
    std::vector<int> widths;
    for (const TStatusPanel &p : ZKStatusBar->Panels)
        widths.push_back(p.Width);
    const int panel = StatusPanelAt(widths, pos.x());
    if (panel >= 0)
        StatusPanelAction(panel);
}

void TMainForm::ZKStatusBarDrawPanel(QPainter &painter, int panel, const QRect &rect)
{
    int image = -1;
    switch (panel) {
    case 8: image = Options.MinAScan ? 6 : 5; break;
    case 9: image = Options.PersSave ? 0 : 1; break;
    case 10: image = FHasFileName ? 3 : 2; break;
    case 11: image = 4; break;
    default: return;
    }
    painter.drawPixmap(rect.topLeft(), StatusImageList[image].pixmap(16, 16));
}

void TMainForm::StatBarMenuItemClick()
{
    // The item is checkable: its check has already changed.
    Options.StatBar = Item("StatBarMenuItem")->isChecked();
    ZKStatusBar->setFixedHeight(Options.StatBar || Options.OnceCellStatbar ? 20 : 1);
}

void TMainForm::LongHintsMenuItemClick()
{
    const bool oneCell = Item("LongHintsMenuItem")->isChecked();
    Options.OnceCellStatbar = oneCell;
    Options.StatBar = !oneCell;
    ZKStatusBar->setFixedHeight(20);
    if (oneCell)
        SetStatusBarSimple(Item("LongHintsMenuItem"));
    else
        SetStatusBarPanels(Item("LongHintsMenuItem"));
}

void TMainForm::ZKStatBarPopupMenuPopup()
{
    QAction *item = Item("LongHintsMenuItem");
    const bool oneCell = ZKStatusBar->SimplePanel();
    item->setChecked(oneCell);
    item->setText(Text(oneCell ? "set_statbar_caption_std" : "set_statbar_caption_simple",
                       oneCell ? QStringLiteral("Mehrteilige Statusleiste")
                               : QStringLiteral("Einteilige Statusleiste")));
    item->setStatusTip(Text(oneCell ? "statbar_hint_2" : "statbar_hint_1"));
}

void TMainForm::StatusPanelAction(int action)
{
    QString ext = StatusPanelText(6);
    if (ext.startsWith(kConvertedPrefix))
        ext.remove(0, kConvertedPrefix.size());
    const bool havePicture = !ScanImage->Picture().Empty();

    const auto ask = [this](const char *key) {
        QMessageBox box(QMessageBox::Question, windowTitle(), Text(QString::fromLatin1(key)),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QString::fromLatin1(key));
        box.setDefaultButton(QMessageBox::Yes);
        TOpenDialogScope scope(box.windowTitle());
        return box.exec() == QMessageBox::Yes;
    };
    const auto tell = [this](const char *key) {
        QMessageBox box(QMessageBox::Information, windowTitle(), Text(QString::fromLatin1(key)),
                        QMessageBox::Ok, this);
        box.setObjectName(QString::fromLatin1(key));
        TOpenDialogScope scope(box.windowTitle());
        box.exec();
    };

    switch (action) {
    case 2:
        // The readout needs the colour picker; until it exists the click
        // has nothing to switch.
        if (!StatusHooks.SwitchColorPicker)
            break;
        if (StatusPanelText(2) == Text("statbar_colview")) {
            if (ask("msgdlg_colview")) {
                StatusHooks.SwitchColorPicker(true);
                Item("ColViewMenuItem")->setEnabled(true);
            }
        } else if (ask("msgdlg_colview2")) {
            StatusHooks.SwitchColorPicker(false);
            Item("ColViewMenuItem")->setEnabled(false);
            SetStatusPanelText(2, Text("statbar_colview"));
            if (StatusHooks.FreeColorView)
                StatusHooks.FreeColorView();
        }
        break;
    case 4:
        if (!havePicture) {
            tell("showmsg_nofileload");
            break;
        }
        SetStatusPanelText(4, Text("statbar_TmpBmpStr", QString::fromUtf8("Grafikgröße:")) + QLatin1Char(' ') +
                                  QString::number(ScanImage->Picture().Width()) + QStringLiteral(" x ") +
                                  QString::number(ScanImage->Picture().Height()));
        break;
    case 6: {
        const QString shown = StatusPanelText(6);
        if (shown == kNoPicture || !havePicture) {
            tell("showmsg_nofileload");
        } else if (shown.startsWith(kConvertedPrefix) || shown == kConverted) {
            if (ask("msgdlg_tmp_file_save")) {
                SaveAsClick(this);
                // A bare "|bmp|" has no extension to add: after a cancelled
                // dialog it stays as it was.
                if (StatusPanelText(6) == kConverted && ext != kConverted)
                    SetStatusPanelText(6, kConvertedPrefix + ext);
            }
        } else if (shown == QLatin1String("bmp")) {
            // already a bitmap
        } else if (FHasFileName && IsCdRomDrive(FFileName)) {
            tell("showmsg_no_conv_possible");
        } else if (FHasFileName && ask("msgdlg_file_convert")) {
            ConvertToBmpAndLoad(FFileName, QLatin1Char('.') + ext);
            if (dynamic_cast<TBitmap *>(ScanImage->Picture().Graphic()))
                SetStatusPanelText(6, kConvertedPrefix + ext);
        }
        break;
    }
    case 8:
        if (Options.MinAScan) {
            if (ask("msgdlg_after_scan_min_dea"))
                Options.MinAScan = false;
        } else if (ask("msgdlg_after_scan_min_act")) {
            Options.MinAScan = true;
        }
        break;
    case 9:
        if (Options.PersSave) {
            if (ask("msgdlg_autocreate_dea"))
                Options.PersSave = false;
        } else if (ask("msgdlg_autocreate_act")) {
            AutoFileMenuItemClick();
        }
        Item("AutoFileMenuItem")->setChecked(Options.PersSave);
        if (QAction *button = Item("AutoFileToolButton"))
            button->setChecked(Options.PersSave);
        break;
    case 10:
        if (FHasFileName) {
            if (StatusHooks.ShowFileProperties)
                StatusHooks.ShowFileProperties(FFileName, StatusPanelText(6).startsWith(kConvertedPrefix) ||
                                                              StatusPanelText(6) == kConverted);
        } else if (havePicture) {
            if (ask("msgdlg_file_not_saved"))
                SaveAsClick(this);
        } else {
            tell("showmsg_nofileload");
        }
        break;
    case 11:
        if (StatusHooks.ShowAboutBox)
            StatusHooks.ShowAboutBox();
        break;
    case 100:
        JpgScaleMenuItemClick();
        break;
    default:
        break;
    }
    ZKStatusBar->repaint();
}

} // namespace zk
