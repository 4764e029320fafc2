#include "core/image_format.h"
#include "core/codec_registry.h"

#include <algorithm>
#include <string>
#include <utility>

namespace pictorand {

void CodecRegistry::registerFormat(FormatDescriptor descriptor)
{
    const ImageFormat format = descriptor.row.format;
    const auto later = std::upper_bound(m_formats.begin(), m_formats.end(), descriptor.row.signatureOrder,
                                        [](int order, const FormatInfo& row) { return order < row.signatureOrder; });
    m_formats.insert(later, std::move(descriptor.row));
    registerReader(format, descriptor.reader);
    registerWriter(format, descriptor.writer);
    registerImageList(format, descriptor.imageList);
    registerAnimationReader(format, descriptor.animationReader);
    registerAnimationCheck(format, descriptor.animationCheck);
}

std::vector<std::string> formatTableProblems(std::span<const FormatInfo> rows)
{
    std::vector<std::string> problems;
    std::vector<int> typeNumbers;
    for (size_t i = 0; i < rows.size(); ++i) {
        const FormatInfo& row = rows[i];
        const std::string name = row.name;
        const int number = static_cast<int>(row.format);
        if (number < 0 || number >= kFormatNumberLimit)
            problems.push_back(name + ": number " + std::to_string(number) + " out of range");
        for (size_t j = 0; j < i; ++j) {
            const FormatInfo& earlier = rows[j];
            const std::string pair = std::string(earlier.name) + " and " + name;
            if (earlier.format == row.format)
                problems.push_back(pair + ": one number, " + std::to_string(number));
            if (std::string_view(earlier.name) == row.name)
                problems.push_back(pair + ": one name");
            if (earlier.signatureOrder == row.signatureOrder)
                problems.push_back(pair + ": one signature order, " + std::to_string(row.signatureOrder));
            for (const OpenFilter& mine : row.openFilters)
                for (const OpenFilter& theirs : earlier.openFilters)
                    if (mine.position == theirs.position)
                        problems.push_back(pair + ": one Open position, " + std::to_string(mine.position));
            if (row.save && earlier.save && std::string_view(row.save->key) == earlier.save->key)
                problems.push_back(pair + ": one save key, " + row.save->key);
        }
        if (row.save)
            typeNumbers.push_back(row.save->typeNumber);
    }
    std::vector<std::pair<const FormatInfo*, const AssociationBox*>> boxes;
    for (const FormatInfo& row : rows)
        for (const AssociationBox& box : row.associationBoxes) {
            for (const auto& [owner, earlier] : boxes) {
                const std::string pair = std::string(owner->name) + " and " + row.name;
                if (earlier->position == box.position)
                    problems.push_back(pair + ": one association box position, " + std::to_string(box.position));
                if (std::string_view(earlier->key) == box.key)
                    problems.push_back(pair + ": one association key, " + box.key);
            }
            boxes.emplace_back(&row, &box);
        }
    std::sort(typeNumbers.begin(), typeNumbers.end());
    for (size_t i = 0; i < typeNumbers.size(); ++i)
        if (typeNumbers[i] != static_cast<int>(i) + 1) {
            problems.push_back("Save-as type numbers are not 1 to " + std::to_string(typeNumbers.size()));
            break;
        }
    return problems;
}

} // namespace pictorand
