#pragma once
// A whole file read into memory in one go: decoders of the simple formats
// walk the bytes with a SpanReader. The bytes are copied rather than mapped,
// because a mapped file that another process cuts short would kill the
// program on the next access instead of reading as a short file.

#include "core/large_buffer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace pictorand {

class WholeFile {
public:
    // False when the file cannot be opened or read, or is a directory.
    bool open(const std::string& path);

    std::span<const uint8_t> bytes() const { return {m_buffer.data(), m_size}; }
    size_t size() const { return m_size; }

private:
    LargeBuffer m_buffer;
    size_t m_size = 0;
};

} // namespace pictorand
