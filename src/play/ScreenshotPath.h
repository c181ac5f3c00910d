// Where the walk-through's screenshots go: the user's pictures folder when it exists,
// else the working directory, under a name with the date and time.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <iosfwd>
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

// Writes a screenshot as folder / name, or as folder / "stem-2.png", "stem-3.png"... when
// that name is taken, so two screenshots within one second do not overwrite each other; a
// file is never replaced, also not one that another program makes while this one writes.
// Returns the path written; empty, with the reason in error, when write fails or after 99 names.
[[nodiscard]] std::filesystem::path writeNewScreenshot(const std::filesystem::path& folder, const std::string& name,
                                                       const std::function<bool(std::ostream&)>& write,
                                                       std::string& error);

}  // namespace vantrell
