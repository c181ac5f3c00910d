#include "level/LevelFile.h"

#include "level/LevelValidation.h"

namespace vantrell {

LoadedLevel loadLevelFile(const std::string& path) {
    LoadedLevel level;
    BSPLoader loader(&level.geometry, &level.partition, path);
    level.result = loader.parse();
    level.details = loader.details();
    level.openError = level.details.openError;
    if (level.result == parseLoaded) level.problems = validateLevel(level.geometry, level.partition);
    return level;
}

}  // namespace vantrell
