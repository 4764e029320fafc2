#pragma once
// The image-menu operations on the converter's command line: the options of
// the shared operation table, parsed in the order given and applied in that
// order to each loaded picture before it is saved.

#include "core/turn.h"
#include "dispatch/operations.h"

#include <optional>

#include <string>
#include <vector>

namespace pictorand {

enum class OptionParse {
    NotAnOperation, // argv[index] is some other option; nothing consumed
    Parsed,         // appended to the list; index is on the option's last word
    Refused,        // a missing or out-of-range value; `error` says which
};

// Looks at argv[index]. When it names an operation, takes its value from the
// next word (advancing index) and appends the operation.
OptionParse parseOperationOption(int argc, char** argv, int& index, std::vector<Operation>& operations,
                                 std::string& error);

// Applies the operations in order. On the first failure returns that
// operation's failure, in its words; `block` is then as the operations
// before it left it, and is not to be saved.
Status applyOperations(ImageBlock& block, const std::vector<Operation>& operations);

// The one turn the operations make when they only turn and mirror (and are
// at least one); nothing otherwise.
std::optional<Turn> turnOf(const std::vector<Operation>& operations);

// The lines of --help that describe the operations.
const char* operationsUsage();

} // namespace pictorand
