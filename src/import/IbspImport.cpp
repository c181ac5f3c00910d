// Converting an IBSP level into ours.
//
// Sections: spawn entity; coordinate transform; surface geometry (planar, soups, patches);
// placing the spawn on its floor; planes and triangles; tree, spaces and adjacency; entry points.
#include "import/IbspImport.h"

#include "compile/Compiler.h"
#include "import/IbspFile.h"
#include "import/PakArchive.h"
#include "level/LevelValidation.h"

#include "compile/Portals.h"

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

namespace vantrell {
namespace {

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

// Limits that keep hostile files from exhausting memory: the largest real levels need a
// small fraction of them.
constexpr std::size_t maxVertices = 4u << 20;
constexpr std::size_t maxTriangles = 8u << 20;  // after copying triangles into every leaf that lists them
constexpr std::uint64_t maxControlPoints = 16u << 20;  // drawverts read, summed over surfaces
constexpr std::size_t maxSpaces = 32768;         // the adjacency matrix grows with its square (128 MiB here)

// The body point starts this far (our units) above the floor under the spawn: inside the
// reach of the ground probe, so the walk-through starts standing.
constexpr double bodyLift = 0.02;
// The player's origin is the centre of its box, 24 file units above the feet.
constexpr double spawnFeetBelowOrigin = 24.0;
// Ordering a leaf's triangles looks at this many splitting planes above it, nearest first:
// the deepest leaf of the game's levels lies 74 splits below the root, and a hostile chain
// of nodes must not make the work grow with the square of the tree.
constexpr std::size_t maxBoundingPlanes = 128;
// Patches: at most this many segments per Bezier piece and direction.
constexpr int maxPatchSegments = 8;

using DVec = Vector3d;

DVec fromFloats(const std::array<float, 3>& v) { return {v[0], v[1], v[2]}; }

// ---- Spawn entity -------------------------------------------------------------------------

struct Spawn {
    bool found = false;
    DVec origin;
    double angle = 0.0;
};

// Reads the next token of the entity text: a quoted string, or a single brace. Returns false at the end.
bool nextToken(const std::string& text, std::size_t& pos, std::string& token, bool& quoted) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos >= text.size()) return false;
    if (text[pos] == '"') {
        const std::size_t end = text.find('"', pos + 1);
        if (end == std::string::npos) return false;
        token.assign(text, pos + 1, end - pos - 1);
        pos = end + 1;
        quoted = true;
        return true;
    }
    token.assign(1, text[pos]);
    ++pos;
    quoted = false;
    return true;
}

bool parseNumbers(const std::string& text, double* values, int count) {
    const char* p = text.c_str();
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p || !std::isfinite(v) || std::fabs(v) > 1e9) return false;
        values[i] = v;
        p = end;
    }
    return true;
}

// The first info_player_deathmatch with a readable origin, else the first info_player_start.
Spawn findSpawn(const std::string& entities) {
    Spawn deathmatch;
    Spawn start;
    std::size_t pos = 0;
    std::string token;
    bool quoted = false;
    std::string key;
    bool haveKey = false;
    std::string classname;
    Spawn current;
    bool haveAngle = false;
    while (nextToken(entities, pos, token, quoted)) {
        if (!quoted && token == "{") {
            classname.clear();
            current = Spawn{};
            haveKey = false;
            haveAngle = false;
        } else if (!quoted && token == "}") {
            if (current.found) {
                if (classname == "info_player_deathmatch" && !deathmatch.found) deathmatch = current;
                if (classname == "info_player_start" && !start.found) start = current;
            }
            haveKey = false;
        } else if (quoted && !haveKey) {
            key = token;
            haveKey = true;
        } else if (quoted) {
            haveKey = false;
            double values[3];
            if (key == "classname") {
                classname = token;
            } else if (key == "origin" && parseNumbers(token, values, 3)) {
                current.origin = {values[0], values[1], values[2]};
                current.found = true;
            } else if (key == "angle" && parseNumbers(token, values, 1)) {
                current.angle = values[0];
                haveAngle = true;
            } else if (key == "angles" && !haveAngle && parseNumbers(token, values, 3)) {
                current.angle = values[1];
            }
        }
    }
    return deathmatch.found ? deathmatch : start;
}

// The nearest multiple of 90 degrees to angle, as quarter turns 0..3.
int quarterTurnsOf(double angle) {
    const double wrapped = std::fmod(angle, 360.0);
    const long turns = std::lround(wrapped / 90.0);
    return static_cast<int>(((turns % 4) + 4) % 4);
}

