// info and locate: what a level file holds, and where a point lies in its tree.
#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "app/LevelSummary.h"
#include "level/WalkableCheck.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>
#include <limits>
#include <optional>

namespace vantrell {
namespace {

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

int runInfo(const std::string& path, bool json) {
    const LoadedLevel level = loadLevelFile(path);
    // Only a valid level may be indexed; the walkable check is a report of its own, which
    // does not change the exit status.
    const std::optional<WalkableReport> walkable =
        level.valid() ? std::optional<WalkableReport>(checkWalkable(level.geometry, level.partition)) : std::nullopt;
    if (!level.openError.empty()) std::cerr << "vantrell: cannot open " << path << ": " << level.openError << '\n';
    const LevelSummary s = summariseLevel(level);
    const LevelGeometry& g = level.geometry;
    const SpacePartition& p = level.partition;
    const int status = level.result != parseLoaded ? static_cast<int>(level.result)
                       : level.problems.empty()     ? 0
                                                    : exitInvalidLevel;
    if (json) {
        nlohmann::json out = {
            {"result", level.result},
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
    std::cout << path << ": " << parseResultMessage(level.result) << " (result " << level.result << ")\n"
              << "  vertices " << g.vertices.size() << ", normals " << g.normals.size() << ", planes "
              << g.planes.size() << ", triangles " << g.triangles.size() << '\n'
              << "  nodes " << p.nodes.size() << ", spaces " << p.spaces.size() << ", triangle entries "
              << s.triangleEntries << '\n'
              << "  adjacency " << p.adjacency.rowCount() << " rows of " << s.rowBytes
              << " bytes, " << s.neighbourLinks << " neighbour links\n";
    if (s.haveBounds) {
        const BoundingBox& b = s.bounds;
        std::cout << "  bounds of all spaces (" << formatFloat(b.minX) << ", " << formatFloat(b.minY) << ", "
                  << formatFloat(b.minZ) << ") to (" << formatFloat(b.maxX) << ", " << formatFloat(b.maxY)
                  << ", " << formatFloat(b.maxZ) << ")\n";
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

int runLocate(const std::string& path, const std::string& pointText) {
    std::string error;
    const std::optional<Vector3> point = parseVector3(pointText, error);
    if (!point) {
        std::cerr << "vantrell locate: " << error << '\n';
        return 2;
    }
    LoadedLevel level;
    if (const int status = loadValidLevel(path, level); status != 0) return status;
    std::cout << locateSpace(level.geometry, level.partition, 0, *point) << '\n';
    return 0;
}

}  // namespace

void addLevelCommands(CLI::App& app, int& exitCode) {
    auto* info = app.add_subcommand("info", "Load a level into empty containers, validate it and summarise it.\n"
                                            "Exit status: the load result 0..3, or 4 for an invalid level.");
    static std::string infoPath;
    static bool json = false;
    info->add_option("LEVEL", infoPath, "level file (.bsp)")->required();
    info->add_flag("--json", json, "print one JSON object");
    info->callback([&exitCode] { exitCode = runInfo(infoPath, json); });

    auto* locate = app.add_subcommand("locate", "Print the space that holds a point, walking the tree from node 0.");
    static std::string locatePath;
    static std::string point;
    locate->add_option("LEVEL", locatePath, "level file (.bsp)")->required();
    locate->add_option("POINT", point, "the point as X,Y,Z")->required();
    locate->callback([&exitCode] { exitCode = runLocate(locatePath, point); });
}

}  // namespace vantrell
