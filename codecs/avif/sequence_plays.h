#pragma once
// How many times an AVIF image sequence plays. libavif 0.11 does not say, so
// the colour track's boxes are read here: moov > trak > edts > elst, whose
// flag 1 repeats the edit list for as long as the track lasts (tkhd, in the
// movie's timescale from mvhd; all ones: indefinitely) over the media's own
// length (mdhd, in its own timescale). A repeated list plays
// ceil(track / media) times, both in seconds, as newer libavif counts it;
// a list not repeated plays once.
//
// Writers before the edit list was used for this (avifenc 0.11 among them)
// leave edts out. Newer libavif calls that count unknown, and browsers play
// such sequences for ever, as this program always has: so do we.

#include <cstdint>
#include <span>

namespace pictorand {

// The plays of the file's first 'pict' track in ComposedAnimation's
// convention: 0 for ever (also when the boxes are missing or damaged).
int avifSequencePlays(std::span<const uint8_t> file);

} // namespace pictorand
