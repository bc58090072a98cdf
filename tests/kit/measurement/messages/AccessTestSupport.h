#pragma once

// Helpers of the wrapper and accessor tests: every line the module writes lands
// in a capture sink for the length of a test.

#include "MessageTestSupport.h"
#include "kit/measurement/messages/ExperimentFlags.h"
#include "kit/measurement/messages/MessagesLog.h"
#include "kit/measurement/messages/NanoMessageAccess.h"

#include <memory>
#include <string>
#include <vector>

namespace kit::measurement::testing {

class CapturedLines : public ::testing::Test {
protected:
    void SetUp() override { installMessagesLogSink(sink_); }
    void TearDown() override { installMessagesLogSink(nullptr); }

    std::vector<std::string> lines() { return sink_->drainLines(); }

private:
    std::shared_ptr<platform::CaptureLogSink> sink_ = std::make_shared<platform::CaptureLogSink>();
};

inline std::string notScalarLine(std::string_view kind, std::string_view message, int field) {
    return "<Nano/Failure> Field type isn't a scalar " + std::string(kind) + ". Message: " + std::string(message) +
           ", field ID: " + std::to_string(field);
}

inline std::string notRepeatedLine(std::string_view message, int field) {
    return "<Nano/Failure> Field type isn't REPEATED. Message: " + std::string(message) +
           ", field ID: " + std::to_string(field);
}

inline std::string outOfRangeLine(std::string_view message, int field) {
    return "<Nano/Failure> Field ID is out of range. Message: " + std::string(message) +
           ", field ID: " + std::to_string(field);
}

inline std::string mismatchLine(std::string_view message, int field) {
    return "<Nano/Failure> Message type mismatch. Message: " + std::string(message) +
           ", field ID: " + std::to_string(field);
}

// A monitor that keeps what it was told.
class RecordingMonitor final : public ExperimentMonitor {
public:
    struct Entry {
        int level;
        std::int64_t code;
        std::string message;
        std::optional<platform::Value> context;
        bool operator==(const Entry&) const = default;
    };

    void logWithLevel(int level, std::int64_t messageCode, std::string_view message) override {
        entries.push_back({level, messageCode, std::string(message), std::nullopt});
    }
    void logWithLevel(int level, std::int64_t messageCode, std::string_view message,
                      const platform::Value& context) override {
        entries.push_back({level, messageCode, std::string(message), context});
    }

    std::vector<Entry> entries;
};

}  // namespace kit::measurement::testing
