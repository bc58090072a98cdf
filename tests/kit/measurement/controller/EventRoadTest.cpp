#include "../../core/ConfigurationTestSupport.h"
#include "EventRoadTestSupport.h"
#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "platform/concurrency/SerialQueue.h"

#include <limits>

namespace kit::measurement::testing {
namespace {

using platform::Value;

// --- Allowlist: fixed at construction, so one controller per case.

struct AllowlistCase {
    const char* label;
    std::optional<std::vector<std::string>> allowlist;
    const char* name;
    bool stored;
    bool marked;
};

void PrintTo(const AllowlistCase& test, std::ostream* out) { *out << test.label; }

class AllowlistTest : public EventRoadTest, public ::testing::WithParamInterface<AllowlistCase> {};

TEST_P(AllowlistTest, PassesMarksOrDrops) {
    const AllowlistCase& test = GetParam();
    makeController({.appID = "", .safelistedEvents = test.allowlist});
    log(test.name, {{"score", Value(3)}});
    const auto stored = storedEvents();
    ASSERT_EQ(stored.size(), test.stored ? 1u : 0u);
    EXPECT_EQ(contains(codes(), 23174), !test.stored);
    if (test.stored) {
        const MSRValue* marker = find(stored[0].parameters, "la_safelisted");
        EXPECT_EQ(marker != nullptr, test.marked);
        if (marker != nullptr) {
            EXPECT_EQ(*marker, MSRValue::initWithInt64(1));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AllowlistTest,
    ::testing::Values(AllowlistCase{"none", std::nullopt, "level_up", true, false},
                      AllowlistCase{"empty", std::vector<std::string>{}, "level_up", true, false},
                      AllowlistCase{"allowed", std::vector<std::string>{"level_up"}, "level_up", true, true},
                      AllowlistCase{"other", std::vector<std::string>{"level_up"}, "share", false, false}),
    [](const auto& test) { return std::string(test.param.label); });

// --- Entry: interceptor, defaults, refused events

TEST_F(EventRoadTest, InterceptorTakesMergedAndScreenParametersAndNothingIsWritten) {
    makeController();
    controller().setDefaultEventParameters(Value::Dictionary{{"tier", Value("gold")}, {"score", Value(1)}});
    settle();
    struct Heard {
        std::string origin, name;
        Value::Dictionary parameters;
        double timestamp = 0;
    };
    std::vector<Heard> heard;
    auto intercepted = request("level_up", {{"score", Value(3)}});
    intercepted.interceptor = [&](std::string_view origin, std::string_view name, const Value::Dictionary& parameters,
                                  double timestamp) {
        heard.push_back({std::string(origin), std::string(name), parameters, timestamp});
    };
    intercepted.addedScreenParameters = {{"_sn", MSRValue::initWithString("Home")}};
    log(intercepted);

    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].origin, "app");
    EXPECT_EQ(heard[0].name, "level_up");
    EXPECT_EQ(heard[0].timestamp, intercepted.timestamp);
    EXPECT_EQ(heard[0].parameters,
              (Value::Dictionary{{"_sn", Value("Home")}, {"score", Value(3)}, {"tier", Value("gold")}}));
    EXPECT_TRUE(storedNames().empty());

    // Skipping the interceptor writes the event, without the defaults.
    auto skipping = intercepted;
    skipping.ignoreInterceptor = true;
    log(skipping);
    EXPECT_EQ(heard.size(), 1u);
    const auto stored = storedEvents();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(find(stored[0].parameters, "tier"), nullptr);
    EXPECT_EQ(*find(stored[0].parameters, "score"), MSRValue::initWithInt64(3));
}

TEST_F(EventRoadTest, DefaultParametersMergeUnderTheEventsOwn) {
    makeController();
    const auto levelUp = [](std::string_view tier) { return Value::Dictionary{{"tier", Value(tier)}}; };
    struct Case {
        const char* label;
        std::vector<std::optional<Value::Dictionary>> defaults;
        std::string name;
        Value::Dictionary parameters;
        std::map<std::string, std::optional<MSRValue>> expected;
    };
    const Case cases[] = {
        {"defaults added",
         {Value::Dictionary{{"tier", Value("gold")}}},
         "level_up",
         {},
         {{"tier", MSRValue::initWithString("gold")}}},
        {"own value wins",
         {Value::Dictionary{{"tier", Value("gold")}}},
         "level_up",
         levelUp("silver"),
         {{"tier", MSRValue::initWithString("silver")}}},
        {"error events get none",
         {Value::Dictionary{{"tier", Value("gold")}}},
         "_err",
         {{"_err", Value(4)}},
         {{"tier", std::nullopt}}},
        {"null removes one key",
         {Value::Dictionary{{"tier", Value("gold")}, {"rank", Value(2)}}, Value::Dictionary{{"tier", Value()}}},
         "level_up",
         {},
         {{"tier", std::nullopt}, {"rank", MSRValue::initWithInt64(2)}}},
        {"nothing clears every default",
         {Value::Dictionary{{"tier", Value("gold")}, {"rank", Value(2)}}, std::nullopt},
         "level_up",
         {},
         {{"tier", std::nullopt}, {"rank", std::nullopt}}},
        {"bad names and values are left out",
         {Value::Dictionary{{"_hidden", Value(1)}, {"list", Value(Value::Array{Value(1)})}, {"ok", Value(true)}}},
         "level_up",
         {},
         {{"_hidden", std::nullopt}, {"list", std::nullopt}, {"ok", MSRValue::initWithInt64(1)}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.label);
        for (const auto& defaults : test.defaults) {
            controller().setDefaultEventParameters(defaults);
        }
        auto made = request(test.name, test.parameters, test.name.starts_with("_") ? "auto" : "app");
        log(made);
        const auto stored = storedEvents();
        ASSERT_FALSE(stored.empty());
        for (const auto& [name, value] : test.expected) {
            const MSRValue* found = find(stored.back().parameters, name);
            if (value) {
                ASSERT_NE(found, nullptr) << name;
                EXPECT_EQ(*found, *value) << name;
            } else {
                EXPECT_EQ(found, nullptr) << name;
            }
        }
        controller().setDefaultEventParameters(std::nullopt);
        settle();
    }
}

TEST_F(EventRoadTest, TimestampTheEventRefusesEndsInALogAndNothingStored) {
    makeController();
    const double refused[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), 1e300, -1e300};
    for (const double timestamp : refused) {
        SCOPED_TRACE(timestamp);
        auto made = request("level_up");
        made.timestamp = timestamp;
        log(made);
        const auto logged = codes();
        EXPECT_TRUE(contains(logged, 16008));
        EXPECT_TRUE(contains(logged, 23219));
    }
    EXPECT_TRUE(storedNames().empty());
}

// --- Backfill

TEST_F(EventRoadTest, DefaultsAreBackfilledOnlyBeforeTheAppLogsInThisRun) {
    makeController();
    log("_ssr", {{"_ffr", Value("a")}}, "auto");
    controller().setDefaultEventParameters(Value::Dictionary{{"tier", Value("gold")}});
    settle();
    auto stored = storedEvents();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(*find(stored[0].parameters, "tier"), MSRValue::initWithString("gold"));

    log("level_up");
    controller().setDefaultEventParameters(Value::Dictionary{{"rank", Value(7)}});
    settle();
    stored = storedEvents();
    ASSERT_EQ(stored.size(), 2u);
    for (const StoredEvent& event : stored) {
        EXPECT_EQ(find(event.parameters, "rank"), nullptr) << event.name;
    }
}

TEST_F(EventRoadTest, SessionBackfillKeepsToTheSessionAndSkipsEventsThatHaveOne) {
    makeController();
    const double start = std::floor(now());
    const auto write = [&](std::string name, double timestamp) {
        auto event = MSREvent::initWithOrigin("app", true, name, timestamp, 0, {});
        ASSERT_TRUE(event);
        controller().writeEventOnWorkerQueue(*event);
    };
    onWorkerQueue([&] {
        write("before_session", start - 100);
        write("in_session", start - 10);
        auto sessionID = MSRUserAttribute::initWithOrigin("auto", "_sid", MSRValue::initWithInt64(1), start - 20);
        ASSERT_TRUE(sessionID);
        ASSERT_TRUE(controller().database()->updateUserAttribute(*sessionID));
        write("has_session", start - 5);
        controller().backfillSessionID(static_cast<std::int64_t>(start), 3);
    });
    const auto stored = storedEvents();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(find(stored[0].parameters, "_sid"), nullptr);
    ASSERT_NE(find(stored[1].parameters, "_sid"), nullptr);
    EXPECT_EQ(*find(stored[1].parameters, "_sid"), MSRValue::initWithInt64(static_cast<std::int64_t>(start)));
    EXPECT_EQ(*find(stored[1].parameters, "_sno"), MSRValue::initWithInt64(3));
    EXPECT_EQ(find(stored[2].parameters, "_sid"), nullptr);
}

// --- Listeners and interceptor skip ad-exposure events

class FacadeRoadTest : public EventRoadTest {
protected:
    FacadeRoadTest() {
        platform::MainQueue::install(mainQueue_);
        MSRAnalytics::setClock(clock());
        HLOAnalytics::registerLibrary();
    }
    ~FacadeRoadTest() override {
        MSRAnalytics::waitUntilIdleForTesting();
        mainQueue_->sync([] {});
        mainQueue_->sync([] {});
        platform::MainQueue::reset();
    }
    // Starts the facade over the test's controller.
    void startFacade() {
        class Factory final : public MSRMeasurementControllerFactory {
        public:
            explicit Factory(std::shared_ptr<MSRMeasurement> controller) : controller_(std::move(controller)) {}
            std::shared_ptr<MSRMeasurementController> initializeSharedInstance(
                const MSRMeasurementStartOptions&) override {
                return controller_;
            }

        private:
            std::shared_ptr<MSRMeasurement> controller_;
        };
        MSRAnalytics::installSeams(
            {std::make_shared<Factory>(controller().shared_from_this()), nullptr, nullptr, nullptr, nullptr});
        MSRAnalytics::startWithAppID(kAppID, "fa",
                                     {{std::string(kMSRStartOptionEnabled), Value(true)},
                                      {std::string(kMSRStartOptionLogTag), Value("[HaloAnalytics]")}});
        settleAll();
    }
    // The facade's queues, the worker queue, then the listeners' turn.
    void settleAll() {
        for (int round = 0; round < 2; ++round) {
            clock().advance(std::chrono::seconds(1));
            MSRAnalytics::waitUntilIdleForTesting();
            mainQueue_->sync([] {});
            settle();
        }
        MSRAnalytics::waitUntilIdleForTesting();
    }

private:
    std::shared_ptr<platform::SerialQueue> mainQueue_ = std::make_shared<platform::SerialQueue>("TestMainQueue");
};

TEST_F(FacadeRoadTest, AdExposureEventsAreWrittenButNotHeard) {
    makeController();
    startFacade();
    std::mutex mutex;
    std::vector<std::string> heard;
    const auto token = MSRAnalytics::addLogEventListener(
        [&](std::string_view origin, std::string_view name, const Value::Dictionary&) {
            std::lock_guard lock(mutex);
            heard.push_back(std::string(origin) + ":" + std::string(name));
        });
    MSRAnalytics::logEventWithOrigin("app", "level_up", {});
    MSRAnalytics::logInternalEventWithOrigin("am", "_ai", {});
    MSRAnalytics::logInternalEventWithOrigin("auto", "_xa", {});
    MSRAnalytics::logInternalEventWithOrigin("auto", "_xu", {});
    MSRAnalytics::logInternalEventWithOrigin("auto", "_vs", {});
    settleAll();
    MSRAnalytics::removeLogEventListener(token);

    EXPECT_EQ(storedNames(), (std::vector<std::string>{"level_up", "_ai", "_xa", "_xu", "_vs"}));
    std::lock_guard lock(mutex);
    EXPECT_EQ(heard, (std::vector<std::string>{"app:level_up", "auto:_vs"}));
}

// --- Pipeline: session, duplicates

TEST_F(EventRoadTest, ExtendSessionMustBeTheIntegerOne) {
    makeController();
    const std::pair<Value, bool> cases[] = {{Value(1), false}, {Value("1"), true}, {Value(2.0), true}};
    for (const auto& [value, reserved] : cases) {
        SCOPED_TRACE(value.descriptionText());
        log("level_up", {{"extend_session", value}});
        EXPECT_EQ(contains(codes(), 23179), reserved);
    }
}

TEST_F(EventRoadTest, RolloutReportsAreWrittenOnlyWhenTheyChange) {
    makeController();
    log("_ssr", {{"_ffr", Value("a")}}, "auto");
    log("_ssr", {{"_ffr", Value("a")}}, "auto");
    EXPECT_TRUE(contains(codes(), 23191));
    log("_ssr", {{"_ffr", Value("b")}}, "auto");
    log("_ssr", {}, "auto");  // clears what is kept
    log("_ssr", {}, "auto");  // nothing kept, nothing given: a duplicate
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"_ssr", "_ssr", "_ssr"}));
}

