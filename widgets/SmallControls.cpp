#include "SmallControls.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>

#include <utility>

namespace zk {

// --- TAlignEdit -----------------------------------------------------------

void TAlignEdit::SetAlignment(TAlign a)
{
    m_align = a;
    Qt::Alignment h = Qt::AlignLeft;
    if (a == eaCenter)
        h = Qt::AlignHCenter;
    else if (a == eaRight)
        h = Qt::AlignRight;
    setAlignment(h | Qt::AlignVCenter);
}

// --- TColComboBox ---------------------------------------------------------

TColor ColComboColor(const QString &name)
{
    static const struct {
        const char *name;
        TColor color;
    } table[] = {
        {"Grau", clBtnFace},      {"Dunkelgrau", 0x00808080}, {"Schwarz", 0x00000000},
        {"Weiß", 0x00FFFFFF},     {"Gelb", 0x0000FFFF},       {"Hellgelb", clInfoBk},
        {"Blau", 0x00FF0000},     {"Olive", 0x00008080},      {"Grün", 0x00008000},
        {"Rot", 0x000000FF},
    };
    for (const auto &row : table)
        if (name == QString::fromUtf8(row.name))
            return row.color;
    return 0x00808000;
}

const QStringList &ColComboNames()
{
    static const QStringList names = {
        QStringLiteral("Grau"),       QStringLiteral("Dunkelgrau"), QStringLiteral("Schwarz"),
        QString::fromUtf8("Weiß"),    QStringLiteral("Gelb"),       QStringLiteral("Hellgelb"),
        QStringLiteral("Blau"),       QStringLiteral("Wasserblau"), QStringLiteral("Olive"),
        QString::fromUtf8("Grün"),    QStringLiteral("Rot"),        QStringLiteral("Maroon")};
    return names;
}

namespace {
constexpr int kColorNameRole = Qt::UserRole + 1;

class ColComboDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QRect r = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette &pal = option.palette;
        p->save();
        p->fillRect(r, selected ? pal.highlight() : pal.base());
        const QRect swatch(r.left(), r.top(), r.height(), r.height());
        p->fillRect(swatch, pal.base());
        QString name = index.data(kColorNameRole).toString();
        if (name.isEmpty())
            name = index.data(Qt::DisplayRole).toString();
        p->setPen(pal.color(QPalette::Text));
        p->setBrush(TColorToQColor(ColComboColor(name)));
        p->drawRect(swatch.adjusted(2, 2, -3, -3));
        p->setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect textRect(swatch.right() + 1, r.top(), r.right() - swatch.right(), r.height());
        p->setClipRect(textRect);
        p->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
        p->restore();
    }
};
} // namespace

TColComboBox::TColComboBox(QWidget *parent) : QComboBox(parent)
{
    setItemDelegate(new ColComboDelegate(this));
}

void TColComboBox::AddColorItem(const QString &text, const QString &germanName)
{
    addItem(text);
    setItemData(count() - 1, germanName.isEmpty() ? text : germanName, kColorNameRole);
}

void TColComboBox::SetItemTexts(const QStringList &texts)
{
    for (int i = 0; i < count() && i < texts.size(); ++i) {
        if (itemData(i, kColorNameRole).toString().isEmpty())
            setItemData(i, itemText(i), kColorNameRole);
        setItemText(i, texts[i]);
    }
}

TColor TColComboBox::ItemColor(int index) const
{
    QString name = itemData(index, kColorNameRole).toString();
    if (name.isEmpty())
        name = itemText(index);
    return ColComboColor(name);
}

// --- TContrStatusBar ------------------------------------------------------

int StatusPanelAt(const std::vector<int> &widths, int x)
{
    int left = 0;
    for (size_t i = 0; i < widths.size(); ++i) {
        if (x >= left && x < left + widths[i])
            return static_cast<int>(i);
        left += widths[i];
    }
    return -1;
}

