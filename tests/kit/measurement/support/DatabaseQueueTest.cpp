// Raw events and the bundle queue: what is stored, what a reader takes,
// and how rows that no longer decode get out of the way.

#include "DatabaseTestSupport.h"
#include "kit/measurement/support/MSRDigests.h"

namespace kit::measurement {
namespace {

using platform::testing::runCommand;
using platform::testing::shellQuote;
using testing::DatabaseTest;
using testing::expectFailure;
using testing::kTestNow;
using testing::makeBundle;
using testing::makeEvent;

constexpr std::int64_t kNowMilliseconds = static_cast<std::int64_t>(kTestNow) * 1000;

class DatabaseQueueTest : public DatabaseTest {
protected:
    void SetUp() override {
        database_ = open();
        ASSERT_TRUE(database_);
    }

    // A bundle whose encoding is exactly `size` bytes.
    MSRPBMeasurementBundle bundleOfSize(std::size_t size) {
        for (std::size_t padding = 0; padding < size; ++padding) {
            MSRPBMeasurementBundle bundle = makeBundle(kNowMilliseconds, padding, "a");
            if (testing::encodedSize(bundle) == size) {
                return bundle;
            }
        }
        ADD_FAILURE() << "no bundle of " << size << " bytes";
        return makeBundle(kNowMilliseconds);
    }

    std::vector<std::int64_t> rowIDs(const std::vector<MSRQueuedBundle>& bundles) {
        std::vector<std::int64_t> ids;
        for (const auto& queued : bundles) {
            ids.push_back(queued.rowID);
        }
        return ids;
    }

    // The protoc reading of a blob taken out with the CLI.
    std::string decodeRaw(const std::string& column, const std::string& table, bool gzipped) {
        const auto blob = root() / "blob";
        std::filesystem::remove(blob);
        sqlite3("SELECT writefile(" + shellQuote(blob.string()) + ", " + column + ") FROM " + table);
        const auto result = runCommand((gzipped ? "gzip -dc < " : "cat ") + shellQuote(blob.string()) + " | " +
                                       PROTOC_EXECUTABLE + " --decode_raw");
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return result.output;
    }

    std::unique_ptr<MSRDatabase> database_;
};

TEST_F(DatabaseQueueTest, TheByteBudgetTakesBundlesInOrderUntilOneDoesNotFit) {
    for (const std::size_t size : {40, 70, 20}) {
        ASSERT_TRUE(database_->insertBundle(bundleOfSize(size), false));
    }
    struct Case {
        std::int64_t countLimit;
        std::int64_t sizeLimit;
        std::vector<std::int64_t> expected;
    };
    const Case cases[] = {
        {10, 100, {1}},        // 70 does not fit, and 20 is not looked at
        {10, 10, {1}},         // the first is taken whatever its size
        {10, 110, {1, 2}},     // 40 + 70
        {10, 130, {1, 2, 3}},  // all
        {2, 1000, {1, 2}},     // the count limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sizeLimit);
        const auto read = database_->queryBundlesWithCountLimit(c.countLimit, c.sizeLimit);
        ASSERT_TRUE(read);
        EXPECT_EQ(rowIDs(read->bundles), c.expected);
        EXPECT_TRUE(read->skippedRowIDs.empty());
    }
    EXPECT_EQ(database_->queryBundlesWithRowIDs({3, 1})->size(), 2u);
    ASSERT_TRUE(database_->deleteBundlesWithRowIDs({1, 2}));
    EXPECT_EQ(rowIDs(database_->queryBundlesWithCountLimit(10, 1)->bundles), std::vector<std::int64_t>{3});
    expectFailure(database_->deleteBundlesWithRowIDs({}), 3, "Received empty row IDs to process");
}

TEST_F(DatabaseQueueTest, ARetryCounterAtItsMaximumStays) {
    ASSERT_TRUE(database_->insertBundle(makeBundle(kNowMilliseconds), false));
    ASSERT_TRUE(database_->insertBundle(makeBundle(kNowMilliseconds), true));
    ASSERT_EQ(sqlite3("UPDATE queue SET retry_count = 2147483647 WHERE rowid = 1"), "");
    services().drainCodes();
    ASSERT_TRUE(database_->incrementRetryCounterForBundlesWithIDs({1, 2}));
    EXPECT_EQ(sqlite3("SELECT rowid, retry_count FROM queue"), "1|2147483647\n2|1\n");
    const auto codes = services().drainCodes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), 12054), codes.end());
    // The counter travels in the bundle read back.
    const auto read = database_->queryBundlesWithCountLimit(10, 1 << 20);
    EXPECT_EQ(NanoMessageGetInt32(read->bundles[0].bundle, 35), 2147483647);
    EXPECT_EQ(NanoMessageGetInt32(read->bundles[1].bundle, 35), 1);
    EXPECT_EQ(database_->containsRealtimeBundlesWithError().value(), true);
    expectFailure(database_->incrementRetryCounterForBundlesWithIDs({}), 1, "Failed to increment retry counter");
}