TEST_F(EventRoadTest, ARepeatedSubscriptionPurchaseIsDropped) {
    makeController();
    const Value::Dictionary renewal{{"subscription", Value(1)}, {"_did", Value(77)}, {"product_id", Value("pro")}};
    log("_iap", renewal, "auto");
    log("_iap", renewal, "auto");
    EXPECT_TRUE(contains(codes(), 23182));
    log("_iap", {{"subscription", Value(1)}, {"_did", Value(78)}}, "auto");
    log("_iap", {{"_did", Value(78)}}, "auto");  // not a subscription: never de-duplicated
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"_iap", "_iap", "_iap"}));
}

TEST_F(EventRoadTest, TheFirstOpenRaisesTheStoredFirstOpenCount) {
    makeController();
    onWorkerQueue([&] { EXPECT_EQ(controller().previousFirstOpenCount(), std::nullopt); });
    log("_f", {}, "auto");
    onWorkerQueue([&] { EXPECT_EQ(controller().previousFirstOpenCount(), std::optional<std::string>("1")); });
    log("_f", {}, "auto");
    onWorkerQueue([&] { EXPECT_EQ(controller().previousFirstOpenCount(), std::optional<std::string>("2")); });
}

TEST_F(EventRoadTest, BlockedEventsAreRejectedWithErrorElevenUnlessBlockingIsSilent) {
    const std::pair<std::string, std::vector<std::int64_t>> cases[] = {
        {"", {11}},
        {setting("measurement.upload.blacklist_public", "1"), {}},
        {setting("measurement.upload.blacklist_internal", "1"), {}},
    };
    for (const auto& [settings, expected] : cases) {
        SCOPED_TRACE(settings);
        makeController();
        configure("event_config { name: \"debug_ping\" blocklisted: true } " + settings);
        errorEvents();
        log("debug_ping");
        EXPECT_TRUE(contains(codes(), 23052));
        EXPECT_EQ(errorEvents(), expected);
        EXPECT_TRUE(storedNames().empty());
    }
}

