#include "shell/core/command_line.h"

#include <cstdlib>
#include <string_view>

namespace pictorand {

namespace {

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// A decimal integer at the start of the text, as the old reader took it:
// anything that is not a number reads as 0.
int leadingInteger(std::string_view text)
{
    std::string copy(text.substr(0, 255));
    return static_cast<int>(std::strtol(copy.c_str(), nullptr, 10));
}

// "x,y)" of /pos=(x,y) or "X,Y" of --pos=X,Y.
void readPosition(std::string_view value, CommandLine& line)
{
    line.position = true;
    size_t comma = value.find(',');
    line.x = leadingInteger(value.substr(0, comma));
    line.y = comma == std::string_view::npos ? 0 : leadingInteger(value.substr(comma + 1));
}

std::string withoutEnclosingQuotes(std::string text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

// True when the argument was one of the switches (and has been applied).
bool applySwitch(const std::string& argument, CommandLine& line)
{
    if (argument == "/fs" || argument == "--fs") {
        line.fullScreen = true;
        return true;
    }
    if (argument == "/bf" || argument == "--bf") {
        line.bestFit = true;
        return true;
    }
    if (argument == "/one" || argument == "--one") {
        line.oneInstance = true;
        return true;
    }
    for (std::string_view prefix : {"/slideshow=", "--slideshow="}) {
        if (startsWith(argument, prefix)) {
            line.slideshow = true;
            line.slideshowList = argument.substr(prefix.size(), kMaxSlideshowListLength);
            // A slideshow runs full screen of its own; an earlier /fs would
            // only flash the main window up.
            line.fullScreen = false;
            return true;
        }
    }
    if (startsWith(argument, "/pos=(")) {
        readPosition(std::string_view(argument).substr(6), line);
        return true;
    }
    if (startsWith(argument, "--pos=")) {
        readPosition(std::string_view(argument).substr(6), line);
        return true;
    }
    for (std::string_view prefix : {"/title=", "--title="}) {
        if (startsWith(argument, prefix)) {
            line.customTitle = true;
            line.title = argument.substr(prefix.size(), kMaxCustomTitleLength);
            return true;
        }
    }
    if (argument == "--help" || argument == "-h") {
        line.help = true;
        return true;
    }
    if (argument == "--version") {
        line.version = true;
        return true;
    }
    return false;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    std::vector<std::string> nameParts;
    bool onlyNames = false;
    for (const std::string& raw : arguments) {
        std::string argument = withoutEnclosingQuotes(raw);
        if (!onlyNames) {
            if (argument == "--") {
                onlyNames = true;
                continue;
            }
            if (applySwitch(argument, line))
                continue;
            if (nameParts.empty() && startsWith(argument, "--")) {
                line.unknownOptions.push_back(argument);
                continue;
            }
        }
        nameParts.push_back(argument);
    }
    for (size_t i = 0; i < nameParts.size(); ++i) {
        if (i)
            line.file += ' ';
        line.file += nameParts[i];
    }
    while (!line.file.empty() && line.file.back() == ' ')
        line.file.pop_back();
    return line;
}

std::string commandLineUsage()
{
    return "Usage: pictorand32 [OPTION]... [FILE]\n"
           "Shows the picture FILE (a directory becomes the working directory).\n"
           "\n"
           "  --fs, /fs                  start in full-screen mode\n"
           "  --bf, /bf                  fit every picture to the desktop from now on\n"
           "  --one, /one                close every other running viewer first\n"
           "  --slideshow=LIST           run a slideshow of the files listed in LIST\n"
           "  /slideshow=LIST\n"
           "  --pos=X,Y, /pos=(X,Y)      put the window's top-left corner at X,Y\n"
           "  --title=TEXT, /title=TEXT  show TEXT in the window title\n"
           "  --help                     show this help\n"
           "  --version                  show the version\n";
}

} // namespace pictorand
