#include "dispatch/operations.h"

#include "ops/depth_conversion.h"
#include "ops/quantise.h"
#include "ops/resample_command.h"
#include "ops/resize.h"
#include "ops/rotate.h"

#include <cstdio>
#include <utility>

namespace pictorand {

namespace {

// The conversions that make a new block: the old one goes only once the new
// one exists.
Status replaceWith(ImageBlock& block, Result<ImageBlock> result)
{
    if (!result)
        return result.failure();
    block = result.take();
    return {};
}

// Turns and flips take what they need before they touch a pixel, so a failed
// one has changed nothing.
Status turnLeft(ImageBlock& block, const Operation&) { return rotateLeft(block); }
Status turnRight(ImageBlock& block, const Operation&) { return rotateRight(block); }
Status mirrorVertically(ImageBlock& block, const Operation&) { return flipVertical(block); }
Status mirrorHorizontally(ImageBlock& block, const Operation&) { return flipHorizontal(block); }

Status resize(ImageBlock& block, const Operation& operation)
{
    return replaceWith(block, resizeBlock(block, operation.width, operation.height));
}
Status resample(ImageBlock& block, const Operation& operation)
{
    return replaceWith(block, resampleCommand(block, operation.width, operation.height));
}
Status reduceColors(ImageBlock& block, const Operation& operation)
{
    return replaceWith(block, quantise(block, operation.value));
}

// As the menu commands: a picture already that deep stays as it is.
Status deepen(ImageBlock& block, const Operation& operation)
{
    const IncreaseDepthCommand command = operation.value == 4   ? IncreaseDepthCommand::To16Colors
                                         : operation.value == 8 ? IncreaseDepthCommand::To256Colors
                                                                : IncreaseDepthCommand::ToTrueColor;
    return increaseDepth(command, block);
}

Status makeGrey(ImageBlock& block, const Operation&) { return greyscale(block); }

// Negative and the swaps refuse only a block they cannot read, before any
// change.
Status invert(ImageBlock& block, const Operation&) { return negative(block); }
Status swap(ImageBlock& block, const Operation& operation)
{
    return swapChannels(block, operation.swap);
}

Status brighten(ImageBlock& block, const Operation& operation)
{
    return replaceWith(block, adjustBrightness(block, operation.value));
}
Status contrast(ImageBlock& block, const Operation& operation)
{
    return replaceWith(block, adjustContrast(block, operation.value));
}
Status gamma(ImageBlock& block, const Operation& operation)
{
    return replaceWith(block, adjustGamma(block, operation.gamma));
}

constexpr MessageIcon kInfo = MessageIcon::Information;

const OperationRow kOperations[] = {
    {OperationKind::RotateLeft, "--rotate-left", nullptr, OperationValue::None, "", "Rotate error !",
     MessageIcon::Warning, turnLeft},
    {OperationKind::RotateRight, "--rotate-right", nullptr, OperationValue::None, "", "Rotate error !",
     MessageIcon::Warning, turnRight},
    {OperationKind::FlipVertical, "--flip-vertical", nullptr, OperationValue::None, "", kCantAllocateMemory, kInfo,
     mirrorVertically},
    {OperationKind::FlipHorizontal, "--flip-horizontal", nullptr, OperationValue::None, "", kCantAllocateMemory,
     kInfo, mirrorHorizontally},
    {OperationKind::Resize, "--resize", nullptr, OperationValue::Size, "nearest-neighbour resize", "Resize error !",
     kInfo, resize},
    {OperationKind::Resample, "--resample", nullptr, OperationValue::Size,
     "smooth resample (paletted pictures come back paletted)", "Resample error !", kInfo, resample},
    {OperationKind::Colors, "--colors", nullptr, OperationValue::Colors,
     "reduce to 256, 16 or 2 colours (median cut, dithered)", "Quantize error !", kInfo, reduceColors},
    {OperationKind::Depth, "--depth", nullptr, OperationValue::Depth, "increase the depth to 4, 8 or 24 bits",
     kCantAllocateMemory, kInfo, deepen},
    {OperationKind::Greyscale, "--greyscale", "--grayscale", OperationValue::None, "convert to greyscale",
     kCantAllocateMemory, kInfo, makeGrey},
    {OperationKind::Negative, "--negative", nullptr, OperationValue::None, "invert the colours", kCantAllocateMemory,
     kInfo, invert},
    {OperationKind::Swap, "--swap", nullptr, OperationValue::SwapOrder,
     "exchange channels: RBG, BGR, BRG, GRB or GBR", kCantAllocateMemory, kInfo, swap},
    {OperationKind::Brightness, "--brightness", nullptr, OperationValue::Brightness, "-255 .. 255",
     kCantAllocateMemory, kInfo, brighten},
    {OperationKind::Contrast, "--contrast", nullptr, OperationValue::Contrast, "-128 .. 128", kCantAllocateMemory,
     kInfo, contrast},
    {OperationKind::Gamma, "--gamma", nullptr, OperationValue::Gamma, "0.01 .. 6.99", kCantAllocateMemory, kInfo,
     gamma},
};

const char* valueName(OperationValue value)
{
    switch (value) {
    case OperationValue::None:
        return "";
    case OperationValue::Size:
        return "WxH";
    case OperationValue::SwapOrder:
        return "ORDER";
    case OperationValue::Gamma:
        return "G";
    case OperationValue::Colors:
    case OperationValue::Depth:
    case OperationValue::Brightness:
    case OperationValue::Contrast:
        break;
    }
    return "N";
}

} // namespace

std::span<const OperationRow> operationTable()
{
    return kOperations;
}

const OperationRow& operationRow(OperationKind kind)
{
    for (const OperationRow& row : kOperations)
        if (row.kind == kind)
            return row;
    return kOperations[0]; // every kind has a row
}

Status applyOperation(ImageBlock& block, const Operation& operation)
{
    const OperationRow& row = operationRow(operation.kind);
    Status status = row.apply(block, operation);
    if (!status)
        return Failure{status.failure().reason, row.failureText};
    return status;
}

std::string operationsHelp()
{
    // The operations that need no words share one line, at the place of the
    // first of them.
    std::string help;
    bool plainListed = false;
    for (const OperationRow& row : kOperations) {
        if (*row.summary == '\0') {
            if (plainListed)
                continue;
            plainListed = true;
            std::string line = "  ";
            for (const OperationRow& plain : kOperations)
                if (*plain.summary == '\0')
                    line += std::string(line.size() > 2 ? ", " : "") + plain.option;
            help += line + "\n";
            continue;
        }
        std::string name = row.option;
        if (row.value != OperationValue::None)
            name += std::string(" ") + valueName(row.value);
        char line[160];
        std::snprintf(line, sizeof line, "  %-19s%s\n", name.c_str(), row.summary);
        help += line;
    }
    return help;
}

std::optional<Turn> turnOfOperation(OperationKind kind)
{
    switch (kind) {
    case OperationKind::RotateLeft:
        return Turn::clockwise(3);
    case OperationKind::RotateRight:
        return Turn::clockwise(1);
    case OperationKind::FlipHorizontal:
        return Turn::mirrorLeftRight();
    case OperationKind::FlipVertical:
        return Turn::mirrorTopBottom();
    default:
        return std::nullopt;
    }
}

} // namespace pictorand
