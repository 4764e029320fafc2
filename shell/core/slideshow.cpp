#include "shell/core/slideshow.h"

#include "dispatch/page_load.h"
#include "platform/paths.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace pictorand {

int clampSlideshowDelay(long long seconds)
{
    return static_cast<int>(std::clamp<long long>(seconds, 1, kMaxSlideshowDelay));
}

SlideshowOptions readSlideshowOptions(const SettingsFile& settings)
{
    SlideshowOptions options;
    const int mode = settings.readInt(settings::SlideshowAdvancement);
    options.mode = mode == 2 ? Advancement::OnInput : mode == 3 ? Advancement::Random : Advancement::Automatic;
    options.delaySeconds = clampSlideshowDelay(settings.readInt(
        options.mode == Advancement::Random ? settings::SlideshowRandomDelay : settings::SlideshowAutoDelay));
    options.quiet = settings.readInt(settings::SlideshowSuppressErrors) != 0;
    options.showName = settings.readInt(settings::SlideshowShowFilename) != 0;
    options.loop = settings.readInt(settings::SlideshowLoop) != 0;
    options.resample = settings.readInt(settings::UseResample) != 0;
    return options;
}

std::optional<std::vector<std::string>> readSlideshowList(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<std::string> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        entries.push_back(line);
    }
    return entries;
}

bool writeSlideshowList(const std::string& path, const std::vector<std::string>& entries)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return false;
    ::close(fd);
    bool written;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string& entry : entries)
            out << entry << "\r\n";
        out.flush();
        written = static_cast<bool>(out);
    }
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string slideshowListSaveName(std::string chosen)
{
    if (chosen.find(".TXT") == std::string::npos && chosen.find(".txt") == std::string::npos)
        chosen += ".txt";
    return chosen;
}

SlideshowSequence::SlideshowSequence(int count, Advancement mode, bool loop, uint32_t seed)
    : m_count(count)
    , m_mode(mode)
    , m_loop(loop)
    , m_random(seed)
{
}

int SlideshowSequence::first()
{
    m_nextIndex = 1;
    if (m_mode == Advancement::Random)
        return randomNext();
    return 0;
}

std::optional<int> SlideshowSequence::next()
{
    if (m_count <= 0)
        return std::nullopt;
    if (m_mode == Advancement::Random)
        return randomNext();
    if (m_nextIndex < m_count)
        return m_nextIndex++;
    if (!m_loop)
        return std::nullopt;
    m_nextIndex = 1;
    return 0;
}

std::optional<int> SlideshowSequence::peek()
{
    if (m_count <= 0)
        return std::nullopt;
    if (m_mode == Advancement::Random) {
        fillBag();
        return m_bag.back();
    }
    if (m_nextIndex < m_count)
        return m_nextIndex;
    if (!m_loop)
        return std::nullopt;
    return 0;
}

void SlideshowSequence::fillBag()
{
    if (!m_bag.empty())
        return;
    for (int i = 0; i < m_count; ++i)
        m_bag.push_back(i);
    std::shuffle(m_bag.begin(), m_bag.end(), m_random);
    // The entry just shown does not come again at once.
    if (m_count > 1 && m_bag.back() == m_last)
        std::swap(m_bag.front(), m_bag.back());
}

int SlideshowSequence::randomNext()
{
    if (m_count <= 0)
        return 0;
    fillBag();
    m_last = m_bag.back();
    m_bag.pop_back();
    return m_last;
}

void SlideshowSchedule::changed(int64_t nowMs)
{
    m_deadline += m_periodMs;
    if (m_deadline <= nowMs)
        m_deadline = nowMs + m_periodMs;
}

SlideshowAction slideshowReaction(SlideshowInput input, bool paused, Advancement mode)
{
    if (input == SlideshowInput::DoubleClick || input == SlideshowInput::MiddleButton)
        return SlideshowAction::End;
    if (paused)
        return SlideshowAction::ResumeAndAdvance;
    if (input == SlideshowInput::PauseKey)
        return SlideshowAction::Pause;
    if (input == SlideshowInput::EscKey)
        return SlideshowAction::End;
    return mode == Advancement::OnInput ? SlideshowAction::Advance : SlideshowAction::End;
}

int slideshowNextSheet(Advancement mode, int sheetStart)
{
    // Input advances in mode 2, so only the first sheet is ever seen there.
    if (sheetStart <= 0 || mode == Advancement::OnInput)
        return 0;
    return nextOverviewStart(sheetStart);
}

bool slideNeedsReducedCopy(bool resample, int pictureWidth, int pictureHeight, const PlacedPicture& fit)
{
    return resample && (fit.width < pictureWidth || fit.height < pictureHeight);
}

} // namespace pictorand
