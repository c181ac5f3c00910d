// Level data: the file loader's results and partial levels, the model's queries, validation,
// and the writer's round trip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "allocation_counter.h"
#include "level/LevelFile.h"
#include "level/LevelValidation.h"
#include "level/TreeCheck.h"
#include "level_bytes.h"

namespace vantrell {
namespace {

namespace fs = std::filesystem;

// Byte offsets at which each record of the one-triangle level is complete, in file order.
struct RecordEnds {
    std::vector<std::size_t> vertices{20, 32, 44};
    std::vector<std::size_t> normals{60};
    std::vector<std::size_t> planes{80};
    std::vector<std::size_t> triangles{112};
    std::vector<std::size_t> nodes{152};
    std::vector<std::size_t> spaces{188, 216};
};

std::size_t completeBy(const std::vector<std::size_t>& ends, std::size_t length) {
    std::size_t n = 0;
    for (const std::size_t end : ends) n += end <= length ? 1 : 0;
    return n;
}

bool sameBox(const BoundingBox& a, const BoundingBox& b) {
    return a.minX == b.minX && a.minY == b.minY && a.minZ == b.minZ && a.maxX == b.maxX && a.maxY == b.maxY &&
           a.maxZ == b.maxZ;
}

// Each test gets its own directory under the system's temporary directory.
class LevelFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("vantrell-level-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& bytes, const std::string& name = "level.bsp") {
        const fs::path path = dir / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    // Parses bytes from memory into fresh containers.
    ParseResult parse(const std::string& bytes) {
        geometry = LevelGeometry{};
        partition = SpacePartition{};
        std::istringstream stream(bytes);
        BSPLoader loader(&geometry, &partition, stream);
        return loader.parse();
    }

    fs::path dir;
    LevelGeometry geometry;
    SpacePartition partition;
};

// ---- loader: results and contents

TEST_F(LevelFileTest, OneTriangleLevelLoadsEveryRecord) {
    const std::string bytes = oneTriangleLevel();
    ASSERT_EQ(bytes.size(), 226u);
    ASSERT_EQ(parse(bytes), parseLoaded);

    ASSERT_EQ(geometry.vertices.size(), 3u);
    EXPECT_EQ(geometry.vertex(1).x, 1.0f);
    EXPECT_EQ(geometry.vertex(2).z, 1.0f);
    ASSERT_EQ(geometry.normals.size(), 1u);
    EXPECT_EQ(geometry.normal(0).y, 1.0f);
    ASSERT_EQ(geometry.planes.size(), 1u);
    EXPECT_EQ(geometry.plane(0).b, 1.0f);
    EXPECT_EQ(geometry.plane(0).d, 0.0f);
    ASSERT_EQ(geometry.triangleCount(), 1);
    const Triangle& t = geometry.triangle(0);
    EXPECT_EQ(t.vertexIndex, (std::array<std::int32_t, 3>{0, 1, 2}));
    EXPECT_EQ(t.normalIndex, (std::array<std::int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(t.planeIndex, 0);

    ASSERT_EQ(partition.nodes.size(), 1u);
    const BspNode& node = partition.node(0);
    EXPECT_EQ(node.planeIndex, 0);
    EXPECT_EQ(node.front, -1);
    EXPECT_EQ(node.back, -2);
    EXPECT_TRUE(sameBox(node.bounds, BoundingBox{0, -1, 0, 1, 1, 1}));

    ASSERT_EQ(partition.spaceCount(), 2);
    EXPECT_TRUE(sameBox(partition.space(0).bounds, BoundingBox{0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(partition.space(0).triangleIndices, std::vector<std::int32_t>{0});
    EXPECT_TRUE(sameBox(partition.space(1).bounds, BoundingBox{0, -1, 0, 1, 0, 1}));
    EXPECT_TRUE(partition.space(1).triangleIndices.empty());
    EXPECT_EQ(partition.adjacency, (AdjacencyMatrix{{0x02}, {0x01}}));

    std::vector<std::int32_t> list;
    partition.neighbours(0, list);
    partition.neighbours(1, list);
    EXPECT_EQ(list, (std::vector<std::int32_t>{1, 0}));
    EXPECT_TRUE(validateLevel(geometry, partition).empty());
}

// Bytes in memory and the same bytes in a file give the same result, details and records.
TEST_F(LevelFileTest, MemoryAndFileLoadsAgreeOnEveryPrefix) {
    const std::string full = oneTriangleLevel();
    for (std::size_t length = 0; length <= full.size(); ++length) {
        SCOPED_TRACE("prefix of " + std::to_string(length) + " bytes");
        const std::string bytes = full.substr(0, length);
        const LoadedLevel fromFile = loadLevelFile(write(bytes));
        const LoadedLevel fromMemory = loadLevelBytes(bytes);
        ASSERT_EQ(fromMemory.result, fromFile.result);
        EXPECT_EQ(fromMemory.details.endOffset, fromFile.details.endOffset);
        EXPECT_EQ(fromMemory.details.endSection, fromFile.details.endSection);
        EXPECT_EQ(fromMemory.details.version, fromFile.details.version);
        EXPECT_EQ(fromMemory.geometry.triangleCount(), fromFile.geometry.triangleCount());
        EXPECT_EQ(fromMemory.partition.spaceCount(), fromFile.partition.spaceCount());
        EXPECT_EQ(fromMemory.problems, fromFile.problems);
    }
    EXPECT_TRUE(loadLevelBytes(full).valid());
}

// Records are kept only whole, spaces only with all their indices, the adjacency only complete.
TEST_F(LevelFileTest, EveryTruncationEndsEarlyAndKeepsWholeRecords) {
    const std::string full = oneTriangleLevel();
    LevelGeometry all;
    SpacePartition allPartition;
    {
        BSPLoader loader(&all, &allPartition, write(full, "full.bsp"));
        ASSERT_EQ(loader.parse(), parseLoaded);
    }
    const RecordEnds ends;
    for (std::size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE("prefix of " + std::to_string(length) + " bytes");
        ASSERT_EQ(parse(full.substr(0, length)), parseEndedEarly);
        ASSERT_EQ(geometry.vertices.size(), completeBy(ends.vertices, length));
        ASSERT_EQ(geometry.normals.size(), completeBy(ends.normals, length));
        ASSERT_EQ(geometry.planes.size(), completeBy(ends.planes, length));
        ASSERT_EQ(geometry.triangles.size(), completeBy(ends.triangles, length));
        ASSERT_EQ(partition.nodes.size(), completeBy(ends.nodes, length));
        ASSERT_EQ(partition.spaces.size(), completeBy(ends.spaces, length));
        EXPECT_TRUE(partition.adjacency.empty());
        // What was kept is what the whole file holds, in file order.
        for (std::size_t i = 0; i < geometry.vertices.size(); ++i) EXPECT_EQ(geometry.vertices[i].x, all.vertices[i].x);
        for (std::size_t s = 0; s < partition.spaces.size(); ++s)
            EXPECT_EQ(partition.spaces[s].triangleIndices, allPartition.spaces[s].triangleIndices);
    }
}

TEST_F(LevelFileTest, NamedTruncationsKeepTheListedParts) {
    const std::string full = oneTriangleLevel();
    ASSERT_EQ(parse(full.substr(0, 152)), parseEndedEarly);  // just before the space count
    EXPECT_EQ(geometry.vertices.size(), 3u);
    EXPECT_EQ(geometry.triangles.size(), 1u);
    EXPECT_EQ(partition.nodes.size(), 1u);
    EXPECT_EQ(partition.spaces.size(), 0u);

    ASSERT_EQ(parse(full.substr(0, 185)), parseEndedEarly);  // inside space 0's index
    EXPECT_EQ(partition.nodes.size(), 1u);
    EXPECT_EQ(partition.spaces.size(), 0u);

    ASSERT_EQ(parse(full.substr(0, 188)), parseEndedEarly);  // space 0 complete
    ASSERT_EQ(partition.spaces.size(), 1u);
    EXPECT_EQ(partition.space(0).triangleIndices, std::vector<std::int32_t>{0});

    ASSERT_EQ(parse(full.substr(0, 225)), parseEndedEarly);  // one adjacency byte short
    EXPECT_EQ(partition.spaces.size(), 2u);
    EXPECT_TRUE(partition.adjacency.empty());
}

TEST_F(LevelFileTest, MagicAndVersionDecideFirst) {
    struct Case {
        std::string bytes;
        ParseResult expected;
    };
    const std::vector<Case> cases{
        {"", parseEndedEarly},
        {"B", parseEndedEarly},
        {"BS", parseEndedEarly},
        {"BSP", parseEndedEarly},
        {"bsp", parseNotALevelFile},
        {"bsp\x05", parseNotALevelFile},
        {"XBSP", parseNotALevelFile},
        {std::string("BSP\x04", 4), parseWrongVersion},
        {std::string("BSP\x06", 4), parseWrongVersion},
        {std::string("BSP\x00", 4), parseWrongVersion},
        {std::string("BSP\x05", 4), parseEndedEarly},
        {std::string("BSP\x05\x00\x00", 6), parseEndedEarly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("file of " + std::to_string(c.bytes.size()) + " bytes");
        EXPECT_EQ(parse(c.bytes), c.expected);
        EXPECT_TRUE(geometry.vertices.empty());
    }
    // A wrong version with a whole level behind it still adds nothing.
    std::string other = oneTriangleLevel();
    other[3] = 6;
    EXPECT_EQ(parse(other), parseWrongVersion);
    EXPECT_TRUE(geometry.vertices.empty());
    EXPECT_TRUE(partition.nodes.empty());
}

// What the loader found, for messages: the first bytes, the version, where the file ended.
TEST_F(LevelFileTest, DetailsSayWhatWasFound) {
    auto detailsOf = [&](const std::string& bytes) {
        geometry = LevelGeometry{};
        partition = SpacePartition{};
        BSPLoader loader(&geometry, &partition, write(bytes));
        const ParseResult result = loader.parse();
        return std::make_pair(result, loader.details());
    };
    auto [result, found] = detailsOf("PK\x03\x04");
    EXPECT_EQ(result, parseNotALevelFile);
    EXPECT_EQ(found.magicBytes, 3u);
    EXPECT_EQ(found.magic, (std::array<std::uint8_t, 3>{'P', 'K', 3}));
    EXPECT_EQ(found.version, -1);
    EXPECT_TRUE(found.openError.empty());

    std::tie(result, found) = detailsOf("BS");
    EXPECT_EQ(result, parseEndedEarly);
    EXPECT_EQ(found.magicBytes, 2u);
    EXPECT_EQ(found.endOffset, 2u);
    EXPECT_EQ(found.endSection, LevelSection::header);

    std::tie(result, found) = detailsOf(std::string("BSP\xFF", 4));
    EXPECT_EQ(result, parseWrongVersion);
    EXPECT_EQ(found.version, 255);

    // Each cut names the section it falls in and the file's length.
    const std::string full = oneTriangleLevel();
    const std::vector<std::pair<std::size_t, LevelSection>> cuts{
        {3, LevelSection::header},         {4, LevelSection::vertexPositions}, {43, LevelSection::vertexPositions},
        {44, LevelSection::vertexNormals}, {70, LevelSection::planes},         {100, LevelSection::triangles},
        {151, LevelSection::nodes},        {185, LevelSection::spaces},        {225, LevelSection::adjacency},
    };
    for (const auto& [length, section] : cuts) {
        SCOPED_TRACE("cut to " + std::to_string(length));
        std::tie(result, found) = detailsOf(full.substr(0, length));
        EXPECT_EQ(result, parseEndedEarly);
        EXPECT_EQ(found.endOffset, length);
        EXPECT_EQ(found.endSection, section);
        EXPECT_FALSE(found.tooManyRows);
    }
    // An index count that the rest of the file cannot hold ends the parse before reading on;
    // the end reported is still the file's own.
    std::string promising = full;
    promising[180] = '\xFF';
    std::tie(result, found) = detailsOf(promising);
    EXPECT_EQ(result, parseEndedEarly);
    EXPECT_EQ(found.endOffset, full.size());
    EXPECT_EQ(found.endSection, LevelSection::spaces);

    std::tie(result, found) = detailsOf(full);
    EXPECT_EQ(result, parseLoaded);
    EXPECT_EQ(found.version, 5);
}

TEST_F(LevelFileTest, SmallestFileLoadsAnEmptyLevel) {
    Bytes b;
    b.header();
    for (int i = 0; i < 8; ++i) b.u32(0);
    ASSERT_EQ(b.data.size(), 36u);
    ASSERT_EQ(parse(b.data), parseLoaded);
    EXPECT_TRUE(geometry.vertices.empty() && geometry.normals.empty() && geometry.planes.empty() &&
                geometry.triangles.empty());
    EXPECT_TRUE(partition.nodes.empty() && partition.spaces.empty() && partition.adjacency.empty());
    EXPECT_EQ(partition.spaceCount(), 0);
    // Loaded, but not a level anything can walk.
    EXPECT_FALSE(validateLevel(geometry, partition).empty());
}

TEST_F(LevelFileTest, RowsWithoutBytesGiveEmptyRows) {
    auto withRows = [](std::uint32_t rows) {
        Bytes b;
        b.header();
        for (int i = 0; i < 6; ++i) b.u32(0);
        return b.u32(rows).u32(0).data;
    };
    ASSERT_EQ(parse(withRows(3)), parseLoaded);
    ASSERT_EQ(partition.adjacency.rowCount(), 3u);
    EXPECT_EQ(partition.adjacency.rowBytes(), 0u);
    std::vector<std::int32_t> list;
    partition.neighbours(2, list);
    EXPECT_TRUE(list.empty());

    // Rows that no file byte backs: up to 4096 beyond the spaces are accepted, more are not.
    EXPECT_EQ(parse(withRows(4096)), parseLoaded);
    EXPECT_EQ(partition.adjacency.rowCount(), 4096u);
    EXPECT_EQ(parse(withRows(4097)), parseEndedEarly);
    EXPECT_TRUE(partition.adjacency.empty());
    testing::resetLargestAllocation();
    EXPECT_EQ(parse(withRows(0xFFFFFFFFu)), parseEndedEarly);
    EXPECT_LT(testing::largestAllocation(), std::size_t{1} << 20);
}

// Each row costs memory beyond its bytes; rows far beyond the spaces are refused even when
// the file holds their bytes.
TEST_F(LevelFileTest, RowsFarBeyondTheSpacesAreRefused) {
    auto withRows = [](std::uint32_t rows) {
        Bytes b;
        b.header();
        for (int i = 0; i < 5; ++i) b.u32(0);
        b.u32(2).floats({0, 0, 0, 1, 1, 1}).u32(0).floats({0, 0, 0, 1, 1, 1}).u32(0);
        b.u32(rows).u32(1);
        b.data.append(rows, '\x01');
        return b.data;
    };
    ASSERT_EQ(parse(withRows(4098)), parseLoaded);
    EXPECT_EQ(partition.adjacency.rowCount(), 4098u);
    EXPECT_TRUE(partition.adjacency.test(4097, 0) && partition.adjacency.rowBytes() == 1);
    EXPECT_EQ(parse(withRows(4099)), parseEndedEarly);
    EXPECT_TRUE(partition.adjacency.empty());
    EXPECT_EQ(partition.spaces.size(), 2u);
    const LoadedLevel refused = loadLevelFile(write(withRows(4099)));
    EXPECT_TRUE(refused.details.tooManyRows);
    EXPECT_EQ(refused.details.endSection, LevelSection::adjacency);
}

// A pipe has no size to check counts against: lists grow as their bytes arrive.
TEST_F(LevelFileTest, PipesLoadLikeFiles) {
    const fs::path fifo = dir / "pipe.bsp";
    auto parsePipe = [&](const std::string& bytes) {
        EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] {
            std::ofstream out(fifo, std::ios::binary);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        });
        geometry = LevelGeometry{};
        partition = SpacePartition{};
        ParseResult result;
        {
            BSPLoader loader(&geometry, &partition, fifo.string());
            result = loader.parse();
        }
        writer.join();
        fs::remove(fifo);
        return result;
    };
    const std::string full = oneTriangleLevel();
    ASSERT_EQ(parsePipe(full), parseLoaded);
    EXPECT_EQ(partition.space(0).triangleIndices, std::vector<std::int32_t>{0});
    EXPECT_EQ(partition.adjacency, (AdjacencyMatrix{{0x02}, {0x01}}));

    ASSERT_EQ(parsePipe(full.substr(0, 200)), parseEndedEarly);
    EXPECT_EQ(partition.spaces.size(), 1u);

    // Many indices, more than one growth step, arrive whole.
    Bytes many;
    many.header();
    for (int i = 0; i < 5; ++i) many.u32(0);
    many.u32(1).floats({0, 0, 0, 1, 1, 1}).u32(40000);
    for (std::int32_t i = 0; i < 40000; ++i) many.i32(i);
    many.u32(1).u32(3).u8(1).u8(2).u8(3);
    ASSERT_EQ(parsePipe(many.data), parseLoaded);
    ASSERT_EQ(partition.space(0).triangleIndices.size(), 40000u);
    EXPECT_EQ(partition.space(0).triangleIndices[39999], 39999);
    EXPECT_EQ(partition.adjacency, (AdjacencyMatrix{{1, 2, 3}}));

    Bytes hostile;
    hostile.header();
    for (int i = 0; i < 5; ++i) hostile.u32(0);
    hostile.u32(1).floats({0, 0, 0, 1, 1, 1}).u32(0xFFFFFFFFu).i32(0);
    testing::resetLargestAllocation();
    EXPECT_EQ(parsePipe(hostile.data), parseEndedEarly);
    EXPECT_LT(testing::largestAllocation(), std::size_t{1} << 20);
    EXPECT_TRUE(partition.spaces.empty());
}

TEST_F(LevelFileTest, TrailingBytesAreIgnored) {
    const std::string bytes = oneTriangleLevel() + std::string(1000, '\xAB');
    ASSERT_EQ(parse(bytes), parseLoaded);
    EXPECT_EQ(partition.adjacency, (AdjacencyMatrix{{0x02}, {0x01}}));
}

TEST_F(LevelFileTest, SpaceWithoutTrianglesHasAnEmptyList) {
    Bytes b;
    b.header();
    for (int i = 0; i < 5; ++i) b.u32(0);
    b.u32(1).floats({1, 2, 3, 4, 5, 6}).u32(0).u32(0).u32(0);
    ASSERT_EQ(parse(b.data), parseLoaded);
    ASSERT_EQ(partition.spaceCount(), 1);
    EXPECT_TRUE(partition.space(0).triangleIndices.empty());
    EXPECT_EQ(partition.space(0).bounds.maxZ, 6.0f);
}

// Each of sections 1 to 6 promising more records than the file holds: the records present
// are kept, then the parse ends early.
TEST_F(LevelFileTest, SectionCountBeyondTheRecordsPresent) {
    const std::size_t recordSizes[6] = {12, 12, 16, 28, 36, 28};
    for (int section = 0; section < 6; ++section) {
        SCOPED_TRACE("section " + std::to_string(section + 1));
        Bytes b;
        b.header();
        for (int i = 0; i < section; ++i) b.u32(0);
        b.u32(5);
        // Two whole records of zero bytes (a space with k = 0), then half of a third.
        b.data.append(2 * recordSizes[section] + recordSizes[section] / 2, '\0');
        ASSERT_EQ(parse(b.data), parseEndedEarly);
        const std::size_t counts[6] = {geometry.vertices.size(),  geometry.normals.size(), geometry.planes.size(),
                                       geometry.triangles.size(), partition.nodes.size(),  partition.spaces.size()};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(counts[i], i == section ? 2u : 0u);
    }
}

TEST_F(LevelFileTest, SpaceWithTooFewIndicesIsNotAppended) {
    Bytes b;
    b.header();
    for (int i = 0; i < 5; ++i) b.u32(0);
    b.u32(2).floats({0, 0, 0, 1, 1, 1}).u32(2).i32(7).i32(8);
    b.floats({0, 0, 0, 1, 1, 1}).u32(3).i32(1).i32(2);
    ASSERT_EQ(parse(b.data), parseEndedEarly);
    ASSERT_EQ(partition.spaces.size(), 1u);
    EXPECT_EQ(partition.space(0).triangleIndices, (std::vector<std::int32_t>{7, 8}));
}

// Counts that promise gigabytes in a file of a few bytes end the parse at once, without
// allocating for them.
TEST_F(LevelFileTest, HostileCountsAllocateNothingTheyPromise) {
    Bytes vertexCount;
    vertexCount.header().u32(0xFFFFFFFFu).data.append(32, '\0');
    ASSERT_EQ(vertexCount.data.size(), 40u);

    Bytes indexCount;
    indexCount.header();
    for (int i = 0; i < 5; ++i) indexCount.u32(0);
    indexCount.u32(1).floats({0, 0, 0, 1, 1, 1}).u32(0xFFFFFFFFu).i32(0);

    Bytes spaceCount;
    spaceCount.header();
    for (int i = 0; i < 5; ++i) spaceCount.u32(0);
    spaceCount.u32(0xFFFFFFFFu).floats({0, 0, 0, 1, 1, 1});

    Bytes matrix;
    matrix.header();
    for (int i = 0; i < 6; ++i) matrix.u32(0);
    matrix.u32(0xFFFFFFFFu).u32(0xFFFFFFFFu).u8(1);

    Bytes wideRows;
    wideRows.header();
    for (int i = 0; i < 6; ++i) wideRows.u32(0);
    wideRows.u32(2).u32(0x80000000u).u8(1);

    for (const std::string& bytes : {vertexCount.data, indexCount.data, spaceCount.data, matrix.data, wideRows.data}) {
        SCOPED_TRACE("file of " + std::to_string(bytes.size()) + " bytes");
        const std::string path = write(bytes);
        LevelGeometry g;
        SpacePartition p;
        testing::resetLargestAllocation();
        {
            BSPLoader loader(&g, &p, path);
            EXPECT_EQ(loader.parse(), parseEndedEarly);
        }
        // The loader's own read buffer is the largest thing it may need.
        EXPECT_LT(testing::largestAllocation(), std::size_t{1} << 20);
        EXPECT_TRUE(p.adjacency.empty());
    }
}

TEST_F(LevelFileTest, LoaderAppendsToWhatTheContainersHold) {
    geometry = LevelGeometry{};
    partition = SpacePartition{};
    geometry.addVertex({9, 9, 9});
    Space earlier;
    earlier.triangleIndices = {5};
    partition.addSpace(earlier);
    partition.setAdjacency({{0xFF, 0xFF}});

    const std::string full = oneTriangleLevel();
    {
        BSPLoader loader(&geometry, &partition, write(full.substr(0, 200)));
        ASSERT_EQ(loader.parse(), parseEndedEarly);
    }
    EXPECT_EQ(geometry.vertices.size(), 4u);
    EXPECT_EQ(geometry.vertex(0).x, 9.0f);
    EXPECT_EQ(partition.spaces.size(), 2u);
    EXPECT_EQ(partition.adjacency, (AdjacencyMatrix{{0xFF, 0xFF}}));  // untouched by an incomplete file
    {
        BSPLoader loader(&geometry, &partition, write(full));
        ASSERT_EQ(loader.parse(), parseLoaded);
    }
    EXPECT_EQ(geometry.vertices.size(), 7u);
    EXPECT_EQ(geometry.vertex(4).x, 0.0f);
    EXPECT_EQ(geometry.vertex(5).x, 1.0f);
    EXPECT_EQ(partition.spaces.size(), 4u);
    EXPECT_EQ(partition.space(0).triangleIndices, std::vector<std::int32_t>{5});
    EXPECT_EQ(partition.adjacency, (AdjacencyMatrix{{0x02}, {0x01}}));  // replaced as a whole

    // loadLevelFile starts from empty containers every time.
    const LoadedLevel level = loadLevelFile(write(full));
    EXPECT_EQ(level.geometry.vertices.size(), 3u);
    EXPECT_EQ(level.partition.spaces.size(), 2u);
    EXPECT_TRUE(level.valid());
}

TEST_F(LevelFileTest, UnopenablePathsAreNotLevelFiles) {
    for (const fs::path& path : {dir / "missing.bsp", dir}) {
        SCOPED_TRACE(path.string());
        LevelGeometry g;
        SpacePartition p;
        g.addVertex({1, 2, 3});
        p.setAdjacency({{1}});
        BSPLoader loader(&g, &p, path.string());
        EXPECT_EQ(loader.parse(), parseNotALevelFile);
        EXPECT_FALSE(loader.details().openError.empty());
        EXPECT_EQ(loader.details().magicBytes, 0u);
        EXPECT_EQ(g.vertices.size(), 1u);
        EXPECT_EQ(p.adjacency, (AdjacencyMatrix{{1}}));
    }
    const LoadedLevel missing = loadLevelFile((dir / "missing.bsp").string());
    EXPECT_EQ(missing.result, parseNotALevelFile);
    EXPECT_EQ(missing.openError, std::strerror(ENOENT));
    EXPECT_FALSE(missing.valid());

    const LoadedLevel directory = loadLevelFile(dir.string());
    EXPECT_EQ(directory.result, parseNotALevelFile);
    EXPECT_EQ(directory.openError, "is a directory");
    EXPECT_TRUE(directory.geometry.vertices.empty());

    // A file that opens but is not a level has no open error.
    const LoadedLevel text = loadLevelFile(write("hello"));
    EXPECT_EQ(text.result, parseNotALevelFile);
    EXPECT_TRUE(text.openError.empty());
}

TEST(LevelWriter, RoundTripGivesTheSameBytes) {
    const std::string bytes = oneTriangleLevel();
    const fs::path path = fs::temp_directory_path() / ("vantrell-roundtrip-" + std::to_string(::getpid()) + ".bsp");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const LoadedLevel level = loadLevelFile(path.string());
    fs::remove(path);
    ASSERT_TRUE(level.valid());
    std::ostringstream out;
    ASSERT_TRUE(writeLevel(out, level.geometry, level.partition));
    EXPECT_EQ(out.str(), bytes);
}

// ---- model

TEST(LevelModel, AppendsReturnTheNewIndex) {
    LevelGeometry g;
    SpacePartition p;
    EXPECT_EQ(p.spaceCount(), 0);
    EXPECT_EQ(g.triangleCount(), 0);
    EXPECT_EQ(g.addVertex({}), 0);
    EXPECT_EQ(g.addVertex({}), 1);
    EXPECT_EQ(g.addNormal({}), 0);
    EXPECT_EQ(g.addPlane({}), 0);
    EXPECT_EQ(g.addTriangle({}), 0);
    EXPECT_EQ(p.addNode({}), 0);
    EXPECT_EQ(p.addSpace({}), 0);
    EXPECT_EQ(p.addSpace({}), 1);
    EXPECT_EQ(p.spaceCount(), 2);
}

TEST(LevelModel, RecordsStartInTheirDefaultState) {
    const Triangle t;
    EXPECT_EQ(t.vertexIndex, (std::array<std::int32_t, 3>{-1, -1, -1}));
    EXPECT_EQ(t.normalIndex, (std::array<std::int32_t, 3>{-1, -1, -1}));
    EXPECT_EQ(t.planeIndex, -1);
    const BspNode n;
    EXPECT_EQ(n.planeIndex, -1);
    EXPECT_EQ(n.front, 2147483647);
    EXPECT_EQ(n.back, 2147483647);
    EXPECT_GT(n.bounds.minX, n.bounds.maxX);
    EXPECT_TRUE(sameBox(Space{}.bounds, BoundingBox{1, 0, 0, 0, 0, 0}));
}

TEST(SpacePartition, NeighboursComeOutInBitOrder) {
    SpacePartition p;
    p.setAdjacency({{0x01, 0x80}, {0xFF}, {0x00, 0x00}, {}});
    std::vector<std::int32_t> list{42};
    p.neighbours(0, list);
    EXPECT_EQ(list, (std::vector<std::int32_t>{42, 0, 15}));
    list.clear();
    p.neighbours(1, list);
    EXPECT_EQ(list, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    list.clear();
    p.neighbours(2, list);
    p.neighbours(3, list);
    EXPECT_TRUE(list.empty());
}

// One node splitting at y = 0: front is space 0, back is space 1.
struct OneNodeLevel {
    OneNodeLevel() {
        g.addPlane({0, 1, 0, 0});
        p.addNode({0, -1, -2, {}});
    }
    LevelGeometry g;
    SpacePartition p;
};

TEST(LocateSpace, PointsOnThePlaneAndNotANumberGoToTheFront) {
    const OneNodeLevel level;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(locateSpace(level.g, level.p, 0, {0, 1, 0}), 0);
    EXPECT_EQ(locateSpace(level.g, level.p, 0, {5, 0, -5}), 0);
    EXPECT_EQ(locateSpace(level.g, level.p, 0, {0, -0.0f, 0}), 0);
    EXPECT_EQ(locateSpace(level.g, level.p, 0, {0, -1e-30f, 0}), 1);
    EXPECT_EQ(locateSpace(level.g, level.p, 0, {0, -1, 0}), 1);
    EXPECT_EQ(locateSpace(level.g, level.p, 0, {0, nan, 0}), 0);
    // A coefficient of 0 does not drop its coordinate: 0 * NaN makes the whole distance NaN.
    EXPECT_EQ(locateSpace(level.g, level.p, 0, {nan, -1, 0}), 0);
}

TEST(LocateSpace, WalksDownToALeaf) {
    LevelGeometry g;
    SpacePartition p;
    g.addPlane({1, 0, 0, 0});    // x = 0
    g.addPlane({0, 0, 1, -2});   // z = 2
    p.addNode({0, 1, -3, {}});   // x >= 0: node 1, else space 2
    p.addNode({1, -2, -1, {}});  // z >= 2: space 1, else space 0
    EXPECT_EQ(locateSpace(g, p, 0, {1, 0, 5}), 1);
    EXPECT_EQ(locateSpace(g, p, 0, {1, 0, 0}), 0);
    EXPECT_EQ(locateSpace(g, p, 0, {-1, 0, 5}), 2);
    EXPECT_EQ(locateSpace(g, p, 1, {-1, 0, 5}), 1);  // starting below the root ignores it
}

// The distance is summed as (b*y + c*z) + a*x, then + d; another order rounds differently here.
TEST(LocateSpace, KeepsTheDistanceEvaluationOrder) {
    LevelGeometry g;
    SpacePartition p;
    g.addPlane({1, 1, 1, -0.5f});
    p.addNode({0, -1, -2, {}});
    // (1e8 + -1e8) + 1 - 0.5 = 0.5, front; (1 + 1e8) + -1e8 - 0.5 would be -0.5, back.
    EXPECT_EQ(locateSpace(g, p, 0, {1, 1e8f, -1e8f}), 0);
    EXPECT_EQ(locateSpace(g, p, 0, {1e8f, 1, -1e8f}), 1);
}

// ---- validation

std::vector<std::string> problemsOf(const OneNodeLevel& level) {
    return validateLevel(level.g, level.p);
}

// The one-node level made complete and valid: one triangle in space 0, each space the other's
// neighbour.
OneNodeLevel validOneNodeLevel() {
    OneNodeLevel level;
    level.g.addVertex({0, 0, 0});
    level.g.addVertex({1, 0, 0});
    level.g.addVertex({0, 0, 1});
    level.g.addNormal({0, 1, 0});
    level.g.addTriangle({{0, 1, 2}, {0, 0, 0}, 0});
    Space above;
    above.triangleIndices = {0};
    level.p.addSpace(above);
    level.p.addSpace({});
    level.p.setAdjacency({{0x02}, {0x01}});
    return level;
}

TEST(LevelValidation, ValidLevelHasNoProblems) {
    EXPECT_TRUE(problemsOf(validOneNodeLevel()).empty());
}

TEST(LevelValidation, TreeProblems) {
    OneNodeLevel level = validOneNodeLevel();
    level.p.nodes.clear();
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"the level has no nodes (node 0, the root, is missing)"});

    level = validOneNodeLevel();
    level.p.nodes[0].front = 1;
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"node 0 names child node 1, but the level has 1 node"});

    level = validOneNodeLevel();
    level.p.nodes[0].back = -3;
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"node 0 names space 2, but the level has 2 spaces"});

