// The scene reader: the example scenes, the change into level coordinates, node transforms,
// cleaning, hostile files, the reply between the processes and the reading process's limits.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "SceneFiles.h"
#include "allocation_counter.h"
#include "scene/SceneReading.h"

#if defined(__SANITIZE_ADDRESS__)
#define VANTRELL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTRELL_ASAN 1
#endif
#endif

namespace vantrell {
namespace {

namespace fs = std::filesystem;
using scenefiles::Mesh;
using scenefiles::Node;
using scenefiles::Scene;

const fs::path sceneFolder = fs::path(VANTRELL_SOURCE_DIR) / "examples" / "scenes";

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("vantrell-scene-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string write(const std::string& name, const std::string& bytes) const {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        return write(name, std::string(bytes.begin(), bytes.end()));
    }

    fs::path folder;
};

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool anyWarningContains(const SceneMesh& mesh, const std::string& part) {
    for (const std::string& w : mesh.warnings) {
        if (contains(w, part)) return true;
    }
    return false;
}

Vector3d frontOf(const SceneMesh& mesh, std::size_t t) {
    const auto& tri = mesh.triangles[t];
    const Vector3d& a = mesh.positions[tri[0]];
    return unitOrZero(cross(mesh.positions[tri[1]] - a, mesh.positions[tri[2]] - a));
}

Vector3d centreOf(const SceneMesh& mesh, std::size_t t) {
    const auto& tri = mesh.triangles[t];
    return (mesh.positions[tri[0]] + mesh.positions[tri[1]] + mesh.positions[tri[2]]) * (1.0 / 3.0);
}

// The nearest triangle a ray from origin along direction meets (Moeller-Trumbore), with the
// side it meets: +1 its front, -1 its back.
struct Hit {
    std::size_t triangle;
    int side;
};
std::optional<Hit> castRay(const SceneMesh& mesh, const Vector3d& origin, const Vector3d& direction) {
    std::optional<Hit> nearest;
    double best = INFINITY;
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        const auto& tri = mesh.triangles[t];
        const Vector3d& a = mesh.positions[tri[0]];
        const Vector3d e1 = mesh.positions[tri[1]] - a;
        const Vector3d e2 = mesh.positions[tri[2]] - a;
        const Vector3d p = cross(direction, e2);
        const double det = dot(e1, p);
        if (std::abs(det) < 1e-12) continue;
        const Vector3d s = origin - a;
        const double u = dot(s, p) / det;
        const Vector3d q = cross(s, e1);
        const double v = dot(direction, q) / det;
        const double distance = dot(e2, q) / det;
        if (u < 0 || v < 0 || u + v > 1 || distance <= 1e-9 || distance >= best) continue;
        best = distance;
        nearest = Hit{t, dot(direction, cross(e1, e2)) < 0 ? 1 : -1};
    }
    return nearest;
}

// Directions that meet no edge of the axis-aligned examples head on.
const Vector3d probeDirections[] = {normalized(Vector3d{0.31, -0.52, 0.79}), normalized(Vector3d{-0.67, 0.23, -0.41}),
                                    normalized(Vector3d{0.12, 0.93, 0.27}), normalized(Vector3d{-0.58, -0.36, 0.61})};

// How rays see the scene from just in front of and just behind every triangle: from the air
// (in front) the nearest face must show its front, from inside solids or outside (behind) its
// back. Counts the rays that break this, and those from the air that meet nothing.
struct Sidedness {
    int wrongFromFront = 0;
    int wrongFromBehind = 0;
    int escapedFromFront = 0;
};
Sidedness probeSides(const SceneMesh& mesh) {
    Sidedness result;
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        const Vector3d centre = centreOf(mesh, t);
        const Vector3d n = frontOf(mesh, t);
        for (const Vector3d& d : probeDirections) {
            const auto fromFront = castRay(mesh, centre + n * 1e-3, d);
            if (!fromFront) {
                ++result.escapedFromFront;
            } else if (fromFront->side != 1) {
                ++result.wrongFromFront;
            }
            const auto fromBehind = castRay(mesh, centre - n * 1e-3, d);
            if (fromBehind && fromBehind->side != -1) ++result.wrongFromBehind;
        }
    }
    return result;
}

SceneMesh readOrFail(const std::string& path, const SceneReadOptions& options = {}) {
    SceneMesh mesh;
    std::string error;
    EXPECT_TRUE(readScene(path, options, mesh, error)) << path << ": " << error;
    return mesh;
}

// ---- The example scenes

