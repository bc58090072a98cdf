#include "InstallationsTestSupport.h"
#include "Process.h"
#include "kit/core/SecureItemStore.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/InstallationsStore.h"

#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>

namespace kit::installations {
namespace {

using installations::testing::containsLine;
using installations::testing::reasonOf;
using installations::testing::settle;
using promises::Null;

constexpr const char* kAppID = "1:123:linux:abc";
constexpr const char* kAppName = "__HLOAPP_DEFAULT";

// Secure items in memory whose reads or writes can be made to fail with EIO.
class FaultySecureItemStore final : public SecureItemStore {
public:
    std::atomic<bool> failReads{false};
    std::atomic<bool> failWrites{false};

    int copyMatching(const SecureItemQuery& query, std::vector<std::uint8_t>& data) override {
        return failReads ? EIO : items_.copyMatching(query, data);
    }
    int add(const SecureItemQuery& query, std::span<const std::uint8_t> data) override {
        return failWrites ? EIO : items_.add(query, data);
    }
    int update(const SecureItemQuery& query, std::span<const std::uint8_t> data) override {
        return failWrites ? EIO : items_.update(query, data);
    }
    int remove(const SecureItemQuery& query) override { return failWrites ? EIO : items_.remove(query); }

private:
    InMemorySecureItemStore items_;
};

class InstallationsStoreTest : public kit::testing::KitTest {
protected:
    std::unique_ptr<HLOInstallationsStore> makeStore(std::optional<std::string> accessGroup = std::nullopt) {
        return std::make_unique<HLOInstallationsStore>(keychain, std::move(accessGroup));
    }

    static HLOInstallationsItem registeredItem() {
        HLOInstallationsItem item(kAppID, kAppName);
        item.haloInstallationID = "fwARIjNEVUZ3iJmqu8zd7v";
        item.refreshToken = "refresh-token";
        item.authToken.status = HLOInstallationsAuthTokenStatus::tokenReceived;
        item.authToken.token = "auth-token";
        item.authToken.expirationDate =
            platform::Value::Date(std::chrono::seconds(1'900'000'000) + std::chrono::microseconds(250'000));
        item.registrationStatus = HLOInstallationsRegistrationStatus::registered;
        item.IIDDefaultToken = "legacy-token";
        return item;
    }

    // Puts an object in the secure storage as it is, bypassing the store.
    void storeRaw(const std::string& className, platform::Value value) {
        std::promise<void> done;
        keychain->setObject({className, std::move(value)}, HLOInstallationsItem::identifierWithAppID(kAppID, kAppName),
                            std::nullopt, [&](platform::Expected<KeychainObject> result) {
                                EXPECT_TRUE(result.hasValue());
                                done.set_value();
                            });
        done.get_future().wait();
        keychain->resetInMemoryCache();
    }

    static std::string markerFileAsXml(const std::filesystem::path& file) {
        const auto result =
            platform::testing::runCommand("plistutil -i " + platform::testing::shellQuote(file.string()) + " -f xml");
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return result.output;
    }

    static void expectNotFound(const promises::ErrorPointer& error) {
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->domain(), "com.halo.installations");
        EXPECT_EQ(error->code(), 0);
        EXPECT_EQ(error->failureReason(),
                  std::string("Installation for appID ") + kAppID + " appName " + kAppName + " not found");
        EXPECT_TRUE(HLOInstallationsErrorUtil::isInstallationItemNotFoundError(*error));
    }