TContrStatusBar::TContrStatusBar(QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    // paintEvent fills every pixel it is asked for: the window need not
    // paint its background under the bar first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TContrStatusBar::SetSimplePanel(bool on)
{
    m_simple = on;
    update();
}

void TContrStatusBar::SetSimpleText(const QString &t)
{
    m_simpleText = t;
    if (m_simple)
        update();
}

void TContrStatusBar::SetPanelText(int index, const QString &t)
{
    if (index < 0 || index >= static_cast<int>(Panels.size()))
        return;
    DropWaiting(index);
    if (Panels[index].Text == t)
        return;
    const int before = FittedWidth(index);
    const QString old = std::exchange(Panels[index].Text, t);
    if (m_simple)
        return;
    // A panel that grew or shrank with its text moves the ones after it.
    if (FittedWidth(index) != before)
        update();
    else
        update(ChangedPart(index, old, t));
}

void TContrStatusBar::SetPanelTextNextFrame(int index, const QString &t)
{
    if (index < 0 || index >= static_cast<int>(Panels.size()))
        return;
    if (!IsWaiting(index) && Panels[index].Text == t)
        return;
    SetPanelTextNextFrame(index, [t] { return t; });
}

void TContrStatusBar::SetPanelTextNextFrame(int index, std::function<QString()> make)
{
    if (index < 0 || index >= static_cast<int>(Panels.size()))
        return;
    if (!make)
        return;
    // One slot a panel: a move replaces the waiting text without allocating.
    if (m_waiting.size() <= size_t(index))
        m_waiting.resize(Panels.size());
    if (!m_waiting[size_t(index)])
        ++m_waitingCount;
    m_waiting[size_t(index)] = std::move(make);
    if (!m_frameTimer) {
        // One frame of a 60 Hz display: the eye sees no later text, and the
        // pointer's other work is not held up by one repaint per move.
        m_frameTimer = new QTimer(this);
        m_frameTimer->setSingleShot(true);
        m_frameTimer->setTimerType(Qt::PreciseTimer);
        m_frameTimer->setInterval(16);
        connect(m_frameTimer, &QTimer::timeout, this, &TContrStatusBar::ShowWaitingTexts);
    }
    if (!m_frameTimer->isActive())
        m_frameTimer->start();
}

void TContrStatusBar::ShowWaitingTexts()
{
    if (m_frameTimer)
        m_frameTimer->stop();
    for (size_t i = 0; i < m_waiting.size() && m_waitingCount > 0; ++i) {
        if (!m_waiting[i])
            continue;
        const std::function<QString()> make = std::exchange(m_waiting[i], nullptr);
        --m_waitingCount;
        SetPanelText(int(i), make());
    }
}

bool TContrStatusBar::IsWaiting(int index) const
{
    return size_t(index) < m_waiting.size() && m_waiting[size_t(index)];
}

void TContrStatusBar::DropWaiting(int index)
{
    if (!IsWaiting(index))
        return;
    m_waiting[size_t(index)] = nullptr;
    --m_waitingCount;
}

void TContrStatusBar::SetQuickText(bool on)
{
    m_quickOn = on;
    update();
}

const TQuickText *TContrStatusBar::Quick() const
{
    if (!m_quickOn || layoutDirection() != Qt::LeftToRight)
        return nullptr;
    if (!m_quick)
        m_quick = std::make_unique<TQuickText>(font(), this);
    return m_quick->Usable() ? m_quick.get() : nullptr;
}

namespace {
constexpr int kPanelTextInset = 2; // blank on either side of a panel's text
} // namespace

QRect TContrStatusBar::ChangedPart(int index, const QString &before, const QString &after) const
{
    const QRect panel = PanelRect(index);
    const TStatusPanel &p = Panels[size_t(index)];
    const int flags = int(p.Alignment | Qt::AlignVCenter);
    // Before the tables are made (by the first paint of a text they can
    // draw) the whole panel is painted anyway.
    const TQuickText *quick = p.OwnerDraw || !m_quick ? nullptr : Quick();
    if (!quick || !TQuickText::Handles(flags) || !quick->Covers(before) || !quick->Covers(after))
        return panel;
    // One rectangle around the changed columns: Qt blends glyphs through a
    // clip of several rectangles far more slowly than it draws the few
    // unchanged glyphs between them again.
    return quick->ChangedBounds(panel.adjusted(kPanelTextInset, 0, -kPanelTextInset, 0), flags, before, after)
        .intersected(panel);
}

QString TContrStatusBar::PanelText(int index) const
{
    if (index < 0 || index >= static_cast<int>(Panels.size()))
        return {};
    return Panels[index].Text;
}

int TContrStatusBar::FittedWidth(int index) const
{
    const TStatusPanel &panel = Panels[size_t(index)];
    int w = qMax(0, panel.Width);
    // The given widths were measured for a small font and the German texts:
    // a panel is never narrower than its text in this font and language.
    if (!panel.OwnerDraw && index != StretchPanel && !panel.Text.isEmpty())
        w = qMax(w, TextWidth(panel.Text) + 2 * kPanelTextInset + 2);
    return w;
}

int TContrStatusBar::TextWidth(const QString &text) const
{
    // The tables measure as the font does, only faster: a width asked for
    // before they are made (by the first paint of a text they can draw)
    // comes from the font, so a window's start does not wait for them.
    if (const TQuickText *quick = m_quick ? Quick() : nullptr; quick && quick->Covers(text))
        return quick->Width(text);
    const auto known = m_textWidths.constFind(text);
    if (known != m_textWidths.cend())
        return *known;
    // The position panel brings a new text at nearly every pointer move.
    if (m_textWidths.size() >= 512)
        m_textWidths.clear();
    const int w = fontMetrics().horizontalAdvance(text);
    m_textWidths.insert(text, w);
    return w;
}

void TContrStatusBar::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) {
        m_textWidths.clear();
        m_quick.reset();
    }
    QStatusBar::changeEvent(e);
}

