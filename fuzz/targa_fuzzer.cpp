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
    if (fromFile.ok() != fromMemory.ok())
        std::abort();
    if (!fromFile) {
        if (fromFile.failure() != fromMemory.failure())
            std::abort();
        return 0;
    }
    const ImageBlock& a = fromFile->block;
    const ImageBlock& b = fromMemory->block;
    if (fromFile->compression != fromMemory->compression || a.size() != b.size()
        || std::memcmp(a.data(), b.data(), a.size()) != 0)
        std::abort();
    return 0;
}
