// The info and locate commands, run as the built program: output, JSON keys and exit status.
#include <gtest/gtest.h>

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "level_bytes.h"

namespace vantrell {
namespace {

using testing::CommandRun;

class CommandTest : public ::testing::Test {
protected:
    std::string write(const std::string& bytes, const std::string& name) { return scratch.write(name, bytes); }

    CommandRun run(std::initializer_list<std::string> args) {
        std::string arguments;
        for (const std::string& arg : args) arguments.append(" ").append(testing::shellQuoted(arg));
        return testing::runVantrell(arguments, scratch);
    }

    nlohmann::json infoJson(const std::string& path, int expectedStatus) {
        const CommandRun r = run({"info", path, "--json"});
        EXPECT_EQ(r.status, expectedStatus) << r.err;
        return nlohmann::json::parse(r.out);
    }

    testing::ScratchFolder scratch{"vantrell-commands"};
};

TEST_F(CommandTest, InfoJsonOnAValidLevel) {
    const nlohmann::json j = infoJson(write(oneTriangleLevel(), "one-triangle.bsp"), 0);
    EXPECT_EQ(j["result"], 0);
    EXPECT_EQ(j["message"], "BSP file successfully loaded!");
    EXPECT_EQ(j["vertices"], 3);
    EXPECT_EQ(j["normals"], 1);
    EXPECT_EQ(j["planes"], 1);
    EXPECT_EQ(j["triangles"], 1);
    EXPECT_EQ(j["nodes"], 1);
    EXPECT_EQ(j["spaces"], 2);
    EXPECT_EQ(j["triangleEntries"], 1);
    EXPECT_EQ(j["adjacencyRows"], 2);
    EXPECT_EQ(j["adjacencyRowBytes"], 1);
    EXPECT_EQ(j["neighbourLinks"], 2);
    EXPECT_EQ(j["valid"], true);
    EXPECT_EQ(j["problems"], nlohmann::json::array());
    EXPECT_EQ(j["walkable"], true);
    EXPECT_EQ(j["walkableCheck"]["offences"], 0);
    EXPECT_EQ(j.size(), 16u);
}

TEST_F(CommandTest, InfoJsonOnBrokenFilesGivesTheResultAsStatus) {
    const std::string full = oneTriangleLevel();
    const nlohmann::json cut = infoJson(write(full.substr(0, 188), "cut.bsp"), 3);
    EXPECT_EQ(cut["result"], 3);
    EXPECT_EQ(cut["message"], "Corrupted BSP file!");
    EXPECT_EQ(cut["nodes"], 1);
    EXPECT_EQ(cut["spaces"], 1);  // the partial level is counted
    EXPECT_EQ(cut["triangleEntries"], 1);
    EXPECT_EQ(cut["adjacencyRows"], 0);
    EXPECT_EQ(cut["adjacencyRowBytes"], 0);
    EXPECT_EQ(cut["valid"], false);
    EXPECT_EQ(cut["problems"], nlohmann::json::array());

    const nlohmann::json notLevel = infoJson(write("bsp!", "lower.bsp"), 1);
    EXPECT_EQ(notLevel["message"], "Not a BSP file!");
    std::string version = full;
    version[3] = 4;
    EXPECT_EQ(infoJson(write(version, "v4.bsp"), 2)["message"], "Bad version of BSP!");

    // Complete, but a bit names a space the level does not have.
    std::string invalid = full;
    invalid[225] = 0x05;
    const nlohmann::json bad = infoJson(write(invalid, "invalid.bsp"), 4);
    EXPECT_EQ(bad["result"], 0);
    EXPECT_EQ(bad["valid"], false);
    EXPECT_EQ(bad["neighbourLinks"], 3);
    EXPECT_EQ(bad["problems"], nlohmann::json::array({"adjacency row 1 names space 2, but the level has 2 spaces"}));
}

TEST_F(CommandTest, InfoSaysWhyAPathCannotBeOpenedOnStandardErrorOnly) {
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json);
        const std::string missing = scratch.file("missing.bsp");
        const CommandRun gone = json ? run({"info", missing, "--json"}) : run({"info", missing});
        EXPECT_EQ(gone.status, 1);
        EXPECT_EQ(gone.out, "");
        EXPECT_EQ(gone.err, "vantrell: info: " + missing + " does not exist\n");

