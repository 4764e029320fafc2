// Packed bitmaps as the clipboard hands them over: the file header put in
// front must point inside the bytes, keep them as they were, and what the
// reader makes of the result is checked as any file.

#include "codecs/bmp/bmp.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    Result<std::vector<uint8_t>> file = bmpFileFromDib(std::span(data, size));
    if (!file)
        return 0;
    const std::vector<uint8_t>& bytes = *file;
    const uint32_t pixelOffset = uint32_t(bytes[10]) | uint32_t(bytes[11]) << 8 | uint32_t(bytes[12]) << 16
                                 | uint32_t(bytes[13]) << 24;
    if (bytes.size() != size + 14 || pixelOffset > bytes.size() || std::memcmp(bytes.data() + 14, data, size) != 0)
        std::abort();
    Result<DecodedImage> read = readBmpFromMemory(bytes);
    if (read && !read->block.isConsistent())
        std::abort();
    return 0;
}
