#include "app/LevelSlot.h"

#include <algorithm>
#include <utility>

namespace vantrell {

LoadMessage invalidLevelMessage(const LoadedLevel& loaded, std::size_t problemsShown) {
    LoadMessage message{"This level cannot be played:", {}};
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

LoadMessage LevelSlot::load(const std::string& path) { return take(loadLevelFile(path)); }

LoadMessage LevelSlot::take(LoadedLevel loaded) {
    if (loaded.result != parseLoaded) {
        LoadMessage message{parseResultMessage(loaded.result), {}};
        if (!loaded.openError.empty()) message.detail = "Cannot open the file: " + loaded.openError;
        return message;
    }
    if (!loaded.problems.empty()) return invalidLevelMessage(loaded, problemsShown);
    level = std::make_unique<LoadedLevel>(std::move(loaded));
    return {parseResultMessage(parseLoaded), {}};
}

}  // namespace vantrell
