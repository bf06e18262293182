// The mouse and keyboard tools on the picture: the text tool, the cutter,
// the crop rectangle (drawn, moved, sized, applied with Enter or a double
// click, dropped with Escape), the marker's dots and the branches of the
// marks, stamps and the focus frame. Frames are shown by the picture control
// over the picture and never drawn into it; positions are picture pixels.
#include "MainForm.h"

#include "Bitmap.h"
#include "EditCommands.h"
#include "ImageControl.h"
#include "MultiLanguage.h"
#include "ScanGeometry.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>

namespace zk {

namespace {

constexpr int kPositionPanel = 4; // the status bar's pointer position

// The program's text cursor: an I-beam whose hot spot is the top-left corner
// of the text box, with a small corner mark that shows where the text goes.
QCursor TextToolCursor()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    for (const auto &[colour, width] : {std::pair{QColor(Qt::white), 3}, std::pair{QColor(Qt::black), 1}}) {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(0, 0, 6, 0); // the corner mark
        p.drawLine(0, 0, 0, 6);
        p.drawLine(10, 3, 10, 21); // the beam
        p.drawLine(7, 3, 13, 3);
        p.drawLine(7, 21, 13, 21);
    }
    p.end();
    return QCursor(pm, 0, 0);
}

bool IsArrow(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

} // namespace

// The picture's mouse events and the main window's key preview.
class TMouseToolFilter : public QObject
{
public:
    explicit TMouseToolFilter(TMainForm &form)
        : m_form(form)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        TMainForm &f = m_form;
        if (event->type() == QEvent::MouseMove && f.m_pointerClip->Active())
            f.m_pointerClip->Hold(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
        if (watched == f.ScanImage && ImageEvent(event))
            return true;
        if (watched == &f) {
            // A cursor clip does not outlive the window's activation.
            switch (event->type()) {
            case QEvent::WindowDeactivate:
            case QEvent::Hide:
            case QEvent::Close:
                f.ClipCursorToImage(false);
                break;
            default:
                break;
            }
        }
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
            return KeyEvent(watched, static_cast<QKeyEvent *>(event));
        return false;
    }

private:
    bool ImageEvent(QEvent *event)
    {
        TMainForm &f = m_form;
        const auto shift = [](const QMouseEvent *e) { return TShiftState{e->modifiers(), e->buttons()}; };
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *e = static_cast<QMouseEvent *>(event);
            const QPoint p = f.ScanImage->MapToPicture(e->position());
            f.ScanImageMouseDown(e->button(), shift(e), p.x(), p.y());
            return true;
        }
        case QEvent::MouseButtonDblClick: {
            auto *e = static_cast<QMouseEvent *>(event);
            const QPoint p = f.ScanImage->MapToPicture(e->position());
            f.ScanImageMouseDown(e->button(), shift(e), p.x(), p.y());
            if (e->button() == Qt::LeftButton)
                f.ScanImageDblClick();
            return true;
        }
        case QEvent::MouseMove: {
            auto *e = static_cast<QMouseEvent *>(event);
            const QPoint p = f.ScanImage->MapToPicture(e->position());
            f.ScanImageMouseMove(shift(e), p.x(), p.y());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto *e = static_cast<QMouseEvent *>(event);
            const QPoint p = f.ScanImage->MapToPicture(e->position());
            if (e->button() == Qt::LeftButton && f.ScanImage->rect().contains(e->position().toPoint()))
                f.ScanImageClick();
            f.ScanImageMouseUp(e->button(), shift(e), p.x(), p.y());
            return true;
        }
        default:
            return false;
        }
    }

    bool KeyEvent(QObject *watched, QKeyEvent *e)
    {
        TMainForm &f = m_form;
        auto *w = qobject_cast<QWidget *>(watched);
        // The window's own keys only, and not while a dialog of ours is up.
        if (!w || w->window() != &f || QApplication::activeModalWidget())
            return false;
        // A key nobody takes travels up to the parents; it counts once, where
        // it arrives first: at the window's focus widget.
        if (w != (f.focusWidget() ? f.focusWidget() : &f))
            return false;
        int key = e->key();
        if (e->type() == QEvent::KeyPress) {
            f.FormKeyDown(key, e->modifiers());
            if (key != 0 && !e->text().isEmpty())
                f.FormKeyPress(e->key());
            return key == 0;
        }
        if (e->isAutoRepeat())
            return false;
        f.FormKeyUp(key, e->modifiers());
        return key == 0;
    }

    TMainForm &m_form;
};

