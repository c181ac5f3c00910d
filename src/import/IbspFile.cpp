#include "import/IbspFile.h"

#include <cmath>
#include <cstring>

namespace vantrell::ibsp {
namespace {

constexpr int lumpCount = 17;
constexpr std::size_t headerSize = 8 + lumpCount * 8;

enum LumpIndex {
    lumpEntities = 0,
    lumpShaders = 1,
    lumpPlanes = 2,
    lumpNodes = 3,
    lumpLeaves = 4,
    lumpLeafSurfaces = 5,
    lumpLeafBrushes = 6,
    lumpModels = 7,
    lumpBrushes = 8,
    lumpBrushSides = 9,
    lumpVertices = 10,
    lumpIndexes = 11,
    lumpFogs = 12,
    lumpSurfaces = 13,
};

constexpr const char* lumpNames[lumpCount] = {"entities",     "shaders",     "planes", "nodes",    "leafs",
                                              "leafsurfaces", "leafbrushes", "models", "brushes",  "brushsides",
                                              "drawverts",    "drawindexes", "fogs",   "surfaces", "lightmaps",
                                              "lightgrid",    "visibility"};

// Record sizes in bytes; 0 for lumps that are not arrays of fixed records.
constexpr std::size_t recordSizes[lumpCount] = {0, 72, 16, 36, 48, 4, 4, 40, 12, 8, 44, 4, 72, 104, 0, 0, 0};

// Coordinates beyond this (in file units) are refused: real levels stay within a few 10^4,
// and the limit keeps every later product of coordinates finite.
constexpr double coordinateLimit = 1.0e9;

constexpr std::uint64_t indexCheckBudget = 64u << 20;

std::int32_t readInt(const std::uint8_t* p) {
    const std::uint32_t u = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                            (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    std::int32_t v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

float readFloat(const std::uint8_t* p) {
    const std::int32_t bits = readInt(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::array<float, 3> readFloat3(const std::uint8_t* p) {
    return {readFloat(p), readFloat(p + 4), readFloat(p + 8)};
}
std::array<std::int32_t, 3> readInt3(const std::uint8_t* p) {
    return {readInt(p), readInt(p + 4), readInt(p + 8)};
}

bool finiteInRange(const std::array<float, 3>& v) {
    for (float c : v) {
        if (!std::isfinite(c) || std::fabs(static_cast<double>(c)) > coordinateLimit) return false;
    }
    return true;
}

struct Lump {
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    std::size_t count = 0;  // records, for record lumps
};

// A range [first, first + count) inside [0, size), computed without overflow. An empty range
// reads nothing, so where it starts does not matter.
bool rangeInside(std::int32_t first, std::int32_t count, std::size_t size) {
    if (count == 0) return true;
    if (first < 0 || count < 0) return false;
    return static_cast<std::uint64_t>(first) + static_cast<std::uint64_t>(count) <= size;
}

std::string record(const char* what, std::size_t i) {
    return std::string(what) + " " + std::to_string(i);
}

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size, File& file, std::string& error)
        : data(data), size(size), file(file), error(error) {}

    bool read() {
        return readHeader() && readEntities() && readShaders() && readPlanes() && readNodes() && readLeaves() &&
               readLeafSurfaces() && readModels() && readVertices() && readIndexes() && readSurfaces();
    }

private:
    bool fail(std::string message) {
        error = std::move(message);
        return false;
    }

    bool readHeader() {
        if (size < 4 || std::memcmp(data, "IBSP", 4) != 0)
            return fail("not an IBSP file (the magic \"IBSP\" is missing)");
        if (size < headerSize) return fail("the IBSP header is cut short (" + std::to_string(size) + " bytes)");
        const std::int32_t version = readInt(data + 4);
        if (version != 46) return fail("IBSP version " + std::to_string(version) + " is not supported (only 46)");
        for (int i = 0; i < lumpCount; ++i) {
            const std::int32_t offset = readInt(data + 8 + i * 8);
            const std::int32_t length = readInt(data + 12 + i * 8);
            const std::string name = std::string("the ") + lumpNames[i] + " lump";
            if (offset < 0 || length < 0) return fail(name + " has a negative offset or length");
            if (static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(length) > size) {
                return fail(name + " (offset " + std::to_string(offset) + ", length " + std::to_string(length) +
                            ") ends past the end of the file (" + std::to_string(size) + " bytes)");
            }
            if (recordSizes[i] != 0 && static_cast<std::size_t>(length) % recordSizes[i] != 0) {
                return fail(name + " is " + std::to_string(length) + " bytes long, not a multiple of its record size " +
                            std::to_string(recordSizes[i]));
            }
            lumps[i].data = data + offset;
            lumps[i].length = static_cast<std::size_t>(length);
            lumps[i].count = recordSizes[i] != 0 ? lumps[i].length / recordSizes[i] : 0;
        }
        return true;
    }

    bool readEntities() {
        const Lump& l = lumps[lumpEntities];
        const void* end = std::memchr(l.data, 0, l.length);
        const std::size_t n =
            end != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - l.data) : l.length;
        file.entities.assign(reinterpret_cast<const char*>(l.data), n);
        return true;
    }

    bool readShaders() {
        const Lump& l = lumps[lumpShaders];
        file.shaders.resize(l.count);
        for (std::size_t i = 0; i < l.count; ++i) {
            const std::uint8_t* p = l.data + i * 72;
            file.shaders[i].surfaceFlags = readInt(p + 64);
            file.shaders[i].contentFlags = readInt(p + 68);
        }
        return true;
    }

    bool readPlanes() {
        const Lump& l = lumps[lumpPlanes];
        file.planes.resize(l.count);
        for (std::size_t i = 0; i < l.count; ++i) {
            const std::uint8_t* p = l.data + i * 16;
            Plane& plane = file.planes[i];
            plane.normal = readFloat3(p);
            plane.dist = readFloat(p + 12);
            if (!finiteInRange(plane.normal) || !finiteInRange({plane.dist, 0.0f, 0.0f})) {
                return fail(record("plane", i) + " has a value that is not a finite number in range");
            }
        }
        return true;
    }

    bool readNodes() {
        const Lump& l = lumps[lumpNodes];
        if (l.count == 0) return fail("the file has no nodes (the world tree is missing)");
        const std::size_t leafCount = lumps[lumpLeaves].count;
        file.nodes.resize(l.count);
        for (std::size_t i = 0; i < l.count; ++i) {
            const std::uint8_t* p = l.data + i * 36;
            Node& node = file.nodes[i];
            node.plane = readInt(p);
            node.children = {readInt(p + 4), readInt(p + 8)};
            node.mins = readInt3(p + 12);
            node.maxs = readInt3(p + 24);
            if (node.plane < 0 || static_cast<std::size_t>(node.plane) >= file.planes.size()) {
                return fail(record("node", i) + " splits at plane " + std::to_string(node.plane) +
                            ", but the file has " + std::to_string(file.planes.size()) + " planes");
            }
            for (std::int32_t c : node.children) {
                if (c >= 0 && static_cast<std::size_t>(c) >= l.count) {
                    return fail(record("node", i) + " names child node " + std::to_string(c) + ", but the file has " +
                                std::to_string(l.count) + " nodes");
                }
                if (c < 0 && static_cast<std::size_t>(~c) >= leafCount) {
                    return fail(record("node", i) + " names leaf " + std::to_string(~c) + ", but the file has " +
                                std::to_string(leafCount) + " leafs");
                }
            }
        }
        return true;
    }

    bool readLeaves() {
        const Lump& l = lumps[lumpLeaves];
        const std::size_t leafSurfaceCount = lumps[lumpLeafSurfaces].count;
        file.leaves.resize(l.count);
        for (std::size_t i = 0; i < l.count; ++i) {
            const std::uint8_t* p = l.data + i * 48;
            Leaf& leaf = file.leaves[i];
            leaf.cluster = readInt(p);
            leaf.mins = readInt3(p + 8);
            leaf.maxs = readInt3(p + 20);
            leaf.firstLeafSurface = readInt(p + 32);
            leaf.numLeafSurfaces = readInt(p + 36);
            if (!rangeInside(leaf.firstLeafSurface, leaf.numLeafSurfaces, leafSurfaceCount)) {
                return fail(record("leaf", i) + " lists leafsurfaces " + std::to_string(leaf.firstLeafSurface) + " (" +
                            std::to_string(leaf.numLeafSurfaces) + " of them) outside the " +
                            std::to_string(leafSurfaceCount) + " the file has");
            }
        }
        return true;
    }

    bool readLeafSurfaces() {
        const Lump& l = lumps[lumpLeafSurfaces];
        const std::size_t surfaceCount = lumps[lumpSurfaces].count;
        file.leafSurfaces.resize(l.count);
        for (std::size_t i = 0; i < l.count; ++i) {
            const std::int32_t s = readInt(l.data + i * 4);
            if (s < 0 || static_cast<std::size_t>(s) >= surfaceCount) {
                return fail(record("leafsurface", i) + " names surface " + std::to_string(s) + ", but the file has " +
                            std::to_string(surfaceCount) + " surfaces");
            }
            file.leafSurfaces[i] = s;
        }
        return true;
    }

    bool readModels() {
        const Lump& l = lumps[lumpModels];
        if (l.count == 0) return fail("the file has no models (model 0, the world, is missing)");
        const std::size_t surfaceCount = lumps[lumpSurfaces].count;
        file.models.resize(l.count);
        for (std::size_t i = 0; i < l.count; ++i) {
            const std::uint8_t* p = l.data + i * 40;
            Model& model = file.models[i];
            model.mins = readFloat3(p);
            model.maxs = readFloat3(p + 12);
            model.firstSurface = readInt(p + 24);
            model.numSurfaces = readInt(p + 28);
            if (!rangeInside(model.firstSurface, model.numSurfaces, surfaceCount)) {
                return fail(record("model", i) + " names surfaces outside the " + std::to_string(surfaceCount) +
                            " the file has");
            }
        }
        return true;
    }

    bool readVertices() {
        const Lump& l = lumps[lumpVertices];
        file.vertices.resize(l.count);
        for (std::size_t i = 0; i < l.count; ++i) {
            const std::uint8_t* p = l.data + i * 44;
            DrawVertex& v = file.vertices[i];
            v.position = readFloat3(p);
            v.normal = readFloat3(p + 28);
            if (!finiteInRange(v.position)) {
                return fail(record("drawvert", i) + " has a coordinate that is not a finite number in range");
            }
            // A broken normal is not fatal: the importer falls back to the face normal.
            if (!finiteInRange(v.normal)) v.normal = {0.0f, 0.0f, 0.0f};
        }
        return true;
    }

    bool readIndexes() {
        const Lump& l = lumps[lumpIndexes];
        file.indexes.resize(l.count);
        for (std::size_t i = 0; i < l.count; ++i) file.indexes[i] = readInt(l.data + i * 4);
        return true;
    }

    bool readSurfaces() {
        const Lump& l = lumps[lumpSurfaces];
        file.surfaces.resize(l.count);
        for (std::size_t i = 0; i < l.count; ++i) {
            const std::uint8_t* p = l.data + i * 104;
            Surface& s = file.surfaces[i];
            s.shader = readInt(p);
            s.type = readInt(p + 8);
            s.firstVertex = readInt(p + 12);
            s.numVertices = readInt(p + 16);
            s.firstIndex = readInt(p + 20);
            s.numIndexes = readInt(p + 24);
            s.planeNormal = readFloat3(p + 84);  // lightmapVecs[2]
            s.patchWidth = readInt(p + 96);
            s.patchHeight = readInt(p + 100);
            if (!finiteInRange(s.planeNormal)) s.planeNormal = {0.0f, 0.0f, 0.0f};
            if (!checkSurface(i, s)) return false;
        }
        return true;
    }

    bool checkSurface(std::size_t i, const Surface& s) {
        const std::string name = record("surface", i);
        if (s.shader < 0 || static_cast<std::size_t>(s.shader) >= file.shaders.size()) {
            return fail(name + " uses shader " + std::to_string(s.shader) + ", but the file has " +
                        std::to_string(file.shaders.size()) + " shaders");
        }
        if (s.type != surfacePlanar && s.type != surfacePatch && s.type != surfaceTriangleSoup) return true;
        if (!rangeInside(s.firstVertex, s.numVertices, file.vertices.size())) {
            return fail(name + " uses drawverts " + std::to_string(s.firstVertex) + " (" +
                        std::to_string(s.numVertices) + " of them) outside the " +
                        std::to_string(file.vertices.size()) + " the file has");
        }
        if (s.type == surfacePatch) {
            const std::int32_t w = s.patchWidth;
            const std::int32_t h = s.patchHeight;
            if (w < 3 || h < 3 || w % 2 == 0 || h % 2 == 0) {
                return fail(name + " is a patch of " + std::to_string(w) + " x " + std::to_string(h) +
                            " control points; both must be odd and at least 3");
            }
            if (static_cast<std::int64_t>(w) * h > s.numVertices) {
                return fail(name + " is a patch of " + std::to_string(w) + " x " + std::to_string(h) +
                            " control points but has only " + std::to_string(s.numVertices) + " drawverts");
            }
            return true;
        }
        if (!rangeInside(s.firstIndex, s.numIndexes, file.indexes.size())) {
            return fail(name + " uses drawindexes " + std::to_string(s.firstIndex) + " (" +
                        std::to_string(s.numIndexes) + " of them) outside the " + std::to_string(file.indexes.size()) +
                        " the file has");
        }
        if (s.numIndexes % 3 != 0) {
            return fail(name + " has " + std::to_string(s.numIndexes) + " drawindexes, not a multiple of 3");
        }
        // Surfaces of real files use disjoint index ranges; a file whose surfaces reuse one
        // range over and over would make this check quadratic.
        checkedIndexes += static_cast<std::uint64_t>(s.numIndexes);
        if (checkedIndexes > indexCheckBudget) {
            return fail("the surfaces together use more than " + std::to_string(indexCheckBudget) + " drawindexes");
        }
        for (std::int32_t k = 0; k < s.numIndexes; ++k) {
            const std::int32_t index = file.indexes[static_cast<std::size_t>(s.firstIndex + k)];
            if (index < 0 || index >= s.numVertices) {
                return fail(name + " has drawindex " + std::to_string(index) + ", outside its " +
                            std::to_string(s.numVertices) + " drawverts");
            }
        }
        return true;
    }

    const std::uint8_t* data;
    std::size_t size;
    File& file;
    std::string& error;
    Lump lumps[lumpCount];
    std::uint64_t checkedIndexes = 0;
};

}  // namespace

bool readFile(const std::uint8_t* data, std::size_t size, File& file, std::string& error) {
    file = File{};
    if (data == nullptr) size = 0;
    static const std::uint8_t empty = 0;
    return Reader(data != nullptr ? data : &empty, size, file, error).read();
}

}  // namespace vantrell::ibsp
