// The level compiler.
//
// Sections: tolerances and planes; triangle pieces; the tree (cutting until every piece bounds
// its leaf); portals and the triangles that cover them; the flood from outside, solid leaves and
// the leak chain; the spawn; merging leaves into spaces; the level records; the entry point.
#include "compile/Compiler.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <utility>

#include "compile/Portals.h"
#include "level/LevelValidation.h"

namespace vantrell {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string formatNumber(double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4g", v);
    return text;
}

std::string formatSeconds(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

std::string formatPoint(const Vector3d& p) {
    return "(" + formatNumber(p.x + 0.0) + ", " + formatNumber(p.y + 0.0) + ", " + formatNumber(p.z + 0.0) + ")";
}

// Limits that keep a hostile or huge scene to bounded time and memory; a scene that would need
// more is refused with a message. Real scenes of a million triangles stay well inside them.
constexpr std::size_t maxInputTriangles = 16u << 20;
constexpr std::size_t maxLeaves = 4u << 20;
constexpr std::size_t maxPiecePoints = 96u << 20;  // corners of all triangle pieces ever made
// Every task and leaf keeps the planes on its way down, so depth times leaves is memory: a
// balanced tree of the largest scenes is a few dozen deep, and a chain of cuts as deep as this
// is a hostile or broken scene.
constexpr std::size_t maxTreeDepth = 4096;
constexpr std::size_t maxPathEntries = 64u << 20;  // the planes kept by all leaves together

// The body point starts this far above the floor: inside the ground probe's reach, so the walk
// starts standing.
constexpr double bodyLift = 0.02;
// Faces whose normal has at least this upward part are floors (tan 0.5 is where a standing body
// starts to slide, at 26.57 degrees, whose cosine this is).
constexpr double walkableFloorY = 0.894;
// The contact query's skin: a face this near a movement's end point is met.
constexpr double contactSkin = 0.05;
// How far a clip query sliding along a wall looks past where it is: the crossing it tests lies
// skin / sin(angle) ahead, a quarter of a unit for a body walking 11 degrees into the wall.
constexpr double seamReach = 0.25;
// A floor meeting a leaf's lower side at a ridge this flat or flatter (3 degrees) is copied onto
// that side when the leaf cannot list it (copyOntoSide).
constexpr double nearlyParallelFloors = 0.9986;
// How far below the body the ground probe reaches: 0.05 below the previous position, which
// rests up to 0.05 above the floor.
constexpr double shelfReach = 0.1;
// A leak chain longer than this is cut (the first steps say where to look).
constexpr std::size_t maxLeakChain = 10000;

// ---- Tolerances and planes ----------------------------------------------------------------

// Distances in level units, grown with the level's extent beyond 1000 units so that they stay
// above the rounding of single-precision coordinates. The walkable check allows 0.005; the
// compiler mends a tenth of that, so that a level it made passes the check after its planes
// and corners were rounded to floats and its regions cut again from them. Cutting takes points within 0.0002 of a plane
// as on it: the corners of an imported game level's faces lie up to 0.01 of its units (0.0002 of ours) off the planes
// that bound their leaves, and slivers thinner than that are no space to walk in.
struct Tolerances {
    double cut = 2e-4;           // a point this close to a plane is on it
    double violation = 5e-4;     // a region corner this far behind a piece's plane breaks the invariant
    double nearPlane = 2e-3;     // a parallel piece this close to a plane is taken onto it
    double borrowBehind = 4e-3;  // how much of a space may lie behind a face copied into it
};

Tolerances tolerancesFor(double largestCoordinate) {
    const double unit = std::max(1.0, largestCoordinate / 1000.0);
    return {2e-4 * unit, 5e-4 * unit, 2e-3 * unit, 4e-3 * unit};
}

// Planes are kept once, with a canonical sign (the largest component of the normal positive);
// a piece or node names a plane by reference: index * 2, plus 1 when it faces the other way.
class PlaneTable {
public:
    explicit PlaneTable(double offsetQuantum) : offsetQuantum(offsetQuantum) {}

    std::uint32_t add(const PlaneD& unitPlane) {
        PlaneD p = unitPlane;
        const Vector3d& n = p.normal;
        const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
        const double major = ax >= ay && ax >= az ? n.x : (ay >= az ? n.y : n.z);
        const bool flip = major < 0.0;
        if (flip) p = flipped(p);
        const Key key{std::llround(p.normal.x * 1e9), std::llround(p.normal.y * 1e9), std::llround(p.normal.z * 1e9),
                      std::llround(p.d / offsetQuantum)};
        const auto [it, added] = lookup.try_emplace(key, static_cast<std::uint32_t>(planes.size()));
        if (added) {
            planes.push_back(p);
            axial.push_back((p.normal.x == 0.0) + (p.normal.y == 0.0) + (p.normal.z == 0.0) == 2 ? 1 : 0);
        }
        return it->second * 2 + (flip ? 1u : 0u);
    }

    [[nodiscard]] PlaneD oriented(std::uint32_t ref) const {
        const PlaneD& p = planes[ref >> 1];
        return (ref & 1u) != 0 ? flipped(p) : p;
    }
    [[nodiscard]] bool isAxial(std::uint32_t ref) const { return axial[ref >> 1] != 0; }
    [[nodiscard]] const PlaneD& canonical(std::uint32_t ref) const { return planes[ref >> 1]; }
    [[nodiscard]] std::size_t size() const { return planes.size(); }

private:
    struct Key {
        long long a, b, c, d;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const {
            std::uint64_t h = 1469598103934665603ull;
            for (long long v : {k.a, k.b, k.c, k.d}) h = (h ^ static_cast<std::uint64_t>(v)) * 1099511628211ull;
            return static_cast<std::size_t>(h);
        }
    };
    double offsetQuantum;
    std::vector<PlaneD> planes;
    std::vector<std::uint8_t> axial;
    std::unordered_map<Key, std::uint32_t, KeyHash> lookup;
};

// The unit plane through a triangle, facing the side (p1 - p0) x (p2 - p0) points to; false
// when the triangle is not finite or is a sliver: all of it within minHeight of the line of its
// longest edge, where the direction of its plane is mostly rounding.
bool trianglePlane(const Vector3d& p0, const Vector3d& p1, const Vector3d& p2, double minHeight, PlaneD& out) {
    const Vector3d n = cross(p1 - p0, p2 - p0);
    const double twiceArea = length(n);
    const double longest = std::max({length(p1 - p0), length(p2 - p1), length(p0 - p2)});
    if (!std::isfinite(twiceArea) || !(twiceArea > minHeight * longest) || !(longest > 0.0)) return false;
    out.normal = (1.0 / twiceArea) * n;
    const Vector3d centre = (1.0 / 3.0) * (p0 + p1 + p2);
    out.d = -dot(out.normal, centre);
    return true;
}

// ---- Triangle pieces ----------------------------------------------------------------------

// A convex piece of an input triangle, on a plane that faces the triangle's front.
struct Piece {
    std::uint32_t first = 0;  // corners in the point pool, in the triangle's winding
    std::uint32_t count = 0;
    std::uint32_t source = 0;  // the input triangle
    std::uint32_t plane = 0;   // plane reference
};

// ---- The tree ---------------------------------------------------------------------------

struct BuildNode {
    std::uint32_t plane = 0;  // plane reference; the front child takes distance >= 0
    std::int32_t front = 0;   // >= 0 a node, < 0 the leaf ~child
    std::int32_t back = 0;
};

enum class LeafState : std::uint8_t { open, solid, outside };

struct Leaf {
    std::vector<std::uint32_t> pieces;  // sorted by plane index after the split
    std::vector<Vector3d> corners;      // of the leaf's region
    Vector3d lo, hi;                    // the region's box
    Vector3d centre;
    std::vector<std::uint32_t> path;          // the planes on the way down, facing into the region
    std::vector<std::uint32_t> borrowed;      // copies of neighbours' pieces just outside it (see borrowNearFaces)
    std::vector<std::uint32_t> borrowedFrom;  // the pieces they copy
    bool startSolid = false;
    bool thin = false;  // thinner than 0.01 on average: its corners are too poorly placed to merge it
    LeafState state = LeafState::open;
};

class Compiler {
public:
    Compiler(const SceneMesh& mesh, const StartPartition* start, const CompileOptions& options, CompileReport& report,
             std::string& error)
        : mesh(mesh), start(start), options(options), report(report), error(error) {}

    bool run(LevelGeometry& geometry, SpacePartition& partition);

private:
    bool fail(std::string message) {
        error = std::move(message);
        return false;
    }
    void say(const std::string& line) const {
        if (options.progress) options.progress(line);
    }
    [[nodiscard]] Vector3d sourcePoint(const Vector3d& p) const {
        return options.toSourcePoint ? options.toSourcePoint(p) : p;
    }

    bool takeTriangles();
    bool buildTree();
    bool buildPortals();
    bool flood();
    bool placeSpawn();
    bool checkLeak();
    void dropUnreachable();
    void mergeLeaves();
    bool borrowNearFaces();
    bool emit(LevelGeometry& geometry, SpacePartition& partition);

    // Tree building.
    struct Task {
        std::int32_t parent = -1;     // the node whose child this becomes; -1 for the root
        int side = 0;                 // 0 front, 1 back
        std::int32_t startChild = 0;  // the starting tree's child reference still to follow
        bool free = true;             // false: following the starting tree
        ConvexPolyhedron region;
        std::vector<std::uint32_t> pieces;
        std::vector<std::uint32_t> path;  // the planes on the way down, facing into the region
    };
    void attach(const Task& task, std::int32_t child);
    bool finishLeaf(Task& task, bool solid);
    bool clipToLeaf(std::vector<std::uint32_t>& leafPieces, const std::vector<std::uint32_t>& path);
    bool splitTask(Task& task, const PlaneD& plane, std::uint32_t planeRef, std::vector<Task>& stack);
    std::optional<std::uint32_t> chooseSplitter(const Task& task, const std::vector<Vector3d>& corners,
                                                std::vector<std::uint32_t>& facingAway);
    bool addPiece(const std::vector<Vector3d>& points, std::uint32_t source, std::uint32_t plane,
                  std::vector<std::uint32_t>& into);
    [[nodiscard]] std::span<const Vector3d> pointsOf(const Piece& piece) const {
        return std::span<const Vector3d>(pool).subspan(piece.first, piece.count);
    }
    [[nodiscard]] std::int32_t locateLeaf(const Vector3d& p) const;
    // The direction of a plane, either way round, to a ten-thousandth: parallel planes share it.
    [[nodiscard]] std::int64_t directionKey(std::uint32_t ref) const {
        const Vector3d& n = planes->canonical(ref).normal;
        const auto q = [](double v) { return static_cast<std::int64_t>(std::llround(v * 1e4)) + 20000; };
        return (q(n.x) * 40001 + q(n.y)) * 40001 + q(n.z);
    }
    [[nodiscard]] double coverage(std::int32_t leaf, std::uint32_t planeIndex, const LeafPortal& portal);
    // Cuts points down to the leaf's region widened at each side (a path plane reference) by
    // reach(side) into clipped (next is scratch); false when nothing is left.
    template <class Reach>
    bool clipNearLeaf(const Leaf& leaf, std::span<const Vector3d> points, Reach reach, std::vector<Vector3d>& clipped,
                      std::vector<Vector3d>& next) const;
    // Lists clipped on plane in the leaf's space as a copy of piece id, unless it is a sliver.
    bool lendCopy(Leaf& leaf, std::uint32_t id, std::uint32_t plane, const std::vector<Vector3d>& clipped);
    bool copyOntoSide(Leaf& leaf, std::uint32_t id, std::uint32_t ref, std::vector<Vector3d>& clipped,
                      std::vector<Vector3d>& next);
    // The leaf's pieces on one plane (either way round); they are sorted by plane index.
    [[nodiscard]] std::span<const std::uint32_t> piecesOnPlane(const Leaf& leaf, std::uint32_t planeIndex) const;

    const SceneMesh& mesh;
    const StartPartition* start;
    const CompileOptions& options;
    CompileReport& report;
    std::string& error;

    Tolerances tol;
    std::optional<PlaneTable> planes;
    Vector3d sceneLo, sceneHi;  // the triangles' box
    Vector3d rootLo, rootHi;    // the tree's box, a margin around it
    std::vector<Vector3d> pool;
    std::vector<Piece> pieces;
    std::vector<std::uint32_t> inputPieces;
    std::vector<BuildNode> nodes;
    std::vector<Leaf> leaves;
    std::vector<std::uint32_t> startPlaneRefs;  // per plane of the starting tree
    std::size_t pathEntries = 0;                // the planes kept by all leaves' paths
    std::vector<std::uint32_t> refStamp;        // per plane reference: the task that last met it
    std::uint32_t refGeneration = 0;

    struct Opening {
        std::int32_t a, b;  // leaves (b may be -1: outside)
        double area;
        bool covered;       // closed by triangles; always for one into a solid leaf of the starting tree
        std::int32_t node;  // whose plane it lies on; -1 for a face of the tree's box
        bool intoSolid;     // one side is a solid leaf of the starting tree
    };
    std::vector<Opening> openings;
    std::vector<std::uint32_t> firstLink;   // per leaf: its open portals, linkTo[firstLink[l], firstLink[l + 1])
    std::vector<std::int32_t> linkTo;       // the leaf on the other side, or -1 for the outside
    std::vector<std::int32_t> floodParent;  // per leaf: the leaf the flood came from; -1 from outside, -2 not reached

    Vector3d body;  // the body's start, level coordinates before the translation
    std::int32_t spawnLeaf = -1;
    Vector3d translation;

    std::vector<std::int32_t> spaceOfLeaf;
    std::int32_t solidSpace = -1;
    std::size_t spaceCount = 0;
    std::size_t unwalkableLeaves = 0;
    double settledVolume = 0.0;  // of the leaves made so far, for progress lines
    double facingAwayArea = 0.0;
};

bool Compiler::addPiece(const std::vector<Vector3d>& points, std::uint32_t source, std::uint32_t plane,
                        std::vector<std::uint32_t>& into) {
    if (points.size() < 3) return true;
    if (points.size() > pool.max_size() - pool.size() || pool.size() + points.size() > maxPiecePoints) {
        return fail("the scene is too complex to compile: its triangles are cut into more than " +
                    std::to_string(maxPiecePoints) + " corners");
    }
    Piece piece;
    piece.first = static_cast<std::uint32_t>(pool.size());
    piece.count = static_cast<std::uint32_t>(points.size());
    piece.source = source;
    piece.plane = plane;
    pool.insert(pool.end(), points.begin(), points.end());
    into.push_back(static_cast<std::uint32_t>(pieces.size()));
    pieces.push_back(piece);
    return true;
}

bool Compiler::takeTriangles() {
    report.inputTriangles = mesh.triangles.size();
    if (mesh.triangles.size() > maxInputTriangles) {
        return fail("the scene has " + std::to_string(mesh.triangles.size()) + " triangles, more than the " +
                    std::to_string(maxInputTriangles) + " a level may be compiled from");
    }
    bool any = false;
    double largest = 0.0;
    const auto position = [&](std::uint32_t i, Vector3d& p) {
        if (i >= mesh.positions.size()) return false;
        p = mesh.positions[i];
        return isFinite(p);
    };
    for (const auto& t : mesh.triangles) {
        Vector3d p[3];
        if (!position(t[0], p[0]) || !position(t[1], p[1]) || !position(t[2], p[2])) continue;
        for (const Vector3d& v : p) {
            if (!any) sceneLo = sceneHi = v, any = true;
            sceneLo = {std::min(sceneLo.x, v.x), std::min(sceneLo.y, v.y), std::min(sceneLo.z, v.z)};
            sceneHi = {std::max(sceneHi.x, v.x), std::max(sceneHi.y, v.y), std::max(sceneHi.z, v.z)};
            largest = std::max({largest, std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
        }
    }
    if (!any) return fail("the scene has no triangles with finite corners");
    if (largest > 1e7)
        return fail("the scene reaches " + formatNumber(largest) +
                    " units from the origin, beyond the 1e7 a level can hold");
    tol = tolerancesFor(largest);
    planes.emplace(tol.cut * 0.1);

    // The tree's box: the scene's, or the starting tree's, with a margin, so that no triangle
    // touches its faces and the outside reaches all round the scene.
    const double margin = 1.0 + 0.01 * length(sceneHi - sceneLo);
    rootLo = sceneLo - Vector3d{margin, margin, margin};
    rootHi = sceneHi + Vector3d{margin, margin, margin};
    if (start != nullptr) {
        rootLo = {std::min(rootLo.x, start->lo.x), std::min(rootLo.y, start->lo.y), std::min(rootLo.z, start->lo.z)};
        rootHi = {std::max(rootHi.x, start->hi.x), std::max(rootHi.y, start->hi.y), std::max(rootHi.z, start->hi.z)};
    }

    std::vector<Vector3d> corners(3);
    for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
        const auto& t = mesh.triangles[i];
        PlaneD plane;
        if (!position(t[0], corners[0]) || !position(t[1], corners[1]) || !position(t[2], corners[2]) ||
            !trianglePlane(corners[0], corners[1], corners[2], tol.cut, plane)) {
            ++report.droppedTriangles;
            continue;
        }
        if (!addPiece(corners, static_cast<std::uint32_t>(i), planes->add(plane), inputPieces)) return false;
    }
    if (inputPieces.empty()) return fail("the scene has no triangle that is not a sliver");
    if (report.droppedTriangles > 0) {
        report.warnings.push_back(std::to_string(report.droppedTriangles) + " triangles thinner than " +
                                  formatNumber(tol.cut) + " units or with corners that are not finite were left out");
    }
    if (start != nullptr) {
        startPlaneRefs.reserve(start->planes.size());
        for (const PlaneD& p : start->planes) {
            const PlaneD unit{unitOrZero(p.normal), 0.0};
            const double l = length(p.normal);
            if (isZero(unit.normal) || !std::isfinite(p.d))
                return fail("the starting tree has a plane without direction");
            startPlaneRefs.push_back(planes->add({unit.normal, p.d / l}));
        }
    }
    return true;
}

void Compiler::attach(const Task& task, std::int32_t child) {
    if (task.parent < 0) return;
    BuildNode& parent = nodes[static_cast<std::size_t>(task.parent)];
    (task.side == 0 ? parent.front : parent.back) = child;
}

// The tolerances of cutting let a piece stick out of its leaf by a little at each plane; where
// those add up past the cutting tolerance (thin leaves between planes at a shallow angle), the
// piece is cut back to the leaf.
bool Compiler::clipToLeaf(std::vector<std::uint32_t>& leafPieces, const std::vector<std::uint32_t>& path) {
    std::vector<Vector3d> clipped, next;
    for (std::size_t k = 0; k < leafPieces.size(); ++k) {
        const Piece piece = pieces[leafPieces[k]];
        const Vector3d own = planes->oriented(piece.plane).normal;
        // Planes about parallel to the piece are the faces it lies on (within the near-plane
        // tolerance it was taken onto them with), not sides that cut it.
        const auto crosses = [&](const PlaneD& plane) { return std::fabs(dot(plane.normal, own)) <= 0.99; };
        bool out = false;
        for (const std::uint32_t ref : path) {
            const PlaneD plane = planes->oriented(ref);
            if (!crosses(plane)) continue;
            for (const Vector3d& q : pointsOf(piece)) out = out || distanceTo(plane, q) < -tol.cut;
            if (out) break;
        }
        if (!out) continue;
        const std::span<const Vector3d> points = pointsOf(piece);
        clipped.assign(points.begin(), points.end());
        for (const std::uint32_t ref : path) {
            if (!crosses(planes->oriented(ref))) continue;
            const PolygonSide side = splitConvexPolygon(clipped, planes->oriented(ref), tol.cut, &next, nullptr);
            if (side == PolygonSide::back) {
                clipped.clear();
                break;
            }
            if (side == PolygonSide::both) clipped.swap(next);
        }
        std::vector<std::uint32_t> replacement;
        if (!addPiece(clipped, piece.source, piece.plane, replacement)) return false;
        ++report.clippedPieces;
        if (replacement.empty()) {
            leafPieces.erase(leafPieces.begin() + static_cast<std::ptrdiff_t>(k));
            --k;
        } else {
            leafPieces[k] = replacement[0];
        }
    }
    return true;
}

bool Compiler::finishLeaf(Task& task, bool solid) {
    if (leaves.size() >= maxLeaves) {
        return fail("the scene is too complex to compile: it needs more than " + std::to_string(maxLeaves) + " leaves");
    }
    if (options.progress) settledVolume += task.region.volume();
    Leaf leaf;
    leaf.startSolid = solid;
    leaf.state = solid ? LeafState::solid : LeafState::open;
    // A solid leaf keeps its pieces aside: faces a little behind a wall's plane, inside the
    // solid, may still be needed by the open leaf in front (see borrowNearFaces).
    leaf.pieces = std::move(task.pieces);
    if (!solid && !clipToLeaf(leaf.pieces, task.path)) return false;
    leaf.corners = task.region.corners();
    pathEntries += task.path.size();
    if (pathEntries > maxPathEntries) {
        return fail("the scene is too complex to compile: its leaves lie too deep in the tree");
    }
    leaf.path = task.path;
    bool haveBox = task.region.bounds(leaf.lo, leaf.hi);
    {
        // Mean thickness: volume over half the surface (a slab of thickness t gives t).
        double surface = 0.0;
        for (const ConvexPolyhedron::Face& f : task.region.faces()) surface += polygonArea(task.region.polygon(f));
        leaf.thin = !(task.region.volume() > 0.5 * surface * 20.0 * tol.violation);
    }
    // The box also holds the leaf's pieces: the corners of a sliver of a region can fall short
    // of its length, and the box must hold what the space lists.
    for (const std::uint32_t id : leaf.pieces) {
        for (const Vector3d& q : pointsOf(pieces[id])) {
            if (!haveBox) leaf.lo = leaf.hi = q, haveBox = true;
            leaf.lo = {std::min(leaf.lo.x, q.x), std::min(leaf.lo.y, q.y), std::min(leaf.lo.z, q.z)};
            leaf.hi = {std::max(leaf.hi.x, q.x), std::max(leaf.hi.y, q.y), std::max(leaf.hi.z, q.z)};
        }
    }
    Vector3d sum;
    for (const Vector3d& c : leaf.corners) sum = sum + c;
    leaf.centre = leaf.corners.empty() ? sum : (1.0 / static_cast<double>(leaf.corners.size())) * sum;
    std::sort(leaf.pieces.begin(), leaf.pieces.end(), [&](std::uint32_t a, std::uint32_t b) {
        return pieces[a].plane >> 1 < pieces[b].plane >> 1 || (pieces[a].plane >> 1 == pieces[b].plane >> 1 && a < b);
    });
    if (!solid) report.fragments += leaf.pieces.size();
    attach(task, childOfSpace(static_cast<std::int32_t>(leaves.size())));
    leaves.push_back(std::move(leaf));
    return true;
}

// The splitter rule. Candidates are the planes of the pieces that break the invariant in this
// region (only those can mend it, and each is used once on a path, so cutting ends). Each is
// scored on up to 1024 of the region's pieces:
//     cost = 4 * pieces it cuts + |pieces in front - pieces behind|,
// half as much again for a plane that is not axial, and the cheapest wins. Cuts are weighted
// because every cut piece is another triangle and can cut again further down; the balance
// term keeps the tree's depth near log n, so that the work grows as n log n; axial planes are
// preferred because rooms are mostly axial, their cuts land on round coordinates and make no
// slivers. At most 24 candidates are scored, half of them axial when there are axial ones.
std::optional<std::uint32_t> Compiler::chooseSplitter(const Task& task, const std::vector<Vector3d>& corners,
                                                      std::vector<std::uint32_t>& facingAway) {
    std::vector<std::uint32_t> refs;
    if (refStamp.size() != planes->size() * 2) refStamp.assign(planes->size() * 2, 0), refGeneration = 0;
    ++refGeneration;
    for (const std::uint32_t id : task.pieces) {
        const std::uint32_t ref = pieces[id].plane;
        if (refStamp[ref] == refGeneration) continue;
        refStamp[ref] = refGeneration;
        refs.push_back(ref);
    }
    std::vector<std::uint32_t> axial, other;
    for (const std::uint32_t ref : refs) {
        const PlaneD plane = planes->oriented(ref);
        double lo = distanceTo(plane, corners[0]), hi = lo;
        for (const Vector3d& c : corners) {
            const double d = distanceTo(plane, c);
            lo = std::min(lo, d);
            hi = std::max(hi, d);
        }
        // Breaks the invariant, and cutting along it leaves a region on both sides.
        if (lo < -tol.violation && hi > tol.cut) (planes->isAxial(ref) ? axial : other).push_back(ref);
        // The whole region lies behind: the pieces lie on its boundary and face out of it.
        else if (lo < -tol.violation)
            facingAway.push_back(ref);
    }
    if (axial.empty() && other.empty()) return std::nullopt;
    std::unordered_map<std::int64_t, std::vector<std::uint32_t>> parallelRefs;  // by direction
    for (const std::uint32_t ref : refs) parallelRefs[directionKey(ref)].push_back(ref);
    constexpr std::size_t maxCandidates = 24;
    std::vector<std::uint32_t> candidates;
    const auto sample = [&](const std::vector<std::uint32_t>& from, std::size_t count) {
        if (from.size() <= count) {
            candidates.insert(candidates.end(), from.begin(), from.end());
            return;
        }
        for (std::size_t k = 0; k < count; ++k) candidates.push_back(from[k * from.size() / count]);
    };
    const std::size_t axialShare = other.empty() ? maxCandidates : std::min(axial.size(), maxCandidates / 2);
    sample(axial, axialShare);
    sample(other, maxCandidates - candidates.size());

    constexpr std::size_t maxScored = 1024;
    const std::size_t stride = std::max<std::size_t>(1, task.pieces.size() / maxScored);
    double bestCost = 0.0;
    std::optional<std::uint32_t> best;
    for (const std::uint32_t ref : candidates) {
        const PlaneD plane = planes->oriented(ref);
        double front = 0, back = 0, cut = 0;
        // A face of the region close to the plane, parallel to it and facing it (a floor under
        // a cut a little above it): the cut would leave the face in a slab too thin to stand
        // in, out of reach of the contact query from the space beyond.
        bool shelf = false;
        if (const auto bucket = parallelRefs.find(directionKey(ref)); bucket != parallelRefs.end()) {
            const double d = planes->canonical(ref).d;
            for (const std::uint32_t other : bucket->second) {
                const double offset = ((other & 1u) != 0 ? -1.0 : 1.0) * (planes->canonical(other).d - d);
                shelf = shelf || (offset > tol.cut && offset < shelfReach);
            }
        }
        for (std::size_t k = 0; k < task.pieces.size(); k += stride) {
            const Piece& piece = pieces[task.pieces[k]];
            if (piece.plane >> 1 == ref >> 1) {
                (piece.plane == ref ? front : back) += 1;
                continue;
            }
            bool anyFront = false, anyBack = false;
            for (const Vector3d& p : pointsOf(piece)) {
                const double d = distanceTo(plane, p);
                anyFront = anyFront || d > tol.cut;
                anyBack = anyBack || d < -tol.cut;
            }
            if (anyFront && anyBack)
                cut += 1;
            else if (anyBack)
                back += 1;
            else
                front += 1;
        }
        double cost = 4.0 * cut + std::fabs(front - back);
        if (!planes->isAxial(ref)) cost = 1.5 * cost + 1.0;
        // Such a cut comes last, once other cuts have narrowed the region to where it does no
        // harm (the top of a plate lying on the floor cuts only the plate's own column).
        if (shelf) cost += 1e12;
        if (!best || cost < bestCost) best = ref, bestCost = cost;
    }
    return best;
}

bool Compiler::splitTask(Task& task, const PlaneD& plane, std::uint32_t planeRef, std::vector<Task>& stack) {
    if (task.path.size() >= maxTreeDepth) {
        return fail("the scene is too complex to compile: its tree would be deeper than " +
                    std::to_string(maxTreeDepth));
    }
    const auto nodeIndex = static_cast<std::int32_t>(nodes.size());
    nodes.push_back({planeRef, 0, 0});
    attach(task, nodeIndex);
    Task front, back;
    front.parent = back.parent = nodeIndex;
    front.side = 0;
    back.side = 1;
    front.free = back.free = task.free;
    front.path = task.path;
    back.path = std::move(task.path);
    task.region.split(plane, tol.cut, &front.region, &back.region);
    front.path.push_back(planeRef);
    back.path.push_back(planeRef ^ 1u);
    // A plane of the starting tree may miss the region: the pieces (which lie in the region,
    // within the tolerance) all go to the side that has it, uncut.
    if (front.region.empty() != back.region.empty()) {
        (front.region.empty() ? back : front).pieces = std::move(task.pieces);
        task.pieces = {};
        stack.push_back(std::move(back));
        stack.push_back(std::move(front));
        return true;
    }

    std::vector<Vector3d> frontPoints, backPoints;
    for (const std::uint32_t id : task.pieces) {
        Piece& piece = pieces[id];
        if (piece.plane >> 1 == planeRef >> 1) {
            (piece.plane == planeRef ? front : back).pieces.push_back(id);
            continue;
        }
        const PolygonSide side = splitConvexPolygon(pointsOf(piece), plane, tol.cut, &frontPoints, &backPoints);
        if (side == PolygonSide::on) {
            // Within the cutting tolerance of the plane: it goes to the side it faces, and takes
            // the plane as its own when the two face about the same way, so that it lies on its
            // leaf's face instead of cutting a sliver off the leaf further down.
            const PlaneD own = planes->oriented(piece.plane);
            const double agreement = dot(own.normal, plane.normal);
            if (agreement > 0.99)
                piece.plane = planeRef;
            else if (agreement < -0.99)
                piece.plane = planeRef ^ 1u;
            (agreement >= 0.0 ? front : back).pieces.push_back(id);
            continue;
        }
        // A piece all but on the plane (within nearPlane) and about parallel to it belongs,
        // whole, to the side it faces, and takes the plane as its own: the back of a thin slab
        // lies just in front of the slab's face and would face out of its leaf there, and a
        // face whose corners straddle its leaf's face by a hair would be cut into a part just
        // behind that face, facing out of the leaf behind.
        const double agreement = dot(planes->oriented(piece.plane).normal, plane.normal);
        bool near = std::fabs(agreement) > 0.99;
        for (const Vector3d& q : pointsOf(piece)) near = near && std::fabs(distanceTo(plane, q)) <= tol.nearPlane;
        if (near) {
            piece.plane = agreement > 0.0 ? planeRef : planeRef ^ 1u;
            (agreement > 0.0 ? front : back).pieces.push_back(id);
        } else if (side == PolygonSide::front || side == PolygonSide::back) {
            (side == PolygonSide::front ? front : back).pieces.push_back(id);
        } else {
            ++report.cuts;
            const std::uint32_t source = piece.source, own = piece.plane;  // piece may move as pieces grows
            if (!addPiece(frontPoints, source, own, front.pieces) || !addPiece(backPoints, source, own, back.pieces)) {
                return false;
            }
        }
    }
    task.pieces = {};
    stack.push_back(std::move(back));
    stack.push_back(std::move(front));
    return true;
}

bool Compiler::buildTree() {
    const auto started = Clock::now();
    std::vector<Task> stack;
    {
        Task root;
        root.region = ConvexPolyhedron::box(rootLo, rootHi);
        root.pieces = std::move(inputPieces);
        root.free = start == nullptr;
        stack.push_back(std::move(root));
    }
    // Progress is the share of the tree's box that leaves have settled.
    const double totalVolume = std::max(1e-300, ConvexPolyhedron::box(rootLo, rootHi).volume());
    auto lastProgress = started;
    while (!stack.empty()) {
        Task task = std::move(stack.back());
        stack.pop_back();
        if (options.progress && secondsSince(started) > 1.0 && secondsSince(lastProgress) >= 1.0) {
            lastProgress = Clock::now();
            const double done = std::min(0.99, settledVolume / totalVolume);
            say("split: " + std::to_string(static_cast<int>(100.0 * done)) + "% (" + std::to_string(leaves.size()) +
                " leaves so far)");
        }
        if (!task.free) {
            // Following the starting tree: its planes cut, whatever the pieces.
            if (task.startChild < 0) {
                const auto leaf = static_cast<std::size_t>(spaceOfChild(task.startChild));
                if (leaf >= start->leafSolid.size()) return fail("the starting tree names a leaf it does not have");
                ++report.startLeaves;
                if (start->leafSolid[leaf] != 0) {
                    if (!finishLeaf(task, true)) return false;
                    continue;
                }
                task.free = true;  // an open leaf of the starting tree: cut further below
            } else {
                if (static_cast<std::size_t>(task.startChild) >= start->nodes.size()) {
                    return fail("the starting tree names a node it does not have");
                }
                const StartPartition::Node& node = start->nodes[static_cast<std::size_t>(task.startChild)];
                if (node.plane < 0 || static_cast<std::size_t>(node.plane) >= startPlaneRefs.size()) {
                    return fail("the starting tree names a plane it does not have");
                }
                const std::uint32_t ref = startPlaneRefs[static_cast<std::size_t>(node.plane)];
                const std::size_t before = stack.size();
                if (!splitTask(task, planes->oriented(ref), ref, stack)) return false;
                stack[before].startChild = node.back;
                stack[before + 1].startChild = node.front;
                if (nodes.size() > 2 * maxLeaves) return fail("the starting tree is too large");
                continue;
            }
        }
        if (task.pieces.empty() || task.region.empty()) {
            if (!finishLeaf(task, false)) return false;
            continue;
        }
        const std::vector<Vector3d> corners = task.region.corners();
        std::vector<std::uint32_t> facingAway;
        const std::optional<std::uint32_t> splitter = chooseSplitter(task, corners, facingAway);
        if (!facingAway.empty()) {
            // Pieces on the region's boundary that face out of it: the backs of faces that
            // tolerances at a shallow cut sent to this side. Nothing here can see or touch
            // them; they are left out (slivers, as the warning's area shows).
            std::sort(facingAway.begin(), facingAway.end());
            std::erase_if(task.pieces, [&](std::uint32_t id) {
                if (!std::binary_search(facingAway.begin(), facingAway.end(), pieces[id].plane)) return false;
                ++report.facingAwayPieces;
                facingAwayArea += polygonArea(pointsOf(pieces[id]));
                return true;
            });
        }
        if (!splitter) {
            if (!finishLeaf(task, false)) return false;
            continue;
        }
        if (!splitTask(task, planes->oriented(*splitter), *splitter, stack)) return false;
    }
    report.nodes = nodes.size();
    report.leaves = leaves.size();
    // Whether every piece now bounds its leaf (a piece whose plane cannot cut its leaf into two
    // non-empty parts stays where it is).
    for (const Leaf& leaf : leaves) {
        if (leaf.corners.empty() || leaf.startSolid) continue;
        bool ok = true;
        for (const std::uint32_t id : leaf.pieces) {
            const PlaneD plane = planes->oriented(pieces[id].plane);
            for (const Vector3d& c : leaf.corners) ok = ok && distanceTo(plane, c) >= -tol.violation;
            if (!ok) break;
        }
        if (!ok) ++unwalkableLeaves;
    }
    if (report.facingAwayPieces > 0) {
        report.warnings.push_back(std::to_string(report.facingAwayPieces) + " triangle pieces (" +
                                  formatNumber(facingAwayArea) +
                                  " square units in all) lay on a leaf's boundary facing out of it and were left out");
    }
    if (unwalkableLeaves > 0) {
        report.warnings.push_back(std::to_string(unwalkableLeaves) +
                                  " leaves keep a triangle that does not bound them (too thin to cut)");
    }
    const double seconds = secondsSince(started);
    report.stages.push_back({"split", seconds});
    say("split: " + std::to_string(report.inputTriangles - report.droppedTriangles) + " triangles into " +
        std::to_string(report.leaves) + " leaves and " + std::to_string(report.nodes) + " nodes, " +
        std::to_string(report.cuts) + " cuts, " + std::to_string(report.fragments) + " pieces in " +
        formatSeconds(seconds) + " s");
    return true;
}

std::int32_t Compiler::locateLeaf(const Vector3d& p) const {
    if (nodes.empty()) return 0;
    std::int32_t child = 0;
    while (child >= 0) {
        const BuildNode& node = nodes[static_cast<std::size_t>(child)];
        child = distanceTo(planes->oriented(node.plane), p) < 0.0 ? node.back : node.front;
    }
    return spaceOfChild(child);
}

// ---- Portals and the triangles that cover them --------------------------------------------

std::span<const std::uint32_t> Compiler::piecesOnPlane(const Leaf& leaf, std::uint32_t planeIndex) const {
    const auto first = std::lower_bound(leaf.pieces.begin(), leaf.pieces.end(), planeIndex,
                                        [&](std::uint32_t id, std::uint32_t p) { return (pieces[id].plane >> 1) < p; });
    auto last = first;
    while (last != leaf.pieces.end() && (pieces[*last].plane >> 1) == planeIndex) ++last;
    return {first, last};
}

// The area of the leaf's pieces on the plane (either way round) that lies inside the portal.
double Compiler::coverage(std::int32_t leafIndex, std::uint32_t planeIndex, const LeafPortal& portal) {
    const Leaf& leaf = leaves[static_cast<std::size_t>(leafIndex)];
    const std::span<const std::uint32_t> onPlane = piecesOnPlane(leaf, planeIndex);
    if (onPlane.empty()) return 0.0;
    const std::vector<Vector3d>& w = portal.winding;
    Vector3d centre;
    for (const Vector3d& p : w) centre = centre + p;
    centre = (1.0 / static_cast<double>(w.size())) * centre;
    const Vector3d n{portal.plane.normal[0], portal.plane.normal[1], portal.plane.normal[2]};
    std::vector<PlaneD> edges;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const Vector3d e = w[(i + 1) % w.size()] - w[i];
        const Vector3d m = unitOrZero(cross(n, e));
        if (isZero(m)) continue;
        PlaneD edge{m, -dot(m, w[i])};
        if (distanceTo(edge, centre) < 0.0) edge = flipped(edge);
        edges.push_back(edge);
    }
    double covered = 0.0;
    std::vector<Vector3d> clipped, next;
    for (const std::uint32_t id : onPlane) {
        const std::span<const Vector3d> points = pointsOf(pieces[id]);
        clipped.assign(points.begin(), points.end());
        for (const PlaneD& edge : edges) {
            const PolygonSide side = splitConvexPolygon(clipped, edge, tol.cut, &next, nullptr);
            if (side == PolygonSide::back || side == PolygonSide::on) {
                clipped.clear();
                break;
            }
            if (side == PolygonSide::both) clipped.swap(next);
        }
        covered += polygonArea(clipped);
    }
    return covered;
}

bool Compiler::buildPortals() {
    const auto started = Clock::now();
    PortalTree tree;
    tree.planes.reserve(nodes.size());
    tree.nodes.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const PlaneD p = planes->oriented(nodes[i].plane);
        tree.planes.push_back({{p.normal.x, p.normal.y, p.normal.z}, -p.d});
        tree.nodes.push_back({static_cast<std::int32_t>(i), {nodes[i].front, nodes[i].back}});
    }
    tree.leafCluster.reserve(leaves.size());
    for (const Leaf& leaf : leaves) tree.leafCluster.push_back(leaf.startSolid ? -1 : 0);
    tree.mins[0] = rootLo.x, tree.mins[1] = rootLo.y, tree.mins[2] = rootLo.z;
    tree.maxs[0] = rootHi.x, tree.maxs[1] = rootHi.y, tree.maxs[2] = rootHi.z;
    PortalOptions portalOptions;
    portalOptions.onPlaneEpsilon = tol.cut;
    portalOptions.minPortalArea = tol.violation * tol.violation;
    portalOptions.worldBoxPadding = 0.0;
    portalOptions.maxPortals = 8'000'000;
    portalOptions.maxPointTests = 2'000'000'000;
    portalOptions.withOpaque = true;
    std::vector<LeafPortal> portals;
    std::string portalError;
    if (!computePortals(tree, portalOptions, portals, portalError))
        return fail("cannot compute the portals: " + portalError);

    openings.reserve(portals.size());
    for (const LeafPortal& portal : portals) {
        Opening o{portal.front, portal.back, portal.area, false, portal.node, false};
        if (o.a < 0) std::swap(o.a, o.b);  // the outside, if any, is b
        if (o.a < 0) continue;
        o.intoSolid = leaves[static_cast<std::size_t>(o.a)].startSolid ||
                      (o.b >= 0 && leaves[static_cast<std::size_t>(o.b)].startSolid);
        if (o.intoSolid) {
            o.covered = true;  // nothing passes: kept only for the faces just inside the solid
            openings.push_back(o);
            continue;
        }
        if (portal.node >= 0 && o.b >= 0) {
            ++report.portals;
            // Open unless the triangles on its plane in one of its two leaves close it. Areas
            // are summed: a scene's triangles do not overlap, and a gap thinner than the
            // tolerance along the whole rim is a crack between triangles, not a hole.
            const std::uint32_t planeIndex = nodes[static_cast<std::size_t>(portal.node)].plane >> 1;
            double perimeter = 0.0;
            for (std::size_t i = 0; i < portal.winding.size(); ++i)
                perimeter += length(portal.winding[(i + 1) % portal.winding.size()] - portal.winding[i]);
            const double allowed = 10.0 * tol.cut * perimeter;
            const double cover =
                std::max(coverage(portal.front, planeIndex, portal), coverage(portal.back, planeIndex, portal));
            o.covered = cover >= portal.area - allowed;
            if (o.covered) ++report.coveredPortals;
        }
        openings.push_back(o);
    }
    const double seconds = secondsSince(started);
    report.stages.push_back({"portals", seconds});
    say("portals: " + std::to_string(report.portals) + " between open leaves, " +
        std::to_string(report.coveredPortals) + " of them covered by triangles, in " + formatSeconds(seconds) + " s");
    return true;
}

// ---- Flood, solid leaves and leaks --------------------------------------------------------

bool Compiler::flood() {
    const std::size_t n = leaves.size();
    // Open portals per leaf, as the leaf on the other side or -1.
    firstLink.assign(n + 1, 0);
    for (const Opening& o : openings) {
        if (o.covered) continue;
        ++firstLink[static_cast<std::size_t>(o.a) + 1];
        if (o.b >= 0) ++firstLink[static_cast<std::size_t>(o.b) + 1];
    }
    std::partial_sum(firstLink.begin(), firstLink.end(), firstLink.begin());
    linkTo.assign(firstLink[n], 0);
    {
        std::vector<std::uint32_t> fill(firstLink.begin(), firstLink.end() - 1);
        for (const Opening& o : openings) {
            if (o.covered) continue;
            linkTo[fill[static_cast<std::size_t>(o.a)]++] = o.b;
            if (o.b >= 0) linkTo[fill[static_cast<std::size_t>(o.b)]++] = o.a;
        }
    }
    // From the outside: every leaf with an open portal to it, then outwards from those.
    floodParent.assign(n, -2);
    std::vector<std::int32_t> queue;
    for (std::size_t leaf = 0; leaf < n; ++leaf) {
        if (leaves[leaf].startSolid) continue;
        for (std::uint32_t k = firstLink[leaf]; k < firstLink[leaf + 1]; ++k) {
            if (linkTo[k] < 0) {
                floodParent[leaf] = -1;
                queue.push_back(static_cast<std::int32_t>(leaf));
                break;
            }
        }
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const auto leaf = static_cast<std::size_t>(queue[head]);
        for (std::uint32_t k = firstLink[leaf]; k < firstLink[leaf + 1]; ++k) {
            const std::int32_t other = linkTo[k];
            if (other < 0 || floodParent[static_cast<std::size_t>(other)] != -2) continue;
            floodParent[static_cast<std::size_t>(other)] = queue[head];
            queue.push_back(other);
        }
    }
    for (const std::int32_t leaf : queue) leaves[static_cast<std::size_t>(leaf)].state = LeafState::outside;

    // Inside: leaves walled in with no triangle anywhere in their group are solid (the inside
    // of a pillar, the gap between two walls).
    std::vector<std::int32_t> group(n, -1);
    std::vector<std::int32_t> members;
    for (std::size_t seed = 0; seed < n; ++seed) {
        if (group[seed] >= 0 || leaves[seed].state != LeafState::open) continue;
        members.assign(1, static_cast<std::int32_t>(seed));
        group[seed] = static_cast<std::int32_t>(seed);
        bool anyPiece = false;
        for (std::size_t head = 0; head < members.size(); ++head) {
            const auto leaf = static_cast<std::size_t>(members[head]);
            anyPiece = anyPiece || !leaves[leaf].pieces.empty();
            for (std::uint32_t k = firstLink[leaf]; k < firstLink[leaf + 1]; ++k) {
                const std::int32_t other = linkTo[k];
                if (other < 0 || group[static_cast<std::size_t>(other)] >= 0 ||
                    leaves[static_cast<std::size_t>(other)].state != LeafState::open) {
                    continue;
                }
                group[static_cast<std::size_t>(other)] = static_cast<std::int32_t>(seed);
                members.push_back(other);
            }
        }
        if (!anyPiece) {
            for (const std::int32_t leaf : members) leaves[static_cast<std::size_t>(leaf)].state = LeafState::solid;
        }
    }
    return true;
}

// The highest upward face straight below p (at most a little above it), among the leaves in
// the given states; NaN when there is none.
double floorBelow(const std::vector<Leaf>& leaves, const std::vector<Piece>& pieces, const std::vector<Vector3d>& pool,
                  const PlaneTable& planes, const Vector3d& p, double slack) {
    double best = std::nan("");
    for (const Leaf& leaf : leaves) {
        if (leaf.state == LeafState::solid) continue;
        if (p.x < leaf.lo.x || p.x > leaf.hi.x || p.z < leaf.lo.z || p.z > leaf.hi.z || leaf.lo.y > p.y + slack)
            continue;
        for (const std::uint32_t id : leaf.pieces) {
            const Piece& piece = pieces[id];
            const PlaneD plane = planes.oriented(piece.plane);
            if (!(plane.normal.y > 1e-6)) continue;
            const double y = -(plane.normal.x * p.x + plane.normal.z * p.z + plane.d) / plane.normal.y;
            if (!(y <= p.y + slack) || (!std::isnan(best) && y <= best)) continue;
            // Inside the piece seen from above: on the same side of every edge.
            bool positive = false, negative = false;
            for (std::uint32_t k = 0; k < piece.count; ++k) {
                const Vector3d& a = pool[piece.first + k];
                const Vector3d& b = pool[piece.first + (k + 1) % piece.count];
                const double side = (b.z - a.z) * (p.x - a.x) - (b.x - a.x) * (p.z - a.z);
                positive = positive || side > 0.0;
                negative = negative || side < 0.0;
            }
            if (!(positive && negative)) best = y;
        }
    }
    return best;
}

bool Compiler::placeSpawn() {
    std::optional<Vector3d> spawn = options.spawn;
    report.spawnSource = "option";
    if (!spawn && mesh.spawn) spawn = mesh.spawn, report.spawnSource = "scene";
    if (spawn && !isFinite(*spawn)) return fail("the spawn point is not a finite point");
    if (!spawn) {
        // The middle of the largest floor: upward faces grouped by plane, the group with the most
        // area, its area-weighted centre, moved onto the nearest of its pieces.
        report.spawnSource = "largest floor";
        for (const bool insideOnly : {true, false}) {
            std::unordered_map<std::uint32_t, std::pair<double, Vector3d>> areaOf;
            for (const Leaf& leaf : leaves) {
                if (leaf.state == LeafState::solid || (insideOnly && leaf.state == LeafState::outside)) continue;
                for (const std::uint32_t id : leaf.pieces) {
                    const Piece& piece = pieces[id];
                    if (!(planes->oriented(piece.plane).normal.y >= walkableFloorY)) continue;
                    const std::span<const Vector3d> pts = pointsOf(piece);
                    const double area = polygonArea(pts);
                    Vector3d centre;
                    for (const Vector3d& q : pts) centre = centre + q;
                    centre = (1.0 / static_cast<double>(pts.size())) * centre;
                    auto& entry = areaOf[piece.plane];
                    entry.first += area;
                    entry.second = entry.second + area * centre;
                }
            }
            std::uint32_t bestPlane = 0;
            double bestArea = 0.0;
            for (const auto& [plane, entry] : areaOf) {
                if (entry.first > bestArea || (entry.first == bestArea && plane < bestPlane))
                    bestArea = entry.first, bestPlane = plane;
            }
            if (!(bestArea > 0.0)) continue;
            const Vector3d centre = (1.0 / bestArea) * areaOf[bestPlane].second;
            // The nearest piece corner-centre of that floor, if the centre itself is off it.
            const PlaneD plane = planes->oriented(bestPlane);
            Vector3d onFloor{centre.x,
                             -(plane.normal.x * centre.x + plane.normal.z * centre.z + plane.d) / plane.normal.y,
                             centre.z};
            if (std::isnan(floorBelow(leaves, pieces, pool, *planes, onFloor + Vector3d{0, tol.violation, 0},
                                      tol.violation))) {
                double bestDistance = INFINITY;
                for (const Leaf& leaf : leaves) {
                    if (leaf.state == LeafState::solid) continue;
                    for (const std::uint32_t id : leaf.pieces) {
                        if (pieces[id].plane != bestPlane) continue;
                        Vector3d c;
                        for (const Vector3d& q : pointsOf(pieces[id])) c = c + q;
                        c = (1.0 / pieces[id].count) * c;
                        const double d = length(c - centre);
                        if (d < bestDistance) bestDistance = d, onFloor = c;
                    }
                }
            }
            spawn = onFloor + Vector3d{0, tol.violation, 0};
            break;
        }
        if (!spawn) {
            spawn = 0.5 * (sceneLo + sceneHi);
            report.warnings.push_back("the scene has no floor to stand on: the walk starts at its centre");
        }
    }
    body = *spawn;
    if (options.placeOnFloor) {
        const double floor = floorBelow(leaves, pieces, pool, *planes, *spawn, tol.violation);
        if (std::isnan(floor)) {
            report.warnings.push_back("no floor below the spawn point " + formatPoint(sourcePoint(*spawn)) +
                                      ": the body starts there and falls");
        } else {
            body.y = floor + bodyLift;
        }
        translation = -body;
    }
    report.spawn = sourcePoint(body);
    report.translation = translation;
    spawnLeaf = locateLeaf(body);
    return true;
}

bool Compiler::checkLeak() {
    const Leaf& leaf = leaves[static_cast<std::size_t>(spawnLeaf)];
    if (leaf.state == LeafState::solid) {
        const std::string message =
            "the spawn point " + formatPoint(report.spawn) + " lies inside solid geometry, where nothing can be walked";
        if (!options.allowLeak) return fail(message + ": give a spawn point in an open room");
        report.warnings.push_back(message);
        return true;
    }
    if (leaf.state != LeafState::outside) return true;
    report.leaked = true;
    for (std::int32_t at = spawnLeaf; at >= 0 && report.leakChain.size() < maxLeakChain;
         at = floodParent[static_cast<std::size_t>(at)]) {
        report.leakChain.push_back({at, sourcePoint(leaves[static_cast<std::size_t>(at)].centre)});
    }
    std::string chain;
    constexpr std::size_t shown = 12;
    for (std::size_t i = 0; i < report.leakChain.size() && i < shown; ++i) {
        chain +=
            "\n  space " + std::to_string(report.leakChain[i].leaf) + " at " + formatPoint(report.leakChain[i].point);
    }
    if (report.leakChain.size() > shown)
        chain += "\n  ... " + std::to_string(report.leakChain.size() - shown) + " more";
    chain += "\n  outside";
    const std::string message = "the scene leaks: the outside reaches the spawn's space through a chain of " +
                                std::to_string(report.leakChain.size()) + " spaces:" + chain;
    if (!options.allowLeak) return fail(message + "\nclose the gap, or compile with --allow-leak");
    report.warnings.push_back(message);
    // A leaking scene keeps what the outside reaches: that is where the walk is.
    for (Leaf& l : leaves) {
        if (l.state == LeafState::outside) l.state = LeafState::open;
    }
    return true;
}

void Compiler::dropUnreachable() {
    std::vector<std::uint8_t> reached(leaves.size(), 0);
    std::vector<std::int32_t> queue{spawnLeaf};
    reached[static_cast<std::size_t>(spawnLeaf)] = 1;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const auto leaf = static_cast<std::size_t>(queue[head]);
        for (std::uint32_t k = firstLink[leaf]; k < firstLink[leaf + 1]; ++k) {
            const std::int32_t other = linkTo[k];
            if (other < 0 || reached[static_cast<std::size_t>(other)] != 0 ||
                leaves[static_cast<std::size_t>(other)].state != LeafState::open) {
                continue;
            }
            reached[static_cast<std::size_t>(other)] = 1;
            queue.push_back(other);
        }
    }
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        if (leaves[i].state != LeafState::open || reached[i] != 0) continue;
        leaves[i].state = LeafState::solid;
        ++report.unreachableLeaves;
    }
}