struct Example {
    const char* file;
    std::size_t triangles;          // from each scene's plan in tools/makescenes.cpp
    std::optional<Vector3d> spawn;  // level coordinates: the node's z mirrored
    bool sealed;
};

const Example examples[] = {
    // 6 faces of 2 triangles
    {"closed-room.gltf", 12, Vector3d{0.5, 0.3, -1}, true},
    // quads that the reader cuts in two; OBJ has no nodes, so no spawn
    {"closed-room.obj", 12, std::nullopt, true},
    // two rooms of 5 faces (10) and a door wall of 5 cells (10), and 4 faces of the doorway
    {"two-rooms.gltf", 48, Vector3d{-3, 0.3, 0}, true},
    // floor 12 cells (24), 4 walls (6 + 6 + 2 + 2), ceiling 2, platform top 2 and front 3
    // cells (6), six steps of 4 faces (48), ramp top and 2 sides (4)
    {"stairs-ramp.gltf", 102, Vector3d{0, 0.3, 2}, true},
    // floor 7 x 7 cells less pillar and 4 legs (88), ceiling 3 x 3 less 1 (16), walls 8,
    // pillar 8; table top 1 + 4 sides + underside 5 x 5 less 4 (52), legs 4 x 4 faces (32)
    {"pillar-table.gltf", 204, Vector3d{-1, 0.3, 1}, true},
    // 5 faces (10) and a wall of 3 x 3 cells less the window (16)
    {"leaky-room.gltf", 26, Vector3d{0, 0.3, 0}, false},
};

TEST(ExampleScenes, ReadWithTheirTrianglesSpawnAndFrontsFacingTheirAir) {
    for (const Example& example : examples) {
        SCOPED_TRACE(example.file);
        const SceneMesh mesh = readOrFail((sceneFolder / example.file).string());
        EXPECT_EQ(mesh.triangles.size(), example.triangles);
        ASSERT_EQ(mesh.normals.size(), mesh.positions.size());
        ASSERT_EQ(mesh.spawn.has_value(), example.spawn.has_value());
        if (example.spawn) {
            EXPECT_NEAR(mesh.spawn->x, example.spawn->x, 1e-6);
            EXPECT_NEAR(mesh.spawn->y, example.spawn->y, 1e-6);
            EXPECT_NEAR(mesh.spawn->z, example.spawn->z, 1e-6);
            // Standing in the air: every ray from the spawn meets a front.
            for (const Vector3d& d : probeDirections) {
                const auto hit = castRay(mesh, *mesh.spawn, d);
                if (example.sealed) {
                    ASSERT_TRUE(hit.has_value());
                }
                if (hit) {
                    EXPECT_EQ(hit->side, 1);
                }
            }
        }
        const Sidedness sides = probeSides(mesh);
        EXPECT_EQ(sides.wrongFromFront, 0);
        EXPECT_EQ(sides.wrongFromBehind, 0);
        if (example.sealed) {
            EXPECT_EQ(sides.escapedFromFront, 0);
        }
        // The file's normals agree with the fronts (the OBJ has none; made ones are smooth).
        if (fs::path(example.file).extension() == ".gltf") {
            EXPECT_TRUE(mesh.warnings.empty()) << mesh.warnings.front();
            for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
                for (std::uint32_t v : mesh.triangles[t]) EXPECT_GT(dot(mesh.normals[v], frontOf(mesh, t)), 0.999);
            }
        } else {
            EXPECT_TRUE(anyWarningContains(mesh, "made smooth normals for 24 vertices"));
        }
    }
    // The leaky room's window lets a ray from its middle out, and only the window does.
    const SceneMesh leaky = readOrFail((sceneFolder / "leaky-room.gltf").string());
    EXPECT_FALSE(castRay(leaky, {0, 1.5, 0}, {1, 0, 0}));
    EXPECT_TRUE(castRay(leaky, {0, 0.5, 0}, {1, 0, 0}));
    EXPECT_TRUE(castRay(leaky, {0, 1.5, 0}, {-1, 0, 0}));
}

TEST(ExampleScenes, AreWhatTheGeneratorWritesNow) {
    const fs::path out = fs::temp_directory_path() / ("vantrell-makescenes-" + std::to_string(::getpid()));
    fs::remove_all(out);
    const std::string command = std::string(VANTRELL_MAKESCENES) + " " + out.string() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::size_t compared = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        const fs::path shipped = sceneFolder / entry.path().filename();
        EXPECT_TRUE(fs::exists(shipped)) << shipped;
        EXPECT_EQ(readBytes(entry.path()), readBytes(shipped)) << shipped << " is stale: rerun makescenes";
        ++compared;
    }
    EXPECT_EQ(compared, std::size(examples));
    fs::remove_all(out);
}

