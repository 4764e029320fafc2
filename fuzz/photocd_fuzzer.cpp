// The Photo CD image pack reader at a loading size picked from the input's
// length (mostly the small one: every run decodes a whole picture), and the
// overview reader when the file says it is an overview.

#include "codecs/photocd/photocd.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    fuzzing::MemoryFile file(data, size);
    Result<DecodedImage> picture = readPhotoCd(file.path(), size % 8 == 0 ? 2 : size % 8 == 1 ? 1 : 0);
    if (picture && picture->overviewPack)
        (void)readPhotoCdOverview(file.path(), 1 + 25 * static_cast<int>(size % 4));
    return 0;
}
