#include "codecs/common/file_reader.h"

#include "platform/file_access.h"

#include <string_view>
#include <sys/stat.h>

namespace pictorand {

OpenFile::OpenFile(const std::string& path, const char* mode)
{
    m_file = std::string_view(mode) == "rb" ? openStreamForReading(path) : std::fopen(path.c_str(), mode);
}

std::optional<uint64_t> OpenFile::size() const
{
    struct stat info {};
    if (!m_file || fstat(fileno(m_file), &info) != 0 || info.st_size < 0)
        return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

bool OpenFile::close()
{
    if (!m_file)
        return true;
    bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    return ok;
}

} // namespace pictorand
