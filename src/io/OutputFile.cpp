#include "io/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace vantrell {
namespace {

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The permissions a newly created file gets: 0666 less the process's umask.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool flushToDisk(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = systemError("cannot reopen " + path);
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    if (!ok) error = systemError("cannot flush " + path + " to the disk");
    ::close(fd);
    return ok;
}

// Moves from onto to unless to exists. Not every file system knows RENAME_NOREPLACE; there a
// hard link does the same (it fails on an existing name), and the temporary name goes after it.
bool renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, const std::function<bool(std::ostream&)>& write, std::string& error,
                         ExistingFile existing) {
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    // Built by appending: gcc 12 at -O3 warns falsely (-Wrestrict) on concatenated temporaries.
    std::string hidden = ".";
    hidden.append(target.filename().string()).append(".XXXXXX");
    const std::string pattern = (folder / hidden).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = systemError("cannot create a file in " + folder.string());
        return false;
    }
    const std::string temporary(name.data());
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();
    ::fchmod(fd, mode);
    ::close(fd);

    bool ok = false;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = systemError("cannot write " + temporary);
        } else {
            ok = write(out);
            out.flush();
            if (ok && !out) error = "cannot write " + path + " (is the disk full?)";
            ok = ok && static_cast<bool>(out);
        }
    }
    if (ok) ok = flushToDisk(temporary, error);
    bool nameTaken = false;
    if (ok) {
        const bool moved = existing == ExistingFile::keep ? renameWithoutReplacing(temporary, path)
                                                          : ::rename(temporary.c_str(), path.c_str()) == 0;
        if (!moved) {
            nameTaken = errno == EEXIST;
            error = nameTaken ? path + " exists" : systemError("cannot rename " + temporary + " to " + path);
            ok = false;
        }
    }
    if (!ok) {
        // EEXIST says the name was taken; mkstemp may leave it behind for its own retries.
        const int why = nameTaken ? EEXIST : (errno == EEXIST ? 0 : errno);
        if (error.empty()) error = "cannot write " + path;
        ::unlink(temporary.c_str());
        errno = why;
    }
    return ok;
}

std::string refuseOutput(const std::string& output, std::span<const std::string> inputs, bool replaceExisting) {
    struct stat out {};
    if (::stat(output.c_str(), &out) != 0) return {};  // nothing there yet (or a dangling link, which rename replaces)
    for (const std::string& input : inputs) {
        struct stat in {};
        if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
            return output + " is the input file " + input + "; choose another output";
    }
    if (S_ISDIR(out.st_mode)) return output + " is a folder";
    if (!replaceExisting) return output + " exists (--force replaces it)";
    return {};
}

}  // namespace vantrell
