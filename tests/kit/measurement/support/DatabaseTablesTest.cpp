// The operations on the measurement database's rows: limits, keys, times
// on a test clock, and what stored data reads back as.

#include "DatabaseTestSupport.h"

namespace kit::measurement {
namespace {

using testing::DatabaseTest;
using testing::expectFailure;
using testing::kTestNow;
using testing::makeEvent;

class DatabaseTablesTest : public DatabaseTest {
protected:
    void SetUp() override {
        database_ = open();
        ASSERT_TRUE(database_);
    }

    MSRUserAttribute attribute(std::string_view name, MSRValue value, double setAt = kTestNow) {
        auto made = MSRUserAttribute::initWithOrigin("app", name, std::move(value), setAt);
        EXPECT_TRUE(made) << name;
        return std::move(*made);
    }

    MSRConditionalUserProperty property(std::string name, bool active, double createdAgo, double triggerTimeout,
                                        double triggeredAgo, double timeToLive, std::string trigger = "level_up") {
        MSRConditionalUserProperty made;
        made.name = std::move(name);
        made.origin = "app";
        made.value = MSRValue::initWithString("gold");
        made.triggerEventName = std::move(trigger);
        made.active = active;
        made.creationTimestamp = kTestNow - createdAgo;
        made.triggerTimeout = triggerTimeout;
        made.triggeredTimestamp = kTestNow - triggeredAgo;
        made.timeToLive = timeToLive;
        return made;
    }

    std::vector<std::string> names(const platform::Expected<std::vector<MSRConditionalUserProperty>>& properties) {
        EXPECT_TRUE(properties) << (properties ? "" : properties.error().what());
        std::vector<std::string> result;
        for (const auto& property : properties.value()) {
            result.push_back(property.name);
        }
        std::sort(result.begin(), result.end());
        return result;
    }

