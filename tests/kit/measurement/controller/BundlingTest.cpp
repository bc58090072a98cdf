// Raw events into queued bundles: which rows make one run, what the bundle
// carries, the blocklist, real-time and conversion limits, and runs that can
// never become a bundle.

#include "BundlingTestSupport.h"

#include "kit/measurement/support/MSRMonitor.h"

namespace kit::measurement::testing {
namespace {

// An hour boundary a little after the test clock's "now".
constexpr double kHour = 472'223.0 * 3600;

TEST_F(BundlingTest, EmptyRawEventTableMakesNoBundle) {
    EXPECT_FALSE(bundle());
    EXPECT_TRUE(queuedBundles().empty());
}

struct RunCase {
    const char* name;
    std::vector<double> timestamps;  // stored in this order, one fingerprint
    std::string settings;
    // Size limit in stored events' lengths (all equal); 0 leaves the default.
    double sizeLimitInEvents;
    std::size_t runLength;
};

TEST_F(BundlingTest, RunEndsAtAnotherHourAGapOrTheCountAndSizeLimits) {
    const RunCase cases[] = {
        {"half a second before the hour", {kHour - 0.5, kHour}, "", 0, 1},
        {"same hour", {kHour, kHour + 3599.0}, "", 0, 2},
        // Seconds past 2^32 once wrapped into the first hours after 1970.
        {"past 32-bit seconds", {100.0, 4294967296.0 + 100.0}, "", 0, 1},
        {"count limit",
         {kHour, kHour + 1, kHour + 2},
         R"(settings { name: "measurement.upload.max_events_per_bundle" value: "2" })",
         0,
         2},
        {"size limit", {kHour, kHour + 1, kHour + 2}, "", 2.5, 2},
        {"first event alone reaches the size limit", {kHour, kHour + 1}, "", 1, 0},
    };
    auto probe = MSREvent::initWithOrigin("app", true, "tap", kHour, 0, {{"n", MSRValue::initWithInt64(7)}});
    ASSERT_TRUE(probe);
    const auto eventLength = static_cast<double>(probe->protoEvent().protoBuffer()->size());
    for (const RunCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        onWorkerQueue(
            [&] { ASSERT_TRUE(database().deleteRawEventsWithMaxRowID(std::numeric_limits<std::int64_t>::max())); });
        std::string settings = testCase.settings;
        if (testCase.sizeLimitInEvents > 0) {
            settings += R"( settings { name: "measurement.upload.max_batch_size" value: ")" +
                        std::to_string(static_cast<long long>(testCase.sizeLimitInEvents * eventLength)) + "\" }";
        }
        applyConfig(settings);
        const std::int64_t fingerprint = storeTemplate();
        for (const double timestamp : testCase.timestamps) {
            storeEvent(fingerprint, "tap", timestamp, {{"n", MSRValue::initWithInt64(7)}});
        }
        std::optional<MSRRawEventsRead> run;
        onWorkerQueue([&] { run = controller().rawEventsWithMetadataFingerprint(fingerprint); });
        ASSERT_TRUE(run);
        EXPECT_EQ(run->events.size(), testCase.runLength);
    }
}

TEST_F(BundlingTest, RowsOfAnotherFingerprintBetweenEndTheRun) {
    const std::int64_t first = storeTemplate(metadataTemplate("G111"));
    const std::int64_t second = storeTemplate(metadataTemplate("G100"));
    storeEvent(first, "tap", kHour);
    storeEvent(second, "tap", kHour + 1);
    storeEvent(first, "tap", kHour + 2);

    EXPECT_EQ(bundleAll(), 3);
    const auto bundles = queuedBundles();
    ASSERT_EQ(bundles.size(), 3U);
    for (const auto& queued : bundles) {
        EXPECT_EQ(eventNames(queued).size(), 1U);
    }
    EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events; SELECT count(*) FROM raw_events_metadata;"), "0\n0\n");
}

TEST_F(BundlingTest, BundleCarriesItsEventsTimesAndRunningIndexes) {
    const std::int64_t fingerprint = storeTemplate();
    storeEvent(fingerprint, "tap", kHour + 10.25);
    storeEvent(fingerprint, "swipe", kHour + 20.5);
    ASSERT_TRUE(bundle());
    // Consumed with its run: the write pipeline stores it again with the next event.
    EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events_metadata"), "0\n");
    storeTemplate();
    storeEvent(fingerprint, "tap", kHour + 3600 + 1);
    ASSERT_TRUE(bundle());
    EXPECT_FALSE(bundle());

    const auto bundles = queuedBundles();
    ASSERT_EQ(bundles.size(), 2U);
    const auto& first = bundles[0];
    EXPECT_EQ(eventNames(first), (std::vector<std::string>{"tap", "swipe"}));
    EXPECT_EQ(NanoMessageGetInt64(first, kBundleStartSlot), 1'700'002'810'250);
    EXPECT_EQ(NanoMessageGetInt64(first, kBundleEndSlot), 1'700'002'820'500);
    EXPECT_FALSE(NanoMessageHasField(first, kBundlePreviousEndSlot));
    EXPECT_EQ(NanoMessageGetString(first, kBundleAppIDSlot), kTemplateAppID);
    EXPECT_EQ(NanoMessageGetInt32(first, kBundleIndexSlot), 2);
    EXPECT_EQ(NanoMessageGetInt32(first, kBundleDeliveryIndexSlot), 1);
    const auto& second = bundles[1];
    EXPECT_EQ(NanoMessageGetInt64(second, kBundlePreviousStartSlot), 1'700'002'810'250);
    EXPECT_EQ(NanoMessageGetInt64(second, kBundlePreviousEndSlot), 1'700'002'820'500);
    EXPECT_EQ(NanoMessageGetInt32(second, kBundleIndexSlot), 3);
    EXPECT_EQ(NanoMessageGetInt32(second, kBundleDeliveryIndexSlot), 2);
    // The previous timestamp comes from the name's aggregates.
    EXPECT_EQ(NanoMessageGetInt64(eventsOf(second)[0], 3), 1'700'002'810'250);

    // The stored bytes read by protoc: tags 2 (events), 14 (app ID), 23 and 77.
    const auto blob = root() / "bundle.gz";
    sqlite3("SELECT writefile(" + platform::testing::shellQuote(blob.string()) +
            ", data) FROM queue ORDER BY rowid LIMIT 1");
    const auto decoded = platform::testing::runCommand("gzip -dc < " + platform::testing::shellQuote(blob.string()) +
                                                       " | " + PROTOC_EXECUTABLE + " --decode_raw");
    ASSERT_EQ(decoded.exitCode, 0) << decoded.output;
    EXPECT_NE(decoded.output.find("14: \"com.example.bundling\""), std::string::npos) << decoded.output;
    EXPECT_NE(decoded.output.find("23: 2\n"), std::string::npos) << decoded.output;
    EXPECT_NE(decoded.output.find("77: 1\n"), std::string::npos) << decoded.output;
    EXPECT_NE(decoded.output.find("2: \"swipe\""), std::string::npos) << decoded.output;
    EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events"), "0\n");
}

struct FilterCase {
    const char* name;
    std::string config;
    std::vector<std::pair<std::string, MSRObjectDictionary>> events;
    std::vector<std::string> bundled;  // empty: no bundle
};

TEST_F(BundlingTest, BlocklistRenamingAndRedundantEngagement) {
    const MSRObjectDictionary redundant = {{"_fr", MSRValue::initWithInt64(1)}, {"_et", MSRValue::initWithInt64(5)}};
    const FilterCase cases[] = {
        {"blocklisted name",
         R"(event_config { name: "tap" blocklisted: true })",
         {{"tap", {}}, {"swipe", {}}},
         {"swipe"}},
        {"every event blocklisted",
         R"(event_config { name: "tap" blocklisted: true })",
         {{"tap", {}}, {"tap", {}}},
         {}},
        {"ad impression becomes its internal twin", "", {{"ad_impression", {}}}, {"_ai"}},
        {"twin blocklisted", R"(event_config { name: "_ai" blocklisted: true })", {{"ad_impression", {}}}, {}},
        {"twin kept while only internal events are blocklisted",
         R"(settings { name: "measurement.upload.blacklist_internal" value: "1" }
            event_config { name: "_ai" blocklisted: true })",
         {{"ad_impression", {}}},
         {"_ai"}},
        {"redundant engagement kept by default", "", {{"_e", redundant}, {"tap", {}}}, {"_e", "tap"}},
        {"redundant engagement removed when asked",
         R"(settings { name: "measurement.collection.redundant_engagement_removal_enabled" value: "1" })",
         {{"_e", redundant}, {"tap", {}}},
         {"tap"}},
    };
    for (const FilterCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        applyConfig(testCase.config);
        const std::int64_t fingerprint = storeTemplate();
        double timestamp = kHour;
        for (const auto& [name, parameters] : testCase.events) {
            storeEvent(fingerprint, name, timestamp++, parameters);
        }
        const std::size_t before = queuedBundles().size();
        EXPECT_EQ(bundle(), !testCase.bundled.empty());
        const auto bundles = queuedBundles();
        if (testCase.bundled.empty()) {
            EXPECT_EQ(bundles.size(), before);
            EXPECT_TRUE(contains(drainCodes(), 23100));
        } else {
            ASSERT_EQ(bundles.size(), before + 1);
            EXPECT_EQ(eventNames(bundles.back()), testCase.bundled);
        }
        EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events; SELECT count(*) FROM raw_events_metadata;"), "0\n0\n");
    }
}

