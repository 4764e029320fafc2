#pragma once
// Helpers shared by the tests: scratch folders, files, running the
// independent tools the tests compare against, and pixels of a block in a
// form those tools also produce.

#include "core/image_block.h"

#include <cstdint>
#include <optional>
#include <string>
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
// with `overWhite`, a picture with alpha is first blended over white.
std::optional<RgbImage> magickDecode(const std::string& path, bool overWhite = false);
// Writes an RGB image as a binary PPM (for feeding the other tools).
void writePpm(const std::string& path, const RgbImage& image);
// Largest absolute sample difference; -1 when the sizes differ.
int maxDifference(const RgbImage& a, const RgbImage& b);

} // namespace pictorand::testing
