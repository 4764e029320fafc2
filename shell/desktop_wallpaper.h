#pragma once
// Puts a picture file on the desktop that is running, as the rules of
// shell/core/wallpaper_rules.h decide: the desktops' settings through their
// own tools (read back before success is claimed), a script for
// plasmashell over D-Bus, the desktop portal on other Wayland sessions, and
// the root window's pixmap on any other X11 session.

#include "core/image_block.h"
#include "core/result.h"
#include "shell/core/wallpaper_rules.h"

#include <optional>
#include <string>

namespace pictorand {

// Wayland has no root window: a program sets the wallpaper only by asking the
// desktop portal, and where none runs that is all there is to say.
inline constexpr const char* kNoWallpaperPortal =
    "Wayland lets programs set the wallpaper only through the desktop portal (xdg-desktop-portal), "
    "and none is running.";
// A portal runs, but none of its backends for this desktop sets wallpapers
// (xdg-desktop-portal-wlr has none, nor has -gtk as Debian builds it): the
// frontend then has no Wallpaper interface at all.
inline constexpr const char* kNoWallpaperBackend =
    "The desktop portal (xdg-desktop-portal) runs, but none of its backends here sets the wallpaper "
    "(xdg-desktop-portal-gnome and -kde do).";

class DesktopWallpaper {
public:
    explicit DesktopWallpaper(SessionInfo session = sessionFromEnvironment());

    Desktop desktop() const { return m_desktop; }
    std::string name() const { return desktopName(m_desktop, m_session); }

    // What the desktop shows now, where it can be asked.
    std::optional<WallpaperRecord> shown() const;
    // Shows `path` with `style`. `lastGiven` is the spelling this program
    // gave last (for desktops that cannot be asked). On success, the
    // spelling the desktop was given; on failure the user's words, naming
    // the desktop.
    Result<std::string> apply(const std::string& path, WallpaperStyle style, const std::string& lastGiven) const;

private:
    Result<std::string> applySettings(const std::string& path, WallpaperStyle style) const;
    Result<std::string> applyPlasma(const std::string& path, WallpaperStyle style, const std::string& lastGiven) const;
    Result<std::string> applyPortal(const std::string& path) const;
    Result<std::string> applyRootWindow(const std::string& path, WallpaperStyle style) const;
    std::vector<std::string> xfceProperties() const;
    Failure failure(const std::string& detail) const;

    SessionInfo m_session;
    Desktop m_desktop;
};

// Sets the X11 root window's background to the block, centred on black or
// tiled from the top-left corner, and publishes it as _XROOTPMAP_ID and
// ESETROOT_PMAP_ID for terminals and compositors, as feh and xwallpaper do.
Status setRootWindowPicture(const ImageBlock& block, WallpaperStyle style);

} // namespace pictorand
