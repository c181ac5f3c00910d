// The level compiler on generated room grids of about 10k, 100k and 1M triangles: seconds per
// stage, the counts that drive the cost (cuts, leaves, spaces, triangles in and out) and the
// peak resident memory, then time / (n log n) between the sizes, so that how the cost grows
// can be read off one run. Also the game package's largest level imported with its tree
// rebuilt through the compiler (the default) and with the file's tree kept, and their ratio
// (skips itself when the package is missing). The scenes are built outside the timed loop.
#include "SceneBuilder.h"
#include "compile/Compiler.h"
#if VANTRELL_BENCH_IMPORT
#include "import/IbspImport.h"
#include "import/PakArchive.h"
#endif

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using vantrell::CompileOptions;
using vantrell::CompileReport;
using vantrell::LevelGeometry;
using vantrell::SceneMesh;
using vantrell::SpacePartition;

[[maybe_unused]] const char* const gamePackage = "/usr/share/games/openarena/baseoa/pak6-patch088.pk3";

// Every room has a floor of tiles x tiles squares; only the number of rooms changes with size,
// so the sizes differ in how much of the same kind of scene there is.
constexpr int floorTiles = 16;

// Peak resident set of the process so far, in MiB (Linux reports ru_maxrss in KiB): the scene
// and the compile together. The sizes run from small to large, so each one's figure is its own
// peak; the imports run after the largest compile, so they report none.
double peakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The grid of rooms whose triangle count comes closest to target.
SceneMesh sceneOf(std::size_t target) {
    const std::size_t perRoom = vantrell::scenes::roomGrid(1, 1, floorTiles).triangles.size();
    const double rooms = static_cast<double>(target) / static_cast<double>(perRoom);
    const int columns = std::max(1, static_cast<int>(std::lround(std::sqrt(rooms))));
    const int rows = std::max(1, static_cast<int>(std::lround(rooms / columns)));
    return vantrell::scenes::roomGrid(columns, rows, floorTiles);
}

// Processor time of this process: the compiler runs on one thread, and on a shared machine this
// moves less than wall time with what else runs.
double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct CompileResult {
    double triangles = 0.0;
    double seconds = 0.0;           // mean wall time of one compile
    double processorSeconds = 0.0;  // mean processor time of one compile
};
std::map<std::size_t, CompileResult> compileResults;  // by target size
std::map<bool, double> importSeconds;                 // by keepTree