    level = validOneNodeLevel();
    level.p.nodes[0].back = noChild;  // a default node that no file filled in
    EXPECT_EQ(problemsOf(level),
              std::vector<std::string>{"node 0 names child node 2147483647, but the level has 1 node"});

    level = validOneNodeLevel();
    level.p.nodes[0].planeIndex = 1;
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"node 0 splits at plane 1, but the level has 1 plane"});
}

TEST(LevelValidation, TreeThatLoopsIsReported) {
    OneNodeLevel level = validOneNodeLevel();
    level.p.nodes[0].front = 0;  // a node that is its own child
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"the node tree loops back to node 0"});

    level = validOneNodeLevel();
    level.p.nodes[0] = {0, 1, -2, {}};
    level.p.addNode({0, -1, 2, {}});
    level.p.addNode({0, -2, 1, {}});  // 1 -> 2 -> 1
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"the node tree loops back to node 1"});

    // Two parents sharing one subtree is no loop: every walk still ends in a leaf.
    level = validOneNodeLevel();
    level.p.nodes[0] = {0, 1, 1, {}};
    level.p.addNode({0, -1, -2, {}});
    EXPECT_TRUE(problemsOf(level).empty());
}

TEST(LevelValidation, DeepChainNeedsNoCallStack) {
    constexpr std::int32_t depth = 200000;
    OneNodeLevel level = validOneNodeLevel();
    level.p.nodes.clear();
    for (std::int32_t i = 0; i < depth; ++i) level.p.addNode({0, i + 1 < depth ? i + 1 : -1, -2, {}});
    EXPECT_TRUE(problemsOf(level).empty());
    // The walk down such a chain ends in the leaf at its bottom.
    EXPECT_EQ(locateSpace(level.g, level.p, 0, {0, 1, 0}), 0);

    level.p.nodes.back().front = depth / 2;
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"the node tree loops back to node 100000"});
}