TEST_F(BundlingTest, ElevenLimitedRealtimeEventsOfADayLeaveTheLastOneQueued) {
    const std::int64_t fingerprint = storeTemplate();
    const MSRObjectDictionary realtime = {{"_r", MSRValue::initWithInt64(1)}};
    for (int index = 0; index < 11; ++index) {
        storeEvent(fingerprint, "tap", kHour + index, realtime);
    }
    storeEvent(fingerprint, "_f", kHour + 20, realtime);
    ASSERT_TRUE(bundle());
    const auto events = eventsOf(queuedBundles().at(0));
    ASSERT_EQ(events.size(), 12U);
    for (std::size_t index = 0; index < 10; ++index) {
        EXPECT_EQ(integerParameters(events[index]).count("_r"), 1U) << index;
    }
    EXPECT_EQ(integerParameters(events[10]).count("_r"), 0U);
    EXPECT_EQ(integerParameters(events[11]).count("_r"), 1U) << "first open never loses real time";
    EXPECT_EQ(sqlite3("SELECT daily_real_time_conversion_events_count FROM app_metadata"), "10\n");
    EXPECT_EQ(sqlite3("SELECT is_realtime FROM queue"), "1\n");
}

TEST_F(BundlingTest, DebugModeKeepsEveryEventRealtimeWithoutCounting) {
    const std::int64_t fingerprint = storeTemplate();
    for (int index = 0; index < 12; ++index) {
        storeEvent(fingerprint, "tap", kHour + index, {{"_r", MSRValue::initWithInt64(1)}});
    }
    services().monitor().setDebugModeEnabled(true);
    ASSERT_TRUE(bundle());
    services().monitor().setDebugModeEnabled(false);
    for (const auto& event : eventsOf(queuedBundles().at(0))) {
        EXPECT_EQ(integerParameters(event).at("_r"), 1);
    }
    EXPECT_EQ(sqlite3("SELECT ifnull(daily_real_time_conversion_events_count, 0) FROM app_metadata"), "0\n");
}

