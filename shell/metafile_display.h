#pragma once
// Metafiles in the viewer: read and played once into a drawing, shown at
// the frame's size (fitted to the desktop when larger), and a rendering of
// it as the current block, so saving, printing and the image operations
// work on it as on any picture. The viewer paints the drawing itself while
// the block is the rendering, so zoom and full screen stay sharp.

#include <string>

namespace pictorand {

class MainWindow;

class MetafileDisplay {
public:
    explicit MetafileDisplay(MainWindow& main) : m_main(main) {}

    // PlayOnly keeps the drawing alone for a painter with its own fit: no
    // rendering into a block, no window sizing.
    enum Mode { Capture, PlayOnly };
    // DisplayHost::showMetafile.
    bool show(const std::string& path, std::string& message, std::string& compression, Mode mode);

private:
    MainWindow& m_main;
};

} // namespace pictorand
