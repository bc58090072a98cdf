#pragma once

#include <memory>

namespace platform {

// Something that runs work on threads of its own: serial queues, the global
// pool, the system clock's timer thread, network threads.
class Stoppable {
public:
    virtual ~Stoppable() = default;
    // Drops what is queued, waits for what runs and joins the threads. Called
    // after workStopped() holds, so nothing new is taken meanwhile.
    virtual void stopAndJoin() = 0;
};

// Held weakly: an owner that goes away needs no unregistering.
void registerStoppable(const std::shared_ptr<Stoppable>& stoppable);

// True between stopAllWork() and resumeAllWork(): new work is dropped
// uncalled, and sync calls run on their caller's thread.
bool workStopped() noexcept;

// Stops every registered thread and joins it, so that nothing runs while
// the process ends. The host calls it, through its kit context, after the
// quit drain and before main returns.
void stopAllWork();

// Takes work again; threads start anew with the next work (tests building
// a fresh kit context after another one ended).
void resumeAllWork();

}  // namespace platform
