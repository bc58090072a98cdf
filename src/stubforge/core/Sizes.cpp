#include "stubforge/core/Sizes.h"

#include <cmath>

namespace stubforge {

std::optional<std::int64_t> targetByteCount(double megabytes) {
    if (!std::isfinite(megabytes) || megabytes > MAX_FILE_SIZE_MB) {
        return std::nullopt;
    }
    const double bytes = std::round(megabytes * 1'000'000.0);
    if (bytes < 1.0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(bytes);
}

}  // namespace stubforge
