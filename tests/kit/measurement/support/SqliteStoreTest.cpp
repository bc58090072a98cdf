#include "MeasurementTestSupport.h"
#include "Process.h"
#include "kit/measurement/support/MSRSqliteStore.h"
#include "kit/measurement/support/MeasurementErrors.h"

#include <sqlite3.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>

namespace kit::measurement {
namespace {

using platform::testing::runCommand;
using platform::testing::shellQuote;
using testing::MeasurementTest;

const MSRColumnInfo kEventColumns{
    {"name", "TEXT NOT NULL"}, {"timestamp", "INTEGER NOT NULL"}, {"fingerprint", "INTEGER"}, {"data", "BLOB"}};

class SqliteStoreTest : public MeasurementTest {
protected:
    std::filesystem::path path_ = root() / "data" / "store" / "test.sql";

    std::unique_ptr<MSRSqliteStore> open() {
        auto store = MSRSqliteStore::create(path_);
        EXPECT_TRUE(store) << (store ? "" : store.error().what());
        return store ? std::move(*store) : nullptr;
    }

    std::string sqlite3Shell(const std::string& sql) {
        return runCommand("sqlite3 " + shellQuote(path_.string()) + " " + shellQuote(sql)).output;
    }
};

void expectError(const platform::Error& error, int code, std::string_view text) {
    EXPECT_EQ(error.domain(), kMSRErrorDomain);
    EXPECT_EQ(error.code(), code);
    EXPECT_EQ(std::string(error.what()), text);
}

template <typename T>
void expectFailure(const platform::Expected<T>& result, int code, std::string_view text) {
    ASSERT_FALSE(result) << text;
    expectError(result.error(), code, text);
}

TEST_F(SqliteStoreTest, CreatesTheFileAndItsTables) {
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_TRUE(std::filesystem::exists(path_));
    const MSRColumnInfo filters{{"audience_id", "INTEGER NOT NULL"},
                                {"filter_id", "INTEGER NOT NULL"},
                                {"event_name", "TEXT NOT NULL"},
                                {"data", "BLOB NOT NULL"},
                                {"PRIMARY KEY", "(audience_id, filter_id)"}};
    ASSERT_TRUE(store->ensureTableWithName("event_filters", filters, {}));
    EXPECT_EQ(sqlite3Shell("SELECT sql FROM sqlite_master WHERE name='event_filters'"),
              "CREATE TABLE event_filters ( audience_id INTEGER NOT NULL, filter_id INTEGER NOT NULL, event_name TEXT "
              "NOT NULL, data BLOB NOT NULL, PRIMARY KEY (audience_id, filter_id))\n");
    EXPECT_EQ(store->tableExists("event_filters").value(), true);
    EXPECT_EQ(store->tableExists("other").value(), false);
}

TEST_F(SqliteStoreTest, RecordsRoundTripWithEveryKind) {
    auto store = open();
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {{"extra", "REAL"}}));
    const platform::Value::Data blob{0, 1, 2, 255};
    ASSERT_TRUE(store->upsertRecord(
        {{"name", "_e"}, {"timestamp", 5}, {"fingerprint", true}, {"data", blob}, {"extra", 2.5}}, "events"));
    ASSERT_TRUE(store->upsertRecord({{"name", "_s"}, {"timestamp", 6}, {"fingerprint", nullptr}}, "events"));
    const auto rows = store->recordsForQuery("SELECT * FROM events WHERE timestamp >= ? ORDER BY timestamp", {5});
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[0].at("name"), platform::Value("_e"));
    EXPECT_EQ((*rows)[0].at("fingerprint"), platform::Value(1));
    EXPECT_EQ((*rows)[0].at("data"), platform::Value(blob));
    EXPECT_EQ((*rows)[0].at("extra"), platform::Value(2.5));
    EXPECT_TRUE((*rows)[1].at("fingerprint").isNull());
    EXPECT_EQ(sqlite3Shell("SELECT hex(data) FROM events WHERE name='_e'"), "000102FF\n");

    // A cached statement starts clean at its next use.
    EXPECT_EQ(store->recordsForQuery("SELECT * FROM events WHERE timestamp >= ? ORDER BY timestamp", {6})->size(), 1u);
    EXPECT_EQ(store->rowCountForTableWithName("events").value(), 2);
    EXPECT_EQ(store->rowCountForTableWithName("events", "name", "_s").value(), 1);

    ASSERT_TRUE(store->updateRecord({{"timestamp", 9}}, "events", "name", "_s"));
    ASSERT_TRUE(store->increaseColumn("timestamp", 10, "events", "name=?", {"_s"}));
    EXPECT_EQ(store->numberForQuery("SELECT timestamp FROM events WHERE name=?", {"_s"})->value(), platform::Value(19));
    EXPECT_EQ(store->deleteRecordsFromTableWithName("events", "timestamp > ?", {1}).value(), 2);
    EXPECT_EQ(store->rowCountForTableWithName("events").value(), 0);
}

