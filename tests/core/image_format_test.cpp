#include "core/codec_registry.h"
#include "core/image_format.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace pictorand {
namespace {

std::vector<uint8_t> head(std::initializer_list<int> bytes)
{
    std::vector<uint8_t> result(kSignatureBytes, 0x20); // blanks match no row
    size_t i = 0;
    for (int b : bytes)
        result[i++] = static_cast<uint8_t>(b);
    return result;
}

std::vector<uint8_t> text(const std::string& letters, size_t offset = 0)
{
    std::vector<uint8_t> result(kSignatureBytes, 0x20);
    for (size_t i = 0; i < letters.size(); ++i)
        result[offset + i] = static_cast<uint8_t>(letters[i]);
    return result;
}

struct SignatureCase {
    const char* name;
    std::vector<uint8_t> bytes;
    std::optional<ImageFormat> expected;
};

TEST(SignatureTest, EveryRowAndTheOrderBetweenRows)
{
    auto with = [](std::vector<uint8_t> bytes, size_t offset, const std::string& letters) {
        for (size_t i = 0; i < letters.size(); ++i)
            bytes[offset + i] = static_cast<uint8_t>(letters[i]);
        return bytes;
    };
    const SignatureCase cases[] = {
        {"JFIF at byte 6", text("JFIF", 6), ImageFormat::Jpeg},
        {"Exif at byte 6", text("Exif", 6), ImageFormat::Jpeg},
        {"FF D8 FF", head({0xFF, 0xD8, 0xFF}), ImageFormat::Jpeg},
        {"FF D8 without the third FF", head({0xFF, 0xD8, 0x00}), std::nullopt},
        {"GIF8 with JFIF at 6 is a JPEG: JPEG is tested first", with(text("GIF8"), 6, "JFIF"), ImageFormat::Jpeg},
        {"GIF8", text("GIF89a"), ImageFormat::Gif},
        {"GIF7 is nothing", text("GIF7"), std::nullopt},
        {"BM", text("BM"), ImageFormat::Bmp},
        {"Packed bitmap: 40-byte info header", head({40, 0, 0, 0, 7, 0, 0, 0}), ImageFormat::Bmp},
        {"Packed bitmap: OS/2 12-byte header", head({12, 0, 0, 0, 7, 0}), ImageFormat::Bmp},
        {"Packed bitmap of width 0 is nothing", head({40, 0, 0, 0, 0, 0, 0, 0}), std::nullopt},
        {"Info header of 41 bytes is nothing", head({41, 0, 0, 0, 7, 0, 0, 0}), std::nullopt},
        {"II", text("II*"), ImageFormat::Tiff},
        {"MM", text("MM"), ImageFormat::Tiff},
        {"PNG at byte 1 after 89", with(head({0x89}), 1, "PNG"), ImageFormat::Png},
        {"PNG at byte 1, byte 0 not examined", text("xPNG"), ImageFormat::Png},
        {"PNG at byte 0 is nothing", text("PNG"), std::nullopt},
        {"Sun raster", head({0x59, 0xA6, 0x6A, 0x95}), ImageFormat::SunRaster},
        {"PCX version 0", head({0x0A, 0}), ImageFormat::Pcx},
        {"PCX version 5", head({0x0A, 5}), ImageFormat::Pcx},
        {"PCX version 4 (PC Paintbrush for Windows)", head({0x0A, 4}), ImageFormat::Pcx},
        {"PCX version 6 is nothing", head({0x0A, 6}), std::nullopt},
        {"PCX before Targa (0A 00 01 also fits Targa)", head({0x0A, 0, 1}), ImageFormat::Pcx},
        {"Icon before Targa (00 00 01 also fits Targa)", head({0, 0, 1, 0}), ImageFormat::Icon},
        {"Enhanced metafile", head({1, 0, 0, 0}), ImageFormat::Metafile},
        {"Placeable metafile", head({0xD7, 0xCD, 0xC6, 0x9A}), ImageFormat::Metafile},
        {"Windows metafile before Targa (01 00 09)", head({1, 0, 9, 0}), ImageFormat::Metafile},
        {"Targa type 2", head({0, 0, 2}), ImageFormat::Targa},
        {"Targa colour-mapped type 9", head({0, 1, 9}), ImageFormat::Targa},
        {"Targa type 11", head({0x20, 0, 11}), ImageFormat::Targa},
        {"Targa type 4 is nothing", head({0, 0, 4}), std::nullopt},
        {"PCD_OPA", text("PCD_OPA"), ImageFormat::PhotoCd},
        {"Seven FF bytes", head({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), ImageFormat::PhotoCd},
        {"RIFF AVI", with(text("RIFF"), 8, "AV"), ImageFormat::Media},
        {"RIFF WAVE", with(text("RIFF"), 8, "WA"), ImageFormat::Media},
        {"RIFF RMID", with(text("RIFF"), 8, "RM"), ImageFormat::Media},
        {"RIFF other", with(text("RIFF"), 8, "XX"), std::nullopt},
        {"MThd", text("MThd"), ImageFormat::Media},
        {"P6", text("P6\n"), ImageFormat::Ppm},
        {"P5", text("P5\n"), ImageFormat::Pgm},
        {"P4", text("P4\n"), ImageFormat::Pbm},
        {"P3 text form is unsupported", text("P3\n"), std::nullopt},
        {"P1 text form is unsupported", text("P1\n"), std::nullopt},
        {"FORM", text("FORM"), ImageFormat::Iff},
        {"RIFF WEBP", with(text("RIFF"), 8, "WE"), ImageFormat::Webp},
        {"ftyp heic", with(head({0, 0, 0, 0x18}), 4, "ftyphe"), ImageFormat::Heic},
        {"ftyp mif1 is taken as HEIC", with(head({0, 0, 0, 0x1C}), 4, "ftypmi"), ImageFormat::Heic},
        {"ftyp avif", with(head({0, 0, 0, 0x20}), 4, "ftypav"), ImageFormat::Avif},
        {"ftyp box of 256 bytes before Icon (00 00 01 00)", with(head({0, 0, 1, 0}), 4, "ftypav"), ImageFormat::Avif},
        {"ftyp of a video is nothing", with(head({0, 0, 0, 0x20}), 4, "ftypis"), std::nullopt},
        {"JPEG XL codestream", head({0xFF, 0x0A}), ImageFormat::JpegXl},
        {"JPEG XL container", with(head({0, 0, 0, 0x0C, 0, 0, 0, 0, 0x0D, 0x0A}), 4, "JXL "), ImageFormat::JpegXl},
    };
    for (const SignatureCase& c : cases) {
        auto found = detectFormatFromBytes(c.bytes);
        EXPECT_EQ(found, c.expected) << c.name;
    }
}

TEST(FormatTable, TheRegisteredRowsAreSoundAndFoundByTheirNumbers)
{
    EXPECT_EQ(formatTableProblems(formatTable()), std::vector<std::string>{});
    for (const FormatInfo& info : formatTable()) {
        EXPECT_EQ(&formatInfo(info.format), &info) << info.name;
        EXPECT_EQ(formatNumbered(static_cast<int>(info.format)), info.format) << info.name;
    }
    EXPECT_EQ(formatNumbered(kFormatNumberLimit), std::nullopt);
    EXPECT_EQ(formatNumbered(-1), std::nullopt);
}

// Two codec folders that claim one number or one place break the build;
// each clash is named.
TEST(FormatTable, ClashesBetweenDescriptorsAreNamed)
{
    using Rows = std::vector<FormatInfo>;
    const Rows& table = formatTable();
    ASSERT_GE(savableFormats().size(), 2u);
    const struct {
        const char* expected;
        void (*breakIt)(Rows& rows);
    } cases[] = {
        {"out of range", [](Rows& rows) { rows[0].format = ImageFormat{kFormatNumberLimit}; }},
        {"one number", [](Rows& rows) { rows[1].format = rows[0].format; }},
        {"one name", [](Rows& rows) { rows[1].name = rows[0].name; }},
        {"one signature order", [](Rows& rows) { rows[1].signatureOrder = rows[0].signatureOrder; }},
        {"one Open position", [](Rows& rows) { rows[1].openFilters = rows[0].openFilters; }},
        {"one association box position", [](Rows& rows) { rows[1].associationBoxes = rows[0].associationBoxes; }},
        {"one association key", [](Rows& rows) {
             rows[1].associationBoxes = rows[0].associationBoxes;
             rows[1].associationBoxes.at(0).position = -1;
         }},
        {"one save key", [](Rows& rows) {
             rows.push_back(*savableFormats()[0]);
             rows.back().format = ImageFormat{kFormatNumberLimit - 1};
         }},
        {"Save-as type numbers", [](Rows& rows) {
             for (FormatInfo& row : rows)
                 if (row.save && row.save->typeNumber == 1)
                     row.save.reset();
         }},
    };
    for (const auto& c : cases) {
        Rows rows = table;
        c.breakIt(rows);
        const std::vector<std::string> problems = formatTableProblems(rows);
        const bool named = std::any_of(problems.begin(), problems.end(),
                                       [&](const std::string& p) { return p.find(c.expected) != std::string::npos; });
        EXPECT_TRUE(named) << c.expected;
    }
}

// A codec's words are its own: words that two codecs say, or that a reason
// says already, are written once in core/messages.h.
TEST(FormatTable, EachCodecsWordsAreItsAlone)
{
    const std::vector<const char*>& texts = CodecRegistry::instance().texts();
    EXPECT_FALSE(texts.empty());
    std::set<std::string> said;
    for (int reason = 0; reason <= static_cast<int>(kLastReason); ++reason)
        said.insert(failureText({static_cast<Reason>(reason), {}}));
    for (const char* text : texts)
        EXPECT_TRUE(said.insert(text).second) << text;
}

TEST(FormatTable, SavableFormatsNumberedInSaveAsOrder)
{
    const auto& savable = savableFormats();
    ASSERT_FALSE(savable.empty());
    for (size_t i = 0; i < savable.size(); ++i) {
        const SaveInfo& save = *savable[i]->save;
        EXPECT_EQ(save.typeNumber, static_cast<int>(i) + 1) << save.key;
        EXPECT_EQ(savableFormatByNumber(save.typeNumber), savable[i]);
        EXPECT_EQ(savableFormatByKey(save.key), savable[i]);
        // A file saved with the type's extension is taken for its format.
        EXPECT_TRUE(extensionMatchesFormat(std::string("x") + save.extension, savable[i]->format)) << save.key;
    }
    EXPECT_EQ(savableFormatByKey("jpg"), savableFormatByKey("JPG")) << "any case";
    EXPECT_EQ(savableFormatByNumber(0), nullptr);
    EXPECT_EQ(savableFormatByKey("RAS"), nullptr);
}

// A saved file's type comes from its extension, long forms included; a name
// without one falls back to its last three characters.
TEST(FormatTable, SavableFormatForPath)
{
    const struct {
        const char* path;
        const char* key; // null: not savable
    } cases[] = {
        {"/p/a.tiff", "TIF"}, {"a.TIF", "TIF"}, {"a.jpeg", "JPG"}, {"/p.x/aBMP", "BMP"},
        {"a.ras", nullptr},   {"/p.tif/a", nullptr}, {"", nullptr},
    };
    for (const auto& c : cases) {
        const FormatInfo* row = savableFormatForPath(c.path);
        EXPECT_EQ(row ? row->save->key : nullptr, c.key ? savableFormatByKey(c.key)->save->key : nullptr) << c.path;
    }
}

TEST(SignatureTest, FilesShorterThanTenBytesAreUnsupported)
{
    testing::ScratchDir dir;
    testing::writeFile(dir.file("nine.gif"), {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1});
    EXPECT_FALSE(DetectFormat(dir.file("nine.gif")));
    testing::writeFile(dir.file("ten.gif"), {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0});
    EXPECT_EQ(DetectFormat(dir.file("ten.gif")), ImageFormat::Gif);
    EXPECT_FALSE(DetectFormat(dir.file("missing.gif")));
    EXPECT_FALSE(DetectFormat(dir.path()));
}

struct ExtensionCase {
    const char* path;
    ImageFormat format;
    bool accepted;
};

TEST(ExtensionCheck, AcceptedExtensionsPerFormat)
{
    const ExtensionCase cases[] = {
        {"a/photo.jpg", ImageFormat::Jpeg, true},   {"a/photo.JPEG", ImageFormat::Jpeg, true},
        {"a/photo.gif", ImageFormat::Jpeg, false},  {"a/x.bmp", ImageFormat::Bmp, true},
        {"a/x.DIB", ImageFormat::Bmp, true},        {"a/x.rle", ImageFormat::Bmp, true},
        {"a/x.tif", ImageFormat::Tiff, true},       {"a/x.Tiff", ImageFormat::Tiff, true},
        {"a/x.ras", ImageFormat::SunRaster, true},  {"a/x.sun", ImageFormat::SunRaster, true},
        {"a/x.emf", ImageFormat::Metafile, true},   {"a/x.wmf", ImageFormat::Metafile, true},
        {"a/x.lbm", ImageFormat::Iff, true},        {"a/x.iff", ImageFormat::Iff, true},
        {"a/x.mid", ImageFormat::Media, true},      {"a/x.mp3", ImageFormat::Media, false},
        {"a/x.pgm", ImageFormat::Ppm, false},       {"a/x.ppm", ImageFormat::Ppm, true},
        {"a/x.webp", ImageFormat::Webp, true},      {"a/x.HEIF", ImageFormat::Heic, true},
        {"a/x.avif", ImageFormat::Avif, true},      {"a/x.jxl", ImageFormat::JpegXl, true},
        // Only the last characters count.
        {"a/x.tiff", ImageFormat::Iff, true},       {"a/x.pcxx", ImageFormat::Pcx, false},
        {"jpg", ImageFormat::Jpeg, true},           {"pg", ImageFormat::Jpeg, false},
    };
    for (const ExtensionCase& c : cases)
        EXPECT_EQ(extensionMatchesFormat(c.path, c.format), c.accepted) << c.path;
}

TEST(FormatTable, ARenamedFileHasAnExtensionItsFormatAccepts)
{
    for (const FormatInfo& info : formatTable()) {
        EXPECT_NE(std::string(info.word), "") << info.name;
        if (info.renameExtension) {
            EXPECT_TRUE(extensionMatchesFormat(std::string("x") + info.renameExtension, info.format)) << info.name;
        }
    }
    EXPECT_EQ(formatInfo(ImageFormat::Media).renameExtension, nullptr) << "sound and video are never renamed";
}

} // namespace
} // namespace pictorand
