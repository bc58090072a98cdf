// ChildProcess.h uses EPERM without including <cerrno> itself.
#include <cerrno>

#include "ChildProcess.h"
#include "InstallationsTestSupport.h"
#include "Process.h"
#include "kit/core/MainBundle.h"
#include "kit/core/KeychainStorage.h"
#include "kit/core/SecureItemStore.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/LegacyIdentity.h"
#include "kit/promises/PromiseError.h"

#include "platform/Bundle.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <mutex>

namespace kit::installations {
namespace {

using installations::testing::settle;
using platform::testing::runCommand;
using platform::testing::shellQuote;

const std::vector<std::uint8_t> kKeyBytes = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                             0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};

// The legacy library's secure items as a test sets them up.
class FakeLegacySource final : public LegacyIdentitySource {
public:
    std::map<std::string, std::vector<std::uint8_t>> publicKeys;  // by tag
    std::map<std::string, int> deleteStatus;                      // by tag; kSecureItemNotFound otherwise
    int tokenStatus = kSecureItemNotFound;
    std::vector<std::uint8_t> tokenData;

    int copyPublicKeyData(const std::optional<std::string>& tag, std::vector<std::uint8_t>& data) override {
        const auto found = publicKeys.find(tag.value_or(""));
        if (found == publicKeys.end()) {
            return kSecureItemNotFound;
        }
        data = found->second;
        return kSecureItemSuccess;
    }
    int deleteKey(const std::optional<std::string>& tag) override {
        std::lock_guard lock(mutex_);
        deleted_.push_back(tag.value_or(""));
        const auto found = deleteStatus.find(tag.value_or(""));
        return found == deleteStatus.end() ? kSecureItemNotFound : found->second;
    }
    int copyTokenData(const TokenQuery& query, std::vector<std::uint8_t>& data) override {
        std::lock_guard lock(mutex_);
        lastTokenQuery_ = query;
        if (tokenStatus == kSecureItemSuccess) {
            data = tokenData;
        }
        return tokenStatus;
    }

    std::vector<std::string> deleted() {
        std::lock_guard lock(mutex_);
        return deleted_;
    }
    std::optional<TokenQuery> lastTokenQuery() {
        std::lock_guard lock(mutex_);
        return lastTokenQuery_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> deleted_;          // guarded by mutex_
    std::optional<TokenQuery> lastTokenQuery_;  // guarded by mutex_
};

class InPlaceExecutor final : public platform::Executor {
public:
    void async(platform::Work work) override { work(); }
};

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> plistBytes(const platform::Value& value) { return bytesOf(value.toXmlPlist()); }

class LegacyIdentityTest : public kit::testing::KitTest {
protected:
    static void writeFlagFile(const platform::Value::Dictionary& contents) {
        const auto path = HLOInstallationsIIDStore::flagFilePath();
        std::filesystem::create_directories(path.parent_path());
        platform::testing::writeFile(path, platform::Value(contents).toXmlPlist());
    }

    static std::string flagFileAsXml() {
        const auto result =
            runCommand("plistutil -i " + shellQuote(HLOInstallationsIIDStore::flagFilePath().string()) + " -f xml");
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return result.output;
    }

    static void expectValidationFailure(const promises::ErrorPointer& error) {
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->domain(), promises::promiseErrorDomain);
        EXPECT_EQ(error->code(), 2);
    }

