#include "kit/measurement/support/MSRScheduler.h"

#include "MainThread.h"
#include "SchedulingLines.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/MessageFormat.h"
#include "platform/concurrency/SerialQueue.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kit::measurement {

namespace {

// Named in the line when the caller gave no method name.
constexpr std::string_view kEmptyMethodName = "<empty method name>";

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
            scheduling_lines::kNilBlockDispatchedAsynchronouslyWorkerQueue.level,
            scheduling_lines::kNilBlockDispatchedAsynchronouslyWorkerQueue.code,
            fill(scheduling_lines::kNilBlockDispatchedAsynchronouslyWorkerQueue.text, blockID));
        return;
    }
    // Counted from now until the block is freed, run or dropped.
    ++*pending_;
    auto mark = std::shared_ptr<void>(nullptr, [pending = pending_](void*) { --*pending; });
    workerQueue_->async([id = std::string(blockID), block = std::move(block), mark = std::move(mark)] {
        try {
            block();
        } catch (...) {
            MSRMeasurementMonitor().logWithLevel(scheduling_lines::kExceptionWorkerQueueBlockID.level,
                                                 scheduling_lines::kExceptionWorkerQueueBlockID.code,
                                                 fill(scheduling_lines::kExceptionWorkerQueueBlockID.text, id),
                                                 MSRExceptionFromCurrentException());
        }
    });
}

void MSRScheduler::dispatchSyncOnWorkerQueueBlockID(std::string_view blockID, const MSRBlock& block) {
    if (!block) {
        MSRMeasurementMonitor().logWithLevel(
            scheduling_lines::kNilBlockDispatchedSynchronouslyWorkerQueue.level,
            scheduling_lines::kNilBlockDispatchedSynchronouslyWorkerQueue.code,
            fill(scheduling_lines::kNilBlockDispatchedSynchronouslyWorkerQueue.text, blockID));
        return;
    }
    bool completed = false;
    workerQueue_->sync([&] {
        try {
            block();
            completed = true;
        } catch (...) {
            MSRMeasurementMonitor().logWithLevel(
                scheduling_lines::kExceptionWorkerQueueWhenProcessingSync.level,
                scheduling_lines::kExceptionWorkerQueueWhenProcessingSync.code,
                fill(scheduling_lines::kExceptionWorkerQueueWhenProcessingSync.text, blockID),
                MSRExceptionFromCurrentException());
        }
    });
    if (!completed) {
        MSRMeasurementMonitor().logWithLevel(scheduling_lines::kSynchronousTaskFailed.level,
                                             scheduling_lines::kSynchronousTaskFailed.code,
                                             fill(scheduling_lines::kSynchronousTaskFailed.text, blockID));
    }
}

bool MSRScheduler::checkOnBackgroundThreadWithMethodName(std::string_view methodName) {
    if (!MSRIsMainThread()) {
        return true;
    }
    const std::string_view name = methodName.empty() ? kEmptyMethodName : methodName;
    MSRMeasurementMonitor().logWithLevel(scheduling_lines::kMethodShouldRunOnBackgroundThread.level,
                                         scheduling_lines::kMethodShouldRunOnBackgroundThread.code,
                                         fill(scheduling_lines::kMethodShouldRunOnBackgroundThread.text, name));
    return false;
}

}  // namespace kit::measurement
