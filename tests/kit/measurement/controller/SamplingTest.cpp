// Event sampling at bundling time: rolls, the first event of an account
// day, the parameters added and the state saved per name.

#include "BundlingTestSupport.h"

namespace kit::measurement::testing {
namespace {

// 10:00 UTC of day 19675 since 1970.
constexpr std::int32_t kDay = 19675;
constexpr double kMorning = kDay * 86400.0 + 36000;

struct SampledEvent {
    SampledEvent(std::string eventName, double at = kMorning, double previousAt = 0,  // NOLINT
                 MSRObjectDictionary eventParameters = {})
        : name(std::move(eventName)),
          timestamp(at),
          previousTimestamp(previousAt),
          parameters(std::move(eventParameters)) {}

    std::string name;
    double timestamp;
    double previousTimestamp;
    MSRObjectDictionary parameters;
};

struct SampleCase {
    const char* name;
    std::string config;
    // The day stored for "tap" before the call; nothing: no aggregates.
    std::optional<std::int32_t> storedDay;
    std::vector<SampledEvent> events;
    std::vector<bool> rolls;
    // "_sr" and "_efs" of each kept event, in order (0: absent).
    std::vector<std::pair<std::int64_t, std::int64_t>> kept;
    std::int32_t savedDay;
    bool savedExempt;
    std::optional<std::int64_t> savedComplexID;
    std::vector<std::int64_t> codes;
};

class SamplingTest : public BundlingTest {
protected:
    static constexpr const char* kSampled = R"(
        settings { name: "measurement.event_sampling_enabled" value: "1" }
        event_config { name: "tap" sampling_rate: 4 }
        event_config { name: "one" sampling_rate: 1 })";

    static MSRPBEvent protoEvent(const SampledEvent& spec) {
        // A nameless message is made from a named event.
        auto event = MSREvent::initWithOrigin("app", false, spec.name.empty() ? "unnamed" : spec.name, spec.timestamp,
                                              spec.previousTimestamp, spec.parameters);
        EXPECT_TRUE(event);
        MSRPBEvent proto = event->protoEvent();
        if (spec.name.empty()) {
            NanoMessageClearField(proto, 1);
        }
        return proto;
    }

    void storeAggregates(std::int32_t day) {
        auto aggregates = MSREventAggregates::initWithName("tap", 1, 1, 1, kMorning - 60);
        ASSERT_TRUE(aggregates);
        aggregates->setLastBundledDay(day);
        onWorkerQueue([&] { ASSERT_TRUE(database().updateEventAggregates(*aggregates)); });
    }

