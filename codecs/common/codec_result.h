#pragma once
// The bridge between a codec's decoding internals, which say what went wrong in
// words beside a null block or a false, and the registry's result types. The
// registered functions also end here any exception a library or an
// allocation throws: nothing leaves a codec but a result.

#include "core/codec_registry.h"
#include "core/result.h"

#include <exception>
#include <new>
#include <string>
#include <string_view>

namespace pictorand {

// The failure for a reader's or writer's words: running out of memory keeps
// its own reason, anything else is `otherwise`.
inline Failure failureFromWords(std::string words, Reason otherwise)
{
    const Reason reason = std::string_view(words) == kCantAllocateMemory ? Reason::OutOfMemory : otherwise;
    return {reason, std::move(words)};
}

inline Result<DecodedImage> decodedOrFailure(ImageBlock block, std::string message, std::string compression = {},
                                             std::string warning = {})
{
    if (!block)
        return failureFromWords(std::move(message), Reason::CorruptData);
    DecodedImage decoded;
    decoded.block = std::move(block);
    decoded.compression = std::move(compression);
    decoded.warning = std::move(warning);
    return decoded;
}

// A reader's words for a picture whose data ends before its last row.
inline constexpr const char* kPictureDataEndsEarly = "The picture data ends early";

inline Status writtenOrFailure(bool written, std::string message = {})
{
    if (written)
        return {};
    return failureFromWords(std::move(message), Reason::WriteFailed);
}

// Runs a registered function, turning an escaping exception into a failure.
template <class Call>
auto withoutExceptions(Call call) -> decltype(call())
{
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return outOfMemory();
    } catch (const std::exception& error) {
        return Failure{Reason::CorruptData, error.what()};
    } catch (...) {
        return Failure{Reason::CorruptData, {}};
    }
}

} // namespace pictorand
