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

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define PICTORAND_WIDE_PROFILE_PATH 1
#endif

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


// Linear light is looked up in steps of 1/262144. sRGB's straight foot
// would do with far fewer, but a destination whose curve is a pure power
// (Adobe RGB's, many a measured display's) rises its first level within
// 1/200000 of black.
constexpr int kLinearSteps = 1 << 18;
// The per-channel terms carry this many bits below a step, so that the sum
// of three rounds once.
constexpr int kFractionBits = 4;

// A matrix-shaper profile to another (sRGB or a display's) as tables:
// term[o][k][v] is input channel k at value v, through its curve, times the
// matrix entry for output o, in sixteenths of a step; the three terms of an
// output add up to its linear light, which `encode[o]` turns into a byte of
// the destination (a display's channels may each have a curve of their
// own). Channels are in the block's blue, green, red order.
struct MatrixShaperTables {
    std::array<std::array<std::array<int32_t, 256>, 3>, 3> term{};
    std::array<std::array<uint8_t, kLinearSteps + 1>, 3> encode{};
    // For the wide path: each channel's linear light as a 16-bit value
    // split into its low and high bytes (byte lookups are what the vector
    // unit does fastest), and the matrix as floats that turn a sum of
    // 16-bit values into linear light from 0 to 1.
    alignas(64) std::array<std::array<uint8_t, 256>, 3> linearLow{};
    alignas(64) std::array<std::array<uint8_t, 256>, 3> linearHigh{};
    std::array<std::array<float, 3>, 3> coefficient{};
    // The wide path computes sRGB's encoding and reads sums up to 128 (out
    // of gamut, clipped to white); another destination, or a matrix that
    // could go beyond, takes the table path.
    bool wideFits = false;
    // The profile is the destination's in all but name (cameras embed sRGB
    // in most photos): every byte would come out as it went in, so nothing
    // is done.
    bool identity = false;
};

bool sameAsDestination(const MatrixShaperTables& tables, const double toSrgb[3][3])
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (std::fabs(toSrgb[r][c] - (r == c ? 1.0 : 0.0)) > 1e-3)
                return false;
    constexpr int32_t kHalf = 1 << (kFractionBits - 1);
    for (int channel = 0; channel < 3; ++channel)
        for (int value = 0; value < 256; ++value) {
            const int32_t linear = std::clamp(tables.term[channel][channel][value], 0, kLinearSteps << kFractionBits);
            if (tables.encode[size_t(channel)][static_cast<size_t>((linear + kHalf) >> kFractionBits)] != value)
                return false;
        }
    return true;
}

