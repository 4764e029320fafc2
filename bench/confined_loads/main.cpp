// Loads one file RUNS times, in this process or in decoder workers, and
// prints the median wall time of a load and the processor time of the whole
// run (this process and its workers, which are ended and counted at the
// end). bench/sandbox-vs-in-process.sh runs it with two counts of runs, so
// that what starting costs drops out.
//
//   bench_confined_loads FILE RUNS here|worker
#include "dispatch/confined_load.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FILE RUNS here|worker\n", argv[0]);
        return 2;
    }
    using namespace pictorand;
    const LoadRequest request{{argv[1]}, LoadPurpose::View, {}};
    const int runs = std::max(1, std::atoi(argv[2]));
    if (std::strcmp(argv[3], "worker") == 0)
        decodeInWorkers({});
    std::vector<double> walls;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!load(request).ok()) {
            std::fprintf(stderr, "%s does not load\n", argv[1]);
            return 1;
        }
        walls.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    decodeInThisProcess(); // ends the workers, so that their time is counted
    std::sort(walls.begin() + (runs > 1 ? 1 : 0), walls.end());
    const size_t middle = runs > 1 ? 1 + (walls.size() - 1) / 2 : 0;
    std::printf("%.2f %.2f\n", walls[middle], cpuMs(RUSAGE_SELF) + cpuMs(RUSAGE_CHILDREN));
    return 0;
}
