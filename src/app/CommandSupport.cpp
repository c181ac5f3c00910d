#include "app/CommandSupport.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

namespace vantrell {

void reportError(const std::string& command, const std::string& message) {
    std::string line = "vantrell: ";
    if (!command.empty()) line.append(command).append(": ");
    line.append(message).append("\n");
    std::cerr << line << std::flush;
}

std::optional<float> parseFiniteFloat(const std::string& text, std::string& error) {
    if (text.empty()) {
        error = "an empty number";
        return std::nullopt;
    }
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(begin, &end);
    if (end == begin || *end != '\0') {
        error = "'" + text + "' is not a number";
        return std::nullopt;
    }
    if (!std::isfinite(value) || (errno == ERANGE && std::fabs(value) > 1.0f)) {
        error = "'" + text + "' is not a finite number";
        return std::nullopt;
    }
    return value;
}

std::optional<Vector3> parseVector3(const std::string& text, std::string& error) {
    float parts[3];
    std::size_t start = 0;
    for (int k = 0; k < 3; ++k) {
        const std::size_t comma = text.find(',', start);
        if ((k < 2) != (comma != std::string::npos)) {
            error = "'" + text + "' is not three numbers X,Y,Z";
            return std::nullopt;
        }
        const std::string part = text.substr(start, k < 2 ? comma - start : std::string::npos);
        const std::optional<float> value = parseFiniteFloat(part, error);
        if (!value) {
            error = "in '" + text + "': " + error;
            return std::nullopt;
        }
        parts[k] = *value;
        start = comma + 1;
    }
    return Vector3{parts[0], parts[1], parts[2]};
}

std::optional<Vector3> parseDirection(const std::string& text, std::string& error) {
    std::optional<Vector3> v = parseVector3(text, error);
    if (v && isZero(*v)) {
        error = "a zero vector has no direction";
        return std::nullopt;
    }
    return v;
}

bool parseSize(const std::string& text, int& width, int& height, std::string& error) {
    const auto x = text.find_first_of("xX");
    const auto side = [](const std::string& digits, int& out) {
        if (digits.empty() || digits.size() > 5) return false;
        out = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return false;
            out = out * 10 + (c - '0');
        }
        return out >= 1 && out <= 16384;
    };
    if (x == std::string::npos || !side(text.substr(0, x), width) || !side(text.substr(x + 1), height)) {
        error = "size \"" + text + "\" is not WxH with both sides in 1..16384";
        return false;
    }
    return true;
}

float radiansFromDegrees(float degrees) {
    return degrees * (3.14159265f / 180.0f);
}

std::string formatFloat(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return buffer;
}

std::string inputFileProblem(const std::string& path) {
    if (path.empty()) return "an empty file name";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return path + " does not exist";
        return "cannot open " + path + ": " + std::strerror(errno);
    }
    if (S_ISDIR(st.st_mode)) return path + " is a folder";
    errno = 0;
    const std::ifstream probe(path, std::ios::binary);
    if (!probe.is_open()) return "cannot open " + path + ": " + (errno != 0 ? std::strerror(errno) : "unknown reason");
    return {};
}

std::string loadFailureMessage(const std::string& path, const LoadedLevel& level) {
    if (!level.openError.empty()) {
        const std::string problem = inputFileProblem(path);
        return problem.empty() ? "cannot open " + path + ": " + level.openError : problem;
    }
    return path + ": " + parseResultMessage(level.result);
}

int loadValidLevel(const std::string& command, const std::string& path, LoadedLevel& level) {
    level = loadLevelFile(path);
    if (level.result != parseLoaded) {
        reportError(command, loadFailureMessage(path, level));
        return exitFailure;
    }
    if (!level.problems.empty()) {
        std::string message = path + " is not a valid level:";
        for (const std::string& problem : level.problems) message.append("\n  ").append(problem);
        reportError(command, message);
        return exitFailure;
    }
    return exitSuccess;
}

}  // namespace vantrell
