// The PBM, PGM and PPM readers through a file and through memory; the first
// input byte picks the reader. Both ways must agree.

#include "codecs/pnm/pnm.h"
#include "fuzz/fuzz_support.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pictorand;
    if (size == 0)
        return 0;
    const PortableKind kinds[] = {PortableKind::Bitmap, PortableKind::Greymap, PortableKind::Pixmap};
    PortableKind kind = kinds[data[0] % 3];
    ++data;
    --size;
    fuzzing::MemoryFile file(data, size);
    Result<DecodedImage> fromFile = readPortable(kind, file.path());
    Result<DecodedImage> fromMemory = decodePortable(kind, std::span(data, size));
    fuzzing::requireSameResult(fromFile, fromMemory);
    fuzzing::showFindings(decodePortable(kind, std::span(data, size), true));
    return 0;
}
