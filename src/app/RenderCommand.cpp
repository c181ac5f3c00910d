// render: one frame of a walk-through, drawn with no display at all and written as PNG.
#include <CLI/CLI.hpp>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <optional>
#include <vector>

#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "io/OutputFile.h"
#include "math/Vector.h"
#include "play/GlRenderer.h"
#include "play/HeadlessContext.h"
#include "play/PngWriter.h"
#include "walk/InfoPanel.h"
#include "walk/Walkthrough.h"
#include "walk/WalkthroughView.h"

namespace vantrell {
namespace {

struct RenderOptions {
    std::string levelPath;
    std::string outputPath;
    std::string size = "800x600";
    std::string position;
    std::string eye;
    std::string forward = "1,0,0";
    bool crouch = false;
    int settle = 0;
    bool force = false;
    std::string shading = "vertex";
    bool wireframe = false;
    bool allSpaces = false;
    bool info = false;
    float fieldOfViewDegrees = 45.0f;
};

// Only PNG is written, so the name must say PNG (any case).
bool namesPng(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    if (name.size() <= 4) return false;
    std::string suffix = name.substr(name.size() - 4);
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix == ".png";
}

int runRender(const RenderOptions& options) {
    int width = 0;
    int height = 0;
    std::string error;
    const auto usage = [](const std::string& message) {
        reportError("render", message);
        return exitUsage;
    };
    if (!namesPng(options.outputPath))
        return usage("-o " + options.outputPath + ": the picture is written as PNG; name it NAME.png");
    if (!parseSize(options.size, width, height, error)) return usage(error);
    Vector3 start{0.0f, 0.0f, 0.0f};
    if (!options.position.empty()) {
        const auto p = parseVector3(options.position, error);
        if (!p) return usage("--position: " + error);
        start = *p;
    } else if (!options.eye.empty()) {
        const auto e = parseVector3(options.eye, error);
        if (!e) return usage("--eye: " + error);
        start = *e - Camera::standingEyeOffset;
    }
    const auto forward = parseDirection(options.forward, error);
    if (!forward) return usage("--forward: " + error);
    const std::optional<Shading> shading = shadingNamed(options.shading);
    if (!shading) return usage("--shading must be vertex, pixel or flat, not \"" + options.shading + "\"");

    LoadedLevel level;
    if (const int status = loadValidLevel("render", options.levelPath, level); status != exitSuccess) return status;
    // Checked before the work and again by the write, which never replaces a file without --force.
    const std::string inputs[] = {options.levelPath};
    if (const std::string refusal = refuseOutput(options.outputPath, inputs, options.force); !refusal.empty()) {
        reportError("render", refusal);
        return exitFailure;
    }

    const auto context = HeadlessContext::create(width, height, error);
    if (!context) {
        reportError("render", "cannot render without a display: " + error);
        return exitFailure;
    }
    const auto renderer = GlRenderer::create(error);
    if (!renderer) {
        reportError("render", error);
        return exitFailure;
    }

    ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter, start, *forward);
    MovementKeys held;
    held.crouch = options.crouch;
    walkthrough.setMovementKeys(held);
    walkthrough.setAspectRatio(static_cast<float>(width) / static_cast<float>(height));
    walkthrough.setFieldOfView(radiansFromDegrees(options.fieldOfViewDegrees));
    for (int i = 0; i < options.settle; ++i) walkthrough.step();
    walkthrough.update();  // the drawn position: where the steps left the body

    renderer->buildVertexBuffer(level.geometry, level.partition);
    renderer->applyProjection(walkthrough.fieldOfView(), walkthrough.aspectRatio());
    renderer->setViewport(width, height);
    FrameStatistics statistics;
    statistics.start(0);
    WalkthroughView view;
    view.shading = *shading;
    view.wireframe = options.wireframe;
    view.allSpaces = options.allSpaces;
    view.infoPanel = options.info;
    FrameLists lists;
    view.buildFrame(walkthrough, lists);
    std::vector<PanelLine> panel;
    if (view.infoPanel) describeFrame(walkthrough, view, lists, FrameTimes{}.lastSecond(0), panel);
    renderer->drawFrame(walkthrough, lists, statistics, 0, {&panel, {}});

    const std::vector<std::uint8_t> pixels = renderer->readPixels(width, height);
    if (!writePng(options.outputPath, width, height, pixels, error,
                  options.force ? ExistingFile::replace : ExistingFile::keep)) {
        reportError("render", error);
        return exitFailure;
    }
    return exitSuccess;
}

}  // namespace

void addRenderCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* render = app.add_subcommand(
        "render", "Draw one frame of a walk-through of LEVEL, overlay included, with no display, as a PNG file");
    render->add_option("LEVEL", options->levelPath, "Level file (.bsp)")->required();
    render->add_option("-o,--output", options->outputPath, "PNG file to write (NAME.png)")->required();
    render->add_flag("--force", options->force, "Replace the output file if it exists");
    render->add_option("--size", options->size, "Picture size WxH in pixels")->capture_default_str();
    auto* position = render->add_option("--position", options->position, "Body position X,Y,Z (default 0,0,0)");
    auto* eye = render->add_option("--eye", options->eye, "Standing eye point X,Y,Z (the body 1 below it)");
    position->excludes(eye);
    render->add_option("--forward", options->forward, "Look direction X,Y,Z")->capture_default_str();
    render->add_flag("--crouch", options->crouch, "Hold C (crouch) for the frame");
    render->add_option("--fov,--fov-degrees", options->fieldOfViewDegrees, "Vertical field of view in degrees")
        ->capture_default_str()
        ->check(CLI::Range(1.0f, 179.0f));
    render->add_option("--shading", options->shading, "vertex (the walk-through's light), pixel or flat")
        ->capture_default_str();
    render->add_flag("--wireframe", options->wireframe, "Draw the triangles' edges over them");
    render->add_flag("--all-spaces", options->allSpaces, "Draw every space, in index order, without the search");
    render->add_flag("--info", options->info, "Draw the info panel into the picture");
    render->add_option("--settle", options->settle, "Movement steps of 10 ms to run before the frame")
        ->check(CLI::Range(0, 100000));
    render->callback([options, &exitCode] { exitCode = runRender(*options); });
}

}  // namespace vantrell
