#include "HeartbeatHeader.h"
#include "KitTestSupport.h"
#include "Process.h"
#include "kit/core/Gzip.h"
#include "kit/core/KitPaths.h"
#include "kit/core/heartbeat/HLOHeartbeatLogger.h"
#include "kit/core/heartbeat/HeartbeatController.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <ctime>
#include <future>
#include <regex>
#include <thread>

namespace kit {
namespace {

using namespace heartbeat;
using namespace std::chrono;
using Json = nlohmann::json;
using platform::testing::decodeHeartbeatHeader;
using platform::testing::readFile;
using platform::testing::runCommand;
using platform::testing::shellQuote;
using platform::testing::writeFile;
using testing::KitTest;

// A date source the test moves.
class SettableClock final : public platform::Clock {
public:
    explicit SettableClock(platform::TimePoint at) : at_(at.time_since_epoch().count()) {}
    platform::TimePoint now() const override { return platform::TimePoint(platform::TimePoint::duration(at_.load())); }
    void set(platform::TimePoint at) { at_ = at.time_since_epoch().count(); }

private:
    std::atomic<platform::TimePoint::rep> at_;
};

platform::TimePoint at(int year, unsigned month, unsigned day, int hour = 12, int minute = 0, int second = 0) {
    return sys_days(std::chrono::year(year) / month / day) + hours(hour) + minutes(minute) + seconds(second);
}
Date dayOf(int year, unsigned month, unsigned day) { return sys_days(std::chrono::year(year) / month / day); }

Heartbeat heartbeatOn(std::string agent, Date date) {
    return Heartbeat{std::move(agent), date, 0, {TimePeriod::daily}};
}

class HeartbeatTest : public KitTest {
protected:
    std::shared_ptr<SettableClock> clock_ = std::make_shared<SettableClock>(at(2024, 3, 7));

    static std::filesystem::path fileOf(std::string_view id) { return HeartbeatStorage::fileURL(id); }
    static Json storedJson(std::string_view id) { return Json::parse(readFile(fileOf(id))); }
    static void store(std::string_view id, const std::string& bytes) {
        std::filesystem::create_directories(fileOf(id).parent_path());
        writeFile(fileOf(id), bytes);
    }
};

// --- Payload and header

TEST_F(HeartbeatTest, TheEmptyPayloadStillHasAHeaderValue) {
    const auto header = HeartbeatsPayload::emptyPayload().headerValue();
    EXPECT_FALSE(header.empty());
    EXPECT_TRUE(HeartbeatsPayload::emptyPayload().isEmpty());
    EXPECT_EQ(decodeHeartbeatHeader(header), Json::parse(R"({"heartbeats":[],"version":2})"));
}

TEST_F(HeartbeatTest, HeaderValuesAreURLSafeBase64OfGzippedJSON) {
    const platform::testing::ScopedEnvironment timeZone("TZ", "Pacific/Kiritimati");
    ::tzset();
    const struct {
        const char* name;
        HeartbeatsPayload payload;
        const char* json;
    } rows[] = {
        {"one late date",
         {{{"agent/1", {Date(floor<seconds>(at(2024, 3, 7, 23, 59, 59)))}}}, 2},
         R"({"heartbeats":[{"agent":"agent/1","dates":["2024-03-07"]}],"version":2})"},
        {"two agents",
         {{{"a", {dayOf(2024, 1, 1), dayOf(2023, 12, 31)}}, {"b \"q\" ü", {dayOf(1999, 2, 3)}}}, 2},
         R"({"heartbeats":[{"agent":"a","dates":["2024-01-01","2023-12-31"]},{"agent":"b \"q\" ü","dates":["1999-02-03"]}],"version":2})"},
        // Bytes whose base64 holds "+" and "/" in the standard alphabet.
        {"the epoch",
         {{{"~~~>>>???", {Date()}}}, 2},
         R"({"heartbeats":[{"agent":"~~~>>>???","dates":["1970-01-01"]}],"version":2})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto header = row.payload.headerValue();
        EXPECT_TRUE(std::regex_match(header, std::regex("[A-Za-z0-9_-]+"))) << header;
        EXPECT_EQ(decodeHeartbeatHeader(header), Json::parse(row.json));
    }
    ::unsetenv("TZ");
    ::tzset();
}