// ---- Level coordinates, joining, dropping, normals (the parent's side, on soups)

TEST(SceneBuild, MirrorsZScalesAndKeepsTheModellersFront) {
    SceneSoup soup;
    // Counter-clockwise seen from +z, where the modeller stood; the file's normal says so too.
    soup.positions = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
    soup.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    soup.triangles = {{0, 1, 2}};
    soup.spawns = {{"spawn", {1, 2, 3}}};
    SceneMesh mesh;
    std::string error;
    ASSERT_TRUE(buildSceneMesh(soup, 2.0, mesh, error)) << error;
    ASSERT_EQ(mesh.triangles.size(), 1u);
    for (std::uint32_t v : mesh.triangles[0]) {
        const Vector3d p = mesh.positions[v];
        EXPECT_EQ(p.z, -2.0);
        EXPECT_TRUE(p == sceneToLevel({0, 0, 1}, 2) || p == sceneToLevel({1, 0, 1}, 2) ||
                    p == sceneToLevel({0, 1, 1}, 2));
        EXPECT_EQ(mesh.normals[v], (Vector3d{0, 0, -1}));
    }
    // The modeller's eye at z = 3 is at level z = -6: the front faces it.
    const Vector3d eye = sceneToLevel({0.2, 0.2, 3}, 2);
    EXPECT_GT(dot(frontOf(mesh, 0), eye - centreOf(mesh, 0)), 0);
    EXPECT_EQ(frontOf(mesh, 0), (Vector3d{0, 0, -1}));
    ASSERT_TRUE(mesh.spawn);
    EXPECT_EQ(*mesh.spawn, (Vector3d{2, 4, -6}));
    EXPECT_TRUE(mesh.warnings.empty());

    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        EXPECT_FALSE(buildSceneMesh(soup, bad, mesh, error));
        EXPECT_TRUE(contains(error, "scale")) << error;
    }
}

TEST(SceneBuild, JoinsEqualVerticesButKeepsHardEdges) {
    SceneSoup soup;
    // A unit square as two unindexed triangles, and a wall standing on its edge x = 1 with
    // normals of its own.
    soup.positions = {{0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, 0}, {1, 0, -1}, {0, 0, -1},
                      {1, 0, 0}, {1, 1, 0}, {1, 1, -1}, {1, 0, 0}, {1, 1, -1}, {1, 0, -1}};
    soup.normals.assign(6, {0, 1, 0});
    soup.normals.insert(soup.normals.end(), 6, {-1, 0, 0});
    soup.triangles = {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}, {9, 10, 11}};
    SceneMesh mesh;
    std::string error;
    ASSERT_TRUE(buildSceneMesh(soup, 1.0, mesh, error)) << error;
    EXPECT_EQ(mesh.triangles.size(), 4u);
    // 4 corners of the floor, 4 of the wall: the shared edge keeps two normals.
    EXPECT_EQ(mesh.positions.size(), 8u);
    EXPECT_TRUE(mesh.warnings.empty());
}

TEST(SceneBuild, MakesSmoothNormalsOnlyAcrossGentleFolds) {
    SceneSoup soup;
    // A floor folded by 10 degrees along x = 1, and a wall at a right angle along x = 2.
    const float rise = static_cast<float>(std::tan(10.0 * M_PI / 180.0));
    soup.positions = {{0, 0, 0},    {1, 0, 0},     {1, 0, -1},       {0, 0, -1},
                      {2, rise, 0}, {2, rise, -1}, {2, rise + 1, 0}, {2, rise + 1, -1}};
    soup.triangles = {{0, 1, 2}, {0, 2, 3}, {1, 4, 5}, {1, 5, 2}, {4, 6, 7}, {4, 7, 5}};
    SceneMesh mesh;
    std::string error;
    ASSERT_TRUE(buildSceneMesh(soup, 1.0, mesh, error)) << error;
    ASSERT_EQ(mesh.triangles.size(), 6u);
    EXPECT_TRUE(anyWarningContains(mesh, "made smooth normals")) << mesh.warnings.size();
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        const Vector3d face = frontOf(mesh, t);
        for (std::uint32_t v : mesh.triangles[t]) {
            const Vector3d n = mesh.normals[v];
            EXPECT_NEAR(length(n), 1.0, 1e-12);
            const Vector3d p = mesh.positions[v];
            if (p.x == 1) {
                // On the gentle fold: between the two faces' normals, not either one.
                EXPECT_GT(dot(n, face), std::cos(10.0 * M_PI / 180.0));
                EXPECT_LT(dot(n, face), 0.9999);
            } else if (p.x == 0) {
                EXPECT_NEAR(dot(n, face), 1.0, 1e-12);
            }
            // At the right angle each face keeps its own normal.
            if (p.x == 2 && std::abs(face.y) < 0.5) {
                EXPECT_NEAR(dot(n, face), 1.0, 1e-12);
            }
        }
    }
}

