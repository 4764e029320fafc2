#pragma once
// Renaming that never destroys a file: the platform's own rename silently
// replaces a file that already bears the new name.

#include <string>

namespace pictorand {

// Renames `from` to `to` unless `to` exists. False (and nothing changed) when
// it exists or the rename fails.
bool renameWithoutReplacing(const std::string& from, const std::string& to);

} // namespace pictorand
