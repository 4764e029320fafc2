#include "shell/startup_trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace pictorand {

void traceStartup(const char* stage)
{
    static const bool enabled = std::getenv("PICTORAND_TRACE_STARTUP") != nullptr;
    static const auto start = std::chrono::steady_clock::now();
    if (enabled)
        std::fprintf(stderr, "%8.1f ms  %s\n",
                     std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
                     stage);
}

} // namespace pictorand
