#include "walk/InfoPanel.h"

#include <cstdio>

#include "level/LevelGeometry.h"
#include "walk/Walkthrough.h"

namespace vantrell {
namespace {

std::string format(const char* pattern, double a, double b, double c) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
    return buffer;
}

std::string onOff(bool on) {
    return on ? "on" : "off";
}

}  // namespace

void describeFrame(const Walkthrough& walkthrough, const WalkthroughView& view, const FrameLists& lists,
                   const FrameTimes::Summary& times, std::vector<PanelLine>& lines) {
    lines.clear();
    const auto add = [&lines](std::string text) { lines.push_back({std::move(text), false, {}}); };
    const auto addSwatch = [&lines](std::string text, const Colour& colour) {
        lines.push_back({std::move(text), true, colour});
    };
    const Camera& camera = walkthrough.camera();
    const SpacePartition& partition = walkthrough.spacePartition();
    const Vector3& p = camera.position();
    const Vector3 eye = walkthrough.eyePoint();
    const Vector3& f = camera.forward();

    add(format("Position %.2f %.2f %.2f", p.x, p.y, p.z));
    const char* posture = camera.flying() ? "flying" : walkthrough.movementKeys().crouch ? "crouching" : "standing";
    add(format("Eye height %.2f (", eye.y, 0, 0) + posture + ")");
    add(format("Forward %.2f %.2f %.2f", f.x, f.y, f.z));
    if (!partition.nodes.empty()) {
        add("Space " + std::to_string(locateSpace(walkthrough.levelGeometry(), partition, 0, eye)));
    } else {
        add("Space none (the level has no tree)");
    }
    add("Listed " + std::to_string(lists.listedCount) + " of " + std::to_string(partition.spaces.size()) + " spaces");
    add("Triangles drawn " + std::to_string(lists.triangleCount));
    if (times.frames > 0) {
        add(format("Frame %.1f ms mean, %.1f ms worst", times.meanMs, times.worstMs, 0) + " (last second)");
    } else {
        add("Frame time: no frames timed yet");
    }
    add(std::string("Shading ") + shadingName(view.shading) + " (L)");
    add("Edges " + onOff(view.wireframe) + " (G), boxes " + onOff(view.spaceBoxes) + " (N), fly " +
        onOff(camera.flying()) + " (F)");
    if (const FrozenView* frozen = view.frozenView()) {
        add(format("Frozen at %.2f %.2f %.2f (V)", frozen->eye.x, frozen->eye.y, frozen->eye.z));
        add(std::to_string(frozen->record.list.size()) + " listed, " + std::to_string(frozen->failedCount) +
            " failed the view test");
    } else if (view.allSpaces) {
        add("Every space drawn, search off (B)");
    } else {
        add("Visible set follows the camera (V freezes)");
    }

    add("Colours by place in the list:");
    const std::size_t count = lists.listedCount;
    if (count >= 1) addSwatch("first listed (green)", listPlaceColour(0, count));
    if (count >= 2) addSwatch("second (red)", listPlaceColour(1, count));
    if (count >= 3)
        addSwatch("last, place " + std::to_string(count - 1) + " (blue-red)", listPlaceColour(count - 1, count));
    if (count == 0) add("  nothing listed");
    if (view.frozen()) addSwatch("box failed the view test (grey)", failedBoxColour);
    if (view.frozen()) addSwatch("frozen view volume", frozenVolumeColour);
    if (view.spaceBoxes) addSwatch("space boxes", spaceBoxColour);
    add("Keys: L shading, G edges, B every space, V freeze,");
    add("N boxes, F fly, Tab panel, F11 fullscreen, F12 picture");
}

}  // namespace vantrell