struct RefusalRow {
    const char* name;
    std::function<platform::Expected<void>(MSRSqliteStore&)> operation;
    int code;
    const char* text;
};

platform::Expected<void> asVoid(const auto& result) {
    if (result) {
        return {};
    }
    return platform::unexpected(result.error());
}

TEST_F(SqliteStoreTest, RefusesBadArgumentsAndSchemas) {
    auto store = open();
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
    const RefusalRow rows[] = {
        {"upper-case select is fine",
         [](MSRSqliteStore& s) { return asVoid(s.recordsForQuery("SeLeCt * FROM events", {})); }, 0, ""},
        {"leading space", [](MSRSqliteStore& s) { return asVoid(s.recordsForQuery(" select * FROM events", {})); }, 1,
         "Received invalid select query"},
        {"another word", [](MSRSqliteStore& s) { return asVoid(s.recordsForQuery("DELETE FROM events", {})); }, 1,
         "Received invalid select query"},
        {"empty query", [](MSRSqliteStore& s) { return asVoid(s.recordsForQuery("", {})); }, 1,
         "Received empty query for records for query"},
        {"placeholder without parameters",
         [](MSRSqliteStore& s) { return asVoid(s.recordsForQuery("SELECT * FROM events WHERE name=?", {})); }, 1,
         "Received empty parameters"},
        {"two statements", [](MSRSqliteStore& s) { return s.executeSQL("DELETE FROM events; DELETE FROM events"); }, 1,
         "Query contained more than one SQL statement."},
        {"date in an upsert",
         [](MSRSqliteStore& s) {
             return s.upsertRecord({{"name", "x"}, {"timestamp", platform::Value::Date{}}}, "events");
         },
         1, "Record has value of unexpected type"},
        {"array in an update",
         [](MSRSqliteStore& s) {
             return s.updateRecord({{"data", platform::Value::Array{}}}, "events", "name", "x");
         },
         1, "Failed to bind parameter of unexpected type to update statement"},
        {"empty table name", [](MSRSqliteStore& s) { return s.dropTableWithName(""); }, 1,
         "Received empty table name for drop table"},
        {"nil update value",
         [](MSRSqliteStore& s) {
             return s.updateRecord({{"a", 1}}, "events", "name", nullptr);
         },
         1, "Nil column value for update"},
        {"nil delete value", [](MSRSqliteStore& s) { return s.deleteRecordFromTableWithName("events", "name", {}); }, 1,
         "Received nil value for delete record"},
        {"rename to itself", [](MSRSqliteStore& s) { return s.renameTable("events", "events"); }, 1,
         "Received duplicate name for rename table"},
        {"increase a text column", [](MSRSqliteStore& s) { return s.increaseColumn("name", 1, "events", "1", {}); }, 1,
         "Column type is not integer."},
        {"increase a missing column",
         [](MSRSqliteStore& s) { return s.increaseColumn("nothing", 1, "events", "1", {}); }, 1,
         "Invalid column or table name"},
        {"number that is text", [](MSRSqliteStore& s) { return asVoid(s.numberForQuery("SELECT 'text'", {})); }, 1,
         "Found result that was not numeric"},
        {"missing required column",
         [](MSRSqliteStore& s) {
             return s.ensureTableWithName("events", {{"other", "TEXT"}}, {});
         },
         2, "Table is missing required columns"},
        {"empty elementary info", [](MSRSqliteStore& s) { return s.ensureTableWithName("t", {}, {}); }, 1,
         "Received empty elementary column info for ensure table"},
        {"nil transaction block", [](MSRSqliteStore& s) { return s.performTransactionWithError(nullptr); }, 1,
         "Received nil transaction block"},
    };
    for (const RefusalRow& row : rows) {
        SCOPED_TRACE(row.name);
        const auto result = row.operation(*store);
        if (row.code == 0) {
            EXPECT_TRUE(result);
        } else {
            expectFailure(result, row.code, row.text);
        }
    }
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{34020, 34021}));
}

