#include "ScanBTest.h"
#include "XPLook.h"

#include "CaptureControl.h"
#include "CoordHint.h"
#include "Globals.h"
#include "MultiLanguage.h"
#include "OptionDlg.h"
#include "Options.h"
#include "PrevKoord.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <utility>
#include <vector>

namespace zk {

namespace {

// Pieces of an outline are this long at most, so a slanted edge marks a
// string of small squares rather than its whole bounding box.
constexpr int kDirtyPiece = 96;
// An ellipse goes in longer arcs: the box around one holds more of the
// inside, but filling it costs less than keeping many small ones apart.
constexpr int kEllipsePiece = 400;

// The union of many rectangles, joined pairwise: one by one it would cost
// the square of their number.
QRegion unite(std::vector<QRegion> parts)
{
    if (parts.empty())
        return {};
    while (parts.size() > 1) {
        std::vector<QRegion> next;
        next.reserve((parts.size() + 1) / 2);
        for (size_t i = 0; i + 1 < parts.size(); i += 2)
            next.push_back(parts[i].united(parts[i + 1]));
        if (parts.size() % 2)
            next.push_back(parts.back());
        parts.swap(next);
    }
    return parts.front();
}

// A label that skips repaints falling wholly beside its text: the crosshair
// crossing the window runs under the labels on every move, and laying the
// text out again there would cost more than the rest of the move.
class TInkLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    bool event(QEvent *e) override
    {
        switch (e->type()) {
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::LayoutDirectionChange:
        case QEvent::Resize:
            m_ink = QRect();
            break;
        default:
            break;
        }
        return QLabel::event(e);
    }
    void paintEvent(QPaintEvent *e) override
    {
        if (m_ink.isNull() || m_inkText != text()) {
            m_inkText = text();
            // Where the text is laid out, grown by half a line for glyphs
            // reaching past their advance and for the frame.
            const int flags = int(QStyle::visualAlignment(layoutDirection(), alignment())) |
                              (wordWrap() ? Qt::TextWordWrap : 0);
            const int grow = fontMetrics().height() / 2 + frameWidth() + margin() + 2;
            m_ink = fontMetrics()
                        .boundingRect(contentsRect().adjusted(indent() > 0 ? indent() : 0, 0, 0, 0), flags, m_inkText)
                        .adjusted(-grow, -grow, grow, grow);
            if (m_ink.isNull())
                m_ink = QRect(0, 0, 1, 1);
        }
        if (m_inkText.isEmpty() || !e->region().intersects(m_ink)) {
            // Nothing of the label is drawn there; the window below shows.
            if (frameShape() == QFrame::NoFrame && !autoFillBackground())
                return;
        }
        QLabel::paintEvent(e);
    }

private:
    QRect m_ink;
    QString m_inkText;
};

} // namespace

QRegion OutlineDirtyRegion(TScanShape shape, const QPoint &press, const QPoint &end, int penWidth)
{
    if (shape == TScanShape::Window)
        return {};
    // Strips along the flattened outline, as wide as the pen reaches plus a
    // pixel for the raster engine's rounding: a large shape repaints its
    // edge, not the inside.
    const int m = penWidth / 2 + 2;
    std::vector<QRegion> parts;
    if (shape == TScanShape::Ellipse) {
        // Within a quadrant the curve only rises or falls, so the box of two
        // points on it holds the arc between them: no flattening needed.
        const QRectF r = QRectF(NormalizedDrag(press, end));
        const QPointF c = r.center();
        const qreal a = r.width() / 2, b = r.height() / 2;
        const int steps = std::max(1, int(std::ceil((a + b) * 0.8 / kEllipsePiece)));
        QPointF prev;
        for (int k = 0; k <= 4 * steps; ++k) {
            const qreal t = k * (M_PI / 2) / steps;
            const QPointF p(c.x() + a * std::cos(t), c.y() + b * std::sin(t));
            if (k > 0)
                parts.emplace_back(QRect(QPoint(int(std::floor(std::min(p.x(), prev.x()))) - m,
                                                int(std::floor(std::min(p.y(), prev.y()))) - m),
                                         QPoint(int(std::ceil(std::max(p.x(), prev.x()))) + m,
                                                int(std::ceil(std::max(p.y(), prev.y()))) + m)));
            prev = p;
        }
        return unite(std::move(parts));
    }
    for (const QPolygonF &poly : ShapeOutline(shape, press, end).toSubpathPolygons()) {
        if (poly.isEmpty())
            continue;
        QPointF from = poly.first();
        // The piece being collected, as its extreme coordinates.
        qreal x0 = from.x(), y0 = from.y(), x1 = x0, y1 = y0;
        const auto flush = [&] {
            parts.emplace_back(QRect(QPoint(int(std::floor(x0)) - m, int(std::floor(y0)) - m),
                                     QPoint(int(std::ceil(x1)) + m, int(std::ceil(y1)) + m)));
        };
        for (qsizetype i = 1; i < poly.size(); ++i) {
            const QPointF to = poly[i];
            const QPointF d = to - from;
            // A slanted segment goes in pieces; a straight one stays whole.
            const int steps = std::abs(d.x()) > kDirtyPiece && std::abs(d.y()) > kDirtyPiece
                                  ? int(std::ceil(std::max(std::abs(d.x()), std::abs(d.y())) / kDirtyPiece))
                                  : 1;
            QPointF last = from;
            for (int k = 1; k <= steps; ++k) {
                const QPointF p = from + d * (qreal(k) / steps);
                // A piece grown wide and high at once is closed before p and
                // the next one starts where it ended.
                if (std::max(x1, p.x()) - std::min(x0, p.x()) > kDirtyPiece &&
                    std::max(y1, p.y()) - std::min(y0, p.y()) > kDirtyPiece / 4) {
                    flush();
                    x0 = x1 = last.x();
                    y0 = y1 = last.y();
                }
                x0 = std::min(x0, p.x());
                y0 = std::min(y0, p.y());
                x1 = std::max(x1, p.x());
                y1 = std::max(y1, p.y());
                last = p;
            }
            from = to;
        }
        flush();
    }
    return unite(std::move(parts));
}