        const std::string folder = scratch.path().string();
        const CommandRun directory = json ? run({"info", folder, "--json"}) : run({"info", folder});
        EXPECT_EQ(directory.status, 1);
        EXPECT_EQ(directory.out, "");
        EXPECT_EQ(directory.err, "vantrell: info: " + folder + " is a folder\n");
    }
    // A file that is read but is no level is still summarised: its result is info's answer.
    const CommandRun text = run({"info", write("hello", "text.bsp")});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out, scratch.file("text.bsp") + ": Not a BSP file! (result 1)\n");
    EXPECT_EQ(text.err, "");
}

TEST_F(CommandTest, InfoReadableSummary) {
    const CommandRun r = run({"info", write(oneTriangleLevel(), "one-triangle.bsp")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("BSP file successfully loaded!"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bounds of all spaces (0, -1, 0) to (1, 1, 1)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("valid: yes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("walkable: yes"), std::string::npos) << r.out;
}

// The one-triangle level with its triangle on a plane of its own that faces down, away from the
// space that lists it: valid, but not walkable.
std::string triangleFacingAwayFromItsSpace() {
    Bytes b;
    b.header();
    b.u32(3).floats({0, 0, 0}).floats({1, 0, 0}).floats({0, 0, 1});
    b.u32(1).floats({0, 1, 0});
    b.u32(2).floats({0, 1, 0, 0}).floats({0, -1, 0, 0});
    b.u32(1).i32(0).i32(1).i32(2).i32(0).i32(0).i32(0).i32(1);
    b.u32(1).i32(0).i32(-1).i32(-2).floats({0, -1, 0, 1, 1, 1});
    b.u32(2);
    b.floats({0, 0, 0, 1, 1, 1}).u32(1).i32(0);
    b.floats({0, -1, 0, 1, 0, 1}).u32(0);
    b.u32(2).u32(1).u8(0x02).u8(0x01);
    return b.data;
}

TEST_F(CommandTest, InfoReportsWalkableApartFromValid) {
    const std::string path = write(triangleFacingAwayFromItsSpace(), "away.bsp");
    const CommandRun r = run({"info", path});
    EXPECT_EQ(r.status, 0) << "an unwalkable level is still valid";
    EXPECT_NE(r.out.find("valid: yes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  walkable: no, 1 offending (space, triangle) pair:\n"
                         "    space 0, triangle 0: part of the space lies 1 behind the triangle's plane\n"),
              std::string::npos)
        << r.out;
    const nlohmann::json j = infoJson(path, 0);
    EXPECT_EQ(j["walkable"], false);
    EXPECT_EQ(j["walkableCheck"]["offences"], 1);
    EXPECT_EQ(j["walkableCheck"]["examples"][0]["space"], 0);
    EXPECT_EQ(j["walkableCheck"]["examples"][0]["triangle"], 0);

    // Not checked at all when the level is not valid.
    std::string invalid = oneTriangleLevel();
    invalid.replace(120, 4, std::string("\x05\0\0\0", 4));
    const nlohmann::json bad = infoJson(write(invalid, "invalid.bsp"), 4);
    EXPECT_TRUE(bad["walkable"].is_null());
    EXPECT_FALSE(bad.contains("walkableCheck"));
}

TEST_F(CommandTest, LocateWalksTheTree) {
    const std::string path = write(oneTriangleLevel(), "one-triangle.bsp");
    const CommandRun above = run({"locate", path, "0.5,1,0.5"});
    EXPECT_EQ(above.status, 0) << above.err;
    EXPECT_EQ(above.out, "0\n");
    EXPECT_EQ(run({"locate", path, "0.5,0,0.5"}).out, "0\n");  // on the plane: front
    EXPECT_EQ(run({"locate", path, "0,-0.25,0"}).out, "1\n");
    const CommandRun negative = run({"locate", path, "-3,-2,-1"});
    EXPECT_EQ(negative.status, 0) << negative.err;
    EXPECT_EQ(negative.out, "1\n");
}

TEST_F(CommandTest, LocateRefusesInvalidLevelsAndPoints) {
    std::string invalid = oneTriangleLevel();
    invalid.replace(120, 4, std::string("\x05\0\0\0", 4));  // the node's front child becomes node 5 of 1
    const CommandRun bad = run({"locate", write(invalid, "invalid.bsp"), "0,1,0"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_NE(bad.err.find("node 0 names child node 5, but the level has 1 node"), std::string::npos) << bad.err;

    const CommandRun cut = run({"locate", write(oneTriangleLevel().substr(0, 200), "cut.bsp"), "0,1,0"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(cut.out.empty());
    EXPECT_NE(cut.err.find("vantrell: locate: "), std::string::npos) << cut.err;
    EXPECT_NE(cut.err.find("Corrupted BSP file!"), std::string::npos) << cut.err;

    const std::string path = write(oneTriangleLevel(), "one-triangle.bsp");
    for (const std::string point : {"1,2", "nan,0,0", "0,inf,0", "1,2,3,4", "1,,3", "x,0,0", "1e40,0,0"}) {
        SCOPED_TRACE(point);
        const CommandRun r = run({"locate", path, point});
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(CommandTest, LocateKeepsItsAnswerForPointsOutsideEveryBox) {
    const CommandRun far = run({"locate", write(oneTriangleLevel(), "one-triangle.bsp"), "1000,1000,1000"});
    EXPECT_EQ(far.status, 0);
    EXPECT_EQ(far.out, "0\n");
    EXPECT_EQ(far.err, "vantrell: locate: 1000,1000,1000 is outside the level's boxes\n");
    const CommandRun near = run({"locate", scratch.file("one-triangle.bsp"), "0.5,0.5,0.5"});
    EXPECT_EQ(near.err, "");
}

// The parser's own errors and the commands' checks on values: status 2, one line on standard
// error in the program's format, nothing on standard output.
TEST_F(CommandTest, UsageErrorsGiveTwoAndSayWhatWasWrong) {
    const std::string level = write(oneTriangleLevel(), "one-triangle.bsp");
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"info"}, "vantrell: info: LEVEL is required"},
        {{"info", level, "extra"}, "vantrell: info: The following argument was not expected: extra"},
        {{"info", level, "--bogus"}, "vantrell: info: "},
        {{"locate", level}, "vantrell: locate: POINT is required"},
        {{"locate", level, "1,2"}, "vantrell: locate: '1,2' is not three numbers X,Y,Z"},
        {{"visible", level, "--eye", "0,0", "--forward", "1,0,0"}, "vantrell: visible: --eye: "},
        {{"contact", level, "--from", "0,0,0"}, "vantrell: contact: --to is required"},
        {{"trace", level, "--position=1,2"}, "vantrell: trace: --position: "},
        {{"trace", level, "--forward=0,0,0"}, "vantrell: trace: --forward: a zero vector has no direction"},
        {{"visible", level, "--eye", "0,1,0", "--forward", "0,0,0"}, "vantrell: visible: "},
        {{"bogus"}, "vantrell: 'bogus' is not a command"},
        {{"--bogus"}, "vantrell: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + (c.args.size() > 1 ? c.args.back() : ""));
        std::string arguments;
        for (const std::string& arg : c.args) arguments.append(" ").append(testing::shellQuoted(arg));
        const CommandRun r = testing::runVantrell(arguments, scratch, "/dev/null");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(c.says, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
    }
}

TEST_F(CommandTest, HelpAndVersionGoToStandardOutput) {
    const CommandRun version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "vantrell 0.1.0\n");
    const CommandRun help = run({"trace", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    // What the help promises is what the trace tests check: the exit statuses of the table.
    EXPECT_NE(help.out.find("Exit status: 0 done, 1 the level or the script cannot be used, 2 bad arguments"),
              std::string::npos)
        << help.out;
}

#ifdef VANTRELL_TEST_VIEWER
TEST_F(CommandTest, PlaySaysWhichDisplayCannotBeOpened) {
    const CommandRun r =
        testing::runVantrell("play " + testing::shellQuoted(write(oneTriangleLevel(), "one-triangle.bsp")), scratch, "",
                             "env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY=:97 XDG_RUNTIME_DIR=" +
                                 testing::shellQuoted(scratch.path().string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(
        r.err.find("vantrell: play: cannot open the walk-through window: the display DISPLAY=:97 cannot be opened"),
        std::string::npos)
        << r.err;
}
#endif

}  // namespace
}  // namespace vantrell
