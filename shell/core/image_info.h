#pragma once
// The texts of the image information dialog, from the current-image record
// and the directory list. Sizes are 64-bit: a 3 GB file is not negative.

#include "core/current_image.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace pictorand {

struct ImageInfoField {
    int editId;
    const char* label;
};
// The nine read-only edits beside their labels, in the dialog's order.
inline constexpr std::array<ImageInfoField, 9> kImageInfoFields = {{
    {1124, "Name:"},
    {1131, "Compression:"},
    {1130, "Original size:"},
    {1126, "Current size:"},
    {1125, "Original colors:"},
    {1127, "Current colors:"},
    {1128, "Disk size:"},
    {1129, "Memory size:"},
    {1123, "Current directory index:"},
}};
inline constexpr const char* kImageInfoTitle = "Image properties";

struct ImageInfoInput {
    const CurrentImage* image = nullptr;
    bool animationRunning = false;
    std::optional<uint64_t> fileSize; // nothing when the file can't be read
    int directoryIndex = -1;
    int directoryCount = 0;
};

// "16,7 Million   (24 BitsPerPixel)", "256   (8 BitsPerPixel)".
std::string colorText(int bitCount);
// Rows of ((bits x width + 31) / 32) x 4 bytes, plus 4 x 2^bits of colour
// table for 8 bits or fewer; while an animation runs, the original depth
// sizes the rows and its table is added as well. No header.
uint64_t memorySize(int width, int height, int bitCount, bool animationRunning, int originalBitCount);

// The nine texts in the order of kImageInfoFields.
std::array<std::string, 9> imageInfoTexts(const ImageInfoInput& input);

} // namespace pictorand
