#include "app/DialogText.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace vantrell {

namespace {

const char* sectionName(LevelSection section) {
    switch (section) {
        case LevelSection::header:
            return "the header";
        case LevelSection::vertexPositions:
            return "the vertex positions";
        case LevelSection::vertexNormals:
            return "the vertex normals";
        case LevelSection::planes:
            return "the planes";
        case LevelSection::triangles:
            return "the triangles";
        case LevelSection::nodes:
            return "the tree nodes";
        case LevelSection::spaces:
            return "the spaces";
        case LevelSection::adjacency:
            return "the neighbour table";
    }
    return "the file";
}

// The first bytes as text when they are all printable, else as hexadecimal numbers.
std::string describeBytes(const std::array<std::uint8_t, 3>& bytes, std::size_t count) {
    bool printable = true;
    for (std::size_t i = 0; i < count; ++i) printable = printable && bytes[i] >= 0x20 && bytes[i] < 0x7F;
    if (printable) {
        std::string text = "\"";
        for (std::size_t i = 0; i < count; ++i) text += static_cast<char>(bytes[i]);
        return text + "\"";
    }
    std::string text = "the bytes";
    for (std::size_t i = 0; i < count; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        text += hex;
    }
    return text;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes %XX escapes; false on a malformed escape or an encoded NUL.
bool percentDecode(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        const char c = static_cast<char>(high * 16 + low);
        if (c == '\0') return false;
        out += c;
        i += 2;
    }
    return true;
}

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string windowTitle(const std::string& levelName) {
    return levelName.empty() ? "Vantrell" : levelName + " \u2014 Vantrell";
}

std::string levelCounts(std::size_t spaces, std::size_t triangles) {
    return std::to_string(spaces) + (spaces == 1 ? " space, " : " spaces, ") + std::to_string(triangles) +
           (triangles == 1 ? " triangle" : " triangles");
}

std::string loadFailureDetail(const LoadedLevel& loaded) {
    const ParseDetails& found = loaded.details;
    switch (loaded.result) {
        case parseNotALevelFile:
            if (!found.openError.empty()) return "The file cannot be opened: " + found.openError + ".";
            return "It begins with " + describeBytes(found.magic, found.magicBytes) + ", not \"BSP\".";
        case parseWrongVersion:
            return "Its version byte is " + std::to_string(found.version) + "; levels of version 5 can be read.";
        case parseEndedEarly:
            if (found.tooManyRows) return "Its neighbour table has far more rows than the level has spaces.";
            return "The file ends at byte offset " + std::to_string(found.endOffset) + ", inside " +
                   sectionName(found.endSection) + ".";
        default:
            return {};
    }
}

std::string chooserStartFolder(const std::string& lastLevel, const std::string& workingDirectory) {
    if (!lastLevel.empty()) {
        const std::filesystem::path folder = std::filesystem::path(lastLevel).parent_path();
        std::error_code error;
        if (!folder.empty() && std::filesystem::is_directory(folder, error)) return folder.string();
    }
    return workingDirectory;
}

std::vector<std::string> pathsFromUriList(const std::string& uriList) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < uriList.size()) {
        std::size_t end = uriList.find('\n', start);
        if (end == std::string::npos) end = uriList.size();
        std::string line = uriList.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || !startsWithNoCase(line, "file:")) continue;
        std::string rest = line.substr(5);
        if (rest.starts_with("//")) {
            // An authority: empty or this machine's "localhost"; other hosts are not local files.
            const std::size_t slash = rest.find('/', 2);
            if (slash == std::string::npos) continue;
            const std::string host = rest.substr(2, slash - 2);
            if (!host.empty() && !(host.size() == 9 && startsWithNoCase(host, "localhost"))) continue;
            rest = rest.substr(slash);
        }
        if (rest.empty() || rest[0] != '/') continue;
        std::string path;
        if (!percentDecode(rest, path)) continue;
        paths.push_back(path);
    }
    return paths;
}

std::string mapLabel(const std::string& entry) {
    std::string label = entry;
    if (startsWithNoCase(label, "maps/")) label.erase(0, 5);
    if (label.size() > 4 && startsWithNoCase(label.substr(label.size() - 4), ".bsp")) label.resize(label.size() - 4);
    return label;
}

}  // namespace vantrell
