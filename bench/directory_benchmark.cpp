// Listing and sorting a folder of 10,000 picture files (and 500 others), in
// each of the eight orders, as Refresh does it. `ls -l` on the same folder
// (bench/navigation-vs-peers.sh) is the yardstick: it reads and sorts the
// same entries with one stat each.

#include "shell/core/directory_list.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::string& folder()
{
    static const std::string path = [] {
        const char* given = std::getenv("PICTORAND_BENCH_FOLDER");
        std::string dir = given ? given : (std::filesystem::temp_directory_path() / "pictorand-10000").string();
        if (!std::filesystem::exists(dir + "/09999.jpg")) {
            std::filesystem::create_directories(dir);
            const char* extensions[] = {".jpg", ".PNG", ".gif", ".bmp", ".tiff"};
            for (int i = 0; i < 10000; ++i) {
                char name[32];
                std::snprintf(name, sizeof name, "/%05d%s", (i * 7919) % 10000, extensions[i % 5]);
                std::ofstream(dir + name) << std::string(static_cast<size_t>(i % 97), 'x');
            }
            for (int i = 0; i < 500; ++i)
                std::ofstream(dir + "/note" + std::to_string(i) + ".txt") << "x";
        }
        return dir;
    }();
    return path;
}

void ListAndSort(benchmark::State& state)
{
    const int order = static_cast<int>(state.range(0));
    for (auto _ : state) {
        pictorand::DirectoryList list;
        list.rebuild(folder(), "05000.jpg", true, order);
        benchmark::DoNotOptimize(list.index());
        if (list.count() != 10000)
            state.SkipWithError("wrong count");
    }
}
BENCHMARK(ListAndSort)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