TEST(SceneBuild, DropsDegenerateTrianglesWithAWarning) {
    SceneSoup soup;
    soup.positions = {{0, 0, 0}, {1, 0, 0},           {0, 1, 0},
                      {2, 0, 0}, {0.5f, 0.00005f, 0},  // a sliver's apex: 0.00005 above the x axis
                      {0, 0, 0}};                      // equal to vertex 0
    soup.triangles = {
        {0, 1, 2},  // kept
        {0, 1, 1},  // a repeated index
        {0, 1, 3},  // collinear
        {0, 1, 4},  // thinner than the least height
        {0, 5, 2},  // a corner equal to another once vertices are joined
    };
    SceneMesh mesh;
    std::string error;
    ASSERT_TRUE(buildSceneMesh(soup, 1.0, mesh, error)) << error;
    EXPECT_EQ(mesh.triangles.size(), 1u);
    EXPECT_TRUE(anyWarningContains(mesh, "dropped 4 degenerate triangles")) << mesh.warnings.front();

    // The least height is in level units: the same sliver at 4 times the scale is kept.
    ASSERT_TRUE(buildSceneMesh(soup, 4.0, mesh, error)) << error;
    EXPECT_EQ(mesh.triangles.size(), 2u);

    soup.triangles.erase(soup.triangles.begin());
    EXPECT_FALSE(buildSceneMesh(soup, 1.0, mesh, error));
    EXPECT_EQ(error, "the scene holds no triangles but 4 degenerate ones");
    soup.triangles.clear();
    EXPECT_FALSE(buildSceneMesh(soup, 1.0, mesh, error));
    EXPECT_EQ(error, "the scene holds no triangles");
}

TEST(SceneBuild, RefusesPointsThatAreNotFiniteOrTooFarOut) {
    SceneSoup soup;
    soup.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    soup.triangles = {{0, 1, 2}};
    SceneMesh mesh;
    std::string error;
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        soup.positions[1].y = bad;
        EXPECT_FALSE(buildSceneMesh(soup, 1.0, mesh, error));
        EXPECT_TRUE(contains(error, "not a finite point")) << error;
        EXPECT_TRUE(mesh.triangles.empty());
    }
    soup.positions[1] = {2e6f, 0, 0};
    EXPECT_FALSE(buildSceneMesh(soup, 1.0, mesh, error));
    EXPECT_TRUE(contains(error, "farther than 1000000")) << error;
    // Within reach at scale 1, out of reach once scaled; and the scale can overflow a float.
    soup.positions[1] = {5e5f, 0, 0};
    EXPECT_TRUE(buildSceneMesh(soup, 1.0, mesh, error)) << error;
    EXPECT_FALSE(buildSceneMesh(soup, 4.0, mesh, error));
    soup.positions[1] = {3e38f, 0, 0};
    EXPECT_FALSE(buildSceneMesh(soup, 1e10, mesh, error));

    soup.positions[1] = {1, 0, 0};
    soup.spawns = {{"spawn", {NAN, 0, 0}}};
    EXPECT_FALSE(buildSceneMesh(soup, 1.0, mesh, error));
    EXPECT_TRUE(contains(error, "spawn")) << error;
    soup.spawns.clear();
    soup.triangles = {{0, 1, 3}};
    EXPECT_FALSE(buildSceneMesh(soup, 1.0, mesh, error));
    EXPECT_TRUE(contains(error, "out of range")) << error;
}

// ---- Node transforms, spawn nodes (through files and the library)

Mesh unitTriangle() {
    Mesh mesh;
    mesh.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};  // front +z
    mesh.normals.assign(3, {0, 0, 1});
    mesh.faces = {{0, 1, 2}};
    return mesh;
}

