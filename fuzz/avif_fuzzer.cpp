// Feeds the AVIF reader (libavif), with its own turning and cropping, and
// its own walk of a sequence's boxes.
#include "codecs/avif/avif.h"
#include "codecs/avif/sequence_plays.h"
#include "codecs/common/library_pixels.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool limited = (pictorand::limitPixelsForFuzzing(pictorand::fuzzing::kFuzzMaxPixels), true);
    (void)limited;
    (void)pictorand::readAvifFromMemory({data, size});
    pictorand::fuzzing::showFindings(pictorand::readAvifFromMemory({data, size}, {.sixteenBitSamples = true}));
    (void)pictorand::readAvifAnimationFromMemory({data, size}, pictorand::fuzzing::kFuzzAnimationLimits);
    // The play count's box walk, also over files libavif refuses.
    (void)pictorand::avifSequencePlays({data, size});
    return 0;
}
