#pragma once

// Fakes for the remote configuration's seams: the store, the persisted app
// instance identifier, the experiment manager and client, the event-editing
// runtime and a monitor that keeps every line.

#include "MessageTestSupport.h"
#include "RemoteConfigPrivate.h"
#include "kit/core/Endpoints.h"
#include "kit/core/KitContext.h"
#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/messages/MSRRemoteConfig.h"
#include "kit/measurement/messages/MessagesMonitor.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit::measurement::testing {

inline platform::Error fakeError(std::string_view text) {
    return platform::Error("test.RemoteConfig", 7, std::string(text));
}

class FakeStore final : public MSRRemoteConfigStore {
public:
    platform::Expected<void> updateRemoteConfig(const MSRPBMeasurementConfig& config) override {
        std::lock_guard lock(mutex);
        ++updates;
        if (failUpdate) {
            return platform::unexpected(*failUpdate);
        }
        stored = config;
        timestamp = storeTime;
        return {};
    }
    platform::Expected<std::optional<MSRPBMeasurementConfig>> queryMeasurementConfigWithError() override {
        std::lock_guard lock(mutex);
        if (failQuery) {
            return platform::unexpected(*failQuery);
        }
        return stored;
    }
    platform::Expected<std::optional<double>> lastRemoteConfigUpdateTimestamp() override {
        std::lock_guard lock(mutex);
        if (failTimestamp) {
            return platform::unexpected(*failTimestamp);
        }
        return timestamp;
    }

    std::mutex mutex;
    std::optional<MSRPBMeasurementConfig> stored;  // guarded by mutex
    std::optional<double> timestamp;               // guarded by mutex
    double storeTime = 1'000'000.0;
    std::optional<platform::Error> failUpdate, failQuery, failTimestamp;
    int updates = 0;
};

class FakeAppInstanceID final : public MSRPersistedAppInstanceID {
public:
    explicit FakeAppInstanceID(std::string identifier) : identifier_(std::move(identifier)) {}
    std::string appInstanceID() override { return identifier_; }

private:
    std::string identifier_;
};

class FakeClient final : public MSREClient {
public:
    platform::Expected<void> activateLatestSnapshot() override {
        ++activations;
        if (failActivation) {
            return platform::unexpected(*failActivation);
        }
        return {};
    }
    void setDelegate(std::weak_ptr<MSREExperimentObserverDelegate> newDelegate) override { delegate = newDelegate; }
    std::optional<platform::Value> objectForKeyedSubscript(std::string_view flagName) override {
        if (const auto found = flags.find(flagName); found != flags.end()) {
            return found->second;
        }
        return std::nullopt;
    }

    int activations = 0;
    std::optional<platform::Error> failActivation;
    std::weak_ptr<MSREExperimentObserverDelegate> delegate;
    platform::Value::Dictionary flags;
};

class FakeManager final : public MSREManager {
public:
    std::shared_ptr<MSREClient> registerSDKProperty(const MSRESDKProperty& property,
                                                    const platform::Value::Dictionary& defaultFlags) override {
        registered = property;
        registeredFlags = defaultFlags;
        return client;
    }
    std::vector<std::int64_t> experimentIDs() override { return ids; }
    void reset() override { ++resets; }

    std::shared_ptr<FakeClient> client = std::make_shared<FakeClient>();
    std::optional<MSRESDKProperty> registered;
    platform::Value::Dictionary registeredFlags;
    std::vector<std::int64_t> ids;
    int resets = 0;
};

class FakeEventEditing final : public MSREventEditingInstance {
public:
    explicit FakeEventEditing(MSREventEditingModules editingModules, bool fails)
        : modules(std::move(editingModules)), fails_(fails) {}
    platform::Expected<void> loadProgram(const MSRPBProgram& program) override {
        loadedPrograms.push_back(program);
        if (fails_) {
            return platform::unexpected(fakeError("program does not load"));
        }
        return {};
    }
    platform::Expected<bool> handleEvent(const MSRPEvent&) override { return false; }
    bool hasEdits() const override { return false; }
    bool hasCreatedEvents() const override { return false; }
    const MSRPEvent& outputEvent() const override { throw std::logic_error("unused"); }
    const std::vector<MSRPEvent>& eventsToLog() const override { return events_; }

    MSREventEditingModules modules;
    std::vector<MSRPBProgram> loadedPrograms;

private:
    bool fails_;
    std::vector<MSRPEvent> events_;
};

