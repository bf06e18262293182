// The marker, the number marks and the pointer stamp: choosing and arming
// each tool. The clicks and moves that draw reach them through the picture's
// mouse handlers (edit/MainFormMouse.cpp) and the tool hooks filled here.
#include "MainForm.h"

#include "Bitmap.h"
#include "EditCommands.h"
#include "ImageControl.h"
#include "LazyIcon.h"
#include "MarkDialogs.h"
#include "Marks.h"
#include "MultiLanguage.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

namespace zk {

namespace {

// One owner-drawn item of the marker menu: the entry's colour bar.
class TMarkerItem : public QWidget
{
public:
    TMarkerItem(TMainForm &form, QWidgetAction *action, int entry)
        : m_form(form), m_action(action), m_entry(entry)
    {
        setMouseTracking(true);
        setMinimumSize(96, 20);
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        m_form.RedThinMenuItemDrawItem(p, rect(), m_entry, underMouse());
    }
    void mouseReleaseEvent(QMouseEvent *e) override
    {
        if (e->button() != Qt::LeftButton || !rect().contains(e->position().toPoint()))
            return;
        m_action->trigger();
        for (QWidget *w = parentWidget(); w; w = w->parentWidget())
            if (auto *menu = qobject_cast<QMenu *>(w))
                menu->close();
    }
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::HoverEnter || e->type() == QEvent::HoverLeave)
            update();
        return QWidget::event(e);
    }

private:
    TMainForm &m_form;
    QWidgetAction *m_action;
    int m_entry;
};

// The number tool's cursor: a pointer corner at the hot spot and the outline
// of the circle a click puts there.
QCursor NumberCursor()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    for (const auto &[colour, width] : {std::pair{QColor(Qt::white), 3}, std::pair{QColor(Qt::black), 1}}) {
        p.setPen(QPen(colour, width));
        p.setBrush(Qt::NoBrush);
        p.drawLine(0, 0, 7, 0);
        p.drawLine(0, 0, 0, 7);
        p.drawEllipse(QRectF(3.5, 3.5, 24, 24));
    }
    QFont font = p.font();
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(3, 3, 25, 25), Qt::AlignCenter, QStringLiteral("#"));
    p.end();
    return QCursor(pm, 0, 0);
}

// A picture of fewer than 24 bits would map the marks onto its own few
// colours (a red dot on a two-colour picture comes out white): the tools
// draw on a true-colour copy, taken after the undo snapshot.
void TrueColourForMarks(TMainForm &f)
{
    if (f.ScanImage->Picture().Empty())
        return;
    TBitmap &bmp = EditableBitmap(f.ScanImage->Picture());
    if (bmp.BitsPerPixel() >= 24)
        return;
    bmp.SetPixelFormat(pf24bit);
    f.ScanImage->PictureChanged();
}

QIcon MarkerIcon(int entry)
{
    // Made when first drawn: an SVG icon loads the icon engine, which the
    // window does not need before it is on the screen.
    return LazyFileIcon(QStringLiteral(":/icons/") + MarkerIconName(entry) + QStringLiteral(".svg"));
}

} // namespace

