#include "XPLook.h"

#include "BarPopupMenu.h"
#include "XPLookStyle.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace zk {

namespace {

std::function<QStyle *()> &baseFactory()
{
    static std::function<QStyle *()> make;
    return make;
}

bool skipTag(const QObject *o)
{
    return o && o->property("Tag").toInt() == kXPLookSkipTag;
}

// True when w belongs to a form other than root: a dialog or main window
// between them, or a widget holding a look of its own.
bool belongsElsewhere(const QWidget *w, const QWidget *root)
{
    for (const QWidget *p = w; p && p != root; p = p->parentWidget()) {
        if (qobject_cast<const QDialog *>(p) || qobject_cast<const QMainWindow *>(p))
            return true;
        if (p->findChild<TXPLook *>(QString(), Qt::FindDirectChildrenOnly))
            return true;
        if (qobject_cast<const QMenu *>(p))
            return true;
    }
    return false;
}

} // namespace

// ---- TControlSubClass ------------------------------------------------------

TControlSubClass::TControlSubClass(QWidget *control, TXPLook *owner)
    : QObject(owner)
    , control_(control)
    , owner_(owner)
{
    setObjectName(QStringLiteral("TControlSubClass"));
    Highlighted = control->underMouse() && control->isEnabled();
    Focused = control->hasFocus();
    control->installEventFilter(this);
}

void TControlSubClass::Repaint()
{
    if (!control_)
        return;
    Focused = control_->hasFocus();
    control_->update();
}

bool TControlSubClass::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != control_ || !owner_->Active())
        return false;
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::HoverEnter:
        if (control_->isEnabled() && !Highlighted) {
            Highlighted = true;
            Repaint();
        }
        break;
    case QEvent::Leave:
    case QEvent::HoverLeave:
        if (control_->isEnabled() && Highlighted) {
            Highlighted = false;
            Repaint();
        }
        break;
    case QEvent::FocusIn:
        Highlighted = true;
        Repaint();
        break;
    case QEvent::FocusOut:
        Highlighted = control_->underMouse() && control_->isEnabled();
        Repaint();
        break;
    case QEvent::EnabledChange:
        Highlighted = false;
        MouseDown = false;
        Repaint();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            MouseDown = true;
            Repaint();
        }
        break;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            MouseDown = false;
            Repaint();
        }
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
            SpaceDown = true;
            if (!SpaceSeen)
                Repaint();
            SpaceSeen = true;
        }
        break;
    case QEvent::KeyRelease:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space &&
            !static_cast<QKeyEvent *>(event)->isAutoRepeat()) {
            SpaceDown = false;
            SpaceSeen = false;
            Repaint();
        }
        break;
    default:
        break;
    }
    return false;
}

// ---- TXPLook -----------------------------------------------------------------

TXPLook::TXPLook(QWidget *form)
    : QObject(form)
    , form_(form)
    , font_(QApplication::font("QMenu"))
{
    setObjectName(XPLookName(form));
}

TXPLook::~TXPLook()
{
    // Every live widget gets its own style back before the style goes.
    Unhook(false);
    delete style_;
}

void TXPLook::SetBaseStyleFactory(std::function<QStyle *()> make)
{
    baseFactory() = std::move(make);
}

QStyle *TXPLook::Style() const
{
    if (!style_) {
        QStyle *base = baseFactory() ? baseFactory()() : nullptr;
        if (!base)
            base = QStyleFactory::create(QApplication::style()->name());
        auto *self = const_cast<TXPLook *>(this);
        self->style_ = new TXPLookStyle(self, base);
    }
    return style_;
}

int TXPLook::Depth() const
{
    const QScreen *screen = form_ ? form_->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 24;
}

TXPScheme TXPLook::Scheme() const
{
    const auto rgb = [](TColor c) { return TColorToQColor(c).rgb(); };
    TXPSchemeInput in{rgb(Color),
                      rgb(IconBackColor),
                      rgb(menuBarColor_),
                      rgb(SelectColor),
                      rgb(SelectBorderColor),
                      rgb(SelectFontColor),
                      rgb(DisabledColor),
                      rgb(SeparatorColor),
                      rgb(CheckedColor),
                      rgb(clBtnFace),
                      rgb(clBtnShadow),
                      rgb(clHighlight),
                      rgb(FontColor),
                      useSystemColors_,
                      Depth()};
    return XPDeriveScheme(in);
}

std::uint16_t TXPLook::HookedAs(const QWidget *w) const
{
    const auto it = hooked_.constFind(w);
    return it == hooked_.constEnd() ? 0 : it->as;
}