TEST_F(BundlingTest, ConversionsPastTheDailyLimitLoseTheirMark) {
    applyConfig(R"(settings { name: "measurement.upload.max_conversions_per_day" value: "1" }
                   event_config { name: "signup" custom_conversion: true })");
    const std::int64_t fingerprint = storeTemplate();
    storeEvent(fingerprint, "signup", kHour);
    storeEvent(fingerprint, "signup", kHour + 1);
    ASSERT_TRUE(bundle());
    const auto events = eventsOf(queuedBundles().at(0));
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(integerParameters(events[0]).count("_c"), 1U);
    EXPECT_EQ(integerParameters(events[1]).count("_c"), 0U);
    EXPECT_TRUE(contains(drainCodes(), 23102));
    EXPECT_EQ(sqlite3("SELECT daily_conversions_count FROM app_metadata"), "1\n");
}

TEST_F(BundlingTest, PurchaseIsMarkedValidated) {
    const std::int64_t fingerprint = storeTemplate();
    storeEvent(fingerprint, "_iap", kHour, {{"value", MSRValue::initWithInt64(990000)}});
    ASSERT_TRUE(bundle());
    EXPECT_EQ(integerParameters(eventsOf(queuedBundles().at(0))[0]).at("validated"), 1);
}

TEST_F(BundlingTest, NegativeOrZeroEngagementChangesNoTotal) {
    const std::int64_t fingerprint = storeTemplate();
    storeEvent(fingerprint, "_e", kHour, {{"_et", MSRValue::initWithInt64(-5)}});
    ASSERT_TRUE(bundle());
    EXPECT_TRUE(contains(drainCodes(), 23186));
    storeTemplate();
    storeEvent(fingerprint, "_e", kHour + 1, {{"_et", MSRValue::initWithInt64(0)}});
    ASSERT_TRUE(bundle());
    EXPECT_EQ(sqlite3("SELECT count(*) FROM user_attributes"), "0\n");
    EXPECT_EQ(NanoMessageGetArray<MSRPBUserAttribute>(queuedBundles().at(1), kBundleUserAttributesSlot)->size(), 0U);
}

