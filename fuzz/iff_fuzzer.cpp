// The IFF reader over one file.

#include "codecs/iff/iff.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    fuzzing::MemoryFile file(data, size);
    Result<DecodedImage> read = readIff(file.path());
    return 0;
}
