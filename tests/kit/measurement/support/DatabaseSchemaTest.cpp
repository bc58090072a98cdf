// The measurement file on disk: its schema, the migration of an old file,
// what makes it be given up, and what a busy, full or killed writer leaves.

#include "DatabaseTestSupport.h"
#include "platform/Random.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

namespace kit::measurement {
namespace {

using platform::testing::readFile;
using platform::testing::runCommand;
using platform::testing::shellQuote;
using testing::DatabaseTest;

const std::filesystem::path kFixtures = MEASUREMENT_SUPPORT_TEST_DIR "/fixtures";

class DatabaseSchemaTest : public DatabaseTest {
protected:
    void loadFixture(const std::string& name) {
        std::filesystem::create_directories(path().parent_path());
        const auto result =
            runCommand("sqlite3 " + shellQuote(path().string()) + " < " + shellQuote((kFixtures / name).string()));
        ASSERT_EQ(result.exitCode, 0) << result.output;
    }

    // The rows of every table over the columns an old file has, with raw
    // event times read as whole seconds.
    std::string keptRows() {
        const std::pair<const char*, const char*> tables[] = {
            {"app_metadata", "rowid, last_bundle_index, last_bundle_end_timestamp"},
            {"raw_events_metadata", "metadata_fingerprint, hex(metadata)"},
            {"raw_events", "rowid, name, CAST(timestamp AS INTEGER), metadata_fingerprint, hex(data)"},
            {"events", "name, lifetime_count, current_bundle_count, last_fire_timestamp"},
            {"user_attributes", "name, set_timestamp, value"},
            {"queue", "rowid, hex(data), bundle_end_timestamp"},
            {"event_filters", "audience_id, filter_id, event_name, hex(data)"},
            {"property_filters", "audience_id, filter_id, property_name, hex(data)"},
            {"audience_filter_values", "audience_id, hex(current_results), hex(previous_results)"},
            {"purchase_transactions", "fingerprint"},
            {"subscriptions", "subscription_id"},
            {"conditional_properties", "*"},
            {"main_event_params", "event_id, children_to_process, hex(main_event)"}};
        std::string rows;
        for (const auto& [table, columns] : tables) {
            rows += std::string(table) + ":\n" +
                    sqlite3(std::string("SELECT ") + columns + " FROM " + table + " ORDER BY rowid");
        }
        return rows;
    }
};

TEST_F(DatabaseSchemaTest, AFreshFileHasTheGoldenSchema) {
    ASSERT_TRUE(open());
    EXPECT_EQ(sqlite3(".schema"), readFile(kFixtures / "measurement-schema.txt"));
    EXPECT_EQ(path().filename(), "lumen-measurement.sql");
}

// Asked after every stored event: neither may read the whole table.
TEST_F(DatabaseSchemaTest, TheLatestAndRealtimeLookupsUseTheirIndexes) {
    ASSERT_TRUE(open());
    EXPECT_NE(sqlite3("EXPLAIN QUERY PLAN SELECT MAX(timestamp) FROM raw_events").find("raw_events_timestamp"),
              std::string::npos);
    EXPECT_NE(sqlite3("EXPLAIN QUERY PLAN SELECT EXISTS (SELECT 1 FROM raw_events WHERE is_realtime = 1 LIMIT 1)")
                  .find("raw_events_realtime"),
              std::string::npos);
}

TEST_F(DatabaseSchemaTest, TheMetadataRowIsMadeOnceAndKept) {
    {
        auto database = open();
        ASSERT_TRUE(database);
    }
    const std::string row = "1|0|0.0|0.0|||||||||0|\n";
    EXPECT_EQ(sqlite3("SELECT rowid, last_bundle_index, last_bundle_end_timestamp, last_bundle_start_timestamp, day, "
                      "daily_conversions_count, daily_events_count, daily_public_events_count, "
                      "daily_error_events_count, remote_config_data, remote_config_timestamp, "
                      "daily_real_time_conversion_events_count, last_delivery_index, "
                      "daily_real_time_dcu_events_count FROM app_metadata"),
              row);
    ASSERT_TRUE(sqlite3("UPDATE app_metadata SET last_bundle_index = 7, day = 3").empty());
    const std::string before = sqlite3("SELECT * FROM app_metadata");
    ASSERT_TRUE(open());
    EXPECT_EQ(sqlite3("SELECT * FROM app_metadata"), before);
    EXPECT_EQ(sqlite3("SELECT count(*) FROM app_metadata"), "1\n");
}

TEST_F(DatabaseSchemaTest, AnOldFileGainsItsColumnsAndKeepsEveryRow) {
    loadFixture("measurement-old-file.sql");
    const std::string before = keptRows();
    ASSERT_NE(before.find("_vs|1699990003|77|"), std::string::npos) << before;
    auto database = open();
    ASSERT_TRUE(database);
    EXPECT_EQ(keptRows(), before);
    EXPECT_EQ(sqlite3("SELECT type FROM pragma_table_info('raw_events') WHERE name = 'timestamp'"), "REAL\n");
    EXPECT_EQ(sqlite3("SELECT typeof(timestamp) FROM raw_events"), "real\nreal\nreal\n");
    EXPECT_EQ(sqlite3("SELECT count(*) FROM sqlite_master WHERE name LIKE '%_old'"), "0\n");
    for (const auto& [table, column] : {std::pair{"app_metadata", "daily_real_time_dcu_events_count"},
                                        {"raw_events", "is_realtime"},
                                        {"events", "current_session_count"},
                                        {"user_attributes", "origin"},
                                        {"queue", "retry_count"},
                                        {"event_filters", "session_scoped"},
                                        {"property_filters", "session_scoped"}}) {
        EXPECT_EQ(sqlite3(std::string("SELECT count(*) FROM pragma_table_info('") + table + "') WHERE name = '" +
                          column + "'"),
                  "1\n")
            << table;
    }
    // The rows read through the database as well.
    EXPECT_EQ(database->queryAppMetadata().value()->lastBundleIndex(), 41);
    const auto events = database->rawEventsWithMetadataFingerprint(77);
    ASSERT_TRUE(events);
    ASSERT_EQ(events->events.size(), 3u);
    EXPECT_EQ(events->events[2].rawEvent().name(), "_vs");
    EXPECT_EQ(events->events[2].rawEvent().timestamp(), 1699990003.0);
    EXPECT_EQ(database->eventAggregatesWithName("_e").value()->lifetimeCount(), 12);
}

TEST_F(DatabaseSchemaTest, AnExtraOptionalColumnInAnyTableOpensWithEveryRow) {
    {
        auto database = open();
        ASSERT_TRUE(database);
        ASSERT_TRUE(database->insertRawEvent(testing::makeEvent("_e", testing::kTestNow), 1, false));
    }
    std::istringstream names(sqlite3("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"));
    std::vector<std::string> tables;
    for (std::string table; std::getline(names, table);) {
        tables.push_back(table);
    }
    ASSERT_GE(tables.size(), 13u);
    for (const std::string& table : tables) {
        SCOPED_TRACE(table);
        ASSERT_TRUE(sqlite3("ALTER TABLE " + table + " ADD COLUMN from_a_newer_version TEXT").empty());
        const std::string before = keptRows();
        auto database = open();
        ASSERT_TRUE(database);
        database.reset();
        EXPECT_EQ(keptRows(), before);
        EXPECT_EQ(
            sqlite3("SELECT count(*) FROM pragma_table_info('" + table + "') WHERE name = 'from_a_newer_version'"),
            "1\n");
    }
}

TEST_F(DatabaseSchemaTest, AnUnknownRequiredColumnGivesTheFileUpAndTheNextStartIsFresh) {
    {
        auto database = open();
        ASSERT_TRUE(database);
        ASSERT_TRUE(database->insertRawEvent(testing::makeEvent("_e", testing::kTestNow), 1, false));
    }
    ASSERT_TRUE(sqlite3("ALTER TABLE events ADD COLUMN extra INTEGER NOT NULL DEFAULT 0").empty());
    auto refused = MSRDatabase::initWithDatabaseName(kMSRDatabaseFileName, config_, clock_);
    testing::expectFailure(refused, 2, "Table contains unknown non-optional columns");
    EXPECT_FALSE(std::filesystem::exists(path()));
    const auto codes = services().drainCodes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), 12002), codes.end());

    auto database = open();
    ASSERT_TRUE(database);
    EXPECT_EQ(database->isRawEventsTableEmpty().value(), true);
    EXPECT_EQ(sqlite3(".schema"), readFile(kFixtures / "measurement-schema.txt"));
}

