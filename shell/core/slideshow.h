#pragma once
// The slideshow's rules without a window: its settings, its list files, the
// order of the entries, the deadlines of the changes and what each input
// does.

#include "platform/settings_file.h"
#include "shell/core/display_geometry.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kSlideshowListFile = "Pictorand_Slideshow.lst";
inline constexpr const char* kCantOpenListFile = "Can't open file !";
inline constexpr const char* kCantLoadSlide = "Error! Can't load";
// A delay above this many seconds would overflow the milliseconds of a timer.
inline constexpr int kMaxSlideshowDelay = 2'000'000;

enum class Advancement { Automatic = 1, OnInput = 2, Random = 3 };

struct SlideshowOptions {
    Advancement mode = Advancement::Automatic;
    int delaySeconds = 5; // 1 to kMaxSlideshowDelay
    bool quiet = true;
    bool showName = true;
    bool loop = true;
    bool resample = false; // UseResample: big pictures are shrunk smoothly
};

// Zero, negative and non-numeric delays give 1 second.
int clampSlideshowDelay(long long seconds);
SlideshowOptions readSlideshowOptions(const SettingsFile& settings);

// One path a line, its line end (LF or CR LF) removed; a last line without
// one is taken whole; empty lines are empty entries. Nothing when the file
// cannot be opened.
std::optional<std::vector<std::string>> readSlideshowList(const std::string& path);
// Every entry followed by CR LF. The file is replaced only when the whole
// list was written: a failed write leaves what was there.
bool writeSlideshowList(const std::string& path, const std::vector<std::string>& entries);
// The name a list is saved under: ".txt" appended unless the name contains
// ".TXT" or ".txt".
std::string slideshowListSaveName(std::string chosen);

// The order of the entries. In random order every entry is shown once
// before any repeats, and a round does not start with the entry that ended
// the last one.
class SlideshowSequence {
public:
    SlideshowSequence(int count, Advancement mode, bool loop, uint32_t seed);
    int first();
    // The entry to show next; nothing when the show stays on the last one.
    std::optional<int> next();
    // What next() will give, without moving on (to read it ahead).
    std::optional<int> peek();

private:
    int randomNext();
    void fillBag();

    int m_count;
    Advancement m_mode;
    bool m_loop;
    int m_nextIndex = 1;
    std::mt19937 m_random;
    std::vector<int> m_bag; // the rest of this round, taken from the back
    int m_last = -1;
};

// Deadlines of the changes against an absolute clock: each is the last one
// plus the delay, so time spent loading never adds up. A show that fell more
// than a whole delay behind (a slow load, a pause) starts counting afresh.
class SlideshowSchedule {
public:
    explicit SlideshowSchedule(int delaySeconds) : m_periodMs(static_cast<int64_t>(delaySeconds) * 1000) {}
    void start(int64_t nowMs) { m_deadline = nowMs + m_periodMs; }
    int64_t deadline() const { return m_deadline; }
    // The change of the current deadline was made at `nowMs`.
    void changed(int64_t nowMs);
    int64_t period() const { return m_periodMs; }

private:
    int64_t m_periodMs;
    int64_t m_deadline = 0;
};

enum class SlideshowInput { PauseKey, EscKey, OtherKey, Button, DoubleClick, MiddleButton };
enum class SlideshowAction { Pause, End, Advance, ResumeAndAdvance };
SlideshowAction slideshowReaction(SlideshowInput input, bool paused, Advancement mode);

// What a tick does to a Photo CD overview on screen (`sheetStart` is the
// first picture of its sheet, 0 for any other slide): in the timed modes
// the pack pages through its sheets (pictures 1, 26, 51 and 76) before the
// show moves on. The first picture of the sheet to show, or 0 to move on.
int slideshowNextSheet(Advancement mode, int sheetStart);

// With UseResample a picture larger than its full-screen fit either way is
// shown as a resampled copy instead of stretched.
bool slideNeedsReducedCopy(bool resample, int pictureWidth, int pictureHeight, const PlacedPicture& fit);

} // namespace pictorand
