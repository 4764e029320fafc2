#pragma once
// A whole file as read-only bytes, mapped rather than copied: decoders of the
// simple formats walk the bytes with a SpanReader, and a 70 MB picture costs
// no read-ahead buffer of its own. Files that cannot be mapped (pipes, some
// special files) are read into a buffer instead.
// FIXME: a file cut short by another process while it is mapped raises
// SIGBUS on the next access past its new end; reading through a buffer
// would turn that into a short file.

#include "core/large_buffer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

class MappedFile {
public:
    MappedFile() = default;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    // False when the file cannot be opened or read.
    bool open(const std::string& path);

    std::span<const uint8_t> bytes() const { return {m_data, m_size}; }
    size_t size() const { return m_size; }

private:
    void release() noexcept;

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_mappedSize = 0; // non-zero when m_data is a mapping
    LargeBuffer m_copy;      // holds the bytes when the file could not be mapped
};

} // namespace pictorand
