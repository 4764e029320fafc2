// Feeds the TIFF page counter (its own file reads, no library).
#include "codecs/tiff/tiff.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pictorand::fuzzing::MemoryFile file(data, size);
    uint32_t offsets[pictorand::kTiffPageCapacity];
    pictorand::countTiffPages(file.path(), offsets, pictorand::kTiffPageCapacity);
    uint32_t few[3];
    pictorand::countTiffPages(file.path(), few, 3);
    return 0;
}