void TMainForm::SetupMarks()
{
    for (int entry = 0; entry < kMarkerEntries; ++entry) {
        auto *action = new QWidgetAction(MarkColrPopupMenu);
        action->setObjectName(MarkerItemName(entry));
        action->setProperty("Tag", entry);
        // The item shows a colour bar; its text is what tool tips and
        // screen readers say, in German until the language file speaks.
        static const char *const colours[] = {"Rot", "Blau", "Schwarz", "Gelb", "Grün", "Silber"};
        action->setText(QString::fromUtf8(colours[entry / 2]) +
                        QString::fromUtf8(entry % 2 ? " fett" : " dünn"));
        action->setDefaultWidget(new TMarkerItem(*this, action, entry));
        connect(action, &QAction::triggered, this, [this, entry] { RedThinMenuItemClick(entry); });
        MarkColrPopupMenu->addAction(action);
    }
    if (QAction *marks = Item(QStringLiteral("MarkMenuItem")))
        marks->setEnabled(true);
    QAction *markButton = Item(QStringLiteral("MarkToolButton"));
    connect(markButton, &QAction::triggered, this, &TMainForm::MarkToolButtonClick);
    // The menu goes on the button, not on its action: an action's menu would
    // take the menu over from the picture menu's item.
    if (auto *button = qobject_cast<QToolButton *>(GrafikEditToolBar->widgetForAction(markButton))) {
        button->setMenu(MarkColrPopupMenu);
        button->setPopupMode(QToolButton::MenuButtonPopup);
    }
    markButton->setEnabled(true);

    for (const char *name : {"NumMenuItem", "NumToolButton"}) {
        QAction *a = Item(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, &TMainForm::NumMenuItemClick);
        a->setEnabled(true);
    }

    for (int index = 1; index <= kPointerCount; ++index) {
        QAction *a = Item(PointerItemName(index));
        a->setProperty("Tag", index);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, a] { MausMenuItemClick(a); });
        a->setEnabled(true);
    }
    QAction *choose = Item(QStringLiteral("TestMenuItem"));
    choose->setProperty("Tag", kPointerChooseTag);
    connect(choose, &QAction::triggered, this, [this, choose] { MausMenuItemClick(choose); });
    choose->setEnabled(true);

    CaptureHooks.SetStampCursor = [this](int cursor) { SetStampCursor(cursor); };

    ToolHooks.PlaceNumberMark = [this](const QPoint &p) {
        if (NumberFrom > NumberTo)
            return;
        DrawNumberMark(p, QString::number(NumberFrom));
        ++NumberFrom;
        ++NumberPlaced;
        if (NumberFrom - 1 == NumberTo) {
            NumberMarkActive = false;
            delete HintWindow.data();
            HintWindow = nullptr;
        }
    };
    ToolHooks.NumberMarkHint = [this](const QPoint &p) {
        if (!NumberHint || !NumberMarkActive || !HintWindow)
            return;
        const QString text = NumberHintText(
            Text(QStringLiteral("hint_number_mark"), QStringLiteral("%1. Nummerierungsmarke von %2 an: x=%3, y=%4")),
            NumberPlaced, NumberSpan, p.x(), p.y());
        const QPoint at = QCursor::pos() + QPoint(5, TCoordHint::SystemCursorHeight());
        const QSize size = HintWindow->TextSize(text);
        HintWindow->ActivateHint(QRect(at, QSize(size.width() + 8, size.height() + 4)), text);
    };
    ToolHooks.RestoreNumberCursor = [this] { SetNumberCursor(true); };
    ToolHooks.EndNumberMarks = [this] {
        NumberMarkActive = false;
        delete HintWindow.data();
        HintWindow = nullptr;
        SetNumberCursor(false);
    };
}

// ---------------------------------------------------------------------------
// Marker

void TMainForm::RedThinMenuItemDrawItem(QPainter &canvas, const QRect &rect, int entry, bool selected) const
{
    if (selected)
        canvas.fillRect(rect, palette().color(QPalette::Highlight));
    canvas.fillRect(MarkerItemBar(rect.adjusted(2, 1, -2, -1), entry), TColorToQColor(MarkerColor(entry)));
}

void TMainForm::RedThinMenuItemClick(int entry)
{
    if (entry < 0 || entry >= kMarkerEntries)
        return;
    Item(QStringLiteral("MarkToolButton"))->setIcon(MarkerIcon(entry));
    MarkerKind = std::uint8_t(entry);
    GrafikEditToolBar->update();
    if (MarkArmRequest) {
        MarkArmRequest = false;
        MarkToolButtonClick();
    }
}

void TMainForm::SelectMarkerByIndex(int entry)
{
    if (entry < 0 || entry >= kMarkerEntries)
        return;
    const bool request = MarkArmRequest;
    MarkArmRequest = false;
    RedThinMenuItemClick(entry);
    MarkArmRequest = request;
}

void TMainForm::MarkToolButtonClick()
{
    if (ScanImage->Picture().Empty())
        return;
    SaveUndo();
    TrueColourForMarks(*this);
    ScanImage->setCursor(Qt::CrossCursor);
    MarkerPen = QPen(TColorToQColor(MarkerColor(MarkerKind)), MarkerPenWidth(MarkerKind), Qt::SolidLine,
                     Qt::RoundCap, Qt::RoundJoin);
    MarkerActive = true;
}

