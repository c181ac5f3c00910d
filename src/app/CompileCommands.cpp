// compile: turns a mesh scene (glTF, OBJ, FBX, Collada, ...) into a walkable level file.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "app/OptionChecks.h"
#include "app/SceneCompile.h"
#include "io/OutputFile.h"
#include "scene/SceneMesh.h"

namespace vantrell {

namespace {

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

std::string formatPoint(const Vector3d& p) {
    char text[96];
    // Adding 0 turns -0 into 0.
    std::snprintf(text, sizeof text, "%.6g,%.6g,%.6g", p.x + 0.0, p.y + 0.0, p.z + 0.0);
    return text;
}

nlohmann::json pointJson(const Vector3d& p) {
    return nlohmann::json::array({p.x, p.y, p.z});
}

struct CompileArguments {
    std::string scene;
    std::string output;
    float scale = 1.0f;
    std::string spawn;
    bool allowLeak = false;
    std::string reportPath;
    bool force = false;
};

nlohmann::json reportJson(const CompileArguments& arguments, const CompileReport& r, bool ok,
                          const std::string& error) {
    nlohmann::json stages = nlohmann::json::array();
    for (const CompileStage& stage : r.stages) stages.push_back({{"name", stage.name}, {"seconds", stage.seconds}});
    nlohmann::json chain = nlohmann::json::array();
    for (const LeakStep& step : r.leakChain) chain.push_back({{"space", step.leaf}, {"point", pointJson(step.point)}});
    nlohmann::json out = {
        {"scene", arguments.scene},
        {"output", arguments.output},
        {"compiled", ok},
        {"error", ok ? nlohmann::json(nullptr) : nlohmann::json(error)},
        {"scale", arguments.scale},
        {"inputTriangles", r.inputTriangles},
        {"droppedTriangles", r.droppedTriangles},
        {"cuts", r.cuts},
        {"triangles", r.outputTriangles},
        {"nodes", r.nodes},
        {"leaves", r.leaves},
        {"openLeaves", r.openLeaves},
        {"solidLeaves", r.solidLeaves},
        {"outsideLeaves", r.outsideLeaves},
        {"unreachableLeaves", r.unreachableLeaves},
        {"spaces", r.spaces},
        {"portals", r.portals},
        {"coveredPortals", r.coveredPortals},
        {"neighbourLinks", r.neighbourLinks},
        {"fileBytes", r.fileBytes},
        {"spawn", {{"point", pointJson(r.spawn)}, {"source", r.spawnSource}}},
        {"leak", {{"leaked", r.leaked}, {"chain", chain}}},
        {"stages", stages},
        {"warnings", r.warnings},
    };
    return out;
}

int runCompile(CompileArguments arguments) {
    const auto fail = [](const std::string& message, int status) {
        reportError("compile", message);
        return status;
    };
    if (const std::string problem = inputFileProblem(arguments.scene); !problem.empty())
        return fail(problem, exitFailure);
    SceneCompileRequest request;
    request.scene = arguments.scene;
    request.scale = arguments.scale;
    request.allowLeak = arguments.allowLeak;
    if (!arguments.spawn.empty()) {
        std::string error;
        const std::optional<Vector3> spawn = parseVector3(arguments.spawn, error);
        if (!spawn) return fail("--spawn " + error, exitUsage);
        request.spawn = toDouble(*spawn);
    }
    // Both outputs are refused before the work, and again by their writes for a file made meanwhile.
    const std::string inputs[] = {arguments.scene};
    if (const std::string refusal = refuseOutput(arguments.output, inputs, arguments.force); !refusal.empty())
        return fail(refusal, exitFailure);
    if (!arguments.reportPath.empty()) {
        if (arguments.reportPath == arguments.output)
            return fail("the report and the level cannot be one file", exitUsage);
        if (const std::string refusal = refuseOutput(arguments.reportPath, inputs, arguments.force); !refusal.empty())
            return fail(refusal, exitFailure);
    }
    request.progress = [](const std::string& line) { std::cout << line << std::endl; };

    LevelGeometry geometry;
    SpacePartition partition;
    CompileReport report;
    bool sceneRead = false;
    std::string error;
    const bool compiled = compileScene(request, geometry, partition, report, sceneRead, error);
    for (const std::string& warning : report.warnings) reportError("compile", "warning: " + warning);
    const auto writeReport = [&](bool ok, const std::string& why) {
        if (arguments.reportPath.empty()) return true;
        std::string writeError;
        const std::string text = reportJson(arguments, report, ok, why).dump(2) + "\n";
        if (!writeFileAtomically(
                arguments.reportPath, [&](std::ostream& out) { return static_cast<bool>(out << text); }, writeError,
                arguments.force ? ExistingFile::replace : ExistingFile::keep)) {
            reportError("compile", writeError);
            return false;
        }
        return true;
    };
    if (!compiled) {
        // A leak's chain is what the report is for: it is written for a failed compile too.
        if (sceneRead) writeReport(false, error);
        return fail((sceneRead ? "cannot compile " : "cannot read ") + arguments.scene + ": " + error, exitFailure);
    }

    const auto started = std::chrono::steady_clock::now();
    const bool written = writeFileAtomically(
        arguments.output, [&](std::ostream& out) { return writeLevel(out, geometry, partition); }, error,
        arguments.force ? ExistingFile::replace : ExistingFile::keep);
    if (!written) return fail(error + (errno == EEXIST ? " (--force replaces it)" : ""), exitFailure);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    report.stages.push_back({"write", seconds});
    std::cout << "write: " << arguments.output << ", " << report.fileBytes << " bytes in " << formatSeconds(seconds)
              << " s\n";
    std::cout << "compiled " << arguments.scene << " into " << arguments.output << ": " << report.spaces << " spaces ("
              << report.leaves << " leaves), " << report.outputTriangles << " triangles, " << report.fileBytes
              << " bytes; the walk starts at " << formatPoint(report.spawn) << " in scene coordinates ("
              << (report.spawnSource == "option"  ? "--spawn"
                  : report.spawnSource == "scene" ? "the scene's spawn node"
                                                  : "the middle of the largest floor")
              << ", on the floor below)\n";
    return writeReport(true, "") ? exitSuccess : exitFailure;
}

}  // namespace

void addCompileCommands(CLI::App& app, int& exitCode) {
    auto* compile = app.add_subcommand(
        "compile",
        "Compile a mesh scene (glTF, OBJ, FBX, Collada, ...) into a level file whose every space is bounded\n"
        "by its own triangles. The walk starts at --spawn, else at an empty node named spawn or\n"
        "info_player_start, else in the middle of the largest floor, standing on the floor below, which\n"
        "becomes the level's origin. A scene whose outside reaches the spawn leaks: the error names a\n"
        "chain of spaces from the spawn to the outside. An existing OUTPUT or report is kept unless\n"
        "--force is given.");
    static CompileArguments arguments;
    compile->add_option("SCENE", arguments.scene, "the scene file")->required();
    compile->add_option("OUTPUT", arguments.output, "the level file to write (.bsp)")->required();
    compile
        ->add_option("--scale", arguments.scale,
                     "level units per scene unit (default 1; the eye is 1 unit above the feet)")
        ->check(positiveNumber("S"));
    compile->add_option("--spawn", arguments.spawn,
                        "where the walk starts, X,Y,Z in the scene's own coordinates and units");
    compile->add_flag("--allow-leak", arguments.allowLeak,
                      "compile a scene that leaks, keeping what the outside reaches");
    compile->add_option("--report", arguments.reportPath,
                        "also write the counts, times, spawn and any leak chain as JSON");
    compile->add_flag("--force", arguments.force, "replace OUTPUT (and the report) if they exist");
    compile->callback([&exitCode] { exitCode = runCompile(arguments); });
}

}  // namespace vantrell