QList<QWidget *> TXPLook::HookedWidgets() const
{
    QList<QWidget *> out;
    for (const THooked &h : hooked_)
        if (h.widget)
            out.append(h.widget);
    return out;
}

void TXPLook::SetActive(bool on)
{
    if (on == active_)
        return;
    active_ = on;
    if (on)
        Hook();
    else
        Unhook(true);
    RedrawMenuBar();
}

void TXPLook::SetXPContainers(std::uint16_t value)
{
    if (value == containers_)
        return;
    if (!active_) {
        containers_ = value;
        return;
    }
    active_ = false;
    Unhook(false);
    containers_ = value;
    active_ = true;
    Hook();
}

void TXPLook::SetXPControls(std::uint16_t value)
{
    if (value == controls_)
        return;
    if (!active_) {
        controls_ = value;
        return;
    }
    active_ = false;
    Unhook(false);
    controls_ = value;
    active_ = true;
    Hook();
}

void TXPLook::SetOverrideOwnerDraw(bool on)
{
    if (on == override_)
        return;
    override_ = on;
    // Widgets with their own painting are taken or given back at once.
    if (active_) {
        active_ = false;
        Unhook(false);
        active_ = true;
        Hook();
    }
}

void TXPLook::SetFont(const QFont &f)
{
    font_ = f;
    RedrawMenuBar();
}

void TXPLook::SetMenuBarColor(TColor c)
{
    menuBarColor_ = c;
    RedrawMenuBar();
}

void TXPLook::SetUseSystemColors(bool on)
{
    useSystemColors_ = on;
    if (on)
        font_ = QApplication::font("QMenu");
    RedrawMenuBar();
}

void TXPLook::RedrawMenuBar()
{
    if (!form_)
        return;
    for (QMenuBar *bar : form_->findChildren<QMenuBar *>())
        bar->update();
}

TXPLook *TXPLook::OfForm(QWidget *form)
{
    if (!form)
        return nullptr;
    if (auto *look = form->findChild<TXPLook *>(QString(), Qt::FindDirectChildrenOnly))
        return look;
    return new TXPLook(form);
}

void TXPLook::ApplyToForm(QWidget *form, bool active)
{
    if (!form)
        return;
    OfForm(form)->SetActive(active);
}

bool TXPLook::FormActive(const QWidget *form)
{
    const auto *look = form ? form->findChild<TXPLook *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    return look && look->Active();
}

// ---- Hooking -----------------------------------------------------------------

void TXPLook::HookWidget(QWidget *w, std::uint16_t as)
{
    if (!w)
        return;
    if (auto it = hooked_.find(w); it != hooked_.end()) {
        it->as |= as;
        return;
    }
    // A widget with a style of its own, or one that paints itself, keeps
    // its painting unless the look is told to take it over.
    const bool ownStyle = w->testAttribute(Qt::WA_SetStyle) && w->style() != style_;
    if ((ownStyle || qobject_cast<TBarPopupMenu *>(w)) && !override_)
        return;
    THooked h;
    h.widget = w;
    if (ownStyle)
        h.ownStyle = w->style();
    h.as = as;
    h.setHover = !w->testAttribute(Qt::WA_Hover);
    hooked_.insert(w, h);
    connect(w, &QObject::destroyed, this, &TXPLook::Forget, Qt::UniqueConnection);
    if (h.setHover)
        w->setAttribute(Qt::WA_Hover, true);
    w->setStyle(Style());
}

void TXPLook::Unstyle(QWidget *w)
{
    auto it = hooked_.find(w);
    if (it == hooked_.end())
        return;
    const THooked h = *it;
    hooked_.erase(it);
    if (TControlSubClass *sub = subclasses_.take(w)) {
        // Ending: no more filtering, deleted once the present event is done.
        w->removeEventFilter(sub);
        sub->deleteLater();
    }
    disconnect(w, &QObject::destroyed, this, &TXPLook::Forget);
    if (h.showing)
        disconnect(h.showing);
    if (w->style() == style_)
        w->setStyle(h.ownStyle.data());
    if (h.setHover)
        w->setAttribute(Qt::WA_Hover, false);
}

void TXPLook::Forget(QObject *o)
{
    auto *w = static_cast<QWidget *>(o);
    hooked_.remove(w);
    if (TControlSubClass *sub = subclasses_.take(w))
        sub->deleteLater();
}

