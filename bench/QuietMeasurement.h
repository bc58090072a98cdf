#pragma once

#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/Log.h"

#include <cstdint>
#include <memory>
#include <string_view>

// The kit's logs and the measurement services, silent: a benchmark times
// the work, not its debug lines.
namespace bench {

class DiscardSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry&) override {}
};

class DiscardLogging final : public kit::measurement::MSRLogging {
public:
    void logMessage(std::string_view, std::string_view, std::int64_t, std::int64_t) override {}
};

class QuietServices final : public kit::measurement::MeasurementServices {
public:
    kit::measurement::MSRMonitor& monitor() override { return monitor_; }
    bool isFAS() override { return false; }
    std::int64_t appMeasurementLibraryVersion() override { return kit::measurement::kMSRDefaultLibraryVersion; }

private:
    kit::measurement::MSRMonitor monitor_{-1, std::make_shared<DiscardLogging>(), 1};
};

}  // namespace bench