// ---- Coordinate transform -----------------------------------------------------------------

// File point p becomes scale * R * (p.x, p.z, p.y) + translation, R a turn about our y by
// quarterTurns * 90 degrees that brings the spawn's view direction onto +x.
struct Transform {
    double scale = 1.0;
    int quarterTurns = 0;
    DVec translation;

    [[nodiscard]] DVec direction(const DVec& v) const {
        const DVec swapped{v.x, v.z, v.y};
        switch (quarterTurns) {
            case 1: return {swapped.z, swapped.y, -swapped.x};
            case 2: return {-swapped.x, swapped.y, -swapped.z};
            case 3: return {-swapped.z, swapped.y, swapped.x};
            default: return swapped;
        }
    }
    // Without the translation: the translation is found only once the geometry exists.
    [[nodiscard]] DVec scaled(const DVec& p) const { return scale * direction(p); }
    [[nodiscard]] DVec point(const DVec& p) const { return scaled(p) + translation; }

    [[nodiscard]] BoundingBox box(const std::array<std::int32_t, 3>& mins, const std::array<std::int32_t, 3>& maxs) const {
        const DVec a = point({static_cast<double>(mins[0]), static_cast<double>(mins[1]), static_cast<double>(mins[2])});
        const DVec b = point({static_cast<double>(maxs[0]), static_cast<double>(maxs[1]), static_cast<double>(maxs[2])});
        BoundingBox out;
        out.minX = static_cast<float>(std::min(a.x, b.x));
        out.minY = static_cast<float>(std::min(a.y, b.y));
        out.minZ = static_cast<float>(std::min(a.z, b.z));
        out.maxX = static_cast<float>(std::max(a.x, b.x));
        out.maxY = static_cast<float>(std::max(a.y, b.y));
        out.maxZ = static_cast<float>(std::max(a.z, b.z));
        return out;
    }
};

// ---- Surface geometry ---------------------------------------------------------------------

// A triangle before its final corner order is known: reference is the direction its front
// should face (surface normal or the sum of its corners' normals; zero when unknown).
struct RawTriangle {
    std::array<std::int32_t, 3> corner{};
    DVec reference;
};

struct Mesh {
    std::vector<DVec> positions;  // scaled and turned, not yet translated
    std::vector<DVec> normals;    // unit, or zero where the file's normal is unusable
    std::vector<RawTriangle> triangles;
    // Per file surface: its triangles [first, first + count) in triangles; count 0 when left out.
    std::vector<std::int32_t> surfaceFirst;
    std::vector<std::int32_t> surfaceCount;
};

bool surfaceLeftOut(const ibsp::File& file, const ibsp::Surface& surface) {
    if (surface.type != ibsp::surfacePlanar && surface.type != ibsp::surfacePatch &&
        surface.type != ibsp::surfaceTriangleSoup) {
        return true;  // flares and unknown kinds have no geometry
    }
    const ibsp::Shader& shader = file.shaders[static_cast<std::size_t>(surface.shader)];
    if ((shader.surfaceFlags & (ibsp::surfaceNoDraw | ibsp::surfaceSkip | ibsp::surfaceNonSolid)) != 0) return true;
    return (shader.contentFlags & (ibsp::contentsLava | ibsp::contentsSlime | ibsp::contentsWater | ibsp::contentsFog)) != 0;
}

class MeshBuilder {
public:
    MeshBuilder(const ibsp::File& file, const Transform& transform, Mesh& mesh, std::string& error)
        : file(file), transform(transform), mesh(mesh), error(error) {}

    bool addSurface(std::size_t s) {
        const ibsp::Surface& surface = file.surfaces[s];
        mesh.surfaceFirst[s] = static_cast<std::int32_t>(mesh.triangles.size());
        if (surface.type == ibsp::surfacePatch) {
            if (!addPatch(surface)) return false;
        } else if (!addIndexed(surface)) {
            return false;
        }
        mesh.surfaceCount[s] = static_cast<std::int32_t>(mesh.triangles.size()) - mesh.surfaceFirst[s];
        return true;
    }

private:
    bool reserveVertices(std::size_t count) {
        if (count > maxVertices - mesh.positions.size()) {
            error = "the level is too large to import (more than " + std::to_string(maxVertices) + " vertices)";
            return false;
        }
        return true;
    }
    bool reserveTriangles(std::size_t count) {
        if (count > maxTriangles - mesh.triangles.size()) {
            error = "the level is too large to import (more than " + std::to_string(maxTriangles) + " triangles)";
            return false;
        }
        return true;
    }

