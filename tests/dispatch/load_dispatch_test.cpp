#include "codecs/bmp/bmp.h"
#include "dispatch/load_dispatch.h"
#include "tests/dispatch/scripted_host.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pictorand {
namespace {

using testing::ScratchDir;
using testing::ScriptedHost;
using testing::writeFile;

// What the fake readers of the test registry do, and what they were asked.
struct FakeReaders {
    int width = 4;
    int height = 3;
    int bitCount = 24;
    bool fail = false;
    std::string failMessage = "Not a valid file";
    std::string compression; // written when non-empty
    bool photoCdOverview = false;
    int imageCount = 1;
    int calls = 0;
    int overviewCalls = 0;
    int overviewFirstPicture = 0;
    ReadRequest lastRequest;
};
FakeReaders fake;

Result<DecodedImage> fakeRead(const ReadRequest& request)
{
    ++fake.calls;
    fake.lastRequest = request;
    DecodedImage decoded;
    if (fake.photoCdOverview) {
        decoded.overviewPack = true;
        return decoded;
    }
    if (fake.fail)
        return Failure{Reason::CorruptData, fake.failMessage};
    decoded.compression = fake.compression;
    uint32_t colors = fake.bitCount <= 8 ? (1u << fake.bitCount) : 0;
    decoded.block = ImageBlock::create(fake.width, fake.height, static_cast<uint16_t>(fake.bitCount), colors);
    return decoded;
}

Result<DecodedImage> fakeOverview(const std::string&, int firstPicture)
{
    ++fake.overviewCalls;
    fake.overviewFirstPicture = firstPicture;
    DecodedImage sheet;
    sheet.block = ImageBlock::create(8, 8, 24, 0);
    return sheet;
}

Result<ImageList> fakeImageList(const std::string&)
{
    ImageList list;
    list.count = fake.imageCount;
    for (int i = 0; i < fake.imageCount; ++i) {
        list.controlOffsets.push_back(100u + static_cast<uint32_t>(i));
        list.imageOffsets.push_back(1000u + static_cast<uint32_t>(i));
    }
    return list;
}

// Every format gets the fake reader except PCX, which stays unbuilt.
CodecRegistry fakeRegistry()
{
    CodecRegistry registry;
    for (const FormatInfo& info : formatTable())
        if (info.format != ImageFormat::Pcx)
            registry.registerReader(info.format, fakeRead);
    registry.registerOverviewReader(fakeOverview);
    registry.registerImageList(ImageFormat::Gif, fakeImageList);
    registry.registerImageList(ImageFormat::Tiff, fakeImageList);
    return registry;
}

class LoadForDisplayTest : public ::testing::Test {
protected:
    void SetUp() override { fake = FakeReaders(); }

    std::string file(const std::string& name, std::vector<uint8_t> bytes)
    {
        bytes.resize(std::max<size_t>(bytes.size(), 16), 0x20);
        std::string path = dir.file(name);
        writeFile(path, bytes);
        return path;
    }
    std::string jpeg(const std::string& name) { return file(name, {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}); }

    ImageBlock load(std::string& path, bool skipMulti = false, bool quiet = false, int previewWidth = 0)
    {
        return LoadForDisplay(host, path, skipMulti, quiet, previewWidth, registry);
    }

    ScratchDir dir;
    ScriptedHost host;
    CodecRegistry registry = fakeRegistry();
};

TEST_F(LoadForDisplayTest, UnsupportedFileGivesOneMessageAndKeepsTheTitle)
{
    std::string path = file("notes.txt", {'h', 'e', 'l', 'l', 'o'});
    host.current.block = ImageBlock::create(2, 2, 24, 0);
    EXPECT_FALSE(load(path));
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, path + " : Can't read file header !\n\nUnsupported file type !");
    EXPECT_EQ(host.ui.messages[0].icon, MessageIcon::Information);
    EXPECT_TRUE(host.ui.titles.empty());
    EXPECT_EQ(host.windowResets, 0);
    EXPECT_FALSE(host.current.block) << "the reset of the first step frees the current picture";
    EXPECT_EQ(host.ui.waitCursorDepth, 0);
}

