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

std::optional<std::vector<uint8_t>> readWholeFile(const std::string& path, uint64_t maxBytes)
{
    OpenFile file(path, "rb");
    if (!file)
        return std::nullopt;
    auto size = file.size();
    if (!size || *size > maxBytes)
        return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(*size));
    size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(got);
    return bytes;
}

} // namespace pictorand