    std::int32_t addVertex(const DVec& filePosition, const DVec& fileNormal) {
        mesh.positions.push_back(transform.scaled(filePosition));
        mesh.normals.push_back(unitOrZero(transform.direction(fileNormal)));
        return static_cast<std::int32_t>(mesh.positions.size() - 1);
    }

    void addTriangle(std::int32_t a, std::int32_t b, std::int32_t c, const DVec& surfaceNormal) {
        RawTriangle t;
        t.corner = {a, b, c};
        t.reference = surfaceNormal;
        if (isZero(t.reference)) {
            const auto n = [&](std::int32_t i) { return mesh.normals[static_cast<std::size_t>(i)]; };
            t.reference = n(a) + n(b) + n(c);
        }
        mesh.triangles.push_back(t);
    }


    // Planar polygons and triangle soups: triples of drawindexes relative to firstVertex.
    bool addIndexed(const ibsp::Surface& surface) {
        const auto vertexCount = static_cast<std::size_t>(surface.numVertices);
        if (!reserveVertices(vertexCount) || !reserveTriangles(static_cast<std::size_t>(surface.numIndexes / 3))) {
            return false;
        }
        const auto base = static_cast<std::int32_t>(mesh.positions.size());
        for (std::size_t k = 0; k < vertexCount; ++k) {
            const ibsp::DrawVertex& v = file.vertices[static_cast<std::size_t>(surface.firstVertex) + k];
            addVertex(fromFloats(v.position), fromFloats(v.normal));
        }
        // A planar surface states its normal; soups are judged by their corners' normals.
        const DVec surfaceNormal = surface.type == ibsp::surfacePlanar
                                       ? unitOrZero(transform.direction(fromFloats(surface.planeNormal)))
                                       : DVec{};
        for (std::int32_t k = 0; k + 2 < surface.numIndexes; k += 3) {
            const std::size_t first = static_cast<std::size_t>(surface.firstIndex + k);
            addTriangle(base + file.indexes[first], base + file.indexes[first + 1], base + file.indexes[first + 2],
                        surfaceNormal);
        }
        return true;
    }

    // Segments for one direction of the patch: the chord error of a quadratic Bezier cut into
    // n equal steps is at most dev / (2 n^2), dev the distance of the middle control point from
    // its neighbours' midpoint; n = ceil(sqrt(dev)) keeps it within half a file unit, and one
    // count serves the whole patch so that neighbouring pieces meet without cracks.
    static int segmentsFor(double deviation) {
        if (!(deviation > 0.0)) return 1;
        const double n = std::ceil(std::sqrt(deviation));
        return static_cast<int>(std::clamp(n, 1.0, static_cast<double>(maxPatchSegments)));
    }

