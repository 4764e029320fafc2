#pragma once
// AVIF and HEIF files often describe their colours not by an ICC profile but
// by the code points video uses (primaries and transfer, ITU-T H.273): a
// wide-gamut photo says "Display P3" that way. The rest of the program
// converts by ICC profiles, so the description is turned into one.

#include <cstdint>
#include <vector>

namespace pictorand {

// An ICC profile for pictures in these primaries and transfer; empty when
// they are sRGB's own (or left unspecified, which is read as sRGB), and for
// what it cannot describe (XYZ, the logarithmic curves), shown as sRGB. The
// high dynamic range transfers (PQ, HLG) are tone mapped to the display's
// range by the profile's curve.
std::vector<uint8_t> profileForCodedColours(int primaries, int transfer);

} // namespace pictorand
