// Option checks run while the command line is parsed, so that a malformed value is reported
// with the usage hint like any other argument error.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "math/Vector.h"

namespace vantrell {

// X,Y,Z of finite numbers; refuseZero also refuses the zero vector (a direction).
[[nodiscard]] CLI::Validator finiteVector(bool refuseZero);
// A finite number above 0; typeName names the value in the usage line ("NUMBER", "S").
[[nodiscard]] CLI::Validator positiveNumber(const std::string& typeName = "NUMBER");

// Only called after the validators accepted the text.
[[nodiscard]] Vector3 vectorOf(const std::string& text);
[[nodiscard]] float floatOf(const std::string& text, float fallback);

}  // namespace vantrell
