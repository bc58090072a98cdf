#include "platform/concurrency/Timers.h"

#include "platform/concurrency/SerialQueue.h"

#include <time.h>

#include <algorithm>
#include <future>
#include <utility>

namespace platform {

namespace {

// Runs `work` on `executor` and waits for it to finish; inline when the
// caller is already on that serial queue.
void runAndWait(Executor& executor, Work work) {
    if (const auto* queue = dynamic_cast<const SerialQueue*>(&executor); queue != nullptr && queue->isCurrent()) {
        runGuarded(work, queue->label(), standardLogSink());
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    executor.async([&] {
        runGuarded(work, "timer", standardLogSink());
        done.set_value();
    });
    finished.wait();
}

}  // namespace

struct SystemSchedulingClock::Entry {
    std::chrono::steady_clock::time_point due;
    std::uint64_t sequence;
    std::shared_ptr<Timer> timer;
    Executor* executor;
    Work work;
};

namespace {

template <typename EntryPointer>
bool laterFirst(const EntryPointer& left, const EntryPointer& right) {
    return left->due != right->due ? left->due > right->due : left->sequence > right->sequence;
}

}  // namespace

SystemSchedulingClock::SystemSchedulingClock() = default;

SystemSchedulingClock::~SystemSchedulingClock() { stopAndJoin(); }

void SystemSchedulingClock::stopAndJoin() {
    std::vector<std::shared_ptr<Entry>> dropped;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        dropped.swap(entries_);
    }
    wake_.notify_all();
    {
        std::lock_guard joining(joinMutex_);
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::lock_guard lock(mutex_);
    stopping_ = false;
}

Duration SystemSchedulingClock::uptime() const {
    // CLOCK_BOOTTIME has been there since Linux 2.6.39; should a kernel
    // refuse it, the monotonic clock (which skips suspension) is the next
    // best, so an interval is never measured on the settable wall clock.
    timespec now{};
    if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0 && ::clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return std::chrono::steady_clock::now().time_since_epoch();
    }
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

std::shared_ptr<Timer> SystemSchedulingClock::after(Duration delay, Executor& executor, Work work) {
    auto timer = std::make_shared<Timer>();
    {
        std::lock_guard lock(mutex_);
        if (workStopped() || stopping_) {
            return timer;  // `work` goes with the call, outside the lock
        }
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { run(); });
        }
        const auto due = std::chrono::steady_clock::now() + std::max(delay, Duration::zero());
        entries_.push_back(std::make_shared<Entry>(Entry{due, sequence_++, timer, &executor, std::move(work)}));
        std::push_heap(entries_.begin(), entries_.end(), laterFirst<std::shared_ptr<Entry>>);
        wake_.notify_all();
    }
    return timer;
}

void SystemSchedulingClock::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (entries_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const auto due = entries_.front()->due;
        if (std::chrono::steady_clock::now() < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        std::pop_heap(entries_.begin(), entries_.end(), laterFirst<std::shared_ptr<Entry>>);
        std::shared_ptr<Entry> entry = std::move(entries_.back());
        entries_.pop_back();
        if (entry->timer->isCancelled()) {
            continue;
        }
        lock.unlock();
        // Cancelling after this point but before the block starts still wins.
        entry->executor->async([timer = entry->timer, work = std::move(entry->work)] {
            if (!timer->isCancelled()) {
                work();
            }
        });
        lock.lock();
    }
}

SchedulingClock& systemSchedulingClock() {
    // Never destroyed: blocks of queues that outlive main may still ask for it.
    // The holder itself is kept in a static, so it stays reachable.
    static const std::shared_ptr<SystemSchedulingClock>& clock = []() -> const std::shared_ptr<SystemSchedulingClock>& {
        auto& made = *new std::shared_ptr<SystemSchedulingClock>(std::make_shared<SystemSchedulingClock>());
        registerStoppable(made);
        return made;
    }();
    return *clock;
}

struct TestClock::Entry {
    Duration due;  // uptime
    std::uint64_t sequence;
    std::shared_ptr<Timer> timer;
    Executor* executor;
    Work work;
};

TestClock::TestClock(TimePoint start, Duration uptime) : now_(start), uptime_(uptime) {}

TimePoint TestClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

Duration TestClock::uptime() const {
    std::lock_guard lock(mutex_);
    return uptime_;
}

std::shared_ptr<Timer> TestClock::after(Duration delay, Executor& executor, Work work) {
    auto timer = std::make_shared<Timer>();
    std::lock_guard lock(mutex_);
    const Duration due = uptime_ + std::max(delay, Duration::zero());
    entries_.push_back(std::make_shared<Entry>(Entry{due, sequence_++, timer, &executor, std::move(work)}));
    return timer;
}

void TestClock::advance(Duration by) {
    std::unique_lock lock(mutex_);
    // Timers fall due on uptime, so a wall-clock change made with setNow()
    // moves none of them; the wall clock moves along with uptime here.
    const Duration target = uptime_ + std::max(by, Duration::zero());
    for (;;) {
        std::erase_if(entries_, [](const auto& entry) { return entry->timer->isCancelled(); });
        const auto next = std::min_element(entries_.begin(), entries_.end(), [](const auto& left, const auto& right) {
            return left->due != right->due ? left->due < right->due : left->sequence < right->sequence;
        });
        if (next == entries_.end() || (*next)->due > target) {
            break;
        }
        std::shared_ptr<Entry> entry = *next;
        entries_.erase(next);
        const Duration step = std::max(uptime_, entry->due) - uptime_;
        uptime_ += step;
        now_ += std::chrono::duration_cast<TimePoint::duration>(step);
        lock.unlock();
        runAndWait(*entry->executor, [timer = entry->timer, work = std::move(entry->work)] {
            if (!timer->isCancelled()) {
                work();
            }
        });
        lock.lock();
    }
    // A block may have set the wall clock: it keeps what was set.
    now_ += std::chrono::duration_cast<TimePoint::duration>(target - uptime_);
    uptime_ = target;
}

void TestClock::setNow(TimePoint now) {
    std::lock_guard lock(mutex_);
    now_ = now;
}

std::size_t TestClock::pendingTimerCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(),
                                                  [](const auto& entry) { return !entry->timer->isCancelled(); }));
}

double uptimeSeconds(const SchedulingClock& clock) {
    return std::chrono::duration<double>(std::chrono::duration_cast<std::chrono::microseconds>(clock.uptime())).count();
}

}  // namespace platform