QRect TestHintRect(const QPoint &anchor, const QSize &textSize)
{
    return QRect(anchor.x() + 7, anchor.y() - 22, textSize.width() + 8, textSize.height());
}

std::function<void(const QString &)> &TScanBTestBMForm::PlaySound()
{
    static std::function<void(const QString &)> play = [](const QString &file) { PlaySoundFile(file); };
    return play;
}

TScanBTestBMForm::TScanBTestBMForm(QWidget *owner)
    : TBaseModalForm(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("ScanBTestBMForm"));
    setWindowTitle(QStringLiteral("Aktuell eingestellte Scan-Einstellungen testen"));
    setToolTip(QStringLiteral("Test-Scan..."));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    // The paint handler fills what it repaints itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(640, 440);

    auto *v = new QVBoxLayout(this);
    const auto label = [&](QLabel *&l, const char *name, const QString &caption) {
        l = new TInkLabel(caption, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        l->setWordWrap(true);
        v->addWidget(l);
    };
    label(HintLabel, "HintLabel", QStringLiteral("Ziehen Sie bitte hier einen Testbereich auf..."));
    label(KeybHintLabel, "KeybHintLabel", QStringLiteral("Zum testen können Sie Maus oder Tastatur verwenden..."));
    label(KeybLabel1, "KeybLabel1", QString());
    label(KeybLabel2, "KeybLabel2", QString());
    label(KeybLabel3, "KeybLabel3", QString());
    v->addStretch();
    FormCreate();
}

TScanBTestBMForm::~TScanBTestBMForm()
{
    freeLoupe();
    delete FCoordHint;
}

void TScanBTestBMForm::FormCreate()
{
    KeybLabel1->hide();
    KeybLabel2->hide();
    KeybLabel3->hide();
    // The real screen: a height guessed from the width would put the loupe
    // off a wide screen.
    const QScreen *s = QGuiApplication::primaryScreen();
    const QSize screen = s ? s->virtualGeometry().size() : QSize(1024, 768);
    FScreenWidth = screen.width();
    FScreenHeight = screen.height();
}

void TScanBTestBMForm::SetTestSettings(const TScanTestSettings &settings)
{
    m_settings = settings;
    m_settings.loupeFactor = ClampLoupeFactor(settings.loupeFactor);
}

QString TScanBTestBMForm::text(const char *key, const QString &fallback) const
{
    return FormText(const_cast<TScanBTestBMForm *>(this), QString::fromLatin1(key), fallback);
}

bool TScanBTestBMForm::HintWanted() const
{
    const auto *settings = qobject_cast<const TOptionDlgBMForm *>(parent());
    return settings && settings->CoordHintCheckBox->isChecked();
}

