#pragma once
// The viewer's command line: a file name and the start-up switches, in the
// old slash spelling (/fs, /bf, /one as whole arguments; /slideshow=,
// /pos=(x,y), /title= as prefixes) and in the GNU spelling (--fs, --bf,
// --one, --slideshow=, --pos=X,Y, --title=, --help, --version).
//
// A switch is only ever a whole argument or the start of one. Searching the
// joined text for "/fs" wherever it stands would take every absolute path
// (/fsdata/..., /home/one/...) for a switch or cut the file name short, so
// an argument that is not a switch is always part of the file name.

#include <string>
#include <vector>

namespace pictorand {

inline constexpr size_t kMaxSlideshowListLength = 249;
inline constexpr size_t kMaxCustomTitleLength = 293;

struct CommandLine {
    // The first argument that is not a switch, with the later ones joined to
    // it by blanks, so an unquoted name with blanks still opens. Empty when
    // none was given.
    std::string file;

    bool fullScreen = false;  // /fs
    bool bestFit = false;     // /bf
    bool oneInstance = false; // /one
    bool slideshow = false;   // /slideshow=FILE
    std::string slideshowList;
    bool position = false; // /pos=(x,y)
    int x = 0;
    int y = 0;
    bool customTitle = false; // /title=TEXT
    std::string title;

    bool help = false;
    bool version = false;
    // Arguments that look like GNU options but are none of ours.
    std::vector<std::string> unknownOptions;
};

// The arguments after the program name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The usage text of --help.
std::string commandLineUsage();

} // namespace pictorand
