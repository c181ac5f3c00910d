// info: what a level file holds, whether it is valid and walkable.
#include <CLI/CLI.hpp>
#include <iostream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "app/LevelSummary.h"
#include "level/WalkableCheck.h"

namespace vantrell {
namespace {

struct InfoOptions {
    std::string path;
    bool json = false;
};

nlohmann::json walkableJson(const WalkableReport& report) {
    nlohmann::json examples = nlohmann::json::array();
    for (const WalkableOffence& o : report.examples)
        examples.push_back({{"space", o.space}, {"triangle", o.triangle}, {"problem", o.problem}});
    nlohmann::json out = {{"checked", report.checked}, {"offences", report.offences}, {"examples", examples}};
    if (!report.checked) out["why"] = report.why;
    return out;
}

void printWalkable(const WalkableReport& report) {
    if (!report.checked) {
        std::cout << "  walkable: not checked (" << report.why << ")\n";
        return;
    }
    if (report.offences == 0) {
        std::cout << "  walkable: yes\n";
        return;
    }
    std::cout << "  walkable: no, " << report.offences << " offending (space, triangle) pair"
              << (report.offences == 1 ? "" : "s") << ":\n";
    for (const WalkableOffence& o : report.examples)
        std::cout << "    space " << o.space << ", triangle " << o.triangle << ": " << o.problem << '\n';
    if (report.offences > report.examples.size())
        std::cout << "    ... and " << report.offences - report.examples.size() << " more\n";
}

// A level that was read, even a broken one, is summarised on standard output: that and the
// load result as exit status are what info is for. A file that cannot be read is an error.
int runInfo(const std::string& path, bool json) {
    const LoadedLevel level = loadLevelFile(path);
    if (!level.openError.empty()) {
        reportError("info", loadFailureMessage(path, level));
        return resultCode(parseNotALevelFile);
    }
    // Only a valid level may be indexed; the walkable check is a report of its own, which
    // does not change the exit status.
    const std::optional<WalkableReport> walkable =
        level.valid() ? std::optional<WalkableReport>(checkWalkable(level.geometry, level.partition)) : std::nullopt;
    const LevelSummary s = summariseLevel(level);
    const LevelGeometry& g = level.geometry;
    const SpacePartition& p = level.partition;
    const int status = level.result != parseLoaded ? resultCode(level.result)
                       : level.problems.empty()    ? 0
                                                   : exitInvalidLevel;
    if (json) {
        nlohmann::json out = {
            {"result", resultCode(level.result)},
            {"message", parseResultMessage(level.result)},
            {"vertices", g.vertices.size()},
            {"normals", g.normals.size()},
            {"planes", g.planes.size()},
            {"triangles", g.triangles.size()},
            {"nodes", p.nodes.size()},
            {"spaces", p.spaces.size()},
            {"triangleEntries", s.triangleEntries},
            {"adjacencyRows", p.adjacency.rowCount()},
            {"adjacencyRowBytes", s.rowBytes},
            {"neighbourLinks", s.neighbourLinks},
            {"valid", level.valid()},
            {"problems", level.problems},
            {"walkable", walkable ? nlohmann::json(walkable->walkable()) : nlohmann::json(nullptr)},
        };
        if (walkable) out["walkableCheck"] = walkableJson(*walkable);
        std::cout << out.dump(2) << '\n';
        return status;
    }
    std::cout << path << ": " << parseResultMessage(level.result) << " (result " << resultCode(level.result) << ")\n";
    // Without a header that was read there is nothing to count.
    if (level.result == parseNotALevelFile || level.result == parseWrongVersion) return status;
    std::cout << "  vertices " << g.vertices.size() << ", normals " << g.normals.size() << ", planes "
              << g.planes.size() << ", triangles " << g.triangles.size() << '\n'
              << "  nodes " << p.nodes.size() << ", spaces " << p.spaces.size() << ", triangle entries "
              << s.triangleEntries << '\n'
              << "  adjacency " << p.adjacency.rowCount() << " rows of " << s.rowBytes << " bytes, " << s.neighbourLinks
              << " neighbour links\n";
    if (s.haveBounds) {
        const BoundingBox& b = s.bounds;
        std::cout << "  bounds of all spaces (" << formatFloat(b.minX) << ", " << formatFloat(b.minY) << ", "
                  << formatFloat(b.minZ) << ") to (" << formatFloat(b.maxX) << ", " << formatFloat(b.maxY) << ", "
                  << formatFloat(b.maxZ) << ")\n";
    }
    if (level.result == parseLoaded) {
        if (level.problems.empty()) {
            std::cout << "  valid: yes\n";
            if (walkable) printWalkable(*walkable);
        } else {
            std::cout << "  valid: no, " << level.problems.size() << " problem"
                      << (level.problems.size() == 1 ? "" : "s") << ":\n";
            for (const std::string& problem : level.problems) std::cout << "    " << problem << '\n';
        }
    }
    return status;
}

}  // namespace

void addInfoCommand(CLI::App& app, int& exitCode) {
    auto* info = app.add_subcommand("info",
                                    "Load a level into empty containers, validate it and summarise it.\n"
                                    "Exit status: the load result 0..3, or 4 for an invalid level (2 also for bad\n"
                                    "arguments). A file that cannot be read gives 1 and nothing on standard output.");
    const auto options = std::make_shared<InfoOptions>();
    info->add_option("LEVEL", options->path, "level file (.bsp)")->required();
    info->add_flag("--json", options->json, "print one JSON object");
    info->callback([options, &exitCode] { exitCode = runInfo(options->path, options->json); });
}

}  // namespace vantrell
