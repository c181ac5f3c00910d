// Cost of one 10 ms movement step (up to 11 contact queries) on the sample levels, walking
// on a floor and walking into a wall. Reports the share of the step period it takes and
// the heap allocations per step (expected: none in steady state).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "level/LevelFile.h"
#include "math/Vector.h"
#include "walk/Walkthrough.h"

namespace {

std::atomic<long long> allocationCount{0};

}  // namespace

void* operator new(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace vantrell {
namespace {

struct BenchLevel {
    LevelGeometry geometry;
    SpacePartition partition;
    std::string name;
};

void addTriangle(BenchLevel& level, const Vector3& a, const Vector3& b, const Vector3& c, std::int32_t plane) {
    Triangle t;
    t.vertexIndex = {level.geometry.addVertex(a), level.geometry.addVertex(b), level.geometry.addVertex(c)};
    t.normalIndex = {0, 0, 0};
    t.planeIndex = plane;
    level.partition.spaces[0].triangleIndices.push_back(level.geometry.addTriangle(t));
}

// A floor 20 units square at y = 0 and a wall at x = 5 facing -x, the wall listed first.
BenchLevel builtLevel() {
    BenchLevel level;
    level.name = "built";
    level.geometry.addNormal({0, 1, 0});
    const std::int32_t root = level.geometry.addPlane({0, 1, 0, 1000});
    level.partition.addNode({root, childOfSpace(0), childOfSpace(0), {}});
    level.partition.addSpace({{-10, -1, -10, 10, 3, 10}, {}});
    level.partition.setAdjacency({{0}});
    const std::int32_t wall = level.geometry.addPlane({-1, 0, 0, 5});
    addTriangle(level, {5, -1, -10}, {5, -1, 10}, {5, 3, 10}, wall);
    addTriangle(level, {5, -1, -10}, {5, 3, 10}, {5, 3, -10}, wall);
    const std::int32_t floor = level.geometry.addPlane({0, 1, 0, 0});
    addTriangle(level, {-10, 0, -10}, {-10, 0, 10}, {10, 0, 10}, floor);
    addTriangle(level, {-10, 0, -10}, {10, 0, 10}, {10, 0, -10}, floor);
    return level;
}

std::unique_ptr<BenchLevel> loadLevel(const std::string& file) {
    auto level = std::make_unique<BenchLevel>();
    const std::string path = std::string(VANTRELL_SOURCE_DIR) + "/examples/" + file;
    if (std::filesystem::exists(path)) {
        LoadedLevel loaded = loadLevelFile(path);
        if (loaded.valid()) {
            level->geometry = std::move(loaded.geometry);
            level->partition = std::move(loaded.partition);
            level->name = file;
            return level;
        }
    }
    std::fprintf(stderr, "examples/%s not found or not valid: using a level built in code\n", file.c_str());
    *level = builtLevel();
    return level;
}

// Walks with W held from the start point. On open floor the body turns round every 100
// steps so it stays on the level however long it runs; into a wall it keeps pressing (into
// the wall, then the corner it slides to), where every step clips.
void walk(benchmark::State& state, const std::unique_ptr<BenchLevel>& level, const Vector3& start,
          const Vector3& forward, bool turnRound) {
    const ManualCounter clock;
    Walkthrough walkthrough(level->geometry, level->partition, clock, start, forward);
    walkthrough.setMovementKeys({.forward = true});
    Camera* camera = &walkthrough.camera();
    for (int i = 0; i < 200; ++i) walkthrough.step();  // warm up: query buffers sized

    const long long allocationsBefore = allocationCount.load();
    long long steps = 0;
    for (auto _ : state) {
        walkthrough.step();
        benchmark::DoNotOptimize(camera->currentPosition());
        if (++steps % 100 == 0 && turnRound) camera->turn(360, 0);
    }
    state.counters["allocs_per_step"] = benchmark::Counter(
        static_cast<double>(allocationCount.load() - allocationsBefore) / static_cast<double>(steps));
    state.SetLabel(level->name);
}

void WalkOnFloorTwoRooms(benchmark::State& state) {
    walk(state, loadLevel("two-rooms.bsp"), {0, 0, 0}, {1, 0, 0.2f}, true);
}
void WalkIntoWallTwoRooms(benchmark::State& state) {
    walk(state, loadLevel("two-rooms.bsp"), {-1.5f, 0, -2.5f}, {-1, 0, -0.3f}, false);
}
void WalkOnFloorRampHall(benchmark::State& state) {
    walk(state, loadLevel("ramp-hall.bsp"), {0, 0, 0}, {1, 0, 0.2f}, true);
}
void WalkIntoWallRampHall(benchmark::State& state) {
    walk(state, loadLevel("ramp-hall.bsp"), {-1.5f, 0, -2.5f}, {-1, 0, -0.3f}, false);
}
void WalkIntoWallBuilt(benchmark::State& state) {
    walk(state, std::make_unique<BenchLevel>(builtLevel()), {4.5f, 0.02f, 0}, {1, 0, 0.5f}, false);
}

BENCHMARK(WalkOnFloorTwoRooms);
BENCHMARK(WalkIntoWallTwoRooms);
BENCHMARK(WalkOnFloorRampHall);
BENCHMARK(WalkIntoWallRampHall);
BENCHMARK(WalkIntoWallBuilt);

// The console table, followed by each step's CPU time as a share of the 10 ms step period.
class ShareReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.iterations == 0) continue;
            const double cpu = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            const double real = run.real_accumulated_time / static_cast<double>(run.iterations);
            std::printf("  %s: %.0f ns CPU (%.0f ns wall) per step = %.4f%% (%.4f%%) of the 10 ms step period\n",
                        run.benchmark_name().c_str(), cpu * 1e9, real * 1e9, cpu / 0.01 * 100.0, real / 0.01 * 100.0);
        }
    }
};

}  // namespace
}  // namespace vantrell

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    vantrell::ShareReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
