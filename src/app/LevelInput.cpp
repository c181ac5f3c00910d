#include "app/LevelInput.h"

#include "app/DialogText.h"

#ifdef VANTRELL_IMPORT
#include "import/IbspImport.h"
#endif
#ifdef VANTRELL_SCENE
#include "app/SceneCompile.h"
#endif

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

namespace vantrell {

bool canCompileScenes() {
#ifdef VANTRELL_SCENE
    return true;
#else
    return false;
#endif
}

bool canImportGameLevels() {
#ifdef VANTRELL_IMPORT
    return true;
#else
    return false;
#endif
}

LoadedInput loadInput(const LoadRequest& request) {
    LoadedInput input;
    const std::string fileName = std::filesystem::path(request.path).filename().string();
    input.name = fileName;
    InputKind kind = inputKindOf(request.path);
    // What this build cannot convert goes to our own loader, which says it is not a level.
    if ((kind == InputKind::scene && !canCompileScenes()) ||
        ((kind == InputKind::gameLevel || kind == InputKind::gameArchive) && !canImportGameLevels()))
        kind = InputKind::level;
    try {
        if (kind == InputKind::level) {
            input.level = loadLevelFile(request.path);
            return input;
        }
#ifdef VANTRELL_SCENE
        if (kind == InputKind::scene) {
            // The scene reader forks without exec while the dialog's main thread runs; the
            // child touches nothing of the toolkit, only the reading library, the allocator
            // (which stays usable after a fork) and its pipe.
            input.imported = true;
            input.compiled = true;
            input.importedFrom = fileName;
            SceneCompileRequest compile;
            compile.scene = request.path;
            CompileReport report;
            bool read = false;
            if (!compileScene(compile, input.level.geometry, input.level.partition, report, read, input.error)) {
                if (!read) input.error = "the scene cannot be read: " + input.error;
                input.level = LoadedLevel{};
                return input;
            }
            input.level.result = parseLoaded;
            // The compiler puts the spawn, standing on its floor, at the origin.
            input.startPosition = {0.0f, 0.0f, 0.0f};
            return input;
        }
#endif
#ifdef VANTRELL_IMPORT
        input.imported = true;
        ImportOptions options;
        ImportReport report;
        if (kind == InputKind::gameArchive) {
            options.mapName = request.mapEntry;
            input.name = mapLabel(request.mapEntry) + " (" + fileName + ")";
            input.importedFrom = request.mapEntry + " in " + fileName;
        } else {
            input.importedFrom = fileName;
        }
        if (!importLevel(request.path, options, input.level.geometry, input.level.partition, report, input.error)) {
            if (input.error.empty()) input.error = "the import failed";
            input.level = LoadedLevel{};
            return input;
        }
        input.level.result = parseLoaded;
        input.startPosition = report.spawnPoint;
#endif
    } catch (const std::bad_alloc&) {
        // Our own loader allocates only what the file backs, and the importer refuses huge
        // archive entries before reading them: what is left is a machine short of memory.
        input.level = LoadedLevel{};
        input.error = "not enough memory";
    }
    return input;
}

bool archiveMaps(const std::string& archive, std::vector<std::string>& maps, std::string& error) {
#ifdef VANTRELL_IMPORT
    try {
        return listArchiveMaps(archive, maps, error);
    } catch (const std::bad_alloc&) {
        error = "not enough memory to list the archive";
        return false;
    }
#else
    (void)archive;
    maps.clear();
    error = "this build cannot import game levels";
    return false;
#endif
}

}  // namespace vantrell