// Trees as {front, back} pairs; negative children are leaves.
using TreeNodes = std::vector<std::array<std::int32_t, 2>>;

TreeFault faultOf(const TreeNodes& nodes, SharedSubtrees shared) {
    return firstTreeFault(
        nodes.size(), [&nodes](std::size_t n) { return nodes[n]; }, shared);
}

void expectFault(const TreeFault& fault, TreeFault::Kind kind, std::int32_t parent, std::int32_t child) {
    EXPECT_EQ(fault.kind, kind);
    EXPECT_EQ(fault.parent, parent);
    EXPECT_EQ(fault.child, child);
}

TEST(TreeCheck, SoundTreesAndUnfollowedChildrenAreNoFault) {
    for (const SharedSubtrees rule : {SharedSubtrees::allowed, SharedSubtrees::refused}) {
        EXPECT_FALSE(faultOf({}, rule).found()) << "no nodes: nothing to walk";
        EXPECT_FALSE(faultOf({{-1, -2}}, rule).found());
        EXPECT_FALSE(faultOf({{1, 2}, {-1, -2}, {-3, 3}, {-4, -5}}, rule).found());
        // Children past the array are the caller's index faults, not followed; nodes the
        // root does not reach are not walked, whatever they name.
        EXPECT_FALSE(faultOf({{1, 2147483647}, {-1, 2}}, rule).found());
        EXPECT_FALSE(faultOf({{-1, -2}, {1, 1}}, rule).found());
    }
}

