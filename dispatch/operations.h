#pragma once
// The image operations the Image menu and the converter share. One row each:
// the converter's option and how its value is written, how the operation
// applies to a block, and the words its failure is shown with, so a failure
// reads the same in the viewer and on the command line.

#include "core/image_block.h"
#include "core/result.h"
#include "core/turn.h"
#include "ops/adjust.h"
#include "platform/user_interface.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

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

// What follows the option on the command line.
enum class OperationValue { None, Size, Colors, Depth, SwapOrder, Brightness, Contrast, Gamma };

struct OperationRow {
    OperationKind kind;
    const char* option;      // "--rotate-left"
    const char* alias;       // another spelling the converter takes, or nullptr
    OperationValue value;
    const char* summary;     // the help line's words; empty for the self-explaining ones
    const char* failureText; // what the user reads when it fails
    MessageIcon failureIcon; // the viewer's message box
    // Works on `block`; on failure the block must be as it was.
    Status (*apply)(ImageBlock& block, const Operation& operation);
};

std::span<const OperationRow> operationTable();

// The turn an operation makes; nothing for one that does more than turn or
// mirror the picture.
std::optional<Turn> turnOfOperation(OperationKind kind);
const OperationRow& operationRow(OperationKind kind);

// Applies one operation. On success `block` is the result; on failure it is
// exactly as it was and the status's text is the row's failure text.
Status applyOperation(ImageBlock& block, const Operation& operation);

// The help lines of every operation, in the table's order.
std::string operationsHelp();

} // namespace pictorand
