// Runs the built vantrell executable as a user would, for the tests of its commands.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vantrell::testing {

struct CommandRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// A shell word that stands for text exactly.
inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted.append(c == '\'' ? "'\\''" : std::string(1, c));
    return quoted.append("'");
}

// A fresh folder for the running test, unique per process and test name since ctest runs
// test processes in parallel; removed with the object.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 (prefix + "-" + std::to_string(::getpid()) + "-" + (info != nullptr ? info->name() : "none"));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return folder; }
    [[nodiscard]] std::string file(const std::string& name) const { return (folder / name).string(); }
    // Writes bytes to a file in the folder and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << bytes;
        return file(name);
    }

private:
    std::filesystem::path folder;
};

// Runs "vantrell ARGUMENTS" through the shell (ARGUMENTS quoted as needed), with standard
// input from stdinPath when given, the environment assignments in front and the working
// directory when given; standard error goes through a file in scratch.
inline CommandRun runVantrell(const std::string& arguments, const ScratchFolder& scratch,
                              const std::string& stdinPath = "", const std::string& environment = "",
                              const std::string& directory = "") {
    const std::string errPath = scratch.file("stderr.txt");
    std::string command = directory.empty() ? std::string() : "cd " + shellQuoted(directory) + " && ";
    command.append(environment);
    command.append(" ").append(shellQuoted(VANTRELL_BINARY)).append(" ").append(arguments);
    if (!stdinPath.empty()) command.append(" <").append(shellQuoted(stdinPath));
    command.append(" 2>").append(shellQuoted(errPath));
    CommandRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errPath);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    return run;
}

}  // namespace vantrell::testing
