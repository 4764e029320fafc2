// The whole road of a file through the load dispatchers: the signature test,
// whichever reader the registry holds for it, the load normalisation and, on
// a 256-colour display, the quantisation.

#include "dispatch/load_dispatch.h"
#include "fuzz/fuzz_support.h"

#include <cstdint>
#include <cstdlib>

namespace {

class SilentHost : public pictorand::DisplayHost {
public:
    explicit SilentHost(bool palette) : m_palette(palette) {}
    pictorand::CurrentImage& currentImage() override { return m_current; }
    pictorand::UserInterface& userInterface() override { return m_ui; }
    void resetViewerState() override {}
    void resetWindow() override {}
    bool fullScreenWindowExists() const override { return false; }
    bool slideshowWindowExists() const override { return false; }
    bool paletteDisplay() const override { return m_palette; }
    bool loadGreyscale() const override { return false; }
    int photoCdLoadingSize() const override { return 0; }
    std::string directoryListDirectory() const override { return {}; }
    bool renameExtensionEnabled() const override { return false; }
    bool workingDirectoryChanged() const override { return false; }

private:
    pictorand::CurrentImage m_current;
    pictorand::SilentUserInterface m_ui;
    bool m_palette;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // No settings file of the user's is read or written.
    setenv("PICTORAND_WINDIR", "/nonexistent-pictorand-fuzz", 1);
    pictorand::fuzzing::MemoryFile file(data, size);
    if (file.path().empty())
        return 0;
    pictorand::ImageBlock batch = pictorand::LoadForBatch(file.path());
    // A few bytes may claim a legal but huge picture; quantising hundreds of
    // megabytes proves nothing here and only stalls the run.
    if (batch && static_cast<int64_t>(batch.width()) * batch.height() > 1 << 20)
        return 0;
    SilentHost host(size > 10 && (data[size - 1] & 1) != 0);
    std::string path = file.path();
    pictorand::ImageBlock shown = pictorand::LoadForDisplay(host, path, true, true, 0);
    if (shown) {
        const int bits = shown.bitCount();
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
            std::abort(); // the display never sees another depth
    }
    return 0;
}