    // Segments per piece along u (across a row) and v (down a column) for the whole patch.
    std::pair<int, int> patchSegments(const ibsp::Surface& surface) const {
        const int width = surface.patchWidth;
        const int height = surface.patchHeight;
        const auto position = [&](int column, int row) {
            return fromFloats(file.vertices[static_cast<std::size_t>(surface.firstVertex) +
                                            static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                                            static_cast<std::size_t>(column)]
                                  .position);
        };
        const auto deviation = [&](int c0, int r0, int dc, int dr) {
            const DVec p0 = position(c0, r0);
            const DVec p1 = position(c0 + dc, r0 + dr);
            const DVec p2 = position(c0 + 2 * dc, r0 + 2 * dr);
            return length(p1 - 0.5 * (p0 + p2));
        };
        double deviationU = 0.0;
        double deviationV = 0.0;
        for (int row = 0; row < height; ++row) {
            for (int c = 0; c + 2 < width; c += 2) deviationU = std::max(deviationU, deviation(c, row, 1, 0));
        }
        for (int column = 0; column < width; ++column) {
            for (int r = 0; r + 2 < height; r += 2) deviationV = std::max(deviationV, deviation(column, r, 0, 1));
        }
        return {segmentsFor(deviationU), segmentsFor(deviationV)};
    }

public:
    // Counts what surface s will add before anything is built, so that a file whose surfaces
    // would make a huge level is refused at once. Call for every surface before addSurface.
    bool plan(std::size_t s) {
        const ibsp::Surface& surface = file.surfaces[s];
        plannedControlPoints += static_cast<std::uint64_t>(surface.numVertices);
        if (plannedControlPoints > maxControlPoints) {
            error = "the level is too large to import (its surfaces use more than " + std::to_string(maxControlPoints) +
                    " drawverts)";
            return false;
        }
        std::uint64_t vertexCount = static_cast<std::uint64_t>(surface.numVertices);
        std::uint64_t triangleCount = static_cast<std::uint64_t>(surface.numIndexes / 3);
        if (surface.type == ibsp::surfacePatch) {
            const auto [segmentsU, segmentsV] = patchSegments(surface);
            const std::uint64_t columns = static_cast<std::uint64_t>((surface.patchWidth - 1) / 2) * segmentsU + 1;
            const std::uint64_t rows = static_cast<std::uint64_t>((surface.patchHeight - 1) / 2) * segmentsV + 1;
            vertexCount = columns * rows;
            triangleCount = 2 * (columns - 1) * (rows - 1);
        }
        plannedVertices += vertexCount;
        plannedTriangles += triangleCount;
        if (plannedVertices > maxVertices) {
            error = "the level is too large to import (more than " + std::to_string(maxVertices) + " vertices)";
            return false;
        }
        if (plannedTriangles > maxTriangles) {
            error = "the level is too large to import (more than " + std::to_string(maxTriangles) + " triangles)";
            return false;
        }
        return true;
    }

private:
    bool addPatch(const ibsp::Surface& surface) {
        const int width = surface.patchWidth;
        const int piecesU = (width - 1) / 2;
        const int piecesV = (surface.patchHeight - 1) / 2;
        const auto control = [&](int column, int row) -> const ibsp::DrawVertex& {
            return file.vertices[static_cast<std::size_t>(surface.firstVertex) +
                                 static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                                 static_cast<std::size_t>(column)];
        };
        const auto [segmentsU, segmentsV] = patchSegments(surface);
        const std::size_t columns = static_cast<std::size_t>(piecesU) * static_cast<std::size_t>(segmentsU) + 1;
        const std::size_t rows = static_cast<std::size_t>(piecesV) * static_cast<std::size_t>(segmentsV) + 1;
        // Checked separately first so that the product cannot overflow.
        if (!reserveVertices(columns) || !reserveVertices(rows) || !reserveVertices(columns * rows) ||
            !reserveTriangles(2 * (columns - 1) * (rows - 1))) {
            return false;
        }
        const auto base = static_cast<std::int32_t>(mesh.positions.size());
        for (std::size_t row = 0; row < rows; ++row) {
            const int pieceV = std::min(static_cast<int>(row) / segmentsV, piecesV - 1);
            const double v = static_cast<double>(static_cast<int>(row) - pieceV * segmentsV) / segmentsV;
            const double bv[3] = {(1.0 - v) * (1.0 - v), 2.0 * v * (1.0 - v), v * v};
            for (std::size_t column = 0; column < columns; ++column) {
                const int pieceU = std::min(static_cast<int>(column) / segmentsU, piecesU - 1);
                const double u = static_cast<double>(static_cast<int>(column) - pieceU * segmentsU) / segmentsU;
                const double bu[3] = {(1.0 - u) * (1.0 - u), 2.0 * u * (1.0 - u), u * u};
                DVec position;
                DVec normal;
                for (int j = 0; j < 3; ++j) {
                    for (int i = 0; i < 3; ++i) {
                        const ibsp::DrawVertex& cp = control(2 * pieceU + i, 2 * pieceV + j);
                        const double weight = bu[i] * bv[j];
                        position = position + weight * fromFloats(cp.position);
                        normal = normal + weight * fromFloats(cp.normal);
                    }
                }
                addVertex(position, normal);
            }
        }
        const auto at = [&](std::size_t row, std::size_t column) {
            return base + static_cast<std::int32_t>(row * columns + column);
        };
        for (std::size_t row = 0; row + 1 < rows; ++row) {
            for (std::size_t column = 0; column + 1 < columns; ++column) {
                addTriangle(at(row, column), at(row, column + 1), at(row + 1, column + 1), DVec{});
                addTriangle(at(row, column), at(row + 1, column + 1), at(row + 1, column), DVec{});
            }
        }
        return true;
    }

    const ibsp::File& file;
    const Transform& transform;
    Mesh& mesh;
    std::string& error;
    std::uint64_t plannedControlPoints = 0;
    std::uint64_t plannedVertices = 0;
    std::uint64_t plannedTriangles = 0;
};

