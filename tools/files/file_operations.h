#pragma once
// Copying, moving and deleting the file on screen so that nothing the user
// had is lost: a copy lands under its name only when complete, a move lets
// go of the source only after the copy was synced and checked, and a delete
// goes to the desktop trash (the freedesktop.org layout) so it can be undone.

#include "core/messages.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pictorand {

inline constexpr const char* kErrorCopyingFile = "Error copying file !";
inline constexpr const char* kCantDeleteFile = "Can't delete this file !";

// True when both names lead to the same file (device and inode), however
// they are spelt. False when either does not exist.
bool isSameFile(const std::string& a, const std::string& b);

// The size in bytes; nothing when the file cannot be examined.
std::optional<uint64_t> fileSize(const std::string& path);

enum class TransferStatus {
    Done,
    SameFile,         // source and destination are one file: refused, nothing touched
    CopyFailed,       // the destination is as it was; the source untouched
    SourceNotDeleted, // a move's copy is complete but the source remains
};

// Copies `source` to `destination`, replacing a file there only once the
// new copy is complete, synced and of the source's size.
TransferStatus copyFileSafely(const std::string& source, const std::string& destination);

// Moves by renaming within a file system; across file systems by a safe
// copy, after which the source is deleted.
TransferStatus moveFileSafely(const std::string& source, const std::string& destination);

enum class TrashStatus {
    Trashed,
    NoTrash, // the file's file system has no usable trash: nothing done
    Failed,  // the file could not be moved there: nothing done
};

struct TrashOutcome {
    TrashStatus status = TrashStatus::Failed;
    std::string trashedPath; // where the file now is
    std::string infoPath;    // its .trashinfo
};

// The trash for `path`: the home trash ($XDG_DATA_HOME/Trash) when the file
// lives on the home trash's file system, else $topdir/.Trash/$uid (when
// $topdir/.Trash is a sticky directory, not a link) or $topdir/.Trash-$uid.
TrashOutcome moveToTrash(const std::string& path);

// "Path=" of a .trashinfo file: bytes outside the URL-safe set escaped as %XX.
std::string trashInfoEscape(const std::string& path);

} // namespace pictorand
