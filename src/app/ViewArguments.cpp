#include "app/ViewArguments.h"

#include <cmath>
#include <optional>

#include "app/CommandSupport.h"
#include "camera/Camera.h"
#include "walk/Walkthrough.h"

namespace vantrell {
namespace {

// A finite, positive projection value, else the default (a degree count too small for a
// float radian keeps the default, as the walk-through's own setters do).
float projectionValue(float value, float fallback) {
    return std::isfinite(value) && value > 0.0f ? value : fallback;
}

}  // namespace

void addViewOptions(CLI::App& command, ViewOptions& view) {
    command.add_option("LEVEL", view.path, "level file (.bsp)")->required();
    command.add_option("--eye", view.eye, "the eye point")->required()->check(finiteVector(false));
    command.add_option("--forward", view.forward, "the look direction (normalised)")
        ->required()
        ->check(finiteVector(true));
    command.add_option("--aspect", view.aspect, "width / height (default 4/3)")->check(positiveNumber());
    auto* radians = command.add_option("--fov", view.fieldOfView, "vertical field of view in radians (default pi/4)")
                        ->check(positiveNumber());
    auto* degrees = command
                        .add_option("--fov-degrees", view.fieldOfViewDegrees,
                                    "vertical field of view in degrees (default 45), instead of --fov")
                        ->check(positiveNumber());
    radians->excludes(degrees);
}

ViewPoint viewPointOf(const ViewOptions& options) {
    const Camera camera(vectorOf(options.eye) - Camera::standingEyeOffset, vectorOf(options.forward), 0, 0);
    ViewPoint view{
        camera.eyePoint(false),         camera.forward(), camera.up(), camera.right(), Walkthrough::defaultFieldOfView,
        Walkthrough::defaultAspectRatio};
    view.aspectRatio =
        projectionValue(floatOf(options.aspect, Walkthrough::defaultAspectRatio), Walkthrough::defaultAspectRatio);
    const float fieldOfView = !options.fieldOfViewDegrees.empty()
                                  ? radiansFromDegrees(floatOf(options.fieldOfViewDegrees, 45.0f))
                                  : floatOf(options.fieldOfView, Walkthrough::defaultFieldOfView);
    view.fieldOfView = projectionValue(fieldOfView, Walkthrough::defaultFieldOfView);
    return view;
}

}  // namespace vantrell
