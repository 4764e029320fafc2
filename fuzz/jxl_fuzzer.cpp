// Feeds the JPEG XL reader (libjxl).
#include "codecs/jxl/jxl.h"
#include "codecs/common/library_pixels.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool limited = (pictorand::limitPixelsForFuzzing(pictorand::fuzzing::kFuzzMaxPixels), true);
    (void)limited;
    (void)pictorand::readJpegXlFromMemory({data, size});
    pictorand::fuzzing::showFindings(pictorand::readJpegXlFromMemory({data, size}, {.sixteenBitSamples = true}));
    (void)pictorand::readJpegXlAnimationFromMemory({data, size}, pictorand::fuzzing::kFuzzAnimationLimits);
    return 0;
}
