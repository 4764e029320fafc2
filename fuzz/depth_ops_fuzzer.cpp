// Image blocks as a hostile reader might hand them over: the input is a whole
// block (header, table, rows) and every depth conversion and the quantiser
// run on it. None may read or write outside a block, whatever the header says.
// The first input byte picks the wanted colour count.

#include "ops/color_table.h"
#include "ops/depth_conversion.h"
#include "ops/quantise.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace pictorand;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 + ImageBlock::kHeaderSize || size > (1u << 20))
        return 0;
    const int counts[] = {256, 16, 2, 5};
    const int colors = counts[data[0] % 4];
    ImageBlock block = ImageBlock::allocate(size - 1);
    if (!block)
        return 0;
    std::memcpy(block.data(), data + 1, size - 1);
    // Keep the work per input small: the header may claim a huge empty picture.
    if (static_cast<int64_t>(block.width()) * block.height() > (int64_t(1) << 22))
        return 0;

    (void)colorCount(block);
    (void)duplicateBlock(block);
    Result<ImageBlock> results[] = {
        monoTo16Colors(block),
        sixteenTo256Colors(block),
        monoTo256Colors(block),
        colors256ToTrueColor(block),
        colors16ToTrueColor(block),
        monoToTrueColor(block),
        expandToTrueColor(block),
        normaliseDepth(block),
        quantise(block, colors),
    };
    for (const Result<ImageBlock>& result : results)
        if (result && !result->isConsistent())
            __builtin_trap();
    for (IncreaseDepthCommand command :
         {IncreaseDepthCommand::To16Colors, IncreaseDepthCommand::To256Colors, IncreaseDepthCommand::ToTrueColor}) {
        ImageBlock current = ImageBlock::allocate(block.size());
        if (!current)
            return 0;
        std::memcpy(current.data(), block.data(), block.size());
        Status deepened = increaseDepth(command, current);
        // A failed command leaves the picture exactly as it was.
        if (deepened ? !current.isConsistent() : std::memcmp(current.data(), block.data(), block.size()) != 0)
            __builtin_trap();
    }
    return 0;
}
