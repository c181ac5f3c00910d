// Level file reader.
//
// The file is read in large blocks, not one stream call per field, yet every result and
// partial-level rule holds as if each field were read on its own: a record is appended only
// once all of its bytes were read, and an end of file anywhere ends the parse with result 3.
//
// Untrusted counts: nothing is allocated for records that the file cannot hold. Arrays grow
// only as records arrive (reserving at most what the remaining bytes can back), and a space's
// index list or the adjacency matrix is allocated only when the remaining bytes cover it all;
// otherwise the read would end in an end of file anyway, and it does so at once. Where the
// size is unknown (a pipe), lists grow in bounded steps as their bytes arrive instead.
#include "level/BSPLoader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "level/LevelGeometry.h"
#include "level/SpacePartition.h"

namespace vantrell {
namespace {

constexpr std::size_t blockSize = 1 << 16;
// Every row costs a few dozen bytes of memory beyond its own bytes (nothing at all in the file
// when rowBytes is 0), so a small file of many short rows could ask for far more memory than
// it holds. This many rows beyond the space count are accepted, more are treated as a
// corrupted file; a consistent file has exactly one row per space.
constexpr std::uint64_t spareRows = 4096;
// Growth step for lists read from a stream of unknown size.
constexpr std::size_t unknownSizeStep = 16384;

// Buffered little-endian reader over the loader's stream. Any short read, whether the file
// ended or the device failed, throws EndOfFileException.
class BlockReader {
public:
    BlockReader(std::istream& input, bool opened) : input(input), opened(opened) {
        if (!opened) return;
        input.seekg(0, std::ios::end);
        const std::streamoff end = input.tellg();
        input.seekg(0, std::ios::beg);
        // A pipe cannot seek: its size stays unknown.
        sizeKnown = static_cast<bool>(input) && end >= 0;
        fileSize = sizeKnown ? static_cast<std::uint64_t>(end) : 0;
        if (!input) input.clear(input.rdstate() & ~std::ios::failbit);
        // A small file needs no full block.
        buffer.resize(sizeKnown ? static_cast<std::size_t>(std::clamp<std::uint64_t>(fileSize, 1, blockSize))
                                : blockSize);
    }

    // Where the file ends: its size, or for a stream of unknown size the bytes it delivered.
    [[nodiscard]] std::uint64_t endOffset() const { return sizeKnown ? fileSize : consumed; }

    // False when the remaining bytes certainly do not hold count more bytes.
    [[nodiscard]] bool covers(std::uint64_t count) const { return !sizeKnown || count <= remaining(); }

    // How many of count records of recordSize bytes to allocate for ahead of reading them.
    [[nodiscard]] std::size_t backed(std::uint64_t count, std::size_t recordSize) const {
        return static_cast<std::size_t>(
            std::min<std::uint64_t>(count, sizeKnown ? remaining() / recordSize : unknownSizeStep));
    }

    void read(void* destination, std::size_t count) {
        auto* out = static_cast<unsigned char*>(destination);
        while (count > 0) {
            if (position == filled) refill();
            const std::size_t n = std::min(count, filled - position);
            std::memcpy(out, buffer.data() + position, n);
            position += n, out += n, count -= n, consumed += n;
        }
    }

    // Reads count values into the list, which holds them all (and nothing else) afterwards.
    template <typename T>
    void list(std::vector<T>& values, std::uint64_t count) {
        values.clear();
        while (values.size() < count) {
            const std::size_t done = values.size();
            values.resize(done + backed(count - done, sizeof(T)));
            if (values.size() == done) values.resize(done + 1);  // nothing left: the read below ends the parse
            if constexpr (sizeof(T) == 1 || std::endian::native == std::endian::little) {
                read(values.data() + done, (values.size() - done) * sizeof(T));
            } else {
                for (std::size_t i = done; i < values.size(); ++i) values[i] = static_cast<T>(u32());
            }
        }
    }

