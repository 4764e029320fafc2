#include "dispatch/load_dispatch.h"

#include "dispatch/file_rename.h"

#include "ops/colour_profile.h"
#include "ops/depth_conversion.h"
#include "ops/quantise.h"
#include "ops/rotate.h"
#include "platform/paths.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictorand {

namespace {

int64_t monotonicMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// "%s : JPEG %s\n\n%s" with the path, the format word, "Decode error !" and
// the reader's own words.
std::string decodeFailureText(const std::string& path, ImageFormat format, const std::string& readerMessage)
{
    return path + " : " + formatInfo(format).word + " " + kDecodeError + "\n\n" + readerMessage;
}

// "%s : %s"
std::string pathMessage(const std::string& path, const std::string& text) { return path + " : " + text; }

// Depths some readers return that neither the display nor the writers take;
// both load paths turn them into 24 bits.
bool isTransientDepth(int bits) { return bits == 3 || bits == 16 || bits == 32 || bits == 40 || bits == 48 || bits == 64; }

// The images of a multi-image file, at most kMaxFrames; an empty list when
// the codec cannot tell.
ImageList listImages(const CodecRegistry& registry, ImageFormat format, const std::string& path)
{
    ImageListFunction scanner = registry.imageList(format);
    if (!scanner)
        return {};
    Result<ImageList> listed = scanner(path);
    if (!listed)
        return {};
    ImageList list = listed.take();
    list.count = std::clamp(list.count, 0, kMaxFrames);
    return list;
}

// The reader's own words: the dispatcher frames them, so they are shown as
// the reader put them.
const std::string& readerWords(const Failure& failure) { return failure.detail; }

// A reader's description of its compression, else the format's.
std::string compressionOf(ImageFormat format, const DecodedImage& decoded)
{
    return decoded.compression.empty() ? formatInfo(format).compressionText : decoded.compression;
}

// The format's own options for its reader.
FormatReadOptions readOptionsFor(ImageFormat format, int photoCdLoadingSize, IconChooser* chooser)
{
    switch (format) {
    case ImageFormat::PhotoCd:
        return PhotoCdReadOptions{photoCdLoadingSize};
    case ImageFormat::Icon:
        return IconReadOptions{chooser, -1};
    default:
        return std::monostate{};
    }
}

// "%s - %d %s"
std::string countedText(const std::string& text, int count, const char* noun)
{
    return text + " - " + std::to_string(count) + " " + noun;
}

// Any value but 0 (Base/16) and 2 (Base) loads Base/4, as the Photo CD
// reader reads it.
int clampLoadingSize(int size) { return size == 0 || size == 2 ? size : 1; }

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

Result<DecodedImage> callReader(const CodecRegistry& registry, ImageFormat format, const ReadRequest& request)
{
    ReaderFunction reader = registry.reader(format);
    if (!reader)
        return Failure{Reason::NoCodec, kReaderNotAvailable};
    return reader(request);
}

Result<DecodedImage> callOverviewReader(const CodecRegistry& registry, const std::string& path, int firstPicture)
{
    OverviewReaderFunction reader = registry.overviewReader();
    if (!reader)
        return Failure{Reason::NoCodec, kReaderNotAvailable};
    return reader(path, firstPicture);
}

Status turnUpright(ImageBlock& block, int quarterTurnsClockwise)
{
    const int turns = ((quarterTurnsClockwise % 4) + 4) % 4;
    if (turns == 0)
        return {};
    ImageBlock turned = turns == 1 ? rotateRight(block) : rotateLeft(block);
    if (turned && turns == 2)
        turned = rotateLeft(turned);
    if (!turned)
        return outOfMemory();
    block = std::move(turned);
    return {};
}

PictureCorrections PictureCorrections::fromSettings(const SettingsFile& settings)
{
    PictureCorrections corrections;
    corrections.orientation = settings.readInt(settings::AutoRotate) != 0;
    corrections.colourProfile = settings.readInt(settings::ColorManagement) != 0;
    return corrections;
}

Status applyReaderFindings(ImageBlock& block, const DecodedImage& findings, const PictureCorrections& corrections)
{
    if (Status turned = turnUpright(block, findings.quarterTurnsClockwise); !turned)
        return turned;
    if (corrections.orientation && findings.orientation != 1) {
        // Another value, or a depth the operations do not turn: shown as stored.
        if (Status oriented = orientUpright(block, findings.orientation);
            !oriented && oriented.failure().reason == Reason::OutOfMemory)
            return oriented;
    }
    // A profile that does not fit the picture leaves it as it is.
    if (corrections.colourProfile && !findings.iccProfile.empty()
        && convertToSrgb(block, findings.iccProfile) == ProfileConversion::OutOfMemory)
        return outOfMemory();
    return {};
}

Result<ImageBlock> prepareForDisplay(DecodedImage decoded, const PictureCorrections& corrections, bool paletteDisplay)
{
    ImageBlock block = std::move(decoded.block);
    if (isTransientDepth(block.bitCount())) {
        ImageBlock normalised = normaliseDepth(block);
        if (!normalised)
            return outOfMemory();
        block = std::move(normalised);
    }
    if (Status applied = applyReaderFindings(block, decoded, corrections); !applied)
        return applied.failure();
    const int bits = block.bitCount();
    // Nothing downstream can show another depth; only a faulty reader
    // returns one.
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return Failure{Reason::Unsupported, kUnsupportedBitDepth};
    if (paletteDisplay && bits == 24) {
        ImageBlock quantised = quantise(block, 256);
        if (!quantised)
            return Failure{Reason::OutOfMemory, kCantQuantize256};
        block = std::move(quantised);
    }
    return block;
}

// ---------------------------------------------------------------------------

ImageBlock loadForBatchWithMessage(const std::string& path, std::string& message, std::string& compression,
                                   const CodecRegistry& registry, const SettingsFile& settings)
{
    BatchLoad load = loadForBatchReported(path, registry, settings);
    message = std::move(load.message);
    compression = std::move(load.compression);
    return std::move(load.block);
}

namespace {

ImageBlock loadForBatchInto(const std::string& path, std::string& message, std::string& compression,
                            std::string& warning, const CodecRegistry& registry, const SettingsFile& settings)
{
    std::optional<ImageFormat> format = DetectFormat(path);
    if (!format) {
        message = kCantReadHeader;
        return {};
    }
    const MultiImage multi = formatInfo(*format).multiImage;
    if (multi == MultiImage::Media || multi == MultiImage::Metafile) {
        message = std::string(formatInfo(*format).word) + " files are not converted";
        return {};
    }

    ReadRequest request;
    request.path = path;
    request.greyscale = settings.readInt(settings::LoadGrayscale) != 0;
    request.colourProfile = PictureCorrections::fromSettings(settings).colourProfile;
    request.options = readOptionsFor(*format, clampLoadingSize(settings.readInt(settings::LoadingSize)), nullptr);

    Result<DecodedImage> read = callReader(registry, *format, request);
    if (read && read->overviewPack)
        read = callOverviewReader(registry, path, 1);
    if (!read) {
        message = readerWords(read.failure());
        return {};
    }
    compression = compressionOf(*format, *read);
    ImageBlock block = std::move(read->block);
    if (isTransientDepth(block.bitCount())) {
        ImageBlock normalised = normaliseDepth(block);
        if (!normalised) {
            message = kCantAllocateMemory;
            return {};
        }
        block = std::move(normalised);
    }
    if (!applyReaderFindings(block, *read, PictureCorrections::fromSettings(settings))) {
        message = kCantAllocateMemory;
        return {};
    }
    warning = std::move(read->warning);
    return block;
}

} // namespace

BatchLoad loadForBatchReported(const std::string& path, const CodecRegistry& registry, const SettingsFile& settings)
{
    BatchLoad load;
    load.block = loadForBatchInto(path, load.message, load.compression, load.warning, registry, settings);
    return load;
}

ImageBlock loadForBatchWithMessage(const std::string& path, std::string& message, std::string& compression)
{
    SettingsFile settings;
    return loadForBatchWithMessage(path, message, compression, CodecRegistry::instance(), settings);
}

ImageBlock LoadForBatch(const std::string& path, const CodecRegistry& registry, const SettingsFile& settings)
{
    std::string message;
    std::string compression;
    return loadForBatchWithMessage(path, message, compression, registry, settings);
}

ImageBlock LoadForBatch(const std::string& path)
{
    SettingsFile settings;
    return LoadForBatch(path, CodecRegistry::instance(), settings);
}

// ---------------------------------------------------------------------------

std::string renameQuestion(const std::string& path, ImageFormat format)
{
    // "%s '%s' %s JPEG %s"
    return std::string("Warning !\nThe file:") + " '" + path + "' " + "is a" + " " + formatInfo(format).word + " "
        + "File with incorrect extension !\nRename ?";
}

bool RenameToFormatExtension(UserInterface& ui, std::string& path, ImageFormat format)
{
    bool renamed = false;
    if (const char* extension = formatInfo(format).renameExtension) {
        std::string target = directoryOf(path) + baseNameWithoutExtension(path) + extension;
        if (target != path && renameWithoutReplacing(path, target)) {
            path = target;
            renamed = true;
        }
    }
    if (!renamed)
        ui.showMessage(kCantRename, MessageIcon::Information);
    ui.rebuildDirectoryList();
    return renamed;
}

// ---------------------------------------------------------------------------

bool DisplayHost::renameExtensionEnabled() const
{
    SettingsFile settings;
    return settings.readInt(settings::RenameExtension) == 1;
}

PictureCorrections DisplayHost::pictureCorrections() const
{
    SettingsFile settings;
    return PictureCorrections::fromSettings(settings);
}

bool DisplayHost::workingDirectoryChanged() const
{
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer))
        return true;
    return withoutTrailingSlashes(buffer) != withoutTrailingSlashes(directoryListDirectory());
}

