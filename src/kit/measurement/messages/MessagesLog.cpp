#include "kit/measurement/messages/MessagesLog.h"
#include "kit/core/KitContext.h"

#include <mutex>

namespace kit::measurement {
namespace {

class ForwardingLogSink final : public platform::LogSink {
public:
    void write(const platform::LogEntry& entry) override {
        std::shared_ptr<platform::LogSink> target;
        {
            std::lock_guard lock(mutex_);
            target = sink_;
        }
        if (target != nullptr) {
            target->write(entry);
        } else {
            platform::standardLogSink().write(entry);
        }
    }

    void install(std::shared_ptr<platform::LogSink> sink) {
        std::lock_guard lock(mutex_);
        sink_ = std::move(sink);
    }

private:
    std::mutex mutex_;
    std::shared_ptr<platform::LogSink> sink_;  // guarded by mutex_; null: stderr
};

// One per kit context.
ForwardingLogSink& forwardingSink() { return KitContext::current().service<ForwardingLogSink>(); }

}  // namespace

platform::LogSink& messagesLog() { return forwardingSink(); }

void installMessagesLogSink(std::shared_ptr<platform::LogSink> sink) { forwardingSink().install(std::move(sink)); }

}  // namespace kit::measurement
