#include "ops/colour_profile.h"

#include "ops/derived_block.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace pictorand {

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

struct CurveFree {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};

// Linear sRGB is looked up in steps of 1/16384: near black, where the sRGB
// curve is steepest, one step is a fifth of an output level.
constexpr int kLinearSteps = 16384;
// The per-channel terms carry this many bits below a step, so that the sum
// of three rounds once.
constexpr int kFractionBits = 4;

// A matrix-shaper profile to sRGB as tables: term[o][k][v] is input channel
// k at value v, through its curve, times the matrix entry for output o, in
// sixteenths of a step; the three terms of an output add up to its linear
// light, which `encode` turns into an sRGB byte. Channels are in the
// block's blue, green, red order.
struct MatrixShaperTables {
    std::array<std::array<std::array<int32_t, 256>, 3>, 3> term{};
    std::array<uint8_t, kLinearSteps + 1> encode{};
    // The profile is sRGB in all but name (cameras embed one in most
    // photos): every byte would come out as it went in, so nothing is done.
    bool identity = false;
};

bool sameAsSrgb(const MatrixShaperTables& tables, const double toSrgb[3][3])
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (std::fabs(toSrgb[r][c] - (r == c ? 1.0 : 0.0)) > 1e-3)
                return false;
    constexpr int32_t kHalf = 1 << (kFractionBits - 1);
    for (int channel = 0; channel < 3; ++channel)
        for (int value = 0; value < 256; ++value) {
            const int32_t linear = std::clamp(tables.term[channel][channel][value], 0, kLinearSteps << kFractionBits);
            if (tables.encode[static_cast<size_t>((linear + kHalf) >> kFractionBits)] != value)
                return false;
        }
    return true;
}

// What one profile needs, kept for the next picture with the same profile.
struct Conversion {
    std::vector<uint8_t> profileBytes;
    bool usable = false;
    // As a number: a damaged profile's value is none of the enumeration's.
    uint32_t space = cmsSigRgbData;
    Transform transform; // blue-green-red bytes, or grey bytes, to blue-green-red
    std::unique_ptr<MatrixShaperTables> tables;
};

bool invert3x3(const double m[3][3], double inverse[3][3])
{
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
        - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!std::isfinite(det) || std::fabs(det) < 1e-9)
        return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inverse[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    return true;
}

// The RGB to XYZ (D50) matrix of a matrix-shaper profile: its colorants as
// columns.
bool colorantMatrix(cmsHPROFILE profile, double matrix[3][3])
{
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (!xyz)
            return false;
        matrix[0][c] = xyz->X;
        matrix[1][c] = xyz->Y;
        matrix[2][c] = xyz->Z;
    }
    return true;
}

// Tables for a matrix-shaper RGB profile; null when it is not one or its
// tags are unusable, and the Little CMS transform does the work.
std::unique_ptr<MatrixShaperTables> matrixShaperTables(cmsHPROFILE source, cmsHPROFILE srgb)
{
    if (!cmsIsMatrixShaper(source) || !cmsIsMatrixShaper(srgb))
        return nullptr;
    double sourceMatrix[3][3];
    double srgbMatrix[3][3];
    double srgbInverse[3][3];
    if (!colorantMatrix(source, sourceMatrix) || !colorantMatrix(srgb, srgbMatrix)
        || !invert3x3(srgbMatrix, srgbInverse))
        return nullptr;
    double toSrgb[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            toSrgb[r][c] = srgbInverse[r][0] * sourceMatrix[0][c] + srgbInverse[r][1] * sourceMatrix[1][c]
                + srgbInverse[r][2] * sourceMatrix[2][c];
            if (!std::isfinite(toSrgb[r][c]) || std::fabs(toSrgb[r][c]) > 64)
                return nullptr;
        }

    const cmsTagSignature curveTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    const auto* outputCurve = static_cast<const cmsToneCurve*>(cmsReadTag(srgb, cmsSigRedTRCTag));
    if (!outputCurve)
        return nullptr;
    std::unique_ptr<cmsToneCurve, CurveFree> encodeCurve(cmsReverseToneCurve(outputCurve));
    if (!encodeCurve)
        return nullptr;

    auto tables = std::unique_ptr<MatrixShaperTables>(new (std::nothrow) MatrixShaperTables);
    if (!tables)
        return nullptr;
    constexpr double kScale = double(kLinearSteps << kFractionBits);
    for (int channel = 0; channel < 3; ++channel) { // red, green, blue of the profile
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, curveTags[channel]));
        if (!curve)
            return nullptr;
        const int blockChannel = 2 - channel;
        for (int value = 0; value < 256; ++value) {
            const double linear = cmsEvalToneCurveFloat(curve, static_cast<cmsFloat32Number>(value / 255.0));
            for (int output = 0; output < 3; ++output) { // red, green, blue of sRGB
                const double term = toSrgb[output][channel] * linear * kScale;
                tables->term[2 - output][blockChannel][value] =
                    static_cast<int32_t>(std::lround(std::clamp(term, -1e8, 1e8)));
            }
        }
    }
    for (int i = 0; i <= kLinearSteps; ++i) {
        const double encoded = cmsEvalToneCurveFloat(encodeCurve.get(), static_cast<cmsFloat32Number>(double(i) / kLinearSteps));
        tables->encode[static_cast<size_t>(i)] = static_cast<uint8_t>(std::lround(std::clamp(encoded, 0.0, 1.0) * 255));
    }
    tables->identity = sameAsSrgb(*tables, toSrgb);
    return tables;
}