// What one pair of profiles needs, kept for the next picture with the same
// pair.
struct Conversion {
    std::vector<uint8_t> sourceBytes;      // empty: sRGB
    std::vector<uint8_t> destinationBytes; // empty: sRGB
    bool usable = false;
    // As a number: a damaged profile's value is none of the enumeration's.
    uint32_t space = cmsSigRgbData;
    Transform transform; // blue-green-red bytes, or grey bytes, to blue-green-red
    // RGB: blue-green-red 16-bit samples to the same, made when a 16-bit
    // picture first asks (Little CMS takes a while to build its grid).
    mutable std::once_flag made16;
    mutable Transform transform16;
    Profile source;
    Profile destination;
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

// Tables from a matrix-shaper RGB profile to another; null when either is
// not one (or the destination has tables of its own, which Little CMS would
// prefer to its matrix) or their tags are unusable, and the Little CMS
// transform does the work.
std::unique_ptr<MatrixShaperTables> matrixShaperTables(cmsHPROFILE source, cmsHPROFILE destination,
                                                       bool destinationIsSrgb)
{
    if (!cmsIsMatrixShaper(source) || !cmsIsMatrixShaper(destination)
        || cmsIsCLUT(destination, INTENT_PERCEPTUAL, LCMS_USED_AS_OUTPUT))
        return nullptr;
    double sourceMatrix[3][3];
    double destinationMatrix[3][3];
    double destinationInverse[3][3];
    if (!colorantMatrix(source, sourceMatrix) || !colorantMatrix(destination, destinationMatrix)
        || !invert3x3(destinationMatrix, destinationInverse))
        return nullptr;
    double toDestination[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            toDestination[r][c] = destinationInverse[r][0] * sourceMatrix[0][c]
                + destinationInverse[r][1] * sourceMatrix[1][c] + destinationInverse[r][2] * sourceMatrix[2][c];
            if (!std::isfinite(toDestination[r][c]) || std::fabs(toDestination[r][c]) > 64)
                return nullptr;
        }

    const cmsTagSignature curveTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    auto tables = std::unique_ptr<MatrixShaperTables>(new (std::nothrow) MatrixShaperTables);
    if (!tables)
        return nullptr;
    for (int output = 0; output < 3; ++output) { // red, green, blue of the destination
        const auto* outputCurve = static_cast<const cmsToneCurve*>(cmsReadTag(destination, curveTags[output]));
        if (!outputCurve)
            return nullptr;
        // Level v is the nearest for the linear light between the curve's
        // values at v - 1/2 and v + 1/2: 255 edges found on the curve, not a
        // quarter of a million points on its inverse (a curve that turns
        // back is taken as rising no further).
        auto& encode = tables->encode[size_t(2 - output)];
        size_t from = 0;
        for (int level = 0; level < 255; ++level) {
            const double edge =
                cmsEvalToneCurveFloat(outputCurve, static_cast<cmsFloat32Number>((level + 0.5) / 255));
            const auto to = static_cast<size_t>(
                std::clamp(std::ceil(edge * kLinearSteps), double(from), double(kLinearSteps + 1)));
            std::fill(encode.begin() + static_cast<std::ptrdiff_t>(from), encode.begin() + static_cast<std::ptrdiff_t>(to),
                      static_cast<uint8_t>(level));
            from = to;
        }
        std::fill(encode.begin() + static_cast<std::ptrdiff_t>(from), encode.end(), uint8_t(255));
    }
    constexpr double kScale = double(kLinearSteps << kFractionBits);
    for (int channel = 0; channel < 3; ++channel) { // red, green, blue of the profile
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, curveTags[channel]));
        if (!curve)
            return nullptr;
        const int blockChannel = 2 - channel;
        for (int output = 0; output < 3; ++output)
            tables->coefficient[size_t(2 - output)][size_t(blockChannel)] =
                static_cast<float>(toDestination[output][channel] / 65535.0);
        for (int value = 0; value < 256; ++value) {
            const double linear = cmsEvalToneCurveFloat(curve, static_cast<cmsFloat32Number>(value / 255.0));
            const auto linear16 = static_cast<uint16_t>(std::lround(std::clamp(linear, 0.0, 1.0) * 65535));
            tables->linearLow[size_t(blockChannel)][size_t(value)] = static_cast<uint8_t>(linear16 & 0xFF);
            tables->linearHigh[size_t(blockChannel)][size_t(value)] = static_cast<uint8_t>(linear16 >> 8);
            for (int output = 0; output < 3; ++output) { // red, green, blue of the destination
                const double term = toDestination[output][channel] * linear * kScale;
                tables->term[2 - output][blockChannel][value] =
                    static_cast<int32_t>(std::lround(std::clamp(term, -1e8, 1e8)));
            }
        }
    }
    tables->identity = sameAsDestination(*tables, toDestination);
    double largestSum = 0;
    for (int output = 0; output < 3; ++output) {
        double sum = 0;
        for (int channel = 0; channel < 3; ++channel)
            sum += std::max(0.0, toDestination[output][channel]);
        largestSum = std::max(largestSum, sum);
    }
    tables->wideFits = destinationIsSrgb && largestSum < 100;
    return tables;
}