TEST_F(DatabaseQueueTest, StoredBlobsAreWhatOtherToolsRead) {
    ASSERT_TRUE(database_->insertBundle(makeBundle(kNowMilliseconds + 250, 0, "1:999:linux:feed"), false));
    const std::string bundle = decodeRaw("data", "queue", true);
    EXPECT_NE(bundle.find("6: " + std::to_string(kNowMilliseconds + 250) + "\n"), std::string::npos) << bundle;
    EXPECT_NE(bundle.find("14: \"1:999:linux:feed\"\n"), std::string::npos) << bundle;
    EXPECT_EQ(sqlite3("SELECT bundle_end_timestamp FROM queue"), "1700000000.25\n");

    ASSERT_TRUE(
        database_->insertRawEvent(makeEvent("_e", kTestNow, {{"value", platform::Value(std::int64_t{7})}}), 5, true));
    const std::string event = decodeRaw("data", "raw_events", false);
    EXPECT_EQ(event.find("\n2: "), std::string::npos) << event;
    EXPECT_FALSE(event.starts_with("2: ")) << event;
    EXPECT_NE(event.find("3: " + std::to_string(kNowMilliseconds)), std::string::npos) << event;
    EXPECT_EQ(sqlite3("SELECT name, metadata_fingerprint, is_realtime FROM raw_events"), "_e|5|1\n");
}

TEST_F(DatabaseQueueTest, RowsThatDoNotDecodeAreReportedSoTheyCanBeDeleted) {
    const MSREvent event = makeEvent("_e", kTestNow);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(database_->insertRawEvent(event, 8, false));
        ASSERT_TRUE(database_->insertBundle(makeBundle(kNowMilliseconds), false));
    }
    // Bad bytes, a bundle that is not gzip, and an event without its origin.
    ASSERT_EQ(sqlite3("UPDATE raw_events SET data = X'FFFF' WHERE rowid = 1;"
                      "UPDATE raw_events SET data = X'' WHERE rowid = 2;"
                      "UPDATE queue SET data = X'0102' WHERE rowid IN (1, 2);"),
              "");
    MSRPBEvent withoutOrigin;
    NanoMessageSetInt64(withoutOrigin, 2, kNowMilliseconds);
    ASSERT_TRUE(database_->sqliteStore().updateRecord({{"data", platform::Value(*withoutOrigin.protoBuffer())}},
                                                      "raw_events", "rowid", platform::Value(3)));

    auto events = database_->rawEventsWithMetadataFingerprint(8);
    ASSERT_TRUE(events);
    ASSERT_EQ(events->events.size(), 1u);
    EXPECT_EQ(events->events[0].rowID(), 4);
    EXPECT_EQ(events->skippedRowIDs, (std::vector<std::int64_t>{1, 2, 3}));
    expectFailure(database_->rawEventDataFromDictionary(database_->allRowsFromTableWithName("raw_events", 3)->at(2)), 2,
                  "Cannot create an event from database. Missing origin parameter");

    auto bundles = database_->queryBundlesWithCountLimit(2, 1 << 20);
    ASSERT_TRUE(bundles);
    EXPECT_TRUE(bundles->bundles.empty());
    EXPECT_EQ(bundles->skippedRowIDs, (std::vector<std::int64_t>{1, 2}));

    // The controller deletes what was reported; the next run goes through.
    ASSERT_TRUE(database_->deleteBundlesWithRowIDs(bundles->skippedRowIDs));
    EXPECT_EQ(rowIDs(database_->queryBundlesWithCountLimit(2, 1 << 20)->bundles), (std::vector<std::int64_t>{3, 4}));
    for (const std::int64_t rowID : events->skippedRowIDs) {
        ASSERT_TRUE(database_->sqliteStore().deleteRecordFromTableWithName("raw_events", "rowid", rowID));
    }
    events = database_->rawEventsWithMetadataFingerprint(8);
    EXPECT_EQ(events->events.size(), 1u);
    EXPECT_TRUE(events->skippedRowIDs.empty());
}

