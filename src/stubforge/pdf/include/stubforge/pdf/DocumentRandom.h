#pragma once

#include "platform/Random.h"

#include <cstdint>

// The random routines all PDF code draws with. Bounds they cannot draw
// from throw platform::Error (platform::RandomSourceError).
namespace stubforge {

// A uniform integer in [0, n), by multiply-and-reject on 64-bit words. n must
// be at least 1 (RandomSourceError::invalidBound otherwise).
std::uint64_t randomIntBelow(platform::RandomSource& random, std::uint64_t n);

// A uniform double in [lower, upper): 53 random bits scaled to the width;
// a draw that rounds onto `upper` is drawn again. `lower` must differ from
// `upper` and the width must be finite (RandomSourceError::invalidRange
// otherwise).
double randomDoubleInRange(platform::RandomSource& random, double lower, double upper);

// A uniform double in the closed range [lower, upper]: k uniform in
// 0 … 2^53 inclusive, `upper` exactly when k = 2^53. The width must be
// finite (RandomSourceError::invalidRange otherwise).
double randomDoubleInClosedRange(platform::RandomSource& random, double lower, double upper);

}  // namespace stubforge
