#include "dispatch/load.h"

#include "codecs/jpeg/jpeg_transform.h"
#include "codecs/metafile/metafile.h"
#include "dispatch/confined_load.h"
#include "dispatch/drawing_colours.h"
#include "dispatch/load_dispatch.h"
#include "ops/colour_profile.h"
#include "ops/depth_conversion.h"
#include "ops/rotate.h"
#include "platform/settings_keys.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace pictorand {

namespace {

int64_t monotonicMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The one place that reaches the file. The signature test and every reader
// get it from here; a worker that is handed a descriptor or the bytes
// instead of a name changes this class and nothing else in the load.
class FileToRead {
public:
    explicit FileToRead(const LoadSource& source) : m_path(source.path) {}

    const std::string& name() const { return m_path; }
    Result<ImageFormat> format() const { return detectFileFormat(m_path); }
    ReadRequest readRequest() const
    {
        ReadRequest request;
        request.path = m_path;
        return request;
    }
    // The images of a multi-image file, at most kMaxFrames; an empty list
    // when the codec cannot tell.
    ImageList images(const CodecRegistry& registry, ImageFormat format) const
    {
        ImageListFunction scanner = registry.imageList(format);
        if (!scanner)
            return {};
        Result<ImageList> listed = scanner(m_path);
        if (!listed)
            return {};
        ImageList list = listed.take();
        list.count = std::clamp(list.count, 0, kMaxFrames);
        return list;
    }
    Result<std::vector<AnimationFrame>> frames(const CodecRegistry& registry, const ImageList& images) const
    {
        return readAnimationFrames(m_path, images, registry);
    }
    Result<ComposedAnimation> composedFrames(AnimationReaderFunction reader) const
    {
        return reader(m_path, AnimationLimits{});
    }
    Result<DecodedImage> overviewSheet(const CodecRegistry& registry, int firstPicture) const
    {
        return callOverviewReader(registry, m_path, firstPicture);
    }
    Result<metafile::Drawing> drawing(std::string& compression) const
    {
        return metafile::readMetafile(m_path, compression);
    }
    Result<std::vector<uint8_t>> turned(const JpegTurnRequest& request) const
    {
        return turnJpegFile(m_path, request);
    }

private:
    std::string m_path;
};

// Picks up the lines the icon reader would show and lets it read the first
// image: which one to show is the caller's question.
class ListedIcons : public IconChooser {
public:
    int chooseIcon(const std::string&, const std::vector<std::string>& offered) override
    {
        lines = offered;
        return 0;
    }
    std::vector<std::string> lines;
};

// "%s - %d %s"
std::string countedText(const std::string& text, int count, const char* noun)
{
    return text + " - " + std::to_string(count) + " " + noun;
}

// A reader's description of its compression, else the format's.
std::string compressionOf(ImageFormat format, const DecodedImage& decoded)
{
    return decoded.compression.empty() ? formatInfo(format).compressionText : decoded.compression;
}

// Any value but 0 (Base/16) and 2 (Base) loads Base/4, as the Photo CD
// reader reads it.
int clampLoadingSize(int size) { return size == 0 || size == 2 ? size : 1; }

// The smallest Photo CD resolution whose longer side reaches `side`:
// Base/16 (192 x 128), Base/4 (384 x 256), else Base (768 x 512).
int photoCdSizeFor(int side) { return side <= 192 ? 0 : side <= 384 ? 1 : 2; }

bool showsOnScreen(LoadPurpose purpose)
{
    return purpose == LoadPurpose::View || purpose == LoadPurpose::Slide || purpose == LoadPurpose::Preview;
}

// The display profile a load converts to: only for what is shown on screen
// (files written and thumbnails stay in sRGB), and only one Little CMS can
// convert to. The worker checks it here, so a bad profile from the viewer
// falls back to sRGB instead of leaving pictures unconverted.
std::span<const uint8_t> displayProfileFor(const LoadRequest& request)
{
    const LoadOptions& options = request.options;
    if (!options.colourManagement || !showsOnScreen(request.purpose) || !isDestinationProfile(options.displayProfile))
        return {};
    return options.displayProfile;
}

// The opacity plane turned as its picture was; nothing when it is wholly
// opaque, or it cannot be turned and so no longer lies over the picture.
ImageBlock uprightAlpha(ImageBlock alpha, int quarterTurns, int orientation, const ImageBlock& picture)
{
    if (!alpha || !turnUpright(alpha, quarterTurns) || (orientation != 1 && !orientUpright(alpha, orientation)))
        return {};
    if (alpha.width() != picture.width() || alpha.height() != picture.height())
        return {};
    for (int32_t y = 0; y < alpha.height(); ++y) {
        const uint8_t* row = alpha.row(y);
        if (std::any_of(row, row + alpha.width(), [](uint8_t a) { return a != 255; }))
            return alpha;
    }
    return {};
}

class Load {
public:
    Load(const LoadRequest& request, const CodecRegistry& registry)
        : m_options(request.options), m_purpose(request.purpose), m_file(request.file),
          m_displayProfile(displayProfileFor(request)), m_registry(registry)
    {
        m_out.path = request.file.path;
    }