// ---- Merging leaves into spaces -----------------------------------------------------------

// Neighbouring open leaves become one space when every triangle of each still has all of the
// other in front: the merged space holds the invariant. Widest openings are tried first, and a
// space stops growing past a bound on its corners and planes, which bounds each test.
void Compiler::mergeLeaves() {
    constexpr std::size_t maxCorners = 2048;
    constexpr std::size_t maxPlanes = 512;
    const std::size_t n = leaves.size();
    std::vector<std::int32_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    std::vector<std::vector<Vector3d>> corners(n);
    std::vector<std::vector<std::uint32_t>> refs(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (leaves[i].state != LeafState::open || leaves[i].thin) continue;
        corners[i] = leaves[i].corners;
        for (const std::uint32_t id : leaves[i].pieces) refs[i].push_back(pieces[id].plane);
        std::sort(refs[i].begin(), refs[i].end());
        refs[i].erase(std::unique(refs[i].begin(), refs[i].end()), refs[i].end());
    }
    const auto find = [&](std::int32_t x) {
        while (parent[static_cast<std::size_t>(x)] != x) {
            parent[static_cast<std::size_t>(x)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(x)])];
            x = parent[static_cast<std::size_t>(x)];
        }
        return x;
    };
    const auto fronts = [&](const std::vector<std::uint32_t>& planeRefs, const std::vector<Vector3d>& points) {
        for (const std::uint32_t ref : planeRefs) {
            const PlaneD plane = planes->oriented(ref);
            for (const Vector3d& p : points) {
                if (distanceTo(plane, p) < -tol.violation) return false;
            }
        }
        return true;
    };
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < openings.size(); ++i) {
        const Opening& o = openings[i];
        if (o.covered || o.b < 0 || o.a == o.b) continue;
        const Leaf& a = leaves[static_cast<std::size_t>(o.a)];
        const Leaf& b = leaves[static_cast<std::size_t>(o.b)];
        if (a.state != LeafState::open || b.state != LeafState::open || a.thin || b.thin) continue;
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return openings[x].area > openings[y].area; });
    for (const std::size_t i : order) {
        const auto a = static_cast<std::size_t>(find(openings[i].a));
        const auto b = static_cast<std::size_t>(find(openings[i].b));
        if (a == b) continue;
        if (corners[a].size() + corners[b].size() > maxCorners || refs[a].size() + refs[b].size() > maxPlanes) continue;
        if (!fronts(refs[a], corners[b]) || !fronts(refs[b], corners[a])) continue;
        const std::size_t into = std::min(a, b), from = std::max(a, b);
        parent[from] = static_cast<std::int32_t>(into);
        corners[into].insert(corners[into].end(), corners[from].begin(), corners[from].end());
        std::vector<std::uint32_t> joined;
        std::set_union(refs[into].begin(), refs[into].end(), refs[from].begin(), refs[from].end(),
                       std::back_inserter(joined));
        refs[into] = std::move(joined);
        corners[from] = {};
        refs[from] = {};
    }
    spaceOfLeaf.assign(n, -1);
    std::vector<std::int32_t> spaceOfRoot(n, -1);
    spaceCount = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (leaves[i].state != LeafState::open) continue;
        const auto root = static_cast<std::size_t>(find(static_cast<std::int32_t>(i)));
        if (spaceOfRoot[root] < 0) spaceOfRoot[root] = static_cast<std::int32_t>(spaceCount++);
        spaceOfLeaf[i] = spaceOfRoot[root];
        ++report.openLeaves;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (leaves[i].state == LeafState::open) continue;
        if (leaves[i].state == LeafState::solid)
            ++report.solidLeaves;  // closed-off leaves included
        else
            ++report.outsideLeaves;
        if (solidSpace < 0) solidSpace = static_cast<std::int32_t>(spaceCount++);
        spaceOfLeaf[i] = solidSpace;
    }
    report.spaces = spaceCount;
}

