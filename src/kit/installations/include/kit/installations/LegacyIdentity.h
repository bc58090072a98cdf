#pragma once

#include "kit/promises/PRMPromise.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The identity left by the legacy instance-identifier library: a flag in a
// property list, an RSA key pair and a default token. Read and deleted,
// never written.
namespace kit::installations {

// The secure items of the legacy library. Every operation answers a status
// as SecureItemStore does: 0, kSecureItemNotFound or another failure.
class LegacyIdentitySource {
public:
    struct TokenQuery {
        std::string generic;                 // "com.lumen.iid-tokens"
        std::string service;                 // "<sender ID>:*"
        std::optional<std::string> account;  // the bundle identifier, absent when empty
    };

    virtual ~LegacyIdentitySource() = default;
    // The public key's data by application tag; no tag matches any key.
    virtual int copyPublicKeyData(const std::optional<std::string>& tag, std::vector<std::uint8_t>& data) = 0;
    virtual int deleteKey(const std::optional<std::string>& tag) = 0;
    virtual int copyTokenData(const TokenQuery& query, std::vector<std::uint8_t>& data) = 0;
};

// No Linux build ever wrote the legacy library's keys or tokens: every
// answer is "not found".
std::shared_ptr<LegacyIdentitySource> defaultLegacyIdentitySource();

// The legacy instance identifier.
class HLOInstallationsIIDStore {
public:
    // Work runs on `queue`; without one, on the shared pool.
    explicit HLOInstallationsIIDStore(std::shared_ptr<LegacyIdentitySource> source = defaultLegacyIdentitySource(),
                                      promises::Queue queue = nullptr);

    // The flag file: "Lumen/HaloInstanceID/com.lumen.iid-keypair.plist" in
    // the kit's data directory.
    static std::filesystem::path flagFilePath();
    // "com.lumen.iid.keypair.public-" or "….private-" and the bundle
    // identifier; no tag when the bundle has none.
    static std::optional<std::string> publicKeyTag();
    static std::optional<std::string> privateKeyTag();

    // The identifier, or a validation failure (code 2) when the flag is
    // missing or the public key cannot be read.
    promises::PRMPromise<std::string> existingIID();
    // Removes the flag, then the public and the private key. A missing file
    // or key counts as removed; the first failure stops.
    promises::PRMPromise<promises::Null> deleteExistingIID();

    // 11 URL-safe base64 characters from the SHA-1 of the key data.
    static std::string IIDWithPublicKeyData(std::span<const std::uint8_t> publicKeyData);

private:
    std::shared_ptr<LegacyIdentitySource> source_;
    promises::Queue queue_;
};

// The legacy default token.
class HLOInstallationsIIDTokenStore {
public:
    // Work runs on `queue`; without one, on the shared pool.
    explicit HLOInstallationsIIDTokenStore(std::string LCMSenderID,
                                           std::shared_ptr<LegacyIdentitySource> source = defaultLegacyIdentitySource(),
                                           promises::Queue queue = nullptr);

    const std::string& LCMSenderID() const noexcept { return LCMSenderID_; }

    // The token, or the keychain error, or corruptedIIDTokenData when there
    // is no item or it holds no token.
    promises::PRMPromise<std::string> existingIIDDefaultToken();

private:
    std::string LCMSenderID_;
    std::shared_ptr<LegacyIdentitySource> source_;
    promises::Queue queue_;
};

}  // namespace kit::installations
