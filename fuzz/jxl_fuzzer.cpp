// Feeds the JPEG XL reader (libjxl).
#include "codecs/jxl/jxl.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    (void)pictorand::readJpegXlFromMemory({data, size});
    return 0;
}
