#include "shell/core/file_associations.h"

#include "core/image_format.h"
#include "platform/settings_keys.h"
#include "shell/core/mime_apps.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace pictorand {

namespace {

// The registry store holds a key's unnamed default value under this name.
constexpr const char* kDefaultValue = "@";
constexpr const char* kClasses = "SOFTWARE\\Classes\\";
// What a key held before we first wrote it: "=value", or "-" for nothing.
constexpr const char* kPreviousValues = "Pictorand32\\PreviousValues";
constexpr const char* kPreviousDefaults = "Pictorand32\\PreviousDefaults";

// The formats added since the page's boxes were drawn (today's cameras and
// browsers), offered as one group: every format whose codec says so.
constexpr const char* kModernFormatsKey = "MODERN";

std::vector<const FormatInfo*> modernFormats()
{
    std::vector<const FormatInfo*> rows;
    for (const FormatInfo& row : formatTable())
        if (row.inModernFormatsGroup)
            rows.push_back(&row);
    return rows;
}

std::vector<const char*> modernTypes()
{
    std::vector<const char*> types;
    for (const FormatInfo* row : modernFormats())
        for (const char* type : row->mimeTypes)
            types.push_back(type);
    return types;
}

struct RegistryWrite {
    std::string key; // under SOFTWARE\Classes
    std::string value;
};

// What ticking a group writes to the registry store.
std::vector<RegistryWrite> writesFor(const AssociationGroup& group, bool thumbnailForBmp, const std::string& command)
{
    const std::string key = group.key;
    auto extension = [](const char* e) { return RegistryWrite{std::string(".") + e, kProgramClass}; };
    auto verbs = [&](const std::string& programClass, bool play) {
        std::vector<RegistryWrite> writes;
        if (play)
            writes.push_back({programClass + "\\shell\\play\\command", command});
        writes.push_back({programClass + "\\shell\\open\\command", command});
        return writes;
    };
    if (key == "JPG")
        return {extension("JPG"), extension("JPEG")};
    if (key == "TIF")
        return {extension("TIF"), extension("TIFF")};
    if (key == "RAS")
        return {extension("RAS"), extension("SUN")};
    if (key == "IFF")
        return {extension("IFF"), extension("LBM")};
    if (key == "BMP") {
        if (!thumbnailForBmp)
            return {extension("BMP")};
        return {{"Paint.Picture\\shell\\open\\command", command}, {"Paint.Picture\\DefaultIcon", "%1"},
                {".BMP", "Paint.Picture"}};
    }
    if (key == "ICO") {
        std::vector<RegistryWrite> writes = verbs("icofile", false);
        writes.push_back({"icofile\\DefaultIcon", "%1"});
        return writes;
    }
    if (key == "AVI")
        return verbs("AVIFile", true);
    if (key == "WAV")
        return verbs("SoundRec", true);
    if (key == "MID")
        return verbs("midfile", true);
    if (key == kModernFormatsKey) {
        std::vector<RegistryWrite> writes;
        for (const FormatInfo* row : modernFormats())
            for (std::string_view name : row->extensions)
                writes.push_back(extension(std::string(name).c_str()));
        return writes;
    }
    return {extension(group.key)};
}

std::string readPrevious(const SettingsFile& store, const char* section, const std::string& key)
{
    return store.readText(section, key, "");
}

// Takes a registry-store key: remembers what it held the first time.
void takeRegistryKey(SettingsFile& registry, const RegistryWrite& write)
{
    const std::string section = kClasses + write.key;
    if (readPrevious(registry, kPreviousValues, section).empty()) {
        const std::string old = registry.readText(section, kDefaultValue, "\x01");
        registry.writeText(kPreviousValues, section, old == "\x01" ? "-" : "=" + old);
    }
    registry.writeText(section, kDefaultValue, write.value);
}

// Gives a key back: what it held before we took it, unless someone else
// has changed it since.
void giveBackRegistryKey(SettingsFile& registry, const RegistryWrite& write)
{
    const std::string section = kClasses + write.key;
    const std::string previous = readPrevious(registry, kPreviousValues, section);
    if (previous.empty())
        return; // never ours
    if (registry.readText(section, kDefaultValue, "") == write.value) {
        if (previous == "-")
            registry.deleteKey(section, kDefaultValue);
        else
            registry.writeText(section, kDefaultValue, previous.substr(1));
    }
    registry.deleteKey(kPreviousValues, section);
}

bool ours(const std::string& desktopIds)
{
    // The list's first entry is the default.
    return desktopIds.substr(0, desktopIds.find(';')) == kDesktopEntryId;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// A desktop-specific list that names another default for one of `types`.
std::string overridingList(const std::string& mimeAppsPath, const std::vector<std::string>& types)
{
    const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
    if (!desktops || types.empty())
        return {};
    std::string remaining = desktops;
    while (!remaining.empty()) {
        const size_t colon = remaining.find(':');
        std::string desktop = remaining.substr(0, colon);
        remaining = colon == std::string::npos ? "" : remaining.substr(colon + 1);
        std::transform(desktop.begin(), desktop.end(), desktop.begin(), [](unsigned char c) { return std::tolower(c); });
        if (desktop.empty())
            continue;
        const std::string path = folderOf(mimeAppsPath) + "/" + desktop + "-mimeapps.list";
        const MimeAppsList list = MimeAppsList::read(path);
        for (const std::string& type : types)
            if (const std::string value = list.defaultFor(type); !value.empty() && !ours(value))
                return path;
    }
    return {};
}

// Desktop-entry quoting of one argument, then the escapes of a string value.
std::string execArgument(const std::string& argument)
{
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string quoted = argument;
    if (argument.find_first_of(reserved) != std::string::npos) {
        quoted = "\"";
        for (char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    }
    std::string escaped;
    for (char c : quoted) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '%')
            escaped += "%%";
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

const std::vector<AssociationGroup>& associationGroups()
{
    static const std::vector<AssociationGroup> groups = {
        {"JPG/JPEG", 1016, "JPG", {"image/jpeg"}},
        {"GIF", 1018, "GIF", {"image/gif"}},
        {"BMP", 1020, "BMP", {"image/bmp", "image/x-bmp"}},
        {"DIB", 1022, "DIB", {"image/bmp"}},
        {"RLE", 1024, "RLE", {"image/rle"}},
        {"PCX", 1026, "PCX", {"image/vnd.zbrush.pcx", "image/x-pcx"}},
        {"PNG", 1028, "PNG", {"image/png"}},
        {"TIF/TIFF", 1032, "TIF", {"image/tiff"}},
        {"PCD", 1033, "PCD", {"image/x-photo-cd"}},
        {"TGA", 1035, "TGA", {"image/x-tga"}},
        {"RAS/SUN", 1049, "RAS", {"image/x-sun-raster"}},
        {"ICO", 1051, "ICO", {"image/vnd.microsoft.icon", "image/x-icon"}},
        {"AVI", 1061, "AVI", {"video/x-msvideo", "video/vnd.avi"}},
        {"WAV", 1174, "WAV", {"audio/x-wav", "audio/vnd.wave"}},
        {"MID/RMI", 1175, "MID", {"audio/midi", "audio/x-midi"}},
        {"WMF", 1070, "WMF", {"image/wmf", "image/x-wmf"}},
        {"EMF", 1071, "EMF", {"image/emf", "image/x-emf"}},
        {"PBM", 1038, "PBM", {"image/x-portable-bitmap"}},
        {"PGM", 1040, "PGM", {"image/x-portable-graymap"}},
        {"PPM", 1042, "PPM", {"image/x-portable-pixmap"}},
        {"IFF/LBM", 1044, "IFF", {"image/x-ilbm", "image/x-iff"}},
        {"Modern formats", 1176, kModernFormatsKey, modernTypes()},
    };
    return groups;
}

std::string xdgFolder(const char* name, const char* fallback)
{
    if (const char* value = std::getenv(name); value && *value)
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + fallback;
}

std::string programCommand(const std::string& programPath) { return programPath + " %1"; }

std::string desktopEntryText(const std::string& programPath)
{
    std::string types;
    const auto add = [&types](const char* type) {
        if (types.find(std::string(type) + ";") == std::string::npos)
            types += std::string(type) + ";";
    };
    for (const AssociationGroup& group : associationGroups())
        for (const char* type : group.mimeTypes)
            add(type);
    // The types no group of the dialog offers are opened all the same.
    for (const FormatInfo& row : formatTable())
        for (const char* type : row.mimeTypes)
            add(type);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Pictorand32\n"
           "GenericName=Image Viewer\n"
           "Comment=View and convert pictures\n"
           "Exec=" + execArgument(programPath) + " %f\n"
           "Icon=pictorand32\n"
           "Terminal=false\n"
           "Categories=Graphics;Viewer;2DGraphics;RasterGraphics;\n"
           "MimeType=" + types + "\n";
}

namespace {

void writeProgramClass(AssociationPlaces& places)
{
    const std::string classKey = std::string(kClasses) + kProgramClass;
    places.registry.writeText(classKey, kDefaultValue, kProgramClass);
    places.registry.writeText(classKey + "\\shell\\open\\command", kDefaultValue, programCommand(places.programPath));
    places.registry.writeText(classKey + "\\DefaultIcon", kDefaultValue, places.programPath + ",0");
}

} // namespace

void refreshProgramClass(AssociationPlaces& places, const std::string& applicationsFolder)
{
    writeProgramClass(places);
    std::ifstream in(applicationsFolder + "/" + kDesktopEntryId, std::ios::binary);
    if (!in)
        return;
    const std::string present((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (present != desktopEntryText(places.programPath))
        registerProgramClass(places, applicationsFolder);
}

bool registerProgramClass(AssociationPlaces& places, const std::string& applicationsFolder)
{
    writeProgramClass(places);

    std::string folder;
    for (size_t at = 0; at != std::string::npos;) { // mkdir -p
        at = applicationsFolder.find('/', at + 1);
        folder = applicationsFolder.substr(0, at);
        mkdir(folder.c_str(), 0755);
    }
    const std::string path = applicationsFolder + "/" + kDesktopEntryId;
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << desktopEntryText(places.programPath);
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

AssociationOutcome applyAssociations(const std::vector<bool>& ticked, bool thumbnailForBmp, AssociationPlaces& places)
{
    AssociationOutcome outcome;
    const std::vector<AssociationGroup>& groups = associationGroups();
    const std::string command = programCommand(places.programPath);
    std::vector<std::string> takenTypes;
    for (size_t i = 0; i < groups.size(); ++i) {
        const AssociationGroup& group = groups[i];
        const bool want = i < ticked.size() && ticked[i];
        const bool had = places.settings.readInt(settings::ExtensionsSection, group.key, 0) != 0;
        // The BMP group's writes follow the thumbnail box as it was when
        // the group was taken.
        const bool thumbnail = std::string(group.key) == "BMP"
                                   ? (want ? thumbnailForBmp : places.settings.readInt(settings::UseThumbBmp) != 0)
                                   : false;
        const std::vector<RegistryWrite> writes = writesFor(group, thumbnail, command);
        if (!want && !had) {
            places.settings.writeText(settings::ExtensionsSection, group.key, "0");
            continue;
        }
        MimeAppsList list = MimeAppsList::read(places.mimeAppsPath);
        for (const char* type : group.mimeTypes) {
            if (want) {
                const std::string current = list.defaultFor(type);
                if (!ours(current)) {
                    places.registry.writeText(kPreviousDefaults, type, current.empty() ? "-" : "=" + current);
                    list.setDefault(type, std::string(kDesktopEntryId) + ";");
                }
                continue;
            }
            // Give back what no group that stays ticked still claims.
            bool claimed = false;
            for (size_t j = 0; j < groups.size(); ++j)
                if (j != i && j < ticked.size() && ticked[j])
                    for (const char* other : groups[j].mimeTypes)
                        claimed = claimed || std::string(other) == type;
            const std::string previous = places.registry.readText(kPreviousDefaults, type, "");
            if (claimed || !ours(list.defaultFor(type)))
                continue;
            if (previous.size() > 1 && previous[0] == '=')
                list.setDefault(type, previous.substr(1));
            else
                list.removeDefault(type);
        }
        std::string error;
        if (!list.write(places.mimeAppsPath, error)) {
            outcome.failures.push_back(std::string(group.box) + ": " + error);
            continue; // the settings keep what was there: nothing changed
        }
        for (const char* type : group.mimeTypes) {
            if (want)
                takenTypes.push_back(type);
            else
                places.registry.deleteKey(kPreviousDefaults, type);
        }
        for (const RegistryWrite& write : writes) {
            if (want)
                takeRegistryKey(places.registry, write);
            else
                giveBackRegistryKey(places.registry, write);
        }
        places.settings.writeText(settings::ExtensionsSection, group.key, want ? "1" : "0");
        if (std::string(group.key) == "BMP")
            places.settings.writeText(settings::UseThumbBmp, thumbnail ? "1" : "0");
    }
    outcome.overriddenBy = overridingList(places.mimeAppsPath, takenTypes);
    return outcome;
}

} // namespace pictorand