// ---------------------------------------------------------------------------
// Number marks

void TMainForm::NumMenuItemClick()
{
    TNumKindBMForm dialog(this);
    SaveUndo();
    NumberMarkActive = false;
    dialog.SetLanguage(ZKMultiLanguage->Script(), Options.Language);
    if (FormLookHook)
        FormLookHook(&dialog, Options.XPContrStyle);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const TNumberSettings s = dialog.Settings();
    NumberHint = s.Hint;
    NumberFrom = s.From;
    NumberTo = s.To;
    delete HintWindow.data();
    HintWindow = nullptr;
    if (NumberHint) {
        HintWindow = new TCoordHint(this);
        NumberPlaced = 1;
        NumberSpan = NumberTo - NumberFrom;
    }
    NumberMarkActive = true;
    TrueColourForMarks(*this);
    NumberFill = std::uint8_t(s.Fill);
    NumberRim = std::uint8_t(s.Rim);
    NumberRimWidth = std::uint8_t(s.RimItem);
    SetNumberCursor(true);
}

void TMainForm::DrawNumberMark(const QPoint &p, const QString &text)
{
    if (ScanImage->Picture().Empty())
        return;
    bool isNumber = false;
    text.trimmed().toLongLong(&isNumber);
    if (!isNumber)
        QMessageBox::warning(this, windowTitle(),
                             Text(QStringLiteral("showmsg_convert_error"), QStringLiteral("Ungültige Zahl:")) +
                                 QLatin1Char(' ') + text);
    const QRect circle = NumberCircle(p);
    TBitmap &bmp = EditableBitmap(ScanImage->Picture());
    {
        std::unique_ptr<TCanvas> canvas = bmp.Canvas();
        canvas->setCompositionMode(QPainter::CompositionMode_SourceOver);
        canvas->setBrush(TColorToQColor(NumberMarkColor(NumberFill, false)));
        QPen rim(TColorToQColor(NumberMarkColor(NumberRim, true)));
        rim.setWidth(NumberRimWidth);
        canvas->setPen(rim);
        canvas->drawEllipse(circle.adjusted(0, 0, -1, -1));
        QFont font(QStringLiteral("Sans"));
        font.setPixelSize(11);
        canvas->setFont(font);
        canvas->setPen(Qt::black);
        const QPoint origin = NumberTextOrigin(circle, text);
        canvas->drawText(QRect(origin, QSize(64, 32)), Qt::AlignLeft | Qt::AlignTop, text);
    }
    ScanImage->PictureChanged();
}

void TMainForm::SetNumberCursor(bool on)
{
    if (on)
        ScanImage->setCursor(NumberCursor());
    else
        ScanImage->unsetCursor();
    ScanImage->update();
}

// ---------------------------------------------------------------------------
// Pointer stamp

void TMainForm::MausMenuItemClick(QAction *Sender)
{
    const int tag = Sender->property("Tag").toInt();
    if (tag != kPointerChooseTag) {
        // Qt has toggled the item's check already.
        SetStampCursor(tag);
        return;
    }
    TMouseTestBMForm dialog(this);
    dialog.SetLanguage(ZKMultiLanguage->Script(), Options.Language);
    if (FormLookHook)
        FormLookHook(&dialog, Options.XPContrStyle);
    if (dialog.exec() == QDialog::Accepted && dialog.ChosenPointer() >= 1)
        SetStampCursor(dialog.ChosenPointer());
}

void TMainForm::SetStampCursor(int index)
{
    SaveUndo();
    TrueColourForMarks(*this);
    if (const std::optional<Qt::CursorShape> shape = PointerShape(index))
        ScanImage->setCursor(*shape);
    StampArmed = true;
    ScanImage->setToolTip(Text(QStringLiteral("scanimg_hint"),
                               QStringLiteral("Klicken Sie in die Grafik, um den Mauszeiger einzufügen")));
}

} // namespace zk
