#include "codecs/common/pixel_order.h"

namespace pictorand {

// A good part of what loading or saving a big uncompressed picture costs;
// with AVX2 the compiler turns the loops into byte shuffles.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define PICTORAND_SHUFFLE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PICTORAND_SHUFFLE_CLONES
#endif

PICTORAND_SHUFFLE_CLONES
void copySwappingRedBlue(const uint8_t* __restrict source, uint8_t* __restrict target, size_t pixels)
{
    for (size_t x = 0; x < pixels; ++x) {
        target[3 * x] = source[3 * x + 2];
        target[3 * x + 1] = source[3 * x + 1];
        target[3 * x + 2] = source[3 * x];
    }
}

PICTORAND_SHUFFLE_CLONES
void copySwappingRedBlueWithAlpha(const uint8_t* __restrict source, uint8_t* __restrict target, size_t pixels)
{
    for (size_t x = 0; x < pixels; ++x) {
        target[4 * x] = source[4 * x + 2];
        target[4 * x + 1] = source[4 * x + 1];
        target[4 * x + 2] = source[4 * x];
        target[4 * x + 3] = source[4 * x + 3];
    }
}

} // namespace pictorand
