// Feeds the WebP reader from a file and from memory.
#include "codecs/webp/webp.h"
#include "codecs/common/library_pixels.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool limited = (pictorand::limitPixelsForFuzzing(pictorand::fuzzing::kFuzzMaxPixels), true);
    (void)limited;
    pictorand::fuzzing::MemoryFile file(data, size);
    pictorand::fuzzing::requireSameResult(pictorand::readWebp(file.path()),
                                          pictorand::readWebpFromMemory({data, size}));
    (void)pictorand::readWebpAnimationFromMemory({data, size}, pictorand::fuzzing::kFuzzAnimationLimits);
    return 0;
}
