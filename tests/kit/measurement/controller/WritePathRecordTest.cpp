// One fixed scenario from the first start to stored rows: the first open and
// session start, events through the write pipeline (daily counts, lifetime
// value, editing-free paths, a blocked one), on-device conversion up to its
// postponed request and a match. The store (as the sqlite3 shell dumps it)
// and every console line must stay as recorded in fixtures/write_path.txt.
// STUBFORGE_RECORD_FIXTURES=1 writes the record anew instead of comparing.
#include "EventRoadTestSupport.h"
#include "Process.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRPrivateSetMembershipClient.h"
#include "kit/measurement/support/MSRPersistedConfig.h"
#include "kit/core/ClassRegistry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kit::measurement::testing {
namespace {

using platform::Value;

class RecordedClient final : public MSRPrivateSetMembershipClient {
public:
    std::optional<std::string> PSMRequestURLWithRetryCount(std::int32_t retryCount) override {
        return "https://psm.invalid/query?retry=" + std::to_string(retryCount);
    }
    std::int64_t inputType() const override { return static_cast<std::int64_t>(MSRPSMInputType::emailAddress); }
    std::string parsedPSMValueFromResponse(std::span<const std::uint8_t>) override { return {}; }
    std::optional<std::string> debugKey() const override { return std::nullopt; }
};

// The identity support's missing-dependency warning, logged once per process.
constexpr std::int64_t kOncePerProcessCode = 44003;

class WritePathRecordTest : public EventRoadTest {
protected:
    WritePathRecordTest() {
        services().setAppActive(true);
        setFirstStart(true);
        MSRAnalytics::setLoadTimestamp(now());
        // Flags earlier tests of the process may have left behind.
        MSRAnalytics::setDeferredAnalyticsCollection(std::nullopt);
        // Every line the pipeline writes, the detailed ones too.
        services().monitor().setVerboseLoggingEnabled(true);
        auto clientClass = std::make_shared<MSRPrivateSetMembershipClientClass>();
        clientClass->initWithEmailAddressPrefixBitLength = [](auto&&...) { return std::make_shared<RecordedClient>(); };
        kit::classRegistry().registerClass<MSRPrivateSetMembershipClientClass>(
            std::string(MSRPrivateSetMembershipClientClass::kClassName), clientClass);
    }
    ~WritePathRecordTest() override { settle(); }

    // The store without what differs from run to run: the random
    // identifiers live in the metadata records and their fingerprints, so
    // the records are counted and the fingerprints left out.
    std::string storeRecord() {
        std::ostringstream out;
        for (const std::string& table : rows("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT "
                                             "LIKE 'sqlite_%' ORDER BY name")) {
            out << "== " << table << "\n";
            if (table == "raw_events_metadata") {
                out << rows("SELECT count(*) FROM " + table).front() << " records\n";
                continue;
            }
            for (const std::string& row : rows(selectFor(table))) {
                out << row << "\n";
            }
        }
        return out.str();
    }
    std::string selectFor(const std::string& table) {
        // Every column but the metadata fingerprint, sorted on all of them.
        std::string columns;
        std::string order;
        for (const std::string& column : rows("SELECT name FROM pragma_table_info('" + table + "')")) {
            if (column == "metadata_fingerprint") {
                continue;
            }
            // The day index hangs on the install's random midnight offset:
            // kept as its distance from today.
            const std::string value = column == "day" ? "day - " + std::to_string(today()) : column;
            columns += (columns.empty() ? "" : ", ") + std::string("quote(") + value + ")";
            order += (order.empty() ? "" : ", ") + column;
        }
        return "SELECT " + columns + " FROM " + table + " ORDER BY " + order;
    }
    std::string consoleRecord() {
        std::ostringstream out;
        const std::string folder = databasePath().parent_path().string();
        for (const ConsoleLine& line : services().drainConsole()) {
            if (line.code == kOncePerProcessCode) {
                continue;  // only the process's first controller says it
            }
            std::string message = line.message;
            for (std::size_t at = message.find(folder); at != std::string::npos; at = message.find(folder)) {
                message.replace(at, folder.size(), "<store folder>");
            }
            out << line.level << " " << line.code << " " << message << "\n";
        }
        return out.str();
    }
};

TEST_F(WritePathRecordTest, TheStoredRowsAndLogLinesOfAFixedScenarioStayAsRecorded) {
    makeController();
    settle();
    clock().advance(std::chrono::seconds(5));
    log("select_content", {{"content_type", Value("pdf")}, {"item_id", Value("A-17")}});
    clock().advance(std::chrono::seconds(1));
    log("purchase", {{"currency", Value("EUR")}, {"value", Value(12.5)}});
    clock().advance(std::chrono::seconds(1));
    log("_vs", {{"_sc", Value("Window")}}, "auto");
    log("background_sync", {{"extend_session", Value(std::int64_t{1})}});
    log("bad-name!");
    clock().advance(std::chrono::seconds(1));
    controller().setUserData({{"email_address", Value("someone@example.org")}});
    settle();
    onWorkerQueue([&] { controller().handlePSMValueOnWorkerQueue("matched-value"); });
    onWorkerQueue([&] { controller().backfillSessionNumber(); });
    settle();

    const std::string record = "### store\n" + storeRecord() + "### console\n" + consoleRecord();
    const std::filesystem::path fixture = std::filesystem::path(CONTROLLER_FIXTURES_DIR) / "write_path.txt";
    if (const char* write = std::getenv("STUBFORGE_RECORD_FIXTURES"); write != nullptr && write[0] == '1') {
        std::ofstream(fixture) << record;
        GTEST_SKIP() << "recorded " << fixture;
    }
    std::ifstream in(fixture);
    ASSERT_TRUE(in) << fixture;
    std::ostringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(record, expected.str());
}

}  // namespace
}  // namespace kit::measurement::testing
