#pragma once

#include "kit/measurement/controller/MSRScreen.h"
#include "kit/measurement/support/MSRValue.h"
#include "platform/Random.h"
#include "platform/Value.h"
#include "platform/concurrency/NotificationCenter.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kit::measurement {

// Follows what the user looks at: the current screen, set by each
// "screen_view" event the application logs and reported as "_vs"; the
// screen parameters the facade adds to other events; and the
// application-active flag the whole engine asks. It forwards activation,
// resignation and screen changes to the session and ad-exposure reporters.
//
// The current and previous screens live on the queue "MSRScreenViewReporter";
// the flags and the instance counter are atomics, read from any thread.
class MSRScreenViewReporter : public std::enable_shared_from_this<MSRScreenViewReporter> {
public:
    // The one reporter, made on first use; it observes the lifecycle
    // notifications of the default notification center.
    static std::shared_ptr<MSRScreenViewReporter> sharedInstance();
    // What the current context's shared instance is made over, unless set
    // before its first use: `clock` (wall time for "_vs") and `random` (the
    // first instance ID).
    static void setSharedInstanceSources(platform::SchedulingClock& clock, platform::RandomSource& random);

    ~MSRScreenViewReporter();
    MSRScreenViewReporter(const MSRScreenViewReporter&) = delete;
    MSRScreenViewReporter& operator=(const MSRScreenViewReporter&) = delete;

    bool isAppActive() const { return isAppActive_.load(); }

    // The facade's road for every event named "screen_view", with the time
    // of the call (seconds since 1970).
    void trackScreenWithParameters(const platform::Value::Dictionary& parameters, double timestamp);
    // "_si", "_sc" and "_sn" of the current screen; empty when there is none
    // or the application resigned after its first activation.
    MSRParameters screenParameters();
    // Copies of the current screen's name and class name.
    void getScreenName(std::optional<std::string>* name, std::optional<std::string>* screenClass);
    // Screen reporting is not automatic here: logs 31000 and does nothing.
    void setScreenName(const std::optional<std::string>& name, const std::optional<std::string>& screenClass);

    // On the reporter's queue.
    void postScreenDidChangeNotificationWithPreviousScreen(const std::optional<MSRScreen>& previous,
                                                           const std::optional<MSRScreen>& next);
    void logViewScreenEventWithPreviousScreen(const std::optional<MSRScreen>& previous,
                                              const std::optional<MSRScreen>& next,
                                              const std::optional<MSRParameters>& parameters);

    void handleApplicationDidBecomeActive();
    void handleApplicationWillResignActive();
    void handleApplicationDidEnterBackground();
    void handleWindowDidResign() {}

    std::int64_t incrementScreenInstanceID();

    // Tests: waits for the screen changes queued so far.
    void waitUntilIdleForTesting();

private:
    struct Private;

public:
    MSRScreenViewReporter(Private, platform::SchedulingClock& clock, platform::RandomSource& random);

private:
    void observeNotifications();

    platform::SchedulingClock& clock_;
    platform::SerialQueue queue_{"MSRScreenViewReporter"};
    std::optional<MSRScreen> currentScreen_;   // on queue_
    std::optional<MSRScreen> previousScreen_;  // on queue_
    std::atomic<bool> allowScreenParameters_{true};
    std::atomic<bool> allowPostScreenDidChangeNotification_{true};
    std::atomic<bool> allowScreenViewEvent_{true};
    std::atomic<bool> isAppActive_{false};
    std::atomic<bool> appHasBeenInitialized_{false};
    std::atomic<std::int64_t> currentScreenInstanceID_{0};
    std::vector<platform::NotificationCenter::Token> observers_;  // set once while being made
};

}  // namespace kit::measurement
