// Storing and parsing a configuration, and what the settings derive from it.

#include "RemoteSettingCases.h"

namespace kit::measurement::testing {
namespace {

using platform::Value;

TEST_F(RemoteConfigTest, CreationRefusesAnEmptyAppIDOrNoDatabase) {
    EXPECT_FALSE(MSRRemoteConfig::initWithAppID("", store, nullptr, manager));
    EXPECT_FALSE(MSRRemoteConfig::initWithAppID("1:42:test", nullptr, nullptr, manager));
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29000, 29001}));
}

TEST_F(RemoteConfigTest, TheDefaultInstanceRefusesWithItsCodes) {
    auto fallback = MSRRemoteConfig::defaultInstance();
    EXPECT_EQ(fallback, MSRRemoteConfig::defaultInstance());
    EXPECT_TRUE(fallback->isDefaultInstance());
    EXPECT_FALSE(fallback->updateMeasurementConfig(appConfig("")));
    EXPECT_FALSE(fallback->measurementConfigFromDatabase());
    EXPECT_EQ(fallback->lastRemoteConfigUpdateTimestamp(), 0.0);
    EXPECT_FALSE(fallback->isExpired());
    const auto lines = monitor->drain();
    ASSERT_EQ(lines.size(), 4u);
    const std::vector<std::pair<int, std::uint64_t>> expected{{2, 29002}, {2, 29015}, {2, 29008}, {2, 29007}};
    for (std::size_t index = 0; index < lines.size(); ++index) {
        EXPECT_EQ(lines[index].level, expected[index].first);
        EXPECT_EQ(lines[index].code, expected[index].second);
    }
    EXPECT_EQ(fallback->uploadingInterval(), 3600.0);
    EXPECT_EQ(fallback->version(), -1);
}

TEST_F(RemoteConfigTest, AForeignAppIDChangesNothing) {
    auto remote = configured(R"(version: 4 settings { name: "measurement.audience.max_count" value: "7" })");
    EXPECT_FALSE(remote->updateMeasurementConfig(
        config(R"(app_id: "1:99:other" version: 5 settings { name: "measurement.audience.max_count" value: "9" })")));
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29004}));
    EXPECT_EQ(store->updates, 1);
    // Parsed directly, a foreign configuration stops without a line.
    remote->parseRemoteConfigFromMeasurementConfig(
        config(R"(app_id: "1:99:other" settings { name: "measurement.audience.max_count" value: "9" })"));
    EXPECT_TRUE(monitor->drain().empty());
    EXPECT_EQ(remote->maxAudienceCount(), 7);
    EXPECT_EQ(remote->version(), 4);
    EXPECT_FALSE(remote->updateMeasurementConfig(std::nullopt));
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29003}));
}

// A store that refuses or fails leaves the previous configuration in force.
TEST_F(RemoteConfigTest, AFailedStoreIsAFailure) {
    auto remote = configured(R"(version: 1 settings { name: "measurement.audience.max_count" value: "7" })");
    store->failUpdate = fakeError("disk full");
    EXPECT_FALSE(remote->updateMeasurementConfig(
        appConfig(R"(version: 2 settings { name: "measurement.audience.max_count" value: "9" })")));
    const auto lines = monitor->drain();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].code, 29005u);
    EXPECT_EQ(lines[0].level, 1);
    EXPECT_EQ(remote->maxAudienceCount(), 7);
    EXPECT_EQ(remote->version(), 1);
}

TEST_F(RemoteConfigTest, AnUninitialisedMessageKeepsThePreviousCaches) {
    auto remote = configured(R"(settings { name: "measurement.audience.max_count" value: "7" })");
    MSRPBMeasurementConfig empty = appConfig("");
    MSRPBMeasurementConfig taken = std::move(empty);
    remote->parseRemoteConfigFromMeasurementConfig(empty);  // NOLINT(bugprone-use-after-move): the case under test
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29012}));
    EXPECT_EQ(remote->maxAudienceCount(), 7);
}

