#include "codecs/bmp/bmp_rle.h"

#include <algorithm>
#include <cstring>

namespace pictorand {

namespace {

enum Escape : int { kEndOfLine = 0, kEndOfBitmap = 1, kDelta = 2 };

} // namespace

std::span<uint8_t> RleRows::stretch(uint64_t offset, uint64_t count)
{
    uint64_t end = size();
    if (offset >= end || count == 0)
        return {};
    if (!m_topDown)
        return m_rows.subspan(offset, std::min(count, end - offset));
    uint64_t row = offset / m_stride;
    uint64_t column = offset % m_stride;
    uint64_t stored = (m_rowCount - 1 - row) * m_stride + column;
    return m_rows.subspan(stored, std::min(count, m_stride - column));
}

void decodeBmpRle8(BufferedByteReader& in, RleRows& rows, uint32_t width)
{
    const uint64_t end = rows.size();
    const uint64_t rowWidth = (uint64_t(width) + 3) & ~uint64_t(3);
    // The write position is rowStart + rowCount. rowStart only grows, so once
    // it passes the end nothing can be written any more; rowCount is held at
    // `end`, which keeps the arithmetic far from overflow without changing
    // what gets written.
    uint64_t rowStart = 0;
    uint64_t rowCount = 0;
    while (rowStart < end) {
        int count = in.nextByte();
        int value = in.nextByte();
        if (value < 0)
            break;
        uint64_t at = rowStart + rowCount;
        if (count > 0) {
            uint64_t left = uint64_t(count);
            for (auto bytes = rows.stretch(at, left); !bytes.empty(); bytes = rows.stretch(at, left)) {
                std::memset(bytes.data(), value, bytes.size());
                at += bytes.size();
                left -= bytes.size();
            }
            rowCount = std::min(rowCount + uint64_t(count), end);
            continue;
        }
        if (value == kEndOfLine) {
            rowStart += rowWidth;
            rowCount = 0;
        } else if (value == kEndOfBitmap) {
            break;
        } else if (value == kDelta) {
            int right = in.nextByte();
            int up = in.nextByte();
            if (up < 0)
                break;
            rowCount = std::min(rowCount + uint64_t(right), end);
            rowStart += uint64_t(up) * rowWidth;
        } else {
            uint64_t length = uint64_t(value);
            uint64_t left = length;
            bool ended = false;
            for (auto bytes = rows.stretch(at, left); !bytes.empty(); bytes = rows.stretch(at, left)) {
                if (in.read(bytes.data(), bytes.size()) < bytes.size()) {
                    ended = true;
                    break;
                }
                at += bytes.size();
                left -= bytes.size();
            }
            // Bytes beyond the rows are still part of the data stream.
            uint64_t skipped = left + (length & 1);
            if (ended || in.skip(skipped) < skipped)
                break;
            rowCount = std::min(rowCount + length, end);
        }
    }
}

void decodeBmpRle4(BufferedByteReader& in, RleRows& rows, uint64_t stride)
{
    const uint64_t end = rows.size();
    // Columns are held below 2 * end, as rowCount is for RLE8.
    const uint64_t columnLimit = end * 2;
    uint64_t rowStart = 0;
    uint64_t x = 0;
    auto put = [&](uint64_t column, int nibble) {
        uint8_t* byte = rows.byteAt(rowStart + column / 2);
        if (!byte)
            return;
        if (column & 1)
            *byte = static_cast<uint8_t>((*byte & 0xF0) | nibble);
        else
            *byte = static_cast<uint8_t>(nibble << 4); // an even column starts the byte afresh
    };
    while (rowStart < end) {
        int count = in.nextByte();
        int value = in.nextByte();
        if (value < 0)
            break;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(x + uint64_t(i), (i & 1) ? (value & 0x0F) : (value >> 4));
            x = std::min(x + uint64_t(count), columnLimit);
            continue;
        }
        if (value == kEndOfLine) {
            x = 0;
            rowStart += stride;
        } else if (value == kEndOfBitmap) {
            break;
        } else if (value == kDelta) {
            int right = in.nextByte();
            int up = in.nextByte();
            if (up < 0)
                break;
            x = std::min(x + uint64_t(right), columnLimit);
            rowStart += uint64_t(up) * stride;
        } else {
            // `value` pixels packed two to a byte, the bytes padded to an even
            // count; placed nibble by nibble so an odd x re-pairs them.
            int pixels = value;
            int bytes = (pixels + 1) / 2;
            bool ended = false;
            for (int i = 0; i < bytes; ++i) {
                int packed = in.nextByte();
                if (packed < 0) {
                    ended = true;
                    break;
                }
                int first = 2 * i;
                put(x + uint64_t(first), packed >> 4);
                if (first + 1 < pixels)
                    put(x + uint64_t(first) + 1, packed & 0x0F);
            }
            if (ended || ((bytes & 1) && in.nextByte() < 0))
                break;
            x = std::min(x + uint64_t(pixels), columnLimit);
        }
    }
}

} // namespace pictorand