TEST(TreeCheck, LoopsAreFaultsUnderEitherRule) {
    for (const SharedSubtrees rule : {SharedSubtrees::allowed, SharedSubtrees::refused}) {
        expectFault(faultOf({{-1, 0}}, rule), TreeFault::Kind::loop, 0, 0);
        expectFault(faultOf({{1, -1}, {-2, 2}, {1, -3}}, rule), TreeFault::Kind::loop, 2, 1);
        // The front subtree is walked first: its loop is met before the back child's.
        expectFault(faultOf({{1, 2}, {0, -1}, {2, -2}}, rule), TreeFault::Kind::loop, 1, 0);
    }
}

TEST(TreeCheck, SharedSubtreeIsAFaultOnlyWhereRefused) {
    const TreeNodes twice{{1, 1}, {-1, -2}};
    EXPECT_FALSE(faultOf(twice, SharedSubtrees::allowed).found());
    expectFault(faultOf(twice, SharedSubtrees::refused), TreeFault::Kind::shared, 0, 1);

    // A diamond: node 3 below both 1 and 2, named second by 2.
    const TreeNodes diamond{{1, 2}, {3, -1}, {-2, 3}, {-3, -4}};
    EXPECT_FALSE(faultOf(diamond, SharedSubtrees::allowed).found());
    expectFault(faultOf(diamond, SharedSubtrees::refused), TreeFault::Kind::shared, 2, 3);

    // With both faults, the one the walk meets first is named: the loop below node 1's first
    // visit comes before 1 is named again.
    const TreeNodes loopBelowShared{{1, 1}, {-1, 2}, {2, -2}};
    for (const SharedSubtrees rule : {SharedSubtrees::allowed, SharedSubtrees::refused}) {
        expectFault(faultOf(loopBelowShared, rule), TreeFault::Kind::loop, 2, 2);
    }
}

