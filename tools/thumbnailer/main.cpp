// pictorand32-thumbnailer [-s SIZE] INPUT OUTPUT
//
// The desktop's thumbnailer (the freedesktop "Exec=... -s %s %u %o"
// convention): writes a PNG of INPUT no larger than SIZE on its longer side.
// INPUT is a path or a file:// URI. Each file is decoded in a confined worker,
// at the cheapest size that still reaches SIZE; a metafile is drawn straight
// at the thumbnail's size. Transparency is kept: a file manager shows the
// thumbnail over its own background. A file that cannot be thumbnailed ends the program
// with status 1 and one line saying why: the file manager then records the
// failure itself and does not ask again.
//
// --mime-types prints the MIME types it takes, one per line: the build makes
// pictorand32.thumbnailer from them.

#include "codecs/png/png.h"
#include "dispatch/confined_load.h"
#include "dispatch/load.h"
#include "ops/depth_conversion.h"
#include "ops/resize.h"
#include "platform/paths.h"
#include "platform/settings_file.h"
#include "platform/version.h"
#include "tools/painting/metafile_client.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>

using namespace pictorand;

namespace {

constexpr const char* kProgram = "pictorand32-thumbnailer";
constexpr int kDefaultSize = 128; // the freedesktop "normal" size
constexpr int kLargestSize = 4096;

int usageError(const std::string& words)
{
    std::fprintf(stderr, "%s: %s\nUsage: %s [-s SIZE] INPUT OUTPUT\n", kProgram, words.c_str(), kProgram);
    return 2;
}

// One line, as the desktop records it: the viewer's two-line messages joined.
int failure(const std::string& input, std::string words)
{
    std::string line;
    for (char c : words)
        if (c != '\n')
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, input.c_str(), line.c_str());
    return 1;
}

// A path as given, or the path of a file:// URI; nothing for another scheme
// or a URI that names no local file.
std::optional<std::string> pathOfInput(const std::string& input)
{
    if (input.find("://") == std::string::npos)
        return input;
    std::string path = pathOfFileUri(input);
    if (path.empty())
        return std::nullopt;
    return path;
}

// The size that fits width x height within side x side, never larger than it
// was, at least one pixel either way.
PictureSize fittedSize(double width, double height, int side)
{
    const double scale = std::min(1.0, side / std::max(width, height));
    return {std::max(1, static_cast<int>(std::lround(width * scale))),
            std::max(1, static_cast<int>(std::lround(height * scale)))};
}

// The loaded picture brought to the thumbnail's size, smoothly.
Result<ImageBlock> shrunk(ImageBlock picture, int side)
{
    const PictureSize size = fittedSize(picture.width(), picture.height(), side);
    if (!picture)
        return badArgument();
    // Area averaging takes colours, not palette indices.
    if (picture.bitCount() != 24) {
        Result<ImageBlock> trueColour = expandToTrueColor(picture);
        if (!trueColour)
            return trueColour;
        picture = trueColour.take();
    }
    if (size.width == picture.width() && size.height == picture.height())
        return picture;
    return resampleBlock(picture, size.width, size.height);
}

// The shrunk picture with its opacity, as 32 bits. The reader composited the
// colours over white, which is undone here: c = 255 (shown - 255 + a) / a.
// Shrinking both first makes this the opacity-weighted average of the
// colours, as premultiplied samples would give.
Result<ImageBlock> withOpacity(const ImageBlock& shown, ImageBlock alpha)
{
    if (alpha.width() != shown.width() || alpha.height() != shown.height()) {
        Result<ImageBlock> fitted = resampleBlock(alpha, shown.width(), shown.height());
        if (!fitted)
            return fitted;
        alpha = fitted.take();
    }
    ImageBlock out = ImageBlock::create(shown.width(), shown.height(), 32, 0);
    if (!out || shown.bitCount() != 24)
        return outOfMemory();
    for (int32_t y = 0; y < out.height(); ++y) {
        const uint8_t* colour = shown.row(y);
        const uint8_t* opacity = alpha.row(y);
        uint8_t* pixel = out.row(y);
        for (int32_t x = 0; x < out.width(); ++x, colour += 3, pixel += 4) {
            const int a = opacity[x];
            for (int c = 0; c < 3; ++c) {
                const int over = colour[c] - 255 + a;
                pixel[c] = a == 0 || over <= 0 ? 0 : static_cast<uint8_t>(std::min(255, (255 * over + a / 2) / a));
            }
            pixel[3] = static_cast<uint8_t>(a);
        }
    }
    return out;
}