void compileScene(benchmark::State& state) {
    const auto target = static_cast<std::size_t>(state.range(0));
    const SceneMesh mesh = sceneOf(target);
    CompileOptions options;
    CompileReport report;
    std::map<std::string, double> stageSeconds;
    double totalSeconds = 0.0, totalProcessorSeconds = 0.0;
    for (auto _ : state) {
        LevelGeometry geometry;
        SpacePartition partition;
        report = CompileReport{};
        std::string error;
        const auto begin = std::chrono::steady_clock::now();
        const double processorBegin = processorSeconds();
        const bool ok = vantrell::compileLevel(mesh, nullptr, options, geometry, partition, report, error);
        totalProcessorSeconds += processorSeconds() - processorBegin;
        totalSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (!ok) {
            state.SkipWithError(error.c_str());
            return;
        }
        for (const auto& stage : report.stages) stageSeconds[stage.name] += stage.seconds;
        benchmark::DoNotOptimize(partition);
    }
    const auto runs = static_cast<double>(state.iterations());
    double staged = 0.0;
    for (const auto& [name, seconds] : stageSeconds) {
        state.counters["s_" + name] = seconds / runs;
        staged += seconds;
    }
    // What the named stages leave out of the whole call (choosing the spawn, building the
    // level's containers).
    state.counters["s_rest"] = (totalSeconds - staged) / runs;
    state.counters["tris_in"] = static_cast<double>(report.inputTriangles);
    state.counters["tris_out"] = static_cast<double>(report.outputTriangles);
    state.counters["cuts"] = static_cast<double>(report.cuts);
    state.counters["fragments"] = static_cast<double>(report.fragments);
    state.counters["nodes"] = static_cast<double>(report.nodes);
    state.counters["leaves"] = static_cast<double>(report.leaves);
    state.counters["spaces"] = static_cast<double>(report.spaces);
    state.counters["portals"] = static_cast<double>(report.portals);
    state.counters["peak_MiB"] = peakResidentMiB();
    compileResults[target] =
        CompileResult{static_cast<double>(report.inputTriangles), totalSeconds / runs, totalProcessorSeconds / runs};
}
BENCHMARK(compileScene)->Arg(10'000)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(compileScene)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(compileScene)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(1);

#if VANTRELL_BENCH_IMPORT
// The package's map with the largest entry, found once.
std::string largestMap() {
    static const std::string name = [] {
        std::vector<std::string> maps;
        std::string error, best;
        std::size_t bestBytes = 0;
        if (!std::filesystem::exists(gamePackage) || !vantrell::listArchiveEntries(gamePackage, maps, error))
            return best;
        for (const std::string& entry : maps) {
            std::vector<std::uint8_t> bytes;
            if (vantrell::readArchiveEntry(gamePackage, entry, bytes, error) && bytes.size() > bestBytes) {
                bestBytes = bytes.size();
                best = entry;
            }
        }
        return best;
    }();
    return name;
}

void importLargestMap(benchmark::State& state) {
    const std::string map = largestMap();
    if (map.empty()) {
        state.SkipWithError("the game package (openarena-088-data) is missing or holds no maps");
        return;
    }
    vantrell::ImportOptions options;
    options.mapName = map;
    options.keepTree = state.range(0) != 0;
    vantrell::ImportReport report;
    double totalSeconds = 0.0;
    for (auto _ : state) {
        LevelGeometry geometry;
        SpacePartition partition;
        report = vantrell::ImportReport{};
        std::string error;
        const auto begin = std::chrono::steady_clock::now();
        const bool ok = vantrell::importLevel(gamePackage, options, geometry, partition, report, error);
        totalSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (!ok) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(partition);
    }
    state.SetLabel(map + (options.keepTree ? " keep-tree" : " rebuild"));
    state.counters["triangles"] = static_cast<double>(report.triangles);
    state.counters["file_leaves"] = static_cast<double>(report.fileLeaves);
    state.counters["spaces"] = static_cast<double>(report.spaces);
    state.counters["open_spaces"] = static_cast<double>(report.openSpaces);
    importSeconds[options.keepTree] = totalSeconds / static_cast<double>(state.iterations());
}
BENCHMARK(importLargestMap)->ArgName("keep_tree")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);
#endif

void printRatios() {
    if (compileResults.size() >= 2) {
        std::printf(
            "\ncompile time / (n log2 n) against the smallest size and the previous one "
            "(near 1 = the cost grows as n log n); wall | processor:\n");
        const CompileResult& first = compileResults.begin()->second;
        const auto nLogN = [](const CompileResult& r) { return r.triangles * std::log2(r.triangles); };
        const CompileResult* previous = nullptr;
        for (const auto& [target, r] : compileResults) {
            const double wall = r.seconds / nLogN(r), processor = r.processorSeconds / nLogN(r);
            std::printf(
                "  %9.0f triangles  %8.3f s | %8.3f s  %.3e | %.3e s per n log2 n  x%.2f | x%.2f of the smallest",
                r.triangles, r.seconds, r.processorSeconds, wall, processor, wall / (first.seconds / nLogN(first)),
                processor / (first.processorSeconds / nLogN(first)));
            if (previous != nullptr) {
                std::printf("  x%.2f | x%.2f of the previous", wall / (previous->seconds / nLogN(*previous)),
                            processor / (previous->processorSeconds / nLogN(*previous)));
            }
            std::printf("\n");
            previous = &r;
        }
    }
    if (importSeconds.size() == 2) {
        std::printf("\nimport of the largest map: rebuild %.3f s, keep-tree %.3f s, rebuild / keep-tree %.2f\n",
                    importSeconds[false], importSeconds[true], importSeconds[false] / importSeconds[true]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printRatios();
    return 0;
}
