#include "kit/promises/PRMPromise.h"

#include "platform/MessageFormat.h"
#include "platform/concurrency/SerialQueue.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <new>

namespace kit::promises {

namespace {

// Storage that is built on first use and never destroyed: queued callbacks
// and timers still leave the promise group while other statics are torn
// down at exit.
template <typename T>
class NeverDestroyed {
public:
    NeverDestroyed() { ::new (static_cast<void*>(storage_)) T(); }
    T& get() noexcept { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

struct ClassState {
    std::mutex mutex;
    Queue defaultQueue;                                // guarded by mutex; null: the main queue
    std::shared_ptr<platform::SchedulingClock> clock;  // guarded by mutex; null: the system clock
    platform::Group group;
};

ClassState& classState() {
    static NeverDestroyed<ClassState> state;
    return state.get();
}

class ImmediateExecutor final : public platform::Executor {
public:
    void async(platform::Work work) override {
        platform::runGuarded(work, "promise timer", platform::standardLogSink());
    }
};

constexpr double maximumIntervalSeconds = 10 * 365.25 * 24 * 60 * 60;

thread_local std::vector<std::shared_ptr<void>>* releasesInProgress = nullptr;

}  // namespace

namespace detail {

void throwInvalidParameter(std::string_view name) {
    throw platform::ProgrammerError(std::string(programmerErrorName),
                                    platform::formatMessage(invalidParameterFormat, {name}));
}

void throwNoPromisesToObserve() {
    throw platform::ProgrammerError(std::string(programmerErrorName), std::string(noPromisesToObserve));
}

platform::Group& promiseGroup() { return classState().group; }

platform::Executor& timerExecutor() {
    static ImmediateExecutor executor;
    return executor;
}

std::chrono::nanoseconds clampedInterval(double seconds) noexcept {
    if (std::isnan(seconds) || seconds <= 0) {
        return std::chrono::nanoseconds::zero();
    }
    seconds = std::min(seconds, maximumIntervalSeconds);
    return std::chrono::nanoseconds(static_cast<std::int64_t>(std::llround(seconds * 1e9)));
}

ErrorPointer currentExceptionError() {
    try {
        throw;
    } catch (const std::exception& exception) {
        return std::make_shared<const platform::Error>(callbackFailedError(exception.what()));
    } catch (...) {
        return std::make_shared<const platform::Error>(callbackFailedError(unknownExceptionText));
    }
}

std::string addressText(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

std::string errorDescription(const platform::Error& error) {
    return platform::formatMessage("Error Domain=%@ Code=%ld \"%@\"",
                                   {error.domain(), static_cast<long>(error.code()), error.what()});
}

void releaseIteratively(std::shared_ptr<void> garbage) noexcept {
    if (releasesInProgress != nullptr) {
        releasesInProgress->push_back(std::move(garbage));
        return;
    }
    std::vector<std::shared_ptr<void>> queued;
    releasesInProgress = &queued;
    garbage.reset();
    while (!queued.empty()) {
        std::shared_ptr<void> next = std::move(queued.back());
        queued.pop_back();
        next.reset();
    }
    releasesInProgress = nullptr;
}

Queue awaitQueue() {
    // The pool lives for the whole process; the handle owns nothing.
    static const Queue queue(Queue(), &platform::globalQueue());
    return queue;
}

}  // namespace detail

Queue PromiseClass::defaultDispatchQueue() {
    {
        std::lock_guard lock(classState().mutex);
        if (classState().defaultQueue) {
            return classState().defaultQueue;
        }
    }
    return platform::MainQueue::get();
}

void PromiseClass::setDefaultDispatchQueue(Queue queue) {
    detail::requireQueue(queue);
    std::lock_guard lock(classState().mutex);
    classState().defaultQueue = std::move(queue);
}

void PromiseClass::resetDefaultDispatchQueue() {
    Queue previous;
    std::lock_guard lock(classState().mutex);
    previous.swap(classState().defaultQueue);
}

platform::Group& PromiseClass::dispatchGroup() { return classState().group; }

bool PromiseClass::waitForAllPromises(double timeoutSeconds) {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + detail::clampedInterval(timeoutSeconds);
    platform::Group& group = dispatchGroup();
    while (!group.wait(10ms)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // Blocks queued on the main queue would wait for us if we merely
        // waited on its own thread.
        const Queue main = platform::MainQueue::get();
        if (auto* loop = dynamic_cast<platform::RunLoopExecutor*>(main.get());
            loop != nullptr && loop->isLoopThread()) {
            loop->runFor(10ms);
        }
    }
    return true;
}

std::shared_ptr<platform::SchedulingClock> PromiseClass::schedulingClock() {
    {
        std::lock_guard lock(classState().mutex);
        if (classState().clock) {
            return classState().clock;
        }
    }
    // The system clock lives for the whole process; the handle owns nothing.
    static const std::shared_ptr<platform::SchedulingClock> systemClock(std::shared_ptr<platform::SchedulingClock>(),
                                                                        &platform::systemSchedulingClock());
    return systemClock;
}

void PromiseClass::setSchedulingClock(std::shared_ptr<platform::SchedulingClock> clock) {
    if (!clock) {
        detail::throwInvalidParameter("clock");
    }
    std::lock_guard lock(classState().mutex);
    classState().clock = std::move(clock);
}

void PromiseClass::resetSchedulingClock() {
    std::shared_ptr<platform::SchedulingClock> previous;
    std::lock_guard lock(classState().mutex);
    previous.swap(classState().clock);
}

}  // namespace kit::promises
