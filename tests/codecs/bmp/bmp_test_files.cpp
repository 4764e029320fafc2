#include "tests/codecs/bmp/bmp_test_files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pictorand::testing {

BmpReadResult readBothWays(const std::vector<uint8_t>& bytes, const std::string& compressionBefore)
{
    ScratchDir dir;
    std::string path = dir.file("input.bmp");
    writeFile(path, bytes);
    // A reader without a compression text leaves the caller's as it was.
    auto asRead = [&](Result<DecodedImage> read) {
        BmpReadResult result;
        result.compression = compressionBefore;
        if (!read) {
            result.message = read.failure().detail;
            return result;
        }
        result.block = std::move(read->block);
        if (!read->compression.empty())
            result.compression = read->compression;
        return result;
    };
    BmpReadResult fromFile = asRead(readBmp(path));
    BmpReadResult fromMemory = asRead(readBmpFromMemory(bytes));

    EXPECT_EQ(fromFile.compression, fromMemory.compression);
    EXPECT_EQ(bool(fromFile.block), bool(fromMemory.block));
    if (fromFile.block && fromMemory.block) {
        EXPECT_EQ(fromFile.block.size(), fromMemory.block.size());
        EXPECT_TRUE(fromFile.block.size() == fromMemory.block.size()
                    && std::memcmp(fromFile.block.data(), fromMemory.block.data(), fromFile.block.size()) == 0)
            << "the file and memory readers decode differently";
    } else {
        EXPECT_EQ(fromFile.message, fromMemory.message);
    }
    return fromFile;
}

std::vector<uint8_t> storedRows(const ImageBlock& block)
{
    if (!block)
        return {};
    const uint8_t* rows = block.pixels();
    return std::vector<uint8_t>(rows, rows + block.rowSize() * static_cast<uint64_t>(block.height()));
}

} // namespace pictorand::testing