TEST_F(RemoteConfigTest, EventQueries) {
    auto remote = makeConfig();
    monitor->drain();
    remote->updateMeasurementConfig(appConfig(R"(
        settings { name: "measurement.upload.blacklist_public" value: "1" }
        event_config { name: "first_open" sampling_rate: 7 custom_conversion: true }
        event_config { name: "rate_one" sampling_rate: 1 }
        event_config { name: "rate_max" sampling_rate: 65535 }
        event_config { name: "rate_over" sampling_rate: 65536 }
        event_config { name: "rate_negative" sampling_rate: -4 }
        event_config { name: "kept" blocklisted: false }
        event_config { name: "_internal_blocked" blocklisted: true }
        event_config { sampling_rate: 3 })"));
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29013}));

    // "first_open" is filed under its internal name.
    EXPECT_TRUE(remote->eventConfigWithName("_f"));
    EXPECT_FALSE(remote->eventConfigWithName("first_open"));
    EXPECT_TRUE(remote->isEventCustomConversion("_f"));
    EXPECT_FALSE(remote->isEventCustomConversion("rate_one"));

    struct SamplingCase {
        const char* name;
        bool hasRate;
        int rate;
    };
    const SamplingCase sampling[] = {{"_f", true, 7},        {"rate_one", true, 1},      {"rate_max", true, 65535},
                                     {"rate_over", true, 1}, {"rate_negative", true, 1}, {"unknown", false, 1},
                                     {"kept", false, 1}};
    for (const auto& row : sampling) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(remote->eventHasSamplingRate(row.name), row.hasRate);
        EXPECT_EQ(remote->samplingRateForEvent(row.name), row.rate);
    }

    // The event's own flag, else the public or internal blocklist setting.
    struct BlockCase {
        const char* name;
        bool blocked;
    };
    const BlockCase blocks[] = {{"kept", true},            // present but false: the public setting
                                {"unknown_public", true},  // public setting
                                {"_internal_blocked", true},
                                {"_other_internal", false}};
    for (const auto& row : blocks) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(remote->isEventBlocklisted(row.name), row.blocked);
    }
    EXPECT_FALSE(remote->eventConfigWithName(""));
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29006}));
}

TEST_F(RemoteConfigTest, ConsentDefaultsAndEnforcedDefaultsStayApart) {
    auto remote = configured(R"(
        consent_config {
          defaults { type: AD_STORAGE status: GRANTED }
          defaults { type: ANALYTICS_STORAGE status: DENIED }
          defaults { type: CONSENT_TYPE_UNKNOWN status: GRANTED }
          defaults { type: AD_USER_DATA status: CONSENT_STATUS_UNKNOWN }
          defaults { status: DENIED }
          delegations { type: AD_USER_DATA field_2: AD_STORAGE }
          delegations { type: AD_PERSONALIZATION field_2: CONSENT_TYPE_UNKNOWN }
          core_platform_services { field_1: "svc_a" }
          core_platform_services { field_2: "no_name" }
          field_4: false
          enforced_defaults { type: AD_PERSONALIZATION status: DENIED }
        }
        data_controls { field_1: "ad_id" }
        data_controls { field_3: true })");
    using Dictionary = MSRRemoteConfig::Dictionary;
    EXPECT_EQ(remote->consentDefaults(), (Dictionary{{"ad_storage", "granted"}, {"analytics_storage", "denied"}}));
    EXPECT_EQ(remote->regionalDefaults(), (Dictionary{{"ad_personalization", "denied"}}));
    EXPECT_EQ(remote->consentDelegations(), (Dictionary{{"ad_user_data", "ad_storage"}}));
    EXPECT_EQ(remote->corePlatformServices(), (std::set<std::string>{"svc_a"}));
    EXPECT_FALSE(remote->isDMARegion());
    EXPECT_EQ(remote->dataControls(), (std::vector<std::string>{"ad_id"}));

    // Without a consent configuration, the consent values stay; data
    // controls follow every configuration.
    ASSERT_TRUE(remote->updateMeasurementConfig(appConfig(R"(data_controls { field_1: "ip" })")));
    EXPECT_EQ(remote->consentDefaults().size(), 2u);
    EXPECT_FALSE(remote->isDMARegion());
    EXPECT_EQ(remote->dataControls(), (std::vector<std::string>{"ip"}));

    remote->reset();
    EXPECT_TRUE(remote->consentDefaults().empty());
    EXPECT_TRUE(remote->dataControls().empty());
    EXPECT_TRUE(remote->isDMARegion());
    EXPECT_EQ(remote->version(), -1);
    EXPECT_EQ(manager->resets, 1);
}

