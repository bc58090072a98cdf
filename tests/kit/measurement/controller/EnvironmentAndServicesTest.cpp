#include "ControllerTestSupport.h"
#include "FakeIdentitySupport.h"
#include "kit/measurement/controller/MSRAEU.h"
#include "kit/measurement/controller/MSRControllerServices.h"
#include "kit/measurement/controller/MSREnvironmentInfo.h"
#include "kit/measurement/controller/MSRIdentity.h"

#include "kit/core/Environment.h"
#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "platform/Bundle.h"
#include "kit/core/ClassRegistry.h"

#include <algorithm>

namespace kit::measurement {
namespace {

using platform::Value;
using platform::testing::ScopedEnvironment;

class EnvironmentTest : public testing::ControllerTest {};

TEST_F(EnvironmentTest, TimeZoneOffsetFollowsTZ) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"XXX3:30", -210}, {"UTC0", 0}, {"YYY-5:45", 345}, {"ZZZ-14", 840}};
    for (const auto& [zone, minutes] : cases) {
        ScopedEnvironment timeZone("TZ", zone);
        EXPECT_EQ(MSREnvironmentInfo::sharedInstance().timeZoneOffsetMinutes(), minutes) << zone;
    }
}

TEST_F(EnvironmentTest, PreferredLanguageFromTheLocaleVariables) {
    struct Case {
        const char* language;
        const char* all;
        const char* messages;
        const char* lang;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", "de-de"},
        {"fr:en", nullptr, nullptr, "de_DE.UTF-8", "fr"},
        {nullptr, "pt_BR@euro", nullptr, "de_DE", "pt-br"},
        {nullptr, nullptr, "sr_RS.UTF-8@latin", "de_DE", "sr-rs"},
        {"", "", nullptr, "en_GB", "en-gb"},
        {nullptr, nullptr, nullptr, "C", std::nullopt},
        {nullptr, nullptr, nullptr, "POSIX", std::nullopt},
        {nullptr, nullptr, nullptr, "C.UTF-8", std::nullopt},
        {nullptr, nullptr, nullptr, nullptr, std::nullopt},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(::testing::Message() << "LANG=" << (item.lang ? item.lang : "(unset)"));
        ScopedEnvironment language("LANGUAGE", item.language);
        ScopedEnvironment all("LC_ALL", item.all);
        ScopedEnvironment messages("LC_MESSAGES", item.messages);
        ScopedEnvironment lang("LANG", item.lang);
        services().drainCodes();
        EXPECT_EQ(MSREnvironmentInfo::sharedInstance().userDefaultLanguage(), item.expected);
        const auto codes = services().drainCodes();
        EXPECT_EQ(codes, item.expected ? std::vector<std::int64_t>{} : std::vector<std::int64_t>{14001});
    }
}

TEST_F(EnvironmentTest, DeviceFactsComeFromTheFoundation) {
    EXPECT_EQ(MSREnvironmentInfo::sharedInstance().deviceModel(), LMUAppEnvironmentUtil::deviceModel());
    EXPECT_EQ(MSREnvironmentInfo::sharedInstance().deviceOSVersion(), LMUAppEnvironmentUtil::systemVersion());
}

class InstallTest : public testing::ControllerTest {
protected:
    std::shared_ptr<platform::Bundle> makeBundle(bool scInfo, bool provisioning, bool receiptCheckOff = false) {
        const auto folder = root() / ("bundle" + std::to_string(++bundles_));
        std::filesystem::create_directories(folder);
        Value::Dictionary info{{"CFBundleIdentifier", "org.example.install"}};
        if (receiptCheckOff) {
            info.emplace("HaloAppStoreReceiptURLCheckEnabled", false);
        }
        platform::testing::writeFile(folder / "Info.plist", Value(info).toXmlPlist());
        if (scInfo) {
            std::filesystem::create_directories(folder / "SC_Info");
        }
        if (provisioning) {
            platform::testing::writeFile(folder / "embedded.mobileprovision", "profile");
        }
        return std::make_shared<platform::Bundle>(folder);
    }

private:
    int bundles_ = 0;
};

