#pragma once
// The image-menu operations on the converter's command line: parsed in the
// order given, applied in that order to each loaded picture before it is
// saved.

#include "core/image_block.h"
#include "ops/adjust.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictorand {

enum class OperationKind {
    RotateLeft,
    RotateRight,
    FlipVertical,
    FlipHorizontal,
    Resize,
    Resample,
    Colors,
    Depth,
    Greyscale,
    Negative,
    Swap,
    Brightness,
    Contrast,
    Gamma,
};

struct Operation {
    OperationKind kind = OperationKind::Negative;
    int32_t width = 0;  // Resize, Resample
    int32_t height = 0; // Resize, Resample
    int value = 0;      // Colors, Depth, Brightness, Contrast
    double gamma = 1.0; // Gamma
    ChannelSwap swap = ChannelSwap::RBG;
};

enum class OptionParse {
    NotAnOperation, // argv[index] is some other option; nothing consumed
    Parsed,         // appended to the list; index is on the option's last word
    Refused,        // a missing or out-of-range value; `error` says which
};

// Looks at argv[index]. When it names an operation, takes its value from the
// next word (advancing index) and appends the operation.
OptionParse parseOperationOption(int argc, char** argv, int& index, std::vector<Operation>& operations,
                                 std::string& error);

// Applies the operations in order. On the first failure returns false with
// the program's message for it ("Rotate error !", "Resize error !",
// "Resample error !", "Quantize error !", "Can't allocate memory"); `block`
// is then not to be saved.
bool applyOperations(ImageBlock& block, const std::vector<Operation>& operations, std::string& message);

// The lines of --help that describe the operations.
const char* operationsUsage();

} // namespace pictorand
