#pragma once

#include "kit/core/LogLine.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <utility>

// How a measurement line is logged: through the engine's monitor (or the
// monitor given), with any contexts the text names.
namespace kit::measurement::log_lines {

using kit::log_lines::Line;

template <typename... Contexts>
void log(MSRMonitor& monitor, const Line& line, Contexts&&... contexts) {
    monitor.logWithLevel(line.level, line.code, line.text, MSRLogContext(std::forward<Contexts>(contexts))...);
}

template <typename... Contexts>
void log(const Line& line, Contexts&&... contexts) {
    log(MSRMeasurementMonitor(), line, std::forward<Contexts>(contexts)...);
}

}  // namespace kit::measurement::log_lines
