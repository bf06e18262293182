#include "SvcAppProperties.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QToolTip>
#include <QWidget>
#include <QWindow>
#include <QWindowStateChangeEvent>

#include <exception>

namespace zk {

template<class Call>
bool TsvcAppPropList::Walk(const Call &call) const
{
    // A copy: a handler may free an instance (the guarded pointer then
    // skips it) or make a new one (it takes part from the next event on).
    const QList<QPointer<TsvcApplicationProperties>> walk = m_instances;
    for (qsizetype i = walk.size() - 1; i >= 0; --i) {
        TsvcApplicationProperties *p = walk.at(i);
        if (!p)
            continue;
        QPointer<TsvcApplicationProperties> guard(p);
        call(p);
        if (guard && !guard->Chained)
            return false;
    }
    return true;
}

namespace {

TsvcAppPropList *g_list = nullptr;
std::function<void(const QString &, const QString &)> g_standardDisplay;
// The timings of the newest instance, for the style to ask.
int g_hintPause = 500;
int g_hintShortPause = 50;
// The application's hide pause and show-hint switch: the values last put
// to work, as the application holds them, whichever instance applied them.
int g_hintHidePause = 2500;
bool g_showHint = true;

} // namespace

// ---------------------------------------------------------------------------
// The chain

TsvcAppPropList *TsvcAppPropList::Instance()
{
    return g_list;
}

TsvcAppPropList::TsvcAppPropList()
{
    g_list = this;
    if (!qApp)
        return;
    qApp->installEventFilter(this);
    const auto walkPlain = [this](std::function<void(QObject *)> TsvcApplicationProperties::*event) {
        Walk([event](TsvcApplicationProperties *p) {
            if (!(p->*event))
                return false;
            (p->*event)(p);
            return true;
        });
    };
    m_connections << connect(qApp, &QGuiApplication::applicationStateChanged, this,
                             [walkPlain](Qt::ApplicationState state) {
                                 if (state == Qt::ApplicationActive)
                                     walkPlain(&TsvcApplicationProperties::OnActivate);
                                 else if (state == Qt::ApplicationInactive)
                                     walkPlain(&TsvcApplicationProperties::OnDeactivate);
                             });
    m_connections << connect(qApp, &QApplication::focusChanged, this, [walkPlain](QWidget *, QWidget *) {
        walkPlain(&TsvcApplicationProperties::OnActiveControlChange);
    });
    m_connections << connect(qApp, &QGuiApplication::focusWindowChanged, this, [walkPlain](QWindow *) {
        walkPlain(&TsvcApplicationProperties::OnActiveFormChange);
    });
    if (QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance(qApp->thread()))
        m_connections << connect(d, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            Walk([](TsvcApplicationProperties *p) {
                if (!p->OnIdle)
                    return false;
                bool done = true;
                p->OnIdle(p, done);
                return true;
            });
        });
}

TsvcAppPropList::~TsvcAppPropList()
{
    for (const QMetaObject::Connection &c : m_connections)
        disconnect(c);
    if (qApp)
        qApp->removeEventFilter(this);
    if (g_list == this)
        g_list = nullptr;
}

QList<TsvcApplicationProperties *> TsvcAppPropList::Instances() const
{
    QList<TsvcApplicationProperties *> out;
    for (const auto &p : m_instances)
        if (p)
            out << p.data();
    return out;
}

void TsvcAppPropList::Add(TsvcApplicationProperties *instance)
{
    for (const auto &p : m_instances)
        if (p == instance)
            return;
    m_instances << instance;
}

void TsvcAppPropList::Remove(TsvcApplicationProperties *instance)
{
    m_instances.removeIf([instance](const QPointer<TsvcApplicationProperties> &p) { return !p || p == instance; });
}


bool TsvcAppPropList::DispatchException(const QString &typeName, const QString &message)
{
    bool called = false;
    if (g_list)
        g_list->Walk([&](TsvcApplicationProperties *p) {
            if (!p->OnException)
                return false;
            called = true;
            p->OnException(p, typeName, message);
            return true;
        });
    if (!called && g_standardDisplay)
        g_standardDisplay(typeName, message);
    return called || g_standardDisplay;
}

