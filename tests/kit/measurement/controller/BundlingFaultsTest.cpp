// Runs that can never become a bundle are consumed instead of staying first
// in line; store failures still roll the whole call back.

#include "BundlingTestSupport.h"

namespace kit::measurement::testing {
namespace {

constexpr double kHour = 472'223.0 * 3600;

using BundlingFaultsTest = BundlingTest;

// A row whose body is not an event message, written past the store.
std::string junkRow(std::int64_t fingerprint, double timestamp) {
    return "INSERT INTO raw_events (name, timestamp, metadata_fingerprint, data, is_realtime) VALUES ('tap', " +
           std::to_string(timestamp) + ", " + std::to_string(fingerprint) + ", X'FFFFFF07', 0);";
}

TEST_F(BundlingFaultsTest, UndecodableRowsGoWithTheirRun) {
    const std::int64_t fingerprint = storeTemplate();
    storeEvent(fingerprint, "tap", kHour);
    ASSERT_EQ(sqlite3(junkRow(fingerprint, kHour + 1)), "");
    storeEvent(fingerprint, "swipe", kHour + 2);
    ASSERT_EQ(sqlite3(junkRow(fingerprint, kHour + 3)), "");

    EXPECT_TRUE(bundle());
    const auto bundles = queuedBundles();
    ASSERT_EQ(bundles.size(), 1U);
    EXPECT_EQ(eventNames(bundles[0]), (std::vector<std::string>{"tap", "swipe"}));
    EXPECT_TRUE(contains(drainCodes(), 23096));
    EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events; SELECT count(*) FROM raw_events_metadata;"), "0\n0\n");
}

struct DeadRunCase {
    const char* name;
    // Stores the run; answers the fingerprint the run is under.
    std::function<std::int64_t(BundlingFaultsTest&)> store;
    std::int64_t code;
};

TEST_F(BundlingFaultsTest, RunsThatCanNeverBecomeABundleAreDeletedAndLaterRunsGoOn) {
    const DeadRunCase cases[] = {
        {"every row undecodable",
         [](BundlingFaultsTest& test) {
             const std::int64_t fingerprint = test.storeTemplate();
             test.sqlite3(junkRow(fingerprint, kHour) + junkRow(fingerprint, kHour + 1));
             return fingerprint;
         },
         23096},
        {"metadata record missing",
         [](BundlingFaultsTest& test) {
             test.storeEvent(4242, "tap", kHour);
             return std::int64_t{4242};
         },
         23098},
        {"metadata record undecodable",
         [](BundlingFaultsTest& test) {
             test.sqlite3("INSERT INTO raw_events_metadata (metadata_fingerprint, metadata) VALUES (777, X'FFFFFF07')");
             test.storeEvent(777, "tap", kHour);
             return std::int64_t{777};
         },
         23098},
        {"end time below a millisecond",
         [](BundlingFaultsTest& test) {
             const std::int64_t fingerprint = test.storeTemplate();
             test.storeEvent(fingerprint, "tap", 0.0005);
             return fingerprint;
         },
         23115},
    };
    for (const DeadRunCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        drainCodes();
        const std::size_t queued = queuedBundles().size();
        testCase.store(*this);
        const std::int64_t good = storeTemplate(metadataTemplate("G111"));
        storeEvent(good, "tap", kHour + 10);

        EXPECT_TRUE(bundle()) << "the dead run counts as done";
        EXPECT_TRUE(contains(drainCodes(), testCase.code));
        EXPECT_EQ(queuedBundles().size(), queued);
        EXPECT_TRUE(bundle());
        EXPECT_EQ(queuedBundles().size(), queued + 1);
        EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events; SELECT count(*) FROM raw_events_metadata;"), "0\n0\n");
    }
}

struct RollbackCase {
    const char* name;
    std::string trigger;
    std::int64_t code;
};

TEST_F(BundlingFaultsTest, StoreFailuresRollEverythingBack) {
    const RollbackCase cases[] = {
        {"queue insert fails", "CREATE TRIGGER fail BEFORE INSERT ON queue BEGIN SELECT RAISE(ABORT, 'full'); END;",
         23115},
        {"raw event deletion fails",
         "CREATE TRIGGER fail BEFORE DELETE ON raw_events BEGIN SELECT RAISE(ABORT, 'locked'); END;", 23119},
    };
    for (const RollbackCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const std::int64_t fingerprint = storeTemplate();
        storeEvent(fingerprint, "tap", kHour);
        storeEvent(fingerprint, "tap", kHour + 1);
        ASSERT_EQ(sqlite3(testCase.trigger), "");
        drainCodes();

        EXPECT_FALSE(bundle());
        EXPECT_TRUE(contains(drainCodes(), testCase.code));
        EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events; SELECT count(*) FROM queue; SELECT count(*) FROM events;"
                          "SELECT ifnull(last_delivery_index, 0) FROM app_metadata;"),
                  "2\n0\n0\n0\n");

        ASSERT_EQ(sqlite3("DROP TRIGGER fail"), "");
        EXPECT_TRUE(bundle());
        EXPECT_EQ(sqlite3("SELECT count(*) FROM raw_events; SELECT count(*) FROM queue; DELETE FROM queue;"
                          "DELETE FROM events; UPDATE app_metadata SET last_delivery_index = 0;"),
                  "0\n1\n");
    }
}

}  // namespace
}  // namespace kit::measurement::testing
