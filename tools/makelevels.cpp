// makelevels: writes the sample levels shipped in examples/.
//
//   makelevels [OUTPUT_DIRECTORY]        (default: examples)
//
// Every level is built from convex regions ("rooms"): a floor, a flat ceiling and up to
// four walls with doorway openings, one space per region. Walls are 0.2 thick, so a
// doorway is a short passage of its own between the two rooms' walls: with back-to-back
// walls of no thickness, a body in the doorway would be inside the contact skin (0.05) of
// two opposed planes at once, and the contact query's push-out would swing between them.
//
// Conventions the viewer relies on:
//  - the walking start, the world origin, stands 0.05 above a floor (floors at y = -0.05);
//  - every face's front (its plane normal, and (v1 - v0) x (v2 - v0)) points into its room;
//  - each space lists its floor triangles first: the ground probe takes the first
//    triangle it touches, and a wall must not win over the floor beside it;
//  - node splits lie on the walls, so a point inside a room's box locates in that room;
//  - slopes are gentler than tan 0.5, where a standing body starts to slide.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "level/LevelFile.h"
#include "level/LevelValidation.h"

namespace {

using vantrell::BoundingBox;
using vantrell::BspNode;
using vantrell::LevelGeometry;
using vantrell::Plane;
using vantrell::Space;
using vantrell::SpacePartition;
using vantrell::Triangle;
using vantrell::Vector3;

constexpr float floorLevel = -0.05f;   // the origin stands this far above the start floor
constexpr float wallThickness = 0.2f;  // 2 contact skins and a margin
constexpr float doorWidth = 1.2f;
constexpr float doorHeight = 2.0f;

enum class Side { west, east, south, north };  // the walls at minX, maxX, minZ, maxZ

// A doorway in a wall: centred at `centre` along the wall (z for west/east walls, x for
// south/north walls), from the floor up to `height` above it.
struct Opening {
    float centre = 0.0f;
    float width = doorWidth;
    float height = doorHeight;
};

struct Wall {
    bool present = true;  // false: the side is open to the neighbouring region
    std::vector<Opening> openings;
};

// A convex region between two x positions. The floor may rise linearly from floorWest
// (at minX) to floorEast (at maxX), which makes a ramp; the ceiling is flat.
struct RoomSpec {
    float minX = 0.0f, maxX = 0.0f, minZ = 0.0f, maxZ = 0.0f;
    float floorWest = floorLevel, floorEast = floorLevel;
    float ceiling = 2.5f;
    std::array<Wall, 4> walls;  // indexed by Side

    Wall& wall(Side side) { return walls[static_cast<std::size_t>(side)]; }
    [[nodiscard]] float floorAt(float x) const {
        if (floorWest == floorEast) return floorWest;
        return floorWest + (floorEast - floorWest) * ((x - minX) / (maxX - minX));
    }
};

class LevelBuilder {
public:
    // Adds the region's space and its faces, floor first. Returns the space index.
    std::int32_t addRoom(const RoomSpec& room);

    // Adds a node splitting at x = at (or z = at): the front child takes x <= at (z <= at),
    // the back child the rest. Nodes are numbered in the order added, so the root must be added first.
    std::int32_t addSplitX(float at) { return addSplit({-1.0f, 0.0f, 0.0f, at}); }
    std::int32_t addSplitZ(float at) { return addSplit({0.0f, 0.0f, -1.0f, at}); }
    void link(std::int32_t node, std::int32_t front, std::int32_t back) {
        partition.nodes[static_cast<std::size_t>(node)].front = front;
        partition.nodes[static_cast<std::size_t>(node)].back = back;
    }
    [[nodiscard]] static std::int32_t leaf(std::int32_t space) { return vantrell::childOfSpace(space); }

    // Marks two spaces as open to each other, in both rows.
    void connect(std::int32_t s, std::int32_t t) { links.emplace_back(s, t); }

    // Fills the adjacency matrix and the node bounds; call once, after everything is added.
    void finish();

