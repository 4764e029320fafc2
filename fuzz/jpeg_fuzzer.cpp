// Feeds the JPEG reader, full size and as a small preview, in colour, grey
// and quantised.
#include "codecs/jpeg/jpeg.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (pictorand::fuzzing::largestJpegFrame(data, size) > pictorand::fuzzing::kMaxFuzzedJpegPixels)
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
