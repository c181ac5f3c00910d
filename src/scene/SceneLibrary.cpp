// The import library's side of reading a scene: read the file, walk its nodes, and hand back
// the triangles with each node's transform applied. Runs in the child process of
// runSceneReader (and in process only for tests and the fuzz target).
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/Logger.hpp>
#include <cctype>
#include <new>
#include <unordered_set>
#include <utility>

#include "scene/SceneReading.h"

namespace vantrell {
namespace {

constexpr std::size_t maxLibraryNotes = 20;

// The library tells of faces it dropped and data it ignored only in its log: this logger keeps
// its warnings and errors so that they reach the user.
class NoteLogger final : public Assimp::Logger {
public:
    NoteLogger() : Assimp::Logger(Assimp::Logger::NORMAL) {}
    bool attachStream(Assimp::LogStream*, unsigned int) override { return false; }
    bool detachStream(Assimp::LogStream*, unsigned int) override { return false; }

    std::vector<std::string> notes;
    std::size_t notesLeftOut = 0;

protected:
    void OnDebug(const char*) override {}
    void OnVerboseDebug(const char*) override {}
    void OnInfo(const char*) override {}
    void OnWarn(const char* message) override { add("the import library warns: ", message); }
    void OnError(const char* message) override { add("the import library reports an error: ", message); }

private:
    void add(const char* prefix, const char* message) {
        std::string note = prefix;
        note += message ? message : "";
        while (!note.empty() && std::isspace(static_cast<unsigned char>(note.back()))) note.pop_back();
        for (const std::string& known : notes) {
            if (known == note) return;
        }
        if (notes.size() < maxLibraryNotes) {
            notes.push_back(std::move(note));
        } else {
            ++notesLeftOut;
        }
    }
};

// Installs a NoteLogger as the library's logger for one reading; the library owns it while it
// is installed and deletes it when killed.
class LogCapture {
public:
    LogCapture() : logger_(new NoteLogger) { Assimp::DefaultLogger::set(logger_); }
    ~LogCapture() { Assimp::DefaultLogger::kill(); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void moveNotesTo(std::vector<std::string>& out) {
        for (std::string& note : logger_->notes) out.push_back(std::move(note));
        if (logger_->notesLeftOut > 0) {
            out.push_back("the import library has " + std::to_string(logger_->notesLeftOut) + " more warnings");
        }
        logger_->notes.clear();
        logger_->notesLeftOut = 0;
    }

private:
    NoteLogger* logger_;
};

// An affine transform in double precision: p' = linear * p + translation, rows of m.
struct Affine {
    double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

    static Affine of(const aiMatrix4x4& a) {
        Affine t;
        const double rows[3][4] = {{a.a1, a.a2, a.a3, a.a4}, {a.b1, a.b2, a.b3, a.b4}, {a.c1, a.c2, a.c3, a.c4}};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) t.m[r][c] = rows[r][c];
        }
        return t;
    }
    // this * other: other applies first.
    [[nodiscard]] Affine then(const Affine& other) const {
        Affine t;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                double v = m[r][0] * other.m[0][c] + m[r][1] * other.m[1][c] + m[r][2] * other.m[2][c];
                if (c == 3) v += m[r][3];
                t.m[r][c] = v;
            }
        }
        return t;
    }
    [[nodiscard]] Vector3d point(const Vector3d& p) const {
        return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
                m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
                m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
    }
    [[nodiscard]] double determinant() const {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    }
    // Normals go through the inverse transpose of the linear part; up to the factor
    // 1 / determinant that is the cofactor matrix, and only the factor's sign matters here.
    [[nodiscard]] Vector3d normal(const Vector3d& n, double determinantSign) const {
        const Vector3d r0{m[0][0], m[0][1], m[0][2]};
        const Vector3d r1{m[1][0], m[1][1], m[1][2]};
        const Vector3d r2{m[2][0], m[2][1], m[2][2]};
        // The inverse's columns are r1 x r2, r2 x r0 and r0 x r1 over the determinant, so
        // those are the rows of the inverse transpose.
        const Vector3d out{dot(cross(r1, r2), n), dot(cross(r2, r0), n), dot(cross(r0, r1), n)};
        return unitOrZero(out * determinantSign);
    }
};

bool isSpawnName(const aiString& name) {
    std::string lower(name.C_Str(), name.length);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "spawn" || lower == "info_player_start";
}

Vector3d toVector(const aiVector3D& v) {
    return {v.x, v.y, v.z};
}

