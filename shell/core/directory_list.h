#pragma once
// The picture files of one directory in one of eight orders, and where the
// file on screen sits among them. The viewer steps through it with the four
// navigation commands; the image information reads its count and position.

#include <cstdint>
#include <string>
#include <vector>

namespace pictorand {

struct DirectoryEntry {
    std::string name;         // without the directory
    uint64_t size = 0;        // bytes
    int64_t modifiedNs = 0;   // last write, nanoseconds since the epoch
    bool hasStatus = false;   // size and date filled in (only the date and size orders need them)
};

// Orders 0 to 3: name, date, size, extension ascending; 4 to 7 the same
// descending (the `FileSortOrder` setting).
inline constexpr int kSortOrderCount = 8;

// True when a name's extension (after the last '.') is one of the format
// table's, in any case.
bool isPictureFileName(const std::string& name);

// Whether entry a comes before entry b in `order`; names and extensions
// compare with ASCII letters folded.
bool sortsBefore(const DirectoryEntry& a, const DirectoryEntry& b, int order);

// The regular files of `directory` whose names are picture names. A
// directory that cannot be read gives an empty list.
std::vector<DirectoryEntry> listPictureFiles(const std::string& directory, bool withStatus = true);

// What a step to the next or previous file does.
struct NavigationStep {
    enum class Kind { Load, AskToWrap };
    Kind kind = Kind::AskToWrap;
    int index = -1; // for Load
};
// From `index` (-1 when the file on screen is not listed) by +1 or -1 among
// `count` files: the neighbour, or the question whether to go round.
NavigationStep stepThrough(int index, int count, int direction);

inline constexpr const char* kNoMoreNext = "NEXT: No more graphic files in directory !\nJump to the first file ?";
inline constexpr const char* kNoMorePrevious =
    "PREVIOUS: No more graphic files in directory !\nJump to the last file ?";

class DirectoryList {
public:
    // Brings the list up to date for `directory`: read again when forced or
    // when the directory differs (exactly) from the one listed. The index
    // becomes that of `currentName`. True when it was read.
    bool rebuild(const std::string& directory, const std::string& currentName, bool force, int order);
    // After the file at `oldIndex` was deleted or moved away and the list
    // read again: Next goes to the file that followed it.
    void removedAt(int oldIndex);
    // Sorts in `order` and finds `currentName` again.
    void sort(int order, const std::string& currentName);
    // The position of the entry named exactly `name`, -1 when none.
    int find(const std::string& name) const;

    const std::string& directory() const { return m_directory; }
    const std::vector<DirectoryEntry>& entries() const { return m_entries; }
    int count() const { return static_cast<int>(m_entries.size()); }
    int index() const { return m_index; }
    void setIndex(int index) { m_index = index; }
    // directory/name of entry `index`; empty when out of range.
    std::string pathOf(int index) const;

private:
    std::string m_directory;
    std::vector<DirectoryEntry> m_entries;
    int m_index = 0;
};

} // namespace pictorand
