#include "codecs/common/coded_colours.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace pictorand {

namespace {

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyY kIlluminantC{0.310, 0.316, 1.0};
constexpr cmsCIExyY kDciWhite{0.314, 0.351, 1.0};

struct Primaries {
    cmsCIExyY white;
    cmsCIExyYTRIPLE rgb;
};

cmsCIExyYTRIPLE triple(double rx, double ry, double gx, double gy, double bx, double by)
{
    return {{rx, ry, 1.0}, {gx, gy, 1.0}, {bx, by, 1.0}};
}

std::optional<Primaries> primariesFor(int code)
{
    switch (code) {
    case 1: // BT.709, sRGB
    case 2: // unspecified
        return Primaries{kD65, triple(0.640, 0.330, 0.300, 0.600, 0.150, 0.060)};
    case 4: // BT.470 System M
        return Primaries{kIlluminantC, triple(0.67, 0.33, 0.21, 0.71, 0.14, 0.08)};
    case 5: // BT.470 System B, G
        return Primaries{kD65, triple(0.64, 0.33, 0.29, 0.60, 0.15, 0.06)};
    case 6: // BT.601 525 lines
    case 7: // SMPTE 240M
        return Primaries{kD65, triple(0.630, 0.340, 0.310, 0.595, 0.155, 0.070)};
    case 8: // generic film
        return Primaries{kIlluminantC, triple(0.681, 0.319, 0.243, 0.692, 0.145, 0.049)};
    case 9: // BT.2020, BT.2100
        return Primaries{kD65, triple(0.708, 0.292, 0.170, 0.797, 0.131, 0.046)};
    case 11: // DCI-P3
        return Primaries{kDciWhite, triple(0.680, 0.320, 0.265, 0.690, 0.150, 0.060)};
    case 12: // Display P3
        return Primaries{kD65, triple(0.680, 0.320, 0.265, 0.690, 0.150, 0.060)};
    case 22: // EBU Tech 3213
        return Primaries{kD65, triple(0.630, 0.340, 0.295, 0.605, 0.155, 0.077)};
    default:
        return std::nullopt;
    }
}

// High dynamic range: PQ gives light in nits, HLG relative to a display's
// peak (taken as 1000 nits, the reference display's). Both are brought to a
// picture whose diffuse white (203 nits) is near the display's white:
// unchanged below 80 % of it, highlights rolled off smoothly towards white
// instead of clipped.
double toneMapped(double nits)
{
    const double relative = nits / 203.0;
    constexpr double kKnee = 0.8;
    return relative <= kKnee ? relative : kKnee + (1 - kKnee) * (1 - std::exp(-(relative - kKnee) / (1 - kKnee)));
}

double perceptualQuantizerNits(double signal)
{
    constexpr double m1 = 2610.0 / 16384;
    constexpr double m2 = 2523.0 / 4096 * 128;
    constexpr double c1 = 3424.0 / 4096;
    constexpr double c2 = 2413.0 / 4096 * 32;
    constexpr double c3 = 2392.0 / 4096 * 32;
    const double power = std::pow(signal, 1 / m2);
    return 10000 * std::pow(std::max(power - c1, 0.0) / (c2 - c3 * power), 1 / m1);
}

// Each sample on its own, with the reference display's system gamma (1.2):
// close to the luminance-based way for pictures that are not saturated.
double hybridLogGammaNits(double signal)
{
    constexpr double a = 0.17883277;
    constexpr double b = 1 - 4 * a;
    const double c = 0.5 - a * std::log(4 * a);
    const double scene = signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
    return 1000 * std::pow(scene, 1.2);
}

// Little CMS's parametric curve 4: (a x + b)^g from d up, c x below.
struct Curve {
    cmsFloat64Number parameters[5];
};

// The video transfers are camera curves; a picture shown from them undoes
// the camera curve, as browsers do.
Curve undoingCameraCurve(double alpha, double beta, double slope)
{
    return {{1 / 0.45, 1 / alpha, (alpha - 1) / alpha, 1 / slope, beta * slope}};
}

std::optional<Curve> curveFor(int code)
{
    switch (code) {
    case 1:  // BT.709
    case 6:  // BT.601
    case 11: // IEC 61966-2-4, for the range pictures use
    case 12: // BT.1361, likewise
    case 14: // BT.2020 10 bits
    case 15: // BT.2020 12 bits
        return undoingCameraCurve(1.09929682680944, 0.018053968510807, 4.5);
    case 7: // SMPTE 240M
        return undoingCameraCurve(1.1115, 0.0228, 4.0);
    case 2:  // unspecified
    case 13: // sRGB
        return Curve{{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}};
    case 4:
        return Curve{{2.2, 1, 0, 0, 0}};
    case 5:
        return Curve{{2.8, 1, 0, 0, 0}};
    case 8: // linear
        return Curve{{1, 1, 0, 0, 0}};
    default: // logarithmic, XYZ
        return std::nullopt;
    }
}

// A curve sampled from one of the high dynamic range transfers; null for
// the others.
cmsToneCurve* highDynamicRangeCurve(int code)
{
    double (*nits)(double) = code == 16 ? perceptualQuantizerNits : code == 18 ? hybridLogGammaNits : nullptr;
    if (!nits)
        return nullptr;
    constexpr int kPoints = 4096;
    std::vector<cmsFloat32Number> values(kPoints);
    for (int i = 0; i < kPoints; ++i)
        values[i] = static_cast<cmsFloat32Number>(toneMapped(nits(double(i) / (kPoints - 1))));
    return cmsBuildTabulatedToneCurveFloat(nullptr, kPoints, values.data());
}

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct CurveFree {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};

} // namespace

std::vector<uint8_t> profileForCodedColours(int primaries, int transfer)
{
    const bool srgbPrimaries = primaries == 1 || primaries == 2;
    const bool srgbTransfer = transfer == 2 || transfer == 13;
    const std::optional<Primaries> chosen = primariesFor(primaries);
    const std::optional<Curve> curve = curveFor(transfer);
    if ((srgbPrimaries && srgbTransfer) || !chosen)
        return {};
    const std::unique_ptr<cmsToneCurve, CurveFree> tone(
        curve ? cmsBuildParametricToneCurve(nullptr, 4, curve->parameters) : highDynamicRangeCurve(transfer));
    if (!tone)
        return {};
    cmsToneCurve* const curves[3] = {tone.get(), tone.get(), tone.get()};
    const std::unique_ptr<void, ProfileCloser> profile(cmsCreateRGBProfile(&chosen->white, &chosen->rgb, curves));
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0)
        return {};
    std::vector<uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size))
        return {};
    bytes.resize(size);
    return bytes;
}

} // namespace pictorand
