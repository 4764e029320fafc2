#include "shell/core/image_info.h"

#include "platform/formatted_text.h"
#include "platform/paths.h"
#include "platform/program_name.h"

#include <algorithm>
#include <cinttypes>

namespace pictorand {

namespace {

uint64_t tableBytes(int bitCount)
{
    return bitCount >= 1 && bitCount <= 8 ? 4ull << bitCount : 0;
}

bool isPseudoPath(const std::string& path)
{
    return path == kClipboardPath || path == kScanImagePath;
}

} // namespace

std::string colorText(int bitCount)
{
    if (bitCount >= 24)
        return formatted("16,7 %s   (%d BitsPerPixel)", "Million", bitCount);
    return formatted("%" PRIu64 "   (%d BitsPerPixel)", uint64_t(1) << std::max(0, bitCount), bitCount);
}

uint64_t memorySize(int width, int height, int bitCount, bool animationRunning, int originalBitCount)
{
    const int rowBits = animationRunning ? originalBitCount : bitCount;
    const uint64_t rowBytes = (static_cast<uint64_t>(std::max(0, rowBits)) * std::max(0, width) + 31) / 32 * 4;
    uint64_t size = rowBytes * static_cast<uint64_t>(std::max(0, height)) + tableBytes(bitCount);
    if (animationRunning)
        size += tableBytes(originalBitCount);
    return size;
}

std::array<std::string, 9> imageInfoTexts(const ImageInfoInput& input)
{
    const CurrentImage& image = *input.image;
    const bool pseudo = isPseudoPath(image.path);
    const std::string name = pseudo ? image.path : fileNameOf(image.path);
    std::array<std::string, 9> texts;
    texts[0] = name;
    texts[1] = pseudo ? "None" : image.compression;
    texts[2] = formatted("%d x %d  %s", image.originalWidth, image.originalHeight, "Pixels");
    texts[3] = formatted("%d x %d  %s", image.currentWidth, image.currentHeight, "Pixels");
    texts[4] = colorText(image.originalBitCount);
    texts[5] = input.animationRunning
                   ? formatted("%" PRIu64 "   (%d BitsPerPixel)", uint64_t(1) << std::max(0, image.originalBitCount),
                               image.originalBitCount)
                   : colorText(image.currentBitCount);
    if (pseudo)
        texts[6] = "Not a file";
    else
        texts[6] = formatted("%" PRIu64 "  Bytes", input.fileSize.value_or(0));
    texts[7] = formatted("%" PRIu64 "  Bytes", memorySize(image.currentWidth, image.currentHeight,
                                                          image.currentBitCount, input.animationRunning,
                                                          image.originalBitCount));
    if (pseudo)
        texts[8] = formatted("%s %s", "Not available if", name.c_str());
    else
        texts[8] = formatted("%d  %s  %d  %s %s", input.directoryIndex + 1, "of", input.directoryCount,
                             kProgramCaption, "Files");
    return texts;
}

} // namespace pictorand
