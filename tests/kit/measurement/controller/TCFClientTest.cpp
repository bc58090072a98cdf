#include "ControllerTestSupport.h"
#include "kit/measurement/controller/MSRTCFClient.h"

#include "platform/UserDefaults.h"

#include <cstdlib>
#include <functional>
#include <stdexcept>

namespace kit::measurement {
namespace {

using platform::Value;
using testing::ControllerTest;

const std::string kCopySuite = "com.lumen.lmp.measurement.tcf.userdefaults";

// Our vendor is number 755: bit 754 of the vendor strings.
std::string vendorBits(bool present) { return std::string(754, '0') + (present ? "1" : "0"); }

// Every key a platform writes for a user who grants everything.
Value::Dictionary grantingKeys() {
    return {
        {"IABTCF_EnableAdvertiserConsentMode", 1},
        {"IABTCF_CmpSdkID", 300},
        {"IABTCF_gdprApplies", 1},
        {"IABTCF_PolicyVersion", 4},
        {"IABTCF_PurposeConsents", "1111111111"},
        {"IABTCF_PurposeLegitimateInterests", "1111111111"},
        {"IABTCF_VendorConsents", vendorBits(true)},
        {"IABTCF_VendorLegitimateInterests", vendorBits(true)},
    };
}

Value::Dictionary with(Value::Dictionary keys, const Value::Dictionary& changes) {
    for (const auto& [key, value] : changes) {
        if (value.isNull()) {
            keys.erase(key);
        } else {
            keys.insert_or_assign(key, value);
        }
    }
    return keys;
}

// The facade's set-consent call, recorded; it can look at the stored copy
// while it runs, and can fail as a process ending there would.
class RecordingConsentSink final : public MSRConsentSink {
public:
    void setConsent(const MSRConsentDictionary& settings, std::string_view key) override {
        if (duringCall) {
            duringCall();
        }
        calls.push_back({settings, std::string(key)});
    }
    std::vector<std::pair<MSRConsentDictionary, std::string>> calls;
    std::function<void()> duringCall;
};

class TCFClientTest : public ControllerTest {
protected:
    void writeKeys(const Value::Dictionary& keys) {
        iabDefaults_->clearAllData();
        for (const auto& [key, value] : keys) {
            iabDefaults_->setObject(value, key);
        }
    }

    MSRTCFClient makeClient(Value::Dictionary info = {}) {
        MSRTCFClient::Environment environment;
        environment.userDefaults = iabDefaults_;
        environment.infoDictionary = Value(std::move(info));
        environment.consentSink = sink_;
        return MSRTCFClient(std::move(environment));
    }

    std::optional<std::string> storedRepresentation() {
        platform::UserDefaults copy(kCopySuite);
        return copy.stringForKey("tcf_StringRepresentation");
    }

