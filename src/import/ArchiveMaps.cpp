// Finding a map in a .pk3 archive by the names people write for it.
#include <algorithm>
#include <cctype>
#include <utility>

#include "import/IbspImport.h"
#include "import/PakArchive.h"

namespace vantrell {
namespace {

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// NAME of "maps/NAME.bsp", "maps/NAME", "NAME.bsp" or "NAME" (the prefix and suffix in any case).
std::string mapBaseName(const std::string& name) {
    std::string base = name;
    if (lowered(base.substr(0, 5)) == "maps/") base.erase(0, 5);
    if (base.size() >= 4 && lowered(base.substr(base.size() - 4)) == ".bsp") base.erase(base.size() - 4);
    return base;
}

// Edits (insert, delete, replace a letter) that turn a into b.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Up to five of maps whose names are within a few letters of wanted or hold it, closest first.
std::vector<std::string> closeMapNames(const std::string& wanted, const std::vector<std::string>& maps) {
    // Names are short; the limits only keep a hostile archive from costing much time.
    constexpr std::size_t maxCompared = 64;
    constexpr std::size_t maxMaps = 100000;
    constexpr std::size_t maxShown = 5;
    const std::string key = lowered(mapBaseName(wanted));
    if (key.empty() || key.size() > maxCompared || maps.size() > maxMaps) return {};
    const std::size_t allowed = std::max<std::size_t>(2, key.size() / 3);
    std::vector<std::pair<std::size_t, std::string>> close;
    for (const std::string& map : maps) {
        const std::string base = lowered(mapBaseName(map));
        if (base.size() > maxCompared) continue;
        const std::size_t distance = editDistance(key, base);
        const bool holds = base.find(key) != std::string::npos || key.find(base) != std::string::npos;
        if (distance <= allowed || holds) close.emplace_back(distance, map);
    }
    std::sort(close.begin(), close.end());
    std::vector<std::string> names;
    for (std::size_t i = 0; i < close.size() && i < maxShown; ++i) names.push_back(close[i].second);
    return names;
}

}  // namespace

bool listArchiveMaps(const std::string& archive, std::vector<std::string>& maps, std::string& error) {
    return listArchiveEntries(archive, maps, error);
}

bool findArchiveMap(const std::string& archive, const std::string& mapName, std::string& entry, std::string& error) {
    std::vector<std::string> maps;
    if (!listArchiveEntries(archive, maps, error)) return false;
    const std::string base = mapBaseName(mapName);
    if (!base.empty() && base.find('/') == std::string::npos) {
        for (const bool anyCase : {false, true}) {
            for (const std::string& map : maps) {
                const std::string candidate = mapBaseName(map);
                if (anyCase ? lowered(candidate) == lowered(base) : candidate == base) {
                    entry = map;
                    return true;
                }
            }
        }
    }
    error = "the archive " + archive + " holds no map '" + mapName + "'";
    const std::vector<std::string> close = closeMapNames(mapName, maps);
    for (std::size_t i = 0; i < close.size(); ++i) error += (i == 0 ? "; close names: " : ", ") + close[i];
    if (close.empty()) error += " among its " + std::to_string(maps.size()) + (maps.size() == 1 ? " map" : " maps");
    return false;
}

}  // namespace vantrell
