#include "codecs/bmp/bmp.h"
#include "dispatch/load.h"
#include "dispatch/load_dispatch.h"
#include "platform/settings_keys.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pictorand {
namespace {

using testing::ScratchDir;
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

class LoadTest : public ::testing::Test {
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

    LoadOutcome read(const std::string& path, LoadPurpose purpose = LoadPurpose::View, LoadOptions options = {})
    {
        return load({LoadSource{path}, purpose, options}, registry);
    }

    ScratchDir dir;
    CodecRegistry registry = fakeRegistry();
};

TEST_F(LoadTest, UnsupportedFilesFailAtTheSignature)
{
    std::vector<uint8_t> nine = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0};
    writeFile(dir.file("short.gif"), nine);
    for (const std::string& path : {file("notes.txt", {'h', 'e', 'l', 'l', 'o'}), dir.file("short.gif"),
                                    dir.file("missing.jpg")}) {
        const LoadOutcome outcome = read(path);
        EXPECT_FALSE(outcome.ok()) << path;
        EXPECT_EQ(outcome.failedAt, LoadStage::Signature);
        EXPECT_FALSE(outcome.format);
        EXPECT_EQ(loadFailureMessage(outcome), path + " : Can't read file header !\n\nUnsupported file type !");
        EXPECT_EQ(loadFailureWords(outcome), kCantReadHeader);
    }
    EXPECT_EQ(fake.calls, 0);
}

TEST_F(LoadTest, ReaderFailuresAreFramedWithTheFormatWord)
{
    std::string path = file("broken.gif", {'G', 'I', 'F', '8', '9', 'a'});
    fake.fail = true;
    fake.failMessage = "Can't open file for reading !";
    LoadOutcome outcome = read(path);
    EXPECT_EQ(outcome.failedAt, LoadStage::Reading);
    EXPECT_EQ(loadFailureMessage(outcome), path + " : GIF Decode error !\n\nCan't open file for reading !");
    EXPECT_EQ(loadFailureWords(outcome), "Can't open file for reading !");
    EXPECT_FALSE(outcome.block);

    std::string pcx = file("picture.pcx", {0x0A, 5, 1, 8});
    EXPECT_EQ(loadFailureMessage(read(pcx)), pcx + " : PCX Decode error !\n\n" + kReaderNotAvailable)
        << "a format without a reader fails the same way";
}

TEST_F(LoadTest, APictureComesWithItsFacts)
{
    std::string path = file("x.bmp", {'B', 'M'});
    fake.compression = "Run Length Encoding, RLE8";
    fake.bitCount = 8;
    const LoadOutcome outcome = read(path);
    ASSERT_EQ(outcome.kind, LoadOutcome::Kind::Picture);
    EXPECT_EQ(outcome.path, path);
    EXPECT_EQ(outcome.format, ImageFormat::Bmp);
    EXPECT_EQ(outcome.compression, "Run Length Encoding, RLE8");
    EXPECT_EQ(outcome.originalWidth, 4);
    EXPECT_EQ(outcome.originalHeight, 3);
    EXPECT_EQ(outcome.originalBitCount, 8);
    EXPECT_GE(outcome.decompressionMs, 0);
    EXPECT_EQ(outcome.pageCount(), 0);
    EXPECT_FALSE(outcome.misnamedAs);
    EXPECT_TRUE(outcome.truncation.empty());
}

TEST_F(LoadTest, ReaderArgumentsComeFromTheRequest)
{
    std::string path = jpeg("photo.jpg");
    LoadOptions options;
    options.greyscale = true;
    options.paletteDisplay = true;
    options.previewWidth = 160;
    fake.bitCount = 8;
    ASSERT_TRUE(read(path, LoadPurpose::Preview, options).ok());
    EXPECT_TRUE(fake.lastRequest.greyscale);
    EXPECT_TRUE(fake.lastRequest.paletteDisplay);
    EXPECT_EQ(fake.lastRequest.previewWidth, 160);
    LoadOutcome viewed = read(path, LoadPurpose::View, options);
    EXPECT_EQ(fake.lastRequest.previewWidth, 0) << "only previews and thumbnails decode small";
    EXPECT_EQ(viewed.compression, "JPEG/JFIF");
    EXPECT_EQ(fake.lastRequest.thumbnailSide, 0);
    fake.bitCount = 24;
    options.thumbnailSide = 96;
    LoadOutcome thumbnail = read(path, LoadPurpose::Thumbnail, options);
    EXPECT_EQ(fake.lastRequest.previewWidth, 0) << "a thumbnail's size is its longer side";
    EXPECT_EQ(fake.lastRequest.thumbnailSide, 96);
    EXPECT_FALSE(fake.lastRequest.paletteDisplay);
    EXPECT_EQ(thumbnail.block.bitCount(), 24) << "a thumbnail is never quantised";
}