Profile openProfile(std::span<const uint8_t> bytes)
{
    if (bytes.empty())
        return Profile(cmsCreate_sRGBProfile());
    return Profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

std::unique_ptr<Conversion> makeConversion(std::span<const uint8_t> sourceBytes,
                                           std::span<const uint8_t> destinationBytes)
{
    auto conversion = std::make_unique<Conversion>();
    conversion->sourceBytes.assign(sourceBytes.begin(), sourceBytes.end());
    conversion->destinationBytes.assign(destinationBytes.begin(), destinationBytes.end());
    Profile source = openProfile(sourceBytes);
    Profile destination = openProfile(destinationBytes);
    if (!source || !destination || cmsGetColorSpace(destination.get()) != cmsSigRgbData)
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
    conversion->transform.reset(cmsCreateTransform(source.get(), inputFormat, destination.get(), TYPE_BGR_8,
                                                   INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!conversion->transform)
        return conversion;
    // The wide path computes sRGB's encoding: other destinations take the
    // tables one pixel at a time.
    if (conversion->space == cmsSigRgbData)
        conversion->tables = matrixShaperTables(source.get(), destination.get(), destinationBytes.empty());
    conversion->usable = true;
    conversion->source = std::move(source);
    conversion->destination = std::move(destination);
    return conversion;
}

void convertPixelsByTables(const MatrixShaperTables& tables, uint8_t* pixel, uint32_t count)
{
    constexpr int32_t kMaximum = kLinearSteps << kFractionBits;
    constexpr int32_t kHalf = 1 << (kFractionBits - 1);
    for (uint32_t x = 0; x < count; ++x, pixel += 3) {
        const uint8_t blue = pixel[0], green = pixel[1], red = pixel[2];
        for (int output = 0; output < 3; ++output) {
            const auto& term = tables.term[static_cast<size_t>(output)];
            int32_t linear = term[0][blue] + term[1][green] + term[2][red];
            linear = std::clamp(linear, 0, kMaximum);
            pixel[output] = tables.encode[static_cast<size_t>(output)][static_cast<size_t>((linear + kHalf) >> kFractionBits)];
        }
    }
}

#ifdef PICTORAND_WIDE_PROFILE_PATH

#define PICTORAND_WIDE_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))
// GCC 12's intrinsics start some results from an undefined register and
// then warn about it.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// Byte permutations that split 64 blue-green-red pixels (three vectors)
// into a vector per channel and merge them back. Each takes two steps of a
// two-vector permutation, as no single instruction reads three vectors.
struct WideShuffles {
    alignas(64) uint8_t splitFirst[3][64];
    alignas(64) uint8_t splitSecond[3][64];
    alignas(64) uint8_t mergeFirst[3][64];
    alignas(64) uint8_t mergeSecond[3][64];

    WideShuffles()
    {
        for (int channel = 0; channel < 3; ++channel)
            for (int i = 0; i < 64; ++i) {
                const int source = 3 * i + channel; // 0..191 over the three vectors
                splitFirst[channel][i] = static_cast<uint8_t>(source & 127);
                splitSecond[channel][i] = static_cast<uint8_t>(source < 128 ? i : 64 + (source - 128));
            }
        // Where each pixel ends up in a channel's encoded vector: quarter q
        // holds half q % 2 of the words the unpacking made from the low
        // (q < 2) or high (q >= 2) eight bytes of each 16-byte lane, and
        // the packing puts its value t at byte 16 (t / 4) + 4 q + t % 4.
        uint8_t placeOf[64];
        for (int quarter = 0; quarter < 4; ++quarter)
            for (int t = 0; t < 16; ++t) {
                const int word = 16 * (quarter % 2) + t;
                const int pixel = 16 * (word / 8) + word % 8 + (quarter < 2 ? 0 : 8);
                placeOf[pixel] = static_cast<uint8_t>(16 * (t / 4) + 4 * quarter + t % 4);
            }
        for (int part = 0; part < 3; ++part)
            for (int i = 0; i < 64; ++i) {
                const int position = 64 * part + i;
                const int channel = position % 3, place = placeOf[position / 3];
                mergeFirst[part][i] = static_cast<uint8_t>(channel == 0 ? place : 64 + place); // blue or green
                mergeSecond[part][i] = static_cast<uint8_t>(channel == 2 ? 64 + place : i); // red, or as is
            }
    }
};

PICTORAND_WIDE_TARGET inline __m512i lookupBytes(__m512i index, const uint8_t* table)
{
    const __m512i low = _mm512_permutex2var_epi8(_mm512_load_si512(table), index, _mm512_load_si512(table + 64));
    const __m512i high =
        _mm512_permutex2var_epi8(_mm512_load_si512(table + 128), index, _mm512_load_si512(table + 192));
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

// sRGB's encoding, 1.055 x^(1/2.4) - 0.055 above 0.0031308 and 12.92 x
// below, computed rather than looked up: the vector unit gathers table
// entries one by one, slower than all of this. With x = 2^e m, m in [1, 2),
// x^(5/12) is 2^(5e/12) (a table of sixteen, which one permutation reads)
// times m^(5/12) (a polynomial). Both already carry 1.055 x 255.
constexpr int kEncodingDegree = 4;

struct SrgbEncoding {
    std::array<float, 16> octave{}; // by the exponent's low four bits
    std::array<float, kEncodingDegree + 1> polynomial{}; // in m, lowest power first
    bool accurate = false;

    SrgbEncoding()
    {
        constexpr int kDegree = kEncodingDegree;
        constexpr double kPi = 3.14159265358979323846;
        double nodes[kDegree + 1];
        double system[kDegree + 1][kDegree + 2];
        for (int i = 0; i <= kDegree; ++i) { // Chebyshev nodes on [1, 2]
            nodes[i] = 1.5 + 0.5 * std::cos((2 * i + 1) * kPi / (2 * (kDegree + 1)));
            double power = 1;
            for (int j = 0; j <= kDegree; ++j, power *= nodes[i])
                system[i][j] = power;
            system[i][kDegree + 1] = std::pow(nodes[i], 5.0 / 12.0);
        }
        for (int column = 0; column <= kDegree; ++column) { // Gauss-Jordan with partial pivoting
            int pivot = column;
            for (int row = column + 1; row <= kDegree; ++row)
                if (std::fabs(system[row][column]) > std::fabs(system[pivot][column]))
                    pivot = row;
            std::swap(system[pivot], system[column]);
            for (int row = 0; row <= kDegree; ++row) {
                if (row == column)
                    continue;
                const double factor = system[row][column] / system[column][column];
                for (int j = column; j <= kDegree + 1; ++j)
                    system[row][j] -= factor * system[column][j];
            }
        }
        for (int j = 0; j <= kDegree; ++j)
            polynomial[size_t(j)] = static_cast<float>(system[j][kDegree + 1] / system[j][j]);
        for (int i = 0; i < 16; ++i) { // i is the biased exponent's low bits: 15 for 2^0
            const int exponent = i <= 5 ? i + 1 : i - 15;
            octave[size_t(i)] = static_cast<float>(1.055 * 255 * std::pow(2.0, 5.0 * exponent / 12));
        }
        // The fit is good to about 1e-5 (a fiftieth of a level); check it,
        // in the floats it will be used in, before trusting it.
        double worst = 0;
        for (int i = 0; i <= 1000; ++i) {
            const float m = 1.0f + float(i) / 1000;
            float value = polynomial[kDegree];
            for (int j = kDegree - 1; j >= 0; --j)
                value = value * m + polynomial[size_t(j)];
            worst = std::max(worst, std::fabs(value - std::pow(double(m), 5.0 / 12.0)));
        }
        accurate = worst < 1e-4;
    }
};

const SrgbEncoding& srgbEncoding()
{
    static const SrgbEncoding encoding;
    return encoding;
}

PICTORAND_WIDE_TARGET inline __m512i encodeSrgb(__m512 linear, const SrgbEncoding& encoding)
{
    // The table is read by the low four bits of the biased exponent: 6 to
    // 15 for the curved part's -9 to 0, and 0 to 5 for out-of-gamut sums
    // of 2 to 128 (which only the straight part's exponents share, and it
    // does not read them). Sums below 0 take the straight part and come
    // out negative, sums above 1 over 255: the packing into bytes
    // saturates both.
    const __m512i octave = _mm512_srli_epi32(_mm512_castps_si512(linear), 23);
    const __m512 mantissa = _mm512_getmant_ps(linear, _MM_MANT_NORM_1_2, _MM_MANT_SIGN_zero);
    __m512 power = _mm512_set1_ps(encoding.polynomial[kEncodingDegree]);
    for (int j = kEncodingDegree - 1; j >= 0; --j)
        power = _mm512_fmadd_ps(power, mantissa, _mm512_set1_ps(encoding.polynomial[size_t(j)]));
    const __m512 scale = _mm512_permutexvar_ps(octave, _mm512_loadu_ps(encoding.octave.data()));
    const __m512 curved = _mm512_fmsub_ps(scale, power, _mm512_set1_ps(float(0.055 * 255)));
    const __mmask16 dark = _mm512_cmp_ps_mask(linear, _mm512_set1_ps(0.0031308f), _CMP_LE_OQ);
    const __m512 encoded = _mm512_mask_mul_ps(curved, dark, linear, _mm512_set1_ps(float(12.92 * 255)));
    return _mm512_cvtps_epi32(encoded); // to the nearest
}

// 64 pixels at a time: each channel's bytes looked up as 16-bit linear
// light, the matrix applied in floats, and the sums encoded as sRGB bytes.
PICTORAND_WIDE_TARGET void convertPixelsWide(const MatrixShaperTables& tables, const WideShuffles& shuffles,
                                             const SrgbEncoding& encoding, uint8_t* pixel, uint32_t groups)
{
    __m512 coefficient[3][3];
    for (size_t o = 0; o < 3; ++o)
        for (size_t k = 0; k < 3; ++k)
            coefficient[o][k] = _mm512_set1_ps(tables.coefficient[o][k]);
    for (uint32_t g = 0; g < groups; ++g, pixel += 192) {
        const __m512i part0 = _mm512_loadu_si512(pixel);
        const __m512i part1 = _mm512_loadu_si512(pixel + 64);
        const __m512i part2 = _mm512_loadu_si512(pixel + 128);
        __m512i low[3], high[3];
        for (size_t c = 0; c < 3; ++c) {
            const __m512i first =
                _mm512_permutex2var_epi8(part0, _mm512_load_si512(shuffles.splitFirst[c]), part1);
            const __m512i channel =
                _mm512_permutex2var_epi8(first, _mm512_load_si512(shuffles.splitSecond[c]), part2);
            low[c] = lookupBytes(channel, tables.linearLow[c].data());
            high[c] = lookupBytes(channel, tables.linearHigh[c].data());
        }
        // Low and high bytes paired into words; within each 128-bit lane,
        // as the unpacking works, so the pixels come out in the order
        // `WideShuffles` undoes when it merges.
        __m512i wordsFirst[3], wordsSecond[3];
        for (size_t c = 0; c < 3; ++c) {
            wordsFirst[c] = _mm512_unpacklo_epi8(low[c], high[c]);
            wordsSecond[c] = _mm512_unpackhi_epi8(low[c], high[c]);
        }
        __m512i quarters[3][4];
        for (int quarter = 0; quarter < 4; ++quarter) {
            __m512 linear[3];
            for (size_t c = 0; c < 3; ++c) {
                const __m512i words = quarter < 2 ? wordsFirst[c] : wordsSecond[c];
                const __m256i half =
                    quarter % 2 == 0 ? _mm512_castsi512_si256(words) : _mm512_extracti64x4_epi64(words, 1);
                linear[c] = _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(half));
            }
            for (size_t o = 0; o < 3; ++o) {
                __m512 sum = _mm512_mul_ps(coefficient[o][0], linear[0]);
                sum = _mm512_fmadd_ps(coefficient[o][1], linear[1], sum);
                sum = _mm512_fmadd_ps(coefficient[o][2], linear[2], sum);
                quarters[o][quarter] = encodeSrgb(sum, encoding);
            }
        }
        // Packed lane by lane with saturation, which `WideShuffles` also
        // undoes.
        __m512i encoded[3];
        for (size_t o = 0; o < 3; ++o)
            encoded[o] = _mm512_packus_epi16(_mm512_packs_epi32(quarters[o][0], quarters[o][1]),
                                             _mm512_packs_epi32(quarters[o][2], quarters[o][3]));
        for (size_t part = 0; part < 3; ++part) {
            const __m512i blueGreen =
                _mm512_permutex2var_epi8(encoded[0], _mm512_load_si512(shuffles.mergeFirst[part]), encoded[1]);
            const __m512i merged =
                _mm512_permutex2var_epi8(blueGreen, _mm512_load_si512(shuffles.mergeSecond[part]), encoded[2]);
            _mm512_storeu_si512(pixel + 64 * part, merged);
        }
    }
}

bool wideUnitPresent()
{
    static const bool present = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
                                && __builtin_cpu_supports("avx512vbmi");
    return present;
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

void convertRowsByTables(const MatrixShaperTables& tables, ImageBlock& block, int32_t first, int32_t end)
{
    const auto width = static_cast<uint32_t>(block.width());
#ifdef PICTORAND_WIDE_PROFILE_PATH
    if (wideUnitPresent() && srgbEncoding().accurate && tables.wideFits) {
        static const WideShuffles shuffles;
        const uint32_t groups = width / 64;
        for (int32_t y = first; y < end; ++y) {
            convertPixelsWide(tables, shuffles, srgbEncoding(), block.row(y), groups);
            convertPixelsByTables(tables, block.row(y) + size_t(groups) * 192, width - groups * 64);
        }
        return;
    }
#endif
    for (int32_t y = first; y < end; ++y)
        convertPixelsByTables(tables, block.row(y), width);
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

bool sameBytes(std::span<const uint8_t> a, const std::vector<uint8_t>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// The conversions of the last few pairs of profiles, newest first: the
// viewer reads ahead while it shows a picture, and a folder may mix a
// camera's sRGB photos, edited Adobe RGB ones and untagged screenshots,
// each converted to the display. A conversion is never changed once made,
// so pictures convert outside the lock, several at once.
constexpr size_t kKeptConversions = 4;
std::mutex keptConversionsLock;
std::vector<std::shared_ptr<const Conversion>> keptConversions;

std::shared_ptr<const Conversion> conversionFor(std::span<const uint8_t> source, std::span<const uint8_t> destination)
{
    std::lock_guard<std::mutex> hold(keptConversionsLock);
    auto found = std::find_if(keptConversions.begin(), keptConversions.end(), [&](const auto& kept) {
        return sameBytes(source, kept->sourceBytes) && sameBytes(destination, kept->destinationBytes);
    });
    std::shared_ptr<const Conversion> conversion;
    if (found != keptConversions.end()) {
        conversion = *found;
        keptConversions.erase(found);
    } else {
        conversion = makeConversion(source, destination);
        if (keptConversions.size() >= kKeptConversions)
            keptConversions.pop_back();
    }
    keptConversions.insert(keptConversions.begin(), conversion);
    return conversion;
}

// A 48-bit block whose pixels all have three equal samples: a grey
// picture the reader carries as RGB, which a grey profile describes.
bool holdsOnlyGrey(const ImageBlock& block)
{
    const auto width = static_cast<size_t>(block.width());
    for (int32_t y = 0; y < block.height(); ++y) {
        const uint8_t* pixel = block.row(y);
        for (size_t x = 0; x < width; ++x, pixel += 6)
            if (std::memcmp(pixel, pixel + 2, 2) != 0 || std::memcmp(pixel, pixel + 4, 2) != 0)
                return false;
    }
    return true;
}

} // namespace

namespace {

bool hasConvertibleDepth(const ImageBlock& block)
{
    const int bits = block.bitCount();
    return isUsableBlock(block) && (bits == 1 || bits == 4 || bits == 8 || bits == 24);
}

// One block through a usable conversion.
ProfileConversion convertWith(const Conversion& conversion, ImageBlock& block)
{
    if (!hasConvertibleDepth(block))
        return ProfileConversion::LeftAsIs;
    if (conversion.tables && conversion.tables->identity)
        return ProfileConversion::Converted;
    if (block.bitCount() == 24) {
        if (conversion.space != cmsSigRgbData)
            return ProfileConversion::LeftAsIs;
        convertPixels(conversion, block);
    } else {
        convertColourTable(conversion, block);
    }
    return ProfileConversion::Converted;
}

} // namespace

ProfileConversion convertColours(ImageBlock& block, std::span<const uint8_t> source,
                                 std::span<const uint8_t> destination)
{
    ImageBlock* const blocks[] = {&block};
    return convertColoursOfEach(blocks, source, destination);
}

namespace {

// The pair's conversion; null when memory ran out making it.
std::shared_ptr<const Conversion> conversionOrNone(std::span<const uint8_t> source, std::span<const uint8_t> destination)
{
    try {
        return conversionFor(source, destination);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

ProfileConversion convertColoursOfEach(std::span<ImageBlock* const> blocks, std::span<const uint8_t> source,
                                       std::span<const uint8_t> destination)
{
    const auto convertible = [](const ImageBlock* block) { return hasConvertibleDepth(*block); };
    if ((source.empty() && destination.empty()) || std::none_of(blocks.begin(), blocks.end(), convertible))
        return ProfileConversion::LeftAsIs;
    const std::shared_ptr<const Conversion> kept = conversionOrNone(source, destination);
    if (!kept)
        return ProfileConversion::OutOfMemory;
    if (!kept->usable)
        return ProfileConversion::LeftAsIs;
    ProfileConversion result = ProfileConversion::LeftAsIs;
    for (ImageBlock* block : blocks)
        if (convertWith(*kept, *block) == ProfileConversion::Converted)
            result = ProfileConversion::Converted;
    return result;
}

ProfileConversion convertSixteenBitColours(ImageBlock& block, std::span<const uint8_t> source,
                                           std::span<const uint8_t> destination)
{
    if ((source.empty() && destination.empty()) || !isUsableBlock(block) || block.bitCount() != 48)
        return ProfileConversion::LeftAsIs;
    const std::shared_ptr<const Conversion> kept = conversionOrNone(source, destination);
    if (!kept)
        return ProfileConversion::OutOfMemory;
    const bool grey = kept->space == cmsSigGrayData;
    if (!kept->usable || (kept->space != cmsSigRgbData && !(grey && holdsOnlyGrey(block))))
        return ProfileConversion::LeftAsIs;
    std::call_once(kept->made16, [&] {
        // A grey profile reads each pixel's first sample and skips the two
        // alike beside it.
        constexpr cmsUInt32Number kGreyOfBgr16 = COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(2) | EXTRA_SH(2);
        kept->transform16.reset(cmsCreateTransform(kept->source.get(), grey ? kGreyOfBgr16 : TYPE_BGR_16,
                                                   kept->destination.get(), TYPE_BGR_16, INTENT_PERCEPTUAL,
                                                   cmsFLAGS_NOCACHE));
    });
    if (!kept->transform16)
        return ProfileConversion::LeftAsIs;
    const auto width = static_cast<cmsUInt32Number>(block.width());
    for (int32_t y = 0; y < block.height(); ++y)
        cmsDoTransform(kept->transform16.get(), block.row(y), block.row(y), width);
    return ProfileConversion::Converted;
}

ProfileConversion convertToSrgb(ImageBlock& block, std::span<const uint8_t> profile)
{
    if (profile.empty())
        return ProfileConversion::LeftAsIs;
    return convertColours(block, profile, {});
}

bool isDestinationProfile(std::span<const uint8_t> profile)
{
    Profile opened = openProfile(profile);
    return !profile.empty() && opened && cmsGetColorSpace(opened.get()) == cmsSigRgbData
        && cmsIsIntentSupported(opened.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_OUTPUT);
}

} // namespace pictorand
