#include "platform/concurrency/WorkStop.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <vector>

namespace platform {

namespace {

std::atomic<bool> stopped{false};
std::mutex registryMutex;
// Guarded by registryMutex. Never destroyed: queues made and ended by
// static destructors still register and look here.
std::vector<std::weak_ptr<Stoppable>>& registry = *new std::vector<std::weak_ptr<Stoppable>>();
std::size_t pruneAt = 64;  // guarded by registryMutex

std::vector<std::shared_ptr<Stoppable>> liveStoppables() {
    std::lock_guard lock(registryMutex);
    std::vector<std::shared_ptr<Stoppable>> live;
    for (const auto& entry : registry) {
        if (auto stoppable = entry.lock()) {
            live.push_back(std::move(stoppable));
        }
    }
    return live;
}

}  // namespace

void registerStoppable(const std::shared_ptr<Stoppable>& stoppable) {
    std::lock_guard lock(registryMutex);
    if (registry.size() >= pruneAt) {
        std::erase_if(registry, [](const auto& entry) { return entry.expired(); });
        pruneAt = std::max<std::size_t>(64, registry.size() * 2);
    }
    registry.push_back(stoppable);
}

bool workStopped() noexcept { return stopped.load(std::memory_order_acquire); }

void stopAllWork() {
    stopped.store(true, std::memory_order_release);
    // A block still running may make a queue of its own before it ends:
    // passes go on until one finds nothing it has not stopped.
    std::set<std::shared_ptr<Stoppable>> done;  // held, so no address is taken twice
    for (;;) {
        bool found = false;
        for (const auto& stoppable : liveStoppables()) {
            if (done.insert(stoppable).second) {
                found = true;
                stoppable->stopAndJoin();
            }
        }
        if (!found) {
            return;
        }
    }
}

void resumeAllWork() { stopped.store(false, std::memory_order_release); }

}  // namespace platform
