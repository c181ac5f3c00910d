// Leaf portals of real levels: the largest level of the game package (by node count) and all of
// its levels in a row. Needs the Debian package openarena-088-data; says so and exits otherwise.
// The reading of the archive and the file is outside the timed loop.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "compile/Portals.h"
#include "import/IbspFile.h"
#include "import/IbspImport.h"
#include "import/PakArchive.h"

namespace {

using vantrell::computeLeafPortals;
using vantrell::PortalResult;
using vantrell::PortalTree;

const char* const gamePackage = "/usr/share/games/openarena/baseoa/pak6-patch088.pk3";

struct NamedTree {
    std::string name;
    PortalTree tree;
};

std::vector<NamedTree> levels;

bool loadLevels() {
    std::vector<std::string> maps;
    std::string error;
    if (!vantrell::listArchiveEntries(gamePackage, maps, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    for (const std::string& name : maps) {
        std::vector<std::uint8_t> bytes;
        vantrell::ibsp::File file;
        if (!vantrell::readArchiveEntry(gamePackage, name, bytes, error) ||
            !vantrell::ibsp::readFile(bytes.data(), bytes.size(), file, error) || file.models.empty()) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
            return false;
        }
        levels.push_back(NamedTree{name, vantrell::portalTreeOf(file)});
    }
    return !levels.empty();
}

void computeOrFail(benchmark::State& state, const PortalTree& tree, PortalResult& result) {
    std::string error;
    if (!computeLeafPortals(tree, result, error)) state.SkipWithError(error.c_str());
}

void largestLevel(benchmark::State& state) {
    const NamedTree* largest = &levels.front();
    for (const NamedTree& level : levels) {
        if (level.tree.nodes.size() > largest->tree.nodes.size()) largest = &level;
    }
    PortalResult result;
    for (auto _ : state) {
        computeOrFail(state, largest->tree, result);
        benchmark::DoNotOptimize(result.links.data());
    }
    state.SetLabel(largest->name);
    state.counters["nodes"] = static_cast<double>(largest->tree.nodes.size());
    state.counters["leaves"] = static_cast<double>(largest->tree.leafCluster.size());
    state.counters["portals"] = static_cast<double>(result.portalCount);
    state.counters["links"] = static_cast<double>(result.links.size());
}

void allLevels(benchmark::State& state) {
    PortalResult result;
    std::size_t links = 0;
    for (auto _ : state) {
        links = 0;
        for (const NamedTree& level : levels) {
            computeOrFail(state, level.tree, result);
            links += result.links.size();
        }
        benchmark::DoNotOptimize(links);
    }
    state.counters["levels"] = static_cast<double>(levels.size());
    state.counters["links"] = static_cast<double>(links);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!std::filesystem::exists(gamePackage)) {
        std::printf("portal_bench: %s is missing (install openarena-088-data); nothing to measure\n", gamePackage);
        return 0;
    }
    if (!loadLevels()) return 1;
    benchmark::RegisterBenchmark("LeafPortals/LargestLevel", largestLevel)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("LeafPortals/AllLevels", allLevels)->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
