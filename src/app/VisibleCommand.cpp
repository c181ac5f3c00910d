// visible: the spaces a frame draws from an eye, in search order, run headless on a level file.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "app/ViewArguments.h"

namespace vantrell {
namespace {

int runVisible(const ViewOptions& options) {
    LoadedLevel level;
    if (const int status = loadValidLevel("visible", options.path, level); status != exitSuccess) return status;
    SpaceVisibility visibility(level.partition, level.geometry);
    std::vector<std::uint32_t> list;
    visibility.collectVisibleSpaces(viewPointOf(options), list);
    std::string line;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i != 0) line += ' ';
        line += std::to_string(list[i]);
    }
    std::cout << line << '\n';
    return exitSuccess;
}

}  // namespace

void addVisibleCommand(CLI::App& app, int& exitCode) {
    const auto visible = std::make_shared<ViewOptions>();
    auto* visibleCommand = app.add_subcommand(
        "visible",
        "List the spaces a frame would draw, in search order, for a standing camera whose eye is at\n"
        "--eye looking along --forward.");
    addViewOptions(*visibleCommand, *visible);
    visibleCommand->callback([visible, &exitCode] { exitCode = runVisible(*visible); });
}

}  // namespace vantrell