TEST_F(EventRoadTest, APurchaseTheLifetimeValueCannotHoldIsRolledBack) {
    makeController();
    log("purchase", {{"value", Value(12.5)}, {"currency", Value("EUR")}});
    log("purchase", {{"value", Value(1e30)}, {"currency", Value("EUR")}});
    EXPECT_TRUE(contains(codes(), 23053));
    EXPECT_EQ(storedNames(), std::vector<std::string>{"purchase"});
    EXPECT_EQ(rows("SELECT name FROM user_attributes WHERE name = '_ltv_EUR'"), std::vector<std::string>{"_ltv_EUR"});
}

// --- Daily limits

TEST_F(EventRoadTest, OverTheDailyTotalTheEventIsCountedAndLoggedEveryThousand) {
    makeController();
    configure(setting("measurement.upload.max_events_per_day", "0"));
    const std::pair<std::int32_t, bool> cases[] = {{0, true},    {1, false},    {999, false},
                                                   {1000, true}, {1001, false}, {2000, true}};
    for (const auto& [excess, logged] : cases) {
        SCOPED_TRACE(excess);
        setDailyCounts(MSRDailyCounts(today(), 0, excess, 0, 0, 0, 0));
        codes();
        log("level_up");
        EXPECT_EQ(contains(codes(), 23055), logged);
        EXPECT_EQ(dailyCounts().allEventsCount(), excess + 1);
    }
    EXPECT_TRUE(storedNames().empty());
}

