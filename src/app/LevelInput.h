// What the main dialog can open: our own level files, and (with the importer and the
// compiler) IBSP game levels, the maps of .pk3 archives and mesh scenes, converted in memory. loadInput does the slow
// part and touches nothing but its result, so the dialog runs it on a worker thread.
#pragma once

#include <string>
#include <vector>

#include "app/InputKind.h"
#include "level/LevelFile.h"

namespace vantrell {

// True when this build holds the compiler of mesh scenes (glTF, OBJ, ...).
[[nodiscard]] bool canCompileScenes();
// True when this build holds the importer of game levels.
[[nodiscard]] bool canImportGameLevels();

struct LoadRequest {
    std::string path;
    std::string mapEntry;  // the map of an archive (InputKind::gameArchive), e.g. "maps/oa_thor.bsp"
};

struct LoadedInput {
    LoadedLevel level;         // result parseLoaded for an imported level
    std::string name;          // for the title and status line: "two-rooms.bsp", "oa_thor (pak.pk3)"
    Vector3 startPosition;     // where the walk-through puts the body
    bool imported = false;     // converted from a game level or a scene
    bool compiled = false;     // compiled from a mesh scene
    std::string error;         // why the import failed, or memory ran out; empty otherwise
    std::string importedFrom;  // what was imported: "maps/oa_thor.bsp in pak.pk3"
};

// Loads or imports the request. Never throws: running out of memory is reported in error.
[[nodiscard]] LoadedInput loadInput(const LoadRequest& request);

// The maps an archive holds (see listArchiveMaps); false with why in error.
[[nodiscard]] bool archiveMaps(const std::string& archive, std::vector<std::string>& maps, std::string& error);

}  // namespace vantrell
