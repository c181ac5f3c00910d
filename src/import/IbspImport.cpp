// Converting an IBSP level into ours.
//
// This file: planes and triangles; tree, spaces and adjacency; the entry points. The spawn
// entity is read in IbspEntities.cpp, the surfaces become a mesh in IbspMesh.cpp, and archive
// maps are found by name in ArchiveMaps.cpp.
#include "import/IbspImport.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unordered_map>
#include <utility>

#include "compile/Compiler.h"
#include "compile/Portals.h"
#include "import/IbspFile.h"
#include "import/IbspParts.h"
#include "import/PakArchive.h"
#include "level/LevelValidation.h"
#include "level/TreeCheck.h"

namespace vantrell {
namespace {

using namespace ibspimport;

// The world model's box grown a little, or the root node's when the model's is unusable.
void worldBox(const ibsp::File& file, double* mins, double* maxs) {
    const ibsp::Model& world = file.models[0];
    bool usable = true;
    for (int i = 0; i < 3; ++i) {
        mins[i] = world.mins[static_cast<std::size_t>(i)];
        maxs[i] = world.maxs[static_cast<std::size_t>(i)];
        if (!std::isfinite(mins[i]) || !std::isfinite(maxs[i]) || mins[i] > maxs[i]) usable = false;
    }
    if (!usable) {
        const ibsp::Node& root = file.nodes[0];
        for (int i = 0; i < 3; ++i) {
            mins[i] = std::min(root.mins[static_cast<std::size_t>(i)], root.maxs[static_cast<std::size_t>(i)]);
            maxs[i] = std::max(root.mins[static_cast<std::size_t>(i)], root.maxs[static_cast<std::size_t>(i)]);
        }
    }
    for (int i = 0; i < 3; ++i) {
        mins[i] -= 16.0;
        maxs[i] += 16.0;
    }
}

// ---- Planes and triangles -----------------------------------------------------------------

struct PlaneKey {
    std::array<std::int64_t, 4> q{};
    bool operator==(const PlaneKey& other) const { return q == other.q; }
};
struct PlaneKeyHash {
    std::size_t operator()(const PlaneKey& k) const {
        std::uint64_t h = 1469598103934665603ull;
        for (std::int64_t v : k.q) h = (h ^ static_cast<std::uint64_t>(v)) * 1099511628211ull;
        return static_cast<std::size_t>(h);
    }
};

// Triangles on one plane share one record: normals compared to 1e-5, offsets to 1e-4 units.
PlaneKey planeKeyOf(const DVec& n, double d) {
    return {{std::llround(n.x * 1e5), std::llround(n.y * 1e5), std::llround(n.z * 1e5), std::llround(d * 1e4)}};
}

class Converter {
public:
    Converter(const ibsp::File& file, const ImportOptions& options, LevelGeometry& geometry, SpacePartition& partition,
              ImportReport& report, std::string& error)
        : file(file), options(options), geometry(geometry), partition(partition), report(report), error(error) {}

    bool run() {
        if (!(options.scale > 0.0f) || !std::isfinite(options.scale))
            return fail("the scale must be a positive number");
        if (!geometry.vertices.empty() || !geometry.triangles.empty() || !geometry.planes.empty() ||
            !geometry.normals.empty() || !partition.nodes.empty() || !partition.spaces.empty()) {
            return fail("the level containers must be empty before an import");
        }
        // The adjacency matrix has leafs^2 / 8 bytes: a file of many tiny leafs must not make it huge.
        if (file.leaves.size() > maxSpaces) {
            return fail("the level has " + std::to_string(file.leaves.size()) + " leafs, more than the " +
                        std::to_string(maxSpaces) + " an import accepts");
        }
        if (file.leaves.empty()) return fail("the file has no leafs");
        report.fileLeaves = file.leaves.size();
        if (!checkTree() || !placeSpawn() || !buildGeometry()) return false;
        if (options.keepTree || finalTriangles.empty()) return buildTree() && buildAdjacency() && finish();
        return rebuild() && finish();
    }

private:
    bool fail(std::string message) {
        error = std::move(message);
        return false;
    }