void TScanBTestBMForm::showEvent(QShowEvent *event)
{
    TBaseModalForm::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TScanBTestBMForm::FormShow()
{
    const QString hint = text("Set_Hint_output_in_MainForm", toolTip());
    setToolTip(hint);
    setStatusTip(hint);
    HintLabel->show();
    FCrossX = FCrossY = -2;
    FLastHint.Reset(QPoint(0, 0));
    if (!FCoordHint)
        FCoordHint = new TCoordHint(this);
}

void TScanBTestBMForm::changeEvent(QEvent *event)
{
    TBaseModalForm::changeEvent(event);
    // Only closing ends the test: minimising or maximising is put back.
    if (event->type() == QEvent::WindowStateChange &&
        (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        QTimer::singleShot(0, this, [this] { setWindowState(Qt::WindowNoState); });
}

QRegion TScanBTestBMForm::shapeRegion() const
{
    if (!m_dragging)
        return {};
    return OutlineDirtyRegion(shape(), QPoint(FX1, FY1), QPoint(FX2, FY2), penWidth());
}

QRegion TScanBTestBMForm::crossRegion() const
{
    if (!m_dragging || !m_settings.cross || FCrossX < 0 || FCrossY < 0)
        return {};
    return QRegion(CrossVerticalBounds(FCrossX, size(), penWidth())) +
           QRegion(CrossHorizontalBounds(FCrossY, size(), penWidth()));
}

void TScanBTestBMForm::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    PaintClient(p, event->region());
}

namespace {

// What a not-xor pen of colour src leaves on the window's plain background.
QColor notXorOn(const QColor &src, const QColor &background)
{
    return QColor(~(src.red() ^ background.red()) & 0xFF, ~(src.green() ^ background.green()) & 0xFF,
                  ~(src.blue() ^ background.blue()) & 0xFF);
}

} // namespace

void TScanBTestBMForm::prepareCross(const QColor &background) const
{
    const int w = penWidth();
    if (m_crossV.height() == height() && m_crossH.width() == width() && m_crossPen == w &&
        m_crossSolid == m_settings.solid && m_crossBackground == background)
        return;
    m_crossPen = w;
    m_crossSolid = m_settings.solid;
    m_crossBackground = background;
    const QRect v = CrossVerticalBounds(0, size(), w);
    const QRect h = CrossHorizontalBounds(0, size(), w);
    // Each line runs where it would in the window, shifted by a whole number
    // of pixels, so its pixels come out as drawing it in place makes them.
    // The vertical strip carries the background and is copied as it is; the
    // horizontal one is transparent beside its line, which lies over the
    // vertical one where they cross.
    const QPen pen(notXorOn(QColor(0x80, 0x80, 0x80), background), w, RubberPenStyle(m_settings.solid),
                   Qt::FlatCap);
    const auto draw = [&](QImage &img, const QSize &size, QImage::Format format, const QColor &fill,
                          const QLine &line) {
        img = QImage(size, format);
        img.fill(fill);
        QPainter q(&img);
        q.setRenderHint(QPainter::Antialiasing, false);
        q.setPen(pen);
        q.drawLine(line);
    };
    draw(m_crossV, v.size(), QImage::Format_RGB32, background, QLine(-v.left(), 0, -v.left(), height()));
    draw(m_crossH, h.size(), QImage::Format_ARGB32_Premultiplied, Qt::transparent,
         QLine(0, -h.top(), width(), -h.top()));
}

void TScanBTestBMForm::PaintClient(QPainter &p, const QRegion &area) const
{
    const QColor background = palette().color(QPalette::Window);
    const bool cross = m_dragging && m_settings.cross && FCrossX >= 0 && FCrossY >= 0;
    // The crosshair's strips run through every band of the marked region:
    // the parts of them it holds are painted apart, each in one piece.
    QRect strips[2];
    QRegion pieces[2];
    if (cross) {
        prepareCross(background);
        strips[0] = CrossVerticalBounds(FCrossX, size(), penWidth());
        strips[1] = CrossHorizontalBounds(FCrossY, size(), penWidth());
        pieces[0] = area.intersected(strips[0]);
        pieces[1] = area.intersected(strips[1]);
    }
    const auto withinStrip = [&](const QRect &r) {
        for (const QRegion &piece : pieces)
            for (const QRect &q : piece)
                if (q.contains(r))
                    return true;
        return false;
    };
    // Only the strips a move marked are filled again. With the crosshair the
    // region spans the whole window, and the raster engine would first lay
    // out every row of it to clip a fill: each rectangle is filled under a
    // clip to just itself instead.
    for (const QRect &r : area) {
        if (withinStrip(r))
            continue;
        if (cross)
            p.setClipRect(r);
        p.fillRect(r, background);
    }
    // The lines look as a not-xor pen makes them on the plain background, but
    // are drawn opaque: drawn again over pixels that already show them they
    // change nothing. The crosshair is copied from its strips where the
    // marked region meets them, rather than drawn along the whole window.
    for (int i = 0; i < 2; ++i) {
        const QImage &img = i ? m_crossH : m_crossV;
        for (const QRect &q : pieces[i]) {
            // A copy under anything but one rectangle takes the slow path.
            p.setClipRect(q);
            if (img.hasAlphaChannel())
                p.fillRect(q, background);
            p.drawImage(q, img, q.translated(-strips[i].topLeft()));
        }
    }
    p.setClipping(false);
    if (!m_dragging)
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(notXorOn(Qt::black, background), penWidth(), RubberPenStyle(m_settings.solid), Qt::SquareCap,
                  Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    // The raster engine draws a plain ellipse much faster than its path.
    if (shape() == TScanShape::Ellipse)
        p.drawEllipse(NormalizedDrag(QPoint(FX1, FY1), QPoint(FX2, FY2)));
    else
        p.drawPath(ShapeOutline(shape(), QPoint(FX1, FY1), QPoint(FX2, FY2)));
    p.restore();
}

void TScanBTestBMForm::FormMouseDown(Qt::MouseButton button, const QPoint &pos)
{
    m_pressed = true;
    HintLabel->setText(text("Set_New_HintLabel_Caption", QStringLiteral("Loslassen beendet den Test.")));
    KeybLabel1->setText(text("Set_New_HintLabel1_Caption",
                             QStringLiteral("Umschalt gedrückt halten: Bereich mit der Tastatur aufziehen.")));
    KeybLabel2->setText(text("Set_New_HintLabel2_Caption",
                             QStringLiteral("Pfeiltasten: 1 Pixel weiter, mit Strg: 15 Pixel.")));
    KeybLabel3->setText(text("Set_New_HintLabel3_Caption", QStringLiteral("Umschalt loslassen: Test beenden.")));
    for (QLabel *l : {KeybLabel1, KeybLabel2, KeybLabel3})
        l->show();
    setCursor(Qt::CrossCursor);
    if (button != Qt::LeftButton || shape() == TScanShape::Window)
        return;
    FX1 = FX2 = pos.x();
    FY1 = FY2 = pos.y();
    FApexX = pos.x();
    FTriangle = {pos, pos, pos};
    m_dragging = true;
    m_shapeRegion = shapeRegion();
    m_lastDirty = m_shapeRegion;
    update(m_lastDirty);
    if (m_settings.loupe) {
        freeLoupe();
        PrevKoordForm = new TPrevKoordForm(this);
        TXPLook::ApplyToForm(PrevKoordForm, TXPLook::FormActive(this));
        placeMagnifier(pos);
        PrevKoordForm->show();
        updateLoupe(pos);
    }
}

void TScanBTestBMForm::FormMouseMove(const QPoint &pos, bool leftHeld)
{
    if (FCoordHint) {
        if (!HintWanted())
            FCoordHint->hide();
        else if (FLastHint.Moved(pos)) {
            const QString t = CoordHintText(pos.x(), pos.y());
            const QPoint anchor = mapToGlobal(QPoint(pos.x(), pos.y() + TCoordHint::SystemCursorHeight()));
            FCoordHint->ActivateHint(TestHintRect(anchor, FCoordHint->TextSize(t)), t);
        }
    }
    if (!m_dragging || !(leftHeld || FKeyDrag))
        return;
    const QRegion oldCross = crossRegion();
    const QRegion oldShape = m_shapeRegion;
    FX2 = pos.x();
    FY2 = pos.y();
    FCrossX = pos.x();
    FCrossY = pos.y();
    FTriangle = DragTriangle(QPoint(FX1, FY1), QPoint(FX2, FY2));
    FApexX = FTriangle[2].x();
    m_shapeRegion = shapeRegion();
    const QRegion dirty = unite({oldCross, oldShape, crossRegion(), m_shapeRegion});
    m_lastDirty = dirty;
    update(dirty);
    if (PrevKoordForm)
        updateLoupe(pos);
}

void TScanBTestBMForm::FormMouseUp(Qt::MouseButton, const QPoint &)
{
    if (!m_pressed)
        return;
    m_pressed = false;
    m_dragging = false;
    for (QLabel *l : {KeybLabel1, KeybLabel2, KeybLabel3})
        l->hide();
    freeLoupe();
    if (FCoordHint)
        FCoordHint->hide();
    if (m_settings.sound) {
        PlaySound()(CaptureSoundFile);
        // The settings dialog's own choice counts again afterwards.
        if (auto *settings = qobject_cast<TOptionDlgBMForm *>(parent()))
            SelectSoundFile(settings->SndFleComboBox->currentIndex());
    }
    close();
}

QPoint TScanBTestBMForm::cursorPosition() const
{
    return mapFromGlobal(QCursor::pos());
}

void TScanBTestBMForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const QPoint cursor = cursorPosition();
    const TScanKeyAction action = ScanKeyDown(key, modifiers & ~Qt::KeypadModifier, shape(), FKeyDrag);
    switch (action.kind) {
    case TScanKeyAction::None:
    case TScanKeyAction::WindowCapture: // a test captures no window
        break;
    case TScanKeyAction::StartKeyDrag:
        FormMouseDown(Qt::LeftButton, cursor);
        FKeyDrag = true;
        raise();
        activateWindow();
        break;
    case TScanKeyAction::MoveCursor:
        QCursor::setPos(mapToGlobal(cursor + action.delta));
        break;
    case TScanKeyAction::KeyDragMove:
        QCursor::setPos(mapToGlobal(cursor + action.delta));
        if (FKeyDrag)
            FormMouseMove(cursor + action.delta, true);
        break;
    }
}

void TScanBTestBMForm::FormKeyUp(int key)
{
    if (!ScanKeyUpReleases(key, FKeyDrag))
        return;
    FKeyDrag = false;
    FormMouseUp(Qt::LeftButton, cursorPosition());
}

void TScanBTestBMForm::mousePressEvent(QMouseEvent *event)
{
    FormMouseDown(event->button(), event->position().toPoint());
}

void TScanBTestBMForm::mouseMoveEvent(QMouseEvent *event)
{
    FormMouseMove(event->position().toPoint(), event->buttons() & Qt::LeftButton);
}

void TScanBTestBMForm::mouseReleaseEvent(QMouseEvent *event)
{
    FormMouseUp(event->button(), event->position().toPoint());
}

void TScanBTestBMForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        TBaseModalForm::keyPressEvent(event);
        return;
    }
    FormKeyDown(event->key(), event->modifiers());
}

