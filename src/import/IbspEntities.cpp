// The spawn point of an IBSP level, read from its entity text.
#include <cmath>
#include <cstdlib>

#include "import/IbspParts.h"

namespace vantrell::ibspimport {
namespace {

// Reads the next token of the entity text: a quoted string, or a single brace. Returns false at the end.
bool nextToken(const std::string& text, std::size_t& pos, std::string& token, bool& quoted) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos >= text.size()) return false;
    if (text[pos] == '"') {
        const std::size_t end = text.find('"', pos + 1);
        if (end == std::string::npos) return false;
        token.assign(text, pos + 1, end - pos - 1);
        pos = end + 1;
        quoted = true;
        return true;
    }
    token.assign(1, text[pos]);
    ++pos;
    quoted = false;
    return true;
}

bool parseNumbers(const std::string& text, double* values, int count) {
    const char* p = text.c_str();
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p || !std::isfinite(v) || std::fabs(v) > 1e9) return false;
        values[i] = v;
        p = end;
    }
    return true;
}

}  // namespace

Spawn findSpawn(const std::string& entities) {
    Spawn deathmatch;
    Spawn start;
    std::size_t pos = 0;
    std::string token;
    bool quoted = false;
    std::string key;
    bool haveKey = false;
    std::string classname;
    Spawn current;
    bool haveAngle = false;
    while (nextToken(entities, pos, token, quoted)) {
        if (!quoted && token == "{") {
            classname.clear();
            current = Spawn{};
            haveKey = false;
            haveAngle = false;
        } else if (!quoted && token == "}") {
            if (current.found) {
                if (classname == "info_player_deathmatch" && !deathmatch.found) deathmatch = current;
                if (classname == "info_player_start" && !start.found) start = current;
            }
            haveKey = false;
        } else if (quoted && !haveKey) {
            key = token;
            haveKey = true;
        } else if (quoted) {
            haveKey = false;
            double values[3];
            if (key == "classname") {
                classname = token;
            } else if (key == "origin" && parseNumbers(token, values, 3)) {
                current.origin = {values[0], values[1], values[2]};
                current.found = true;
            } else if (key == "angle" && parseNumbers(token, values, 1)) {
                current.angle = values[0];
                haveAngle = true;
            } else if (key == "angles" && !haveAngle && parseNumbers(token, values, 3)) {
                current.angle = values[1];
            }
        }
    }
    return deathmatch.found ? deathmatch : start;
}

int quarterTurnsOf(double angle) {
    const double wrapped = std::fmod(angle, 360.0);
    const long turns = std::lround(wrapped / 90.0);
    return static_cast<int>(((turns % 4) + 4) % 4);
}

}  // namespace vantrell::ibspimport
