// The reply of the scene reading process, little-endian:
//
//   "VSR1"                        magic and version
//   u8  status                    SceneReplyStatus
//   str message                   (str: u32 length, then the bytes)
//   u32 note count, str each
//   u32 spawn count, each: str name, f64 x, y, z
//   u64 vertex count, each: f32 position x, y, z, f32 normal x, y, z
//   u64 triangle count, each: u32 three vertex indices
//
// The counts come from another process that ran a library on untrusted input, so they are
// checked like any file's: against the limits and against the bytes that are left.
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "scene/SceneReading.h"

namespace vantrell {
namespace {

constexpr std::array<std::uint8_t, 4> magic{'V', 'S', 'R', '1'};
constexpr std::size_t maxMessageBytes = 4096;
constexpr std::size_t maxNotes = 256;
constexpr std::size_t maxSpawns = 256;
constexpr std::size_t vertexBytes = 24;
constexpr std::size_t triangleBytes = 12;

class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
    void u8(std::uint8_t v) { out_.push_back(v); }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
    void f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }
    // Strings longer than the reader takes are cut; these are messages, nothing depends on
    // their tail.
    void str(const std::string& s) {
        const std::size_t n = std::min(s.size(), maxMessageBytes);
        u32(static_cast<std::uint32_t>(n));
        out_.insert(out_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    }

private:
    std::vector<std::uint8_t>& out_;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    [[nodiscard]] std::size_t left() const { return bytes_.size() - at_; }
    bool u8(std::uint8_t& v) {
        if (left() < 1) return false;
        v = bytes_[at_++];
        return true;
    }
    bool u32(std::uint32_t& v) {
        if (left() < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(bytes_[at_++]) << (8 * i);
        return true;
    }
    bool u64(std::uint64_t& v) {
        if (left() < 8) return false;
        v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(bytes_[at_++]) << (8 * i);
        return true;
    }
    // Callers check left() for whole records first; these then cannot fail.
    float f32Unchecked() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(bytes_[at_++]) << (8 * i);
        return std::bit_cast<float>(v);
    }
    std::uint32_t u32Unchecked() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(bytes_[at_++]) << (8 * i);
        return v;
    }
    bool f64(double& v) {
        std::uint64_t bits = 0;
        if (!u64(bits)) return false;
        v = std::bit_cast<double>(bits);
        return true;
    }
    bool str(std::string& s) {
        std::uint32_t n = 0;
        if (!u32(n) || n > maxMessageBytes || n > left()) return false;
        s.assign(reinterpret_cast<const char*>(bytes_.data() + at_), n);
        at_ += n;
        return true;
    }
    bool bytes(std::span<const std::uint8_t> expected) {
        if (left() < expected.size()) return false;
        if (std::memcmp(bytes_.data() + at_, expected.data(), expected.size()) != 0) return false;
        at_ += expected.size();
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

bool fail(std::string& error, const char* what) {
    error = std::string("malformed reply from the scene reading process (") + what + ")";
    return false;
}

}  // namespace

std::vector<std::uint8_t> encodeSceneReply(const SceneReply& reply) {
    const SceneSoup& soup = reply.soup;
    std::vector<std::uint8_t> out;
    out.reserve(64 + soup.positions.size() * vertexBytes + soup.triangles.size() * triangleBytes);
    Writer w(out);
    for (std::uint8_t b : magic) w.u8(b);
    w.u8(static_cast<std::uint8_t>(reply.status));
    w.str(reply.message);
    const std::size_t notes = std::min(soup.notes.size(), maxNotes);
    w.u32(static_cast<std::uint32_t>(notes));
    for (std::size_t i = 0; i < notes; ++i) w.str(soup.notes[i]);
    const std::size_t spawns = std::min(soup.spawns.size(), maxSpawns);
    w.u32(static_cast<std::uint32_t>(spawns));
    for (std::size_t i = 0; i < spawns; ++i) {
        w.str(soup.spawns[i].name);
        w.f64(soup.spawns[i].position.x);
        w.f64(soup.spawns[i].position.y);
        w.f64(soup.spawns[i].position.z);
    }
    w.u64(soup.positions.size());
    for (std::size_t i = 0; i < soup.positions.size(); ++i) {
        const Vector3& p = soup.positions[i];
        const Vector3 n = i < soup.normals.size() ? soup.normals[i] : Vector3{};
        for (float v : {p.x, p.y, p.z, n.x, n.y, n.z}) w.f32(v);
    }
    w.u64(soup.triangles.size());
    for (const auto& t : soup.triangles) {
        for (std::uint32_t index : t) w.u32(index);
    }
    return out;
}

bool decodeSceneReply(std::span<const std::uint8_t> bytes, SceneReply& reply, std::string& error) {
    reply = {};
    Reader r(bytes);
    if (!r.bytes(magic)) return fail(error, "no header");
    std::uint8_t status = 0;
    if (!r.u8(status) || status > static_cast<std::uint8_t>(SceneReplyStatus::tooManyTriangles)) {
        return fail(error, "unknown status");
    }
    reply.status = static_cast<SceneReplyStatus>(status);
    if (!r.str(reply.message)) return fail(error, "message");

    SceneSoup& soup = reply.soup;
    std::uint32_t notes = 0;
    if (!r.u32(notes) || notes > maxNotes || notes > r.left() / 4) return fail(error, "note count");
    soup.notes.resize(notes);
    for (std::string& note : soup.notes) {
        if (!r.str(note)) return fail(error, "note");
    }
    std::uint32_t spawns = 0;
    if (!r.u32(spawns) || spawns > maxSpawns || spawns > r.left() / 28) return fail(error, "spawn count");
    soup.spawns.resize(spawns);
    for (SceneSpawn& spawn : soup.spawns) {
        if (!r.str(spawn.name) || !r.f64(spawn.position.x) || !r.f64(spawn.position.y) || !r.f64(spawn.position.z)) {
            return fail(error, "spawn");
        }
    }

    std::uint64_t vertices = 0;
    if (!r.u64(vertices) || vertices > maxSceneVertices || vertices > r.left() / vertexBytes) {
        return fail(error, "vertex count");
    }
    soup.positions.resize(vertices);
    soup.normals.resize(vertices);
    for (std::size_t i = 0; i < vertices; ++i) {
        Vector3& p = soup.positions[i];
        Vector3& n = soup.normals[i];
        p.x = r.f32Unchecked();
        p.y = r.f32Unchecked();
        p.z = r.f32Unchecked();
        n.x = r.f32Unchecked();
        n.y = r.f32Unchecked();
        n.z = r.f32Unchecked();
    }
    std::uint64_t triangles = 0;
    if (!r.u64(triangles) || triangles > maxSceneTriangles || triangles != r.left() / triangleBytes ||
        r.left() % triangleBytes != 0) {
        return fail(error, "triangle count");
    }
    soup.triangles.resize(triangles);
    for (auto& t : soup.triangles) {
        for (std::uint32_t& index : t) {
            index = r.u32Unchecked();
            if (index >= vertices) return fail(error, "index out of range");
        }
    }
    return true;
}

}  // namespace vantrell
