#include "QuickText.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zk {

namespace {

const QString &Alphabet()
{
    static const QString chars = QStringLiteral("0123456789 :-XY");
    return chars;
}

// Qt keeps text positions in 1/64 pixel and cuts a real number towards zero.
qint64 Fixed(qreal v)
{
    return qint64(int(v * 64));
}

bool Exact(qreal v, qint64 &fixed)
{
    fixed = qint64(std::llround(v * 64));
    return qreal(fixed) == v * 64;
}

} // namespace

TQuickText::TQuickText(const QFont &font, const QPaintDevice *device)
{
    m_dpiX = device ? device->logicalDpiX() : 0;
    m_dpiY = device ? device->logicalDpiY() : 0;
    m_usable = device && Build(font, device) && SelfCheck(font);
}

bool TQuickText::Handles(int flags)
{
    const int h = flags & Qt::AlignHorizontal_Mask, v = flags & Qt::AlignVertical_Mask;
    return (h == Qt::AlignLeft || h == Qt::AlignHCenter) && v == Qt::AlignVCenter &&
           !(flags & ~(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask));
}

bool TQuickText::Covers(const QString &text) const
{
    return m_usable && OfTheFew(text);
}

bool TQuickText::OfTheFew(const QString &text)
{
    if (text.isEmpty() || text.front() == QLatin1Char(' ') || text.back() == QLatin1Char(' '))
        return false;
    const QString &chars = Alphabet();
    for (const QChar c : text)
        if (!chars.contains(c))
            return false;
    return true;
}

bool TQuickText::Build(const QFont &font, const QPaintDevice *device)
{
    const QString &chars = Alphabet();
    const int n = int(chars.size());
    for (int i = 0; i < n; ++i)
        m_index[chars[i].unicode()] = qint8(i + 1);
    const auto slotOf = [this](QChar c) { return m_index[c.unicode()] - 1; };
    m_glyph = QList<quint32>(n, 0);
    QList<bool> glyphSeen(n, false);
    m_pair = QList<qint64>(n * n, -1);
    m_last = QList<qint64>(n, 0);

    // Every character beside every other, each pair in two different
    // surroundings: "a0a1...aYa" for every a holds (a, b) and (b, a).
    bool first = true;
    for (int a = 0; a < n; ++a) {
        QString probe;
        for (int b = 0; b < n; ++b)
            probe += QString(chars[a]) + chars[b];
        probe += chars[a];

        QTextLayout layout(probe, font, const_cast<QPaintDevice *>(device));
        layout.setCacheEnabled(true);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (!line.isValid())
            return false;
        line.setLineWidth(0x01000000);
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (runs.size() != 1)
            return false; // another font fills in
        const QList<quint32> glyphs = runs[0].glyphIndexes();
        const QList<QPointF> positions = runs[0].positions();
        if (glyphs.size() != probe.size() || positions.size() != probe.size())
            return false; // a ligature, or a glyph dropped
        if (first) {
            m_raw = runs[0].rawFont();
            m_ascent = line.ascent();
            m_height = line.ascent() + line.descent();
            first = false;
        } else if (line.ascent() != m_ascent || line.ascent() + line.descent() != m_height) {
            return false;
        }
        QList<qint64> x(probe.size());
        for (int i = 0; i < probe.size(); ++i) {
            if (positions[i].y() != m_ascent || !Exact(positions[i].x(), x[i]))
                return false;
            const int slot = slotOf(probe[i]);
            if (glyphSeen[slot] && m_glyph[slot] != glyphs[i])
                return false; // the glyph depends on its neighbours
            m_glyph[slot] = glyphs[i];
            glyphSeen[slot] = true;
        }
        for (int i = 0; i + 1 < probe.size(); ++i) {
            qint64 &pair = m_pair[slotOf(probe[i]) * n + slotOf(probe[i + 1])];
            const qint64 advance = x[i + 1] - x[i];
            if (pair >= 0 && pair != advance)
                return false; // more than pair kerning
            pair = advance;
        }
    }
    if (std::find(m_pair.cbegin(), m_pair.cend(), -1) != m_pair.cend())
        return false;
    const QFontMetricsF metrics(font, device);
    for (int a = 0; a < n; ++a)
        if (!Exact(metrics.horizontalAdvance(QString(chars[a])), m_last[a]))
            return false;
    // The glyph's box as the font engine renders it, a pixel more on either
    // side for a position between pixels.
    m_inkLeft = QList<qreal>(n, 1);
    m_inkRight = QList<qreal>(n, 0);
    for (int a = 0; a < n; ++a) {
        const QRectF box = m_raw.boundingRect(m_glyph[a]);
        if (box.isEmpty())
            continue;
        m_inkLeft[a] = std::floor(box.left()) - 1;
        m_inkRight[a] = std::ceil(box.right()) + 1;
    }
    m_usable = true;
    return true;
}

