// Feeds the lossless JPEG turn: every turn, trimmed or perfect, grey or
// progressive, with and without the EXIF orientation.
#include "codecs/jpeg/jpeg_transform.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    if (fuzzing::largestJpegFrame(data, size) > fuzzing::kMaxFuzzedJpegPixels)
        return 0;
    // The last byte picks the request, so every path is reached.
    const uint8_t selector = size ? data[size - 1] : 0;
    JpegTurnRequest request;
    request.turn = Turn{(selector & 1) != 0, (selector >> 1) & 3};
    request.applyOrientation = selector & 8;
    request.trimEdges = selector & 16;
    request.greyscale = selector & 32;
    request.progressive = selector & 64;
    Result<std::vector<uint8_t>> turned = turnJpeg(std::span(data, size), request);
    // What comes out is a JPEG the turn takes again.
    if (turned)
        (void)turnJpeg(*turned, JpegTurnRequest{});
    return 0;
}