TEST_F(LoadForDisplayTest, UnsupportedFileRebuildsTheListOnlyWhenTheDirectoryChanged)
{
    std::string path = file("short.gif", {'G', 'I', 'F', '8'});
    std::vector<uint8_t> nine = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0};
    writeFile(path, nine);
    load(path);
    EXPECT_EQ(host.ui.directoryRebuilds, 0);
    host.directoryChanged = true;
    load(path);
    EXPECT_EQ(host.ui.directoryRebuilds, 1);
    EXPECT_EQ(host.ui.messages.size(), 2u);
}

TEST_F(LoadForDisplayTest, ReaderFailureGivesOneFramedMessageAndResetsTheWindow)
{
    std::string path = file("broken.gif", {'G', 'I', 'F', '8', '9', 'a'});
    fake.fail = true;
    fake.failMessage = "Can't open file for reading !";
    EXPECT_FALSE(load(path));
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, path + " : GIF Decode error !\n\nCan't open file for reading !");
    EXPECT_EQ(host.ui.titles, (std::vector<std::string>{path, "Pictorand32"}));
    EXPECT_EQ(host.windowResets, 1);
    EXPECT_EQ(host.ui.waitCursorDepth, 0);
}

TEST_F(LoadForDisplayTest, FormatWithoutAReaderFailsThroughTheSameTail)
{
    std::string path = file("picture.pcx", {0x0A, 5, 1, 8});
    EXPECT_FALSE(load(path));
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, path + " : PCX Decode error !\n\n" + kReaderNotAvailable);
    EXPECT_EQ(host.windowResets, 1);
}

TEST_F(LoadForDisplayTest, QuietModeSaysNothingAndAsksNothing)
{
    std::string misnamed = jpeg("photo.gif");
    fake.fail = true;
    EXPECT_FALSE(load(misnamed, true, true));
    std::string unsupported = file("x.bin", {1, 2, 3});
    EXPECT_FALSE(load(unsupported, true, true));
    EXPECT_TRUE(host.ui.messages.empty());
    EXPECT_TRUE(host.ui.questions.empty());
    EXPECT_EQ(misnamed, dir.file("photo.gif"));
    EXPECT_EQ(host.ui.titles.back(), "Pictorand32") << "the title is still reset after a failure";
}

TEST_F(LoadForDisplayTest, SuccessSetsTheTitleToThePathAndFillsTheRecord)
{
    std::string path = file("x.bmp", {'B', 'M'});
    fake.compression = "Run Length Encoding, RLE8";
    fake.bitCount = 8;
    host.current.multiPage = true;
    host.current.pageCount = 7;
    ImageBlock block = load(path);
    ASSERT_TRUE(block);
    EXPECT_EQ(host.ui.titles, std::vector<std::string>{path});
    EXPECT_TRUE(host.ui.messages.empty());
    EXPECT_FALSE(host.current.multiPage);
    EXPECT_EQ(host.current.pageCount, 0);
    EXPECT_EQ(host.viewerResets, 1);
    EXPECT_EQ(host.current.format, ImageFormat::Bmp);
    EXPECT_EQ(host.current.compression, "Run Length Encoding, RLE8");
    EXPECT_EQ(host.current.originalWidth, 4);
    EXPECT_EQ(host.current.originalHeight, 3);
    EXPECT_EQ(host.current.originalBitCount, 8);
    EXPECT_GE(host.current.decompressionMs, 0);
    EXPECT_EQ(host.ui.waitCursorDepth, 0);
}

TEST_F(LoadForDisplayTest, ReaderArgumentsComeFromTheHost)
{
    std::string path = jpeg("photo.jpg");
    host.greyscale = true;
    host.palette = true;
    fake.bitCount = 8;
    ASSERT_TRUE(load(path, false, false, 160));
    EXPECT_TRUE(fake.lastRequest.greyscale);
    EXPECT_TRUE(fake.lastRequest.paletteDisplay);
    EXPECT_EQ(fake.lastRequest.previewWidth, 160);
    EXPECT_EQ(host.current.compression, "JPEG/JFIF");
}

TEST_F(LoadForDisplayTest, MisnamedJpegAsksAndYesRenamesAndLoads)
{
    std::string path = jpeg("photo.gif");
    host.ui.answers = {true};
    ImageBlock block = load(path);
    ASSERT_EQ(host.ui.questions.size(), 1u);
    EXPECT_EQ(host.ui.questions[0].text, "Warning !\nThe file: '" + dir.file("photo.gif")
                                             + "' is a JPEG File with incorrect extension !\nRename ?");
    EXPECT_EQ(host.ui.questions[0].icon, MessageIcon::Information);
    EXPECT_EQ(path, dir.file("photo.jpg"));
    EXPECT_TRUE(testing::fileExists(dir.file("photo.jpg")));
    EXPECT_FALSE(testing::fileExists(dir.file("photo.gif")));
    EXPECT_EQ(fake.lastRequest.path, dir.file("photo.jpg"));
    EXPECT_TRUE(block);
    EXPECT_GE(host.ui.directoryRebuilds, 1);
    EXPECT_TRUE(host.ui.messages.empty());
}

