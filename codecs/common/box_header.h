#pragma once
// The header of a box of the ISO base media file format, which HEIF, AVIF
// and the JPEG XL container share: a 32-bit size, the type, and when the
// size is 1 a 64-bit size after the type. Size 0 means to the end of what
// holds the box; what that is, is the caller's to say.

#include "codecs/common/span_reader.h"

#include <cstdint>
#include <optional>
#include <span>

namespace pictorand {

struct BoxHeader {
    uint32_t type = 0;
    uint64_t size = 0;       // the whole box's, header included; 0: to the end
    size_t headerSize = 0;   // 8, or 16 with a 64-bit size
};

// The header at the start of `bytes`; none when it is cut short or claims a
// size smaller than itself.
inline std::optional<BoxHeader> readBoxHeader(std::span<const uint8_t> bytes)
{
    SpanReader reader(bytes);
    BoxHeader header;
    header.size = reader.u32be();
    header.type = reader.u32be();
    const bool wide = header.size == 1;
    if (wide) {
        const uint64_t high = reader.u32be();
        header.size = high << 32 | reader.u32be();
    }
    header.headerSize = reader.position();
    if (!reader.ok() || ((wide || header.size != 0) && header.size < header.headerSize))
        return std::nullopt;
    return header;
}

} // namespace pictorand