TEST_F(DatabaseSchemaTest, ResetMakesAFreshFileInPlace) {
    auto database = open();
    ASSERT_TRUE(database->insertRawEvent(testing::makeEvent("_e", testing::kTestNow), 1, false));
    ASSERT_TRUE(database->reset());
    EXPECT_EQ(database->isRawEventsTableEmpty().value(), true);
    EXPECT_EQ(sqlite3("SELECT count(*) FROM app_metadata"), "1\n");
    testing::expectFailure(MSRDatabase::initWithDatabaseName("", config_, clock_), 1,
                           "Received empty database name in init");
}

// ---- Faults on a real file

// The CLI holds a lock on the file until `release` is called.
class LockingShell {
public:
    LockingShell(const std::filesystem::path& database, const std::filesystem::path& marker, std::string_view begin) {
        shell_ = ::popen(("sqlite3 " + shellQuote(database.string())).c_str(), "w");
        std::fprintf(shell_, "%s;\n.system touch %s\n", std::string(begin).c_str(),
                     shellQuote(marker.string()).c_str());
        std::fflush(shell_);
    }
    ~LockingShell() { release(); }
    void release() {
        if (shell_ != nullptr) {
            std::fprintf(shell_, "ROLLBACK;\n.quit\n");
            ::pclose(shell_);
            shell_ = nullptr;
        }
    }

private:
    FILE* shell_ = nullptr;
};

