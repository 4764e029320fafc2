#include "ops/adjust.h"

#include "ops/color_table.h"
#include "ops/derived_block.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace pictorand {

namespace {

bool isPaletted(uint16_t bits) { return bits == 1 || bits == 4 || bits == 8; }

bool isAdjustable(const ImageBlock& block)
{
    return isUsableBlock(block) && (isPaletted(block.bitCount()) || block.bitCount() == 24);
}

// Calls visit(blue, green, red) for each entry of the colour table (the
// entries given) or for every pixel of a true-colour block.
template<typename Visit>
void forEachColor(ImageBlock& block, uint32_t tableEntries, Visit visit)
{
    if (block.bitCount() != 24) {
        ColorEntry* table = block.colorTable();
        for (uint32_t i = 0; i < tableEntries; ++i)
            visit(table[i].blue, table[i].green, table[i].red);
        return;
    }
    const auto width = static_cast<uint32_t>(block.width());
    for (int32_t y = 0; y < block.height(); ++y) {
        uint8_t* pixel = block.row(y);
        for (uint32_t x = 0; x < width; ++x, pixel += 3)
            visit(pixel[0], pixel[1], pixel[2]);
    }
}

// Every component byte through `table`: the given colour-table entries of a
// paletted block, the pixel bytes (not the row padding) of a true-colour one.
void mapComponents(ImageBlock& block, uint32_t tableEntries, const std::array<uint8_t, 256>& table)
{
    if (block.bitCount() != 24) {
        forEachColor(block, tableEntries, [&](uint8_t& blue, uint8_t& green, uint8_t& red) {
            blue = table[blue];
            green = table[green];
            red = table[red];
        });
        return;
    }
    size_t bytes = size_t(3) * static_cast<uint32_t>(block.width());
    for (int32_t y = 0; y < block.height(); ++y) {
        uint8_t* row = block.row(y);
        for (size_t i = 0; i < bytes; ++i)
            row[i] = table[row[i]];
    }
}

uint8_t clampComponent(int value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); }

// The adjustments that leave their source alone: a duplicate with its
// components (colour table of 2^bits entries, or pixels) mapped.
Result<ImageBlock> mappedDuplicate(const ImageBlock& block, const std::array<uint8_t, 256>& table)
{
    if (!isAdjustable(block))
        return badArgument();
    Result<ImageBlock> copy = duplicateBlock(block);
    if (copy)
        mapComponents(*copy, adjustableColorEntries(*copy), table);
    return copy;
}

struct GreyProducts {
    double blue[256];
    double green[256];
    double red[256];
    GreyProducts()
    {
        for (int i = 0; i < 256; ++i) {
            blue[i] = 0.11 * i;
            green[i] = 0.59 * i;
            red[i] = 0.30 * i;
        }
    }
};

const GreyProducts& greyProducts()
{
    static const GreyProducts products;
    return products;
}

uint8_t greyFromProducts(const GreyProducts& products, uint8_t red, uint8_t green, uint8_t blue)
{
    // Separate statements so that no compiler fuses a product into the sum:
    // the truncation must see exactly the double-precision sums.
    double sum = products.blue[blue];
    sum += products.green[green];
    sum += products.red[red];
    return static_cast<uint8_t>(sum);
}

} // namespace

uint8_t greyValue(uint8_t red, uint8_t green, uint8_t blue)
{
    return greyFromProducts(greyProducts(), red, green, blue);
}

Status greyscale(ImageBlock& block)
{
    if (!isAdjustable(block))
        return badArgument();
    const GreyProducts& products = greyProducts();
    if (block.bitCount() != 24) {
        forEachColor(block, adjustableColorEntries(block), [&](uint8_t& blue, uint8_t& green, uint8_t& red) {
            blue = green = red = greyFromProducts(products, red, green, blue);
        });
        return {};
    }
    ImageBlock grey = ImageBlock::create(block.width(), block.height(), 8, 256);
    if (!grey)
        return outOfMemory();
    grey.setXPelsPerMeter(block.xPelsPerMeter());
    grey.setYPelsPerMeter(block.yPelsPerMeter());
    for (uint32_t i = 0; i < 256; ++i)
        grey.setColor(i, static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i));
    const auto width = static_cast<uint32_t>(block.width());
    for (int32_t y = 0; y < block.height(); ++y) {
        const uint8_t* in = block.row(y);
        uint8_t* out = grey.row(y);
        for (uint32_t x = 0; x < width; ++x, in += 3)
            out[x] = greyFromProducts(products, in[2], in[1], in[0]);
    }
    block = std::move(grey);
    return {};
}

