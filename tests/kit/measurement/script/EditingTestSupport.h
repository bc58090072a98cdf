#pragma once

#include "ProgramNotation.h"
#include "kit/core/KitContext.h"
#include "kit/measurement/script/MSRPEventEditing.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace script_test {

using kit::measurement::MessageType;
using kit::measurement::MSRPEvent;
using kit::measurement::NanoMessageList;
using kit::measurement::script::MSRPEventEditing;
using platform::Value;

struct Activity {
    std::string ruleName;
    std::string statements;
};

// A Program record: top-level statements and activities in the notation.
inline NanoMessageInfo makeProgram(std::string_view instructions, const std::vector<Activity>& activities = {}) {
    NanoMessageInfo program(MessageType::Program);
    std::get<NanoMessageList>(program.slots[0]) = parseProgram(instructions);
    if (!activities.empty()) {
        auto list = std::make_unique<NanoMessageInfo>(MessageType::OgtActivities);
        for (const Activity& activity : activities) {
            NanoMessageInfo record(MessageType::OgtActivity);
            record.slots[0] = activity.ruleName;
            std::get<NanoMessageList>(record.slots[1]) = parseProgram(activity.statements);
            std::get<NanoMessageList>(list->slots[0]).push_back(std::move(record));
        }
        program.slots[1] = std::move(list);
    }
    return program;
}

// Top-level statements that bind "reg" and "log" to the two event modules
// and define `rule` with the registrations given; one activity runs it.
inline NanoMessageInfo registrationProgram(const std::string& registrations, const std::string& prelude = "") {
    return makeProgram(R"((41 "reg" "log") (3 "reg" (require "internal.registerCallback"))
                          (3 "log" (require "internal.eventLogger")) )" +
                           prelude + R"( (50 "rule" (7 "r") )" + registrations + ")",
                       {{"rule", "(8)"}});
}

// One registration: a callback (parameter "e") of `type` with `body`.
inline std::string callback(std::string_view type, std::string_view body, std::string_view priority = "") {
    std::string options = R"((8 "type" ")" + std::string(type) + "\"";
    if (!priority.empty()) {
        options += R"( "priority" )" + std::string(priority);
    }
    return R"((reg 0 (51 "" (7 "e") )" + std::string(body) + ") " + options + "))";
}

// Event access in a callback body.
inline std::string call(std::string_view method, std::string_view arguments = "") {
    return R"((2 (15 "e") ")" + std::string(method) + R"(" (7 )" + std::string(arguments) + "))";
}

class SilentLogging final : public kit::measurement::MSRLogging {
public:
    void logMessage(std::string_view, std::string_view, std::int64_t, std::int64_t) override {}
};

// A monitor whose lines a test reads back, installed as the engine's.
class CaptureServices final : public kit::measurement::MeasurementServices {
public:
    struct Line {
        int level;
        std::uint64_t code;
        std::string message;
        std::vector<std::string> contexts;
        std::int64_t count = -1;  // the first number among the contexts
    };

    CaptureServices() {
        kit::measurement::MSRMonitor::Environment environment;
        environment.observer = [this](int level, std::uint64_t code, std::string_view message,
                                      const kit::measurement::MSRLogContexts& contexts) {
            Line line{level, code, std::string(message), {}};
            for (const auto& context : contexts) {
                if (const auto* text = std::get_if<std::string>(&context.storage())) {
                    line.contexts.push_back(*text);
                } else if (const auto* number = std::get_if<std::int64_t>(&context.storage());
                           number != nullptr && line.count < 0) {
                    line.count = *number;
                }
            }
            std::lock_guard lock(mutex_);
            lines_.push_back(std::move(line));
        };
        monitor_ = std::make_unique<kit::measurement::MSRMonitor>(
            0, std::make_shared<SilentLogging>(), kit::measurement::kMSRDefaultLibraryVersion, std::move(environment));
    }
    kit::measurement::MSRMonitor& monitor() override { return *monitor_; }
    bool isFAS() override { return false; }
    std::int64_t appMeasurementLibraryVersion() override { return kit::measurement::kMSRDefaultLibraryVersion; }

    std::vector<Line> linesWithCode(std::uint64_t code) {
        monitor_->waitUntilIdle();
        std::lock_guard lock(mutex_);
        std::vector<Line> found;
        for (const Line& line : lines_) {
            if (line.code == code) {
                found.push_back(line);
            }
        }
        return found;
    }

private:
    std::mutex mutex_;
    std::vector<Line> lines_;
    std::unique_ptr<kit::measurement::MSRMonitor> monitor_;
};

// A test with the capture monitor installed.
class CaptureMonitorTest : public ::testing::Test {
protected:
    CaptureMonitorTest() { kit::measurement::MeasurementServices::install(services_); }
    CaptureServices& services() { return *services_; }

private:
    // The test's own kit context: the installed services and seams end with it.
    kit::KitContext context_;
    std::shared_ptr<CaptureServices> services_ = std::make_shared<CaptureServices>();
};

// "editing:N" or "script:N" for an error, else "ok".
inline std::string errorText(const platform::Error& error) {
    std::string domain =
        error.domain() == errorDomain(kit::measurement::script::MSRPEventEditingErrorCode{}) ? "editing:" : "script:";
    return domain + std::to_string(error.code());
}

inline std::string loadText(MSRPEventEditing& editing, const NanoMessageInfo& program) {
    auto loaded = editing.loadProgram(program);
    return loaded ? "ok" : errorText(loaded.error());
}

}  // namespace script_test
