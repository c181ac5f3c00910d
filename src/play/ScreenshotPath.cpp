#include "play/ScreenshotPath.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "io/OutputFile.h"

namespace vantrell {

namespace {

constexpr std::size_t maxUserDirsLine = 4096;
constexpr int maxUserDirsLines = 1000;

bool isDirectory(const std::filesystem::path& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

// The value of XDG_PICTURES_DIR in a user-dirs.dirs file: a shell assignment whose value is
// "$HOME/relative" or "/absolute" in double quotes. "$HOME/" alone means the folder is
// disabled. Empty when the file or the line is missing or malformed.
std::filesystem::path picturesFromUserDirs(const std::filesystem::path& file, const std::string& home) {
    std::ifstream in(file);
    if (!in) return {};
    const std::string key = "XDG_PICTURES_DIR=\"";
    std::string line;
    for (int count = 0; count < maxUserDirsLines && std::getline(in, line); ++count) {
        if (line.size() > maxUserDirsLine) continue;
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
        const std::size_t valueStart = start + key.size();
        const std::size_t close = line.find('"', valueStart);
        if (close == std::string::npos) return {};
        const std::string value = line.substr(valueStart, close - valueStart);
        const std::string homePrefix = "$HOME";
        if (value.compare(0, homePrefix.size(), homePrefix) == 0) {
            const std::string rest = value.substr(homePrefix.size());
            if (home.empty() || rest.empty() || rest == "/") return {};
            if (rest.front() != '/') return {};
            return std::filesystem::path(home + rest);
        }
        if (value.empty() || value.front() != '/') return {};
        return std::filesystem::path(value);
    }
    return {};
}

}  // namespace

std::filesystem::path picturesFolder(const EnvironmentLookup& getEnvironment) {
    const auto lookup = [&](const char* name) -> std::string {
        const char* value = getEnvironment ? getEnvironment(name) : nullptr;
        return value ? std::string(value) : std::string();
    };
    const std::string explicitFolder = lookup("XDG_PICTURES_DIR");
    if (isDirectory(explicitFolder)) return explicitFolder;

    const std::string home = lookup("HOME");
    std::string configHome = lookup("XDG_CONFIG_HOME");
    if (configHome.empty() && !home.empty()) configHome = home + "/.config";
    if (!configHome.empty()) {
        const std::filesystem::path fromFile =
            picturesFromUserDirs(std::filesystem::path(configHome) / "user-dirs.dirs", home);
        if (isDirectory(fromFile)) return fromFile;
    }
    if (!home.empty()) {
        const std::filesystem::path fallback = std::filesystem::path(home) / "Pictures";
        if (isDirectory(fallback)) return fallback;
    }
    return {};
}

std::string screenshotFileName(const std::tm& localTime) {
    char name[64];
    std::snprintf(name, sizeof name, "vantrell-%04d%02d%02d-%02d%02d%02d.png", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min, localTime.tm_sec);
    return name;
}

std::filesystem::path writeNewScreenshot(const std::filesystem::path& folder, const std::string& name,
                                         const std::function<bool(std::ostream&)>& write, std::string& error) {
    const std::filesystem::path first = folder / name;
    const std::string stem = first.stem().string();
    const std::string extension = first.extension().string();
    for (int n = 1; n <= 99; ++n) {
        const std::filesystem::path candidate = n == 1 ? first : folder / (stem + "-" + std::to_string(n) + extension);
        std::error_code ignored;
        if (std::filesystem::exists(std::filesystem::symlink_status(candidate, ignored))) continue;
        if (writeFileAtomically(candidate.string(), write, error, ExistingFile::keep)) return candidate;
        if (errno != EEXIST) return {};  // made meanwhile: take the next name
    }
    error = "too many screenshots named like " + name + " in " + folder.string();
    return {};
}

}  // namespace vantrell
