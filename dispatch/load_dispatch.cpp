#include "dispatch/load_dispatch.h"

#include "dispatch/file_rename.h"

#include "ops/depth_conversion.h"
#include "ops/quantise.h"
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

// Depths some readers return that the display never sees.
bool isTransientDepth(int bits) { return bits == 3 || bits == 16 || bits == 32 || bits == 40 || bits == 48 || bits == 64; }
// The batch load converts only these; 3- and 40-bit blocks go on as they are.
bool isBatchNormalisedDepth(int bits) { return bits == 16 || bits == 32 || bits == 64 || bits == 48; }

ImageBlock callReader(const CodecRegistry& registry, ImageFormat format, const ReadRequest& request,
                      std::string& message, std::string& compression)
{
    ReaderFunction reader = registry.reader(format);
    if (!reader) {
        message = kReaderNotAvailable;
        return {};
    }
    return reader(request, message, compression);
}

// Images of a multi-image file, at most kMaxFrames; the offsets land in the
// given tables when the codec can report them.
int countImages(const CodecRegistry& registry, ImageFormat format, const std::string& path,
                std::array<uint32_t, kMaxFrames>& controlOffsets, std::array<uint32_t, kMaxFrames>& imageOffsets)
{
    int count = 0;
    if (ImageOffsetsFunction scanner = registry.imageOffsets(format))
        count = scanner(path, controlOffsets.data(), imageOffsets.data(), kMaxFrames);
    else if (ImageCounterFunction counter = registry.imageCounter(format))
        count = counter(path);
    return std::clamp(count, 0, kMaxFrames);
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

std::string dispatcherCompressionText(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Jpeg:
        return "JPEG/JFIF";
    case ImageFormat::Gif:
        return "GIF - LZW";
    case ImageFormat::Png:
        return "PNG - ZIP";
    case ImageFormat::PhotoCd:
        return "Photo CD - None";
    case ImageFormat::Icon:
        return "Windows ICON - None";
    case ImageFormat::Ppm:
        return "Portable Pixelmap - None";
    case ImageFormat::Pgm:
        return "Portable Greymap - None";
    case ImageFormat::Pbm:
        return "Portable Bitmap - None";
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------

ImageBlock loadForBatchWithMessage(const std::string& path, std::string& message, std::string& compression,
                                   const CodecRegistry& registry, const SettingsFile& settings)
{
    message.clear();
    compression.clear();
    std::optional<ImageFormat> format = DetectFormat(path);
    if (!format) {
        message = kCantReadHeader;
        return {};
    }
    if (*format == ImageFormat::Media || *format == ImageFormat::Metafile) {
        message = std::string(formatInfo(*format).word) + " files are not converted";
        return {};
    }

    const std::string ownText = dispatcherCompressionText(*format);
    compression = ownText;
    ReadRequest request;
    request.path = path;
    request.loadGreyscale = settings.readInt(settings::LoadGrayscale) != 0;
    request.photoCdLoadingSize = clampLoadingSize(settings.readInt(settings::LoadingSize));
    GifFrameInfo frameInfo;
    request.gifFrameInfo = &frameInfo;
    bool overview = false;
    request.photoCdIsOverview = &overview;

    ImageBlock block = callReader(registry, *format, request, message, compression);
    if (!block && *format == ImageFormat::PhotoCd && overview) {
        if (OverviewReaderFunction overviewReader = registry.overviewReader())
            block = overviewReader(path, 1, false, message);
        else
            message = kReaderNotAvailable;
    }
    if (!block)
        return {};
    if (!ownText.empty())
        compression = ownText;

    if (isBatchNormalisedDepth(block.bitCount())) {
        ImageBlock normalised = normaliseDepth(block);
        if (!normalised) {
            message = kCantAllocateMemory;
            return {};
        }
        block = std::move(normalised);
    }
    return block;
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
    ImageBlock readGif(ImageFormat format, const ReadRequest& request);
    ImageBlock readTiff(const ReadRequest& request);
    ImageBlock readPhotoCd(const ReadRequest& request);
    ImageBlock playMedia();
    ImageBlock showMetafile(int64_t started);
    ImageBlock finish(ImageBlock block, int64_t started);

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
    std::string m_message;
    std::string m_compression;
    std::optional<WaitCursor> m_waitCursor;
    bool m_animationStarted = false;
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
    if (!m_preview)
        m_ui.setWindowTitle(m_path);

    if (formatInfo(m_format).renameExtension && !extensionMatchesFormat(m_path, m_format) && !m_quiet
        && !m_preview && m_host.renameExtensionEnabled()) {
        if (m_ui.askYesNo(renameQuestion(m_path, m_format), MessageIcon::Information, false)
            && RenameToFormatExtension(m_ui, m_path, m_format))
            m_ui.setWindowTitle(m_path);
    }

    m_compression = dispatcherCompressionText(m_format);
    ReadRequest request;
    request.path = m_path;
    request.loadGreyscale = m_host.loadGreyscale();
    request.quantise256 = m_host.paletteDisplay();
    request.targetWidth = m_previewWidth;
    request.photoCdLoadingSize = clampLoadingSize(m_host.photoCdLoadingSize());
    request.allowIconChooser = !m_skipMulti && !m_preview;
    request.iconChooser = request.allowIconChooser ? m_host.iconChooser() : nullptr;
    GifFrameInfo frameInfo;
    request.gifFrameInfo = &frameInfo;
    bool overview = false;
    request.photoCdIsOverview = &overview;

    int64_t started = monotonicMilliseconds();
    ImageBlock block;
    switch (m_format) {
    case ImageFormat::Gif:
        block = readGif(m_format, request);
        if (m_animationStarted)
            return {};
        break;
    case ImageFormat::Tiff:
        block = readTiff(request);
        break;
    case ImageFormat::PhotoCd:
        block = readPhotoCd(request);
        break;
    case ImageFormat::Media:
        return playMedia();
    case ImageFormat::Metafile:
        return showMetafile(started);
    default:
        if (ahead) {
            if (std::optional<ReadAhead::Result> done = ahead->take(m_format, request)) {
                block = std::move(done->block);
                m_message = std::move(done->message);
                m_compression = std::move(done->compression);
                // The decompression time is the reader's, not the wait.
                started = monotonicMilliseconds() - done->milliseconds;
                break;
            }
        }
        block = callReader(m_registry, m_format, request, m_message, m_compression);
        break;
    }
    if (!block)
        return failureTail(decodeFailureText(m_path, m_format, m_message));
    return finish(std::move(block), started);
}

ImageBlock DisplayLoad::readGif(ImageFormat format, const ReadRequest& request)
{
    if (!m_skipMulti && !m_host.fullScreenWindowExists()) {
        m_current.controlOffsets.fill(0);
        m_current.imageOffsets.fill(0);
        int images = countImages(m_registry, format, m_path, m_current.controlOffsets, m_current.imageOffsets);
        if (images > 1) {
            // The animation decodes and plays the frames; nothing to show
            // as a block, and nothing went wrong.
            m_current.format = format;
            m_current.compression = countedText("Animated GIF", images, "images");
            if (m_waitCursor)
                m_waitCursor->release();
            m_ui.postCommand(kStartAnimationCommand);
            m_animationStarted = true;
            return {};
        }
    }
    return callReader(m_registry, format, request, m_message, m_compression);
}

ImageBlock DisplayLoad::readTiff(const ReadRequest& request)
{
    // The preview must not disturb the page table of the picture on screen.
    std::array<uint32_t, kMaxFrames> unusedControl{};
    std::array<uint32_t, kMaxFrames> previewPages{};
    std::array<uint32_t, kMaxFrames>& pages = m_preview ? previewPages : m_current.imageOffsets;
    pages.fill(0);
    int pageCount = countImages(m_registry, ImageFormat::Tiff, m_path, unusedControl, pages);

    ReadRequest firstPage = request;
    firstPage.tiffDirectoryOffset = 0;
    ImageBlock block = callReader(m_registry, ImageFormat::Tiff, firstPage, m_message, m_compression);
    if (block && pageCount > 1)
        m_compression = countedText(m_compression, pageCount, "pages");
    if (block && !m_preview) {
        m_current.pageCount = pageCount;
        m_current.multiPage = pageCount > 1;
        m_current.currentPage = 0;
    }
    return block;
}

ImageBlock DisplayLoad::readPhotoCd(const ReadRequest& request)
{
    bool overview = false;
    ReadRequest call = request;
    call.photoCdIsOverview = &overview;
    ImageBlock block = callReader(m_registry, ImageFormat::PhotoCd, call, m_message, m_compression);
    if (block || !overview)
        return block;
    if (!m_preview)
        m_current.overviewStart = 1;
    OverviewReaderFunction overviewReader = m_registry.overviewReader();
    if (!overviewReader) {
        m_message = kReaderNotAvailable;
        return {};
    }
    block = overviewReader(m_path, 1, m_host.paletteDisplay(), m_message);
    if (block) {
        if (!m_preview)
            m_current.overviewMode = true;
        if (!m_skipMulti && !m_quiet)
            m_ui.showMessage(kPhotoCdOverviewNotice, MessageIcon::Information);
    }
    return block;
}

ImageBlock DisplayLoad::playMedia()
{
    if (m_preview)
        return {};
    if (!extensionMatchesFormat(m_path, ImageFormat::Media) && !m_quiet)
        m_ui.showMessage(kMediaIncorrectExtension, MessageIcon::Information);
    m_current.format = ImageFormat::Media;
    m_host.playMedia(m_path);
    std::string custom = m_host.customTitle();
    m_ui.setWindowTitle(std::string(kProgramCaption) + " - " + (custom.empty() ? fileNameOf(m_path) : custom));
    m_ui.rebuildDirectoryList();
    return {};
}

ImageBlock DisplayLoad::showMetafile(int64_t started)
{
    if (m_preview)
        return {};
    if (!m_host.showMetafile(m_path, m_message, m_compression))
        return failureTail(decodeFailureText(m_path, ImageFormat::Metafile, m_message));
    m_current.format = ImageFormat::Metafile;
    m_current.metafileMode = true;
    m_current.decompressionMs = monotonicMilliseconds() - started;
    m_current.originalBitCount = m_host.paletteDisplay() ? 8 : 24;
    m_current.compression = m_compression;
    return {};
}

ImageBlock DisplayLoad::finish(ImageBlock block, int64_t started)
{
    // The Open command keeps and restores these around its preview, so the
    // preview writes them too.
    m_current.format = m_format;
    m_current.originalWidth = block.width();
    m_current.originalHeight = block.height();
    m_current.originalBitCount = block.bitCount();

    if (isTransientDepth(block.bitCount())) {
        ImageBlock normalised = normaliseDepth(block);
        if (!normalised)
            return failureTail(pathMessage(m_path, kCantAllocateMemory));
        block = std::move(normalised);
    }
    const int bits = block.bitCount();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
        // Nothing downstream can show another depth; only a faulty reader
        // returns one.
        return failureTail(decodeFailureText(m_path, m_format, "Unsupported bit depth"));
    }
    if (m_host.paletteDisplay() && block.bitCount() == 24) {
        ImageBlock quantised = quantise(block, 256);
        if (!quantised)
            return failureTail(pathMessage(m_path, kCantQuantize256));
        block = std::move(quantised);
    }

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
