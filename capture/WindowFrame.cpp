#include "WindowFrame.h"

#include "ScreenGrab.h"

#include <QPainter>

#include <cstring>

namespace zk {

TFrameStrip::TFrameStrip(const QRect &area, QImage beneath)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                           Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus)
    , m_beneath(std::move(beneath))
{
    setObjectName(QStringLiteral("WindowFrameStrip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    m_inverted = m_beneath.copy();
    m_inverted.invertPixels();
    setGeometry(area);
}

void TFrameStrip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, m_inverted);
}

TWindowFrame::TWindowFrame() = default;

TWindowFrame::~TWindowFrame() = default;

QList<QRect> TWindowFrame::Pieces(const QRect &bounds, bool filled, const QRect &screenRect)
{
    QList<QRect> pieces;
    if (bounds.isEmpty())
        return pieces;
    if (filled) {
        pieces << bounds;
    } else {
        const int w = std::min(kWidth, bounds.width());
        const int h = std::min(kWidth, bounds.height());
        pieces << QRect(bounds.left(), bounds.top(), bounds.width(), h)
               << QRect(bounds.left(), bounds.bottom() - h + 1, bounds.width(), h)
               << QRect(bounds.left(), bounds.top() + h, w, bounds.height() - 2 * h)
               << QRect(bounds.right() - w + 1, bounds.top() + h, w, bounds.height() - 2 * h);
    }
    QList<QRect> cut;
    for (const QRect &r : pieces) {
        const QRect c = r & screenRect;
        if (!c.isEmpty() && !cut.contains(c))
            cut << c;
    }
    return cut;
}

bool TWindowFrame::Show(const QRect &bounds, bool filled)
{
    ScreenGrabber &grabber = ScreenGrabber::instance();
    const QRect screen = grabber.rootRect();
    const QList<QRect> pieces = Pieces(bounds, filled, screen);
    std::vector<std::unique_ptr<TFrameStrip>> next;
    for (const QRect &area : pieces) {
        GrabbedPixels px;
        if (!grabber.grab(area, &px)) {
            Hide();
            return false;
        }
        QImage beneath(area.size(), QImage::Format_RGB32);
        for (int y = 0; y < px.height; ++y) {
            auto *dst = reinterpret_cast<std::uint32_t *>(beneath.scanLine(y));
            std::memcpy(dst, px.row(y), size_t(px.width) * 4);
            for (int x = 0; x < px.width; ++x)
                dst[x] |= 0xFF000000u; // the server leaves the padding byte as it likes
        }
        // Where a piece of the frame shown now covers the area, the grab read
        // our own inverted pixels: what lies beneath is what that piece kept.
        {
            QPainter p(&beneath);
            for (const auto &old : m_strips) {
                const QRect overlap = old->geometry() & area;
                if (!overlap.isEmpty())
                    p.drawImage(overlap.topLeft() - area.topLeft(), old->Beneath(),
                                QRect(overlap.topLeft() - old->geometry().topLeft(), overlap.size()));
            }
        }
        next.push_back(std::make_unique<TFrameStrip>(area, std::move(beneath)));
    }
    for (auto &s : next)
        s->show();
    Hide();
    m_strips = std::move(next);
    m_bounds = bounds;
    return true;
}

void TWindowFrame::Hide()
{
    for (auto &s : m_strips)
        s->hide();
    m_strips.clear();
    m_bounds = QRect();
}

QList<std::uint32_t> TWindowFrame::WindowIds() const
{
    QList<std::uint32_t> ids;
    for (const auto &s : m_strips)
        ids << std::uint32_t(s->winId());
    return ids;
}

} // namespace zk
