// The Photo CD image pack reader at a loading size picked from the input's
// length, and the overview reader when the file says it is an overview.

#include "codecs/photocd/photocd.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    fuzzing::MemoryFile file(data, size);
    std::string message;
    bool overview = false;
    ImageBlock block = readPhotoCd(file.path(), static_cast<int>(size % 3), &overview, message);
    if (overview) {
        std::string overviewMessage;
        ImageBlock sheet = readPhotoCdOverview(file.path(), 1 + 25 * static_cast<int>(size % 4), false, overviewMessage);
    }
    return 0;
}