    std::unique_ptr<MSRDatabase> database_;
};

// ---- Full tables

TEST_F(DatabaseTablesTest, AFullTableRefusesOnlyNewKeys) {
    struct Case {
        const char* table;
        std::function<platform::Expected<void>(MSRDatabase&, int)> write;
    };
    const Case cases[] = {
        {"user_attributes",
         [this](MSRDatabase& d, int i) {
             return d.updateUserAttribute(attribute("p" + std::to_string(i), MSRValue::initWithInt64(i)));
         }},
        {"events",
         [](MSRDatabase& d, int i) {
             return d.updateEventAggregates(
                 *MSREventAggregates::initWithName("e" + std::to_string(i), i, 0, 0, kTestNow));
         }},
        {"conditional_properties",
         [this](MSRDatabase& d, int i) {
             return d.updateConditionalUserProperty(property("c" + std::to_string(i), false, 0, 60, 0, 60));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        ASSERT_TRUE(database_->performTransaction([&] {
            for (int i = 0; i < 1000; ++i) {
                if (!c.write(*database_, i)) {
                    return false;
                }
            }
            return true;
        }));
        expectFailure(c.write(*database_, 1000), 2, "Failed to insert data type. Table is full");
        EXPECT_TRUE(c.write(*database_, 999));
        EXPECT_EQ(sqlite3(std::string("SELECT count(*) FROM ") + c.table), "1000\n");
    }
}

TEST_F(DatabaseTablesTest, TheThousandAndFirstPurchaseKeyPushesOutTheOldest) {
    ASSERT_TRUE(database_->performTransaction([&] {
        for (int i = 0; i < 1000; ++i) {
            if (!database_->insertIfNotDuplicatePurchaseFingerprint("order-" + std::to_string(i)).valueOr(false)) {
                return false;
            }
        }
        return true;
    }));
    EXPECT_EQ(database_->insertIfNotDuplicatePurchaseFingerprint("order-1000").value(), true);
    EXPECT_EQ(sqlite3("SELECT count(*), min(fingerprint = 'order-0') FROM purchase_transactions"), "1000|0\n");
    EXPECT_EQ(database_->insertIfNotDuplicatePurchaseFingerprint("order-1000").value(), false);
    EXPECT_EQ(database_->insertIfNotDuplicatePurchaseFingerprint("order-0").value(), true);
    EXPECT_EQ(database_->insertIfNotDuplicatePurchaseFingerprint("").value(), false);

    // Subscriptions are trimmed only when asked.
    ASSERT_TRUE(database_->performTransaction([&] {
        for (int i = 0; i < 1003; ++i) {
            if (!database_->insertIfNotDuplicateSubscriptionID("sub-" + std::to_string(i)).valueOr(false)) {
                return false;
            }
        }
        return true;
    }));
    EXPECT_EQ(database_->insertIfNotDuplicateSubscriptionID("sub-5").value(), false);
    EXPECT_EQ(database_->deleteSubscriptionsOverLimit().value(), 3);
    EXPECT_EQ(sqlite3("SELECT min(subscription_id) FROM subscriptions WHERE subscription_id LIKE 'sub-_'"), "sub-3\n");
}

TEST_F(DatabaseTablesTest, AStepThatFailsFailsItsOperation) {
    // A trigger stands in for the disk refusing the step that follows the write.
    ASSERT_EQ(sqlite3("CREATE TRIGGER refuse DELETE ON purchase_transactions BEGIN SELECT RAISE(ABORT, 'refused'); "
                      "END;"),
              "");
    ASSERT_TRUE(database_->performTransaction([&] {
        for (int i = 0; i < 1000; ++i) {
            if (!database_->insertIfNotDuplicatePurchaseFingerprint("order-" + std::to_string(i))) {
                return false;
            }
        }
        return true;
    }));
    const auto trimmed = database_->insertIfNotDuplicatePurchaseFingerprint("order-1000");
    ASSERT_FALSE(trimmed);
    EXPECT_EQ(trimmed.error().code(), 3);

    // The stale sweep failing fails the bundle insert and is not recorded.
    ASSERT_EQ(sqlite3("CREATE TRIGGER refuseStale DELETE ON raw_events BEGIN SELECT RAISE(ABORT, 'refused'); END;"),
              "");
    ASSERT_TRUE(database_->insertRawEvent(makeEvent("_e", kTestNow - 90 * 86400.0), 1, false));
    EXPECT_FALSE(database_->insertBundle(testing::makeBundle(1'700'000'000'000), false));
    EXPECT_EQ(config_->lastDeleteStaleBundlesTimestamp(), 0);
    EXPECT_EQ(sqlite3("SELECT count(*) FROM queue"), "0\n");
}

TEST_F(DatabaseTablesTest, ATransactionInsideAnotherFailsWithoutRunningItsBlock) {
    bool innerRan = false;
    std::optional<platform::Error> inner;
    ASSERT_TRUE(database_->performTransaction([&] {
        auto nested = database_->performTransaction([&] {
            innerRan = true;
            return true;
        });
        if (!nested) {
            inner = nested.error();
        }
        return static_cast<bool>(database_->updateUserAttribute(attribute("level", MSRValue::initWithInt64(1))));
    }));
    EXPECT_FALSE(innerRan);
    ASSERT_TRUE(inner);
    testing::expectError(*inner, 3, "Failed to begin transaction");
    EXPECT_EQ(database_->containsUserAttributeWithName("level").value(), true);

    // A block that says no rolls its writes back and is logged.
    services().drainCodes();
    EXPECT_FALSE(database_->performTransaction([&] {
        (void)database_->deleteUserAttributeWithName("level");
        return false;
    }));
    EXPECT_EQ(database_->containsUserAttributeWithName("level").value(), true);
    const auto codes = services().drainCodes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), 12056), codes.end());
}

// ---- Audiences

TEST_F(DatabaseTablesTest, FiltersReadTheirFlagsFromTheirMessages) {
    MSRPBEventFilter eventMessage;
    NanoMessageSetInt32(eventMessage, 0, 3);
    NanoMessageSetBool(eventMessage, 5, true);  // dynamic
    NanoMessageSetBool(eventMessage, 7, true);  // session scoped
    MSRPBPropertyFilter propertyMessage;
    NanoMessageSetBool(propertyMessage, 4, true);  // sequence
    const NanoBytes eventData = *eventMessage.protoBuffer();
    const NanoBytes propertyData = *propertyMessage.protoBuffer();
    // The flags given are what is written; those read come from the data.
    ASSERT_TRUE(database_->updateEventFilters({MSREventFilter(1, 3, "_e", eventData, true, false, false),
                                               MSREventFilter(2, 0, "_e", {0xFF, 0xFF}, false, true, true)}));
    ASSERT_TRUE(database_->updatePropertyFilters({MSRPropertyFilter(2, 1, "_fot", propertyData, true, false, false)}));

    const auto events = database_->eventFiltersForEventName("_e");
    ASSERT_TRUE(events);
    ASSERT_EQ(events->size(), 2u);
    EXPECT_EQ((*events)[0], MSREventFilter(1, 3, "_e", eventData, true, true, false));
    // Undecodable data reads as a filter without flags.
    EXPECT_EQ((*events)[1], MSREventFilter(2, 0, "_e", {0xFF, 0xFF}, false, false, false));
    EXPECT_EQ(database_->propertyFiltersForPropertyName("_fot").value(),
              std::vector<MSRPropertyFilter>{MSRPropertyFilter(2, 1, "_fot", propertyData, false, false, true)});
    EXPECT_EQ(database_->allAudienceIDs().value(), (std::vector<std::int32_t>{1, 2}));
    const std::map<std::int32_t, std::vector<std::int32_t>> sessionScoped{{1, {3}}, {2, {1}}};
    EXPECT_EQ(database_->allSessionScopedFilters().value(), sessionScoped);

    ASSERT_TRUE(database_->deleteEventFilters({MSREventFilter(1, 3, "_e", eventData, true, false, false)}));
    EXPECT_EQ(database_->eventFiltersForEventName("_e")->size(), 1u);
    ASSERT_TRUE(database_->deleteAllPropertyFilters());
    EXPECT_EQ(database_->allAudienceIDs().value(), (std::vector<std::int32_t>{2}));

    expectFailure(database_->updateEventFilters({}), 1, "Received empty event filters to update");
    expectFailure(database_->updatePropertyFilters({MSRPropertyFilter(1, 1, "", propertyData, false, false, false)}), 3,
                  "Received property filter with empty property name for getting dictionary representation");
    expectFailure(database_->updateEventFilters({MSREventFilter(1, 1, "_e", {}, false, false, false)}), 3,
                  "Received event filter with empty data for getting dictionary representation");
    expectFailure(database_->eventFiltersForEventName(""), 1, "Received empty event name for getting event filters");
    expectFailure(database_->deletePropertyFilters({}), 1, "Received empty property filters to delete");
}

TEST_F(DatabaseTablesTest, TheSameAudienceIsDeletedOnce) {
    ASSERT_TRUE(database_->updateFilterResults({MSRFilterResult(5, {1}, {}), MSRFilterResult(6, {2}, {3})}));
    EXPECT_EQ(sqlite3("SELECT audience_id, hex(current_results), quote(previous_results) FROM audience_filter_values"),
              "5|01|NULL\n6|02|X'03'\n");
    ASSERT_TRUE(database_->deleteFilterResults({MSRFilterResult(5, {1}, {}), MSRFilterResult(5, {9}, {})}));
    const auto remaining = database_->allFilterResults();
    ASSERT_TRUE(remaining);
    ASSERT_EQ(remaining->size(), 1u);
    EXPECT_EQ(remaining->at(6), MSRFilterResult(6, {2}, {3}));
    EXPECT_EQ(database_->filterResultForAudienceID(5).value(), std::nullopt);
    expectFailure(database_->updateFilterResults({MSRFilterResult(7, {}, {})}), 3,
                  "Received filter result with empty data for getting dictionary representation");
    expectFailure(database_->deleteFilterResults({}), 1, "Received empty filter results to delete");
}

// ---- Conditional user properties

TEST_F(DatabaseTablesTest, ThePrefixAndOriginAreLikePatterns) {
    for (const char* name : {"abc", "a_c_level", "aXc", "abd", "ABC_upper"}) {
        ASSERT_TRUE(database_->updateConditionalUserProperty(property(name, false, 0, 60, 0, 60)));
    }
    auto other = property("zz", false, 0, 60, 0, 60);
    other.origin = "auto";
    ASSERT_TRUE(database_->updateConditionalUserProperty(other));

    struct Case {
        const char* prefix;
        const char* origin;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"", "", {"ABC_upper", "aXc", "a_c_level", "abc", "abd", "zz"}},
        // "_" stands for any one character; case is ignored.
        {"a_c", "", {"ABC_upper", "aXc", "a_c_level", "abc"}},
        {"abc", "", {"ABC_upper", "abc"}},
        {"", "auto", {"zz"}},
        {"a", "auto", {}},
        {"%", "APP", {"ABC_upper", "aXc", "a_c_level", "abc", "abd"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.prefix) + "/" + c.origin);
        EXPECT_EQ(names(database_->conditionalUserPropertiesWithPrefix(c.prefix, c.origin)), c.expected);
    }
}

