// Feeds the PNG reader from a file and from memory, and the APNG reader.
#include "codecs/png/png.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pictorand::fuzzing::MemoryFile file(data, size);
    pictorand::fuzzing::applyFindings(pictorand::readPng(file.path()));
    (void)pictorand::readPngFromMemory({data, size});
    (void)pictorand::readApngFromMemory({data, size}, pictorand::fuzzing::kFuzzAnimationLimits);
    pictorand::fuzzing::showFindings(pictorand::readPng(file.path(), {true}));
    return 0;
}
