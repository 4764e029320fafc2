#include "codecs/common/run_length.h"

namespace pictorand {

size_t encodePcxLine(std::span<const uint8_t> line, uint8_t* out)
{
    uint8_t* start = out;
    const size_t size = line.size();
    size_t position = 0;
    while (position < size) {
        uint8_t value = line[position];
        size_t run = 1;
        while (run < 63 && position + run < size && line[position + run] == value)
            ++run;
        if (run > 1 || value >= 0xC0) {
            *out++ = static_cast<uint8_t>(0xC0 + run);
            *out++ = value;
        } else {
            *out++ = value;
        }
        position += run;
    }
    return static_cast<size_t>(out - start);
}

} // namespace pictorand