// The part of the piece within the contact skin of the leaf and just behind its side ref, moved
// onto that side and listed in the leaf's space: the floor the ground probe meets there, a few
// thousandths higher than it is. False only when the scene grows too complex.
template <class Reach>
bool Compiler::clipNearLeaf(const Leaf& leaf, std::span<const Vector3d> points, Reach reach,
                            std::vector<Vector3d>& clipped, std::vector<Vector3d>& next) const {
    clipped.assign(points.begin(), points.end());
    for (const std::uint32_t ref : leaf.path) {
        PlaneD side = planes->oriented(ref);
        side.d += reach(ref, side);
        const PolygonSide cut = splitConvexPolygon(clipped, side, tol.cut, &next, nullptr);
        if (cut == PolygonSide::back) return false;
        if (cut == PolygonSide::both) clipped.swap(next);
    }
    return true;
}

bool Compiler::lendCopy(Leaf& leaf, std::uint32_t id, std::uint32_t plane, const std::vector<Vector3d>& clipped) {
    if (clipped.size() < 3 || !(polygonArea(clipped) > tol.cut * tol.cut)) return true;
    std::vector<std::uint32_t> added;
    if (!addPiece(clipped, pieces[id].source, plane, added)) return false;
    leaf.borrowed.push_back(added[0]);
    leaf.borrowedFrom.push_back(id);
    ++report.borrowedPieces;
    return true;
}

