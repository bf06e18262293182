#pragma once
// Small controls the forms share: an edit box with a chosen alignment, a
// colour combo box with swatches, a status bar with owner-drawn panels that
// holds child controls, a scroll box that reports every scroll action, a
// label written from bottom to top and a label that shortens paths.
#include "Colors.h"
#include "QuickText.h"

#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStatusBar>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QFontMetrics;

namespace zk {

// --- TAlignEdit -----------------------------------------------------------
enum TAlign { eaLeft, eaCenter, eaRight };

class TAlignEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TAlignEdit(QWidget *parent = nullptr) : QLineEdit(parent) { SetAlignment(eaLeft); }
    TAlign Alignment() const { return m_align; }
    void SetAlignment(TAlign a);

private:
    TAlign m_align = eaLeft;
};

// --- TColComboBox ---------------------------------------------------------
// Swatch colour of a colour name (exact, case-sensitive); unknown names get
// 0x00808000. The names are the German ones the forms list.
TColor ColComboColor(const QString &germanName);
// The twelve names the colour lists hold, in their order.
const QStringList &ColComboNames();

class TColComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TColComboBox(QWidget *parent = nullptr);
    // Adds an item showing `text` whose swatch follows `germanName` (so a
    // translated list keeps its colours); without a name the text is used.
    void AddColorItem(const QString &text, const QString &germanName = QString());
    // Replaces the shown texts, keeping each item's colour name.
    void SetItemTexts(const QStringList &texts);
    TColor ItemColor(int index) const;
};

// --- TContrStatusBar ------------------------------------------------------
// A status bar of panels (a width each, the last one taking what is left
// when its width is -1), or one simple text line; it keeps child controls
// placed on it. Panels are drawn by the bar, or by the owner's handler.
struct TStatusPanel {
    QString Text;
    int Width = 50;
    bool OwnerDraw = false;
    Qt::Alignment Alignment = Qt::AlignLeft;
};

// Index of the panel whose [left, left + width) holds x, or -1; widths as
// laid out (the first panel may be the stretching one).
int StatusPanelAt(const std::vector<int> &widths, int x);

class TContrStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TContrStatusBar(QWidget *parent = nullptr);

    std::vector<TStatusPanel> Panels;
    // Index of the panel that takes the width the others leave (-1: none).
    int StretchPanel = 0;
    bool SimplePanel() const { return m_simple; }
    void SetSimplePanel(bool on);
    QString SimpleText() const { return m_simpleText; }
    void SetSimpleText(const QString &t);
    // Shows the text at once; a text still waiting for the next frame in
    // that panel is dropped, the newer one wins.
    void SetPanelText(int index, const QString &t);
    // For a text that may change at every pointer move (the position): it
    // is kept and shown with the next display frame, so a burst of moves
    // repaints the panel once a frame, and the newest text is always shown.
    void SetPanelTextNextFrame(int index, const QString &t);
    // The same with the text made only when it is shown: a drag makes far
    // more positions than the bar shows.
    void SetPanelTextNextFrame(int index, std::function<QString()> make);
    // Shows the waiting texts now (what the frame timer does).
    void ShowWaitingTexts();
    bool HasWaitingTexts() const { return m_waitingCount > 0; }
    // The shown text.
    QString PanelText(int index) const;
    // Widths of the panels as they are laid out now.
    std::vector<int> PanelWidths() const;
    // A panel's width: its given width, or its text's when that is wider.
    int FittedWidth(int index) const;
    QRect PanelRect(int index) const;

    // The owner draws an owner-draw panel here.
    std::function<void(QPainter &, int index, const QRect &)> OnDrawPanel;

    // Texts of digits and a few signs (the pointer position) are laid out
    // from tables (TQuickText) and only their changed glyphs repainted;
    // false lays every text out through QPainter::drawText.
    void SetQuickText(bool on);

signals:
    // A click on the bar, with the position in the bar's coordinates.
    void Clicked(QPoint pos, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    int TextWidth(const QString &text) const;
    const TQuickText *Quick() const;
    // What a new text in a panel of unchanged width repaints.
    QRect ChangedPart(int index, const QString &before, const QString &after) const;

    bool m_simple = false;
    QString m_simpleText;
    // Measured text widths in the bar's font: measuring shapes the text, and
    // every layout of the bar measures each panel.
    mutable QHash<QString, int> m_textWidths;
    bool m_quickOn = true;
    mutable std::unique_ptr<TQuickText> m_quick; // made at the first use in this font
    bool IsWaiting(int index) const;
    void DropWaiting(int index);
    std::vector<std::function<QString()>> m_waiting; // by panel: its text for the next frame, or empty
    int m_waitingCount = 0;
    QTimer *m_frameTimer = nullptr;  // made at the first waiting text
};

// --- TScrollBoxEx ---------------------------------------------------------
// Scroll codes as the scroll handlers see them.
enum TScrollCode : quint16 {
    SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3, SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5, SB_TOP = 6, SB_BOTTOM = 7, SB_ENDSCROLL = 8
};
// The scroll code of a slider action (QAbstractSlider::SliderAction).
quint16 ScrollCodeOfAction(int sliderAction);

// The virtual-key code of a navigation key (Left 37, Up 38, Right 39,
// Down 40, Tab 9, ...); 0 for a key the scroll box does not hand on.
quint16 VirtualKeyOf(int qtKey);

class TScrollBoxEx : public QScrollArea {
    Q_OBJECT
public:
    explicit TScrollBoxEx(QWidget *parent = nullptr);

    bool SmoothScrolling() const { return m_smooth; }
    void SetSmoothScrolling(bool on);

    // Asked before an arrow or other navigation key reaches the box, with
    // its virtual-key code; set wanted to take the key (the box then
    // scrolls and reports it).
    std::function<void(quint16 key, bool &wanted)> OnWantSpecialKey;

signals:
    void OnScroll(quint16 code, bool horz);
    void OnKeyDown(int key, Qt::KeyboardModifiers mods);
    void OnKeyPress(QString text);
    void OnKeyUp(int key, Qt::KeyboardModifiers mods);

protected:
    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    void hookBar(QScrollBar *bar, bool horz);
    bool m_smooth = true;
};

// --- TVertLabel -----------------------------------------------------------
class TVertLabel : public QWidget {
    Q_OBJECT
public:
    explicit TVertLabel(QWidget *parent = nullptr);
    QString Caption() const { return m_text; }
    void SetCaption(const QString &t);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void fit();
    QString m_text;
};

// --- TPathLabel -----------------------------------------------------------
// The shortened form of a path that fits `width` pixels under `fm`: whole
// when it fits, else folders after the root are replaced by "\..." (or
// "/..." for '/' paths) until it fits or only the last name is left; a text
// without separators is returned whole.
QString ShortenPath(const QString &path, int width, const QFontMetrics &fm);

class TPathLabel : public QLabel {
    Q_OBJECT
public:
    explicit TPathLabel(QWidget *parent = nullptr);
    QString Caption() const { return m_full; }
    void SetCaption(const QString &path);
    // Kept for the forms that set it; the label keeps the width it is given.
    bool AutoSize = false;

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void refresh();
    QString m_full;
};

} // namespace zk