    std::shared_ptr<MSRUserDefaults> iabDefaults_ = std::make_shared<MSRUserDefaults>(std::string("tcf-test-keys"));
    std::shared_ptr<RecordingConsentSink> sink_ = std::make_shared<RecordingConsentSink>();
};

MSRConsentDictionary consent(const char* adStorage, const char* adPersonalization, const char* adUserData) {
    return {{"ad_storage", adStorage}, {"ad_personalization", adPersonalization}, {"ad_user_data", adUserData}};
}

struct TCFCase {
    const char* name;
    Value::Dictionary keys;
    std::optional<MSRConsentDictionary> applied;  // none: the facade is not called
    const char* tcfd;
    const char* tcfd2;
    const char* tcfm;
};

TEST_F(TCFClientTest, KeysGiveConsentAndTheChangedEvent) {
    const std::string restrictedFirst = std::string(754, '3') + "0";
    const std::string legitimateOnly = std::string(754, '3') + "2";
    const TCFCase cases[] = {
        {"everything granted", grantingKeys(), consent("granted", "granted", "granted"), "14I4f", "21111", "01"},
        {"vendor without legitimate interest",
         with(grantingKeys(), {{"IABTCF_VendorLegitimateInterests", vendorBits(false)}}),
         consent("granted", "granted", "denied"), "14I4f", "21115", "01"},
        {"policy version 2", with(grantingKeys(), {{"IABTCF_PolicyVersion", 2}}),
         consent("granted", "granted", "denied"), "14I2f", "21111", "01"},
        {"purpose 1 not allowed by the publisher",
         with(grantingKeys(), {{"IABTCF_PublisherRestrictions1", restrictedFirst}}),
         consent("denied", "granted", "denied"), "14I4f", "23111", "01"},
        {"purpose 3 limited to legitimate interest",
         with(grantingKeys(), {{"IABTCF_PublisherRestrictions3", legitimateOnly}}),
         consent("granted", "denied", "granted"), "14I4f", "21811", "01"},
        {"purpose one treatment in CH",
         with(grantingKeys(), {{"IABTCF_PurposeConsents", "0111111111"},
                               {"IABTCF_PurposeOneTreatment", 1},
                               {"IABTCF_PublisherCC", "CH"}}),
         consent("granted", "granted", "granted"), "14I4f", "21111", "01"},
        {"purpose one treatment elsewhere",
         with(grantingKeys(), {{"IABTCF_PurposeConsents", "0111111111"},
                               {"IABTCF_PurposeOneTreatment", 1},
                               {"IABTCF_PublisherCC", "DE"}}),
         consent("denied", "granted", "denied"), "14I4f", "26111", "01"},
        {"CMP ID out of range", with(grantingKeys(), {{"IABTCF_CmpSdkID", 5000}}),
         consent("granted", "granted", "granted"), "1004f", "21111", "01"},
        {"advertiser consent mode off", with(grantingKeys(), {{"IABTCF_EnableAdvertiserConsentMode", 0}}), std::nullopt,
         "14I47", "21111", "01"},
        {"vendor missing: the one-time fix applies",
         with(grantingKeys(), {{"IABTCF_VendorConsents", vendorBits(false)}}), consent("denied", "denied", "denied"),
         "14I4f", "24441", "10"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        platform::UserDefaults(kCopySuite).removeAll();
        sink_->calls.clear();
        writeKeys(item.keys);
        MSRTCFClient client = makeClient();
        client.setConsentFromTCFData();

        const auto events = services().drainEvents();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].origin, "auto");
        EXPECT_EQ(events[0].name, "_tcf");
        EXPECT_EQ(events[0].parameters.at("_tcfd"), MSRValue::initWithString(item.tcfd));
        EXPECT_EQ(events[0].parameters.at("_tcfd2"), MSRValue::initWithString(item.tcfd2));
        EXPECT_EQ(events[0].parameters.at("_tcfm"), MSRValue::initWithString(item.tcfm));
        if (item.applied) {
            ASSERT_EQ(sink_->calls.size(), 1u);
            EXPECT_EQ(sink_->calls[0].first, *item.applied);
            EXPECT_EQ(sink_->calls[0].second, "consent_settings_tcf");
        } else {
            EXPECT_TRUE(sink_->calls.empty());
        }
        // The copy is stored whether or not consent was applied.
        EXPECT_EQ(storedRepresentation(), client.stringRepresentationFromTCFData());

        // Unchanged keys: nothing more happens.
        makeClient().setConsentFromTCFData();
        EXPECT_TRUE(services().drainEvents().empty());
        EXPECT_EQ(sink_->calls.size(), item.applied ? 1u : 0u);
    }
}

TEST_F(TCFClientTest, RepresentationNamesWhatWasRead) {
    writeKeys({});
    MSRTCFClient empty = makeClient();
    empty.setConsentFromTCFData();
    EXPECT_EQ(empty.stringRepresentationFromTCFData(), "_v_=2,isTCFDataEnabled=1");
    EXPECT_FALSE(empty.hasTCFDataToRead());
    EXPECT_TRUE(services().drainEvents().empty());
    EXPECT_TRUE(sink_->calls.empty());
    EXPECT_EQ(storedRepresentation(), std::nullopt);

    // Data switched off in the Info.plist, or by a value that is not a number.
    EXPECT_EQ(makeClient({{"LUMEN_ANALYTICS_TCF_DATA_ENABLED", false}}).stringRepresentationFromTCFData(),
              "_v_=2,isTCFDataEnabled=0");
    EXPECT_EQ(makeClient({{"LUMEN_ANALYTICS_TCF_DATA_ENABLED", "YES"}}).stringRepresentationFromTCFData(),
              "_v_=2,isTCFDataEnabled=0");
    EXPECT_EQ(makeClient({{"LUMEN_ANALYTICS_TCF_DATA_ENABLED", 1}}).stringRepresentationFromTCFData(),
              "_v_=2,isTCFDataEnabled=1");

    writeKeys(with(grantingKeys(), {{"IABTCF_PublisherRestrictions1", std::string(754, '3') + "0"},
                                    {"IABTCF_PublisherRestrictions10", std::string(754, '3') + "1"},
                                    {"IABTCF_PurposeOneTreatment", 0.5},
                                    {"IABTCF_PublisherCC", "FR"}}));
    MSRTCFClient full = makeClient();
    full.readTCFData();
    EXPECT_EQ(full.stringRepresentationFromTCFData(),
              "_v_=2,isTCFDataEnabled=1,isAdvertiserConsentModeEnabled=1,cmpSDKID=300,hasLumenInVendorConsents=1,"
              "hasLumenInVendorLegitimateInterests=1,gdprApplies=1,policyVersion=4,purposeConsents=1111111111,"
              "purposeLegitimateInterests=1111111111,publisherRestrictions=0|||||||||1,"
              "isPurposeOneTreatmentEnabled=0.5,publisherCC=FR");
}

TEST_F(TCFClientTest, WrongTypedValuesReadAsNone) {
    writeKeys({
        {"IABTCF_EnableAdvertiserConsentMode", "1"},
        {"IABTCF_gdprApplies", "1"},
        {"IABTCF_CmpSdkID", "300"},
        {"IABTCF_PolicyVersion", Value::Array{Value(4)}},
        {"IABTCF_PurposeConsents", 1111111111},
        {"IABTCF_VendorConsents", true},
        {"IABTCF_PublisherCC", 7},
        {"IABTCF_PublisherRestrictions1", 0},
    });
    MSRTCFClient client = makeClient();
    client.setConsentFromTCFData();
    EXPECT_EQ(client.tcfData().values().isAdvertiserConsentModeEnabled, std::nullopt);
    EXPECT_EQ(client.tcfData().values().purposeConsents, std::nullopt);
    EXPECT_EQ(client.stringRepresentationFromTCFData(), "_v_=2,isTCFDataEnabled=1");
    EXPECT_TRUE(services().drainEvents().empty());
    EXPECT_TRUE(sink_->calls.empty());
}

TEST_F(TCFClientTest, TheCopyIsAPlistFileAndGivesThePreviousConsent) {
    writeKeys(with(grantingKeys(), {{"IABTCF_PublisherRestrictions3", std::string(754, '3') + "2"}}));
    MSRTCFClient client = makeClient();
    client.setConsentFromTCFData();
    EXPECT_EQ(client.previousConsent(), consent("granted", "denied", "granted"));

    const auto file = platform::UserDefaults(kCopySuite).filePath();
    ASSERT_TRUE(std::filesystem::exists(file));
    if (std::system("command -v plistutil >/dev/null 2>&1") == 0) {
        // plistutil exits 0 even when it cannot read its input: what it
        // writes is the verdict.
        const auto converted = root() / "copy.bplist";
        const std::string command =
            "plistutil -i '" + file.string() + "' -f bin -o '" + converted.string() + "' 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(platform::testing::readFile(converted).substr(0, 8), "bplist00");
    }
    const Value::Dictionary stored = platform::UserDefaults(kCopySuite).dictionaryRepresentation();
    EXPECT_EQ(stored.at("IABTCF_PublisherRestrictions"), Value(Value::Array{"", "", "2", "", "", "", "", "", "", ""}));
    EXPECT_EQ(stored.at("LUMEN_ANALYTICS_TCF_DATA_ENABLED"), Value(true));

    client.clearPersistedValues();
    EXPECT_TRUE(platform::UserDefaults(kCopySuite).dictionaryRepresentation().empty());
}

TEST_F(TCFClientTest, ConsentIsAppliedBeforeTheCopySaysSeen) {
    writeKeys(with(grantingKeys(), {{"IABTCF_PurposeConsents", "0000000000"}}));
    // A process that ends inside the facade's call: the copy must not yet
    // claim the data was handled.
    bool copyStoredDuringCall = true;
    sink_->duringCall = [&] {
        copyStoredDuringCall = storedRepresentation().has_value();
        throw std::runtime_error("process ended");
    };
    EXPECT_THROW(makeClient().setConsentFromTCFData(), std::runtime_error);
    EXPECT_FALSE(copyStoredDuringCall);
    EXPECT_EQ(storedRepresentation(), std::nullopt);

    // The next start sees the data as new and the denial reaches the facade.
    sink_->duringCall = nullptr;
    MSRTCFClient next = makeClient();
    next.setConsentFromTCFData();
    ASSERT_EQ(sink_->calls.size(), 1u);
    EXPECT_EQ(sink_->calls[0].first, consent("denied", "denied", "denied"));
    EXPECT_EQ(storedRepresentation(), next.stringRepresentationFromTCFData());
}

TEST(TCFDataTest, LegalBasisAndRestrictions) {
    MSRTCFValues values;
    values.publisherRestrictions = std::vector<std::string>{"0", "1", "2", "", "x", "1", "2", "", "", ""};
    const MSRTCFData data(nullptr, values);
    // Purpose, restriction, basis.
    const std::tuple<int, int, MSRTCFLegalBasis> cases[] = {
        {1, 0, MSRTCFLegalBasis::notAllowed},           {2, 1, MSRTCFLegalBasis::consent},
        {3, 2, MSRTCFLegalBasis::blockedByRestriction}, {4, 3, MSRTCFLegalBasis::consent},
        {5, 3, MSRTCFLegalBasis::notAllowed},           {6, 1, MSRTCFLegalBasis::notAllowed},
        {7, 2, MSRTCFLegalBasis::legitimateInterest},   {10, 3, MSRTCFLegalBasis::legitimateInterest},
        {11, 3, MSRTCFLegalBasis::notAllowed},
    };
    for (const auto& [purpose, restriction, basis] : cases) {
        EXPECT_EQ(data.publisherRestrictionForPurposeID(purpose), restriction) << purpose;
        EXPECT_EQ(data.legalBasisCheckFromPurposeID(purpose), basis) << purpose;
    }
}

}  // namespace
}  // namespace kit::measurement
