#pragma once
// printf-style formatting into a string of whatever length the text needs:
// the messages that name paths have no length limit.

#include <string>

namespace pictorand {

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace pictorand
