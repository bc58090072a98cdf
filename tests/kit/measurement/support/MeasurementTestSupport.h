#pragma once

#include "../../core/KitTestSupport.h"
#include "kit/core/KitContext.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "kit/core/ClassRegistry.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kit::measurement::testing {

struct ConsoleLine {
    std::string message;
    std::string tag;
    std::int64_t code = 0;
    std::int64_t level = 0;
};

// The monitor's console, kept instead of written.
class CaptureLogging final : public MSRLogging {
public:
    void logMessage(std::string_view message, std::string_view logTag, std::int64_t messageCode,
                    std::int64_t logLevel) override {
        std::lock_guard lock(mutex_);
        lines_.push_back({std::string(message), std::string(logTag), messageCode, logLevel});
    }
    std::vector<ConsoleLine> drain() {
        std::lock_guard lock(mutex_);
        return std::exchange(lines_, {});
    }

private:
    std::mutex mutex_;
    std::vector<ConsoleLine> lines_;
};

// The controller's services as the tests want them: a monitor over a
// capture console, and an App Store probe they set.
class FakeServices final : public MeasurementServices {
public:
    explicit FakeServices(bool fromAppStore = false, std::shared_ptr<platform::RandomSource> random = nullptr)
        : fromAppStore_(fromAppStore) {
        MSRMonitor::Environment environment;
        environment.isFromAppStore = [this] { return isFAS(); };
        environment.random = std::move(random);
        monitor_ = std::make_unique<MSRMonitor>(6, console_, kMSRDefaultLibraryVersion, std::move(environment));
    }
    MSRMonitor& monitor() override { return *monitor_; }
    bool isFAS() override { return fromAppStore_; }
    std::int64_t appMeasurementLibraryVersion() override { return kMSRDefaultLibraryVersion; }
    MSRRemoteConfigLimits remoteConfig() override { return limits; }

    // The remote limits the code under test reads; set before it runs.
    MSRRemoteConfigLimits limits;

    // The console lines so far, once the monitor has handled them.
    std::vector<ConsoleLine> drainConsole() {
        monitor_->waitUntilIdle();
        return console_->drain();
    }
    std::vector<std::int64_t> drainCodes() {
        std::vector<std::int64_t> codes;
        for (const ConsoleLine& line : drainConsole()) {
            codes.push_back(line.code);
        }
        return codes;
    }

private:
    bool fromAppStore_;
    std::shared_ptr<CaptureLogging> console_ = std::make_shared<CaptureLogging>();
    std::unique_ptr<MSRMonitor> monitor_;
};

// A kit test in a kit context of its own: every shared service the test
// reaches starts anew, and the context stops their work and releases them
// before the test's folders and environment go.
class ContextTest : public kit::testing::KitTest {
protected:
    ContextTest() { captureLogOfCurrentContext(); }

    kit::KitContext& context() { return context_; }

private:
    kit::KitContext context_;
};

// A kit test with fake measurement services installed.
class MeasurementTest : public ContextTest {
protected:
    MeasurementTest() { MeasurementServices::install(services_); }
    ~MeasurementTest() override {
        services_->monitor().waitUntilIdle();
        // A test may have installed other services; their monitor's queue
        // reads the environment this fixture is about to restore.
        MSRMeasurementMonitor().waitUntilIdle();
    }

    FakeServices& services() { return *services_; }

private:
    std::shared_ptr<FakeServices> services_ = std::make_shared<FakeServices>();
};

// Waits for `condition`, with a generous ceiling for a busy machine.
inline bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

// Starts this test binary again running only `test`, with `environment`
// added; the child sees the parent's HOME and XDG folders.
inline pid_t spawnSelf(const std::string& test, std::map<std::string, std::string> environment) {
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        if (const char* value = std::getenv(name)) {
            environment.emplace(std::string("MSR_PARENT_") + name, value);
        }
    }
    const pid_t child = ::fork();
    if (child == 0) {
        for (const auto& [name, value] : environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        const std::string filter = "--gtest_filter=" + test;
        ::execl("/proc/self/exe", "child", filter.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return child;
}

// In a child of spawnSelf: the parent's home and XDG folders, for the scope.
class ParentFolders {
public:
    ParentFolders() {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
            if (const char* value = std::getenv((std::string("MSR_PARENT_") + name).c_str())) {
                scopes_.push_back(std::make_unique<platform::testing::ScopedEnvironment>(name, value));
            }
        }
    }

private:
    std::vector<std::unique_ptr<platform::testing::ScopedEnvironment>> scopes_;
};

// The child's exit status, or -1 when it did not exit.
inline int waitForChild(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kit::measurement::testing
