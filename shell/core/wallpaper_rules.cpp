#include "shell/core/wallpaper_rules.h"

#include "platform/formatted_text.h"
#include "platform/settings_keys.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <sstream>

namespace pictorand {

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// "dir/./name" and "dir/name" are one file: the fresh spelling of our own
// wallpaper must not pass for another wallpaper.
std::string withoutDotSegments(std::string path)
{
    for (size_t at; (at = path.find("/./")) != std::string::npos;)
        path.erase(at, 2);
    return path;
}

// A missing key is told apart from an empty one by a default no value has.
constexpr const char* kMissing = "\x01";

} // namespace

SessionInfo sessionFromEnvironment()
{
    SessionInfo session;
    session.currentDesktop = environment("XDG_CURRENT_DESKTOP");
    session.sessionType = environment("XDG_SESSION_TYPE");
    session.x11Display = !environment("DISPLAY").empty();
    session.waylandDisplay = !environment("WAYLAND_DISPLAY").empty();
    return session;
}

Desktop chooseDesktop(const SessionInfo& session)
{
    // "ubuntu:GNOME", "GNOME-Classic:GNOME", "X-Cinnamon", "KDE", "XFCE",
    // "MATE"; Budgie and Pantheon draw GNOME's background keys too.
    struct Name {
        const char* entry;
        Desktop desktop;
    };
    static const Name names[] = {
        {"GNOME", Desktop::Gnome},        {"BUDGIE", Desktop::Gnome}, {"PANTHEON", Desktop::Gnome},
        {"KDE", Desktop::Plasma},         {"XFCE", Desktop::Xfce},    {"MATE", Desktop::Mate},
        {"X-CINNAMON", Desktop::Cinnamon}, {"CINNAMON", Desktop::Cinnamon},
    };
    for (const std::string& entry : split(session.currentDesktop, ':')) {
        const std::string name = upper(entry);
        for (const Name& known : names)
            if (name == known.entry)
                return known.desktop;
    }
    const bool wayland = session.waylandDisplay || upper(session.sessionType) == "WAYLAND";
    if (wayland)
        return Desktop::Portal;
    if (session.x11Display)
        return Desktop::X11Root;
    return Desktop::Unknown;
}

std::string desktopName(Desktop desktop, const SessionInfo& session)
{
    switch (desktop) {
    case Desktop::Gnome:
        return "GNOME";
    case Desktop::Plasma:
        return "KDE Plasma";
    case Desktop::Xfce:
        return "XFCE";
    case Desktop::Mate:
        return "MATE";
    case Desktop::Cinnamon:
        return "Cinnamon";
    case Desktop::X11Root:
        return session.currentDesktop.empty() ? "the X11 root window" : session.currentDesktop;
    case Desktop::Portal:
        return session.currentDesktop.empty() ? "this Wayland session" : session.currentDesktop;
    case Desktop::Unknown:
        break;
    }
    return session.currentDesktop.empty() ? "this session (no desktop found)" : session.currentDesktop;
}

std::string gvariantString(const std::string& text)
{
    std::string literal = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\')
            literal += '\\';
        literal += c;
    }
    return literal + "'";
}

std::string gvariantStringValue(const std::string& printed)
{
    const std::string text = trimmed(printed);
    if (text.size() < 2 || (text.front() != '\'' && text.front() != '"') || text.back() != text.front())
        return text;
    std::string value;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == '\\' && i + 2 < text.size())
            ++i;
        value += text[i];
    }
    return value;
}

std::string freshSpelling(const std::string& path, const std::string& shownNow)
{
    if (path != shownNow)
        return path;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return "./" + path;
    return path.substr(0, slash + 1) + "./" + path.substr(slash + 1);
}

std::optional<GsettingsPlace> gsettingsPlace(Desktop desktop)
{
    switch (desktop) {
    case Desktop::Gnome:
        return GsettingsPlace{"org.gnome.desktop.background", "picture-uri", true};
    case Desktop::Mate:
        return GsettingsPlace{"org.mate.background", "picture-filename", false};
    case Desktop::Cinnamon:
        return GsettingsPlace{"org.cinnamon.desktop.background", "picture-uri", true};
    default:
        return std::nullopt;
    }
}

std::vector<DesktopSetting> gsettingsWallpaper(Desktop desktop, const std::string& path, WallpaperStyle style)
{
    const std::optional<GsettingsPlace> place = gsettingsPlace(desktop);
    if (!place)
        return {};
    auto key = [&](const std::string& name, const std::string& value) {
        return DesktopSetting{{"gsettings", "set", place->schema, name, gvariantString(value)},
                              {"gsettings", "get", place->schema, name},
                              value,
                              true};
    };
    const std::string picture = place->pictureIsUri ? fileUri(path) : path;
    std::vector<DesktopSetting> settings{key(place->pictureKey, picture)};
    // GNOME shows the dark key in dark mode, and would keep its old picture.
    if (desktop == Desktop::Gnome)
        settings.push_back(key("picture-uri-dark", picture));
    settings.push_back(key("picture-options", style == WallpaperStyle::Tiled ? "wallpaper" : "centered"));
    return settings;
}

