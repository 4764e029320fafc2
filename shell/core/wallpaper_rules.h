#pragma once
// Which desktop shows the wallpaper and what each one must be told: the
// settings keys written (and read back) through the desktops' own command
// line tools, the script Plasma runs, and the values the wallpaper commands
// keep in the registry store. The Qt layer runs what is decided here.

#include "platform/paths.h"
#include "platform/settings_file.h"

#include <optional>
#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kWallpaperFileName = "Pictorand32 Wallpaper.bmp";

enum class Desktop { Gnome, Plasma, Xfce, Mate, Cinnamon, X11Root, Portal, Unknown };

// What the environment says about the session.
struct SessionInfo {
    std::string currentDesktop; // $XDG_CURRENT_DESKTOP, entries split by ':'
    std::string sessionType;    // $XDG_SESSION_TYPE
    bool x11Display = false;     // $DISPLAY set
    bool waylandDisplay = false; // $WAYLAND_DISPLAY set
};
SessionInfo sessionFromEnvironment();

// The first entry of XDG_CURRENT_DESKTOP we know decides; a session of
// another desktop gets the root window on X11 and the portal on Wayland.
Desktop chooseDesktop(const SessionInfo& session);
// The desktop's name in messages ("GNOME", "KDE Plasma", ...); an unknown
// desktop is named as the environment names it.
std::string desktopName(Desktop desktop, const SessionInfo& session);

enum class WallpaperStyle { Centred, Tiled };

// A GVariant string literal, as gsettings takes and prints values.
std::string gvariantString(const std::string& text);
// The text of a printed GVariant string ('...' or "..."), else the text.
std::string gvariantStringValue(const std::string& printed);

// The same file named by another string ("dir/./name"), when the desktop
// already shows `path`: desktops act on a changed value only, and the file
// was just rewritten.
std::string freshSpelling(const std::string& path, const std::string& shownNow);

// One value a desktop keeps, set and read back with its tool.
struct DesktopSetting {
    std::vector<std::string> set; // program and arguments
    std::vector<std::string> get;
    std::string expected;       // what `get` prints once set, trimmed
    bool gvariantOutput = false; // `get` prints a GVariant literal
};

// The gsettings keys of GNOME, MATE and Cinnamon for `path` (the spelling
// the desktop is given).
std::vector<DesktopSetting> gsettingsWallpaper(Desktop desktop, const std::string& path, WallpaperStyle style);
// Where GNOME, MATE and Cinnamon keep the picture (key, and whether it holds
// a URI) and its style.
struct GsettingsPlace {
    std::string schema;
    std::string pictureKey;
    bool pictureIsUri = true;
};
std::optional<GsettingsPlace> gsettingsPlace(Desktop desktop);

// XFCE keeps a picture per monitor and workspace. `listed` is what
// `xfconf-query -c xfce4-desktop -l` printed; monitors never configured yet
// are added from `monitorNames` (the connectors) on the first workspace.
std::vector<std::string> xfceImageProperties(const std::string& listed, const std::vector<std::string>& monitorNames);
std::vector<DesktopSetting> xfceWallpaper(const std::vector<std::string>& imageProperties, const std::string& path,
                                          WallpaperStyle style);

// The script plasmashell evaluates for every desktop containment.
std::string plasmaWallpaperScript(const std::string& path, WallpaperStyle style);

// The registry store's wallpaper values.
struct WallpaperRecord {
    std::string path;
    bool tiled = false;
};
// Before setting `path`: when the store names another wallpaper than
// `path`, that one (or, before the program ever set one, what the desktop
// showed) becomes the previous wallpaper.
void recordWallpaper(SettingsFile& store, const WallpaperRecord& set, const std::optional<WallpaperRecord>& desktopShowed);
// The previous wallpaper, or nothing when none was recorded.
std::optional<WallpaperRecord> previousWallpaper(const SettingsFile& store);
// After the previous wallpaper was applied.
void recordRestored(SettingsFile& store, const WallpaperRecord& restored);

} // namespace pictorand
