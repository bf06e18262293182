#include "Scan.h"
#include "XPLook.h"

#include "Bitmap.h"
#include "CoordHint.h"
#include "Globals.h"
#include "Options.h"
#include "PrevKoord.h"
#include "ScreenSettle.h"
#include "WindowAtPoint.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cmath>

namespace zk {

namespace {

// The overlay must be gone from the screen before the live screen is read.
constexpr int kCloseSettleMs = 160;

} // namespace

// ---------------------------------------------------------------------------

TDesktopImage::TDesktopImage(TScanForm *form)
    : QWidget(form)
    , m_form(form)
{
    setObjectName(QStringLiteral("DesktopImage"));
    // Everything is painted from the frozen picture: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
}

void TDesktopImage::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    const qreal r = m_form->DeviceRatio();
    const QRect logical = event->rect();
    const QRect device(QPoint(int(std::floor(logical.left() * r)), int(std::floor(logical.top() * r))),
                       QPoint(int(std::ceil((logical.right() + 1) * r)) - 1,
                              int(std::ceil((logical.bottom() + 1) * r)) - 1));
    if (r != 1.0)
        p.scale(1.0 / r, 1.0 / r);
    m_form->PaintContent(p, device);
}

namespace {
QPoint toDevice(const QPointF &logical, qreal ratio)
{
    return QPoint(qRound(logical.x() * ratio), qRound(logical.y() * ratio));
}
} // namespace

void TDesktopImage::mousePressEvent(QMouseEvent *event)
{
    m_form->FormMouseDown(event->button(), toDevice(event->position(), m_form->DeviceRatio()));
}

void TDesktopImage::mouseMoveEvent(QMouseEvent *event)
{
    m_form->FormMouseMove(toDevice(event->position(), m_form->DeviceRatio()),
                          event->buttons() & Qt::LeftButton);
}

void TDesktopImage::mouseReleaseEvent(QMouseEvent *event)
{
    m_form->FormMouseUp(event->button(), toDevice(event->position(), m_form->DeviceRatio()));
}

// ---------------------------------------------------------------------------

