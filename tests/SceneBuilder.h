// Scenes built in code for the compiler's tests and benchmark: axis-aligned rooms whose faces
// look into them (with doorway holes), passages, blocks whose faces look out (pillars, table
// parts, steps) and wedges (ramps). Coordinates are level coordinates: left-handed, y up; the
// front of a triangle is the side (p1 - p0) x (p2 - p0) points to.
#pragma once

#include "scene/SceneMesh.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantrell::scenes {

// The two triangles of the rectangle o, o + u, o + u + v, o + v, facing u x v.
inline void addRect(SceneMesh& mesh, const Vector3d& o, const Vector3d& u, const Vector3d& v) {
    const auto base = static_cast<std::uint32_t>(mesh.positions.size());
    for (const Vector3d& p : {o, o + u, o + u + v, o + v}) mesh.positions.push_back(p);
    mesh.triangles.push_back({base, base + 1, base + 2});
    mesh.triangles.push_back({base, base + 2, base + 3});
}

inline void addTriangle(SceneMesh& mesh, const Vector3d& a, const Vector3d& b, const Vector3d& c) {
    const auto base = static_cast<std::uint32_t>(mesh.positions.size());
    for (const Vector3d& p : {a, b, c}) mesh.positions.push_back(p);
    mesh.triangles.push_back({base, base + 1, base + 2});
}

inline double& at(Vector3d& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }
inline double at(const Vector3d& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

// An axis-aligned face on the plane where axis = c, facing +axis (towards > 0) or -axis, over
// the other two coordinates of [lo, hi], less the hole (the same two coordinates of its box).
inline void addFace(SceneMesh& mesh, int axis, bool positive, double c, const Vector3d& lo, const Vector3d& hi,
                    const std::optional<std::array<Vector3d, 2>>& hole = std::nullopt) {
    const int ua = (axis + 1) % 3, va = (axis + 2) % 3;  // e_ua x e_va = e_axis
    const auto rect = [&](double u0, double u1, double v0, double v1) {
        if (!(u1 > u0) || !(v1 > v0)) return;
        Vector3d o, u, v;
        at(o, axis) = c, at(o, ua) = u0, at(o, va) = v0;
        at(u, ua) = u1 - u0;
        at(v, va) = v1 - v0;
        if (positive) addRect(mesh, o, u, v);
        else addRect(mesh, o, v, u);
    };
    const double u0 = at(lo, ua), u1 = at(hi, ua), v0 = at(lo, va), v1 = at(hi, va);
    if (!hole) {
        rect(u0, u1, v0, v1);
        return;
    }
    const double h0 = std::max(u0, at((*hole)[0], ua)), h1 = std::min(u1, at((*hole)[1], ua));
    const double g0 = std::max(v0, at((*hole)[0], va)), g1 = std::min(v1, at((*hole)[1], va));
    rect(u0, h0, v0, v1);
    rect(h1, u1, v0, v1);
    rect(h0, h1, v0, g0);
    rect(h0, h1, g1, v1);
}

struct Hole {
    int axis;       // the wall at lo (low = true) or hi of this axis
    bool low;
    Vector3d lo, hi;  // the hole's extent (its coordinate on axis is ignored)
};

// A closed room over the box [lo, hi], every face looking in, with holes in its walls.
inline void addRoom(SceneMesh& mesh, const Vector3d& lo, const Vector3d& hi, const std::vector<Hole>& holes = {}) {
    for (int axis = 0; axis < 3; ++axis) {
        for (const bool low : {true, false}) {
            std::optional<std::array<Vector3d, 2>> hole;
            for (const Hole& h : holes) {
                if (h.axis == axis && h.low == low) hole = std::array<Vector3d, 2>{h.lo, h.hi};
            }
            addFace(mesh, axis, low, at(low ? lo : hi, axis), lo, hi, hole);
        }
    }
}

// A passage along axis (0 = x, 2 = z) over [lo, hi]: floor, ceiling and side walls looking in,
// both ends open.
inline void addPassage(SceneMesh& mesh, int axis, const Vector3d& lo, const Vector3d& hi) {
    addFace(mesh, 1, true, lo.y, lo, hi);
    addFace(mesh, 1, false, hi.y, lo, hi);
    const int side = axis == 0 ? 2 : 0;
    addFace(mesh, side, true, at(lo, side), lo, hi);
    addFace(mesh, side, false, at(hi, side), lo, hi);
}

// A solid block over [lo, hi], every face looking out; without its bottom when it stands on a
// floor (nobody sees it).
inline void addBlock(SceneMesh& mesh, const Vector3d& lo, const Vector3d& hi, bool withBottom = false) {
    for (int axis = 0; axis < 3; ++axis) {
        for (const bool low : {true, false}) {
            if (axis == 1 && low && !withBottom) continue;
            addFace(mesh, axis, !low, at(low ? lo : hi, axis), lo, hi);
        }
    }
}

// A ramp standing on the floor at y = lo.y, rising along +x from lo.x to hi.x up to hi.y,
// across z from lo.z to hi.z: its slope, its high end and its two sides look out.
inline void addRamp(SceneMesh& mesh, const Vector3d& lo, const Vector3d& hi) {
    const Vector3d a{lo.x, lo.y, lo.z}, b{hi.x, hi.y, lo.z}, c{hi.x, hi.y, hi.z}, d{lo.x, lo.y, hi.z};
    addRect(mesh, a, d - a, b - a);  // the slope: (d - a) x (b - a) points up and back
    addFace(mesh, 0, true, hi.x, {hi.x, lo.y, lo.z}, hi);
    addTriangle(mesh, a, b, {hi.x, lo.y, lo.z});  // the side at lo.z, looking -z
    addTriangle(mesh, d, {hi.x, lo.y, hi.z}, c);  // the side at hi.z, looking +z
}

}  // namespace vantrell::scenes
