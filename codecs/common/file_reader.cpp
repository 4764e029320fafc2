#include "codecs/common/file_reader.h"

#include <sys/stat.h>

namespace pictorand {

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
