#pragma once

#include "platform/Log.h"

#include <chrono>
#include <functional>
#include <string_view>

namespace platform {

using Work = std::function<void()>;

// Something that runs work later, on a thread of its choosing.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void async(Work work) = 0;
};

// An executor turned by a loop on one thread (the host's event loop, a
// test's manual queue). Code that waits on that thread for work queued on it
// must keep the loop turning, or what it waits for never runs.
class RunLoopExecutor : public Executor {
public:
    // True on the loop's own thread.
    virtual bool isLoopThread() const = 0;
    // Runs queued blocks, and waits for more, until `timeout` has passed.
    virtual void runFor(std::chrono::nanoseconds timeout) = 0;
};

// Runs `work`, catching whatever it throws and logging it as an error line
// naming `queueLabel`: a block that throws never ends its queue's thread or
// the process.
void runGuarded(const Work& work, std::string_view queueLabel, LogSink& log) noexcept;

}  // namespace platform
