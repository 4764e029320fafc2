#include "codecs/metafile/player.h"

#include <iconv.h>

#include <cerrno>

namespace pictorand::metafile {

namespace {

// The code page a font's character set stands for. Single-byte sets map one
// byte at a time; the East Asian ones need two bytes for most characters.
const char* codePage(uint8_t charset)
{
    switch (charset) {
    case 128:
        return "CP932"; // SHIFTJIS_CHARSET
    case 129:
        return "CP949"; // HANGUL_CHARSET
    case 134:
        return "CP936"; // GB2312_CHARSET
    case 136:
        return "CP950"; // CHINESEBIG5_CHARSET
    case 161:
        return "CP1253"; // GREEK_CHARSET
    case 162:
        return "CP1254"; // TURKISH_CHARSET
    case 177:
        return "CP1255"; // HEBREW_CHARSET
    case 178:
        return "CP1256"; // ARABIC_CHARSET
    case 186:
        return "CP1257"; // BALTIC_CHARSET
    case 204:
        return "CP1251"; // RUSSIAN_CHARSET
    case 222:
        return "CP874"; // THAI_CHARSET
    case 238:
        return "CP1250"; // EASTEUROPE_CHARSET
    default:
        return "CP1252"; // ANSI and the rest
    }
}

class Converter {
public:
    explicit Converter(const char* from) : m_handle(iconv_open("UTF-16LE", from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(m_handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return m_handle != reinterpret_cast<iconv_t>(-1); }

    // Converts the character of `length` bytes at `in`; false when those
    // bytes are not (yet) one whole character.
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
    iconv_t m_handle;
};

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
    Converter converter(codePage(charset));
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

} // namespace pictorand::metafile
