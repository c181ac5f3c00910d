// trace: moves a camera through a level by movement steps and turns read from a script,
// without any clock, and prints where the body goes. With --summary it also tells a level
// maker whether the body came to rest and whether it fell out of the level.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "math/Vector.h"
#include "walk/Walkthrough.h"

namespace vantrell {
namespace {

// Longer script lines are refused rather than buffered without limit.
constexpr std::size_t maxLineLength = 4096;
// A count above this (more than a day of movement in one line) is refused as a mistake.
constexpr std::int64_t maxStepsPerLine = 10'000'000;
// A last displacement shorter than this counts as resting.
constexpr float restThreshold = 1e-6f;

struct TraceOptions {
    std::string levelPath;
    std::string position = "0,0,0";
    std::string forward = "1,0,0";
    std::string scriptPath;
    bool summary = false;
};

// Reads one line into line, without its end-of-line characters. Returns false at the end
// of input; sets tooLong (and skips the rest of the line) past maxLineLength characters.
bool readLine(std::istream& in, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    std::streambuf* buffer = in.rdbuf();
    bool any = false;
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) break;
        any = true;
        if (c == '\n') break;
        if (line.size() < maxLineLength)
            line.push_back(static_cast<char>(c));
        else
            tooLong = true;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

template <typename Integer>
std::optional<Integer> parseInteger(std::string_view text) {
    Integer value{};
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;  // from_chars takes no plus sign
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc{} || stop != end || begin == end) return std::nullopt;
    return value;
}

// The movement keys of a key word (W A S D J C, any case, or "-" for none).
std::optional<MovementKeys> parseKeys(std::string_view word, std::string& error) {
    MovementKeys keys;
    if (word == "-") return keys;
    for (const char letter : word) {
        switch (letter) {
            case 'W':
            case 'w':
                keys.forward = true;
                break;
            case 'A':
            case 'a':
                keys.left = true;
                break;
            case 'S':
            case 's':
                keys.back = true;
                break;
            case 'D':
            case 'd':
                keys.right = true;
                break;
            case 'J':
            case 'j':
                keys.jump = true;
                break;
            case 'C':
            case 'c':
                keys.crouch = true;
                break;
            default:
                error = "unknown key '" + std::string(1, letter) + "' (keys are W A S D J C, or - for none)";
                return std::nullopt;
        }
    }
    return keys;
}

void printVector(const char* label, std::int64_t counter, const Vector3& v) {
    std::string text = label;
    if (counter >= 0) text += ' ' + std::to_string(counter);
    text += ' ' + formatFloat(v.x) + ' ' + formatFloat(v.y) + ' ' + formatFloat(v.z) + '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// The lowest minY of all spaces' boxes that are not empty; nullopt when every box is empty.
std::optional<float> lowestBoxFloor(const SpacePartition& partition) {
    std::optional<float> lowest;
    for (const Space& space : partition.spaces) {
        const BoundingBox& b = space.bounds;
        if (!(b.minX <= b.maxX && b.minY <= b.maxY && b.minZ <= b.maxZ)) continue;
        lowest = lowest ? std::min(*lowest, b.minY) : b.minY;
    }
    return lowest;
}

int runTrace(const TraceOptions& options) {
    std::string error;
    const std::optional<Vector3> position = parseVector3(options.position, error);
    if (!position) {
        reportError("trace", "--position: " + error);
        return exitUsage;
    }
    const std::optional<Vector3> forward = parseDirection(options.forward, error);
    if (!forward) {
        reportError("trace", "--forward: " + error);
        return exitUsage;
    }

    std::ifstream scriptFile;
    if (!options.scriptPath.empty() && options.scriptPath != "-") {
        // A folder opens like a file here and fails only when read.
        if (const std::string problem = inputFileProblem(options.scriptPath); !problem.empty()) {
            reportError("trace", "script: " + problem);
            return exitFailure;
        }
        scriptFile.open(options.scriptPath, std::ios::binary);
        if (!scriptFile) {
            reportError("trace", "cannot open the script " + options.scriptPath);
            return exitFailure;
        }
    }
    std::istream& script = scriptFile.is_open() ? scriptFile : std::cin;

    LoadedLevel level;
    if (const int status = loadValidLevel("trace", options.levelPath, level); status != exitSuccess) return status;

    // The steps are run directly: the clock never advances, so update() is never needed.
    const ManualCounter stoppedClock;
    Walkthrough walkthrough(level.geometry, level.partition, stoppedClock, *position, *forward);
    Camera& camera = walkthrough.camera();

    std::int64_t stepsRun = 0;
    float lowest = camera.currentPosition().y;
    bool lost = false;  // a position overflowed (a start near the float range): no longer in any level
    std::string line;
    bool tooLong = false;
    std::int64_t lineNumber = 0;
    const auto fail = [&](const std::string& why) {
        std::fflush(stdout);
        reportError("trace", "line " + std::to_string(lineNumber) + ": " + why);
        return exitFailure;
    };
    const std::string scriptName = scriptFile.is_open() ? options.scriptPath : "standard input";
    const auto readFailed = [&](int why) {
        std::fflush(stdout);
        reportError("trace", "cannot read the script from " + scriptName +
                                 (why != 0 ? std::string(": ") + std::strerror(why) : std::string()));
        return exitFailure;
    };
    int endErrno = 0;  // errno when the input ended: a read error's reason
    for (;;) {
        // The file stream reports a read error (a device that fails, say) by throwing;
        // standard input only ends early, with the error kept by stdio.
        errno = 0;
        try {
            if (!readLine(script, line, tooLong)) {
                endErrno = errno;
                break;
            }
        } catch (const std::ios_base::failure&) {
            return readFailed(errno);
        }
        ++lineNumber;
        if (tooLong) return fail("line longer than " + std::to_string(maxLineLength) + " characters");
        const std::vector<std::string_view> words = splitWords(line);
        if (words.empty() || words[0].front() == '#') continue;
        if (words[0] == "step") {
            if (words.size() != 3) return fail("expected 'step N KEYS'");
            const std::optional<std::int64_t> count = parseInteger<std::int64_t>(words[1]);
            if (!count || *count < 0)
                return fail("step count '" + std::string(words[1]) + "' is not a whole number >= 0");
            if (*count > maxStepsPerLine)
                return fail("step count " + std::to_string(*count) + " is more than " +
                            std::to_string(maxStepsPerLine) + " in one line");
            const std::optional<MovementKeys> keys = parseKeys(words[2], error);
            if (!keys) return fail(error);
            walkthrough.setMovementKeys(*keys);
            for (std::int64_t i = 0; i < *count; ++i) {
                walkthrough.step();
                const Vector3& at = camera.currentPosition();
                lowest = std::min(lowest, at.y);
                lost = lost || !(std::isfinite(at.x) && std::isfinite(at.y) && std::isfinite(at.z));
                printVector("step", ++stepsRun, camera.currentPosition());
            }
        } else if (words[0] == "turn") {
            if (words.size() != 3) return fail("expected 'turn DX DY'");
            const std::optional<std::int32_t> dx = parseInteger<std::int32_t>(words[1]);
            const std::optional<std::int32_t> dy = parseInteger<std::int32_t>(words[2]);
            if (!dx || !dy) return fail("turn needs two whole pixel counts");
            camera.turn(*dx, *dy);
            printVector("turn", -1, camera.forward());
        } else {
            return fail("'" + std::string(words[0]) + "' is not a command (step N KEYS, or turn DX DY)");
        }
    }
    if (script.bad() || (!scriptFile.is_open() && std::ferror(stdin))) return readFailed(endErrno);

    if (options.summary) {
        const Vector3 last = camera.currentPosition() - camera.previousPosition();
        const std::optional<float> floor = lowestBoxFloor(level.partition);
        std::string text = std::string("rest ") + (!lost && length(last) < restThreshold ? "yes" : "no") + '\n';
        text += "lowest " + formatFloat(lowest) + '\n';
        if (!floor)
            text += "no level bounds\n";
        else if (lost || lowest < *floor)
            text += "fell out of the level\n";
        else
            text += "inside the level\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    std::fflush(stdout);
    return exitSuccess;
}

}  // namespace

void addTraceCommand(CLI::App& app, int& exitCode) {
    const auto options = std::make_shared<TraceOptions>();
    auto* trace = app.add_subcommand(
        "trace",
        "Walk a body through LEVEL by 10 ms movement steps read from SCRIPT (standard input when\n"
        "left out or '-'), with the walk-through's gravity and collision but no window and no clock,\n"
        "and print where it goes.\n"
        "Script lines: 'step N KEYS' runs N steps with KEYS held (W forward, A left, S back, D right,\n"
        "J jump, C crouch, in any case; - for none); 'turn DX DY' turns the view as a mouse movement\n"
        "of DX, DY pixels would; blank lines and lines starting with # are skipped.\n"
        "Prints 'step K X Y Z' after each step (the body's position, the eye is 1 above it when\n"
        "standing; K counts all steps) and 'turn FX FY FZ' after each turn (the look direction).\n"
        "A line that cannot be run stops the trace; its number is named on standard error.\n"
        "Exit status: 0 done, 1 the level or the script cannot be used, 2 bad arguments.");
    trace->add_option("LEVEL", options->levelPath, "level file (.bsp)")->required();
    trace->add_option("--position", options->position, "the body's start position X,Y,Z (default 0,0,0)");
    trace->add_option("--forward", options->forward, "start look direction X,Y,Z (default 1,0,0)");
    trace->add_flag("--summary", options->summary,
                    "after the steps print 'rest yes|no', 'lowest Y' (the body's lowest point) and\n"
                    "'fell out of the level' or 'inside the level' (against the lowest space box)");
    trace->add_option("SCRIPT", options->scriptPath, "script file (default: standard input)");
    trace->callback([options, &exitCode] { exitCode = runTrace(*options); });
}

}  // namespace vantrell
