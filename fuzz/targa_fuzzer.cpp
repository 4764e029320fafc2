// The Targa reader through a file and through memory; both must agree.

#include "codecs/targa/targa.h"
#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    fuzzing::MemoryFile file(data, size);
    std::string message, compression;
    ImageBlock fromFile = readTarga(file.path(), message, compression);
    std::string memoryMessage, memoryCompression;
    ImageBlock fromMemory = decodeTarga(std::span(data, size), memoryMessage, memoryCompression);
    if (bool(fromFile) != bool(fromMemory) || message != memoryMessage || compression != memoryCompression)
        std::abort();
    if (fromFile && (fromFile.size() != fromMemory.size() || std::memcmp(fromFile.data(), fromMemory.data(), fromFile.size()) != 0))
        std::abort();
    return 0;
}
