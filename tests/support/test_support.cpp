#include "tests/support/test_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace pictorand::testing {

ScratchDir::ScratchDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pictorand-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()))
        m_path = name.data();
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

std::string ScratchDir::file(const std::string& name) const { return m_path + "/" + name; }

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

int runCommand(const std::string& command, std::string* output)
{
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 65536> chunk{};
    size_t got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        if (output)
            output->append(chunk.data(), got);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const std::string& name)
{
    return runCommand("command -v " + shellQuote(name) + " >/dev/null 2>&1") == 0;
}

std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

RgbImage blockToRgb(const ImageBlock& block)
{
    RgbImage image;
    if (!block)
        return image;
    image.width = block.width();
    image.height = block.height();
    image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
    const ColorEntry* table = block.colorTable();
    uint32_t colors = block.colorsUsed();
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = block.topRow(y);
        for (int x = 0; x < image.width; ++x) {
            uint8_t* out = image.at(x, y);
            unsigned index = 0;
            switch (block.bitCount()) {
            case 24:
                out[0] = row[x * 3 + 2];
                out[1] = row[x * 3 + 1];
                out[2] = row[x * 3];
                continue;
            case 8:
                index = row[x];
                break;
            case 4:
                index = (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
                break;
            case 1:
                index = (row[x / 8] >> (7 - x % 8)) & 1;
                break;
            default:
                continue;
            }
            if (index < colors) {
                out[0] = table[index].red;
                out[1] = table[index].green;
                out[2] = table[index].blue;
            }
        }
    }
    return image;
}

std::optional<RgbImage> magickDecode(const std::string& path, bool overWhite)
{
    std::string size;
    if (runCommand("identify -format '%w %h' " + shellQuote(path + "[0]") + " 2>/dev/null", &size) != 0)
        return std::nullopt;
    RgbImage image;
    if (std::sscanf(size.c_str(), "%d %d", &image.width, &image.height) != 2)
        return std::nullopt;
    std::string pixels;
    const std::string blend = overWhite ? " -background white -alpha remove" : "";
    if (runCommand("convert " + shellQuote(path + "[0]") + blend + " -depth 8 rgb:- 2>/dev/null", &pixels) != 0)
        return std::nullopt;
    if (pixels.size() != static_cast<size_t>(image.width) * image.height * 3)
        return std::nullopt;
    image.rgb.assign(pixels.begin(), pixels.end());
    return image;
}

void writePpm(const std::string& path, const RgbImage& image)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "P6\n" << image.width << " " << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size()));
}

int maxDifference(const RgbImage& a, const RgbImage& b)
{
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        worst = std::max(worst, std::abs(int(a.rgb[i]) - int(b.rgb[i])));
    return worst;
}

} // namespace pictorand::testing
