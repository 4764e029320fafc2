#pragma once
// What both metafile fuzz targets check after playing a file.

#include "codecs/metafile/metafile.h"

#include <cmath>
#include <cstdlib>
#include <span>
#include <variant>

namespace pictorand::fuzzing {

inline void requireReachable(const metafile::Point& p)
{
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > 1e7 || std::fabs(p.y) > 1e7)
        std::abort();
}

inline void playAndCheckMetafile(std::span<const uint8_t> bytes)
{
    using namespace metafile;
    // Small limits keep each run short; the bounds themselves are what is
    // being tested.
    Limits limits;
    limits.maxRecords = 20000;
    limits.maxCommands = 5000;
    limits.maxPoints = 200000;
    Result<Drawing> drawing = playMetafile(bytes, limits);
    if (!drawing)
        return;
    if (static_cast<int>(drawing->commands.size()) > limits.maxCommands)
        std::abort();
    for (const Command& command : drawing->commands) {
        if (const Shape* shape = std::get_if<Shape>(&command)) {
            if (shape->path.points.size() != shape->path.kinds.size())
                std::abort();
            for (const Point& p : shape->path.points)
                requireReachable(p);
            if (!std::isfinite(shape->pen.width) || shape->pen.width < 0)
                std::abort();
        } else if (const Text* text = std::get_if<Text>(&command)) {
            requireReachable(text->origin);
            if (!text->advances.empty() && text->advances.size() != text->text.size())
                std::abort();
            if (!std::isfinite(text->font.height) || !std::isfinite(text->angle))
                std::abort();
        } else if (const Bitmap* bitmap = std::get_if<Bitmap>(&command)) {
            requireReachable(bitmap->topLeft);
            requireReachable(bitmap->topRight);
            requireReachable(bitmap->bottomLeft);
            if (!bitmap->image || bitmap->sourceX < 0 || bitmap->sourceY < 0
                || bitmap->sourceX + bitmap->sourceWidth > bitmap->image->width() + 1e-9)
                std::abort();
            if (bitmap->mask && (bitmap->mask->set.size() != size_t(bitmap->mask->width) * bitmap->mask->height
                                 || bitmap->mask->width < bitmap->sourceWidth))
                std::abort();
        } else if (const Gradient* gradient = std::get_if<Gradient>(&command)) {
            for (const auto& triangle : gradient->triangles)
                for (const GradientVertex& vertex : triangle)
                    requireReachable(vertex.at);
        }
    }
}

} // namespace pictorand::fuzzing
