#include "kit/measurement/controller/MSRConsentSettingsUtil.h"
#include "kit/core/KitContext.h"

#include "platform/Bundle.h"

#include "TestSupport.h"

#include <functional>
#include <thread>
#include <vector>

namespace kit::measurement {
namespace {

using platform::Value;
using Util = MSRConsentSettingsUtil;

// The consent state belongs to the test's kit context.
class ConsentSettingsTest : public ::testing::Test {};

TEST(ConsentNamesTest, NamesAndNumbersConvertBothWays) {
    const std::pair<std::int64_t, std::optional<std::string_view>> types[] = {
        {0, std::nullopt},         {1, "ad_storage"}, {2, "analytics_storage"}, {3, "ad_user_data"},
        {4, "ad_personalization"}, {5, std::nullopt}, {-1, std::nullopt}};
    for (const auto& [number, name] : types) {
        EXPECT_EQ(MSRConsentTypeName(number), name) << number;
        if (name) {
            EXPECT_EQ(MSRConsentTypeFromName(*name), number);
        }
    }
    EXPECT_EQ(MSRConsentTypeFromName("AD_STORAGE"), 0);
    EXPECT_EQ(MSRConsentTypeFromName(""), 0);

    EXPECT_EQ(MSRConsentStatusName(1), std::optional<std::string_view>("granted"));
    EXPECT_EQ(MSRConsentStatusName(2), std::optional<std::string_view>("denied"));
    EXPECT_EQ(MSRConsentStatusName(0), std::nullopt);
    EXPECT_EQ(MSRConsentStatusName(3), std::nullopt);
    EXPECT_EQ(MSRConsentStatusFromName("granted"), 1);
    EXPECT_EQ(MSRConsentStatusFromName("denied"), 2);
    EXPECT_EQ(MSRConsentStatusFromName("eu_consent_policy"), 0);

    const std::pair<std::int64_t, std::int64_t> diagnostics[] = {{5, 7},  {10, 5},  {20, 3}, {30, 5},
                                                                 {40, 4}, {100, 0}, {0, 0},  {6, 0}};
    for (const auto& [source, code] : diagnostics) {
        EXPECT_EQ(MSRConsentDiagnosticFromSource(source), code) << source;
    }
}

struct StateCase {
    const char* name;
    std::function<void()> arrange;
    bool adStorageDenied;
    bool analyticsStorageDenied;
    bool adUserDataDenied;
    std::optional<std::int64_t> adPersonalization;
    const char* signals;
    const char* diagnostics;
    const char* description;
};

TEST_F(ConsentSettingsTest, StatesGiveTheirAnswersSignalsDiagnosticsAndDescription) {
    const StateCase cases[] = {
        {"nothing set", [] {}, false, false, false, std::nullopt, "G1--", "19999",
         "ad_storage is granted. analytics_storage is granted."},
        {"regional policy without regional defaults",
         [] {
             Util::setConsentSettings(MSRConsentDictionary{{"ad_user_data", "eu_consent_policy"}});
         },
         false, false, true, std::nullopt, "G1--", "19989",
         "ad_storage is granted. analytics_storage is granted. ad_user_data is denied (eu_consent_policy)."},
        {"regional policy with a regional grant",
         [] {
             Util::setRegionalDefaults(MSRConsentDictionary{{"ad_user_data", "granted"}});
             Util::setConsentSettings(MSRConsentDictionary{{"ad_user_data", "eu_consent_policy"}});
         },
         false, false, false, std::nullopt, "G1--", "19989",
         "ad_storage is granted. analytics_storage is granted. ad_user_data is granted (eu_consent_policy)."},
        {"ad user data delegated to a denied ad storage",
         [] {
             Util::setDelegatedSettings(MSRConsentDictionary{{"ad_user_data", "ad_storage"}});
             Util::updateSettings(MSRConsentDictionary{{"ad_storage", "denied"}}, kMSRConsentSourceAPI);
         },
         true, false, true, std::nullopt, "G10-", "15929", "ad_storage is denied. analytics_storage is granted."},
        {"set through the interface",
         [] {
             Util::updateSettings(MSRConsentDictionary{{"ad_storage", "granted"}, {"analytics_storage", "denied"}},
                                  kMSRConsentSourceAPI);
         },
         false, true, false, std::nullopt, "G110", "15599", "ad_storage is granted. analytics_storage is denied."},
        {"source changed to the Info.plist afterwards",
         [] {
             Util::updateSettings(MSRConsentDictionary{{"ad_storage", "granted"}, {"analytics_storage", "denied"}},
                                  kMSRConsentSourceAPI);
             Util::setConsentSource(kMSRConsentSourcePlist);
         },
         false, true, false, std::nullopt, "G110", "13399", "ad_storage is granted. analytics_storage is denied."},
        {"remote defaults only",
         [] {
             Util::setDefaultSettings(MSRConsentDictionary{
                 {"ad_storage", "denied"}, {"ad_user_data", "denied"}, {"ad_personalization", "granted"}});
         },
         false, false, true, 1, "G1--", "19911", "ad_storage is granted. analytics_storage is granted."},
        {"values of another kind and capitals",
         [] {
             Util::setConsentSettings(MSRConsentDictionary{{"ad_storage", 1}, {"ad_personalization", "DENIED"}});
         },
         false, false, false, 0, "G1--", "10990",
         "ad_storage is 1. analytics_storage is granted. ad_personalization is DENIED."},
        {"start settings, then personalisation unset",
         [] {
             Util::updateSettings(MSRConsentDictionary{{"ad_storage", "granted"}, {"ad_personalization", "granted"}},
                                  kMSRConsentSourceOnStart);
             Util::unsetAdPersonalization();
         },
         false, false, false, std::nullopt, "G11-", "14999", "ad_storage is granted. analytics_storage is granted."},
        {"everything cleared",
         [] {
             Util::setDefaultSettings(MSRConsentDictionary{{"ad_user_data", "denied"}});
             Util::updateSettings(MSRConsentDictionary{{"ad_storage", "denied"}}, kMSRConsentSourceTCF);
             Util::clearAllSettings();
         },
         false, false, false, std::nullopt, "G1--", "19999", "ad_storage is granted. analytics_storage is granted."},
        {"transparency data",
         [] {
             Util::updateSettings(MSRConsentDictionary{{"ad_storage", "denied"}}, kMSRConsentSourceTCF);
         },
         true, false, false, std::nullopt, "G10-", "17999", "ad_storage is denied. analytics_storage is granted."},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        kit::KitContext fresh;
        item.arrange();
        EXPECT_EQ(Util::isAdStorageDenied(), item.adStorageDenied);
        EXPECT_EQ(Util::isAnalyticsStorageDenied(), item.analyticsStorageDenied);
        EXPECT_EQ(Util::isAdUserDataDenied(), item.adUserDataDenied);
        EXPECT_EQ(Util::didAdUserDataConsentChange(!item.adUserDataDenied), true);
        EXPECT_EQ(Util::adPersonalization(), item.adPersonalization);
        EXPECT_EQ(Util::consentSignals(), item.signals);
        EXPECT_EQ(Util::consentDiagnostics(), item.diagnostics);
        EXPECT_EQ(Util::description(), item.description);
    }
}

TEST_F(ConsentSettingsTest, ClearingTheSettingsResetsTheSource) {
    Util::updateSettings(MSRConsentDictionary{{"ad_storage", "denied"}}, kMSRConsentSourceAPI);
    EXPECT_EQ(Util::consentSource(), kMSRConsentSourceAPI);
    Util::setConsentSettings(std::nullopt);
    EXPECT_EQ(Util::consentSource(), kMSRConsentSourceNone);
    EXPECT_FALSE(Util::consentSettings().has_value());
    // A plain merge keeps the source and the stored digit (9: nothing was
    // set when the source changed).
    Util::setConsentSource(kMSRConsentSourceOnStart);
    Util::updateSettings(MSRConsentDictionary{{"analytics_storage", "granted"}});
    EXPECT_EQ(Util::consentSource(), kMSRConsentSourceOnStart);
    EXPECT_EQ(Util::consentDiagnostics(), "19999");
    Util::setDiagnosticSource(3, "analytics_storage");
    EXPECT_EQ(Util::consentDiagnostics(), "19399");
}

TEST_F(ConsentSettingsTest, PriorityMatrix) {
    const std::int64_t sources[] = {5, 10, 20, 30, 40, 100};
    // Rows: the current source; columns: the candidate, in the order above.
    const char* higher[] = {"110000", "110000", "111000", "111100", "111110", "111111"};
    const char* equal[] = {"110000", "110000", "001000", "000100", "000010", "000001"};
    for (std::size_t row = 0; row < std::size(sources); ++row) {
        Util::setConsentSource(sources[row]);
        for (std::size_t column = 0; column < std::size(sources); ++column) {
            SCOPED_TRACE(::testing::Message() << "current " << sources[row] << ", candidate " << sources[column]);
            EXPECT_EQ(Util::isConsentSourceHigherPriority(sources[column]), higher[row][column] == '1');
            EXPECT_EQ(Util::isConsentSourceEqualPriority(sources[column]), equal[row][column] == '1');
        }
    }
}

struct PlistCase {
    std::string_view key;
    Value value;
    std::optional<Value> expected;
};

TEST(ConsentPlistTest, InfoPlistValuesConvertByKind) {
    const PlistCase cases[] = {
        {kMSRPlistDefaultAllowAdStorage, Value(true), Value("granted")},
        {kMSRPlistDefaultAllowAnalyticsStorage, Value(0), Value("denied")},
        {kMSRPlistDefaultAllowAnalyticsStorage, Value(7), Value("granted")},
        {kMSRPlistDefaultAllowAdUserData, Value("NO"), Value("denied")},
        {kMSRPlistDefaultAllowAdUserData, Value("yes"), Value("granted")},
        {kMSRPlistDefaultAllowAdStorage, Value("eu_consent_policy"), Value("denied")},
        {kMSRPlistDefaultAllowAdUserData, Value("EU_Consent_Policy"), Value("eu_consent_policy")},
        {kMSRPlistDefaultAllowAdPersonalization, Value(true), std::nullopt},
        {kMSRPlistDefaultAllowAdPersonalization, Value("NO"), Value("denied")},
        {kMSRPlistDefaultAllowAdPersonalization, Value("eu_consent_policy"), Value("eu_consent_policy")},
        {kMSRPlistDefaultAllowAdStorage, Value(Value::Array{Value(true)}), std::nullopt},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(::testing::Message() << item.key << " = " << item.value.toJson());
        platform::testing::TemporaryDirectory resources;
        Value::Dictionary info{{"CFBundleIdentifier", "org.example.consent"}, {std::string(item.key), item.value}};
        platform::testing::writeFile(resources.path() / "Info.plist", Value(info).toXmlPlist());
        const platform::Bundle bundle(resources.path());
        const MSRConsentDictionary settings = Util::consentSettingsFromPlist(bundle);
        if (item.expected) {
            ASSERT_EQ(settings.size(), 1u);
            EXPECT_EQ(settings.begin()->second, *item.expected);
        } else {
            EXPECT_TRUE(settings.empty());
        }
    }
}

TEST_F(ConsentSettingsTest, OnlyTheFourTypesAreTakenFromADictionary) {
    const auto settings = Util::consentSettingsFromDictionary(
        MSRConsentDictionary{{"ad_storage", "granted"}, {"ad_user_data", 3}, {"other", "denied"}});
    EXPECT_EQ(settings, (MSRConsentDictionary{{"ad_storage", "granted"}, {"ad_user_data", 3}}));
}

TEST_F(ConsentSettingsTest, OnlyVersionsOneAndTwoAreStored) {
    EXPECT_EQ(Util::version(), 1);
    Util::setVersion(2);
    Util::setVersion(3);
    EXPECT_EQ(Util::version(), 2);
    Util::setVersion(0);
    EXPECT_EQ(Util::version(), 2);
    Util::setVersion(1);
    EXPECT_EQ(Util::version(), 1);
}

TEST_F(ConsentSettingsTest, EachThreadReadsItsOwnWrites) {
    // Each thread owns one type; every read follows that thread's write at once.
    const auto writer = [](std::string type, std::function<bool()> isDenied) {
        for (int round = 0; round < 300; ++round) {
            const bool deny = round % 2 == 0;
            Util::updateSettings(MSRConsentDictionary{{type, deny ? "denied" : "granted"}});
            EXPECT_EQ(isDenied(), deny);
        }
    };
    std::thread adStorage(writer, "ad_storage", [] { return Util::isAdStorageDenied(); });
    std::thread analyticsStorage(writer, "analytics_storage", [] { return Util::isAnalyticsStorageDenied(); });
    adStorage.join();
    analyticsStorage.join();
}

}  // namespace
}  // namespace kit::measurement
