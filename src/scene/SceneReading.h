// The steps of readScene one by one, for the tests and the fuzz target.
//
//  1. readSceneWithLibrary: the import library reads the file and the node tree is walked
//     into a SceneSoup, still in the scene's own coordinates. This runs in a child process
//     (runSceneReader) because the library is not safe on every file.
//  2. encodeSceneReply / decodeSceneReply: the soup's way back to the parent over a pipe, in a
//     small little-endian format whose every count the decoder checks against the bytes it has.
//  3. buildSceneMesh: joins, drops, makes normals and converts into level coordinates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "scene/SceneMesh.h"

namespace vantrell {

// Largest scenes read, far above any level the viewer draws smoothly (the 32-bit indices of a
// level would allow more, the memory of one reading process would not).
inline constexpr std::size_t maxSceneTriangles = 16'000'000;
inline constexpr std::size_t maxSceneVertices = 3 * maxSceneTriangles;

// An empty node that marks where to start walking.
struct SceneSpawn {
    std::string name;
    Vector3d position;  // scene coordinates, node transforms applied
};

// The triangles of a scene as the library gives them, with every node's transform applied:
// right-handed, y up, scene units, counter-clockwise seen from the front.
struct SceneSoup {
    std::vector<Vector3> positions;
    std::vector<Vector3> normals;  // one per position; zero where the file gives none
    std::vector<std::array<std::uint32_t, 3>> triangles;
    std::vector<SceneSpawn> spawns;  // in the order of a depth-first walk of the nodes
    std::vector<std::string> notes;  // the library's warnings and what the walk left out
};

enum class SceneReplyStatus : std::uint8_t {
    read = 0,              // soup holds the scene
    failed = 1,            // message says why (the library's own words)
    outOfMemory = 2,       // the library ran out of the process's memory
    tooManyTriangles = 3,  // more than maxSceneTriangles, or vertices over maxSceneVertices
};

struct SceneReply {
    SceneReplyStatus status = SceneReplyStatus::failed;
    std::string message;
    SceneSoup soup;
};

// Reads a scene file, or a scene held in memory whose format hint is a file name extension
// ("gltf", "obj"; empty: guess from the bytes), with the import library in this process.
// Never throws; whatever goes wrong is in the reply.
[[nodiscard]] SceneReply readSceneWithLibrary(const std::string& path);
[[nodiscard]] SceneReply readSceneWithLibrary(std::span<const std::uint8_t> bytes, const std::string& formatHint);

[[nodiscard]] std::vector<std::uint8_t> encodeSceneReply(const SceneReply& reply);
// False with the reason in error when bytes are not exactly one well-formed reply: a bad
// header, a count beyond the limits above or beyond the bytes left, an index out of range,
// or bytes after the end. Allocates only for what the bytes hold.
[[nodiscard]] bool decodeSceneReply(std::span<const std::uint8_t> bytes, SceneReply& reply, std::string& error);

// Runs read in a child process under the memory and time limits of options and takes its
// reply back. False with a clause in error when the child breaks a limit, crashes or sends
// no well-formed reply.
[[nodiscard]] bool runSceneReader(const std::function<SceneReply()>& read, const SceneReadOptions& options,
                                  SceneReply& reply, std::string& error);

// Turns a soup into mesh (which must be empty): positions into level coordinates (z mirrored,
// scaled) with the winding flipped so that fronts stay where the modeller saw them, identical
// vertices joined, degenerate triangles dropped, missing normals made smooth. False with a
// clause in error for a bad scale, a position that is not finite or too far out, an index out
// of range, or no triangle left.
[[nodiscard]] bool buildSceneMesh(const SceneSoup& soup, double scale, SceneMesh& mesh, std::string& error);

// readScene for a scene held in memory (formatHint as for readSceneWithLibrary).
[[nodiscard]] bool readSceneFromMemory(std::span<const std::uint8_t> bytes, const std::string& formatHint,
                                       const SceneReadOptions& options, SceneMesh& mesh, std::string& error);

// Triangles thinner than this (their least height, in level units) are dropped as degenerate:
// their plane is not well defined at float precision, and no body could stand on them.
inline constexpr double minimumTriangleHeight = 1e-4;
// Positions farther than this from the origin on any axis (level units) are refused: floats
// there are too coarse for walking (0.125 units apart at a million).
inline constexpr double maximumCoordinate = 1e6;

}  // namespace vantrell
