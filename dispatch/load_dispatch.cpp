#include "dispatch/load_dispatch.h"

#include "dispatch/file_rename.h"

#include "ops/colour_profile.h"
#include "ops/depth_conversion.h"
#include "ops/quantise.h"
#include "ops/rotate.h"
#include "platform/paths.h"

namespace pictorand {

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
    if (turns == 1)
        return rotateRight(block);
    Status turned = rotateLeft(block);
    if (turned && turns == 2)
        if (Status again = rotateLeft(block); !again) {
            (void)rotateRight(block); // back as it was
            return again;
        }
    return turned;
}

bool isTransientDepth(int bits)
{
    return bits == 3 || bits == 16 || bits == 32 || bits == 40 || bits == 48 || bits == 64;
}

Status applyReaderFindings(ImageBlock& block, const DecodedImage& findings, const PictureCorrections& corrections,
                           AppliedCorrections* applied)
{
    AppliedCorrections done;
    if (Status turned = turnUpright(block, findings.quarterTurnsClockwise); !turned)
        return turned;
    if (corrections.orientation && findings.orientation != 1) {
        // Another value, or a depth the operations do not turn: shown as stored.
        Status oriented = orientUpright(block, findings.orientation);
        if (!oriented && oriented.failure().reason == Reason::OutOfMemory)
            return oriented;
        if (oriented)
            done.orientation = findings.orientation;
    }
    // A profile that does not fit the picture leaves it as it is, in sRGB
    // as an untagged picture is taken to be.
    if (corrections.colourProfile && !findings.coloursConverted) {
        const std::span<const uint8_t> display = corrections.displayProfile;
        ProfileConversion converted = ProfileConversion::LeftAsIs;
        if (!findings.iccProfile.empty())
            converted = convertColours(block, findings.iccProfile, display);
        done.profile = converted == ProfileConversion::Converted;
        if (converted == ProfileConversion::LeftAsIs && !display.empty())
            converted = convertColours(block, {}, display);
        if (converted == ProfileConversion::OutOfMemory)
            return outOfMemory();
    }
    if (applied)
        *applied = done;
    return {};
}

Result<ImageBlock> prepareForDisplay(DecodedImage decoded, const PictureCorrections& corrections, bool paletteDisplay,
                                     AppliedCorrections* applied)
{
    ImageBlock block = std::move(decoded.block);
    bool embeddedApplied = false;
    if (decoded.sixteenBitSamples && block.bitCount() == 48) {
        // Converted at 16 bits and dithered at the last step, so that
        // neither rounding to 8 bits nor the conversion makes bands.
        if (corrections.colourProfile && !decoded.coloursConverted) {
            ProfileConversion converted = ProfileConversion::LeftAsIs;
            if (!decoded.iccProfile.empty())
                converted = convertSixteenBitColours(block, decoded.iccProfile, corrections.displayProfile);
            if (converted == ProfileConversion::LeftAsIs && !corrections.displayProfile.empty())
                converted = convertSixteenBitColours(block, {}, corrections.displayProfile);
            if (converted == ProfileConversion::OutOfMemory)
                return outOfMemory();
            embeddedApplied = converted == ProfileConversion::Converted && !decoded.iccProfile.empty();
            decoded.coloursConverted = true;
        }
        Result<ImageBlock> dithered = ditherSixteenBitSamples(block);
        if (!dithered)
            return dithered.failure();
        block = dithered.take();
    } else if (isTransientDepth(block.bitCount())) {
        Result<ImageBlock> normalised = normaliseDepth(block);
        if (!normalised)
            return normalised.failure();
        block = normalised.take();
    }
    if (Status done = applyReaderFindings(block, decoded, corrections, applied); !done)
        return done.failure();
    if (applied && embeddedApplied)
        applied->profile = true;
    const int bits = block.bitCount();
    // Nothing downstream can show another depth; only a faulty reader
    // returns one.
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return Failure{Reason::Unsupported, kUnsupportedBitDepth};
    if (paletteDisplay && bits == 24) {
        Result<ImageBlock> quantised = quantise(block, 256);
        if (!quantised)
            return Failure{quantised.failure().reason, kCantQuantize256};
        block = quantised.take();
    }
    return block;
}

std::string renameQuestion(const std::string& path, ImageFormat format)
{
    // "%s '%s' %s JPEG %s"
    return std::string("Warning !\nThe file:") + " '" + path + "' " + "is a" + " " + formatInfo(format).word + " "
        + "File with incorrect extension !\nRename ?";
}

bool renameToFormatExtension(std::string& path, ImageFormat format)
{
    const char* extension = formatInfo(format).renameExtension;
    if (!extension)
        return false;
    std::string target = directoryOf(path) + baseNameWithoutExtension(path) + extension;
    if (target == path || !renameWithoutReplacing(path, target))
        return false;
    path = target;
    return true;
}

} // namespace pictorand