TEST_F(DatabaseTablesTest, TimedOutExpiredAndTriggeredFollowTheClock) {
    ASSERT_TRUE(database_->updateConditionalUserProperty(property("waiting", false, 30, 60, 0, 5)));
    ASSERT_TRUE(database_->updateConditionalUserProperty(property("timed_out", false, 100, 60, 0, 5)));
    ASSERT_TRUE(database_->updateConditionalUserProperty(property("expired", true, 100, 60, 10, 5)));
    ASSERT_TRUE(database_->updateConditionalUserProperty(property("living", true, 100, 60, 3, 5)));
    ASSERT_TRUE(database_->updateConditionalUserProperty(property("other_trigger", false, 1, 60, 0, 5, "_ai")));

    EXPECT_EQ(names(database_->timedOutConditionalUserPropertiesWithError()), std::vector<std::string>{"timed_out"});
    EXPECT_EQ(names(database_->expiredConditionalUserPropertiesWithError()), std::vector<std::string>{"expired"});
    EXPECT_EQ(names(database_->triggeredConditionalUserPropertiesWithEventName("level_up")),
              std::vector<std::string>{"waiting"});
    EXPECT_EQ(names(database_->triggeredConditionalUserPropertiesWithEventName("_ai")),
              std::vector<std::string>{"other_trigger"});

    advance(31);
    EXPECT_EQ(names(database_->timedOutConditionalUserPropertiesWithError()),
              (std::vector<std::string>{"timed_out", "waiting"}));
    EXPECT_EQ(names(database_->expiredConditionalUserPropertiesWithError()),
              (std::vector<std::string>{"expired", "living"}));
    EXPECT_TRUE(names(database_->triggeredConditionalUserPropertiesWithEventName("level_up")).empty());
    expectFailure(database_->triggeredConditionalUserPropertiesWithEventName(""), 1,
                  "Received nil/empty event name for querying triggered conditional user properties");
}