TEST_F(LoadForDisplayTest, MisnamedJpegWithNoKeepsTheNameAndStillLoads)
{
    std::string path = jpeg("photo.gif");
    host.ui.answers = {false};
    EXPECT_TRUE(load(path));
    EXPECT_EQ(path, dir.file("photo.gif"));
    EXPECT_EQ(host.ui.questions.size(), 1u);
}

TEST_F(LoadForDisplayTest, NoQuestionWhenRenamingIsSwitchedOffOrTheExtensionFits)
{
    std::string misnamed = jpeg("photo.gif");
    host.renameEnabled = false;
    EXPECT_TRUE(load(misnamed));
    host.renameEnabled = true;
    for (const char* name : {"a.bmp", "a.dib", "a.rle", "a.BMP"}) {
        std::string path = file(name, {'B', 'M'});
        EXPECT_TRUE(load(path)) << name;
    }
    EXPECT_TRUE(host.ui.questions.empty());
}

TEST_F(LoadForDisplayTest, RenameNeverReplacesAnExistingFile)
{
    std::string path = jpeg("photo.gif");
    writeFile(dir.file("photo.jpg"), {'k', 'e', 'e', 'p'});
    host.ui.answers = {true};
    EXPECT_TRUE(load(path)) << "loading goes on from the old name";
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, "Can't rename !");
    EXPECT_EQ(path, dir.file("photo.gif"));
    EXPECT_EQ(testing::readFile(dir.file("photo.jpg")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(testing::fileExists(dir.file("photo.gif")));
}

TEST_F(LoadForDisplayTest, RenameWithoutExtensionAppendsOne)
{
    std::string path = jpeg("photo");
    testing::ScriptedUserInterface ui;
    EXPECT_TRUE(RenameToFormatExtension(ui, path, ImageFormat::Jpeg));
    EXPECT_EQ(path, dir.file("photo.jpg"));
    EXPECT_EQ(ui.directoryRebuilds, 1);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(LoadForDisplayTest, PreviewLeavesTitleAndWindowAloneAndCountsNoPagesIntoTheRecord)
{
    host.current.pageOffsets = {4242};
    host.current.pageCount = 5;
    std::string broken = file("x.bmp", {'B', 'M'});
    fake.fail = true;
    EXPECT_FALSE(load(broken, true, true, 100));
    fake.fail = false;
    fake.imageCount = 3;
    std::string tiff = file("y.tif", {'I', 'I', 42, 0});
    EXPECT_TRUE(load(tiff, true, true, 100));
    EXPECT_TRUE(host.ui.titles.empty());
    EXPECT_TRUE(host.ui.messages.empty());
    EXPECT_EQ(host.windowResets, 0);
    EXPECT_EQ(host.viewerResets, 0);
    EXPECT_EQ(host.current.pageOffsets, std::vector<uint32_t>{4242});
    EXPECT_EQ(host.current.pageCount, 5);
}

TEST_F(LoadForDisplayTest, FortyEightBitsAreNormalisedAndTheOriginalDepthKept)
{
    std::string path = file("deep.tif", {'M', 'M', 0, 42});
    fake.bitCount = 48;
    fake.compression = "None";
    ImageBlock block = load(path);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.bitCount(), 24);
    EXPECT_EQ(host.current.originalBitCount, 48);
    EXPECT_EQ(host.current.currentBitCount, 24);
    EXPECT_EQ(host.current.compression, "None");
    EXPECT_FALSE(host.current.multiPage);
}

TEST_F(LoadForDisplayTest, TransientDepthsBecomeTwentyFourBits)
{
    for (int bits : {3, 16, 32, 40, 48, 64}) {
        std::string path = file("t.tif", {'I', 'I', 42, 0});
        fake.bitCount = bits;
        ImageBlock block = load(path);
        ASSERT_TRUE(block) << bits;
        EXPECT_EQ(block.bitCount(), 24) << bits;
        EXPECT_EQ(host.current.originalBitCount, bits);
    }
}

TEST_F(LoadForDisplayTest, ADepthNothingCanShowIsAFailure)
{
    std::string path = file("odd.bmp", {'B', 'M'});
    fake.bitCount = 2;
    EXPECT_FALSE(load(path));
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, path + " : BMP Decode error !\n\nUnsupported bit depth");
}

