#include "dispatch/gif_animation.h"

#include "dispatch/load_dispatch.h"
#include "dispatch/save_as.h"
#include "dispatch/save_dispatch.h"
#include "ops/color_table.h"
#include "platform/paths.h"

#include <algorithm>
#include <cstring>

namespace pictorand {

namespace {

// The graphic control extension of image i: the last one recorded between
// the image before it and the image itself. A control block belongs to the
// next image only, so one that came before an earlier image is not reused.
uint32_t controlOffsetFor(const ImageList& images, size_t i)
{
    const uint32_t image = images.imageOffsets[i];
    const uint32_t previous = i > 0 ? images.imageOffsets[i - 1] : 0;
    uint32_t found = 0;
    for (uint32_t control : images.controlOffsets)
        if (control > previous && control < image)
            found = control;
    return found;
}

uint8_t pixelIndex(const uint8_t* row, int x, int bits)
{
    switch (bits) {
    case 1:
        return static_cast<uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4:
        return static_cast<uint8_t>((x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4);
    default:
        return row[x];
    }
}

} // namespace

int frameDelayMs(int hundredths)
{
    return std::clamp(hundredths * 10, 70, 1000);
}

int shownDelayMs(const AnimationFrame& frame)
{
    return frame.ownDelayMs ? std::max(*frame.ownDelayMs, kShortestOwnDelayMs) : frameDelayMs(frame.info.delay);
}

std::vector<AnimationFrame> framesOf(ComposedAnimation animation)
{
    std::vector<AnimationFrame> frames;
    frames.reserve(animation.frames.size());
    for (ComposedFrame& frame : animation.frames)
        frames.push_back({std::move(frame.block), GifFrameInfo{}, frame.delayMs});
    return frames;
}

Result<std::vector<AnimationFrame>> readAnimationFrames(const std::string& path, const ImageList& images,
                                                        const CodecRegistry& registry, uint64_t byteLimit)
{
    std::vector<AnimationFrame> frames;
    uint64_t bytes = 0;
    const size_t count = std::min({static_cast<size_t>(std::max(images.count, 0)), images.imageOffsets.size(),
                                   static_cast<size_t>(kMaxFrames)});
    for (size_t i = 0; i < count; ++i) {
        ReadRequest request;
        request.path = path;
        request.options = GifReadOptions{controlOffsetFor(images, i), images.imageOffsets[i]};
        Result<DecodedImage> read = callReader(registry, ImageFormat::Gif, request);
        if (!read || !read->block) {
            if (frames.empty())
                return read ? Result<std::vector<AnimationFrame>>(Failure{Reason::CorruptData, kDecodeError})
                            : Result<std::vector<AnimationFrame>>(read.failure());
            break;
        }
        bytes += read->block.size();
        if (bytes > byteLimit && !frames.empty())
            break;
        frames.push_back({std::move(read->block), read->gifFrame, std::nullopt});
    }
    if (frames.empty())
        return Failure{Reason::CorruptData, kDecodeError};
    return frames;
}

GifCanvas::GifCanvas(std::vector<AnimationFrame> frames) : m_frames(std::move(frames))
{
    for (const AnimationFrame& frame : m_frames) {
        m_width = std::max(m_width, frame.info.left + frame.block.width());
        m_height = std::max(m_height, frame.info.top + frame.block.height());
    }
    if (!m_frames.empty() && m_width > 0 && m_height > 0)
        m_canvas = ImageBlock::create(m_width, m_height, 24, 0);
}

void GifCanvas::fill(const AnimationFrame& frame, uint8_t red, uint8_t green, uint8_t blue)
{
    const int right = std::min(m_width, frame.info.left + frame.block.width());
    const int bottom = std::min(m_height, frame.info.top + frame.block.height());
    for (int y = frame.info.top; y < bottom; ++y) {
        uint8_t* pixel = m_canvas.topRow(y) + 3 * frame.info.left;
        for (int x = frame.info.left; x < right; ++x, pixel += 3) {
            pixel[0] = blue;
            pixel[1] = green;
            pixel[2] = red;
        }
    }
}

void GifCanvas::clear()
{
    const GifFrameInfo& first = m_frames.front().info;
    for (int y = 0; y < m_height; ++y) {
        uint8_t* pixel = m_canvas.topRow(y);
        for (int x = 0; x < m_width; ++x, pixel += 3) {
            pixel[0] = first.backgroundBlue;
            pixel[1] = first.backgroundGreen;
            pixel[2] = first.backgroundRed;
        }
    }
    m_saved = ImageBlock();
    m_current = -1;
}

void GifCanvas::draw(const AnimationFrame& frame)
{
    const ImageBlock& block = frame.block;
    const int bits = block.bitCount();
    const uint32_t colours = bits <= 8 ? colorCount(block) : 0;
    // An index beyond the frame's table matches no pixel the table colours:
    // such a transparency is ignored rather than looked up past the table.
    const bool transparent = frame.info.transparentFlag && frame.info.transparentIndex < colours;
    const ColorEntry* table = block.colorTable();
    const int right = std::min(m_width, frame.info.left + block.width());
    const int bottom = std::min(m_height, frame.info.top + block.height());
    for (int y = frame.info.top; y < bottom; ++y) {
        const uint8_t* source = block.topRow(y - frame.info.top);
        uint8_t* pixel = m_canvas.topRow(y) + 3 * frame.info.left;
        for (int x = 0; x < right - frame.info.left; ++x, pixel += 3) {
            if (bits == 24) {
                std::memcpy(pixel, source + 3 * x, 3);
                continue;
            }
            const uint8_t index = pixelIndex(source, x, bits);
            if (transparent && index == frame.info.transparentIndex)
                continue;
            const ColorEntry colour = index < colours ? table[index] : ColorEntry{};
            pixel[0] = colour.blue;
            pixel[1] = colour.green;
            pixel[2] = colour.red;
        }
    }
}

void GifCanvas::show(int index)
{
    if (!m_canvas || index < 0 || index >= frameCount())
        return;
    if (index < m_current || m_current < 0)
        clear();
    while (m_current < index) {
        if (m_current >= 0) {
            // The previous frame leaves as its disposal method says.
            const AnimationFrame& leaving = m_frames[static_cast<size_t>(m_current)];
            if (leaving.info.disposalMethod == 2) {
                const GifFrameInfo& next = m_frames[static_cast<size_t>(m_current + 1)].info;
                fill(leaving, next.backgroundRed, next.backgroundGreen, next.backgroundBlue);
            } else if (leaving.info.disposalMethod == 3 && m_saved) {
                std::memcpy(m_canvas.pixels(), m_saved.pixels(), m_canvas.size() - m_canvas.pixelOffset());
            }
        }
        ++m_current;
        const AnimationFrame& frame = m_frames[static_cast<size_t>(m_current)];
        if (frame.info.disposalMethod == 3) {
            if (!m_saved)
                m_saved = ImageBlock::create(m_width, m_height, 24, 0);
            if (m_saved)
                std::memcpy(m_saved.pixels(), m_canvas.pixels(), m_canvas.size() - m_canvas.pixelOffset());
        }
        draw(frame);
    }
}

FrameSchedule::FrameSchedule(std::vector<int> delaysMs, int64_t startMs, int plays)
    : m_delays(std::move(delaysMs)), m_plays(std::max(plays, 0))
{
    if (m_delays.empty())
        m_delays.push_back(frameDelayMs(0));
    for (int delay : m_delays)
        m_loopMs += delay;
    m_deadline = startMs + m_delays.front();
}

int FrameSchedule::frameAt(int64_t nowMs)
{
    const int last = static_cast<int>(m_delays.size()) - 1;
    // Whole loops missed (a suspended machine) are skipped at once; each
    // passes the end of the last frame once.
    if (!m_finished && nowMs - m_deadline > m_loopMs) {
        const int64_t loops = (nowMs - m_deadline) / m_loopMs;
        m_deadline += loops * m_loopMs;
        m_played += loops;
        m_finished = m_plays > 0 && m_played >= m_plays;
    }
    while (!m_finished && nowMs >= m_deadline) {
        if (m_frame == last && m_plays > 0 && ++m_played >= m_plays) {
            m_finished = true;
            break;
        }
        m_frame = m_frame == last ? 0 : m_frame + 1;
        m_deadline += m_delays[static_cast<size_t>(m_frame)];
    }
    if (m_finished)
        m_frame = last;
    return m_frame;
}

int extractFrames(const std::vector<AnimationFrame>& frames, const std::string& directory,
                  const std::string& sourcePath, UserInterface& ui)
{
    makeDirectories(directory);
    int written = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::string target = extractedFileName(directory, sourcePath, static_cast<int>(i));
        if (!SaveOwnFile(frames[i].block, ui, target))
            break;
        ++written;
    }
    return written;
}

} // namespace pictorand