TEST_F(DatabaseTablesTest, APropertyRoundTripsWithItsEvents) {
    auto stored = property("level", false, 0, 60, 0, 3600);
    stored.value = MSRValue::initWithDouble(2.5);
    stored.triggeredEvent = makeEvent("_e", kTestNow, {{"value", platform::Value(std::int64_t{3})}});
    stored.expiredEvent = makeEvent("_vs", kTestNow);
    ASSERT_TRUE(database_->updateConditionalUserProperty(stored));
    EXPECT_EQ(database_->conditionalUserPropertyWithName("level").value(), stored);

    // The whole row is replaced: what the new one lacks becomes NULL.
    stored.expiredEvent.reset();
    stored.triggerEventName.clear();
    ASSERT_TRUE(database_->updateConditionalUserProperty(stored));
    EXPECT_EQ(sqlite3("SELECT quote(trigger_event_name), quote(expired_event) FROM conditional_properties"),
              "NULL|NULL\n");
    EXPECT_EQ(database_->conditionalUserPropertyWithName("level").value(), stored);

    ASSERT_TRUE(database_->deleteConditionalUserPropertyWithName("level"));
    EXPECT_EQ(database_->conditionalUserPropertyWithName("level").value(), std::nullopt);

    auto refused = stored;
    refused.value.reset();
    expectFailure(database_->updateConditionalUserProperty(refused), 3,
                  "Received conditional user property with nil value for getting dictionary representation");
    // A stored event that no longer reads fails the listing as a whole.
    ASSERT_TRUE(database_->updateConditionalUserProperty(stored));
    ASSERT_EQ(sqlite3("UPDATE conditional_properties SET timed_out_event = X'FFFF'"), "");
    expectFailure(database_->conditionalUserPropertiesWithPrefix("", ""), 2, "Failed to parse event from data");
}