namespace {

class DisplayLoad {
public:
    DisplayLoad(DisplayHost& host, std::string& path, bool skipMulti, bool quiet, int previewWidth,
                const CodecRegistry& registry)
        : m_host(host)
        , m_ui(host.userInterface())
        , m_current(host.currentImage())
        , m_path(path)
        , m_skipMulti(skipMulti)
        , m_quiet(quiet)
        , m_preview(previewWidth > 0)
        , m_previewWidth(previewWidth)
        , m_registry(registry)
    {
    }

    ImageBlock run();

private:
    ImageBlock failureTail(const std::string& text);
    Result<DecodedImage> readGif(const ReadRequest& request);
    Result<DecodedImage> readTiff(const ReadRequest& request);
    Result<DecodedImage> readPhotoCd(const ReadRequest& request);
    ImageBlock playMedia();
    ImageBlock showMetafile(int64_t started);
    ImageBlock finish(DecodedImage decoded, int64_t started);

    DisplayHost& m_host;
    UserInterface& m_ui;
    CurrentImage& m_current;
    std::string& m_path;
    const bool m_skipMulti;
    const bool m_quiet;
    const bool m_preview;
    const int m_previewWidth;
    const CodecRegistry& m_registry;

    ImageFormat m_format = ImageFormat::Bmp;
    std::string m_compression;
    std::optional<WaitCursor> m_waitCursor;
    bool m_animationStarted = false;
    int m_imageCount = 0; // pages or images beyond one, for the compression text
};

ImageBlock DisplayLoad::run()
{
    if (!m_preview) {
        m_current.block = ImageBlock();
        m_current.resetAllButBlock();
        m_host.resetViewerState();
    }
    // A picture already read ahead is no long work: no wait cursor.
    ReadAhead* ahead = m_preview ? nullptr : m_host.readAhead();
    if (!ahead || !ahead->ready(m_path))
        m_waitCursor.emplace(m_ui);

    std::optional<ImageFormat> detected = DetectFormat(m_path);
    if (!detected) {
        // The window keeps its size and title: nothing was loaded into it.
        if (!m_quiet && !m_preview)
            m_ui.showMessage(pathMessage(m_path, kCantReadHeader), MessageIcon::Information);
        if (m_host.workingDirectoryChanged())
            m_ui.rebuildDirectoryList();
        return {};
    }
    m_format = *detected;
    const FormatInfo& row = formatInfo(m_format);
    if (!m_preview)
        m_ui.setWindowTitle(m_path);

    if (row.renameExtension && !extensionMatchesFormat(m_path, m_format) && !m_quiet && !m_preview
        && m_host.renameExtensionEnabled()) {
        if (m_ui.askYesNo(renameQuestion(m_path, m_format), MessageIcon::Information, false)
            && RenameToFormatExtension(m_ui, m_path, m_format))
            m_ui.setWindowTitle(m_path);
    }

    ReadRequest request;
    request.path = m_path;
    request.greyscale = m_host.loadGreyscale();
    request.paletteDisplay = m_host.paletteDisplay();
    request.previewWidth = m_previewWidth;
    request.colourProfile = m_host.pictureCorrections().colourProfile;
    const bool mayAsk = !m_skipMulti && !m_preview;
    request.options = readOptionsFor(m_format, clampLoadingSize(m_host.photoCdLoadingSize()),
                                     mayAsk ? m_host.iconChooser() : nullptr);

    int64_t started = monotonicMilliseconds();
    std::optional<Result<DecodedImage>> read;
    switch (row.multiImage) {
    case MultiImage::Animation:
        read = readGif(request);
        if (m_animationStarted)
            return {};
        break;
    case MultiImage::Pages:
        read = readTiff(request);
        break;
    case MultiImage::Overview:
        read = readPhotoCd(request);
        break;
    case MultiImage::Media:
        return playMedia();
    case MultiImage::Metafile:
        return showMetafile(started);
    case MultiImage::Single:
    case MultiImage::Choice:
        if (ahead) {
            if (std::optional<ReadAhead::Result> done = ahead->take(m_format, request)) {
                if (done->decoded.block) {
                    read = std::move(done->decoded);
                } else {
                    read = Result<DecodedImage>(Failure{Reason::CorruptData, std::move(done->message)});
                }
                // The decompression time is the reader's, not the wait.
                started = monotonicMilliseconds() - done->milliseconds;
                break;
            }
        }
        read = callReader(m_registry, m_format, request);
        break;
    }
    if (!*read)
        return failureTail(decodeFailureText(m_path, m_format, readerWords(read->failure())));
    m_compression = compressionOf(m_format, **read);
    if (m_imageCount > 1) {
        const char* noun = row.multiImage == MultiImage::Pages ? "pages" : "images";
        m_compression = countedText(m_compression, m_imageCount, noun);
    }
    return finish(std::move(**read), started);
}

Result<DecodedImage> DisplayLoad::readGif(const ReadRequest& request)
{
    // A preview shows the first image: the animation belongs to the viewer.
    if (!m_skipMulti && !m_preview && !m_host.fullScreenWindowExists()) {
        ImageList images = listImages(m_registry, m_format, m_path);
        if (images.count > 1) {
            if (m_host.startAnimation(m_path, images)) {
                // The animation decodes and plays the frames; nothing to
                // show as a block, and nothing went wrong.
                if (m_waitCursor)
                    m_waitCursor->release();
                m_current.format = m_format;
                m_current.compression = countedText("Animated GIF", images.count, "images");
                m_animationStarted = true;
                return Failure{Reason::Unsupported, {}};
            }
            // No animation here: the first image stands for the file.
            m_imageCount = images.count;
        }
    }
    return callReader(m_registry, m_format, request);
}

Result<DecodedImage> DisplayLoad::readTiff(const ReadRequest& request)
{
    ImageList pages = listImages(m_registry, m_format, m_path);
    ReadRequest firstPage = request;
    firstPage.options = TiffReadOptions{0};
    Result<DecodedImage> read = callReader(m_registry, m_format, firstPage);
    if (read)
        m_imageCount = pages.count;
    // The preview must not disturb the page table of the picture on screen.
    if (read && !m_preview) {
        m_current.pageOffsets = std::move(pages.imageOffsets);
        m_current.pageCount = pages.count;
        m_current.multiPage = pages.count > 1;
        m_current.currentPage = 0;
    }
    return read;
}

Result<DecodedImage> DisplayLoad::readPhotoCd(const ReadRequest& request)
{
    Result<DecodedImage> read = callReader(m_registry, m_format, request);
    if (!read || !read->overviewPack)
        return read;
    if (!m_preview)
        m_current.overviewStart = 1;
    // A 24-bit sheet: finish() reduces it for a 256-colour display.
    read = callOverviewReader(m_registry, m_path, 1);
    if (read) {
        if (!m_preview)
            m_current.overviewMode = true;
        if (!m_skipMulti && !m_quiet)
            m_ui.showMessage(kPhotoCdOverviewNotice, MessageIcon::Information);
    }
    return read;
}

ImageBlock DisplayLoad::playMedia()
{
    if (m_preview)
        return {};
    if (!extensionMatchesFormat(m_path, ImageFormat::Media) && !m_quiet)
        m_ui.showMessage(kMediaIncorrectExtension, MessageIcon::Information);
    m_current.format = ImageFormat::Media;
    if (!m_host.playMedia(m_path))
        return failureTail(pathMessage(m_path, kMediaNotAvailable));
    std::string custom = m_host.customTitle();
    m_ui.setWindowTitle(std::string(kProgramCaption) + " - " + (custom.empty() ? fileNameOf(m_path) : custom));
    m_ui.rebuildDirectoryList();
    return {};
}

ImageBlock DisplayLoad::showMetafile(int64_t started)
{
    if (m_preview)
        return {};
    std::string message;
    if (!m_host.showMetafile(m_path, message, m_compression))
        return failureTail(decodeFailureText(m_path, ImageFormat::Metafile, message));
    m_current.format = ImageFormat::Metafile;
    m_current.metafileMode = true;
    m_current.decompressionMs = monotonicMilliseconds() - started;
    m_current.originalBitCount = m_host.paletteDisplay() ? 8 : 24;
    m_current.compression = m_compression;
    return {};
}

ImageBlock DisplayLoad::finish(DecodedImage decoded, int64_t started)
{
    // The Open command keeps and restores these around its preview, so the
    // preview writes them too.
    m_current.format = m_format;
    m_current.originalBitCount = decoded.block.bitCount();
    const std::string warning = std::move(decoded.warning);

    Result<ImageBlock> shown = prepareForDisplay(std::move(decoded), m_host.pictureCorrections(), m_host.paletteDisplay());
    if (!shown) {
        if (shown.failure().reason == Reason::Unsupported)
            return failureTail(decodeFailureText(m_path, m_format, shown.text()));
        return failureTail(pathMessage(m_path, shown.text()));
    }
    ImageBlock block = shown.take();
    // The size of the picture as shown: an upright photo's, not its sensor's.
    m_current.originalWidth = block.width();
    m_current.originalHeight = block.height();
    // Nobody should keep a half-black copy believing it whole.
    if (!warning.empty() && !m_quiet && !m_preview)
        m_ui.showMessage(pathMessage(m_path, warning + "\n\n" + kTruncatedNotice), MessageIcon::Information);

    // The icon reader may have waited for the user's choice.
    m_current.decompressionMs = m_format == ImageFormat::Icon ? 0 : monotonicMilliseconds() - started;
    m_current.compression = m_compression;
    if (!m_preview) {
        m_current.currentWidth = block.width();
        m_current.currentHeight = block.height();
        m_current.currentBitCount = block.bitCount();
    }
    return block;
}

ImageBlock DisplayLoad::failureTail(const std::string& text)
{
    if (m_preview)
        return {};
    if (!m_quiet)
        m_ui.showMessage(text, MessageIcon::Information);
    m_ui.setWindowTitle(kProgramCaption);
    if (m_host.workingDirectoryChanged())
        m_ui.rebuildDirectoryList();
    m_host.resetWindow();
    return {};
}

} // namespace

ImageBlock LoadForDisplay(DisplayHost& host, std::string& path, bool skipMulti, bool quiet, int previewWidth,
                          const CodecRegistry& registry)
{
    DisplayLoad load(host, path, skipMulti, quiet, previewWidth, registry);
    return load.run();
}

ImageBlock LoadForDisplay(DisplayHost& host, std::string& path, bool skipMulti, bool quiet, int previewWidth)
{
    return LoadForDisplay(host, path, skipMulti, quiet, previewWidth, CodecRegistry::instance());
}

} // namespace pictorand