TEST_F(SceneTest, AppliesNodeTransformsDownTheTree) {
    Scene scene;
    scene.meshes = {unitTriangle()};
    Node parent;  // a quarter turn about y, then 10 along x
    parent.translation = {10, 0, 0};
    parent.rotation = {0, std::sqrt(0.5), 0, std::sqrt(0.5)};
    parent.children = {1, 2};
    Node child;  // doubled, then 1 up (in the parent's frame)
    child.mesh = 0;
    child.translation = {0, 1, 0};
    child.scale = {2, 2, 2};
    Node spawn;
    spawn.name = "info_player_start";
    spawn.translation = {0, 0, 3};
    scene.nodes = {parent, child, spawn};
    scene.roots = {0};
    SceneMesh mesh = readOrFail(write("nested.gltf", scenefiles::gltfText(scene)));
    ASSERT_EQ(mesh.triangles.size(), 1u);
    // Scene: (x, y, z) -> scaled, lifted, turned (x, z) -> (z, -x), moved: (0,0,0) -> (10, 1, 0),
    // (1,0,0) -> (10, 1, -2), (0,1,0) -> (10, 3, 0); the front +z turns to +x. Level: z mirrored.
    const Vector3d expected[] = {{10, 1, 0}, {10, 1, 2}, {10, 3, 0}};
    for (const Vector3d& e : expected) {
        bool found = false;
        for (const Vector3d& p : mesh.positions) found = found || length(p - e) < 1e-5;
        EXPECT_TRUE(found) << e.x << " " << e.y << " " << e.z;
    }
    EXPECT_NEAR(dot(frontOf(mesh, 0), {1, 0, 0}), 1.0, 1e-6);
    for (const Vector3d& n : mesh.normals) EXPECT_NEAR(dot(n, {1, 0, 0}), 1.0, 1e-6);
    // The spawn: 3 along the parent's z, which the quarter turn takes to x.
    ASSERT_TRUE(mesh.spawn);
    EXPECT_NEAR(length(*mesh.spawn - Vector3d{13, 0, 0}), 0.0, 1e-5);
}

TEST_F(SceneTest, AMirroringNodeKeepsTheFrontAndNormalsWhereTheModellerSawThem) {
    Scene scene;
    scene.meshes = {unitTriangle()};
    Node mirrored;
    mirrored.mesh = 0;
    mirrored.scale = {-1, 1, 1};
    Node stretched;  // unequal scale: normals go through the inverse transpose
    stretched.mesh = 0;
    stretched.scale = {1, 1, 4};
    stretched.rotation = {std::sqrt(0.5), 0, 0, std::sqrt(0.5)};  // a quarter turn about x: +z -> -y
    scene.nodes = {mirrored, stretched};
    scene.roots = {0, 1};
    const SceneMesh mesh = readOrFail(write("mirror.gltf", scenefiles::gltfText(scene)));
    ASSERT_EQ(mesh.triangles.size(), 2u);
    // Mirrored in x, the triangle still faces +z in the scene: -z in level coordinates.
    EXPECT_NEAR(dot(frontOf(mesh, 0), {0, 0, -1}), 1.0, 1e-6);
    for (std::uint32_t v : mesh.triangles[0]) EXPECT_NEAR(dot(mesh.normals[v], {0, 0, -1}), 1.0, 1e-6);
    EXPECT_NEAR(dot(frontOf(mesh, 1), {0, -1, 0}), 1.0, 1e-6);
    for (std::uint32_t v : mesh.triangles[1]) EXPECT_NEAR(dot(mesh.normals[v], {0, -1, 0}), 1.0, 1e-6);
}

TEST_F(SceneTest, TakesTheFirstEmptySpawnNode) {
    Scene scene;
    scene.meshes = {unitTriangle()};
    Node withMesh;  // not empty: no spawn
    withMesh.name = "spawn";
    withMesh.mesh = 0;
    withMesh.translation = {7, 7, 7};
    Node first;
    first.name = "Spawn";
    first.translation = {1, 2, 3};
    Node second;
    second.name = "info_player_start";
    second.translation = {4, 5, 6};
    scene.nodes = {withMesh, first, second};
    scene.roots = {0, 1, 2};
    const SceneMesh mesh = readOrFail(write("spawns.gltf", scenefiles::gltfText(scene)));
    ASSERT_TRUE(mesh.spawn);
    EXPECT_EQ(*mesh.spawn, (Vector3d{1, 2, -3}));
    EXPECT_TRUE(anyWarningContains(mesh, "2 spawn nodes; the first, 'Spawn', is used"));

    SceneReadOptions scaled;
    scaled.scale = 0.5;
    EXPECT_EQ(*readOrFail(write("spawns.gltf", scenefiles::gltfText(scene)), scaled).spawn, (Vector3d{0.5, 1, -1.5}));
}

// ---- Malformed and hostile files

