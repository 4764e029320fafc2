// The Sun raster reader through a file and through memory; both must agree.

#include "codecs/sunraster/sunraster.h"
#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <cstring>

namespace {
// A file that ends early repeats its last row down a block of up to 2 GiB;
// that only measures memory bandwidth.
bool tooBigToBother(const uint8_t* data, size_t size)
{
    if (size < 16)
        return false;
    auto word = [&](size_t at) { return (uint64_t(data[at]) << 24) | (data[at + 1] << 16) | (data[at + 2] << 8) | data[at + 3]; };
    return word(4) * word(8) * 4 > (uint64_t(16) << 20);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    if (tooBigToBother(data, size))
        return 0;
    fuzzing::MemoryFile file(data, size);
    Result<DecodedImage> fromFile = readSunRaster(file.path());
    Result<DecodedImage> fromMemory = decodeSunRaster(std::span(data, size));
    fuzzing::requireSameResult(fromFile, fromMemory);
    return 0;
}