    LevelGeometry geometry;
    SpacePartition partition;

private:
    // One planar quad with corners in order around it; the front faces `normal`.
    void addQuad(std::int32_t space, std::array<Vector3, 4> corners, const Vector3& normal);
    void addWall(std::int32_t space, const RoomSpec& room, Side side, const Wall& wall);
    std::int32_t vertexIndex(const Vector3& v);
    std::int32_t normalIndex(const Vector3& n);
    std::int32_t planeIndex(const Plane& p);
    std::int32_t addSplit(const Plane& plane) {
        BspNode node;
        node.planeIndex = planeIndex(plane);
        return partition.addNode(node);
    }
    BoundingBox nodeBounds(std::int32_t child) const;

    // Shared records: faces on one plane share one plane record, so the contact query's
    // per-plane cache sees them as one plane.
    std::map<std::tuple<float, float, float>, std::int32_t> vertexLookup;
    std::map<std::tuple<float, float, float>, std::int32_t> normalLookup;
    std::map<std::tuple<float, float, float, float>, std::int32_t> planeLookup;
    std::vector<std::pair<std::int32_t, std::int32_t>> links;
};

std::int32_t LevelBuilder::vertexIndex(const Vector3& v) {
    auto [it, added] = vertexLookup.try_emplace({v.x, v.y, v.z}, 0);
    if (added) it->second = geometry.addVertex(v);
    return it->second;
}

std::int32_t LevelBuilder::normalIndex(const Vector3& n) {
    auto [it, added] = normalLookup.try_emplace({n.x, n.y, n.z}, 0);
    if (added) it->second = geometry.addNormal(n);
    return it->second;
}

std::int32_t LevelBuilder::planeIndex(const Plane& p) {
    auto [it, added] = planeLookup.try_emplace({p.a, p.b, p.c, p.d}, 0);
    if (added) it->second = geometry.addPlane(p);
    return it->second;
}

void LevelBuilder::addQuad(std::int32_t space, std::array<Vector3, 4> corners, const Vector3& normal) {
    if (dot(cross(corners[1] - corners[0], corners[2] - corners[0]), normal) < 0.0f) {
        std::swap(corners[1], corners[3]);  // reverse the loop so that the front faces normal
    }
    const Plane plane{normal.x, normal.y, normal.z, -dot(normal, corners[0])};
    Triangle t;
    t.planeIndex = planeIndex(plane);
    t.normalIndex.fill(normalIndex(normal));
    std::vector<std::int32_t>& list = partition.spaces[static_cast<std::size_t>(space)].triangleIndices;
    for (const std::array<int, 3>& corner : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
        for (std::size_t k = 0; k < 3; ++k)
            t.vertexIndex[k] = vertexIndex(corners[static_cast<std::size_t>(corner[k])]);
        list.push_back(geometry.addTriangle(t));
    }
}

// A wall in its own 2D frame: u runs along the wall, v is the height. Between and beside
// the openings the wall reaches from the floor to the ceiling; above each opening a lintel
// strip remains.
void LevelBuilder::addWall(std::int32_t space, const RoomSpec& room, Side side, const Wall& wall) {
    const bool alongZ = side == Side::west || side == Side::east;
    const float uMin = alongZ ? room.minZ : room.minX;
    const float uMax = alongZ ? room.maxZ : room.maxX;
    const float fixed = side == Side::west    ? room.minX
                        : side == Side::east  ? room.maxX
                        : side == Side::south ? room.minZ
                                              : room.maxZ;
    const Vector3 normal = side == Side::west    ? Vector3{1.0f, 0.0f, 0.0f}
                           : side == Side::east  ? Vector3{-1.0f, 0.0f, 0.0f}
                           : side == Side::south ? Vector3{0.0f, 0.0f, 1.0f}
                                                 : Vector3{0.0f, 0.0f, -1.0f};
    auto at = [&](float u, float v) { return alongZ ? Vector3{fixed, v, u} : Vector3{u, v, fixed}; };
    auto floorAt = [&](float u) { return alongZ ? room.floorAt(fixed) : room.floorAt(u); };
    auto strip = [&](float u0, float u1, float bottom0, float bottom1) {
        if (u1 <= u0) return;
        addQuad(space, {at(u0, bottom0), at(u1, bottom1), at(u1, room.ceiling), at(u0, room.ceiling)}, normal);
    };

    std::vector<Opening> openings = wall.openings;
    std::sort(openings.begin(), openings.end(), [](const Opening& a, const Opening& b) { return a.centre < b.centre; });
    float u = uMin;
    for (const Opening& o : openings) {
        const float left = o.centre - o.width * 0.5f;
        const float right = o.centre + o.width * 0.5f;
        strip(u, left, floorAt(u), floorAt(left));
        strip(left, right, floorAt(left) + o.height, floorAt(right) + o.height);
        u = right;
    }
    strip(u, uMax, floorAt(u), floorAt(uMax));
}

std::int32_t LevelBuilder::addRoom(const RoomSpec& room) {
    Space space;
    space.bounds = {room.minX, std::min(room.floorWest, room.floorEast), room.minZ, room.maxX, room.ceiling, room.maxZ};
    const std::int32_t index = partition.addSpace(space);

    // The floor's normal: straight up, or tilted back against the rise of a ramp.
    Vector3 floorNormal{0.0f, 1.0f, 0.0f};
    if (room.floorWest != room.floorEast) {
        const double rise = static_cast<double>(room.floorEast) - room.floorWest;
        const double run = static_cast<double>(room.maxX) - room.minX;
        const double length = std::sqrt(rise * rise + run * run);
        floorNormal = {static_cast<float>(-rise / length), static_cast<float>(run / length), 0.0f};
    }
    addQuad(index,
            {Vector3{room.minX, room.floorWest, room.minZ}, Vector3{room.maxX, room.floorEast, room.minZ},
             Vector3{room.maxX, room.floorEast, room.maxZ}, Vector3{room.minX, room.floorWest, room.maxZ}},
            floorNormal);
    for (Side side : {Side::west, Side::east, Side::south, Side::north}) {
        const Wall& wall = room.walls[static_cast<std::size_t>(side)];
        if (wall.present) addWall(index, room, side, wall);
    }
    addQuad(index,
            {Vector3{room.minX, room.ceiling, room.minZ}, Vector3{room.maxX, room.ceiling, room.minZ},
             Vector3{room.maxX, room.ceiling, room.maxZ}, Vector3{room.minX, room.ceiling, room.maxZ}},
            Vector3{0.0f, -1.0f, 0.0f});
    return index;
}

BoundingBox LevelBuilder::nodeBounds(std::int32_t child) const {
    if (child < 0) return partition.spaces[static_cast<std::size_t>(vantrell::spaceOfChild(child))].bounds;
    const BspNode& node = partition.nodes[static_cast<std::size_t>(child)];
    const BoundingBox a = nodeBounds(node.front);
    const BoundingBox b = nodeBounds(node.back);
    return {std::min(a.minX, b.minX), std::min(a.minY, b.minY), std::min(a.minZ, b.minZ),
            std::max(a.maxX, b.maxX), std::max(a.maxY, b.maxY), std::max(a.maxZ, b.maxZ)};
}

void LevelBuilder::finish() {
    vantrell::AdjacencyMatrix matrix = vantrell::AdjacencyMatrix::forSpaces(partition.spaces.size());
    for (const auto& [s, t] : links) matrix.link(static_cast<std::size_t>(s), static_cast<std::size_t>(t));
    partition.setAdjacency(std::move(matrix));
    for (std::size_t i = 0; i < partition.nodes.size(); ++i) {
        partition.nodes[i].bounds = nodeBounds(static_cast<std::int32_t>(i));
    }
}

// Two rooms of different sizes joined by a doorway straight ahead (+x) of the start.
//
//   z
//   ^   +---------+       +--------------+
//   |   |    A    +-------+      B       |
//   |   |    o    door D  |              |
//   |   |         +-------+              |
//   |   +---------+       +--------------+
//   +----------------------------------------> x
LevelBuilder twoRooms() {
    LevelBuilder b;
    const float doorX = 3.0f;

    RoomSpec a;
    a.minX = -2.0f, a.maxX = doorX, a.minZ = -3.0f, a.maxZ = 3.0f;
    a.ceiling = 2.45f;
    a.wall(Side::east).openings = {Opening{}};

    RoomSpec door;
    door.minX = doorX, door.maxX = doorX + wallThickness;
    door.minZ = -doorWidth * 0.5f, door.maxZ = doorWidth * 0.5f;
    door.ceiling = floorLevel + doorHeight;
    door.wall(Side::west).present = false;
    door.wall(Side::east).present = false;

    RoomSpec room;
    room.minX = doorX + wallThickness, room.maxX = 9.0f, room.minZ = -2.5f, room.maxZ = 3.5f;
    room.ceiling = 2.95f;
    room.wall(Side::west).openings = {Opening{}};

    // The root is added first so that it is node 0.
    const std::int32_t root = b.addSplitX(doorX);
    const std::int32_t inner = b.addSplitX(doorX + wallThickness);
    const std::int32_t spaceA = b.addRoom(a);
    const std::int32_t spaceDoor = b.addRoom(door);
    const std::int32_t spaceB = b.addRoom(room);
    b.link(root, LevelBuilder::leaf(spaceA), inner);
    b.link(inner, LevelBuilder::leaf(spaceDoor), LevelBuilder::leaf(spaceB));
    b.connect(spaceA, spaceDoor);
    b.connect(spaceDoor, spaceB);
    b.finish();
    return b;
}

// A start room, a doorway into a hall whose floor ramps up by 0.75 over 3 units
// (tan 0.25, about 14 degrees), and a doorway from the raised end into a raised room.
// The hall is three spaces: the low floor, the ramp and the high floor.
//
//   +-------+   +-----+-------+-----+   +---------+
//   |   A   +---+ low | ramp  | high+---+    C    |
//   |   o   D1  |     | ----> |     D2  (raised)  |
//   |       +---+     |       |     +---+         |
//   +-------+   +-----+-------+-----+   +---------+
LevelBuilder rampHall() {
    LevelBuilder b;
    const float door1X = 3.0f;
    const float rampStartX = 5.0f;
    const float rampEndX = 8.0f;
    const float door2X = 11.0f;
    const float raised = floorLevel + 0.75f;

    RoomSpec a;
    a.minX = -2.0f, a.maxX = door1X, a.minZ = -3.0f, a.maxZ = 3.0f;
    a.ceiling = 2.95f;
    a.wall(Side::east).openings = {Opening{}};

    RoomSpec door1;
    door1.minX = door1X, door1.maxX = door1X + wallThickness;
    door1.minZ = -doorWidth * 0.5f, door1.maxZ = doorWidth * 0.5f;
    door1.ceiling = floorLevel + doorHeight;
    door1.wall(Side::west).present = false;
    door1.wall(Side::east).present = false;

    RoomSpec low;
    low.minX = door1X + wallThickness, low.maxX = rampStartX, low.minZ = -2.0f, low.maxZ = 2.0f;
    low.ceiling = 3.45f;
    low.wall(Side::west).openings = {Opening{}};
    low.wall(Side::east).present = false;

    RoomSpec ramp = low;
    ramp.minX = rampStartX, ramp.maxX = rampEndX;
    ramp.floorEast = raised;
    ramp.wall(Side::west) = Wall{false, {}};

    RoomSpec high = low;
    high.minX = rampEndX, high.maxX = door2X;
    high.floorWest = raised, high.floorEast = raised;
    high.wall(Side::west) = Wall{false, {}};
    high.wall(Side::east) = Wall{true, {Opening{}}};

    RoomSpec door2 = door1;
    door2.minX = door2X, door2.maxX = door2X + wallThickness;
    door2.floorWest = raised, door2.floorEast = raised;
    door2.ceiling = raised + doorHeight;

    RoomSpec c;
    c.minX = door2X + wallThickness, c.maxX = 16.0f, c.minZ = -2.5f, c.maxZ = 2.5f;
    c.floorWest = raised, c.floorEast = raised;
    c.ceiling = raised + 3.0f;
    c.wall(Side::west).openings = {Opening{}};

    // Splits at every region boundary, balanced around the ramp's start.
    const std::int32_t root = b.addSplitX(rampStartX);
    const std::int32_t westHalf = b.addSplitX(door1X);
    const std::int32_t westInner = b.addSplitX(door1X + wallThickness);
    const std::int32_t eastHalf = b.addSplitX(door2X);
    const std::int32_t hallEast = b.addSplitX(rampEndX);
    const std::int32_t eastInner = b.addSplitX(door2X + wallThickness);

    const std::int32_t spaceA = b.addRoom(a);
    const std::int32_t spaceDoor1 = b.addRoom(door1);
    const std::int32_t spaceLow = b.addRoom(low);
    const std::int32_t spaceRamp = b.addRoom(ramp);
    const std::int32_t spaceHigh = b.addRoom(high);
    const std::int32_t spaceDoor2 = b.addRoom(door2);
    const std::int32_t spaceC = b.addRoom(c);

    using L = LevelBuilder;
    b.link(root, westHalf, eastHalf);
    b.link(westHalf, L::leaf(spaceA), westInner);
    b.link(westInner, L::leaf(spaceDoor1), L::leaf(spaceLow));
    b.link(eastHalf, hallEast, eastInner);
    b.link(hallEast, L::leaf(spaceRamp), L::leaf(spaceHigh));
    b.link(eastInner, L::leaf(spaceDoor2), L::leaf(spaceC));

    b.connect(spaceA, spaceDoor1);
    b.connect(spaceDoor1, spaceLow);
    b.connect(spaceLow, spaceRamp);
    b.connect(spaceRamp, spaceHigh);
    b.connect(spaceHigh, spaceDoor2);
    b.connect(spaceDoor2, spaceC);
    b.finish();
    return b;
}

// A hub room with a doorway in each of its four walls and a room behind each: nine spaces,
// so adjacency rows take two bytes, and splits along both x and z.
//
//                +-----+
//                |  N  |
//            +---+-D---+---+
//   +-----+  |             |  +-------+
//   |  W  +-D+   hub  o    +D-+   E   |
//   +-----+  |             |  +-------+
//            +---+-D---+---+
//                |  S  |
//                +-----+
LevelBuilder crossroads() {
    LevelBuilder b;
    const float hubWest = -2.5f, hubEast = 2.5f, hubSouth = -3.0f, hubNorth = 2.0f;
    const float t = wallThickness;

    RoomSpec hub;
    hub.minX = hubWest, hub.maxX = hubEast, hub.minZ = hubSouth, hub.maxZ = hubNorth;
    hub.ceiling = 3.45f;
    for (Side side : {Side::west, Side::east, Side::south, Side::north}) hub.wall(side).openings = {Opening{}};

    // A doorway passage through a wall at x (or z) .. + thickness, centred on z = 0 (x = 0).
    auto passage = [&](bool alongX, float at) {
        RoomSpec door;
        if (alongX) {
            door.minX = at, door.maxX = at + t, door.minZ = -doorWidth * 0.5f, door.maxZ = doorWidth * 0.5f;
            door.wall(Side::west).present = false;
            door.wall(Side::east).present = false;
        } else {
            door.minX = -doorWidth * 0.5f, door.maxX = doorWidth * 0.5f, door.minZ = at, door.maxZ = at + t;
            door.wall(Side::south).present = false;
            door.wall(Side::north).present = false;
        }
        door.ceiling = floorLevel + doorHeight;
        return door;
    };

    RoomSpec east;
    east.minX = hubEast + t, east.maxX = 7.7f, east.minZ = -2.5f, east.maxZ = 2.5f;
    east.ceiling = 2.95f;
    east.wall(Side::west).openings = {Opening{}};

    RoomSpec west;
    west.minX = -7.7f, west.maxX = hubWest - t, west.minZ = -2.0f, west.maxZ = 2.0f;
    west.ceiling = 2.45f;
    west.wall(Side::east).openings = {Opening{}};

    // The north and south rooms stay within the hub's x range: the x splits east and west
    // of the hub cut through all z.
    RoomSpec north;
    north.minX = -2.0f, north.maxX = 2.0f, north.minZ = hubNorth + t, north.maxZ = 6.2f;
    north.ceiling = 2.45f;
    north.wall(Side::south).openings = {Opening{}};

    RoomSpec south;
    south.minX = hubWest, south.maxX = hubEast, south.minZ = -7.2f, south.maxZ = hubSouth - t;
    south.ceiling = 2.95f;
    south.wall(Side::north).openings = {Opening{}};

    const std::int32_t root = b.addSplitX(hubEast);
    const std::int32_t westSide = b.addSplitX(hubWest);
    const std::int32_t westInner = b.addSplitX(hubWest - t);
    const std::int32_t middle = b.addSplitZ(hubNorth);
    const std::int32_t southSide = b.addSplitZ(hubSouth);
    const std::int32_t southInner = b.addSplitZ(hubSouth - t);
    const std::int32_t northInner = b.addSplitZ(hubNorth + t);
    const std::int32_t eastInner = b.addSplitX(hubEast + t);

    const std::int32_t spaceHub = b.addRoom(hub);
    const std::int32_t spaceEastDoor = b.addRoom(passage(true, hubEast));
    const std::int32_t spaceEast = b.addRoom(east);
    const std::int32_t spaceWestDoor = b.addRoom(passage(true, hubWest - t));
    const std::int32_t spaceWest = b.addRoom(west);
    const std::int32_t spaceNorthDoor = b.addRoom(passage(false, hubNorth));
    const std::int32_t spaceNorth = b.addRoom(north);
    const std::int32_t spaceSouthDoor = b.addRoom(passage(false, hubSouth - t));
    const std::int32_t spaceSouth = b.addRoom(south);

    using L = LevelBuilder;
    b.link(root, westSide, eastInner);
    b.link(eastInner, L::leaf(spaceEastDoor), L::leaf(spaceEast));
    b.link(westSide, westInner, middle);
    b.link(westInner, L::leaf(spaceWest), L::leaf(spaceWestDoor));
    b.link(middle, southSide, northInner);
    b.link(southSide, southInner, L::leaf(spaceHub));
    b.link(southInner, L::leaf(spaceSouth), L::leaf(spaceSouthDoor));
    b.link(northInner, L::leaf(spaceNorthDoor), L::leaf(spaceNorth));

    for (const auto& [door, room] : {std::pair{spaceEastDoor, spaceEast}, std::pair{spaceWestDoor, spaceWest},
                                     std::pair{spaceNorthDoor, spaceNorth}, std::pair{spaceSouthDoor, spaceSouth}}) {
        b.connect(spaceHub, door);
        b.connect(door, room);
    }
    b.finish();
    return b;
}

bool write(const std::filesystem::path& path, const LevelBuilder& level) {
    const std::vector<std::string> problems = vantrell::validateLevel(level.geometry, level.partition);
    if (!problems.empty()) {
        std::fprintf(stderr, "makelevels: %s is not valid:\n", path.c_str());
        for (const std::string& p : problems) std::fprintf(stderr, "  %s\n", p.c_str());
        return false;
    }
    if (!vantrell::writeLevelFile(path.string(), level.geometry, level.partition)) {
        std::fprintf(stderr, "makelevels: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s: %d spaces, %d triangles, %zu nodes\n", path.c_str(), level.partition.spaceCount(),
                level.geometry.triangleCount(), level.partition.nodes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: makelevels [OUTPUT_DIRECTORY]\n");
        return 2;
    }
    const std::filesystem::path directory = argc == 2 ? argv[1] : "examples";
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        std::fprintf(stderr, "makelevels: cannot create %s: %s\n", directory.c_str(), error.message().c_str());
        return 1;
    }
    const bool ok = write(directory / "two-rooms.bsp", twoRooms()) && write(directory / "ramp-hall.bsp", rampHall()) &&
                    write(directory / "crossroads.bsp", crossroads());
    return ok ? 0 : 1;
}