// Reads a file that must be refused; the error must say something and the parent must not
// have allocated on the file's word.
std::string refusal(const std::string& path, const SceneReadOptions& options = {}) {
    SceneMesh mesh;
    std::string error;
    testing::resetLargestAllocation();
    EXPECT_FALSE(readScene(path, options, mesh, error)) << path;
    EXPECT_LT(testing::largestAllocation(), std::size_t{1} << 20) << path;
    EXPECT_FALSE(error.empty()) << path;
    EXPECT_TRUE(mesh.triangles.empty());
    return error;
}

TEST_F(SceneTest, RefusesMissingFilesFoldersAndEmptyFiles) {
    EXPECT_TRUE(contains(refusal((folder / "none.gltf").string()), "No such file"))
        << refusal((folder / "none.gltf").string());
    EXPECT_TRUE(contains(refusal(folder.string()), "is not a file"));
    EXPECT_FALSE(refusal(write("empty.obj", std::string())).empty());
}

TEST_F(SceneTest, RefusesTruncatedFiles) {
    const std::string gltf = readBytes(sceneFolder / "two-rooms.gltf");
    Scene scene;
    scene.meshes = {unitTriangle()};
    scene.nodes = {Node{}};
    scene.nodes[0].mesh = 0;
    scene.roots = {0};
    const std::vector<std::uint8_t> glb = scenefiles::glbBytes(scene);
    for (double fraction : {0.0, 0.1, 0.5, 0.9, 0.999}) {
        const auto cut = static_cast<std::size_t>(fraction * static_cast<double>(gltf.size()));
        refusal(write("cut.gltf", gltf.substr(0, cut)));
        const auto glbCut = static_cast<std::size_t>(fraction * static_cast<double>(glb.size()));
        refusal(write("cut.glb", std::vector<std::uint8_t>(glb.begin(), glb.begin() + static_cast<long>(glbCut))));
    }
}

