#pragma once

#include "kit/installations/InstallationsDateProvider.h"

#include "platform/Random.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

// How long the installation client waits before asking the server again
// after a failure. The state lives in memory only.
namespace kit::installations {

enum class HLOInstallationsBackoffEvent : int {
    success = 0,
    recoverableError = 1,
    unrecoverableError = 2,
};

struct HLOInstallationsBackoffEventData {
    HLOInstallationsBackoffEvent eventType = HLOInstallationsBackoffEvent::success;
    platform::TimePoint lastEventDate;
    std::int64_t eventCount = 0;
    double backoffTimeInterval = 0;  // seconds, fixed when the event is registered
};

class HLOInstallationsBackoffControllerProtocol {
public:
    virtual ~HLOInstallationsBackoffControllerProtocol() = default;
    virtual void registerEvent(HLOInstallationsBackoffEvent event) = 0;
    virtual bool isNextRequestAllowed() = 0;
};

class HLOInstallationsBackoffController final : public HLOInstallationsBackoffControllerProtocol {
public:
    static constexpr double kMaximumRecoverableInterval = 30 * 60;
    static constexpr double kUnrecoverableInterval = 24 * 60 * 60;

    // The jitter source must outlive the controller; the system's by default.
    explicit HLOInstallationsBackoffController(HLOInstallationsDateProvider currentDateProvider = defaultDateProvider(),
                                               platform::RandomSource& random = platform::systemRandom());

    // The same type again counts up; another type starts at 1.
    void registerEvent(HLOInstallationsBackoffEvent event) override;
    // True with no event yet, or once the last event's interval has passed.
    bool isNextRequestAllowed() override;

    std::optional<HLOInstallationsBackoffEventData> lastEventData() const;

    // 0 for success; min(2^count + jitter, 1800) for a recoverable error,
    // jitter whole milliseconds below one second; 24 hours for an
    // unrecoverable one.
    static double backoffTimeInterval(HLOInstallationsBackoffEvent event, std::int64_t count, std::uint32_t randomWord);

private:
    const HLOInstallationsDateProvider currentDateProvider_;
    platform::RandomSource& random_;
    mutable std::mutex mutex_;
    std::optional<HLOInstallationsBackoffEventData> lastEventData_;  // guarded by mutex_
};

}  // namespace kit::installations
