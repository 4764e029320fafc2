#include "platform/formatted_text.h"

#include <gtest/gtest.h>

namespace pictorand {
namespace {

// Paths have no length limit, so neither have the texts that name them.
TEST(FormattedText, TakesWhateverLengthTheTextNeeds)
{
    const std::string path(5000, 'a');
    EXPECT_EQ(formatted("%s : %d", path.c_str(), 42), path + " : 42");
    EXPECT_EQ(formatted("%s", ""), "");
}

} // namespace
} // namespace pictorand
