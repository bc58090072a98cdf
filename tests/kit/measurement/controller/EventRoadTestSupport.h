#pragma once

// A running controller for the event road: requests as the facade makes
// them, the store read back with the sqlite3 shell, configurations encoded
// by protoc, and a scriptable stand-in for event editing.

#include "EngineTestSupport.h"
#include "StoreReaders.h"
#include "kit/measurement/messages/MSREventEditingInstance.h"
#include "kit/measurement/support/MSRDatabase.h"
#include "kit/measurement/support/MSRPersistedConfig.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace kit::measurement::testing {

// Event editing whose outcome the test chooses.
class ScriptedEditing final : public MSREventEditingInstance {
public:
    struct Script {
        bool fails = false;
        std::optional<std::string> renameTo;  // an edit
        std::vector<MSRPEvent> created;
    };
    explicit ScriptedEditing(std::shared_ptr<const Script> script) : script_(std::move(script)) {}

    platform::Expected<void> loadProgram(const MSRPBProgram&) override { return {}; }
    platform::Expected<bool> handleEvent(const MSRPEvent& event) override {
        output_ = event;
        created_.clear();
        if (script_->fails) {
            return platform::unexpected(platform::Error("ScriptedEditing", 1, "the program failed"));
        }
        if (script_->renameTo) {
            output_.setName(*script_->renameTo);
        }
        created_ = script_->created;
        return hasEdits() || hasCreatedEvents();
    }
    bool hasEdits() const override { return script_->renameTo.has_value() && !script_->fails; }
    bool hasCreatedEvents() const override { return !created_.empty(); }
    const MSRPEvent& outputEvent() const override { return output_; }
    const std::vector<MSRPEvent>& eventsToLog() const override { return created_; }

private:
    std::shared_ptr<const Script> script_;
    MSRPEvent output_;
    std::vector<MSRPEvent> created_;
};

struct StoredEvent {
    std::string origin;
    std::string name;
    MSRParameters parameters;
    bool realtime = false;
};

class EventRoadTest : public EngineTest {
protected:
    ~EventRoadTest() override { installEventEditingFactory(nullptr); }

    double now() { return seconds(clock().now()); }

    MSREventRequest request(std::string name, platform::Value::Dictionary parameters = {}, std::string origin = "app") {
        MSREventRequest made;
        made.origin = std::move(origin);
        made.isPublicEvent = !name.starts_with("_");
        made.name = std::move(name);
        made.parameters = std::move(parameters);
        made.timestamp = now();
        made.enabled = true;
        return made;
    }
    // Hands the request in as the facade does and waits for the pipeline.
    void log(const MSREventRequest& made) {
        controller().logEventWithOrigin(made);
        settle();
    }
    void log(std::string name, platform::Value::Dictionary parameters = {}, std::string origin = "app") {
        log(request(std::move(name), std::move(parameters), std::move(origin)));
    }
    void settle() {
        onWorkerQueue([] {});
    }

    std::filesystem::path databasePath() { return controller().database()->databasePath(); }
    std::vector<std::string> rows(const std::string& query) { return sqliteRows(databasePath(), query); }
    std::vector<std::string> storedNames() { return rows("SELECT name FROM raw_events ORDER BY rowid"); }
    std::vector<StoredEvent> storedEvents() {
        std::vector<StoredEvent> stored;
        onWorkerQueue([&] {
            auto read = controller().database()->allRawEventsWithError();
            ASSERT_TRUE(read);
            for (const MSRRawEventData& row : *read) {
                const MSREvent& event = row.rawEvent();
                stored.push_back({event.origin(), event.name(), event.parameters(), event.isRealtime()});
            }
        });
        return stored;
    }
    // The remote configuration of this app with `body` (protobuf text).
    void configure(const std::string& body) {
        const Bytes bytes =
            protocEncode("MeasurementConfig", "app_id: \"" + std::string(kAppID) + "\" " + body, root());
        auto config = MSRPBMeasurementConfig::initWithBuffer(bytes);
        ASSERT_TRUE(config);
        onWorkerQueue([&] { ASSERT_TRUE(controller().remoteConfigInstance()->updateMeasurementConfig(*config)); });
    }
    // Editing scripted by `script`, behind a configuration carrying one program.
    void configureEditing(ScriptedEditing::Script script, const std::string& settings = "") {
        auto shared = std::make_shared<const ScriptedEditing::Script>(std::move(script));
        installEventEditingFactory(
            [shared](MSREventEditingModules) { return std::make_shared<ScriptedEditing>(shared); });
        configure("dynamic_event_editing {} " + settings);
    }
    static std::string setting(std::string_view name, std::string_view value) {
        return "settings { name: \"" + std::string(name) + "\" value: \"" + std::string(value) + "\" } ";
    }

    std::vector<std::int64_t> codes() {
        services().monitor().waitUntilIdle();
        return services().drainCodes();
    }
    static bool contains(const std::vector<std::int64_t>& codes, std::int64_t code) {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }
    // The error codes of the "_err" events logged since the last call.
    std::vector<std::int64_t> errorEvents() {
        std::vector<std::int64_t> found;
        for (const InternalEvent& event : services().drainEvents()) {
            if (event.name == "_err") {
                found.push_back(event.parameters.at("_err").int64Value());
            }
        }
        return found;
    }

    // The day index the daily limits count under now.
    std::uint32_t today() {
        const double midnightOffset = MSRPersistedConfig::sharedInstance()->midnightOffset();
        return static_cast<std::uint32_t>(std::floor((now() - midnightOffset) / 86400.0));
    }
    MSRDailyCounts dailyCounts() {
        std::optional<MSRDailyCounts> counts;
        onWorkerQueue([&] {
            auto read = controller().database()->dailyCounts();
            ASSERT_TRUE(read);
            counts = *read;
        });
        return *counts;
    }
    void setDailyCounts(const MSRDailyCounts& counts) {
        onWorkerQueue([&] { ASSERT_TRUE(controller().database()->updateDailyCounts(counts)); });
    }
};

inline const MSRValue* find(const MSRParameters& parameters, std::string_view name) {
    const auto found = parameters.find(name);
    return found != parameters.end() ? &found->second : nullptr;
}

}  // namespace kit::measurement::testing
