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

// True when the file starts with our format's magic and version ("BSP" 5); anything else
// is left to the importer.
[[maybe_unused]] bool isOwnLevelFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, 4> head{};
    if (!in.read(head.data(), head.size())) return false;
    return head[0] == 'B' && head[1] == 'S' && head[2] == 'P' && head[3] == 5;
}

int play(const PlayArguments& arguments) {
    LoadedLevel level;
    WalkthroughOptions options;
    options.debug = debugRequestedByEnvironment();
#ifdef VANTRELL_IMPORT
    if (!arguments.mapName.empty() || !isOwnLevelFile(arguments.level)) {
        ImportOptions importOptions;
        importOptions.mapName = arguments.mapName;
        ImportReport report;
        std::string error;
        if (!importLevel(arguments.level, importOptions, level.geometry, level.partition, report, error)) {
            std::cerr << "vantrell: cannot import " << arguments.level << ": " << error << '\n';
            return 1;
        }
        options.startPosition = report.spawnPoint;
    } else if (const int status = loadValidLevel(arguments.level, level); status != 0) {
        return status;
    }
#else
    if (!arguments.mapName.empty()) {
        std::cerr << "vantrell: --map needs the importer, which this build leaves out\n";
        return 1;
    }
    if (const int status = loadValidLevel(arguments.level, level); status != 0) return status;
#endif
    switch (startWalkthrough(level.geometry, level.partition, options)) {
    case WalkthroughResult::ended: return 0;
    case WalkthroughResult::alreadyRunning: return 1;  // cannot happen from the command line
    case WalkthroughResult::noWindow: return 5;
    }
    return 1;
}

}  // namespace

void addViewerCommands(CLI::App& app, int& exitCode) {
    auto arguments = std::make_shared<PlayArguments>();
    CLI::App* command = app.add_subcommand(
        "play", "Walk through LEVEL in a window (W A S D or arrows walk, Space jumps, C crouches, the mouse "
                "looks, F12 saves a screenshot, Escape ends)");
    command->add_option("level", arguments->level, "the level file")->required();
    command->add_option("--map", arguments->mapName, "the map to import from a .pk3 archive (maps/NAME.bsp)");
    command->callback([arguments, &exitCode] { exitCode = play(*arguments); });
}

}  // namespace vantrell
