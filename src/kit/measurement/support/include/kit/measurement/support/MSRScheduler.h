#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {
class SerialQueue;
}

// The one serial worker queue of the measurement engine. A block that
// throws is caught at the block boundary and logged with its identifier;
// the queue goes on with the next block.
namespace kit::measurement {

using MSRBlock = std::function<void()>;

class MSRScheduler {
public:
    explicit MSRScheduler(std::string_view workerQueueLabel);
    ~MSRScheduler();
    MSRScheduler(const MSRScheduler&) = delete;
    MSRScheduler& operator=(const MSRScheduler&) = delete;

    void scheduleOnWorkerQueueBlockID(std::string_view blockID, MSRBlock block);
    // Waits for the block; called from the worker queue it runs inline.
    void dispatchSyncOnWorkerQueueBlockID(std::string_view blockID, const MSRBlock& block);

    platform::SerialQueue& workerQueue() noexcept { return *workerQueue_; }

    // True when no block scheduled above is waiting or running (a block
    // dropped unrun counts as done once it is freed).
    bool isIdle() const noexcept { return pending_->load() == 0; }

    // False, with a log line, on the main thread.
    static bool checkOnBackgroundThreadWithMethodName(std::string_view methodName);

private:
    // Shared with the blocks, which may be freed after the scheduler.
    std::shared_ptr<std::atomic<std::int64_t>> pending_ = std::make_shared<std::atomic<std::int64_t>>(0);
    std::unique_ptr<platform::SerialQueue> workerQueue_;
};

inline constexpr std::string_view kMSRWorkerQueueLabel = "com.lumen.halo-analytics.worker";

}  // namespace kit::measurement
