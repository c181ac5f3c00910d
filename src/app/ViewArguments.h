// The camera options of visible and why.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "app/OptionChecks.h"
#include "visibility/SpaceVisibility.h"

namespace vantrell {

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
