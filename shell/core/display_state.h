#pragma once
// How the viewer shows the current picture, beside the record of what was
// loaded (CurrentImage): zoom, the GIF animation's frames, the media window.
// A load starts it over with the record.

#include "dispatch/gif_animation.h"

#include <memory>
#include <vector>

namespace pictorand {

// The viewer's timer that steps the GIF animation.
inline constexpr int kAnimationTimer = 1997;

struct DisplayState {
    int zoom = 100;
    // Animated GIF: the decoded frames (at most kMaxFrames) on their canvas.
    std::shared_ptr<GifCanvas> animation;
    bool animationRunning = false;
    std::shared_ptr<void> metafile; // the renderer's object, opaque here
    std::shared_ptr<void> mediaWindow;

    void reset() { *this = DisplayState(); }
};

} // namespace pictorand