TEST_F(LoadForDisplayTest, MultiPageTiffRecordsPagesAndOffsets)
{
    std::string path = file("pages.tif", {'I', 'I', 42, 0});
    fake.imageCount = 3;
    fake.compression = "LZW";
    ASSERT_TRUE(load(path));
    EXPECT_EQ(host.current.compression, "LZW - 3 pages");
    EXPECT_TRUE(host.current.multiPage);
    EXPECT_EQ(host.current.pageCount, 3);
    EXPECT_EQ(host.current.currentPage, 0);
    ASSERT_EQ(host.current.pageOffsets.size(), 3u);
    EXPECT_EQ(host.current.pageOffsets[2], 1002u);
    EXPECT_EQ(fake.lastRequest.optionsFor<TiffReadOptions>().directoryOffset, 0u);
}

TEST_F(LoadForDisplayTest, AnimatedGifStartsTheAnimationWithoutABlockOrMessage)
{
    std::string path = file("anim.gif", {'G', 'I', 'F', '8', '9', 'a'});
    fake.imageCount = 3;
    host.animationAvailable = true;
    EXPECT_FALSE(load(path));
    EXPECT_EQ(fake.calls, 0) << "the animation decodes the frames itself";
    ASSERT_EQ(host.animations.size(), 1u);
    EXPECT_EQ(host.animations[0].count, 3);
    EXPECT_EQ(host.animations[0].controlOffsets[1], 101u);
    EXPECT_EQ(host.animations[0].imageOffsets[1], 1001u);
    EXPECT_EQ(host.current.compression, "Animated GIF - 3 images");
    EXPECT_TRUE(host.ui.messages.empty());
    EXPECT_EQ(host.windowResets, 0);
    EXPECT_EQ(host.ui.waitCursorDepth, 0);
}

TEST_F(LoadForDisplayTest, AnimatedGifShowsTheFirstImageInTheSlideshowAndFullScreen)
{
    std::string path = file("anim.gif", {'G', 'I', 'F', '8', '9', 'a'});
    fake.imageCount = 3;
    ImageBlock block = load(path, true, true);
    EXPECT_TRUE(block);
    EXPECT_EQ(host.current.compression, "GIF - LZW");
    host.fullScreen = true;
    host.animationAvailable = true;
    EXPECT_TRUE(load(path));
    EXPECT_TRUE(host.animations.empty());
    EXPECT_EQ(fake.lastRequest.optionsFor<GifReadOptions>().imageOffset, 0u);
}

TEST_F(LoadForDisplayTest, PaletteDisplayQuantisesTrueColourAndKeepsTheOriginalDepth)
{
    std::string path = file("x.bmp", {'B', 'M'});
    host.palette = true;
    fake.bitCount = 24;
    ImageBlock block = load(path);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.bitCount(), 8);
    EXPECT_EQ(host.current.originalBitCount, 24);
    EXPECT_EQ(host.current.currentBitCount, 8);
}

TEST_F(LoadForDisplayTest, PhotoCdOverviewIsReadAndAnnounced)
{
    std::string path = file("overview.pcd", {'P', 'C', 'D', '_', 'O', 'P', 'A'});
    fake.photoCdOverview = true;
    host.palette = true;
    ImageBlock block = load(path);
    ASSERT_TRUE(block);
    EXPECT_EQ(fake.overviewCalls, 1);
    EXPECT_EQ(fake.overviewFirstPicture, 1);
    EXPECT_EQ(block.bitCount(), 8) << "the sheet reduced for the palette display";
    EXPECT_TRUE(host.current.overviewMode);
    EXPECT_EQ(host.current.overviewStart, 1);
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, kPhotoCdOverviewNotice);
    EXPECT_EQ(host.current.compression, "Photo CD - None");

    host.ui.messages.clear();
    EXPECT_TRUE(load(path, true, false));
    EXPECT_TRUE(host.ui.messages.empty()) << "no notice in single-image mode";
}

