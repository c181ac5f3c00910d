// readScene: the import library runs in a child process under resource limits, because on
// some malformed files it loops, allocates without bound or crashes. The parent keeps a
// wall-clock deadline (a child that sleeps or blocks uses no processor time), reads the
// child's reply from a pipe with a cap on its size, and turns every way the child can end
// into one clause for the user.
//
// The child is forked without exec, so it inherits the parent's memory: call readScene
// before starting threads that might hold locks at the moment of the fork.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>

#include "scene/SceneReading.h"

namespace vantrell {
namespace {

// Exit statuses of the child besides 0 (a reply was written).
constexpr int exitOutOfMemory = 3;
constexpr int exitNoReply = 4;

// The largest reply the parent takes: the largest soup and room for its notes.
constexpr std::size_t maxReplyBytes = (std::size_t{1} << 22) + maxSceneVertices * 24 + maxSceneTriangles * 12;
// Time limits are capped here (a day) so that the processor limit and the deadline stay in range.
constexpr double maxTimeLimitSeconds = 86400.0;

std::string formatBytes(std::size_t bytes) {
    if (bytes >= (std::size_t{1} << 20)) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

std::string memoryLimitMessage(const SceneReadOptions& options) {
    return "reading the scene needs more than the memory limit of " + formatBytes(options.memoryLimitBytes) +
           " (the file may be malformed)";
}

std::string timeLimitMessage(double seconds) {
    return "reading the scene took longer than the time limit of " + formatSeconds(seconds) +
           " seconds (the file may be malformed)";
}

// Bytes of address space this process uses now; 0 when unknown.
std::size_t addressSpaceInUse() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    if (!(statm >> pages)) return 0;
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pageSize > 0 ? pages * static_cast<std::size_t>(pageSize) : 0;
}

void setLimit(int resource, rlim_t soft, rlim_t hard) {
    struct rlimit limit {};
    limit.rlim_cur = soft;
    limit.rlim_max = hard;
    setrlimit(resource, &limit);
}

// The child's limits. The memory limit is on top of what the child inherited from the parent
// (a loaded level, or a sanitizer's reserved shadow), so it means the same in every caller.
void limitThisProcess(const SceneReadOptions& options, double seconds) {
    const std::size_t inUse = addressSpaceInUse();
    const std::size_t budget = options.memoryLimitBytes;
    const rlim_t memory = budget > RLIM_INFINITY - inUse ? RLIM_INFINITY : static_cast<rlim_t>(inUse + budget);
    setLimit(RLIMIT_AS, memory, memory);
    const auto cpu = static_cast<rlim_t>(std::max(1.0, std::ceil(seconds)));
    setLimit(RLIMIT_CPU, cpu, cpu + 1);  // the soft limit sends SIGXCPU, the hard one SIGKILL
    setLimit(RLIMIT_FSIZE, 0, 0);        // the library has no business writing files
    setLimit(RLIMIT_CORE, 0, 0);
    // Nothing the library prints may reach the user's terminal (or a file, which the size
    // limit would turn into a signal).
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) close(null);
    }
}

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

[[noreturn]] void runChild(const std::function<SceneReply()>& read, const SceneReadOptions& options, double seconds,
                           int fd) {
    limitThisProcess(options, seconds);
    int status = exitNoReply;
    try {
        const std::vector<std::uint8_t> bytes = encodeSceneReply(read());
        status = writeAll(fd, bytes) ? 0 : exitNoReply;
    } catch (const std::bad_alloc&) {
        status = exitOutOfMemory;
    } catch (...) {
        status = exitNoReply;
    }
    // _exit: no atexit handlers, no flushing of the parent's stdio buffers a second time.
    _exit(status);
}

// Waits for the child until deadline, then kills it. True with its status when it was reaped.
bool reap(pid_t child, std::chrono::steady_clock::time_point deadline, int& status) {
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return true;
        if (done < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) break;
        usleep(1000);
    }
    kill(child, SIGKILL);
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n')) text.pop_back();
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    if (text.size() > 300) text.resize(300);
    return text;
}

bool checkOptions(const SceneReadOptions& options, std::string& error) {
    if (!(options.timeLimitSeconds > 0) || std::isnan(options.timeLimitSeconds)) {
        error = "the time limit for reading a scene must be a positive number of seconds";
        return false;
    }
    return true;
}