    std::shared_ptr<FakeLegacySource> source = std::make_shared<FakeLegacySource>();
};

TEST_F(LegacyIdentityTest, FlagFileLivesInTheKitsApplicationSupport) {
    EXPECT_EQ(HLOInstallationsIIDStore::flagFilePath(), root() / "data" / kit::mainBundle().bundleIdentifier() /
                                                            "Lumen" / "HaloInstanceID" / "com.lumen.iid-keypair.plist");
    EXPECT_EQ(HLOInstallationsIIDStore::publicKeyTag(),
              "com.lumen.iid.keypair.public-" + kit::mainBundle().bundleIdentifier());
    EXPECT_EQ(HLOInstallationsIIDStore::privateKeyTag(),
              "com.lumen.iid.keypair.private-" + kit::mainBundle().bundleIdentifier());
}

TEST_F(LegacyIdentityTest, IdentifierAgreesWithOpenSSL) {
    ASSERT_TRUE(platform::testing::toolInstalled("openssl"));
    const auto keyFile = root() / "key.bin";
    platform::testing::writeFile(keyFile, std::string(kKeyBytes.begin(), kKeyBytes.end()));
    const auto digest = runCommand("openssl dgst -sha1 -binary " + shellQuote(keyFile.string()), false);
    ASSERT_EQ(digest.exitCode, 0);
    ASSERT_EQ(digest.output.size(), 20u);

    std::string head = digest.output.substr(0, 8);
    head[0] = static_cast<char>(0x70 | (head[0] & 0x0f));
    const auto headFile = root() / "head.bin";
    platform::testing::writeFile(headFile, head);
    const auto encoded =
        runCommand("openssl base64 -A -in " + shellQuote(headFile.string()) + " | tr '+/' '-_' | tr -d '=\\n'", false);
    ASSERT_EQ(encoded.exitCode, 0);

    EXPECT_EQ(HLOInstallationsIIDStore::IIDWithPublicKeyData(kKeyBytes), encoded.output);
    EXPECT_EQ(HLOInstallationsIIDStore::IIDWithPublicKeyData(kKeyBytes), "dheLhqV_rCI");
}

TEST_F(LegacyIdentityTest, ExistingIdentifier) {
    const std::string publicTag = *HLOInstallationsIIDStore::publicKeyTag();
    struct Case {
        const char* name;
        std::optional<platform::Value::Dictionary> flagFile;  // nothing: no file
        std::optional<std::string> rawFlagFile;               // bytes written as they are
        bool keyPresent;
        const char* identifier;  // nullptr: rejected
    };
    const std::vector<Case> cases = {
        {"no flag file", std::nullopt, std::nullopt, true, nullptr},
        {"file without the flag", platform::Value::Dictionary{{"other", "x"}}, std::nullopt, true, nullptr},
        {"file that is no plist", std::nullopt, std::string("not a property list"), true, nullptr},
        {"flag and key", platform::Value::Dictionary{{"|S|cre", "x"}, {"other", 1}}, std::nullopt, true, "dheLhqV_rCI"},
        // Hashing no key data would give every such installation one ID.
        {"flag without key", platform::Value::Dictionary{{"|S|cre", "x"}}, std::nullopt, false, nullptr},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::filesystem::remove_all(HLOInstallationsIIDStore::flagFilePath().parent_path());
        if (test.flagFile) {
            writeFlagFile(*test.flagFile);
        }
        if (test.rawFlagFile) {
            std::filesystem::create_directories(HLOInstallationsIIDStore::flagFilePath().parent_path());
            platform::testing::writeFile(HLOInstallationsIIDStore::flagFilePath(), *test.rawFlagFile);
        }
        source->publicKeys.clear();
        if (test.keyPresent) {
            source->publicKeys[publicTag] = kKeyBytes;
        }
        HLOInstallationsIIDStore store(source);
        const auto outcome = settle(store.existingIID());
        if (test.identifier == nullptr) {
            expectValidationFailure(outcome.error);
        } else {
            ASSERT_EQ(outcome.error, nullptr) << outcome.error->what();
            EXPECT_EQ(*outcome.value, test.identifier);
        }
    }
    // What the empty key data would have given.
    EXPECT_EQ(HLOInstallationsIIDStore::IIDWithPublicKeyData({}), "ejmj7l5rSw0");
}

TEST_F(LegacyIdentityTest, DefaultSourceHoldsNothing) {
    writeFlagFile({{"|S|cre", "x"}});
    HLOInstallationsIIDStore store;
    expectValidationFailure(settle(store.existingIID()).error);
    EXPECT_EQ(settle(store.deleteExistingIID()).error, nullptr);

    HLOInstallationsIIDTokenStore tokens("123456");
    const auto token = settle(tokens.existingIIDDefaultToken());
    ASSERT_NE(token.error, nullptr);
    EXPECT_EQ(token.error->failureReason(), HLOInstallationsErrorUtil::corruptedIIDTokenData().failureReason());
}

TEST_F(LegacyIdentityTest, ExistingDefaultToken) {
    const std::string corrupted(kCorruptedIIDTokenDataReason);
    struct Case {
        const char* name;
        int status;
        std::vector<std::uint8_t> data;
        const char* token;  // nullptr: rejected
        std::string domain;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"token", kSecureItemSuccess, plistBytes(platform::Value::Dictionary{{"token", "t"}}), "t", "", ""},
        {"binary plist of a token", kSecureItemSuccess, {}, "t", "", ""},
        {"empty token", kSecureItemSuccess, plistBytes(platform::Value::Dictionary{{"token", ""}}), nullptr,
         "com.halo.installations", corrupted},
        {"token of another type", kSecureItemSuccess, plistBytes(platform::Value::Dictionary{{"token", 7}}), nullptr,
         "com.halo.installations", corrupted},
        {"not a dictionary", kSecureItemSuccess, plistBytes(platform::Value("t")), nullptr, "com.halo.installations",
         corrupted},
        {"garbage", kSecureItemSuccess, bytesOf("\x01\x02garbage"), nullptr, "com.halo.installations", corrupted},
        {"no item", kSecureItemNotFound, {}, nullptr, "com.halo.installations", corrupted},
        {"keychain failure", EIO, {}, nullptr, "com.lmu.keychain.ErrorDomain", "SecItemCopyMatching (5)"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        source->tokenStatus = test.status;
        source->tokenData = test.data;
        if (std::string(test.name) == "binary plist of a token") {
            const auto xml = root() / "token.plist";
            const auto binary = root() / "token.bin";
            platform::testing::writeFile(xml,
                                         platform::Value(platform::Value::Dictionary{{"token", "t"}}).toXmlPlist());
            ASSERT_EQ(runCommand("plistutil -i " + shellQuote(xml.string()) + " -o " + shellQuote(binary.string()) +
                                 " -f bin")
                          .exitCode,
                      0);
            source->tokenData = bytesOf(platform::testing::readFile(binary));
        }
        HLOInstallationsIIDTokenStore store("123456", source);
        const auto outcome = settle(store.existingIIDDefaultToken());
        if (test.token != nullptr) {
            ASSERT_EQ(outcome.error, nullptr) << outcome.error->what();
            EXPECT_EQ(*outcome.value, test.token);
        } else {
            ASSERT_NE(outcome.error, nullptr);
            EXPECT_EQ(outcome.error->domain(), test.domain);
            EXPECT_EQ(installations::testing::reasonOf(*outcome.error), test.reason);
        }
        const auto query = source->lastTokenQuery();
        ASSERT_TRUE(query.has_value());
        EXPECT_EQ(query->generic, "com.lumen.iid-tokens");
        EXPECT_EQ(query->service, "123456:*");
        EXPECT_EQ(query->account, kit::mainBundle().bundleIdentifier());
    }
}

TEST_F(LegacyIdentityTest, DeletionRemovesOnlyTheFlagAndBothKeys) {
    writeFlagFile({{"|S|cre", "x"}, {"keep", "kept value"}, {"also", 3}});
    HLOInstallationsIIDStore store(source);
    ASSERT_EQ(settle(store.deleteExistingIID()).error, nullptr);

    const std::string xml = flagFileAsXml();
    EXPECT_EQ(xml.find("|S|cre"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<key>keep</key>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("kept value"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<key>also</key>"), std::string::npos) << xml;
    EXPECT_EQ(source->deleted(), (std::vector<std::string>{*HLOInstallationsIIDStore::publicKeyTag(),
                                                           *HLOInstallationsIIDStore::privateKeyTag()}));
    expectValidationFailure(settle(store.existingIID()).error);
}

TEST_F(LegacyIdentityTest, DeletionWithoutFlagFileSucceeds) {
    HLOInstallationsIIDStore store(source);
    ASSERT_EQ(settle(store.deleteExistingIID()).error, nullptr);
    EXPECT_FALSE(std::filesystem::exists(HLOInstallationsIIDStore::flagFilePath()));
    EXPECT_EQ(source->deleted().size(), 2u);
}

TEST_F(LegacyIdentityTest, FailingPublicKeyDeleteStopsBeforeThePrivateKey) {
    source->deleteStatus[*HLOInstallationsIIDStore::publicKeyTag()] = -25293;
    HLOInstallationsIIDStore store(source);
    const auto outcome = settle(store.deleteExistingIID());
    ASSERT_NE(outcome.error, nullptr);
    EXPECT_EQ(outcome.error->domain(), "com.halo.installations");
    EXPECT_EQ(outcome.error->code(), 1);
    EXPECT_EQ(outcome.error->failureReason(), "SecItemDelete (-25293)");
    EXPECT_EQ(source->deleted(), std::vector<std::string>{*HLOInstallationsIIDStore::publicKeyTag()});
}

TEST_F(LegacyIdentityTest, FailingRewriteRejectsAndKeepsTheFlag) {
    writeFlagFile({{"|S|cre", "x"}});
    const int status = platform::testing::runInChild([&] {
        if (!platform::testing::forbidRenames()) {
            return 77;
        }
        // A child of a threaded process starts no threads: the work runs in place.
        HLOInstallationsIIDStore store(source, std::make_shared<InPlaceExecutor>());
        const auto deletion = store.deleteExistingIID();
        if (!deletion.isRejected()) {
            return 1;
        }
        // The keys stay when the flag could not be removed.
        return source->deleted().empty() ? 0 : 2;
    });
    if (status == 77) {
        GTEST_SKIP() << "cannot install a seccomp filter here";
    }
    EXPECT_EQ(status, 0);
    EXPECT_NE(flagFileAsXml().find("|S|cre"), std::string::npos);
}

}  // namespace
}  // namespace kit::installations
