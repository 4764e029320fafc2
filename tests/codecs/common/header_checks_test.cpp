// Every header check refuses a malformed header for the one fault it was
// built with, with the reason a caller can branch on and the reader's own
// words, and accepts the same header once the fault is mended.

#include "codecs/bmp/bmp.h"
#include "codecs/gif/gif.h"
#include "codecs/icon/icon.h"
#include "codecs/iff/iff.h"
#include "codecs/pcx/pcx.h"
#include "codecs/photocd/photocd.h"
#include "codecs/pnm/pnm.h"
#include "codecs/sunraster/sunraster.h"
#include "codecs/targa/targa.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pictorand {
namespace {

using Bytes = std::vector<uint8_t>;

void put16le(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32le(Bytes& b, size_t at, uint32_t v)
{
    put16le(b, at, v & 0xFFFF);
    put16le(b, at + 2, v >> 16);
}
void put32be(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
// The characters of a literal, embedded zero bytes included.
template <size_t N>
Bytes text(const char (&s)[N])
{
    return Bytes(s, s + N - 1);
}

// A 2 x 2 8-bit BMP header: file header and 40-byte info header.
Bytes bmp(int32_t width = 2, uint32_t infoSize = 40)
{
    Bytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32le(b, 10, 54 + 1024);
    put32le(b, 14, infoSize);
    put32le(b, 18, static_cast<uint32_t>(width));
    put32le(b, 22, 2);
    put16le(b, 26, 1);
    put16le(b, 28, 8);
    return b;
}

Bytes gif(const std::string& signature = "GIF89a")
{
    Bytes b(signature.begin(), signature.end());
    b.resize(13, 0);
    b[6] = 1;
    b[8] = 1;
    return b;
}

Bytes pcx(uint8_t manufacturer = 10, uint16_t xMin = 0, uint8_t planes = 1)
{
    Bytes b(128, 0);
    b[0] = manufacturer;
    b[1] = 5;
    b[2] = 1;
    b[3] = 8;
    put16le(b, 4, xMin);
    put16le(b, 8, 3);
    put16le(b, 10, 3);
    b[65] = planes;
    put16le(b, 66, 4);
    return b;
}

Bytes targa(uint16_t width = 2, uint8_t depth = 24)
{
    Bytes b(18, 0);
    b[2] = 2;
    put16le(b, 12, width);
    put16le(b, 14, 2);
    b[16] = depth;
    return b;
}

Bytes sun(uint32_t magic = 0x59A66A95, uint32_t width = 2, uint32_t depth = 8)
{
    Bytes b(32, 0);
    put32be(b, 0, magic);
    put32be(b, 4, width);
    put32be(b, 8, 2);
    put32be(b, 12, depth);
    return b;
}

Bytes icon(uint16_t type = 1, uint16_t count = 1)
{
    Bytes b(6 + 16, 0);
    put16le(b, 2, type);
    put16le(b, 4, count);
    return b;
}

Bytes bitmapHeaderChunk(uint16_t width = 2, uint8_t planes = 8, uint8_t compression = 1)
{
    Bytes b(20, 0);
    b[0] = static_cast<uint8_t>(width >> 8);
    b[1] = static_cast<uint8_t>(width);
    b[3] = 2;
    b[8] = planes;
    b[10] = compression;
    return b;
}

} // namespace

void PrintTo(const Failure& failure, std::ostream* out)
{
    *out << "reason " << static_cast<int>(failure.reason) << " \"" << failure.detail << "\"";
}

namespace {

template <class T>
std::optional<Failure> refusal(const Result<T>& result)
{
    if (result)
        return std::nullopt;
    return result.failure();
}

struct HeaderCase {
    const char* name;
    std::function<std::optional<Failure>()> check;
    std::optional<Failure> expected; // nothing: accepted
};

TEST(HeaderChecks, EachFaultHasItsReasonAndTheReadersWords)
{
    using R = Reason;
    const char* bmpHeader = "Not a valid BMP file, can't read header";
    const char* bmpShort = "Not a valid BMP file";
    const char* gifWords = "This is not a valid GIF file !";
    const char* pcxWords = "Not a valid PCX file";
    const char* tgaWords = "Not a valid TARGA file, can't read header";
    const char* rasWords = "This is not a valid RAS File.";
    const char* pgmWords = "Not a valid PGM file, can't read header";
    const char* iffWords = "Not a valid IFF file";
    const char* pcdWords = "Not a valid PCD-File";
    const HeaderCase cases[] = {
        {"bmp accepted", [] { return refusal(checkBmpHeader(bmp())); }, std::nullopt},
        {"bmp empty", [] { return refusal(checkBmpHeader({})); }, Failure{R::Truncated, bmpHeader}},
        {"bmp wrong type", [] { Bytes b = bmp(); b[1] = 'A'; return refusal(checkBmpHeader(b)); },
         Failure{R::NotThisFormat, bmpHeader}},
        {"bmp ends in the file header", [] { Bytes b = bmp(); b.resize(12); return refusal(checkBmpHeader(b)); },
         Failure{R::Truncated, bmpShort}},
        {"bmp ends in the info header", [] { Bytes b = bmp(); b.resize(24); return refusal(checkBmpHeader(b)); },
         Failure{R::Truncated, bmpShort}},
        {"bmp unknown info header size", [] { return refusal(checkBmpHeader(bmp(2, 13))); },
         Failure{R::Unsupported, bmpHeader}},
        {"bmp zero width", [] { return refusal(checkBmpHeader(bmp(0))); }, Failure{R::BadDimensions, bmpHeader}},

        {"gif accepted", [] { return refusal(checkGifHeader(gif())); }, std::nullopt},
        {"gif 87a accepted", [] { return refusal(checkGifHeader(gif("GIF87a"))); }, std::nullopt},
        {"gif short screen descriptor", [] { Bytes b = gif(); b.resize(12); return refusal(checkGifHeader(b)); },
         Failure{R::Truncated, gifWords}},
        {"gif wrong signature", [] { return refusal(checkGifHeader(gif("GIF79a"))); },
         Failure{R::NotThisFormat, gifWords}},

        {"pcx accepted", [] { return refusal(checkPcxHeader(pcx())); }, std::nullopt},
        {"pcx short header", [] { Bytes b = pcx(); b.resize(127); return refusal(checkPcxHeader(b)); },
         Failure{R::Truncated, pcxWords}},
        {"pcx wrong manufacturer", [] { return refusal(checkPcxHeader(pcx(11))); },
         Failure{R::NotThisFormat, pcxWords}},
        {"pcx maximum below minimum", [] { return refusal(checkPcxHeader(pcx(10, 4))); },
         Failure{R::BadDimensions, pcxWords}},
        {"pcx two byte planes", [] { return refusal(checkPcxHeader(pcx(10, 0, 2))); },
         Failure{R::Unsupported, pcxWords}},

        {"targa accepted", [] { return refusal(checkTargaHeader(targa())); }, std::nullopt},
        {"targa short header", [] { Bytes b = targa(); b.resize(17); return refusal(checkTargaHeader(b)); },
         Failure{R::Truncated, tgaWords}},
        {"targa zero width", [] { return refusal(checkTargaHeader(targa(0))); }, Failure{R::BadDimensions, tgaWords}},
        {"targa true colour of 8 bits", [] { return refusal(checkTargaHeader(targa(2, 8))); },
         Failure{R::Unsupported, tgaWords}},

        {"sun accepted", [] { return refusal(checkSunRasterHeader(sun())); }, std::nullopt},
        {"sun short header", [] { Bytes b = sun(); b.resize(31); return refusal(checkSunRasterHeader(b)); },
         Failure{R::Truncated, rasWords}},
        {"sun wrong magic", [] { return refusal(checkSunRasterHeader(sun(0x59A66A96))); },
         Failure{R::NotThisFormat, rasWords}},
        {"sun zero width", [] { return refusal(checkSunRasterHeader(sun(0x59A66A95, 0))); },
         Failure{R::BadDimensions, rasWords}},
        {"sun width over the block limit", [] { return refusal(checkSunRasterHeader(sun(0x59A66A95, 0x80000000u))); },
         Failure{R::BadDimensions, rasWords}},
        {"sun depth of 4", [] { return refusal(checkSunRasterHeader(sun(0x59A66A95, 2, 4))); },
         Failure{R::Unsupported, rasWords}},

        {"pgm accepted", [] { return refusal(checkPortableHeader(PortableKind::Greymap, text("P5 2 2 255\n"))); },
         std::nullopt},
        {"pgm holding a pixmap", [] { return refusal(checkPortableHeader(PortableKind::Greymap, text("P6 2 2 255\n"))); },
         Failure{R::NotThisFormat, pgmWords}},
        {"pgm zero height", [] { return refusal(checkPortableHeader(PortableKind::Greymap, text("P5 2 0 255\n"))); },
         Failure{R::BadDimensions, pgmWords}},
        {"pgm maximum over 65535", [] { return refusal(checkPortableHeader(PortableKind::Greymap, text("P5 2 2 65536\n"))); },
         Failure{R::BadHeader, pgmWords}},
        {"pgm ends before the maximum", [] { return refusal(checkPortableHeader(PortableKind::Greymap, text("P5 2 2"))); },
         Failure{R::Truncated, pgmWords}},

        {"icon accepted", [] { return refusal(checkIconHeader(icon())); }, std::nullopt},
        {"icon short header", [] { return refusal(checkIconHeader(Bytes{0, 0, 1, 0})); },
         Failure{R::Truncated, "Error reading file header"}},
        {"icon holding a cursor", [] { return refusal(checkIconHeader(icon(2))); },
         Failure{R::NotThisFormat, "Error reading file header"}},
        {"icon without images", [] { return refusal(checkIconHeader(icon(1, 0))); },
         Failure{R::BadHeader, "The icon file holds no images"}},
        {"icon directory cut short", [] { return refusal(checkIconHeader(icon(1, 2))); },
         Failure{R::Truncated, "Error reading file"}},

        {"iff form accepted", [] { return refusal(checkIffFormHeader(text("FORM\0\0\0\0ILBM"))); }, std::nullopt},
        {"iff form cut short", [] { return refusal(checkIffFormHeader(text("FORM\0\0\0\0IL"))); },
         Failure{R::Truncated, iffWords}},
        {"iff not a form", [] { return refusal(checkIffFormHeader(text("LIST\0\0\0\0ILBM"))); },
         Failure{R::NotThisFormat, iffWords}},
        {"iff bitmap header accepted", [] { return refusal(checkIffBitmapHeader(bitmapHeaderChunk(), true)); },
         std::nullopt},
        {"iff bitmap header cut short",
         [] { Bytes b = bitmapHeaderChunk(); b.resize(19); return refusal(checkIffBitmapHeader(b, false)); },
         Failure{R::Truncated, iffWords}},
        {"iff unknown compression", [] { return refusal(checkIffBitmapHeader(bitmapHeaderChunk(2, 8, 2), false)); },
         Failure{R::Unsupported, iffWords}},
        {"iff zero width", [] { return refusal(checkIffBitmapHeader(bitmapHeaderChunk(0), false)); },
         Failure{R::BadDimensions, iffWords}},
        {"iff width over the limit", [] { return refusal(checkIffBitmapHeader(bitmapHeaderChunk(10001), false)); },
         Failure{R::BadDimensions, iffWords}},
        {"iff twelve planes", [] { return refusal(checkIffBitmapHeader(bitmapHeaderChunk(2, 12), false)); },
         Failure{R::Unsupported, iffWords}},
        {"iff chunky of 4 planes", [] { return refusal(checkIffBitmapHeader(bitmapHeaderChunk(2, 4), true)); },
         Failure{R::Unsupported, iffWords}},

        {"pcd image pack accepted", [] { return refusal(checkPhotoCdHeader(Bytes(7, 0xFF))); }, std::nullopt},
        {"pcd overview accepted", [] { return refusal(checkPhotoCdHeader(text("PCD_OPA"))); }, std::nullopt},
        {"pcd short signature", [] { return refusal(checkPhotoCdHeader(Bytes(6, 0xFF))); },
         Failure{R::Truncated, pcdWords}},
        {"pcd wrong signature", [] { return refusal(checkPhotoCdHeader(text("PCD_OPB"))); },
         Failure{R::NotThisFormat, pcdWords}},
    };
    for (const HeaderCase& c : cases)
        EXPECT_EQ(c.check(), c.expected) << c.name;
}

} // namespace
} // namespace pictorand
