#include "codecs/metafile/player.h"

#include <iconv.h>

#include <cerrno>
#include <iterator>
#include <mutex>

namespace pictorand::metafile {

namespace {

// The code pages fonts' character sets stand for. Single-byte sets map one
// byte at a time; the East Asian ones need two bytes for most characters.
constexpr const char* kCodePages[] = {"CP1252", "CP932", "CP949", "CP936", "CP950", "CP1253", "CP1254",
                                      "CP1255", "CP1256", "CP1257", "CP1251", "CP874", "CP1250"};
constexpr size_t kCodePageCount = std::size(kCodePages);

size_t codePage(uint8_t charset)
{
    switch (charset) {
    case 128: return 1;  // SHIFTJIS_CHARSET
    case 129: return 2;  // HANGUL_CHARSET
    case 134: return 3;  // GB2312_CHARSET
    case 136: return 4;  // CHINESEBIG5_CHARSET
    case 161: return 5;  // GREEK_CHARSET
    case 162: return 6;  // TURKISH_CHARSET
    case 177: return 7;  // HEBREW_CHARSET
    case 178: return 8;  // ARABIC_CHARSET
    case 186: return 9;  // BALTIC_CHARSET
    case 204: return 10; // RUSSIAN_CHARSET
    case 222: return 11; // THAI_CHARSET
    case 238: return 12; // EASTEUROPE_CHARSET
    default: return 0;   // ANSI and the rest
    }
}

// Each code page is opened once and kept: iconv loads a module from disk for
// it, which a confined decoder can no longer do once its walls are up.
class Converter {
public:
    bool ok() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
    std::mutex& lock() { return m_lock; }
    void open(const char* from)
    {
        std::call_once(m_opened, [&] { m_handle = iconv_open("UTF-16LE", from); });
    }

    // Converts the character of `length` bytes at `in`; false when those
    // bytes are not (yet) one whole character. The caller holds lock().
    bool convert(const uint8_t* in, size_t length, std::u16string& out)
    {
        char source[4] = {};
        for (size_t i = 0; i < length; ++i)
            source[i] = static_cast<char>(in[i]);
        char target[16];
        char* inPointer = source;
        size_t inLeft = length;
        char* outPointer = target;
        size_t outLeft = sizeof target;
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        if (iconv(m_handle, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
            return false;
        const size_t produced = sizeof target - outLeft;
        for (size_t i = 0; i + 1 < produced; i += 2)
            out.push_back(static_cast<char16_t>(static_cast<uint8_t>(target[i]) | (static_cast<uint8_t>(target[i + 1]) << 8)));
        return true;
    }

private:
    std::once_flag m_opened;
    std::mutex m_lock;
    iconv_t m_handle = reinterpret_cast<iconv_t>(-1);
};

Converter& converterFor(size_t page)
{
    static Converter converters[kCodePageCount];
    converters[page].open(kCodePages[page]);
    return converters[page];
}

} // namespace

std::u16string decodeText(std::span<const uint8_t> bytes, uint8_t charset, std::vector<size_t>* byteOfUnit)
{
    std::u16string text;
    text.reserve(bytes.size());
    auto plain = [&](size_t i, char16_t unit) {
        text.push_back(unit);
        if (byteOfUnit)
            byteOfUnit->push_back(i);
    };
    // Symbol fonts keep their byte values: the font that stands in for
    // them decides the glyphs.
    if (charset == 2) {
        for (size_t i = 0; i < bytes.size(); ++i)
            plain(i, static_cast<char16_t>(bytes[i]));
        return text;
    }
    Converter& converter = converterFor(codePage(charset));
    const std::lock_guard hold(converter.lock());
    for (size_t i = 0; i < bytes.size();) {
        const size_t before = text.size();
        bool done = false;
        if (converter.ok()) {
            for (size_t length = 1; length <= 2 && i + length <= bytes.size() && !done; ++length)
                if (converter.convert(&bytes[i], length, text)) {
                    if (byteOfUnit)
                        for (size_t unit = before; unit < text.size(); ++unit)
                            byteOfUnit->push_back(i);
                    i += length;
                    done = true;
                }
        }
        if (!done) {
            // A byte the code page does not know: as Latin-1.
            plain(i, static_cast<char16_t>(bytes[i]));
            ++i;
        }
    }
    return text;
}

void openCodePages()
{
    for (size_t page = 0; page < kCodePageCount; ++page)
        converterFor(page);
}

} // namespace pictorand::metafile
