// The thumbnailer run as a file manager runs it: the file's content type
// looked up by the desktop's own MIME database (gio), matched against the
// installed entry's MimeType list, the entry's Exec line substituted and run
// through a shell, and what it wrote checked by ImageMagick.

#include "codecs/qoi/qoi_reader.h"
#include "dispatch/load.h"
#include "platform/paths.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace pictorand {
namespace {

using testing::runCommand;
using testing::shellQuote;

struct Entry {
    std::string exec;
    std::set<std::string> mimeTypes;
};

Entry readEntry()
{
    Entry entry;
    std::ifstream file(PICTORAND_THUMBNAILER_ENTRY);
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with("Exec="))
            entry.exec = line.substr(5);
        if (line.starts_with("MimeType=")) {
            std::stringstream types(line.substr(9));
            for (std::string type; std::getline(types, type, ';');)
                entry.mimeTypes.insert(type);
        }
    }
    return entry;
}

std::string substituted(std::string exec, int size, const std::string& input, const std::string& output)
{
    const std::pair<std::string, std::string> fields[] = {
        {"%s", std::to_string(size)}, {"%u", shellQuote(fileUri(input))}, {"%o", shellQuote(output)}};
    for (const auto& [field, value] : fields)
        if (size_t at = exec.find(field); at != std::string::npos)
            exec.replace(at, field.size(), value);
    return exec;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

std::string contentType(const std::string& path)
{
    std::string said;
    runCommand("gio info -a standard::content-type " + shellQuote(path) + " | sed -n 's/^ *standard::content-type: //p'",
               &said);
    return trimmed(said);
}

// One file of each format, made by other programs where the tree has none.
std::map<ImageFormat, std::string> samples(const testing::ScratchDir& dir)
{
    const std::string source = PICTORAND_SOURCE_DIR;
    const std::string rose = source + "/samples/rose-ppm.ppm";
    runCommand("convert " + shellQuote(rose) + " " + shellQuote(dir.file("made.pgm")));
    runCommand("convert " + shellQuote(rose) + " -threshold 50% " + shellQuote(dir.file("made.pbm")));
    runCommand("ppmtoilbm " + shellQuote(rose) + " > " + shellQuote(dir.file("made.iff")) + " 2>/dev/null");
    // An image pack of black: the marker of its first sector, then zeros to
    // the end of the Base/16 image.
    std::vector<uint8_t> pack(8192 + 192 * 128 * 3 / 2, 0);
    std::fill_n(pack.begin(), 7, 0xFF);
    testing::writeFile(dir.file("made.pcd"), pack);
    return {
        {ImageFormat::Jpeg, source + "/samples/rose-jpeg.jpg"},
        {ImageFormat::Gif, source + "/samples/logo-gif.gif"},
        {ImageFormat::Bmp, source + "/samples/rose-24bit.bmp"},
        {ImageFormat::Png, source + "/samples/rose-png.png"},
        {ImageFormat::Pcx, source + "/samples/rose-pcx.pcx"},
        {ImageFormat::SunRaster, source + "/samples/rose-sun.ras"},
        {ImageFormat::Tiff, source + "/samples/rose-lzw.tif"},
        {ImageFormat::PhotoCd, dir.file("made.pcd")},
        {ImageFormat::Targa, source + "/samples/rose-targa.tga"},
        {ImageFormat::Icon, source + "/samples/logo-icon.ico"},
        {ImageFormat::Metafile, source + "/tests/fixtures/metafile/shapes.emf"},
        {ImageFormat::Ppm, rose},
        {ImageFormat::Pgm, dir.file("made.pgm")},
        {ImageFormat::Pbm, dir.file("made.pbm")},
        {ImageFormat::Iff, dir.file("made.iff")},
        {ImageFormat::Webp, source + "/tests/codecs/webp/fixtures/alpha.webp"},
        {ImageFormat::Heic, source + "/tests/codecs/heif/fixtures/rotated.heic"},
        {ImageFormat::Avif, source + "/tests/codecs/avif/fixtures/rotated.avif"},
        {ImageFormat::JpegXl, source + "/tests/codecs/jxl/fixtures/lossy.jxl"},
        {kQoiFormat, source + "/tests/codecs/qoi/fixtures/rose.qoi"},
    };
}

const std::string kPath = std::string("PATH=") + PICTORAND_THUMBNAILER_DIR + ":$PATH ";

TEST(Thumbnailer, EveryFormatThroughTheDesktopEntry)
{
    REQUIRE_TOOLS("gio", "convert", "identify", "ppmtoilbm");
    const Entry entry = readEntry();
    ASSERT_FALSE(entry.exec.empty());
    testing::ScratchDir dir;
    const std::map<ImageFormat, std::string> files = samples(dir);
    constexpr int kSize = 48;
    for (const FormatInfo& row : formatTable()) {
        if (row.multiImage == MultiImage::Media)
            continue;
        SCOPED_TRACE(row.name);
        const auto sample = files.find(row.format);
        ASSERT_NE(sample, files.end()) << "every format needs a sample here";
        // Named as users name files: a space and a per cent sign, which the
        // URI escapes.
        const std::string input = dir.file(std::string("a %picture") + row.renameExtension);
        ASSERT_EQ(runCommand("cp " + shellQuote(sample->second) + " " + shellQuote(input)), 0);
        // A format newer than the desktop's database (QOI on Debian 12) has no
        // content type yet, and no file manager asks for it by type.
        const std::string type = contentType(input);
        if (type != "application/octet-stream") {
            EXPECT_TRUE(entry.mimeTypes.contains(type)) << type;
        }

        const std::string output = dir.file(std::string(row.name) + ".png");
        std::string said;
        ASSERT_EQ(runCommand(kPath + substituted(entry.exec, kSize, input, output) + " 2>&1", &said), 0) << said;
        std::string described;
        ASSERT_EQ(runCommand("identify -format '%m %w %h' " + shellQuote(output), &described), 0);
        std::string format;
        int width = 0;
        int height = 0;
        std::istringstream(described) >> format >> width >> height;
        EXPECT_EQ(format, "PNG");
        // No larger than the size asked for, and no larger than the picture.
        LoadOutcome shown = loadInThisProcess({{sample->second}, LoadPurpose::View, {}});
        const int longer = std::max(shown.originalWidth, shown.originalHeight);
        EXPECT_EQ(std::max(width, height), std::min(kSize, longer)) << described;
        EXPECT_EQ(width >= height, shown.originalWidth >= shown.originalHeight) << described;
    }
}

TEST(Thumbnailer, TransparencyIsKeptAsTheFormatsOwnDecodersSeeIt)
{
    REQUIRE_PILLOW();
    REQUIRE_TOOLS("convert", "cwebp", "avifenc", "avifdec", "cjxl", "djxl", "qoiconv");
    testing::ScratchDir dir;
    std::string said;
    EXPECT_EQ(runCommand(shellQuote(PICTORAND_SOURCE_DIR "/tests/tools/thumbnailer/check-transparency.py") + " "
                             + shellQuote(PICTORAND_THUMBNAILER_DIR "/pictorand32-thumbnailer") + " "
                             + shellQuote(dir.path()) + " 2>&1",
                         &said),
              0)
        << said;
}

TEST(Thumbnailer, AFileItCannotReadEndsWithOneLineSayingWhy)
{
    testing::ScratchDir dir;
    const std::string input = dir.file("notes.png");
    testing::writeFile(input, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e', '\n'});
    std::string said;
    const std::string command = kPath + substituted(readEntry().exec, 128, input, dir.file("out.png"));
    EXPECT_EQ(runCommand(command + " 2>&1 >/dev/null", &said), 1) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(input), std::string::npos) << said;
    EXPECT_FALSE(testing::fileExists(dir.file("out.png")));
}

} // namespace
} // namespace pictorand
