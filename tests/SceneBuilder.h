// Scenes built in code for the compiler's tests and benchmark: axis-aligned rooms whose faces
// look into them (with doorway holes), passages, blocks whose faces look out (pillars, table
// parts, steps) and wedges (ramps). Coordinates are level coordinates: left-handed, y up; the
// front of a triangle is the side (p1 - p0) x (p2 - p0) points to.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "scene/SceneMesh.h"

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

inline double& at(Vector3d& v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}
inline double at(const Vector3d& v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

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
        if (positive)
            addRect(mesh, o, u, v);
        else
            addRect(mesh, o, v, u);
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
    int axis;  // the wall at lo (low = true) or hi of this axis
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

namespace vantrell::scenes {

// A grid of columns x rows rooms, 8 by 8 and 3 high, with walls 0.2 thick and a doorway to each
// neighbour; every room has a floor cut into tiles x tiles squares, two pillars and a table.
// About (2 tiles^2 + 130) triangles per room. The first room's middle is at the origin.
inline SceneMesh roomGrid(int columns, int rows, int tiles) {
    SceneMesh mesh;
    constexpr double size = 8.0, height = 3.0, wall = 0.2, pitch = size + wall, door = 0.6;
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            const double x0 = i * pitch - size / 2, z0 = j * pitch - size / 2;
            const Vector3d lo{x0, 0, z0}, hi{x0 + size, height, z0 + size};
            std::vector<Hole> holes;
            const double cx = x0 + size / 2, cz = z0 + size / 2;
            if (i > 0) holes.push_back({0, true, {0, 0, cz - door}, {0, 2, cz + door}});
            if (i + 1 < columns) holes.push_back({0, false, {0, 0, cz - door}, {0, 2, cz + door}});
            if (j > 0) holes.push_back({2, true, {cx - door, 0, 0}, {cx + door, 2, 0}});
            if (j + 1 < rows) holes.push_back({2, false, {cx - door, 0, 0}, {cx + door, 2, 0}});
            // The room without its floor, then the floor in tiles.
            SceneMesh room;
            addRoom(room, lo, hi, holes);
            const auto base = static_cast<std::uint32_t>(mesh.positions.size());
            mesh.positions.insert(mesh.positions.end(), room.positions.begin(), room.positions.end());
            for (std::size_t t = 0; t < room.triangles.size(); ++t) {
                const auto& tri = room.triangles[t];
                const bool floor =
                    room.positions[tri[0]].y == 0 && room.positions[tri[1]].y == 0 && room.positions[tri[2]].y == 0;
                if (!floor) mesh.triangles.push_back({base + tri[0], base + tri[1], base + tri[2]});
            }
            const double step = size / tiles;
            for (int a = 0; a < tiles; ++a) {
                for (int b = 0; b < tiles; ++b)
                    addRect(mesh, {x0 + a * step, 0, z0 + b * step}, {0, 0, step}, {step, 0, 0});
            }
            if (i + 1 < columns) addPassage(mesh, 0, {x0 + size, 0, cz - door}, {x0 + pitch, 2, cz + door});
            if (j + 1 < rows) addPassage(mesh, 2, {cx - door, 0, z0 + size}, {cx + door, 2, z0 + pitch});
            addBlock(mesh, {x0 + 1.5, 0, z0 + 1.5}, {x0 + 2.1, height, z0 + 2.1});
            addBlock(mesh, {x0 + 5.7, 0, z0 + 5.9}, {x0 + 6.2, height, z0 + 6.4});
            addBlock(mesh, {x0 + 4.5, 0.8, z0 + 1.5}, {x0 + 6.0, 0.9, z0 + 2.5}, true);
            for (const double lx : {4.5, 5.9}) {
                for (const double lz : {1.5, 2.4})
                    addBlock(mesh, {x0 + lx, 0, z0 + lz}, {x0 + lx + 0.1, 0.8, z0 + lz + 0.1});
            }
        }
    }
    return mesh;
}

}  // namespace vantrell::scenes