TEST_F(BundlingTest, AnalyticsStorageTransitionsSnapshotAndRestoreTheAggregates) {
    const std::int64_t granted = storeTemplate(metadataTemplate("G111"));
    const std::int64_t denied = storeTemplate(metadataTemplate("G110"));
    storeEvent(granted, "tap", kHour);
    ASSERT_TRUE(bundle());
    EXPECT_EQ(controller().persistedConfig()->previousBundledConsentSignals(), "G111");

    storeEvent(denied, "tap", kHour + 1);
    ASSERT_TRUE(bundle());
    EXPECT_EQ(controller().persistedConfig()->previousBundledConsentSignals(), "G110");
    // The snapshot holds the counts as they stood when analytics storage went.
    std::optional<MSREventAggregates> snapshot;
    onWorkerQueue([&] {
        auto read = database().eventAggregatesSnapshotWithName("tap");
        ASSERT_TRUE(read);
        snapshot = *read;
    });
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->lifetimeCount(), 1);

    storeEvent(denied, "tap", kHour + 2);
    storeEvent(granted, "tap", kHour + 3);
    EXPECT_EQ(bundleAll(), 2);
    std::optional<MSREventAggregates> restored;
    onWorkerQueue([&] {
        auto read = database().eventAggregatesWithName("tap");
        ASSERT_TRUE(read);
        restored = *read;
    });
    ASSERT_TRUE(restored);
    // Back to the snapshot's count, plus the event of the granted bundle.
    EXPECT_EQ(restored->lifetimeCount(), 2);
}

TEST_F(BundlingTest, EngagementTotalsAddUpAndASessionStartRestartsTheSessionTotal) {
    const auto storedTotal = [&](std::string_view name) -> std::optional<std::int64_t> {
        std::optional<std::int64_t> total;
        onWorkerQueue([&] {
            auto read = database().userAttributeWithName(name);
            ASSERT_TRUE(read);
            if (*read) {
                total = (*read)->value().int64Value();
            }
        });
        return total;
    };
    const auto bundledTotals = [&](const MSRPBMeasurementBundle& message) {
        std::map<std::string, std::int64_t> totals;
        for (const auto& item : NanoMessageGetArray<MSRPBUserAttribute>(message, kBundleUserAttributesSlot)
                                    .value_or(std::vector<MSRPBUserAttribute>{})) {
            totals[NanoMessageGetString(item, 1).value_or("")] = NanoMessageGetInt64(item, 3);
        }
        return totals;
    };

    std::int64_t fingerprint = storeTemplate();
    storeEvent(fingerprint, "_e", kHour, {{"_et", MSRValue::initWithInt64(1000)}});
    // A redundant engagement report does not count twice.
    storeEvent(fingerprint, "_e", kHour + 1,
               {{"_et", MSRValue::initWithInt64(500)}, {"_fr", MSRValue::initWithInt64(1)}});
    ASSERT_TRUE(bundle());
    EXPECT_EQ(storedTotal("_lte"), 1000);
    EXPECT_EQ(storedTotal("_se"), 1000);

    fingerprint = storeTemplate();
    storeEvent(fingerprint, "_s", kHour + 2);
    storeEvent(fingerprint, "_e", kHour + 3, {{"_et", MSRValue::initWithInt64(200)}});
    ASSERT_TRUE(bundle());
    EXPECT_EQ(storedTotal("_lte"), 1200);
    EXPECT_EQ(storedTotal("_se"), 200);

    const auto bundles = queuedBundles();
    ASSERT_EQ(bundles.size(), 2U);
    EXPECT_EQ(bundledTotals(bundles[0]), (std::map<std::string, std::int64_t>{{"_lte", 1000}, {"_se", 1000}}));
    EXPECT_EQ(bundledTotals(bundles[1]), (std::map<std::string, std::int64_t>{{"_lte", 1200}, {"_se", 200}}));
}

}  // namespace
}  // namespace kit::measurement::testing
