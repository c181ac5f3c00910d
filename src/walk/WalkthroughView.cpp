#include "walk/WalkthroughView.h"

#include <array>
#include <cmath>
#include <numeric>

#include "level/LevelGeometry.h"
#include "math/Vector.h"
#include "walk/Walkthrough.h"

namespace vantrell {

const char* shadingName(Shading shading) {
    switch (shading) {
        case Shading::vertex:
            return "vertex";
        case Shading::pixel:
            return "pixel";
        case Shading::flat:
            return "flat";
    }
    return "vertex";
}

std::optional<Shading> shadingNamed(std::string_view name) {
    for (const Shading s : {Shading::vertex, Shading::pixel, Shading::flat}) {
        if (name == shadingName(s)) return s;
    }
    return std::nullopt;
}

Shading nextShading(Shading shading) {
    switch (shading) {
        case Shading::vertex:
            return Shading::pixel;
        case Shading::pixel:
            return Shading::flat;
        case Shading::flat:
            return Shading::vertex;
    }
    return Shading::vertex;
}

Colour listPlaceColour(std::size_t place, std::size_t count) {
    if (place == 0) return {0.0f, 1.0f, 0.0f};
    // The same float expressions a frame has always used, so the colours stay bit for bit.
    const auto n = static_cast<float>(count);
    const auto previous = static_cast<float>(place - 1);
    return {(n - previous) / n, 0.0f, previous / n};
}

void FrameLists::clear() {
    spaces.clear();
    lines.clear();
    listedCount = 0;
    triangleCount = 0;
}

void listSpacesInPlaceColours(std::span<const std::uint32_t> spaces, FrameLists& lists) {
    for (std::size_t j = 0; j < spaces.size(); ++j)
        lists.spaces.push_back({spaces[j], listPlaceColour(j, spaces.size())});
}

void addBoxLines(const BoundingBox& b, const Colour& colour, std::vector<LineSegment>& lines) {
    const std::array<Vector3, 8> c{{{b.minX, b.minY, b.minZ},
                                    {b.maxX, b.minY, b.minZ},
                                    {b.maxX, b.minY, b.maxZ},
                                    {b.minX, b.minY, b.maxZ},
                                    {b.minX, b.maxY, b.minZ},
                                    {b.maxX, b.maxY, b.minZ},
                                    {b.maxX, b.maxY, b.maxZ},
                                    {b.minX, b.maxY, b.maxZ}}};
    for (std::size_t k = 0; k < 4; ++k) {
        lines.push_back({c[k], c[(k + 1) % 4], colour});          // bottom
        lines.push_back({c[k + 4], c[(k + 1) % 4 + 4], colour});  // top
        lines.push_back({c[k], c[k + 4], colour});                // upright
    }
}

void addViewVolumeLines(const Vector3& eye, const Vector3& forward, const ViewFrustum& frustum, float reach,
                        std::vector<LineSegment>& lines) {
    // Corners of the picture, going round: each edge lies in two neighbouring side planes.
    constexpr std::array<std::array<int, 2>, 4> sides{{{ViewFrustum::right, ViewFrustum::top},
                                                       {ViewFrustum::top, ViewFrustum::left},
                                                       {ViewFrustum::left, ViewFrustum::bottom},
                                                       {ViewFrustum::bottom, ViewFrustum::right}}};
    std::array<std::optional<Vector3>, 4> ends;
    for (std::size_t k = 0; k < 4; ++k) {
        const Plane& p = frustum.planes[static_cast<std::size_t>(sides[k][0])];
        const Plane& q = frustum.planes[static_cast<std::size_t>(sides[k][1])];
        Vector3 direction = unitOrZero(cross(Vector3{p.a, p.b, p.c}, Vector3{q.a, q.b, q.c}), 1e-6f);
        if (isZero(direction)) continue;  // parallel planes meet in no edge
        if (dot(direction, forward) < 0.0f) direction = -direction;
        ends[k] = eye + reach * direction;
        lines.push_back({eye, *ends[k], frozenVolumeColour});
    }
    for (std::size_t k = 0; k < 4; ++k) {
        if (ends[k] && ends[(k + 1) % 4]) lines.push_back({*ends[k], *ends[(k + 1) % 4], frozenVolumeColour});
    }
    lines.push_back({eye, eye + (0.5f * reach) * forward, frozenVolumeColour});
}

void WalkthroughView::press(ModeKey key, Walkthrough& walkthrough) {
    switch (key) {
        case ModeKey::shading:
            shading = nextShading(shading);
            break;
        case ModeKey::wireframe:
            wireframe = !wireframe;
            break;
        case ModeKey::allSpaces:
            allSpaces = !allSpaces;
            break;
        case ModeKey::freeze:
            if (frozen()) {
                thaw();
            } else {
                freeze(walkthrough);
            }
            break;
        case ModeKey::spaceBoxes:
            spaceBoxes = !spaceBoxes;
            break;
        case ModeKey::fly:
            walkthrough.camera().setFlying(!walkthrough.camera().flying());
            break;
        case ModeKey::infoPanel:
            infoPanel = !infoPanel;
            break;
        case ModeKey::fullscreen:
            break;
    }
}

void WalkthroughView::freeze(Walkthrough& walkthrough) {
    FrozenView view;
    const Camera& camera = walkthrough.camera();
    view.eye = walkthrough.eyePoint();
    view.forward = camera.forward();
    view.frustum = walkthrough.viewFrustum();
    walkthrough.collectVisibleSpaces(view.record);
    for (const SpaceOutcome outcome : view.record.outcome) view.failedCount += outcome == SpaceOutcome::failedBox;
    frozen_ = std::move(view);
}

void WalkthroughView::buildFrame(Walkthrough& walkthrough, FrameLists& lists) {
    lists.clear();
    lists.shading = shading;
    lists.wireframe = wireframe;
    const SpacePartition& partition = walkthrough.spacePartition();

    std::span<const std::uint32_t> listed;
    if (frozen_) {
        listed = frozen_->record.list;
        listSpacesInPlaceColours(listed, lists);
        for (std::size_t s = 0; s < frozen_->record.outcome.size(); ++s) {
            if (frozen_->record.outcome[s] == SpaceOutcome::failedBox) {
                lists.spaces.push_back({static_cast<std::uint32_t>(s), failedBoxColour});
            }
        }
        addViewVolumeLines(frozen_->eye, frozen_->forward, frozen_->frustum, frozenVolumeReach, lists.lines);
    } else {
        list.clear();
        if (allSpaces) {
            list.resize(partition.spaces.size());
            std::iota(list.begin(), list.end(), 0u);
        } else {
            walkthrough.collectVisibleSpaces(list);
        }
        listed = list;
        listSpacesInPlaceColours(listed, lists);
    }
    lists.listedCount = static_cast<std::uint32_t>(listed.size());
    for (const DrawnSpace& drawn : lists.spaces) {
        if (drawn.space < partition.spaces.size())
            lists.triangleCount += partition.spaces[drawn.space].triangleIndices.size();
    }
    if (spaceBoxes) {
        for (const std::uint32_t s : listed) {
            if (s < partition.spaces.size()) addBoxLines(partition.spaces[s].bounds, spaceBoxColour, lists.lines);
        }
    }
}

}  // namespace vantrell