TEST_F(SqliteStoreTest, AClosedStoreNamesTheOperation) {
    auto store = open();
    store->closeDatabase();
    expectFailure(store->upsertRecord({{"a", 1}}, "t"), 2, "Upsert record failed. Database not open.");
    expectFailure(store->recordsForQuery("select 1", {}), 2, "Query records failed. Database not open.");
    expectFailure(store->rowCountForTableWithName("t"), 2, "Row count failed. Database not open.");
    expectFailure(store->executeSQL("select 1"), 2, "Execute SQL failed. Database not open.");
    expectFailure(store->ensureTableWithName("t", kEventColumns, {}), 2, "Ensure table failed. Database not open.");
    expectFailure(store->deleteAllRecordsFromTableWithName("t"), 2, "Delete all records failed. Database not open.");
    expectFailure(store->performTransactionWithError([] { return true; }), 2, "Database not open");
    expectFailure(store->validateDatabase(), 2, "Validate database failed. Database not open.");
}

TEST_F(SqliteStoreTest, NumbersAndEmptyResults) {
    auto store = open();
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
    const auto maximum = store->numberForQuery("SELECT MAX(timestamp) FROM events", {});
    ASSERT_TRUE(maximum);
    EXPECT_EQ(*maximum, std::nullopt);
    expectFailure(store->numberForQuery("SELECT timestamp FROM events", {}), 3,
                  "Database operation \"query numeric result\" failed with sqlite code 101 and error message \"no more "
                  "rows available\"");
}

TEST_F(SqliteStoreTest, TheFilterStopsTheQuery) {
    auto store = open();
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
    for (int index = 0; index < 5; ++index) {
        ASSERT_TRUE(store->upsertRecord({{"name", "e" + std::to_string(index)}, {"timestamp", index}}, "events"));
    }
    auto rows = store->recordsForQuery("SELECT * FROM events ORDER BY timestamp", {},
                                       [](std::size_t index, const MSRRecord&) { return index < 3; });
    EXPECT_EQ(rows->size(), 3u);
    rows = store->recordsForQuery("SELECT * FROM events ORDER BY timestamp", {},
                                  [](std::size_t, const MSRRecord&) { return false; });
    EXPECT_TRUE(rows->empty());
    EXPECT_EQ(services().drainCodes(), (std::vector<std::int64_t>{34005}));
}

TEST_F(SqliteStoreTest, AReadErrorFailsTheQueryInsteadOfEndingIt) {
    auto store = open();
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
    ASSERT_TRUE(store->upsertRecord({{"name", "a"}, {"timestamp", 1}}, "events"));
    ASSERT_TRUE(
        store->upsertRecord({{"name", "b"}, {"timestamp", std::numeric_limits<std::int64_t>::min()}}, "events"));
    // abs() of the smallest integer fails on the second row.
    const auto rows = store->recordsForQuery("SELECT abs(timestamp) AS t FROM events ORDER BY rowid", {});
    ASSERT_FALSE(rows);
    EXPECT_EQ(rows.error().code(), 3);
    EXPECT_EQ(MSRMonitorContextOfError(rows.error()), "query records,1,A");
}

TEST_F(SqliteStoreTest, TablesGrowAndKeepTheirRows) {
    auto store = open();
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
    ASSERT_TRUE(store->upsertRecord({{"name", "kept"}, {"timestamp", 1}}, "events"));
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {{"added", "INTEGER"}}));
    EXPECT_EQ(store->columnInfoForTableWithName("events")->at("added"), "INTEGER");
    EXPECT_EQ(store->rowCountForTableWithName("events").value(), 1);

    ASSERT_TRUE(store->executeSQL("ALTER TABLE events ADD COLUMN unknown_optional TEXT"));
    EXPECT_TRUE(store->ensureTableWithName("events", kEventColumns, {{"added", "INTEGER"}}));
    ASSERT_TRUE(store->executeSQL("ALTER TABLE events ADD COLUMN unknown_required TEXT NOT NULL DEFAULT ''"));
    expectFailure(store->ensureTableWithName("events", kEventColumns, {{"added", "INTEGER"}}), 2,
                  "Table contains unknown non-optional columns");
}

