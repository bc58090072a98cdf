#pragma once

#include "kit/measurement/controller/MSRIdentitySupport.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

namespace kit::measurement::testing {

// A platform identity library with a settable device ID and status; its
// fetch can be held until the test lets it go.
class FakeIdentitySupport final : public MSRIdentitySupport {
public:
    ~FakeIdentitySupport() override { release(); }

    void setDeviceID(std::optional<std::string> deviceID) {
        std::lock_guard lock(mutex_);
        deviceID_ = std::move(deviceID);
    }
    // 0-3, or none for a library that gives no status.
    void setStatus(std::optional<std::int64_t> status) {
        std::lock_guard lock(mutex_);
        status_ = status;
    }
    void setHasLimitedAdTracking(bool has) {
        std::lock_guard lock(mutex_);
        hasLimitedAdTracking_ = has;
    }
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    // Fetches asked for, finished or not: the caller waits for one only briefly.
    int fetchesStarted() {
        std::lock_guard lock(mutex_);
        return started_;
    }
    int fetchesFinished() {
        std::lock_guard lock(mutex_);
        return finished_;
    }
    void waitForFetchesFinished(int count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return finished_ >= count; });
    }

    bool hasAppDataConsentStatus() override {
        std::lock_guard lock(mutex_);
        return status_.has_value();
    }
    std::int64_t appDataConsentStatus() override {
        std::lock_guard lock(mutex_);
        return status_.value_or(0);
    }
    bool hasLimitedAdTracking() override {
        std::lock_guard lock(mutex_);
        return hasLimitedAdTracking_;
    }
    bool limitedAdTracking() override {
        std::lock_guard lock(mutex_);
        return !deviceID_;
    }
    std::optional<std::string> resettableDeviceID() override {
        std::unique_lock lock(mutex_);
        ++started_;
        const std::optional<std::string> answer = deviceID_;  // the value when asked
        changed_.wait(lock, [&] { return !held_; });
        ++finished_;
        changed_.notify_all();
        return answer;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::string> deviceID_;     // guarded by mutex_
    std::optional<std::int64_t> status_ = 3;  // guarded by mutex_
    bool hasLimitedAdTracking_ = true;        // guarded by mutex_
    bool held_ = false;                       // guarded by mutex_
    int started_ = 0;                         // guarded by mutex_
    int finished_ = 0;                        // guarded by mutex_
};

}  // namespace kit::measurement::testing