TEST_F(HeartbeatTest, PayloadsWithTheSameDatesInAnotherOrderDiffer) {
    const HeartbeatsPayload first{{{"a", {dayOf(2024, 1, 1), dayOf(2024, 1, 2)}}}, 2};
    const HeartbeatsPayload second{{{"a", {dayOf(2024, 1, 2), dayOf(2024, 1, 1)}}}, 2};
    EXPECT_NE(first, second);
    EXPECT_EQ(first, first);
}

// --- Ring buffer and bundle

TEST_F(HeartbeatTest, RingBufferEdges) {
    RingBuffer<int> none(0);
    EXPECT_FALSE(none.push(1).overwritten);
    EXPECT_FALSE(none.push(1).error);
    EXPECT_EQ(none.pop(), std::nullopt);

    RingBuffer<int> ring(3);
    for (int value = 1; value <= 3; ++value) {
        EXPECT_EQ(ring.push(value).overwritten, std::nullopt);
    }
    EXPECT_EQ(ring.push(4).overwritten, 1);
    EXPECT_EQ(ring.elements(), (std::vector<int>{4, 2, 3}));  // slot order, not age
    EXPECT_EQ(ring.pop(), 4);
    EXPECT_EQ(ring.pop(), 3);
    EXPECT_EQ(ring.tailIndex, 2);

    RingBuffer<int> damaged(30);
    for (const std::int64_t tail : {31L, 30L, -5L}) {
        SCOPED_TRACE(tail);
        damaged.tailIndex = tail;
        const auto pushed = damaged.push(9);
        ASSERT_TRUE(pushed.error);
        EXPECT_EQ(pushed.error->pushIndex, tail);
        EXPECT_EQ(pushed.error->endIndex, 30);
    }
    damaged.tailIndex = 31;
    EXPECT_EQ(damaged.pop(), std::nullopt);
    EXPECT_EQ((RingBufferError{31, 30}.description()),
              "Out-of-bounds push at index 31 to ring buffer withend index of 30.");
}

TEST_F(HeartbeatTest, BundleEdges) {
    HeartbeatsBundle full(30);
    for (int day = 1; day <= 31; ++day) {
        full.append(heartbeatOn("a", dayOf(2024, 1, 1) + days(day - 1)));
    }
    auto dates = full.makePayload().userAgentPayloads.at(0).dates;
    EXPECT_EQ(dates.size(), 30U);
    EXPECT_EQ(std::count(dates.begin(), dates.end(), dayOf(2024, 1, 1)), 0);
    // Wrapped: the 31st day sits in slot 0, before day 2.
    EXPECT_EQ(dates.front(), dayOf(2024, 1, 31));
    EXPECT_EQ(full.lastAddedHeartbeatDates.at(TimePeriod::daily), dayOf(2024, 1, 31));

    // An evicted heartbeat whose date is still a last-added date reads as the distant past.
    HeartbeatsBundle one(1);
    one.append(heartbeatOn("a", dayOf(2024, 1, 1)));
    one.append(Heartbeat{"b", dayOf(2024, 1, 2), 0, {}});
    EXPECT_EQ(one.lastAddedHeartbeatDates.at(TimePeriod::daily), kDistantPast);

    HeartbeatsBundle ring(30);
    for (const auto& [agent, day] : {std::pair{"b", 1u}, {"a", 2u}, {"b", 3u}}) {
        ring.append(heartbeatOn(agent, dayOf(2024, 2, day)));
    }
    EXPECT_EQ(ring.makePayload(),
              (HeartbeatsPayload{{{"a", {dayOf(2024, 2, 2)}}, {"b", {dayOf(2024, 2, 1), dayOf(2024, 2, 3)}}}, 2}));
    const auto b1 = heartbeatOn("b", dayOf(2024, 2, 1));
    const auto a2 = heartbeatOn("a", dayOf(2024, 2, 2));
    const auto b3 = heartbeatOn("b", dayOf(2024, 2, 3));
    // No match: all three popped, and the pop of the empty last slot moved
    // the tail there, so they go back one slot earlier in the same ring order.
    EXPECT_EQ(ring.removeHeartbeat(dayOf(2024, 5, 5)), std::nullopt);
    EXPECT_EQ(ring.buffer.elements(), (std::vector<Heartbeat>{a2, b3, b1}));
    EXPECT_EQ(ring.buffer.circularQueue[29], b1);
    // A match in the middle: the newer one moves back into its slot.
    EXPECT_EQ(ring.removeHeartbeat(dayOf(2024, 2, 2)), a2);
    EXPECT_EQ(ring.buffer.elements(), (std::vector<Heartbeat>{b3, b1}));
    EXPECT_EQ(ring.buffer.circularQueue[0], b3);
    EXPECT_EQ(HeartbeatsBundle(30).removeHeartbeat(dayOf(2024, 2, 2)), std::nullopt);

    HeartbeatsBundle zero(0);
    zero.append(heartbeatOn("a", dayOf(2024, 1, 1)));
    EXPECT_EQ(zero, HeartbeatsBundle(0));
}

