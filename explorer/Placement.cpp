#include "Placement.h"

#include "DockSite.h"
#include "Registry.h"

#include <QDockWidget>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <QWidget>
#include <algorithm>
#include <cstring>

namespace zk {

namespace {

constexpr int kMaxExtent = 1 << 20; // no screen set is a million pixels wide
// The frame size a restored window still has to reach (see FrameSizeFitter).
constexpr char kPendingFrameSize[] = "zkPendingFrameSize";

void put32(unsigned char *out, int at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

std::int32_t get32(const unsigned char *in, int at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(in[at + i]) << (8 * i);
    return std::int32_t(v);
}

// Whether the site holds the control: a dock area the dock windows docked
// in it, a widget its children.
bool hosts(const QObject *site, const QWidget *control)
{
    if (const auto *area = qobject_cast<const TDockSite *>(site))
        return area->Hosts(control);
    return site && site == control->parentWidget();
}

QSize siteSize(const QObject *site)
{
    if (const auto *area = qobject_cast<const TDockSite *>(site))
        return {area->width(), area->height()};
    if (const auto *widget = qobject_cast<const QWidget *>(site))
        return widget->size();
    return {};
}

// A window of its own, or a dockable window (those are placed, never docked,
// by the restore: the main window docks them itself).
bool isForm(const QWidget *w)
{
    return w->parentWidget() == nullptr || w->inherits("zk::TBaseDockForm");
}

bool isFloating(const QWidget *w)
{
    return w->parentWidget() != nullptr && w->isWindow();
}

QList<QRect> screenRects()
{
    QList<QRect> rects;
    for (QScreen *s : QGuiApplication::screens())
        rects.append(s->geometry());
    return rects;
}

} // namespace

QByteArray TWindowPlacement::Encode() const
{
    unsigned char raw[kSize] = {};
    unsigned char *out = raw;
    put32(out, 0, kSize);
    put32(out, 4, flags);
    put32(out, 8, showCmd);
    put32(out, 12, std::uint32_t(minPosition.x()));
    put32(out, 16, std::uint32_t(minPosition.y()));
    put32(out, 20, std::uint32_t(maxPosition.x()));
    put32(out, 24, std::uint32_t(maxPosition.y()));
    put32(out, 28, std::uint32_t(normal.left()));
    put32(out, 32, std::uint32_t(normal.top()));
    put32(out, 36, std::uint32_t(normal.left() + normal.width()));
    put32(out, 40, std::uint32_t(normal.top() + normal.height()));
    return QByteArray(reinterpret_cast<const char *>(raw), kSize);
}

std::optional<TWindowPlacement> TWindowPlacement::Decode(const QByteArray &data)
{
    if (data.size() != kSize)
        return std::nullopt;
    unsigned char raw[kSize];
    std::memcpy(raw, data.constData(), kSize);
    const unsigned char *in = raw;
    if (get32(in, 0) != kSize)
        return std::nullopt;
    TWindowPlacement p;
    p.flags = std::uint32_t(get32(in, 4));
    p.showCmd = std::uint32_t(get32(in, 8));
    p.minPosition = QPoint(get32(in, 12), get32(in, 16));
    p.maxPosition = QPoint(get32(in, 20), get32(in, 24));
    const std::int64_t left = get32(in, 28), top = get32(in, 32);
    const std::int64_t right = get32(in, 36), bottom = get32(in, 40);
    const std::int64_t w = right - left, h = bottom - top;
    if (w <= 0 || h <= 0 || w > kMaxExtent || h > kMaxExtent || left < -kMaxExtent ||
        left > kMaxExtent || top < -kMaxExtent || top > kMaxExtent)
        return std::nullopt;
    p.normal = QRect(int(left), int(top), int(w), int(h));
    return p;
}

QRect KeepOnScreens(const QRect &bounds, const QList<QRect> &screens)
{
    if (screens.isEmpty())
        return bounds;
    // The title bar is what the user needs to grab the window again.
    const QRect grip(bounds.left(), bounds.top(), bounds.width(), std::min(bounds.height(), 24));
    const int needed = std::min(40, bounds.width());
    for (const QRect &s : screens) {
        const QRect seen = s.intersected(grip);
        if (!seen.isEmpty() && seen.width() >= needed)
            return bounds;
    }
    const QRect s = screens.first();
    QRect r = bounds;
    r.setSize(r.size().boundedTo(s.size()));
    r.moveTopLeft(s.topLeft() + QPoint((s.width() - r.width()) / 2, (s.height() - r.height()) / 2));
    return r;
}

TWindowPlacement PlacementOf(const QWidget *form)
{
    TWindowPlacement p;
    const Qt::WindowStates state = form->windowState();
    if (state & Qt::WindowMaximized)
        p.showCmd = TWindowPlacement::ShowMaximized;
    else if (state & Qt::WindowMinimized)
        p.showCmd = TWindowPlacement::ShowMinimized;
    // The record holds the outer frame, decorations included, as the window
    // manager shows it: pos() is the frame's corner, the inside grows by the
    // decorations.
    const QMargins decorations = DecorationsOf(form);
    if (state & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) {
        const QRect inside = form->normalGeometry();
        if (inside.isValid())
            p.normal = inside.marginsAdded(decorations);
    }
    if (!p.normal.isValid()) {
        const QVariant pending = form->property(kPendingFrameSize);
        p.normal = QRect(form->pos(), pending.isValid() ? pending.toSize() : form->size().grownBy(decorations));
    }
    return p;
}

namespace {

// Before its first show nobody knows how thick the window manager's frame
// will be; the window starts with the whole stored size inside and gives the
// decorations back once they are known (a window manager sets them shortly
// after the window appears). Without decorations the inside is the frame.
class FrameSizeFitter : public QObject
{
public:
    static constexpr char kName[] = "FrameSizeFitter";

