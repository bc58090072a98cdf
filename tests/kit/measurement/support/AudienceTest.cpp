#include "AudienceTestSupport.h"
#include "kit/measurement/support/MSRAudience.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kit::measurement {
namespace {

using testing::AudienceTest;

using Words = std::vector<std::uint64_t>;

// --- Message builders (slots of the configuration messages)

MSRPBNumberFilter numberFilter(int type, std::string value) {
    MSRPBNumberFilter filter;
    NanoMessageSetInt32(filter, 0, type);
    NanoMessageSetString(filter, 2, value);
    return filter;
}

MSRPBFilter numberValueFilter(int type, std::string value) {
    MSRPBFilter filter;
    NanoMessageSetMessage(filter, 1, numberFilter(type, std::move(value)));
    return filter;
}

MSRPBFilter stringValueFilter(int matchType, std::string expression) {
    MSRPBStringFilter text;
    NanoMessageSetInt32(text, 0, matchType);
    NanoMessageSetString(text, 1, expression);
    MSRPBFilter filter;
    NanoMessageSetMessage(filter, 0, text);
    return filter;
}

MSRPBFilter parameterFilter(std::string name, MSRPBFilter filter) {
    NanoMessageSetString(filter, 3, name);
    return filter;
}

struct Flags {
    bool dynamic = false;
    bool sequence = false;
    bool sessionScoped = false;
};

MSRPBEventFilter eventFilter(int filterID, std::string name, std::vector<MSRPBFilter> parameters = {},
                             std::optional<MSRPBNumberFilter> count = {}, Flags flags = {}) {
    MSRPBEventFilter filter;
    NanoMessageSetInt32(filter, 0, filterID);
    NanoMessageSetString(filter, 1, name);
    NanoMessageSetArray(filter, 2, parameters);
    if (count) {
        NanoMessageSetMessage(filter, 4, *count);
    }
    NanoMessageSetBool(filter, 5, flags.dynamic);
    NanoMessageSetBool(filter, 6, flags.sequence);
    NanoMessageSetBool(filter, 7, flags.sessionScoped);
    return filter;
}

MSRPBPropertyFilter propertyFilter(int filterID, std::string name, std::optional<MSRPBFilter> inner, Flags flags = {}) {
    MSRPBPropertyFilter filter;
    NanoMessageSetInt32(filter, 0, filterID);
    NanoMessageSetString(filter, 1, name);
    if (inner) {
        NanoMessageSetMessage(filter, 2, *inner);
    }
    NanoMessageSetBool(filter, 3, flags.dynamic);
    NanoMessageSetBool(filter, 4, flags.sequence);
    NanoMessageSetBool(filter, 5, flags.sessionScoped);
    return filter;
}

MSRPBAudience audience(std::optional<int> audienceID, std::vector<MSRPBEventFilter> events,
                       std::vector<MSRPBPropertyFilter> properties = {}) {
    MSRPBAudience message;
    if (audienceID) {
        NanoMessageSetInt32(message, 0, *audienceID);
    }
    NanoMessageSetArray(message, 1, properties);
    NanoMessageSetArray(message, 2, events);
    return message;
}

NanoBytes resultData(const Words& status, const Words& results) {
    MSRPBResultData data;
    NanoMessageSetArray(data, 0, status);
    NanoMessageSetArray(data, 1, results);
    return *data.protoBuffer();
}

struct DecodedResult {
    Words status;
    Words results;
    std::map<std::int32_t, std::int64_t> dynamic;
    std::map<std::int32_t, std::vector<std::int64_t>> sequence;
};

DecodedResult decode(const NanoBytes& bytes) {
    const auto data = MSRPBResultData::initWithBuffer(bytes);
    EXPECT_TRUE(data);
    DecodedResult decoded;
    decoded.status = *NanoMessageGetArray<std::uint64_t>(*data, 0);
    decoded.results = *NanoMessageGetArray<std::uint64_t>(*data, 1);
    const auto dynamic = NanoMessageGetArray<MSRPBDynamicFilterResultTimestamp>(*data, 2);
    for (const auto& entry : *dynamic) {
        decoded.dynamic[NanoMessageGetInt32(entry, 0)] = NanoMessageGetInt64(entry, 1);
    }
    const auto sequence = NanoMessageGetArray<MSRPBSequenceFilterResultTimestamp>(*data, 3);
    for (const auto& entry : *sequence) {
        decoded.sequence[NanoMessageGetInt32(entry, 0)] = *NanoMessageGetArray<std::int64_t>(entry, 1);
    }
    return decoded;
}

MSRParameters params(std::initializer_list<std::pair<const std::string, MSRValue>> entries) {
    return MSRParameters(entries);
}

MSREventAggregates aggregates(std::string name, int lifetime, int session) {
    return *MSREventAggregates::initWithName(name, lifetime, 0, session, 0);
}

// --- Result bits

TEST(AudienceResultBitsTest, FilterIDsMapToWordsAndBits) {
    struct Row {
        const char* label;
        Words status, results;
        std::int32_t filterID;
        bool outcome;
        Words expectedStatus, expectedResults;
    };
    const std::vector<Row> rows = {
        {"filter 64 on an empty result pads word 0", {}, {}, 64, true, {0, 1}, {0, 1}},
        {"filter 63 is the top bit of word 0", {}, {}, 63, true, {1ULL << 63}, {1ULL << 63}},
        {"false sets status only", {}, {}, 3, false, {8}, {0}},
        {"other bits stay", {1}, {1}, 3, false, {9}, {1}},
        {"true over false", {8}, {0}, 3, true, {8}, {8}},
        {"false clears an earlier true", {8, 1}, {8, 1}, 64, false, {8, 1}, {8, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const MSRFilterResult current(7, row.status.empty() ? NanoBytes{} : resultData(row.status, row.results),
                                      resultData({5}, {5}));
        MSRAudienceTimestampsCache cache;
        const MSRFilterResult updated =
            MSRAudience::updatedFilterResultWithFilterID(row.filterID, 7, current, row.outcome, cache);
        EXPECT_EQ(updated.audienceID(), 7);
        EXPECT_EQ(updated.previousResults(), current.previousResults());
        const DecodedResult decoded = decode(updated.currentResults());
        EXPECT_EQ(decoded.status, row.expectedStatus);
        EXPECT_EQ(decoded.results, row.expectedResults);
        EXPECT_EQ(MSRAudience::isFilterResult(updated, row.filterID), row.outcome);
    }
}

TEST(AudienceResultBitsTest, TruthNeedsStatusAndResultBits) {
    EXPECT_FALSE(MSRAudience::isFilterResult(MSRFilterResult(1, NanoBytes{}, NanoBytes{}), 0));
    EXPECT_FALSE(MSRAudience::isFilterResult(MSRFilterResult(1, resultData({0}, {1}), NanoBytes{}), 0));
    EXPECT_TRUE(MSRAudience::isFilterResult(MSRFilterResult(1, resultData({1}, {1}), NanoBytes{}), 0));
    // Beyond the stored words: not evaluated yet.
    EXPECT_FALSE(MSRAudience::isFilterResult(MSRFilterResult(1, resultData({1}, {1}), NanoBytes{}), 64));
    EXPECT_FALSE(MSRAudience::isFilterResult(MSRFilterResult(1, resultData({1}, {1}), NanoBytes{}), -1));
}

TEST_F(AudienceTest, AResultWithoutStatusOrResultWordsIsNotTrueAndLogged) {
    EXPECT_FALSE(MSRAudience::isFilterResult(MSRFilterResult(1, resultData({1}, {}), NanoBytes{}), 0));
    EXPECT_TRUE(services().logged(6023));
}

// --- Timestamp caches

TEST_F(AudienceTest, SequenceTimesAppendOncePerWholeSecondAndSortOnOutput) {
    MSRSequenceTimestampsCache cache(3);
    cache.addEventFilterTimestamp(100.2, 1);
    cache.addEventFilterTimestamp(100.9, 1);  // the same whole second
    cache.addEventFilterTimestamp(90, 1);     // earlier: logged, kept
    cache.addEventFilterTimestamp(120, 0);
    EXPECT_EQ(cache.sequenceTimestampsForFilterID(1), (std::vector<double>{100.2, 90}));
    EXPECT_TRUE(services().logged(42000));
    cache.setUserPropertyTimestamp(80, 0);
    EXPECT_EQ(cache.sequenceTimestampsForFilterID(0), std::vector<double>{80});
    EXPECT_TRUE(services().logged(42001));

    const auto entries = cache.sequenceFilterResultTimestamps();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(NanoMessageGetInt32(entries[0], 0), 0);
    EXPECT_EQ(NanoMessageGetInt32(entries[1], 0), 1);
    EXPECT_EQ(*NanoMessageGetArray<std::int64_t>(entries[1], 1), (std::vector<std::int64_t>{90, 100}));
}

TEST_F(AudienceTest, DynamicTimesOnlyMoveForward) {
    MSRAudienceTimestampsCache cache;
    const MSREventFilter dynamicFilter(4, 2, "_e", NanoBytes{1}, false, true, false);
    const MSREventFilter staticFilter(4, 1, "_e", NanoBytes{1}, false, false, false);
    cache.addEvaluationTimestamp(200, dynamicFilter);
    cache.addEvaluationTimestamp(150, dynamicFilter);
    cache.addEvaluationTimestamp(300, staticFilter);
    const auto entries = cache.dynamicTimestampsForAudienceID(4);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(NanoMessageGetInt32(entries[0], 0), 2);
    EXPECT_EQ(NanoMessageGetInt64(entries[0], 1), 200);
    EXPECT_TRUE(services().logged(6037));
    EXPECT_EQ(cache.sequenceTimestampsForAudienceID(4), nullptr);
}

// --- Configuration

TEST_F(AudienceTest, InvalidAudiencesAreRefusedWithTheirReason) {
    std::vector<MSRPBFilter> tooManyParameters;
    for (int index = 0; index < 26; ++index) {
        tooManyParameters.push_back(parameterFilter("p" + std::to_string(index), numberValueFilter(1, "1")));
    }
    std::vector<MSRPBEventFilter> elevenFilters;
    for (int index = 0; index < 11; ++index) {
        elevenFilters.push_back(eventFilter(index, "e"));
    }
    MSRPBNumberFilter floatCount = numberFilter(2, "1");
    NanoMessageSetBool(floatCount, 1, true);
    MSRPBFilter both = numberValueFilter(1, "1");
    NanoMessageSetMessage(both, 0, *NanoMessageGetMessage<MSRPBStringFilter>(stringValueFilter(5, "x"), 0));
    MSRPBEventFilter noID = eventFilter(0, "e");
    NanoMessageClearField(noID, 0);

    struct Row {
        const char* label;
        MSRPBAudience audience;
        const char* reason;
    };
    const std::vector<Row> rows = {
        {"no ID", audience(std::nullopt, {eventFilter(0, "e")}), "Missing audience ID"},
        {"negative ID", audience(-1, {eventFilter(0, "e")}), "Audience ID is negative"},
        {"no filters", audience(1, {}), "Audience missing filters arrays"},
        {"11 filters", audience(1, elevenFilters), "Audience filter count out of range"},
        {"event name", audience(1, {eventFilter(0, "")}), "Event filter missing event name"},
        {"filter ID", audience(1, {noID}), "Missing event filter ID"},
        {"filter ID 10", audience(1, {eventFilter(10, "e")}), "Event filter ID is out of range"},
        {"duplicate across kinds",
         audience(1, {eventFilter(2, "e")}, {propertyFilter(2, "p", stringValueFilter(5, "x"))}),
         "Duplicate property filter ID"},
        {"float count", audience(1, {eventFilter(0, "e", {}, floatCount)}),
         "Event filter has float event count filter"},
        {"count type 0", audience(1, {eventFilter(0, "e", {}, numberFilter(0, "1"))}),
         "Event filter has invalid event count filter"},
        {"26 parameters", audience(1, {eventFilter(0, "e", tooManyParameters)}),
         "Event filter parameters filters count out of range"},
        {"parameter name", audience(1, {eventFilter(0, "e", {numberValueFilter(1, "1")})}),
         "Event filter missing parameter name"},
        {"both kinds", audience(1, {eventFilter(0, "e", {parameterFilter("p", both)})}),
         "Event filter must have exactly one of number or string filter"},
        {"bad number", audience(1, {eventFilter(0, "e", {parameterFilter("p", numberValueFilter(1, "x"))})}),
         "Event filter has invalid number filter"},
        {"bad string", audience(1, {eventFilter(0, "e", {parameterFilter("p", stringValueFilter(0, "x"))})}),
         "Event filter has invalid string filter"},
        {"property name", audience(1, {}, {propertyFilter(0, "", stringValueFilter(5, "x"))}),
         "Property filter missing property name"},
        {"property without filter", audience(1, {}, {propertyFilter(0, "p", std::nullopt)}),
         "Property filter has no filter"},
        {"property bad number", audience(1, {}, {propertyFilter(0, "p", numberValueFilter(4, "1"))}),
         "Property filter has invalid number filter"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        services().clearLines();
        // A valid audience beside it is saved all the same.
        EXPECT_TRUE(MSRAudience(database()).updateAudiences({row.audience, audience(50, {eventFilter(0, "kept")})}));
        const auto line = services().line(6009);
        ASSERT_TRUE(line);
        ASSERT_EQ(line->errors.size(), 1u);
        EXPECT_EQ(line->errors[0], row.reason);
        EXPECT_TRUE(database().eventFiltersForEventName("e")->empty());
        EXPECT_EQ(database().eventFiltersForEventName("kept")->size(), 1u);
    }
}

TEST_F(AudienceTest, ASecondAudienceWithTheSameIDIsRefused) {
    EXPECT_TRUE(
        MSRAudience(database())
            .updateAudiences({audience(1, {eventFilter(0, "first")}), audience(1, {eventFilter(0, "second")})}));
    EXPECT_EQ(services().line(6009)->errors, std::vector<std::string>{"Duplicate audience ID"});
    EXPECT_EQ(database().eventFiltersForEventName("first")->size(), 1u);
    EXPECT_TRUE(database().eventFiltersForEventName("second")->empty());
}

TEST_F(AudienceTest, TooManyAudiencesChangeNothingAndAnswerYes) {
    MSRAudience audiences(database());
    ASSERT_TRUE(audiences.updateAudiences({audience(1, {eventFilter(0, "before")})}));
    std::vector<MSRPBAudience> many;
    for (int index = 0; index < 101; ++index) {
        many.push_back(audience(index, {eventFilter(0, "after")}));
    }
    EXPECT_TRUE(audiences.updateAudiences(many));
    EXPECT_TRUE(services().logged(6008));
    EXPECT_EQ(database().eventFiltersForEventName("before")->size(), 1u);
    EXPECT_TRUE(database().eventFiltersForEventName("after")->empty());
}

TEST_F(AudienceTest, SavedFiltersCarryInternalNamesAndTheirFlags) {
    ASSERT_TRUE(
        MSRAudience(database())
            .updateAudiences({audience(
                3,
                {eventFilter(1, "first_open", {parameterFilter("engagement_time_msec", numberValueFilter(2, "0"))}, {},
                             {.dynamic = true, .sessionScoped = true})},
                {propertyFilter(2, "first_open_time", numberValueFilter(2, "0"), {.sequence = true})})}));
    const auto events = *database().eventFiltersForEventName("_f");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].audienceID(), 3);
    EXPECT_EQ(events[0].filterID(), 1);
    EXPECT_TRUE(events[0].isDynamic());
    EXPECT_TRUE(events[0].isSessionScoped());
    EXPECT_FALSE(events[0].isSequence());
    const auto stored = MSRPBEventFilter::initWithBuffer(events[0].data());
    const auto parameters = *NanoMessageGetArray<MSRPBFilter>(*stored, 2);
    EXPECT_EQ(*NanoMessageGetString(*stored, 1), "_f");
    EXPECT_EQ(*NanoMessageGetString(parameters.at(0), 3), "_et");
    const auto properties = *database().propertyFiltersForPropertyName("_fot");
    ASSERT_EQ(properties.size(), 1u);
    EXPECT_TRUE(properties[0].isSequence());
}

// --- Evaluation

TEST_F(AudienceTest, ASessionScopedCountFilterComparesTheSessionCount) {
    MSRAudience audiences(database());
    ASSERT_TRUE(audiences.updateAudiences(
        {audience(1, {eventFilter(0, "_e", {}, numberFilter(2, "2"), {.sessionScoped = true})}),
         audience(2, {eventFilter(0, "_e", {}, numberFilter(2, "2"))})}));
    const MSREventAggregates counts = aggregates("_e", 1, 3);
    ASSERT_TRUE(audiences.evaluateFiltersForEventName("_e", {}, &counts, 100, nullptr));
    EXPECT_TRUE(MSRAudience::isFilterResult(**database().filterResultForAudienceID(1), 0));
    const auto lifetime = **database().filterResultForAudienceID(2);
    EXPECT_FALSE(MSRAudience::isFilterResult(lifetime, 0));
    EXPECT_EQ(decode(lifetime.currentResults()).status, Words{1});
}

TEST_F(AudienceTest, ParameterFiltersDecideAndMissingParametersLeaveBitsAlone) {
    MSRAudience audiences(database());
    ASSERT_TRUE(audiences.updateAudiences(
        {audience(1, {eventFilter(0, "_e", {parameterFilter("value", numberValueFilter(2, "10"))})})}));
    ASSERT_TRUE(audiences.evaluateFiltersForEventName("_e", params({{"other", MSRValue::initWithInt64(1)}}), nullptr,
                                                      100, nullptr));
    EXPECT_TRUE(services().logged(7009));
    EXPECT_FALSE(*database().filterResultForAudienceID(1));
    ASSERT_TRUE(audiences.evaluateFiltersForEventName("_e", params({{"value", MSRValue::initWithString("12")}}),
                                                      nullptr, 100, nullptr));
    EXPECT_TRUE(services().logged(7010));
    EXPECT_FALSE(*database().filterResultForAudienceID(1));
    ASSERT_TRUE(audiences.evaluateFiltersForEventName("_e", params({{"value", MSRValue::initWithDouble(10.5)}}),
                                                      nullptr, 100, nullptr));
    EXPECT_TRUE(MSRAudience::isFilterResult(**database().filterResultForAudienceID(1), 0));
}

TEST_F(AudienceTest, StaticTrueFiltersRestWhileDynamicOnesTakeNewerTimes) {
    MSRAudience audiences(database());
    ASSERT_TRUE(audiences.updateAudiences({audience(
        1, {eventFilter(0, "_e", {parameterFilter("v", numberValueFilter(2, "5"))}),
            eventFilter(1, "_e", {parameterFilter("v", numberValueFilter(2, "5"))}, {}, {.dynamic = true})})}));
    const auto evaluate = [&](std::int64_t value, double time) {
        ASSERT_TRUE(audiences.evaluateFiltersForEventName("_e", params({{"v", MSRValue::initWithInt64(value)}}),
                                                          nullptr, time, nullptr));
    };
    evaluate(9, 100.7);
    DecodedResult result = decode((*database().filterResultForAudienceID(1))->currentResults());
    EXPECT_EQ(result.results, Words{3});
    EXPECT_EQ(result.dynamic, (std::map<std::int32_t, std::int64_t>{{1, 100}}));
    evaluate(9, 200);
    evaluate(1, 300);  // false never undoes an event filter's truth
    result = decode((*database().filterResultForAudienceID(1))->currentResults());
    EXPECT_EQ(result.results, Words{3});
    EXPECT_EQ(result.dynamic, (std::map<std::int32_t, std::int64_t>{{1, 200}}));
}

TEST_F(AudienceTest, UserPropertiesStoreFalseOnlyForDynamicFilters) {
    MSRAudience audiences(database());
    ASSERT_TRUE(audiences.updateAudiences(
        {audience(1, {},
                  {propertyFilter(0, "level", numberValueFilter(2, "5")),
                   propertyFilter(1, "level", numberValueFilter(2, "5"), {.dynamic = true})})}));
    const auto set = [&](std::int64_t value, double time) {
        const auto property = MSRUserAttribute::initWithOrigin("app", "level", MSRValue::initWithInt64(value), time);
        ASSERT_TRUE(audiences.evaluateFiltersForUserProperty(*property, nullptr, time));
    };
    set(2, 100);
    EXPECT_EQ(decode((*database().filterResultForAudienceID(1))->currentResults()).status, Words{3});
    set(7, 200);
    EXPECT_EQ(decode((*database().filterResultForAudienceID(1))->currentResults()).results, Words{3});
    set(2, 300);
    // The static filter keeps its truth; the dynamic one follows the value.
    EXPECT_EQ(decode((*database().filterResultForAudienceID(1))->currentResults()).results, Words{1});

    MSRPBUserAttribute nano;
    NanoMessageSetInt64(nano, 0, 400'000);
    NanoMessageSetString(nano, 1, "level");
    NanoMessageSetInt64(nano, 3, 9);
    ASSERT_TRUE(audiences.evaluateFiltersForNanoUserProperty(nano, nullptr, std::nullopt));
    const DecodedResult result = decode((*database().filterResultForAudienceID(1))->currentResults());
    EXPECT_EQ(result.results, Words{3});
    EXPECT_EQ(result.dynamic.at(1), 400);

    MSRPBUserAttribute empty;
    NanoMessageSetString(empty, 1, "level");
    EXPECT_FALSE(audiences.evaluateFiltersForNanoUserProperty(empty, nullptr, std::nullopt));
    EXPECT_TRUE(services().logged(6039));
}

// --- Bundling and sessions

TEST_F(AudienceTest, BundlingMovesCurrentToPreviousAndSendsChangesOnly) {
    MSRAudience audiences(database());
    ASSERT_TRUE(audiences.updateAudiences({audience(1, {eventFilter(0, "_a"), eventFilter(1, "_b")})}));
    ASSERT_TRUE(database().updateFilterResults({MSRFilterResult(9, resultData({0}, {0}), NanoBytes{})}));
    ASSERT_TRUE(audiences.evaluateFiltersForEventName("_a", {}, nullptr, 100, nullptr));

    const auto leafAt = [](const std::vector<MSRPBAudienceLeafFilterResult>& leaves) {
        EXPECT_EQ(leaves.size(), 1u);
        return leaves.at(0);
    };
    // New: flagged, without previous data; the status-0 audience 9 is left out.
    auto leaf = leafAt(*audiences.resultsForBundling());
    EXPECT_TRUE(services().logged(6021));
    EXPECT_EQ(NanoMessageGetInt32(leaf, 0), 1);
    EXPECT_TRUE(NanoMessageGetBool(leaf, 3));
    EXPECT_FALSE(NanoMessageHasField(leaf, 2));
    const auto stored = **database().filterResultForAudienceID(1);
    EXPECT_EQ(stored.previousResults(), stored.currentResults());

    // Unchanged: no previous data, not new.
    leaf = leafAt(*audiences.resultsForBundling());
    EXPECT_TRUE(NanoMessageHasField(leaf, 3));
    EXPECT_FALSE(NanoMessageGetBool(leaf, 3));
    EXPECT_FALSE(NanoMessageHasField(leaf, 2));

    // Changed: the previous data goes along.
    ASSERT_TRUE(audiences.evaluateFiltersForEventName("_b", {}, nullptr, 200, nullptr));
    leaf = leafAt(*audiences.resultsForBundling());
    EXPECT_FALSE(NanoMessageGetBool(leaf, 3));
    EXPECT_EQ(*NanoMessageGetArray<std::uint64_t>(*NanoMessageGetMessage<MSRPBResultData>(leaf, 2), 0), Words{1});
    EXPECT_EQ(*NanoMessageGetArray<std::uint64_t>(*NanoMessageGetMessage<MSRPBResultData>(leaf, 1), 0), Words{3});
}

TEST_F(AudienceTest, AnUnchangedSequenceEntryKeepsOnlyItsLatestTime) {
    MSRPBResultData data;
    NanoMessageSetArray(data, 0, Words{1});
    NanoMessageSetArray(data, 1, Words{1});
    MSRPBSequenceFilterResultTimestamp entry;
    NanoMessageSetInt32(entry, 0, 0);
    NanoMessageSetArray(entry, 1, std::vector<std::int64_t>{10, 20, 30});
    NanoMessageSetArray(data, 3, std::vector{entry});
    const NanoBytes bytes = *data.protoBuffer();
    ASSERT_TRUE(database().updateFilterResults({MSRFilterResult(1, bytes, bytes)}));
    const auto leaves = *MSRAudience(database()).resultsForBundling();
    ASSERT_EQ(leaves.size(), 1u);
    const auto current = NanoMessageGetMessage<MSRPBResultData>(leaves[0], 1);
    EXPECT_EQ(decode(*current->protoBuffer()).sequence.at(0), std::vector<std::int64_t>{30});
    const auto stored = **database().filterResultForAudienceID(1);
    EXPECT_EQ(decode(stored.currentResults()).sequence.at(0), std::vector<std::int64_t>{30});
    EXPECT_EQ(stored.previousResults(), bytes);
}

TEST_F(AudienceTest, SessionStartClearsSessionScopedBits) {
    MSRAudience audiences(database());
    ASSERT_TRUE(audiences.updateAudiences(
        {audience(1, {eventFilter(0, "_e", {}, {}, {.sessionScoped = true}), eventFilter(1, "_e")}),
         audience(2, {eventFilter(0, "_e", {}, {}, {.sessionScoped = true})})}));
    ASSERT_TRUE(audiences.evaluateFiltersForEventName("_e", {}, nullptr, 100, nullptr));
    const NanoBytes before = (*database().filterResultForAudienceID(1))->currentResults();
    EXPECT_EQ(decode(before).dynamic.count(0), 1u);

    ASSERT_TRUE(audiences.clearEvaluationResultsForSessionScopedFilters());
    const auto kept = **database().filterResultForAudienceID(1);
    const DecodedResult result = decode(kept.currentResults());
    EXPECT_EQ(result.status, Words{2});
    EXPECT_EQ(result.results, Words{2});
    EXPECT_TRUE(result.dynamic.empty());
    EXPECT_EQ(kept.previousResults(), before);
    // Nothing evaluated remains: the row goes.
    EXPECT_FALSE(*database().filterResultForAudienceID(2));
}

TEST_F(AudienceTest, StaleResultsGoOnlyPastTheLimit) {
    MSRAudience audiences(database());
    ASSERT_TRUE(audiences.updateAudiences({audience(1, {eventFilter(0, "_e")})}));
    ASSERT_TRUE(database().updateFilterResults({MSRFilterResult(1, resultData({1}, {1}), NanoBytes{}),
                                                MSRFilterResult(2, resultData({1}, {1}), NanoBytes{}),
                                                MSRFilterResult(3, resultData({1}, {1}), NanoBytes{})}));
    services().limits.maxFilterResultCount = 3;
    ASSERT_TRUE(audiences.maybeDeleteStaleFilterResults({2}));
    EXPECT_EQ(database().allFilterResults()->size(), 3u);
    services().limits.maxFilterResultCount = 2;
    ASSERT_TRUE(audiences.maybeDeleteStaleFilterResults({2}));
    EXPECT_TRUE(services().logged(6016));
    const auto left = *database().allFilterResults();
    EXPECT_EQ(left.size(), 2u);
    EXPECT_FALSE(left.contains(3));
}

}  // namespace
}  // namespace kit::measurement
