// Feeds arbitrary bytes to the scene front end, two ways, told apart by the reply's magic:
//  - bytes that start "VSR1" are a reply of the scene reading process: decoded in process,
//    then built into a mesh (the parent's side, which must hold against a child gone wrong);
//  - any other bytes are a scene file read as the program reads one, by the import library
//    in a child process under limits (slow, one fork per input, but the library's hangs and
//    crashes stay in the child).
// Either must refuse with a reason or give a mesh whose indices are in range and whose points
// and normals are finite; never crash, hang or allocate without bound. Seeds: the example
// scenes and the reply that scene_fuzz_seed writes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scene/SceneReading.h"

namespace {

void check(bool ok, const vantrell::SceneMesh& mesh, const std::string& error) {
    if (!ok) {
        if (error.empty()) std::abort();
        return;
    }
    if (mesh.triangles.empty() || mesh.normals.size() != mesh.positions.size()) std::abort();
    for (const auto& t : mesh.triangles) {
        for (std::uint32_t index : t) {
            if (index >= mesh.positions.size()) std::abort();
        }
    }
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        if (!vantrell::isFinite(mesh.positions[i])) std::abort();
        if (std::abs(vantrell::length(mesh.normals[i]) - 1.0) > 1e-6) std::abort();
    }
    if (mesh.spawn && !vantrell::isFinite(*mesh.spawn)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    vantrell::SceneMesh mesh;
    std::string error;
    if (size >= 4 && std::memcmp(data, "VSR1", 4) == 0) {
        vantrell::SceneReply reply;
        if (!vantrell::decodeSceneReply(bytes, reply, error)) {
            if (error.empty()) std::abort();
            return 0;
        }
        if (reply.status != vantrell::SceneReplyStatus::read) return 0;
        const bool ok = vantrell::buildSceneMesh(reply.soup, 1.0, mesh, error);
        check(ok, mesh, error);
        return 0;
    }
    vantrell::SceneReadOptions options;
    options.memoryLimitBytes = std::size_t{256} << 20;
    options.timeLimitSeconds = 2;
    const bool ok = vantrell::readSceneFromMemory(bytes, "", options, mesh, error);
    check(ok, mesh, error);
    return 0;
}
