// Feeds the PNG reader from a file and from memory.
#include "codecs/png/png.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pictorand::fuzzing::MemoryFile file(data, size);
    std::string message;
    pictorand::ImageBlock block = pictorand::readPng(file.path(), message);
    pictorand::ImageBlock fromMemory = pictorand::readPngFromMemory({data, size}, message);
    return 0;
}