bool Compiler::copyOntoSide(Leaf& leaf, std::uint32_t id, std::uint32_t ref, std::vector<Vector3d>& clipped,
                            std::vector<Vector3d>& next) {
    const auto skin = [](std::uint32_t, const PlaneD&) { return contactSkin; };
    if (!clipNearLeaf(leaf, pointsOf(pieces[id]), skin, clipped, next)) return true;
    const PlaneD onto = planes->oriented(ref);
    bool below = false;
    for (Vector3d& q : clipped) {
        const double d = distanceTo(onto, q);
        below = below || d < -tol.cut;
        q = q - d * onto.normal;
    }
    return !below || lendCopy(leaf, id, ref, clipped);
}

// The contact query looks only at the spaces of a movement's two ends. A face just outside a
// leaf is out of its reach from inside the leaf: the floor across a side of the leaf that the
// ground probe's lead (0.02 ahead, 0.05 down, so below the floor) crosses, or a floor under a
// thin slab left between it and a plane a little above it. The body would sink through. So a
// neighbour's upward face that the whole of a leaf's space lies in front of, and that comes
// within the contact skin of the leaf, is listed in the leaf's space as well: a copy cut down
// to within the skin of the leaf. Only upward faces are copied from open leaves: they are what
// the ground probe needs, and copying every face would multiply the triangles. From a solid
// leaf of the starting tree every face is, since nothing else lists it: a wall a little behind
// the plane that bounds its open leaf is otherwise no wall at all.
bool Compiler::borrowNearFaces() {
    std::vector<Vector3d> clipped, next;
    std::vector<std::vector<std::int32_t>> leavesOf(spaceCount);
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        if (leaves[i].state == LeafState::open)
            leavesOf[static_cast<std::size_t>(spaceOfLeaf[i])].push_back(static_cast<std::int32_t>(i));
    }
    for (const Opening& o : openings) {
        if (o.b < 0 || o.a == o.b) continue;
        for (const auto& [to, from] : {std::pair{o.a, o.b}, std::pair{o.b, o.a}}) {
            Leaf& taker = leaves[static_cast<std::size_t>(to)];
            const Leaf& giver = leaves[static_cast<std::size_t>(from)];
            // From an open neighbour, or from a solid leaf of the starting tree: a game level's
            // face may lie a little behind the plane that bounds the open leaf in front of it.
            const bool fromSolid = giver.startSolid;
            if (taker.state != LeafState::open || taker.corners.empty()) continue;
            if (giver.state != LeafState::open && !fromSolid) continue;
            if (!fromSolid && spaceOfLeaf[static_cast<std::size_t>(to)] == spaceOfLeaf[static_cast<std::size_t>(from)])
                continue;
            for (const std::uint32_t id : giver.pieces) {
                // Met again through another portal between the same two leaves.
                if (std::find(taker.borrowedFrom.begin(), taker.borrowedFrom.end(), id) != taker.borrowedFrom.end())
                    continue;
                const Piece piece = pieces[id];
                const PlaneD plane = planes->oriented(piece.plane);
                // A continuation of one of the taker's own faces across the seam between the two
                // leaves (a wall running on from one leaf into the next) is copied whatever way
                // it faces, and further out; otherwise only what the ground probe can meet.
                bool continuation = false;
                for (const std::uint32_t t : piecesOnPlane(taker, piece.plane >> 1))
                    continuation = continuation || pieces[t].plane == piece.plane;
                if (!continuation && !fromSolid && !(plane.normal.y > 0.0)) continue;
                double lo = INFINITY;
                for (const Vector3d& c : taker.corners) lo = std::min(lo, distanceTo(plane, c));
                // Nearly nothing of the taker's space may lie behind the face: a copy may have
                // as much of it behind as the walkable check allows, less a margin for rounding
                // (a floor that sags by a few thousandths under a merged space is still its floor).
                const double behind = tol.borrowBehind;
                if (lo > contactSkin) continue;  // out of reach
                const std::vector<std::int32_t>& spaceLeaves =
                    leavesOf[static_cast<std::size_t>(spaceOfLeaf[static_cast<std::size_t>(to)])];
                const auto spaceInFront = [&](const PlaneD& p) {
                    for (const std::int32_t other : spaceLeaves) {
                        for (const Vector3d& c : leaves[static_cast<std::size_t>(other)].corners)
                            if (distanceTo(p, c) < -behind) return false;
                    }
                    return true;
                };
                if (!(lo >= -behind) || !spaceInFront(plane)) {
                    // The space reaches behind the face. A floor falling away by a few degrees
                    // from a side of the leaf that faces up (past a ridge) is copied onto that
                    // side instead.
                    if (plane.normal.y > 0.0) {
                        for (const std::uint32_t ref : taker.path) {
                            const PlaneD side = planes->oriented(ref);
                            if (!(side.normal.y > 0.5) || !(dot(side.normal, plane.normal) > nearlyParallelFloors) ||
                                !spaceInFront(side)) {
                                continue;
                            }
                            if (!copyOntoSide(taker, id, ref, clipped, next)) return false;
                            break;
                        }
                    }
                    continue;
                }
                // Within the skin of the leaf; a continuation reaches as far past a side that
                // crosses it as the clip query may look along a wall it slides on. Not past a side
                // that is itself one of the leaf's faces (a floor the wall stands on): behind it
                // nothing walks, and a wall reaching down through a floor would be met by the
                // ground probe before the floor is.
                const auto reach = [&](std::uint32_t ref, const PlaneD& side) {
                    const bool crossing = std::fabs(dot(side.normal, plane.normal)) <= 0.99;
                    const bool seam = piecesOnPlane(taker, ref >> 1).empty();
                    return continuation && crossing && seam ? seamReach : contactSkin;
                };
                if (!clipNearLeaf(taker, pointsOf(piece), reach, clipped, next)) continue;
                if (!lendCopy(taker, id, piece.plane, clipped)) return false;
            }
        }
    }
    return true;
}

