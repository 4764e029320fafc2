// The icon reader as the dispatcher calls it, then every image of the file
// (up to a few) decoded on its own, as the chooser's preview does.

#include "codecs/icon/icon.h"
#include "fuzz/fuzz_support.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    fuzzing::MemoryFile file(data, size);
    (void)readIcon(file.path(), {}, true); // with the opacity a thumbnail keeps

    Result<IconList> list = parseIconFile(std::vector<uint8_t>(data, data + size));
    if (!list)
        return 0;
    (void)iconChooserLines(*list);
    for (size_t i = 0; i < list->images.size() && i < 4; ++i) {
        // Hostile headers can ask for huge pictures the data never fills.
        const IconImage& image = list->images[i];
        if (uint64_t(image.width) * uint64_t(image.height) > (uint64_t(1) << 22))
            continue;
        (void)decodeIconImage(*list, i);
    }
    return 0;
}
