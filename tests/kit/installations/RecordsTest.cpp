#include "InstallationsTestSupport.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/InstallationsItem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>

namespace kit::installations {
namespace {

using namespace std::chrono_literals;
using Status = HLOInstallationsRegistrationStatus;

class InstallationRecordsTest : public kit::testing::KitTest {};

// Hands out fixed words, then fails the test if asked for more.
class FixedWords final : public platform::RandomSource {
public:
    explicit FixedWords(std::vector<std::uint64_t> words) : words_(std::move(words)) {}
    std::uint64_t next() override {
        if (index_ >= words_.size()) {
            ADD_FAILURE() << "asked for more random words than expected";
            return 0;
        }
        return words_[index_++];
    }

private:
    std::vector<std::uint64_t> words_;
    std::size_t index_ = 0;
};

platform::Value::Date dateAt(std::int64_t seconds) { return platform::Value::Date(std::chrono::seconds(seconds)); }

TEST_F(InstallationRecordsTest, FIDOfAKnownUUID) {
    const std::array<std::uint8_t, 16> uuid = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x46, 0x77,
                                               0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    EXPECT_EQ(HLOInstallationsItem::FIDWithUUIDBytes(uuid), "fwARIjNEVUZ3iJmqu8zd7v");

    // The same UUID drawn from the random source: its words in memory order.
    FixedWords random({0x7746554433221100ULL, 0xffeeddccbbaa9988ULL});
    EXPECT_EQ(HLOInstallationsItem::generateFID(random), "fwARIjNEVUZ3iJmqu8zd7v");
}

TEST_F(InstallationRecordsTest, GeneratedFIDsAreDistinctWellFormedAndVersionFour) {
    static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    const std::regex shape("^[c-f][A-Za-z0-9_-]{21}$");
    std::set<std::string> seen;
    for (int index = 0; index < 100'000; ++index) {
        const std::string fid = HLOInstallationsItem::generateFID();
        ASSERT_TRUE(std::regex_match(fid, shape)) << fid;
        // Character 9 holds bits 54…59 of prefix and UUID: its low four bits
        // are the UUID's version nibble. Character 12 starts with the variant.
        const auto sextet = [&](std::size_t position) { return static_cast<int>(kAlphabet.find(fid[position])); };
        ASSERT_EQ(sextet(9) & 0x0f, 4) << fid;
        ASSERT_EQ(sextet(12) >> 4, 0b10) << fid;
        seen.insert(fid);
    }
    EXPECT_EQ(seen.size(), 100'000u);
}

TEST_F(InstallationRecordsTest, IdentifierIsAppIDFollowedByAppName) {
    const HLOInstallationsItem item("1:123:ios:abc", "__HLOAPP_DEFAULT");
    EXPECT_EQ(item.identifier(), "1:123:ios:abc__HLOAPP_DEFAULT");
}

TEST_F(InstallationRecordsTest, ValidationCollectsEveryFindingInOrder) {
    struct Case {
        const char* name;
        std::string appID, appName, fid;
        Status status;
        std::string refreshToken, token;
        std::optional<platform::Value::Date> expiration;
        const char* findings;  // nullptr: valid
    };
    const std::vector<Case> cases = {
        {"all missing, status 0", "", "", "", Status::unknown, "", "", std::nullopt,
         "`appID` must not be empty, `haloAppName` must not be empty, `haloInstallationID` must not be empty, "
         "invalid `registrationStatus`"},
        {"status 0 only", "app", "name", "fid", Status::unknown, "", "", std::nullopt, "invalid `registrationStatus`"},
        {"status 1 without FID", "app", "name", "", Status::unregistered, "", "", std::nullopt,
         "`haloInstallationID` must not be empty"},
        {"status 1 without app name", "app", "", "fid", Status::unregistered, "", "", std::nullopt,
         "`haloAppName` must not be empty"},
        {"status 1 complete", "app", "name", "fid", Status::unregistered, "", "", std::nullopt, nullptr},
        {"status 2 without tokens", "app", "name", "fid", Status::registered, "", "", std::nullopt,
         "registered installation must have non-empty `refreshToken`, registered installation must have non-empty "
         "`authToken.token`, registered installation must have non-empty `authToken.expirationDate`"},
        {"status 2 without expiration", "app", "name", "fid", Status::registered, "refresh", "token", std::nullopt,
         "registered installation must have non-empty `authToken.expirationDate`"},
        {"status 2 without auth token", "", "name", "fid", Status::registered, "refresh", "", dateAt(1'800'000'000),
         "`appID` must not be empty, registered installation must have non-empty `authToken.token`"},
        {"status 2 complete", "app", "name", "fid", Status::registered, "refresh", "token", dateAt(1'800'000'000),
         nullptr},
        // What a damaged or forged store may hold is held to the same rules.
        {"status 7", "app", "name", "fid", static_cast<Status>(7), "", "", std::nullopt,
         "invalid `registrationStatus`"},
        {"status 7 with a path and a line break in the ID", "app", "name", "../x\nfid", static_cast<Status>(7), "", "",
         std::nullopt,
         "`haloInstallationID` must hold only letters, digits, '-' and '_', invalid `registrationStatus`"},
        {"status 1 with a slash in the ID", "app", "name", "a/b", Status::unregistered, "", "", std::nullopt,
         "`haloInstallationID` must hold only letters, digits, '-' and '_'"},
        {"status 2 with a line break in a token", "app", "name", "fid", Status::registered, "refresh\r\nX: y", "token",
         dateAt(1'800'000'000), "registered installation must have tokens without control characters"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        HLOInstallationsItem item(test.appID, test.appName);
        item.haloInstallationID = test.fid;
        item.registrationStatus = test.status;
        item.refreshToken = test.refreshToken;
        item.authToken.token = test.token;
        item.authToken.expirationDate = test.expiration;
        const auto valid = item.isValid();
        if (test.findings == nullptr) {
            EXPECT_TRUE(valid.hasValue());
            continue;
        }
        ASSERT_FALSE(valid.hasValue());
        EXPECT_EQ(valid.error().domain(), "com.halo.installations");
        EXPECT_EQ(valid.error().code(), 0);
        EXPECT_EQ(valid.error().failureReason(),
                  std::string("HLOInstallationsItem validation errors: ") + test.findings);
    }
}

TEST_F(InstallationRecordsTest, StoredItemArchivesUnderItsKeys) {
    HLOInstallationsItem item("app", "name");
    item.haloInstallationID = "fid";
    item.refreshToken = "refresh";
    item.authToken.status = HLOInstallationsAuthTokenStatus::tokenReceived;
    item.authToken.token = "token";
    item.authToken.expirationDate = dateAt(1'800'000'000);
    item.registrationStatus = Status::registered;
    item.IIDDefaultToken = "legacy";

    const platform::Value expected(platform::Value::Dictionary{
        {"haloInstallationID", "fid"},
        {"refreshToken", "refresh"},
        {"authToken",
         platform::Value::Dictionary{
             {"status", 1}, {"token", "token"}, {"expirationDate", dateAt(1'800'000'000)}, {"storageVersion", 1}}},
        {"registrationStatus", 2},
        {"IIDDefaultToken", "legacy"},
        {"storageVersion", 1},
    });
    EXPECT_EQ(item.storedItem().archivedValue(), expected);

    const auto decoded = HLOInstallationsStoredItem::fromArchivedValue(expected);
    ASSERT_TRUE(decoded.hasValue());
    HLOInstallationsItem copy("app", "name");
    copy.updateWithStoredItem(decoded.value());
    EXPECT_EQ(copy, item);
}

TEST_F(InstallationRecordsTest, KeysOfTheWrongTypeReadAsAbsent) {
    const platform::Value archive(platform::Value::Dictionary{
        {"haloInstallationID", 12},
        {"refreshToken", platform::Value::Data{1, 2}},
        {"authToken",
         platform::Value::Dictionary{
             {"status", "1"}, {"token", 5}, {"expirationDate", "2030-01-01"}, {"storageVersion", 1}}},
        {"registrationStatus", "2"},
        {"IIDDefaultToken", true},
        {"storageVersion", 1},
    });
    const auto decoded = HLOInstallationsStoredItem::fromArchivedValue(archive);
    ASSERT_TRUE(decoded.hasValue());
    EXPECT_EQ(decoded.value(), HLOInstallationsStoredItem{});

    const platform::Value tokenNotADictionary(platform::Value::Dictionary{{"authToken", "token"}});
    const auto withoutToken = HLOInstallationsStoredItem::fromArchivedValue(tokenNotADictionary);
    ASSERT_TRUE(withoutToken.hasValue());
    EXPECT_EQ(withoutToken.value().authToken, HLOInstallationsStoredAuthToken{});
    EXPECT_TRUE(drainLines().empty());
}

TEST_F(InstallationRecordsTest, OnlyANonDictionaryFailsToDecode) {
    for (const platform::Value& value :
         {platform::Value("text"), platform::Value(platform::Value::Array{}), platform::Value(3)}) {
        const auto decoded = HLOInstallationsStoredItem::fromArchivedValue(value);
        ASSERT_FALSE(decoded.hasValue());
        EXPECT_EQ(decoded.error().domain(), "NSCocoaErrorDomain");
        EXPECT_EQ(decoded.error().code(), 4864);
    }
}

}  // namespace
}  // namespace kit::installations