std::vector<int> TContrStatusBar::PanelWidths() const
{
    std::vector<int> w;
    int fixed = 0;
    for (size_t i = 0; i < Panels.size(); ++i) {
        w.push_back(FittedWidth(int(i)));
        if (static_cast<int>(i) != StretchPanel)
            fixed += w.back();
    }
    // A narrow bar leaves the stretching panel at 0: a negative width would
    // shift every click one panel off.
    if (StretchPanel >= 0 && StretchPanel < static_cast<int>(w.size()))
        w[StretchPanel] = qMax(0, width() - fixed);
    return w;
}

QRect TContrStatusBar::PanelRect(int index) const
{
    const std::vector<int> w = PanelWidths();
    int left = 0;
    for (int i = 0; i < index && i < static_cast<int>(w.size()); ++i)
        left += w[i];
    if (index < 0 || index >= static_cast<int>(w.size()))
        return {};
    return QRect(left, 0, w[index], height());
}

void TContrStatusBar::paintEvent(QPaintEvent *e)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const QBrush background = palette().window();
    const std::vector<int> w = m_simple ? std::vector<int>() : PanelWidths();
    // The tables are made for the first text they can draw (a position),
    // not for the first paint: the window's first frame does not wait for
    // them, and both ways give the same pixels.
    bool quickAsked = false;
    const TQuickText *quick = nullptr;
    // One rectangle of the region at a time: filling and drawing glyphs
    // through a clip of one rectangle is much cheaper than through a clip of
    // several, and a new pointer position repaints a few narrow columns.
    for (const QRect &part : e->region()) {
        if (m_simple) {
            p.setClipRect(part);
            p.fillRect(rect(), background);
            p.drawText(rect().adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, m_simpleText);
            continue;
        }
        // Each panel sets its own clip below: the blank needs none.
        if (p.hasClipping())
            p.setClipping(false);
        p.fillRect(part & rect(), background);
        int left = 0;
        for (size_t i = 0; i < w.size(); ++i) {
            const QRect r(left, 0, w[i], height());
            left += w[i];
            if (r.width() <= 0 || !part.intersects(r))
                continue;
            if (Panels[i].OwnerDraw && OnDrawPanel) {
                // The owner may leave the painter changed.
                p.save();
                p.setClipRect(part & r);
                OnDrawPanel(p, static_cast<int>(i), r);
                p.restore();
            } else {
                // Drawing a text changes nothing in the painter but the
                // clip, which the next panel sets again: no saved state.
                p.setClipRect(part & r);
                const QRect textRect = r.adjusted(kPanelTextInset, 0, -kPanelTextInset, 0);
                const int flags = int(Panels[i].Alignment | Qt::AlignVCenter);
                if (!quickAsked && TQuickText::Handles(flags) && TQuickText::OfTheFew(Panels[i].Text)) {
                    quickAsked = true;
                    quick = Quick();
                }
                if (quick && TQuickText::Handles(flags) && quick->Covers(Panels[i].Text))
                    quick->Draw(p, textRect, flags, Panels[i].Text, QRegion(part));
                else
                    p.drawText(textRect, flags, Panels[i].Text);
            }
        }
    }
}

