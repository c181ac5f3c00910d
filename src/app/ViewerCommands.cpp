// play: straight into the walk-through of a level, without the main dialog.
#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "play/WalkthroughWindow.h"

#ifdef VANTRELL_IMPORT
#include "import/IbspImport.h"
#endif

#include <CLI/CLI.hpp>

#include <array>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

namespace vantrell {

namespace {

struct PlayArguments {
    std::string level;
    std::string mapName;
};

// True when the file starts like an IBSP level ("IBSP") or a .pk3 (zip) archive ("PK\3\4").
// Everything else, our own levels and files that cannot be opened included, goes to our
// own loader, so that its messages and exit statuses stay those of info.
[[maybe_unused]] bool isImportable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, 4> head{};
    if (!in.read(head.data(), head.size())) return false;
    const bool ibsp = head[0] == 'I' && head[1] == 'B' && head[2] == 'S' && head[3] == 'P';
    const bool zip = head[0] == 'P' && head[1] == 'K' && head[2] == 3 && head[3] == 4;
    return ibsp || zip;
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
#ifdef VANTRELL_IMPORT
    if (!arguments.mapName.empty() || isImportable(arguments.level)) {
        ImportOptions importOptions;
        importOptions.mapName = arguments.mapName;
        ImportReport report;
        std::string error;
        if (!importLevel(arguments.level, importOptions, level.geometry, level.partition, report, error)) {
            reportError("play", "cannot import " + arguments.level + ": " + error);
            return exitFailure;
        }
        options.startPosition = report.spawnPoint;
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
    switch (startWalkthrough(level.geometry, level.partition, options)) {
    case WalkthroughResult::ended: return exitSuccess;
    case WalkthroughResult::alreadyRunning: return exitFailure;  // cannot happen from the command line
    case WalkthroughResult::noWindow: return exitFailure;
    }
    return exitFailure;
}

}  // namespace

void addViewerCommands(CLI::App& app, int& exitCode) {
    auto arguments = std::make_shared<PlayArguments>();
    CLI::App* command = app.add_subcommand(
        "play", "Walk through LEVEL in a window (W A S D or arrows walk, Space jumps, C crouches, the mouse "
                "looks, F12 saves a screenshot, Escape ends)");
    command->add_option("level", arguments->level, "the level file")->required();
    command->add_option("--map", arguments->mapName, "the map to import from a .pk3 archive: NAME, maps/NAME or maps/NAME.bsp");
    command->callback([arguments, &exitCode] { exitCode = play(*arguments); });
}

}  // namespace vantrell
