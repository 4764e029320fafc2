#pragma once
// What the GIF reader reports about the image it decoded.

#include <cstdint>

namespace pictorand {

inline constexpr int kMaxFrames = 1000; // GIF frames and TIFF pages alike

struct GifFrameInfo {
    uint8_t backgroundRed = 0;
    uint8_t backgroundGreen = 0;
    uint8_t backgroundBlue = 0;
    uint16_t left = 0;
    uint16_t top = 0;
    int disposalMethod = 0;
    int transparentFlag = 0;
    int delay = 0; // hundredths of a second
    uint8_t transparentIndex = 0;
    bool dataEndedEarly = false; // the image data ran out before its last pixel
};

} // namespace pictorand
