#include "dispatch/drawing_colours.h"

#include "ops/color_table.h"
#include "ops/colour_profile.h"

#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace pictorand {

namespace {

using metafile::Colour;
using ImagePointer = std::shared_ptr<const ImageBlock>;

// Every colour and image of the drawing, found first so that the colours
// convert in one go.
struct Parts {
    std::vector<Colour*> colours;
    std::vector<ImagePointer*> images;
};

void collectBrush(metafile::Brush& brush, Parts& parts)
{
    parts.colours.push_back(&brush.colour);
    if (brush.pattern)
        parts.images.push_back(&brush.pattern);
}

Parts collect(metafile::Drawing& drawing)
{
    Parts parts;
    for (metafile::Command& command : drawing.commands) {
        if (auto* shape = std::get_if<metafile::Shape>(&command)) {
            parts.colours.insert(parts.colours.end(), {&shape->pen.colour, &shape->background});
            collectBrush(shape->brush, parts);
        } else if (auto* text = std::get_if<metafile::Text>(&command)) {
            parts.colours.insert(parts.colours.end(), {&text->colour, &text->background});
        } else if (auto* bitmap = std::get_if<metafile::Bitmap>(&command)) {
            collectBrush(bitmap->brush, parts);
            // A bitmap with a colour key stays as it is, key and all: a
            // pixel one unit off after conversion would no longer match it.
            // So does one whose colours are premultiplied by its alpha.
            if (bitmap->image && !bitmap->transparent && !bitmap->sourceAlpha)
                parts.images.push_back(&bitmap->image);
        } else if (auto* gradient = std::get_if<metafile::Gradient>(&command)) {
            for (auto& triangle : gradient->triangles)
                for (metafile::GradientVertex& vertex : triangle)
                    parts.colours.push_back(&vertex.colour);
        }
    }
    for (Colour& colour : drawing.palette)
        parts.colours.push_back(&colour);
    return parts;
}

// A converted copy of a bitmap; null when it cannot be converted. Those of
// 32 bits (writers put a picture's pixels in them with the fourth byte
// unused) convert through a 24-bit copy of their colours.
Result<ImagePointer> convertedImage(const ImageBlock& image, std::span<const uint8_t> display)
{
    Result<ImageBlock> copy = duplicateBlock(image);
    if (!copy)
        return copy.failure();
    if (image.bitCount() != 32) {
        if (convertColours(*copy, {}, display) != ProfileConversion::Converted)
            return ImagePointer();
        return ImagePointer(std::make_shared<const ImageBlock>(copy.take()));
    }
    ImageBlock colours = ImageBlock::create(image.width(), image.height(), 24, 0);
    if (!colours)
        return Failure{Reason::OutOfMemory, {}};
    const int32_t rows = colours.height();
    const int32_t width = colours.width();
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < width; ++x)
            std::memcpy(colours.row(y) + x * 3, image.row(y) + x * 4, 3);
    if (convertColours(colours, {}, display) != ProfileConversion::Converted)
        return ImagePointer();
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < width; ++x)
            std::memcpy(copy->row(y) + x * 4, colours.row(y) + x * 3, 3);
    return ImagePointer(std::make_shared<const ImageBlock>(copy.take()));
}

// The colours as one row of a 24-bit picture, converted as a picture is.
bool convertList(const std::vector<Colour*>& colours, std::span<const uint8_t> display)
{
    if (colours.empty())
        return true;
    if (colours.size() > uint64_t(INT32_MAX))
        return false;
    ImageBlock row = ImageBlock::create(static_cast<int32_t>(colours.size()), 1, 24, 0);
    if (!row)
        return false;
    uint8_t* bgr = row.row(0);
    for (const Colour* colour : colours) {
        *bgr++ = colour->blue;
        *bgr++ = colour->green;
        *bgr++ = colour->red;
    }
    if (convertColours(row, {}, display) != ProfileConversion::Converted)
        return false;
    bgr = row.row(0);
    for (Colour* colour : colours) {
        colour->blue = *bgr++;
        colour->green = *bgr++;
        colour->red = *bgr++;
    }
    return true;
}

} // namespace

bool convertDrawingColours(metafile::Drawing& drawing, std::span<const uint8_t> display)
{
    if (!isDestinationProfile(display))
        return false;
    // Converted in a copy, so a failure half-way leaves the drawing as it was.
    metafile::Drawing copy = drawing;
    Parts parts = collect(copy);
    // An image several commands share is converted once; one the
    // conversion refuses is left as it is.
    std::map<const ImageBlock*, ImagePointer> converted;
    for (ImagePointer* image : parts.images) {
        const ImageBlock* original = image->get();
        auto found = converted.find(original);
        if (found == converted.end()) {
            Result<ImagePointer> replacement = convertedImage(*original, display);
            if (!replacement)
                return false;
            found = converted.emplace(original, replacement.take()).first;
        }
        if (found->second)
            *image = found->second;
    }
    if (!convertList(parts.colours, display))
        return false;
    drawing = std::move(copy);
    return true;
}

} // namespace pictorand
