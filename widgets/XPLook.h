#pragma once
// The flat "XP" look of a form: a non-visual component that, while active,
// gives the form's menus, tool bars and chosen controls a style of its own
// (flat fills, a highlight with a frame, hover tracking on controls) and
// gives them their own style back when switched off.
//
// On Qt, taking over drawing means styling: the look owns one QProxyStyle
// over the application's style, and hooking a widget means giving it that
// style (setStyle does not pass to children, so every qualifying widget is
// styled on its own). Controls also get a small event filter that tracks
// hover, focus, mouse and space presses and repaints them.
#include "Colors.h"

#include <QFont>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRgb>
#include <QSize>
#include <QStyle>

#include <cstdint>
#include <functional>
#include <utility>

class QFontMetrics;
class QImage;
class QMenu;
class QWidget;

namespace zk {

// Containers whose child controls are hooked, bit by bit.
enum TXPContainer : std::uint16_t {
    xccForm = 1 << 0,
    xccFrame = 1 << 1,
    xccToolbar = 1 << 2,
    xccCoolbar = 1 << 3,
    xccControlbar = 1 << 4,
    xccPanel = 1 << 5,
    xccScrollBox = 1 << 6,
    xccGroupBox = 1 << 7,
    xccTabSheet = 1 << 8,
    xccPageScroller = 1 << 9,
};
constexpr std::uint16_t kAllXPContainers = 0x03FF;

// Kinds of components that are hooked, bit by bit.
enum TXPControl : std::uint16_t {
    xcMainMenu = 1 << 0,
    xcPopupMenu = 1 << 1,
    xcToolbar = 1 << 2,
    xcControlbar = 1 << 3,
    xcCombo = 1 << 4,
    xcEdit = 1 << 5,
    xcMaskEdit = 1 << 6,
    xcMemo = 1 << 7,
    xcRichEdit = 1 << 8,
    xcCheckBox = 1 << 9,
    xcRadioButton = 1 << 10,
    xcButton = 1 << 11,
    xcBitBtn = 1 << 12,
    xcSpeedButton = 1 << 13,
    xcPanel = 1 << 14,
    xcGroupBox = 1 << 15,
};
constexpr std::uint16_t kAllXPControls = 0xFFFF;

// A menu, item, control or container whose "Tag" is this is never hooked.
constexpr int kXPLookSkipTag = 999;

// ---- Colour arithmetic (plain RGB, components 0..255) ----------------------

// Red and blue lose n, green loses n - 2; each clamped to 0..255.
QRgb XPDarken(QRgb c, int n);
// Each component x becomes x + round((255 - x) * p / 100), halves to even;
// p is capped at 100. The depth picks the nearest colour a display of that
// many bits per pixel can show (24 and more: the colour itself).
QRgb XPLighten(QRgb c, int p, int depth = 24);
// v = min((r + g + b) / 3 + n, 240), grey (v, v, v).
QRgb XPGrey(QRgb c, int n);
// Text on background b: lighten(b, 90) on a dark background, else fontColor.
QRgb XPContrastText(QRgb background, QRgb fontColor);

// The colours a paint works with, derived from the look's settings.
struct TXPScheme
{
    QRgb menuBack = 0, iconBack = 0, selectFill = 0, selectFrame = 0, selectText = 0, checkedFill = 0,
         pressedFill = 0, checkedFrame = 0, menuBar = 0, disabledText = 0, separator = 0, shadow1 = 0,
         shadow2 = 0;
    bool highColor = true;
};

// What the scheme is made from: the look's colours and the system colours,
// already turned into RGB, and the display depth (16 bits and more is high
// colour).
struct TXPSchemeInput
{
    QRgb color, iconBackColor, menuBarColor, selectColor, selectBorderColor, selectFontColor, disabledColor,
        separatorColor, checkedColor;
    QRgb btnFace, btnShadow, highlight, fontColor;
    bool useSystemColors = true;
    int depth = 24;
};
TXPScheme XPDeriveScheme(const TXPSchemeInput &in);

// The size of one menu item by the measuring rules.
struct TXPMenuMeasure
{
    QString caption;    // "-" is a separator
    QString shortcut;   // the shortcut's text, may be empty
    QSize image;        // the item's glyph, empty when it has none
    bool onMainMenu = false; // a top-level item of the form's own menu bar
    int iconWidth = 24;
};
// textWidth measures a text in the look's font, textHeight is its height.
QSize XPMeasureMenuItem(const TXPMenuMeasure &item, const std::function<int(const QString &)> &textWidth,
                        int textHeight, QSize given);

// Glyph effects on a copy of an image.
QImage XPFadedGlyph(const QImage &src, int dimLevel, int depth = 24);
QImage XPDisabledGlyph(const QImage &src, int grayLevel, int depth = 24);
QImage XPShadowGlyph(const QImage &src, QRgb color);

// What the look does with a widget, found by the class list; 0 when none.
std::uint16_t XPControlKind(const QWidget *w);
// The container bit of a control's parent, seeing through Qt's in-between
// widgets; 0 when the parent is no container.
std::uint16_t XPContainerKind(const QWidget *parent);
// The name a form's look gets: the form's own for the known forms, else the
// class name without its leading T and its form ending, plus "XPLook".
QString XPLookName(const QWidget *form);

class TXPLook;
class TXPLookStyle;

// The per-control state tracker: hover, focus, mouse and space presses.
// The look that makes one ends it (End), with the control's hooking or its own.
class TControlSubClass : public QObject
{
    Q_OBJECT

public:
    TControlSubClass(QWidget *control, TXPLook *owner);

