#include "kit/measurement/support/MSRScheduler.h"

#include "MainThread.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/MessageFormat.h"
#include "platform/concurrency/SerialQueue.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kit::measurement {

namespace {

std::string fill(std::string_view format, std::string_view argument) {
    return platform::formatMessage(format, {platform::MessageArgument(argument)});
}

}  // namespace

MSRScheduler::MSRScheduler(std::string_view workerQueueLabel)
    : workerQueue_(std::make_unique<platform::SerialQueue>(std::string(workerQueueLabel))) {
    // Background priority: the worker thread runs at a raised nice value.
    workerQueue_->async([] { ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10); });
}

MSRScheduler::~MSRScheduler() = default;

void MSRScheduler::scheduleOnWorkerQueueBlockID(std::string_view blockID, MSRBlock block) {
    if (!block) {
        MSRMeasurementMonitor().logWithLevel(
            1, 30005, fill("Nil block dispatched asynchronously on worker queue. Block ID=%@.", blockID));
        return;
    }
    // Counted from now until the block is freed, run or dropped.
    ++*pending_;
    auto mark = std::shared_ptr<void>(nullptr, [pending = pending_](void*) { --*pending; });
    workerQueue_->async([id = std::string(blockID), block = std::move(block), mark = std::move(mark)] {
        try {
            block();
        } catch (...) {
            MSRMeasurementMonitor().logWithLevel(1, 30000,
                                                 fill("Exception on worker queue. Block ID=%@. Exception", id),
                                                 MSRExceptionFromCurrentException());
        }
    });
}

void MSRScheduler::dispatchSyncOnWorkerQueueBlockID(std::string_view blockID, const MSRBlock& block) {
    if (!block) {
        MSRMeasurementMonitor().logWithLevel(
            1, 30002, fill("Nil block dispatched synchronously on worker queue. Block ID=%@.", blockID));
        return;
    }
    bool completed = false;
    workerQueue_->sync([&] {
        try {
            block();
            completed = true;
        } catch (...) {
            MSRMeasurementMonitor().logWithLevel(
                1, 30003, fill("Exception on worker queue when processing sync block. Block ID=%@. Exception", blockID),
                MSRExceptionFromCurrentException());
        }
    });
    if (!completed) {
        MSRMeasurementMonitor().logWithLevel(4, 30004, fill("Synchronous task failed. Block ID=%@", blockID));
    }
}

bool MSRScheduler::checkOnBackgroundThreadWithMethodName(std::string_view methodName) {
    if (!MSRIsMainThread()) {
        return true;
    }
    MSRMeasurementMonitor().logWithLevel(
        1, 30001,
        fill("Method %@ should execute on background thread", methodName.empty() ? "<empty method name>" : methodName));
    return false;
}

}  // namespace kit::measurement
