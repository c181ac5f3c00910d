// render: one frame of a walk-through, drawn with no display at all and written as PNG.
#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "io/OutputFile.h"
#include "math/Vector.h"
#include "play/GlRenderer.h"
#include "play/HeadlessContext.h"
#include "play/PngWriter.h"
#include "play/Walkthrough.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <filesystem>
#include <iostream>

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
};

// Only PNG is written, so the name must say PNG (any case).
bool namesPng(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    if (name.size() <= 4) return false;
    std::string suffix = name.substr(name.size() - 4);
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix == ".png";
}

// "WxH" with both sides in 1..16384; false with why in error otherwise.
bool parseSize(const std::string& text, int& width, int& height, std::string& error) {
    const auto x = text.find_first_of("xX");
    const auto side = [](const std::string& digits, int& out) {
        if (digits.empty() || digits.size() > 5) return false;
        out = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return false;
            out = out * 10 + (c - '0');
        }
        return out >= 1 && out <= 16384;
    };
    if (x == std::string::npos || !side(text.substr(0, x), width) || !side(text.substr(x + 1), height)) {
        error = "size \"" + text + "\" is not WxH with both sides in 1..16384";
        return false;
    }
    return true;
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
    const auto forward = parseVector3(options.forward, error);
    if (!forward) return usage("--forward: " + error);
    if (isZero(*forward)) return usage("--forward must not be the zero vector");

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
    walkthrough.setKeyDown(virtualKey::c, options.crouch);
    walkthrough.setAspectRatio(static_cast<float>(width) / static_cast<float>(height));
    for (int i = 0; i < options.settle; ++i) walkthrough.camera().step();

    renderer->buildVertexBuffer(level.geometry, level.partition);
    renderer->applyProjection(walkthrough.fieldOfView(), walkthrough.aspectRatio());
    renderer->setViewport(width, height);
    FrameStatistics statistics;
    statistics.start(0);
    renderer->renderFrame(walkthrough, statistics, 0);

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
    render->add_option("--settle", options->settle, "Movement steps of 10 ms to run before the frame")
        ->check(CLI::Range(0, 100000));
    render->callback([options, &exitCode] { exitCode = runRender(*options); });
}

}  // namespace vantrell