    std::optional<MSREventAggregates> storedAggregates() {
        std::optional<MSREventAggregates> found;
        onWorkerQueue([&] {
            auto read = database().eventAggregatesWithName("tap");
            ASSERT_TRUE(read);
            found = *read;
        });
        return found;
    }
};

TEST_F(SamplingTest, RollsFirstEventsOfADayAndTheSavedState) {
    const MSRObjectDictionary complexEvent = {{"_eid", MSRValue::initWithInt64(77)}};
    const MSRObjectDictionary ownRate = {{"_sr", MSRValue::initWithInt64(9)}};
    const SampleCase cases[] = {
        {"won roll keeps the event with its rate",
         kSampled,
         kDay,
         {{"tap"}},
         {true},
         {{4, 0}},
         kDay,
         false,
         std::nullopt,
         {}},
        {"lost roll on the same day drops it", kSampled, kDay, {{"tap"}}, {false}, {}, kDay, false, std::nullopt, {}},
        {"first event of a new day is kept, exempt",
         kSampled,
         kDay - 1,
         {{"tap"}, {"tap", kMorning + 1}},
         {false, false},
         {{4, 1}},
         kDay,
         true,
         std::nullopt,
         {}},
        {"dropped complex event leaves its ID; a kept one clears it",
         kSampled,
         kDay,
         {{"tap", kMorning, 0, complexEvent}},
         {false},
         {},
         kDay,
         false,
         77,
         {}},
        {"an event's own rate parameter stays",
         kSampled,
         kDay,
         {{"tap", kMorning, 0, ownRate}},
         {true},
         {{9, 0}},
         kDay,
         false,
         std::nullopt,
         {23156}},
        {"never bundled: the previous time on the same day drops it",
         kSampled,
         0,
         {{"tap", kMorning, kMorning - 3600}},
         {false},
         {},
         0,
         false,
         std::nullopt,
         {}},
        {"never bundled: a previous time of another day keeps it",
         kSampled,
         0,
         {{"tap", kMorning, kMorning - 86400}},
         {false},
         {{4, 1}},
         kDay,
         true,
         std::nullopt,
         {}},
        {"the account's time zone moves the day",
         std::string(kSampled) + R"( settings { name: "measurement.account.time_zone_offset_minutes" value: "900" })",
         kDay,
         {{"tap"}},
         {false},
         {{4, 1}},
         kDay + 1,
         true,
         std::nullopt,
         {}},
        {"a rate of 1 samples nothing",
         kSampled,
         kDay,
         {{"one"}, {"one"}},
         {},
         {{0, 0}, {0, 0}},
         kDay,
         false,
         std::nullopt,
         {23154, 23154}},
        {"sampling off keeps everything",
         R"(event_config { name: "tap" sampling_rate: 4 })",
         kDay,
         {{"tap"}, {"tap"}},
         {},
         {{0, 0}, {0, 0}},
         kDay,
         false,
         std::nullopt,
         {}},
        {"an event without a name is dropped", kSampled, kDay, {{""}}, {}, {}, kDay, false, std::nullopt, {23155}},
    };
    for (const SampleCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        applyConfig(testCase.config);
        onWorkerQueue([&] { ASSERT_TRUE(database().deleteAllEventAggregates()); });
        if (testCase.storedDay) {
            storeAggregates(*testCase.storedDay);
        }
        for (const bool roll : testCase.rolls) {
            roll ? random_.win() : random_.lose();
        }
        std::vector<MSRPBEvent> events;
        for (const SampledEvent& spec : testCase.events) {
            events.push_back(protoEvent(spec));
        }
        drainCodes();
        platform::Expected<std::vector<MSRPBEvent>> kept = std::vector<MSRPBEvent>{};
        onWorkerQueue([&] { kept = controller().sampleEvents(events); });
        ASSERT_TRUE(kept);
        EXPECT_TRUE(random_.script.empty());
        std::vector<std::pair<std::int64_t, std::int64_t>> keptRates;
        for (const MSRPBEvent& event : *kept) {
            const auto parameters = integerParameters(event);
            keptRates.emplace_back(parameters.contains("_sr") ? parameters.at("_sr") : 0,
                                   parameters.contains("_efs") ? parameters.at("_efs") : 0);
        }
        EXPECT_EQ(keptRates, testCase.kept);
        std::vector<std::int64_t> codes;
        for (const std::int64_t code : drainCodes()) {
            if (code >= 23150 && code <= 23159) {
                codes.push_back(code);
            }
        }
        EXPECT_EQ(codes, testCase.codes);
        if (testCase.storedDay) {
            const auto saved = storedAggregates();
            ASSERT_TRUE(saved);
            EXPECT_EQ(saved->lastBundledDay(), testCase.savedDay);
            EXPECT_EQ(saved->lastExemptFromSampling(), testCase.savedExempt);
            EXPECT_EQ(saved->lastSampledComplexEventID(), testCase.savedComplexID);
        }
    }
}

TEST_F(SamplingTest, AKeptEventClearsTheDroppedComplexEventID) {
    applyConfig(kSampled);
    storeAggregates(kDay);
    const MSRObjectDictionary complexEvent = {{"_eid", MSRValue::initWithInt64(77)}};
    random_.lose();
    random_.win();
    std::vector<MSRPBEvent> events = {protoEvent({"tap", kMorning, 0, complexEvent}), protoEvent({"tap"})};
    onWorkerQueue([&] { ASSERT_TRUE(controller().sampleEvents(events)); });
    const auto saved = storedAggregates();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->lastSampledComplexEventID(), std::nullopt);
    EXPECT_EQ(saved->lastSamplingRate(), 4);
}

TEST_F(SamplingTest, BundlingKeepsAboutOneInNOfASameDayName) {
    applyConfig(kSampled);
    const std::int64_t fingerprint = storeTemplate();
    for (int index = 0; index < 200; ++index) {
        storeEvent(fingerprint, "tap", kMorning + index);
    }
    // Today's first "tap" is always kept, exempt; then about one in four.
    ASSERT_TRUE(bundle());
    const auto events = eventsOf(queuedBundles().at(0));
    EXPECT_GT(events.size(), 25U);
    EXPECT_LT(events.size(), 80U);
    EXPECT_EQ(integerParameters(events[0]).at("_efs"), 1);
    for (const MSRPBEvent& event : events) {
        EXPECT_EQ(integerParameters(event).at("_sr"), 4);
    }
    EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events"), "0\n");
}

TEST_F(SamplingTest, ARunSampledAwayIsConsumedWithoutABundle) {
    applyConfig(kSampled);
    storeAggregates(kDay);
    const std::int64_t fingerprint = storeTemplate();
    storeEvent(fingerprint, "tap", kMorning);
    random_.lose();
    EXPECT_TRUE(bundle());
    EXPECT_TRUE(contains(drainCodes(), 23159));
    EXPECT_TRUE(queuedBundles().empty());
    EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events"), "0\n");
}

}  // namespace
}  // namespace kit::measurement::testing
