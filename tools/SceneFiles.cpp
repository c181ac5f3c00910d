#include "SceneFiles.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

namespace vantrell::scenefiles {
namespace {

using Json = nlohmann::ordered_json;

constexpr int floatComponent = 5126;
constexpr int uint32Component = 5125;
constexpr int arrayBuffer = 34962;
constexpr int elementArrayBuffer = 34963;

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putF32(std::vector<std::uint8_t>& out, float v) {
    putU32(out, std::bit_cast<std::uint32_t>(v));
}

// The shortest text that reads back as the same float, as a JSON number.
double tidy(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return std::strtod(text, nullptr);
}

std::string base64(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t b0 = bytes[i];
        const std::uint32_t b1 = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const std::uint32_t b2 = i + 2 < bytes.size() ? bytes[i + 2] : 0;
        const std::uint32_t triple = (b0 << 16) | (b1 << 8) | b2;
        out += digits[(triple >> 18) & 63];
        out += digits[(triple >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(triple >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[triple & 63] : '=';
    }
    return out;
}

// The document without its buffer's location, and the buffer's bytes.
Json document(const Scene& scene, std::vector<std::uint8_t>& buffer) {
    Json views = Json::array();
    Json accessors = Json::array();
    Json meshes = Json::array();
    auto addView = [&](std::size_t offset, int target) {
        views.push_back(
            {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", buffer.size() - offset}, {"target", target}});
        return views.size() - 1;
    };
    for (const Mesh& mesh : scene.meshes) {
        Json attributes;
        std::size_t offset = buffer.size();
        Vector3 low = mesh.positions.empty() ? Vector3{} : mesh.positions.front();
        Vector3 high = low;
        for (const Vector3& p : mesh.positions) {
            for (float c : {p.x, p.y, p.z}) putF32(buffer, c);
            low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
            high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        }
        accessors.push_back({{"bufferView", addView(offset, arrayBuffer)},
                             {"componentType", floatComponent},
                             {"count", mesh.positions.size()},
                             {"type", "VEC3"},
                             {"min", {tidy(low.x), tidy(low.y), tidy(low.z)}},
                             {"max", {tidy(high.x), tidy(high.y), tidy(high.z)}}});
        attributes["POSITION"] = accessors.size() - 1;
        if (!mesh.normals.empty()) {
            offset = buffer.size();
            for (const Vector3& n : mesh.normals) {
                for (float c : {n.x, n.y, n.z}) putF32(buffer, c);
            }
            accessors.push_back({{"bufferView", addView(offset, arrayBuffer)},
                                 {"componentType", floatComponent},
                                 {"count", mesh.normals.size()},
                                 {"type", "VEC3"}});
            attributes["NORMAL"] = accessors.size() - 1;
        }
        offset = buffer.size();
        std::size_t indices = 0;
        for (const auto& face : mesh.faces) {
            for (std::size_t k = 1; k + 1 < face.size(); ++k) {
                for (std::uint32_t index : {face[0], face[k], face[k + 1]}) putU32(buffer, index);
                indices += 3;
            }
        }
        accessors.push_back({{"bufferView", addView(offset, elementArrayBuffer)},
                             {"componentType", uint32Component},
                             {"count", indices},
                             {"type", "SCALAR"}});
        meshes.push_back(
            {{"primitives", Json::array({{{"attributes", attributes}, {"indices", accessors.size() - 1}}})}});
    }
    Json nodes = Json::array();
    for (const Node& node : scene.nodes) {
        Json n;
        if (!node.name.empty()) n["name"] = node.name;
        if (node.mesh >= 0) n["mesh"] = node.mesh;
        if (!node.children.empty()) n["children"] = node.children;
        if (node.useMatrix) {
            n["matrix"] = node.matrix;
        } else {
            if (node.translation != std::array<double, 3>{0, 0, 0}) n["translation"] = node.translation;
            if (node.rotation != std::array<double, 4>{0, 0, 0, 1}) n["rotation"] = node.rotation;
            if (node.scale != std::array<double, 3>{1, 1, 1}) n["scale"] = node.scale;
        }
        nodes.push_back(n);
    }
    Json doc;
    doc["asset"] = {{"version", "2.0"}, {"generator", "vantrell makescenes"}};
    doc["scene"] = 0;
    doc["scenes"] = Json::array({{{"nodes", scene.roots}}});
    doc["nodes"] = nodes;
    doc["meshes"] = meshes;
    doc["accessors"] = accessors;
    doc["bufferViews"] = views;
    return doc;
}

void orderCorners(Vector3& b, Vector3& c, const Vector3& a, const Vector3& facing) {
    if (dot(cross(b - a, c - a), facing) < 0) std::swap(b, c);
}

}  // namespace

std::string gltfText(const Scene& scene) {
    std::vector<std::uint8_t> buffer;
    Json doc = document(scene, buffer);
    doc["buffers"] = Json::array(
        {{{"byteLength", buffer.size()}, {"uri", "data:application/octet-stream;base64," + base64(buffer)}}});
    return doc.dump(1) + "\n";
}

std::vector<std::uint8_t> glbBytes(const Scene& scene) {
    std::vector<std::uint8_t> buffer;
    Json doc = document(scene, buffer);
    doc["buffers"] = Json::array({{{"byteLength", buffer.size()}}});
    std::string json = doc.dump();
    while (json.size() % 4 != 0) json += ' ';
    while (buffer.size() % 4 != 0) buffer.push_back(0);
    std::vector<std::uint8_t> out;
    putU32(out, 0x46546C67);  // "glTF"
    putU32(out, 2);
    putU32(out, static_cast<std::uint32_t>(12 + 8 + json.size() + 8 + buffer.size()));
    putU32(out, static_cast<std::uint32_t>(json.size()));
    putU32(out, 0x4E4F534A);  // "JSON"
    out.insert(out.end(), json.begin(), json.end());
    putU32(out, static_cast<std::uint32_t>(buffer.size()));
    putU32(out, 0x004E4942);  // "BIN"
    out.insert(out.end(), buffer.begin(), buffer.end());
    return out;
}

std::string objText(const Mesh& mesh) {
    std::string out = "# written by vantrell makescenes\n";
    char line[128];
    for (const Vector3& p : mesh.positions) {
        std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", p.x, p.y, p.z);
        out += line;
    }
    for (const Vector3& n : mesh.normals) {
        std::snprintf(line, sizeof line, "vn %.9g %.9g %.9g\n", n.x, n.y, n.z);
        out += line;
    }
    const bool normals = !mesh.normals.empty();
    for (const auto& face : mesh.faces) {
        out += 'f';
        for (std::uint32_t index : face) {
            out += ' ' + std::to_string(index + 1);
            if (normals) out += "//" + std::to_string(index + 1);
        }
        out += '\n';
    }
    return out;
}

void addRectangle(Mesh& mesh, const Vector3& corner, const Vector3& u, const Vector3& v, const Vector3& facing,
                  bool withNormals) {
    Vector3 first = u;
    Vector3 second = v;
    if (dot(cross(u, v), facing) < 0) std::swap(first, second);
    const auto base = static_cast<std::uint32_t>(mesh.positions.size());
    mesh.positions.insert(mesh.positions.end(), {corner, corner + first, corner + first + second, corner + second});
    if (withNormals) mesh.normals.insert(mesh.normals.end(), 4, normalized(facing));
    mesh.faces.push_back({base, base + 1, base + 2, base + 3});
}

void addTriangle(Mesh& mesh, const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& facing,
                 bool withNormals) {
    Vector3 second = b;
    Vector3 third = c;
    orderCorners(second, third, a, facing);
    const auto base = static_cast<std::uint32_t>(mesh.positions.size());
    mesh.positions.insert(mesh.positions.end(), {a, second, third});
    if (withNormals) mesh.normals.insert(mesh.normals.end(), 3, normalized(facing));
    mesh.faces.push_back({base, base + 1, base + 2});
}

}  // namespace vantrell::scenefiles
