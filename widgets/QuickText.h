#pragma once
// Single-line texts that change at every pointer move ("X: 120   Y: 48")
// laid out without shaping them again: the glyphs of a few characters
// (digits, space, colon, minus, X, Y) and the advance of every pair of them
// are read once from Qt's own layout of the font, and a text's glyphs and
// positions are then looked up. Measuring and drawing give exactly what
// QFontMetrics::horizontalAdvance and QPainter::drawText give: the tables
// are used only when the font shapes these characters with nothing beyond
// pair kerning, and when drawing sample texts both ways gave the same
// pixels at set-up.
#include <QFont>
#include <QGlyphRun>
#include <array>
#include <QRawFont>
#include <QRect>
#include <QRegion>
#include <QVarLengthArray>
#include <QString>

class QPainter;
class QPaintDevice;

namespace zk {

class TQuickText
{
public:
    // font as the device resolves it (a widget's font() and the widget).
    TQuickText(const QFont &font, const QPaintDevice *device);

    // The tables are good for this font.
    bool Usable() const { return m_usable; }
    // Usable, and every character of text is one of the few; the text
    // neither starts nor ends with a space.
    bool Covers(const QString &text) const;
    // Covers for a font whose tables are usable (answered without them,
    // so a caller can leave them unmade for texts they cannot draw).
    static bool OfTheFew(const QString &text);
    // Alignments Draw takes: left or horizontally centred, vertically centred.
    static bool Handles(int flags);

    // QFontMetrics::horizontalAdvance of a covered text.
    int Width(const QString &text) const;
    // painter.drawText(rect, flags, text) for a covered text and handled
    // flags, inside within: only glyphs whose ink may reach it are drawn
    // (the caller's clip keeps the painting inside it).
    void Draw(QPainter &painter, const QRect &rect, int flags, const QString &text, const QRegion &within) const;
    // The pixels that differ between drawing before and after in rect, as
    // columns of rect's height; rect itself when either text is not covered
    // or the two texts start at different places.
    QRegion Changed(const QRect &rect, int flags, const QString &before, const QString &after) const;
    // Changed's bounding rectangle.
    QRect ChangedBounds(const QRect &rect, int flags, const QString &before, const QString &after) const;

private:
    struct Placed
    {
        QVarLengthArray<int, 48> cells;
        QVarLengthArray<qint64, 48> x; // glyph origins, 1/64 pixel, from the text's start
        qint64 advance = 0; // whole advance, 1/64 pixel
    };
    // Columns (whole pixels) a glyph's ink may touch when drawn at x0 +
    // p.x[i]; empty for a glyph without ink.
    QRect Ink(const Placed &p, int i, qint64 x0, const QRect &rect) const;
    Placed Place(const QString &text) const;
    // Calls add with each changed glyph's ink columns; false when the whole
    // rect changes instead.
    template <class Add>
    bool EachChanged(const QRect &rect, int flags, const QString &before, const QString &after, Add &&add) const;
    // Origin of the first glyph (1/64 pixel) as drawText puts it.
    qint64 OriginX(const QRect &rect, int flags, qint64 advance) const;
    qreal Baseline(const QRect &rect) const;
    bool Build(const QFont &font, const QPaintDevice *device);
    bool SelfCheck(const QFont &font) const;

    bool m_usable = false;
    int m_dpiX = 0, m_dpiY = 0;
    QRawFont m_raw;
    std::array<qint8, 128> m_index{}; // character -> slot + 1 (0: not one of them)
    QList<quint32> m_glyph;    // slot -> glyph
    QList<qint64> m_pair;      // slot * n + next slot -> advance, 1/64 pixel
    QList<qint64> m_last;      // slot -> advance as the last character
    qreal m_ascent = 0, m_height = 0;
    QList<qreal> m_inkLeft, m_inkRight; // slot -> ink from the glyph's origin, pixels (left > right: none)
};

} // namespace zk
