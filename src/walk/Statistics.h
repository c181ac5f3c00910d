// The statistics overlay's figures: the frame rate over the last 30 frames and the three
// text lines ("SPs", "FPS", "Height") that every frame shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace vantrell {

// Frame-rate measurement on a wrapping 32-bit millisecond clock.
struct FrameStatistics {
    static constexpr std::int32_t framesPerRate = 30;

    std::uint32_t lastRateTime = 0;    // milliseconds at the last rate computation
    std::int32_t framesSinceRate = 0;  // 0..29
    float framesPerSecond = 0;         // 0 until the 30th frame

    // Starts a fresh measurement at nowMs (rate back to 0).
    void start(std::uint32_t nowMs);
    // Counts one drawn frame. Every 30th frame sets the rate to 30000 / elapsed, with
    // elapsed = nowMs - lastRateTime as an unsigned 32-bit difference (right across the
    // clock's wrap). Thirty frames within one millisecond keep the previous rate rather
    // than showing infinity.
    void countFrame(std::uint32_t nowMs);
};

// How long the frames of the last second took, for the info panel: each frame's duration
// filed under the millisecond it ended. Keeps the latest `capacity` frames, so above that
// many frames per second the figures cover the latest ones only.
class FrameTimes {
public:
    static constexpr std::size_t capacity = 1024;
    static constexpr std::uint32_t windowMs = 1000;

    struct Summary {
        std::size_t frames = 0;  // frames that ended within the window
        float meanMs = 0.0f;     // 0 when there were none
        float worstMs = 0.0f;
    };

    // Durations that are not finite or below 0 are not recorded.
    void add(std::uint32_t endMs, float durationMs);
    // The frames that ended in the windowMs before nowMs (nowMs itself included), on a
    // wrapping clock.
    [[nodiscard]] Summary lastSecond(std::uint32_t nowMs) const;

private:
    std::array<std::uint32_t, capacity> ends{};
    std::array<float, capacity> durations{};
    std::size_t next = 0;  // where the next frame goes
    std::size_t stored = 0;
};

// Writes "SPs: visible/total\nFPS: rate\nHeight: height" to out with out's own
// formatting; callers give it a stream in the classic locale and default float format.
void writeStatistics(std::ostream& out, std::uint32_t visibleCount, std::int32_t spaceCount, float framesPerSecond,
                     float height);

// The overlay text, e.g. "SPs: 12/87\nFPS: 59.5238\nHeight: 1": counts in decimal, floats
// in the default stream format (six significant digits, '.' as the decimal point).
[[nodiscard]] std::string statisticsText(std::uint32_t visibleCount, std::int32_t spaceCount, float framesPerSecond,
                                         float height);

}  // namespace vantrell
