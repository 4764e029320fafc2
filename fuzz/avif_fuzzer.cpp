// Feeds the AVIF reader (libavif), with its own turning and cropping.
#include "codecs/avif/avif.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    (void)pictorand::readAvifFromMemory({data, size});
    return 0;
}
