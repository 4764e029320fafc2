#include "dispatch/load.h"
#include "dispatch/save_as.h"
#include "dispatch/save_dispatch.h"
#include "tests/support/scripted_user_interface.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::ScriptedUserInterface;

// What the fake writers saw.
struct FakeWriters {
    bool fail = false;
    bool writePartially = false; // write some bytes before failing
    std::string failMessage = "Disk full";
    bool namePathInMessage = false;
    int calls = 0;
    int bitCount = 0;
    WriteOptions options;
    std::string path;
};
FakeWriters writers;

Status fakeWrite(const std::string& path, const ImageBlock& block, const WriteOptions& options)
{
    ++writers.calls;
    writers.bitCount = block.bitCount();
    writers.options = options;
    writers.path = path;
    if (writers.fail && !writers.writePartially)
        return Failure{Reason::WriteFailed, writers.namePathInMessage ? "Can't create file: " + path : writers.failMessage};
    testing::writeFile(path, {'n', 'e', 'w'});
    if (writers.fail)
        return Failure{Reason::WriteFailed, writers.failMessage};
    return {};
}

CodecRegistry fakeRegistry()
{
    CodecRegistry registry;
    for (const FormatInfo* info : savableFormats())
        registry.registerWriter(info->format, fakeWrite);
    return registry;
}

JpegWriteOptions jpegOptions() { return writeOptionsFor<JpegWriteOptions>(writers.options); }
GifWriteOptions gifOptions() { return writeOptionsFor<GifWriteOptions>(writers.options); }
int typeNumber(ImageFormat format) { return formatInfo(format).save->typeNumber; }

ImageBlock blockOf(int bits, int width = 4, int height = 3)
{
    uint32_t colors = bits <= 8 ? (1u << bits) : 0;
    return ImageBlock::create(width, height, static_cast<uint16_t>(bits), colors);
}

class SaveImageTest : public ::testing::Test {
protected:
    void SetUp() override { writers = FakeWriters(); }
    bool save(const ImageBlock& block, const std::string& name, bool showMessages = true)
    {
        return SaveImage(block, ui, dir.file(name), showMessages, registry, settings).ok();
    }
    std::vector<std::string> filesInDir() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename() != "P_RAND32.INI")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchDir dir;
    ScriptedUserInterface ui;
    CodecRegistry registry = fakeRegistry();
    SettingsFile settings{dir.file("P_RAND32.INI")};
};

struct PreparationCase {
    const char* name;
    int bits;
    int tiffCompression;
    int writtenBits;
};

