#pragma once
// Blocks keep true-colour pixels blue first; most files and libraries want
// red first. These copies exchange the two on the way.

#include <cstddef>
#include <cstdint>

namespace pictorand {

// Copies `pixels` 3-byte pixels exchanging the first and third bytes. The
// buffers must not overlap.
void copySwappingRedBlue(const uint8_t* source, uint8_t* target, size_t pixels);

// The same for 4-byte pixels, whose fourth byte (alpha) stays in place.
void copySwappingRedBlueWithAlpha(const uint8_t* source, uint8_t* target, size_t pixels);

} // namespace pictorand
