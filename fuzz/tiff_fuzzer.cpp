// Feeds the TIFF page reader every page the page counter finds.
#include "codecs/common/library_pixels.h"
#include "codecs/tiff/tiff.h"
#include "fuzz/fuzz_support.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool limited = (pictorand::limitPixelsForFuzzing(pictorand::fuzzing::kFuzzMaxPixels), true);
    (void)limited;
    pictorand::fuzzing::MemoryFile file(data, size);
    uint32_t offsets[pictorand::kTiffPageCapacity];
    int pages = pictorand::countTiffPages(file.path(), offsets, pictorand::kTiffPageCapacity);
    pictorand::fuzzing::applyFindings(pictorand::readTiffPage(file.path(), 0));
    pictorand::fuzzing::showFindings(pictorand::readTiffPage(file.path(), 0, true));
    pictorand::fuzzing::showFindings(pictorand::readTiffPage(file.path(), 0, false, true));
    for (int page = 1; page < std::min(pages, 4); ++page)
        (void)pictorand::readTiffPage(file.path(), offsets[page]);
    return 0;
}