// Appends one mesh placed by transform. False when the soup would pass the limits.
bool addMesh(const aiMesh& mesh, const Affine& transform, SceneSoup& soup, std::size_t& leftOutFaces,
             std::size_t& badFaces) {
    if (mesh.mNumVertices == 0 || mesh.mVertices == nullptr || mesh.mFaces == nullptr) return true;
    if (mesh.mNumVertices > maxSceneVertices - soup.positions.size()) return false;
    const double det = transform.determinant();
    const double sign = det < 0 ? -1.0 : 1.0;
    const auto base = static_cast<std::uint32_t>(soup.positions.size());
    for (unsigned int i = 0; i < mesh.mNumVertices; ++i) {
        soup.positions.push_back(toFloat(transform.point(toVector(mesh.mVertices[i]))));
        Vector3d n{};
        if (mesh.mNormals != nullptr && det != 0) n = transform.normal(toVector(mesh.mNormals[i]), sign);
        soup.normals.push_back(toFloat(n));
    }
    for (unsigned int f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices != 3 || face.mIndices == nullptr) {
            ++leftOutFaces;
            continue;
        }
        std::array<std::uint32_t, 3> t{face.mIndices[0], face.mIndices[1], face.mIndices[2]};
        if (t[0] >= mesh.mNumVertices || t[1] >= mesh.mNumVertices || t[2] >= mesh.mNumVertices) {
            ++badFaces;
            continue;
        }
        // A mirroring transform turns the winding over; turn it back so the front stays the
        // side the modeller saw.
        if (det < 0) std::swap(t[1], t[2]);
        if (soup.triangles.size() >= maxSceneTriangles) return false;
        soup.triangles.push_back({base + t[0], base + t[1], base + t[2]});
    }
    return true;
}

// Walks the node tree depth first (without recursion: a file may nest nodes deeply), placing
// every mesh each node names and noting the spawn nodes.
SceneReply soupOf(const aiScene& scene) {
    SceneReply reply;
    reply.status = SceneReplyStatus::read;
    SceneSoup& soup = reply.soup;
    std::size_t leftOutFaces = 0;
    std::size_t badFaces = 0;
    std::size_t badMeshes = 0;
    std::unordered_set<const aiNode*> seen;
    std::vector<std::pair<const aiNode*, Affine>> stack;
    if (scene.mRootNode != nullptr) stack.emplace_back(scene.mRootNode, Affine::of(scene.mRootNode->mTransformation));
    while (!stack.empty()) {
        const auto [node, transform] = stack.back();
        stack.pop_back();
        if (!seen.insert(node).second) continue;  // a node reached twice would be placed twice
        if (node->mNumMeshes == 0 && isSpawnName(node->mName)) {
            soup.spawns.push_back({std::string(node->mName.C_Str(), node->mName.length), transform.point({})});
        }
        for (unsigned int i = 0; i < node->mNumMeshes && node->mMeshes != nullptr; ++i) {
            const unsigned int meshIndex = node->mMeshes[i];
            if (meshIndex >= scene.mNumMeshes || scene.mMeshes == nullptr || scene.mMeshes[meshIndex] == nullptr) {
                ++badMeshes;
                continue;
            }
            if (!addMesh(*scene.mMeshes[meshIndex], transform, soup, leftOutFaces, badFaces)) {
                SceneReply tooMany;
                tooMany.status = SceneReplyStatus::tooManyTriangles;
                return tooMany;
            }
        }
        // Children pushed in reverse so that they come off the stack in the file's order.
        for (unsigned int i = node->mNumChildren; i-- > 0 && node->mChildren != nullptr;) {
            const aiNode* child = node->mChildren[i];
            if (child != nullptr) stack.emplace_back(child, transform.then(Affine::of(child->mTransformation)));
        }
    }
    auto leftOut = [&](std::size_t count, const char* one, const char* many) {
        if (count > 0) soup.notes.push_back("left out " + std::to_string(count) + " " + (count == 1 ? one : many));
    };
    leftOut(leftOutFaces, "line or point, which a level cannot hold", "lines and points, which a level cannot hold");
    leftOut(badFaces, "face whose vertex indices are out of range", "faces whose vertex indices are out of range");
    leftOut(badMeshes, "reference to a mesh that does not exist", "references to meshes that do not exist");
    return reply;
}

constexpr unsigned int readFlags = aiProcess_Triangulate | aiProcess_ValidateDataStructure;

SceneReply finish(const aiScene* scene, Assimp::Importer& importer, LogCapture& log) {
    if (scene == nullptr) {
        SceneReply reply;
        const std::string why = importer.GetErrorString();
        reply.status =
            why.find("bad_alloc") != std::string::npos ? SceneReplyStatus::outOfMemory : SceneReplyStatus::failed;
        reply.message = why.empty() ? "the import library cannot read it" : why;
        return reply;
    }
    SceneReply reply = soupOf(*scene);
    log.moveNotesTo(reply.soup.notes);
    return reply;
}

template <typename Read>
SceneReply guarded(Read read) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
        SceneReply reply;
        reply.status = SceneReplyStatus::outOfMemory;
        return reply;
    } catch (const std::exception& e) {
        SceneReply reply;
        reply.message = e.what();
        return reply;
    }
}

}  // namespace

SceneReply readSceneWithLibrary(const std::string& path) {
    return guarded([&] {
        LogCapture log;
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, readFlags);
        return finish(scene, importer, log);
    });
}

SceneReply readSceneWithLibrary(std::span<const std::uint8_t> bytes, const std::string& formatHint) {
    return guarded([&] {
        if (bytes.empty()) {
            SceneReply reply;
            reply.message = "the file is empty";
            return reply;
        }
        // The library takes a short extension as the hint; anything else means no hint.
        const bool usable = formatHint.size() <= 8 && std::all_of(formatHint.begin(), formatHint.end(), [](char c) {
                                return std::isalnum(static_cast<unsigned char>(c)) != 0;
                            });
        const std::string hint = usable ? formatHint : std::string();
        LogCapture log;
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), readFlags, hint.c_str());
        return finish(scene, importer, log);
    });
}

}  // namespace vantrell
