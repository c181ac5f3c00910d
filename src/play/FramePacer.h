// Pacing of the walk-through loop where presentation does not wait for the display.
//
// With a working swap interval the buffer swap blocks until the next refresh and the loop
// needs no help. A virtual X server or software GL accepts the interval but returns at
// once, so the loop would draw thousands of frames a second on a busy core; the pacer
// notices that and holds the loop to the display's refresh rate instead.
#pragma once

#include <cstdint>

namespace vantrell {

class FramePacer {
public:
    static constexpr int defaultRefreshRate = 60;  // Hz, when the display does not say
    // A swap that returns this many times in a row in under half a refresh period is not
    // waiting for the display, whatever the swap interval call reported.
    static constexpr int fastFramesBeforeCapping = 8;

    // frequency: counter counts per second (> 0). refreshRate: the display's rate in Hz;
    // values outside 1..1000 mean unknown (60 Hz). swapWaits: the swap interval was set.
    FramePacer(std::int64_t frequency, int refreshRate, bool swapWaits);

    // Called once per pass after the frame was presented, with the counter value then.
    // Returns how many counts to sleep before the next pass (0: go on at once). A pass
    // that overran its period starts the next one at once without trying to catch up.
    [[nodiscard]] std::int64_t afterFrame(std::int64_t now);

    [[nodiscard]] bool capping() const { return !trustSwap; }
    [[nodiscard]] std::int64_t period() const { return period_; }

private:
    std::int64_t period_;  // counts per refresh
    bool trustSwap;
    int fastFrames = 0;
    bool started = false;
    std::int64_t lastFrame = 0;  // counter at the last afterFrame
    std::int64_t nextStart = 0;  // counter at which the next pass may begin when capping
};

// Counts converted to whole milliseconds, rounded down, for a sleep call; never negative.
[[nodiscard]] std::uint32_t countsToMilliseconds(std::int64_t counts, std::int64_t frequency);

}  // namespace vantrell
