#include "camera/MovementClock.h"

#include <limits>

namespace vantrell {

std::int64_t stepLengthFor(std::int64_t frequency) {
    // The factor is the float nearest 0.01, but the product is taken wider than float: in
    // float, 10,000,000 * 0.01f rounds up to 100000, whereas the counts per step are
    // 99999.9977... truncated, 99999.
    const double counts = static_cast<double>(frequency) * static_cast<double>(0.01f);
    // A counter of 100 counts per second or less would give 0 and the step loop of update()
    // would never end; an absurd rate must not overflow the conversion either.
    if (!(counts >= 1.0)) return 1;
    if (counts >= 9.0e18) return std::numeric_limits<std::int64_t>::max() / 2;
    return static_cast<std::int64_t>(counts);
}

}  // namespace vantrell