TEST_F(LoadTest, AMisnamedFileSaysWhatItIsAndStillLoads)
{
    LoadOutcome outcome = read(jpeg("photo.gif"));
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.misnamedAs, ImageFormat::Jpeg);
    EXPECT_EQ(renameQuestion(dir.file("photo.gif"), ImageFormat::Jpeg),
              "Warning !\nThe file: '" + dir.file("photo.gif") + "' is a JPEG File with incorrect extension !\nRename ?");
    for (const char* name : {"a.bmp", "a.dib", "a.rle", "a.BMP"})
        EXPECT_FALSE(read(file(name, {'B', 'M'})).misnamedAs) << name;
    fake.fail = true;
    EXPECT_EQ(read(jpeg("broken.gif")).misnamedAs, ImageFormat::Jpeg) << "also when it cannot be read";
}

TEST_F(LoadTest, RenamingNeverReplacesAFileAndAppendsAMissingExtension)
{
    std::string path = jpeg("photo.gif");
    writeFile(dir.file("photo.jpg"), {'k', 'e', 'e', 'p'});
    EXPECT_FALSE(renameToFormatExtension(path, ImageFormat::Jpeg));
    EXPECT_EQ(path, dir.file("photo.gif"));
    EXPECT_EQ(testing::readFile(dir.file("photo.jpg")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));

    std::string bare = jpeg("bare");
    EXPECT_TRUE(renameToFormatExtension(bare, ImageFormat::Jpeg));
    EXPECT_EQ(bare, dir.file("bare.jpg"));
    EXPECT_FALSE(testing::fileExists(dir.file("bare")));
}

TEST_F(LoadTest, TransientDepthsBecomeTwentyFourBitsAndTheOriginalDepthIsKept)
{
    for (LoadPurpose purpose : {LoadPurpose::View, LoadPurpose::Batch})
        for (int bits : {3, 16, 32, 40, 48, 64}) {
            std::string path = file("t.tif", {'I', 'I', 42, 0});
            fake.bitCount = bits;
            LoadOutcome outcome = read(path, purpose);
            ASSERT_TRUE(outcome.block) << bits;
            EXPECT_EQ(outcome.block.bitCount(), 24) << bits;
            EXPECT_EQ(outcome.originalBitCount, bits);
        }
    fake.bitCount = 8;
    EXPECT_EQ(read(file("e.bmp", {'B', 'M'}), LoadPurpose::Batch).block.bitCount(), 8);
}

TEST_F(LoadTest, ADepthNothingCanShowIsTheReadersFault)
{
    std::string path = file("odd.bmp", {'B', 'M'});
    fake.bitCount = 2;
    LoadOutcome outcome = read(path);
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(loadFailureMessage(outcome), path + " : BMP Decode error !\n\nUnsupported bit depth");
}

TEST_F(LoadTest, MultiPageTiffListsItsPagesAndReadsTheOneAskedFor)
{
    std::string path = file("pages.tif", {'I', 'I', 42, 0});
    fake.imageCount = 3;
    fake.compression = "LZW";
    LoadOutcome first = read(path);
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first.compression, "LZW - 3 pages");
    EXPECT_EQ(first.pageCount(), 3);
    EXPECT_EQ(first.page, 0);
    EXPECT_EQ(first.pageOffsets[2], 1002u);
    EXPECT_EQ(fake.lastRequest.optionsFor<TiffReadOptions>().directoryOffset, 0u);

    LoadOptions third;
    third.page = 2;
    EXPECT_EQ(read(path, LoadPurpose::View, third).page, 2);
    EXPECT_EQ(fake.lastRequest.optionsFor<TiffReadOptions>().directoryOffset, 1002u);
    third.page = 3;
    EXPECT_FALSE(read(path, LoadPurpose::View, third).ok());
    EXPECT_EQ(read(path, LoadPurpose::Batch).pageCount(), 0) << "a batch reads the first page only";
    LoadOptions counted;
    counted.countImages = true;
    const LoadOutcome described = read(path, LoadPurpose::Batch, counted);
    EXPECT_EQ(described.imageCount, 3);
    EXPECT_EQ(described.compression, "LZW") << "counted, the pages stay out of the batch's words";
}

