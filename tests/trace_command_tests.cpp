// The trace command, run as the built program on tiny levels written to a scratch folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "MovementLevels.h"
#include "level/LevelFile.h"
#include "walk/Walkthrough.h"

namespace vantrell {
namespace {

using testing::CommandRun;
using testing::shellQuoted;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

class TraceCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        testlevels::addFloor(level, 0.0f, 1.0f);
        levelPath = scratch.file("floor.bsp");
        ASSERT_TRUE(writeLevelFile(levelPath, level.geometry, level.partition));
    }

    std::string writeFile(const std::string& name, const std::string& text) { return scratch.write(name, text); }

    // Runs vantrell with the arguments (already quoted as needed) and script on standard input.
    CommandRun run(const std::string& arguments, const std::string& script = "") {
        return testing::runVantrell(arguments, scratch, writeFile("stdin.txt", script));
    }

    std::string trace(const std::string& options = "") { return "trace " + shellQuoted(levelPath) + " " + options; }

    testing::ScratchFolder scratch{"vantrell-trace"};
    testlevels::TestLevel level = testlevels::openLevel();
    std::string levelPath;
};

std::string formatFloat(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string stepLine(int k, const Vector3& p) {
    return "step " + std::to_string(k) + " " + formatFloat(p.x) + " " + formatFloat(p.y) + " " + formatFloat(p.z);
}

TEST_F(TraceCommandTest, StepsFollowTheCameraWithTheScriptsKeys) {
    // The same movement run in process: J is space, W and D walk.
    ManualCounter still;
    Walkthrough reference(level.geometry, level.partition, still, {0.2f, 0.02f, 0.1f}, {1, 0, 1});
    std::vector<std::string> expected;
    int k = 0;
    for (int i = 0; i < 2; ++i)
        reference.step(), expected.push_back(stepLine(++k, reference.camera().currentPosition()));
    reference.setMovementKeys({.forward = true, .right = true});
    for (int i = 0; i < 3; ++i)
        reference.step(), expected.push_back(stepLine(++k, reference.camera().currentPosition()));
    reference.setMovementKeys({.jump = true});
    reference.step(), expected.push_back(stepLine(++k, reference.camera().currentPosition()));

    const std::string script = "# a comment\n\nstep 2 -\r\n  step 3 wD\nstep 0 W\n\t# indented comment\nstep 1 j\n";
    const CommandRun r = run(trace("--position=0.2,0.02,0.1 --forward=1,0,1"), script);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), expected);
    // From a file too.
    const CommandRun fromFile =
        run(trace("--position=0.2,0.02,0.1 --forward=1,0,1 " + shellQuoted(writeFile("s.txt", script))));
    EXPECT_EQ(fromFile.out, r.out);
}

