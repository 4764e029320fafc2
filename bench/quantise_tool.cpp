// A whole-process timing tool for bench/quantise-vs-peers.sh: reads a BMP,
// quantises it and writes the result as a BMP, as the converter would.
//   quantise_tool IN.bmp OUT.bmp [COLORS]

#include "codecs/bmp/bmp.h"
#include "ops/depth_conversion.h"
#include "ops/quantise.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace pictorand;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: quantise_tool IN.bmp OUT.bmp [COLORS]\n");
        return 2;
    }
    int colors = argc > 3 ? std::atoi(argv[3]) : 256;
    Result<DecodedImage> read = readBmp(argv[1]);
    if (!read) {
        std::fprintf(stderr, "%s: %s\n", argv[1], read.text().c_str());
        return 1;
    }
    ImageBlock block = std::move(read->block);
    if (block.bitCount() != 1 && block.bitCount() != 4 && block.bitCount() != 8 && block.bitCount() != 24) {
        if (Result<ImageBlock> normalised = normaliseDepth(block))
            block = normalised.take();
    }
    Result<ImageBlock> quantised = quantise(block, colors);
    if (!quantised) {
        std::fprintf(stderr, "%s: Quantize error !\n", argv[1]);
        return 1;
    }
    ImageBlock reduced = quantised.take();
    block = ImageBlock{}; // the source is not needed for writing
    if (Status written = writeBmp(argv[2], reduced); !written) {
        std::fprintf(stderr, "%s: %s\n", argv[2], written.text().c_str());
        return 1;
    }
    return 0;
}
