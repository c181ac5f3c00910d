// Reading generated scenes of 100,000 and 1,000,000 triangles, as binary glTF (indexed, with
// normals) and as OBJ (quads without normals, so the reader cuts them and makes normals).
//
// For each file it times, best of a few runs: (a) readScene, the whole way (child process,
// reply over the pipe, building the mesh); (b) the import library alone, in this process;
// (c) building the mesh from the library's soup. It prints them side by side with the cost
// per million triangles, so the growth from 100k to 1M shows, and the reading process's peak
// resident memory.
//
//   scene_read_bench [--small]   (--small: 10,000 and 100,000 triangles, for quick runs)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SceneFiles.h"
#include "scene/SceneReading.h"

namespace {

using namespace vantrell;
using Clock = std::chrono::steady_clock;

constexpr int runs = 3;

// A rolling floor of quads: side x side cells, each cut into two triangles.
scenefiles::Mesh terrain(std::size_t triangles, bool withNormals) {
    const auto side = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(triangles) / 2.0)));
    scenefiles::Mesh mesh;
    auto height = [](double x, double z) { return 0.3 * std::sin(x * 0.37) * std::cos(z * 0.29); };
    for (std::size_t j = 0; j <= side; ++j) {
        for (std::size_t i = 0; i <= side; ++i) {
            const double x = static_cast<double>(i) * 0.5;
            const double z = static_cast<double>(j) * 0.5;
            mesh.positions.push_back({static_cast<float>(x), static_cast<float>(height(x, z)), static_cast<float>(-z)});
            if (withNormals) {
                const double dx = 0.3 * 0.37 * std::cos(x * 0.37) * std::cos(z * 0.29);
                const double dz = -0.3 * 0.29 * std::sin(x * 0.37) * std::sin(z * 0.29);
                mesh.normals.push_back(toFloat(normalized(Vector3d{-dx, 1, dz})));
            }
        }
    }
    const auto row = static_cast<std::uint32_t>(side + 1);
    for (std::uint32_t j = 0; j < side; ++j) {
        for (std::uint32_t i = 0; i < side; ++i) {
            const std::uint32_t a = j * row + i;
            // Counter-clockwise seen from above: x grows, then z falls (the rows go to -z).
            mesh.faces.push_back({a, a + 1, a + row + 1, a + row});
        }
    }
    return mesh;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

template <typename Work>
double best(Work work) {
    double fastest = INFINITY;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        fastest = std::min(fastest, seconds(Clock::now() - start));
    }
    return fastest;
}

struct Row {
    std::string name;
    std::size_t triangles = 0;
    double megabytes = 0;
    double whole = 0, library = 0, build = 0;
    long childPeakMegabytes = 0;
};

bool measure(const std::filesystem::path& path, Row& row) {
    row.megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    SceneMesh mesh;
    std::string error;
    bool ok = true;
    row.whole = best([&] { ok = ok && readScene(path.string(), {}, mesh, error); });
    if (!ok) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    row.triangles = mesh.triangles.size();
    struct rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    row.childPeakMegabytes = usage.ru_maxrss / 1024;  // the largest child so far
    SceneReply reply;
    row.library = best([&] { reply = readSceneWithLibrary(path.string()); });
    row.build = best([&] { ok = ok && buildSceneMesh(reply.soup, 1.0, mesh, error); });
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const bool small = argc > 1 && std::strcmp(argv[1], "--small") == 0;
    const std::size_t sizes[] = {small ? 10'000u : 100'000u, small ? 100'000u : 1'000'000u};
    const auto folder = std::filesystem::temp_directory_path() / ("vantrell-scene-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);

    std::vector<Row> rows;
    for (std::size_t n : sizes) {
        for (bool glb : {true, false}) {
            const auto path = folder / ("terrain-" + std::to_string(n) + (glb ? ".glb" : ".obj"));
            {
                std::ofstream out(path, std::ios::binary);
                if (glb) {
                    scenefiles::Scene scene;
                    scene.meshes = {terrain(n, true)};
                    scene.nodes.resize(1);
                    scene.nodes[0].mesh = 0;
                    scene.roots = {0};
                    const std::vector<std::uint8_t> bytes = scenefiles::glbBytes(scene);
                    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
                } else {
                    out << scenefiles::objText(terrain(n, false));
                }
            }
            Row row;
            row.name = path.filename().string();
            if (!measure(path, row)) {
                std::filesystem::remove_all(folder);
                return 1;
            }
            rows.push_back(row);
            std::filesystem::remove(path);
        }
    }
    std::filesystem::remove_all(folder);

    std::printf("%-20s %10s %8s %10s %10s %10s %11s %10s\n", "file", "triangles", "MB", "readScene", "library", "build",
                "s per 1M", "child MB");
    for (const Row& r : rows) {
        std::printf("%-20s %10zu %8.1f %9.3fs %9.3fs %9.3fs %10.3fs %10ld\n", r.name.c_str(), r.triangles, r.megabytes,
                    r.whole, r.library, r.build, r.whole / (static_cast<double>(r.triangles) / 1e6),
                    r.childPeakMegabytes);
    }
    // Per triangle, the large scene against the small one: about 1 for linear growth.
    for (std::size_t k = 0; k < 2; ++k) {
        const Row& a = rows[k];
        const Row& b = rows[k + 2];
        const double ratio =
            (b.whole / static_cast<double>(b.triangles)) / (a.whole / static_cast<double>(a.triangles));
        std::printf("%s: cost per triangle at %zu against %zu: %.2f\n", k == 0 ? "glb" : "obj", b.triangles,
                    a.triangles, ratio);
    }
    std::printf("readScene against the library alone (glb, %zu): %.2f\n", rows[2].triangles,
                rows[2].whole / rows[2].library);
    return 0;
}
