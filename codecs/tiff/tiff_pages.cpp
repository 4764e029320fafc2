#include "codecs/tiff/tiff.h"

#include "codecs/common/file_reader.h"
#include "core/byte_order.h"

namespace pictorand {

namespace {

class DirectoryChainReader {
public:
    DirectoryChainReader(std::FILE* file, bool bigEndian)
        : m_file(file)
        , m_bigEndian(bigEndian)
    {
    }
    bool seek(long offset) { return offset >= 0 && std::fseek(m_file, offset, SEEK_SET) == 0; }
    bool skip(long count) { return std::fseek(m_file, count, SEEK_CUR) == 0; }
    bool u16(uint16_t& value)
    {
        uint8_t bytes[2];
        if (std::fread(bytes, 1, 2, m_file) != 2)
            return false;
        value = m_bigEndian ? loadBE16(bytes) : loadLE16(bytes);
        return true;
    }
    bool u32(uint32_t& value)
    {
        uint8_t bytes[4];
        if (std::fread(bytes, 1, 4, m_file) != 4)
            return false;
        value = m_bigEndian ? loadBE32(bytes) : loadLE32(bytes);
        return true;
    }

private:
    std::FILE* m_file;
    bool m_bigEndian;
};

constexpr uint16_t kBigTiffVersion = 43;

} // namespace

int countTiffPages(const std::string& path, uint32_t* offsets, int capacity)
{
    OpenFile file(path, "rb");
    if (!file)
        return -1;
    if (capacity <= 0 || !offsets)
        return 0;
    uint8_t order[2] = {};
    if (std::fread(order, 1, 2, file.get()) != 2)
        return 0;
    DirectoryChainReader reader(file.get(), order[0] == 'M' && order[1] == 'M');
    uint16_t version = 0;
    uint32_t offset = 0;
    if (!reader.u16(version))
        return 0;
    if (version == kBigTiffVersion) {
        // 64-bit offsets do not fit the page table; such a file is shown as
        // its first page (offset 0 means the first directory to the reader).
        offsets[0] = 0;
        return 1;
    }
    if (!reader.u32(offset))
        return 0;
    offsets[0] = offset;
    if (offset == 0)
        return 0;
    int count = 0;
    while (count < capacity) {
        uint16_t entries = 0;
        // A directory that cannot be reached or read ends the chain; it is
        // not counted, since the reader could not show it.
        if (!reader.seek(static_cast<long>(offset)) || !reader.u16(entries) || !reader.skip(long(entries) * 12))
            break;
        ++count;
        uint32_t next = 0;
        if (!reader.u32(next))
            break;
        if (next == 0)
            break;
        if (count < capacity)
            offsets[count] = next;
        offset = next;
    }
    // A chain as long as the table is taken for a cycle (or a file no one
    // could page through): one page.
    if (count >= capacity)
        count = 1;
    return count;
}

} // namespace pictorand
