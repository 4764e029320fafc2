// The Targa reader through a file and through memory; both must agree.

#include "codecs/targa/targa.h"
#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    fuzzing::MemoryFile file(data, size);
    Result<DecodedImage> fromFile = readTarga(file.path());
    Result<DecodedImage> fromMemory = decodeTarga(std::span(data, size));
    fuzzing::requireSameResult(fromFile, fromMemory);
    return 0;
}