TEST_F(DatabaseSchemaTest, AFileLockedDuringOpeningIsKeptWithEveryRow) {
    struct Case {
        const char* name;
        const char* begin;
        // An old file needs its columns added: a write the lock refuses.
        bool oldFile;
    };
    const Case cases[] = {{"exclusive lock", "BEGIN EXCLUSIVE", false},
                          {"writer's lock while columns are added", "BEGIN IMMEDIATE", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path());
        if (c.oldFile) {
            loadFixture("measurement-old-file.sql");
        } else {
            auto database = open();
            ASSERT_TRUE(database->insertRawEvent(testing::makeEvent("_e", testing::kTestNow), 1, false));
        }
        const std::string bytes = readFile(path());
        const std::string rows = keptRows();
        const auto marker = root() / (std::string("locked-") + (c.oldFile ? "old" : "new"));
        LockingShell shell(path(), marker, c.begin);
        ASSERT_TRUE(testing::eventually([&] { return std::filesystem::exists(marker); }));

        auto locked = MSRDatabase::initWithDatabaseName(kMSRDatabaseFileName, config_, clock_);
        ASSERT_FALSE(locked);
        EXPECT_EQ(locked.error().code(), 3) << locked.error().what();
        EXPECT_EQ(readFile(path()), bytes);

        shell.release();
        auto database = open();
        ASSERT_TRUE(database);
        EXPECT_EQ(keptRows(), rows);
    }
}

