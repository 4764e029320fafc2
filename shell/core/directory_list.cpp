#include "shell/core/directory_list.h"

#include "core/image_format.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace pictorand {

namespace {

char foldAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string upperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = foldAscii(c);
    return out;
}

// <0, 0, >0 as a compares to b with ASCII letters folded.
int compareFolded(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(foldAscii(a[i]));
        const unsigned char y = static_cast<unsigned char>(foldAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view extensionOf(std::string_view name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

const std::set<std::string, std::less<>>& pictureExtensions()
{
    static const std::set<std::string, std::less<>> extensions = [] {
        std::set<std::string, std::less<>> all;
        for (const FormatInfo& row : formatTable())
            for (std::string_view extension : row.extensions)
                all.insert(std::string(extension));
        return all;
    }();
    return extensions;
}

int compareInOrder(const DirectoryEntry& a, const DirectoryEntry& b, int ascendingOrder)
{
    switch (ascendingOrder) {
    case 1:
        return a.modifiedNs == b.modifiedNs ? 0 : (a.modifiedNs < b.modifiedNs ? -1 : 1);
    case 2:
        return a.size == b.size ? 0 : (a.size < b.size ? -1 : 1);
    case 3:
        return compareFolded(extensionOf(a.name), extensionOf(b.name));
    default:
        return compareFolded(a.name, b.name);
    }
}

} // namespace

bool isPictureFileName(const std::string& name)
{
    const std::string_view extension = extensionOf(name);
    if (extension.size() < 2)
        return false;
    return pictureExtensions().count(upperAscii(extension.substr(1))) != 0;
}

bool sortsBefore(const DirectoryEntry& a, const DirectoryEntry& b, int order)
{
    if (order < 0 || order >= kSortOrderCount)
        order = 0;
    const int compared = compareInOrder(a, b, order % 4);
    return order < 4 ? compared < 0 : compared > 0;
}

namespace {

void fillStatus(DirectoryEntry& listed, const struct stat& status)
{
    listed.size = static_cast<uint64_t>(status.st_size);
    listed.modifiedNs = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    listed.hasStatus = true;
}

bool orderNeedsStatus(int order) { return order % 4 == 1 || order % 4 == 2; }

} // namespace

std::vector<DirectoryEntry> listPictureFiles(const std::string& directory, bool withStatus)
{
    std::vector<DirectoryEntry> entries;
    DIR* stream = opendir(directory.c_str());
    if (!stream)
        return entries;
    const int fd = dirfd(stream);
    // One pass, the vector growing as it goes: a file created while the
    // directory is read just joins the list.
    while (const dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (entry->d_type == DT_DIR || !isPictureFileName(name))
            continue;
        DirectoryEntry listed;
        listed.name = name;
        // The directory says which entries are regular files; a stat each
        // (most of the time a listing takes) is needed only for the sizes
        // and dates, and for links, which count as what they point at.
        if (withStatus || entry->d_type != DT_REG) {
            struct stat status {};
            if (fstatat(fd, entry->d_name, &status, 0) != 0 || !S_ISREG(status.st_mode))
                continue;
            fillStatus(listed, status);
        }
        entries.push_back(std::move(listed));
    }
    closedir(stream);
    return entries;
}

NavigationStep stepThrough(int index, int count, int direction)
{
    const int target = index + direction;
    if (direction > 0 ? target < count : target >= 0)
        return {NavigationStep::Kind::Load, target};
    return {NavigationStep::Kind::AskToWrap, -1};
}

bool DirectoryList::rebuild(const std::string& directory, const std::string& currentName, bool force, int order)
{
    if (directory == m_directory && !force)
        return false;
    m_directory = directory;
    m_entries = listPictureFiles(directory, orderNeedsStatus(order));
    sort(order, currentName);
    return true;
}

void DirectoryList::removedAt(int oldIndex)
{
    if (count() > 0)
        m_index = count() == 1 ? -1 : oldIndex - 1;
}

void DirectoryList::sort(int order, const std::string& currentName)
{
    if (orderNeedsStatus(order)) {
        for (DirectoryEntry& entry : m_entries) {
            struct stat status {};
            if (!entry.hasStatus && stat(pathOf(static_cast<int>(&entry - m_entries.data())).c_str(), &status) == 0)
                fillStatus(entry, status);
        }
    }
    // Readdir's order is arbitrary; names break ties so that equal dates and
    // sizes step in a stable, predictable order.
    std::sort(m_entries.begin(), m_entries.end(), [order](const DirectoryEntry& a, const DirectoryEntry& b) {
        if (sortsBefore(a, b, order))
            return true;
        if (sortsBefore(b, a, order))
            return false;
        return a.name < b.name;
    });
    m_index = find(currentName);
}

int DirectoryList::find(const std::string& name) const
{
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].name == name)
            return static_cast<int>(i);
    return -1;
}

std::string DirectoryList::pathOf(int index) const
{
    if (index < 0 || index >= count())
        return {};
    std::string path = m_directory;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + m_entries[static_cast<size_t>(index)].name;
}

} // namespace pictorand