void TContrStatusBar::mouseReleaseEvent(QMouseEvent *e)
{
    QStatusBar::mouseReleaseEvent(e);
    if (rect().contains(e->position().toPoint()))
        emit Clicked(e->position().toPoint(), e->button());
}

// --- TScrollBoxEx ---------------------------------------------------------

quint16 ScrollCodeOfAction(int action)
{
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return SB_LINEUP;
    case QAbstractSlider::SliderSingleStepAdd: return SB_LINEDOWN;
    case QAbstractSlider::SliderPageStepSub: return SB_PAGEUP;
    case QAbstractSlider::SliderPageStepAdd: return SB_PAGEDOWN;
    case QAbstractSlider::SliderMove: return SB_THUMBTRACK;
    case QAbstractSlider::SliderToMinimum: return SB_TOP;
    case QAbstractSlider::SliderToMaximum: return SB_BOTTOM;
    default: return SB_ENDSCROLL;
    }
}

TScrollBoxEx::TScrollBoxEx(QWidget *parent) : QScrollArea(parent)
{
    hookBar(horizontalScrollBar(), true);
    hookBar(verticalScrollBar(), false);
    SetSmoothScrolling(true);
}

void TScrollBoxEx::hookBar(QScrollBar *bar, bool horz)
{
    connect(bar, &QAbstractSlider::actionTriggered, this,
            [this, horz](int action) { emit OnScroll(ScrollCodeOfAction(action), horz); });
    connect(bar, &QAbstractSlider::sliderReleased, this,
            [this, horz] { emit OnScroll(SB_THUMBPOSITION, horz); });
    bar->installEventFilter(this);
}

void TScrollBoxEx::SetSmoothScrolling(bool on)
{
    m_smooth = on;
    // Without tracking the picture moves only when the thumb is let go.
    horizontalScrollBar()->setTracking(on);
    verticalScrollBar()->setTracking(on);
}

bool TScrollBoxEx::eventFilter(QObject *o, QEvent *e)
{
    // Every mouse action on a bar ends with an end-of-scroll report.
    if (e->type() == QEvent::MouseButtonRelease) {
        if (o == horizontalScrollBar())
            emit OnScroll(SB_ENDSCROLL, true);
        else if (o == verticalScrollBar())
            emit OnScroll(SB_ENDSCROLL, false);
    }
    return QScrollArea::eventFilter(o, e);
}

quint16 VirtualKeyOf(int qtKey)
{
    // The navigation keys the box hands to its owner, by the code the
    // owner's handlers compare with (the classic virtual-key numbers).
    static constexpr struct
    {
        int qt;
        quint16 vk;
    } kKeys[] = {
        {Qt::Key_Tab, 9},      {Qt::Key_Backtab, 9},  {Qt::Key_Return, 13}, {Qt::Key_Enter, 13},
        {Qt::Key_Escape, 27},  {Qt::Key_PageUp, 33}, {Qt::Key_PageDown, 34}, {Qt::Key_End, 35},
        {Qt::Key_Home, 36},    {Qt::Key_Left, 37},    {Qt::Key_Up, 38},     {Qt::Key_Right, 39},
        {Qt::Key_Down, 40},
    };
    for (const auto &k : kKeys)
        if (k.qt == qtKey)
            return k.vk;
    return 0;
}