TEST(TreeCheck, DeepAndBushyTreesNeedNoCallStack) {
    // A chain as deep as the array, with a loop from its bottom back to its middle.
    constexpr std::int32_t depth = 300000;
    TreeNodes chain(depth);
    for (std::int32_t i = 0; i < depth; ++i) chain[static_cast<std::size_t>(i)] = {i + 1 < depth ? i + 1 : -1, -2};
    EXPECT_FALSE(faultOf(chain, SharedSubtrees::refused).found());
    chain.back()[1] = depth / 2;
    expectFault(faultOf(chain, SharedSubtrees::allowed), TreeFault::Kind::loop, depth - 1, depth / 2);

    // Every node naming both of the next two: a walk that expanded shared nodes again would
    // take 2^n steps; each node is expanded once.
    TreeNodes ladder(64);
    for (std::int32_t i = 0; i < 64; ++i) {
        ladder[static_cast<std::size_t>(i)] = {i + 1 < 64 ? i + 1 : -1, i + 2 < 64 ? i + 2 : -2};
    }
    EXPECT_FALSE(faultOf(ladder, SharedSubtrees::allowed).found());
    expectFault(faultOf(ladder, SharedSubtrees::refused), TreeFault::Kind::shared, 61, 63);
}

TEST(LevelValidation, GeometryIndicesOutOfRange) {
    OneNodeLevel level = validOneNodeLevel();
    level.g.triangles[0].vertexIndex[2] = 3;
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"triangle 0 uses vertex 3, but the level has 3 vertices"});

    level = validOneNodeLevel();
    level.g.triangles[0].normalIndex[1] = -1;
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"triangle 0 uses normal -1, but the level has 1 normal"});

    level = validOneNodeLevel();
    level.g.triangles[0].planeIndex = 1;
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"triangle 0 lies on plane 1, but the level has 1 plane"});

    level = validOneNodeLevel();
    level.p.spaces[0].triangleIndices = {-5};
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"space 0 lists triangle -5, but the level has 1 triangle"});
}

