#include "kit/measurement/messages/MessagesMonitor.h"
#include "kit/core/KitContext.h"

#include "kit/measurement/messages/MessageCodec.h"
#include "kit/measurement/messages/MessagesLog.h"

#include <mutex>

namespace kit::measurement {
namespace {

platform::LogType logTypeForLevel(int level) {
    if (level >= 0 && level <= 2) {
        return platform::LogType::error;
    }
    if (level == 6) {
        return platform::LogType::notice;
    }
    if (level == 7 || level == 8) {
        return platform::LogType::debug;
    }
    return platform::LogType::warning;
}

std::string contextText(const MessagesMonitorContext& context) {
    struct Describe {
        std::string operator()(MessagesMonitorNull) const { return "(nil)"; }
        std::string operator()(const std::string& text) const { return text; }
        std::string operator()(std::int64_t number) const { return std::to_string(number); }
        std::string operator()(double number) const { return std::to_string(number); }
        std::string operator()(const platform::Error& error) const {
            return error.domain() + " " + std::to_string(error.code()) + ": " + error.what();
        }
        std::string operator()(const platform::Value&) const { return "(value)"; }
    };
    return std::visit(Describe{}, context);
}

// Until the controller installs the engine's monitor: one line per call on
// the messages log.
class LogMonitor final : public MessagesMonitor {
public:
    using MessagesMonitor::logWithLevel;
    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message,
                      const std::vector<MessagesMonitorContext>& contexts) override {
        std::string line = "I-ACS" + std::to_string(messageCode) + " " + std::string(message);
        for (std::size_t index = 0; index < contexts.size(); ++index) {
            line += index == 0 ? ": " : ", ";
            line += contextText(contexts[index]);
        }
        messagesLog().log(messagesLogSubsystem, messagesLogCategory, logTypeForLevel(level), line);
    }
};

class ForwardingMonitor final : public MessagesMonitor {
public:
    using MessagesMonitor::logWithLevel;
    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message,
                      const std::vector<MessagesMonitorContext>& contexts) override {
        std::shared_ptr<MessagesMonitor> target;
        {
            std::lock_guard lock(mutex_);
            target = monitor_;
        }
        if (target != nullptr) {
            target->logWithLevel(level, messageCode, message, contexts);
        } else {
            fallback_.logWithLevel(level, messageCode, message, contexts);
        }
    }

    void install(std::shared_ptr<MessagesMonitor> monitor) {
        std::lock_guard lock(mutex_);
        monitor_ = std::move(monitor);
    }

private:
    std::mutex mutex_;
    std::shared_ptr<MessagesMonitor> monitor_;  // guarded by mutex_; null: the log
    LogMonitor fallback_;
};

// One per kit context.
ForwardingMonitor& forwardingMonitor() { return KitContext::current().service<ForwardingMonitor>(); }

}  // namespace

MessagesMonitor& messagesMonitor() { return forwardingMonitor(); }

void installMessagesMonitor(std::shared_ptr<MessagesMonitor> monitor) {
    forwardingMonitor().install(std::move(monitor));
}

}  // namespace kit::measurement
