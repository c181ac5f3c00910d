// From the library's triangle soup to a SceneMesh in level coordinates.
//
// Order of work: convert every position (refusing what is not finite or too far out) and join
// equal ones; flip each triangle's winding with the mirror and drop the degenerate ones; give
// each corner the file's normal or a smooth one; join corners with equal position and normal
// into the mesh's vertices.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

#include "scene/SceneReading.h"

namespace vantrell {
namespace {

// Faces meeting at a vertex share its smooth normal only when their planes differ by less than
// this: a box's corner keeps three flat faces, a finely cut curve is smoothed.
const double creaseCosine = std::cos(80.0 * 3.14159265358979323846 / 180.0);
// A vertex shared by more faces than this gets its own face's normal instead of a smooth one:
// the smoothing compares faces pairwise, and a fan of a million faces must not cost 10^12.
constexpr std::size_t maxSmoothedFaces = 64;
constexpr std::size_t maxNoteLength = 300;

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

std::size_t hashOf(const Vector3d& p) {
    std::uint64_t h = mix(std::bit_cast<std::uint64_t>(p.x));
    h = mix(h ^ std::bit_cast<std::uint64_t>(p.y));
    return static_cast<std::size_t>(mix(h ^ std::bit_cast<std::uint64_t>(p.z)));
}

// Joins equal values: an open-addressing table of indices into the caller's array of values
// (two to four times faster here than std::unordered_map, which allocates per entry).
class JoinTable {
public:
    explicit JoinTable(std::size_t expected) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.assign(capacity, Slot{empty, 0});
    }
    // The index of an earlier value equal to the one at `candidate` (same hash, isEqual(index)
    // true), or candidate itself after recording it.
    template <typename IsEqual>
    std::uint32_t join(std::size_t hash, std::uint32_t candidate, IsEqual isEqual) {
        if (count_ * 2 >= slots_.size()) grow();
        for (std::size_t at = hash & (slots_.size() - 1);; at = (at + 1) & (slots_.size() - 1)) {
            if (slots_[at].index == empty) {
                slots_[at] = {candidate, hash};
                ++count_;
                return candidate;
            }
            if (slots_[at].hash == hash && isEqual(slots_[at].index)) return slots_[at].index;
        }
    }

private:
    static constexpr std::uint32_t empty = UINT32_MAX;
    struct Slot {
        std::uint32_t index;
        std::size_t hash;
    };
    void grow() {
        std::vector<Slot> old(slots_.size() * 2, Slot{empty, 0});
        old.swap(slots_);
        for (const Slot& slot : old) {
            if (slot.index == empty) continue;
            std::size_t at = slot.hash & (slots_.size() - 1);
            while (slots_[at].index != empty) at = (at + 1) & (slots_.size() - 1);
            slots_[at] = slot;
        }
    }
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

struct KeptTriangle {
    std::array<std::uint32_t, 3> positions;  // joined positions, level winding
    std::array<std::uint32_t, 3> sources;    // the soup's vertices, for their file normals
    Vector3d normal;                         // unit
    double weight;                           // twice the area
};

std::string formatPoint(const Vector3d& p) {
    char text[96];
    std::snprintf(text, sizeof text, "(%g, %g, %g)", p.x, p.y, p.z);
    return text;
}

// Text from the other process or the file, made safe to print: no control characters, short.
std::string printable(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (out.size() >= maxNoteLength) break;
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u == 0x7f) ? ' ' : c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

bool buildSceneMesh(const SceneSoup& soup, double scale, SceneMesh& mesh, std::string& error) {
    mesh = {};
    if (!(scale > 0) || !std::isfinite(scale)) {
        error = "the scale must be a positive number";
        return false;
    }
    const std::size_t vertexCount = soup.positions.size();

    // Positions, converted and joined.
    std::vector<Vector3d> joined;
    std::vector<std::uint32_t> joinedOf(vertexCount);
    {
        JoinTable table(vertexCount);
        for (std::size_t i = 0; i < vertexCount; ++i) {
            const Vector3d scenePoint = toDouble(soup.positions[i]);
            if (!isFinite(scenePoint)) {
                error = "the scene has a vertex that is not a finite point " + formatPoint(scenePoint);
                return false;
            }
            Vector3d p = sceneToLevel(scenePoint, scale);
            if (!(std::abs(p.x) <= maximumCoordinate && std::abs(p.y) <= maximumCoordinate &&
                  std::abs(p.z) <= maximumCoordinate)) {
                error = "the scene has a vertex at " + formatPoint(p) + " (level units), farther than " +
                        std::to_string(static_cast<long long>(maximumCoordinate)) + " from the origin on an axis";
                return false;
            }
            p = p + Vector3d{0, 0, 0};  // -0 and +0 join
            const auto next = static_cast<std::uint32_t>(joined.size());
            const std::uint32_t at = table.join(hashOf(p), next, [&](std::uint32_t j) { return joined[j] == p; });
            if (at == next) joined.push_back(p);
            joinedOf[i] = at;
        }
    }

    // Triangles: winding flipped with the mirror, degenerate ones dropped.
    std::vector<KeptTriangle> kept;
    kept.reserve(soup.triangles.size());
    std::size_t degenerate = 0;
    for (const auto& t : soup.triangles) {
        if (t[0] >= vertexCount || t[1] >= vertexCount || t[2] >= vertexCount) {
            error = "the scene has a triangle whose vertex index is out of range";
            return false;
        }
        // Mirroring z turns counter-clockwise into clockwise; swapping two corners turns it back,
        // so (p1 - p0) x (p2 - p0) points to the side the modeller saw.
        const std::array<std::uint32_t, 3> sources{t[0], t[2], t[1]};
        const std::array<std::uint32_t, 3> at{joinedOf[sources[0]], joinedOf[sources[1]], joinedOf[sources[2]]};
        if (at[0] == at[1] || at[1] == at[2] || at[0] == at[2]) {
            ++degenerate;
            continue;
        }
        const Vector3d& a = joined[at[0]];
        const Vector3d& b = joined[at[1]];
        const Vector3d& c = joined[at[2]];
        const Vector3d n = cross(b - a, c - a);
        const double twiceArea = length(n);
        const double longest = std::max({dot(b - a, b - a), dot(c - b, c - b), dot(a - c, a - c)});
        // The least height stands on the longest side: 2 area / longest side.
        if (!(twiceArea / std::sqrt(longest) >= minimumTriangleHeight)) {
            ++degenerate;
            continue;
        }
        kept.push_back({at, sources, n * (1.0 / twiceArea), twiceArea});
    }
    if (kept.empty()) {
        error = degenerate == 0 ? "the scene holds no triangles"
                                : "the scene holds no triangles but " + std::to_string(degenerate) + " degenerate ones";
        // What was left out on the way may be why (lines only, faces the library dropped).
        if (!soup.notes.empty()) error += " (" + printable(soup.notes.front()) + ")";
        return false;
    }

    // The faces at each joined position, for smooth normals; built only when a corner needs one.
    auto fileNormal = [&](std::uint32_t source) {
        if (source >= soup.normals.size()) return Vector3d{};
        const Vector3d n = toDouble(soup.normals[source]);
        return unitOrZero(Vector3d{n.x, n.y, -n.z});
    };
    std::vector<std::uint32_t> faceStart;
    std::vector<std::uint32_t> faces;
    auto buildFaceLists = [&] {
        faceStart.assign(joined.size() + 1, 0);
        for (const KeptTriangle& t : kept) {
            for (std::uint32_t p : t.positions) ++faceStart[p + 1];
        }
        for (std::size_t i = 1; i < faceStart.size(); ++i) faceStart[i] += faceStart[i - 1];
        faces.resize(faceStart.back());
        std::vector<std::uint32_t> fill(faceStart.begin(), faceStart.end() - 1);
        for (std::size_t f = 0; f < kept.size(); ++f) {
            for (std::uint32_t p : kept[f].positions) faces[fill[p]++] = static_cast<std::uint32_t>(f);
        }
    };
    auto smoothNormal = [&](std::size_t face, std::uint32_t position) {
        const KeptTriangle& own = kept[face];
        const std::uint32_t begin = faceStart[position];
        const std::uint32_t end = faceStart[position + 1];
        if (end - begin > maxSmoothedFaces) return own.normal;
        Vector3d sum{};
        for (std::uint32_t i = begin; i < end; ++i) {
            const KeptTriangle& other = kept[faces[i]];
            if (dot(other.normal, own.normal) >= creaseCosine) sum = sum + other.normal * other.weight;
        }
        const Vector3d n = unitOrZero(sum);
        return isZero(n) ? own.normal : n;
    };

    JoinTable vertexOf(kept.size());
    std::vector<std::uint32_t> positionOf;  // the joined position of each mesh vertex
    positionOf.reserve(kept.size());
    std::size_t madeNormals = 0;
    mesh.triangles.reserve(kept.size());
    for (std::size_t f = 0; f < kept.size(); ++f) {
        std::array<std::uint32_t, 3> out{};
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t position = kept[f].positions[k];
            Vector3d normal = fileNormal(kept[f].sources[k]);
            const bool made = isZero(normal);
            if (made) {
                if (faceStart.empty()) buildFaceLists();
                normal = smoothNormal(f, position);
            }
            normal = normal + Vector3d{0, 0, 0};  // -0 and +0 join
            const auto next = static_cast<std::uint32_t>(mesh.positions.size());
            const std::uint32_t at = vertexOf.join(hashOf(normal) ^ mix(position), next, [&](std::uint32_t j) {
                return positionOf[j] == position && mesh.normals[j] == normal;
            });
            if (at == next) {
                mesh.positions.push_back(joined[position]);
                mesh.normals.push_back(normal);
                positionOf.push_back(position);
                if (made) ++madeNormals;
            }
            out[k] = at;
        }
        mesh.triangles.push_back(out);
    }