TEST_F(TraceCommandTest, TurnPrintsTheNewForward) {
    const CommandRun r = run(trace(), "turn 10 0\nturn -10 0\nturn 0 +10\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 3u);
    float x = 0, y = 0, z = 0;
    ASSERT_EQ(std::sscanf(out[0].c_str(), "turn %g %g %g", &x, &y, &z), 3);
    const float fiveDegrees = 5.0f * std::numbers::pi_v<float> / 180.0f;
    EXPECT_NEAR(x, std::cos(fiveDegrees), 1e-6f);
    EXPECT_EQ(y, 0.0f);
    EXPECT_NEAR(z, -std::sin(fiveDegrees), 1e-6f);
    ASSERT_EQ(std::sscanf(out[2].c_str(), "turn %g %g %g", &x, &y, &z), 3);
    EXPECT_NEAR(y, -std::sin(fiveDegrees), 1e-6f);
}

TEST_F(TraceCommandTest, SummaryTellsRestAndFallingOut) {
    const CommandRun resting = run(trace("--summary --position=0,0.03,0"), "step 20 -\n");
    ASSERT_EQ(resting.status, 0) << resting.err;
    std::vector<std::string> out = lines(resting.out);
    ASSERT_EQ(out.size(), 23u);
    EXPECT_EQ(out[20], "rest yes");
    EXPECT_EQ(out[21], "lowest 0.0299999993");
    EXPECT_EQ(out[22], "inside the level");

    // Beside the one-unit floor there is nothing: the body falls below the level's box.
    const CommandRun falling = run(trace("--summary --position=3,0.5,0"), "step 100 -\n");
    ASSERT_EQ(falling.status, 0) << falling.err;
    out = lines(falling.out);
    ASSERT_EQ(out.size(), 103u);
    EXPECT_EQ(out[100], "rest no");
    float lowest = 0;
    ASSERT_EQ(std::sscanf(out[101].c_str(), "lowest %g", &lowest), 1);
    EXPECT_LT(lowest, -3.0f);
    EXPECT_EQ(out[102], "fell out of the level");

    // Far above the level near the float range, the fall overflows: never "inside".
    const CommandRun lost = run(trace("--summary --position=0,3e38,0"), "step 1000 -\n");
    ASSERT_EQ(lost.status, 0) << lost.err;
    out = lines(lost.out);
    ASSERT_EQ(out.size(), 1003u);
    EXPECT_EQ(out[1000], "rest no");
    EXPECT_EQ(out[1002], "fell out of the level");
}

TEST_F(TraceCommandTest, ScriptErrorsNameTheLineAndStop) {
    struct Case {
        const char* script;
        int line;
    };
    for (const Case& c :
         {Case{"step 1 -\nstep 2 X\n", 2}, Case{"\n\nwalk 3 W\n", 3}, Case{"step -1 W\n", 1}, Case{"step 1.5 W\n", 1},
          Case{"step 2\n", 1}, Case{"step W 2\n", 1}, Case{"turn 1\n", 1}, Case{"turn 1 2.5\n", 1},
          Case{"turn 99999999999 0\n", 1}, Case{"step 99999999999999999999 -\n", 1}, Case{"step 3 - extra\n", 1},
          Case{"STEP 1 -\n", 1}}) {
        const CommandRun r = run(trace(), c.script);
        EXPECT_NE(r.status, 0) << c.script;
        EXPECT_NE(r.err.find("line " + std::to_string(c.line) + ":"), std::string::npos) << c.script << r.err;
    }
    // Steps before the bad line were run and printed.
    const CommandRun partial = run(trace(), "step 2 -\nnonsense\nstep 5 -\n");
    EXPECT_EQ(lines(partial.out).size(), 2u);
}

TEST_F(TraceCommandTest, AFolderAsScriptIsAnErrorNotACrash) {
    const CommandRun folder = run(trace(shellQuoted(scratch.path().string())));
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.out, "");
    EXPECT_EQ(folder.err, "vantrell: trace: script: " + scratch.path().string() + " is a folder\n");
    // Standard input that is a folder fails when read: said so, not thrown.
    const CommandRun input = testing::runVantrell(trace(), scratch, scratch.path().string());
    EXPECT_EQ(input.status, 1);
    EXPECT_EQ(input.out, "");
    EXPECT_EQ(input.err, "vantrell: trace: cannot read the script from standard input: Is a directory\n");
}

TEST_F(TraceCommandTest, ScriptErrorsAreRuntimeFailures) {
    const CommandRun r = run(trace(), "step 1 -\nwalk\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vantrell: trace: line 2: 'walk' is not a command (step N KEYS, or turn DX DY)\n");
}

TEST_F(TraceCommandTest, OverlongLineIsRefused) {
    const CommandRun r = run(trace(), "step 1 " + std::string(100000, 'W') + "\n");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("line 1:"), std::string::npos) << r.err;
}

TEST_F(TraceCommandTest, BadArgumentsAndLevelsAreRefused) {
    for (const char* options :
         {"--position=nan,0,0", "--position=1,2", "--forward=0,0,0", "--forward=inf,0,0", "--position=1e39,0,0"}) {
        const CommandRun r = run(trace(options), "step 1 -\n");
        EXPECT_NE(r.status, 0) << options;
        EXPECT_TRUE(r.out.empty()) << options;
        EXPECT_FALSE(r.err.empty()) << options;
    }
    const CommandRun missing = run(trace(shellQuoted(scratch.file("missing.txt"))), "");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "vantrell: trace: script: " + scratch.file("missing.txt") + " does not exist\n");
    EXPECT_EQ(run("trace " + shellQuoted(scratch.file("missing.bsp")), "step 1 -\n").status, 1);

    level.partition.spaces[0].triangleIndices.push_back(999);  // names no triangle
    const std::string broken = scratch.file("broken.bsp");
    ASSERT_TRUE(writeLevelFile(broken, level.geometry, level.partition));
    const CommandRun r = run("trace " + shellQuoted(broken), "step 1 -\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
}

}  // namespace
}  // namespace vantrell
