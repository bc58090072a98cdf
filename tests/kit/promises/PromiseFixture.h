#pragma once

#include "ManualExecutor.h"
#include "kit/promises/PRMPromise.h"

#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace kit::promises::testing {

using namespace std::chrono_literals;

// Every callback waits on a main queue that the test drains by hand, and
// time stands still until the test moves it: each case is one interleaving.
class PromiseFixture : public ::testing::Test {
public:
    void SetUp() override {
        platform::MainQueue::install(main);
        PromiseClass::setSchedulingClock(clock);
    }

    void TearDown() override {
        main->drain();
        PromiseClass::resetSchedulingClock();
        PromiseClass::resetDefaultDispatchQueue();
        platform::MainQueue::reset();
    }

    void drain() { main->drain(); }

    // Moves the clock, then runs what its timers queued.
    void advance(std::chrono::nanoseconds by) {
        clock->advance(by);
        main->drain();
    }

    std::shared_ptr<platform::testing::ManualExecutor> main = std::make_shared<platform::testing::ManualExecutor>();
    std::shared_ptr<platform::TestClock> clock = std::make_shared<platform::TestClock>();
};

inline platform::Error testError(int code, const std::string& message = "failure") {
    return platform::Error("test", code, message);
}

}  // namespace kit::promises::testing