TEST_F(LoadTest, AnimatedGifComesAsItsFramesOnlyForTheViewer)
{
    std::string path = file("anim.gif", {'G', 'I', 'F', '8', '9', 'a'});
    fake.imageCount = 3;
    LoadOutcome played = read(path);
    ASSERT_EQ(played.kind, LoadOutcome::Kind::Animation);
    ASSERT_EQ(played.frames.size(), 3u);
    EXPECT_FALSE(played.block);
    EXPECT_EQ(played.compression, "Animated GIF - 3 images");
    EXPECT_EQ(fake.lastRequest.optionsFor<GifReadOptions>().imageOffset, 1002u);

    LoadOutcome slide = read(path, LoadPurpose::Slide);
    EXPECT_EQ(slide.kind, LoadOutcome::Kind::Picture);
    EXPECT_EQ(slide.compression, "GIF - LZW");
    EXPECT_EQ(fake.lastRequest.optionsFor<GifReadOptions>().imageOffset, 0u);
    LoadOptions still;
    still.animate = false;
    EXPECT_EQ(read(path, LoadPurpose::View, still).compression, "GIF - LZW - 3 images");
}

TEST_F(LoadTest, PaletteDisplayQuantisesTrueColourAndKeepsTheOriginalDepth)
{
    std::string path = file("x.bmp", {'B', 'M'});
    LoadOptions palette;
    palette.paletteDisplay = true;
    LoadOutcome outcome = read(path, LoadPurpose::View, palette);
    ASSERT_TRUE(outcome.block);
    EXPECT_EQ(outcome.block.bitCount(), 8);
    EXPECT_EQ(outcome.originalBitCount, 24);
    EXPECT_EQ(read(path, LoadPurpose::Batch, palette).block.bitCount(), 24) << "a batch never quantises";
}

TEST_F(LoadTest, PhotoCdOverviewReadsTheSheetAskedFor)
{
    std::string path = file("overview.pcd", {'P', 'C', 'D', '_', 'O', 'P', 'A'});
    fake.photoCdOverview = true;
    LoadOptions palette;
    palette.paletteDisplay = true;
    LoadOutcome outcome = read(path, LoadPurpose::View, palette);
    ASSERT_TRUE(outcome.block);
    EXPECT_EQ(fake.overviewFirstPicture, 1);
    EXPECT_EQ(outcome.block.bitCount(), 8) << "the sheet reduced for the palette display";
    EXPECT_TRUE(outcome.overviewSheet);
    EXPECT_EQ(outcome.overviewStart, 1);
    EXPECT_EQ(outcome.compression, "Photo CD - None");
    palette.overviewStart = 26;
    EXPECT_EQ(read(path, LoadPurpose::View, palette).overviewStart, 26);
    EXPECT_EQ(fake.overviewFirstPicture, 26);
    EXPECT_EQ(read(path, LoadPurpose::Batch).block.bitCount(), 24);
}

TEST_F(LoadTest, IconsReportNoDecompressionTimeAndOnlyTheViewerListsTheirImages)
{
    std::string path = file("x.ico", {0, 0, 1, 0, 1, 0});
    LoadOutcome outcome = read(path);
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.decompressionMs, 0);
    EXPECT_EQ(outcome.compression, "Windows ICON - None");
    EXPECT_NE(fake.lastRequest.optionsFor<IconReadOptions>().chooser, nullptr);
    for (LoadPurpose purpose : {LoadPurpose::Slide, LoadPurpose::Preview, LoadPurpose::Batch}) {
        ASSERT_TRUE(read(path, purpose).ok());
        EXPECT_EQ(fake.lastRequest.optionsFor<IconReadOptions>().chooser, nullptr);
    }
    LoadOptions second;
    second.icon = 1;
    ASSERT_TRUE(read(path, LoadPurpose::View, second).ok());
    EXPECT_EQ(fake.lastRequest.optionsFor<IconReadOptions>().index, 1);
}

TEST_F(LoadTest, TheFormatsCompressionTextUnlessTheReaderGivesItsOwn)
{
    EXPECT_EQ(read(file("x.png", {0x89, 'P', 'N', 'G'})).compression, formatInfo(ImageFormat::Png).compressionText);
    EXPECT_EQ(read(file("x.pgm", {'P', '5', '\n'})).compression, formatInfo(ImageFormat::Pgm).compressionText);
    fake.compression = "Run Length Encoding";
    EXPECT_EQ(read(file("x.tga", {0, 0, 10})).compression, "Run Length Encoding");
}