// ---- Placing the spawn on its floor -------------------------------------------------------

// The height of the highest upward-facing triangle straight below from (within reach of a
// drop to below the feet), or NaN when there is none.
double floorBelow(const Mesh& mesh, const DVec& from, double lowest) {
    double best = std::nan("");
    for (const RawTriangle& t : mesh.triangles) {
        const DVec& a = mesh.positions[static_cast<std::size_t>(t.corner[0])];
        const DVec& b = mesh.positions[static_cast<std::size_t>(t.corner[1])];
        const DVec& c = mesh.positions[static_cast<std::size_t>(t.corner[2])];
        DVec n = cross(b - a, c - a);
        if (dot(n, t.reference) < 0.0) n = -1.0 * n;
        if (!(n.y > 0.0)) continue;
        // Where the vertical line through from meets the triangle's plane, and whether that
        // point lies inside (edge tests in the horizontal projection, orientation from n.y).
        const double y = a.y - (n.x * (from.x - a.x) + n.z * (from.z - a.z)) / n.y;
        if (!(y <= from.y) || !(y >= lowest) || (!std::isnan(best) && y <= best)) continue;
        const auto edge = [&](const DVec& p, const DVec& q) {
            return (q.z - p.z) * (from.x - p.x) - (q.x - p.x) * (from.z - p.z);
        };
        const double e0 = edge(a, b);
        const double e1 = edge(b, c);
        const double e2 = edge(c, a);
        const bool inside = (e0 >= 0.0 && e1 >= 0.0 && e2 >= 0.0) || (e0 <= 0.0 && e1 <= 0.0 && e2 <= 0.0);
        if (inside) best = y;
    }
    return best;
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
        if (!(options.scale > 0.0f) || !std::isfinite(options.scale)) return fail("the scale must be a positive number");
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

    // The nodes reachable from node 0 must form a tree: no node is reached twice.
    bool checkTree() {
        std::vector<std::uint8_t> seen(file.nodes.size(), 0);
        std::vector<std::int32_t> pending{0};
        seen[0] = 1;
        while (!pending.empty()) {
            const std::int32_t n = pending.back();
            pending.pop_back();
            for (std::int32_t child : file.nodes[static_cast<std::size_t>(n)].children) {
                if (child < 0) continue;
                if (seen[static_cast<std::size_t>(child)] != 0) {
                    return fail("node " + std::to_string(n) + " names node " + std::to_string(child) +
                                ", which is already in the tree: the tree loops or shares a branch");
                }
                seen[static_cast<std::size_t>(child)] = 1;
                pending.push_back(child);
            }
        }
        return true;
    }

    bool placeSpawn() {
        const Spawn spawn = findSpawn(file.entities);
        report.spawnFound = spawn.found;
        if (!spawn.found) report.warnings.push_back("no info_player_deathmatch or info_player_start: the file origin is used");
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
                wanted[static_cast<std::size_t>(file.leafSurfaces[static_cast<std::size_t>(leaf.firstLeafSurface + k)])] = 1;
            }
        }
        for (std::size_t s = 0; s < file.surfaces.size(); ++s) {
            if (wanted[s] == 0) continue;
            const bool inWorld = static_cast<std::int64_t>(s) >= world.firstSurface &&
                                 static_cast<std::int64_t>(s) < static_cast<std::int64_t>(world.firstSurface) + world.numSurfaces;
            if (!inWorld || surfaceLeftOut(file, file.surfaces[s])) {
                wanted[s] = 0;
                ++report.skippedSurfaces;
            }
        }
        MeshBuilder builder(file, transform, mesh, error);
        for (std::size_t s = 0; s < file.surfaces.size(); ++s) {
            if (wanted[s] != 0 && !builder.plan(s)) return false;
        }
        for (std::size_t s = 0; s < file.surfaces.size(); ++s) {
            if (wanted[s] != 0 && !builder.addSurface(s)) return false;
        }

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
            geometry.addPlane({static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z), static_cast<float>(d)});
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
            const double d = (-transform.scale * plane.dist - dot(transform.direction(fromFloats(plane.normal)), transform.translation)) /
                             (l > 0.0 ? l : 1.0);
            start.planes.push_back({n, d});
        }
        start.nodes.reserve(file.nodes.size());
        for (const ibsp::Node& node : file.nodes) start.nodes.push_back({node.plane, node.children[0], node.children[1]});
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
                const auto s = static_cast<std::size_t>(file.leafSurfaces[static_cast<std::size_t>(leaf.firstLeafSurface + k)]);
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
                const auto s = static_cast<std::size_t>(file.leafSurfaces[static_cast<std::size_t>(leaf.firstLeafSurface + k)]);
                const SurfaceRange range = surfaceTriangles[s];
                for (std::int32_t i = 0; i < range.count; ++i) {
                    space.triangleIndices.push_back(geometry.addTriangle(finalTriangles[static_cast<std::size_t>(range.first + i)]));
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
                const std::int32_t child = file.nodes[static_cast<std::size_t>(n)].children[static_cast<std::size_t>(side)];
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
                planeVerdict[k] = std::any_of(bounding.begin(), bounding.end(), [&](const BoundingPlane& b) {
                    const float alignment = p.a * b.normal.x + p.b * b.normal.y + p.c * b.normal.z;
                    return alignment > 0.9999f && std::fabs(p.d - b.d) <= offsetTolerance;
                }) ? 1 : 0;
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
            if (file.leaves[static_cast<std::size_t>(a)].cluster < 0 || file.leaves[static_cast<std::size_t>(b)].cluster < 0) {
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

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// NAME of "maps/NAME.bsp", "maps/NAME", "NAME.bsp" or "NAME" (the prefix and suffix in any case).
std::string mapBaseName(const std::string& name) {
    std::string base = name;
    if (lowered(base.substr(0, 5)) == "maps/") base.erase(0, 5);
    if (base.size() >= 4 && lowered(base.substr(base.size() - 4)) == ".bsp") base.erase(base.size() - 4);
    return base;
}

// Edits (insert, delete, replace a letter) that turn a into b.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Up to five of maps whose names are within a few letters of wanted or hold it, closest first.
std::vector<std::string> closeMapNames(const std::string& wanted, const std::vector<std::string>& maps) {
    // Names are short; the limits only keep a hostile archive from costing much time.
    constexpr std::size_t maxCompared = 64;
    constexpr std::size_t maxMaps = 100000;
    constexpr std::size_t maxShown = 5;
    const std::string key = lowered(mapBaseName(wanted));
    if (key.empty() || key.size() > maxCompared || maps.size() > maxMaps) return {};
    const std::size_t allowed = std::max<std::size_t>(2, key.size() / 3);
    std::vector<std::pair<std::size_t, std::string>> close;
    for (const std::string& map : maps) {
        const std::string base = lowered(mapBaseName(map));
        if (base.size() > maxCompared) continue;
        const std::size_t distance = editDistance(key, base);
        const bool holds = base.find(key) != std::string::npos || key.find(base) != std::string::npos;
        if (distance <= allowed || holds) close.emplace_back(distance, map);
    }
    std::sort(close.begin(), close.end());
    std::vector<std::string> names;
    for (std::size_t i = 0; i < close.size() && i < maxShown; ++i) names.push_back(close[i].second);
    return names;
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

bool listArchiveMaps(const std::string& archive, std::vector<std::string>& maps, std::string& error) {
    return listArchiveEntries(archive, maps, error);
}

bool findArchiveMap(const std::string& archive, const std::string& mapName, std::string& entry, std::string& error) {
    std::vector<std::string> maps;
    if (!listArchiveEntries(archive, maps, error)) return false;
    const std::string base = mapBaseName(mapName);
    if (!base.empty() && base.find('/') == std::string::npos) {
        for (const bool anyCase : {false, true}) {
            for (const std::string& map : maps) {
                const std::string candidate = mapBaseName(map);
                if (anyCase ? lowered(candidate) == lowered(base) : candidate == base) {
                    entry = map;
                    return true;
                }
            }
        }
    }
    error = "the archive " + archive + " holds no map '" + mapName + "'";
    const std::vector<std::string> close = closeMapNames(mapName, maps);
    for (std::size_t i = 0; i < close.size(); ++i) error += (i == 0 ? "; close names: " : ", ") + close[i];
    if (close.empty()) error += " among its " + std::to_string(maps.size()) + (maps.size() == 1 ? " map" : " maps");
    return false;
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
            if (options.mapName.find('/') == std::string::npos || !readArchiveEntry(input, options.mapName, data, ignored)) {
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
    const bool ok = importLevelFromMemory(data.data(), data.size(), options, levelGeometry, spacePartition, report, error);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok && error.rfind(report.mapName, 0) != 0) error = report.mapName + ": " + error;
    return ok;
}

}  // namespace vantrell