TScanForm::TScanForm(TScanHost *host, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                          | Qt::X11BypassWindowManagerHint)
    , m_host(host)
{
    setObjectName(QStringLiteral("ScanForm"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    DesktopImage = new TDesktopImage(this);
    m_grabRetry = new QTimer(this);
    m_grabRetry->setInterval(20);
    connect(m_grabRetry, &QTimer::timeout, this, &TScanForm::takeGrabs);
}

TScanForm::~TScanForm()
{
    FreeLoupe();
    delete FCoordHint;
}

TScanShape TScanForm::shape() const
{
    return ScanShapeOf(m_host->ScanOptions().ScanTool);
}

QPoint TScanForm::CursorPosition() const
{
    return toDevice(QCursor::pos(), m_ratio);
}

void TScanForm::ShowDesktop(const TBitmap &desktop)
{
    if (desktop.Empty()) {
        // No picture of the screen (the grab failed): a window of no size
        // holding keyboard and pointer would leave the user stuck.
        m_host->OverlayCancelled();
        return;
    }
    m_frozen = desktop.ToImage().convertToFormat(QImage::Format_RGB32);
    if (m_host->ScanOptions().ImgWithMouse && !m_frozen.isNull()) {
        QPainter p(&m_frozen);
        m_host->DrawCursorIntoImage(p);
    }
    m_ratio = qApp->devicePixelRatio();
    // The real screen size: a height guessed from the width would put the
    // loupe off a wide screen.
    FScreenWidth = m_frozen.width();
    FScreenHeight = m_frozen.height();
    const QRect logical(0, 0, int(std::ceil(FScreenWidth / m_ratio)), int(std::ceil(FScreenHeight / m_ratio)));
    setGeometry(logical);
    DesktopImage->setGeometry(QRect(QPoint(0, 0), logical.size()));
    m_dragging = false;
    FKeyDrag = false;
    if (isVisible())
        DesktopImage->update();
    show();
    raise();
    activateWindow();
}

void TScanForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
    m_grabTries = 0;
    takeGrabs();
}

void TScanForm::FormShow()
{
    const TZelkoraOptions &o = m_host->ScanOptions();
    FCrossX = FCrossY = -1;
    m_penStyle = RubberPenStyle(o.SBorder);
    m_penWidth = RubberPenWidth(o.SBForce);
    DesktopImage->setCursor(shape() == TScanShape::Window ? Qt::PointingHandCursor : Qt::CrossCursor);
    FLastHint.Reset(QPoint(0, 0));
    if (!FCoordHint)
        FCoordHint = new TCoordHint(this);
}

void TScanForm::takeGrabs()
{
    if (!isVisible()) {
        m_grabRetry->stop();
        return;
    }
    // Only a window system with global grabs has anything to hold.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    // The picture takes the mouse (the form itself has no use for it), the
    // form the keys.
    DesktopImage->grabMouse();
    grabKeyboard();
    // The X server refuses a grab on a window it has not mapped yet: try
    // again until it is on the screen (for a second at most).
    QWindow *w = windowHandle();
    const bool held = !w || (w->setMouseGrabEnabled(true) && w->setKeyboardGrabEnabled(true));
    if (held || ++m_grabTries > 50)
        m_grabRetry->stop();
    else if (!m_grabRetry->isActive())
        m_grabRetry->start();
}

void TScanForm::releaseGrabs()
{
    m_grabRetry->stop();
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    DesktopImage->releaseMouse();
    releaseKeyboard();
}

QRect TScanForm::shapeBounds() const
{
    if (!m_dragging || FWindowMode)
        return {};
    return ShapeDirtyBounds(shape(), QPoint(FX1, FY1), QPoint(FX2, FY2), m_penWidth);
}

void TScanForm::invalidate(const QRegion &deviceRegion)
{
    m_lastDirty = deviceRegion;
    if (deviceRegion.isEmpty())
        return;
    if (m_ratio == 1.0) {
        DesktopImage->update(deviceRegion);
        return;
    }
    QRegion logical;
    for (const QRect &r : deviceRegion)
        logical += QRect(QPoint(int(std::floor(r.left() / m_ratio)), int(std::floor(r.top() / m_ratio))),
                         QPoint(int(std::ceil((r.right() + 1) / m_ratio)), int(std::ceil((r.bottom() + 1) / m_ratio))));
    DesktopImage->update(logical);
}

void TScanForm::PaintContent(QPainter &p, const QRect &area) const
{
    p.save();
    p.setClipRect(area);
    p.drawImage(area.topLeft(), m_frozen, area);

    const TZelkoraOptions &o = m_host->ScanOptions();
    if (m_dragging && !FWindowMode) {
        // Each line inverts what lies beneath it (drawn twice it would
        // vanish), so it shows on any picture.
        p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        p.setRenderHint(QPainter::Antialiasing, false);
        const QSize size(m_frozen.size());
        if (o.SCross && FCrossX >= 0 && FCrossY >= 0) {
            p.setPen(QPen(QColor(0x80, 0x80, 0x80), m_penWidth, m_penStyle, Qt::FlatCap));
            p.drawLine(FCrossX, 0, FCrossX, size.height());
            p.drawLine(0, FCrossY, size.width(), FCrossY);
        }
        p.setPen(QPen(Qt::black, m_penWidth, m_penStyle, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(o.FilledShape ? QBrush(Qt::black) : QBrush(Qt::NoBrush));
        if (shape() == TScanShape::Triangle) {
            const QPoint pts[3] = {FTriangle[0], FTriangle[1], FTriangle[2]};
            p.drawPolygon(pts, 3);
        } else {
            p.drawPath(ShapeOutline(shape(), QPoint(FX1, FY1), QPoint(FX2, FY2)));
        }
    }
    p.restore();
}

void TScanForm::FormMouseDown(Qt::MouseButton button, const QPoint &pos)
{
    if (button != Qt::LeftButton)
        return;
    const TZelkoraOptions &o = m_host->ScanOptions();
    FWindowMode = false;
    FX1 = FX2 = pos.x();
    FY1 = FY2 = pos.y();
    m_dragging = true;
    switch (shape()) {
    case TScanShape::Triangle:
        FApexX = pos.x();
        FTriangle = {pos, pos, pos};
        break;
    case TScanShape::Window:
        FWindowMode = true;
        break;
    default:
        break;
    }
    invalidate(shapeBounds());
    if (o.Loupe && shape() != TScanShape::Window) {
        FreeLoupe();
        PrevKoordForm = new TPrevKoordForm(this);
        TXPLook::ApplyToForm(PrevKoordForm, o.XPContrStyle);
        PlaceMagnifier(pos);
        PrevKoordForm->show();
        updateLoupe(pos);
    }
}

void TScanForm::FormMouseMove(const QPoint &pos, bool leftHeld)
{
    const TZelkoraOptions &o = m_host->ScanOptions();
    if (o.CursorHint && FCoordHint && isVisible() && FLastHint.Moved(pos))
        FCoordHint->ShowAt(QPoint(qRound(pos.x() / m_ratio), qRound(pos.y() / m_ratio)), pos.x(), pos.y(),
                           TCoordHint::SystemCursorHeight());

    if (!m_dragging || FWindowMode || !(leftHeld || FKeyDrag))
        return;

    QRegion dirty;
    const QSize size(m_frozen.size());
    if (o.SCross) {
        if (FCrossX >= 0) {
            dirty += CrossVerticalBounds(FCrossX, size, m_penWidth);
            dirty += CrossHorizontalBounds(FCrossY, size, m_penWidth);
        }
        FCrossX = pos.x();
        FCrossY = pos.y();
        dirty += CrossVerticalBounds(FCrossX, size, m_penWidth);
        dirty += CrossHorizontalBounds(FCrossY, size, m_penWidth);
    }
    dirty += shapeBounds();
    FX2 = pos.x();
    FY2 = pos.y();
    if (shape() == TScanShape::Triangle) {
        FTriangle = DragTriangle(QPoint(FX1, FY1), QPoint(FX2, FY2));
        FApexX = FTriangle[2].x();
    }
    dirty += shapeBounds();
    invalidate(dirty);

    if (o.Loupe && PrevKoordForm)
        updateLoupe(pos);
}

void TScanForm::updateLoupe(const QPoint &cursor)
{
    if (!PrevKoordForm)
        return;
    const int factor = ClampLoupeFactor(m_host->ScanOptions().LFaktor);
    const QRect source = LoupeSourceRect(cursor, factor);
    // What the overlay shows there, rubber band included; black off the screen.
    QImage square(source.size(), QImage::Format_RGB32);
    square.fill(Qt::black);
    {
        QPainter p(&square);
        p.translate(-source.topLeft());
        PaintContent(p, source.intersected(QRect(QPoint(0, 0), m_frozen.size())));
    }
    PrevKoordForm->ShowMagnified(square);
    PrevKoordForm->SetValues(cursor.x(), cursor.y(), std::abs(FX2 - FX1), std::abs(FY2 - FY1));
    const QRect loupeDevice(toDevice(PrevKoordForm->pos(), m_ratio),
                            QSize(qRound(PrevKoordForm->width() * m_ratio), qRound(PrevKoordForm->height() * m_ratio)));
    if (loupeDevice.contains(cursor))
        PlaceMagnifier(cursor);
}

void TScanForm::PlaceMagnifier(const QPoint &cursor)
{
    if (!PrevKoordForm)
        return;
    const QPoint current = toDevice(PrevKoordForm->pos(), m_ratio);
    const QPoint at = zk::PlaceMagnifier(cursor, QSize(FScreenWidth, FScreenHeight), current);
    PrevKoordForm->move(QPoint(qRound(at.x() / m_ratio), qRound(at.y() / m_ratio)));
}

void TScanForm::FreeLoupe()
{
    delete PrevKoordForm;
}

void TScanForm::closeOverlay()
{
    m_dragging = false;
    hide();
}

void TScanForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    FormClose();
}

void TScanForm::closeEvent(QCloseEvent *event)
{
    // The overlay is made once and reused: closing only hides it.
    event->ignore();
    closeOverlay();
}

void TScanForm::FormClose()
{
    releaseGrabs();
    FreeLoupe();
    delete FCoordHint;
    m_host->OverlayClosed();
}

void TScanForm::FormMouseUp(Qt::MouseButton button, const QPoint &pos)
{
    if (button != Qt::LeftButton || !m_dragging)
        return;
    const TZelkoraOptions &o = m_host->ScanOptions();
    const TScanShape mode = shape();
    const bool windowMode = FWindowMode;
    FreeLoupe();
    closeOverlay();
    SettleScreen(kCloseSettleMs);

    if (windowMode) {
        TBitmap screen;
        if (!GrabDesktop(screen)) {
            m_host->OverlayCancelled();
            return;
        }
        CaptureWindowAtPoint(screen, pos.x(), pos.y());
        TBitmap picture = FWindowBitmap ? *FWindowBitmap : TBitmap();
        m_host->OverlayCaptured(std::move(picture), true, FWindowArea);
        return;
    }

    // The end point is where the button came up, whatever the last move said.
    FX2 = pos.x();
    FY2 = pos.y();
    const QRect area = NormalizedDrag(QPoint(FX1, FY1), QPoint(FX2, FY2));
    if (area.isEmpty()) {
        m_host->OverlayCancelled();
        return;
    }
    TBitmap picture(area.width(), area.height(), pf24bit);
    if (!GrabScreenRect(area.x(), area.y(), area.width(), &picture, area.height())) {
        // A black picture is no capture: leave everything as it was.
        m_host->OverlayCancelled();
        return;
    }
    MaskShapeOutside(picture, mode, TriangleApexAtBottom(FY1, FY2), MaskColorByIndex(o.ShapeColorBg));
    m_host->OverlayCaptured(std::move(picture), false, area);
}

void TScanForm::CaptureWindowAtPoint(const TBitmap &bitmap, int x, int y)
{
    std::vector<std::uint32_t> own;
    for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(PrevKoordForm.data()),
                       static_cast<QWidget *>(FCoordHint.data())})
        if (w && w->testAttribute(Qt::WA_WState_Created) && w->internalWinId())
            own.push_back(std::uint32_t(w->internalWinId()));
    std::optional<QRect> bounds;
    if (const auto found = TopLevelWindowAt(QPoint(x, y), own))
        bounds = found->bounds;
    const QRect area = WindowCaptureRect(bounds, QSize(bitmap.Width(), bitmap.Height()));
    FWindowBitmap = std::make_unique<TBitmap>();
    FWindowArea = area;
    if (area.isEmpty())
        return;
    FWindowBitmap->Assign(bitmap.ToImage().copy(area));
}