void TXPLook::Hook()
{
    if (!form_)
        return;
    HookTree(form_);
    form_->installEventFilter(this);
}

void TXPLook::Unhook(bool repaint)
{
    if (form_)
        form_->removeEventFilter(this);
    const QList<const QWidget *> keys = hooked_.keys();
    for (const QWidget *key : keys) {
        const QPointer<QWidget> w = hooked_.value(key).widget;
        if (!w) {
            hooked_.remove(key);
            continue;
        }
        w->removeEventFilter(this);
        Unstyle(w);
        if (repaint)
            w->update();
    }
    hooked_.clear();
    for (TControlSubClass *sub : std::as_const(subclasses_))
        sub->deleteLater();
    subclasses_.clear();
}

void TXPLook::HookMenu(QMenu *menu, std::uint16_t as)
{
    if (!menu || !active_ || skipTag(menu) || skipTag(menu->menuAction()))
        return;
    const bool fresh = !hooked_.contains(menu);
    HookWidget(menu, as);
    if (fresh && hooked_.contains(menu)) {
        // Items added at run time are taken in before the menu shows.
        hooked_[menu].showing = connect(menu, &QMenu::aboutToShow, this, [this, m = QPointer<QMenu>(menu), as] {
            if (m && active_)
                for (QAction *a : m->actions())
                    if (a->menu() && !skipTag(a))
                        HookMenu(a->menu(), as);
        });
    }
    for (QAction *a : menu->actions())
        if (a->menu() && !skipTag(a))
            HookMenu(a->menu(), as);
}

void TXPLook::HookToolBar(QWidget *bar, std::uint16_t as)
{
    HookWidget(bar, as);
    if (!hooked_.contains(bar))
        return;
    bar->installEventFilter(this);
    if (!(as & xcToolbar))
        return;
    // The bar's own buttons, its separators and the floating bar's panel
    // of wrapped buttons take the tool-button painter.
    for (QWidget *child : bar->findChildren<QWidget *>()) {
        const bool button = qobject_cast<QToolButton *>(child) != nullptr;
        const bool part = child->inherits("QToolBarSeparator") || child->inherits("zk::TToolBarFlow");
        if (button || part) {
            HookWidget(child, xcToolbar);
            if (part)
                child->installEventFilter(this);
        }
    }
}

void TXPLook::HookTree(QWidget *root)
{
    if (controls_ & xcMainMenu) {
        for (QMenuBar *bar : root->findChildren<QMenuBar *>()) {
            if (skipTag(bar) || belongsElsewhere(bar, root))
                continue;
            HookWidget(bar, xcMainMenu);
            for (QAction *a : bar->actions())
                if (a->menu() && !skipTag(a))
                    HookMenu(a->menu(), xcMainMenu);
        }
    }
    if (controls_ & xcPopupMenu) {
        for (QMenu *menu : root->findChildren<QMenu *>())
            if (!hooked_.contains(menu) && !belongsElsewhere(menu->parentWidget(), root))
                HookMenu(menu, xcPopupMenu);
    }
    const std::uint16_t barAs = controls_ & (xcToolbar | xcControlbar);
    if (barAs) {
        for (QToolBar *bar : root->findChildren<QToolBar *>())
            if (!skipTag(bar) && !belongsElsewhere(bar->parentWidget(), root))
                HookToolBar(bar, barAs);
    }
    for (QWidget *w : root->findChildren<QWidget *>()) {
        const std::uint16_t kind = XPControlKind(w);
        if (!kind || !(controls_ & kind) || belongsElsewhere(w, root))
            continue;
        QWidget *parent = w->parentWidget();
        if (skipTag(w) || skipTag(parent))
            continue;
        const std::uint16_t container = XPContainerKind(parent);
        if (!container || !(containers_ & container))
            continue;
        HookWidget(w, kind);
        if (hooked_.contains(w) && !subclasses_.contains(w))
            subclasses_.insert(w, new TControlSubClass(w, this));
        // Containers among the controls report children added later.
        if (kind & (xcPanel | xcGroupBox))
            w->installEventFilter(this);
    }
}

bool TXPLook::eventFilter(QObject *watched, QEvent *event)
{
    // A widget added while the look is on is taken in once the present
    // work is done (its class and parent are settled by then).
    if (event->type() == QEvent::ChildAdded && active_ && !rehookQueued_ &&
        static_cast<QChildEvent *>(event)->child()->isWidgetType()) {
        rehookQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            rehookQueued_ = false;
            if (active_ && form_)
                HookTree(form_);
        });
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zk