// ---------------------------------------------------------------------------
// Wiring

void TMainForm::SetupMouseTools()
{
    m_pointerClip = std::make_unique<TPointerClip>();
    ScanImage->setMouseTracking(true);
    m_mouseToolFilter = std::make_unique<TMouseToolFilter>(*this);
    // On the application: it sees the picture's mouse events, the window's
    // own events and every key of the window before the focused control.
    qApp->installEventFilter(m_mouseToolFilter.get());

    const auto bind = [this](std::initializer_list<const char *> names, void (TMainForm::*handler)()) {
        for (const char *n : names) {
            QAction *a = Item(QString::fromLatin1(n));
            connect(a, &QAction::triggered, this, handler);
            a->setEnabled(true);
        }
    };
    bind({"TxtInpMenuItem"}, &TMainForm::TxtInpMenuItemClick);
    bind({"CutterMenuItem", "CutterToolButton"}, &TMainForm::CutterMenuItemClick);
    bind({"CutterEnterMenuItem", "CutterEnterToolButton"}, &TMainForm::CutterEnterMenuItemClick);
    Item("CutterToolButton")->setToolTip(QStringLiteral("Grafik zuschneiden"));
    Item("CutterToolButton")->setStatusTip(QStringLiteral("Grafik zuschneiden"));
    connect(MarkColrPopupMenu, &QMenu::aboutToShow, this, &TMainForm::MarkMenuItemClick);

    CaptureHooks.FreeMoveRect = [this] {
        if (CutRect)
            ClipCursorToImage(false);
        CutRect.reset();
        FreeCoordHint();
        ScanImage->SetFrame(TImage::CropFrame, std::nullopt);
        ScanImage->SetFrame(TImage::GrabberFrame, std::nullopt);
    };
}

// ---------------------------------------------------------------------------
// Shared steps

