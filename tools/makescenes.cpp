// makescenes: writes the example scenes in examples/scenes/, the sources of compiled levels.
//
//   makescenes [OUTPUT_DIRECTORY]        (default: examples/scenes)
//
// The scenes are what a level maker exports from a modelling tool: glTF (right-handed, y up,
// metres), one OBJ. Sizes match the viewer's units: the eye is 1 above the body, doorways
// are 2 high, ceilings 2.5 to 3.
//
// Every scene is sealed: the faces around its air point into it (the side a player walks on)
// and meet without gaps, except leaky-room's window. Where an object stands on the floor or
// against a wall, the floor or wall has a hole of the object's footprint instead of a face
// hidden inside the object. Each scene but the OBJ has an empty node "spawn" a little above
// its floor.
//
//   closed-room.gltf, .obj  one room, 6 x 2.5 x 8
//   two-rooms.gltf          two 6 x 6 rooms behind a 0.2 wall with a doorway 1.2 x 2
//   stairs-ramp.gltf        a room with a platform 0.6 high along its back wall, reached by
//                           six steps of 0.1 and by a ramp of slope 0.3
//   pillar-table.gltf       a room with a pillar to the ceiling (a scaled unit box) and a
//                           table (a node turned a quarter turn, with the top and legs as
//                           child nodes)
//   leaky-room.gltf         a room with a window 1 x 1 that opens to the outside
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "SceneFiles.h"