TEST_F(EventRoadTest, OverThePublicLimitTheEventGoesWithErrorSixteenAndTheTotalStays) {
    makeController();
    configure(setting("measurement.upload.max_public_events_per_day", "0"));
    errorEvents();
    log("level_up");
    EXPECT_TRUE(contains(codes(), 23057));
    EXPECT_EQ(errorEvents(), std::vector<std::int64_t>{16});
    const MSRDailyCounts counts = dailyCounts();
    EXPECT_EQ(counts.allEventsCount(), 0);
    EXPECT_EQ(counts.publicEventsCount(), 1);
    log("_ssr", {{"_ffr", Value("a")}}, "auto");  // internal events go on
    EXPECT_EQ(storedNames(), std::vector<std::string>{"_ssr"});
}

TEST_F(EventRoadTest, ANewPublicNamePastTheCardinalityGivesErrorEight) {
    makeController();
    configure(setting("measurement.upload.max_event_name_cardinality", "500"));
    onWorkerQueue([&] {
        ASSERT_TRUE(controller().database()->performTransaction([&] {
            for (int index = 0; index < 499; ++index) {
                auto aggregates = MSREventAggregates::initWithName("event_" + std::to_string(index), 0, 0, 0, 0);
                if (!aggregates || !controller().database()->updateEventAggregates(*aggregates)) {
                    return false;
                }
            }
            return true;
        }));
    });
    log("known");  // the 500th name
    errorEvents();
    log("one_too_many");
    EXPECT_TRUE(contains(codes(), 23065));
    EXPECT_EQ(errorEvents(), std::vector<std::int64_t>{8});
    log("known");
    log("_ssr", {{"_ffr", Value("a")}}, "auto");
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"known", "known", "_ssr"}));
}

