// The fetch and upload addresses and server-side tagging.

#include "RemoteSettingCases.h"
#include "kit/core/Endpoints.h"

#include <filesystem>
#include <fstream>

namespace kit::measurement::testing {
namespace {

class RemoteConfigURLTest : public RemoteConfigTest {
protected:
    void SetUp() override {
        RemoteConfigTest::SetUp();
        kit::Endpoints endpoints;
        endpoints.configurationHost = "config.example.test";
        endpoints.measurementUploadHost = "upload.example.test";
        endpoints.measurementUploadConsentHost = "consent.example.test";
        kit::Endpoints::setCurrent(endpoints);
    }

    static void setConsentStatus(std::int64_t status) {
        MSRControllerFacts facts;
        facts.appDataConsentStatus = [status] { return status; };
        installControllerFacts(facts);
    }

    // A bundle whose Info.plist holds `entry` (plist XML of one key and value).
    static std::shared_ptr<const platform::Bundle> bundleWith(const std::string& entry) {
        static int serial = 0;
        const std::filesystem::path folder =
            std::filesystem::path(::testing::TempDir()) / ("remote-config-bundle-" + std::to_string(++serial));
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
               "<key>CFBundleIdentifier</key><string>org.stubforge.test</string>"
            << entry << "</dict></plist>\n";
        return std::make_shared<const platform::Bundle>(folder);
    }
};

TEST_F(RemoteConfigURLTest, ConfigurationURL) {
    auto remote = makeConfig();
    EXPECT_EQ(remote->remoteConfigURLWithPlatform("macos", 110900, 3),
              "https://config.example.test/config/app/1:42:test?lmp_version=110900&platform=macos&runtime_version=3");
    EXPECT_FALSE(remote->remoteConfigURLWithPlatform(std::nullopt, 110900, 3));
    monitor->drain();
    EXPECT_FALSE(remote->remoteConfigURLWithPlatform(std::nullopt, 1, 1));
    EXPECT_EQ(monitor->drainCodes(), (std::vector<std::uint64_t>{29010}));

    kit::Endpoints::setCurrent({});
    EXPECT_FALSE(remote->remoteConfigURLWithPlatform("macos", 110900, 3));
}

TEST_F(RemoteConfigURLTest, UploadURLWithAndWithoutASubdomain) {
    auto plain = configured("");
    EXPECT_EQ(plain->uploadURL(), "https://upload.example.test/a");
    auto regional = configured(R"(field_11: "eu-1.r")");
    EXPECT_EQ(regional->uploadSubdomain(), "eu-1.r");
    EXPECT_EQ(regional->uploadURL(), "https://eu-1.r.upload.example.test/a");

    setConsentStatus(3);
    EXPECT_EQ(plain->uploadURL(), "https://consent.example.test/a");
    EXPECT_EQ(regional->uploadURL(), "https://eu-1.r.consent.example.test/a");
    setConsentStatus(2);
    EXPECT_EQ(plain->uploadURL(), "https://upload.example.test/a");

    kit::Endpoints::setCurrent({});
    EXPECT_FALSE(plain->uploadURL());
    EXPECT_FALSE(regional->uploadURL());
}

TEST_F(RemoteConfigURLTest, HostileSubdomainsGiveThePlainHost) {
    const std::string hostile[] = {"x@evil.example/",
                                   "evil.example/",
                                   "evil.example:8443",
                                   "evil.example#",
                                   "evil.example?",
                                   "a..b",
                                   ".a",
                                   "a.",
                                   ".",
                                   "a b",
                                   "a_b",
                                   "ev%2eil",
                                   "a\\b",
                                   "\xc3\xa9t\xc3\xa9",
                                   std::string("a\0b", 3),
                                   std::string(254, 'a')};
    for (const std::string& subdomain : hostile) {
        SCOPED_TRACE(subdomain);
        MSRPBMeasurementConfig configuration = appConfig("");
        NanoMessageSetString(configuration, 10, subdomain);
        auto remote = makeConfig();
        ASSERT_TRUE(remote->updateMeasurementConfig(configuration));
        EXPECT_EQ(remote->uploadURL(), "https://upload.example.test/a");
    }
    // 253 bytes of labels is still a subdomain.
    std::string longest;
    while (longest.size() < 253) {
        longest += longest.empty() ? "a" : ".a";
    }
    MSRPBMeasurementConfig configuration = appConfig("");
    NanoMessageSetString(configuration, 10, longest);
    auto remote = makeConfig();
    ASSERT_TRUE(remote->updateMeasurementConfig(configuration));
    EXPECT_EQ(remote->uploadURL(), "https://" + longest + ".upload.example.test/a");
}

TEST_F(RemoteConfigURLTest, FNV1aIsTheKnownHash) {
    EXPECT_EQ(fnv1a64(""), 0xcbf29ce484222325ULL);
    EXPECT_EQ(fnv1a64("a"), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(fnv1a64("instance-7") % 100, 2u);
    EXPECT_EQ(fnv1a64("instance-4") % 100, 91u);
}

TEST_F(RemoteConfigURLTest, SSTUploadGates) {
    const std::string on = "<key>LUMEN_ANALYTICS_SST_UPLOAD_ENABLED</key><true/>";
    const std::string sst = R"(sst_setting { field_1: "https://sst.example.test/g" field_4: 50 })";
    struct SSTCase {
        const char* name;
        std::string info;
        std::string body;
        std::string appInstanceID;
        bool previewHeaders;
        bool enabled;
    };
    const SSTCase cases[] = {
        {"everything holds, hash 2 < 50", on, sst, "instance-7", false, true},
        {"hash 91 >= 50", on, sst, "instance-4", false, false},
        {"setting off", on, sst + R"( settings { name: "measurement.sst_upload_enabled" value: "0" })", "instance-7",
         false, false},
        {"no Info.plist key", "", sst, "instance-7", false, false},
        {"Info.plist false", "<key>LUMEN_ANALYTICS_SST_UPLOAD_ENABLED</key><false/>", sst, "instance-7", false, false},
        {"Info.plist number 1", "<key>LUMEN_ANALYTICS_SST_UPLOAD_ENABLED</key><integer>1</integer>", sst, "instance-7",
         false, true},
        {"Info.plist text", "<key>LUMEN_ANALYTICS_SST_UPLOAD_ENABLED</key><string>YES</string>", sst, "instance-7",
         false, false},
        {"no sst_setting", on, "", "instance-7", true, false},
        {"empty field 1", on, R"(sst_setting { field_1: "" field_4: 100 })", "instance-7", true, false},
        {"preview headers win over the rollout", on, sst, "instance-4", true, true},
        {"no identifier below 100", on, R"(sst_setting { field_1: "https://sst.example.test/g" field_4: 99 })", "",
         false, false},
        {"no identifier at 100", on, R"(sst_setting { field_1: "https://sst.example.test/g" field_4: 100 })", "", false,
         true},
        {"negative rollout", on, R"(sst_setting { field_1: "https://sst.example.test/g" field_4: -5 })", "instance-7",
         false, false},
        {"zero rollout", on, R"(sst_setting { field_1: "https://sst.example.test/g" field_4: 0 })", "instance-7", false,
         false},
    };
    for (const SSTCase& row : cases) {
        SCOPED_TRACE(row.name);
        setRemoteConfigBundle(bundleWith(row.info));
        MSRControllerFacts facts;
        facts.SSTPreviewHeaders = [preview = row.previewHeaders] {
            return preview ? std::optional<platform::Value::Dictionary>(
                                 platform::Value::Dictionary{{"X-Preview", platform::Value("1")}})
                           : std::nullopt;
        };
        installControllerFacts(facts);
        auto remote = makeConfig(std::make_shared<FakeAppInstanceID>(row.appInstanceID));
        ASSERT_TRUE(remote->updateMeasurementConfig(appConfig(row.body)));
        EXPECT_EQ(remote->SSTUploadEnabled(), row.enabled);
    }
}

TEST_F(RemoteConfigURLTest, SSTUploadURLAndHeaders) {
    struct URLCase {
        const char* body;
        std::int64_t consentStatus;
        std::optional<std::string> url;
    };
    const URLCase cases[] = {
        {"", 3, std::nullopt},
        {R"(sst_setting { field_1: "https://sst.example.test/g" })", -1, "https://sst.example.test/g"},
        {R"(sst_setting { field_1: "https://sst.example.test/g" field_3: "https://c.example.test/g" })", -1,
         "https://sst.example.test/g"},
        {R"(sst_setting { field_1: "https://sst.example.test/g" field_3: "https://c.example.test/g" })", 3,
         "https://c.example.test/g"},
        {R"(sst_setting { field_1: "https://sst.example.test/g" field_3: "not a url" })", 3,
         "https://sst.example.test/g"},
        {R"(sst_setting { field_1: "ftp://sst.example.test/g" })", -1, std::nullopt},
        {R"x(sst_setting { field_1: "javascript:alert(1)" })x", -1, std::nullopt},
        {R"(sst_setting { field_1: "/relative" })", -1, std::nullopt},
        {R"(sst_setting { field_3: "https://c.example.test/g" })", -1, std::nullopt},
    };
    for (const URLCase& row : cases) {
        SCOPED_TRACE(row.body);
        setConsentStatus(row.consentStatus);
        EXPECT_EQ(configured(row.body)->SSTUploadURL(), row.url);
    }

    EXPECT_FALSE(configured("")->SSTUploadHTTPHeaders());
    EXPECT_FALSE(configured(R"(sst_setting { field_2: "" })")->SSTUploadHTTPHeaders());
    EXPECT_EQ(configured(R"(sst_setting { field_2: "srv-1" })")->SSTUploadHTTPHeaders(),
              (MSRRemoteConfig::Dictionary{{"x-sst-server-info", "srv-1"}}));
}

}  // namespace
}  // namespace kit::measurement::testing
