// The compile command, run as the built program on scenes the tests write as OBJ files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "CommandRunner.h"
#include "SceneBuilder.h"

namespace vantrell {
namespace {

using testing::CommandRun;
using namespace scenes;

// OBJ text of a mesh. The builder's fronts follow (p1 - p0) x (p2 - p0), which is also what a
// right-handed scene's counter-clockwise fronts give, so the file's fronts are the builder's.
std::string objText(const SceneMesh& mesh) {
    std::string text = "# written by the compile command tests\n";
    char line[128];
    for (const Vector3d& p : mesh.positions) {
        std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", p.x, p.y, p.z);
        text += line;
    }
    for (const auto& t : mesh.triangles) {
        std::snprintf(line, sizeof line, "f %u %u %u\n", t[0] + 1, t[1] + 1, t[2] + 1);
        text += line;
    }
    return text;
}

class CompileCommand : public ::testing::Test {
protected:
    CommandRun run(std::initializer_list<std::string> args) {
        std::string arguments;
        for (const std::string& arg : args) arguments.append(" ").append(testing::shellQuoted(arg));
        return testing::runVantrell(arguments, scratch);
    }
    std::string room(const std::string& name, const std::vector<Hole>& holes = {}) {
        SceneMesh mesh;
        addRoom(mesh, {-3, 0, -3}, {3, 3, 3}, holes);
        return scratch.write(name, objText(mesh));
    }
    nlohmann::json json(const std::string& path) {
        std::ifstream in(path);
        return nlohmann::json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    testing::ScratchFolder scratch{"vantrell-compile"};
};

TEST_F(CompileCommand, ClosedRoomGivesAValidWalkableLevelAndAReport) {
    const std::string level = scratch.file("room.bsp");
    const std::string report = scratch.file("room.json");
    const CommandRun r = run({"compile", room("room.obj"), level, "--report", report});
    ASSERT_EQ(r.status, 0) << r.err;
    // One line per stage, in order.
    std::size_t at = 0;
    for (const char* stage : {"read: 12 triangles", "split: ", "portals: ", "flood: ", "write: "}) {
        const std::size_t found = r.out.find(stage, at);
        ASSERT_NE(found, std::string::npos) << stage << " missing in\n" << r.out;
        EXPECT_TRUE(found == 0 || r.out[found - 1] == '\n') << stage;
        at = found + 1;
    }
    EXPECT_NE(r.out.find("the walk starts at 0,0.02,0 in scene coordinates (the middle of the largest floor"),
              std::string::npos)
        << r.out;
    const CommandRun info = run({"info", level});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("valid: yes"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("walkable: yes"), std::string::npos) << info.out;

    const nlohmann::json j = json(report);
    EXPECT_EQ(j["compiled"], true);
    EXPECT_EQ(j["spaces"], 2);
    EXPECT_EQ(j["triangles"], 12);
    EXPECT_EQ(j["leak"]["leaked"], false);
    EXPECT_EQ(j["stages"].size(), 5u);
    EXPECT_EQ(j["stages"][0]["name"], "read");
    EXPECT_EQ(j["stages"][4]["name"], "write");
    EXPECT_EQ(j["spawn"]["source"], "largest floor");
    EXPECT_GT(j["fileBytes"].get<int>(), 0);
}

TEST_F(CompileCommand, LeakFailsWithTheChainUnlessAllowed) {
    const std::string scene = room("leaky.obj", {{0, false, {0, 1, -0.5}, {0, 2, 0.5}}});
    const std::string level = scratch.file("leaky.bsp");
    const std::string report = scratch.file("leaky.json");
    const CommandRun r = run({"compile", scene, level, "--spawn", "0,1,0", "--report", report});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the scene leaks"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\n  space "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\n  outside"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(level));
    // The report of a failed compile holds the chain, each step with a point.
    const nlohmann::json j = json(report);
    EXPECT_EQ(j["compiled"], false);
    EXPECT_EQ(j["leak"]["leaked"], true);
    ASSERT_GE(j["leak"]["chain"].size(), 1u);
    EXPECT_EQ(j["leak"]["chain"][0]["point"].size(), 3u);

    const CommandRun allowed = run({"compile", scene, level, "--spawn", "0,1,0", "--allow-leak"});
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_NE(allowed.err.find("warning: the scene leaks"), std::string::npos) << allowed.err;
    EXPECT_EQ(run({"info", level}).status, 0);
}

TEST_F(CompileCommand, SpawnIsGivenInTheScenesOwnCoordinates) {
    const std::string report = scratch.file("spawn.json");
    // Scene z = 2 is level z = -2: the walk starts there either way round.
    const CommandRun r = run({"compile", room("room.obj"), scratch.file("room.bsp"), "--spawn", "1,2,2", "--scale",
                              "0.5", "--report", report});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json j = json(report);
    EXPECT_EQ(j["spawn"]["source"], "option");
    EXPECT_NEAR(j["spawn"]["point"][0].get<double>(), 1.0, 1e-9);
    EXPECT_NEAR(j["spawn"]["point"][1].get<double>(), 0.04, 1e-9);  // 0.02 level units above the floor
    EXPECT_NEAR(j["spawn"]["point"][2].get<double>(), 2.0, 1e-9);
}

TEST_F(CompileCommand, OutputsAreNeverWrittenOverUnasked) {
    const std::string scene = room("room.obj");
    const std::string level = scratch.write("kept.bsp", "not to be replaced");
    const CommandRun refused = run({"compile", scene, level});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    std::ifstream in(level);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not to be replaced");
    EXPECT_EQ(run({"compile", scene, level, "--force"}).status, 0);
    // Nor the scene itself.
    EXPECT_EQ(run({"compile", scene, scene, "--force"}).status, 1);
    EXPECT_EQ(run({"compile", scene, scratch.file("a.bsp"), "--report", scratch.file("a.bsp")}).status, 2);
}

TEST_F(CompileCommand, BadArgumentsAndBadScenes) {
    const std::string scene = room("room.obj");
    EXPECT_EQ(run({"compile", scene, scratch.file("x.bsp"), "--spawn", "1,2"}).status, 2);
    EXPECT_EQ(run({"compile", scene, scratch.file("x.bsp"), "--scale", "0"}).status, 2);
    EXPECT_EQ(run({"compile", scene}).status, 2);
    EXPECT_EQ(run({"compile", scratch.file("missing.obj"), scratch.file("x.bsp")}).status, 1);
    // Scenes that are noise, hold no triangle, or corners that are not numbers: a clear error
    // and status 1, never a crash.
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<char>((i * 7919 + 13) % 256));
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"noise.glb", "glTF" + noise},
                                     {"empty.obj", "# nothing\n"},
                                     {"nan.obj", "v nan 0 0\nv 1 0 0\nv 0 0 1\nf 1 2 3\n"},
                                     {"huge.obj", "v 0 0 0\nf 1 99999999999 3\n"}}) {
        SCOPED_TRACE(name);
        const CommandRun r = run({"compile", scratch.write(name, text), scratch.file(name + ".bsp")});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("vantrell: compile: cannot "), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(scratch.file(name + ".bsp")));
    }
}

}  // namespace
}  // namespace vantrell
