// Loads one file RUNS times in this process and RUNS times in a decoder
// worker, the two taking turns (so that whatever the machine is doing meanwhile
// falls on both alike), and prints for each the median wall time of a load
// and the median processor time of a load: this process's and, for the
// worker, the worker's own, read from /proc around each load. The first load
// of each is left out (it starts the worker and touches fresh memory).
//
//   bench_confined_loads FILE RUNS
#include "dispatch/confined_load.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

double selfCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The processor time of the threads of `pid` (nanoseconds of run time, as
// the scheduler counts it: finer than the clock ticks of /proc/PID/stat).
double runTimeMs(const std::string& pid)
{
    double total = 0;
    const std::string folder = "/proc/" + pid + "/task";
    DIR* threads = opendir(folder.c_str());
    if (!threads)
        return 0;
    while (const dirent* thread = readdir(threads)) {
        if (thread->d_name[0] == '.')
            continue;
        std::FILE* file = std::fopen((folder + "/" + thread->d_name + "/schedstat").c_str(), "re");
        unsigned long long nanoseconds = 0;
        if (file && std::fscanf(file, "%llu", &nanoseconds) == 1)
            total += static_cast<double>(nanoseconds) / 1e6;
        if (file)
            std::fclose(file);
    }
    closedir(threads);
    return total;
}

// The processor time of this process's children (the workers) while they
// run.
double childrenCpuMs()
{
    double total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    while (const dirent* task = readdir(tasks)) {
        if (task->d_name[0] == '.')
            continue;
        const std::string list = std::string("/proc/self/task/") + task->d_name + "/children";
        std::FILE* children = std::fopen(list.c_str(), "re");
        if (!children)
            continue;
        int pid = 0;
        while (std::fscanf(children, "%d", &pid) == 1)
            total += runTimeMs(std::to_string(pid));
        std::fclose(children);
    }
    closedir(tasks);
    return total;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[(values.size() - 1) / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE RUNS\n", argv[0]);
        return 2;
    }
    using namespace pictorand;
    const LoadRequest request{{argv[1]}, LoadPurpose::View, {}};
    const int runs = std::max(2, std::atoi(argv[2]));
    decodeInWorkers({});
    std::vector<double> walls[2];
    std::vector<double> cpus[2];
    for (int i = 0; i <= runs; ++i) {
        for (int mode = 0; mode < 2; ++mode) {
            const double cpu = selfCpuMs() + childrenCpuMs();
            const auto start = std::chrono::steady_clock::now();
            const LoadOutcome outcome = mode == 0 ? loadInThisProcess(request) : loadInWorker(request);
            const double wall =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            if (!outcome.ok()) {
                std::fprintf(stderr, "%s does not load\n", argv[1]);
                return 1;
            }
            if (i == 0)
                continue;
            walls[mode].push_back(wall);
            cpus[mode].push_back(selfCpuMs() + childrenCpuMs() - cpu);
        }
    }
    decodeInThisProcess();
    std::printf("%.2f %.2f %.2f %.2f\n", median(walls[0]), median(cpus[0]), median(walls[1]), median(cpus[1]));
    return 0;
}
