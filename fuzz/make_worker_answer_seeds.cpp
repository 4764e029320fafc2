// Writes the seeds of the worker_answer fuzz target: the answers a worker
// sends for real loads of the tree's own files (a picture at 24 and 8 bits,
// a GIF animation and a composed one, two metafiles, a TIFF page, a
// thumbnail with its opacity, a turned JPEG, a failure, an animation the
// read-ahead leaves unread), requests the parent sends (with the Adobe RGB
// profile of Ghostscript, libgs-common, standing for a display's, and
// without one), and answers a worker
// taken over by a file might send, which the parent must refuse. Run it
// whenever the answer's layout changes, from the top of the source tree:
//   build/test/fuzz/make_worker_answer_seeds fuzz/corpus/worker_answer

#include "dispatch/load.h"
#include "dispatch/load_wire.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

using namespace pictorand;

namespace {

bool write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make_worker_answer_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const struct {
        const char* seed;
        const char* file;
        LoadPurpose purpose = LoadPurpose::View;
        bool leaveAnimationsUnread = false;
    } loads[] = {
        {"picture_24bit", "samples/rose-24bit.bmp"},         {"picture_8bit", "samples/rose-8bit.bmp"},
        {"animation", "fuzz/corpus/gif/anim.gif"},           {"metafile_text", "tests/fixtures/metafile/text.wmf"},
        {"composed_animation", "tests/dispatch/animations/three_frames.webp"},
        {"metafile_bitmap", "tests/fixtures/metafile/bitmap.emf"}, {"tiff", "samples/rose-lzw.tif"},
        {"thumbnail_alpha", "tests/codecs/webp/fixtures/alpha.webp", LoadPurpose::Thumbnail},
        {"turned_jpeg", "samples/rose-jpeg.jpg", LoadPurpose::Turn},
        {"failure", "no such file"},
        {"unread_animation", "tests/dispatch/animations/three_frames.jxl", LoadPurpose::View, true},
    };
    int failed = 0;
    for (const auto& entry : loads) {
        LoadOptions options;
        options.countImages = true;
        options.thumbnailSide = 64;
        options.turn = Turn::clockwise(1);
        options.trimEdges = true;
        options.leaveAnimationsUnread = entry.leaveAnimationsUnread;
        LoadOutcome outcome = loadInThisProcess({{entry.file}, entry.purpose, options});
        // Named as the fuzz target's request names its file: an answer for
        // another file is refused at its first field.
        outcome.path = "picture";
        failed += write(folder + "/" + entry.seed, encodeLoadOutcome(outcome, true)) ? 0 : 1;
    }
    LoadRequest request{{"picture"}, LoadPurpose::View, {}};
    failed += write(folder + "/request", encodeLoadRequest(request)) ? 0 : 1;
    std::ifstream profile("/usr/share/color/icc/ghostscript/a98.icc", std::ios::binary);
    request.options.displayProfile.assign(std::istreambuf_iterator<char>(profile), {});
    failed += !request.options.displayProfile.empty() && write(folder + "/request_display_profile", encodeLoadRequest(request)) ? 0 : 1;
    // A picture of no width and two billion rows, with a short table: every
    // size in it adds up, and its pixels would be checked against the table.
    LoadOutcome tall;
    tall.kind = LoadOutcome::Kind::Picture;
    tall.path = "picture";
    tall.format = ImageFormat::Bmp;
    tall.block = ImageBlock::create(0, 0x7FFFFFFF, 1, 1);
    failed += write(folder + "/zero-width-tall-block", encodeLoadOutcome(tall, true)) ? 0 : 1;
    return failed == 0 ? 0 : 1;
}