TQuickText::Placed TQuickText::Place(const QString &text) const
{
    const int n = int(Alphabet().size());
    Placed p;
    qint64 x = 0;
    int slot = text.isEmpty() ? 0 : m_index[text[0].unicode()] - 1;
    for (int i = 0; i < text.size(); ++i) {
        p.cells.append(slot);
        p.x.append(x);
        if (i + 1 < text.size()) {
            const int next = m_index[text[i + 1].unicode()] - 1;
            x += m_pair[slot * n + next];
            slot = next;
        } else {
            x += m_last[slot];
        }
    }
    p.advance = x;
    return p;
}

QRect TQuickText::Ink(const Placed &p, int i, qint64 x0, const QRect &rect) const
{
    const int slot = p.cells[i];
    if (m_inkLeft[slot] > m_inkRight[slot])
        return {};
    const qreal origin = qreal(x0 + p.x[i]) / 64;
    const int left = int(std::floor(origin + m_inkLeft[slot])), right = int(std::ceil(origin + m_inkRight[slot]));
    return QRect(left, rect.y(), right - left, rect.height());
}

int TQuickText::Width(const QString &text) const
{
    // Place's sum without keeping every glyph's place: the bar measures its
    // panels at every repaint.
    if (text.isEmpty())
        return 0;
    const int n = int(Alphabet().size());
    const QChar *c = text.constData();
    const qsizetype size = text.size();
    int slot = m_index[c[0].unicode()] - 1;
    qint64 x = 0;
    for (qsizetype i = 1; i < size; ++i) {
        const int next = m_index[c[i].unicode()] - 1;
        x += m_pair[slot * n + next];
        slot = next;
    }
    x += m_last[slot];
    return int((x + 32) >> 6);
}

qint64 TQuickText::OriginX(const QRect &rect, int flags, qint64 advance) const
{
    const QRectF r(rect);
    qreal x = r.x();
    if ((flags & Qt::AlignHorizontal_Mask) == Qt::AlignHCenter)
        x += (r.width() - qreal(advance) / 64) / 2;
    return Fixed(x);
}

qreal TQuickText::Baseline(const QRect &rect) const
{
    const QRectF r(rect);
    return qreal(Fixed(r.y() + (r.height() - m_height) / 2) + qint64(m_ascent * 64)) / 64;
}

