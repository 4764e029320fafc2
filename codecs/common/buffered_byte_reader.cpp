#include "codecs/common/buffered_byte_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace pictorand {

BufferedByteReader::BufferedByteReader(OpenFile& file, size_t bufferSize)
    : m_file(file.get())
    , m_buffer(new (std::nothrow) uint8_t[bufferSize])
    , m_bufferSize(bufferSize)
    , m_data(m_buffer.get())
{
    if (m_file) {
        const off_t start = ftello(m_file);
        m_base = start > 0 ? static_cast<uint64_t>(start) : 0;
    }
}

BufferedByteReader::BufferedByteReader(std::span<const uint8_t> bytes)
    : m_data(bytes.data())
    , m_count(bytes.size())
{
    // An empty span may carry a null pointer; point at something so that
    // operator bool still says the reader is usable.
    static const uint8_t nothing = 0;
    if (!m_data)
        m_data = &nothing;
}

bool BufferedByteReader::refill()
{
    if (!m_file || !m_buffer)
        return false;
    m_base += m_count;
    size_t got = std::fread(m_buffer.get(), 1, m_bufferSize, m_file);
    m_position = 0;
    m_count = got;
    return got > 0;
}

bool BufferedByteReader::seek(uint64_t offset)
{
    if (offset >= m_base && offset - m_base <= m_count) {
        m_position = static_cast<size_t>(offset - m_base);
        return true;
    }
    if (!m_file) {
        // Beyond the end of the bytes: nothing more to read.
        m_position = m_count;
        return false;
    }
    if (!m_buffer || offset > static_cast<uint64_t>(INT64_MAX) || fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    m_base = offset;
    m_position = 0;
    m_count = 0;
    return true;
}

size_t BufferedByteReader::read(uint8_t* out, size_t count)
{
    size_t done = 0;
    while (done < count) {
        if (m_position == m_count && !refill())
            break;
        size_t n = std::min(count - done, m_count - m_position);
        std::memcpy(out + done, m_data + m_position, n);
        m_position += n;
        done += n;
    }
    return done;
}

size_t BufferedByteReader::skip(size_t count)
{
    size_t done = 0;
    while (done < count) {
        if (m_position == m_count && !refill())
            break;
        size_t n = std::min(count - done, m_count - m_position);
        m_position += n;
        done += n;
    }
    return done;
}

} // namespace pictorand