// ---- The level records ----------------------------------------------------------------------

struct FloatKey {
    std::uint32_t x, y, z;
    bool operator==(const FloatKey&) const = default;
};
struct FloatKeyHash {
    std::size_t operator()(const FloatKey& k) const {
        std::uint64_t h =
            (static_cast<std::uint64_t>(k.x) * 0x9E3779B97F4A7C15ull) ^ (k.y + 0x632BE59BD9B4E019ull + (k.x << 6));
        h ^= static_cast<std::uint64_t>(k.z) * 0xC2B2AE3D27D4EB4Full;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};
FloatKey keyOf(const Vector3& v) {
    FloatKey k{};
    std::memcpy(&k.x, &v.x, 4);
    std::memcpy(&k.y, &v.y, 4);
    std::memcpy(&k.z, &v.z, 4);
    return k;
}

bool Compiler::emit(LevelGeometry& geometry, SpacePartition& partition) {
    std::unordered_map<FloatKey, std::int32_t, FloatKeyHash> vertexOf, normalOf;
    std::unordered_map<std::uint32_t, std::int32_t> planeOf;
    const auto addVertex = [&](const Vector3d& p) {
        const Vector3 v = toFloat(p + translation);
        const auto [it, added] = vertexOf.try_emplace(keyOf(v), 0);
        if (added) it->second = geometry.addVertex(v);
        return it->second;
    };
    const auto addNormal = [&](const Vector3d& n) {
        const Vector3 v = toFloat(n);
        const auto [it, added] = normalOf.try_emplace(keyOf(v), 0);
        if (added) it->second = geometry.addNormal(v);
        return it->second;
    };
    const auto addPlane = [&](std::uint32_t ref) {
        const auto [it, added] = planeOf.try_emplace(ref, 0);
        if (added) {
            const PlaneD p = planes->oriented(ref);
            const double d = p.d - dot(p.normal, translation);
            it->second = geometry.addPlane({static_cast<float>(p.normal.x), static_cast<float>(p.normal.y),
                                            static_cast<float>(p.normal.z), static_cast<float>(d)});
        }
        return it->second;
    };
    const bool haveNormals = mesh.normals.size() == mesh.positions.size();
    // The normal at q of the source triangle: its corners' normals weighted by the barycentric
    // coordinates of q; the plane's when they give nothing usable or face away from it.
    const auto normalAt = [&](const Piece& piece, const Vector3d& q, const PlaneD& plane) {
        if (haveNormals) {
            const auto& t = mesh.triangles[piece.source];
            const Vector3d& a = mesh.positions[t[0]];
            const Vector3d& b = mesh.positions[t[1]];
            const Vector3d& c = mesh.positions[t[2]];
            const double whole = dot(cross(b - a, c - a), plane.normal);
            if (whole != 0.0) {
                const double wa = dot(cross(b - q, c - q), plane.normal) / whole;
                const double wb = dot(cross(c - q, a - q), plane.normal) / whole;
                const double wc = 1.0 - wa - wb;
                const Vector3d n =
                    unitOrZero(wa * mesh.normals[t[0]] + wb * mesh.normals[t[1]] + wc * mesh.normals[t[2]]);
                if (isFinite(n) && dot(n, plane.normal) > 0.0) return n;
            }
        }
        return plane.normal;
    };

    // Nodes, with bounds from their leaves' boxes.
    std::vector<BoundingBox> leafBox(leaves.size());
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const Leaf& leaf = leaves[i];
        const Vector3d lo{std::max(leaf.lo.x, sceneLo.x), std::max(leaf.lo.y, sceneLo.y),
                          std::max(leaf.lo.z, sceneLo.z)};
        const Vector3d hi{std::min(leaf.hi.x, sceneHi.x), std::min(leaf.hi.y, sceneHi.y),
                          std::min(leaf.hi.z, sceneHi.z)};
        if (leaf.corners.empty() || !(lo.x <= hi.x && lo.y <= hi.y && lo.z <= hi.z)) continue;
        const Vector3 a = toFloat(lo + translation), b = toFloat(hi + translation);
        leafBox[i] = {a.x, a.y, a.z, b.x, b.y, b.z};
    }
    if (nodes.empty()) nodes.push_back({planes->add({{0, 1, 0}, 0}), childOfSpace(0), childOfSpace(0)});
    partition.nodes.resize(nodes.size());
    for (std::size_t i = nodes.size(); i-- > 0;) {
        BspNode& out = partition.nodes[i];
        out.planeIndex = addPlane(nodes[i].plane);
        BoundingBox box;
        for (const std::int32_t child : {nodes[i].front, nodes[i].back}) {
            mergeWith(box, child >= 0 ? partition.nodes[static_cast<std::size_t>(child)].bounds
                                      : leafBox[static_cast<std::size_t>(spaceOfChild(child))]);
        }
        out.bounds = box;
        const auto childRef = [&](std::int32_t child) {
            return child >= 0 ? child : childOfSpace(spaceOfLeaf[static_cast<std::size_t>(spaceOfChild(child))]);
        };
        out.front = childRef(nodes[i].front);
        out.back = childRef(nodes[i].back);
    }