    // The nodes reachable from node 0 must form a tree: no node is reached twice, since every
    // node gets one parent when the leafs' bounding planes are gathered.
    bool checkTree() {
        const TreeFault fault = firstTreeFault(
            file.nodes.size(), [this](std::size_t n) { return file.nodes[n].children; }, SharedSubtrees::refused);
        if (!fault.found()) return true;
        return fail("node " + std::to_string(fault.parent) + " names node " + std::to_string(fault.child) +
                    ", which is already in the tree: the tree loops or shares a branch");
    }

    bool placeSpawn() {
        const Spawn spawn = findSpawn(file.entities);
        report.spawnFound = spawn.found;
        if (!spawn.found)
            report.warnings.push_back("no info_player_deathmatch or info_player_start: the file origin is used");
        report.spawnOrigin = {static_cast<float>(spawn.origin.x), static_cast<float>(spawn.origin.y),
                              static_cast<float>(spawn.origin.z)};
        report.spawnAngle = static_cast<float>(spawn.angle);
        transform.scale = options.scale;
        transform.quarterTurns = quarterTurnsOf(spawn.angle);
        report.quarterTurns = transform.quarterTurns;
        spawnOrigin = spawn.origin;
        return true;
    }

    bool buildGeometry() {
        // Surfaces listed by a leaf and belonging to the world model become geometry.
        const ibsp::Model& world = file.models[0];
        mesh.surfaceFirst.assign(file.surfaces.size(), 0);
        mesh.surfaceCount.assign(file.surfaces.size(), 0);
        std::vector<std::uint8_t> wanted(file.surfaces.size(), 0);
        for (const ibsp::Leaf& leaf : file.leaves) {
            for (std::int32_t k = 0; k < leaf.numLeafSurfaces; ++k) {
                wanted[static_cast<std::size_t>(
                    file.leafSurfaces[static_cast<std::size_t>(leaf.firstLeafSurface + k)])] = 1;
            }
        }
        for (std::size_t s = 0; s < file.surfaces.size(); ++s) {
            if (wanted[s] == 0) continue;
            const bool inWorld =
                static_cast<std::int64_t>(s) >= world.firstSurface &&
                static_cast<std::int64_t>(s) < static_cast<std::int64_t>(world.firstSurface) + world.numSurfaces;
            if (!inWorld || surfaceLeftOut(file, file.surfaces[s])) {
                wanted[s] = 0;
                ++report.skippedSurfaces;
            }
        }
        if (!buildMesh(file, transform, wanted, mesh, error)) return false;

        // The body point: just above the floor below the spawn, else where the feet would be. A
        // spawn may float well above its floor (the game drops the player onto it): floors up to
        // 128 file units below the feet count.
        const DVec origin = transform.scaled(spawnOrigin);
        const double feet = origin.y - transform.scale * spawnFeetBelowOrigin;
        const double floor = floorBelow(mesh, origin, feet - transform.scale * 128.0);
        if (std::isnan(floor)) {
            report.warnings.push_back("no floor below the spawn point: the body starts at the player's feet");
        }
        const double bodyY = (std::isnan(floor) ? feet : floor) + bodyLift;
        transform.translation = {-origin.x, -bodyY, -origin.z};
        report.spawnPoint = {0.0f, 0.0f, 0.0f};

        return emitTriangles();
    }

