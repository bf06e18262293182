#pragma once
// Setting the desktop background: through the desktop's own setting where the
// running desktop has a known one (GNOME and its relatives, Cinnamon, MATE,
// Xfce, Plasma), otherwise by painting the X root window.
#include <QString>

namespace zk {

enum class WallpaperMechanism { GSettingsGnome, GSettingsCinnamon, GSettingsMate, Xfconf, Plasma, RootWindow };

// The mechanism for a value of XDG_CURRENT_DESKTOP (a colon-separated list).
WallpaperMechanism WallpaperMechanismFor(const QString &currentDesktop);

// Shows the picture as the desktop background, tiled or centred. False with
// a message in *error when the picture cannot be read or the desktop refused.
bool ApplyWallpaper(const QString &fileName, bool tile, QString *error = nullptr);

// The root-window way on its own: paints the picture into a pixmap of the
// root's size, makes it the root's background and publishes it as
// _XROOTPMAP_ID / ESETROOT_PMAP_ID (so it stays after this program ends and
// the next setter can free it).
bool SetRootWindowWallpaper(const QString &fileName, bool tile, QString *error = nullptr);

} // namespace zk
