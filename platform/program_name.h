#pragma once
// The program's name as the user and the desktop see it: window and message
// captions, the desktop's class for its files, the writer named in files.

namespace pictorand {

inline constexpr const char* kProgramCaption = "Pictorand32";

} // namespace pictorand
