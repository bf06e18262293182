#include "SvcTrayIcon.h"

#include "BarPopupMenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace zk {

EsvcTrayIcon::EsvcTrayIcon(const QString &message) : std::runtime_error(message.toStdString()) {}

TsvcTrayIcon::TsvcTrayIcon(QWidget *owner) : TsvcCustomTimer(owner), m_owner(owner)
{
    m_tray = new QSystemTrayIcon(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, &TsvcTrayIcon::Activated);
    // The timer runs only while it has a handler; the animation step itself
    // is Timer() below.
    SetCycleIcons(false);
    SetCycleInterval(200);
    SetOnTimer([](TsvcComponent *) {});
    if (owner)
        owner->installEventFilter(this);
}

TsvcTrayIcon::~TsvcTrayIcon()
{
    if (m_owner)
        m_owner->removeEventFilter(this);
    m_tray->hide();
    m_visible = false;
}

bool TsvcTrayIcon::TrayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TsvcTrayIcon::SetHint(const QString &hint)
{
    const QString cut = hint.left(MaxHintLength);
    if (cut == m_hint)
        return;
    m_hint = cut;
    UpdateIcon();
}

void TsvcTrayIcon::SetShowHint(bool on)
{
    if (on == m_showHint)
        return;
    m_showHint = on;
    UpdateIcon();
}

void TsvcTrayIcon::SetIcon(const QIcon &icon)
{
    m_icon = icon;
    UpdateIcon();
}

void TsvcTrayIcon::SetImageList(const QList<QIcon> &images)
{
    m_images = images;
    RefreshFromImageList();
}

void TsvcTrayIcon::SetImageIndex(int index)
{
    m_imageIndex = index;
    RefreshFromImageList();
}

void TsvcTrayIcon::RefreshFromImageList()
{
    if (m_images.isEmpty())
        return;
    m_icon = (m_imageIndex >= 0 && m_imageIndex < m_images.size()) ? m_images.at(m_imageIndex) : QIcon();
    UpdateIcon();
}

void TsvcTrayIcon::SetIconID(int id)
{
    if (id == m_iconId)
        return;
    // The desktop knows the icon by its identifier: take it out under the
    // old one and put it back under the new one.
    const bool wasVisible = m_visible;
    if (wasVisible)
        HideIcon();
    m_iconId = id;
    if (wasVisible)
        ShowIcon();
}

void TsvcTrayIcon::UpdateIcon()
{
    m_tray->setToolTip(m_showHint ? m_hint : QString());
    m_tray->setIcon(m_icon);
}

void TsvcTrayIcon::SetVisible(bool on)
{
    if (on == m_visible)
        return;
    if (on)
        ShowIcon();
    else
        HideIcon();
}

void TsvcTrayIcon::ShowIcon()
{
    try {
        UpdateIcon();
        m_tray->show();
    } catch (...) {
        throw EsvcTrayIcon(QStringLiteral("%1.InsertToTray failed").arg(objectName()));
    }
    m_visible = true;
    if (OnShow)
        OnShow(this);
}

void TsvcTrayIcon::HideIcon()
{
    try {
        m_tray->hide();
    } catch (...) {
        throw EsvcTrayIcon(QStringLiteral("%1.DeleteFromTray failed").arg(objectName()));
    }
    m_visible = false;
    if (OnHide)
        OnHide(this);
    if (MinimizeToTray)
        ShowApplication();
    if (m_owner && !m_owner->isVisible())
        m_owner->show();
}

void TsvcTrayIcon::PopupAtCursor()
{
    if (!m_popupMenu)
        return;
    const QPoint at = QCursor::pos();
    QCoreApplication::processEvents();
    if (auto *bar = qobject_cast<TBarPopupMenu *>(m_popupMenu.data()))
        bar->Popup(at.x(), at.y());
    else
        m_popupMenu->popup(at);
    if (OnPopupMenu)
        OnPopupMenu(this);
}

