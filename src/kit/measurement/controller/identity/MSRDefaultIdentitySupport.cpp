#include "kit/measurement/controller/MSRIdentitySupport.h"

#include "kit/core/KitContext.h"

#include "IdentityTexts.h"
#include "kit/core/ClassRegistry.h"
#include "platform/concurrency/SerialQueue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>

namespace kit::measurement {

namespace {

constexpr std::int64_t kFetchWaitMilliseconds = 10;

struct SharedSupport {
    std::mutex mutex;
    std::shared_ptr<MSRDefaultIdentitySupport> instance;  // guarded by mutex
    std::atomic<std::int64_t> fetchWaitMilliseconds{kFetchWaitMilliseconds};
};

SharedSupport& sharedSupport() { return KitContext::current().service<SharedSupport>(); }

// One fetch's completion, which the caller waits on for a bounded time and
// the queue may signal long after the caller left.
struct FetchDone {
    std::mutex mutex;
    std::condition_variable signal;
    bool done = false;  // guarded by mutex
};

}  // namespace

std::shared_ptr<MSRDefaultIdentitySupport> MSRDefaultIdentitySupport::sharedInstance() {
    SharedSupport& shared = sharedSupport();
    std::lock_guard lock(shared.mutex);
    if (!shared.instance) {
        shared.instance = std::make_shared<MSRDefaultIdentitySupport>();
    }
    return shared.instance;
}

void MSRDefaultIdentitySupport::setFetchWait(std::chrono::milliseconds wait) {
    sharedSupport().fetchWaitMilliseconds = wait.count();
}

MSRDefaultIdentitySupport::MSRDefaultIdentitySupport()
    : platform_(kit::classRegistry().lookup<MSRIdentitySupport>(kMSRPlatformIdentitySupportClassName)),
      queue_(std::make_unique<platform::SerialQueue>("MSRDefaultIdentitySupport")) {
    if (platform_) {
        identity_texts::log(identity_texts::kIdentitySupportLinked);
        identity_texts::log(platform_->hasLimitedAdTracking() ? identity_texts::kAdSupportLinked
                                                              : identity_texts::kAdSupportNotLinked);
    } else {
        identity_texts::log(identity_texts::kIdentitySupportNotLinked);
    }
}

// The queue goes first: a fetch still running finishes before the rest goes.
MSRDefaultIdentitySupport::~MSRDefaultIdentitySupport() { queue_.reset(); }

bool MSRDefaultIdentitySupport::hasAppDataConsentStatus() { return platform_ && platform_->hasAppDataConsentStatus(); }

std::int64_t MSRDefaultIdentitySupport::appDataConsentStatus() {
    return platform_ ? platform_->appDataConsentStatus() : -1;
}

bool MSRDefaultIdentitySupport::hasLimitedAdTracking() { return platform_ && platform_->hasLimitedAdTracking(); }

bool MSRDefaultIdentitySupport::limitedAdTracking() {
    std::lock_guard lock(fetched_->mutex);
    const auto& deviceID = fetched_->resettableDeviceID;
    return !deviceID || *deviceID == kMSRZeroDeviceID;
}

std::optional<std::string> MSRDefaultIdentitySupport::resettableDeviceID() {
    if (!platform_) {
        return std::nullopt;
    }
    auto done = std::make_shared<FetchDone>();
    queue_->async([platform = platform_, fetched = fetched_, done] {
        auto deviceID = platform->resettableDeviceID();
        {
            std::lock_guard lock(fetched->mutex);
            fetched->resettableDeviceID = std::move(deviceID);
        }
        std::lock_guard lock(done->mutex);
        done->done = true;
        done->signal.notify_all();
    });
    const std::chrono::milliseconds wait(sharedSupport().fetchWaitMilliseconds.load());
    {
        std::unique_lock lock(done->mutex);
        done->signal.wait_for(lock, wait, [&] { return done->done; });
    }
    std::lock_guard lock(fetched_->mutex);
    return fetched_->resettableDeviceID;
}

}  // namespace kit::measurement
