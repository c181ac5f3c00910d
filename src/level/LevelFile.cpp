#include "level/LevelFile.h"

#include <sstream>

#include "level/LevelValidation.h"

namespace vantrell {

namespace {

// Parses with loader, which writes into level's containers.
void parseInto(BSPLoader& loader, LoadedLevel& level) {
    level.result = loader.parse();
    level.details = loader.details();
    level.openError = level.details.openError;
    if (level.result == parseLoaded) level.problems = validateLevel(level.geometry, level.partition);
}

}  // namespace

LoadedLevel loadLevelFile(const std::string& path) {
    LoadedLevel level;
    BSPLoader loader(&level.geometry, &level.partition, path);
    parseInto(loader, level);
    return level;
}

LoadedLevel loadLevelBytes(std::string_view bytes) {
    std::istringstream stream{std::string(bytes)};
    LoadedLevel level;
    BSPLoader loader(&level.geometry, &level.partition, stream);
    parseInto(loader, level);
    return level;
}

}  // namespace vantrell
