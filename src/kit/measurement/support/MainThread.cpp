#include "MainThread.h"

#include "platform/concurrency/SerialQueue.h"

namespace kit::measurement {

bool MSRIsMainThread() {
    const std::shared_ptr<platform::Executor> main = platform::MainQueue::get();
    if (const auto* loop = dynamic_cast<const platform::RunLoopExecutor*>(main.get())) {
        return loop->isLoopThread();
    }
    if (const auto* queue = dynamic_cast<const platform::SerialQueue*>(main.get())) {
        return queue->isCurrent();
    }
    return false;
}

}  // namespace kit::measurement
