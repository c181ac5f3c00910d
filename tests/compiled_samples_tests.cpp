// The sample levels compiled from the example scenes: valid and walkable, a body rests at the
// start and four long walks stay inside, a closed doorway out of view hides the other room, and
// compiling the scenes again gives the shipped bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "level/LevelFile.h"
#include "level/WalkableCheck.h"

namespace vantrell {
namespace {

namespace fs = std::filesystem;
using testing::CommandRun;
using testing::runVantrell;
using testing::ScratchFolder;
using testing::shellQuoted;

const std::vector<std::string> samples{"closed-room", "two-rooms", "stairs-ramp", "pillar-table"};

std::string samplePath(const std::string& name) {
    return (fs::path(VANTRELL_SOURCE_DIR) / "examples" / "compiled" / (name + ".bsp")).string();
}

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class CompiledSample : public ::testing::TestWithParam<std::string> {};

TEST_P(CompiledSample, IsValidAndWalkable) {
    const LoadedLevel level = loadLevelFile(samplePath(GetParam()));
    ASSERT_TRUE(level.valid()) << (level.problems.empty() ? "not loaded" : level.problems.front());
    const WalkableReport walkable = checkWalkable(level.geometry, level.partition);
    EXPECT_TRUE(walkable.checked) << walkable.why;
    EXPECT_EQ(walkable.offences, 0u) << (walkable.examples.empty() ? "" : walkable.examples.front().problem);
}

TEST_P(CompiledSample, RestsAtTheStartAndFourLongWalksStayInside) {
    const ScratchFolder scratch("vantrell-compiled-walks");
    const std::string level = shellQuoted(samplePath(GetParam()));
    const CommandRun rest =
        runVantrell("trace " + level + " --summary", scratch, scratch.write("rest.txt", "step 300 -\n"));
    ASSERT_EQ(rest.status, 0) << rest.err;
    EXPECT_NE(rest.out.find("rest yes\n"), std::string::npos) << rest.out.substr(rest.out.rfind("step"));
    // Along each axis, turned as a mouse would, 1,000 steps with the key held.
    for (const char* key : {"W", "A", "S", "D"}) {
        const std::string script = std::string("turn 40 0\nstep 1000 ") + key + "\n";
        const CommandRun walk =
            runVantrell("trace " + level + " --summary", scratch, scratch.write("walk.txt", script));
        ASSERT_EQ(walk.status, 0) << walk.err;
        const bool inside = walk.out.find("inside the level\n") != std::string::npos;
        // The walk to the left slides along the wall at z = 3 across the seam at x = 2.1
        // between two spaces: the wall running on into the next space keeps it clipped.
        EXPECT_TRUE(inside) << key << ": " << walk.out.substr(walk.out.rfind("step"));
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, CompiledSample, ::testing::ValuesIn(samples));

TEST(CompiledSamples, TheOtherRoomIsListedOnlyWithTheDoorwayInView) {
    const ScratchFolder scratch("vantrell-compiled-doorway");
    const std::string level = shellQuoted(samplePath("two-rooms"));
    const CommandRun other = runVantrell("locate " + level + " 6,1,0", scratch);
    ASSERT_EQ(other.status, 0) << other.err;
    const std::string otherRoom = other.out.substr(0, other.out.find('\n'));
    const auto listed = [&](const std::string& forward) {
        const CommandRun r = runVantrell("visible " + level + " --eye 0,1,0 --forward " + forward, scratch);
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> spaces;
        std::string word;
        for (const char c : r.out + " ") {
            if (c == ' ' || c == '\n') {
                if (!word.empty()) spaces.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        return std::find(spaces.begin(), spaces.end(), otherRoom) != spaces.end();
    };
    EXPECT_TRUE(listed("1,0,0")) << "facing the doorway";
    EXPECT_FALSE(listed("-1,0,0")) << "facing away from it";
    EXPECT_FALSE(listed("0,0,1")) << "facing a wall";
}

TEST(CompiledSamples, CompilingTheScenesAgainGivesTheShippedBytes) {
    const ScratchFolder scratch("vantrell-compiled-again");
    const std::string script = (fs::path(VANTRELL_SOURCE_DIR) / "scripts" / "make-sample-levels.sh").string();
    const std::string command = "bash " + shellQuoted(script) + " " + shellQuoted(VANTRELL_BINARY) + " " +
                                shellQuoted(scratch.path().string()) + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const std::string& name : samples) {
        EXPECT_EQ(bytesOf((scratch.path() / (name + ".bsp")).string()), bytesOf(samplePath(name)))
            << name << " is stale: run scripts/make-sample-levels.sh";
    }
}

}  // namespace
}  // namespace vantrell
