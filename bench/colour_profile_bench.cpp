// What converting an embedded profile to sRGB adds to opening a photo: the
// JPEG decode of a 6000 x 4000 Adobe RGB photo against the conversion of its
// decoded pixels (the transform cached, as for every photo after the first
// with the same profile). bench/icc-vs-decode.sh prepares the file and sets
// PICTORAND_BENCH_DATA to its folder. Times are wall time; the CPU column is
// the whole process's, which counts the conversion's second thread.

#include "codecs/jpeg/jpeg.h"
#include "ops/colour_profile.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using namespace pictorand;

std::string photoPath()
{
    const char* folder = std::getenv("PICTORAND_BENCH_DATA");
    return std::string(folder ? folder : "build/bench-data") + "/photo-a98.jpg";
}

void decodeJpeg(benchmark::State& state)
{
    const std::string path = photoPath();
    if (access(path.c_str(), R_OK) != 0) {
        state.SkipWithError(("missing " + path + " (run bench/icc-vs-decode.sh)").c_str());
        return;
    }
    for (auto _ : state) {
        Result<DecodedImage> read = readJpeg(path, {});
        benchmark::DoNotOptimize(read);
    }
}

void convertProfile(benchmark::State& state)
{
    Result<DecodedImage> read = readJpeg(photoPath(), {});
    if (!read || read->iccProfile.empty()) {
        state.SkipWithError("no photo with a profile (run bench/icc-vs-decode.sh)");
        return;
    }
    // Converting the converted pixels again costs the same: the tables'
    // work does not depend on the values.
    for (auto _ : state) {
        ProfileConversion result = convertToSrgb(read->block, read->iccProfile);
        benchmark::DoNotOptimize(result);
    }
}

BENCHMARK(decodeJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(convertProfile)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace

BENCHMARK_MAIN();
