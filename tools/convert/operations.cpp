#include "tools/convert/operations.h"

#include "ops/depth_conversion.h"
#include "ops/quantise.h"
#include "ops/resample_command.h"
#include "ops/resize.h"
#include "ops/rotate.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>

namespace pictorand {

namespace {

constexpr const char* kProgram = "pictorand32-convert";

std::optional<long> wholeNumber(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || end == text.c_str())
        return std::nullopt;
    return value;
}

// "WIDTHxHEIGHT" with unsigned decimal numbers that fit an int32.
bool parseSize(const std::string& text, int32_t& width, int32_t& height)
{
    size_t separator = text.find_first_of("xX");
    if (separator == std::string::npos || separator == 0 || separator + 1 >= text.size())
        return false;
    auto number = [](const std::string& digits, int32_t& out) {
        if (digits.empty() || digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        unsigned long long value = std::strtoull(digits.c_str(), nullptr, 10);
        if (value > static_cast<unsigned long long>(std::numeric_limits<int32_t>::max()))
            return false;
        out = static_cast<int32_t>(value);
        return true;
    };
    return number(text.substr(0, separator), width) && number(text.substr(separator + 1), height);
}

struct SwapName {
    const char* name;
    ChannelSwap swap;
};
constexpr SwapName kSwaps[] = {
    {"RBG", ChannelSwap::RBG}, {"BGR", ChannelSwap::BGR}, {"BRG", ChannelSwap::BRG},
    {"GRB", ChannelSwap::GRB}, {"GBR", ChannelSwap::GBR},
};

struct SimpleOption {
    const char* name;
    OperationKind kind;
};
constexpr SimpleOption kSimpleOptions[] = {
    {"--rotate-left", OperationKind::RotateLeft},       {"--rotate-right", OperationKind::RotateRight},
    {"--flip-vertical", OperationKind::FlipVertical},   {"--flip-horizontal", OperationKind::FlipHorizontal},
    {"--greyscale", OperationKind::Greyscale},          {"--grayscale", OperationKind::Greyscale},
    {"--negative", OperationKind::Negative},
};

struct ValueOption {
    const char* name;
    OperationKind kind;
};
constexpr ValueOption kValueOptions[] = {
    {"--resize", OperationKind::Resize},         {"--resample", OperationKind::Resample},
    {"--colors", OperationKind::Colors},         {"--depth", OperationKind::Depth},
    {"--swap", OperationKind::Swap},             {"--brightness", OperationKind::Brightness},
    {"--contrast", OperationKind::Contrast},     {"--gamma", OperationKind::Gamma},
};

// The value's check; an empty result means accepted.
std::string parseValue(const std::string& option, const std::string& value, Operation& operation)
{
    auto refuse = [&](const char* expected) {
        return std::string(kProgram) + ": " + option + " " + expected + ", not '" + value + "'";
    };
    switch (operation.kind) {
    case OperationKind::Resize:
    case OperationKind::Resample:
        if (!parseSize(value, operation.width, operation.height))
            return refuse("needs WIDTHxHEIGHT in pixels, such as 640x480");
        return {};
    case OperationKind::Colors: {
        auto number = wholeNumber(value);
        if (!number || (*number != 256 && *number != 16 && *number != 2))
            return refuse("takes 256, 16 or 2");
        operation.value = static_cast<int>(*number);
        return {};
    }
    case OperationKind::Depth: {
        auto number = wholeNumber(value);
        if (!number || (*number != 4 && *number != 8 && *number != 24))
            return refuse("takes 4, 8 or 24");
        operation.value = static_cast<int>(*number);
        return {};
    }
    case OperationKind::Swap:
        for (const SwapName& swap : kSwaps)
            if (value == swap.name) {
                operation.swap = swap.swap;
                return {};
            }
        return refuse("takes RBG, BGR, BRG, GRB or GBR");
    case OperationKind::Brightness: {
        auto number = wholeNumber(value);
        if (!number || *number < -kMaxBrightness || *number > kMaxBrightness)
            return refuse("takes a whole number from -255 to 255");
        operation.value = static_cast<int>(*number);
        return {};
    }
    case OperationKind::Contrast: {
        auto number = wholeNumber(value);
        if (!number || *number < -kMaxContrast || *number > kMaxContrast)
            return refuse("takes a whole number from -128 to 128");
        operation.value = static_cast<int>(*number);
        return {};
    }
    case OperationKind::Gamma: {
        char* end = nullptr;
        double gamma = value.empty() ? std::nan("") : std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !isGammaInRange(gamma))
            return refuse("takes a value from 0.01 to 6.99");
        operation.gamma = gamma;
        return {};
    }
    default:
        return {};
    }
}

} // namespace