    LoadOutcome run();

private:
    LoadOutcome failed(LoadStage stage, Failure failure)
    {
        m_out.kind = LoadOutcome::Kind::Failed;
        m_out.block = ImageBlock();
        m_out.alpha = ImageBlock();
        m_out.frames.clear();
        m_out.drawing.reset();
        m_out.failedAt = stage;
        m_out.failure = std::move(failure);
        return std::move(m_out);
    }
    LoadOutcome refuse(ImageFormat format)
    {
        return failed(LoadStage::Reading,
                      {Reason::Unsupported, std::string(formatInfo(format).word) + " files are not converted"});
    }
    LoadOutcome metafile(int64_t started);
    LoadOutcome turn();
    std::optional<LoadOutcome> animation(const ImageList& images, int64_t started);
    std::optional<LoadOutcome> composedAnimation(int64_t started);
    void convertFrameColours(std::span<const uint8_t> profile);
    LoadOutcome finish(DecodedImage decoded, int64_t started);

    const LoadOptions& m_options;
    const LoadPurpose m_purpose;
    const FileToRead m_file;
    const std::span<const uint8_t> m_displayProfile;
    const CodecRegistry& m_registry;
    LoadOutcome m_out;
    ImageFormat m_format = ImageFormat::Bmp;
};

LoadOutcome Load::run()
{
    const Result<ImageFormat> format = m_file.format();
    if (!format)
        return failed(LoadStage::Signature, format.failure());
    m_format = *format;
    m_out.format = m_format;
    const FormatInfo& row = formatInfo(m_format);
    if (row.renameExtension && !extensionMatchesFormat(m_file.name(), m_format))
        m_out.misnamedAs = m_format;
    const bool batch = m_purpose == LoadPurpose::Batch;
    const int64_t started = monotonicMilliseconds();

    if (row.multiImage == MultiImage::Media) {
        if (batch)
            return refuse(m_format);
        m_out.kind = LoadOutcome::Kind::Media;
        m_out.mediaExtensionMismatch = !extensionMatchesFormat(m_file.name(), ImageFormat::Media);
        return std::move(m_out);
    }
    if (row.multiImage == MultiImage::Metafile)
        return batch ? refuse(m_format) : metafile(started);
    if (m_purpose == LoadPurpose::Turn)
        return turn();

    ReadRequest request = m_file.readRequest();
    request.greyscale = m_options.greyscale;
    request.paletteDisplay = m_options.paletteDisplay && showsOnScreen(m_purpose);
    request.previewWidth = m_purpose == LoadPurpose::Preview ? m_options.previewWidth : 0;
    const bool thumbnail = m_purpose == LoadPurpose::Thumbnail && m_options.thumbnailSide > 0;
    request.thumbnailSide = thumbnail ? m_options.thumbnailSide : 0;
    request.keepAlpha = m_purpose == LoadPurpose::Thumbnail;
    request.colourProfile = m_options.colourManagement;
    request.displayProfile = m_displayProfile;
    // A picture shown is dithered from its 16 bits; one written keeps the
    // rounding the writers and their tests have always had.
    request.sixteenBitSamples = showsOnScreen(m_purpose);

    if (m_options.countImages)
        m_out.imageCount = m_file.images(m_registry, m_format).count;
    ListedIcons icons;
    int imageCount = 0; // pages or images beyond one, for the compression text
    Result<DecodedImage> read = Failure{Reason::CorruptData, {}};
    switch (row.multiImage) {
    case MultiImage::Animation:
        if (m_purpose == LoadPurpose::View) {
            const ImageList images = m_file.images(m_registry, m_format);
            if (images.count > 1) {
                if (m_options.animate)
                    if (std::optional<LoadOutcome> played = animation(images, started))
                        return std::move(*played);
                // Not played: the first image stands for the file.
                imageCount = images.count;
            }
        }
        read = callReader(m_registry, m_format, request);
        break;
    case MultiImage::Pages: {
        ImageList pages;
        if (!batch)
            pages = m_file.images(m_registry, m_format);
        if (m_options.page != 0) {
            if (m_options.page < 0 || m_options.page >= pages.count
                || static_cast<size_t>(m_options.page) >= pages.imageOffsets.size())
                return failed(LoadStage::Reading, {Reason::BadArgument, kDecodeError});
            request.options = TiffReadOptions{pages.imageOffsets[static_cast<size_t>(m_options.page)]};
        }
        read = callReader(m_registry, m_format, request);
        if (read) {
            imageCount = pages.count;
            m_out.pageOffsets = std::move(pages.imageOffsets);
            m_out.pageOffsets.resize(static_cast<size_t>(pages.count));
            m_out.page = m_options.page;
        }
        break;
    }
    case MultiImage::Overview:
        request.options = PhotoCdReadOptions{thumbnail ? photoCdSizeFor(m_options.thumbnailSide)
                                                       : clampLoadingSize(m_options.photoCdLoadingSize)};
        read = callReader(m_registry, m_format, request);
        if (read && read->overviewPack) {
            // A 24-bit sheet: finish() reduces it for a 256-colour display.
            read = m_file.overviewSheet(m_registry, m_options.overviewStart);
            m_out.overviewSheet = read.ok();
            m_out.overviewStart = m_options.overviewStart;
        }
        break;
    case MultiImage::Choice:
        request.options = IconReadOptions{m_purpose == LoadPurpose::View ? &icons : nullptr, m_options.icon,
                                          m_purpose == LoadPurpose::Thumbnail};
        read = callReader(m_registry, m_format, request);
        if (icons.lines.size() > 1)
            m_out.iconChoices = std::move(icons.lines);
        break;
    case MultiImage::Single:
        // An animated file plays; a still one, or one whose frames cannot
        // be read, shows its first picture.
        if (m_purpose == LoadPurpose::View && m_options.animate) {
            const AnimationCheckFunction animated = m_registry.animationCheck(m_format);
            if (m_options.leaveAnimationsUnread && animated && animated(m_file.name())) {
                m_out.kind = LoadOutcome::Kind::Unread;
                return std::move(m_out);
            }
            if (std::optional<LoadOutcome> played = composedAnimation(started))
                return std::move(*played);
        }
        read = callReader(m_registry, m_format, request);
        break;
    case MultiImage::Media:
    case MultiImage::Metafile:
        read = callReader(m_registry, m_format, request);
        break;
    }
    if (!read)
        return failed(LoadStage::Reading, read.failure());
    m_out.compression = compressionOf(m_format, *read);
    if (imageCount > 1)
        m_out.compression =
            countedText(m_out.compression, imageCount, row.multiImage == MultiImage::Pages ? "pages" : "images");
    return finish(read.take(), started);
}

std::optional<LoadOutcome> Load::animation(const ImageList& images, int64_t started)
{
    Result<std::vector<AnimationFrame>> frames = m_file.frames(m_registry, images);
    if (!frames)
        return std::nullopt;
    m_out.kind = LoadOutcome::Kind::Animation;
    m_out.frames = frames.take();
    // GIF has no profile: its colour tables are sRGB.
    convertFrameColours({});
    const ImageBlock& first = m_out.frames.front().block;
    m_out.originalWidth = first.width();
    m_out.originalHeight = first.height();
    m_out.originalBitCount = first.bitCount();
    m_out.compression = countedText("Animated GIF", images.count, "images");
    m_out.decompressionMs = monotonicMilliseconds() - started;
    return std::move(m_out);
}

std::optional<LoadOutcome> Load::composedAnimation(int64_t started)
{
    const AnimationReaderFunction reader = m_registry.animationReader(m_format);
    if (!reader)
        return std::nullopt;
    Result<ComposedAnimation> read = m_file.composedFrames(reader);
    if (!read || read->frames.size() < 2)
        return std::nullopt;
    const int count = static_cast<int>(read->frames.size());
    m_out.kind = LoadOutcome::Kind::Animation;
    m_out.loopCount = read->loopCount;
    const std::vector<uint8_t> profile = std::move(read->iccProfile);
    m_out.frames = framesOf(read.take());
    convertFrameColours(profile);
    const ImageBlock& first = m_out.frames.front().block;
    m_out.originalWidth = first.width();
    m_out.originalHeight = first.height();
    m_out.originalBitCount = first.bitCount();
    m_out.compression = countedText(std::string("Animated ") + formatInfo(m_format).word, count, "frames");
    m_out.decompressionMs = monotonicMilliseconds() - started;
    return std::move(m_out);
}

// The frames' colours as a still picture's of the file: from its profile
// (or sRGB, when it has none or one that converts nothing) to sRGB or the
// display's, all through one conversion. A frame that cannot be converted
// stays as it was.
void Load::convertFrameColours(std::span<const uint8_t> profile)
{
    if (!m_options.colourManagement)
        return;
    std::vector<ImageBlock*> blocks;
    for (AnimationFrame& frame : m_out.frames)
        blocks.push_back(&frame.block);
    ProfileConversion converted = ProfileConversion::LeftAsIs;
    if (!profile.empty())
        converted = convertColoursOfEach(blocks, profile, m_displayProfile);
    m_out.profileApplied = converted == ProfileConversion::Converted;
    if (converted == ProfileConversion::LeftAsIs && !m_displayProfile.empty())
        (void)convertColoursOfEach(blocks, {}, m_displayProfile);
}

LoadOutcome Load::turn()
{
    if (m_format != ImageFormat::Jpeg)
        return failed(LoadStage::Reading, {Reason::Unsupported, kOnlyJpegsTurnLosslessly});
    Result<std::vector<uint8_t>> turned =
        m_file.turned({m_options.turn, m_options.autoRotate, m_options.trimEdges, m_options.turnedGreyscale,
                       m_options.turnedProgressive});
    if (!turned)
        return failed(LoadStage::Reading, turned.failure());
    m_out.kind = LoadOutcome::Kind::Turned;
    m_out.turnedFile = turned.take();
    return std::move(m_out);
}

LoadOutcome Load::metafile(int64_t started)
{
    Result<metafile::Drawing> read = m_file.drawing(m_out.compression);
    if (!read) {
        Failure failure = read.failure();
        failure.detail = read.text();
        return failed(LoadStage::Reading, failure);
    }
    metafile::Drawing played = read.take();
    if (!m_displayProfile.empty())
        (void)convertDrawingColours(played, m_displayProfile); // or drawn in sRGB
    auto drawing = std::make_shared<const metafile::Drawing>(std::move(played));
    m_out.kind = LoadOutcome::Kind::Metafile;
    m_out.originalWidth = static_cast<int>(std::lround(drawing->width));
    m_out.originalHeight = static_cast<int>(std::lround(drawing->height));
    m_out.originalBitCount = m_options.paletteDisplay && showsOnScreen(m_purpose) ? 8 : 24;
    m_out.drawing = std::move(drawing);
    m_out.decompressionMs = monotonicMilliseconds() - started;
    return std::move(m_out);
}

LoadOutcome Load::finish(DecodedImage decoded, int64_t started)
{
    m_out.originalBitCount = decoded.sixteenBitSamples && decoded.greySamples ? 8 : decoded.block.bitCount();
    m_out.truncation = std::move(decoded.warning);
    const PictureCorrections corrections{m_options.autoRotate, m_options.colourManagement, m_displayProfile};
    AppliedCorrections applied;
    ImageBlock block;
    if (m_purpose == LoadPurpose::Batch) {
        block = std::move(decoded.block);
        if (isTransientDepth(block.bitCount())) {
            Result<ImageBlock> normalised = normaliseDepth(block);
            if (!normalised)
                return failed(LoadStage::Preparing, {normalised.failure().reason, kCantAllocateMemory});
            block = normalised.take();
        }
        if (!applyReaderFindings(block, decoded, corrections, &applied))
            return failed(LoadStage::Preparing, {Reason::OutOfMemory, kCantAllocateMemory});
    } else {
        const bool palette = m_options.paletteDisplay && showsOnScreen(m_purpose);
        ImageBlock alpha = std::move(decoded.alpha);
        const int quarterTurns = decoded.quarterTurnsClockwise;
        Result<ImageBlock> shown = prepareForDisplay(std::move(decoded), corrections, palette, &applied);
        if (!shown) {
            // A depth no conversion reaches is the reader's fault.
            const bool readerFault = shown.failure().reason == Reason::Unsupported;
            Failure failure{shown.failure().reason, shown.text()};
            return failed(readerFault ? LoadStage::Reading : LoadStage::Preparing, failure);
        }
        block = shown.take();
        m_out.alpha = uprightAlpha(std::move(alpha), quarterTurns, applied.orientation, block);
    }
    m_out.kind = LoadOutcome::Kind::Picture;
    // The size of the picture as shown: an upright photo's, not its sensor's.
    m_out.originalWidth = block.width();
    m_out.originalHeight = block.height();
    m_out.orientationApplied = applied.orientation;
    m_out.profileApplied = applied.profile;
    m_out.block = std::move(block);
    // The icon reader of old waited for the user's choice: icons report none.
    m_out.decompressionMs = m_format == ImageFormat::Icon ? 0 : monotonicMilliseconds() - started;
    return std::move(m_out);
}

// "%s : %s"
std::string pathMessage(const std::string& path, const std::string& text) { return path + " : " + text; }

} // namespace