void TsvcAppPropList::SetStandardExceptionDisplay(std::function<void(const QString &, const QString &)> display)
{
    g_standardDisplay = std::move(display);
}

int TsvcAppPropList::HintPauseMs()
{
    return g_hintPause;
}

int TsvcAppPropList::HintShortPauseMs()
{
    return g_hintShortPause;
}

int TsvcAppPropList::HintHidePauseMs()
{
    return g_hintHidePause;
}

bool TsvcAppPropList::HintsShown()
{
    return g_showHint;
}

bool TsvcAppPropList::eventFilter(QObject *watched, QEvent *event)
{
    bool handled = false;
    const auto walk = [this](const auto &call) { return Walk(call); };
    walk([&](TsvcApplicationProperties *p) {
        if (!p->OnMessage)
            return false;
        p->OnMessage(watched, event, handled);
        return true;
    });
    if (handled)
        return true;
    switch (event->type()) {
    case QEvent::ToolTip: {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget)
            break;
        auto *help = static_cast<QHelpEvent *>(event);
        QString hint = widget->toolTip();
        bool canShow = true;
        walk([&](TsvcApplicationProperties *p) {
            if (!p->OnShowHint)
                return false;
            p->OnShowHint(hint, canShow, widget);
            return true;
        });
        if (!canShow || !g_showHint) {
            QToolTip::hideText();
            return true;
        }
        if (hint == widget->toolTip() && !hint.isEmpty()) {
            // Shown here so the hide pause holds.
            QToolTip::showText(help->globalPos(), hint, widget, {}, g_hintHidePause);
            return true;
        }
        break;
    }
    case QEvent::StatusTip:
        walk([](TsvcApplicationProperties *p) {
            if (!p->OnHint)
                return false;
            p->OnHint(p);
            return true;
        });
        break;
    case QEvent::ShortcutOverride: {
        bool taken = false;
        walk([&](TsvcApplicationProperties *p) {
            if (!p->OnShortCut)
                return false;
            p->OnShortCut(static_cast<QKeyEvent *>(event), taken);
            return true;
        });
        if (taken) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::WhatsThis: {
        bool callHelp = true;
        walk([&](TsvcApplicationProperties *p) {
            if (!p->OnHelp)
                return false;
            p->OnHelp(p, watched, callHelp);
            return true;
        });
        if (!callHelp)
            return true;
        break;
    }
    case QEvent::Shortcut:
    case QEvent::ActionChanged:
        if (auto *action = qobject_cast<QAction *>(watched)) {
            const bool execute = event->type() == QEvent::Shortcut;
            bool done = false;
            walk([&](TsvcApplicationProperties *p) {
                auto &handler = execute ? p->OnActionExecute : p->OnActionUpdate;
                if (!handler)
                    return false;
                handler(p, action, done);
                return true;
            });
            if (done && execute)
                return true;
        }
        break;
    case QEvent::WindowStateChange: {
        const QList<TsvcApplicationProperties *> all = Instances();
        if (all.isEmpty() || watched != all.first()->MainWindow())
            break;
        const auto *change = static_cast<QWindowStateChangeEvent *>(event);
        const bool wasMin = change->oldState() & Qt::WindowMinimized;
        const bool isMin = static_cast<QWidget *>(watched)->windowState() & Qt::WindowMinimized;
        if (wasMin == isMin)
            break;
        walk([isMin](TsvcApplicationProperties *p) {
            auto &handler = isMin ? p->OnMinimize : p->OnRestore;
            if (!handler)
                return false;
            handler(p);
            return true;
        });
        break;
    }
    case QEvent::ApplicationFontChange:
    case QEvent::ApplicationPaletteChange:
        if (watched == qApp)
            for (TsvcApplicationProperties *p : Instances())
                p->SettingsChanged();
        break;
    default:
        break;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The component

TsvcApplicationProperties::TsvcApplicationProperties(QObject *owner)
    : TsvcComponent(owner)
{
    if (!g_list)
        new TsvcAppPropList;
    g_list->Add(this);
}

TsvcApplicationProperties::~TsvcApplicationProperties()
{
    if (!g_list)
        return;
    g_list->Remove(this);
    if (g_list->Instances().isEmpty())
        delete g_list;
}

QWidget *TsvcApplicationProperties::MainWindow() const
{
    auto *w = qobject_cast<QWidget *>(parent());
    return w ? w->window() : nullptr;
}

void TsvcApplicationProperties::SetHidden(bool on)
{
    m_hidden = on;
    ApplyHidden();
}

// Each setter puts its own property to work and leaves the others as the
// application has them (another instance may have applied those).
void TsvcApplicationProperties::SetHintColor(TColor colour)
{
    m_hintColor = colour;
    Apply(ApplyHintColor);
}

void TsvcApplicationProperties::SetHintPause(int ms)
{
    m_hintPause = ms;
    Apply(ApplyHintPause);
}

void TsvcApplicationProperties::SetHintShortPause(int ms)
{
    m_hintShortPause = ms;
    Apply(ApplyHintShortPause);
}

void TsvcApplicationProperties::SetHintHidePause(int ms)
{
    m_hintHidePause = ms;
    Apply(ApplyHintHidePause);
}

void TsvcApplicationProperties::SetShowHint(bool on)
{
    m_showHint = on;
    Apply(ApplyShowHint);
}

void TsvcApplicationProperties::SetHintShortCuts(bool on)
{
    m_hintShortCuts = on;
    Apply(ApplyHintShortCuts);
}

void TsvcApplicationProperties::SetBiDiMode(Qt::LayoutDirection mode)
{
    m_biDiMode = mode;
    Apply(ApplyBiDiMode);
}

void TsvcApplicationProperties::SetMouseDragThreshold(int pixels)
{
    m_dragThreshold = pixels;
    Apply(ApplyDragThreshold);
}

void TsvcApplicationProperties::ApplyProperties()
{
    Apply(ApplyAll);
}

void TsvcApplicationProperties::Apply(unsigned what)
{
    if (what & ApplyHintPause)
        g_hintPause = std::max(0, m_hintPause);
    if (what & ApplyHintShortPause)
        g_hintShortPause = std::max(0, m_hintShortPause);
    if (what & ApplyHintHidePause)
        g_hintHidePause = std::max(0, m_hintHidePause);
    if (what & ApplyShowHint)
        g_showHint = m_showHint;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    if ((what & ApplyShowHint) && !m_showHint)
        QToolTip::hideText();
    if (what & ApplyHintColor) {
        QPalette tips = QToolTip::palette();
        tips.setColor(QPalette::ToolTipBase, TColorToQColor(m_hintColor));
        QToolTip::setPalette(tips);
    }
    if (what & ApplyDragThreshold)
        QApplication::setStartDragDistance(std::max(0, m_dragThreshold));
    if (what & ApplyBiDiMode)
        QGuiApplication::setLayoutDirection(m_biDiMode);
    if (what & ApplyHintShortCuts)
        QCoreApplication::setAttribute(Qt::AA_DontShowShortcutsInContextMenus, !m_hintShortCuts);
}

void TsvcApplicationProperties::ApplyHidden()
{
    QWidget *w = MainWindow();
    if (!w)
        return;
    // A utility window gets no task-bar button.
    const bool visible = w->isVisible();
    if (m_hidden) {
        w->hide();
        w->setWindowFlag(Qt::Tool, true);
    } else {
        w->setWindowFlag(Qt::Tool, false);
        if (visible || !w->isVisible())
            w->show();
    }
}

void TsvcApplicationProperties::Loaded()
{
    ApplyProperties();
    if (m_hidden)
        ApplyHidden();
}

void TsvcApplicationProperties::SettingsChanged()
{
    if (!OnSettingsChanged)
        return;
    try {
        OnSettingsChanged(this);
    } catch (const std::exception &e) {
        TsvcAppPropList::DispatchException(QStringLiteral("Exception"), QString::fromUtf8(e.what()));
    } catch (...) {
        TsvcAppPropList::DispatchException(QStringLiteral("Exception"), QStringLiteral("Unbekannter Fehler"));
    }
}

} // namespace zk
