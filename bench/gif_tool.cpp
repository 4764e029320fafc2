// A whole-process timing tool for bench/gif-vs-peers.sh: decodes a GIF (and
// writes the indices as a raw file, so the work cannot be skipped), or
// decodes and re-encodes it.
//   gif_tool decode IN.gif [OUT.raw]
//   gif_tool encode IN.gif OUT.gif [--interlaced]

#include "codecs/gif/gif.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace pictorand;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: gif_tool decode IN.gif [OUT.raw] | encode IN.gif OUT.gif [--interlaced]\n");
        return 2;
    }
    std::string mode = argv[1];
    Result<DecodedImage> read = readGif(argv[2]);
    if (!read) {
        std::fprintf(stderr, "%s: %s\n", argv[2], read.text().c_str());
        return 1;
    }
    ImageBlock& block = read->block;
    if (mode == "decode") {
        if (argc > 3) {
            std::FILE* out = std::fopen(argv[3], "wb");
            if (!out)
                return 1;
            std::fwrite(block.data(), 1, block.size(), out);
            std::fclose(out);
        }
        return 0;
    }
    if (mode == "encode" && argc > 3) {
        bool interlaced = argc > 4 && std::strcmp(argv[4], "--interlaced") == 0;
        return writeGif(argv[3], block, true, interlaced, -1) ? 0 : 1;
    }
    return 2;
}