namespace {

using vantrell::Vector3;
using vantrell::scenefiles::Mesh;
using vantrell::scenefiles::Node;
using vantrell::scenefiles::Scene;

constexpr bool normals = true;

// A rectangle on an axis-aligned plane, in that plane's two other coordinates.
struct Area {
    double u0, u1, v0, v1;
};

// The other two axes of a plane normal to axis: x -> (z, y), y -> (x, z), z -> (x, y).
Vector3 pointOn(int axis, double at, double u, double v) {
    const auto a = static_cast<float>(at);
    const auto fu = static_cast<float>(u);
    const auto fv = static_cast<float>(v);
    if (axis == 0) return {a, fv, fu};
    if (axis == 1) return {fu, a, fv};
    return {fu, fv, a};
}

Vector3 axisVector(int axis, double length) {
    Vector3 v{};
    (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = static_cast<float>(length);
    return v;
}

// A face on the plane `axis` = at whose front looks along +axis (facing 1) or -axis
// (facing -1), covering extent less the holes. The holes' edges cut the extent into a grid;
// every cell outside the holes is one rectangle.
void addPanel(Mesh& mesh, int axis, double at, int facing, const Area& extent, const std::vector<Area>& holes = {}) {
    std::set<double> us{extent.u0, extent.u1};
    std::set<double> vs{extent.v0, extent.v1};
    for (const Area& h : holes) {
        us.insert({std::clamp(h.u0, extent.u0, extent.u1), std::clamp(h.u1, extent.u0, extent.u1)});
        vs.insert({std::clamp(h.v0, extent.v0, extent.v1), std::clamp(h.v1, extent.v0, extent.v1)});
    }
    const std::vector<double> u(us.begin(), us.end());
    const std::vector<double> v(vs.begin(), vs.end());
    const int uAxis = axis == 0 ? 2 : 0;
    const int vAxis = axis == 1 ? 2 : 1;
    for (std::size_t j = 0; j + 1 < v.size(); ++j) {
        for (std::size_t i = 0; i + 1 < u.size(); ++i) {
            const double cu = (u[i] + u[i + 1]) / 2;
            const double cv = (v[j] + v[j + 1]) / 2;
            const bool inHole = std::any_of(holes.begin(), holes.end(), [&](const Area& h) {
                return cu > h.u0 && cu < h.u1 && cv > h.v0 && cv < h.v1;
            });
            if (inHole) continue;
            vantrell::scenefiles::addRectangle(mesh, pointOn(axis, at, u[i], v[j]), axisVector(uAxis, u[i + 1] - u[i]),
                                               axisVector(vAxis, v[j + 1] - v[j]), axisVector(axis, facing), normals);
        }
    }
}

// The six faces of a box room, facing in, each with its own holes (index: floor, ceiling,
// west (min x), east, south (min z), north).
struct Room {
    double x0, x1, y0, y1, z0, z1;
    std::vector<Area> holes[6];
};

void addRoom(Mesh& mesh, const Room& r) {
    addPanel(mesh, 1, r.y0, 1, {r.x0, r.x1, r.z0, r.z1}, r.holes[0]);
    addPanel(mesh, 1, r.y1, -1, {r.x0, r.x1, r.z0, r.z1}, r.holes[1]);
    addPanel(mesh, 0, r.x0, 1, {r.z0, r.z1, r.y0, r.y1}, r.holes[2]);
    addPanel(mesh, 0, r.x1, -1, {r.z0, r.z1, r.y0, r.y1}, r.holes[3]);
    addPanel(mesh, 2, r.z0, 1, {r.x0, r.x1, r.y0, r.y1}, r.holes[4]);
    addPanel(mesh, 2, r.z1, -1, {r.x0, r.x1, r.y0, r.y1}, r.holes[5]);
}

Node meshNode(const std::string& name, int mesh) {
    Node node;
    node.name = name;
    node.mesh = mesh;
    return node;
}

Node spawnNode(double x, double y, double z) {
    Node node;
    node.name = "spawn";
    node.translation = {x, y, z};
    return node;
}

// A scene of one mesh at the origin and a spawn node.
Scene oneMeshScene(Mesh mesh, const std::string& name, const Node& spawn) {
    Scene scene;
    scene.meshes.push_back(std::move(mesh));
    scene.nodes = {meshNode(name, 0), spawn};
    scene.roots = {0, 1};
    return scene;
}

Mesh closedRoom(bool withNormals) {
    Mesh mesh;
    addRoom(mesh, {-3, 3, 0, 2.5, -4, 4, {}});
    if (!withNormals) mesh.normals.clear();
    return mesh;
}

// Rooms at x < -0.1 and x > 0.1; between them a wall 0.2 thick with a doorway in z -0.6..0.6.
Scene twoRooms() {
    Mesh mesh;
    const Area door{-0.6, 0.6, 0, 2};
    Room west{-6.1, -0.1, 0, 2.5, -3, 3, {}};
    west.holes[3] = {door};
    Room east{0.1, 6.1, 0, 2.5, -3, 3, {}};
    east.holes[2] = {door};
    addRoom(mesh, west);
    addRoom(mesh, east);
    // The doorway's floor, lintel and sides; its ends open into the rooms.
    addPanel(mesh, 1, 0, 1, {-0.1, 0.1, -0.6, 0.6});
    addPanel(mesh, 1, 2, -1, {-0.1, 0.1, -0.6, 0.6});
    addPanel(mesh, 2, -0.6, 1, {-0.1, 0.1, 0, 2});
    addPanel(mesh, 2, 0.6, -1, {-0.1, 0.1, 0, 2});
    return oneMeshScene(std::move(mesh), "rooms", spawnNode(-3, 0.3, 0));
}

// A room x -5..5, z -4..4, 3 high. The platform (top 0.6) fills z 2..4; the stairs climb it
// over x -4..-2 from z 0.2, the ramp over x 2..4 from z 0. Floor and walls have holes where
// these stand, the platform's front where the stairs and ramp meet it.
Scene stairsRamp() {
    Mesh mesh;
    constexpr double top = 0.6;
    constexpr int steps = 6;
    constexpr double rise = top / steps;
    constexpr double depth = 0.3;
    constexpr double stairsStart = 2.0 - steps * depth;
    Room room{-5, 5, 0, 3, -4, 4, {}};
    room.holes[0] = {{-5, 5, 2, 4}, {-4, -2, stairsStart, 2}, {2, 4, 0, 2}};
    room.holes[2] = {{2, 4, 0, top}};
    room.holes[3] = {{2, 4, 0, top}};
    room.holes[5] = {{-5, 5, 0, top}};
    addRoom(mesh, room);
    addPanel(mesh, 1, top, 1, {-5, 5, 2, 4});
    addPanel(mesh, 2, 2, -1, {-5, 5, 0, top}, {{-4, -2, 0, top}, {2, 4, 0, top}});
    for (int i = 0; i < steps; ++i) {
        const double z0 = stairsStart + i * depth;
        const double z1 = z0 + depth;
        const double y1 = (i + 1) * rise;
        addPanel(mesh, 1, y1, 1, {-4, -2, z0, z1});         // tread
        addPanel(mesh, 2, z0, -1, {-4, -2, i * rise, y1});  // riser
        addPanel(mesh, 0, -4, -1, {z0, z1, 0, y1});         // sides
        addPanel(mesh, 0, -2, 1, {z0, z1, 0, y1});
    }
    const Vector3 slope{0, static_cast<float>(top), 2};
    const Vector3 up = normalized(cross(Vector3{1, 0, 0}, slope) * -1.0f);
    vantrell::scenefiles::addRectangle(mesh, {2, 0, 0}, {2, 0, 0}, slope, up, normals);
    for (float x : {2.0f, 4.0f}) {
        vantrell::scenefiles::addTriangle(mesh, {x, 0, 0}, {x, 0, 2}, {x, static_cast<float>(top), 2},
                                          {x == 2.0f ? -1.0f : 1.0f, 0, 0}, normals);
    }
    return oneMeshScene(std::move(mesh), "room", spawnNode(0, 0.3, -2));
}

// Column-major matrix of a quarter turn about y (x -> -z, z -> x) and a translation, exact
// in every entry so that the legs meet the floor's holes to the last bit.
std::array<double, 16> quarterTurnAbout(double tx, double tz) {
    return {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, tx, 0, tz, 1};
}

Scene pillarTable() {
    constexpr double tableX = 1.5, tableZ = 1.0;  // where the table node stands
    constexpr double topHeight = 0.72, topThickness = 0.05;
    constexpr double halfLength = 0.8, halfWidth = 0.45;  // table top, in the table's x and z
    constexpr double legSize = 0.06, legInset = 0.05;
    constexpr double pillarX = -2, pillarZ = -2, pillarSize = 0.6, ceiling = 3;

    // The legs' footprints in the table's own x and z, then in the room's: the quarter turn
    // takes (x, z) to (z, -x).
    std::vector<Area> legs;
    for (double sx : {-1.0, 1.0}) {
        for (double sz : {-1.0, 1.0}) {
            const double x0 = sx * (halfLength - legInset) - (sx > 0 ? legSize : 0);
            const double z0 = sz * (halfWidth - legInset) - (sz > 0 ? legSize : 0);
            legs.push_back({x0, x0 + legSize, z0, z0 + legSize});
        }
    }
    // A room position as the reader computes it: float corner, then the node's transform.
    auto roomX = [&](double localZ) { return static_cast<double>(static_cast<float>(localZ)) + tableX; };
    auto roomZ = [&](double localX) { return -static_cast<double>(static_cast<float>(localX)) + tableZ; };
    std::vector<Area> floorHoles;
    for (const Area& leg : legs) {
        floorHoles.push_back({static_cast<float>(roomX(leg.v0)), static_cast<float>(roomX(leg.v1)),
                              static_cast<float>(roomZ(leg.u1)), static_cast<float>(roomZ(leg.u0))});
    }
    const Area pillar{pillarX - pillarSize / 2, pillarX + pillarSize / 2, pillarZ - pillarSize / 2,
                      pillarZ + pillarSize / 2};
    floorHoles.push_back(pillar);

    Scene scene;
    Mesh room;
    Room box{-4, 4, 0, ceiling, -4, 4, {}};
    box.holes[0] = floorHoles;
    box.holes[1] = {pillar};
    addRoom(room, box);

    // The pillar: the sides of a unit box on the floor, scaled and moved by its node.
    Mesh unitColumn;
    addPanel(unitColumn, 0, -0.5, -1, {-0.5, 0.5, 0, 1});
    addPanel(unitColumn, 0, 0.5, 1, {-0.5, 0.5, 0, 1});
    addPanel(unitColumn, 2, -0.5, -1, {-0.5, 0.5, 0, 1});
    addPanel(unitColumn, 2, 0.5, 1, {-0.5, 0.5, 0, 1});

    // The table top: a slab from 0 to topThickness, lifted by its node; holes where the legs
    // meet its underside.
    Mesh tableTop;
    addPanel(tableTop, 1, topThickness, 1, {-halfLength, halfLength, -halfWidth, halfWidth});
    addPanel(tableTop, 1, 0, -1, {-halfLength, halfLength, -halfWidth, halfWidth}, legs);
    addPanel(tableTop, 0, -halfLength, -1, {-halfWidth, halfWidth, 0, topThickness});
    addPanel(tableTop, 0, halfLength, 1, {-halfWidth, halfWidth, 0, topThickness});
    addPanel(tableTop, 2, -halfWidth, -1, {-halfLength, halfLength, 0, topThickness});
    addPanel(tableTop, 2, halfWidth, 1, {-halfLength, halfLength, 0, topThickness});
    Mesh tableLegs;
    for (const Area& leg : legs) {
        addPanel(tableLegs, 0, leg.u0, -1, {leg.v0, leg.v1, 0, topHeight});
        addPanel(tableLegs, 0, leg.u1, 1, {leg.v0, leg.v1, 0, topHeight});
        addPanel(tableLegs, 2, leg.v0, -1, {leg.u0, leg.u1, 0, topHeight});
        addPanel(tableLegs, 2, leg.v1, 1, {leg.u0, leg.u1, 0, topHeight});
    }
    scene.meshes = {room, unitColumn, tableTop, tableLegs};

    Node pillarNode = meshNode("pillar", 1);
    pillarNode.translation = {pillarX, 0, pillarZ};
    pillarNode.scale = {pillarSize, ceiling, pillarSize};
    Node table;
    table.name = "table";
    table.useMatrix = true;
    table.matrix = quarterTurnAbout(tableX, tableZ);
    table.children = {4, 5};
    Node top = meshNode("top", 2);
    top.translation = {0, topHeight, 0};
    scene.nodes = {meshNode("room", 0), pillarNode, table, spawnNode(-1, 0.3, -1), top, meshNode("legs", 3)};
    scene.roots = {0, 1, 2, 3};
    return scene;
}

Scene leakyRoom() {
    Mesh mesh;
    Room room{-3, 3, 0, 2.5, -3, 3, {}};
    room.holes[3] = {{-0.5, 0.5, 1, 2}};  // the window, in the east wall
    addRoom(mesh, room);
    return oneMeshScene(std::move(mesh), "room", spawnNode(0, 0.3, 0));
}

bool writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "makescenes: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path directory = argc > 1 ? argv[1] : "examples/scenes";
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    using vantrell::scenefiles::gltfText;
    bool ok = writeText(directory / "closed-room.gltf",
                        gltfText(oneMeshScene(closedRoom(true), "room", spawnNode(0.5, 0.3, 1))));
    ok = writeText(directory / "closed-room.obj", vantrell::scenefiles::objText(closedRoom(false))) && ok;
    ok = writeText(directory / "two-rooms.gltf", gltfText(twoRooms())) && ok;
    ok = writeText(directory / "stairs-ramp.gltf", gltfText(stairsRamp())) && ok;
    ok = writeText(directory / "pillar-table.gltf", gltfText(pillarTable())) && ok;
    ok = writeText(directory / "leaky-room.gltf", gltfText(leakyRoom())) && ok;
    return ok ? 0 : 1;
}