bool readWith(const std::function<SceneReply()>& read, const std::string& what, const SceneReadOptions& options,
              SceneMesh& mesh, std::string& error) {
    mesh = {};
    if (!checkOptions(options, error)) return false;
    SceneReply reply;
    if (!runSceneReader(read, options, reply, error)) return false;
    switch (reply.status) {
        case SceneReplyStatus::read:
            return buildSceneMesh(reply.soup, options.scale, mesh, error);
        case SceneReplyStatus::outOfMemory:
            error = memoryLimitMessage(options);
            return false;
        case SceneReplyStatus::tooManyTriangles:
            error = "the scene has more than " + std::to_string(maxSceneTriangles) + " triangles or " +
                    std::to_string(maxSceneVertices) + " vertices, more than a level can hold";
            return false;
        case SceneReplyStatus::failed:
            break;
    }
    error = "the import library cannot read " + what + ": " + trimmed(reply.message);
    return false;
}

}  // namespace

bool runSceneReader(const std::function<SceneReply()>& read, const SceneReadOptions& options, SceneReply& reply,
                    std::string& error) {
    reply = {};
    if (!checkOptions(options, error)) return false;
    const double seconds = std::min(options.timeLimitSeconds, maxTimeLimitSeconds);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot start the process that reads the scene: ") + std::strerror(errno);
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        error = std::string("cannot start the process that reads the scene: ") + std::strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (child == 0) {
        close(fds[0]);
        runChild(read, options, seconds, fds[1]);
    }
    close(fds[1]);

    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::uint8_t> bytes;
    bool timedOut = false;
    bool tooLarge = false;
    std::vector<std::uint8_t> chunk(std::size_t{1} << 16);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd wait{fds[0], POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (ready == 0) continue;
        const ssize_t n = ::read(fds[0], chunk.data(), chunk.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;  // the child closed its end: it is done
        if (static_cast<std::size_t>(n) > maxReplyBytes - bytes.size()) {
            tooLarge = true;
            break;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
    }
    close(fds[0]);
    if (timedOut || tooLarge) kill(child, SIGKILL);

    int status = 0;
    // A child that closed the pipe is exiting; a second's grace, then it is killed.
    const bool reaped = reap(child, Clock::now() + std::chrono::seconds(1), status);
    if (timedOut) {
        error = timeLimitMessage(seconds);
        return false;
    }
    if (tooLarge) {
        error = "the scene is too large to read (more than " + formatBytes(maxReplyBytes) + " of triangles)";
        return false;
    }
    if (reaped && WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        // SIGXCPU at the soft processor limit, SIGKILL at the hard one.
        if (signal == SIGXCPU || signal == SIGKILL) {
            error = timeLimitMessage(seconds);
        } else {
            error = "the import library crashed while reading the scene (signal " + std::to_string(signal) + ", " +
                    strsignal(signal) +
                    "); the file is probably malformed, or it needs more than the memory limit of " +
                    formatBytes(options.memoryLimitBytes);
        }
        return false;
    }
    if (reaped && WIFEXITED(status) && WEXITSTATUS(status) == exitOutOfMemory) {
        error = memoryLimitMessage(options);
        return false;
    }
    if (reaped && WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        error = "the process that reads the scene failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
        return false;
    }
    // Not reaped: someone else took the child's status (SIGCHLD ignored); the reply decides.
    return decodeSceneReply(bytes, reply, error);
}

bool readSceneFromMemory(std::span<const std::uint8_t> bytes, const std::string& formatHint,
                         const SceneReadOptions& options, SceneMesh& mesh, std::string& error) {
    return readWith([&] { return readSceneWithLibrary(bytes, formatHint); }, "the scene", options, mesh, error);
}

bool readScene(const std::string& path, const SceneReadOptions& options, SceneMesh& mesh, std::string& error) {
    mesh = {};
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // Only regular files: a pipe or a device could keep the reader waiting or feed it forever.
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a file";
        return false;
    }
    if (access(path.c_str(), R_OK) != 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    return readWith([&] { return readSceneWithLibrary(path); }, path, options, mesh, error);
}

}  // namespace vantrell
