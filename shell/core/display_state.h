#pragma once
// How the viewer shows the current picture, beside the record of what was
// loaded (CurrentImage): zoom, the animation's frames, the drawing of a
// metafile, whether sound or video plays. A load starts it over with the
// record.

#include "codecs/metafile/drawing.h"
#include "dispatch/gif_animation.h"

#include <memory>

namespace pictorand {

struct DisplayState {
    int zoom = 100;
    // An animation (GIF, or WebP, APNG, AVIF, JPEG XL frames composed): the
    // decoded frames (at most kMaxFrames) on their canvas.
    std::shared_ptr<GifCanvas> animation;
    bool animationRunning = false;
    // A metafile: painted from its commands at every zoom while the block
    // holds a rendering of it.
    std::shared_ptr<const metafile::Drawing> drawing;
    bool mediaPlaying = false;

    void reset() { *this = DisplayState(); }
};

} // namespace pictorand
