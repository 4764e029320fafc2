#pragma once
// All size arithmetic on values that come from files goes through here, so an
// overflow becomes "does not fit" instead of a short allocation.

#include <cstdint>
#include <limits>
#include <optional>

namespace pictorand {

// The largest image block (or other single allocation made for file data).
// The program was designed around 32-bit sizes; keeping the limit means a
// hostile header can never ask for more than 2 GiB.
inline constexpr uint64_t kMaxBlockBytes = 0x7FFFFFFFu;

inline std::optional<uint64_t> checkedMul(uint64_t a, uint64_t b)
{
    if (a != 0 && b > std::numeric_limits<uint64_t>::max() / a)
        return std::nullopt;
    return a * b;
}

inline std::optional<uint64_t> checkedAdd(uint64_t a, uint64_t b)
{
    if (b > std::numeric_limits<uint64_t>::max() - a)
        return std::nullopt;
    return a + b;
}

// a * b + c, refusing anything above kMaxBlockBytes.
inline std::optional<uint64_t> checkedMulAdd(uint64_t a, uint64_t b, uint64_t c)
{
    auto product = checkedMul(a, b);
    if (!product)
        return std::nullopt;
    auto sum = checkedAdd(*product, c);
    if (!sum || *sum > kMaxBlockBytes)
        return std::nullopt;
    return sum;
}

// Bytes in one row of a device-independent bitmap: ((w * b + 31) / 32) * 4.
inline std::optional<uint64_t> dibRowSize(uint64_t width, uint64_t bitCount)
{
    auto bits = checkedMul(width, bitCount);
    if (!bits || *bits > kMaxBlockBytes * 8)
        return std::nullopt;
    return ((*bits + 31) / 32) * 4;
}

} // namespace pictorand