    std::shared_ptr<FaultySecureItemStore> items = std::make_shared<FaultySecureItemStore>();
    std::shared_ptr<LMUKeychainStorage> keychain =
        std::make_shared<LMUKeychainStorage>(HLOInstallationsStore::keychainServiceWithAppID(kAppID), items);
};

TEST_F(InstallationsStoreTest, KeychainServiceNamesTheApp) {
    EXPECT_EQ(HLOInstallationsStore::keychainServiceWithAppID(kAppID),
              "com.halo.HLOInstallations.installations.1:123:linux:abc");
}

TEST_F(InstallationsStoreTest, SavedInstallationReadsBack) {
    auto store = makeStore();
    const auto saved = settle(store->saveInstallation(registeredItem()));
    ASSERT_EQ(saved.error, nullptr) << saved.error->what();
    keychain->resetInMemoryCache();  // read the stored bytes, not the cache

    const auto read = settle(store->installationForAppID(kAppID, kAppName));
    ASSERT_EQ(read.error, nullptr) << read.error->what();
    const auto& item = *read.value;
    const auto expected = registeredItem();
    EXPECT_EQ(item.appID(), kAppID);
    EXPECT_EQ(item.haloAppName(), kAppName);
    EXPECT_EQ(item.haloInstallationID, expected.haloInstallationID);
    EXPECT_EQ(item.refreshToken, expected.refreshToken);
    EXPECT_EQ(item.authToken.token, expected.authToken.token);
    EXPECT_EQ(item.authToken.status, expected.authToken.status);
    EXPECT_EQ(item.registrationStatus, expected.registrationStatus);
    EXPECT_EQ(item.IIDDefaultToken, expected.IIDDefaultToken);
    ASSERT_TRUE(item.authToken.expirationDate.has_value());
    const auto drift = *item.authToken.expirationDate - *expected.authToken.expirationDate;
    EXPECT_LT(std::chrono::abs(drift), std::chrono::seconds(1));
}

TEST_F(InstallationsStoreTest, MarkerIsTrueUnderTheIdentifierInTheSuiteFile) {
    struct Case {
        std::optional<std::string> accessGroup;
        const char* suiteFile;
    };
    for (const Case& test : {Case{std::nullopt, "com.halo.HLOInstallations.plist"},
                             Case{std::string("group.org.stubforge.shared"), "group.org.stubforge.shared.plist"}}) {
        auto store = makeStore(test.accessGroup);
        const auto file = platform::paths::settingsFolder() / test.suiteFile;
        EXPECT_EQ(store->markerSuiteFile(), file);
        ASSERT_EQ(settle(store->saveInstallation(registeredItem())).error, nullptr);
        const std::string xml = markerFileAsXml(file);
        const auto key = xml.find(std::string("<key>") + kAppID + kAppName + "</key>");
        ASSERT_NE(key, std::string::npos) << xml;
        const auto value = xml.find_first_not_of(" \t\n", xml.find("</key>", key) + 6);
        EXPECT_EQ(xml.compare(value, 7, "<true/>"), 0) << xml;
    }
}

TEST_F(InstallationsStoreTest, MarkerWithoutItemOrItemWithoutMarkerIsNotFound) {
    struct Case {
        const char* name;
        std::function<void(HLOInstallationsStore&)> breakIt;
    };
    const std::vector<Case> cases = {
        {"nothing saved", [](HLOInstallationsStore&) {}},
        {"marker removed",
         [](HLOInstallationsStore& store) {
             ASSERT_EQ(
                 settle(store.setInstallationExists(false, HLOInstallationsItem::identifierWithAppID(kAppID, kAppName)))
                     .error,
                 nullptr);
         }},
        {"item removed, marker kept",
         [this](HLOInstallationsStore&) {
             std::promise<void> done;
             keychain->removeObjectForKey(HLOInstallationsItem::identifierWithAppID(kAppID, kAppName), std::nullopt,
                                          [&](platform::Expected<void>) { done.set_value(); });
             done.get_future().wait();
         }},
        {"both removed",
         [](HLOInstallationsStore& store) {
             ASSERT_EQ(settle(store.removeInstallationForAppID(kAppID, kAppName)).error, nullptr);
         }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        auto store = makeStore();
        if (std::string(test.name) != "nothing saved") {
            ASSERT_EQ(settle(store->saveInstallation(registeredItem())).error, nullptr);
        }
        test.breakIt(*store);
        expectNotFound(settle(store->installationForAppID(kAppID, kAppName)).error);
    }
}

TEST_F(InstallationsStoreTest, RemovalClearsItemAndMarker) {
    auto store = makeStore();
    ASSERT_EQ(settle(store->saveInstallation(registeredItem())).error, nullptr);
    ASSERT_EQ(settle(store->installationExistsForAppID(kAppID, kAppName)).error, nullptr);
    ASSERT_EQ(settle(store->removeInstallationForAppID(kAppID, kAppName)).error, nullptr);
    expectNotFound(settle(store->installationExistsForAppID(kAppID, kAppName)).error);
    std::vector<std::uint8_t> data;
    EXPECT_EQ(items->copyMatching({HLOInstallationsStore::keychainServiceWithAppID(kAppID),
                                   HLOInstallationsItem::identifierWithAppID(kAppID, kAppName), std::nullopt},
                                  data),
              kSecureItemNotFound);
    EXPECT_EQ(markerFileAsXml(store->markerSuiteFile()).find(kAppName), std::string::npos);
}

TEST_F(InstallationsStoreTest, NewerVersionsReadWithAWarning) {
    auto store = makeStore();
    ASSERT_EQ(
        settle(store->setInstallationExists(true, HLOInstallationsItem::identifierWithAppID(kAppID, kAppName))).error,
        nullptr);

    auto archive = registeredItem().storedItem().archivedValue();
    (*archive.asDictionary())["storageVersion"] = 2;
    (*archive.asDictionary())["addedLater"] = "something new";
    storeRaw("HLOInstallationsStoredItem", archive);
    drainLines();
    const auto item = settle(store->installationForAppID(kAppID, kAppName));
    ASSERT_EQ(item.error, nullptr);
    EXPECT_EQ(item.value->haloInstallationID, "fwARIjNEVUZ3iJmqu8zd7v");
    auto lines = drainLines();
    EXPECT_TRUE(containsLine(lines,
                             "[HaloInstallations][I-INS003000] HLOInstallationsStoredItem was encoded by a "
                             "newer coder version 2. Current coder version is 1. Some installation data may "
                             "be lost."))
        << ::testing::PrintToString(lines);
    EXPECT_FALSE(containsLine(lines, "I-INS004000"));

    archive = registeredItem().storedItem().archivedValue();
    (*(*archive.asDictionary())["authToken"].asDictionary())["storageVersion"] = 2;
    storeRaw("HLOInstallationsStoredItem", archive);
    const auto withNewerToken = settle(store->installationForAppID(kAppID, kAppName));
    ASSERT_EQ(withNewerToken.error, nullptr);
    EXPECT_EQ(withNewerToken.value->authToken.token, "auth-token");
    lines = drainLines();
    EXPECT_TRUE(containsLine(lines,
                             "[HaloInstallations][I-INS004000] HLOInstallationsStoredAuthToken was encoded by "
                             "a newer coder version 2. Current coder version is 1. Some auth token data may "
                             "be lost."))
        << ::testing::PrintToString(lines);
    EXPECT_FALSE(containsLine(lines, "I-INS003000"));
}

TEST_F(InstallationsStoreTest, UndecodableItemIsADecodingErrorNotNotFound) {
    struct Case {
        const char* name;
        const char* className;
        platform::Value value;
    };
    const std::vector<Case> cases = {
        {"not a dictionary", "HLOInstallationsStoredItem", platform::Value("fwARIjNEVUZ3iJmqu8zd7v")},
        {"another class", "HLOInstallationsStoredAuthToken", registeredItem().storedItem().archivedValue()},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        auto store = makeStore();
        ASSERT_EQ(
            settle(store->setInstallationExists(true, HLOInstallationsItem::identifierWithAppID(kAppID, kAppName)))
                .error,
            nullptr);
        storeRaw(test.className, test.value);
        const auto read = settle(store->installationForAppID(kAppID, kAppName));
        ASSERT_NE(read.error, nullptr);
        EXPECT_EQ(read.error->domain(), "NSCocoaErrorDomain");
        EXPECT_EQ(read.error->code(), 4864);
    }
}

TEST_F(InstallationsStoreTest, FailingReadsRejectWithTheStorageError) {
    auto store = makeStore();
    ASSERT_EQ(settle(store->saveInstallation(registeredItem())).error, nullptr);
    keychain->resetInMemoryCache();
    items->failReads = true;
    const auto read = settle(store->installationForAppID(kAppID, kAppName));
    ASSERT_NE(read.error, nullptr);
    EXPECT_EQ(read.error->domain(), "com.lmu.keychain.ErrorDomain");
    EXPECT_EQ(reasonOf(*read.error), "SecItemCopyMatching (5)");
    EXPECT_FALSE(HLOInstallationsErrorUtil::isInstallationItemNotFoundError(*read.error));
}

TEST_F(InstallationsStoreTest, FailingItemWriteLeavesTheMarkerAsItWas) {
    const std::string identifier = HLOInstallationsItem::identifierWithAppID(kAppID, kAppName);
    for (const bool markerBefore : {false, true}) {
        SCOPED_TRACE(markerBefore ? "marker set before" : "no marker before");
        auto store = makeStore();
        ASSERT_EQ(settle(store->setInstallationExists(markerBefore, identifier)).error, nullptr);
        items->failWrites = true;
        const auto saved = settle(store->saveInstallation(registeredItem()));
        ASSERT_NE(saved.error, nullptr);
        EXPECT_EQ(saved.error->domain(), "com.lmu.keychain.ErrorDomain");
        EXPECT_EQ(reasonOf(*saved.error), "SecItemAdd (5)");
        EXPECT_EQ(settle(store->installationExistsForAppID(kAppID, kAppName)).error == nullptr, markerBefore);

        // Removal stops at the item as well.
        if (markerBefore) {
            EXPECT_NE(settle(store->removeInstallationForAppID(kAppID, kAppName)).error, nullptr);
            EXPECT_EQ(settle(store->installationExistsForAppID(kAppID, kAppName)).error, nullptr);
        }
        items->failWrites = false;
    }
}

TEST_F(InstallationsStoreTest, FailedMarkerWriteRejectsNamingTheSuiteFile) {
    const auto folder = platform::paths::settingsFolder();
    struct Case {
        const char* name;
        std::function<void()> block;
    };
    const std::vector<Case> cases = {
        {"lock of the suite blocked by a directory",
         [&] { std::filesystem::create_directories(folder / "com.halo.HLOInstallations.plist.lock"); }},
        {"settings folder blocked by a file",
         [&] {
             std::filesystem::create_directories(folder.parent_path());
             platform::testing::writeFile(folder, "in the way");
         }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::filesystem::remove_all(folder);
        test.block();
        auto store = makeStore();
        for (const bool removing : {false, true}) {
            SCOPED_TRACE(removing ? "remove" : "save");
            const auto result = removing ? settle(store->removeInstallationForAppID(kAppID, kAppName))
                                         : settle(store->saveInstallation(registeredItem()));
            ASSERT_NE(result.error, nullptr);
            EXPECT_EQ(result.error->domain(), "com.halo.installations");
            EXPECT_EQ(result.error->code(), 1);
            EXPECT_NE(result.error->failureReason().find(store->markerSuiteFile().string()), std::string::npos)
                << result.error->failureReason();
            ASSERT_NE(result.error->underlyingError(), nullptr);
            EXPECT_EQ(result.error->underlyingError()->domain(), "UserDefaults");
        }
    }
}

TEST_F(InstallationsStoreTest, AccessGroupThatNamesNoSuiteFailsMarkerWrites) {
    auto store = makeStore(std::string("group/with/slashes"));
    const auto saved = settle(store->saveInstallation(registeredItem()));
    ASSERT_NE(saved.error, nullptr);
    EXPECT_EQ(saved.error->code(), 1);
    expectNotFound(settle(store->installationForAppID(kAppID, kAppName)).error);
}

TEST_F(InstallationsStoreTest, OperationsInFlightOutliveTheStore) {
    auto store = makeStore();
    const auto saved = store->saveInstallation(registeredItem());
    const auto exists = store->installationExistsForAppID(kAppID, kAppName);
    store.reset();
    EXPECT_EQ(settle(saved).error, nullptr);
    (void)settle(exists);

    auto again = makeStore();
    EXPECT_EQ(settle(again->installationForAppID(kAppID, kAppName)).error, nullptr);
}

}  // namespace
}  // namespace kit::installations