    // Spaces: their leaves' pieces as triangles, and their leaves' boxes. Floors are listed
    // last. A body rests anywhere up to 0.1 above a floor, mostly inside its contact skin, so
    // the floor qualifies for every wall-clip query, and a clip query that meets the ground
    // first stops clipping: listed first, the floor would let the body walk through walls. The
    // ground probe cannot take a wall for the ground instead: every face of a space bounds it,
    // so its walls stand on the floor, and the probe's line, steeper than 1 in 2.5, meets a
    // wall's plane below the wall.
    partition.spaces.assign(spaceCount, Space{});
    std::vector<std::vector<std::int32_t>> floorsOf(spaceCount), othersOf(spaceCount);
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const Leaf& leaf = leaves[i];
        const auto s = static_cast<std::size_t>(spaceOfLeaf[i]);
        if (leaf.state != LeafState::open) continue;
        mergeWith(partition.spaces[s].bounds, leafBox[i]);
        std::vector<std::uint32_t> listed = leaf.pieces;
        listed.insert(listed.end(), leaf.borrowed.begin(), leaf.borrowed.end());
        for (const std::uint32_t id : leaf.borrowed) {
            for (const Vector3d& q : pointsOf(pieces[id]))
                mergeWith(partition.spaces[s].bounds, toFloat(q + translation));
        }
        for (const std::uint32_t id : listed) {
            const Piece& piece = pieces[id];
            const PlaneD plane = planes->oriented(piece.plane);
            const std::span<const Vector3d> pts = pointsOf(piece);
            for (std::size_t k = 1; k + 1 < pts.size(); ++k) {
                const Vector3d& a = pts[0];
                const Vector3d& b = pts[k];
                const Vector3d& c = pts[k + 1];
                if (!(length(cross(b - a, c - a)) > tol.cut * tol.cut)) continue;  // a sliver of the fan
                Triangle t;
                t.vertexIndex = {addVertex(a), addVertex(b), addVertex(c)};
                if (t.vertexIndex[0] == t.vertexIndex[1] || t.vertexIndex[1] == t.vertexIndex[2] ||
                    t.vertexIndex[0] == t.vertexIndex[2]) {
                    continue;  // collapsed by rounding to floats
                }
                t.normalIndex = {addNormal(normalAt(piece, a, plane)), addNormal(normalAt(piece, b, plane)),
                                 addNormal(normalAt(piece, c, plane))};
                t.planeIndex = addPlane(piece.plane);
                const std::int32_t index = geometry.addTriangle(t);
                (plane.normal.y > 0.5 ? floorsOf[s] : othersOf[s]).push_back(index);
            }
        }
    }
    for (std::size_t s = 0; s < spaceCount; ++s) {
        std::vector<std::int32_t>& list = partition.spaces[s].triangleIndices;
        list = std::move(othersOf[s]);
        list.insert(list.end(), floorsOf[s].begin(), floorsOf[s].end());
    }
    report.outputTriangles = geometry.triangles.size();

    // Neighbours: the open portals between leaves of different open spaces.
    AdjacencyMatrix matrix = AdjacencyMatrix::forSpaces(spaceCount);
    for (const Opening& o : openings) {
        if (o.covered || o.b < 0) continue;
        const std::int32_t a = spaceOfLeaf[static_cast<std::size_t>(o.a)];
        const std::int32_t b = spaceOfLeaf[static_cast<std::size_t>(o.b)];
        if (a == b || a == solidSpace || b == solidSpace) continue;
        if (!matrix.test(static_cast<std::size_t>(a), static_cast<std::size_t>(b))) ++report.neighbourLinks;
        matrix.link(static_cast<std::size_t>(a), static_cast<std::size_t>(b));
    }
    partition.setAdjacency(std::move(matrix));
    report.fileBytes = levelFileBytes(geometry, partition);

    const std::vector<std::string> problems = validateLevel(geometry, partition);
    if (!problems.empty()) return fail("the compiled level is not valid: " + problems.front());
    return true;
}

