// The clock source that the camera's fixed 10 ms movement steps run on.
#pragma once

#include <cstdint>

namespace vantrell {

// A monotonic 64-bit counter and its constant rate. The viewer plugs in the real
// high-resolution counter; tests and headless commands drive a ManualCounter by hand.
class PerformanceCounter {
public:
    virtual ~PerformanceCounter() = default;
    [[nodiscard]] virtual std::int64_t counter() const = 0;    // counts now
    [[nodiscard]] virtual std::int64_t frequency() const = 0;  // counts per second
};

class ManualCounter final : public PerformanceCounter {
public:
    explicit ManualCounter(std::int64_t frequency = 1'000'000, std::int64_t start = 0) : rate(frequency), now(start) {}
    [[nodiscard]] std::int64_t counter() const override { return now; }
    [[nodiscard]] std::int64_t frequency() const override { return rate; }
    void set(std::int64_t value) { now = value; }
    void advance(std::int64_t counts) { now += counts; }

private:
    std::int64_t rate;
    std::int64_t now;
};

// Counts per 10 ms step for a counter of the given frequency: frequency * 0.01f, truncated
// (a 10 MHz counter gives 99999). Never below 1, so a slow or absent counter cannot stall
// the step loop.
[[nodiscard]] std::int64_t stepLengthFor(std::int64_t frequency);

}  // namespace vantrell
