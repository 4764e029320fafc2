#pragma once
// A test whose input files ImageMagick writes into a scratch folder; skipped
// where ImageMagick is not installed.

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace pictorand::testing {

class MagickTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("convert");
    }
    // `convert ARGUMENTS PREFIX/path/NAME`, the prefix naming the output
    // format ("BMP3:", say); the path.
    std::string magick(const std::string& arguments, const std::string& name, const std::string& prefix = "")
    {
        std::string path = dir.file(name);
        EXPECT_EQ(runCommand("convert " + arguments + " " + shellQuote(prefix + path)), 0) << arguments;
        return path;
    }

    ScratchDir dir;
};

} // namespace pictorand::testing