TEST(LevelValidation, AdjacencyProblems) {
    OneNodeLevel level = validOneNodeLevel();
    level.p.setAdjacency(AdjacencyMatrix{{0x02}});
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"the adjacency has 1 row, but the level has 2 spaces"});

    level = validOneNodeLevel();
    level.p.adjacency.row(1)[0] = 0x04;  // space 2 of 2
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"adjacency row 1 names space 2, but the level has 2 spaces"});

    level = validOneNodeLevel();
    level.p.setAdjacency(AdjacencyMatrix{{0x02, 0x00, 0x10}, {0x01}});  // space 20 of 2, in a later byte
    EXPECT_EQ(problemsOf(level),
              std::vector<std::string>{"adjacency row 0 names space 20, but the level has 2 spaces"});

    // Nine spaces: bit 0 of byte 1 is space 8, which exists; bit 1 is space 9, which does not.
    level = validOneNodeLevel();
    for (int i = 0; i < 7; ++i) level.p.addSpace({});
    level.p.setAdjacency(AdjacencyMatrix(9, 2));
    for (std::size_t s = 0; s < 9; ++s) level.p.adjacency.row(s)[0] = 0xFF, level.p.adjacency.row(s)[1] = 0x01;
    EXPECT_TRUE(problemsOf(level).empty());
    level.p.adjacency.row(8)[1] = 0x03;
    EXPECT_EQ(problemsOf(level), std::vector<std::string>{"adjacency row 8 names space 9, but the level has 9 spaces"});
}

TEST(LevelValidation, TriangleEntriesMayNotExceedTheTriangles) {
    OneNodeLevel level = validOneNodeLevel();
    level.p.spaces[1].triangleIndices = {0};  // both spaces list triangle 0
    EXPECT_EQ(problemsOf(level),
              std::vector<std::string>{"the spaces list 2 triangle entries in all, but the level has 1 triangle"});
}

TEST(LevelValidation, LongProblemListsAreCut) {
    OneNodeLevel level = validOneNodeLevel();
    for (int i = 0; i < 1000; ++i) level.g.addTriangle({{0, 1, 2}, {0, 0, 0}, 7});
    const std::vector<std::string> problems = problemsOf(level);
    ASSERT_EQ(problems.size(), 51u);
    EXPECT_EQ(problems.front(), "triangle 1 lies on plane 7, but the level has 1 plane");
    EXPECT_EQ(problems.back(), "... and 950 more problems");
}

}  // namespace
}  // namespace vantrell
