// Which desktop is set, and what the registry store remembers.

#include "platform/settings_keys.h"
#include "shell/core/wallpaper_rules.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

TEST(ChooseDesktop, FirstKnownEntryThenTheDisplayServer)
{
    struct Case {
        SessionInfo session;
        Desktop desktop;
    };
    const Case cases[] = {
        {{"ubuntu:GNOME", "wayland", false, true}, Desktop::Gnome},
        {{"X-Cinnamon", "x11", true, false}, Desktop::Cinnamon},
        {{"KDE", "wayland", false, true}, Desktop::Plasma},
        {{"xfce", "x11", true, false}, Desktop::Xfce},
        {{"MATE", "x11", true, false}, Desktop::Mate},
        {{"sway", "wayland", false, true}, Desktop::Portal},
        {{"Hyprland", "", false, true}, Desktop::Portal},
        {{"i3", "x11", true, false}, Desktop::X11Root},
        {{"", "", true, false}, Desktop::X11Root},
        {{"", "tty", false, false}, Desktop::Unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseDesktop(c.session), c.desktop) << c.session.currentDesktop;
}

TEST(GVariantString, ComesBackAsItWent)
{
    const std::string path = "/home/a b/Ünï%'s.bmp";
    EXPECT_EQ(gvariantStringValue(gvariantString(path)), path);
}

TEST(WallpaperRecord, OwnFileSetTwiceKeepsTheWallpaperFromBefore)
{
    testing::ScratchDir dir;
    SettingsFile store(dir.file("Registry.ini"));
    const WallpaperRecord desktopHad{"/usr/share/backgrounds/x.png", true};
    recordWallpaper(store, {"/cfg/Pictorand32 Wallpaper.bmp", false}, desktopHad);
    // The second time the desktop got the other spelling of the same file.
    recordWallpaper(store, {"/cfg/./Pictorand32 Wallpaper.bmp", true}, WallpaperRecord{"/cfg/Pictorand32 Wallpaper.bmp"});
    EXPECT_EQ(store.readText(registry::Wallpaper), "/cfg/./Pictorand32 Wallpaper.bmp");
    EXPECT_EQ(store.readText(registry::TileWallpaper), "1");
    std::optional<WallpaperRecord> previous = previousWallpaper(store);
    ASSERT_TRUE(previous);
    EXPECT_EQ(previous->path, desktopHad.path);
    EXPECT_TRUE(previous->tiled);

    SettingsFile fresh(dir.file("Fresh.ini"));
    EXPECT_FALSE(previousWallpaper(fresh));
}

} // namespace
} // namespace pictorand
