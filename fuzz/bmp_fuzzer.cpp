// The BMP reader, through a file and through memory. Both must agree; a
// block that decodes is written out again, which reads all of it.

#include "codecs/bmp/bmp.h"
#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    fuzzing::MemoryFile file(data, size);
    Result<DecodedImage> fileRead = readBmp(file.path());
    Result<DecodedImage> memoryRead = readBmpFromMemory(std::span(data, size));
    if (fileRead.ok() != memoryRead.ok())
        std::abort();
    if (!fileRead) {
        if (fileRead.failure() != memoryRead.failure())
            std::abort();
        return 0;
    }
    if (fileRead->compression != memoryRead->compression)
        std::abort();
    const ImageBlock& fromFile = fileRead->block;
    const ImageBlock& fromMemory = memoryRead->block;
    // Blocks can be huge and mostly untouched; comparing all of one would
    // only fault in zero pages, so look at the first 16 MiB.
    size_t compared = std::min<size_t>(fromFile.size(), size_t(16) << 20);
    if (fromFile.size() != fromMemory.size() || std::memcmp(fromFile.data(), fromMemory.data(), compared) != 0)
        std::abort();
    // Hostile headers can ask for blocks of up to 2 GiB that the data never
    // touches; writing those out would only measure the disk.
    if (fromFile.size() <= (size_t(1) << 20)) {
        (void)writeBmp("/dev/null", fromFile);
    }
    return 0;
}
