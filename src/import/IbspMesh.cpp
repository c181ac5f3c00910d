// The surfaces of an IBSP level as one triangle mesh: planar faces and triangle soups as they
// are, Bezier patches tessellated; and the floor under a point.
#include <algorithm>
#include <cmath>

#include "import/IbspParts.h"

namespace vantrell::ibspimport {
namespace {

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

}  // namespace

bool surfaceLeftOut(const ibsp::File& file, const ibsp::Surface& surface) {
    if (surface.type != ibsp::surfacePlanar && surface.type != ibsp::surfacePatch &&
        surface.type != ibsp::surfaceTriangleSoup) {
        return true;  // flares and unknown kinds have no geometry
    }
    const ibsp::Shader& shader = file.shaders[static_cast<std::size_t>(surface.shader)];
    if ((shader.surfaceFlags & (ibsp::surfaceNoDraw | ibsp::surfaceSkip | ibsp::surfaceNonSolid)) != 0) return true;
    return (shader.contentFlags &
            (ibsp::contentsLava | ibsp::contentsSlime | ibsp::contentsWater | ibsp::contentsFog)) != 0;
}

bool buildMesh(const ibsp::File& file, const Transform& transform, const std::vector<std::uint8_t>& wanted, Mesh& mesh,
               std::string& error) {
    MeshBuilder builder(file, transform, mesh, error);
    for (std::size_t s = 0; s < file.surfaces.size(); ++s) {
        if (wanted[s] != 0 && !builder.plan(s)) return false;
    }
    for (std::size_t s = 0; s < file.surfaces.size(); ++s) {
        if (wanted[s] != 0 && !builder.addSurface(s)) return false;
    }
    return true;
}

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

}  // namespace vantrell::ibspimport
