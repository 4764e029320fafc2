#include "shell/core/mime_apps.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pictorand {

namespace {

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Calls `visit(start, end, section)` for each line, `section` being the
// group header the line is under (the header's own line included).
template <typename Visit>
void forEachLine(const std::string& text, Visit visit)
{
    std::string section;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = trimmed(text.substr(start, end - start));
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
            section = line.substr(1, line.size() - 2);
        if (!visit(start, end, section, line))
            return;
        start = end + 1;
    }
}

} // namespace

MimeAppsList MimeAppsList::read(const std::string& path)
{
    MimeAppsList list;
    std::ifstream in(path, std::ios::binary);
    if (in) {
        std::ostringstream content;
        content << in.rdbuf();
        list.m_text = content.str();
    }
    return list;
}

MimeAppsList::Line MimeAppsList::findKey(const std::string& key) const
{
    Line found;
    forEachLine(m_text, [&](size_t start, size_t end, const std::string& section, const std::string& line) {
        if (section != kDefaultApplicationsSection || line.empty() || line.front() == '#' || line.front() == '[')
            return true;
        const size_t equals = line.find('=');
        if (equals != std::string::npos && trimmed(line.substr(0, equals)) == key) {
            found = {start, end};
            return false;
        }
        return true;
    });
    return found;
}

size_t MimeAppsList::sectionEnd() const
{
    size_t after = std::string::npos;
    forEachLine(m_text, [&](size_t, size_t end, const std::string& section, const std::string& line) {
        if (section == kDefaultApplicationsSection && !line.empty())
            after = end;
        return true;
    });
    return after;
}

std::string MimeAppsList::defaultFor(const std::string& mimeType) const
{
    const Line line = findKey(mimeType);
    if (line.start == std::string::npos)
        return {};
    const std::string text = m_text.substr(line.start, line.end - line.start);
    return trimmed(text.substr(text.find('=') + 1));
}

void MimeAppsList::setDefault(const std::string& mimeType, const std::string& desktopIds)
{
    const std::string entry = mimeType + "=" + desktopIds;
    if (const Line line = findKey(mimeType); line.start != std::string::npos) {
        m_text.replace(line.start, line.end - line.start, entry);
        return;
    }
    if (const size_t end = sectionEnd(); end != std::string::npos) {
        m_text.insert(end, "\n" + entry);
        return;
    }
    if (!m_text.empty() && m_text.back() != '\n')
        m_text += '\n';
    if (!m_text.empty())
        m_text += '\n';
    m_text += "[" + std::string(kDefaultApplicationsSection) + "]\n" + entry + "\n";
}

void MimeAppsList::removeDefault(const std::string& mimeType)
{
    const Line line = findKey(mimeType);
    if (line.start == std::string::npos)
        return;
    m_text.erase(line.start, std::min(m_text.size(), line.end + 1) - line.start);
}

bool MimeAppsList::write(const std::string& path, std::string& error) const
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string temporary = folder + "/.mimeapps.list.XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // Keep the old file's permissions (mkstemp makes 0600).
    struct stat old{};
    fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    size_t written = 0;
    bool ok = true;
    while (written < m_text.size()) {
        const ssize_t n = ::write(fd, m_text.data() + written, m_text.size() - written);
        if (n <= 0) {
            ok = false;
            break;
        }
        written += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    const int savedErrno = errno;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
        error = std::strerror(ok ? errno : savedErrno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace pictorand
