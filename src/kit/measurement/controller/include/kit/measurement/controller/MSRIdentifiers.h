#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kit::measurement {

class MSRIdentity;

// The identifiers the facade exposes.
class MSRIdentifiers {
public:
    static MSRIdentifiers& sharedInstance();

    // The controller's identity while a started controller has one; the
    // controller installs the function. Without it, or when it answers
    // null, MSRIdentity's shared instance is read.
    static void setControllerIdentityProvider(std::function<std::shared_ptr<MSRIdentity>()> provider);

    std::optional<std::string> lumenAppID();
    // None (with 37005 logged) when the app ID is empty.
    std::optional<std::string> analyticsAppID();
    std::optional<std::string> appInstanceID();
    // A counter seeded at random on first use; each call answers the next value.
    std::string adEventID();
    std::string libraryVersion() const;
    std::optional<std::string> origin() const;
    // An empty origin logs 37004 and keeps the old one.
    void setOrigin(std::string_view origin);

private:
    std::once_flag seedOnce_;
    std::atomic<std::uint64_t> adEventCounter_{0};
    mutable std::mutex originMutex_;
    std::optional<std::string> origin_;  // guarded by originMutex_
};

}  // namespace kit::measurement
