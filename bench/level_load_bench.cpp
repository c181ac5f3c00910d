// Loading a large level against reading its bytes, side by side in one run.
//
// Writes a generated level of well over 100 MB to a temporary file, then times (a) reading the
// whole file into memory and (b) loading it with loadLevelFile (parse and validation), each a
// few times in alternation, and prints the best of each and their ratio. The raw read and the
// load also run once each in a fresh process whose peak resident memory is printed.
//
//   level_load_bench [--scale N]   (N in percent of the default size, for quick runs)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "level/LevelFile.h"

namespace {

using namespace vantrell;
using Clock = std::chrono::steady_clock;

struct Sizes {
    std::size_t vertices = 2'000'000;
    std::size_t normals = 1'000'000;
    std::size_t planes = 500'000;
    std::size_t triangles = 2'000'000;
    std::size_t spaces = 20'000;  // the adjacency is spaces x spaces / 8 bytes
};

// A level with the shape of a real one: every index in range, each triangle listed by one
// space, a balanced-ish tree over the spaces, and a sparse adjacency. Deterministic.
void generate(const Sizes& n, LevelGeometry& g, SpacePartition& p) {
    std::uint32_t state = 12345;
    auto next = [&state] { return state = state * 1664525u + 1013904223u; };
    auto unit = [&next] { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); };

    g.vertices.reserve(n.vertices);
    for (std::size_t i = 0; i < n.vertices; ++i) g.addVertex({unit() * 100, unit() * 10, unit() * 100});
    g.normals.reserve(n.normals);
    for (std::size_t i = 0; i < n.normals; ++i) g.addNormal({0, 1, 0});
    g.planes.reserve(n.planes);
    for (std::size_t i = 0; i < n.planes; ++i) g.addPlane({unit(), unit(), unit(), unit()});
    g.triangles.reserve(n.triangles);
    for (std::size_t i = 0; i < n.triangles; ++i) {
        Triangle t;
        for (auto& v : t.vertexIndex) v = static_cast<std::int32_t>(next() % n.vertices);
        for (auto& v : t.normalIndex) v = static_cast<std::int32_t>(next() % n.normals);
        t.planeIndex = static_cast<std::int32_t>(next() % n.planes);
        g.addTriangle(t);
    }
    // Node i splits into 2i+1 and 2i+2 while those are nodes; n.spaces - 1 nodes have
    // n.spaces leaves.
    const std::size_t nodes = n.spaces - 1;
    for (std::size_t i = 0; i < nodes; ++i) {
        std::int32_t children[2];
        for (std::size_t c = 0; c < 2; ++c) {
            const std::size_t child = 2 * i + 1 + c;
            children[c] = child < nodes ? static_cast<std::int32_t>(child)
                                        : childOfSpace(static_cast<std::int32_t>(child - nodes));
        }
        p.addNode({static_cast<std::int32_t>(next() % n.planes), children[0], children[1], {0, 0, 0, 1, 1, 1}});
    }
    const std::size_t perSpace = n.triangles / n.spaces;
    for (std::size_t s = 0; s < n.spaces; ++s) {
        Space space;
        space.bounds = {0, 0, 0, unit() * 100, 10, unit() * 100};
        for (std::size_t k = 0; k < perSpace; ++k)
            space.triangleIndices.push_back(static_cast<std::int32_t>(s * perSpace + k));
        p.addSpace(space);
    }
    AdjacencyMatrix matrix = AdjacencyMatrix::forSpaces(n.spaces);
    for (std::size_t s = 0; s < n.spaces; ++s) {
        for (int k = 0; k < 6; ++k) matrix.set(s, next() % n.spaces);
    }
    p.setAdjacency(std::move(matrix));
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::size_t readRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(0, std::ios::end);
    std::vector<char> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0, std::ios::beg);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<std::size_t>(in.gcount());
}

// Runs this program again as "--peak raw|load PATH" in a fresh process and returns that
// process's peak resident memory in bytes; -1 when it failed.
long peakMemoryOf(const char* self, const char* what, const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        execl(self, self, "--peak", what, path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss * 1024L;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--peak") {
        const std::string path = argv[3];
        if (std::string(argv[2]) == "raw") return readRaw(path) == std::filesystem::file_size(path) ? 0 : 1;
        return loadLevelFile(path).valid() ? 0 : 1;
    }
    double scale = 1.0;
    if (argc == 3 && std::string(argv[1]) == "--scale") scale = std::max(1.0, std::atof(argv[2])) / 100.0;
    Sizes sizes;
    auto scaled = [scale](std::size_t v) { return std::max<std::size_t>(16, static_cast<std::size_t>(v * scale)); };
    sizes.vertices = scaled(sizes.vertices), sizes.normals = scaled(sizes.normals);
    sizes.planes = scaled(sizes.planes), sizes.triangles = scaled(sizes.triangles);
    sizes.spaces = scaled(sizes.spaces);

    const std::string path =
        (std::filesystem::temp_directory_path() / ("vantrell-load-bench-" + std::to_string(getpid()) + ".bsp"))
            .string();
    {
        LevelGeometry g;
        SpacePartition p;
        generate(sizes, g, p);
        if (!writeLevelFile(path, g, p)) {
            std::fprintf(stderr, "level_load_bench: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    const std::uintmax_t fileSize = std::filesystem::file_size(path);
    std::printf("level file: %.1f MB (%zu vertices, %zu triangles, %zu spaces)\n", fileSize / 1e6, sizes.vertices,
                sizes.triangles, sizes.spaces);

    bool ok = readRaw(path) == fileSize;  // warms the page cache for both contenders
    double bestRaw = 1e30, bestLoad = 1e30, bestParse = 1e30;
    for (int round = 0; round < 3 && ok; ++round) {
        auto start = Clock::now();
        ok = readRaw(path) == fileSize;
        bestRaw = std::min(bestRaw, seconds(Clock::now() - start));

        start = Clock::now();
        {
            LevelGeometry g;
            SpacePartition p;
            BSPLoader loader(&g, &p, path);
            ok = ok && loader.parse() == parseLoaded;
            bestParse = std::min(bestParse, seconds(Clock::now() - start));
        }

        start = Clock::now();
        const LoadedLevel level = loadLevelFile(path);
        bestLoad = std::min(bestLoad, seconds(Clock::now() - start));
        ok = ok && level.valid();
    }
    if (!ok) {
        std::fprintf(stderr, "level_load_bench: the generated level did not read back as a valid level\n");
        std::filesystem::remove(path);
        return 1;
    }
    std::printf("raw read:                %8.1f ms  (%.0f MB/s)\n", bestRaw * 1e3, fileSize / 1e6 / bestRaw);
    std::printf("parse (BSPLoader):       %8.1f ms  ratio %.2f\n", bestParse * 1e3, bestParse / bestRaw);
    std::printf("loadLevelFile+validate:  %8.1f ms  ratio %.2f  (target: parse at most 2x the raw read)\n",
                bestLoad * 1e3, bestLoad / bestRaw);

    const long rawPeak = peakMemoryOf(argv[0], "raw", path);
    const long loadPeak = peakMemoryOf(argv[0], "load", path);
    std::printf("peak memory: raw read %.1f MB, load %.1f MB = %.2f x file size (target: about 2x)\n", rawPeak / 1e6,
                loadPeak / 1e6, static_cast<double>(loadPeak) / static_cast<double>(fileSize));
    std::filesystem::remove(path);
    return 0;
}
