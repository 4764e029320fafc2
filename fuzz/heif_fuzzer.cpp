// Feeds the HEIC reader (libheif), which also reads AV1 files of the generic
// brand.
#include "codecs/heif/heif.h"
#include "codecs/common/library_pixels.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool limited = (pictorand::limitPixelsForFuzzing(pictorand::fuzzing::kFuzzMaxPixels), true);
    (void)limited;
    (void)pictorand::readHeifFromMemory({data, size});
    pictorand::fuzzing::showFindings(pictorand::readHeifFromMemory({data, size}, {.sixteenBitSamples = true}));
    return 0;
}