// Writes raw events, one transaction each, printing every committed row ID
// straight to the report (no buffer a kill would lose).
TEST_F(DatabaseSchemaTest, ChildWritesRawEvents) {
    const char* report = std::getenv("MSR_CHILD_RAW_EVENTS");
    if (report == nullptr) {
        GTEST_SKIP() << "runs as a child process";
    }
    services().monitor().waitUntilIdle();
    testing::ParentFolders parent;
    const int out = ::open(report, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(out, 0);
    auto print = [&](const std::string& line) {
        ASSERT_EQ(::write(out, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    };
    if (std::getenv("MSR_CHILD_FILE_SIZE_LIMIT") != nullptr) {
        ::signal(SIGXFSZ, SIG_IGN);
        const auto limit = static_cast<rlim_t>(std::filesystem::file_size(path()) + 64 * 1024);
        const rlimit fileSize{limit, limit};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &fileSize), 0);
    }
    auto database = MSRDatabase::initWithDatabaseName(kMSRDatabaseFileName, config_, clock_);
    ASSERT_TRUE(database);
    const MSREvent event =
        testing::makeEvent("_e", testing::kTestNow, {{"value", platform::Value(std::string(400, 'v'))}});
    for (int index = 0; index < 1'000'000; ++index) {
        std::int64_t rowID = 0;
        auto written = (*database)->performTransaction([&] {
            auto inserted = (*database)->insertRawEvent(event, 1, false);
            rowID = inserted ? *inserted : 0;
            return static_cast<bool>(inserted);
        });
        if (!written) {
            print("error " + std::to_string(written.error().code()) + "\n");
            break;
        }
        print(std::to_string(rowID) + "\n");
    }
    ::close(out);
    ::_exit(0);
}

struct ChildReport {
    std::vector<std::int64_t> rowIDs;
    std::string last;
};

ChildReport readReport(const std::filesystem::path& report) {
    ChildReport result;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("error")) {
            result.last = line;
        } else if (!line.empty()) {
            result.rowIDs.push_back(std::stoll(line));
        }
    }
    return result;
}

std::size_t lineCount(const std::filesystem::path& report) {
    std::ifstream in(report);
    return static_cast<std::size_t>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
}

class DatabaseChildTest : public DatabaseSchemaTest {
protected:
    void expectEveryPrintedRowKept(const ChildReport& report) {
        EXPECT_EQ(sqlite3("PRAGMA integrity_check"), "ok\n");
        std::set<std::int64_t> stored;
        std::istringstream rows(sqlite3("SELECT rowid FROM raw_events"));
        for (std::int64_t rowID = 0; rows >> rowID;) {
            stored.insert(rowID);
        }
        for (const std::int64_t rowID : report.rowIDs) {
            ASSERT_TRUE(stored.contains(rowID)) << rowID;
        }
    }
};

TEST_F(DatabaseChildTest, AFullDiskStopsTheWriterAtAStoreErrorAndKeepsEveryCommittedRow) {
    ASSERT_TRUE(open());
    const auto report = root() / "report";
    const pid_t child =
        testing::spawnSelf("DatabaseSchemaTest.ChildWritesRawEvents",
                           {{"MSR_CHILD_RAW_EVENTS", report.string()}, {"MSR_CHILD_FILE_SIZE_LIMIT", "1"}});
    ASSERT_EQ(testing::waitForChild(child), 0);
    const ChildReport written = readReport(report);
    EXPECT_GT(written.rowIDs.size(), 10u);
    EXPECT_EQ(written.last, "error 3");
    expectEveryPrintedRowKept(written);
    ASSERT_TRUE(open());
}

TEST_F(DatabaseChildTest, AWriterKilledAtRandomLosesNoCommittedRow) {
    ASSERT_TRUE(open());
    platform::SeededRandom random(2612);
    const auto report = root() / "report";
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const std::size_t before = lineCount(report);
        const std::size_t killAfter = before + 1 + random.below(40);
        const pid_t child =
            testing::spawnSelf("DatabaseSchemaTest.ChildWritesRawEvents", {{"MSR_CHILD_RAW_EVENTS", report.string()}});
        ASSERT_TRUE(testing::eventually([&] { return lineCount(report) >= killAfter; }));
        ::kill(child, SIGKILL);
        EXPECT_EQ(testing::waitForChild(child), -1);
        expectEveryPrintedRowKept(readReport(report));
    }
    auto database = open();
    ASSERT_TRUE(database);
    EXPECT_GE(database->allRawEventsWithError()->size(), readReport(report).rowIDs.size());
}

}  // namespace
}  // namespace kit::measurement