TEST_F(LoadTest, MediaIsNamedNotReadAndRefusedByABatch)
{
    std::vector<uint8_t> avi = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    const LoadOutcome clip = read(file("clip.avi", avi));
    EXPECT_EQ(clip.kind, LoadOutcome::Kind::Media);
    EXPECT_FALSE(clip.mediaExtensionMismatch);
    EXPECT_FALSE(clip.misnamedAs) << "no rename is offered for media";
    EXPECT_TRUE(read(file("clip.dat", avi)).mediaExtensionMismatch);
    EXPECT_EQ(loadFailureWords(read(file("a.wav", avi), LoadPurpose::Batch)), "MEDIA files are not converted");
    EXPECT_EQ(fake.calls, 0);
}

TEST_F(LoadTest, MetafilesComeAsTheirDrawing)
{
    const std::string path = std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/metafile/shapes.emf";
    LoadOptions palette;
    palette.paletteDisplay = true;
    const LoadOutcome outcome = read(path, LoadPurpose::View, palette);
    ASSERT_EQ(outcome.kind, LoadOutcome::Kind::Metafile) << loadFailureMessage(outcome);
    ASSERT_TRUE(outcome.drawing);
    EXPECT_FALSE(outcome.drawing->commands.empty());
    EXPECT_EQ(outcome.originalWidth, 321);
    EXPECT_EQ(outcome.originalBitCount, 8);
    EXPECT_EQ(outcome.compression, "Enhanced Windows Metafile");

    const std::string broken = file("x.emf", {1, 0, 0, 0});
    const LoadOutcome refused = read(broken);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(loadFailureMessage(refused).rfind(broken + " : WMF/EMF Decode error !\n\n", 0), 0u);
    EXPECT_EQ(loadFailureWords(read(path, LoadPurpose::Batch)), "WMF/EMF files are not converted");
}

TEST_F(LoadTest, ATruncatedPictureSaysSo)
{
    // The reader's words come with the rows it read.
    EXPECT_EQ(truncationNotice([] {
                  LoadOutcome outcome;
                  outcome.path = "/p/a.bmp";
                  outcome.truncation = "Unexpected end of file";
                  return outcome;
              }()),
              "/p/a.bmp : Unexpected end of file\n\n" + std::string(kTruncatedNotice));
}

// ---------------------------------------------------------------------------

class BatchLoadTest : public LoadTest {
protected:
    SettingsFile settings{dir.file("P_RAND32.INI")};
};

TEST_F(BatchLoadTest, OptionsComeFromTheSettingsFile)
{
    settings.writeInt(settings::LoadGrayscale, 1);
    settings.writeInt(settings::LoadingSize, 0);
    ImageBlock block = load(batchRequest(jpeg("a.jpg"), settings), registry).block;
    ASSERT_TRUE(block);
    EXPECT_EQ(block.bitCount(), 24);
    EXPECT_TRUE(fake.lastRequest.greyscale);
    EXPECT_FALSE(fake.lastRequest.paletteDisplay);
    EXPECT_EQ(fake.lastRequest.previewWidth, 0);
    EXPECT_TRUE(load(batchRequest(file("p.pcd", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), settings), registry).ok());
    EXPECT_EQ(fake.lastRequest.optionsFor<PhotoCdReadOptions>().loadingSize, 0);
}

TEST_F(BatchLoadTest, RealBmpThroughTheProgramsRegistry)
{
    ImageBlock source = ImageBlock::create(3, 2, 24, 0);
    ASSERT_TRUE(source);
    source.row(0)[0] = 200;
    ASSERT_TRUE(writeBmp(dir.file("real.bmp"), source));
    LoadOutcome batch = load(batchRequest(dir.file("real.bmp"), settings));
    ASSERT_TRUE(batch.block) << loadFailureWords(batch);
    EXPECT_EQ(batch.block.width(), 3);
    EXPECT_EQ(batch.block.row(0)[0], 200);
    EXPECT_EQ(batch.compression, "None");

    std::string broken = file("broken.bmp", {'B', 'M', 1, 2, 3});
    EXPECT_EQ(loadFailureMessage(load({LoadSource{broken}, LoadPurpose::View, {}})).rfind(broken + " : BMP Decode error !\n\n", 0),
              0u);
}

} // namespace
} // namespace pictorand
