#pragma once

#include "KitTestSupport.h"
#include "kit/core/network/Network.h"
#include "platform/concurrency/SerialQueue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kit::testing {

// A reachability table driven by the test: it reports only when told to.
struct FakeReachability {
    std::mutex mutex;
    LMUReachabilityCallback callback;  // guarded by mutex
    bool failSchedule = false;
    int created = 0;
    int released = 0;

    void report(LMUReachabilityFlags flags) {
        LMUReachabilityCallback copy;
        {
            std::lock_guard lock(mutex);
            copy = callback;
        }
        if (copy) {
            copy(flags);
        }
    }
};

inline LMUReachabilityApi fakeReachabilityApi(const std::shared_ptr<FakeReachability>& fake) {
    LMUReachabilityApi api;
    api.createWithNameFn = [fake](const std::string&) -> LMUReachabilityRef {
        ++fake->created;
        return fake;
    };
    api.setCallbackFn = [fake](const LMUReachabilityRef&, LMUReachabilityCallback callback) {
        std::lock_guard lock(fake->mutex);
        fake->callback = std::move(callback);
        return true;
    };
    api.scheduleWithRunLoopFn = [fake](const LMUReachabilityRef&) { return !fake->failSchedule; };
    api.unscheduleFromRunLoopFn = [](const LMUReachabilityRef&) { return true; };
    api.releaseFn = [fake](const LMUReachabilityRef&) {
        std::lock_guard lock(fake->mutex);
        fake->callback = nullptr;
        ++fake->released;
    };
    return api;
}

struct Outcome {
    std::optional<HTTPURLResponse> response;
    std::vector<std::uint8_t> data;
    std::optional<platform::Error> error;
    bool onGivenQueue = false;
    bool afterCallReturned = false;
};

// Completions of one test, on a queue of the test's own.
class Completions {
public:
    Completions() : queue_(std::make_shared<platform::SerialQueue>("test.network.completions")) {}

    std::shared_ptr<platform::Executor> queue() const { return queue_; }

    // Keeps the queue busy until callReturned(), so a completion the call
    // hands over at once still runs after the call returned, however the
    // threads are scheduled; one run on the caller's stack is still seen.
    void holdUntilCallReturned() {
        gate_.emplace();
        queue_->async([opened = gate_->get_future().share()] { opened.wait(); });
    }

    // Marks the request call as returned (for the ordering check).
    void callReturned() {
        returned_.store(true);
        if (gate_) {
            gate_->set_value();
            gate_.reset();
        }
    }

    LMUNetworkCompletionHandler handler() {
        returned_.store(false);
        return [this, queue = queue_.get()](std::optional<HTTPURLResponse> response, std::vector<std::uint8_t> data,
                                            std::optional<platform::Error> error) {
            Outcome outcome{std::move(response), std::move(data), std::move(error), queue->isCurrent(),
                            returned_.load()};
            std::lock_guard lock(mutex_);
            outcomes_.push_back(std::move(outcome));
            arrived_.notify_all();
        };
    }

    bool waitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, timeout, [&] { return outcomes_.size() >= count; });
    }

    std::vector<Outcome> outcomes() {
        std::lock_guard lock(mutex_);
        return outcomes_;
    }

    // The only outcome, after waiting for it.
    Outcome single() {
        EXPECT_TRUE(waitFor(1));
        std::lock_guard lock(mutex_);
        EXPECT_EQ(outcomes_.size(), 1u);
        return outcomes_.empty() ? Outcome{} : outcomes_.front();
    }

private:
    std::shared_ptr<platform::SerialQueue> queue_;
    std::atomic<bool> returned_{false};
    std::optional<std::promise<void>> gate_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Outcome> outcomes_;  // guarded by mutex_
};

// Log lines a network hands its delegate.
class RecordingLoggerDelegate final : public LMUNetworkLoggerDelegate {
public:
    struct Line {
        int level;
        int code;
        std::string message;
        LMUNetworkLogContexts contexts;
    };

    void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                 const LMUNetworkLogContexts& contexts) override {
        std::lock_guard lock(mutex_);
        lines_.push_back({level, messageCode, std::string(message), contexts});
    }
    void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message,
                                 const std::optional<std::string>& context) override {
        LMUNetwork_logWithLevel(level, messageCode, message, LMUNetworkLogContexts{context});
    }
    void LMUNetwork_logWithLevel(int level, int messageCode, std::string_view message) override {
        LMUNetwork_logWithLevel(level, messageCode, message, LMUNetworkLogContexts{});
    }

    std::vector<Line> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool hasCode(int code) {
        std::lock_guard lock(mutex_);
        for (const Line& line : lines_) {
            if (line.code == code) {
                return true;
            }
        }
        return false;
    }

private:
    std::mutex mutex_;
    std::vector<Line> lines_;  // guarded by mutex_
};

class NetworkTest : public KitTest {
protected:
    std::shared_ptr<LMUNetwork> makeNetwork(TransportOptions options = {}) {
        LMUNetworkConfiguration configuration;
        configuration.transport = std::move(options);
        configuration.reachabilityApi = fakeReachabilityApi(reachability_);
        return LMUNetwork::initWithReachabilityHost("collect.test.invalid", std::move(configuration));
    }

    std::shared_ptr<FakeReachability> reachability_ = std::make_shared<FakeReachability>();
};

}  // namespace kit::testing
