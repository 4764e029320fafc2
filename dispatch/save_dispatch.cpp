#include "dispatch/save_dispatch.h"

#include "dispatch/file_rename.h"
#include "dispatch/load_dispatch.h"

#include "ops/depth_conversion.h"
#include "ops/quantise.h"
#include "platform/file_descriptor.h"
#include "platform/paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pictorand {

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The words shown when a writer fails: "GIF %s" with "Save error !", and for
// the writers that explain themselves "BMP %s - %s" with the explanation.
std::string saveFailureText(const SaveInfo& save, const std::string& writerMessage)
{
    std::string text = std::string(save.key) + " " + kSaveError;
    if (save.failureShowsWriterMessage)
        text += " - " + writerMessage;
    return text;
}

// A palette index can only name a colour the block has.
int transparentIndexFor(const SettingsFile& settings, int bits)
{
    int transparent = settings.readInt(settings::SaveTransparent) == 1 ? settings.readInt(settings::Transparency) : -1;
    const int largest = bits == 1 ? 1 : bits == 4 ? 15 : 255;
    if (transparent > largest)
        transparent = largest;
    if (transparent < 0)
        transparent = -1;
    return transparent;
}

// The save settings a format's writer takes, read in one place.
WriteOptions writeOptionsFromSettings(ImageFormat format, const SettingsFile& settings, int bitsToWrite)
{
    switch (format) {
    case ImageFormat::Jpeg:
        return JpegWriteOptions{settings.readInt(settings::SaveGrayscale) != 0, settings.readInt(settings::SaveQuality),
                                settings.readInt(settings::SaveProgressive) != 0};
    case ImageFormat::Gif:
        return GifWriteOptions{settings.readInt(settings::SaveInterlaced) != 0,
                               transparentIndexFor(settings, bitsToWrite)};
    case ImageFormat::Tiff:
        return TiffWriteOptions{settings.readInt(settings::SaveCompression), settings.readInt(settings::SaveQuality)};
    case ImageFormat::Webp:
        return WebpWriteOptions{settings.readInt(settings::SaveQuality)};
    default:
        return std::monostate{};
    }
}

// A conversion's block, or why there is none.
Result<std::optional<ImageBlock>> converted(Result<ImageBlock> block)
{
    if (!block)
        return block.failure();
    return std::optional<ImageBlock>(block.take());
}

// The block brought to a depth the writer takes; nothing when it takes the
// block as it is.
Result<std::optional<ImageBlock>> prepareDepth(const SaveInfo& save, const ImageBlock& block, const SettingsFile& settings)
{
    const int bits = block.bitCount();
    switch (save.preparation) {
    case DepthPreparation::None:
        return std::optional<ImageBlock>();
    case DepthPreparation::PaletteTo256:
        // Other depths below 8 (3 bits from a batch load) have no palette
        // conversion and fail the save.
        if (save.writerDepths.has(bits) || bits >= 8)
            return std::optional<ImageBlock>();
        if (bits != 1 && bits != 4)
            return badArgument();
        return converted(bits == 1 ? monoTo256Colors(block) : sixteenTo256Colors(block));
    case DepthPreparation::TrueColourForJpegTiff:
        // The libtiff JPEG codec takes true colour only, whatever depths the
        // writer takes otherwise.
        if (settings.readInt(settings::SaveCompression) != 6 || bits >= 24)
            return std::optional<ImageBlock>();
        return converted(expandToTrueColor(block));
    case DepthPreparation::QuantiseTo256:
        // Only true colour is quantised; a depth no writer takes (40 bits
        // from a batch load) goes on and fails in the writer.
        if (bits != 24)
            return std::optional<ImageBlock>();
        return converted(quantise(block, 256));
    }
    return std::optional<ImageBlock>();
}