constexpr const char* kProgramBody = R"(
    settings { name: "measurement.audience.max_count" value: "9" }
    dynamic_event_editing { instructions { field_3: "first" } }
    dynamic_event_editing { instructions { field_3: "second" } }
    data_controls { field_1: "new_control" }
    consent_config { defaults { type: AD_STORAGE status: DENIED } field_4: false }
    psm_setting { psm_prefix_email: 19 })";

TEST_F(RemoteConfigTest, AFailedProgramKeepsDataControlsAndConsentAndLeavesNoEditing) {
    auto remote = configured(R"(
        dynamic_event_editing { instructions { field_3: "good" } }
        data_controls { field_1: "old_control" }
        consent_config { defaults { type: AD_STORAGE status: GRANTED } field_4: true })");
    ASSERT_TRUE(remote->eventEditing());

    programFails = true;
    ASSERT_TRUE(remote->updateMeasurementConfig(appConfig(kProgramBody)));
    const auto lines = monitor->drain();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].code, 29026u);
    EXPECT_EQ(lines[0].level, 1);
    EXPECT_FALSE(remote->eventEditing());
    EXPECT_EQ(remote->dataControls(), (std::vector<std::string>{"old_control"}));
    EXPECT_EQ(remote->consentDefaults(), (MSRRemoteConfig::Dictionary{{"ad_storage", "granted"}}));
    EXPECT_TRUE(remote->isDMARegion());
    // Settings and event configurations come before the program.
    EXPECT_EQ(remote->maxAudienceCount(), 9);
    EXPECT_EQ(remote->hashPrefixBitLengthEmail(), 14);

    // No runtime installed counts as a failure too.
    programFails = false;
    installEventEditingFactory(nullptr);
    ASSERT_TRUE(remote->updateMeasurementConfig(appConfig(kProgramBody)));
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29026}));
    EXPECT_FALSE(remote->eventEditing());
}

TEST_F(RemoteConfigTest, AProgramLoadsWithItsModules) {
    MSRControllerFacts facts;
    facts.appVersion = [] { return std::optional<std::string>("4.5.6"); };
    facts.appMeasurementLibraryVersion = [] { return std::int64_t{120000}; };
    installControllerFacts(facts);
    auto remote = makeConfig();
    monitor->drain();
    ASSERT_TRUE(remote->updateMeasurementConfig(appConfig(kProgramBody)));
    ASSERT_TRUE(remote->eventEditing());
    ASSERT_EQ(madeEditing.size(), 1u);
    const auto& editing = *madeEditing.front();
    ASSERT_EQ(editing.loadedPrograms.size(), 1u);  // the first program only
    const auto lines = monitor->drain();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].code, 29027u);
    EXPECT_EQ(remote->dataControls(), (std::vector<std::string>{"new_control"}));
    EXPECT_EQ(remote->hashPrefixBitLengthEmail(), 19);

    // "internal.remoteConfig" reads whatever configuration is current.
    EXPECT_EQ(editing.modules.remoteConfigValue("measurement.audience.max_count"), "9");
    EXPECT_EQ(editing.modules.remoteConfigValue("measurement.psm_prefix_email"), "19");
    EXPECT_FALSE(editing.modules.remoteConfigValue("measurement.unknown"));
    ASSERT_TRUE(remote->updateMeasurementConfig(
        appConfig(R"(settings { name: "measurement.audience.max_count" value: "11" })")));
    EXPECT_EQ(editing.modules.remoteConfigValue("measurement.audience.max_count"), "11");
    // A configuration without programs keeps the loaded one.
    EXPECT_EQ(remote->eventEditing().get(), madeEditing.front().get());

    const Value::Dictionary metadata = editing.modules.appMetadata();
    EXPECT_EQ(metadata.at("platform"), Value("macos"));
    EXPECT_EQ(metadata.at("lmp_version"), Value(std::int64_t{120000}));
    EXPECT_EQ(metadata.at("app_version"), Value("4.5.6"));
    EXPECT_TRUE(metadata.contains("package_name"));
}