    for (const std::string& note : soup.notes) mesh.warnings.push_back(printable(note));
    if (degenerate > 0) {
        char text[160];
        std::snprintf(text, sizeof text, "dropped %zu degenerate triangle%s (thinner than %g units)", degenerate,
                      degenerate == 1 ? "" : "s", minimumTriangleHeight);
        mesh.warnings.emplace_back(text);
    }
    if (madeNormals > 0) {
        mesh.warnings.push_back("made smooth normals for " + std::to_string(madeNormals) +
                                (madeNormals == 1 ? " vertex" : " vertices") + " that the file gives none for");
    }

    if (!soup.spawns.empty()) {
        const SceneSpawn& first = soup.spawns.front();
        const Vector3d spawn = sceneToLevel(first.position, scale);
        if (!isFinite(spawn) || !(std::abs(spawn.x) <= maximumCoordinate && std::abs(spawn.y) <= maximumCoordinate &&
                                  std::abs(spawn.z) <= maximumCoordinate)) {
            error = "the spawn node '" + printable(first.name) + "' is not at a finite point within " +
                    std::to_string(static_cast<long long>(maximumCoordinate)) + " units of the origin";
            mesh = {};
            return false;
        }
        mesh.spawn = spawn + Vector3d{0, 0, 0};
        if (soup.spawns.size() > 1) {
            mesh.warnings.push_back("the scene has " + std::to_string(soup.spawns.size()) +
                                    " spawn nodes; the first, '" + printable(first.name) + "', is used");
        }
    }
    return true;
}

}  // namespace vantrell
