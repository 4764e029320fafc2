// The metafile player over hostile WMF bytes: whatever the records say,
// the walk ends, and every coordinate it hands a painter is finite and
// within the painter's reach.

#include "fuzz/metafile_fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pictorand::fuzzing::playAndCheckMetafile(std::span(data, size));
    return 0;
}