struct MonitorLine {
    int level;
    std::uint64_t code;
    std::string message;
    std::size_t contexts;
    std::vector<MessagesMonitorContext> values;  // the contexts themselves
};

class CaptureMonitor final : public MessagesMonitor {
public:
    using MessagesMonitor::logWithLevel;
    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message,
                      const std::vector<MessagesMonitorContext>& contexts) override {
        std::lock_guard lock(mutex_);
        lines_.push_back({level, messageCode, std::string(message), contexts.size(), contexts});
    }
    std::vector<MonitorLine> drain() {
        std::lock_guard lock(mutex_);
        return std::exchange(lines_, {});
    }
    std::vector<MonitorLine> drainWithCode(std::uint64_t code) {
        std::vector<MonitorLine> found;
        for (auto& line : drain()) {
            if (line.code == code) {
                found.push_back(std::move(line));
            }
        }
        return found;
    }
    std::vector<std::uint64_t> drainCodes() {
        std::vector<std::uint64_t> codes;
        for (const auto& line : drain()) {
            codes.push_back(line.code);
        }
        return codes;
    }

private:
    std::mutex mutex_;
    std::vector<MonitorLine> lines_;  // guarded by mutex_
};

// A configuration decoded from protoc's text format.
inline MSRPBMeasurementConfig measurementConfig(const std::string& text) {
    const Bytes bytes = protocEncode("MeasurementConfig", text);
    auto decoded = MSRPBMeasurementConfig::initWithBuffer(bytes);
    EXPECT_TRUE(decoded) << text;
    return decoded ? std::move(*decoded) : MSRPBMeasurementConfig();
}

inline constexpr std::string_view kTestRemoteAppID = "1:42:test";

// A configuration of app kTestRemoteAppID carrying `body`.
inline MSRPBMeasurementConfig appMeasurementConfig(const std::string& body) {
    return measurementConfig("app_id: \"" + std::string(kTestRemoteAppID) + "\" " + body);
}

// The remote configuration's seams for one test, in the kit context the
// test runs in: installs `monitor` (when given) and default facts; the
// context's end takes them away with every other seam.
class RemoteConfigSeams {
public:
    explicit RemoteConfigSeams(std::shared_ptr<MessagesMonitor> monitor) {
        installMessagesMonitor(std::move(monitor));
        resetControllerFacts();
    }
    RemoteConfigSeams(const RemoteConfigSeams&) = delete;
    RemoteConfigSeams& operator=(const RemoteConfigSeams&) = delete;
};

// Installs a capture monitor, a failing-or-succeeding event-editing factory
// and default facts for each test, in a kit context of its own.
class RemoteConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        seams_.emplace(monitor);
        installEventEditingFactory([this](MSREventEditingModules modules) -> std::shared_ptr<MSREventEditingInstance> {
            auto instance = std::make_shared<FakeEventEditing>(std::move(modules), programFails);
            madeEditing.push_back(instance);
            return instance;
        });
    }
    void TearDown() override { seams_.reset(); }

    static MSRPBMeasurementConfig config(const std::string& text) { return measurementConfig(text); }
    static MSRPBMeasurementConfig appConfig(const std::string& body) { return appMeasurementConfig(body); }
    std::shared_ptr<MSRRemoteConfig> makeConfig(std::shared_ptr<MSRPersistedAppInstanceID> persisted = nullptr) {
        auto made = MSRRemoteConfig::initWithAppID(kTestRemoteAppID, store, std::move(persisted), manager);
        EXPECT_TRUE(made);
        return made;
    }
    // A new instance holding `text` after a successful update.
    std::shared_ptr<MSRRemoteConfig> configured(const std::string& body) {
        auto made = makeConfig();
        EXPECT_TRUE(made->updateMeasurementConfig(appConfig(body)));
        monitor->drain();
        return made;
    }

    std::shared_ptr<CaptureMonitor> monitor = std::make_shared<CaptureMonitor>();
    std::shared_ptr<FakeStore> store = std::make_shared<FakeStore>();
    std::shared_ptr<FakeManager> manager = std::make_shared<FakeManager>();
    bool programFails = false;
    std::vector<std::shared_ptr<FakeEventEditing>> madeEditing;

private:
    kit::KitContext context_;
    std::optional<RemoteConfigSeams> seams_;
};

}  // namespace kit::measurement::testing
