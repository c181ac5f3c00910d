// Compiling a mesh scene into a level, for the compile command and for play of a scene.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "compile/Compiler.h"

namespace vantrell {

struct SceneCompileRequest {
    std::string scene;
    double scale = 1.0;             // level units per scene unit
    std::optional<Vector3d> spawn;  // scene coordinates and units
    bool allowLeak = false;
    std::function<void(const std::string&)> progress;  // one line per stage
};

// Reads the scene and compiles it into the empty containers. False with a sentence in error;
// report holds what the compile found (the leak chain among it), and sceneRead whether the
// scene could be read at all.
[[nodiscard]] bool compileScene(const SceneCompileRequest& request, LevelGeometry& levelGeometry,
                                SpacePartition& spacePartition, CompileReport& report, bool& sceneRead,
                                std::string& error);

}  // namespace vantrell
