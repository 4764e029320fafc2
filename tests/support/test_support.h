#pragma once
// Helpers shared by the tests: scratch folders, files, running the
// independent tools the tests compare against, and pixels of a block in a
// form those tools also produce.

#include "core/image_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pictorand::testing {

// A fresh folder under the system temp folder, removed with its contents
// when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::string& path);
bool fileExists(const std::string& path);

// Runs a shell command; returns its exit status (-1 when it could not run).
// Standard output is captured into `output` when given.
int runCommand(const std::string& command, std::string* output = nullptr);
// True when the named program is on the PATH.
bool haveTool(const std::string& name);

// What a test needs from outside the program. Each function gives the reason
// the test cannot run, naming the Debian package that installs what is
// missing ("missing: convert (package imagemagick)"), or nothing when all is
// there; REQUIRE_TOOLS and its kin skip the test on a developer's machine and
// fail it under CI, where the test command has installed every package.
std::string missingTools(std::initializer_list<std::string_view> tools);
std::string missingFile(const std::string& path, std::string_view package);
// Pillow for /usr/bin/python3.
std::string missingPillow();
// A tool that is there but cannot do what the test needs.
std::string toolCannot(std::string_view tool, std::string_view what);
// CI=true (or any value but "" and "false"): missing tools are failures.
bool underCi();
// Where Ghostscript's ICC profiles are (package libgs-common).
inline constexpr const char* kGhostscriptProfiles = "/usr/share/color/icc/ghostscript/";

// Runs a command that is to write the picture `output` (an independent tool
// making a reference or a fixture). True when it exited with 0 and left a
// file that is not empty; otherwise the test fails with the tool's own words,
// its exit status and what it wrote to standard error.
bool toolWrotePicture(const std::string& command, const std::string& output);
// Single-quoted for the shell.
std::string shellQuote(const std::string& text);

// Top-down RGB triples of width * height pixels.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    uint8_t* at(int x, int y) { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// The pixels of a 1-, 4-, 8- or 24-bit block, colours looked up in its table.
RgbImage blockToRgb(const ImageBlock& block);
// The pixels ImageMagick decodes from a file (first image), 8 bits a sample;
// with `overWhite`, a picture with alpha is first blended over white. When
// ImageMagick cannot, the test fails with its words and nothing comes back.
std::optional<RgbImage> magickDecode(const std::string& path, bool overWhite = false);
// Writes an RGB image as a binary PPM (for feeding the other tools).
void writePpm(const std::string& path, const RgbImage& image);
// Largest absolute sample difference; -1 when the sizes differ.
int maxDifference(const RgbImage& a, const RgbImage& b);
// Where `picture` appears pixel for pixel in `screen` (its top-left corner).
std::optional<std::pair<int, int>> findPicture(const RgbImage& screen, const RgbImage& picture);

} // namespace pictorand::testing

// Skips the test (fails it under CI) when `reason` is not empty.
#define REQUIRE_THAT(reason)                                                                                        \
    do {                                                                                                           \
        const std::string requireReason_ = (reason);                                                               \
        if (!requireReason_.empty()) {                                                                             \
            if (::pictorand::testing::underCi())                                                                   \
                FAIL() << requireReason_ << " (under CI every tool a test needs must be installed)";              \
            GTEST_SKIP() << requireReason_;                                                                        \
        }                                                                                                          \
    } while (0)
#define REQUIRE_TOOLS(...) REQUIRE_THAT(::pictorand::testing::missingTools({__VA_ARGS__}))
#define REQUIRE_FILE(path, package) REQUIRE_THAT(::pictorand::testing::missingFile(path, package))
#define REQUIRE_PILLOW() REQUIRE_THAT(::pictorand::testing::missingPillow())