TEST_F(DatabaseQueueTest, RawEventsReadBackWithTheirParameters) {
    const MSRObjectDictionary parameters{
        {"n", platform::Value(std::int64_t{5})},
        {"s", platform::Value("text")},
        {"d", platform::Value(2.5)},
        {"items", platform::Value(platform::Value::Array{platform::Value(platform::Value::Dictionary{
                      {"item_id", platform::Value("a")}, {"price", platform::Value(1.5)}})})}};
    auto event = *MSREvent::initWithOrigin("app", true, "purchase", kTestNow + 0.5, kTestNow - 10, parameters);
    const auto rowID = database_->insertRawEvent(event, 3, false);
    ASSERT_TRUE(rowID);
    const auto read = database_->rawEventsWithMetadataFingerprint(3);
    ASSERT_EQ(read->events.size(), 1u);
    const MSRRawEventData& stored = read->events[0];
    EXPECT_EQ(stored.rowID(), *rowID);
    EXPECT_EQ(stored.metadataFingerprint(), 3);
    EXPECT_EQ(stored.rawEvent().name(), event.name());
    EXPECT_EQ(stored.rawEvent().timestamp(), kTestNow + 0.5);
    EXPECT_EQ(stored.rawEvent().previousTimestamp(), kTestNow - 10);
    EXPECT_EQ(stored.rawEvent().parameters(), event.parameters());

    // A filter that says no stops the read there.
    ASSERT_TRUE(database_->insertRawEvent(event, 3, false));
    EXPECT_EQ(
        database_->rawEventsWithMetadataFingerprint(3, [](std::size_t index, const MSRRecord&) { return index < 1; })
            ->events.size(),
        1u);
    EXPECT_EQ(database_->containsRawEventWithMetadataFingerprint(3).value(), true);
    EXPECT_EQ(database_->containsRealtimeRawEventsWithError().value(), false);
    EXPECT_EQ(database_->queryLatestRawEventTime().value(), kTestNow + 0.5);
    EXPECT_EQ(database_->nextMetadataFingerprintToProcess().value(), 3);
    ASSERT_TRUE(database_->deleteRawEventsWithMaxRowID(*rowID + 1));
    EXPECT_EQ(database_->isRawEventsTableEmpty().value(), true);
    EXPECT_EQ(database_->nextMetadataFingerprintToProcess().value(), std::nullopt);
}

TEST_F(DatabaseQueueTest, MetadataIsStoredOncePerContent) {
    MSRPBMeasurementBundle metadata = makeBundle(0, 0, "1:1:linux:a");
    ASSERT_TRUE(database_->insertIfNotExistsRawEventMetadata(metadata));
    ASSERT_TRUE(database_->insertIfNotExistsRawEventMetadata(metadata));
    const std::int64_t fingerprint = msr_64LSBMD5(std::span<const std::uint8_t>(*metadata.protoBuffer()));
    EXPECT_EQ(sqlite3("SELECT metadata_fingerprint FROM raw_events_metadata"), std::to_string(fingerprint) + "\n");
    EXPECT_EQ(database_->queryRawEventsMetadataWithFingerprint(fingerprint).value()->protoBuffer(),
              metadata.protoBuffer());
    ASSERT_TRUE(database_->deleteUnusedRawEventsMetadata());
    EXPECT_EQ(database_->queryRawEventsMetadataWithFingerprint(fingerprint).value(), std::nullopt);
}

TEST_F(DatabaseQueueTest, TheAbsoluteLimitKeepsOneRowFewerThanTheSetting) {
    services().limits.maxEventsStored = 100;
    const MSREvent event = makeEvent("_e", kTestNow);
    ASSERT_TRUE(database_->performTransaction([&] {
        for (int i = 0; i < 150; ++i) {
            if (!database_->insertRawEvent(event, 1, false)) {
                return false;
            }
        }
        return true;
    }));
    EXPECT_EQ(database_->deleteRawEventsOverAbsoluteLimit().value(), 51);
    EXPECT_EQ(sqlite3("SELECT min(rowid), count(*) FROM raw_events"), "52|99\n");
    EXPECT_EQ(database_->allRawEventsWithError()->size(), 99u);
}

TEST_F(DatabaseQueueTest, StaleDataGoesAtMostOncePerInterval) {
    ASSERT_TRUE(database_->insertRawEvent(makeEvent("_e", kTestNow - 29 * 86400.0), 1, false));
    ASSERT_TRUE(database_->insertRawEvent(makeEvent("_e", kTestNow + 29 * 86400.0), 2, false));
    ASSERT_TRUE(database_->insertRawEvent(makeEvent("_e", kTestNow), 3, false));
    ASSERT_TRUE(database_->insertIfNotExistsRawEventMetadata(makeBundle(0, 0, "1:1:linux:a")));

    expectFailure(database_->insertBundle(makeBundle(0), false), 1, "Failed to insert bundle without valid timestamp");
    expectFailure(database_->insertBundle(makeBundle(kNowMilliseconds, 0, ""), false), 1,
                  "Failed to insert bundle without App ID");
    services().drainCodes();
    // Sixty days old: stored with a warning, after the sweep that ran first.
    ASSERT_TRUE(database_->insertBundle(makeBundle(kNowMilliseconds - 60 * 86'400'000LL), false));
    auto codes = services().drainCodes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), 12016), codes.end());
    EXPECT_EQ(sqlite3("SELECT metadata_fingerprint FROM raw_events"), "3\n");
    EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events_metadata"), "0\n");
    EXPECT_EQ(config_->lastDeleteStaleBundlesTimestamp(), kTestNow);
    EXPECT_EQ(database_->maybeDeleteStaleData().value(), false);
    EXPECT_EQ(sqlite3("SELECT count(*) FROM queue"), "1\n");

    advance(86401);
    EXPECT_EQ(database_->maybeDeleteStaleData().value(), true);
    EXPECT_EQ(database_->isQueuedBundleTableEmpty().value(), true);
    expectFailure(database_->deleteStaleBundlesOlderThanMaxAge(-1), 1,
                  "Cannot delete stale bundles after negative time period");
}

}  // namespace
}  // namespace kit::measurement
