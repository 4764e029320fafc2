// The whole road of a file through the load: the signature test, whichever
// reader the registry holds for it, the load normalisation and, on a
// 256-colour display, the quantisation; for a batch and for the viewer.

#include "dispatch/load.h"
#include "fuzz/fuzz_support.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // No settings file of the user's is read or written.
    setenv("PICTORAND_WINDIR", "/nonexistent-pictorand-fuzz", 1);
    pictorand::fuzzing::MemoryFile file(data, size);
    if (file.path().empty())
        return 0;
    pictorand::LoadRequest request{pictorand::LoadSource{file.path()}, pictorand::LoadPurpose::Batch, {}};
    pictorand::LoadOutcome batch = pictorand::load(request);
    // A few bytes may claim a legal but huge picture; quantising hundreds of
    // megabytes proves nothing here and only stalls the run.
    if (batch.block && static_cast<int64_t>(batch.block.width()) * batch.block.height() > 1 << 20)
        return 0;
    request.purpose = pictorand::LoadPurpose::Slide;
    request.options.paletteDisplay = size > 10 && (data[size - 1] & 1) != 0;
    pictorand::LoadOutcome shown = pictorand::load(request);
    if (shown.block) {
        const int bits = shown.block.bitCount();
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
            std::abort(); // the display never sees another depth
    }
    return 0;
}
