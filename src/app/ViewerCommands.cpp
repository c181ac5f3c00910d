// play: straight into the walk-through of a level, without the main dialog.
#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "app/InputKind.h"
#include "math/Vector.h"
#include "play/WalkthroughWindow.h"

#ifdef VANTRELL_IMPORT
#include "import/IbspImport.h"
#endif
#ifdef VANTRELL_SCENE
#include "app/SceneCompile.h"
#endif

#include <CLI/CLI.hpp>
#include <array>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace vantrell {

namespace {

struct PlayArguments {
    std::string level;
    std::string mapName;
    std::string position;  // empty: the level's start (the origin, or an imported spawn)
    std::string forward = "1,0,0";
    std::string size = "800x600";
    float fieldOfViewDegrees = 45.0f;
    bool fullscreen = false;
    std::string shading = "vertex";
};

// Reads the window and camera options into options; false (with the reason printed) when
// one is malformed.
bool readViewOptions(const PlayArguments& arguments, WalkthroughOptions& options, bool& hasPosition) {
    std::string error;
    hasPosition = !arguments.position.empty();
    if (hasPosition) {
        const auto p = parseVector3(arguments.position, error);
        if (!p) {
            reportError("play", "--position: " + error);
            return false;
        }
        options.startPosition = *p;
    }
    const auto forward = parseDirection(arguments.forward, error);
    if (!forward) {
        reportError("play", "--forward: " + error);
        return false;
    }
    options.startForward = *forward;
    if (!parseSize(arguments.size, options.windowWidth, options.windowHeight, error)) {
        reportError("play", "--size: " + error);
        return false;
    }
    const std::optional<Shading> shading = shadingNamed(arguments.shading);
    if (!shading) {
        reportError("play", "--shading must be vertex, pixel or flat, not \"" + arguments.shading + "\"");
        return false;
    }
    options.shading = *shading;
    options.fieldOfView = radiansFromDegrees(arguments.fieldOfViewDegrees);
    options.fullscreen = arguments.fullscreen;
    return true;
}

int play(const PlayArguments& arguments) {
    LoadedLevel level;
    WalkthroughOptions options;
    options.debug = debugRequestedByEnvironment();
    options.errorPrefix = "vantrell: play: ";
    if (const std::string problem = inputFileProblem(arguments.level); !problem.empty()) {
        reportError("play", problem);
        return exitFailure;
    }
    bool hasPosition = false;
    if (!readViewOptions(arguments, options, hasPosition)) return exitUsage;
    bool compiled = false;
#ifdef VANTRELL_SCENE
    // A mesh scene is compiled in memory first.
    if (arguments.mapName.empty() && inputKindOf(arguments.level) == InputKind::scene) {
        SceneCompileRequest request;
        request.scene = arguments.level;
        request.progress = [](const std::string& line) { std::cout << line << std::endl; };
        CompileReport report;
        bool read = false;
        std::string error;
        const bool ok = compileScene(request, level.geometry, level.partition, report, read, error);
        for (const std::string& warning : report.warnings) reportError("play", "warning: " + warning);
        if (!ok) {
            reportError("play", (read ? "cannot compile " : "cannot read ") + arguments.level + ": " + error);
            return exitFailure;
        }
        compiled = true;
    }
#endif
    if (!compiled) {
#ifdef VANTRELL_IMPORT
        if (!arguments.mapName.empty() || inputKindOf(arguments.level) != InputKind::level) {
            ImportOptions importOptions;
            importOptions.mapName = arguments.mapName;
            ImportReport report;
            std::string error;
            if (!importLevel(arguments.level, importOptions, level.geometry, level.partition, report, error)) {
                reportError("play", "cannot import " + arguments.level + ": " + error);
                return exitFailure;
            }
            if (!hasPosition) options.startPosition = report.spawnPoint;
        } else if (const int status = loadValidLevel("play", arguments.level, level); status != exitSuccess) {
            return status;
        }
#else
        if (!arguments.mapName.empty()) {
            reportError("play", "--map needs the importer, which this build leaves out");
            return exitUsage;
        }
        if (const int status = loadValidLevel("play", arguments.level, level); status != exitSuccess) return status;
#endif
    }
    switch (startWalkthrough(level.geometry, level.partition, options)) {
        case WalkthroughResult::ended:
            return exitSuccess;
        case WalkthroughResult::alreadyRunning:
            return exitFailure;  // cannot happen from the command line
        case WalkthroughResult::noWindow:
            return exitFailure;
    }
    return exitFailure;
}

}  // namespace

void addViewerCommands(CLI::App& app, int& exitCode) {
    auto arguments = std::make_shared<PlayArguments>();
    CLI::App* command = app.add_subcommand("play",
                                           "Walk through LEVEL in a window.\n"
                                           "Keys:\n"
                                           "  mouse          look around\n"
                                           "  W A S D, arrows walk (fly: along the view)\n"
                                           "  Space          jump (fly: up)\n"
                                           "  C (held)       crouch (fly: down)\n"
                                           "  Shift (held)   fly faster\n"
                                           "  L              shading: vertex, pixel, flat\n"
                                           "  G              triangle edges over the faces\n"
                                           "  B              every space (visibility search off)\n"
                                           "  V              freeze the visible set (walk away to see it)\n"
                                           "  N              boxes of the listed spaces\n"
                                           "  F              fly (no gravity, no collision); again to land\n"
                                           "  Tab            info panel\n"
                                           "  F11            fullscreen\n"
                                           "  F12            save a screenshot\n"
                                           "  Escape         end");
    command->add_option("level", arguments->level, "the level file")->required();
    command->add_option("--map", arguments->mapName,
                        "the map to import from a .pk3 archive: NAME, maps/NAME or maps/NAME.bsp");
    command->add_option("--position", arguments->position,
                        "body position X,Y,Z to start at (default: the origin, or an imported level's spawn)");
    command->add_option("--forward", arguments->forward, "look direction X,Y,Z to start with")->capture_default_str();
    command->add_option("--size", arguments->size, "window size WxH")->capture_default_str();
    command->add_option("--fov,--fov-degrees", arguments->fieldOfViewDegrees, "vertical field of view in degrees")
        ->capture_default_str()
        ->check(CLI::Range(1.0f, 179.0f));
    command->add_flag("--fullscreen", arguments->fullscreen, "start fullscreen (F11 switches)");
    command->add_option("--shading", arguments->shading, "start with this shading: vertex, pixel or flat")
        ->capture_default_str();
    command->callback([arguments, &exitCode] { exitCode = play(*arguments); });
}

}  // namespace vantrell