void TsvcTrayIcon::ShowApplication()
{
    zk::ShowApplication(m_owner);
}

void TsvcTrayIcon::HideApplication()
{
    // Without a tray the window could not be reached again once hidden: it
    // goes to the task bar instead.
    if (!TrayAvailable()) {
        if (m_owner && !m_owner->isMinimized())
            m_owner->showMinimized();
        return;
    }
    zk::HideApplication(m_owner);
}

void TsvcTrayIcon::Minimize()
{
    HideApplication();
    if (TrayAvailable())
        SetVisible(true);
    if (OnMinimize)
        OnMinimize(this);
}

void TsvcTrayIcon::Loaded()
{
    if (MinimizeOnStart)
        Minimize();
    if (m_visible)
        m_tray->show();
}

void TsvcTrayIcon::Timer()
{
    TsvcCustomTimer::Timer();
    if (!m_images.isEmpty())
        SetImageIndex(m_imageIndex >= m_images.size() - 1 ? 0 : m_imageIndex + 1);
    if (OnCycleIcons)
        OnCycleIcons(this);
}

void TsvcTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        ButtonMessage(Qt::LeftButton, true);
        ButtonMessage(Qt::LeftButton, false);
        break;
    case QSystemTrayIcon::DoubleClick:
        if (m_mouseEnabled)
            DblClick();
        break;
    case QSystemTrayIcon::Context:
        ButtonMessage(Qt::RightButton, true);
        ButtonMessage(Qt::RightButton, false);
        break;
    case QSystemTrayIcon::MiddleClick:
        ButtonMessage(Qt::MiddleButton, true);
        ButtonMessage(Qt::MiddleButton, false);
        break;
    default:
        break;
    }
}

void TsvcTrayIcon::ButtonMessage(Qt::MouseButton button, bool down)
{
    if (!m_mouseEnabled)
        return;
    const QPoint at = QCursor::pos();
    const TShiftState shift{ShiftStateNow().keys, button};
    if (down) {
        MouseDown(button, shift, at.x(), at.y());
        if (button == Qt::LeftButton)
            m_leftDown = true;
        return;
    }
    MouseUp(button, shift, at.x(), at.y());
    if (button == Qt::LeftButton) {
        // A release whose press went elsewhere is no click.
        if (m_leftDown)
            Click();
        if (PopupByLeft)
            PopupAtCursor();
        m_leftDown = false;
    } else if (button == Qt::RightButton) {
        PopupAtCursor();
    }
}

void TsvcTrayIcon::MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y)
{
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TsvcTrayIcon::MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y)
{
    if (m_owner && m_owner->isVisible() && !m_owner->isMinimized())
        m_owner->activateWindow();
    if (OnMouseUp)
        OnMouseUp(this, button, shift, x, y);
}

void TsvcTrayIcon::Click()
{
    if (OnClick)
        OnClick(this);
}

void TsvcTrayIcon::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
    if (m_popupMenu && !PopupByLeft) {
        if (QAction *item = m_popupMenu->defaultAction()) {
            item->trigger();
            return;
        }
    }
    if (!m_owner)
        return;
    if (MinimizeToTray && m_owner->isVisible() && !m_owner->isMinimized())
        HideApplication();
    else
        ShowApplication();
}

bool TsvcTrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_owner && event->type() == QEvent::WindowStateChange && MinimizeToTray && TrayAvailable()) {
        const auto *change = static_cast<QWindowStateChangeEvent *>(event);
        if (m_owner->isMinimized() && !(change->oldState() & Qt::WindowMinimized)) {
            // Hidden from within the state change the window manager would
            // keep the minimised state for the next show: undo it first.
            QMetaObject::invokeMethod(this, [this] {
                if (!m_owner || !m_owner->isMinimized())
                    return;
                m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMinimized);
                Minimize();
            }, Qt::QueuedConnection);
        }
    }
    return TsvcCustomTimer::eventFilter(watched, event);
}

} // namespace zk