TEST_F(SaveImageTest, EachWriterGetsTheDepthItNeeds)
{
    const PreparationCase cases[] = {
        {"x.jpg", 1, 0, 8},  {"x.JPG", 4, 0, 8},  {"x.jpg", 8, 0, 8},   {"x.jpg", 24, 0, 24},
        {"x.tif", 1, 6, 24}, {"x.tif", 4, 6, 24}, {"x.tif", 8, 6, 24},  {"x.tif", 8, 1, 8},
        {"x.tif", 1, 0, 1},  {"x.gif", 24, 0, 8}, {"x.gif", 4, 0, 4},   {"x.bmp", 1, 0, 1},
        {"x.png", 4, 0, 4},  {"x.pcx", 24, 0, 24}, {"x.ico", 8, 0, 8},
    };
    for (const PreparationCase& c : cases) {
        settings.writeInt(settings::SaveCompression, c.tiffCompression);
        ImageBlock block = blockOf(c.bits);
        ASSERT_TRUE(save(block, c.name)) << c.name << " " << c.bits;
        EXPECT_EQ(writers.bitCount, c.writtenBits) << c.name << " from " << c.bits;
        const std::string key = std::string(c.name).substr(2);
        EXPECT_TRUE(savableFormatByKey(key)->save->writerDepths.has(writers.bitCount)) << c.name << " from " << c.bits;
        EXPECT_EQ(block.bitCount(), c.bits) << "the given block is left as it was";
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SaveImageTest, MonochromeToJpegBecomesAGreyRamp)
{
    ImageBlock block = blockOf(1);
    block.setColor(0, 0, 0, 0);
    block.setColor(1, 255, 255, 255);
    ASSERT_TRUE(save(block, "grey.jpg"));
    EXPECT_EQ(writers.bitCount, 8);
}

TEST_F(SaveImageTest, SaveOptionsComeFromTheSettingsFile)
{
    settings.writeInt(settings::SaveQuality, 55);
    settings.writeInt(settings::SaveGrayscale, 1);
    settings.writeInt(settings::SaveProgressive, 1);
    settings.writeInt(settings::SaveInterlaced, 1);
    ASSERT_TRUE(save(blockOf(24), "a.jpg"));
    EXPECT_EQ(jpegOptions().quality, 55);
    EXPECT_TRUE(jpegOptions().greyscale);
    EXPECT_TRUE(jpegOptions().progressive);
    ASSERT_TRUE(save(blockOf(8), "a.gif"));
    EXPECT_TRUE(gifOptions().interlaced);
    EXPECT_EQ(gifOptions().transparentIndex, -1) << "SaveTransparent is off by default";
}

TEST_F(SaveImageTest, TransparentIndexIsLoweredToWhatTheDepthCanHold)
{
    settings.writeInt(settings::SaveTransparent, 1);
    settings.writeInt(settings::Transparency, 200);
    const std::pair<int, int> cases[] = {{4, 15}, {1, 1}, {8, 200}, {24, 200}};
    for (auto [bits, index] : cases) {
        ASSERT_TRUE(save(blockOf(bits), "t.gif"));
        EXPECT_EQ(gifOptions().transparentIndex, index) << bits;
    }
    settings.writeInt(settings::Transparency, 9);
    ASSERT_TRUE(save(blockOf(4), "t.gif"));
    EXPECT_EQ(gifOptions().transparentIndex, 9);
    ASSERT_TRUE(save(blockOf(1), "t.gif"));
    EXPECT_EQ(gifOptions().transparentIndex, 1);
}

TEST_F(SaveImageTest, UnsupportedSaveType)
{
    EXPECT_FALSE(save(blockOf(24), "x.xyz"));
    EXPECT_FALSE(save(blockOf(24), "gi"));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Unsupported save type");
    EXPECT_FALSE(save(blockOf(24), "x.xyz", false));
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(writers.calls, 0);
}

TEST_F(SaveImageTest, FailureMessagesInTheWritersWords)
{
    writers.fail = true;
    const std::pair<const char*, std::string> cases[] = {
        {"f.gif", "GIF Save error !"},           {"f.jpg", "JPG Save error !"},
        {"f.pcx", "PCX Save error !"},           {"f.png", "PNG Save error !"},
        {"f.ico", "ICO Save error !"},           {"f.bmp", "BMP Save error ! - Disk full"},
        {"f.tif", "TIF Save error ! - Disk full"},
    };
    for (const auto& [name, text] : cases) {
        ui.messages.clear();
        EXPECT_FALSE(save(blockOf(8), name));
        ASSERT_EQ(ui.messages.size(), 1u) << name;
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    }
    ui.messages.clear();
    EXPECT_FALSE(save(blockOf(8), "quiet.bmp", false));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SaveImageTest, AFailingWriterLeavesThePreviousFileIntact)
{
    const std::vector<uint8_t> previous = {'o', 'l', 'd', ' ', 'p', 'i', 'c'};
    testing::writeFile(dir.file("keep.bmp"), previous);
    writers.fail = true;
    writers.writePartially = true;
    EXPECT_FALSE(save(blockOf(8), "keep.bmp"));
    EXPECT_EQ(testing::readFile(dir.file("keep.bmp")), previous);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"keep.bmp"}) << "no temporary file left";
    EXPECT_FALSE(save(blockOf(8), "new.bmp"));
    EXPECT_FALSE(testing::fileExists(dir.file("new.bmp")));
}