// A starting tree read from a file may share or loop its nodes; followed as it is, a loop would
// grow the tree until memory ran out. Each node must be reached once, within the depth limit.
std::string startTreeProblem(const StartPartition& start) {
    if (start.nodes.empty()) return "the starting tree has no nodes";
    std::vector<std::uint8_t> reached(start.nodes.size(), 0);
    std::vector<std::pair<std::int32_t, std::size_t>> stack{{0, 1}};  // node, depth
    reached[0] = 1;
    while (!stack.empty()) {
        const auto [index, depth] = stack.back();
        stack.pop_back();
        if (depth > maxTreeDepth) return "the starting tree is deeper than " + std::to_string(maxTreeDepth);
        const StartPartition::Node& node = start.nodes[static_cast<std::size_t>(index)];
        for (const std::int32_t child : {node.front, node.back}) {
            if (child < 0) continue;  // a leaf; checked where it is reached
            if (static_cast<std::size_t>(child) >= start.nodes.size()) {
                return "the starting tree names a node it does not have";
            }
            if (reached[static_cast<std::size_t>(child)] != 0) {
                return "the starting tree reaches node " + std::to_string(child) + " more than once";
            }
            reached[static_cast<std::size_t>(child)] = 1;
            stack.emplace_back(child, depth + 1);
        }
    }
    return {};
}

