#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Where the kit keeps small secret items (an installation ID, short-lived
// tokens), found by service, account and an optional access group. Each
// operation answers a status: 0, kSecureItemNotFound, kSecureItemDuplicate,
// or an errno value.
namespace kit {

inline constexpr int kSecureItemSuccess = 0;
inline constexpr int kSecureItemNotFound = -25300;
inline constexpr int kSecureItemDuplicate = -25299;

struct SecureItemQuery {
    std::string service;
    std::string account;
    // Absent: any group matches, and an item is added without one.
    std::optional<std::string> accessGroup;
};

class SecureItemStore {
public:
    virtual ~SecureItemStore() = default;
    // The bytes of the first matching item.
    virtual int copyMatching(const SecureItemQuery& query, std::vector<std::uint8_t>& data) = 0;
    // A new item; kSecureItemDuplicate when one matches already.
    virtual int add(const SecureItemQuery& query, std::span<const std::uint8_t> data) = 0;
    // Every matching item gets `data`; kSecureItemNotFound when none matches.
    virtual int update(const SecureItemQuery& query, std::span<const std::uint8_t> data) = 0;
    // Removes every matching item; kSecureItemNotFound when none matches.
    virtual int remove(const SecureItemQuery& query) = 0;
};

// One XML plist file per service in a private folder (0700, files 0600).
// Every change is a read-modify-write under an flock of the service, and
// replaces the file atomically, so several processes lose nothing and a
// killed one leaves the previous or the new file, never a torn one. Not
// encrypted: the keyring services need a D-Bus session and an unlocked
// keyring, which a CI machine or a plain login over ssh does not have.
class FileSecureItemStore final : public SecureItemStore {
public:
    explicit FileSecureItemStore(std::filesystem::path folder);

    const std::filesystem::path& folder() const { return folder_; }
    // The file holding the items of `service`.
    std::filesystem::path fileForService(const std::string& service) const;

    int copyMatching(const SecureItemQuery& query, std::vector<std::uint8_t>& data) override;
    int add(const SecureItemQuery& query, std::span<const std::uint8_t> data) override;
    int update(const SecureItemQuery& query, std::span<const std::uint8_t> data) override;
    int remove(const SecureItemQuery& query) override;

private:
    std::filesystem::path folder_;
};

// Items kept in memory only; for tests.
class InMemorySecureItemStore final : public SecureItemStore {
public:
    int copyMatching(const SecureItemQuery& query, std::vector<std::uint8_t>& data) override;
    int add(const SecureItemQuery& query, std::span<const std::uint8_t> data) override;
    int update(const SecureItemQuery& query, std::span<const std::uint8_t> data) override;
    int remove(const SecureItemQuery& query) override;

private:
    struct Item {
        std::string service;
        std::string account;
        std::optional<std::string> accessGroup;
        std::vector<std::uint8_t> data;
    };
    std::mutex mutex_;
    std::vector<Item> items_;  // guarded by mutex_
};

// The file store in kitDataDirectory()/secure-items.
std::shared_ptr<SecureItemStore> defaultSecureItemStore();

}  // namespace kit
