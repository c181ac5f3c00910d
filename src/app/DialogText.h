// The main dialog's texts and small decisions, kept free of the toolkit so that tests can
// check them: the window title, the counts of a level, the line under a refused load's
// message, where the file chooser opens, and the paths of a drop.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "level/LevelFile.h"

namespace vantrell {

// "NAME — Vantrell" while a level is loaded, else "Vantrell".
[[nodiscard]] std::string windowTitle(const std::string& levelName);

// "3 spaces, 24 triangles" (singular for one).
[[nodiscard]] std::string levelCounts(std::size_t spaces, std::size_t triangles);

// What the loader found in a file it refused: the system's reason it did not open, the first
// bytes, the version byte, or where the file ended. Empty for a level that loaded.
[[nodiscard]] std::string loadFailureDetail(const LoadedLevel& loaded);

// The folder the file chooser opens in: the folder of lastLevel while it exists, else
// workingDirectory. lastLevel may be empty (nothing chosen yet).
[[nodiscard]] std::string chooserStartFolder(const std::string& lastLevel, const std::string& workingDirectory);

// The local paths named by a text/uri-list (one URI a line, '#' lines are comments), in
// order. Only file: URIs on this machine count ("file:///p", "file://localhost/p", "file:/p");
// percent escapes are decoded, and a URI with a bad escape or an encoded NUL is skipped.
[[nodiscard]] std::vector<std::string> pathsFromUriList(const std::string& uriList);

// The name a map of an archive is listed under: "maps/oa_thor.bsp" gives "oa_thor".
[[nodiscard]] std::string mapLabel(const std::string& entry);

}  // namespace vantrell
