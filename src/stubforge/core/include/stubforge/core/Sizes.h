#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace stubforge {

// The form's size bounds in (decimal) megabytes, ends included.
inline constexpr double MIN_FILE_SIZE_MB = 0.01;
inline constexpr double MAX_FILE_SIZE_MB = 50000.0;

// Bytes for a size in megabytes: round(megabytes × 1,000,000), so "1.001"
// gives 1,001,000. Nothing for a size that is not finite, below one byte or
// above the form's maximum.
std::optional<std::int64_t> targetByteCount(double megabytes);

}  // namespace stubforge