TEST_F(LoadForDisplayTest, IconsReportNoDecompressionTimeAndGetTheChooserOnlyOutsideTheSlideshow)
{
    struct NeverAsked : IconChooser {
        int chooseIcon(const std::string&, const std::vector<std::string>&) override { return 0; }
    } chooser;
    host.chooser = &chooser;
    std::string path = file("x.ico", {0, 0, 1, 0, 1, 0});
    host.current.decompressionMs = 99;
    ASSERT_TRUE(load(path));
    EXPECT_EQ(host.current.decompressionMs, 0);
    EXPECT_EQ(fake.lastRequest.optionsFor<IconReadOptions>().chooser, &chooser);
    EXPECT_EQ(host.current.compression, "Windows ICON - None");
    ASSERT_TRUE(load(path, true, true));
    EXPECT_EQ(fake.lastRequest.optionsFor<IconReadOptions>().chooser, nullptr);
}

TEST_F(LoadForDisplayTest, TheFormatsCompressionTextUnlessTheReaderGivesItsOwn)
{
    std::string png = file("x.png", {0x89, 'P', 'N', 'G'});
    ASSERT_TRUE(load(png));
    EXPECT_EQ(host.current.compression, formatInfo(ImageFormat::Png).compressionText);
    std::string pgm = file("x.pgm", {'P', '5', '\n'});
    ASSERT_TRUE(load(pgm));
    EXPECT_EQ(host.current.compression, formatInfo(ImageFormat::Pgm).compressionText);
    fake.compression = "Run Length Encoding";
    std::string targa = file("x.tga", {0, 0, 10});
    ASSERT_TRUE(load(targa));
    EXPECT_EQ(host.current.compression, "Run Length Encoding");
}

TEST_F(LoadForDisplayTest, MediaPlaysAndSetsTheCaptionTitle)
{
    std::vector<uint8_t> avi = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    std::string path = file("clip.avi", avi);
    EXPECT_FALSE(load(path));
    EXPECT_EQ(host.playedMedia, std::vector<std::string>{path});
    EXPECT_EQ(host.ui.titles.back(), "Pictorand32 - clip.avi");
    EXPECT_TRUE(host.ui.messages.empty());
    EXPECT_TRUE(host.ui.questions.empty());

    std::string misnamed = file("clip.dat", avi);
    host.custom = "Kiosk";
    EXPECT_FALSE(load(misnamed));
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, "This file has a incorrect extension !");
    EXPECT_TRUE(host.ui.questions.empty());
    EXPECT_EQ(host.ui.titles.back(), "Pictorand32 - Kiosk");

    host.playedMedia.clear();
    EXPECT_FALSE(load(path, true, true, 100));
    EXPECT_TRUE(host.playedMedia.empty()) << "the preview plays media itself";
}

TEST_F(LoadForDisplayTest, MediaWithoutAPlayerSaysSo)
{
    std::string path = file("song.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    host.mediaPlays = false;
    EXPECT_FALSE(load(path));
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, path + " : Sound and video files can't be played in this version");
    EXPECT_EQ(host.ui.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(host.ui.titles.back(), "Pictorand32");
    EXPECT_EQ(host.ui.waitCursorDepth, 0);
}

TEST_F(LoadForDisplayTest, MetafilesAreShownByTheHost)
{
    std::string path = file("x.emf", {1, 0, 0, 0});
    host.palette = true;
    EXPECT_FALSE(load(path));
    EXPECT_TRUE(host.current.metafileMode);
    EXPECT_EQ(host.current.originalBitCount, 8);
    EXPECT_EQ(host.current.compression, "Enhanced Metafile");
    EXPECT_TRUE(host.ui.messages.empty());

    host.metafileWorks = false;
    EXPECT_FALSE(load(path));
    EXPECT_FALSE(host.current.metafileMode);
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text, path + " : WMF/EMF Decode error !\n\nNot a valid metafile");
}

// ---------------------------------------------------------------------------

class LoadForBatchTest : public LoadForDisplayTest {
protected:
    SettingsFile settings{dir.file("P_RAND32.INI")};
};

