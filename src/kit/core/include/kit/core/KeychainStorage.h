#pragma once

#include "kit/core/SecureItemStore.h"
#include "platform/Error.h"
#include "platform/Expected.h"
#include "platform/Value.h"
#include "platform/concurrency/SerialQueue.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kit {

inline constexpr std::string_view kLMUKeychainErrorDomain = "com.lmu.keychain.ErrorDomain";
inline constexpr std::string_view kKeychainQueueLabel = "com.lmu.KeychainStorage.Keychain";
inline constexpr std::string_view kInMemoryCacheQueueLabel = "com.lmu.KeychainStorage.InMemoryCache";
// Archiving errors, as the platform's coder reports them.
inline constexpr std::string_view kCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr int kCoderReadCorruptError = 4864;
inline constexpr int kCoderInvalidValueError = 4866;

// Secure-item calls answering values or keychain errors.
class LMUKeychainUtils {
public:
    // The item's bytes; nothing when there is no such item.
    static platform::Expected<std::optional<std::vector<std::uint8_t>>> getItemWithQuery(SecureItemStore& store,
                                                                                         const SecureItemQuery& query);
    // Updates the item, or adds it when there is none.
    static platform::Expected<void> setItem(SecureItemStore& store, std::span<const std::uint8_t> item,
                                            const SecureItemQuery& query);
    // Removing an item that is not there succeeds.
    static platform::Expected<void> removeItemWithQuery(SecureItemStore& store, const SecureItemQuery& query);
    // Code 0, failure reason "<function> (<status>)".
    static platform::Error keychainErrorWithFunction(std::string_view function, long status);
};

// An object as the storage keeps it: its property-list form and the name of
// its class. Asking for it as another class is an unarchiving error.
struct KeychainObject {
    std::string className;
    platform::Value value;
    bool operator==(const KeychainObject&) const = default;
};

// Archived objects kept as secure items of one service, behind a small
// in-memory cache. Completions run on one of the storage's two queues, never
// on the caller's thread; two operations on one key keep their order on
// each queue. Destroying the storage waits for the operations in flight, so
// it must not be destroyed from one of its own completions.
class LMUKeychainStorage {
public:
    using GetCompletion = std::function<void(platform::Expected<std::optional<KeychainObject>>)>;
    using SetCompletion = std::function<void(platform::Expected<KeychainObject>)>;
    using RemoveCompletion = std::function<void(platform::Expected<void>)>;

    // Over the file store in the kit's data directory.
    explicit LMUKeychainStorage(std::string service);
    LMUKeychainStorage(std::string service, std::shared_ptr<SecureItemStore> store);
    ~LMUKeychainStorage();
    LMUKeychainStorage(const LMUKeychainStorage&) = delete;
    LMUKeychainStorage& operator=(const LMUKeychainStorage&) = delete;

    const std::string& service() const { return service_; }

    // Nothing when there is no such item.
    void getObjectForKey(std::string key, std::string objectClass, std::optional<std::string> accessGroup,
                         GetCompletion completion);
    // The cache keeps the object even when the write fails.
    void setObject(KeychainObject object, std::string key, std::optional<std::string> accessGroup,
                   SetCompletion completion);
    void removeObjectForKey(std::string key, std::optional<std::string> accessGroup, RemoveCompletion completion);
    void resetInMemoryCache();

private:
    class Cache {
    public:
        explicit Cache(std::size_t countLimit) : countLimit_(countLimit) {}
        std::optional<KeychainObject> object(const std::string& key);
        void set(const std::string& key, KeychainObject object);
        void remove(const std::string& key);
        void clear() { entries_.clear(); }

    private:
        std::size_t countLimit_;
        std::list<std::pair<std::string, KeychainObject>> entries_;  // most recently used first
    };

    // Counts an operation in flight until the last block holding it is gone.
    class Ticket;
    std::shared_ptr<Ticket> begin();
    SecureItemQuery queryFor(const std::string& key, const std::optional<std::string>& accessGroup) const;

    const std::string service_;
    const std::shared_ptr<SecureItemStore> store_;  // used on keychainQueue_
    Cache cache_;                                   // confined to inMemoryCacheQueue_

    std::mutex flightMutex_;
    std::condition_variable idle_;
    long inFlight_ = 0;  // guarded by flightMutex_

    // Last, so that they stop before what their blocks use goes away.
    platform::SerialQueue inMemoryCacheQueue_{std::string(kInMemoryCacheQueueLabel)};
    platform::SerialQueue keychainQueue_{std::string(kKeychainQueueLabel)};
};

}  // namespace kit