TEST_F(SqliteStoreTest, TypeChangesKeepEveryRowOrNothingChanges) {
    auto store = open();
    const MSRColumnInfo columns{{"name", "TEXT NOT NULL PRIMARY KEY"}, {"value", "INTEGER NOT NULL"}};
    ASSERT_TRUE(store->ensureTableWithName("attributes", columns, {{"set_time", "INTEGER"}}));
    for (int index = 0; index < 20; ++index) {
        ASSERT_TRUE(store->upsertRecord({{"name", "n" + std::to_string(index)}, {"value", index}, {"set_time", index}},
                                        "attributes"));
    }
    ASSERT_TRUE(store->ensureTableWithName("attributes", columns, {{"set_time", "INTEGER"}},
                                           {{"value", "REAL NOT NULL"}, {"set_time", "REAL"}}));
    const auto info = store->columnInfoForTableWithName("attributes").value();
    EXPECT_EQ(info.at("value"), "REAL");
    EXPECT_EQ(info.at("set_time"), "REAL");
    EXPECT_EQ(store->rowCountForTableWithName("attributes").value(), 20);
    EXPECT_EQ(store->tableExists("attributes_old").value(), false);
    EXPECT_EQ(sqlite3Shell("SELECT typeof(value) FROM attributes LIMIT 1"), "real\n");

    // A new required column the old rows cannot fill makes the copy fail:
    // the old table stays as it was.
    const MSRColumnInfo wider{{"name", "TEXT NOT NULL"}, {"value", "REAL NOT NULL"}, {"more", "TEXT NOT NULL"}};
    const auto failed = store->ensureSchemaOfTableWithName("attributes", wider, {{"set_time", "TEXT"}});
    expectFailure(failed, 3, "Transaction failed");
    EXPECT_EQ(store->columnInfoForTableWithName("attributes")->at("set_time"), "REAL");
    EXPECT_EQ(store->rowCountForTableWithName("attributes").value(), 20);
    EXPECT_EQ(store->tableExists("attributes_old").value(), false);
}

TEST_F(SqliteStoreTest, ABlockThatSaysNoLeavesTheDatabaseAsItWas) {
    auto store = open();
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
    ASSERT_TRUE(store->upsertRecord({{"name", "before"}, {"timestamp", 1}}, "events"));
    const auto result = store->performTransactionWithError([&] {
        EXPECT_TRUE(store->upsertRecord({{"name", "inside"}, {"timestamp", 2}}, "events"));
        EXPECT_TRUE(store->deleteRecordFromTableWithName("events", "name", "before"));
        return false;
    });
    expectFailure(result, 3, "Transaction failed");
    EXPECT_EQ(sqlite3Shell("SELECT name FROM events"), "before\n");

    EXPECT_THROW(store->performTransactionWithError([&]() -> bool {
        EXPECT_TRUE(store->upsertRecord({{"name", "thrown"}, {"timestamp", 3}}, "events"));
        throw std::runtime_error("raised");
    }),
                 std::runtime_error);
    EXPECT_EQ(sqlite3Shell("SELECT name FROM events"), "before\n");
    EXPECT_TRUE(store->performTransactionWithError([&] {
        return static_cast<bool>(store->upsertRecord({{"name", "after"}, {"timestamp", 4}}, "events"));
    }));
    EXPECT_EQ(store->rowCountForTableWithName("events").value(), 2);
}

// Grouped reads keep one read lock from the first query to the end of the
// block, and none after it; inside a transaction they just run.
TEST_F(SqliteStoreTest, GroupedReadsHoldOneLockAndLeaveNone) {
    auto store = open();
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
    ASSERT_TRUE(store->upsertRecord({{"name", "first"}, {"timestamp", 1}}, "events"));
    const std::string write = "INSERT INTO events (name, timestamp) VALUES ('other', 2)";
    store->performReads([&] {
        EXPECT_EQ(store->rowCountForTableWithName("events").value(), 1);
        EXPECT_NE(sqlite3Shell(write).find("locked"), std::string::npos);
        EXPECT_EQ(store->rowCountForTableWithName("events").value(), 1);
    });
    EXPECT_EQ(sqlite3Shell(write), "");
    EXPECT_EQ(store->rowCountForTableWithName("events").value(), 2);

    EXPECT_TRUE(store->performTransactionWithError([&] {
        store->performReads([&] { EXPECT_EQ(store->rowCountForTableWithName("events").value(), 2); });
        return static_cast<bool>(store->upsertRecord({{"name", "inside"}, {"timestamp", 3}}, "events"));
    }));
    EXPECT_EQ(sqlite3Shell("SELECT count(*) FROM events"), "3\n");
}

