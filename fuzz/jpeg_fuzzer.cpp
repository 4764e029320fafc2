// Feeds the JPEG reader, full size and as a small preview, in colour, grey
// and quantised.
#include "codecs/jpeg/jpeg.h"
#include "fuzz/fuzz_support.h"

namespace {

// The largest frame any SOF marker in the input declares, in pixels. A frame
// of billions of pixels whose data has run out is decoded from made-up zero
// coefficients (with arithmetic coding that costs no warning the reader
// could stop on): correct, just slow, so such inputs are not fuzzed, as in
// libjpeg-turbo's own fuzz targets.
uint64_t largestFrame(const uint8_t* data, size_t size)
{
    uint64_t largest = 0;
    for (size_t i = 0; i + 9 < size; ++i) {
        if (data[i] != 0xFF || data[i + 1] < 0xC0 || data[i + 1] > 0xCF || data[i + 1] == 0xC4 || data[i + 1] == 0xC8
            || data[i + 1] == 0xCC)
            continue;
        uint64_t height = uint64_t(data[i + 5]) << 8 | data[i + 6];
        uint64_t width = uint64_t(data[i + 7]) << 8 | data[i + 8];
        if (width * height > largest)
            largest = width * height;
    }
    return largest;
}

constexpr uint64_t kMaxFuzzedPixels = uint64_t(1) << 22;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (largestFrame(data, size) > kMaxFuzzedPixels)
        return 0;
    pictorand::fuzzing::MemoryFile file(data, size);
    pictorand::JpegReadOptions options;
    // The last byte picks the options, so every path is reached.
    uint8_t selector = size ? data[size - 1] : 0;
    options.loadGreyscale = selector & 1;
    options.quantise256 = selector & 2;
    options.targetWidth = (selector & 4) ? 64 : 0;
    pictorand::fuzzing::applyFindings(pictorand::readJpeg(file.path(), options));
    return 0;
}
