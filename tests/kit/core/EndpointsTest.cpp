#include "KitTestSupport.h"
#include "kit/core/Endpoints.h"
#include "kit/core/KitContext.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace kit {
namespace {

using platform::Value;
using testing::KitTest;

class EndpointsTest : public KitTest {
protected:
    std::filesystem::path bundleWith(std::string_view endpointsBytes) {
        const auto directory = root() / "bundle";
        std::filesystem::create_directories(directory);
        std::ofstream(directory / "LumenEndpoints.plist", std::ios::binary) << endpointsBytes;
        return directory;
    }
};

TEST_F(EndpointsTest, EveryKeyLandsInItsField) {
    const Value dictionary(Value::Dictionary{
        {"ConsoleURL", Value("http://127.0.0.1:1/console")},
        {"SetupGuideURL", Value("http://127.0.0.1:1/guide")},
        {"LoggingDocumentationURL", Value("http://127.0.0.1:1/logging")},
        {"InstallationsBaseURL", Value("https://127.0.0.1:2/v1")},
        {"MeasurementHost", Value("127.0.0.1:3")},
        {"MeasurementUploadHost", Value("127.0.0.1:4")},
        {"MeasurementUploadConsentHost", Value("127.0.0.1:5")},
        {"ConfigurationHost", Value("127.0.0.1:6")},
        {"ExperimentHost", Value("127.0.0.1:7")},
        {"DeepLinkHost", Value("127.0.0.1:8")},
        {"AdAttributionHost", Value("127.0.0.1:9")},
        {"CAFile", Value("/tmp/ca.pem")},
        {"ConnectTo",
         Value(Value::Array{Value("a.test:443:127.0.0.1:8443"), Value(7), Value("b.test:443:127.0.0.1:9443")})},
        {"Unknown", Value("ignored")},
    });
    const Endpoints endpoints = Endpoints::fromDictionary(dictionary);
    EXPECT_EQ(endpoints.consoleURL, "http://127.0.0.1:1/console");
    EXPECT_EQ(endpoints.setupGuideURL, "http://127.0.0.1:1/guide");
    EXPECT_EQ(endpoints.loggingDocumentationURL, "http://127.0.0.1:1/logging");
    EXPECT_EQ(endpoints.installationsBaseURL, "https://127.0.0.1:2/v1");
    EXPECT_EQ(endpoints.measurementHost, "127.0.0.1:3");
    EXPECT_EQ(endpoints.measurementUploadHost, "127.0.0.1:4");
    EXPECT_EQ(endpoints.measurementUploadConsentHost, "127.0.0.1:5");
    EXPECT_EQ(endpoints.configurationHost, "127.0.0.1:6");
    EXPECT_EQ(endpoints.experimentHost, "127.0.0.1:7");
    EXPECT_EQ(endpoints.deepLinkHost, "127.0.0.1:8");
    EXPECT_EQ(endpoints.adAttributionHost, "127.0.0.1:9");
    EXPECT_EQ(endpoints.caFile, "/tmp/ca.pem");
    EXPECT_EQ(endpoints.connectTo,
              (std::vector<std::string>{"a.test:443:127.0.0.1:8443", "b.test:443:127.0.0.1:9443"}));
}

TEST_F(EndpointsTest, TheShippedFileIsEmpty) {
    const char* source = std::getenv("STUBFORGE_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const platform::Bundle shipped(std::filesystem::path(source) / "resources");
    ASSERT_TRUE(shipped.pathForResource("LumenEndpoints", "plist"));
    EXPECT_EQ(Endpoints::fromBundle(shipped), Endpoints{});
    EXPECT_TRUE(drainLines().empty());
}

TEST_F(EndpointsTest, MissingOrBrokenFilesGiveEmptyEndpoints) {
    const struct {
        const char* name;
        const char* bytes;  // nullptr: no file at all
        bool warns;
    } rows[] = {
        {"no file", nullptr, false},
        {"not a plist", "garbage", true},
        {"an array", "<plist version=\"1.0\"><array><string>x</string></array></plist>", true},
        {"wrong kinds", "<plist version=\"1.0\"><dict><key>MeasurementHost</key><integer>1</integer></dict></plist>",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(root() / "bundle");
        std::filesystem::create_directories(root() / "bundle");
        const auto directory = row.bytes != nullptr ? bundleWith(row.bytes) : root() / "bundle";
        EXPECT_EQ(Endpoints::fromBundle(platform::Bundle(directory)), Endpoints{});
        const auto lines = drainLines();
        if (row.warns) {
            ASSERT_EQ(lines.size(), 1U);
            EXPECT_NE(lines[0].find("[I-COR000040] The endpoints file at "), std::string::npos) << lines[0];
        } else {
            EXPECT_TRUE(lines.empty());
        }
    }
}

TEST_F(EndpointsTest, CurrentReadsTheMainBundleOncePerContextAndMayBeReplaced) {
    EXPECT_EQ(Endpoints::current(), Endpoints{});
    Endpoints local;
    local.measurementHost = "127.0.0.1:1";
    Endpoints::setCurrent(local);
    EXPECT_EQ(Endpoints::current().measurementHost, "127.0.0.1:1");
    {
        // A new context reads the bundle again.
        KitContext next;
        EXPECT_EQ(Endpoints::current(), Endpoints{});
    }
    EXPECT_EQ(Endpoints::current().measurementHost, "127.0.0.1:1");
}

}  // namespace
}  // namespace kit