std::unique_ptr<Conversion> makeConversion(std::span<const uint8_t> profileBytes)
{
    auto conversion = std::make_unique<Conversion>();
    conversion->profileBytes.assign(profileBytes.begin(), profileBytes.end());
    Profile source(cmsOpenProfileFromMem(profileBytes.data(), static_cast<cmsUInt32Number>(profileBytes.size())));
    Profile srgb(cmsCreate_sRGBProfile());
    if (!source || !srgb)
        return conversion;
    conversion->space = static_cast<uint32_t>(cmsGetColorSpace(source.get()));
    cmsUInt32Number inputFormat = 0;
    if (conversion->space == cmsSigRgbData)
        inputFormat = TYPE_BGR_8;
    else if (conversion->space == cmsSigGrayData)
        inputFormat = TYPE_GRAY_8;
    else
        return conversion;
    // No cache: the transform runs on two threads at once.
    conversion->transform.reset(cmsCreateTransform(source.get(), inputFormat, srgb.get(), TYPE_BGR_8,
                                                   INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!conversion->transform)
        return conversion;
    if (conversion->space == cmsSigRgbData)
        conversion->tables = matrixShaperTables(source.get(), srgb.get());
    conversion->usable = true;
    return conversion;
}

void convertRowsByTables(const MatrixShaperTables& tables, ImageBlock& block, int32_t first, int32_t end)
{
    const auto width = static_cast<uint32_t>(block.width());
    constexpr int32_t kMaximum = kLinearSteps << kFractionBits;
    constexpr int32_t kHalf = 1 << (kFractionBits - 1);
    for (int32_t y = first; y < end; ++y) {
        uint8_t* pixel = block.row(y);
        for (uint32_t x = 0; x < width; ++x, pixel += 3) {
            const uint8_t blue = pixel[0], green = pixel[1], red = pixel[2];
            for (int output = 0; output < 3; ++output) {
                const auto& term = tables.term[static_cast<size_t>(output)];
                int32_t linear = term[0][blue] + term[1][green] + term[2][red];
                linear = std::clamp(linear, 0, kMaximum);
                pixel[output] = tables.encode[static_cast<size_t>((linear + kHalf) >> kFractionBits)];
            }
        }
    }
}

void convertRowsByTransform(const Conversion& conversion, ImageBlock& block, int32_t first, int32_t end)
{
    const auto width = static_cast<cmsUInt32Number>(block.width());
    for (int32_t y = first; y < end; ++y)
        cmsDoTransform(conversion.transform.get(), block.row(y), block.row(y), width);
}

// Below this many pixels a second thread costs more than it saves.
constexpr uint64_t kPixelsForTwoThreads = uint64_t(1) << 20;

void convertPixels(const Conversion& conversion, ImageBlock& block)
{
    auto convert = [&](int32_t first, int32_t end) noexcept {
        if (conversion.tables)
            convertRowsByTables(*conversion.tables, block, first, end);
        else
            convertRowsByTransform(conversion, block, first, end);
    };
    const int32_t height = block.height();
    const uint64_t pixels = uint64_t(block.width()) * uint64_t(height);
    if (pixels < kPixelsForTwoThreads || std::thread::hardware_concurrency() < 2 || height < 2) {
        convert(0, height);
        return;
    }
    const int32_t middle = height / 2;
    std::thread helper;
    try {
        helper = std::thread(convert, middle, height);
    } catch (...) {
        convert(0, height); // no thread to be had: all rows here
        return;
    }
    convert(0, middle);
    helper.join();
}

// Colour tables are converted entry by entry: a grey profile's entries
// through their green byte (every entry of a grey ramp has three alike).
void convertColourTable(const Conversion& conversion, ImageBlock& block)
{
    const uint32_t entries = adjustableColorEntries(block);
    ColorEntry* table = block.colorTable();
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t in[3] = {table[i].blue, table[i].green, table[i].red};
        if (conversion.space == cmsSigGrayData)
            in[0] = table[i].green;
        uint8_t out[3];
        cmsDoTransform(conversion.transform.get(), in, out, 1);
        table[i].blue = out[0];
        table[i].green = out[1];
        table[i].red = out[2];
    }
}

std::mutex lastConversionLock;
std::unique_ptr<Conversion> lastConversion;

} // namespace

ProfileConversion convertToSrgb(ImageBlock& block, std::span<const uint8_t> profile)
{
    if (profile.empty() || !isUsableBlock(block))
        return ProfileConversion::LeftAsIs;
    const int bits = block.bitCount();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return ProfileConversion::LeftAsIs;

    std::lock_guard<std::mutex> hold(lastConversionLock);
    try {
        if (!lastConversion || !std::equal(profile.begin(), profile.end(), lastConversion->profileBytes.begin(),
                                           lastConversion->profileBytes.end()))
            lastConversion = makeConversion(profile);
    } catch (const std::bad_alloc&) {
        lastConversion.reset();
        return ProfileConversion::OutOfMemory;
    }
    const Conversion& conversion = *lastConversion;
    if (!conversion.usable)
        return ProfileConversion::LeftAsIs;
    if (conversion.tables && conversion.tables->identity)
        return ProfileConversion::Converted;
    if (bits == 24) {
        if (conversion.space != cmsSigRgbData)
            return ProfileConversion::LeftAsIs;
        convertPixels(conversion, block);
    } else {
        convertColourTable(conversion, block);
    }
    return ProfileConversion::Converted;
}

} // namespace pictorand
