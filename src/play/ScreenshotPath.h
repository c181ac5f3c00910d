// Where the walk-through's screenshots go: the user's pictures folder when it exists,
// else the working directory, under a name with the date and time.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

namespace vantrell {

// Looks up an environment variable; nullptr when unset.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The pictures folder: $XDG_PICTURES_DIR, else XDG_PICTURES_DIR from the user-dirs.dirs file
// in $XDG_CONFIG_HOME (or ~/.config), else ~/Pictures; the first that names an existing
// directory. Empty when none does (the caller then uses the working directory).
[[nodiscard]] std::filesystem::path picturesFolder(const EnvironmentLookup& getEnvironment);

// "vantrell-YYYYMMDD-HHMMSS.png" for the given local time.
[[nodiscard]] std::string screenshotFileName(const std::tm& localTime);

// folder / name, or folder / "stem-2.png", "stem-3.png"... when that file exists already, so
// two screenshots within one second do not overwrite each other. Empty after 99 tries.
[[nodiscard]] std::filesystem::path freeScreenshotPath(const std::filesystem::path& folder,
                                                       const std::string& name);

}  // namespace vantrell