LoadOptions loadOptionsFromSettings(const SettingsFile& settings)
{
    LoadOptions options;
    options.greyscale = settings.readInt(settings::LoadGrayscale) != 0;
    options.photoCdLoadingSize = settings.readInt(settings::LoadingSize);
    options.autoRotate = settings.readInt(settings::AutoRotate) != 0;
    options.colourManagement = settings.readInt(settings::ColorManagement) != 0;
    options.animate = settings.readInt(settings::MultiGifNone) != 1;
    return options;
}

LoadRequest batchRequest(const std::string& path, const SettingsFile& settings)
{
    return {LoadSource{path}, LoadPurpose::Batch, loadOptionsFromSettings(settings)};
}

LoadOutcome load(const LoadRequest& request, const CodecRegistry& registry)
{
    if (&registry == &CodecRegistry::instance() && decodingInWorkers())
        return loadInWorker(request);
    return loadInThisProcess(request, registry);
}

LoadOutcome loadInThisProcess(const LoadRequest& request, const CodecRegistry& registry)
{
    return Load(request, registry).run();
}

std::string loadFailureWords(const LoadOutcome& outcome)
{
    switch (outcome.failedAt) {
    case LoadStage::Signature:
        return kCantReadHeader;
    case LoadStage::Reading:
        // The reader's own words, as it put them.
        return outcome.failure.detail;
    case LoadStage::Preparing:
        break;
    case LoadStage::Decoder:
        // What became of the worker: its words are the whole message.
        return outcome.failure.detail;
    }
    return failureText(outcome.failure);
}

std::string loadFailureMessage(const LoadOutcome& outcome)
{
    if (outcome.failedAt == LoadStage::Reading && outcome.format)
        // "%s : JPEG %s\n\n%s"
        return outcome.path + " : " + formatInfo(*outcome.format).word + " " + kDecodeError + "\n\n"
            + loadFailureWords(outcome);
    return pathMessage(outcome.path, loadFailureWords(outcome));
}

std::string truncationNotice(const LoadOutcome& outcome)
{
    return pathMessage(outcome.path, outcome.truncation + "\n\n" + kTruncatedNotice);
}

} // namespace pictorand