    // Final positions, corner order, planes and normals of every surface triangle.
    bool emitTriangles() {
        geometry.vertices.reserve(mesh.positions.size());
        geometry.normals.reserve(mesh.positions.size());
        for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
            const DVec p = mesh.positions[i] + transform.translation;
            const Vector3 v{static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
            if (!isFinite(v)) return fail("a vertex lies out of range after scaling");
            geometry.addVertex(v);
            const DVec& n = mesh.normals[i];
            geometry.addNormal({static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
        }
        // File planes come first, index for index, for the tree; triangle planes follow.
        for (const ibsp::Plane& plane : file.planes) {
            const DVec n = transform.direction(fromFloats(plane.normal));
            const double d = -transform.scale * plane.dist - dot(n, transform.translation);
            geometry.addPlane(
                {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z), static_cast<float>(d)});
        }

        std::unordered_map<PlaneKey, std::int32_t, PlaneKeyHash> planeOf;
        std::unordered_map<std::int32_t, std::int32_t> faceNormalOf;  // plane -> normal record
        surfaceTriangles.assign(file.surfaces.size(), {});
        finalTriangles.reserve(mesh.triangles.size());
        for (std::size_t s = 0; s < file.surfaces.size(); ++s) {
            const auto first = static_cast<std::size_t>(mesh.surfaceFirst[s]);
            const auto count = static_cast<std::size_t>(mesh.surfaceCount[s]);
            surfaceTriangles[s].first = static_cast<std::int32_t>(finalTriangles.size());
            for (std::size_t k = first; k < first + count; ++k) {
                const RawTriangle& raw = mesh.triangles[k];
                Triangle t;
                t.vertexIndex = raw.corner;
                // The order is decided on the stored floats, which is what the contact test sees.
                DVec v0 = toDouble(geometry.vertex(t.vertexIndex[0]));
                DVec n = cross(toDouble(geometry.vertex(t.vertexIndex[1])) - v0,
                               toDouble(geometry.vertex(t.vertexIndex[2])) - v0);
                const double area2 = length(n);
                if (!(area2 > 1e-12) || !std::isfinite(area2)) continue;  // degenerate: nothing to stand on or see
                if (dot(n, raw.reference) < 0.0) {
                    std::swap(t.vertexIndex[1], t.vertexIndex[2]);
                    n = -1.0 * n;
                }
                n = (1.0 / area2) * n;
                const double d = -dot(n, v0);
                const auto [it, inserted] = planeOf.try_emplace(planeKeyOf(n, d), 0);
                if (inserted) {
                    it->second = geometry.addPlane({static_cast<float>(n.x), static_cast<float>(n.y),
                                                    static_cast<float>(n.z), static_cast<float>(d)});
                }
                t.planeIndex = it->second;
                for (int c = 0; c < 3; ++c) {
                    const std::int32_t vi = t.vertexIndex[static_cast<std::size_t>(c)];
                    const Vector3& vn = geometry.normal(vi);
                    if (vn.x != 0.0f || vn.y != 0.0f || vn.z != 0.0f) {
                        t.normalIndex[static_cast<std::size_t>(c)] = vi;
                        continue;
                    }
                    const auto [nit, added] = faceNormalOf.try_emplace(t.planeIndex, 0);
                    if (added) {
                        const Plane& p = geometry.plane(t.planeIndex);
                        nit->second = geometry.addNormal({p.a, p.b, p.c});
                    }
                    t.normalIndex[static_cast<std::size_t>(c)] = nit->second;
                }
                finalTriangles.push_back(t);
            }
            surfaceTriangles[s].count = static_cast<std::int32_t>(finalTriangles.size()) - surfaceTriangles[s].first;
        }
        mesh = Mesh{};  // the working copy is no longer needed
        return true;
    }

    // The file's tree starts the compiler: its opaque leaves stay solid, and only its open
    // leaves that hold triangles not bounding them (detail geometry) are cut further. The body
    // is already at the origin, standing on its floor, so nothing moves.
    bool rebuild() {
        SceneMesh mesh;
        mesh.positions.reserve(3 * finalTriangles.size());
        mesh.normals.reserve(3 * finalTriangles.size());
        mesh.triangles.reserve(finalTriangles.size());
        for (const Triangle& t : finalTriangles) {
            const auto base = static_cast<std::uint32_t>(mesh.positions.size());
            for (std::size_t k = 0; k < 3; ++k) {
                mesh.positions.push_back(toDouble(geometry.vertex(t.vertexIndex[k])));
                mesh.normals.push_back(toDouble(geometry.normal(t.normalIndex[k])));
            }
            mesh.triangles.push_back({base, base + 1, base + 2});
        }
        finalTriangles = {};

        StartPartition start;
        start.planes.reserve(file.planes.size());
        for (const ibsp::Plane& plane : file.planes) {
            const DVec n = unitOrZero(transform.direction(fromFloats(plane.normal)));
            const double l = length(transform.direction(fromFloats(plane.normal)));
            const double d = (-transform.scale * plane.dist -
                              dot(transform.direction(fromFloats(plane.normal)), transform.translation)) /
                             (l > 0.0 ? l : 1.0);
            start.planes.push_back({n, d});
        }
        start.nodes.reserve(file.nodes.size());
        for (const ibsp::Node& node : file.nodes)
            start.nodes.push_back({node.plane, node.children[0], node.children[1]});
        start.leafSolid.reserve(file.leaves.size());
        for (const ibsp::Leaf& leaf : file.leaves) start.leafSolid.push_back(leaf.cluster < 0 ? 1 : 0);
        double mins[3], maxs[3];
        worldBox(file, mins, maxs);
        const DVec a = transform.point({mins[0], mins[1], mins[2]});
        const DVec b = transform.point({maxs[0], maxs[1], maxs[2]});
        start.lo = {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
        start.hi = {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};

        CompileOptions compileOptions;
        compileOptions.spawn = DVec{};
        compileOptions.placeOnFloor = false;
        // A game level is sealed by its own tree; where it is not, the walk still goes on.
        compileOptions.allowLeak = true;
        // Teleporters join areas that no portal joins.
        compileOptions.dropUnreachable = false;
        geometry = LevelGeometry{};
        CompileReport compiled;
        std::string compileError;
        if (!compileLevel(mesh, &start, compileOptions, geometry, partition, compiled, compileError)) {
            return fail("cannot rebuild the tree: " + compileError);
        }
        for (const std::string& warning : compiled.warnings) report.warnings.push_back(warning);
        report.rebuilt = true;
        report.openSpaces = compiled.spaces - (compiled.solidLeaves + compiled.outsideLeaves > 0 ? 1 : 0);
        report.portals = compiled.portals;
        report.neighbourLinks = compiled.neighbourLinks;
        return true;
    }

    bool buildTree() {
        partition.nodes.reserve(file.nodes.size());
        for (const ibsp::Node& node : file.nodes) {
            BspNode out;
            out.planeIndex = node.plane;  // file planes kept their indices
            // Both formats name leaf L by the child value -(L + 1).
            out.front = node.children[0];
            out.back = node.children[1];
            out.bounds = transform.box(node.mins, node.maxs);
            partition.addNode(out);
        }
        // Every leaf holds its own copy of each triangle it lists, so that collision in any
        // leaf that touches a floor finds it and the entries add up to the triangle count.
        std::size_t total = 0;
        for (const ibsp::Leaf& leaf : file.leaves) {
            for (std::int32_t k = 0; k < leaf.numLeafSurfaces; ++k) {
                const auto s =
                    static_cast<std::size_t>(file.leafSurfaces[static_cast<std::size_t>(leaf.firstLeafSurface + k)]);
                total += static_cast<std::size_t>(surfaceTriangles[s].count);
                if (total > maxTriangles) {
                    return fail("the level is too large to import (its leaves list more than " +
                                std::to_string(maxTriangles) + " triangles)");
                }
            }
        }
        geometry.triangles.reserve(total);
        partition.spaces.reserve(file.leaves.size());
        const LeafPaths paths = leafPaths();
        std::vector<BoundingPlane> bounding;
        for (std::size_t leafIndex = 0; leafIndex < file.leaves.size(); ++leafIndex) {
            const ibsp::Leaf& leaf = file.leaves[leafIndex];
            Space space;
            space.bounds = transform.box(leaf.mins, leaf.maxs);
            for (std::int32_t k = 0; k < leaf.numLeafSurfaces; ++k) {
                const auto s =
                    static_cast<std::size_t>(file.leafSurfaces[static_cast<std::size_t>(leaf.firstLeafSurface + k)]);
                const SurfaceRange range = surfaceTriangles[s];
                for (std::int32_t i = 0; i < range.count; ++i) {
                    space.triangleIndices.push_back(
                        geometry.addTriangle(finalTriangles[static_cast<std::size_t>(range.first + i)]));
                }
            }
            boundingPlanesOf(paths, leafIndex, bounding);
            listBoundaryFacesFirst(space.triangleIndices, bounding);
            if (leaf.cluster >= 0) ++report.openSpaces;
            partition.addSpace(std::move(space));
        }
        finalTriangles = {};
        return true;
    }

    // A leaf's place in the tree: the node above it and the side it hangs on, and likewise for
    // every node; -1 above the root and above leaves the tree does not reach.
    struct LeafPaths {
        std::vector<std::int32_t> nodeParent;
        std::vector<std::int8_t> nodeSide;
        std::vector<std::int32_t> leafParent;
        std::vector<std::int8_t> leafSide;
    };
    struct BoundingPlane {
        Vector3 normal;  // turned towards the leaf
        float d = 0.0f;
    };

    [[nodiscard]] LeafPaths leafPaths() const {
        LeafPaths paths;
        paths.nodeParent.assign(file.nodes.size(), -1);
        paths.nodeSide.assign(file.nodes.size(), 0);
        paths.leafParent.assign(file.leaves.size(), -1);
        paths.leafSide.assign(file.leaves.size(), 0);
        // checkTree() has made sure that no node is reached twice from the root.
        std::vector<std::int32_t> pending{0};
        while (!pending.empty()) {
            const std::int32_t n = pending.back();
            pending.pop_back();
            for (std::int8_t side = 0; side < 2; ++side) {
                const std::int32_t child =
                    file.nodes[static_cast<std::size_t>(n)].children[static_cast<std::size_t>(side)];
                if (child >= 0) {
                    paths.nodeParent[static_cast<std::size_t>(child)] = n;
                    paths.nodeSide[static_cast<std::size_t>(child)] = side;
                    pending.push_back(child);
                } else {
                    const auto leaf = static_cast<std::size_t>(-(static_cast<std::int64_t>(child) + 1));
                    paths.leafParent[leaf] = n;
                    paths.leafSide[leaf] = side;
                }
            }
        }
        return paths;
    }

    // The splitting planes on the path from the leaf up towards the root (the nearest
    // maxBoundingPlanes of them), each turned to face the leaf.
    void boundingPlanesOf(const LeafPaths& paths, std::size_t leaf, std::vector<BoundingPlane>& out) const {
        out.clear();
        std::int32_t node = paths.leafParent[leaf];
        std::int8_t side = paths.leafSide[leaf];
        while (node >= 0 && out.size() < maxBoundingPlanes) {
            const Plane& p = geometry.plane(file.nodes[static_cast<std::size_t>(node)].plane);
            const float sign = side == 0 ? 1.0f : -1.0f;
            out.push_back({{sign * p.a, sign * p.b, sign * p.c}, sign * p.d});
            side = paths.nodeSide[static_cast<std::size_t>(node)];
            node = paths.nodeParent[static_cast<std::size_t>(node)];
        }
    }

    // The contact query answers with the first qualifying candidate and pushes its working
    // point out of every candidate plane it meets on the way there, wherever that plane's
    // triangle lies. A face on one of the leaf's own bounding planes, facing into the leaf
    // (its floor, walls, ceiling), has the whole leaf in front of it and pushes only a body
    // that reached it. Detail geometry (pillars, trims, steps, patches) does not split the
    // tree: it stands inside the leaf and faces away from parts of it, so meeting its planes
    // first can shove the working point metres away, or back and forth between two faces
    // turned away from each other, and the answer is then a far wall taken for the ground.
    // Listing the leaf's bounding faces first lets the query meet the floor under the body
    // before any of those; each group keeps the file's order.
    void listBoundaryFacesFirst(std::vector<std::int32_t>& triangles, const std::vector<BoundingPlane>& bounding) {
        const float offsetTolerance = 0.05f * options.scale;  // a twentieth of a file unit
        // Triangles on one plane share the answer: each plane is compared once per leaf.
        if (planeVerdictLeaf.size() != geometry.planes.size()) {
            planeVerdictLeaf.assign(geometry.planes.size(), 0);
            planeVerdict.assign(geometry.planes.size(), 0);
        }
        ++verdictGeneration;
        const auto onBoundary = [&](std::int32_t t) {
            const std::int32_t planeIndex = geometry.triangles[static_cast<std::size_t>(t)].planeIndex;
            const auto k = static_cast<std::size_t>(planeIndex);
            if (planeVerdictLeaf[k] != verdictGeneration) {
                const Plane& p = geometry.plane(planeIndex);
                planeVerdictLeaf[k] = verdictGeneration;
                planeVerdict[k] = std::any_of(bounding.begin(), bounding.end(),
                                              [&](const BoundingPlane& b) {
                                                  const float alignment =
                                                      p.a * b.normal.x + p.b * b.normal.y + p.c * b.normal.z;
                                                  return alignment > 0.9999f && std::fabs(p.d - b.d) <= offsetTolerance;
                                              })
                                      ? 1
                                      : 0;
            }
            return planeVerdict[k] != 0;
        };
        std::stable_partition(triangles.begin(), triangles.end(), onBoundary);
    }

    bool buildAdjacency() {
        const std::size_t spaceCount = file.leaves.size();
        if (spaceCount > maxSpaces) return fail("too many leafs");  // checked in run(); keeps the size known here
        AdjacencyMatrix matrix = AdjacencyMatrix::forSpaces(spaceCount);
        const PortalTree tree = portalTreeOf(file);
        PortalResult result;
        std::string portalError;
        if (!computeLeafPortals(tree, result, portalError)) return fail("cannot compute the portals: " + portalError);
        report.portals = result.portalCount;
        for (const auto& [a, b] : result.links) {
            if (a < 0 || b < 0 || a == b || static_cast<std::size_t>(a) >= spaceCount ||
                static_cast<std::size_t>(b) >= spaceCount) {
                continue;
            }
            if (file.leaves[static_cast<std::size_t>(a)].cluster < 0 ||
                file.leaves[static_cast<std::size_t>(b)].cluster < 0) {
                continue;  // opaque leaves neighbour nothing
            }
            const auto ua = static_cast<std::size_t>(a);
            const auto ub = static_cast<std::size_t>(b);
            if (!matrix.test(ua, ub)) ++report.neighbourLinks;
            matrix.link(ua, ub);
        }
        partition.setAdjacency(std::move(matrix));
        return true;
    }

    bool finish() {
        report.vertices = geometry.vertices.size();
        report.triangles = geometry.triangles.size();
        report.planes = geometry.planes.size();
        report.nodes = partition.nodes.size();
        report.spaces = partition.spaces.size();
        const std::vector<std::string> problems = validateLevel(geometry, partition);
        if (!problems.empty()) return fail("the imported level is not valid: " + problems.front());
        return true;
    }

    struct SurfaceRange {
        std::int32_t first = 0;
        std::int32_t count = 0;
    };

    const ibsp::File& file;
    const ImportOptions& options;
    LevelGeometry& geometry;
    SpacePartition& partition;
    ImportReport& report;
    std::string& error;
    Transform transform;
    DVec spawnOrigin;
    Mesh mesh;
    std::vector<Triangle> finalTriangles;
    std::vector<SurfaceRange> surfaceTriangles;
    // Per plane record: the leaf generation its verdict in planeVerdict belongs to.
    std::vector<std::uint32_t> planeVerdictLeaf;
    std::vector<std::uint8_t> planeVerdict;
    std::uint32_t verdictGeneration = 0;
};

bool readWholeFile(const std::string& path, std::vector<std::uint8_t>& data, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        error = "cannot read " + path;
        return false;
    }
    if (static_cast<std::uint64_t>(size) > maxImportBytes) {
        error = path + " is " + std::to_string(size) + " bytes, more than the " + std::to_string(maxImportBytes) +
                " an import accepts";
        return false;
    }
    in.seekg(0, std::ios::beg);
    data.resize(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size)) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

bool startsWith(const std::vector<std::uint8_t>& data, const char* magic) {
    const std::size_t n = std::strlen(magic);
    return data.size() >= n && std::memcmp(data.data(), magic, n) == 0;
}

}  // namespace

PortalTree portalTreeOf(const ibsp::File& file) {
    PortalTree tree;
    tree.planes.reserve(file.planes.size());
    for (const ibsp::Plane& p : file.planes) tree.planes.push_back({{p.normal[0], p.normal[1], p.normal[2]}, p.dist});
    tree.nodes.reserve(file.nodes.size());
    for (const ibsp::Node& n : file.nodes) tree.nodes.push_back({n.plane, {n.children[0], n.children[1]}});
    tree.leafCluster.reserve(file.leaves.size());
    for (const ibsp::Leaf& leaf : file.leaves) tree.leafCluster.push_back(leaf.cluster);
    worldBox(file, tree.mins, tree.maxs);
    return tree;
}

bool importLevelFromMemory(const std::uint8_t* data, std::size_t size, const ImportOptions& options,
                           LevelGeometry& levelGeometry, SpacePartition& spacePartition, ImportReport& report,
                           std::string& error) {
    const auto start = std::chrono::steady_clock::now();
    ibsp::File file;
    if (!ibsp::readFile(data, size, file, error)) return false;
    if (report.mapName.empty()) report.mapName = options.mapName;
    Converter converter(file, options, levelGeometry, spacePartition, report, error);
    const bool ok = converter.run();
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ok;
}

bool importLevel(const std::string& input, const ImportOptions& options, LevelGeometry& levelGeometry,
                 SpacePartition& spacePartition, ImportReport& report, std::string& error) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> data;
    char magic[4] = {};
    {
        std::ifstream probe(input, std::ios::binary);
        if (!probe) {
            error = "cannot open " + input;
            return false;
        }
        probe.read(magic, sizeof magic);
    }
    // Archives are read entry by entry; only the chosen level comes into memory.
    if (std::memcmp(magic, "PK", 2) == 0) {
        if (options.mapName.empty()) {
            error = input + " is an archive: name the map to import (one of its maps/*.bsp)";
            return false;
        }
        std::string entry;
        std::string notFound;
        if (findArchiveMap(input, options.mapName, entry, notFound)) {
            report.mapName = entry;
            if (!readArchiveEntry(input, entry, data, error)) return false;
        } else {
            // An entry outside maps/ may still be named by its path.
            std::string ignored;
            report.mapName = options.mapName;
            if (options.mapName.find('/') == std::string::npos ||
                !readArchiveEntry(input, options.mapName, data, ignored)) {
                error = notFound;
                return false;
            }
        }
    } else {
        report.mapName = input;
        if (!readWholeFile(input, data, error)) return false;
    }
    if (!startsWith(data, "IBSP")) {
        error = report.mapName + " is not an IBSP level (nor a .pk3 archive)";
        return false;
    }
    const bool ok =
        importLevelFromMemory(data.data(), data.size(), options, levelGeometry, spacePartition, report, error);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok && error.rfind(report.mapName, 0) != 0) error = report.mapName + ": " + error;
    return ok;
}

}  // namespace vantrell
