#include "walk/Statistics.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <ostream>
#include <sstream>

namespace vantrell {

void FrameStatistics::start(std::uint32_t nowMs) {
    lastRateTime = nowMs;
    framesSinceRate = 0;
    framesPerSecond = 0.0f;
}

void FrameStatistics::countFrame(std::uint32_t nowMs) {
    ++framesSinceRate;
    if (framesSinceRate < framesPerRate) return;
    const std::uint32_t elapsed = nowMs - lastRateTime;  // wraps with the clock
    if (elapsed != 0) framesPerSecond = 30000.0f / static_cast<float>(elapsed);
    lastRateTime = nowMs;
    framesSinceRate = 0;
}

void FrameTimes::add(std::uint32_t endMs, float durationMs) {
    if (!std::isfinite(durationMs) || durationMs < 0.0f) return;
    ends[next] = endMs;
    durations[next] = durationMs;
    next = (next + 1) % capacity;
    if (stored < capacity) ++stored;
}

FrameTimes::Summary FrameTimes::lastSecond(std::uint32_t nowMs) const {
    Summary summary;
    double total = 0.0;
    for (std::size_t k = 0; k < stored; ++k) {
        const std::size_t at = (next + capacity - 1 - k) % capacity;  // newest first
        // Unsigned, so the clock's wrap is harmless and frames filed after nowMs fall out too.
        if (nowMs - ends[at] >= windowMs) continue;
        ++summary.frames;
        total += durations[at];
        summary.worstMs = std::max(summary.worstMs, durations[at]);
    }
    if (summary.frames > 0) summary.meanMs = static_cast<float>(total / static_cast<double>(summary.frames));
    return summary;
}

void writeStatistics(std::ostream& out, std::uint32_t visibleCount, std::int32_t spaceCount, float framesPerSecond,
                     float height) {
    out << "SPs: " << visibleCount << '/' << spaceCount << "\nFPS: " << framesPerSecond << "\nHeight: " << height;
}

std::string statisticsText(std::uint32_t visibleCount, std::int32_t spaceCount, float framesPerSecond, float height) {
    std::stringstream text;
    text.imbue(std::locale::classic());
    writeStatistics(text, visibleCount, spaceCount, framesPerSecond, height);
    return text.str();
}

}  // namespace vantrell