TEST_F(SaveImageTest, ASuccessfulSaveReplacesTheFileAndKeepsItsPermissions)
{
    testing::writeFile(dir.file("keep.bmp"), {'o', 'l', 'd'});
    chmod(dir.file("keep.bmp").c_str(), 0640);
    ASSERT_TRUE(save(blockOf(8), "keep.bmp"));
    EXPECT_EQ(testing::readFile(dir.file("keep.bmp")), (std::vector<uint8_t>{'n', 'e', 'w'}));
    struct stat info {};
    ASSERT_EQ(stat(dir.file("keep.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_NE(writers.path, dir.file("keep.bmp")) << "the writer works on a temporary file";
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"keep.bmp"});
}

TEST_F(SaveImageTest, WriterMessagesNameTheTargetNotTheTemporaryFile)
{
    writers.fail = true;
    writers.namePathInMessage = true;
    EXPECT_FALSE(save(blockOf(8), "named.bmp"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "BMP Save error ! - Can't create file: " + dir.file("named.bmp"));
}

TEST_F(SaveImageTest, SaveIntoAMissingDirectoryFails)
{
    EXPECT_FALSE(SaveImage(blockOf(8), ui, dir.file("no/such/dir/x.bmp"), true, CodecRegistry::instance(), settings));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.rfind("BMP Save error ! - ", 0), 0u) << ui.messages[0].text;
}

TEST_F(SaveImageTest, WithoutReplacingAnExistingFileIsRefused)
{
    testing::writeFile(dir.file("there.bmp"), {'o', 'l', 'd'});
    EXPECT_FALSE(SaveImage(blockOf(8), ui, dir.file("there.bmp"), false, registry, settings, false));
    EXPECT_EQ(testing::readFile(dir.file("there.bmp")), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

TEST_F(SaveImageTest, RealBmpRoundTripThroughTheProgramsRegistry)
{
    ImageBlock block = blockOf(24, 5, 2);
    block.row(1)[4] = 77;
    testing::writeFile(dir.file("real.bmp"), {'o', 'l', 'd'});
    ASSERT_TRUE(SaveImage(block, ui, dir.file("real.bmp"), true, CodecRegistry::instance(), settings));
    ImageBlock back = load(batchRequest(dir.file("real.bmp"), settings)).block;
    ASSERT_TRUE(back);
    EXPECT_EQ(back.width(), 5);
    EXPECT_EQ(back.row(1)[4], 77);
}

// ---------------------------------------------------------------------------

struct ExtensionCheckCase {
    const char* path;
    int type;
    bool passes;
    const char* after;
};

TEST(CheckSaveExtension, TypesAndExtensions)
{
    const ExtensionCheckCase cases[] = {
        {"x", typeNumber(ImageFormat::Gif), true, "x.gif"},
        {"/home/me/x", typeNumber(ImageFormat::Jpeg), true, "/home/me/x.jpg"},
        {"/home/me/x", typeNumber(ImageFormat::Icon), true, "/home/me/x.ico"},
        {"x.jpeg", typeNumber(ImageFormat::Jpeg), false, "x.jpeg"},
        {"x.jpg", typeNumber(ImageFormat::Jpeg), true, "x.jpg"},
        {"x.JPG", typeNumber(ImageFormat::Jpeg), true, "x.JPG"},
        {"x.tiff", typeNumber(ImageFormat::Tiff), true, "x.tiff"},
        {"x.tif", typeNumber(ImageFormat::Tiff), true, "x.tif"},
        {"x.png", typeNumber(ImageFormat::Gif), false, "x.png"},
        {"x.", typeNumber(ImageFormat::Bmp), false, "x."},
        {"x.pc", typeNumber(ImageFormat::Pcx), false, "x.pc"},
        // A four-letter key needs all four.
        {"x", typeNumber(ImageFormat::Webp), true, "x.webp"},
        {"x.WebP", typeNumber(ImageFormat::Webp), true, "x.WebP"},
        {"x.web", typeNumber(ImageFormat::Webp), false, "x.web"},
        // A dot in a directory name is no extension.
        {"/home/jo.doe/x", typeNumber(ImageFormat::Png), true, "/home/jo.doe/x.png"},
    };
    for (const ExtensionCheckCase& c : cases) {
        std::string path = c.path;
        EXPECT_EQ(CheckSaveExtension(path, c.type), c.passes) << c.path;
        EXPECT_EQ(path, c.after);
    }
}

TEST(SaveAsNaming, ProposedNames)
{
    EXPECT_EQ(proposedSaveAsName("<Clipboard>"), "Clipboard");
    EXPECT_EQ(proposedSaveAsName("<ScanImage>"), "ScanImage");
    EXPECT_EQ(proposedSaveAsName("/pictures/holiday.beach.jpg"), "holiday.beach");
    EXPECT_EQ(proposedSaveAsName("/pictures/noext"), "noext");
}

TEST(SaveAsNaming, RememberedDirectoryAndType)
{
    ScratchDir dir;
    SettingsFile settings(dir.file("P_RAND32.INI"));
    EXPECT_EQ(savedType(settings), 1);
    EXPECT_EQ(savedDirectory(settings), "");
    rememberSaveChoice(settings, "/pictures/out/x.png", typeNumber(ImageFormat::Png));
    EXPECT_EQ(savedType(settings), typeNumber(ImageFormat::Png));
    EXPECT_EQ(savedDirectory(settings), "/pictures/out/");
    EXPECT_EQ(settings.readText("Others", "SaveIndex", ""), std::to_string(typeNumber(ImageFormat::Png)));
    settings.writeInt(settings::SaveIndex, 9);
    EXPECT_EQ(savedType(settings), 1);
}

TEST(SaveAsNaming, QuestionAndExtractedNames)
{
    EXPECT_EQ(replaceFileQuestion("/a/x.bmp"), "Replace file: /a/x.bmp ?\n");
    EXPECT_EQ(extractedFileName("/tmp/out", "/p/anim.gif", 7), "/tmp/out/anim_pictorand_extract_007.bmp");
    EXPECT_EQ(extractedFileName("/tmp/out/", "anim.gif", 123), "/tmp/out/anim_pictorand_extract_123.bmp");
}

// The dialogs' lists come from the format table: every Open entry once in
// its place between the all-pictures entry and "All files", every savable
// format once in Save-as order.
std::set<std::string> patternsOf(const std::string& list)
{
    std::set<std::string> found;
    size_t start = 0;
    for (size_t end; (end = list.find(';', start)) != std::string::npos; start = end + 1)
        found.insert(list.substr(start, end - start));
    found.insert(list.substr(start));
    return found;
}

TEST(FileDialogTypes, ListsFollowTheFormatTable)
{
    std::set<std::string> everyPattern;
    size_t filterCount = 0;
    for (const FormatInfo& info : formatTable())
        for (const OpenFilter& filter : info.openFilters) {
            ++filterCount;
            const auto patterns = patternsOf(filter.patterns);
            everyPattern.insert(patterns.begin(), patterns.end());
        }
    const auto& open = openDialogTypes();
    ASSERT_EQ(open.size(), filterCount + 2);
    EXPECT_EQ(open.front().description, "Pictorand - Files");
    EXPECT_EQ(patternsOf(open.front().patterns), everyPattern) << "the first entry offers every picture";
    EXPECT_EQ(open.back().description, "All files (*.*)");
    for (const FormatInfo& info : formatTable())
        for (const OpenFilter& filter : info.openFilters) {
            ASSERT_LT(static_cast<size_t>(filter.position), open.size() - 1) << filter.description;
            EXPECT_EQ(open[static_cast<size_t>(filter.position)].description, filter.description);
        }

    const auto& save = saveDialogTypes();
    ASSERT_EQ(save.size(), savableFormats().size());
    for (size_t i = 0; i < save.size(); ++i) {
        const SaveInfo& row = *savableFormats()[i]->save;
        EXPECT_EQ(row.typeNumber, static_cast<int>(i) + 1);
        EXPECT_EQ(save[i].description, row.description);
        EXPECT_TRUE(patternsOf(save[i].patterns).count(std::string("*") + row.extension)) << row.key;
    }
}

} // namespace
} // namespace pictorand
