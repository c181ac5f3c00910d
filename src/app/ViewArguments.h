// What visible, why and contact share: option checks run while the command line is parsed
// (so a malformed value gets the usage hint like any other argument error), and the camera of
// visible and why.
#pragma once

#include "visibility/SpaceVisibility.h"

#include <CLI/CLI.hpp>

#include <string>

namespace vantrell {

// X,Y,Z of finite numbers; refuseZero also refuses the zero vector (a direction).
[[nodiscard]] CLI::Validator finiteVector(bool refuseZero);
[[nodiscard]] CLI::Validator positiveFloat();

// Only called after the validators accepted the text.
[[nodiscard]] Vector3 vectorOf(const std::string& text);
[[nodiscard]] float floatOf(const std::string& text, float fallback);

// The camera of visible and why: a standing eye, a look direction, the window's shape.
struct ViewOptions {
    std::string path;
    std::string eye;
    std::string forward;
    std::string aspect;
    std::string fieldOfView;         // radians
    std::string fieldOfViewDegrees;  // the same in degrees
};

// LEVEL, --eye, --forward, --aspect and --fov or --fov-degrees.
void addViewOptions(CLI::App& command, ViewOptions& view);

// The view of a camera at rest whose standing eye is at the --eye point (its body one unit
// below), with its basis derived from --forward.
[[nodiscard]] ViewPoint viewPointOf(const ViewOptions& options);

}  // namespace vantrell
