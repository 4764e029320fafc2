#include "codecs/common/buffered_byte_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace pictorand {

BufferedByteReader::BufferedByteReader(OpenFile& file)
    : m_file(file.get())
    , m_buffer(new (std::nothrow) uint8_t[kBufferSize])
    , m_data(m_buffer.get())
{
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
    size_t got = std::fread(m_buffer.get(), 1, kBufferSize, m_file);
    m_position = 0;
    m_count = got;
    return got > 0;
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
