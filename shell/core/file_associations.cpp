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
// browsers), offered as one box after the others: every format whose codec
// says so.
AssociationBox modernFormatsBox()
{
    AssociationBox box{.position = 0, .text = "Modern formats", .controlId = 1176, .key = "MODERN"};
    for (const FormatInfo& row : formatTable())
        if (row.inModernFormatsGroup) {
            box.mimeTypes.insert(box.mimeTypes.end(), row.mimeTypes.begin(), row.mimeTypes.end());
            box.extensions.insert(box.extensions.end(), row.extensions.begin(), row.extensions.end());
        }
    return box;
}

struct RegistryWrite {
    std::string key; // under SOFTWARE\Classes
    std::string value;
};

// What ticking a box writes to the registry store: its class's verbs and
// icon, then its extensions.
std::vector<RegistryWrite> writesFor(const AssociationBox& box, bool thumbnailForBmp, const std::string& command)
{
    std::vector<RegistryWrite> writes;
    const bool thumbnail = thumbnailForBmp && box.thumbnailClass;
    const char* boxClass = thumbnail ? box.thumbnailClass : box.ownClass;
    if (boxClass) {
        const std::string verbs = std::string(boxClass) + "\\shell\\";
        if (box.playVerb)
            writes.push_back({verbs + "play\\command", command});
        writes.push_back({verbs + "open\\command", command});
        if (thumbnail || box.fileIsIcon)
            writes.push_back({std::string(boxClass) + "\\DefaultIcon", "%1"});
    }
    for (std::string_view extension : box.extensions)
        writes.push_back({"." + std::string(extension), boxClass ? boxClass : kProgramClass});
    return writes;
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

const std::vector<AssociationBox>& associationGroups()
{
    static const std::vector<AssociationBox> boxes = [] {
        std::vector<AssociationBox> found;
        for (const FormatInfo& row : formatTable())
            for (AssociationBox box : row.associationBoxes) {
                // A box says only what differs from its format's.
                if (box.mimeTypes.empty())
                    box.mimeTypes = row.mimeTypes;
                if (box.extensions.empty() && !box.ownClass)
                    box.extensions = row.extensions;
                found.push_back(std::move(box));
            }
        std::sort(found.begin(), found.end(),
                  [](const AssociationBox& a, const AssociationBox& b) { return a.position < b.position; });
        found.push_back(modernFormatsBox());
        found.back().position = static_cast<int>(found.size());
        return found;
    }();
    return boxes;
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
    for (const AssociationBox& group : associationGroups())
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
    const std::vector<AssociationBox>& groups = associationGroups();
    const std::string command = programCommand(places.programPath);
    std::vector<std::string> takenTypes;
    for (size_t i = 0; i < groups.size(); ++i) {
        const AssociationBox& group = groups[i];
        const bool want = i < ticked.size() && ticked[i];
        const bool had = places.settings.readInt(settings::ExtensionsSection, group.key, 0) != 0;
        // The BMP box's writes follow the thumbnail box as it was when the
        // box was taken.
        const bool thumbnail = group.thumbnailClass
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
            outcome.failures.push_back(std::string(group.text) + ": " + error);
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
        if (group.thumbnailClass)
            places.settings.writeText(settings::UseThumbBmp, thumbnail ? "1" : "0");
    }
    outcome.overriddenBy = overridingList(places.mimeAppsPath, takenTypes);
    return outcome;
}

} // namespace pictorand