void TScanBTestBMForm::keyReleaseEvent(QKeyEvent *event)
{
    if (!event->isAutoRepeat())
        FormKeyUp(event->key());
}

void TScanBTestBMForm::updateLoupe(const QPoint &cursor)
{
    if (!PrevKoordForm)
        return;
    const QRect source = LoupeSourceRect(cursor, m_settings.loupeFactor);
    // What the window shows there, rubber band included; white off the window.
    QImage square(source.size(), QImage::Format_RGB32);
    square.fill(Qt::white);
    const QRect inside = source.intersected(rect());
    if (!inside.isEmpty())
        render(&square, inside.topLeft() - source.topLeft(), QRegion(inside), RenderFlags(DrawWindowBackground | DrawChildren));
    PrevKoordForm->ShowMagnified(square);
    PrevKoordForm->SetValues(cursor.x(), cursor.y(), std::abs(FX2 - FX1), std::abs(FY2 - FY1));
    if (PrevKoordForm->frameGeometry().contains(mapToGlobal(cursor)))
        placeMagnifier(cursor);
}

void TScanBTestBMForm::placeMagnifier(const QPoint &cursor)
{
    if (!PrevKoordForm)
        return;
    // The loupe is a screen window: it goes to the quarter of the screen
    // opposite the cursor's place on the screen.
    PrevKoordForm->move(
        zk::PlaceMagnifier(mapToGlobal(cursor), QSize(FScreenWidth, FScreenHeight), PrevKoordForm->pos()));
}

void TScanBTestBMForm::freeLoupe()
{
    delete PrevKoordForm;
}

void InstallScanTestDialog(TOptionSubDialogs &hooks)
{
    hooks.ScanTest = [](QWidget *owner, int style, int strength, int tool, bool cross, bool loupe, int factor,
                        bool sound) {
        TScanBTestBMForm form(owner);
        if (auto *settings = qobject_cast<TOptionDlgBMForm *>(owner))
            form.SetLanguage(settings->OptionMultiLanguage->Script(), settings->LanguageIndex);
        TXPLook::ApplyToForm(&form, TXPLook::FormActive(owner));
        TScanTestSettings s;
        s.solid = style == 1;
        s.strength = strength;
        s.shape = tool;
        s.cross = cross;
        s.loupe = loupe;
        s.loupeFactor = factor;
        s.sound = sound;
        form.SetTestSettings(s);
        // The settings dialog is still open afterwards: its name comes back.
        const QString opened = OpenDialogName;
        OpenDialogName = QStringLiteral("Aktuell eingestellte Scan-Einstellungen testen");
        form.exec();
        OpenDialogName = opened;
    };
}

} // namespace zk