void TScanForm::windowKeyCapture(const QPoint &cursor)
{
    FreeLoupe();
    closeOverlay();
    SettleScreen(kCloseSettleMs);
    TBitmap screen;
    if (!GrabDesktop(screen)) {
        m_host->OverlayCancelled();
        return;
    }
    CaptureWindowAtPoint(screen, cursor.x(), cursor.y());
    TBitmap picture = FWindowBitmap ? *FWindowBitmap : TBitmap();
    m_host->WindowKeyCaptured(std::move(picture), FWindowArea);
}

void TScanForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const QPoint cursor = CursorPosition();
    const TScanKeyAction action = ScanKeyDown(key, modifiers & ~Qt::KeypadModifier, shape(), FKeyDrag);
    switch (action.kind) {
    case TScanKeyAction::None:
        break;
    case TScanKeyAction::WindowCapture:
        FKeyDrag = false;
        windowKeyCapture(cursor);
        break;
    case TScanKeyAction::StartKeyDrag:
        FormMouseDown(Qt::LeftButton, cursor);
        FKeyDrag = true;
        raise();
        activateWindow();
        break;
    case TScanKeyAction::MoveCursor: {
        const QPoint to = cursor + action.delta;
        QCursor::setPos(QPoint(qRound(to.x() / m_ratio), qRound(to.y() / m_ratio)));
        break;
    }
    case TScanKeyAction::KeyDragMove: {
        const QPoint to = cursor + action.delta;
        QCursor::setPos(QPoint(qRound(to.x() / m_ratio), qRound(to.y() / m_ratio)));
        if (FKeyDrag)
            FormMouseMove(to, true);
        break;
    }
    }
}

void TScanForm::FormKeyUp(int key)
{
    if (!ScanKeyUpReleases(key, FKeyDrag))
        return;
    FKeyDrag = false;
    FormMouseUp(Qt::LeftButton, CursorPosition());
}

void TScanForm::keyPressEvent(QKeyEvent *event)
{
    FormKeyDown(event->key(), event->modifiers());
}

void TScanForm::keyReleaseEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return;
    FormKeyUp(event->key());
}

} // namespace zk