// ---- User attributes

TEST_F(DatabaseTablesTest, UserAttributesKeepTheirKindAndHideInternalOnes) {
    ASSERT_TRUE(database_->updateUserAttribute(attribute("_fot", MSRValue::initWithInt64(1'700'000'000'000))));
    ASSERT_TRUE(database_->updateUserAttribute(attribute("first_open_time", MSRValue::initWithInt64(1))));
    ASSERT_TRUE(database_->updateUserAttribute(attribute("level", MSRValue::initWithInt64(0))));
    ASSERT_TRUE(database_->updateUserAttribute(attribute("score", MSRValue::initWithDouble(2.5))));
    ASSERT_TRUE(database_->updateUserAttribute(attribute("_ltv_USD", MSRValue::initWithInt64(5), kTestNow - 10)));
    ASSERT_TRUE(database_->updateUserAttribute(attribute("_ltv_EUR", MSRValue::initWithInt64(6), kTestNow)));

    EXPECT_EQ(
        sqlite3("SELECT typeof(value), value FROM user_attributes WHERE name IN ('level', 'score') ORDER BY name"),
        "integer|0\nreal|2.5\n");
    EXPECT_EQ(database_->userAttributeWithName("level").value()->value(), MSRValue::initWithInt64(0));
    std::vector<std::string> publicNames;
    const auto publicAttributes = database_->userAttributesIncludingInternal(false);
    ASSERT_TRUE(publicAttributes);
    for (const auto& attribute : *publicAttributes) {
        publicNames.push_back(attribute.name());
    }
    EXPECT_EQ(publicNames, (std::vector<std::string>{"level", "score"}));
    EXPECT_EQ(database_->userAttributesIncludingInternal(true)->size(), 6u);
    const auto lifetime = database_->allLifetimeValueUserAttributes().value();
    ASSERT_EQ(lifetime.size(), 2u);
    EXPECT_EQ(lifetime[0].name(), "_ltv_EUR");
    EXPECT_EQ(database_->publicUserAttributeCount().value(), 3);
    EXPECT_EQ(database_->userAttributeCountForOrigin("app").value(), 6);
    EXPECT_EQ(database_->containsUserAttributeWithName("level").value(), true);

    ASSERT_TRUE(database_->deleteUserAttributeWithName("level"));
    EXPECT_EQ(database_->containsUserAttributeWithName("level").value(), false);
    expectFailure(database_->userAttributeCountForOrigin(""), 1, "Received empty user property origin for count query");
}

// ---- Metadata row, configuration, aggregates, complex events

TEST_F(DatabaseTablesTest, TheStoredConfigurationReadsBackOrSaysWhyNot) {
    EXPECT_EQ(database_->queryMeasurementConfigWithError().value(), std::nullopt);
    EXPECT_EQ(database_->lastRemoteConfigUpdateTimestamp().value(), std::nullopt);

    MSRPBMeasurementConfig config;
    NanoMessageSetInt64(config, 0, 42);
    expectFailure(database_->updateRemoteConfig(config), 1, "Missing Lumen app ID in measurement configuration");
    expectFailure(database_->updateRemoteConfig(MSRPBMeasurementConfig()), 1, "Invalid measurement config data");
    NanoMessageSetString(config, 1, "1:123:linux:abc");
    // The remote settings reach it as their configuration store.
    MSRRemoteConfigStore& store = *database_;
    ASSERT_TRUE(store.updateRemoteConfig(config));
    EXPECT_EQ(database_->queryMeasurementConfigWithError().value()->protoBuffer(), config.protoBuffer());
    EXPECT_EQ(database_->lastRemoteConfigUpdateTimestamp().value(), kTestNow);

    // The bundle numbering leaves the configuration and the counters alone.
    ASSERT_TRUE(database_->updateDailyCounts(MSRDailyCounts(19675, 1, 2, 3, 4, 5, 6)));
    ASSERT_TRUE(database_->updateAppMetadata(*MSRAppMetadata::initWithLastBundleIndex(9, 4, 10.5, 20.5)));
    EXPECT_EQ(database_->queryMeasurementConfigWithError().value()->protoBuffer(), config.protoBuffer());
    EXPECT_EQ(database_->dailyCounts()->errorEventsCount(), 4);
    const auto metadata = database_->queryAppMetadata().value();
    EXPECT_EQ(metadata->lastDeliveryIndex(), 4);
    EXPECT_EQ(metadata->lastBundleStartTimestamp(), 10.5);

    ASSERT_EQ(sqlite3("UPDATE app_metadata SET remote_config_data = X'FFFFFF'"), "");
    expectFailure(database_->queryMeasurementConfigWithError(), 2, "Remote config data is corrupted");
    ASSERT_EQ(sqlite3("UPDATE app_metadata SET remote_config_data = NULL"), "");
    EXPECT_EQ(database_->queryMeasurementConfigWithError().value(), std::nullopt);
}