namespace {

// Panel 0's resting text, in the program's language.
QString ReadyText(const TMainForm &f)
{
    return f.Text(QStringLiteral("statbar_ready"), QStringLiteral("Bereit"));
}

// The position panel's text, "X: 120   Y: 48" as QString::arg writes it.
// A drag shows one every display frame: written in one go, with one
// allocation, instead of parsing a pattern twice.
QString PositionText(int x, int y)
{
    char16_t text[40];
    int n = 0;
    const auto put = [&](const char *s) {
        while (*s)
            text[n++] = char16_t(*s++);
    };
    const auto number = [&](int v) {
        unsigned u = v < 0 ? 0u - unsigned(v) : unsigned(v);
        if (v < 0)
            text[n++] = u'-';
        char16_t digits[10];
        int k = 0;
        do {
            digits[k++] = char16_t(u'0' + u % 10);
            u /= 10;
        } while (u);
        while (k)
            text[n++] = digits[--k];
    };
    put("X: ");
    number(x);
    put("   Y: ");
    number(y);
    return QString(reinterpret_cast<const QChar *>(text), n);
}

bool HasPicture(const TMainForm &f)
{
    return !f.ScanImage->Picture().Empty();
}

// The pen of the rubber frames; an index outside the colour table keeps the
// colour the pen had.
QPen RubberPen(const TZelkoraOptions &o, const QPen &previous)
{
    QPen pen(previous);
    if (const std::optional<TColor> c = CropLineColor(o.CRLineColr))
        pen.setColor(TColorToQColor(*c));
    pen.setWidth(ClampCropLineWidth(o.CRLineWidth));
    pen.setStyle(o.CRDotLine ? Qt::DotLine : Qt::SolidLine);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

void ShowCropFrames(TMainForm &f, const QPen &pen)
{
    if (!f.CutRect)
        return;
    f.ScanImage->SetFrame(TImage::CropFrame, TImage::TFrame{f.CutRect->Normalized(), pen, false});
    if (f.CutRect->Grabber.isEmpty())
        f.ScanImage->SetFrame(TImage::GrabberFrame, std::nullopt);
    else
        f.ScanImage->SetFrame(TImage::GrabberFrame, TImage::TFrame{f.CutRect->Grabber, QPen(), true});
}

void ShowCutterFrame(TMainForm &f, const QPen &pen)
{
    f.ScanImage->SetFrame(TImage::CutterFrame,
                          TImage::TFrame{NormalizedDrag(f.CutStart, f.CutEnd), pen, false});
}

// The viewport position of a picture pixel.
QPoint ViewportPoint(TMainForm &f, int x, int y)
{
    const QPoint w = f.ScanImage->MapFromPicture(QRect(x, y, 1, 1)).topLeft();
    return f.ScanImage->mapTo(f.ClientScrollBoxEx->viewport(), w);
}

// A drag past the edge of the view scrolls towards it, one line per move.
void ScrollTowardsPointer(TMainForm &f, int x, int y)
{
    const QPoint v = ViewportPoint(f, x, y);
    const QSize view = f.ClientScrollBoxEx->viewport()->size();
    const auto step = [](QScrollBar *bar, int pos, int size) {
        if (pos >= size)
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        else if (pos < 0)
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    };
    step(f.ClientScrollBoxEx->verticalScrollBar(), v.y(), view.height());
    step(f.ClientScrollBoxEx->horizontalScrollBar(), v.x(), view.width());
}

void DrawMarkerDot(TMainForm &f, int x, int y)
{
    const TGraphic *before = f.ScanImage->Picture().Graphic();
    TBitmap &bmp = EditableBitmap(f.ScanImage->Picture());
    {
        std::unique_ptr<TCanvas> canvas = bmp.Canvas();
        canvas->setCompositionMode(QPainter::CompositionMode_SourceOver);
        canvas->setPen(f.MarkerPen);
        // An odd width centres on the pixel's middle, so the dot is exactly
        // that many pixels across.
        const qreal centre = f.MarkerPen.width() % 2 ? 0.5 : 0.0;
        canvas->drawPoint(QPointF(x + centre, y + centre));
    }
    if (before != f.ScanImage->Picture().Graphic()) {
        f.ScanImage->PictureChanged();
        return;
    }
    const int m = f.MarkerPen.width() / 2 + 1;
    f.ScanImage->PictureAreaChanged(QRect(x - m, y - m, 2 * m + 1, 2 * m + 1));
}

void StampPointer(TMainForm &f, int x, int y)
{
    const std::optional<TCursorImage> cursor = f.ForeignCursorHandle();
    if (!cursor || cursor->IsNull())
        return;
    TBitmap &bmp = EditableBitmap(f.ScanImage->Picture());
    {
        std::unique_ptr<TCanvas> canvas = bmp.Canvas();
        canvas->drawImage(QPoint(x - 10, y - 10), cursor->image);
    }
    f.ScanImage->PictureChanged();
}

} // namespace

QPoint TMainForm::PointerOnPicture() const
{
    return ScanImage->MapToPicture(QPointF(ScanImage->mapFromGlobal(QCursor::pos())));
}

void TMainForm::ShowCoordHint(int X, int Y)
{
    if (!HintWindow)
        return;
    TCoordHintTracker tracker;
    tracker.Reset(HintLast);
    if (!tracker.Moved(QPoint(X, Y)))
        return;
    HintLast = tracker.Last();
    const QPoint w = ScanImage->MapFromPicture(QRect(X, Y, 1, 1)).topLeft();
    HintWindow->ShowAt(ScanImage->mapToGlobal(w), X, Y, TCoordHint::SystemCursorHeight());
}

void TMainForm::FreeCoordHint()
{
    delete HintWindow.data();
    HintWindow = nullptr;
}

void TMainForm::ClipCursorToImage(bool On)
{
    if (!On) {
        m_pointerClip->Release();
        return;
    }
    QWidget *view = ClientScrollBoxEx->viewport();
    if (!isVisible() || !view->isVisible() || !windowHandle())
        return;
    m_pointerClip->Confine(windowHandle(), QRect(view->mapTo(this, QPoint(0, 0)), view->size()));
}

// ---------------------------------------------------------------------------
// Arming

void TMainForm::TxtInpMenuItemClick()
{
    if (!HasPicture(*this))
        return;
    SaveUndo();
    QInputDialog query(this);
    query.setObjectName(QStringLiteral("TxtInpInputQuery"));
    query.setWindowTitle(Text(QStringLiteral("inputquery__insert_txt"), QStringLiteral("Text einfügen")));
    query.setLabelText(Text(QStringLiteral("inputquery_text_insert"), QStringLiteral("Einzufügender Text:")));
    query.setTextValue(InsertText);
    TOpenDialogScope scope(query.windowTitle());
    if (query.exec() != QDialog::Accepted || query.textValue().isEmpty())
        return;
    InsertText = query.textValue();
    ClipCursorToImage(true);
    ScanImage->setCursor(TextToolCursor());
    TextArmed = true;
}

void TMainForm::CutterMenuItemClick()
{
    if (!HasPicture(*this))
        return;
    SaveUndo();
    m_rubberPen = RubberPen(Options, m_rubberPen);
    CutterActive = true;
    m_cutterPressed = false;
    ScanImage->setCursor(Qt::CrossCursor);
}

void TMainForm::CutterEnterMenuItemClick()
{
    if (!HasPicture(*this))
        return;
    FreeCutRect();
    CutRect = std::make_unique<TMoveRect>();
    SaveUndo();
    SetStatusPanelText(0, Text(QStringLiteral("statbar_tmp_cut_rect1"), QStringLiteral("Zuschnitt-Rechteck aufziehen; Escape bricht ab")));
    m_rubberPen = RubberPen(Options, m_rubberPen);
    CutRect->Dragging = false;
    CutRect->Drawing = true;
    CutRect->Active = true;
    CutRect->KeysOn = true;
    ScanImage->setCursor(Qt::CrossCursor);
}

void TMainForm::MarkMenuItemClick()
{
    MarkArmRequest = true;
}

// ---------------------------------------------------------------------------
// Mouse

void TMainForm::ScanImageMouseDown(Qt::MouseButton Button, TShiftState Shift, int X, int Y)
{
    if (!HasPicture(*this))
        return;
    const QPoint p(X, Y);
    LastDown = p;
    const bool left = Button == Qt::LeftButton;
    if (left) {
        if (TextArmed) {
            TBitmap &bmp = EditableBitmap(ScanImage->Picture());
            DrawTextAt(bmp, p, InsertText, Options.FontName, Options.TxtPenWidth, Options.TxtPenColr);
            ScanImage->PictureChanged();
            ScanImage->unsetCursor();
            TextArmed = false;
            ClipCursorToImage(false);
        } else if (StampArmed) {
            StampPointer(*this, X, Y);
            StampArmed = false;
            ScanImage->setToolTip(QString());
        } else if (MarkerActive) {
            DrawMarkerDot(*this, X, Y);
        }
    }
    if (CutRect && left && CutRect->Active) {
        if (!CutRect->Drawing) {
            // Inside counts for this press only.
            CutRect->Inside = false;
            CutRect->HitInside(p);
            if (CutRect->HitGrabber(p) == 0) {
                SetStatusPanelText(0, Text(QStringLiteral("statbar_tmp_cut_rect3"), QStringLiteral("Zuschnitt-Rechteck wird verschoben")));
                CutRect->Dragging = true;
                CutRect->StartMove(p);
            } else {
                CutRect->Sizing = true;
                if (Options.CoordHint && !HintWindow) {
                    HintWindow = new TCoordHint(this);
                    HintLast = QPoint(0, 0);
                }
                return;
            }
        } else {
            if (Options.CoordHint && !HintWindow) {
                HintWindow = new TCoordHint(this);
                HintLast = QPoint(0, 0);
            }
            SetStatusPanelText(0, Text(QStringLiteral("statbar_tmp_cut_rect1"), QStringLiteral("Zuschnitt-Rechteck aufziehen; Escape bricht ab")));
            CutRect->Dragging = true;
            CutRect->Drawing = true;
            CutRect->Anchor = CutRect->Corner = p;
            CutRect->Grabber = QRect();
            ShowCropFrames(*this, m_rubberPen);
        }
    }
    if (NumberMarkActive && left && ToolHooks.PlaceNumberMark)
        ToolHooks.PlaceNumberMark(p);
    if (left && (Shift.keys & Qt::ControlModifier) && Options.FocusMode && ToolHooks.FocusFrameOn)
        ToolHooks.FocusFrameOn();
    if (CutterActive && left) {
        m_rubberPen = RubberPen(Options, m_rubberPen);
        SetStatusPanelText(0, Text(QStringLiteral("statbar_text_cut_run"), QStringLiteral("Zuschneiden: Bereich mit gedrückter Maustaste aufziehen")));
        CutStart = CutEnd = p;
        m_cutterPressed = true;
        ShowCutterFrame(*this, m_rubberPen);
    }
}

const QString &TMainForm::MoveStatusText()
{
    TMoveStatusText &c = m_moveStatusText;
    const quint64 textsRead = ZKMultiLanguage ? ZKMultiLanguage->TextsRead() : 0;
    if (!c.known || c.language != ZKMultiLanguage || c.textsRead != textsRead || c.numberMark != NumberMarkActive) {
        c.text = NumberMarkActive ? Text(QStringLiteral("statbar_set_num_in_gr"), QStringLiteral("Nummer in die Grafik setzen"))
                                  : ReadyText(*this);
        c.known = true;
        c.language = ZKMultiLanguage;
        c.textsRead = textsRead;
        c.numberMark = NumberMarkActive;
    }
    return c.text;
}

void TMainForm::ScanImageMouseMove(TShiftState Shift, int X, int Y)
{
    if (!HasPicture(*this))
        return;
    const QPoint p(X, Y);
    if (ToolHooks.NumberMarkHint)
        ToolHooks.NumberMarkHint(p);
    // A drag brings far more moves than the display shows frames: the bar
    // shows the newest position once a frame.
    ZKStatusBar->SetPanelTextNextFrame(kPositionPanel, [X, Y] { return PositionText(X, Y); });
    SetStatusPanelText(0, MoveStatusText());
    const bool leftHeld = Shift.buttons & Qt::LeftButton;
    if (MarkerActive && leftHeld)
        DrawMarkerDot(*this, X, Y);
    if (CutterActive && leftHeld && m_cutterPressed) {
        CutEnd = p;
        ShowCutterFrame(*this, m_rubberPen);
        ScrollTowardsPointer(*this, X, Y);
    }
    if (CutRect && CutRect->KeysOn) {
        TMoveRect &r = *CutRect;
        if (Options.CoordHint && !HintWindow && (r.Sizing || (r.Drawing && r.Dragging))) {
            HintWindow = new TCoordHint(this);
            HintLast = QPoint(0, 0);
        }
        if (r.Sizing) {
            ShowCoordHint(X, Y);
            r.Corner = p;
            r.SetGrabberAtCorner();
            ShowCropFrames(*this, m_rubberPen);
            return;
        }
        if (r.Dragging && r.Inside && !r.Drawing) {
            r.MoveTo(p);
            ShowCropFrames(*this, m_rubberPen);
        } else if (!r.Drawing && !r.Dragging && r.Active) {
            // The cursor tells what a press would do here.
            if (r.HitInside(p)) {
                ScanImage->setCursor(Qt::SizeAllCursor);
                return;
            }
            switch (r.HitGrabber(p)) {
            case 1: ScanImage->setCursor(Qt::SizeFDiagCursor); break;
            case 2: ScanImage->setCursor(Qt::SizeBDiagCursor); break;
            default: ScanImage->unsetCursor(); break;
            }
        } else if (r.Drawing && r.Dragging) {
            ShowCoordHint(X, Y);
            r.Corner = p;
            ShowCropFrames(*this, m_rubberPen);
        }
    }
}

void TMainForm::ScanImageMouseUp(Qt::MouseButton Button, TShiftState, int X, int Y)
{
    if (!HasPicture(*this) || Button != Qt::LeftButton)
        return;
    MarkerActive = false;
    ScanImage->unsetCursor();
    if (CutterActive && m_cutterPressed) {
        const QRect area = CutArea(CutStart, CutEnd, QSize(ScanImage->Picture().Width(), ScanImage->Picture().Height()));
        ScanImage->SetFrame(TImage::CutterFrame, std::nullopt);
        CutterActive = false;
        m_cutterPressed = false;
        ClipCursorToImage(false); // taken by keyboard driving
        FinishCut(area);
        SetStatusPanelText(0, Text(QStringLiteral("statbar_std_txt"), QStringLiteral("Zugeschnitten")));
    }
    if (CutRect && CutRect->Active) {
        TMoveRect &r = *CutRect;
        if (r.Drawing || r.Sizing) {
            SetStatusPanelText(0, Text(QStringLiteral("statbar_tmp_cut_rect2"), QStringLiteral("Rechteck verschieben oder an der Ecke ziehen; Enter oder Doppelklick schneidet zu, Escape bricht ab")));
            r.TakeExtent(QPoint(X, Y));
            ShowCropFrames(*this, m_rubberPen);
            if (r.Normalized().isEmpty()) {
                // A rectangle without area crops nothing: the tool ends.
                r.Deactivate();
                r.KeysOn = false;
                FreeCutRect();
                SetStatusPanelText(0, ReadyText(*this));
                return;
            }
            if (r.Sizing) {
                r.Sizing = false;
                FreeCoordHint();
                return;
            }
        }
        r.Drawing = r.Dragging = r.Inside = false;
        if (Options.CoordHint)
            FreeCoordHint();
    }
    if (NumberMarkActive && ToolHooks.RestoreNumberCursor)
        ToolHooks.RestoreNumberCursor();
}

void TMainForm::ScanImageDblClick()
{
    if (CutRect && CutRect->Active)
        ApplyCutRect();
}

void TMainForm::ScanImageClick()
{
    ClientScrollBoxEx->setFocus(Qt::MouseFocusReason);
}

// ---------------------------------------------------------------------------
// Cutting and applying

void TMainForm::FinishCut(const QRect &area)
{
    if (area.isEmpty())
        return; // a drag without area changes nothing
    TBitmap cut = CropBitmap(EditableBitmap(ScanImage->Picture()), area);
    ScanImage->Picture().SetGraphic(std::make_unique<TBitmap>(std::move(cut)));
    ScanImage->PictureChanged();
    if (Options.AutoWinSize)
        FitMainWindowToImage();
    if (Options.AutoWinCenter)
        CenterMainWindow();
    if (Options.FocusMode && CaptureHooks.CreateFocusResizer)
        CaptureHooks.CreateFocusResizer();
    ClientScrollBoxEx->horizontalScrollBar()->setValue(0);
    ClientScrollBoxEx->verticalScrollBar()->setValue(0);
    if (Options.DocCenter && CaptureHooks.CenterPicture)
        CaptureHooks.CenterPicture();
    ScanImage->updateGeometry();
    if (!Options.FocusMode && !Options.DocCenter)
        ApplyImageStretch();
}

void TMainForm::ApplyCutRect()
{
    ClipCursorToImage(false);
    const QRect area =
        CutArea(CutRect->Anchor, CutRect->Corner, QSize(ScanImage->Picture().Width(), ScanImage->Picture().Height()));
    CutRect->Deactivate();
    ScanImage->unsetCursor();
    FreeCutRect();
    FinishCut(area);
    SetStatusPanelText(0, ReadyText(*this));
}

void TMainForm::EscapeCutRect()
{
    ClipCursorToImage(false);
    CutRect->Deactivate();
    CutRect->KeysOn = false;
    ScanImage->unsetCursor();
    FreeCoordHint();
    ScanImage->SetFrame(TImage::CropFrame, std::nullopt);
    ScanImage->SetFrame(TImage::GrabberFrame, std::nullopt);
    // The snapshot of the crop command: the same picture, as the frame never
    // entered it.
    UndoMenuItemClick();
    SetStatusPanelText(0, ReadyText(*this));
    ScanImage->update();
}

// ---------------------------------------------------------------------------
// Keys

void TMainForm::KeyDrive(int Key, Qt::KeyboardModifiers Shift, bool &DragStarted, TMoveRect *Rect)
{
    if (ScanImage->width() <= ClientScrollBoxEx->viewport()->width() &&
        ScanImage->height() <= ClientScrollBoxEx->viewport()->height())
        ClipCursorToImage(true);
    const TScanKeyAction a = ScanKeyDown(Key, Shift, TScanShape::Rectangle, DragStarted);
    const TShiftState held{Shift, Qt::LeftButton};
    switch (a.kind) {
    case TScanKeyAction::StartKeyDrag: {
        // Outside the rectangle a keyboard drag draws a new one; on the
        // grabber the Shift press has already begun sizing this one.
        if (Rect)
            Rect->Drawing = !Rect->Inside && !Rect->Sizing;
        const QPoint p = PointerOnPicture();
        ScanImageMouseDown(Qt::LeftButton, held, p.x(), p.y());
        DragStarted = true;
        break;
    }
    case TScanKeyAction::MoveCursor:
        QCursor::setPos(QCursor::pos() + a.delta);
        break;
    case TScanKeyAction::KeyDragMove: {
        if (Rect)
            Rect->Dragging = true;
        QCursor::setPos(QCursor::pos() + a.delta);
        const QPoint p = PointerOnPicture();
        ScanImageMouseMove(held, p.x(), p.y());
        break;
    }
    default:
        break;
    }
}

void TMainForm::KeyNudgeSelection(int Key, Qt::KeyboardModifiers Shift)
{
    KeyDrive(Key, Shift, KeyDragStarted, nullptr);
}

void TMainForm::KeyNudgeMoveRect(int Key, Qt::KeyboardModifiers Shift)
{
    KeyDrive(Key, Shift, CutRect->KeyDragStarted, CutRect.get());
}

void TMainForm::KeyMoveCursor(int Key, Qt::KeyboardModifiers Shift)
{
    const QPoint step = ArrowStep(Key, Shift);
    if (!step.isNull())
        QCursor::setPos(QCursor::pos() + step);
}

void TMainForm::FormKeyDown(int &Key, Qt::KeyboardModifiers Shift)
{
    const bool enter = Key == Qt::Key_Return || Key == Qt::Key_Enter;
    if (CutRect && CutRect->Active && enter) {
        ApplyCutRect();
        Key = 0;
        return;
    }
    if (Key == Qt::Key_Escape) {
        if (CutRect && CutRect->Active) {
            EscapeCutRect();
            Key = 0;
        } else if (TextArmed) {
            TextArmed = false;
            ScanImage->unsetCursor();
            ClipCursorToImage(false);
            Key = 0;
        }
        if (ToolHooks.StopWindowInfo)
            ToolHooks.StopWindowInfo();
        return;
    }
    const bool nudgeKey = IsArrow(Key) || Key == Qt::Key_Shift;
    if ((CutterActive || MarkerActive) && nudgeKey) {
        KeyNudgeSelection(Key, Shift);
        Key = 0;
        return;
    }
    // Shift alone (Qt leaves Shift itself out of the modifiers of its own key).
    const bool shiftAlone = Key == Qt::Key_Shift && (Shift & ~Qt::ShiftModifier) == Qt::NoModifier;
    if (CutRect && shiftAlone && !CutRect->Drawing) {
        const QPoint p = PointerOnPicture();
        if (CutRect->HitInside(p) || CutRect->HitGrabber(p) != 0)
            ScanImageMouseDown(Qt::LeftButton, TShiftState{Shift, Qt::LeftButton}, p.x(), p.y());
    }
    if (CutRect && CutRect->KeysOn && nudgeKey) {
        KeyNudgeMoveRect(Key, Shift);
        Key = 0;
        return;
    }
    if (NumberMarkActive && IsArrow(Key)) {
        KeyMoveCursor(Key, Shift);
        Key = 0;
    }
}

void TMainForm::FormKeyPress(int Key)
{
    if ((Key == Qt::Key_Return || Key == Qt::Key_Enter) && NumberMarkActive) {
        const QPoint p = PointerOnPicture();
        ScanImageMouseDown(Qt::LeftButton, TShiftState{{}, Qt::LeftButton}, p.x(), p.y());
    }
    if (CutterActive) {
        CutterActive = false;
        m_cutterPressed = false;
        ClipCursorToImage(false);
        ScanImage->SetFrame(TImage::CutterFrame, std::nullopt);
        ScanImage->unsetCursor();
    }
    if (Key == Qt::Key_Escape && NumberMarkActive && ToolHooks.EndNumberMarks)
        ToolHooks.EndNumberMarks();
}

void TMainForm::FormKeyUp(int &Key, Qt::KeyboardModifiers Shift)
{
    const QPoint p = PointerOnPicture();
    const TShiftState none{Shift, Qt::NoButton};
    if (Key == Qt::Key_Shift && CutRect)
        CutRect->Dragging = false;
    if ((CutterActive && Key == Qt::Key_Shift) || MarkerActive) {
        ClipCursorToImage(false);
        ScanImageMouseUp(Qt::LeftButton, none, p.x(), p.y());
        KeyDragStarted = false;
        Key = 0;
    }
    if (Key == Qt::Key_Shift && CutRect && CutRect->KeysOn && CutRect->KeyDragStarted) {
        ClipCursorToImage(false);
        ScanImageMouseUp(Qt::LeftButton, none, p.x(), p.y());
        if (CutRect) {
            CutRect->Drawing = false;
            CutRect->KeyDragStarted = false;
        }
        Key = 0;
    }
}

} // namespace zk
