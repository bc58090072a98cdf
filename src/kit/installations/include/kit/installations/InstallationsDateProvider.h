#pragma once

#include "platform/Clock.h"

#include <functional>

namespace kit::installations {

// Where the installation client reads the current date: token expiry, the
// backoff intervals.
using HLOInstallationsDateProvider = std::function<platform::TimePoint()>;

// The promises' scheduling clock, read at each call, so that a test's
// TestClock moves retries, expiry and backoff together.
HLOInstallationsDateProvider defaultDateProvider();

}  // namespace kit::installations
