#include "dispatch/save_dispatch.h"

#include "dispatch/file_rename.h"
#include "dispatch/load_dispatch.h"

#include "ops/depth_conversion.h"
#include "ops/quantise.h"
#include "platform/paths.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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
std::string saveFailureText(const SaveTypeInfo& type, const std::string& writerMessage)
{
    std::string text = std::string(type.key) + " " + kSaveError;
    if (type.type == SaveType::Bmp || type.type == SaveType::Tif)
        text += " - " + writerMessage;
    return text;
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

// Runs the writer on a temporary file in the target's directory and moves the
// result over the target only when everything was written, so that a failure
// never destroys what was there before.
bool writeReplacing(WriterFunction writer, const std::string& path, const ImageBlock& block,
                    const WriteOptions& options, bool replaceExisting, std::string& message)
{
    // Replace the file a link points to, not the link.
    std::string target = path;
    struct stat linkInfo {};
    if (lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    struct stat existing {};
    const bool targetExists = stat(target.c_str(), &existing) == 0;
    if (targetExists && (!S_ISREG(existing.st_mode) || !replaceExisting)) {
        message = "Can't create file: " + path;
        return false;
    }

    std::string pattern = directoryOf(target) + ".pictorand-save-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        if (targetExists) {
            message = "Can't create file: " + path;
            return false;
        }
        // Nothing there to lose: let the writer try and explain itself.
        return writer(path, block, options, message);
    }
    close(descriptor);
    const std::string temporary = name.data();

    bool written = writer(temporary, block, options, message);
    replaceAll(message, temporary, path);
    if (written) {
        mode_t mode = targetExists ? (existing.st_mode & 07777) : modeForNewFile();
        // Only a file that replaces another must reach the disk before the
        // rename: a crash in between would otherwise trade the old picture
        // for an empty file. A new file has nothing to lose.
        written = chmod(temporary.c_str(), mode) == 0 && (!targetExists || flushToDisk(temporary))
            && (replaceExisting ? std::rename(temporary.c_str(), target.c_str()) == 0
                                : renameWithoutReplacing(temporary, target));
        if (!written)
            message = "Can't create file: " + path;
    }
    if (!written)
        unlink(temporary.c_str());
    return written;
}

} // namespace

bool SaveImage(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages,
               const CodecRegistry& registry, const SettingsFile& settings, bool replaceExisting)
{
    WaitCursor waitCursor(ui);
    auto tell = [&](const std::string& text) {
        if (showMessages)
            ui.showMessage(text, MessageIcon::Information);
    };

    const SaveTypeInfo* type = path.size() >= 3 ? saveTypeByKey(path.substr(path.size() - 3)) : nullptr;
    if (!type) {
        tell(kUnsupportedSaveType);
        return false;
    }
    std::string message;
    if (!block) {
        tell(saveFailureText(*type, message));
        return false;
    }

    WriteOptions options;
    options.quality = settings.readInt(settings::SaveQuality);
    options.greyscale = settings.readInt(settings::SaveGrayscale) != 0;
    options.progressive = settings.readInt(settings::SaveProgressive) != 0;
    options.tiffCompression = settings.readInt(settings::SaveCompression);
    options.interlaced = settings.readInt(settings::SaveInterlaced) != 0;

    const int bits = block.bitCount();
    ImageBlock prepared;
    bool preparationFailed = false;
    switch (type->type) {
    case SaveType::Jpg:
        // The JPEG writer takes 8 and 24 bits only.
        if (bits == 1)
            prepared = monoToGrey256(block);
        else if (bits == 4)
            prepared = sixteenTo256Colors(block);
        preparationFailed = bits < 8 && !prepared;
        break;
    case SaveType::Tif:
        if (options.tiffCompression == 6 && bits < 24) {
            prepared = expandToTrueColor(block);
            preparationFailed = !prepared;
        }
        break;
    case SaveType::Gif: {
        if (bits == 24) {
            prepared = quantise(block, 256);
            if (!prepared) {
                tell(kCantQuantize256);
                return false;
            }
        }
        int transparent = settings.readInt(settings::SaveTransparent) == 1 ? settings.readInt(settings::Transparency) : -1;
        const int preparedBits = prepared ? prepared.bitCount() : bits;
        // A palette index can only name a colour the block has.
        const int largest = preparedBits == 1 ? 1 : preparedBits == 4 ? 15 : 255;
        if (transparent > largest)
            transparent = largest;
        if (transparent < 0)
            transparent = -1;
        options.transparentIndex = transparent;
        break;
    }
    default:
        break;
    }
    if (preparationFailed) {
        message = kCantAllocateMemory;
        tell(saveFailureText(*type, message));
        return false;
    }

    const ImageBlock& toWrite = prepared ? prepared : block;
    bool written = false;
    if (WriterFunction writer = registry.writer(type->type))
        written = writeReplacing(writer, path, toWrite, options, replaceExisting, message);
    else
        message = "No writer for this file type in this build";
    if (!written)
        tell(saveFailureText(*type, message));
    return written;
}

bool SaveImage(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages)
{
    SettingsFile settings;
    return SaveImage(block, ui, path, showMessages, CodecRegistry::instance(), settings);
}

} // namespace pictorand
