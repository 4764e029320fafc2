#include "codecs/gif/buffered_input.h"

#include <algorithm>
#include <cstring>

namespace pictorand {

BufferedInput::BufferedInput(std::FILE* file)
    : m_file(file)
    , m_buffer(new uint8_t[kBufferSize])
{
}

bool BufferedInput::refill()
{
    m_base += m_end;
    m_position = 0;
    m_end = 0;
    if (!m_file)
        return false;
    m_end = std::fread(m_buffer.get(), 1, kBufferSize, m_file);
    return m_end > 0;
}

size_t BufferedInput::read(uint8_t* out, size_t count)
{
    size_t done = 0;
    while (done < count) {
        if (m_position == m_end && !refill())
            break;
        size_t n = std::min(count - done, m_end - m_position);
        std::memcpy(out + done, m_buffer.get() + m_position, n);
        m_position += n;
        done += n;
    }
    return done;
}

bool BufferedInput::skip(size_t count)
{
    while (count > 0) {
        if (m_position == m_end && !refill())
            return false;
        size_t n = std::min(count, m_end - m_position);
        m_position += n;
        count -= n;
    }
    return true;
}

bool BufferedInput::seek(uint64_t offset)
{
    if (offset >= m_base && offset <= m_base + m_end) {
        m_position = static_cast<size_t>(offset - m_base);
        return true;
    }
    if (!m_file || offset > static_cast<uint64_t>(INT64_MAX) || fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0)
        return false;
    m_base = offset;
    m_position = 0;
    m_end = 0;
    return true;
}

bool BufferedInput::atEnd()
{
    return m_position == m_end && !refill();
}

} // namespace pictorand