void TQuickText::Draw(QPainter &painter, const QRect &rect, int flags, const QString &text,
                      const QRegion &within) const
{
    const Placed p = Place(text);
    const qint64 x0 = OriginX(rect, flags, p.advance);
    const qreal baseline = Baseline(rect);
    // drawText clips to its rectangle when the text's box leaves it.
    const QRectF r(rect);
    const qreal width = qreal(p.advance) / 64;
    const qreal xoff = (flags & Qt::AlignHorizontal_Mask) == Qt::AlignHCenter ? (r.width() - width) / 2 : 0;
    const QRectF bounds(r.x() + xoff, r.y() + (r.height() - m_height) / 2, width, m_height);
    const bool clip = !r.contains(bounds);

    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(p.cells.size());
    positions.reserve(p.cells.size());
    for (int i = 0; i < p.cells.size(); ++i) {
        const QRect ink = Ink(p, i, x0, rect);
        if (ink.isEmpty() || !within.intersects(ink))
            continue;
        glyphs.append(m_glyph[p.cells[i]]);
        positions.append(QPointF(qreal(x0 + p.x[i]) / 64, baseline));
    }
    if (glyphs.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(m_raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    if (clip) {
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
    }
    painter.drawGlyphRun(QPointF(0, 0), run);
    if (clip)
        painter.restore();
}

template <class Add>
bool TQuickText::EachChanged(const QRect &rect, int flags, const QString &before, const QString &after, Add &&add) const
{
    if (!Covers(before) || !Covers(after) || !Handles(flags))
        return false;
    const Placed a = Place(before), b = Place(after);
    const qint64 x0 = OriginX(rect, flags, a.advance);
    if (x0 != OriginX(rect, flags, b.advance))
        return false;
    const int na = int(a.cells.size()), nb = int(b.cells.size());
    const auto addInk = [&](const Placed &p, int i) {
        if (const QRect ink = Ink(p, i, x0, rect); !ink.isEmpty())
            add(ink);
    };
    if (na == nb && a.x == b.x) {
        // Glyphs in the same places: only those that differ.
        for (int i = 0; i < na; ++i)
            if (a.cells[i] != b.cells[i]) {
                addInk(a, i);
                addInk(b, i);
            }
        return true;
    }
    // Everything between the same beginning and the same end.
    int head = 0;
    while (head < na && head < nb && a.cells[head] == b.cells[head] && a.x[head] == b.x[head])
        ++head;
    int tail = 0;
    while (tail < na - head && tail < nb - head && a.cells[na - 1 - tail] == b.cells[nb - 1 - tail] &&
           a.x[na - 1 - tail] == b.x[nb - 1 - tail])
        ++tail;
    for (int i = head; i < na - tail; ++i)
        addInk(a, i);
    for (int i = head; i < nb - tail; ++i)
        addInk(b, i);
    return true;
}

QRegion TQuickText::Changed(const QRect &rect, int flags, const QString &before, const QString &after) const
{
    QRegion dirty;
    if (!EachChanged(rect, flags, before, after, [&dirty](const QRect &ink) { dirty += ink; }))
        return rect;
    return dirty;
}

QRect TQuickText::ChangedBounds(const QRect &rect, int flags, const QString &before, const QString &after) const
{
    // The same columns as Changed, without building a region of them.
    QRect box;
    if (!EachChanged(rect, flags, before, after, [&box](const QRect &ink) { box |= ink; }))
        return rect;
    return box;
}

bool TQuickText::SelfCheck(const QFont &font) const
{
    static const char *const texts[] = {"X: 0   Y: 0", "X: 3840   Y: 2160", "X: -17   Y: 905", "0123456789",
                                        "Y:X-9 8:7", "X: 123456789012345   Y: 678901234567890"};
    const QRect rects[] = {QRect(3, 2, 120, 20), QRect(4, 3, 121, 21), QRect(1, 1, 40, 19)};
    const int alignments[] = {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignHCenter | Qt::AlignVCenter};
    QImage plain(200, 28, QImage::Format_RGB32), quick(200, 28, QImage::Format_RGB32);
    for (QImage *img : {&plain, &quick}) {
        img->setDotsPerMeterX(qRound(m_dpiX / 0.0254));
        img->setDotsPerMeterY(qRound(m_dpiY / 0.0254));
    }
    if (plain.logicalDpiX() != m_dpiX || plain.logicalDpiY() != m_dpiY)
        return false;
    const QFontMetrics metrics(font, &plain);
    for (const char *t : texts) {
        const QString text = QString::fromLatin1(t);
        if (Width(text) != metrics.horizontalAdvance(text))
            return false;
        for (const QRect &r : rects)
            for (const int flags : alignments) {
                plain.fill(Qt::white);
                quick.fill(Qt::white);
                {
                    QPainter p(&plain);
                    p.setFont(font);
                    p.setPen(Qt::black);
                    p.drawText(r, flags, text);
                }
                {
                    QPainter p(&quick);
                    p.setFont(font);
                    p.setPen(Qt::black);
                    Draw(p, r, flags, text, QRegion(quick.rect()));
                }
                if (plain != quick)
                    return false;
            }
    }
    return true;
}

} // namespace zk