// --- Storage

TEST_F(HeartbeatTest, OneHeartbeatIsStoredInTheAgreedShape) {
    EXPECT_EQ(fileOf("1:1234:ios:abcd").filename(), "heartbeats-1_1234_ios_abcd");
    EXPECT_EQ(fileOf("1:1234:ios:abcd").parent_path(), kitDataDirectory() / "lumen-heartbeat-storage");
    EXPECT_EQ(fileOf("../../x").filename(), "heartbeats-.._.._x");
    HeartbeatController controller("1:1234:ios:abcd", clock_);
    controller.log("agent/1");
    // A change that changes nothing, to wait for the log.
    HeartbeatStorage::getInstance("1:1234:ios:abcd")->updateBundleSync([](auto bundle) { return bundle; });
    const std::string text = readFile(fileOf("1:1234:ios:abcd"));
    EXPECT_NE(text.find(R"("lastAddedHeartbeatDates":[1,731462400])"), std::string::npos) << text;
    const Json json = Json::parse(text);
    EXPECT_EQ(json["capacity"], 30);
    const Json& queue = json["buffer"]["circularQueue"];
    ASSERT_EQ(queue.size(), 30U);
    EXPECT_EQ(json["buffer"]["tailIndex"], 1);
    EXPECT_EQ(queue[0], Json::parse(R"({"agent":"agent/1","date":731462400,"version":0,"timePeriods":[1]})"));
    EXPECT_EQ(std::count(queue.begin(), queue.end(), nullptr), 29);
    EXPECT_EQ(HeartbeatsBundle::fromJson(text)->toJson(), text);
    // A new bundle's distant past survives the round trip.
    const std::string fresh = HeartbeatsBundle(30).toJson();
    EXPECT_NE(fresh.find(R"("lastAddedHeartbeatDates":[1,-63114076800])"), std::string::npos) << fresh;
    EXPECT_EQ(HeartbeatsBundle::fromJson(fresh), HeartbeatsBundle(30));
}