bool Compiler::run(LevelGeometry& geometry, SpacePartition& partition) {
    if (!geometry.vertices.empty() || !geometry.normals.empty() || !geometry.triangles.empty() ||
        !geometry.planes.empty() || !partition.nodes.empty() || !partition.spaces.empty()) {
        return fail("the level containers must be empty before a compile");
    }
    if (mesh.triangles.empty()) return fail("the scene has no triangles");
    if (start != nullptr) {
        const std::string problem = startTreeProblem(*start);
        if (!problem.empty()) return fail(problem);
    }
    if (!takeTriangles() || !buildTree() || !buildPortals()) return false;
    const auto started = Clock::now();
    if (!flood() || !placeSpawn() || !checkLeak()) return false;
    if (options.dropUnreachable && leaves[static_cast<std::size_t>(spawnLeaf)].state == LeafState::open)
        dropUnreachable();
    mergeLeaves();
    if (!borrowNearFaces()) return false;
    if (spaceCount > options.maxSpaces) {
        return fail("the level would have " + std::to_string(spaceCount) + " spaces, more than the " +
                    std::to_string(options.maxSpaces) +
                    " a level may have (its neighbour matrix grows with the square of the spaces): simplify the scene "
                    "or split it into several levels");
    }
    const double seconds = secondsSince(started);
    report.stages.push_back({"flood", seconds});
    if (!emit(geometry, partition)) return false;
    say("flood: " + std::to_string(report.outsideLeaves) + " leaves outside, " + std::to_string(report.solidLeaves) +
        " solid (" + std::to_string(report.unreachableLeaves) + " of them closed off from the spawn), " +
        std::to_string(report.openLeaves) + " open in " + std::to_string(report.spaces - (solidSpace >= 0 ? 1 : 0)) +
        (solidSpace >= 0 ? " spaces (and one solid space), " : " spaces, ") + std::to_string(report.neighbourLinks) +
        " neighbour links, in " + formatSeconds(seconds) + " s");
    return true;
}

}  // namespace

std::uint64_t levelFileBytes(const LevelGeometry& g, const SpacePartition& p) {
    std::uint64_t bytes = 4 + 7 * 4 + 4;  // header, section counts, rowBytes
    bytes += 12 * std::uint64_t{g.vertices.size()} + 12 * std::uint64_t{g.normals.size()};
    bytes += 16 * std::uint64_t{g.planes.size()} + 28 * std::uint64_t{g.triangles.size()};
    bytes += 36 * std::uint64_t{p.nodes.size()};
    for (const Space& s : p.spaces) bytes += 28 + 4 * std::uint64_t{s.triangleIndices.size()};
    bytes += std::uint64_t{p.adjacency.rowCount()} * p.adjacency.rowBytes();
    return bytes;
}

bool compileLevel(const SceneMesh& mesh, const StartPartition* start, const CompileOptions& options,
                  LevelGeometry& levelGeometry, SpacePartition& spacePartition, CompileReport& report,
                  std::string& error) {
    report = CompileReport{};
    Compiler compiler(mesh, start, options, report, error);
    return compiler.run(levelGeometry, spacePartition);
}

}  // namespace vantrell
