// Which desktop background mechanism a session gets, from XDG_CURRENT_DESKTOP,
// and that a picture that cannot be read is refused before anything changes.
#include "Wallpaper.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace zk;

TEST(Wallpaper, MechanismFollowsTheCurrentDesktop)
{
    EXPECT_EQ(WallpaperMechanismFor("GNOME"), WallpaperMechanism::GSettingsGnome);
    EXPECT_EQ(WallpaperMechanismFor("ubuntu:GNOME"), WallpaperMechanism::GSettingsGnome);
    EXPECT_EQ(WallpaperMechanismFor("Budgie:GNOME"), WallpaperMechanism::GSettingsGnome);
    EXPECT_EQ(WallpaperMechanismFor("X-Cinnamon"), WallpaperMechanism::GSettingsCinnamon);
    EXPECT_EQ(WallpaperMechanismFor("MATE"), WallpaperMechanism::GSettingsMate);
    EXPECT_EQ(WallpaperMechanismFor("XFCE"), WallpaperMechanism::Xfconf);
    EXPECT_EQ(WallpaperMechanismFor("KDE"), WallpaperMechanism::Plasma);
    EXPECT_EQ(WallpaperMechanismFor("LXDE"), WallpaperMechanism::RootWindow);
    EXPECT_EQ(WallpaperMechanismFor("openbox"), WallpaperMechanism::RootWindow);
    EXPECT_EQ(WallpaperMechanismFor(""), WallpaperMechanism::RootWindow);
}

TEST(Wallpaper, UnreadablePictureIsRefusedWithAMessage)
{
    QString error;
    EXPECT_FALSE(ApplyWallpaper(zktest::sandboxDir() + "/missing.png", true, &error));
    EXPECT_TRUE(error.contains("missing.png")) << error.toStdString();
    error.clear();
    EXPECT_FALSE(SetRootWindowWallpaper(QStringLiteral(ZK_SOURCE_DIR "/Templates/camera.wav"), false, &error));
    EXPECT_FALSE(error.isEmpty());
}
