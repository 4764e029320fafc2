#include "tests/support/test_support.h"

#include <cstring>

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

namespace {

// The package of every outside program a test runs; the test command
// installs each of them (scripts/install-deps.sh --tests).
struct ToolPackage {
    std::string_view tool;
    std::string_view package;
};
constexpr ToolPackage kToolPackages[] = {
    {"convert", "imagemagick"},       {"compare", "imagemagick"},       {"identify", "imagemagick"},
    {"import", "imagemagick"},        {"mogrify", "imagemagick"},       {"cjpeg", "libjpeg-turbo-progs"},
    {"djpeg", "libjpeg-turbo-progs"}, {"jpegtran", "libjpeg-turbo-progs"}, {"gif2rgb", "giflib-tools"},
    {"gifbuild", "giflib-tools"},     {"giftext", "giflib-tools"},      {"tiffcp", "libtiff-tools"},
    {"tiffdump", "libtiff-tools"},    {"tiffinfo", "libtiff-tools"},    {"tiffset", "libtiff-tools"},
    {"tificc", "liblcms2-utils"},     {"jpgicc", "liblcms2-utils"},     {"transicc", "liblcms2-utils"},
    {"pngcheck", "pngcheck"},         {"dwebp", "webp"},                {"cwebp", "webp"},
    {"webpmux", "webp"},
    {"heif-convert", "libheif-examples"}, {"avifdec", "libavif-bin"},   {"djxl", "libjxl-tools"},
    {"avifenc", "libavif-bin"},       {"cjxl", "libjxl-tools"}, {"qoiconv", "qoi"},
    {"wmf2gd", "libwmf-bin"},         {"pdftoppm", "poppler-utils"},    {"pdfinfo", "poppler-utils"},
    {"xclip", "xclip"},               {"Xvfb", "xvfb"},                 {"dbus-daemon", "dbus"},
    {"xfconf-query", "xfconf"},       {"gsettings", "libglib2.0-bin"},  {"xdg-mime", "xdg-utils"},
    {"scanimage", "sane-utils"},      {"parallel", "parallel"},         {"openbox", "openbox"},
    {"xprop", "x11-utils"},           {"gio", "libglib2.0-bin"},
    {"vips", "libvips-tools"},         {"python3", "python3"},         {"weston", "weston"},
    {"wl-copy", "wl-clipboard"},      {"wl-paste", "wl-clipboard"},     {"xdotool", "xdotool"},
};

// netpbm's converters are named for what they turn into what.
std::string_view packageOf(std::string_view tool)
{
    for (const ToolPackage& entry : kToolPackages)
        if (entry.tool == tool)
            return entry.package;
    for (std::string_view kind : {"pbm", "pgm", "ppm", "pnm", "pam"})
        if (tool.starts_with(kind) || tool.ends_with("to" + std::string(kind)))
            return "netpbm";
    return {};
}

std::string standardErrorOf(const std::string& command, int& status)
{
    ScratchDir dir;
    const std::string errors = dir.file("stderr");
    status = runCommand("( " + command + " ) 2>" + shellQuote(errors));
    std::vector<uint8_t> text = readFile(errors);
    return std::string(text.begin(), text.end());
}

} // namespace

std::string missingTools(std::initializer_list<std::string_view> tools)
{
    std::string reason;
    for (std::string_view tool : tools) {
        const std::string_view package = packageOf(tool);
        if (package.empty())
            ADD_FAILURE() << "no package is known for " << tool << ": add it to kToolPackages";
        if (haveTool(std::string(tool)))
            continue;
        reason += (reason.empty() ? "missing: " : ", ");
        reason += std::string(tool) + " (package " + std::string(package) + ")";
    }
    return reason;
}

std::string missingFile(const std::string& path, std::string_view package)
{
    return fileExists(path) ? std::string() : "missing: " + path + " (package " + std::string(package) + ")";
}

// Debian's python3-pil is for Debian's own interpreter, which need not be
// the first python3 on the PATH.
std::string missingPillow()
{
    return runCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0 ? std::string()
                                                                            : "missing: Pillow (package python3-pil)";
}

std::string toolCannot(std::string_view tool, std::string_view what)
{
    return "missing: " + std::string(tool) + " that can " + std::string(what) + " (package "
        + std::string(packageOf(tool)) + ")";
}

bool underCi()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string_view(ci) != "false" && std::string_view(ci) != "0";
}

bool toolWrotePicture(const std::string& command, const std::string& output)
{
    int status = 0;
    const std::string errors = standardErrorOf(command, status);
    std::error_code missing;
    const auto size = std::filesystem::file_size(output, missing);
    if (status == 0 && !missing && size > 0)
        return true;
    ADD_FAILURE() << command << "\n"
                  << (status != 0 ? "exited with " + std::to_string(status)
                                  : missing ? std::string("wrote no file") : std::string("wrote an empty file"))
                  << (errors.empty() ? std::string(" and said nothing") : ":\n" + errors);
    return false;
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
            case 32: // the colours; the fourth byte is left out
                out[0] = row[x * 4 + 2];
                out[1] = row[x * 4 + 1];
                out[2] = row[x * 4];
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
    ScratchDir dir;
    const std::string errors = dir.file("stderr");
    auto failed = [&](const std::string& what) {
        std::vector<uint8_t> said = readFile(errors);
        ADD_FAILURE() << "ImageMagick could not decode " << path << ": " << what << "\n"
                      << std::string(said.begin(), said.end());
        return std::nullopt;
    };
    std::string size;
    if (runCommand("identify -format '%w %h' " + shellQuote(path + "[0]") + " 2>" + shellQuote(errors), &size) != 0)
        return failed("identify failed");
    RgbImage image;
    if (std::sscanf(size.c_str(), "%d %d", &image.width, &image.height) != 2)
        return failed("identify gave no size");
    std::string pixels;
    const std::string blend = overWhite ? " -background white -alpha remove" : "";
    if (runCommand("convert " + shellQuote(path + "[0]") + blend + " -depth 8 rgb:- 2>" + shellQuote(errors), &pixels)
        != 0)
        return failed("convert failed");
    if (pixels.size() != static_cast<size_t>(image.width) * image.height * 3)
        return failed("convert gave " + std::to_string(pixels.size()) + " bytes");
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

namespace pictorand::testing {

std::optional<std::pair<int, int>> findPicture(const RgbImage& screen, const RgbImage& picture)
{
    const size_t rowBytes = static_cast<size_t>(picture.width) * 3;
    for (int y = 0; y + picture.height <= screen.height; ++y)
        for (int x = 0; x + picture.width <= screen.width; ++x) {
            bool same = true;
            for (int row = 0; row < picture.height && same; ++row)
                same = std::memcmp(picture.at(0, row), screen.at(x, y + row), rowBytes) == 0;
            if (same)
                return std::pair(x, y);
        }
    return std::nullopt;
}

} // namespace pictorand::testing
