// Headless frames per second on the largest sample level: frames drawing the visible list
// against frames drawing every space, measured side by side in one run and printed with
// their ratio. Each frame ends with glFinish so that the software rasteriser's work counts.
//
// Usage: render_bench [LEVEL.bsp] [WxH]   (default: the largest examples/*.bsp, 800x600)
#include <epoxy/gl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>

#include "level/LevelFile.h"
#include "play/GlRenderer.h"
#include "play/HeadlessContext.h"
#include "walk/Walkthrough.h"

namespace {

std::string largestSampleLevel() {
    std::string best;
    std::uintmax_t bestSize = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(VANTRELL_SOURCE_DIR "/examples", error)) {
        if (entry.path().extension() != ".bsp") continue;
        const std::uintmax_t size = entry.file_size(error);
        if (!error && size > bestSize) {
            bestSize = size;
            best = entry.path().string();
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vantrell;
    const std::string path = argc > 1 ? argv[1] : largestSampleLevel();
    int width = 800;
    int height = 600;
    if (argc > 2 && std::sscanf(argv[2], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "render_bench: size must be WxH\n");
        return 2;
    }
    if (path.empty()) {
        std::fprintf(stderr, "render_bench: no level given and no examples/*.bsp found\n");
        return 2;
    }
    const LoadedLevel level = loadLevelFile(path);
    if (!level.valid()) {
        std::fprintf(stderr, "render_bench: %s is not a valid level\n", path.c_str());
        return 1;
    }
    std::string error;
    const auto context = HeadlessContext::create(width, height, error);
    if (!context) {
        std::fprintf(stderr, "render_bench: %s\n", error.c_str());
        return 0;  // nothing to measure on a machine without EGL
    }
    const auto renderer = GlRenderer::create(error);
    if (!renderer) {
        std::fprintf(stderr, "render_bench: %s\n", error.c_str());
        return 1;
    }
    ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter);
    walkthrough.setAspectRatio(static_cast<float>(width) / static_cast<float>(height));
    for (int i = 0; i < 200; ++i) walkthrough.step();  // stand on the floor
    walkthrough.update();                              // and draw from there
    renderer->buildVertexBuffer(level.geometry, level.partition);
    renderer->applyProjection(walkthrough.fieldOfView(), walkthrough.aspectRatio());
    renderer->setViewport(width, height);

    std::vector<std::uint32_t> everySpace(level.partition.spaces.size());
    std::iota(everySpace.begin(), everySpace.end(), 0u);
    FrameStatistics statistics;
    statistics.start(0);

    using Clock = std::chrono::steady_clock;
    // Alternating blocks of both kinds, so that drift of the machine hits both alike.
    constexpr int blocks = 10;
    constexpr int framesPerBlock = 30;
    Clock::duration visibleTime{};
    Clock::duration everyTime{};
    std::size_t visibleSpaces = 0;
    std::uint32_t now = 0;
    for (int warm = 0; warm < 10; ++warm) renderer->renderFrame(walkthrough, statistics, now++);
    glFinish();
    for (int block = 0; block < blocks; ++block) {
        auto start = Clock::now();
        for (int frame = 0; frame < framesPerBlock; ++frame) {
            visibleSpaces += renderer->renderFrame(walkthrough, statistics, now++);
            glFinish();
        }
        visibleTime += Clock::now() - start;
        start = Clock::now();
        for (int frame = 0; frame < framesPerBlock; ++frame) {
            renderer->renderSpaces(walkthrough, statistics, now++, everySpace);
            glFinish();
        }
        everyTime += Clock::now() - start;
    }
    const double frames = blocks * framesPerBlock;
    const double visibleFps = frames / std::chrono::duration<double>(visibleTime).count();
    const double everyFps = frames / std::chrono::duration<double>(everyTime).count();
    std::printf("level %s, %dx%d, %zu spaces, %zu vertices\n", path.c_str(), width, height,
                level.partition.spaces.size(), renderer->vertexCount());
    std::printf("visible list: %.1f spaces per frame, %.1f frames/s\n", static_cast<double>(visibleSpaces) / frames,
                visibleFps);
    std::printf("every space:  %zu spaces per frame, %.1f frames/s\n", everySpace.size(), everyFps);
    std::printf("ratio visible / every: %.3f\n", visibleFps / everyFps);
    return 0;
}