OptionParse parseOperationOption(int argc, char** argv, int& index, std::vector<Operation>& operations,
                                 std::string& error)
{
    if (index < 0 || index >= argc)
        return OptionParse::NotAnOperation;
    const std::string option = argv[index];
    for (const SimpleOption& simple : kSimpleOptions)
        if (option == simple.name) {
            operations.push_back(Operation{simple.kind});
            return OptionParse::Parsed;
        }
    for (const ValueOption& valued : kValueOptions) {
        if (option != valued.name)
            continue;
        if (index + 1 >= argc) {
            error = std::string(kProgram) + ": " + option + " needs a value";
            return OptionParse::Refused;
        }
        Operation operation{valued.kind};
        error = parseValue(option, argv[index + 1], operation);
        if (!error.empty())
            return OptionParse::Refused;
        ++index;
        operations.push_back(operation);
        return OptionParse::Parsed;
    }
    return OptionParse::NotAnOperation;
}

namespace {

// Replaces the block with `result`, or reports `failure` when there is none.
bool adopt(ImageBlock& block, ImageBlock result, const char* failure, std::string& message)
{
    if (!result) {
        message = failure;
        return false;
    }
    block = std::move(result);
    return true;
}

bool applyOne(ImageBlock& block, const Operation& operation, std::string& message)
{
    switch (operation.kind) {
    case OperationKind::RotateLeft:
        return adopt(block, rotateLeft(block), "Rotate error !", message);
    case OperationKind::RotateRight:
        return adopt(block, rotateRight(block), "Rotate error !", message);
    case OperationKind::FlipVertical:
    case OperationKind::FlipHorizontal: {
        int result = operation.kind == OperationKind::FlipVertical ? flipVertical(block) : flipHorizontal(block);
        if (result != 0)
            message = kCantAllocateMemory;
        return result == 0;
    }
    case OperationKind::Resize:
        return adopt(block, resizeBlock(block, operation.width, operation.height), "Resize error !", message);
    case OperationKind::Resample:
        return adopt(block, resampleCommand(block, operation.width, operation.height), "Resample error !", message);
    case OperationKind::Colors:
        return adopt(block, quantise(block, operation.value), "Quantize error !", message);
    case OperationKind::Depth: {
        IncreaseDepthCommand command = operation.value == 4   ? IncreaseDepthCommand::To16Colors
                                       : operation.value == 8 ? IncreaseDepthCommand::To256Colors
                                                              : IncreaseDepthCommand::ToTrueColor;
        // As the menu commands: a picture already that deep stays as it is.
        if (ImageBlock deeper = increaseDepth(command, block))
            block = std::move(deeper);
        return true;
    }
    case OperationKind::Greyscale:
        return adopt(block, greyscale(block), kCantAllocateMemory, message);
    case OperationKind::Negative:
        if (negative(block))
            return true;
        message = kCantAllocateMemory;
        return false;
    case OperationKind::Swap:
        if (swapChannels(block, operation.swap))
            return true;
        message = kCantAllocateMemory;
        return false;
    case OperationKind::Brightness:
        return adopt(block, adjustBrightness(block, operation.value), kCantAllocateMemory, message);
    case OperationKind::Contrast:
        return adopt(block, adjustContrast(block, operation.value), kCantAllocateMemory, message);
    case OperationKind::Gamma:
        return adopt(block, adjustGamma(block, operation.gamma), kCantAllocateMemory, message);
    }
    return false;
}

} // namespace

bool applyOperations(ImageBlock& block, const std::vector<Operation>& operations, std::string& message)
{
    message.clear();
    for (const Operation& operation : operations)
        if (!applyOne(block, operation, message))
            return false;
    return true;
}

const char* operationsUsage()
{
    return "Operations, applied in the order given before saving:\n"
           "  --rotate-left, --rotate-right, --flip-vertical, --flip-horizontal\n"
           "  --resize WxH       nearest-neighbour resize\n"
           "  --resample WxH     smooth resample (paletted pictures come back paletted)\n"
           "  --colors N         reduce to 256, 16 or 2 colours (median cut, dithered)\n"
           "  --depth N          increase the depth to 4, 8 or 24 bits\n"
           "  --greyscale        convert to greyscale\n"
           "  --negative         invert the colours\n"
           "  --swap ORDER       exchange channels: RBG, BGR, BRG, GRB or GBR\n"
           "  --brightness N     -255 .. 255\n"
           "  --contrast N       -128 .. 128\n"
           "  --gamma G          0.01 .. 6.99\n";
}

} // namespace pictorand
