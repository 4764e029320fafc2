#pragma once
// Pictures that carry an ICC profile (wide-gamut photos in Adobe RGB or
// Display P3, scans in a scanner's own space) look dull or tinted when their
// numbers are shown as if they were sRGB. This converts them to sRGB with
// Little CMS, or, on a display that has a profile of its own, to the
// display's colours. Matrix-shaper profiles, which nearly every camera and editor
// embeds, take a fast path of our own over tables that Little CMS evaluates
// (curves, colorants), so a photo converts in a fraction of its decode time
// (64 pixels at a time on processors with AVX-512 VBMI, a pixel at a time
// elsewhere); other profiles go through a Little CMS transform. The tables and
// transforms of the last few pairs of profiles are kept, as a folder of
// photos usually shares one.

#include "core/image_block.h"

#include <cstdint>
#include <span>

namespace pictorand {

enum class ProfileConversion {
    Converted,
    // Nothing changed: the profile is damaged, describes a colour space the
    // pixels are no longer in (a CMYK profile for the BGR the reader made of
    // CMYK, say), or the block has no colours to convert.
    LeftAsIs,
    OutOfMemory, // nothing changed
};

// Converts a 24-bit block's pixels, or a 1-, 4- or 8-bit block's colour
// table, from the colours `profile` describes to sRGB (relative
// colorimetric: the profile's white becomes sRGB's white). Grey profiles
// convert grey colour tables. Out-of-gamut colours are clipped.
ProfileConversion convertToSrgb(ImageBlock& block, std::span<const uint8_t> profile);

// The same from `source` to `destination`, either of which empty stands for
// sRGB (an untagged picture is taken to be in sRGB; a display without a
// profile is taken to show sRGB). LeftAsIs when both are empty.
ProfileConversion convertColours(ImageBlock& block, std::span<const uint8_t> source,
                                 std::span<const uint8_t> destination);

// The same for several blocks (an animation's frames) through one
// conversion, made or found once: Converted when any block was, LeftAsIs
// when none was (the profiles give no conversion, or no block has colours
// to convert). A block of another depth stays as it is.
ProfileConversion convertColoursOfEach(std::span<ImageBlock* const> blocks, std::span<const uint8_t> source,
                                       std::span<const uint8_t> destination);

// The same for a 48-bit block of 16-bit samples (blue, green, red, in this
// machine's order, as a reader asked for them gives them), converted at
// that precision: a 16-bit picture is dithered to 8 bits afterwards, not
// rounded before.
ProfileConversion convertSixteenBitColours(ImageBlock& block, std::span<const uint8_t> source,
                                           std::span<const uint8_t> destination);

// True when `profile` is one colours can be converted to: an RGB profile
// Little CMS reads and can use as an output (a display's, or a colour
// space's such as Adobe RGB).
bool isDestinationProfile(std::span<const uint8_t> profile);

} // namespace pictorand