    QWidget *Control() const { return control_; }
    bool Highlighted = false;
    bool MouseDown = false;
    bool SpaceDown = false;
    bool SpaceSeen = false;
    bool Focused = false;
    // Ends the tracker: at once, or once its own event handling is done
    // when it is in the middle of it.
    void End();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Repaint();

    QPointer<QWidget> control_;
    TXPLook *owner_;
    int busy_ = 0;
    bool ending_ = false;
};

class TXPLook : public QObject
{
    Q_OBJECT

public:
    // The form is the parent; a widget only, the look hooks what it holds.
    explicit TXPLook(QWidget *form);
    ~TXPLook() override;

    // Settings only read at the next paint.
    std::uint8_t DimLevel = 30;
    std::uint8_t GrayLevel = 10;
    TColor Color = clBtnFace;
    TColor IconBackColor = clBtnFace;
    TColor SelectColor = clHighlight;
    TColor SelectBorderColor = clHighlight;
    TColor SelectFontColor = clMenuText;
    TColor DisabledColor = clInactiveCaption;
    TColor SeparatorColor = clBtnFace;
    TColor CheckedColor = clHighlight;
    int IconWidth = 24;
    bool DrawSelect = true;
    bool Gradient = false;
    bool FlatMenu = false;
    bool AutoDetect = false;

    // Settings that act at once.
    bool Active() const { return active_; }
    void SetActive(bool on);
    std::uint16_t XPContainers() const { return containers_; }
    void SetXPContainers(std::uint16_t value);
    std::uint16_t XPControls() const { return controls_; }
    void SetXPControls(std::uint16_t value);
    bool OverrideOwnerDraw() const { return override_; }
    void SetOverrideOwnerDraw(bool on);
    QFont Font() const { return font_; }
    void SetFont(const QFont &f);
    TColor FontColor = clMenuText;
    TColor MenuBarColor() const { return menuBarColor_; }
    void SetMenuBarColor(TColor c);
    bool UseSystemColors() const { return useSystemColors_; }
    void SetUseSystemColors(bool on);

    // The scheme of the next paint (reads the system colours and depth).
    TXPScheme Scheme() const;
    int Depth() const;
    QWidget *Form() const { return form_; }
    // What the look made of a widget while it is hooked (control kinds,
    // xcToolbar/xcControlbar for bars, xcMainMenu/xcPopupMenu for menus).
    std::uint16_t HookedAs(const QWidget *w) const;
    TControlSubClass *SubClassOf(const QWidget *w) const
    {
        TControlSubClass *s = subclasses_.value(w);
        return s && s->Control() ? s : nullptr;
    }
    // The widgets wearing the look now.
    QList<QWidget *> HookedWidgets() const;
    QStyle *Style() const;

    // The look of a form, made on first use under the form's look name.
    static TXPLook *OfForm(QWidget *form);
    // Sets the form's look active as the caller says (the dialogs' openers);
    // the form holds a look from then on, so the opener's look leaves it alone.
    static void ApplyToForm(QWidget *form, bool active);
    // Whether the form has a look and it is on (a form's own dialogs follow it).
    static bool FormActive(const QWidget *form);
    // The style the look's style wraps; by default a fresh copy of the
    // application style's kind. The program sets its own tool-tip style.
    static void SetBaseStyleFactory(std::function<QStyle *()> make);

    // Hooks a menu made or filled at run time (also done before every show).
    void HookMenu(QMenu *menu, std::uint16_t as);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TControlSubClass;
    void Hook();
    void Unhook(bool repaint);
    void HookTree(QWidget *root);
    void HookToolBar(QWidget *bar, std::uint16_t as);
    void HookWidget(QWidget *w, std::uint16_t as);
    void Unstyle(QWidget *w);
    struct THooked;
    void Restore(QWidget *w, const THooked &h);
    void RedrawMenuBar();
    void SubClassEnding(TControlSubClass *s);

    struct THooked
    {
        QPointer<QWidget> widget;
        QPointer<QStyle> ownStyle; // the style the widget had of its own
        std::uint16_t as = 0;
        QMetaObject::Connection showing; // a menu's re-hook before it shows
    };

    QWidget *form_;
    TXPLookStyle *style_ = nullptr;
    QHash<const QWidget *, THooked> hooked_;
    QHash<const QWidget *, TControlSubClass *> subclasses_;
    QFont font_;
    TColor menuBarColor_ = clBtnFace;
    std::uint16_t containers_ = kAllXPContainers;
    std::uint16_t controls_ = kAllXPControls;
    bool useSystemColors_ = true;
    bool override_ = false;
    bool active_ = false;
    bool rehookQueued_ = false;
};

} // namespace zk
