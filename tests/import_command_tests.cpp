// The import command, run as the built program: where it writes, what it refuses to write
// over, and what it says when the input or the map is not there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

#include "CommandRunner.h"
#include "IbspBytes.h"

namespace vantrell {
namespace {

namespace fs = std::filesystem;
using testing::CommandRun;

class ImportCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::uint8_t> bytes = ibsptest::serialise(ibsptest::boxRoom());
        gameLevel = scratch.write("room.bsp", std::string(bytes.begin(), bytes.end()));
        archive = scratch.file("game.pk3");
        int code = 0;
        zip_t* zip = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
        ASSERT_NE(zip, nullptr);
        for (const char* name : {"maps/oa_thor.bsp", "maps/oa_rpg3dm2.bsp"}) {
            zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
            ASSERT_GE(zip_file_add(zip, name, source, ZIP_FL_OVERWRITE), 0);
        }
        ASSERT_EQ(zip_close(zip), 0);
        work = scratch.path() / "work";
        fs::create_directories(work);
    }

    CommandRun run(std::initializer_list<std::string> args) {
        std::string arguments = "import";
        for (const std::string& arg : args) arguments.append(" ").append(testing::shellQuoted(arg));
        return testing::runVantrell(arguments, scratch, "", "", work.string());
    }

    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static bool isLevel(const fs::path& path) { return read(path).rfind("BSP\x05", 0) == 0; }

    // Expects a failure with status, one message on standard error naming the command, and
    // nothing on standard output.
    static void expectFailure(const CommandRun& r, int status, const std::string& says) {
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("vantrell: import: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }

    testing::ScratchFolder scratch{"vantrell-import-command"};
    std::string gameLevel;
    std::string archive;
    fs::path work;  // the working directory of the runs
};

TEST_F(ImportCommandTest, OutputDefaultsToTheMapsNameInTheWorkingDirectory) {
    const CommandRun fromArchive = run({archive, "--map", "oa_thor"});
    ASSERT_EQ(fromArchive.status, 0) << fromArchive.err;
    EXPECT_NE(fromArchive.out.find("imported maps/oa_thor.bsp into oa_thor.bsp"), std::string::npos) << fromArchive.out;
    EXPECT_TRUE(isLevel(work / "oa_thor.bsp"));

    const CommandRun fromFile = run({gameLevel});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_TRUE(isLevel(work / "room.bsp"));
    EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), 2);  // no temporary left
}

TEST_F(ImportCommandTest, MapsAreNamedWithOrWithoutFolderAndSuffix) {
    for (const std::string name : {"oa_thor", "maps/oa_thor", "maps/oa_thor.bsp", "OA_Thor.bsp"}) {
        SCOPED_TRACE(name);
        const CommandRun r = run({archive, (work / "out.bsp").string(), "--map", name, "--force"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(isLevel(work / "out.bsp"));
    }
    const CommandRun typo = run({archive, "x.bsp", "--map", "maps/oa_thr"});
    expectFailure(typo, 1, "holds no map 'maps/oa_thr'; close names: maps/oa_thor.bsp");
    EXPECT_FALSE(fs::exists(work / "x.bsp"));

    // Asked for a file without a map: the maps are listed with the error.
    const CommandRun unnamed = run({archive, "x.bsp"});
    expectFailure(unnamed, 2, "name the map to import with --map");
    EXPECT_NE(unnamed.err.find("\n  maps/oa_rpg3dm2.bsp\n  maps/oa_thor.bsp\n"), std::string::npos) << unnamed.err;
    EXPECT_FALSE(fs::exists(work / "x.bsp"));
    // Without an output the listing is the answer.
    const CommandRun listing = run({archive});
    EXPECT_EQ(listing.status, 0);
    EXPECT_NE(listing.out.find("holds 2 maps"), std::string::npos) << listing.out;
}

TEST_F(ImportCommandTest, ExistingOutputIsKeptUnlessForced) {
    const fs::path output = work / "level.bsp";
    std::ofstream(output) << "precious";
    expectFailure(run({gameLevel, output.string()}), 1, output.string() + " exists (--force replaces it)");
    EXPECT_EQ(read(output), "precious");

    ::chmod(output.c_str(), 0640);
    const CommandRun forced = run({gameLevel, output.string(), "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_TRUE(isLevel(output));
    struct stat st {};
    ASSERT_EQ(::stat(output.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A folder is no output, with or without --force.
    fs::create_directories(work / "folder.bsp");
    expectFailure(run({gameLevel, (work / "folder.bsp").string(), "--force"}), 1, "is a folder");
}

TEST_F(ImportCommandTest, TheInputIsNeverWrittenOver) {
    const std::string archiveBytes = read(archive);
    const std::string levelBytes = read(gameLevel);
    const fs::path hard = work / "hard.pk3";
    const fs::path soft = work / "soft.bsp";
    fs::create_hard_link(archive, hard);
    fs::create_symlink(gameLevel, soft);
    expectFailure(run({archive, archive, "--map", "oa_thor", "--force"}), 1, "is the input file");
    expectFailure(run({archive, hard.string(), "--map", "oa_thor", "--force"}), 1, "is the input file");
    expectFailure(run({gameLevel, gameLevel, "--force"}), 1, "is the input file");
    expectFailure(run({gameLevel, soft.string(), "--force"}), 1, "is the input file");
    EXPECT_EQ(read(archive), archiveBytes);
    EXPECT_EQ(read(gameLevel), levelBytes);

    // The default output of an input in the working directory is that input.
    fs::copy_file(gameLevel, work / "here.bsp");
    expectFailure(run({"here.bsp", "--force"}), 1, "here.bsp is the input file");
    EXPECT_EQ(read(work / "here.bsp"), levelBytes);
}

TEST_F(ImportCommandTest, MissingInputsAndBadScalesAreNamed) {
    expectFailure(run({"missing.pk3"}), 1, "missing.pk3 does not exist");
    expectFailure(run({"missing.pk3", "out.bsp"}), 1, "missing.pk3 does not exist");
    expectFailure(run({scratch.path().string(), "out.bsp"}), 1, scratch.path().string() + " is a folder");
    expectFailure(run({scratch.write("notes.txt", "hello"), "out.bsp"}), 1, "is not an IBSP level");
    EXPECT_FALSE(fs::exists(work / "out.bsp"));

    for (const std::string scale : {"0", "-1", "nan", "1e40", "x"}) {
        SCOPED_TRACE(scale);
        const CommandRun r = run({gameLevel, "out.bsp", "--scale", scale});
        expectFailure(r, 2, "--scale: ");
        EXPECT_LT(r.err.size(), 120u) << r.err;  // one readable line, not the float range
    }
    EXPECT_FALSE(fs::exists(work / "out.bsp"));
}

}  // namespace
}  // namespace vantrell
