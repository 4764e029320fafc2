#pragma once
// A multi-image GIF as the viewer plays it: the frame table read image by
// image, the canvas of the logical screen that the frames are composed on
// (position, transparency, disposal methods 0 to 3), and the schedule that
// says which frame is due, against absolute deadlines so that a late timer
// never pushes the rest of the animation back.

#include "core/codec_registry.h"
#include "core/frame_info.h"
#include "core/image_block.h"
#include "core/result.h"
#include "platform/user_interface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictorand {

struct AnimationFrame {
    ImageBlock block; // 1, 4 or 8 bits, as the reader gave it
    GifFrameInfo info;
};

// Milliseconds a frame stays: its delay in hundredths x 10, at least 70, at
// most 1000.
int frameDelayMs(int hundredths);

// Reads every listed image. A frame that fails to read ends the table, so a
// damaged tail leaves the frames before it; fails only when the first image
// cannot be read. Frames stop before their blocks pass `byteLimit` in all.
Result<std::vector<AnimationFrame>> readAnimationFrames(const std::string& path, const ImageList& images,
                                                        const CodecRegistry& registry,
                                                        uint64_t byteLimit = uint64_t(1) << 30);

class GifCanvas {
public:
    // The logical screen is the largest left + width and top + height over
    // the frames. A null canvas() when it cannot be allocated.
    explicit GifCanvas(std::vector<AnimationFrame> frames);

    int frameCount() const { return static_cast<int>(m_frames.size()); }
    const std::vector<AnimationFrame>& frames() const { return m_frames; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // 24 bits: what frame current() shows.
    const ImageBlock& canvas() const { return m_canvas; }
    int current() const { return m_current; }
    // Composes up to frame `index`, from the current frame on, or from the
    // start when `index` lies before it.
    void show(int index);

private:
    void clear();
    void draw(const AnimationFrame& frame);
    void fill(const AnimationFrame& frame, uint8_t red, uint8_t green, uint8_t blue);

    std::vector<AnimationFrame> m_frames;
    int m_width = 0;
    int m_height = 0;
    ImageBlock m_canvas;
    ImageBlock m_saved; // before a frame whose disposal restores the previous picture
    int m_current = -1;
};

// Which frame is due. Frame 0 shows at start; frame i at start plus the
// delays of frames 0 .. i-1, round and round.
class FrameSchedule {
public:
    FrameSchedule(std::vector<int> delaysMs, int64_t startMs);
    // The frame due at `nowMs`, past every deadline that has passed.
    int frameAt(int64_t nowMs);
    // When the next frame is due.
    int64_t nextDeadline() const { return m_deadline; }

private:
    std::vector<int> m_delays;
    int64_t m_loopMs = 0;
    int m_frame = 0;
    int64_t m_deadline = 0;
};

// Writes each frame as a BMP file named by the extraction pattern into
// `directory` (created when missing) through the safe save path; a failed
// write is reported and ends the run. The number of files written.
int extractFrames(const std::vector<AnimationFrame>& frames, const std::string& directory,
                  const std::string& sourcePath, UserInterface& ui);

} // namespace pictorand
