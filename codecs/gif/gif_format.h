#pragma once
// Constants of the GIF file layout shared by the reader, scanner and writer.

#include <cstddef>
#include <cstdint>

namespace pictorand::gif {

inline constexpr size_t kHeaderSize = 13; // signature and logical screen descriptor
inline constexpr uint8_t kExtensionIntroducer = 0x21;
inline constexpr uint8_t kGraphicControlLabel = 0xF9;
inline constexpr uint8_t kImageSeparator = 0x2C;
inline constexpr uint8_t kTrailer = 0x3B;
inline constexpr uint8_t kColorTableFlag = 0x80;
inline constexpr uint8_t kInterlaceFlag = 0x40;
inline constexpr uint8_t kColorTableSizeMask = 0x07;

// Block depth for a colour table size field t (a table of 2^(t+1) entries).
inline int depthForTableSize(unsigned sizeField)
{
    return sizeField == 0 ? 1 : sizeField <= 3 ? 4 : 8;
}

// The reader and the scanner go through whole files, big ones mostly as data
// sub-blocks: a large read-ahead keeps the reads few.
inline constexpr size_t kReadAhead = 65536;

struct InterlacePass {
    int firstRow;
    int step;
};
inline constexpr InterlacePass kInterlacePasses[4] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};

} // namespace pictorand::gif
