#include "tools/convert/operations.h"


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
        // A picture has at least one pixel each way.
        if (value == 0 || value > static_cast<unsigned long long>(std::numeric_limits<int32_t>::max()))
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

// The value's check; an empty result means accepted.
std::string parseValue(const std::string& option, OperationValue kind, const std::string& value, Operation& operation)
{
    auto refuse = [&](const char* expected) {
        return std::string(kProgram) + ": " + option + " " + expected + ", not '" + value + "'";
    };
    switch (kind) {
    case OperationValue::Size:
        if (!parseSize(value, operation.width, operation.height))
            return refuse("needs WIDTHxHEIGHT in pixels, such as 640x480");
        return {};
    case OperationValue::Colors: {
        auto number = wholeNumber(value);
        if (!number || (*number != 256 && *number != 16 && *number != 2))
            return refuse("takes 256, 16 or 2");
        operation.value = static_cast<int>(*number);
        return {};
    }
    case OperationValue::Depth: {
        auto number = wholeNumber(value);
        if (!number || (*number != 4 && *number != 8 && *number != 24))
            return refuse("takes 4, 8 or 24");
        operation.value = static_cast<int>(*number);
        return {};
    }
    case OperationValue::SwapOrder:
        for (const SwapName& swap : kSwaps)
            if (value == swap.name) {
                operation.swap = swap.swap;
                return {};
            }
        return refuse("takes RBG, BGR, BRG, GRB or GBR");
    case OperationValue::Brightness: {
        auto number = wholeNumber(value);
        if (!number || *number < -kMaxBrightness || *number > kMaxBrightness)
            return refuse("takes a whole number from -255 to 255");
        operation.value = static_cast<int>(*number);
        return {};
    }
    case OperationValue::Contrast: {
        auto number = wholeNumber(value);
        if (!number || *number < -kMaxContrast || *number > kMaxContrast)
            return refuse("takes a whole number from -128 to 128");
        operation.value = static_cast<int>(*number);
        return {};
    }
    case OperationValue::Gamma: {
        char* end = nullptr;
        double gamma = value.empty() ? std::nan("") : std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !isGammaInRange(gamma))
            return refuse("takes a value from 0.01 to 6.99");
        operation.gamma = gamma;
        return {};
    }
    case OperationValue::None:
        break;
    }
    return {};
}

} // namespace

OptionParse parseOperationOption(int argc, char** argv, int& index, std::vector<Operation>& operations,
                                 std::string& error)
{
    if (index < 0 || index >= argc)
        return OptionParse::NotAnOperation;
    const std::string option = argv[index];
    for (const OperationRow& row : operationTable()) {
        if (option != row.option && !(row.alias && option == row.alias))
            continue;
        Operation operation{row.kind};
        if (row.value != OperationValue::None) {
            if (index + 1 >= argc) {
                error = std::string(kProgram) + ": " + option + " needs a value";
                return OptionParse::Refused;
            }
            error = parseValue(option, row.value, argv[index + 1], operation);
            if (!error.empty())
                return OptionParse::Refused;
            ++index;
        }
        operations.push_back(operation);
        return OptionParse::Parsed;
    }
    return OptionParse::NotAnOperation;
}

Status applyOperations(ImageBlock& block, const std::vector<Operation>& operations)
{
    for (const Operation& operation : operations)
        if (Status status = applyOperation(block, operation); !status)
            return status;
    return {};
}

const char* operationsUsage()
{
    static const std::string usage = "Operations, applied in the order given before saving:\n" + operationsHelp();
    return usage.c_str();
}

} // namespace pictorand

namespace pictorand {

std::optional<Turn> turnOf(const std::vector<Operation>& operations)
{
    if (operations.empty())
        return std::nullopt;
    Turn total;
    for (const Operation& operation : operations) {
        const std::optional<Turn> turn = turnOfOperation(operation.kind);
        if (!turn)
            return std::nullopt;
        total = total.then(*turn);
    }
    return total;
}

} // namespace pictorand
