// The main dialog's level: what Load fills and Play walks through.
//
// A load goes into a fresh level and replaces the current one only when it loaded
// completely and passed validation, so a failed load leaves the previous level playable
// and no walk-through ever sees a partial or broken level.
#pragma once

#include <memory>
#include <string>

#include "app/LevelInput.h"
#include "level/LevelFile.h"

namespace vantrell {

struct LoadMessage {
    std::string text;     // the message box's text
    std::string detail;   // secondary text: what was loaded, or what was found instead; may be empty
    bool failed = false;  // shown as an error
};

class LevelSlot {
public:
    static constexpr std::size_t problemsShown = 5;

    // Loads path; returns the message to show for the outcome.
    [[nodiscard]] LoadMessage load(const std::string& path);
    // Takes what loadInput gave (the same rules as load).
    [[nodiscard]] LoadMessage take(LoadedInput input);
    // Records that name could not be loaded for a reason found before any loading (an
    // archive without maps, say); the current level stays.
    [[nodiscard]] LoadMessage refuse(const std::string& name, LoadMessage message);

    [[nodiscard]] bool playable() const { return level != nullptr; }
    // The current playable level; null before a successful load.
    [[nodiscard]] const LoadedLevel* current() const { return level ? &level->level : nullptr; }
    // Where the walk-through of the current level starts.
    [[nodiscard]] Vector3 startPosition() const { return level ? level->startPosition : Vector3{}; }
    // The current level's name ("" before a successful load).
    [[nodiscard]] std::string currentName() const { return level ? level->name : std::string(); }

    // The line under the dialog's buttons: the loaded level and its counts, and after a
    // refused load, that the previous level is still the one loaded.
    [[nodiscard]] std::string statusLine() const;

private:
    std::unique_ptr<LoadedInput> level;
    std::string refusedName;  // the last load's name when it was refused; empty after a success
};

// The text for a level that loaded but cannot be played: a heading and its first problems.
[[nodiscard]] LoadMessage invalidLevelMessage(const LoadedLevel& loaded, std::size_t problemsShown);

}  // namespace vantrell
