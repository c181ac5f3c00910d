#include "play/FramePacer.h"

#include <algorithm>
#include <limits>

namespace vantrell {

FramePacer::FramePacer(std::int64_t frequency, int refreshRate, bool swapWaits)
    : period_(
          std::max<std::int64_t>(1, std::max<std::int64_t>(frequency, 1) /
                                        (refreshRate >= 1 && refreshRate <= 1000 ? refreshRate : defaultRefreshRate))),
      trustSwap(swapWaits) {}

std::int64_t FramePacer::afterFrame(std::int64_t now) {
    if (!started) {
        started = true;
        lastFrame = now;
        nextStart = now;
    }
    const std::int64_t interval = now - lastFrame;
    lastFrame = now;
    if (trustSwap) {
        // The first frame has interval 0 and says nothing; later ones count.
        if (interval > 0 && interval < period_ / 2) {
            if (++fastFrames >= fastFramesBeforeCapping) {
                trustSwap = false;
                nextStart = now;
            }
        } else if (interval > 0) {
            fastFrames = 0;
        }
        if (trustSwap) return 0;
    }
    nextStart += period_;
    if (nextStart <= now) {
        // Overran (or the clock jumped): begin again from now rather than bursting.
        nextStart = now;
        return 0;
    }
    return nextStart - now;
}

std::uint32_t countsToMilliseconds(std::int64_t counts, std::int64_t frequency) {
    if (counts <= 0 || frequency <= 0) return 0;
    const std::int64_t wholeSeconds = counts / frequency;
    constexpr std::int64_t maxSeconds = std::numeric_limits<std::uint32_t>::max() / 1000;
    if (wholeSeconds > maxSeconds) return std::numeric_limits<std::uint32_t>::max();
    const std::int64_t rest = counts % frequency;
    const std::int64_t ms = wholeSeconds * 1000 + rest * 1000 / frequency;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(ms, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace vantrell
