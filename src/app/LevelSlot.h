// The main dialog's level: what Load fills and Play walks through.
//
// A load goes into a fresh level and replaces the current one only when it loaded
// completely and passed validation, so a failed load leaves the previous level playable
// and no walk-through ever sees a partial or broken level.
#pragma once

#include "level/LevelFile.h"

#include <memory>
#include <string>

namespace vantrell {

struct LoadMessage {
    std::string text;    // the message box's text
    std::string detail;  // secondary text (why a file could not be opened, validation problems); may be empty
};

class LevelSlot {
public:
    static constexpr std::size_t problemsShown = 5;

    // Loads path; returns the message to show for the outcome.
    [[nodiscard]] LoadMessage load(const std::string& path);
    // Takes an already loaded level (the same rules as load).
    [[nodiscard]] LoadMessage take(LoadedLevel loaded);

    [[nodiscard]] bool playable() const { return level != nullptr; }
    // The current playable level; null before a successful load.
    [[nodiscard]] const LoadedLevel* current() const { return level.get(); }

private:
    std::unique_ptr<LoadedLevel> level;
};

// The text for a level that loaded but cannot be played: a heading and its first problems.
[[nodiscard]] LoadMessage invalidLevelMessage(const LoadedLevel& loaded, std::size_t problemsShown);

}  // namespace vantrell
