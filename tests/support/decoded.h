#pragma once
// What the in-memory decoders of the tests give back, and row bytes to
// compare with what a hand-built file holds.

#include "core/codec_registry.h"
#include "core/image_block.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pictorand::testing {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    ImageBlock block;
    std::string message;
    std::string compression;
};

// A reader's result as the block, the reader's words on failure and the
// compression text on success.
inline Decoded decodedFrom(Result<DecodedImage> result)
{
    Decoded d;
    if (result) {
        d.block = std::move(result->block);
        d.compression = std::move(result->compression);
    } else {
        d.message = result.failure().detail;
    }
    return d;
}

// The block of a read for tests written against the reader's words: on
// failure `message` gets them, on success the reader's warning (empty for a
// whole picture) and `compression` its text.
inline ImageBlock blockOf(Result<DecodedImage> result, std::string& message, std::string& compression)
{
    if (!result) {
        message = result.failure().detail;
        return {};
    }
    message = result->warning;
    compression = result->compression;
    return std::move(result->block);
}
inline ImageBlock blockOf(Result<DecodedImage> result, std::string& message)
{
    std::string compression;
    return blockOf(std::move(result), message, compression);
}

// A writer's status as true or false, with its words in `message`.
inline bool written(const Status& status, std::string& message)
{
    message = status ? std::string() : status.failure().detail;
    return status.ok();
}

// Runs a decoder of the form `Result<DecodedImage> decode(span)`.
template <typename Decoder>
Decoded decodeWith(Decoder decoder, const Bytes& file)
{
    return decodedFrom(decoder(std::span<const uint8_t>(file)));
}

// The first `count` bytes of picture row y, counted from the top.
inline Bytes topRowBytes(const ImageBlock& block, int y, size_t count)
{
    const uint8_t* row = block.topRow(y);
    return Bytes(row, row + count);
}

} // namespace pictorand::testing
