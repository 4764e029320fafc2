#pragma once
// Helpers for the tests of the library-backed codecs (JPEG, PNG, TIFF, WebP,
// HEIC, AVIF, JPEG XL).

#include "codecs/common/library_pixels.h"
#include "core/image_block.h"
#include "tests/support/decoded.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>
#include <fcntl.h>
#include <string>
#include <type_traits>
#include <unistd.h>
#include <utility>

namespace pictorand::testing {

// Everything written to stderr while it lives (the codecs must print nothing).
class StderrCapture {
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_saved = dup(2);
        m_file = std::tmpfile();
        if (m_file)
            dup2(fileno(m_file), 2);
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string text()
    {
        restore();
        std::string result;
        if (!m_file)
            return result;
        std::rewind(m_file);
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, m_file)) > 0)
            result.append(chunk, got);
        return result;
    }

private:
    void restore()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            dup2(m_saved, 2);
            close(m_saved);
            m_saved = -1;
        }
    }
    int m_saved = -1;
    std::FILE* m_file = nullptr;
};

// The pixels of any block a library reader returns, including the transient
// 32-, 40-, 48- and 64-bit ones, read the way the load normalisation reads
// them (8-bit blue, green, red at the start of each pixel).
inline RgbImage anyBlockToRgb(const ImageBlock& block)
{
    uint32_t step = 0;
    switch (block.bitCount()) {
    case 32: step = 4; break;
    case 40: step = 5; break;
    case 48: step = 3; break;
    case 64: step = 4; break;
    default: return blockToRgb(block);
    }
    RgbImage image;
    image.width = block.width();
    image.height = block.height();
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = block.topRow(y);
        for (int x = 0; x < image.width; ++x) {
            uint8_t* out = image.at(x, y);
            out[0] = row[x * step + 2];
            out[1] = row[x * step + 1];
            out[2] = row[x * step];
        }
    }
    return image;
}

// A hand-made block for the writers.
inline ImageBlock makeBlock(int width, int height, uint16_t bitCount, uint32_t colours)
{
    return ImageBlock::create(width, height, bitCount, colours);
}

inline double meanDifference(const RgbImage& a, const RgbImage& b)
{
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty())
        return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    return sum / static_cast<double>(a.rgb.size());
}

// Peak signal-to-noise ratio in dB (1000 for equal pictures, 0 for other sizes).
inline double psnr(const RgbImage& a, const RgbImage& b)
{
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        sum += double(int(a.rgb[i]) - int(b.rgb[i])) * double(int(a.rgb[i]) - int(b.rgb[i]));
    if (sum == 0)
        return 1000;
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.rgb.size()) / sum);
}

// Reads a binary PPM or PGM (as tools like djpeg write them) into RGB.
inline std::optional<RgbImage> readPnm(const std::string& path)
{
    std::vector<uint8_t> bytes = readFile(path);
    if (bytes.size() < 3 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6'))
        return std::nullopt;
    bool grey = bytes[1] == '5';
    size_t position = 2;
    int values[3] = {};
    for (int& value : values) {
        while (position < bytes.size() && (isspace(bytes[position]) || bytes[position] == '#')) {
            if (bytes[position] == '#')
                while (position < bytes.size() && bytes[position] != '\n')
                    ++position;
            else
                ++position;
        }
        while (position < bytes.size() && isdigit(bytes[position]))
            value = value * 10 + (bytes[position++] - '0');
    }
    ++position;
    RgbImage image;
    image.width = values[0];
    image.height = values[1];
    size_t pixels = static_cast<size_t>(image.width) * image.height;
    if (bytes.size() < position + pixels * (grey ? 1 : 3))
        return std::nullopt;
    image.rgb.resize(pixels * 3);
    for (size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c)
            image.rgb[i * 3 + c] = bytes[position + (grey ? i : i * 3 + c)];
    return image;
}

// A committed fixture of tests/codecs/<folder>/fixtures.
inline std::string fixture(const std::string& folder, const std::string& name)
{
    return std::string(PICTORAND_SOURCE_DIR) + "/tests/codecs/" + folder + "/fixtures/" + name;
}

// What an independent decoder makes of `file`: `command` holds {in} and
// {out} (a PNG path); ImageMagick then lays any alpha over white and gives
// 8-bit RGB. Nothing when either fails, and the test fails with its words.
inline std::optional<RgbImage> toolDecode(std::string command, const std::string& file)
{
    ScratchDir dir;
    const std::string png = dir.file("out.png");
    const std::string ppm = dir.file("out.ppm");
    for (auto [name, value] : {std::pair<std::string, std::string>{"{in}", file}, {"{out}", png}})
        for (size_t at = command.find(name); at != std::string::npos; at = command.find(name, at + 1))
            command.replace(at, name.size(), shellQuote(value));
    if (!toolWrotePicture(command + " >/dev/null", png)
        || !toolWrotePicture("convert " + shellQuote(png) + " -background white -alpha remove -alpha off -depth 8 "
                                 + shellQuote("ppm:" + ppm),
                             ppm))
        return std::nullopt;
    return readPnm(ppm);
}

// A reader's picture against an independent decoder's, fixture by fixture.
struct ToolCase {
    const char* fixture;
    const char* command;  // for toolDecode
    int tolerance;        // 0, or 1 where alpha or deep samples are rounded by another implementation
};

// Reads each fixture with `read` and compares it with the tool's picture.
template <class Reader>
void expectDecodesAsTools(Reader read, const std::string& folder, std::span<const ToolCase> cases)
{
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::string path = fixture(folder, c.fixture);
        std::string message;
        ImageBlock block;
        if constexpr (std::is_invocable_v<Reader, const std::string&>)
            block = blockOf(read(path), message);
        else if constexpr (std::is_invocable_v<Reader, const std::string&, const LibraryReadOptions&>)
            block = blockOf(read(path, LibraryReadOptions{}), message);
        else
            block = blockOf(read(path, false), message);
        ASSERT_TRUE(block) << message;
        const std::optional<RgbImage> expected = toolDecode(c.command, path);
        ASSERT_TRUE(expected) << c.command;
        EXPECT_LE(maxDifference(blockToRgb(block), *expected), c.tolerance);
        EXPECT_EQ(maxDifference(blockToRgb(block), *expected) < 0, false) << "sizes differ";
    }
}

} // namespace pictorand::testing
