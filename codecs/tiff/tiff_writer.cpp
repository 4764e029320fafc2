#include "codecs/tiff/tiff.h"
#include "codecs/tiff/tiff_glue.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pictorand {

namespace {

constexpr const char* kCantSave = "Can't save !";

uint16_t compressionTagFor(TiffSaveCompression setting)
{
    switch (setting) {
    case TiffSaveCompression::None: return COMPRESSION_NONE;
    case TiffSaveCompression::Lzw: return COMPRESSION_LZW;
    case TiffSaveCompression::PackBits: return COMPRESSION_PACKBITS;
    case TiffSaveCompression::Fax3: return COMPRESSION_CCITTFAX3;
    case TiffSaveCompression::Fax4: return COMPRESSION_CCITTFAX4;
    case TiffSaveCompression::HuffmanRle: return COMPRESSION_CCITTRLE;
    case TiffSaveCompression::Jpeg: return COMPRESSION_JPEG;
    }
    return COMPRESSION_NONE;
}

int brightness(const ColorEntry& entry) { return entry.red * 77 + entry.green * 150 + entry.blue * 29; }

// Turns one block row into the scanline the file gets.
void convertRow(const ImageBlock& block, const uint8_t* source, uint8_t* target, bool invertBits)
{
    const auto width = static_cast<uint32_t>(block.width());
    switch (block.bitCount()) {
    case 24:
    case 32: {
        const uint32_t step = block.bitCount() / 8u;
        std::memcpy(target, source, size_t(width) * step);
        for (uint32_t x = 0; x < width; ++x, target += step)
            std::swap(target[0], target[2]);
        break;
    }
    case 16:
        // 5-5-5 words written as the 8-bit RGB they stand for.
        for (uint32_t x = 0; x < width; ++x, source += 2, target += 3) {
            unsigned value = source[0] | (source[1] << 8);
            target[0] = static_cast<uint8_t>(((value >> 10) & 31) << 3);
            target[1] = static_cast<uint8_t>(((value >> 5) & 31) << 3);
            target[2] = static_cast<uint8_t>((value & 31) << 3);
        }
        break;
    default: {
        size_t bytes = static_cast<size_t>(block.rowSize());
        std::memcpy(target, source, bytes);
        if (invertBits)
            for (size_t i = 0; i < bytes; ++i)
                target[i] = static_cast<uint8_t>(~target[i]);
        break;
    }
    }
}

} // namespace

bool writeTiff(const std::string& path, const ImageBlock& block, int compressionSetting, int jpegQuality,
               std::string& message)
{
    message = kCantSave;
    if (!block || !block.isConsistent() || block.width() <= 0 || block.height() <= 0)
        return false;
    if (compressionSetting < 0 || compressionSetting > 6)
        return false;
    const auto setting = static_cast<TiffSaveCompression>(compressionSetting);
    const uint16_t bitCount = block.bitCount();
    if (setting == TiffSaveCompression::Jpeg && bitCount != 24) {
        message = "Only 24-BPP images can you save as TIFF-JPEG.";
        return false;
    }
    bool faxSetting = setting == TiffSaveCompression::Fax3 || setting == TiffSaveCompression::Fax4
        || setting == TiffSaveCompression::HuffmanRle;
    if (faxSetting && bitCount != 1) {
        message = "Incorrect Compression !\nThis in not a 1-BPP Image.";
        return false;
    }
    // Other depths cannot be written; saying so beats reporting a file that
    // was never written as saved.
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return false;

    const bool paletted = bitCount <= 8;
    const uint32_t mapEntries = paletted ? 1u << bitCount : 0;
    std::vector<uint16_t> red(mapEntries), green(mapEntries), blue(mapEntries);
    for (uint32_t i = 0; i < std::min(mapEntries, block.colorsUsed()); ++i) {
        const ColorEntry& entry = block.colorTable()[i];
        red[i] = static_cast<uint16_t>(entry.red * 257);
        green[i] = static_cast<uint16_t>(entry.green * 257);
        blue[i] = static_cast<uint16_t>(entry.blue * 257);
    }
    // A 1-bit file is tagged min-is-black; a block whose entry 0 is the
    // lighter one has its bits inverted so the picture still looks the same.
    bool invertBits = bitCount == 1 && block.colorsUsed() >= 2
        && brightness(block.colorTable()[0]) > brightness(block.colorTable()[1]);

    std::string libraryMessages; // library failures leave "Can't save !"
    tiff_glue::TiffFile file(path, "w", &libraryMessages);
    if (!file)
        return false;
    TIFF* tiff = file.get();
    const auto width = static_cast<uint32_t>(block.width());
    const auto height = static_cast<uint32_t>(block.height());
    const bool rgb = bitCount >= 16;
    uint16_t samples = bitCount == 32 ? 4 : rgb ? 3 : 1;
    uint16_t bitsPerSample = rgb ? 8 : bitCount;
    uint16_t photometric = rgb ? PHOTOMETRIC_RGB : bitCount == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE;

    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height)
        && TIFFSetField(tiff, TIFFTAG_SOFTWARE, "Pictorand32")
        && TIFFSetField(tiff, TIFFTAG_COMPRESSION, compressionTagFor(setting));
    if (ok && setting == TiffSaveCompression::Jpeg)
        ok = TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, std::clamp(jpegQuality, 1, 100));
    ok = ok && TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric)
        && TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
        && TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<double>(block.xPelsPerMeter()))
        && TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<double>(block.yPelsPerMeter()))
        && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples)
        && TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    if (ok && bitCount == 32) {
        uint16_t extra[] = {EXTRASAMPLE_UNSPECIFIED};
        ok = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (ok) {
        bool wholeImageStrip = setting == TiffSaveCompression::Fax3 || setting == TiffSaveCompression::Fax4;
        uint32_t rowsPerStrip = wholeImageStrip ? height : TIFFDefaultStripSize(tiff, 0);
        ok = TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip)
            && TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    }
    if (ok && paletted)
        ok = TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    if (!ok)
        return false;

    tmsize_t scanlineSize = TIFFScanlineSize(tiff);
    if (scanlineSize <= 0)
        return false;
    std::vector<uint8_t> scanline(std::max<size_t>(static_cast<size_t>(scanlineSize),
                                                   std::max<size_t>(block.rowSize(), size_t(width) * 3)));
    for (uint32_t row = 0; row < height; ++row) {
        convertRow(block, block.topRow(static_cast<int32_t>(row)), scanline.data(), invertBits);
        if (TIFFWriteScanline(tiff, scanline.data(), row, 0) < 0)
            return false;
    }
    return file.close();
}

} // namespace pictorand