// No writer takes 3- or 40-bit blocks: the batch load turns every depth but
// the written ones into 24 bits, as the display load does.
TEST_F(LoadForBatchTest, NormalisesEveryDepthTheWritersCannotTake)
{
    std::string path = file("t.tif", {'I', 'I', 42, 0});
    const std::pair<int, int> cases[] = {{16, 24}, {32, 24}, {48, 24}, {64, 24}, {3, 24}, {40, 24}, {8, 8}, {1, 1}};
    for (auto [in, out] : cases) {
        fake.bitCount = in;
        ImageBlock block = LoadForBatch(path, registry, settings);
        ASSERT_TRUE(block) << in;
        EXPECT_EQ(block.bitCount(), out) << in;
    }
}

TEST_F(LoadForBatchTest, NeverQuantisesAndReadsOptionsFromTheSettingsFile)
{
    settings.writeInt(settings::LoadGrayscale, 1);
    settings.writeInt(settings::LoadingSize, 0);
    std::string path = jpeg("a.jpg");
    ImageBlock block = LoadForBatch(path, registry, settings);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.bitCount(), 24);
    EXPECT_TRUE(fake.lastRequest.greyscale);
    EXPECT_FALSE(fake.lastRequest.paletteDisplay);
    EXPECT_EQ(fake.lastRequest.previewWidth, 0);
    EXPECT_EQ(LoadForBatch(file("i.ico", {0, 0, 1, 0, 1, 0}), registry, settings).bitCount(), 24);
    EXPECT_EQ(fake.lastRequest.optionsFor<IconReadOptions>().chooser, nullptr);
    EXPECT_TRUE(LoadForBatch(file("p.pcd", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), registry, settings));
    EXPECT_EQ(fake.lastRequest.optionsFor<PhotoCdReadOptions>().loadingSize, 0);
}

TEST_F(LoadForBatchTest, MediaMetafilesAndUnknownFilesGiveNull)
{
    std::string media = file("a.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    std::string metafile = file("a.wmf", {1, 0, 9, 0});
    std::string unknown = file("a.txt", {'t'});
    EXPECT_FALSE(LoadForBatch(media, registry, settings));
    EXPECT_FALSE(LoadForBatch(metafile, registry, settings));
    EXPECT_FALSE(LoadForBatch(unknown, registry, settings));
    EXPECT_EQ(fake.calls, 0);
}

TEST_F(LoadForBatchTest, PhotoCdOverviewUsesTheOverviewReaderUnquantised)
{
    std::string path = file("o.pcd", {'P', 'C', 'D', '_', 'O', 'P', 'A'});
    fake.photoCdOverview = true;
    std::string message;
    std::string compression;
    ImageBlock block = loadForBatchWithMessage(path, message, compression, registry, settings);
    ASSERT_TRUE(block);
    EXPECT_EQ(fake.overviewFirstPicture, 1);
    EXPECT_EQ(block.bitCount(), 24);
    EXPECT_EQ(compression, "Photo CD - None");
}

TEST_F(LoadForBatchTest, RealBmpThroughTheProgramsRegistry)
{
    ImageBlock source = ImageBlock::create(3, 2, 24, 0);
    ASSERT_TRUE(source);
    source.row(0)[0] = 200;
    ASSERT_TRUE(writeBmp(dir.file("real.bmp"), source));
    std::string message;
    std::string compression;
    ImageBlock block = loadForBatchWithMessage(dir.file("real.bmp"), message, compression,
                                               CodecRegistry::instance(), settings);
    ASSERT_TRUE(block) << message;
    EXPECT_EQ(block.width(), 3);
    EXPECT_EQ(block.row(0)[0], 200);
    EXPECT_EQ(compression, "None");
}

TEST_F(LoadForDisplayTest, RealBmpThroughTheProgramsRegistry)
{
    ImageBlock source = ImageBlock::create(5, 4, 8, 256);
    ASSERT_TRUE(source);
    ASSERT_TRUE(writeBmp(dir.file("real.bmp"), source));
    std::string path = dir.file("real.bmp");
    ImageBlock block = LoadForDisplay(host, path, false, false, 0);
    ASSERT_TRUE(block);
    EXPECT_EQ(block.bitCount(), 8);
    EXPECT_EQ(host.current.compression, "None");

    std::string broken = file("broken.bmp", {'B', 'M', 1, 2, 3});
    EXPECT_FALSE(LoadForDisplay(host, broken, false, false, 0));
    ASSERT_EQ(host.ui.messages.size(), 1u);
    EXPECT_EQ(host.ui.messages[0].text.rfind(broken + " : BMP Decode error !\n\n", 0), 0u)
        << host.ui.messages[0].text;
}

} // namespace
} // namespace pictorand