    FrameSizeFitter(QWidget *form, QSize frame) : QObject(form), m_form(form), m_frame(frame)
    {
        delete form->findChild<QObject *>(QLatin1String(kName), Qt::FindDirectChildrenOnly); // an earlier restore
        setObjectName(QLatin1String(kName));
        form->setProperty(kPendingFrameSize, frame);
        form->installEventFilter(this);
        m_poll.setInterval(25);
        connect(&m_poll, &QTimer::timeout, this, &FrameSizeFitter::check);
        if (form->isVisible())
            m_poll.start();
    }

    // Gives the decorations back when they are known (or after the last
    // tick); true when the window has its final size now.
    bool Fit(bool tick)
    {
        if (m_done)
            return true;
        const QMargins decorations = DecorationsOf(m_form);
        if (decorations.isNull() && !(tick && ++m_ticks >= kTicks))
            return false;
        if (!(m_form->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
            m_form->resize(m_frame.shrunkBy(decorations));
        m_form->setProperty(kPendingFrameSize, QVariant());
        m_poll.stop();
        m_done = true;
        setObjectName(QString());
        deleteLater();
        return true;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_form && event->type() == QEvent::Show && !m_poll.isActive())
            m_poll.start();
        return false;
    }

private:
    static constexpr int kTicks = 120; // three seconds of looking

    void check() { Fit(true); }

    QWidget *m_form;
    QSize m_frame;
    QTimer m_poll;
    int m_ticks = 0;
    bool m_done = false;
};

} // namespace

bool SettlePlacement(QWidget *form)
{
    // Only the fitter takes this name (and drops it when done).
    QObject *fitter = form->findChild<QObject *>(QLatin1String(FrameSizeFitter::kName), Qt::FindDirectChildrenOnly);
    return !fitter || static_cast<FrameSizeFitter *>(fitter)->Fit(false);
}

QMargins DecorationsOf(const QWidget *form)
{
    // The window's own record of the frame stays valid while it is hidden.
    const QWindow *w = form->windowHandle();
    return w ? w->frameMargins() : QMargins();
}

void ApplyPlacement(QWidget *form, const TWindowPlacement &placement)
{
    const QRect r = KeepOnScreens(placement.normal, screenRects());
    const QMargins decorations = DecorationsOf(form);
    form->resize(r.size().shrunkBy(decorations));
    form->move(r.topLeft());
    if (decorations.isNull())
        new FrameSizeFitter(form, r.size());
    Qt::WindowStates state = form->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
    // A window that was minimised comes back normal: starting as an icon
    // only hides the program from its user.
    if (placement.showCmd == TWindowPlacement::ShowMaximized)
        state |= Qt::WindowMaximized;
    form->setWindowState(state);
}

bool SaveWindowPos(const QString &key, const QWidget *form)
{
    try {
        TRegistry reg;
        if (!reg.OpenKey(key, true))
            return false;
        reg.WriteBinaryData("WindowPos", PlacementOf(form).Encode());
        return true;
    } catch (const ERegistryException &) {
        return false;
    }
}

bool LoadWindowPos(const QString &key, QWidget *form)
{
    try {
        TRegistry reg;
        if (!reg.OpenKeyReadOnly(key) || !reg.ValueExists("WindowPos"))
            return false;
        const auto p = TWindowPlacement::Decode(reg.ReadBinaryData("WindowPos"));
        if (!p)
            return false;
        ApplyPlacement(form, *p);
        return true;
    } catch (const ERegistryException &) {
        return false;
    }
}

TDockState DockStateOf(const QWidget *control, const QList<QObject *> &dockSites)
{
    TDockState s;
    const bool floating = isFloating(control);
    s.bounds = isForm(control) ? QRect(control->pos(), control->size()) : control->geometry();
    const QSize undocked = floating ? control->size() : control->sizeHint();
    s.undockWidth = undocked.width();
    s.undockHeight = undocked.height();
    if (!floating)
        for (int i = 0; i < dockSites.size(); ++i)
            if (hosts(dockSites[i], control))
                s.dockSiteIndex = i; // the last match wins
    if (s.dockSiteIndex >= 0) {
        const QSize size = siteSize(dockSites[s.dockSiteIndex]);
        s.dockSiteWidth = size.width();
        s.dockSiteHeight = size.height();
    } else if (!isForm(control)) {
        s.screen = QRect(control->mapToGlobal(QPoint(0, 0)), control->size());
    }
    return s;
}

bool SaveDockState(const QString &key, const QWidget *control, const QList<QObject *> &dockSites)
{
    const TDockState s = DockStateOf(control, dockSites);
    try {
        TRegistry reg;
        if (!reg.OpenKey(key, true))
            return false;
        reg.WriteInteger("Left", s.bounds.left());
        reg.WriteInteger("Top", s.bounds.top());
        reg.WriteInteger("Right", s.bounds.left() + s.bounds.width());
        reg.WriteInteger("Bottom", s.bounds.top() + s.bounds.height());
        reg.WriteInteger("UndockWidth", s.undockWidth);
        reg.WriteInteger("UndockHeight", s.undockHeight);
        if (s.dockSiteIndex >= 0) {
            reg.WriteInteger("DockSiteWidth", s.dockSiteWidth);
            reg.WriteInteger("DockSiteHeight", s.dockSiteHeight);
        }
        reg.WriteInteger("DockSiteIndex", s.dockSiteIndex);
        if (s.screen) {
            reg.WriteInteger("ScreenLeft", s.screen->left());
            reg.WriteInteger("ScreenTop", s.screen->top());
            reg.WriteInteger("ScreenRight", s.screen->left() + s.screen->width());
            reg.WriteInteger("ScreenBottom", s.screen->top() + s.screen->height());
        }
        return true;
    } catch (const ERegistryException &) {
        return false;
    }
}

std::optional<TDockState> ReadDockState(const QString &key)
{
    TRegistry reg;
    try {
        if (!reg.OpenKeyReadOnly(key))
            return std::nullopt;
    } catch (const ERegistryException &) {
        return std::nullopt;
    }
    TDockState s;
    s.dockSiteIndex = -2; // "not read"; callers see bounds only
    try {
        const int bottom = reg.ReadInteger("Bottom");
        const int right = reg.ReadInteger("Right");
        const int top = reg.ReadInteger("Top");
        const int left = reg.ReadInteger("Left");
        s.bounds = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
        s.undockWidth = reg.ReadInteger("UndockWidth");
        s.undockHeight = reg.ReadInteger("UndockHeight");
        s.dockSiteIndex = reg.ReadInteger("DockSiteIndex");
        if (s.dockSiteIndex >= 0) {
            s.dockSiteWidth = reg.ReadInteger("DockSiteWidth");
            s.dockSiteHeight = reg.ReadInteger("DockSiteHeight");
        } else if (s.dockSiteIndex == -1 && reg.ValueExists("ScreenLeft")) {
            const int sb = reg.ReadInteger("ScreenBottom");
            const int sr = reg.ReadInteger("ScreenRight");
            const int st = reg.ReadInteger("ScreenTop");
            const int sl = reg.ReadInteger("ScreenLeft");
            s.screen = QRect(QPoint(sl, st), QPoint(sr - 1, sb - 1));
        }
    } catch (const ERegistryException &) {
        // A partly written state restores as far as it goes.
    }
    return s;
}

std::optional<TDockState> LoadDockState(const QString &key, QWidget *control,
                                        const QList<QObject *> &dockSites)
{
    std::optional<TDockState> s = ReadDockState(key);
    if (!s || !s->bounds.isValid() || s->bounds.width() > kMaxExtent || s->bounds.height() > kMaxExtent)
        return s;
    if (isForm(control)) {
        const QRect r = KeepOnScreens(s->bounds, screenRects());
        control->resize(r.size());
        control->move(r.topLeft());
        return s; // forms are only positioned; their owner docks them
    }
    control->setGeometry(s->bounds);
    if (s->dockSiteIndex == -1 && s->screen) {
        if (auto *dock = qobject_cast<QDockWidget *>(control)) {
            dock->setFloating(true);
            dock->setGeometry(KeepOnScreens(*s->screen, screenRects()));
        }
    } else if (s->dockSiteIndex >= 0 && s->dockSiteIndex < dockSites.size()) {
        QObject *site = dockSites[s->dockSiteIndex];
        auto *area = qobject_cast<TDockSite *>(site);
        auto *dock = qobject_cast<QDockWidget *>(control);
        if (area && dock) {
            area->Dock(dock);
        } else if (site && !area && !hosts(site, control)) {
            auto *main = qobject_cast<QMainWindow *>(site);
            if (auto *bar = qobject_cast<QToolBar *>(control); bar && main)
                main->addToolBar(bar);
            else if (dock && main)
                main->addDockWidget(Qt::LeftDockWidgetArea, dock);
            else if (auto *widget = qobject_cast<QWidget *>(site))
                control->setParent(widget);
        }
    }
    return s;
}

QList<QList<int>> ToolBarRows(const QList<QRect> &bounds)
{
    QList<int> order;
    for (int i = 0; i < bounds.size(); ++i)
        order.append(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return bounds[a].top() < bounds[b].top();
    });
    QList<QList<int>> rows;
    int rowTop = 0, rowHalf = 0;
    for (int i : order) {
        const QRect &r = bounds[i];
        if (rows.isEmpty() || r.top() - rowTop > rowHalf) {
            rows.append(QList<int>{});
            rowTop = r.top();
            rowHalf = std::max(1, r.height() / 2);
        }
        rows.last().append(i);
    }
    for (QList<int> &row : rows)
        std::stable_sort(row.begin(), row.end(), [&](int a, int b) {
            return bounds[a].left() < bounds[b].left();
        });
    return rows;
}

} // namespace zk
