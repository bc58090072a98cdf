#include "kit/installations/LegacyIdentity.h"

#include "kit/core/MainBundle.h"
#include "InstallationsPrivate.h"
#include "kit/core/KeychainStorage.h"
#include "kit/core/KitPaths.h"
#include "kit/core/SecureItemStore.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/InstallationsTexts.h"

#include "platform/Bundle.h"
#include "platform/InputFile.h"
#include "platform/MessageFormat.h"
#include "platform/OutputFile.h"
#include "platform/Value.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <array>
#include <system_error>

namespace kit::installations {

using promises::Null;
using promises::PRMPromise;

namespace {

// A flag file is a few hundred bytes; anything far larger is not one.
constexpr std::uint64_t kFlagFileLimit = 1024 * 1024;
// Nor is a token item.
constexpr std::size_t kTokenDataLimit = 1024 * 1024;

class NothingLegacyIdentitySource final : public LegacyIdentitySource {
public:
    int copyPublicKeyData(const std::optional<std::string>&, std::vector<std::uint8_t>&) override {
        return kSecureItemNotFound;
    }
    int deleteKey(const std::optional<std::string>&) override { return kSecureItemNotFound; }
    int copyTokenData(const TokenQuery&, std::vector<std::uint8_t>&) override { return kSecureItemNotFound; }
};

std::optional<std::string> tagWithPrefix(std::string_view prefix) {
    const std::string bundleIdentifier = kit::mainBundle().bundleIdentifier();
    if (bundleIdentifier.empty()) {
        return std::nullopt;
    }
    return std::string(prefix) + bundleIdentifier;
}

// The flag file's dictionary; nothing when there is no readable one.
std::optional<platform::Value::Dictionary> readFlagFile(const std::filesystem::path& path) {
    const std::string bytes = platform::InputFile(path).readAll(kFlagFileLimit);
    auto parsed = platform::Value::fromPlist(bytes);
    if (!parsed || !parsed->isDictionary()) {
        return std::nullopt;
    }
    return std::move(*parsed->asDictionary());
}

bool flagIsSet(const std::filesystem::path& path) {
    try {
        const auto contents = readFlagFile(path);
        return contents && contents->contains(kLegacyFlagKey);
    } catch (const platform::Error&) {
        return false;  // a missing or unreadable file holds no identifier
    }
}

platform::Error validationFailure() { return promises::promiseError(promises::PromiseErrorCode::validationFailure); }

}  // namespace

std::shared_ptr<LegacyIdentitySource> defaultLegacyIdentitySource() {
    return std::make_shared<NothingLegacyIdentitySource>();
}

// --- HLOInstallationsIIDStore

HLOInstallationsIIDStore::HLOInstallationsIIDStore(std::shared_ptr<LegacyIdentitySource> source, promises::Queue queue)
    : source_(std::move(source)), queue_(queue ? std::move(queue) : detail::utilityQueue()) {}

std::filesystem::path HLOInstallationsIIDStore::flagFilePath() {
    return kitDataDirectory() / kLegacyFolder / kLegacyFlagFileName;
}

std::optional<std::string> HLOInstallationsIIDStore::publicKeyTag() { return tagWithPrefix(kLegacyPublicKeyTagPrefix); }

std::optional<std::string> HLOInstallationsIIDStore::privateKeyTag() {
    return tagWithPrefix(kLegacyPrivateKeyTagPrefix);
}

std::string HLOInstallationsIIDStore::IIDWithPublicKeyData(std::span<const std::uint8_t> publicKeyData) {
    std::array<std::uint8_t, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestLength = 0;
    if (EVP_Digest(publicKeyData.data(), publicKeyData.size(), digest.data(), &digestLength, EVP_sha1(), nullptr) !=
            1 ||
        digestLength != 20) {
        return {};
    }
    // 0111 in the high nibble, as in a FID.
    digest[0] = static_cast<std::uint8_t>(0x70 | (digest[0] & 0x0f));
    std::string identifier = detail::URLSafeBase64(std::span<const std::uint8_t>(digest.data(), 8));
    std::erase(identifier, '=');
    return identifier;
}

PRMPromise<std::string> HLOInstallationsIIDStore::existingIID() {
    return PRMPromise<std::string>::async(queue_, [source = source_](const PRMPromise<std::string>::Fulfiller& fulfill,
                                                                     const PRMPromise<std::string>::Rejecter& reject) {
        if (!flagIsSet(flagFilePath())) {
            reject(validationFailure());
            return;
        }
        std::vector<std::uint8_t> keyData;
        // Without the key there is no identifier: hashing no bytes would
        // give every such installation the same one.
        if (source->copyPublicKeyData(publicKeyTag(), keyData) != kSecureItemSuccess || keyData.empty()) {
            reject(validationFailure());
            return;
        }
        std::string identifier = IIDWithPublicKeyData(keyData);
        // This pool thread's OpenSSL state would outlive OpenSSL's own
        // clean-up at exit; OpenSSL makes it again when next needed.
        OPENSSL_thread_stop();
        if (identifier.empty()) {
            reject(validationFailure());
            return;
        }
        fulfill(std::move(identifier));
    });
}

PRMPromise<Null> HLOInstallationsIIDStore::deleteExistingIID() {
    return PRMPromise<Null>::async(queue_, [source = source_](const PRMPromise<Null>::Fulfiller& fulfill,
                                                              const PRMPromise<Null>::Rejecter& reject) {
        const std::filesystem::path path = flagFilePath();
        std::error_code ignored;
        if (std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) {
            try {
                // A file that is no property list holds no flag to remove.
                if (auto contents = readFlagFile(path)) {
                    contents->erase(std::string(kLegacyFlagKey));
                    const std::string bytes = platform::Value(std::move(*contents)).toXmlPlist();
                    platform::replaceFileAtomically(path, std::as_bytes(std::span(bytes.data(), bytes.size())));
                }
            } catch (const platform::Error& error) {
                reject(error);
                return;
            }
        }
        for (const auto& tag : {publicKeyTag(), privateKeyTag()}) {
            const int status = source->deleteKey(tag);
            if (status != kSecureItemSuccess && status != kSecureItemNotFound) {
                reject(HLOInstallationsErrorUtil::keychainErrorWithFunction(kSecItemDelete, status));
                return;
            }
        }
        fulfill(Null{});
    });
}

// --- HLOInstallationsIIDTokenStore

HLOInstallationsIIDTokenStore::HLOInstallationsIIDTokenStore(std::string LCMSenderID,
                                                             std::shared_ptr<LegacyIdentitySource> source,
                                                             promises::Queue queue)
    : LCMSenderID_(std::move(LCMSenderID)),
      source_(std::move(source)),
      queue_(queue ? std::move(queue) : detail::utilityQueue()) {}

PRMPromise<std::string> HLOInstallationsIIDTokenStore::existingIIDDefaultToken() {
    return PRMPromise<std::string>::async(
        queue_, [source = source_, senderID = LCMSenderID_](const PRMPromise<std::string>::Fulfiller& fulfill,
                                                            const PRMPromise<std::string>::Rejecter& reject) {
            LegacyIdentitySource::TokenQuery query;
            query.generic = kLegacyTokenGeneric;
            query.service = platform::formatMessage(kLegacyTokenServiceFormat, {senderID, kLegacyTokenScope});
            if (std::string account = kit::mainBundle().bundleIdentifier(); !account.empty()) {
                query.account = std::move(account);
            }
            std::vector<std::uint8_t> data;
            const int status = source->copyTokenData(query, data);
            if (status != kSecureItemSuccess && status != kSecureItemNotFound) {
                reject(LMUKeychainUtils::keychainErrorWithFunction(kSecItemCopyMatching, status));
                return;
            }
            if (status == kSecureItemNotFound || data.empty() || data.size() > kTokenDataLimit) {
                reject(HLOInstallationsErrorUtil::corruptedIIDTokenData());
                return;
            }
            const auto parsed =
                platform::Value::fromPlist(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
            const platform::Value* token = parsed ? parsed->find(kLegacyTokenKey) : nullptr;
            if (token == nullptr || !token->isString() || token->asString()->empty()) {
                reject(HLOInstallationsErrorUtil::corruptedIIDTokenData());
                return;
            }
            fulfill(*token->asString());
        });
}

}  // namespace kit::installations
