// Helpers shared by the subcommands: the exit statuses, error messages, argument parsing,
// the check on input files, and loading a level that must be valid.
#pragma once

#include <optional>
#include <string>

#include "level/LevelFile.h"

namespace vantrell {

// The exit statuses of every command (the README's table). info alone reports the load
// result instead: 0 loaded, 1 not a level file, 2 wrong version, 3 ended early, and
// exitInvalidLevel.
inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;  // a file cannot be read or written, a level is unusable, an import failed
inline constexpr int exitUsage = 2;    // unknown option, missing or bad argument
inline constexpr int exitInvalidLevel = 4;

// Prints "vantrell: COMMAND: message" on standard error (without the command when it is empty).
void reportError(const std::string& command, const std::string& message);

// Parses "X,Y,Z" into three finite floats; nullopt (with why in error) otherwise.
[[nodiscard]] std::optional<Vector3> parseVector3(const std::string& text, std::string& error);
// The same, for a direction: also refuses the zero vector, which has none.
[[nodiscard]] std::optional<Vector3> parseDirection(const std::string& text, std::string& error);
// Parses a finite float.
[[nodiscard]] std::optional<float> parseFiniteFloat(const std::string& text, std::string& error);

// Parses "WxH" with both sides in 1..16384; false with why in error otherwise.
[[nodiscard]] bool parseSize(const std::string& text, int& width, int& height, std::string& error);

// Degrees to radians, in float.
[[nodiscard]] float radiansFromDegrees(float degrees);

// Formats a float with %.9g so that it reads back exactly.
[[nodiscard]] std::string formatFloat(float value);

// Why path cannot be read as an input file ("PATH does not exist", "PATH is a folder", the
// system's reason), or an empty string when it can be opened for reading.
[[nodiscard]] std::string inputFileProblem(const std::string& path);

// Loads path for a command that needs a valid level. On failure reports why, as an error of
// command, and returns exitFailure; returns exitSuccess when level is loaded and valid.
[[nodiscard]] int loadValidLevel(const std::string& command, const std::string& path, LoadedLevel& level);

// The text for a level that did not load completely: its load message, with the reason when
// the file could not be opened.
[[nodiscard]] std::string loadFailureMessage(const std::string& path, const LoadedLevel& level);

}  // namespace vantrell
