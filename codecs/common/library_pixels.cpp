#include "codecs/common/library_pixels.h"

#include "codecs/common/alpha_composite.h"
#include "codecs/common/pixel_order.h"

#include "core/checked_size.h"
#include "core/sample_scale.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

namespace pictorand {

namespace {

std::atomic<uint64_t> pixelLimitForFuzzing{0};

bool isGrey(const SampleLayout& layout) { return layout.channels <= 2; }
bool hasAlpha(const SampleLayout& layout) { return layout.channels == 2 || layout.channels == 4; }

uint16_t bitCountFor(const SampleLayout& layout) { return layout.wholeSamples ? 48 : isGrey(layout) ? 8 : 24; }
bool hasRamp(const SampleLayout& layout) { return isGrey(layout) && !layout.wholeSamples; }

// A 9- to 16-bit sample to 8 bits, rounded: v * 255 / max.
uint8_t scaledTo8(const uint8_t* littleEndian, uint32_t maximum)
{
    const uint32_t value = uint32_t(littleEndian[0]) | uint32_t(littleEndian[1]) << 8;
    return toEightBits(value > maximum ? maximum : value, maximum);
}

// The same to 16 bits: v * 65535 / max.
uint16_t scaledTo16(const uint8_t* littleEndian, uint32_t maximum)
{
    const uint32_t value = std::min(uint32_t(littleEndian[0]) | uint32_t(littleEndian[1]) << 8, maximum);
    return static_cast<uint16_t>((uint64_t(value) * 65535 + maximum / 2) / maximum);
}

// `count` pixels of 9- to 16-bit samples as 16-bit blue, green, red over white.
void storeWholeSamples(const uint8_t* samples, const SampleLayout& layout, uint8_t* target, size_t count)
{
    const uint32_t maximum = (1u << layout.significantBits) - 1;
    const auto channels = static_cast<size_t>(layout.channels);
    const size_t colours = isGrey(layout) ? 1 : 3;
    for (size_t x = 0; x < count; ++x, samples += 2 * channels, target += 6) {
        const uint64_t opacity = hasAlpha(layout) ? scaledTo16(samples + 2 * colours, maximum) : 65535;
        uint16_t deep[3];
        for (size_t c = 0; c < 3; ++c) {
            const uint64_t value = scaledTo16(samples + 2 * (colours == 3 ? 2 - c : 0), maximum);
            deep[c] = static_cast<uint16_t>((value * opacity + 65535 * (65535 - opacity) + 32767) / 65535);
        }
        std::memcpy(target, deep, 6);
    }
}

} // namespace

void limitPixelsForFuzzing(uint64_t pixels) { pixelLimitForFuzzing = pixels; }

bool overPixelLimitForFuzzing(uint64_t width, uint64_t height)
{
    const uint64_t limit = pixelLimitForFuzzing;
    return limit != 0 && (width > limit || height > limit || width * height > limit);
}

bool declaredSizeFits(uint64_t width, uint64_t height, const SampleLayout& layout)
{
    if (width == 0 || height == 0 || width >= INT32_MAX || height >= INT32_MAX)
        return false;
    if (overPixelLimitForFuzzing(width, height))
        return false;
    // The library's own picture buffer is held to the same limit. Both
    // dimensions are below 2^31, so their product does not overflow.
    const uint64_t sampleBytes = layout.significantBits > 8 ? 2 : 1;
    if (!checkedMulAdd(width * height, uint64_t(layout.channels) * sampleBytes, 0))
        return false;
    const auto w = static_cast<int64_t>(width);
    const auto h = static_cast<int64_t>(height);
    const uint32_t colours = hasRamp(layout) ? 256 : 0;
    return ImageBlock::sizeFor(w, h, bitCountFor(layout), colours)
        && ImageBlock::sizeFor(h, w, bitCountFor(layout), colours);
}

SampleLayout withWholeSamples(SampleLayout layout, bool asked, uint64_t width, uint64_t height)
{
    SampleLayout whole = layout;
    whole.wholeSamples = true;
    return asked && layout.significantBits > 8 && declaredSizeFits(width, height, whole) ? whole : layout;
}

ImageBlock createBlockForLayout(uint32_t width, uint32_t height, const SampleLayout& layout)
{
    if (!declaredSizeFits(width, height, layout))
        return {};
    ImageBlock block = ImageBlock::create(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                          bitCountFor(layout), hasRamp(layout) ? 256 : 0);
    if (block && hasRamp(layout))
        for (uint32_t i = 0; i < 256; ++i)
            block.setColor(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
    return block;
}

ImageBlock alphaPlaneFor(const ImageBlock& block, const SampleLayout& layout, bool keepAlpha)
{
    if (!keepAlpha || !hasAlpha(layout) || !block)
        return {};
    return createAlphaPlane(block.width(), block.height());
}

void storeTopRow(ImageBlock& block, int32_t y, const uint8_t* samples, const SampleLayout& layout, ImageBlock* alpha)
{
    storeTopRowPart(block, y, 0, block.width(), samples, layout, alpha);
}

void storeTopRowPart(ImageBlock& block, int32_t y, int32_t x0, int32_t count, const uint8_t* samples,
                     const SampleLayout& layout, ImageBlock* alpha)
{
    if (alpha && *alpha && hasAlpha(layout)) {
        uint8_t* opacity = alpha->topRow(y) + x0;
        const size_t step = size_t(layout.channels) * (layout.significantBits > 8 ? 2 : 1);
        const uint8_t* last = samples + (layout.channels - 1) * (layout.significantBits > 8 ? 2 : 1);
        const uint32_t maximum = (1u << layout.significantBits) - 1;
        for (int32_t x = 0; x < count; ++x, last += step)
            opacity[x] = layout.significantBits > 8 ? scaledTo8(last, maximum) : *last;
    }
    uint8_t* target = block.topRow(y) + size_t(x0) * bitCountFor(layout) / 8;
    const auto width = static_cast<size_t>(count);
    if (layout.wholeSamples) {
        storeWholeSamples(samples, layout, target, width);
        return;
    }
    if (layout.significantBits <= 8) {
        switch (layout.channels) {
        case 1:
            std::memcpy(target, samples, width);
            return;
        case 2:
            for (size_t x = 0; x < width; ++x)
                target[x] = overWhite(samples[2 * x], samples[2 * x + 1]);
            return;
        case 3:
            copySwappingRedBlue(samples, target, width);
            return;
        default:
            compositeRgbaOverWhite(samples, target, width);
            return;
        }
    }
    const uint32_t maximum = (1u << layout.significantBits) - 1;
    const auto channels = static_cast<size_t>(layout.channels);
    for (size_t x = 0; x < width; ++x) {
        const uint8_t* pixel = samples + 2 * channels * x;
        uint8_t value[4];
        for (size_t c = 0; c < channels; ++c)
            value[c] = scaledTo8(pixel + 2 * c, maximum);
        if (isGrey(layout)) {
            target[x] = hasAlpha(layout) ? overWhite(value[0], value[1]) : value[0];
        } else if (hasAlpha(layout)) {
            compositeRgbaOverWhite(value, target + 3 * x, 1);
        } else {
            target[3 * x] = value[2];
            target[3 * x + 1] = value[1];
            target[3 * x + 2] = value[0];
        }
    }
}

} // namespace pictorand
