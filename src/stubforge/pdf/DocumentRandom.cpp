#include "stubforge/pdf/DocumentRandom.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"

#include <cmath>

namespace stubforge {

namespace {

// 2^53: the number of evenly spaced doubles a random fraction is drawn from.
constexpr std::uint64_t kFractionSteps = std::uint64_t{1} << 53;
constexpr double kFractionUnit = 0x1.0p-53;

}  // namespace

std::uint64_t randomIntBelow(platform::RandomSource& random, std::uint64_t n) {
    // The platform's bounded draw is the same multiply-and-reject rule.
    return random.below(n);
}

double randomDoubleInRange(platform::RandomSource& random, double lower, double upper) {
    const double width = upper - lower;
    if (lower == upper || !std::isfinite(width)) {
        throw platform::Error(platform::RandomSourceError::invalidRange,
                              "A random value in a range needs two different bounds a finite width apart.");
    }
    while (true) {
        const std::uint64_t k = random.next() & (kFractionSteps - 1);
        const double value = lower + width * (static_cast<double>(k) * kFractionUnit);
        // Near the top the sum can round onto `upper`, which the range leaves out.
        if (value != upper) {
            return value;
        }
    }
}

double randomDoubleInClosedRange(platform::RandomSource& random, double lower, double upper) {
    const double width = upper - lower;
    if (!std::isfinite(width)) {
        throw platform::Error(platform::RandomSourceError::invalidRange,
                              "A random value in a closed range needs finite bounds a finite width apart.");
    }
    const std::uint64_t k = random.below(kFractionSteps + 1);
    if (k == kFractionSteps) {
        return upper;
    }
    return lower + width * (static_cast<double>(k) * kFractionUnit);
}

}  // namespace stubforge
