#include "app/SceneCompile.h"

#include <chrono>
#include <cstdio>

#include "scene/SceneMesh.h"

namespace vantrell {

bool compileScene(const SceneCompileRequest& request, LevelGeometry& levelGeometry, SpacePartition& spacePartition,
                  CompileReport& report, bool& sceneRead, std::string& error) {
    sceneRead = false;
    const auto started = std::chrono::steady_clock::now();
    SceneReadOptions readOptions;
    readOptions.scale = request.scale;
    SceneMesh mesh;
    if (!readScene(request.scene, readOptions, mesh, error)) return false;
    sceneRead = true;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (request.progress) {
        char secondsText[32];
        std::snprintf(secondsText, sizeof secondsText, "%.2f", seconds);
        request.progress("read: " + std::to_string(mesh.triangles.size()) + " triangles, " +
                         std::to_string(mesh.positions.size()) + " vertices in " + std::string(secondsText) + " s");
    }

    CompileOptions options;
    const double scale = request.scale;
    if (request.spawn) options.spawn = sceneToLevel(*request.spawn, scale);
    options.allowLeak = request.allowLeak;
    // Back to what the modelling tool shows: z mirrored again, units undone.
    options.toSourcePoint = [scale](const Vector3d& p) { return Vector3d{p.x / scale, p.y / scale, -p.z / scale}; };
    options.progress = request.progress;
    const bool ok = compileLevel(mesh, nullptr, options, levelGeometry, spacePartition, report, error);
    report.stages.insert(report.stages.begin(), CompileStage{"read", seconds});
    report.warnings.insert(report.warnings.begin(), mesh.warnings.begin(), mesh.warnings.end());
    return ok;
}

}  // namespace vantrell