std::vector<std::string> xfceImageProperties(const std::string& listed, const std::vector<std::string>& monitorNames)
{
    const std::string suffix = "/last-image";
    std::vector<std::string> properties;
    std::set<std::string> monitors; // "/backdrop/screen0/monitorX"
    for (const std::string& raw : split(listed, '\n')) {
        const std::string line = trimmed(raw);
        if (line.size() <= suffix.size() || line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        properties.push_back(line);
        const size_t workspace = line.rfind("/workspace");
        if (workspace != std::string::npos)
            monitors.insert(line.substr(0, workspace));
    }
    // XFCE 4.18 names a monitor by its connector ("monitorHDMI-1"), older
    // versions by number; a desktop never configured has neither yet.
    std::vector<std::string> names = monitorNames;
    if (properties.empty())
        names.push_back("0");
    for (const std::string& name : names) {
        if (name.empty())
            continue;
        const std::string monitor = "/backdrop/screen0/monitor" + name;
        if (monitors.insert(monitor).second)
            properties.push_back(monitor + "/workspace0/last-image");
    }
    return properties;
}

std::vector<DesktopSetting> xfceWallpaper(const std::vector<std::string>& imageProperties, const std::string& path,
                                          WallpaperStyle style)
{
    // image-style: 1 centred, 2 tiled (XFCE 4.12 and later).
    const std::string styleValue = style == WallpaperStyle::Tiled ? "2" : "1";
    auto property = [](const std::string& name, const char* type, const std::string& value) {
        return DesktopSetting{{"xfconf-query", "-c", "xfce4-desktop", "-p", name, "-n", "-t", type, "-s", value},
                              {"xfconf-query", "-c", "xfce4-desktop", "-p", name},
                              value,
                              false};
    };
    std::vector<DesktopSetting> settings;
    for (const std::string& image : imageProperties) {
        const std::string base = image.substr(0, image.size() - std::string("last-image").size());
        settings.push_back(property(base + "image-style", "int", styleValue));
        settings.push_back(property(image, "string", path));
    }
    return settings;
}

std::string plasmaWallpaperScript(const std::string& path, WallpaperStyle style)
{
    std::string literal = "\"";
    for (char c : fileUri(path)) {
        if (c == '"' || c == '\\')
            literal += '\\';
        literal += c;
    }
    literal += '"';
    // FillMode 3 tiles, 6 centres the picture unscaled.
    const int fillMode = style == WallpaperStyle::Tiled ? 3 : 6;
    return formatted("var all = desktops();\n"
                     "for (var i = 0; i < all.length; i++) {\n"
                     "    var d = all[i];\n"
                     "    d.wallpaperPlugin = \"org.kde.image\";\n"
                     "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                     "    d.writeConfig(\"Image\", %s);\n"
                     "    d.writeConfig(\"FillMode\", %d);\n"
                     "}\n",
                     literal.c_str(), fillMode);
}

void recordWallpaper(SettingsFile& store, const WallpaperRecord& set, const std::optional<WallpaperRecord>& desktopShowed)
{
    std::string wallpaper = store.readText(registry::Wallpaper.section, registry::Wallpaper.name, kMissing);
    std::string tile = store.readText(registry::TileWallpaper);
    if (wallpaper == kMissing) {
        wallpaper = desktopShowed ? desktopShowed->path : std::string();
        tile = desktopShowed && desktopShowed->tiled ? "1" : "0";
    }
    // Setting our own file again keeps what was there before the first time.
    if (withoutDotSegments(wallpaper) != withoutDotSegments(set.path)) {
        store.writeText(registry::PrevWallpaper, wallpaper);
        store.writeText(registry::PrevTileWallpaper, tile);
    }
    store.writeText(registry::Wallpaper, set.path);
    store.writeText(registry::TileWallpaper, set.tiled ? "1" : "0");
}

std::optional<WallpaperRecord> previousWallpaper(const SettingsFile& store)
{
    const std::string path = store.readText(registry::PrevWallpaper.section, registry::PrevWallpaper.name, kMissing);
    if (path == kMissing || path.empty())
        return std::nullopt;
    const std::string tile = store.readText(registry::PrevTileWallpaper);
    return WallpaperRecord{path, tile.empty() || tile[0] != '0'};
}

void recordRestored(SettingsFile& store, const WallpaperRecord& restored)
{
    store.writeText(registry::Wallpaper, restored.path);
    store.writeText(registry::TileWallpaper, restored.tiled ? "1" : "0");
}

} // namespace pictorand
