#include "codecs/iff/byterun1.h"

#include <algorithm>
#include <cstring>

namespace pictorand {

size_t BoundedByteReader::read(uint8_t* out, size_t count)
{
    size_t wanted = static_cast<size_t>(std::min<uint64_t>(count, m_remaining));
    size_t got = m_reader.read(out, wanted);
    m_remaining = got < wanted ? 0 : m_remaining - got;
    return got;
}

size_t BoundedByteReader::skip(size_t count)
{
    size_t wanted = static_cast<size_t>(std::min<uint64_t>(count, m_remaining));
    size_t got = m_reader.skip(wanted);
    m_remaining = got < wanted ? 0 : m_remaining - got;
    return got;
}

size_t decodeByteRun1Row(BoundedByteReader& source, std::span<uint8_t> row)
{
    size_t written = 0;
    while (written < row.size()) {
        int control = source.nextByte();
        if (control < 0)
            break;
        if (control < 128) {
            size_t count = static_cast<size_t>(control) + 1;
            size_t fits = std::min(count, row.size() - written);
            size_t got = source.read(row.data() + written, fits);
            written += got;
            if (got < fits)
                break;
            source.skip(count - fits);
        } else if (control > 128) {
            int value = source.nextByte();
            if (value < 0)
                break;
            size_t count = static_cast<size_t>(257 - control);
            size_t fits = std::min(count, row.size() - written);
            std::memset(row.data() + written, value, fits);
            written += fits;
        }
        // 128: no operation.
    }
    return written;
}

} // namespace pictorand