TEST_F(SceneTest, RefusesBinaryNoise) {
    std::mt19937 random(9);
    for (const char* name : {"noise.gltf", "noise.glb", "noise.obj", "noise.fbx", "noise.dae", "noise.bin"}) {
        std::string bytes(4096, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        refusal(write(name, bytes));
    }
}

TEST_F(SceneTest, RefusesCoordinatesThatAreNotNumbers) {
    const std::string error = refusal(write("nan.obj", "v 0 0 0\nv 1 0 0\nv 0 nan 0\nf 1 2 3\n"));
    EXPECT_TRUE(contains(error, "not a finite point")) << error;
    Scene scene;
    scene.meshes = {unitTriangle()};
    scene.meshes[0].positions[2].x = INFINITY;
    scene.nodes = {Node{}};
    scene.nodes[0].mesh = 0;
    scene.roots = {0};
    refusal(write("inf.glb", scenefiles::glbBytes(scene)));
}

TEST_F(SceneTest, RefusesScenesWithoutTriangles) {
    const std::string points = refusal(write("points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n"));
    EXPECT_TRUE(contains(points, "no triangles") || contains(points, "import library")) << points;
    EXPECT_EQ(refusal(write("lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\nl 2 3\n")),
              "the scene holds no triangles (left out 2 lines and points, which a level cannot hold)");
    Scene empty;
    empty.nodes = {Node{}};
    empty.nodes[0].name = "spawn";
    empty.roots = {0};
    const std::string nothing = refusal(write("empty.gltf", scenefiles::gltfText(empty)));
    EXPECT_TRUE(contains(nothing, "no triangles") || contains(nothing, "import library")) << nothing;
}

TEST_F(SceneTest, RefusesEnormousDeclaredCountsWithoutAllocatingThem) {
    Scene scene;
    scene.meshes = {unitTriangle()};
    scene.nodes = {Node{}};
    scene.nodes[0].mesh = 0;
    scene.roots = {0};
    std::string gltf = scenefiles::gltfText(scene);
    // The position accessor claims four thousand million vertices in a buffer of 36 bytes.
    const std::string count = "\"count\": 3";
    ASSERT_TRUE(contains(gltf, count));
    gltf.replace(gltf.find(count), count.size(), "\"count\": 4000000000");
    refusal(write("huge.gltf", gltf));

    std::vector<std::uint8_t> glb = scenefiles::glbBytes(scene);
    glb[12] = glb[13] = glb[14] = 0xff;  // the JSON chunk's length
    refusal(write("huge.glb", glb));

    refusal(write("huge.ply",
                  "ply\nformat ascii 1.0\nelement vertex 4000000000\nproperty float x\nproperty float y\n"
                  "property float z\nelement face 4000000000\nproperty list uchar int vertex_indices\n"
                  "end_header\n0 0 0\n"));
    refusal(write("huge.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4000000000\n"));
}

TEST_F(SceneTest, ReportsFacesTheLibraryDrops) {
    Scene scene;
    scene.meshes = {unitTriangle()};
    scene.meshes[0].positions.push_back({1, 1, 0});
    scene.meshes[0].normals.push_back({0, 0, 1});
    scene.meshes[0].faces.push_back({1, 3, 2});
    scene.nodes = {Node{}};
    scene.nodes[0].mesh = 0;
    scene.roots = {0};
    std::string gltf = scenefiles::gltfText(scene);
    // Cut the position accessor to 3 vertices: the second triangle's index 3 is out of range.
    const std::string count = "\"count\": 4";
    ASSERT_TRUE(contains(gltf, count));
    gltf.replace(gltf.find(count), count.size(), "\"count\": 3");
    const SceneMesh mesh = readOrFail(write("dropped.gltf", gltf));
    EXPECT_EQ(mesh.triangles.size(), 1u);
    EXPECT_TRUE(anyWarningContains(mesh, "the import library warns: ")) << mesh.warnings.size();
}

TEST_F(SceneTest, ATinyMemoryLimitGivesTheLimitMessage) {
#ifdef VANTRELL_ASAN
    GTEST_SKIP() << "the sanitizer's allocator ends the process instead of failing an allocation";
#endif
    // A scene of 100,000 triangles needs far more than 4 MiB to read.
    Scene scene;
    Mesh grid;
    for (int i = 0; i < 50000; ++i) {
        const auto x = static_cast<float>(i % 250);
        const auto z = static_cast<float>(i / 250);
        scenefiles::addRectangle(grid, {x, 0, z}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, true);
    }
    scene.meshes = {grid};
    scene.nodes = {Node{}};
    scene.nodes[0].mesh = 0;
    scene.roots = {0};
    const std::string path = write("grid.glb", scenefiles::glbBytes(scene));
    SceneReadOptions options;
    options.memoryLimitBytes = std::size_t{4} << 20;
    const std::string error = refusal(path, options);
    EXPECT_EQ(error, "reading the scene needs more than the memory limit of 4 MiB (the file may be malformed)");
    EXPECT_EQ(readOrFail(path).triangles.size(), 100000u);
}

// ---- The reading process

TEST(SceneReader, EndsAChildThatBreaksALimitOrCrashes) {
    SceneReadOptions options;
    options.timeLimitSeconds = 0.5;
    options.memoryLimitBytes = std::size_t{64} << 20;
    SceneReply reply;
    std::string error;

    EXPECT_FALSE(runSceneReader(
        [] {
            volatile unsigned long spin = 0;
            for (;;) spin = spin + 1;
            return SceneReply{};
        },
        options, reply, error));
    EXPECT_EQ(error, "reading the scene took longer than the time limit of 0.5 seconds (the file may be malformed)");

    EXPECT_FALSE(runSceneReader(
        [] {
            ::sleep(30);  // blocked, using no processor time: the parent's deadline ends it
            return SceneReply{};
        },
        options, reply, error));
    EXPECT_TRUE(contains(error, "time limit of 0.5 seconds")) << error;

    EXPECT_FALSE(runSceneReader(
        [] {
            ::raise(SIGSEGV);
            return SceneReply{};
        },
        options, reply, error));
    // Signal 11, or 6 where a sanitizer catches the first and aborts.
    EXPECT_TRUE(contains(error, "the import library crashed while reading the scene (signal ")) << error;

#ifndef VANTRELL_ASAN
    EXPECT_FALSE(runSceneReader(
        [] {
            std::vector<char> big(std::size_t{1} << 30, 1);
            SceneReply r;
            r.message.assign(1, big[12345]);
            return r;
        },
        options, reply, error));
    EXPECT_EQ(error, "reading the scene needs more than the memory limit of 64 MiB (the file may be malformed)");
#endif

    options.timeLimitSeconds = 0;
    EXPECT_FALSE(runSceneReader([] { return SceneReply{}; }, options, reply, error));
    EXPECT_TRUE(contains(error, "time limit")) << error;
}

TEST(SceneReader, BringsBackWhatTheChildRead) {
    SceneReply reply;
    std::string error;
    ASSERT_TRUE(runSceneReader(
        [] {
            SceneReply r;
            r.status = SceneReplyStatus::read;
            r.soup.positions.assign(100000, {1, 2, 3});  // more than a pipe holds at once
            r.soup.normals.assign(100000, {0, 1, 0});
            r.soup.triangles = {{0, 1, 99999}};
            r.soup.notes = {"a note"};
            return r;
        },
        {}, reply, error))
        << error;
    EXPECT_EQ(reply.status, SceneReplyStatus::read);
    EXPECT_EQ(reply.soup.positions.size(), 100000u);
    EXPECT_EQ(reply.soup.positions.back(), (Vector3{1, 2, 3}));
    EXPECT_EQ(reply.soup.triangles.front()[2], 99999u);
    EXPECT_EQ(reply.soup.notes, std::vector<std::string>{"a note"});
}

// ---- The reply between the processes

SceneReply sampleReply() {
    SceneReply reply;
    reply.status = SceneReplyStatus::read;
    reply.message = "message";
    reply.soup.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, NAN}};
    reply.soup.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 0}};
    reply.soup.triangles = {{0, 1, 2}, {2, 1, 0}};
    reply.soup.spawns = {{"spawn", {1.5, -2, 1e300}}};
    reply.soup.notes = {"first", ""};
    return reply;
}

