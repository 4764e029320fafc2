#include "codecs/common/alpha_composite.h"

namespace pictorand {

void compositeRgbaOverWhite(const uint8_t* rgba, uint8_t* bgr, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, rgba += 4, bgr += 3) {
        const uint8_t alpha = rgba[3];
        bgr[0] = overWhite(rgba[2], alpha);
        bgr[1] = overWhite(rgba[1], alpha);
        bgr[2] = overWhite(rgba[0], alpha);
    }
}

void compositeBgrOverWhite(uint8_t* bgr, const uint8_t* alpha, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, bgr += 3) {
        for (int c = 0; c < 3; ++c)
            bgr[c] = overWhite(bgr[c], alpha[i]);
    }
}

} // namespace pictorand
