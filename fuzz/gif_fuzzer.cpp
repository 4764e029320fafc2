// Feeds the GIF reader: the first image, then every image the frame scanner
// finds, read from its recorded offsets as the animation reads them.

#include "codecs/gif/gif.h"
#include "fuzz/fuzz_support.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pictorand::fuzzing::MemoryFile file(data, size);
    (void)pictorand::readGif(file.path());

    constexpr int kCapacity = 8;
    std::vector<uint32_t> controls(kCapacity);
    std::vector<uint32_t> images(kCapacity);
    int width = 0;
    int height = 0;
    int count = pictorand::scanGifFile(file.path(), controls.data(), images.data(), kCapacity, width, height).takeOr(0);
    for (int i = 0; i < count; ++i) {
        uint32_t control = controls[static_cast<size_t>(i)] < images[static_cast<size_t>(i)] ? controls[static_cast<size_t>(i)] : 0;
        (void)pictorand::readGif(file.path(), {control, images[static_cast<size_t>(i)]});
    }
    return 0;
}
