#include "play/Statistics.h"

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

void writeStatistics(std::ostream& out, std::uint32_t visibleCount, std::int32_t spaceCount,
                     float framesPerSecond, float height) {
    out << "SPs: " << visibleCount << '/' << spaceCount << "\nFPS: " << framesPerSecond
        << "\nHeight: " << height;
}

std::string statisticsText(std::uint32_t visibleCount, std::int32_t spaceCount, float framesPerSecond,
                           float height) {
    std::stringstream text;
    text.imbue(std::locale::classic());
    writeStatistics(text, visibleCount, spaceCount, framesPerSecond, height);
    return text.str();
}

}  // namespace vantrell
