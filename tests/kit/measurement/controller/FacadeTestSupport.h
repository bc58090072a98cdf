#pragma once

#include "../support/MeasurementTestSupport.h"
#include "kit/core/HLOApp.h"
#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/HLOAnalyticsConnector.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "platform/concurrency/SerialQueue.h"
#include "platform/concurrency/Timers.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace kit::measurement::testing {

// What happened to the fakes, in order, across threads.
class Journal {
public:
    void add(std::string entry) {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

class FakeController final : public MSRMeasurementController {
public:
    explicit FakeController(Journal& journal) : journal_(journal) {}

    bool wasEnabledDuringInitialization() override { return enabledAtStart; }
    bool hasInitializedComponents() override { return true; }
    void setEnabled(bool enabled) override { journal_.add(enabled ? "setEnabled:1" : "setEnabled:0"); }
    void setSessionTimeoutInterval(double) override { journal_.add("setSessionTimeoutInterval"); }
    void sessionIDWithCompletion(MSRSessionIDCompletion completion) override { completion(42, std::nullopt); }
    bool resetAnalyticsDataWithAppInstanceID(const std::optional<std::string>& identifier) override {
        journal_.add("reset:" + identifier.value_or("(none)"));
        return resetSucceeds;
    }
    void setUserData(const platform::Value::Dictionary& userData) override {
        std::lock_guard lock(mutex_);
        userData_.push_back(userData);
        journal_.add("setUserData");
    }
    void userPropertiesIncludingInternal(bool, std::function<void(platform::Value::Dictionary)> callback) override {
        callback(userProperties);
    }
    void maxUserPropertiesForOrigin(std::string_view, std::function<void(std::int64_t)> callback) override {
        if (maxUserProperties) {
            callback(*maxUserProperties);
        }
    }
    std::vector<platform::Value::Dictionary> userData() const {
        std::lock_guard lock(mutex_);
        return userData_;
    }

    // Events, user properties and links as they reach the controller.
    void logEventWithOrigin(const MSREventRequest& request) override {
        std::lock_guard lock(mutex_);
        events_.push_back(request);
    }
    void setDefaultEventParameters(const std::optional<platform::Value::Dictionary>&) override {
        journal_.add("setDefaultEventParameters");
    }
    void setUserAttribute(const MSRUserAttribute& attribute) override {
        std::lock_guard lock(mutex_);
        attributes_.emplace_back("set", attribute);
    }
    void removeUserAttribute(const MSRUserAttribute& attribute) override {
        std::lock_guard lock(mutex_);
        attributes_.emplace_back("remove", attribute);
    }
    std::optional<bool> shouldDisableAdPersonalization() override { return disableAdPersonalization; }
    void handleNonFirstOpenEventURL(const std::string& url, double) override { journal_.add("url:" + url); }
    void handleInternalEventOnWorkerQueue(const MSREvent& event) override {
        std::lock_guard lock(mutex_);
        internalEvents_.push_back(event);
    }
    void setUserPropertyInDatabaseOnWorkerQueue(const MSRUserAttribute& attribute) override {
        std::lock_guard lock(mutex_);
        attributes_.emplace_back("database", attribute);
    }
    void updateSchedule() override { journal_.add("updateSchedule"); }
    void setIsNetworkRequestPending(bool pending) override { journal_.add(pending ? "pending:1" : "pending:0"); }

    std::vector<MSREventRequest> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::pair<std::string, MSRUserAttribute>> attributes() const {
        std::lock_guard lock(mutex_);
        return attributes_;
    }
    std::vector<MSREvent> internalEvents() const {
        std::lock_guard lock(mutex_);
        return internalEvents_;
    }

    // Set before start.
    bool enabledAtStart = true;
    bool resetSucceeds = true;
    platform::Value::Dictionary userProperties;
    std::optional<std::int64_t> maxUserProperties;  // none: never answers
    std::optional<bool> disableAdPersonalization;

private:
    Journal& journal_;
    mutable std::mutex mutex_;
    std::vector<platform::Value::Dictionary> userData_;                 // guarded by mutex_
    std::vector<MSREventRequest> events_;                               // guarded by mutex_
    std::vector<std::pair<std::string, MSRUserAttribute>> attributes_;  // guarded by mutex_
    std::vector<MSREvent> internalEvents_;                              // guarded by mutex_
};

class FakeFactory final : public MSRMeasurementControllerFactory {
public:
    FakeFactory(Journal& journal, std::shared_ptr<FakeController> controller)
        : journal_(journal), controller_(std::move(controller)) {}
    std::shared_ptr<MSRMeasurementController> initializeSharedInstance(
        const MSRMeasurementStartOptions& options) override {
        journal_.add("created");
        std::lock_guard lock(mutex_);
        starts_.push_back(options);
        return controller_;
    }
    std::vector<MSRMeasurementStartOptions> starts() const {
        std::lock_guard lock(mutex_);
        return starts_;
    }

private:
    Journal& journal_;
    std::shared_ptr<FakeController> controller_;
    mutable std::mutex mutex_;
    std::vector<MSRMeasurementStartOptions> starts_;
};

class FakeIdentity final : public MSRAnalyticsIdentity {
public:
    std::optional<std::string> appInstanceID() override { return "IDENTITYID"; }
    std::string randomAppInstanceID() override { return nextRandomID; }
    void setIdentifiersOrigin(std::string_view) override {}
    void setHaloInstallationID(const std::optional<std::string>&) override {}
    std::string nextRandomID = "0123456789ABCDEF0123456789ABCDEF";
};

// The event entry points: records what arrives and keeps the listeners.
class FakeEntryPoints final : public MSRAnalyticsEntryPoints {
public:
    struct Call {
        std::string kind;
        std::string origin;
        std::string name;
        Parameters parameters;
    };

    void logEventWithOrigin(std::string_view origin, std::string_view name, const Parameters& parameters) override {
        record({"event", std::string(origin), std::string(name), parameters});
    }
    void logInternalEventWithOrigin(std::string_view origin, std::string_view name,
                                    const Parameters& parameters) override {
        record({"internal", std::string(origin), std::string(name), parameters});
    }
    void setUserPropertyString(const std::optional<std::string>& value, std::string_view name) override {
        record({"property", "app", std::string(name), {{"value", platform::Value(value.value_or("(none)"))}}});
    }
    void setInternalUserProperty(const std::optional<platform::Value>& value, std::string_view name,
                                 std::string_view origin) override {
        record({"internalProperty",
                std::string(origin),
                std::string(name),
                {{"value", value.value_or(platform::Value())}}});
    }
    ListenerToken addLogEventListener(LogEventListener listener) override {
        auto token = std::make_shared<int>(0);
        std::lock_guard lock(mutex_);
        listeners_.emplace_back(token, std::move(listener));
        return token;
    }
    void removeLogEventListener(const ListenerToken& token) override {
        std::lock_guard lock(mutex_);
        std::erase_if(listeners_, [&](const auto& entry) { return entry.first == token; });
    }

    // Hands one logged event to the listeners, as the facade does on its queue.
    void notifyListeners(std::string_view origin, std::string_view name, const Parameters& parameters) {
        std::vector<LogEventListener> listeners;
        {
            std::lock_guard lock(mutex_);
            for (const auto& entry : listeners_) {
                listeners.push_back(entry.second);
            }
        }
        for (const auto& listener : listeners) {
            listener(origin, name, parameters);
        }
    }
    std::size_t listenerCount() const {
        std::lock_guard lock(mutex_);
        return listeners_.size();
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void record(Call call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<std::pair<ListenerToken, LogEventListener>> listeners_;
};

// A facade test: fakes behind every seam, a TestClock and a main queue of
// its own, in a kit context of its own.
class FacadeTest : public MeasurementTest {
protected:
    FacadeTest() {
        platform::MainQueue::install(mainQueue_);
        MSRAnalytics::setClock(clock_);
        MSRAnalytics::installSeams({factory_, identity_, nullptr, entryPoints_, nullptr});
        HLOAnalytics::registerLibrary();
    }
    ~FacadeTest() override {
        // Blocks the start left on the facade's queues post to the main
        // queue, and those still reach the facade: let both run dry first.
        for (int round = 0; round < 2; ++round) {
            MSRAnalytics::waitUntilIdleForTesting();
            mainQueue_->sync([] {});
        }
        // The facade's state ends with the test's kit context.
        mainQueue_->sync([] {});
        platform::MainQueue::reset();
    }

    static platform::Value::Dictionary startOptions(bool enabled = true, bool deactivated = false) {
        return {{std::string(kMSRStartOptionEnabled), platform::Value(enabled)},
                {std::string(kMSRStartOptionDeactivated), platform::Value(deactivated)},
                {std::string(kMSRStartOptionLogTag), platform::Value("[HaloAnalytics]")}};
    }
    void start(const platform::Value::Dictionary& options = startOptions()) {
        MSRAnalytics::startWithAppID("1:123:ios:ab", "fa", options);
        settle();
    }
    // Everything queued so far has run, through any half-second pause.
    void settle() {
        clock_.advance(std::chrono::seconds(1));
        MSRAnalytics::waitUntilIdleForTesting();
        mainQueue_->sync([] {});
    }
    std::vector<std::int64_t> codes() { return services().drainCodes(); }
    static bool contains(const std::vector<std::int64_t>& codes, std::int64_t code) {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }

    Journal journal_;
    std::shared_ptr<FakeController> controller_ = std::make_shared<FakeController>(journal_);
    std::shared_ptr<FakeFactory> factory_ = std::make_shared<FakeFactory>(journal_, controller_);
    std::shared_ptr<FakeIdentity> identity_ = std::make_shared<FakeIdentity>();
    std::shared_ptr<FakeEntryPoints> entryPoints_ = std::make_shared<FakeEntryPoints>();
    std::shared_ptr<platform::SerialQueue> mainQueue_ = std::make_shared<platform::SerialQueue>("TestMainQueue");
    platform::TestClock clock_{platform::TimePoint{} + std::chrono::hours(24 * 365 * 50)};
};

}  // namespace kit::measurement::testing