    std::uint8_t u8() {
        std::uint8_t v;
        read(&v, 1);
        return v;
    }
    std::uint32_t u32() {
        unsigned char b[4];
        read(b, 4);
        return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
               static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    float f32() {
        const std::uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    Vector3 vector3() {
        Vector3 v;
        v.x = f32(), v.y = f32(), v.z = f32();
        return v;
    }
    BoundingBox box() {
        BoundingBox b;
        b.minX = f32(), b.minY = f32(), b.minZ = f32();
        b.maxX = f32(), b.maxY = f32(), b.maxZ = f32();
        return b;
    }

private:
    void refill() {
        if (!opened || !input.good()) throw BSPLoader::EndOfFileException();
        input.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
        filled = static_cast<std::size_t>(input.gcount());
        position = 0;
        if (filled == 0) throw BSPLoader::EndOfFileException();
    }

    std::istream& input;
    bool opened;
    std::vector<unsigned char> buffer;
    std::size_t position = 0;
    std::size_t filled = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t consumed = 0;
    bool sizeKnown = false;

    [[nodiscard]] std::uint64_t remaining() const { return fileSize > consumed ? fileSize - consumed : 0; }
};

// Reserves room for the records of a section, but never more than the file can back.
template <typename T>
void reserveBacked(std::vector<T>& array, std::uint32_t count, const BlockReader& in, std::size_t recordSize) {
    array.reserve(array.size() + in.backed(count, recordSize));
}

}  // namespace

const char* parseResultMessage(ParseResult result) {
    switch (result) {
        case parseLoaded:
            return "BSP file successfully loaded!";
        case parseNotALevelFile:
            return "Not a BSP file!";
        case parseWrongVersion:
            return "Bad version of BSP!";
        case parseEndedEarly:
            return "Corrupted BSP file!";
    }
    return "";
}

BSPLoader::BSPLoader(LevelGeometry* levelGeometry, SpacePartition* spacePartition, const std::string& path)
    : levelGeometry(levelGeometry), spacePartition(spacePartition), input(&file) {
    // A directory opens as a stream on Linux, and only its reads fail; it is no more a
    // level file than a path that does not open at all.
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        found.openError = "is a directory";
        return;
    }
    errno = 0;
    file.open(path, std::ios::in | std::ios::binary);
    opened = file.is_open();
    if (!opened) found.openError = errno != 0 ? std::strerror(errno) : "cannot be opened";
}

BSPLoader::BSPLoader(LevelGeometry* levelGeometry, SpacePartition* spacePartition, std::istream& stream)
    : levelGeometry(levelGeometry), spacePartition(spacePartition), input(&stream), opened(true) {}

ParseResult BSPLoader::parse() {
    // A file that cannot be opened delivers no bytes and reports no end of file: its
    // (absent) magic does not match.
    if (!opened) return parseNotALevelFile;
    BlockReader in(*input, opened);
    LevelSection section = LevelSection::header;
    try {
        for (std::uint8_t& byte : found.magic) {
            byte = in.u8();
            ++found.magicBytes;
        }
        if (std::memcmp(found.magic.data(), levelMagic.data(), levelMagic.size()) != 0) return parseNotALevelFile;
        found.version = in.u8();
        if (found.version != levelVersion) return parseWrongVersion;

        LevelGeometry& g = *levelGeometry;
        SpacePartition& p = *spacePartition;

        section = LevelSection::vertexPositions;
        std::uint32_t count = in.u32();
        reserveBacked(g.vertices, count, in, 12);
        for (std::uint32_t i = 0; i < count; ++i) g.addVertex(in.vector3());

        section = LevelSection::vertexNormals;
        count = in.u32();
        reserveBacked(g.normals, count, in, 12);
        for (std::uint32_t i = 0; i < count; ++i) g.addNormal(in.vector3());

        section = LevelSection::planes;
        count = in.u32();
        reserveBacked(g.planes, count, in, 16);
        for (std::uint32_t i = 0; i < count; ++i) {
            Plane plane;
            plane.a = in.f32(), plane.b = in.f32(), plane.c = in.f32(), plane.d = in.f32();
            g.addPlane(plane);
        }

        section = LevelSection::triangles;
        count = in.u32();
        reserveBacked(g.triangles, count, in, 28);
        for (std::uint32_t i = 0; i < count; ++i) {
            Triangle t;
            for (std::int32_t& v : t.vertexIndex) v = in.i32();
            for (std::int32_t& n : t.normalIndex) n = in.i32();
            t.planeIndex = in.i32();
            g.addTriangle(t);
        }

        section = LevelSection::nodes;
        count = in.u32();
        reserveBacked(p.nodes, count, in, 36);
        for (std::uint32_t i = 0; i < count; ++i) {
            BspNode node;
            node.planeIndex = in.i32(), node.front = in.i32(), node.back = in.i32();
            node.bounds = in.box();
            p.addNode(node);
        }

        section = LevelSection::spaces;
        count = in.u32();
        reserveBacked(p.spaces, count, in, 28);
        for (std::uint32_t i = 0; i < count; ++i) {
            Space space;
            space.bounds = in.box();
            const std::uint32_t k = in.u32();
            if (!in.covers(std::uint64_t{k} * 4)) throw EndOfFileException();
            in.list(space.triangleIndices, k);
            p.addSpace(std::move(space));
        }

        section = LevelSection::adjacency;
        const std::uint32_t rows = in.u32();
        const std::uint32_t rowBytes = in.u32();
        if (!in.covers(std::uint64_t{rows} * rowBytes)) throw EndOfFileException();
        if (rows > p.spaces.size() + spareRows) {
            found.tooManyRows = true;
            throw EndOfFileException();
        }
        std::vector<std::uint8_t> bytes;
        in.list(bytes, std::uint64_t{rows} * rowBytes);
        p.setAdjacency(AdjacencyMatrix(rows, rowBytes, std::move(bytes)));
        return parseLoaded;
    } catch (const EndOfFileException&) {
        found.endOffset = in.endOffset();
        found.endSection = section;
        return parseEndedEarly;
    }
}

}  // namespace vantrell
