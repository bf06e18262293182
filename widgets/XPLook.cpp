#include "XPLook.h"

#include "BarPopupMenu.h"
#include "InfoField.h"
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
#include <QScopeGuard>
#include <QSet>
#include <QStyleFactory>
#include <QTimer>
#include <QVarLengthArray>
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
    // "Tag" is a dynamic property: looking at the few names an object was
    // given is much cheaper than a property lookup by name on every widget.
    if (!o)
        return false;
    const QList<QByteArray> names = o->dynamicPropertyNames();
    return names.contains("Tag") && o->property("Tag").toInt() == kXPLookSkipTag;
}

// The forms that hold a look: another look's walk leaves them alone.
QSet<const QWidget *> &formsWithLook()
{
    static QSet<const QWidget *> forms;
    return forms;
}

} // namespace

// ---- TControlSubClass ------------------------------------------------------

TControlSubClass::TControlSubClass(QWidget *control, TXPLook *owner)
    : QObject(nullptr)
    , control_(control)
    , owner_(owner)
{
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

void TControlSubClass::End()
{
    if (control_)
        control_->removeEventFilter(this);
    if (busy_) {
        // Switched off from within an event it is handling: it goes once
        // that is done and is not touched before.
        if (!ending_)
            deleteLater();
        ending_ = true;
        return;
    }
    delete this;
}

bool TControlSubClass::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != control_ || ending_ || !owner_->Active())
        return false;
    ++busy_;
    const auto done = qScopeGuard([this] { --busy_; });
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
    formsWithLook().insert(form);
}

TXPLook::~TXPLook()
{
    // Every live widget gets its own style back before the style goes.
    Unhook(false);
    delete style_;
    formsWithLook().remove(form_);
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
    // Entries are checked against the widget's life: a dead widget's
    // address may come back as another widget.
    const auto it = hooked_.constFind(w);
    return it == hooked_.constEnd() || !it->widget ? 0 : it->as;
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
    for (const THooked &h : std::as_const(hooked_))
        if (h.widget && qobject_cast<QMenuBar *>(h.widget))
            h.widget->update();
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
        if (it->widget) {
            it->as |= as;
            return;
        }
        // A widget that died hooked left its entry; this one is new.
        hooked_.erase(it);
        if (TControlSubClass *stale = subclasses_.take(w))
            stale->End();
    }
    // A widget with a style of its own, or one that paints itself, keeps
    // its painting unless the look is told to take it over. The fields'
    // style draws as the application's does: such a field takes the look
    // and gets its style back afterwards.
    const bool ownStyle = w->testAttribute(Qt::WA_SetStyle) && w->style() != style_;
    const bool followsApplication = qobject_cast<const TFieldStyle *>(w->style()) != nullptr;
    if (((ownStyle && !followsApplication) || qobject_cast<TBarPopupMenu *>(w)) && !override_)
        return;
    THooked h;
    h.widget = w;
    if (ownStyle)
        h.ownStyle = w->style();
    h.as = as;
    hooked_.insert(w, h);
    w->setStyle(Style());
}

void TXPLook::Unstyle(QWidget *w)
{
    auto it = hooked_.find(w);
    if (it == hooked_.end())
        return;
    const THooked h = *it;
    hooked_.erase(it);
    Restore(w, h);
}

void TXPLook::Restore(QWidget *w, const THooked &h)
{
    if (TControlSubClass *sub = subclasses_.take(w))
        sub->End();
    if (h.showing)
        disconnect(h.showing);
    if (h.as & (xcToolbar | xcControlbar | xcPanel | xcGroupBox))
        w->removeEventFilter(this);
    if (w->style() == style_)
        w->setStyle(h.ownStyle.data());
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
    // Taken out first: giving a style back may run code that asks the look.
    const QHash<const QWidget *, THooked> hooked = std::exchange(hooked_, {});
    for (auto it = hooked.cbegin(); it != hooked.cend(); ++it) {
        QWidget *w = it->widget.data();
        if (!w)
            continue;
        Restore(w, *it);
        if (repaint)
            w->update();
    }
    const auto ending = subclasses_.values();
    subclasses_.clear();
    for (TControlSubClass *sub : ending)
        sub->End();
}

void TXPLook::HookMenu(QMenu *menu, std::uint16_t as)
{
    if (!menu || !active_ || skipTag(menu) || skipTag(menu->menuAction()))
        return;
    const bool fresh = !HookedAs(menu);
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
    // The form's own widgets in one walk: another form below it, or a
    // widget holding a look of its own, is left to its own look.
    QList<QWidget *> own;
    QVarLengthArray<QWidget *, 64> pending{root};
    while (!pending.isEmpty()) {
        QWidget *w = pending.back();
        pending.removeLast();
        for (QObject *o : w->children()) {
            if (!o->isWidgetType())
                continue;
            auto *c = static_cast<QWidget *>(o);
            if (qobject_cast<QDialog *>(c) || qobject_cast<QMainWindow *>(c) || formsWithLook().contains(c))
                continue;
            own.append(c);
            pending.append(c);
        }
    }

    if (controls_ & xcMainMenu) {
        for (QWidget *w : std::as_const(own)) {
            auto *bar = qobject_cast<QMenuBar *>(w);
            if (!bar || skipTag(bar))
                continue;
            HookWidget(bar, xcMainMenu);
            for (QAction *a : bar->actions())
                if (a->menu() && !skipTag(a))
                    HookMenu(a->menu(), xcMainMenu);
        }
    }
    if (controls_ & xcPopupMenu) {
        for (QWidget *w : std::as_const(own))
            if (auto *menu = qobject_cast<QMenu *>(w); menu && !HookedAs(menu))
                HookMenu(menu, xcPopupMenu);
    }
    const std::uint16_t barAs = controls_ & (xcToolbar | xcControlbar);
    if (barAs) {
        for (QWidget *w : std::as_const(own))
            if (auto *bar = qobject_cast<QToolBar *>(w); bar && !skipTag(bar))
                HookToolBar(bar, barAs);
    }
    for (QWidget *w : std::as_const(own)) {
        const std::uint16_t kind = XPControlKind(w);
        if (!kind || !(controls_ & kind))
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