Status negative(ImageBlock& block)
{
    if (!isAdjustable(block))
        return badArgument();
    if (block.bitCount() == 24) {
        // 255 - v is ~v: eight bytes at a time, then the rest of the row.
        const size_t bytes = size_t(3) * static_cast<uint32_t>(block.width());
        for (int32_t y = 0; y < block.height(); ++y) {
            uint8_t* row = block.row(y);
            size_t i = 0;
            for (; i + 8 <= bytes; i += 8) {
                uint64_t word;
                std::memcpy(&word, row + i, 8);
                word = ~word;
                std::memcpy(row + i, &word, 8);
            }
            for (; i < bytes; ++i)
                row[i] = static_cast<uint8_t>(~row[i]);
        }
        return {};
    }
    std::array<uint8_t, 256> inverse{};
    for (int i = 0; i < 256; ++i)
        inverse[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    mapComponents(block, block.colorsUsed(), inverse);
    return {};
}

Status swapChannels(ImageBlock& block, ChannelSwap swap)
{
    if (!isAdjustable(block))
        return badArgument();
    auto apply = [&](auto permute) {
        forEachColor(block, block.colorsUsed(), [&](uint8_t& blue, uint8_t& green, uint8_t& red) {
            uint8_t b = blue, g = green, r = red;
            permute(b, g, r);
            blue = b;
            green = g;
            red = r;
        });
    };
    switch (swap) {
    case ChannelSwap::RBG:
        apply([](uint8_t& b, uint8_t& g, uint8_t&) { std::swap(g, b); });
        break;
    case ChannelSwap::BGR:
        apply([](uint8_t& b, uint8_t&, uint8_t& r) { std::swap(r, b); });
        break;
    case ChannelSwap::GRB:
        apply([](uint8_t&, uint8_t& g, uint8_t& r) { std::swap(r, g); });
        break;
    case ChannelSwap::BRG:
        // new red = old green, new green = old blue, new blue = old red
        apply([](uint8_t& b, uint8_t& g, uint8_t& r) {
            uint8_t oldRed = r;
            r = g;
            g = b;
            b = oldRed;
        });
        break;
    case ChannelSwap::GBR:
        // new red = old blue, new green = old red, new blue = old green
        apply([](uint8_t& b, uint8_t& g, uint8_t& r) {
            uint8_t oldRed = r;
            r = b;
            b = g;
            g = oldRed;
        });
        break;
    }
    return {};
}

Result<ImageBlock> adjustBrightness(const ImageBlock& block, int offset)
{
    if (offset < -kMaxBrightness || offset > kMaxBrightness)
        return badArgument();
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v)
        table[static_cast<size_t>(v)] = clampComponent(v + offset);
    return mappedDuplicate(block, table);
}

Result<ImageBlock> adjustContrast(const ImageBlock& block, int step)
{
    if (step < -kMaxContrast || step > kMaxContrast)
        return badArgument();
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v)
        table[static_cast<size_t>(v)] = clampComponent(v >= 128 ? v + step : v - step);
    return mappedDuplicate(block, table);
}

bool isGammaInRange(double gamma)
{
    constexpr double kSlack = 1e-9;
    return gamma >= kMinGamma - kSlack && gamma <= kMaxGamma + kSlack; // false for NaN
}

Result<ImageBlock> adjustGamma(const ImageBlock& block, double gamma)
{
    if (!isGammaInRange(gamma))
        return badArgument();
    return mappedDuplicate(block, gammaTable(gamma));
}

std::array<uint8_t, 256> gammaTable(double gamma)
{
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        double value = std::pow(i / 255.0, 1.0 / gamma) * 255.0 + 0.5;
        table[static_cast<size_t>(i)] = static_cast<uint8_t>(value >= 255.0 ? 255.0 : value <= 0.0 ? 0.0 : value);
    }
    return table;
}

Status setPaletteEntry(ImageBlock& block, uint32_t index, uint8_t red, uint8_t green, uint8_t blue)
{
    if (!isUsableBlock(block) || !isPaletted(block.bitCount()) || index >= block.colorsUsed())
        return badArgument();
    block.setColor(index, red, green, blue);
    return {};
}

} // namespace pictorand
