// The main dialog without a display: its level slot, what it opens (our levels, game levels,
// archive maps), and the texts it shows.
#include "TestLevels.h"
#include "app/DialogText.h"
#include "app/LevelInput.h"
#include "app/LevelSlot.h"
#include "level/LevelFile.h"
#include "level_bytes.h"

#ifdef VANTRELL_IMPORT
#include <zip.h>

#include "IbspBytes.h"
#endif

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vantrell {
namespace {

namespace fs = std::filesystem;
using testlevels::TestLevel;

class DialogFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("vantrell-dialog-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string write(const std::string& name, const TestLevel& level) const {
        const std::string path = (folder / name).string();
        EXPECT_TRUE(writeLevelFile(path, level.geometry, level.partition));
        return path;
    }
    std::string writeBytes(const std::string& name, const std::string& bytes) const {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string detailOf(const std::string& bytes) const {
        return loadFailureDetail(loadLevelFile(writeBytes("file.bsp", bytes)));
    }

    fs::path folder;
    LevelSlot slot;
};

// ---- the level slot

TEST_F(DialogFiles, NothingIsPlayableBeforeASuccessfulLoad) {
    EXPECT_FALSE(slot.playable());
    EXPECT_EQ(slot.statusLine(), "No level is loaded.");
    const LoadMessage message = slot.load((folder / "missing.bsp").string());
    EXPECT_FALSE(slot.playable());
    EXPECT_EQ(slot.current(), nullptr);
    EXPECT_TRUE(message.failed);
    EXPECT_EQ(message.detail, std::string("The file cannot be opened: ") + std::strerror(ENOENT) + ".");
    EXPECT_EQ(slot.statusLine(), "missing.bsp was not loaded.\nNo level is loaded.");
}

TEST_F(DialogFiles, GivesTheFourMessagesExactlyWithWhatWasFoundBelow) {
    const std::string good = write("good.bsp", testlevels::oneRoom());
    const LoadMessage loaded = slot.load(good);
    EXPECT_EQ(loaded.text, "BSP file successfully loaded!");
    EXPECT_EQ(loaded.detail, "1 space, 1 triangle");
    EXPECT_FALSE(loaded.failed);
    EXPECT_TRUE(slot.playable());

    const LoadMessage text = slot.load(writeBytes("text.bsp", "hello world"));
    EXPECT_EQ(text.text, "Not a BSP file!");
    EXPECT_EQ(text.detail, "It begins with \"hel\", not \"BSP\".");
    EXPECT_TRUE(text.failed);

    const LoadMessage version = slot.load(writeBytes("v4.bsp", std::string("BSP\x04", 4)));
    EXPECT_EQ(version.text, "Bad version of BSP!");
    EXPECT_EQ(version.detail, "Its version byte is 4; levels of version 5 can be read.");
    EXPECT_TRUE(version.failed);

    std::ifstream in(good, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const LoadMessage cut = slot.load(writeBytes("cut.bsp", bytes.substr(0, bytes.size() - 1)));
    EXPECT_EQ(cut.text, "Corrupted BSP file!");
    EXPECT_EQ(cut.detail,
              "The file ends at byte offset " + std::to_string(bytes.size() - 1) + ", inside the neighbour table.");
    EXPECT_TRUE(cut.failed);
}

TEST_F(DialogFiles, AFailedOrInvalidLoadKeepsThePreviousLevelAndSaysSo) {
    TestLevel first = testlevels::oneRoom();
    ASSERT_EQ(slot.load(write("first.bsp", first)).text, "BSP file successfully loaded!");
    EXPECT_EQ(slot.statusLine(), "first.bsp: 1 space, 1 triangle");
    EXPECT_EQ(slot.currentName(), "first.bsp");
    const LoadedLevel* before = slot.current();
    ASSERT_NE(before, nullptr);
    const std::size_t vertices = before->geometry.vertices.size();

    // Loaded to the end but broken: a node naming a space that does not exist.
    TestLevel broken = testlevels::oneRoom();
    broken.partition.nodes[0].front = childOfSpace(7);
    const LoadMessage refused = slot.load(write("broken.bsp", broken));
    EXPECT_EQ(refused.text, "This level cannot be played:");
    EXPECT_FALSE(refused.detail.empty());
    EXPECT_TRUE(refused.failed);
    EXPECT_EQ(slot.current(), before);
    EXPECT_EQ(slot.current()->geometry.vertices.size(), vertices);
    EXPECT_EQ(slot.statusLine(), "broken.bsp was not loaded.\nStill loaded: first.bsp: 1 space, 1 triangle");
    EXPECT_EQ(slot.currentName(), "first.bsp");

    EXPECT_EQ(slot.load(writeBytes("bad.bsp", "BSQ\x05")).text, "Not a BSP file!");
    EXPECT_EQ(slot.current(), before);
    EXPECT_TRUE(slot.current()->valid());

    const LoadMessage empty = slot.refuse("empty.pk3", {"This archive holds no maps.", {}, false});
    EXPECT_TRUE(empty.failed);
    EXPECT_EQ(slot.statusLine(), "empty.pk3 was not loaded.\nStill loaded: first.bsp: 1 space, 1 triangle");

    // A later good load replaces it and the line forgets the refusal.
    TestLevel second = testlevels::oneRoom();
    testlevels::addTriangle(second.geometry, {0.0f, 1.0f, 0.0f}, {0.0f, 2.0f, 0.0f}, {1.0f, 1.0f, 0.0f});
    ASSERT_EQ(slot.load(write("second.bsp", second)).text, "BSP file successfully loaded!");
    EXPECT_EQ(slot.current()->geometry.vertices.size(), vertices + 3);
    EXPECT_EQ(slot.statusLine(), "second.bsp: 1 space, 2 triangles");
}

TEST(InvalidLevelMessage, ListsTheFirstProblemsAndCountsTheRest) {
    LoadedLevel loaded;
    loaded.result = parseLoaded;
    for (int n = 1; n <= 7; ++n) loaded.problems.push_back("problem " + std::to_string(n));
    const LoadMessage message = invalidLevelMessage(loaded, 5);
    EXPECT_EQ(message.text, "This level cannot be played:");
    EXPECT_EQ(message.detail, "problem 1\nproblem 2\nproblem 3\nproblem 4\nproblem 5\n(and 2 more)");
    loaded.problems.resize(2);
    EXPECT_EQ(invalidLevelMessage(loaded, 5).detail, "problem 1\nproblem 2");
}

// ---- texts

TEST_F(DialogFiles, FailureDetailsNameWhatWasFound) {
    EXPECT_EQ(detailOf(std::string("PK\x03\x04", 4)), "It begins with the bytes 50 4B 03, not \"BSP\".");
    EXPECT_EQ(detailOf(std::string("BSP\xFF", 4)), "Its version byte is 255; levels of version 5 can be read.");
    EXPECT_EQ(detailOf(""), "The file ends at byte offset 0, inside the header.");
    EXPECT_EQ(detailOf("BSP"), "The file ends at byte offset 3, inside the header.");
    const std::string full = oneTriangleLevel();
    EXPECT_EQ(detailOf(full.substr(0, 4)), "The file ends at byte offset 4, inside the vertex positions.");
    EXPECT_EQ(detailOf(full.substr(0, 185)), "The file ends at byte offset 185, inside the spaces.");
    EXPECT_EQ(detailOf(full.substr(0, 151)), "The file ends at byte offset 151, inside the tree nodes.");

    Bytes rows;
    rows.header();
    for (int i = 0; i < 6; ++i) rows.u32(0);
    rows.u32(5000).u32(0);
    EXPECT_EQ(detailOf(rows.data), "Its neighbour table has far more rows than the level has spaces.");

    EXPECT_EQ(loadFailureDetail(loadLevelFile(folder.string())), "The file cannot be opened: is a directory.");
    EXPECT_EQ(detailOf(full), "");

    if (::geteuid() != 0) {  // root opens any file
        const std::string locked = writeBytes("locked.bsp", full);
        ::chmod(locked.c_str(), 0);
        EXPECT_EQ(loadFailureDetail(loadLevelFile(locked)),
                  std::string("The file cannot be opened: ") + std::strerror(EACCES) + ".");
    }
}

TEST(DialogText, TitleAndCountsNameTheLevel) {
    EXPECT_EQ(windowTitle(""), "Vantrell");
    EXPECT_EQ(windowTitle("two-rooms.bsp"), "two-rooms.bsp \u2014 Vantrell");
    EXPECT_EQ(levelCounts(0, 0), "0 spaces, 0 triangles");
    EXPECT_EQ(levelCounts(1, 1), "1 space, 1 triangle");
    EXPECT_EQ(levelCounts(2, 1000000), "2 spaces, 1000000 triangles");
    EXPECT_EQ(mapLabel("maps/oa_thor.bsp"), "oa_thor");
    EXPECT_EQ(mapLabel("MAPS/Big.BSP"), "Big");
    EXPECT_EQ(mapLabel("maps/.bsp"), ".bsp");  // nothing would be left: keep the name
    EXPECT_EQ(mapLabel("other"), "other");
}

TEST_F(DialogFiles, ChooserStartsInTheLastLevelsFolderWhileItExists) {
    const fs::path levels = folder / "levels";
    fs::create_directories(levels);
    EXPECT_EQ(chooserStartFolder("", "/work"), "/work");
    EXPECT_EQ(chooserStartFolder((levels / "a.bsp").string(), "/work"), levels.string());
    // The file itself may be gone; its folder still is the place to look.
    EXPECT_EQ(chooserStartFolder((levels / "gone.bsp").string(), "/work"), levels.string());
    EXPECT_EQ(chooserStartFolder((folder / "removed" / "a.bsp").string(), "/work"), "/work");
    EXPECT_EQ(chooserStartFolder("a.bsp", "/work"), "/work");
}

TEST(DialogText, DroppedUrisGiveLocalPaths) {
    EXPECT_EQ(pathsFromUriList("file:///home/me/two%20rooms.bsp\r\n"),
              std::vector<std::string>{"/home/me/two rooms.bsp"});
    EXPECT_EQ(pathsFromUriList("# a comment\r\nfile://localhost/a.bsp\r\nFILE:/b.bsp\nfile:///c%2fd.bsp"),
              (std::vector<std::string>{"/a.bsp", "/b.bsp", "/c/d.bsp"}));
    // Other hosts, other schemes, bad or NUL escapes and relative forms are skipped.
    EXPECT_TRUE(pathsFromUriList("file://server/share/a.bsp\r\n"
                                 "http://example.org/a.bsp\r\n"
                                 "file:///a%2.bsp\r\nfile:///a%zz.bsp\r\nfile:///a%\r\nfile:///a%00b\r\n"
                                 "file:a.bsp\r\nfile://\r\nfile://localhostx/a.bsp\r\n\r\n")
                    .empty());
    EXPECT_TRUE(pathsFromUriList("").empty());
}

// ---- what the dialog opens

TEST_F(DialogFiles, KindIsReadFromRegularFilesOnly) {
    EXPECT_EQ(inputKindOf(write("ours.bsp", testlevels::oneRoom())), InputKind::level);
    EXPECT_EQ(inputKindOf(writeBytes("game.bsp", "IBSP\x2e")), InputKind::gameLevel);
    EXPECT_EQ(inputKindOf(writeBytes("pak.pk3", "PK\x03\x04rest")), InputKind::gameArchive);
    EXPECT_EQ(inputKindOf(writeBytes("empty.pk3", std::string("PK\x05\x06", 4))), InputKind::gameArchive);
    EXPECT_EQ(inputKindOf(writeBytes("short", "IB")), InputKind::level);
    EXPECT_EQ(inputKindOf((folder / "missing").string()), InputKind::level);
    EXPECT_EQ(inputKindOf(folder.string()), InputKind::level);
    // A pipe is left to the loader: reading it here would block with no writer.
    const fs::path fifo = folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(inputKindOf(fifo.string()), InputKind::level);
}

#ifdef VANTRELL_IMPORT
std::string writeArchive(const fs::path& path,
                         const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& entries) {
    int code = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    EXPECT_NE(zip, nullptr);
    if (!zip) return path.string();
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        EXPECT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
    }
    EXPECT_EQ(zip_close(zip), 0);
    return path.string();
}

TEST_F(DialogFiles, GameLevelsAndArchiveMapsLoadInMemory) {
    ASSERT_TRUE(canImportGameLevels());
    const std::vector<std::uint8_t> room = ibsptest::serialise(ibsptest::boxRoom());
    const std::string game = writeBytes("room.bsp", std::string(room.begin(), room.end()));
    const LoadedInput plain = loadInput({game, {}});
    ASSERT_TRUE(plain.error.empty()) << plain.error;
    EXPECT_TRUE(plain.imported);
    EXPECT_EQ(plain.name, "room.bsp");
    EXPECT_TRUE(plain.level.valid());
    EXPECT_EQ(plain.level.partition.spaces.size(), 3u);

    const std::string archive = writeArchive(folder / "pak.pk3", {{"maps/room.bsp", room}, {"maps/Other.bsp", room}});
    std::vector<std::string> maps;
    std::string error;
    ASSERT_TRUE(archiveMaps(archive, maps, error)) << error;
    EXPECT_EQ(maps, (std::vector<std::string>{"maps/Other.bsp", "maps/room.bsp"}));
    const LoadedInput fromArchive = loadInput({archive, "maps/room.bsp"});
    ASSERT_TRUE(fromArchive.error.empty()) << fromArchive.error;
    EXPECT_EQ(fromArchive.name, "room (pak.pk3)");

    const LoadMessage message = slot.take(LoadedInput(fromArchive));
    EXPECT_EQ(message.text, "BSP file successfully loaded!");
    EXPECT_FALSE(message.failed);
    EXPECT_EQ(message.detail.rfind("Imported maps/room.bsp in pak.pk3: 3 spaces, ", 0), 0u) << message.detail;
    EXPECT_EQ(slot.currentName(), "room (pak.pk3)");
    const Vector3 start = slot.startPosition();
    EXPECT_EQ(start.x, fromArchive.startPosition.x);
    EXPECT_EQ(start.y, fromArchive.startPosition.y);
    EXPECT_EQ(start.z, fromArchive.startPosition.z);
}

TEST_F(DialogFiles, AFailedImportIsAnErrorAndKeepsTheLevel) {
    ASSERT_EQ(slot.load(write("first.bsp", testlevels::oneRoom())).text, "BSP file successfully loaded!");
    const std::vector<std::uint8_t> room = ibsptest::serialise(ibsptest::boxRoom());
    const std::string cut = writeBytes("cut.bsp", std::string(room.begin(), room.begin() + 200));
    const LoadMessage message = slot.load(cut);
    EXPECT_EQ(message.text, "This game level cannot be imported:");
    EXPECT_FALSE(message.detail.empty());
    EXPECT_TRUE(message.failed);
    EXPECT_EQ(slot.currentName(), "first.bsp");
    EXPECT_EQ(slot.statusLine(), "cut.bsp was not loaded.\nStill loaded: first.bsp: 1 space, 1 triangle");

    const std::string archive = writeArchive(folder / "pak.pk3", {{"maps/room.bsp", room}});
    const LoadMessage missing = slot.take(loadInput({archive, "maps/none.bsp"}));
    EXPECT_EQ(missing.text, "This game level cannot be imported:");
    EXPECT_NE(missing.detail.find("maps/none.bsp"), std::string::npos) << missing.detail;
    EXPECT_EQ(slot.currentName(), "first.bsp");

    std::vector<std::string> maps;
    std::string error;
    EXPECT_FALSE(archiveMaps(writeBytes("fake.pk3", "PK\x03\x04 not really"), maps, error));
    EXPECT_FALSE(error.empty());
}
#endif

TEST_F(DialogFiles, ScenesCompileInMemoryAndALeakIsAnError) {
    if (!canCompileScenes()) GTEST_SKIP() << "this build has no scene compiler";
    const std::string scenes = VANTRELL_SOURCE_DIR "/examples/scenes/";
    const LoadMessage room = slot.load(scenes + "closed-room.gltf");
    EXPECT_EQ(room.text, "BSP file successfully loaded!");
    EXPECT_FALSE(room.failed);
    EXPECT_EQ(room.detail.rfind("Compiled closed-room.gltf: ", 0), 0u) << room.detail;
    EXPECT_EQ(slot.currentName(), "closed-room.gltf");

    const LoadMessage leak = slot.load(scenes + "leaky-room.gltf");
    EXPECT_EQ(leak.text, "This scene cannot be compiled:");
    EXPECT_NE(leak.detail.find("leaks"), std::string::npos) << leak.detail;
    EXPECT_TRUE(leak.failed);
    EXPECT_EQ(slot.currentName(), "closed-room.gltf");
}
}  // namespace
}  // namespace vantrell
