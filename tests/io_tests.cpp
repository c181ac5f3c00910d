// Writing output files: complete or not at all, and never over an input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "io/OutputFile.h"

namespace vantrell {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("vantrell-io-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    [[nodiscard]] std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    fs::path folder;
};

TEST_F(OutputFileTest, WritesCompleteFilesAndLeavesNoTemporary) {
    const std::string path = (folder / "level.bsp").string();
    std::string error;
    ASSERT_TRUE(writeFileAtomically(
        path, [](std::ostream& out) { return static_cast<bool>(out << "first"); }, error))
        << error;
    EXPECT_EQ(read(path), "first");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(writeFileAtomically(
        path, [](std::ostream& out) { return static_cast<bool>(out << "second"); }, error));
    EXPECT_EQ(read(path), "second");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // a replaced file keeps its permissions
    EXPECT_EQ(entries(), 1u);
}

TEST_F(OutputFileTest, AFailedWriteKeepsTheOldFile) {
    const std::string path = (folder / "picture.png").string();
    std::ofstream(path) << "old";
    std::string error;
    EXPECT_FALSE(writeFileAtomically(
        path, [](std::ostream& out) { return out << "half a fi", false; }, error));
    EXPECT_EQ(read(path), "old");
    EXPECT_EQ(entries(), 1u);

    EXPECT_FALSE(
        writeFileAtomically((folder / "missing" / "x.bsp").string(), [](std::ostream&) { return true; }, error));
    EXPECT_NE(error.find("cannot create a file in"), std::string::npos) << error;
}

TEST_F(OutputFileTest, KeepingExistingFilesNeverReplacesOne) {
    const std::string path = (folder / "shot.png").string();
    const auto write = [](const char* text) {
        return [text](std::ostream& out) { return static_cast<bool>(out << text); };
    };
    std::string error;
    ASSERT_TRUE(writeFileAtomically(path, write("new"), error, ExistingFile::keep)) << error;
    EXPECT_EQ(read(path), "new");
    errno = 0;
    EXPECT_FALSE(writeFileAtomically(path, write("other"), error, ExistingFile::keep));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(error, path + " exists");
    EXPECT_EQ(read(path), "new");
    EXPECT_EQ(entries(), 1u);  // the temporary file is gone

    // A dangling link is a name that exists: it is not followed, nor replaced.
    const std::string link = (folder / "dangling.png").string();
    fs::create_symlink(folder / "nowhere.png", link);
    EXPECT_FALSE(writeFileAtomically(link, write("x"), error, ExistingFile::keep));
    EXPECT_FALSE(fs::exists(folder / "nowhere.png"));
}

TEST_F(OutputFileTest, RefusesInputsFoldersAndExistingFiles) {
    const std::string input = (folder / "game.pk3").string();
    std::ofstream(input) << "archive";
    const std::string link = (folder / "link.pk3").string();
    const std::string hard = (folder / "hard.pk3").string();
    fs::create_symlink(input, link);
    fs::create_hard_link(input, hard);
    const std::string inputs[] = {input};

    EXPECT_EQ(refuseOutput((folder / "new.bsp").string(), inputs, false), "");
    for (const std::string& same : {input, link, hard}) {
        EXPECT_NE(refuseOutput(same, inputs, true).find("is the input file"), std::string::npos) << same;
    }
    EXPECT_NE(refuseOutput(folder.string(), inputs, true).find("is a folder"), std::string::npos);
    const std::string other = (folder / "other.bsp").string();
    std::ofstream(other) << "x";
    EXPECT_NE(refuseOutput(other, inputs, false).find("exists (--force replaces it)"), std::string::npos);
    EXPECT_EQ(refuseOutput(other, inputs, true), "");
}

}  // namespace
}  // namespace vantrell
