// Helpers shared by the subcommands: argument parsing and loading a level that must be valid.
#pragma once

#include "level/LevelFile.h"

#include <optional>
#include <string>

namespace vantrell {

// Exit status for a level that loaded completely but breaks an invariant.
inline constexpr int exitInvalidLevel = 4;

// Parses "X,Y,Z" into three finite floats; nullopt (with why in error) otherwise.
[[nodiscard]] std::optional<Vector3> parseVector3(const std::string& text, std::string& error);
// Parses a finite float.
[[nodiscard]] std::optional<float> parseFiniteFloat(const std::string& text, std::string& error);

// Parses "WxH" with both sides in 1..16384; false with why in error otherwise.
[[nodiscard]] bool parseSize(const std::string& text, int& width, int& height, std::string& error);

// Degrees to radians, in float.
[[nodiscard]] float radiansFromDegrees(float degrees);

// Formats a float with %.9g so that it reads back exactly.
[[nodiscard]] std::string formatFloat(float value);

// Loads path for a command that needs a valid level. On failure prints why on standard
// error and returns the exit status (the parse result 1..3, or 4 for an invalid level);
// returns 0 when level is loaded and valid.
[[nodiscard]] int loadValidLevel(const std::string& path, LoadedLevel& level);

}  // namespace vantrell
