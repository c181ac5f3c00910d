// The CPU cost of one walk-through frame in each viewer mode on the largest game level of the
// installed package: the search (or the frozen or full list), building the frame's lists and
// the info panel's lines, and submitting the draws, measured on the calling thread's CPU
// clock. The GPU's (or the software rasteriser's) work is left out: each frame is finished
// outside the timed part. All modes run in one process, in alternating blocks, and are
// printed in milliseconds and as a ratio to the plain frame.
//
// Also times the plain search against the one that records every space's outcome (what the
// freeze key and `why` use), on the same view.
//
// Usage: viewer_modes_bench [PK3 [maps/NAME.bsp]] [--size WxH]
//        (default: the package's map with the most triangles, 800x600)
#include <epoxy/gl.h>
#include <time.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "import/IbspImport.h"
#include "play/GlRenderer.h"
#include "play/HeadlessContext.h"
#include "walk/InfoPanel.h"
#include "walk/Walkthrough.h"
#include "walk/WalkthroughView.h"

namespace {

using namespace vantrell;

constexpr const char* defaultPackage = "/usr/share/games/openarena/baseoa/pak6-patch088.pk3";

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Level {
    LevelGeometry geometry;
    SpacePartition partition;
    ImportReport report;
    std::string name;
};

// Imports mapName, or every map of the package keeping the one with the most triangles.
bool importLargest(const std::string& package, const std::string& mapName, Level& level) {
    std::vector<std::string> maps;
    std::string error;
    if (!mapName.empty()) {
        maps.push_back(mapName);
    } else if (!listArchiveMaps(package, maps, error)) {
        std::fprintf(stderr, "viewer_modes_bench: %s\n", error.c_str());
        return false;
    }
    std::size_t most = 0;
    for (const std::string& map : maps) {
        Level candidate;
        ImportOptions options;
        options.mapName = map;
        if (!importLevel(package, options, candidate.geometry, candidate.partition, candidate.report, error)) continue;
        if (candidate.geometry.triangles.size() <= most) continue;
        most = candidate.geometry.triangles.size();
        candidate.name = map;
        level = std::move(candidate);
    }
    return most > 0;
}

struct Mode {
    const char* name;
    std::function<void(WalkthroughView&, Walkthrough&)> set;
    double seconds = 0.0;
    std::size_t listed = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::string package = defaultPackage;
    std::string mapName;
    int width = 800;
    int height = 600;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 1 || height < 1) {
                std::fprintf(stderr, "viewer_modes_bench: --size must be WxH\n");
                return 2;
            }
        } else {
            positional.emplace_back(argv[i]);
        }
    }
    if (!positional.empty()) package = positional[0];
    if (positional.size() > 1) mapName = positional[1];
    if (!std::filesystem::exists(package)) {
        std::fprintf(stderr, "viewer_modes_bench: %s is missing (openarena-088-data): nothing to measure\n",
                     package.c_str());
        return 0;
    }
    Level level;
    if (!importLargest(package, mapName, level)) {
        std::fprintf(stderr, "viewer_modes_bench: no map of %s could be imported\n", package.c_str());
        return 1;
    }

    std::string error;
    const auto context = HeadlessContext::create(width, height, error);
    if (!context) {
        std::fprintf(stderr, "viewer_modes_bench: %s\n", error.c_str());
        return 0;  // nothing to measure on a machine without EGL
    }
    const auto renderer = GlRenderer::create(error);
    if (!renderer) {
        std::fprintf(stderr, "viewer_modes_bench: %s\n", error.c_str());
        return 1;
    }
    ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter, level.report.spawnPoint);
    walkthrough.setAspectRatio(static_cast<float>(width) / static_cast<float>(height));
    for (int i = 0; i < 200; ++i) walkthrough.step();  // stand on the floor
    walkthrough.update();
    renderer->buildVertexBuffer(level.geometry, level.partition);
    renderer->applyProjection(walkthrough.fieldOfView(), walkthrough.aspectRatio());
    renderer->setViewport(width, height);

    std::vector<Mode> modes{
        {"plain (vertex)", [](WalkthroughView&, Walkthrough&) {}},
        {"pixel", [](WalkthroughView& v, Walkthrough&) { v.shading = Shading::pixel; }},
        {"flat", [](WalkthroughView& v, Walkthrough&) { v.shading = Shading::flat; }},
        {"edges (G)", [](WalkthroughView& v, Walkthrough&) { v.wireframe = true; }},
        {"every space (B)", [](WalkthroughView& v, Walkthrough&) { v.allSpaces = true; }},
        {"frozen (V)", [](WalkthroughView& v, Walkthrough& w) { v.freeze(w); }},
        {"space boxes (N)", [](WalkthroughView& v, Walkthrough&) { v.spaceBoxes = true; }},
        {"info panel (Tab)", [](WalkthroughView& v, Walkthrough&) { v.infoPanel = true; }},
    };
    std::vector<WalkthroughView> views(modes.size());
    for (std::size_t m = 0; m < modes.size(); ++m) modes[m].set(views[m], walkthrough);

    FrameStatistics statistics;
    statistics.start(0);
    FrameLists lists;
    std::vector<PanelLine> panel;
    FrameTimes times;
    std::uint32_t now = 0;
    const auto frame = [&](WalkthroughView& view) {
        view.buildFrame(walkthrough, lists);
        FrameOverlays overlays;
        if (view.infoPanel) {
            describeFrame(walkthrough, view, lists, times.lastSecond(now), panel);
            overlays.panel = &panel;
        }
        renderer->drawFrame(walkthrough, lists, statistics, now, overlays);
        times.add(now, 16.0f);
        now += 16;
    };

    // Warm up every mode (buffers grow, the panel font is made), then alternate blocks.
    for (WalkthroughView& view : views) {
        for (int k = 0; k < 3; ++k) frame(view);
    }
    glFinish();
    constexpr int blocks = 5;
    constexpr int framesPerBlock = 10;
    for (int block = 0; block < blocks; ++block) {
        for (std::size_t m = 0; m < modes.size(); ++m) {
            for (int k = 0; k < framesPerBlock; ++k) {
                const double start = threadSeconds();
                frame(views[m]);
                modes[m].seconds += threadSeconds() - start;
                modes[m].listed = lists.listedCount;
                glFinish();
            }
        }
    }

    // The search alone: plain against recording every outcome.
    constexpr int searches = 200;
    std::vector<std::uint32_t> list;
    SearchRecord record;
    double plainSearch = 0.0;
    double recordedSearch = 0.0;
    for (int k = 0; k < searches; ++k) {
        double start = threadSeconds();
        list.clear();
        walkthrough.collectVisibleSpaces(list);
        plainSearch += threadSeconds() - start;
        start = threadSeconds();
        walkthrough.collectVisibleSpaces(record);
        recordedSearch += threadSeconds() - start;
    }

    const double frames = blocks * framesPerBlock;
    std::printf("level %s of %s: %zu triangles, %zu spaces, %dx%d\n", level.name.c_str(), package.c_str(),
                level.geometry.triangles.size(), level.partition.spaces.size(), width, height);
    std::printf("frame CPU time (search, lists, draw submission), %d frames per mode:\n", blocks * framesPerBlock);
    const double plain = modes[0].seconds / frames;
    for (const Mode& mode : modes) {
        const double perFrame = mode.seconds / frames;
        std::printf("  %-18s %8.3f ms  x%.2f  (%zu listed)\n", mode.name, perFrame * 1e3, perFrame / plain,
                    mode.listed);
    }
    std::printf("search alone: plain %.3f ms, recording every outcome %.3f ms (x%.2f)\n", plainSearch / searches * 1e3,
                recordedSearch / searches * 1e3, recordedSearch / plainSearch);
    return 0;
}
