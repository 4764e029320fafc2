#pragma once
// Layouts stored without compression take a known number of bytes for the
// size their header declares. A file that holds only a sliver of them is a
// header claiming a picture it does not have (a few hundred bytes asking for
// gigabytes); such files are refused before anything is allocated. A merely
// truncated file still loads, its missing rows left blank.

#include "core/messages.h"

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace pictorand {

// The share of the declared pixel data a file must hold to be read.
inline constexpr uint64_t kLeastShareDenominator = 64;

// True when `held` bytes are at least 1/64 of `declared`.
inline bool holdsEnoughOf(uint64_t declared, uint64_t held)
{
    return held >= declared / kLeastShareDenominator;
}

// Compressed data can expand only so far: a reader knows its format's best
// ratio (output bytes per input byte). True when `remaining` bytes, expanded
// at that ratio, are at least 1/64 of `declared`: files that fall short are
// decompression bombs, not truncations, and are refused before allocating.
inline bool couldFillEnoughOf(uint64_t declared, uint64_t remaining, uint64_t bestRatio)
{
    const uint64_t most = remaining > std::numeric_limits<uint64_t>::max() / bestRatio
                              ? std::numeric_limits<uint64_t>::max()
                              : remaining * bestRatio;
    return holdsEnoughOf(declared, most);
}

// A refusal in a reader's own words (their closing " !" or "." dropped), with
// the reason after them.
inline std::string farTooSmall(std::string_view readerWords)
{
    while (!readerWords.empty() && (readerWords.back() == '!' || readerWords.back() == '.' || readerWords.back() == ' '))
        readerWords.remove_suffix(1);
    return std::string(readerWords) + ": " + kFarTooSmall;
}

} // namespace pictorand
