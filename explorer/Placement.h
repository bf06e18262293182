#pragma once
// Where windows and tool bars were: the window placement record ("WindowPos",
// 44 bytes in the layout other tools of this family read) and the dock state
// of a dockable control ("Left", "Top", ... "DockSiteIndex"), stored in the
// registry under the key the caller passes.
#include <QByteArray>
#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>

class QObject;
class QWidget;

namespace zk {

// The window placement record: length, flags, show command, minimised and
// maximised positions, and the normal bounds (right and bottom exclusive).
struct TWindowPlacement
{
    static constexpr int kSize = 44;
    enum ShowCmd : std::uint32_t { ShowNormal = 1, ShowMinimized = 2, ShowMaximized = 3 };

    std::uint32_t flags = 0;
    std::uint32_t showCmd = ShowNormal;
    QPoint minPosition{-1, -1};
    QPoint maxPosition{-1, -1};
    QRect normal; // left, top, width, height

    QByteArray Encode() const;
    // Refuses anything but exactly 44 bytes whose length field says 44, and
    // bounds that are empty or absurdly large.
    static std::optional<TWindowPlacement> Decode(const QByteArray &data);
};

// Moves a stored rectangle so that at least a grip of it (its top edge) lies
// on one of the screens; a window saved on a monitor that is gone comes back
// on the first screen instead of off every edge. Screens empty: unchanged.
QRect KeepOnScreens(const QRect &bounds, const QList<QRect> &screens);

// The window manager's decorations around a top-level window (none before
// it was first shown, or without a window manager).
QMargins DecorationsOf(const QWidget *form);
// The placement of a top-level window as it is now; the normal bounds are
// the outer frame, decorations included.
TWindowPlacement PlacementOf(const QWidget *form);
// Applies a placement (bounds kept reachable on the current screens): the
// frame takes the stored position and size. A record written with the inside
// size brings the window back that much smaller, never larger.
void ApplyPlacement(QWidget *form, const TWindowPlacement &placement);

// A restored window keeps the whole stored size inside until the window
// manager's frame is known, and shrinks by it on a later tick. Whatever is
// read back from the window's layout (tool-bar places, dock sites) must wait
// for that: this gives the frame back now when it is known, so a close right
// after the start reads the same layout as a later one. False while the frame
// is still unknown.
bool SettlePlacement(QWidget *form);

// "WindowPos" under key (created when missing). Returns false when the
// registry could not be written.
bool SaveWindowPos(const QString &key, const QWidget *form);
// True when a valid "WindowPos" was found and applied; otherwise the form
// stays as it is.
bool LoadWindowPos(const QString &key, QWidget *form);

// The dock state values of a control. A control counts as floating when it
// is a window of its own. A dock site is a widget (the host is the control's
// parent) or one of the main window's dock areas (TDockSite), which hosts
// the dock windows docked in it.
struct TDockState
{
    QRect bounds;                 // Left, Top, Right, Bottom
    int undockWidth = 0;
    int undockHeight = 0;
    int dockSiteIndex = -1;       // -1: floating or host not in the list
    int dockSiteWidth = 0;        // only when dockSiteIndex >= 0
    int dockSiteHeight = 0;
    std::optional<QRect> screen;  // only when floating and not a form
};

TDockState DockStateOf(const QWidget *control, const QList<QObject *> &dockSites);
bool SaveDockState(const QString &key, const QWidget *control, const QList<QObject *> &dockSites);
// Reads what is stored under key; std::nullopt when the key is missing. Stops
// at the first missing value like the restore does, keeping what it read.
std::optional<TDockState> ReadDockState(const QString &key);
// Restores bounds (and the undocked size of a floating control); a stored
// state whose site is in the list and differs from the control's host moves
// the control there. Returns the state read, for callers that re-arrange.
std::optional<TDockState> LoadDockState(const QString &key, QWidget *control,
                                        const QList<QObject *> &dockSites);

// Rows of docked tool bars from their stored bounds: tool bars whose tops are
// within half a row of each other share a row, each row ordered by left.
// Returns indexes into the given list, top row first.
QList<QList<int>> ToolBarRows(const QList<QRect> &bounds);

} // namespace zk
