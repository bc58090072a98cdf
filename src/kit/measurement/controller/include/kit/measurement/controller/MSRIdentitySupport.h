#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class SerialQueue;
}

namespace kit::measurement {

// The class name under which an optional platform identity library
// (advertising identifier, tracking authorisation) is registered in
// kit::classRegistry(), as a std::shared_ptr<MSRIdentitySupport>. This
// system has none; tests register a fake.
inline constexpr std::string_view kMSRPlatformIdentitySupportClassName = "MSRPlatformIdentitySupport";

// What the engine asks of an identity library.
class MSRIdentitySupport {
public:
    virtual ~MSRIdentitySupport() = default;
    virtual bool hasAppDataConsentStatus() = 0;
    // The platform's tracking authorisation, 0-3.
    virtual std::int64_t appDataConsentStatus() = 0;
    virtual bool hasLimitedAdTracking() = 0;
    virtual bool limitedAdTracking() = 0;
    // May block; callers bound their wait.
    virtual std::optional<std::string> resettableDeviceID() = 0;
};

// The all-zero device ID stands for none.
inline constexpr std::string_view kMSRZeroDeviceID = "00000000-0000-0000-0000-000000000000";

// The bridge to the platform library, when one is registered.
class MSRDefaultIdentitySupport final : public MSRIdentitySupport {
public:
    static std::shared_ptr<MSRDefaultIdentitySupport> sharedInstance();
    // How long a caller in the current kit context waits for a device-ID
    // fetch before it takes the previous answer (10 ms); tests on a loaded
    // machine wait longer.
    static void setFetchWait(std::chrono::milliseconds wait);

    // Looks the platform library up in the class registry and logs whether it is there.
    MSRDefaultIdentitySupport();
    ~MSRDefaultIdentitySupport() override;

    bool hasPlatformIdentitySupport() const noexcept { return platform_ != nullptr; }
    bool hasAppDataConsentStatus() override;
    // -1 without the platform library.
    std::int64_t appDataConsentStatus() override;
    bool hasLimitedAdTracking() override;
    // YES when the last fetched device ID is none or all zeros.
    bool limitedAdTracking() override;
    // Asks the platform library on its own queue and waits at most 10 ms:
    // while the fetch runs, the previous value answers.
    std::optional<std::string> resettableDeviceID() override;

private:
    struct Fetched {
        std::mutex mutex;
        std::optional<std::string> resettableDeviceID;  // guarded by mutex
    };

    std::shared_ptr<MSRIdentitySupport> platform_;
    std::shared_ptr<Fetched> fetched_ = std::make_shared<Fetched>();
    std::unique_ptr<platform::SerialQueue> queue_;  // "MSRDefaultIdentitySupport"
};

}  // namespace kit::measurement
