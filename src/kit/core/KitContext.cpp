#include "kit/core/KitContext.h"

#include "kit/core/Logger.h"

#include "platform/concurrency/WorkStop.h"

namespace kit {

namespace {

std::mutex currentMutex;
KitContext* installed = nullptr;  // guarded by currentMutex

// The published level of kit lines belongs to the logger of the context
// that was current: kit lines take the slow path until the logger of the
// context now current publishes its own.
void forgetPublishedLogLevel() { detail::kitWrittenUpTo.store(detail::kKitSlowPath, std::memory_order_relaxed); }

}  // namespace

KitContext::KitContext() {
    platform::resumeAllWork();
    std::lock_guard lock(currentMutex);
    previous_ = installed;
    installed = this;
    forgetPublishedLogLevel();
}

KitContext::~KitContext() {
    if (!shutDown_) {
        stopWork();
        releaseServices();
        platform::resumeAllWork();
    }
    std::lock_guard lock(currentMutex);
    if (installed == this) {
        installed = previous_;
        forgetPublishedLogLevel();
    }
}

void KitContext::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    stopWork();
    releaseServices();
}

KitContext& KitContext::current() {
    {
        std::lock_guard lock(currentMutex);
        if (installed != nullptr) {
            return *installed;
        }
    }
    // Never destroyed: without a context, services live as long as the process.
    static KitContext& standIn = *new KitContext(StandIn{});
    return standIn;
}

void KitContext::stopWork() { platform::stopAllWork(); }

void KitContext::releaseServices() {
    // Newest first, one at a time and outside the lock: a service's
    // destructor may still ask for another, which is then made and released
    // in turn.
    for (;;) {
        std::shared_ptr<void> last;
        {
            std::lock_guard lock(mutex_);
            if (services_.empty()) {
                return;
            }
            last = std::move(services_.back().second);
            services_.pop_back();
        }
        last.reset();
    }
}

void* KitContext::find(std::type_index type) {
    std::lock_guard lock(mutex_);
    // Hot: every log line asks for its services. The same type_info object
    // gives the same name pointer, so look for that first; comparing types
    // by name (a string compare per entry) is left for the rare miss.
    for (const auto& [kind, service] : services_) {
        if (kind.name() == type.name()) {
            return service.get();
        }
    }
    for (const auto& [kind, service] : services_) {
        if (kind == type) {
            return service.get();
        }
    }
    return nullptr;
}

void* KitContext::insert(std::type_index type, std::shared_ptr<void> service) {
    std::lock_guard lock(mutex_);
    for (const auto& [kind, kept] : services_) {
        if (kind == type) {
            return kept.get();
        }
    }
    services_.emplace_back(type, std::move(service));
    return services_.back().second.get();
}

}  // namespace kit