TEST_F(InstallTest, AppStoreInstallTable) {
    struct Case {
        const char* name;
        bool nod;
        const char* receipt;
        bool scInfo;
        bool encrypted;
        bool provisioning;
        bool receiptCheckOff;
        bool expected;
    };
    const Case cases[] = {
        {"nothing", false, nullptr, false, false, false, false, false},
        {"store item", false, nullptr, true, false, false, false, true},
        {"store item, NOD", true, nullptr, true, false, false, false, false},
        {"store item, sandbox receipt", false, "/r/sandboxReceipt", true, false, false, false, false},
        {"store item, store receipt", false, "/r/receipt", true, false, false, false, true},
        {"sandbox receipt, check off", false, "/r/sandboxReceipt", true, false, false, true, true},
        {"encrypted", false, nullptr, false, true, false, false, true},
        {"encrypted, provisioning file", false, nullptr, false, true, true, false, false},
        {"encrypted, sandbox receipt", false, "/r/sandboxReceipt", false, true, false, false, false},
        {"provisioning file only", false, nullptr, false, false, true, false, false},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        MSRInstallEnvironment environment;
        environment.isNOD = item.nod;
        environment.isExecutableEncrypted = item.encrypted;
        if (item.receipt != nullptr) {
            environment.appStoreReceiptURL = std::filesystem::path(item.receipt);
        }
        environment.bundle = makeBundle(item.scInfo, item.provisioning, item.receiptCheckOff);
        MSRAEU::setInstallEnvironment(environment);
        EXPECT_EQ(MSRAEU::isFAS(), item.expected);
    }
    // The product: no receipt, nothing encrypted, not an extension.
    MSRAEU::setInstallEnvironment(std::nullopt);
    EXPECT_FALSE(MSRAEU::isFAS());
    EXPECT_FALSE(MSRAEU::isASRS());
    EXPECT_FALSE(MSRAEU::isAEX());
    EXPECT_EQ(MSRAEU::appStoreRURL(), std::nullopt);
}

TEST_F(InstallTest, SupportCodeSeesDefaultsThenTheControllersAnswers) {
    MSRAEU::setInstallEnvironment(MSRInstallEnvironment{false, false, std::nullopt, makeBundle(true, false)});

    // No controller: the defaults.
    MeasurementServices::install(nullptr);
    EXPECT_FALSE(MeasurementServices::current().isFAS());
    EXPECT_EQ(MeasurementServices::current().appMeasurementLibraryVersion(), kMSRDefaultLibraryVersion);
    resetControllerFacts();
    EXPECT_EQ(currentControllerFacts().appDataConsentStatus(), -1);
    EXPECT_FALSE(currentControllerFacts().isFAS());
    // The monitor saves its sample on its own queue; let it finish before
    // its services are replaced and the test's folders go.
    MSRMeasurementMonitor().waitUntilIdle();

    // The controller's services: the real answers.
    installMeasurementControllerServices();
    EXPECT_TRUE(MeasurementServices::current().isFAS());
    EXPECT_EQ(MeasurementServices::current().appMeasurementLibraryVersion(),
              MSRIdentity::appMeasurementLibraryVersion());
    installIdentityControllerFacts();
    const MSRControllerFacts facts = currentControllerFacts();
    EXPECT_TRUE(facts.isFAS());
    EXPECT_EQ(facts.appDataConsentStatus(), -1);
    EXPECT_EQ(facts.appMeasurementLibraryVersion(), 110900);

    resetControllerFacts();
    MSRMeasurementMonitor().waitUntilIdle();
}

TEST_F(InstallTest, TheControllersFactsAnswerThePlatformLibrarysStatus) {
    auto fake = std::make_shared<testing::FakeIdentitySupport>();
    fake->setStatus(2);
    kit::classRegistry().registerClass<MSRIdentitySupport>(std::string(kMSRPlatformIdentitySupportClassName), fake);
    installMeasurementControllerServices();
    installIdentityControllerFacts();
    EXPECT_EQ(currentControllerFacts().appDataConsentStatus(), 2);
    resetControllerFacts();
    MSRMeasurementMonitor().waitUntilIdle();
}

}  // namespace
}  // namespace kit::measurement
