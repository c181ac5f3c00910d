// import: turns an IBSP game level (or one held by a .pk3 archive) into a level file.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "app/InputKind.h"
#include "app/OptionChecks.h"
#include "compile/Compiler.h"
#include "import/IbspImport.h"
#include "io/OutputFile.h"

namespace vantrell {
namespace {

struct ImportArguments {
    std::string input;
    std::string output;
    std::string mapName;
    float scale = 1.0f / 50.0f;
    bool force = false;
    bool keepTree = false;
};

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// NAME.bsp in the working directory, NAME from the archive's map or the input file.
std::string defaultOutput(const std::string& input, const std::string& mapEntry) {
    const std::filesystem::path from =
        mapEntry.empty() ? std::filesystem::path(input) : std::filesystem::path(mapEntry);
    return from.stem().string() + ".bsp";
}

void printReport(const ImportReport& report, const std::string& output, std::uint64_t fileBytes) {
    std::cout << "imported " << report.mapName << " into " << output << '\n'
              << "  vertices " << report.vertices << ", triangles " << report.triangles << ", planes " << report.planes
              << ", nodes " << report.nodes << '\n'
              << "  spaces " << report.spaces << " (" << report.openSpaces << " open"
              << (report.rebuilt ? ", rebuilt from " + std::to_string(report.fileLeaves) + " leaves" : std::string())
              << "), portals " << report.portals << ", neighbour links " << report.neighbourLinks << '\n'
              << "  surfaces left out " << report.skippedSurfaces << '\n';
    if (report.spawnFound) {
        std::cout << "  spawn at " << formatFloat(report.spawnOrigin.x) << ',' << formatFloat(report.spawnOrigin.y)
                  << ',' << formatFloat(report.spawnOrigin.z) << " (file units), angle "
                  << formatFloat(report.spawnAngle) << ", level turned by " << report.quarterTurns * 90
                  << " degrees; body starts at 0,0,0\n";
    } else {
        std::cout << "  no spawn point: the file origin is at 0,0,0\n";
    }
    std::cout << "  file " << fileBytes << " bytes\n";
    std::cout << "  time " << formatSeconds(report.seconds) << " s\n";
}

int runImport(const ImportArguments& arguments) {
    const std::string& input = arguments.input;
    const auto fail = [](const std::string& message, int status) {
        reportError("import", message);
        return status;
    };
    if (const std::string problem = inputFileProblem(input); !problem.empty()) return fail(problem, exitFailure);

    std::string mapEntry;
    if (inputKindOf(input) == InputKind::gameArchive) {
        std::vector<std::string> maps;
        std::string error;
        if (arguments.mapName.empty()) {
            if (!listArchiveMaps(input, maps, error)) return fail(error, exitFailure);
            // Asked for a file but not told which map: list them where the error goes.
            if (!arguments.output.empty()) {
                std::string message = input + " is an archive: name the map to import with --map; it holds";
                for (const std::string& m : maps) message += "\n  " + m;
                if (maps.empty()) message += " no maps";
                return fail(message, exitUsage);
            }
            std::cout << input << " holds " << maps.size() << (maps.size() == 1 ? " map" : " maps")
                      << " (pick one with --map):\n";
            for (const std::string& m : maps) std::cout << "  " << m << '\n';
            return exitSuccess;
        }
        if (!findArchiveMap(input, arguments.mapName, mapEntry, error)) {
            // A path to an entry outside maps/ is still tried by the import itself.
            if (arguments.mapName.find('/') == std::string::npos || arguments.mapName.rfind("maps/", 0) == 0)
                return fail(error, exitFailure);
            mapEntry = arguments.mapName;
        }
    }

    const std::string output = arguments.output.empty() ? defaultOutput(input, mapEntry) : arguments.output;
    // Refused before the work, and again by the write for a file made meanwhile.
    const std::string inputs[] = {input};
    if (const std::string refusal = refuseOutput(output, inputs, arguments.force); !refusal.empty())
        return fail(refusal, exitFailure);

    ImportOptions options;
    options.mapName = mapEntry;
    options.scale = arguments.scale;
    options.keepTree = arguments.keepTree;
    LevelGeometry geometry;
    SpacePartition partition;
    ImportReport report;
    std::string error;
    if (!importLevel(input, options, geometry, partition, report, error))
        return fail("cannot import " + input + ": " + error, exitFailure);
    for (const std::string& warning : report.warnings) reportError("import", "warning: " + warning);
    const bool written = writeFileAtomically(
        output, [&](std::ostream& out) { return writeLevel(out, geometry, partition); }, error,
        arguments.force ? ExistingFile::replace : ExistingFile::keep);
    if (!written) return fail(error + (errno == EEXIST ? " (--force replaces it)" : ""), exitFailure);
    printReport(report, output, levelFileBytes(geometry, partition));
    return exitSuccess;
}

}  // namespace

void addImportCommands(CLI::App& app, int& exitCode) {
    auto* import =
        app.add_subcommand("import",
                           "Import an IBSP v46 game level, or one from a .pk3 archive, as a level file.\n"
                           "Without --map, a .pk3 input lists the maps it holds. An existing OUTPUT is kept\n"
                           "unless --force is given; the input is never written over.");
    static ImportArguments arguments;
    import->add_option("INPUT", arguments.input, "an IBSP file (.bsp) or a .pk3 archive")->required();
    import->add_option("OUTPUT", arguments.output,
                       "the level file to write (default: NAME.bsp in the working directory, NAME the map's\n"
                       "or the input's)");
    import->add_option("--map", arguments.mapName, "the map inside the archive: NAME, maps/NAME or maps/NAME.bsp");
    import
        ->add_option("--scale", arguments.scale,
                     "level units per file unit (default 1/50: the game's eye height becomes 1)")
        ->check(positiveNumber("S"));
    import->add_flag("--force", arguments.force, "replace OUTPUT if it exists");
    import->add_flag("--keep-tree", arguments.keepTree,
                     "keep the file's own tree, one space per leaf, instead of rebuilding it so that every space\n"
                     "is bounded by its own triangles");
    import->callback([&exitCode] { exitCode = runImport(arguments);
});
}  // namespace vantrell

}  // namespace vantrell
