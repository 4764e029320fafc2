// Feeds the GIF frame scanner with a small capacity, so that both offset
// lists overflow often; the guard entries after them must stay untouched.

#include "codecs/gif/gif.h"
#include "fuzz/fuzz_support.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pictorand::fuzzing::MemoryFile file(data, size);
    constexpr int kCapacity = 4;
    constexpr uint32_t kGuard = 0xDEADBEEF;
    std::vector<uint32_t> controls(kCapacity + 1, 0);
    std::vector<uint32_t> images(kCapacity + 1, 0);
    controls[kCapacity] = kGuard;
    images[kCapacity] = kGuard;
    int width = 0;
    int height = 0;
    int count = pictorand::scanGifFile(file.path(), controls.data(), images.data(), kCapacity, width, height).takeOr(0);
    if (count > kCapacity || controls[kCapacity] != kGuard || images[kCapacity] != kGuard || width < 0 || height < 0
        || width > 2 * 65535 || height > 2 * 65535)
        std::abort();
    return 0;
}