TEST_F(EventRoadTest, DebugModeMakesEveryEventRealTimeAndDebug) {
    makeController();
    configure(setting("measurement.upload.max_realtime_events_per_day", "0"));
    log("level_up");
    services().monitor().setDebugModeEnabled(true);
    log("level_up");
    log("purchase", {{"value", Value(1)}, {"currency", Value("EUR")}});
    services().monitor().setDebugModeEnabled(false);

    EXPECT_EQ(rows("SELECT is_realtime FROM raw_events ORDER BY rowid"), (std::vector<std::string>{"0", "1", "1"}));
    const auto stored = storedEvents();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(find(stored[0].parameters, "_dbg"), nullptr);
    for (std::size_t index = 1; index < stored.size(); ++index) {
        EXPECT_EQ(*find(stored[index].parameters, "_dbg"), MSRValue::initWithInt64(1));
        EXPECT_TRUE(stored[index].realtime);
    }
}

// --- Editing

TEST_F(EventRoadTest, EditedAndCreatedEventsAreWritten) {
    makeController();
    ScriptedEditing::Script script;
    script.renameTo = "level_done";
    script.created = {MSRPEvent("made_by_app", now(), {{"_o", Value(5)}, {"x", Value(1)}}),
                      MSRPEvent("made_by_auto", now(), {{"_o", Value("auto")}})};
    configureEditing(script);
    log("level_up", {{"score", Value(3)}});
    const auto stored = storedEvents();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].name, "level_done");
    EXPECT_EQ(*find(stored[0].parameters, "score"), MSRValue::initWithInt64(3));
    EXPECT_EQ(stored[1].name, "made_by_app");
    EXPECT_EQ(stored[1].origin, "app");
    EXPECT_EQ(stored[2].name, "made_by_auto");
    EXPECT_EQ(stored[2].origin, "auto");
}

TEST_F(EventRoadTest, AConfigurationWithoutAProgramKeepsTheLoadedOneEditing) {
    makeController();
    ScriptedEditing::Script script;
    script.renameTo = "level_done";
    configureEditing(script);
    log("level_up");
    configure(setting("measurement.audience.max_count", "11"));
    log("level_up");
    const auto stored = storedEvents();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].name, "level_done");
    EXPECT_EQ(stored[1].name, "level_done");
}

// The codes updateSchedule logs on each of its roads.
std::vector<std::int64_t> schedulingCodes(const std::vector<std::int64_t>& codes) {
    std::vector<std::int64_t> found;
    std::copy_if(codes.begin(), codes.end(), std::back_inserter(found),
                 [](std::int64_t code) { return code >= 23023 && code <= 23028; });
    return found;
}

