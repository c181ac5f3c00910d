#include "app/LevelSlot.h"

#include <algorithm>
#include <utility>

#include "app/DialogText.h"

namespace vantrell {

LoadMessage invalidLevelMessage(const LoadedLevel& loaded, std::size_t problemsShown) {
    LoadMessage message{"This level cannot be played:", {}, true};
    const std::size_t shown = std::min(problemsShown, loaded.problems.size());
    for (std::size_t i = 0; i < shown; ++i) {
        if (!message.detail.empty()) message.detail += '\n';
        message.detail += loaded.problems[i];
    }
    if (loaded.problems.size() > shown) {
        message.detail += "\n(and " + std::to_string(loaded.problems.size() - shown) + " more)";
    }
    return message;
}

LoadMessage LevelSlot::load(const std::string& path) {
    return take(loadInput({path, {}}));
}

LoadMessage LevelSlot::take(LoadedInput input) {
    const LoadedLevel& loaded = input.level;
    if (!input.error.empty()) {
        const char* heading = input.compiled   ? "This scene cannot be compiled:"
                              : input.imported ? "This game level cannot be imported:"
                                               : "This level cannot be loaded:";
        return refuse(input.name, {heading, input.error, true});
    }
    if (loaded.result != parseLoaded) {
        return refuse(input.name, {parseResultMessage(loaded.result), loadFailureDetail(loaded), true});
    }
    if (!loaded.problems.empty()) return refuse(input.name, invalidLevelMessage(loaded, problemsShown));
    LoadMessage message{parseResultMessage(parseLoaded),
                        levelCounts(loaded.partition.spaces.size(), loaded.geometry.triangles.size()), false};
    if (input.imported)
        message.detail = (input.compiled ? "Compiled " : "Imported ") + input.importedFrom + ": " + message.detail;
    level = std::make_unique<LoadedInput>(std::move(input));
    refusedName.clear();
    return message;
}

LoadMessage LevelSlot::refuse(const std::string& name, LoadMessage message) {
    refusedName = name.empty() ? "The file" : name;
    message.failed = true;
    return message;
}

std::string LevelSlot::statusLine() const {
    std::string line;
    if (!refusedName.empty()) line = refusedName + " was not loaded.\n";
    if (!level) return line + "No level is loaded.";
    const std::string loaded =
        level->name + ": " + levelCounts(level->level.partition.spaces.size(), level->level.geometry.triangles.size());
    return line + (refusedName.empty() ? loaded : "Still loaded: " + loaded);
}

}  // namespace vantrell
