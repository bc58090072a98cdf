// Which bundles may share a batch and what the data controls take out.

#include "BundlingTestSupport.h"

namespace kit::measurement::testing {
namespace {

constexpr int kOSVersionSlot = 9;
constexpr int kDeviceModelSlot = 10;
constexpr int kAppInstanceIDSlot = 22;
constexpr int kConsentDiagnosticsSlot = 47;
constexpr int kDMARegionSlot = 48;
constexpr int kCorePlatformServicesSlot = 49;
constexpr int kSessionStitchingTokenSlot = 43;
constexpr int kRedactedFieldsSlot = 44;
constexpr int kEphemeralAppInstanceIDSlot = 45;

MSRPBUserAttribute attribute(std::string_view name, std::int64_t value) {
    MSRPBUserAttribute made;
    NanoMessageSetString(made, 1, name);
    NanoMessageSetInt64(made, 3, value);
    return made;
}

std::vector<std::string> attributeNames(const MSRPBMeasurementBundle& message) {
    std::vector<std::string> names;
    const auto attributes = NanoMessageGetArray<MSRPBUserAttribute>(message, kBundleUserAttributesSlot)
                                .value_or(std::vector<MSRPBUserAttribute>{});
    for (const auto& item : attributes) {
        names.push_back(NanoMessageGetString(item, 1).value_or(""));
    }
    return names;
}

using BundleControlsTest = BundlingTest;

struct ControlCase {
    const char* name;
    std::set<std::string, std::less<>> fields;
    std::string consentSignals;
    std::optional<std::string> appInstanceID;
    bool ephemeralID;
    std::optional<std::string> osVersion;
    std::optional<std::string> deviceModel;
    std::vector<std::string> attributes;
    bool stitchingToken;
};

TEST_F(BundleControlsTest, DataControlsRemoveOrShortenTheNamedFields) {
    const ControlCase cases[] = {
        {"none", {}, "G111", "AIID", false, "14.2.1", "Mac14,2", {"_id", "_npa"}, true},
        {"app instance ID",
         {"app_instance_id"},
         "G111",
         std::nullopt,
         true,
         "14.2.1",
         "Mac14,2",
         {"_id", "_npa"},
         true},
        {"app instance ID, analytics storage denied",
         {"app_instance_id"},
         "G110",
         std::nullopt,
         false,
         "14.2.1",
         "Mac14,2",
         {"_id", "_npa"},
         true},
        {"user ID", {"user_id"}, "G111", "AIID", false, "14.2.1", "Mac14,2", {"_npa"}, true},
        {"OS version", {"os_version"}, "G111", "AIID", false, "14", "Mac14,2", {"_id", "_npa"}, true},
        {"device model", {"device_model"}, "G111", "AIID", false, "14.2.1", std::nullopt, {"_id", "_npa"}, true},
        {"device info", {"device_info"}, "G111", "AIID", false, "14", std::nullopt, {"_id", "_npa"}, true},
        {"enhanced user ID", {"enhanced_user_id"}, "G111", "AIID", false, "14.2.1", "Mac14,2", {"_id", "_npa"}, false},
    };
    for (const ControlCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        MSRPBMeasurementBundle message = metadataTemplate(testCase.consentSignals);
        NanoMessageSetString(message, kAppInstanceIDSlot, "AIID");
        NanoMessageSetString(message, kOSVersionSlot, "14.2.1");
        NanoMessageSetString(message, kDeviceModelSlot, "Mac14,2");
        NanoMessageSetString(message, kSessionStitchingTokenSlot, "token");
        NanoMessageSetArray(message, kBundleUserAttributesSlot,
                            std::vector<MSRPBUserAttribute>{attribute("_id", 1), attribute("_npa", 0)});

        MSRApplyDataControls(message, testCase.fields, *controller().identity());

        EXPECT_EQ(NanoMessageGetString(message, kAppInstanceIDSlot), testCase.appInstanceID);
        EXPECT_EQ(NanoMessageGetString(message, kEphemeralAppInstanceIDSlot).value_or("").size(),
                  testCase.ephemeralID ? 32U : 0U);
        EXPECT_EQ(NanoMessageGetString(message, kOSVersionSlot), testCase.osVersion);
        EXPECT_EQ(NanoMessageGetString(message, kDeviceModelSlot), testCase.deviceModel);
        EXPECT_EQ(attributeNames(message), testCase.attributes);
        EXPECT_EQ(NanoMessageHasField(message, kSessionStitchingTokenSlot), testCase.stitchingToken);
        EXPECT_EQ(NanoMessageGetArray<std::string>(message, kRedactedFieldsSlot).value_or(std::vector<std::string>{}),
                  std::vector<std::string>(testCase.fields.begin(), testCase.fields.end()));
    }
}

struct CompatibilityCase {
    const char* name;
    std::function<void(MSRPBMeasurementBundle&)> change;
    bool compatible;
};

TEST(BundleCompatibility, BundlesShareABatchOnlyWithEqualConsentMetadata) {
    const CompatibilityCase cases[] = {
        {"same", [](MSRPBMeasurementBundle&) {}, true},
        {"consent signals",
         [](MSRPBMeasurementBundle& m) { NanoMessageSetString(m, kBundleConsentSignalsSlot, "G100"); }, false},
        {"consent signals missing",
         [](MSRPBMeasurementBundle& m) { NanoMessageClearField(m, kBundleConsentSignalsSlot); }, false},
        {"diagnostics", [](MSRPBMeasurementBundle& m) { NanoMessageSetString(m, kConsentDiagnosticsSlot, "19"); },
         false},
        {"core platform services",
         [](MSRPBMeasurementBundle& m) { NanoMessageSetString(m, kCorePlatformServicesSlot, "-"); }, false},
        {"DMA region", [](MSRPBMeasurementBundle& m) { NanoMessageSetBool(m, kDMARegionSlot, true); }, false},
        {"\"_npa\" value",
         [](MSRPBMeasurementBundle& m) {
             NanoMessageSetArray(m, kBundleUserAttributesSlot, std::vector<MSRPBUserAttribute>{attribute("_npa", 1)});
         },
         false},
        {"\"_npa\" 0 against none",
         [](MSRPBMeasurementBundle& m) {
             NanoMessageSetArray(m, kBundleUserAttributesSlot, std::vector<MSRPBUserAttribute>{attribute("_npa", 0)});
         },
         true},
    };
    for (const CompatibilityCase& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        MSRPBMeasurementBundle first;
        NanoMessageSetString(first, kBundleConsentSignalsSlot, "G111");
        NanoMessageSetString(first, kConsentDiagnosticsSlot, "11");
        MSRPBMeasurementBundle second = first;
        testCase.change(second);
        EXPECT_EQ(MSRBundlesHaveCompatibleMetadata(first, second), testCase.compatible);
        EXPECT_EQ(MSRBundlesHaveCompatibleMetadata(second, first), testCase.compatible);
    }
}

TEST(BundleCompatibility, FirstOpenAndAnalyticsStorageDenial) {
    MSRPBMeasurementBundle message;
    MSRPBEvent event;
    NanoMessageSetString(event, 1, "_s");
    NanoMessageSetArray(message, kBundleEventsSlot, std::vector<MSRPBEvent>{event});
    EXPECT_FALSE(MSRBundleHasFirstOpenEvent(message));
    NanoMessageSetString(event, 1, "_f");
    NanoMessageSetArray(message, kBundleEventsSlot, std::vector<MSRPBEvent>{MSRPBEvent(), event});
    EXPECT_TRUE(MSRBundleHasFirstOpenEvent(message));

    const std::pair<std::string_view, bool> signals[] = {
        {"G110", true}, {"G11D", true}, {"G11d", true}, {"G111", false}, {"G11", false}, {"", false}, {"G1G1", false}};
    for (const auto& [text, denied] : signals) {
        EXPECT_EQ(MSRIsAnalyticsStorageDeniedInSignals(text), denied) << text;
    }
}

}  // namespace
}  // namespace kit::measurement::testing
