#include "kit/core/network/Reachability.h"

#include "kit/core/Logger.h"

#include <array>
#include <utility>

namespace kit {

namespace {

constexpr std::string_view kReachabilityService = "[LumenUtilities/Reachability]";

constexpr std::array<std::string_view, 4> kStatusTexts = {
    "Reachability Unknown",
    "Not reachable",
    "Reachable via Wifi",
    "Reachable via Cellular Data",
};

std::string code(std::string_view prefix, int number) {
    return platform::formatMessage(std::string(prefix) + "%06ld", {number});
}

}  // namespace

std::string LMUReachabilityStatusString(int status) {
    if (status >= 0 && status < static_cast<int>(kStatusTexts.size())) {
        return std::string(kStatusTexts[static_cast<std::size_t>(status)]);
    }
    return platform::formatMessage("Invalid reachability status %d", {status});
}

LMUReachabilityChecker::LMUReachabilityChecker(Token, std::weak_ptr<LMUReachabilityDelegate> delegate, std::string host)
    : host_(std::move(host)), delegate_(std::move(delegate)), api_(LMUNetlinkReachabilityApi()) {}

std::shared_ptr<LMUReachabilityChecker> LMUReachabilityChecker::initWithReachabilityDelegate(
    std::weak_ptr<LMUReachabilityDelegate> delegate, std::string_view host) {
    if (host.empty()) {
        LMULogErrorMessage(kLMULoggerSubsystem, kReachabilityService, false, code("I-REA", 902001),
                           "Invalid host specified");
        return nullptr;
    }
    return std::make_shared<LMUReachabilityChecker>(Token{}, std::move(delegate), std::string(host));
}

LMUReachabilityChecker::~LMUReachabilityChecker() { stop(); }

bool LMUReachabilityChecker::start() {
    std::unique_lock lock(mutex_);
    if (!reachability_) {
        LMUReachabilityRef handle = api_.createWithNameFn ? api_.createWithNameFn(host_) : nullptr;
        const std::weak_ptr<LMUReachabilityChecker> weakSelf = weak_from_this();
        bool started = handle != nullptr && api_.setCallbackFn && api_.setCallbackFn(handle, [weakSelf](auto flags) {
            if (const auto self = weakSelf.lock()) {
                self->reachabilityFlagsChanged(flags);
            }
        });
        // Reports may come as soon as it is scheduled: the handle is kept first.
        reachability_ = handle;
        if (started) {
            lock.unlock();
            started = api_.scheduleWithRunLoopFn && api_.scheduleWithRunLoopFn(handle);
            lock.lock();
        }
        if (!started) {
            if (handle && api_.releaseFn) {
                api_.releaseFn(handle);
            }
            reachability_.reset();
            lock.unlock();
            LMULogErrorMessage(kLMULoggerSubsystem, kReachabilityService, false, code("I-REA", 902002),
                               "Failed to start reachability handle");
            return false;
        }
    }
    lock.unlock();
    LMULogDebugMessage(kLMULoggerSubsystem, kReachabilityService, false, code("I-REA", 902003),
                       "Monitoring the network status");
    return true;
}

void LMUReachabilityChecker::stop() {
    LMUReachabilityRef handle;
    LMUReachabilityApi api;
    {
        std::lock_guard lock(mutex_);
        if (!reachability_) {
            return;
        }
        status_ = kLMUReachabilityUnknown;
        handle = std::move(reachability_);
        reachability_.reset();
        api = api_;
    }
    // Outside the lock: unscheduling waits for the watcher, whose last
    // report may be on its way in.
    if (api.unscheduleFromRunLoopFn) {
        api.unscheduleFromRunLoopFn(handle);
    }
    if (api.releaseFn) {
        api.releaseFn(handle);
    }
}

bool LMUReachabilityChecker::isActive() const {
    std::lock_guard lock(mutex_);
    return reachability_ != nullptr;
}

LMUReachabilityStatus LMUReachabilityChecker::reachabilityStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void LMUReachabilityChecker::setReachabilityApi(LMUReachabilityApi api) {
    std::unique_lock lock(mutex_);
    if (reachability_) {
        lock.unlock();
        LMULogErrorMessage(kLMULoggerSubsystem, kReachabilityService, false, code("I-REA", 902000),
                           "Cannot change reachability API while reachability is running. Call stop first.");
        return;
    }
    api_ = std::move(api);
}

void LMUReachabilityChecker::setReachabilityDelegate(std::weak_ptr<LMUReachabilityDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

LMUReachabilityStatus LMUReachabilityChecker::statusForFlags(LMUReachabilityFlags flags) {
    const bool reachable = (flags & kLMUReachabilityFlagsReachable) != 0;
    const bool connectionRequired = (flags & kLMUReachabilityFlagsConnectionRequired) != 0;
    const bool interventionRequired = (flags & kLMUReachabilityFlagsInterventionRequired) != 0;
    const bool automatic =
        (flags & (kLMUReachabilityFlagsConnectionOnTraffic | kLMUReachabilityFlagsConnectionOnDemand)) != 0;
    if (reachable && (!connectionRequired || (!interventionRequired && automatic))) {
        return kLMUReachabilityViaWifi;
    }
    return kLMUReachabilityNotReachable;
}

void LMUReachabilityChecker::reachabilityFlagsChanged(LMUReachabilityFlags flags) {
    const LMUReachabilityStatus status = statusForFlags(flags);
    std::shared_ptr<LMUReachabilityDelegate> delegate;
    {
        std::lock_guard lock(mutex_);
        if (!reachability_ || status == status_) {
            return;
        }
        status_ = status;
        delegate = delegate_.lock();
    }
    const std::string_view text = status == kLMUReachabilityUnknown        ? "Unknown"
                                  : status == kLMUReachabilityNotReachable ? "Disconnected"
                                                                           : "Connected";
    LMULogDebugMessage(kLMULoggerSubsystem, kReachabilityService, false, code("I-REA", 902004),
                       "Network status has changed. Code:%@, status:%@", static_cast<int>(status), text);
    if (delegate) {
        delegate->reachability(*this, status);
    }
}

}  // namespace kit
