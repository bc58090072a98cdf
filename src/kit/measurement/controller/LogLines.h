#pragma once

#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <cstdint>
#include <string_view>
#include <utility>

// One log line of the engine (code, level, text) and how it is logged: through
// the engine's monitor, with any contexts the text names.
namespace kit::measurement::log_lines {

struct Line {
    std::uint64_t code;
    int level;
    std::string_view text;
};

template <typename... Contexts>
void log(const Line& line, Contexts&&... contexts) {
    MSRMeasurementMonitor().logWithLevel(line.level, line.code, line.text,
                                         MSRLogContext(std::forward<Contexts>(contexts))...);
}

}  // namespace kit::measurement::log_lines
