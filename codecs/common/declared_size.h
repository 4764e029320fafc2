#pragma once
// Layouts stored without compression take a known number of bytes for the
// size their header declares. A file that holds only a sliver of them is a
// header claiming a picture it does not have (a few hundred bytes asking for
// gigabytes); such files are refused before anything is allocated. A merely
// truncated file still loads, its missing rows left blank.

#include <cstdint>

namespace pictorand {

// The share of the declared pixel data a file must hold to be read.
inline constexpr uint64_t kLeastShareDenominator = 64;

// True when `held` bytes are at least 1/64 of `declared`.
inline bool holdsEnoughOf(uint64_t declared, uint64_t held)
{
    return held >= declared / kLeastShareDenominator;
}

} // namespace pictorand
