#pragma once
// The program's icon in the desktop's notification area, over
// QSystemTrayIcon: a hint, an icon or a list of icons it can cycle through on
// its timer, a popup menu at the pointer, and the mouse events a tray click
// raises. It also minimises the owner window into the tray.
//
// Qt reports a tray click as one activation, not as button presses and
// releases, so each activation is unfolded into the events a click gives:
// a left click into MouseDown, MouseUp and Click; a right click into
// MouseDown, MouseUp and the popup menu; a middle click into MouseDown and
// MouseUp. Pointer moves over the icon are not reported by the tray, so
// OnMouseMove never fires.
#include "SvcComponents.h"
#include "SvcRoutines.h"

#include <QIcon>
#include <QList>
#include <QPointer>
#include <QSystemTrayIcon>

#include <stdexcept>

class QMenu;
class QWidget;

namespace zk {

// An error while putting the icon into the tray or taking it out; the
// message names the component ("ZKsvcTrayIcon.InsertToTray failed").
class EsvcTrayIcon : public std::runtime_error
{
public:
    explicit EsvcTrayIcon(const QString &message);
};

using TTrayMouseEvent =
    std::function<void(TsvcComponent *Sender, Qt::MouseButton Button, TShiftState Shift, int X, int Y)>;
using TTrayMouseMoveEvent = std::function<void(TsvcComponent *Sender, TShiftState Shift, int X, int Y)>;

class TsvcTrayIcon : public TsvcCustomTimer
{
    Q_OBJECT

public:
    // owner: the window that minimises into the tray and is shown and hidden
    // by it (may be null).
    explicit TsvcTrayIcon(QWidget *owner = nullptr);
    ~TsvcTrayIcon() override;

    static constexpr int MaxHintLength = 63;

    // The animation is the timer: CycleIcons its Enabled, CycleInterval its
    // Interval.
    bool CycleIcons() const { return TsvcCustomTimer::Enabled(); }
    void SetCycleIcons(bool on) { TsvcCustomTimer::SetEnabled(on); }
    std::uint32_t CycleInterval() const { return Interval(); }
    void SetCycleInterval(std::uint32_t ms) { SetInterval(ms); }

    // False: the icon's mouse events are ignored.
    bool Enabled() const { return m_mouseEnabled; }
    void SetEnabled(bool on) { m_mouseEnabled = on; }

    QString Hint() const { return m_hint; }
    void SetHint(const QString &hint);
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool on);
    QIcon Icon() const { return m_icon; }
    void SetIcon(const QIcon &icon);
    QList<QIcon> ImageList() const { return m_images; }
    // An empty list is no list: the icon is then Icon again.
    void SetImageList(const QList<QIcon> &images);
    int ImageIndex() const { return m_imageIndex; }
    // No range check: an index outside the list shows no icon.
    void SetImageIndex(int index);
    int IconID() const { return m_iconId; }
    void SetIconID(int id);

    bool MinimizeToTray = false;
    bool MinimizeOnStart = false;
    bool PopupByLeft = false;
    QMenu *PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu *menu) { m_popupMenu = menu; }

    bool Visible() const { return m_visible; }
    void SetVisible(bool on);
    // Kept for the form's definition; there is no design time here.
    bool VisibleOnDesigning = false;

    // After the owner has set the properties: minimises at once when
    // MinimizeOnStart, then shows the icon when Visible.
    void Loaded();

    TNotifyEvent OnMinimize;
    TTrayMouseMoveEvent OnMouseMove;
    TTrayMouseEvent OnMouseDown;
    TTrayMouseEvent OnMouseUp;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnPopupMenu;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnCycleIcons;

    // Whether the desktop has a tray; without one, minimising and the
    // double-click hide leave the window minimised instead of hidden.
    static bool TrayAvailable();
    // The Qt icon underneath (tests look at its geometry).
    QSystemTrayIcon *SystemTrayIcon() const { return m_tray; }

    virtual void UpdateIcon();
    virtual void ShowIcon();
    virtual void HideIcon();
    virtual void PopupAtCursor();
    virtual void ShowApplication();
    virtual void HideApplication();
    virtual void Minimize();

    // One tray activation as Qt reports it (connected to activated()).
    void Activated(QSystemTrayIcon::ActivationReason reason);
    // One press or release of a button on the icon: a left release clicks
    // only after a left press.
    void ButtonMessage(Qt::MouseButton button, bool down);

protected:
    void Timer() override;
    virtual void MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y);
    virtual void Click();
    virtual void DblClick();
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void RefreshFromImageList();

    QPointer<QWidget> m_owner;
    QSystemTrayIcon *m_tray = nullptr;
    bool m_mouseEnabled = true;
    bool m_leftDown = false;
    QString m_hint;
    bool m_showHint = true;
    QIcon m_icon;
    QList<QIcon> m_images;
    int m_imageIndex = 0;
    int m_iconId = 0;
    QPointer<QMenu> m_popupMenu;
    bool m_visible = false;
};

} // namespace zk