bool TScrollBoxEx::event(QEvent *e)
{
    if (e->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(e);
        if (const quint16 vk = VirtualKeyOf(k->key())) {
            bool wanted = false;
            if (OnWantSpecialKey)
                OnWantSpecialKey(vk, wanted);
            if (!wanted) {
                // Not ours: the key goes on to the window (focus moves,
                // shortcuts) instead of scrolling the box.
                e->ignore();
                return false;
            }
        }
    }
    return QScrollArea::event(e);
}

void TScrollBoxEx::keyPressEvent(QKeyEvent *e)
{
    emit OnKeyDown(e->key(), e->modifiers());
    if (!e->text().isEmpty())
        emit OnKeyPress(e->text());
    QScrollArea::keyPressEvent(e);
}

void TScrollBoxEx::keyReleaseEvent(QKeyEvent *e)
{
    emit OnKeyUp(e->key(), e->modifiers());
    QScrollArea::keyReleaseEvent(e);
}

// --- TVertLabel -----------------------------------------------------------

TVertLabel::TVertLabel(QWidget *parent) : QWidget(parent)
{
    QFont f = font();
    f.setFamily(QStringLiteral("Arial"));
    setFont(f);
    fit();
}

void TVertLabel::SetCaption(const QString &t)
{
    m_text = t;
    fit();
    update();
}

QSize TVertLabel::sizeHint() const
{
    const QFontMetrics fm(font());
    return {fm.height() + 2, fm.horizontalAdvance(m_text) + 4};
}

void TVertLabel::fit()
{
    setFixedSize(sizeHint());
}

void TVertLabel::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        fit();
    if (e->type() == QEvent::EnabledChange)
        update();
}

void TVertLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setFont(font());
    const QFontMetrics fm(font());
    // Text runs upwards from its start point; its top edge faces left.
    auto draw = [&](int x, int y, const QColor &c) {
        p.save();
        p.setPen(c);
        p.translate(x, y);
        p.rotate(-90);
        p.drawText(QPoint(0, fm.ascent()), m_text);
        p.restore();
    };
    const int h = height();
    if (isEnabled()) {
        draw(2, h - 2, palette().color(QPalette::WindowText));
    } else {
        draw(2, h - 2, TColorToQColor(clBtnHighlight));
        draw(1, h - 3, TColorToQColor(clBtnShadow));
    }
}

// --- TPathLabel -----------------------------------------------------------

QString ShortenPath(const QString &path, int width, const QFontMetrics &fm)
{
    if (fm.horizontalAdvance(path) <= width)
        return path;
    const QChar sep = path.contains(QLatin1Char('\\')) ? QLatin1Char('\\') : QLatin1Char('/');
    const int root = path.indexOf(sep); // where "\..." goes: after a drive, or at the root
    if (root < 0)
        return path;
    const QString marker = QString(sep) + QStringLiteral("...");
    QString s = path + marker;
    while (fm.horizontalAdvance(s) > width) {
        const int p1 = s.indexOf(sep);
        if (p1 < 0)
            return path;
        s.remove(p1, 1);
        const int p2 = s.indexOf(sep, p1);
        if (p2 == s.size() - 4) {
            // Only the last name is left: that is as short as it gets.
            s.insert(p1, sep);
            break;
        }
        s.remove(p1, p2 - p1);
    }
    s.chop(4);
    s.insert(root, marker);
    return s;
}

TPathLabel::TPathLabel(QWidget *parent) : QLabel(parent)
{
    setFixedHeight(QFontMetrics(font()).boundingRect(QStringLiteral("Aj|")).height());
    setMinimumWidth(0);
}

void TPathLabel::SetCaption(const QString &path)
{
    m_full = path;
    refresh();
}

void TPathLabel::refresh()
{
    setText(ShortenPath(m_full, width(), QFontMetrics(font())));
}

void TPathLabel::resizeEvent(QResizeEvent *e)
{
    QLabel::resizeEvent(e);
    refresh();
}

} // namespace zk