TEST_F(EventRoadTest, AFailingProgramWritesTheEventUnchangedAndReschedules) {
    makeController();
    codes();                                 // the start's own scheduling
    log("level_up", {{"score", Value(3)}});  // no program yet
    const auto unedited = codes();

    ScriptedEditing::Script script;
    script.fails = true;
    script.renameTo = "never";
    configureEditing(script);
    codes();
    log("level_up", {{"score", Value(3)}});
    const auto failed = codes();

    EXPECT_TRUE(contains(failed, 23223));
    EXPECT_FALSE(contains(unedited, 23223));
    // The failure takes the same scheduling road as an unedited event.
    EXPECT_EQ(schedulingCodes(failed), schedulingCodes(unedited));
    const auto stored = storedEvents();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].name, "level_up");
    EXPECT_EQ(stored[1].parameters, stored[0].parameters);
}

// --- Metadata

TEST_F(EventRoadTest, EventsShareAMetadataRowUntilSomethingChanges) {
    makeController();
    log("level_up");
    log("level_up");
    EXPECT_EQ(rows("SELECT count(*) FROM raw_events_metadata"), std::vector<std::string>{"1"});
    EXPECT_EQ(rows("SELECT count(DISTINCT metadata_fingerprint) FROM raw_events"), std::vector<std::string>{"1"});

    onWorkerQueue([&] {
        auto property = MSRUserAttribute::initWithOrigin("app", "tier", MSRValue::initWithString("gold"), now());
        ASSERT_TRUE(property);
        ASSERT_TRUE(controller().database()->updateUserAttribute(*property));
    });
    log("level_up");
    EXPECT_EQ(rows("SELECT count(*) FROM raw_events_metadata"), std::vector<std::string>{"2"});
    EXPECT_EQ(rows("SELECT count(DISTINCT metadata_fingerprint) FROM raw_events"), std::vector<std::string>{"2"});
}

// A bundle of the test's own, with the options file the identity reads
// the measurement app ID from.
class MetadataRecordTest : protected kit::testing::FixtureBundle, public EventRoadTest {
protected:
    static constexpr const char* kLumenAppID = "1:987654321:ios:fedcba";

    MetadataRecordTest() : FixtureBundle({{"CFBundleShortVersionString", Value("3.1.4")}}) {
        platform::testing::writeFile(
            bundlePath() / "LumenService-Info.plist",
            Value(Value::Dictionary{{"LUMEN_APP_ID", Value(kLumenAppID)}, {"BUNDLE_ID", Value(kBundleIdentifier)}})
                .toXmlPlist());
        HLOOptions::resetDefaultOptions();
    }
    ~MetadataRecordTest() override { HLOOptions::resetDefaultOptions(); }

    // The stored metadata record as protoc --decode_raw prints it.
    std::string decodedMetadata() {
        const auto stored = rows("SELECT hex(metadata) FROM raw_events_metadata");
        EXPECT_EQ(stored.size(), 1u);
        return protocDecodeRaw(bytesFromHex(stored.empty() ? "" : stored[0]), root());
    }
};

// What protoc --decode_raw prints for one top-level text field: it shows a
// text that happens to parse as a message ("macos" does) as that message.
std::string decodedTextField(int tag, std::string_view text, const std::filesystem::path& folder) {
    Bytes field;
    const auto varint = [&field](std::uint64_t value) {
        for (; value >= 0x80; value >>= 7) {
            field.push_back(static_cast<std::uint8_t>(value | 0x80));
        }
        field.push_back(static_cast<std::uint8_t>(value));
    };
    varint(static_cast<std::uint64_t>(tag) << 3 | 2);
    varint(text.size());
    field.insert(field.end(), text.begin(), text.end());
    return protocDecodeRaw(field, folder);
}

TEST_F(MetadataRecordTest, TheRecordCarriesPlatformBundleAppIDAndLibraryVersion) {
    makeController();
    log("level_up");
    const std::string decoded = decodedMetadata();
    const std::string expected[] = {
        decodedTextField(8, "macos", root()),      decodedTextField(14, kBundleIdentifier, root()),
        decodedTextField(25, kLumenAppID, root()), "17: 110900\n",
        decodedTextField(16, "3.1.4", root()),     decodedTextField(13, "manual_install", root()),
    };
    for (const std::string& fields : expected) {
        EXPECT_NE(decoded.find(fields), std::string::npos) << fields << "in\n" << decoded;
    }
}

}  // namespace
}  // namespace kit::measurement::testing
