#include "platform/settings_file.h"

#include "platform/paths.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pictorand {

namespace {

std::string_view trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::optional<std::string> readWholeFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    std::string text;
    char chunk[8192];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    std::fclose(file);
    return text;
}

struct IniLines {
    std::vector<std::string> lines; // without line ends
    std::string lineEnd = "\n";
};

IniLines splitLines(const std::string& text)
{
    IniLines ini;
    if (text.find("\r\n") != std::string::npos)
        ini.lineEnd = "\r\n";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ini.lines.push_back(std::move(line));
        start = end + 1;
    }
    return ini;
}

// "[name]" lines give the section name.
std::optional<std::string_view> sectionName(std::string_view line)
{
    line = trim(line);
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    size_t close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(line.substr(1, close - 1));
}

// The key of a "key=value" line, if it is one.
std::optional<std::string_view> keyName(std::string_view line)
{
    std::string_view trimmed = trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[')
        return std::nullopt;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return trim(line.substr(0, equals));
}

struct Location {
    std::optional<size_t> sectionLine;
    std::optional<size_t> keyLine;
    size_t lastLineOfSection = 0; // last non-blank line belonging to the section
};

Location locate(const IniLines& ini, std::string_view section, std::string_view key)
{
    Location where;
    bool inSection = false;
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        if (auto name = sectionName(ini.lines[i])) {
            if (inSection)
                break; // only the first section of that name counts
            inSection = equalsIgnoringCase(*name, section);
            if (inSection) {
                where.sectionLine = i;
                where.lastLineOfSection = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!trim(ini.lines[i]).empty())
            where.lastLineOfSection = i;
        if (auto name = keyName(ini.lines[i]); name && equalsIgnoringCase(*name, key)) {
            where.keyLine = i;
            break;
        }
    }
    return where;
}

std::optional<std::string> valueOf(const IniLines& ini, std::string_view section, std::string_view key)
{
    Location where = locate(ini, section, key);
    if (!where.keyLine)
        return std::nullopt;
    const std::string& line = ini.lines[*where.keyLine];
    std::string_view value = trim(std::string_view(line).substr(line.find('=') + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// What identifies one version of the file on disk. Writes replace the file
// by a rename, so the inode alone changes with each of ours; size and times
// catch an editor that rewrites it in place.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileStamp of(const std::string& path)
    {
        FileStamp stamp;
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return stamp;
        stamp.exists = true;
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modified = info.st_mtim;
        stamp.changed = info.st_ctim;
        return stamp;
    }
    bool operator==(const FileStamp& other) const
    {
        return exists == other.exists && device == other.device && inode == other.inode && size == other.size
            && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec
            && changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// Holds an exclusive advisory lock on "<settings>.lock" while alive.
class FileLock {
public:
    explicit FileLock(const std::string& path)
    {
        m_fd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

bool replaceFile(const std::string& path, const std::string& text)
{
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            ::unlink(name.data());
            return false;
        }
        written += static_cast<size_t>(n);
    }
    ::fchmod(fd, 0644);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(name.data());
        return false;
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        ::unlink(name.data());
        return false;
    }
    return true;
}

// Applies `change` to the file's lines under the lock and writes the result.
template <typename Change>
bool modify(const std::string& path, Change change)
{
    makeDirectories(directoryOf(path).empty() ? std::string(".") : directoryOf(path));
    FileLock lock(path);
    if (!lock.held())
        return false;
    IniLines ini = splitLines(readWholeFile(path).value_or(std::string()));
    if (!change(ini))
        return true; // nothing to do
    std::string text;
    for (const std::string& line : ini.lines)
        text += line + ini.lineEnd;
    return replaceFile(path, text);
}

} // namespace

struct SettingsFile::Parsed {
    std::mutex mutex;
    bool valid = false;
    FileStamp stamp;
    IniLines ini;

    std::optional<std::string> lookUp(const std::string& path, std::string_view section, std::string_view key)
    {
        std::lock_guard<std::mutex> lock(mutex);
        FileStamp now = FileStamp::of(path);
        if (!valid || !(now == stamp)) {
            // Stamp first: a change made while we read shows as a new stamp
            // at the next look-up and is read then.
            stamp = now;
            ini = splitLines(readWholeFile(path).value_or(std::string()));
            valid = true;
        }
        return valueOf(ini, section, key);
    }
};

std::string expandSettingDefault(std::string_view defaultValue)
{
    constexpr std::string_view temp = "$TEMP";
    if (defaultValue.substr(0, temp.size()) != temp)
        return std::string(defaultValue);
    std::string folder = tempDirectory(); // ends with '/'
    std::string_view rest = defaultValue.substr(temp.size());
    if (rest.empty())
        folder.pop_back();
    else if (rest.front() == '/')
        rest.remove_prefix(1);
    return folder + std::string(rest);
}

SettingsFile::SettingsFile()
    : m_path(configDirectory() + "/" + kSettingsFileName)
    , m_parsed(std::make_shared<Parsed>())
{
}

SettingsFile::SettingsFile(std::string path)
    : m_path(std::move(path))
    , m_parsed(std::make_shared<Parsed>())
{
}

int SettingsFile::readInt(std::string_view section, std::string_view key, int defaultValue) const
{
    auto value = m_parsed->lookUp(m_path, section, key);
    if (!value)
        return defaultValue;
    // Like the platform's profile reader: optional sign, then leading digits;
    // anything else reads as 0.
    std::string_view text = *value;
    bool negative = !text.empty() && text.front() == '-';
    if (negative || (!text.empty() && text.front() == '+'))
        text.remove_prefix(1);
    long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        number = number * 10 + (c - '0');
        if (number > 0x7FFFFFFFLL)
            number = 0x7FFFFFFFLL;
    }
    return static_cast<int>(negative ? -number : number);
}

std::string SettingsFile::readText(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    return m_parsed->lookUp(m_path, section, key).value_or(std::string(defaultValue));
}

bool SettingsFile::writeText(std::string_view section, std::string_view key, std::string_view value)
{
    std::string line = std::string(key) + "=" + std::string(value);
    return modify(m_path, [&](IniLines& ini) {
        Location where = locate(ini, section, key);
        if (where.keyLine) {
            if (ini.lines[*where.keyLine] == line)
                return false;
            ini.lines[*where.keyLine] = line;
        } else if (where.sectionLine) {
            ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(where.lastLineOfSection + 1), line);
        } else {
            if (!ini.lines.empty() && !trim(ini.lines.back()).empty())
                ini.lines.emplace_back();
            ini.lines.push_back("[" + std::string(section) + "]");
            ini.lines.push_back(line);
        }
        return true;
    });
}

bool SettingsFile::writeInt(std::string_view section, std::string_view key, int value)
{
    return writeText(section, key, std::to_string(value));
}

bool SettingsFile::deleteKey(std::string_view section, std::string_view key)
{
    return modify(m_path, [&](IniLines& ini) {
        Location where = locate(ini, section, key);
        if (!where.keyLine)
            return false;
        ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(*where.keyLine));
        return true;
    });
}

int SettingsFile::readInt(const SettingKey& key) const
{
    int fallback = 0;
    std::string_view text = key.defaultValue;
    std::from_chars(text.data(), text.data() + text.size(), fallback);
    return readInt(key.section, key.name, fallback);
}

std::string SettingsFile::readText(const SettingKey& key) const
{
    return readText(key.section, key.name, expandSettingDefault(key.defaultValue));
}

} // namespace pictorand
