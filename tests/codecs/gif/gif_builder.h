#pragma once
// Hand-built GIF files for the tests, and two small LZW encoders written
// independently of the codec's: an "uncompressed" one that sends every index
// as a root code (clearing before the width would grow), and a plain
// dictionary encoder that can either clear or keep coding when the table is
// full.

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pictorand::testing {

// Packs codes least significant bit first into data sub-blocks of at most
// `subBlockSize` bytes, then a zero-length sub-block unless told otherwise.
class CodePacker {
public:
    void put(uint32_t code, int width)
    {
        m_accumulator |= static_cast<uint64_t>(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.push_back(static_cast<uint8_t>(m_accumulator));
            m_accumulator >>= 8;
            m_bits -= 8;
        }
    }
    std::vector<uint8_t> subBlocks(size_t subBlockSize = 255, bool terminate = true)
    {
        if (m_bits > 0) {
            m_bytes.push_back(static_cast<uint8_t>(m_accumulator));
            m_bits = 0;
        }
        std::vector<uint8_t> out;
        for (size_t i = 0; i < m_bytes.size(); i += subBlockSize) {
            size_t n = std::min(subBlockSize, m_bytes.size() - i);
            out.push_back(static_cast<uint8_t>(n));
            out.insert(out.end(), m_bytes.begin() + static_cast<long>(i), m_bytes.begin() + static_cast<long>(i + n));
        }
        if (terminate)
            out.push_back(0);
        return out;
    }

private:
    std::vector<uint8_t> m_bytes;
    uint64_t m_accumulator = 0;
    int m_bits = 0;
};

// Every index as a root code at s + 1 bits, with a clear code often enough
// that the decoder's table never widens the codes.
inline CodePacker uncompressedCodes(const std::vector<uint8_t>& indices, int s, bool endCode = true)
{
    CodePacker packer;
    const uint32_t clear = 1u << s;
    const int width = s + 1;
    const size_t run = clear - 2;
    for (size_t i = 0; i < indices.size(); ++i) {
        if (i % run == 0)
            packer.put(clear, width);
        packer.put(indices[i], width);
    }
    if (endCode)
        packer.put(clear + 1, width);
    return packer;
}

// A plain greedy LZW coder. With clearWhenFull false it keeps coding with
// 12-bit codes and no new entries once 4096 are taken (a "deferred clear").
inline CodePacker dictionaryCodes(const std::vector<uint8_t>& indices, int s, bool clearWhenFull)
{
    CodePacker packer;
    const uint32_t clear = 1u << s;
    std::map<std::pair<uint32_t, uint8_t>, uint32_t> table;
    uint32_t next = clear + 2;
    int width = s + 1;
    packer.put(clear, width);
    if (indices.empty()) {
        packer.put(clear + 1, width);
        return packer;
    }
    uint32_t current = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        auto found = table.find({current, indices[i]});
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        packer.put(current, width);
        if (next < 4096) {
            table[{current, indices[i]}] = next++;
            // The decoder, one entry behind, widens as it stores the entry
            // that makes `next` reach 2^width.
            if (next - 1 == (1u << width) && width < 12)
                ++width;
        } else if (clearWhenFull) {
            packer.put(clear, width);
            table.clear();
            next = clear + 2;
            width = s + 1;
        }
        current = indices[i];
    }
    packer.put(current, width);
    packer.put(clear + 1, width);
    return packer;
}

class GifBuilder {
public:
    GifBuilder& header(uint16_t width, uint16_t height, uint8_t packed, uint8_t background = 0,
                       const char* signature = "GIF89a")
    {
        append(std::string(signature));
        u16(width);
        u16(height);
        bytes.push_back(packed);
        bytes.push_back(background);
        bytes.push_back(0);
        return *this;
    }
    GifBuilder& colors(const std::vector<std::vector<uint8_t>>& entries)
    {
        for (const auto& entry : entries)
            bytes.insert(bytes.end(), entry.begin(), entry.end());
        return *this;
    }
    GifBuilder& raw(std::initializer_list<uint8_t> more)
    {
        bytes.insert(bytes.end(), more);
        return *this;
    }
    GifBuilder& raw(const std::vector<uint8_t>& more)
    {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    GifBuilder& graphicControl(uint8_t packed, uint16_t delay, uint8_t transparentIndex)
    {
        raw({0x21, 0xF9, 0x04, packed});
        u16(delay);
        return raw({transparentIndex, 0x00});
    }
    GifBuilder& comment(const std::string& text)
    {
        raw({0x21, 0xFE, static_cast<uint8_t>(text.size())});
        append(text);
        return raw({0x00});
    }
    GifBuilder& descriptor(uint16_t left, uint16_t top, uint16_t width, uint16_t height, uint8_t packed)
    {
        bytes.push_back(0x2C);
        u16(left);
        u16(top);
        u16(width);
        u16(height);
        bytes.push_back(packed);
        return *this;
    }
    // Minimum code size byte and the data of uncompressed codes.
    GifBuilder& uncompressedData(const std::vector<uint8_t>& indices, int s)
    {
        bytes.push_back(static_cast<uint8_t>(s));
        return raw(uncompressedCodes(indices, s).subBlocks());
    }
    GifBuilder& trailer() { return raw({0x3B}); }

    std::vector<uint8_t> bytes;

private:
    void u16(uint16_t v)
    {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void append(const std::string& text) { bytes.insert(bytes.end(), text.begin(), text.end()); }
};

} // namespace pictorand::testing
