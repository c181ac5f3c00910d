#include "level/LevelFile.h"

#include "level/LevelValidation.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace vantrell {

LoadedLevel loadLevelFile(const std::string& path) {
    LoadedLevel level;
    {
        // The loader reports an unopenable file as "not a level file"; say why as well.
        errno = 0;
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            level.openError = "is a directory";
        } else {
            std::ifstream probe(path, std::ios::binary);
            if (!probe.is_open()) level.openError = errno != 0 ? std::strerror(errno) : "cannot be opened";
        }
    }
    BSPLoader loader(&level.geometry, &level.partition, path);
    level.result = loader.parse();
    if (level.result == parseLoaded) level.problems = validateLevel(level.geometry, level.partition);
    return level;
}

}  // namespace vantrell