mode_t modeForNewFile()
{
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool flushToDisk(const std::string& path)
{
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    bool synced = fsync(descriptor) == 0;
    return close(descriptor) == 0 && synced;
}

// The failure with the system's reason for `error` where it has one (a
// refused folder, a full disk); the words stay for the message that shows
// them.
Failure withSystemReason(Failure failure, int error)
{
    failure.reason = fileFailure(error, failure.reason).reason;
    return failure;
}

// Runs the writer on a temporary file in the target's directory and moves the
// result over the target only when everything was written, so that a failure
// never destroys what was there before.
Status writeReplacing(const std::function<Status(const std::string& file)>& writer, const std::string& path,
                      bool replaceExisting, bool followLink)
{
    const Failure cantCreate{Reason::CantOpenFile, "Can't create file: " + path};
    // Replace the file a link points to, not the link.
    std::string target = path;
    struct stat linkInfo {};
    if (followLink && lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    struct stat existing {};
    const bool targetExists = (followLink ? stat(target.c_str(), &existing) : lstat(target.c_str(), &existing)) == 0;
    if (!followLink && targetExists && S_ISLNK(existing.st_mode))
        existing.st_mode = S_IFREG | 0644; // the link itself goes
    if (targetExists && (!S_ISREG(existing.st_mode) || !replaceExisting))
        return cantCreate;

    std::string pattern = directoryOf(target) + ".pictorand-save-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        if (targetExists)
            return withSystemReason(cantCreate, errno);
        // Nothing there to lose: let the writer try and explain itself.
        errno = 0;
        Status status = writer(path);
        return status ? status : withSystemReason(status.failure(), errno);
    }
    close(descriptor);
    const std::string temporary = name.data();

    errno = 0;
    Status status = writer(temporary);
    if (!status) {
        const int error = errno;
        Failure failure = status.failure();
        replaceAll(failure.detail, temporary, path);
        // Of what errno may still say after a writer failed, only a full disk
        // is sure to be why: the writer may have tried other files.
        if (error == ENOSPC || error == EDQUOT)
            failure = withSystemReason(failure, error);
        status = failure;
    }
    bool written = status.ok();
    if (written) {
        mode_t mode = targetExists ? (existing.st_mode & 07777) : modeForNewFile();
        // Only a file that replaces another must reach the disk before the
        // rename: a crash in between would otherwise trade the old picture
        // for an empty file. A new file has nothing to lose.
        written = chmod(temporary.c_str(), mode) == 0 && (!targetExists || flushToDisk(temporary))
            && (replaceExisting ? std::rename(temporary.c_str(), target.c_str()) == 0
                                : renameWithoutReplacing(temporary, target));
        if (!written)
            status = withSystemReason(cantCreate, errno);
    }
    if (!written)
        unlink(temporary.c_str());
    return status;
}

} // namespace

namespace {

Status save(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages,
            const CodecRegistry& registry, const SettingsFile& settings, bool replaceExisting, bool followLink)
{
    pictorand::WaitCursor waitCursor(ui);
    auto tell = [&](const std::string& text) {
        if (showMessages)
            ui.showMessage(text, MessageIcon::Information);
    };

    const FormatInfo* row = savableFormatForPath(path);
    if (!row) {
        tell(kUnsupportedSaveType);
        return Failure{Reason::Unsupported, kUnsupportedSaveType};
    }
    const SaveInfo& save = *row->save;
    if (!block) {
        tell(saveFailureText(save, {}));
        return Failure{Reason::BadArgument, kSaveError};
    }

    Result<std::optional<ImageBlock>> prepared = prepareDepth(save, block, settings);
    if (!prepared) {
        tell(save.preparation == DepthPreparation::QuantiseTo256 ? std::string(kCantQuantize256)
                                                                 : saveFailureText(save, kCantAllocateMemory));
        return prepared.failure();
    }
    const ImageBlock& toWrite = prepared->has_value() ? **prepared : block;
    const WriteOptions options = writeOptionsFromSettings(row->format, settings, toWrite.bitCount());

    Status written = Failure{Reason::NoCodec, "No writer for this file type in this build"};
    if (WriterFunction writer = registry.writer(row->format))
        written = writeReplacing([&](const std::string& file) { return writer(file, toWrite, options); }, path,
                                 replaceExisting, followLink);
    if (!written)
        tell(saveFailureText(save, written.failure().detail));
    return written;
}

} // namespace

Status SaveImage(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages,
                 const CodecRegistry& registry, const SettingsFile& settings, bool replaceExisting)
{
    return save(block, ui, path, showMessages, registry, settings, replaceExisting, true);
}

Status SaveOwnFile(const ImageBlock& block, UserInterface& ui, const std::string& path)
{
    SettingsFile settings;
    return save(block, ui, path, true, CodecRegistry::instance(), settings, true, false);
}

Status SaveImage(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages)
{
    SettingsFile settings;
    return SaveImage(block, ui, path, showMessages, CodecRegistry::instance(), settings);
}

Status saveFileBytes(std::span<const uint8_t> bytes, const std::string& path, bool replaceExisting)
{
    auto write = [&](const std::string& file) -> Status {
        FileDescriptor out(::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (out.get() < 0)
            return fileFailure(errno, Reason::WriteFailed);
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t wrote = ::write(out.get(), bytes.data() + done, bytes.size() - done);
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0)
                return fileFailure(wrote < 0 ? errno : ENOSPC, Reason::WriteFailed);
            done += static_cast<size_t>(wrote);
        }
        if (::close(out.release()) != 0)
            return fileFailure(errno, Reason::WriteFailed);
        return {};
    };
    return writeReplacing(write, path, replaceExisting, true);
}

} // namespace pictorand