TEST_F(HeartbeatTest, StoredFilesThatAreNoBundleReadAsNone) {
    const struct {
        const char* name;
        std::optional<std::string> bytes;
    } rows[] = {
        {"no file", std::nullopt},
        {"empty", ""},
        {"an empty object", "{}"},
        {"not JSON", "{{{"},
        {"a key missing", R"({"capacity":30,"buffer":{"circularQueue":[],"tailIndex":0}})"},
        {"a huge capacity",
         R"({"capacity":9000000000,"lastAddedHeartbeatDates":[],"buffer":{"circularQueue":[],"tailIndex":0}})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(fileOf("id").parent_path());
        if (row.bytes) {
            store("id", *row.bytes);
        }
        HeartbeatController controller("id", clock_);
        EXPECT_TRUE(controller.flush().isEmpty());
        // Flushing none leaves an empty file, which reads as none again.
        EXPECT_EQ(std::filesystem::file_size(fileOf("id")), 0U);
        EXPECT_TRUE(controller.flush().isEmpty());
    }
}

TEST_F(HeartbeatTest, ADamagedTailIsRecoveredWithATraceInTheAgent) {
    HeartbeatsBundle bundle(30);
    bundle.buffer.tailIndex = 31;
    store("id", bundle.toJson());
    HeartbeatController controller("id", clock_);
    controller.log("agent/1");
    const auto payload = controller.flush();
    ASSERT_EQ(payload.userAgentPayloads.size(), 1U);
    EXPECT_EQ(payload.userAgentPayloads[0].agent,
              "agent/1 error/Out-of-bounds-push-at-index-31-to-ring-buffer-withend-index-of-30.");
    EXPECT_EQ(payload.userAgentPayloads[0].dates, std::vector<Date>{dayOf(2024, 3, 7)});
    // pop never reads outside the slots.
    EXPECT_EQ(bundle.removeHeartbeat(dayOf(2024, 3, 7)), std::nullopt);
}

TEST_F(HeartbeatTest, AnUnchangedBundleIsStillWrittenBack) {
    HeartbeatsBundle bundle(30);
    store("id", "  " + bundle.toJson() + "\n\n");
    HeartbeatStorage::getInstance("id")->updateBundleSync([](auto stored) { return stored; });
    EXPECT_EQ(readFile(fileOf("id")), bundle.toJson());
}

TEST_F(HeartbeatTest, OneStorageLivesPerIdentifierWhileHeld) {
    auto first = HeartbeatStorage::getInstance("id");
    EXPECT_EQ(HeartbeatStorage::getInstance("id"), first);
    EXPECT_NE(HeartbeatStorage::getInstance("other"), first);
    std::weak_ptr<HeartbeatStorage> watch = first;
    first.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_NE(HeartbeatStorage::getInstance("id"), nullptr);
}

TEST_F(HeartbeatTest, AnEndingStorageLeavesItsSuccessorsEntryAlone) {
    auto ending = HeartbeatStorage::getInstance("id");
    const std::weak_ptr<HeartbeatStorage> watch = ending;
    std::shared_ptr<HeartbeatStorage> successor;
    std::unique_lock guard(HeartbeatStorage::lock());
    // The old storage ends on another thread and waits for the cache lock
    // with its entry dead: a lookup now makes the successor.
    std::thread dropper([&ending] { ending.reset(); });
    while (!watch.expired()) {
        std::this_thread::sleep_for(milliseconds(1));
    }
    successor = HeartbeatStorage::getInstance("id");
    guard.unlock();
    dropper.join();
    EXPECT_EQ(HeartbeatStorage::getInstance("id"), successor);
}

// --- Controller and logger

TEST_F(HeartbeatTest, ControllerEdges) {
    HeartbeatController controller("id", clock_);
    controller.log("A");
    controller.log("A");
    EXPECT_EQ(controller.flush(), (HeartbeatsPayload{{{"A", {dayOf(2024, 3, 7)}}}, 2}));
    controller.log("A");  // flushed, but the day had its heartbeat
    EXPECT_TRUE(controller.flush().isEmpty());

    clock_->set(at(2024, 3, 8));
    controller.log("A");
    EXPECT_EQ(controller.flushHeartbeatFromToday(), (HeartbeatsPayload{{{"A", {dayOf(2024, 3, 8)}}}, 2}));
    EXPECT_TRUE(controller.flushHeartbeatFromToday().isEmpty());
    controller.log("A");
    EXPECT_TRUE(controller.flush().isEmpty());

    clock_->set(at(2024, 3, 9));
    controller.log("A");
    clock_->set(at(2024, 3, 10));
    controller.log("B");
    std::promise<HeartbeatsPayload> flushed;
    controller.flushAsync([&](HeartbeatsPayload payload) { flushed.set_value(std::move(payload)); });
    EXPECT_EQ(flushed.get_future().get(),
              (HeartbeatsPayload{{{"A", {dayOf(2024, 3, 9)}}, {"B", {dayOf(2024, 3, 10)}}}, 2}));
}

TEST_F(HeartbeatTest, DaysAreUTCDaysWhateverTheLocalTimeZone) {
    for (const char* zone : {"Pacific/Kiritimati", "America/Adak"}) {
        SCOPED_TRACE(zone);
        const platform::testing::ScopedEnvironment timeZone("TZ", zone);
        ::tzset();
        const std::string id = std::string("zone-") + zone[0];
        HeartbeatController controller(id, clock_);
        clock_->set(at(2024, 3, 7, 23, 59));
        controller.log("A");
        clock_->set(at(2024, 3, 8, 0, 1));
        controller.log("A");
        EXPECT_EQ(controller.flush(), (HeartbeatsPayload{{{"A", {dayOf(2024, 3, 7), dayOf(2024, 3, 8)}}}, 2}));
    }
    ::tzset();
}

TEST_F(HeartbeatTest, LoggerHeaderAndCodeForToday) {
    std::atomic<int> calls = 0;
    std::string agent = "agent/1";
    HLOHeartbeatLogger logger(
        "1:1:ios:1",
        [&] {
            ++calls;
            return agent;
        },
        clock_);
    EXPECT_EQ(logger.headerValue(), std::nullopt);
    EXPECT_EQ(logger.heartbeatCodeForToday(), 0);

    logger.log();
    const auto header = logger.headerValue();
    ASSERT_TRUE(header);
    EXPECT_EQ(decodeHeartbeatHeader(*header),
              Json::parse(R"({"heartbeats":[{"agent":"agent/1","dates":["2024-03-07"]}],"version":2})"));
    EXPECT_EQ(logger.headerValue(), std::nullopt);

    clock_->set(at(2024, 3, 8));
    logger.log();
    EXPECT_EQ(logger.heartbeatCodeForToday(), 2);
    EXPECT_EQ(logger.heartbeatCodeForToday(), 0);

    // The agent changes during a day: that day keeps the old one.
    clock_->set(at(2024, 3, 9));
    logger.log();
    agent = "agent/2";
    logger.log();
    clock_->set(at(2024, 3, 10));
    logger.log();
    std::promise<std::optional<std::string>> value;
    logger.asyncHeaderValueWithCompletionHandler([&](std::optional<std::string> text) { value.set_value(text); });
    const auto both = value.get_future().get();
    ASSERT_TRUE(both);
    EXPECT_EQ(decodeHeartbeatHeader(*both), Json::parse(R"({"heartbeats":[{"agent":"agent/1","dates":["2024-03-09"]},)"
                                                        R"({"agent":"agent/2","dates":["2024-03-10"]}],"version":2})"));
    EXPECT_EQ(calls.load(), 5);
}

TEST_F(HeartbeatTest, ControllersMadeAndDroppedOnManyThreadsReportEachDayOnce) {
    constexpr int kThreads = 8;
    constexpr int kDays = 40;
    std::mutex mutex;
    std::map<Date, int> reported;
    int day = 0;
    std::barrier sync(kThreads, [&]() noexcept { clock_->set(at(2024, 1, 1) + days(day++)); });
    std::vector<std::thread> threads;
    for (int index = 0; index < kThreads; ++index) {
        threads.emplace_back([&, index] {
            for (int round = 0; round < kDays; ++round) {
                sync.arrive_and_wait();
                auto controller = std::make_unique<HeartbeatController>("shared", clock_);
                controller->log("agent");
                if (index % 2 == 0) {
                    const auto payload = controller->flush();
                    std::lock_guard lock(mutex);
                    for (const auto& entry : payload.userAgentPayloads) {
                        for (const Date date : entry.dates) {
                            ++reported[date];
                        }
                    }
                }
                controller.reset();
                sync.arrive_and_wait();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    HeartbeatController last("shared", clock_);
    for (const auto& entry : last.flush().userAgentPayloads) {
        for (const Date date : entry.dates) {
            ++reported[date];
        }
    }
    ASSERT_EQ(reported.size(), static_cast<std::size_t>(kDays));
    for (const auto& [date, count] : reported) {
        EXPECT_EQ(count, 1) << utcDayText(date);
    }
}

// The writer the next test kills: this program again, running only this
// test with the folder to write in.
TEST_F(HeartbeatTest, WriterForTheKillTest) {
    const char* folder = std::getenv("KIT_HEARTBEAT_WRITER_HOME");
    if (folder == nullptr) {
        GTEST_SKIP() << "run by AKilledWriterLeavesAFileThatDecodes";
    }
    const platform::testing::ScopedEnvironment data("XDG_DATA_HOME", folder);
    auto clock = std::make_shared<SettableClock>(at(2024, 1, 1));
    HeartbeatController controller("killed", clock);
    const std::string agent(4000, 'a');
    for (int day = 0;; ++day) {
        clock->set(at(2024, 1, 1) + days(day));
        controller.log(agent);
        if (day % 25 == 0) {
            (void)controller.flush();
        }
    }
}

TEST_F(HeartbeatTest, AKilledWriterLeavesAFileThatDecodes) {
    const std::string folder = (root() / "data").string();
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("KIT_HEARTBEAT_WRITER_HOME", folder.c_str(), 1);
        ::execl("/proc/self/exe", "kit_core_tests", "--gtest_filter=HeartbeatTest.WriterForTheKillTest",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto file = HeartbeatStorage::fileURL("killed");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(25));
    }
    std::this_thread::sleep_for(milliseconds(200));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::string text = readFile(file);
    ASSERT_FALSE(text.empty());
    EXPECT_TRUE(HeartbeatsBundle::fromJson(text)) << text.substr(0, 200);
    EXPECT_TRUE(Json::accept(text));
}

}  // namespace
}  // namespace kit