TEST_F(SqliteStoreTest, StatementsAfterSQLiteEndedTheTransactionFailInsteadOfCommitting) {
    auto store = open();
    ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
    ASSERT_TRUE(store->executeSQL("CREATE TABLE poison (x INTEGER)"));
    // SQLite rolls the whole transaction back and ends it, as after a full disk.
    ASSERT_TRUE(store->executeSQL(
        "CREATE TRIGGER poison_insert BEFORE INSERT ON poison BEGIN SELECT RAISE(ROLLBACK, 'rolled back'); END"));
    std::optional<platform::Error> afterwards;
    const auto result = store->performTransactionWithError([&] {
        EXPECT_TRUE(store->upsertRecord({{"name", "first"}, {"timestamp", 1}}, "events"));
        EXPECT_FALSE(store->upsertRecord({{"x", 1}}, "poison"));
        const auto later = store->upsertRecord({{"name", "second"}, {"timestamp", 2}}, "events");
        if (!later) {
            afterwards = later.error();
        }
        return true;
    });
    ASSERT_TRUE(afterwards);
    EXPECT_EQ(afterwards->code(), 3);
    EXPECT_EQ(MSRMonitorContextOfError(*afterwards), "execute statement,19,A");
    expectFailure(result, 3, "Transaction failed");
    EXPECT_EQ(MSRMonitorContextOfError(result.error()), "Transaction failed,19,A");
    EXPECT_EQ(store->rowCountForTableWithName("events").value(), 0);
    EXPECT_TRUE(store->performTransactionWithError([] { return true; }));
}

// --- Opening damaged, foreign and busy files

TEST_F(SqliteStoreTest, AFileThatIsNoDatabaseIsRecreatedEmpty) {
    std::filesystem::create_directories(path_.parent_path());
    std::string noise(8192, '\0');
    platform::SeededRandom random(3);
    for (char& byte : noise) {
        byte = static_cast<char>(random.next());
    }
    platform::testing::writeFile(path_, noise);
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->tableExists("events").value(), false);
    store.reset();
    EXPECT_EQ(sqlite3Shell("PRAGMA integrity_check"), "ok\n");
}

TEST_F(SqliteStoreTest, ABareFileNameOpensNewAndDamagedFilesInTheWorkingFolder) {
    std::filesystem::create_directories(path_.parent_path());
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(path_.parent_path());
    const std::filesystem::path bare = path_.filename();
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged);
        std::filesystem::remove(path_);
        if (damaged) {
            platform::testing::writeFile(path_, std::string(4096, 'x'));
        }
        auto store = MSRSqliteStore::create(bare);
        EXPECT_TRUE(store) << (store ? "" : store.error().what());
    }
    std::filesystem::current_path(previous);
    EXPECT_EQ(sqlite3Shell("PRAGMA integrity_check"), "ok\n");
}

TEST_F(SqliteStoreTest, AnOverwrittenPageIsRecreatedEmpty) {
    {
        auto store = open();
        ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
        for (int index = 0; index < 200; ++index) {
            ASSERT_TRUE(store->upsertRecord(
                {{"name", std::string(100, 'n')}, {"timestamp", index}, {"data", platform::Value::Data(200, 7)}},
                "events"));
        }
    }
    const std::string pageSize = sqlite3Shell("PRAGMA page_size");
    std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(std::stol(pageSize)));
    const std::string garbage(static_cast<std::size_t>(std::stol(pageSize)), '\x5a');
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    file.close();

    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->tableExists("events").value(), false);
    store.reset();
    EXPECT_EQ(sqlite3Shell("PRAGMA integrity_check"), "ok\n");
}

