#include "core/codec_registry.h"

#include <cctype>

namespace pictorand {

const std::vector<SaveTypeInfo>& saveTypeTable()
{
    static const std::vector<SaveTypeInfo> table = {
        {SaveType::Jpg, "JPG", ".jpg"}, {SaveType::Gif, "GIF", ".gif"}, {SaveType::Bmp, "BMP", ".bmp"},
        {SaveType::Png, "PNG", ".png"}, {SaveType::Tif, "TIF", ".tif"}, {SaveType::Pcx, "PCX", ".pcx"},
        {SaveType::Ico, "ICO", ".ico"},
    };
    return table;
}

const SaveTypeInfo* saveTypeByKey(const std::string& key)
{
    std::string upper;
    for (char c : key)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const SaveTypeInfo& info : saveTypeTable())
        if (upper == info.key)
            return &info;
    return nullptr;
}

} // namespace pictorand