TEST_F(DatabaseTablesTest, DailyCountsStartTodayWhenNoDayIsStored) {
    const auto counts = database_->dailyCounts();
    ASSERT_TRUE(counts);
    // The day turns at the installation's own random moment.
    EXPECT_EQ(counts->day(), static_cast<std::uint32_t>(std::floor((kTestNow - config_->midnightOffset()) / 86400)));
    EXPECT_EQ(counts->allEventsCount(), 0);
    EXPECT_EQ(counts->dcuRealtimeCount(), 0);
}

TEST_F(DatabaseTablesTest, ASnapshotRestoreKeepsAFirstOpenItDidNotHave) {
    ASSERT_TRUE(database_->updateEventAggregates(*MSREventAggregates::initWithName("_e", 5, 1, 1, kTestNow)));
    ASSERT_TRUE(database_->createEventsSnapshotTable());
    ASSERT_TRUE(database_->updateEventAggregates(*MSREventAggregates::initWithName("_e", 9, 1, 1, kTestNow)));
    ASSERT_TRUE(database_->updateEventAggregates(*MSREventAggregates::initWithName("_f", 1, 1, 1, kTestNow)));
    EXPECT_EQ(database_->eventAggregatesSnapshotWithName("_e").value()->lifetimeCount(), 5);

    ASSERT_TRUE(database_->restoreFromEventsSnapshotTable());
    EXPECT_EQ(database_->eventAggregatesWithName("_e").value()->lifetimeCount(), 5);
    EXPECT_EQ(database_->eventAggregatesWithName("_f").value()->lifetimeCount(), 1);
    EXPECT_EQ(sqlite3("SELECT count(*) FROM events_snapshot"), "0\n");
    EXPECT_EQ(database_->publicEventCount().value(), 0);

    auto aggregates = *MSREventAggregates::initWithName("level_up", 1, 1, 1, kTestNow);
    aggregates.setLastSampledComplexEventID(77);
    ASSERT_TRUE(database_->updateEventAggregates(aggregates));
    const auto read = database_->eventAggregatesWithName("level_up").value();
    EXPECT_EQ(read->lastSampledComplexEventID(), 77);
    EXPECT_EQ(read->lastSamplingRate(), 1);
    EXPECT_EQ(database_->publicEventCount().value(), 1);
    ASSERT_TRUE(database_->clearCurrentSessionCounts());
    EXPECT_EQ(database_->eventAggregatesWithName("level_up").value()->currentSessionCount(), 0);
}

TEST_F(DatabaseTablesTest, AComplexEventWaitsForItsChildren) {
    EXPECT_EQ(database_->mainEventAndChildCountPairWithEventID(9).value(), std::nullopt);
    const MSREvent main = makeEvent("_e", kTestNow, {{"items", platform::Value(std::int64_t{2})}});
    ASSERT_TRUE(database_->updateComplexEventForAudienceEvaluationWithEventID(9, 2, main));
    ASSERT_TRUE(database_->updateComplexEventForAudienceEvaluationWithEventID(9, 1, main));
    const auto pair = database_->mainEventAndChildCountPairWithEventID(9).value();
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->mainEvent, main);
    EXPECT_EQ(pair->childCount, 1);
    ASSERT_TRUE(database_->deleteComplexEventForAudienceEvaluationWithEventID(9));
    EXPECT_EQ(database_->mainEventAndChildCountPairWithEventID(9).value(), std::nullopt);
}

}  // namespace
}  // namespace kit::measurement
