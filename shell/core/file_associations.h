#pragma once
// File-type associations on the freedesktop.org standards. Our desktop
// entry names the program and the MIME types it opens; ticking a group of
// extensions makes the entry the per-user default for the group's types in
// $XDG_CONFIG_HOME/mimeapps.list, and unticking it puts back whatever
// default was there before we took it. The settings file's Extensions
// section and the registry store keep the values they always had, so other
// tools that read them see the same answers.

#include "core/image_format.h"
#include "platform/program_name.h"
#include "platform/settings_file.h"

#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kProgramClass = kProgramCaption;
inline constexpr const char* kDesktopEntryId = "pictorand32.desktop";
// $NAME, or $HOME + `fallback` when it is unset or empty.
std::string xdgFolder(const char* name, const char* fallback);

// The Extensions page's boxes in their order, which is also the order they
// are applied in: the boxes the formats name (core/image_format.h,
// AssociationBox), each with its format's MIME types and extensions where it
// names none, then "Modern formats", which takes every format that joins
// that group.
const std::vector<AssociationBox>& associationGroups();

// "path %1", or with the path quoted as the desktop-entry rules require
// when it holds a blank or another reserved character.
std::string programCommand(const std::string& programPath);
// Our desktop entry, running `programPath` (quoted where needed).
std::string desktopEntryText(const std::string& programPath);

struct AssociationPlaces {
    SettingsFile& settings;
    SettingsFile& registry;        // the registry store
    std::string mimeAppsPath;      // $XDG_CONFIG_HOME/mimeapps.list
    std::string programPath;
};

// Writes the program class to the registry store and our desktop entry to
// `applicationsFolder` ($XDG_DATA_HOME/applications); false when the entry
// could not be written.
bool registerProgramClass(AssociationPlaces& places, const std::string& applicationsFolder);
// Once per run: the program class again, with the program's present path,
// and our desktop entry rewritten with it when the user has one (it exists
// only once associations were applied; a run never creates it unasked), so
// the files the user gave us follow the program when it moves.
void refreshProgramClass(AssociationPlaces& places, const std::string& applicationsFolder);

struct AssociationOutcome {
    std::vector<std::string> failures; // groups whose defaults could not be written
    // A desktop-specific list ($XDG_CURRENT_DESKTOP-mimeapps.list) beside
    // ours that names other defaults for some of our types: its path.
    std::string overriddenBy;
};

// Applies the Extensions page: `ticked[i]` for associationGroups()[i], and
// the "Use Thumbnail for BMPs" box. A group is recorded as taken only once
// its defaults are written.
AssociationOutcome applyAssociations(const std::vector<bool>& ticked, bool thumbnailForBmp, AssociationPlaces& places);

} // namespace pictorand
