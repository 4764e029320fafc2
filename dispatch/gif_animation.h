#pragma once
// A multi-image GIF as the viewer plays it: the frame table read image by
// image, the canvas of the logical screen that the frames are composed on
// (position, transparency, disposal methods 0 to 3), and the schedule that
// says which frame is due, against absolute deadlines so that a late timer
// never pushes the rest of the animation back. The animations of WebP, APNG,
// AVIF and JPEG XL play on the same canvas and schedule: their frames come
// composed, each the whole canvas, with delays of their own.

#include "core/codec_registry.h"
#include "core/frame_info.h"
#include "core/image_block.h"
#include "core/result.h"
#include "platform/user_interface.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictorand {

struct AnimationFrame {
    // A GIF image: 1, 4 or 8 bits, as the reader gave it. A composed frame:
    // the whole canvas at 24 bits.
    ImageBlock block;
    GifFrameInfo info; // a GIF image's place, disposal and delay
    // A composed frame's delay as its file says (ComposedFrame::delayMs);
    // nothing for a GIF image.
    std::optional<int> ownDelayMs;
};

// Milliseconds a GIF frame stays: its delay in hundredths x 10, at least 70,
// at most 1000.
int frameDelayMs(int hundredths);
// The shortest time a composed frame stays, whatever its file says.
inline constexpr int kShortestOwnDelayMs = 10;
// Milliseconds the frame stays: a GIF image's by frameDelayMs, a composed
// frame's own, at least kShortestOwnDelayMs.
int shownDelayMs(const AnimationFrame& frame);

// A composed animation's frames as the player takes them.
std::vector<AnimationFrame> framesOf(ComposedAnimation animation);

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
// delays of frames 0 .. i-1, round and round, or `plays` times (0: for
// ever), after which the last frame stays.
class FrameSchedule {
public:
    FrameSchedule(std::vector<int> delaysMs, int64_t startMs, int plays = 0);
    // The frame due at `nowMs`, past every deadline that has passed.
    int frameAt(int64_t nowMs);
    // When the next frame is due.
    int64_t nextDeadline() const { return m_deadline; }
    // The last play has ended: no frame is due any more.
    bool finished() const { return m_finished; }

private:
    std::vector<int> m_delays;
    int64_t m_loopMs = 0;
    int m_frame = 0;
    int64_t m_deadline = 0;
    int m_plays = 0;
    int64_t m_played = 0; // plays ended
    bool m_finished = false;
};

// Writes each frame as a BMP file named by the extraction pattern into
// `directory` (created when missing) through the safe save path; a failed
// write is reported and ends the run. The number of files written.
int extractFrames(const std::vector<AnimationFrame>& frames, const std::string& directory,
                  const std::string& sourcePath, UserInterface& ui);

} // namespace pictorand