TEST_F(SqliteStoreTest, ALockedFileFailsWithoutBeingTouched) {
    {
        auto store = open();
        ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
        ASSERT_TRUE(store->upsertRecord({{"name", "kept"}, {"timestamp", 1}}, "events"));
    }
    const std::string before = platform::testing::readFile(path_);
    const auto marker = root() / "locked";
    FILE* shell = ::popen(("sqlite3 " + shellQuote(path_.string())).c_str(), "w");
    ASSERT_NE(shell, nullptr);
    std::fprintf(shell, "BEGIN EXCLUSIVE;\n.system touch %s\n", shellQuote(marker.string()).c_str());
    std::fflush(shell);
    ASSERT_TRUE(testing::eventually([&] { return std::filesystem::exists(marker); }));

    const auto started = std::chrono::steady_clock::now();
    auto locked = MSRSqliteStore::create(path_);
    const auto waited = std::chrono::steady_clock::now() - started;
    ASSERT_FALSE(locked);
    EXPECT_EQ(locked.error().code(), 3);
    const std::string context = MSRMonitorContextOfError(locked.error());
    EXPECT_NE(context.find(",5,"), std::string::npos) << context;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(platform::testing::readFile(path_), before);

    std::fprintf(shell, "COMMIT;\n.quit\n");
    ::pclose(shell);
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->rowCountForTableWithName("events").value(), 1);
}

TEST_F(SqliteStoreTest, CloseAndDeleteRemovesTheFile) {
    auto store = open();
    EXPECT_TRUE(store->closeAndDeleteDatabase());
    EXPECT_FALSE(std::filesystem::exists(path_));
    EXPECT_TRUE(store->closeAndDeleteDatabase());
    expectFailure(MSRSqliteStore::create(""), 1, "Received empty database path on init");
}

// --- A full disk

// Writes rows under a file size limit until one fails; reports to a file.
TEST_F(SqliteStoreTest, ChildFillsTheDisk) {
    const char* report = std::getenv("MSR_CHILD_FULL_DISK");
    if (report == nullptr) {
        GTEST_SKIP() << "runs as a child process";
    }
    // No monitor work may read the environment while it changes.
    services().monitor().waitUntilIdle();
    testing::ParentFolders parent;
    const std::filesystem::path path = std::getenv("MSR_CHILD_DATABASE");
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(std::filesystem::file_size(path) + 64 * 1024),
                       static_cast<rlim_t>(std::filesystem::file_size(path) + 64 * 1024)};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    auto store = MSRSqliteStore::create(path);
    ASSERT_TRUE(store);
    int committed = 0;
    std::optional<platform::Error> failure;
    for (int index = 0; index < 100000 && !failure; ++index) {
        auto written = (*store)->upsertRecord(
            {{"name", "row"}, {"timestamp", index}, {"data", platform::Value::Data(1000, 1)}}, "events");
        if (written) {
            ++committed;
        } else {
            failure = written.error();
        }
    }
    std::ofstream out(report);
    out << committed << "\n";
    if (failure) {
        out << failure->code() << "\n" << MSRMonitorContextOfError(*failure) << "\n";
    }
    const bool beginsAgain = static_cast<bool>((*store)->performTransactionWithError([] { return true; }));
    out << (beginsAgain ? "begins" : "no begin") << "\n";
    out.close();
    ::_exit(0);
}

TEST_F(SqliteStoreTest, AFullDiskFailsTheWriteAndKeepsWhatWasCommitted) {
    {
        auto store = open();
        ASSERT_TRUE(store->ensureTableWithName("events", kEventColumns, {}));
    }
    const auto report = root() / "report";
    const pid_t child =
        testing::spawnSelf("SqliteStoreTest.ChildFillsTheDisk",
                           {{"MSR_CHILD_FULL_DISK", report.string()}, {"MSR_CHILD_DATABASE", path_.string()}});
    ASSERT_EQ(testing::waitForChild(child), 0);
    std::ifstream in(report);
    int committed = 0;
    int code = 0;
    std::string context;
    std::string begins;
    in >> committed >> code;
    in.ignore();
    std::getline(in, context);
    std::getline(in, begins);
    EXPECT_GT(committed, 10);
    EXPECT_EQ(code, 3);
    EXPECT_TRUE(context == "execute statement,13,A" || context == "execute statement,10,A") << context;
    EXPECT_EQ(begins, "begins");

    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->rowCountForTableWithName("events").value(), committed);
    EXPECT_EQ(store->numberForQuery("SELECT MAX(timestamp) FROM events", {})->value(), platform::Value(committed - 1));
    EXPECT_EQ(sqlite3Shell("PRAGMA integrity_check"), "ok\n");
}

}  // namespace
}  // namespace kit::measurement