TEST_F(RemoteConfigTest, ExpiryEitherSideOfTheCacheTime) {
    auto remote = configured(R"(settings { name: "measurement.config.cache_time" value: "120000" })");
    ASSERT_EQ(remote->remoteConfigCacheTimeInterval(), 120.0);
    const double stored = store->storeTime;
    struct ExpiryCase {
        double secondsAfterStore;
        bool expired;
    };
    const ExpiryCase cases[] = {{0, false}, {119.5, false}, {120, true}, {500, true}, {-119, false}, {-120, true}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.secondsAfterStore);
        setRemoteConfigClock(std::make_shared<platform::FixedClock>(
            platform::TimePoint(std::chrono::duration_cast<platform::TimePoint::duration>(
                std::chrono::duration<double>(stored + row.secondsAfterStore)))));
        EXPECT_EQ(remote->isExpired(), row.expired);
    }
    EXPECT_EQ(remote->lastRemoteConfigUpdateTimestamp(), stored);

    // Never stored: always expired. A failing query logs 29009.
    {
        std::lock_guard lock(store->mutex);
        store->timestamp.reset();
    }
    EXPECT_TRUE(remote->isExpired());
    store->failTimestamp = fakeError("locked");
    EXPECT_EQ(remote->lastRemoteConfigUpdateTimestamp(), 0.0);
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29009}));
}

TEST_F(RemoteConfigTest, ANewInstanceLoadsTheStoredConfiguration) {
    auto first = makeConfig();
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29017}));
    ASSERT_TRUE(first->updateMeasurementConfig(
        appConfig(R"(version: 8 settings { name: "measurement.audience.max_count" value: "12" })")));
    auto second = makeConfig();
    EXPECT_EQ(second->maxAudienceCount(), 12);
    EXPECT_EQ(second->version(), 8);

    store->failQuery = fakeError("corrupt");
    monitor->drain();
    auto third = makeConfig();
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29016}));
    EXPECT_EQ(third->maxAudienceCount(), 100);
}

TEST_F(RemoteConfigTest, ExperimentCallbacks) {
    manager->client->failActivation = fakeError("stale");
    auto remote = makeConfig();
    ASSERT_TRUE(manager->registered);
    EXPECT_EQ(manager->registered->name, "app_measurement");
    EXPECT_EQ(manager->registered->version, kMSRDefaultLibraryVersion);
    EXPECT_TRUE(manager->registeredFlags.empty());
    EXPECT_EQ(manager->client->delegate.lock().get(), remote.get());
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29023, 29017}));

    // Nothing waits: no activation.
    const int activations = manager->client->activations;
    EXPECT_FALSE(remote->activateNewSnapshot());
    EXPECT_EQ(manager->client->activations, activations);

    remote->clientDidReceiveNewSnapshot(*manager->client);
    EXPECT_FALSE(remote->activateNewSnapshot());
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29024}));
    manager->client->failActivation.reset();
    EXPECT_TRUE(remote->activateNewSnapshot());   // the flag stayed set
    EXPECT_FALSE(remote->activateNewSnapshot());  // and is now cleared

    remote->clientDidReceiveFetchError(*manager->client, std::nullopt);
    remote->clientDidReceiveFetchError(*manager->client, fakeError("offline"));
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29025}));

    struct FetchCase {
        bool hasSharedInstance;
        bool enabled;
        bool fetch;
    };
    for (const auto& row :
         {FetchCase{false, true, false}, FetchCase{true, false, false}, FetchCase{true, true, true}}) {
        MSRControllerFacts facts;
        facts.hasSharedInstance = [row] { return row.hasSharedInstance; };
        facts.isEnabled = [row] { return row.enabled; };
        installControllerFacts(facts);
        EXPECT_EQ(remote->shouldFetchExperimentsForClient(*manager->client), row.fetch);
    }
}

}  // namespace
}  // namespace kit::measurement::testing