TEST(SceneReply, RoundTrips) {
    const std::vector<std::uint8_t> bytes = encodeSceneReply(sampleReply());
    SceneReply back;
    std::string error;
    ASSERT_TRUE(decodeSceneReply(bytes, back, error)) << error;
    const SceneReply sent = sampleReply();
    EXPECT_EQ(back.status, sent.status);
    EXPECT_EQ(back.message, sent.message);
    EXPECT_EQ(back.soup.notes, sent.soup.notes);
    ASSERT_EQ(back.soup.spawns.size(), 1u);
    EXPECT_EQ(back.soup.spawns[0].name, "spawn");
    EXPECT_EQ(back.soup.spawns[0].position, sent.soup.spawns[0].position);
    ASSERT_EQ(back.soup.positions.size(), 3u);
    EXPECT_EQ(back.soup.positions[1], sent.soup.positions[1]);
    EXPECT_TRUE(std::isnan(back.soup.positions[2].z));
    EXPECT_EQ(back.soup.normals[0], sent.soup.normals[0]);
    EXPECT_EQ(back.soup.triangles, sent.soup.triangles);
}

TEST(SceneReply, RefusesEveryTruncationAndTrailingBytes) {
    std::vector<std::uint8_t> bytes = encodeSceneReply(sampleReply());
    SceneReply back;
    std::string error;
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        EXPECT_FALSE(decodeSceneReply(std::span(bytes.data(), n), back, error)) << n;
    }
    bytes.push_back(0);
    EXPECT_FALSE(decodeSceneReply(bytes, back, error));
}

TEST(SceneReply, RefusesCountsBeyondItsBytesWithoutAllocatingThem) {
    const std::vector<std::uint8_t> good = encodeSceneReply(sampleReply());
    // Offsets in the sample: magic 4, status 1, message 4 + 7, notes 4 + (4 + 5) + 4,
    // spawns 4 + (4 + 5 + 24), then the vertex count.
    const std::size_t noteCount = 16;
    const std::size_t spawnCount = noteCount + 4 + 9 + 4;
    const std::size_t vertexCount = spawnCount + 4 + 33;
    const std::size_t triangleCount = vertexCount + 8 + 3 * 24;
    const std::size_t firstIndex = triangleCount + 8;
    SceneReply back;
    std::string error;
    ASSERT_TRUE(decodeSceneReply(good, back, error)) << error;
    auto patched = [&](std::size_t at, std::uint64_t value, int width) {
        std::vector<std::uint8_t> bytes = good;
        for (int i = 0; i < width; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        return bytes;
    };
    const std::vector<std::vector<std::uint8_t>> hostile = {
        patched(4, 9, 1),                                 // unknown status
        patched(5, 0xffffffff, 4),                        // message length
        patched(noteCount, 0xffffffff, 4),                // note count
        patched(spawnCount, 200, 4),                      // spawn count
        patched(vertexCount, std::uint64_t{1} << 60, 8),  // vertex count
        patched(vertexCount, 2, 8),                       // fewer vertices than the triangles use
        patched(triangleCount, 3, 8),                     // more triangles than bytes
        patched(triangleCount, 0xffffffffffffULL, 8),
        patched(firstIndex, 3, 4),  // index out of range
    };
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        testing::resetLargestAllocation();
        EXPECT_FALSE(decodeSceneReply(hostile[i], back, error)) << i;
        EXPECT_LT(testing::largestAllocation(), std::size_t{4096}) << i;
        EXPECT_TRUE(contains(error, "malformed reply")) << error;
    }
}

}  // namespace
}  // namespace vantrell
