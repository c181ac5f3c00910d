// Writes the reply seed of the scene fuzz corpus: a closed box room (12 triangles, one spawn
// node, a note) as the scene reading process would send it back.
#include <fstream>
#include <iostream>

#include "scene/SceneReading.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: scene_fuzz_seed OUTPUT_FILE\n";
        return 2;
    }
    vantrell::SceneReply reply;
    reply.status = vantrell::SceneReplyStatus::read;
    vantrell::SceneSoup& soup = reply.soup;
    for (int i = 0; i < 8; ++i) {
        soup.positions.push_back({i & 1 ? 3.0f : -3.0f, i & 2 ? 2.5f : 0.0f, i & 4 ? 4.0f : -4.0f});
        soup.normals.push_back({});
    }
    // Counter-clockwise seen from inside the box.
    soup.triangles = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5}, {0, 2, 6}, {0, 6, 4},
                      {1, 5, 7}, {1, 7, 3}, {0, 4, 5}, {0, 5, 1}, {2, 3, 7}, {2, 7, 6}};
    soup.spawns = {{"spawn", {0, 0.3, 0}}};
    soup.notes = {"the import library warns: an example"};
    const std::vector<std::uint8_t> bytes = vantrell::encodeSceneReply(reply);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