// A metafile is drawn at the thumbnail's size, not shrunk from its own.
Result<ImageBlock> drawn(const LoadOutcome& loaded, int side)
{
    const metafile::Drawing& drawing = *loaded.drawing;
    const PictureSize size = fittedSize(std::max(1.0, drawing.width), std::max(1.0, drawing.height), side);
    return paintLoadedMetafile(loaded, size.width, size.height);
}

void printMimeTypes()
{
    std::set<std::string> printed;
    for (const FormatInfo& row : formatTable()) {
        // Sound and video have no picture to show.
        if (row.multiImage == MultiImage::Media)
            continue;
        for (const char* type : row.mimeTypes)
            if (printed.insert(type).second)
                std::printf("%s\n", type);
    }
}

} // namespace

int main(int argc, char** argv)
{
    int side = kDefaultSize;
    std::vector<std::string> names;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (options && argument == "--") {
            options = false;
        } else if (options && (argument == "--help" || argument == "-h")) {
            std::printf("Usage: %s [-s SIZE] INPUT OUTPUT\n"
                        "Writes a PNG of INPUT (a path or a file:// URI) no larger than SIZE\n"
                        "(default %d) on its longer side to OUTPUT.\n"
                        "  --mime-types  list the MIME types it takes\n",
                        kProgram, kDefaultSize);
            return 0;
        } else if (options && argument == "--version") {
            std::printf("%s %s\n", kProgram, programVersion());
            return 0;
        } else if (options && argument == "--mime-types") {
            printMimeTypes();
            return 0;
        } else if (options && argument == "-s") {
            char* end = nullptr;
            const long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || value < 1 || value > kLargestSize)
                return usageError("-s needs a size from 1 to " + std::to_string(kLargestSize));
            side = static_cast<int>(value);
            ++i;
        } else if (options && argument.size() > 1 && argument[0] == '-') {
            return usageError("unknown option " + argument);
        } else {
            names.push_back(argument);
        }
    }
    if (names.size() != 2)
        return usageError("an input and an output are needed");
    const std::string& input = names[0];
    const std::string& output = names[1];
    const std::optional<std::string> path = pathOfInput(input);
    if (!path)
        return failure(input, "only local files (file:// addresses) can be read");
    const std::string& named = *path;

    const SettingsFile settings;
    decodeAsSettingsSay(settings, 0); // one load: its worker starts when it is needed
    LoadRequest request{{*path}, LoadPurpose::Thumbnail, loadOptionsFromSettings(settings)};
    // A thumbnail is the picture as it is, whatever the viewer's settings.
    request.options.greyscale = false;
    request.options.autoRotate = true;
    request.options.colourManagement = true;
    request.options.thumbnailSide = side;
    LoadOutcome loaded = load(request);
    if (!loaded.ok())
        return failure(named, failureReasonText(loaded.failure));

    Result<ImageBlock> made = outOfMemory();
    switch (loaded.kind) {
    case LoadOutcome::Kind::Picture:
        made = shrunk(std::move(loaded.block), side);
        if (made && loaded.alpha)
            made = withOpacity(*made, std::move(loaded.alpha));
        break;
    case LoadOutcome::Kind::Animation:
        made = shrunk(std::move(loaded.frames.front().block), side);
        break;
    case LoadOutcome::Kind::Metafile:
        made = drawn(loaded, side);
        break;
    case LoadOutcome::Kind::Media:
        return failure(named, "sound and video have no picture to show");
    case LoadOutcome::Kind::Failed:
    case LoadOutcome::Kind::Turned: // never asked for here
    case LoadOutcome::Kind::Unread:
        break;
    }
    if (!made)
        return failure(named, failureText(made.failure()));
    ImageBlock thumbnail = made.take();
    if (Status written = writePng(output, thumbnail); !written)
        return failure(output, written.text());
    return 0;
}
