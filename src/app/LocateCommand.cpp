// locate: the space of a level that holds a point.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/CommandSupport.h"
#include "app/Commands.h"

namespace vantrell {
namespace {

struct LocateOptions {
    std::string path;
    std::string point;
};

int runLocate(const std::string& path, const std::string& pointText) {
    std::string error;
    const std::optional<Vector3> point = parseVector3(pointText, error);
    if (!point) {
        reportError("locate", error);
        return exitUsage;
    }
    LoadedLevel level;
    if (const int status = loadValidLevel("locate", path, level); status != exitSuccess) return status;
    // The tree puts every point in some space; one that no space's box holds is in none really.
    std::cout << locateSpace(level.geometry, level.partition, 0, *point) << '\n' << std::flush;
    const auto& spaces = level.partition.spaces;
    if (std::none_of(spaces.begin(), spaces.end(), [&](const Space& s) { return contains(s.bounds, *point); }))
        reportError("locate", pointText + " is outside the level's boxes");
    return exitSuccess;
}

}  // namespace

void addLocateCommand(CLI::App& app, int& exitCode) {
    auto* locate = app.add_subcommand("locate",
                                      "Print the space that holds a point, walking the tree from node 0.\n"
                                      "A point outside every space's box is also said so on standard error.");
    const auto options = std::make_shared<LocateOptions>();
    locate->add_option("LEVEL", options->path, "level file (.bsp)")->required();
    locate->add_option("POINT", options->point, "the point as X,Y,Z")->required();
    locate->callback([options, &exitCode] { exitCode = runLocate(options->path, options->point); });
}

}  // namespace vantrell
