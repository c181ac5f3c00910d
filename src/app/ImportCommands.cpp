// import: turns an IBSP game level (or one held by a .pk3 archive) into a level file.
#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "import/IbspImport.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

namespace vantrell {
namespace {

bool isArchive(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[2] = {};
    return in.read(magic, 2) && std::memcmp(magic, "PK", 2) == 0;
}

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

int runImport(const std::string& input, const std::string& output, const std::string& mapName, float scale) {
    if (mapName.empty() && isArchive(input)) {
        std::vector<std::string> maps;
        std::string error;
        if (!listArchiveMaps(input, maps, error)) {
            std::cerr << "vantrell: " << error << '\n';
            return 1;
        }
        std::cout << input << " holds " << maps.size() << (maps.size() == 1 ? " map" : " maps")
                  << " (pick one with --map):\n";
        for (const std::string& m : maps) std::cout << "  " << m << '\n';
        return 0;
    }
    if (output.empty()) {
        std::cerr << "vantrell: import needs an OUTPUT file\n";
        return 1;
    }
    ImportOptions options;
    options.mapName = mapName;
    options.scale = scale;
    LevelGeometry geometry;
    SpacePartition partition;
    ImportReport report;
    std::string error;
    if (!importLevel(input, options, geometry, partition, report, error)) {
        std::cerr << "vantrell: cannot import " << input << ": " << error << '\n';
        return 1;
    }
    for (const std::string& warning : report.warnings) std::cerr << "vantrell: warning: " << warning << '\n';
    if (!writeLevelFile(output, geometry, partition)) {
        std::cerr << "vantrell: cannot write " << output << '\n';
        return 2;
    }
    std::cout << "imported " << report.mapName << " into " << output << '\n'
              << "  vertices " << report.vertices << ", triangles " << report.triangles << ", planes " << report.planes
              << ", nodes " << report.nodes << '\n'
              << "  spaces " << report.spaces << " (" << report.openSpaces << " open), portals " << report.portals
              << ", neighbour links " << report.neighbourLinks << '\n'
              << "  surfaces left out " << report.skippedSurfaces << '\n';
    if (report.spawnFound) {
        std::cout << "  spawn at " << formatFloat(report.spawnOrigin.x) << ',' << formatFloat(report.spawnOrigin.y) << ','
                  << formatFloat(report.spawnOrigin.z) << " (file units), angle " << formatFloat(report.spawnAngle)
                  << ", level turned by " << report.quarterTurns * 90 << " degrees; body starts at 0,0,0\n";
    } else {
        std::cout << "  no spawn point: the file origin is at 0,0,0\n";
    }
    std::cout << "  time " << formatSeconds(report.seconds) << " s\n";
    return 0;
}

}  // namespace

void addImportCommands(CLI::App& app, int& exitCode) {
    auto* import = app.add_subcommand("import", "Import an IBSP v46 game level, or one from a .pk3 archive, as a level file.\n"
                                                "Without --map, a .pk3 input lists the maps it holds.");
    static std::string input;
    static std::string output;
    static std::string mapName;
    static float scale = 1.0f / 50.0f;
    import->add_option("INPUT", input, "an IBSP file (.bsp) or a .pk3 archive")->required();
    import->add_option("OUTPUT", output, "the level file to write (.bsp)");
    import->add_option("--map", mapName, "the map inside the archive, e.g. maps/NAME.bsp");
    import->add_option("--scale", scale, "level units per file unit (default 1/50: the game's eye height becomes 1)")
        ->check(CLI::PositiveNumber);
    import->callback([&exitCode] { exitCode = runImport(input, output, mapName, scale); });
}

}  // namespace vantrell
