// What a decoder worker answers, read as the parent reads it: a worker a
// file has taken over may say anything, and the parent must refuse it whole
// or take a well-formed outcome, never read outside what it was given. The
// input is an answer with its blocks inline; a request decoded from it too,
// as the worker reads the parent's, with the display profile it carries
// asked of Little CMS as the worker's load asks.

#include "dispatch/load_wire.h"
#include "ops/colour_profile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    if (const std::optional<pictorand::LoadRequest> asked = pictorand::decodeLoadRequest(bytes)) {
        (void)pictorand::isDestinationProfile(asked->options.displayProfile);
        if (pictorand::decodeLoadRequest(pictorand::encodeLoadRequest(*asked)) != asked)
            std::abort();
    }
    const pictorand::LoadRequest request{{"picture"}, pictorand::LoadPurpose::View, {}};
    std::optional<pictorand::LoadOutcome> outcome = pictorand::decodeLoadOutcome(bytes, request, nullptr);
    if (!outcome)
        return 0;
    // What the parent takes is what an in-process load could have given.
    if (outcome->block) {
        const int bits = outcome->block.bitCount();
        if (!outcome->block.isConsistent() || (bits != 1 && bits != 4 && bits != 8 && bits != 24))
            std::abort();
    }
    for (const pictorand::AnimationFrame& frame : outcome->frames)
        if (!frame.block.isConsistent())
            std::abort();
    // And it encodes again to an answer that decodes to the same.
    const std::vector<uint8_t> again = pictorand::encodeLoadOutcome(*outcome, true);
    if (!pictorand::decodeLoadOutcome(again, request, nullptr))
        std::abort();
    return 0;
}
