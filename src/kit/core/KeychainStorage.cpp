#include "kit/core/KeychainStorage.h"

#include "kit/core/PlistCheck.h"
#include "kit/core/KitError.h"
#include "platform/MessageFormat.h"

namespace kit {

namespace {

constexpr std::size_t kCacheCountLimit = 5;
constexpr std::string_view kClassKey = "$class";
constexpr std::string_view kRootKey = "$root";

platform::Expected<std::vector<std::uint8_t>> archive(const KeychainObject& object) {
    if (!plistCanHold(object.value)) {
        return platform::unexpected(
            makeKitError(kCocoaErrorDomain, kCoderInvalidValueError,
                         {"The data couldn't be written because it isn't in the correct format.", {}, {}}));
    }
    platform::Value::Dictionary root;
    root.emplace(kClassKey, object.className);
    root.emplace(kRootKey, object.value);
    const std::string text = platform::Value(std::move(root)).toXmlPlist();
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

platform::Expected<KeychainObject> unarchive(const std::vector<std::uint8_t>& bytes, const std::string& objectClass) {
    const auto corrupt = [] {
        return platform::unexpected(
            makeKitError(kCocoaErrorDomain, kCoderReadCorruptError,
                         {"The data couldn't be read because it isn't in the correct format.", {}, {}}));
    };
    const auto parsed =
        platform::Value::fromPlist(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!parsed) {
        return corrupt();
    }
    const platform::Value* className = parsed->find(kClassKey);
    const platform::Value* root = parsed->find(kRootKey);
    if (className == nullptr || !className->isString() || root == nullptr || *className->asString() != objectClass) {
        return corrupt();
    }
    return KeychainObject{objectClass, *root};
}

}  // namespace

// --- LMUKeychainUtils

platform::Expected<std::optional<std::vector<std::uint8_t>>> LMUKeychainUtils::getItemWithQuery(
    SecureItemStore& store, const SecureItemQuery& query) {
    std::vector<std::uint8_t> data;
    const int status = store.copyMatching(query, data);
    if (status == kSecureItemSuccess) {
        return std::optional<std::vector<std::uint8_t>>(std::move(data));
    }
    if (status == kSecureItemNotFound) {
        return std::optional<std::vector<std::uint8_t>>();
    }
    return platform::unexpected(keychainErrorWithFunction("SecItemCopyMatching", status));
}

platform::Expected<void> LMUKeychainUtils::setItem(SecureItemStore& store, std::span<const std::uint8_t> item,
                                                   const SecureItemQuery& query) {
    const auto existing = getItemWithQuery(store, query);
    if (!existing) {
        return platform::unexpected(existing.error());
    }
    if (existing.value()) {
        if (const int status = store.update(query, item); status != kSecureItemSuccess) {
            return platform::unexpected(keychainErrorWithFunction("SecItemUpdate", status));
        }
    } else if (const int status = store.add(query, item); status != kSecureItemSuccess) {
        return platform::unexpected(keychainErrorWithFunction("SecItemAdd", status));
    }
    return {};
}

platform::Expected<void> LMUKeychainUtils::removeItemWithQuery(SecureItemStore& store, const SecureItemQuery& query) {
    const int status = store.remove(query);
    if (status == kSecureItemSuccess || status == kSecureItemNotFound) {
        return {};
    }
    return platform::unexpected(keychainErrorWithFunction("SecItemDelete", status));
}

platform::Error LMUKeychainUtils::keychainErrorWithFunction(std::string_view function, long status) {
    ErrorFacts facts;
    facts.failureReason = platform::formatMessage("%@ (%li)", {std::string(function), status});
    return makeKitError(kLMUKeychainErrorDomain, 0, facts);
}

// --- LMUKeychainStorage

std::optional<KeychainObject> LMUKeychainStorage::Cache::object(const std::string& key) {
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
        if (entry->first == key) {
            entries_.splice(entries_.begin(), entries_, entry);
            return entries_.front().second;
        }
    }
    return std::nullopt;
}

void LMUKeychainStorage::Cache::set(const std::string& key, KeychainObject object) {
    remove(key);
    entries_.emplace_front(key, std::move(object));
    if (entries_.size() > countLimit_) {
        entries_.pop_back();
    }
}

void LMUKeychainStorage::Cache::remove(const std::string& key) {
    std::erase_if(entries_, [&](const auto& entry) { return entry.first == key; });
}

class LMUKeychainStorage::Ticket {
public:
    explicit Ticket(LMUKeychainStorage& storage) : storage_(storage) {}
    ~Ticket() {
        std::lock_guard lock(storage_.flightMutex_);
        if (--storage_.inFlight_ == 0) {
            storage_.idle_.notify_all();  // under the lock: the storage may go as soon as it is released
        }
    }
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

private:
    LMUKeychainStorage& storage_;
};

LMUKeychainStorage::LMUKeychainStorage(std::string service)
    : LMUKeychainStorage(std::move(service), defaultSecureItemStore()) {}

LMUKeychainStorage::LMUKeychainStorage(std::string service, std::shared_ptr<SecureItemStore> store)
    : service_(std::move(service)), store_(std::move(store)), cache_(kCacheCountLimit) {}

LMUKeychainStorage::~LMUKeychainStorage() {
    std::unique_lock lock(flightMutex_);
    idle_.wait(lock, [this] { return inFlight_ == 0; });
}

std::shared_ptr<LMUKeychainStorage::Ticket> LMUKeychainStorage::begin() {
    {
        std::lock_guard lock(flightMutex_);
        ++inFlight_;
    }
    return std::make_shared<Ticket>(*this);
}

SecureItemQuery LMUKeychainStorage::queryFor(const std::string& key,
                                             const std::optional<std::string>& accessGroup) const {
    return SecureItemQuery{service_, key, accessGroup};
}

namespace {

// Ends the operation's ticket, then answers: the answer may release the
// last owner of the storage, whose destructor waits for every ticket.
template <typename Ticket, typename Completion, typename Answer>
void answer(std::shared_ptr<Ticket>& ticket, Completion& completion, Answer&& result) {
    ticket.reset();
    completion(std::forward<Answer>(result));
}

}  // namespace

void LMUKeychainStorage::getObjectForKey(std::string key, std::string objectClass,
                                         std::optional<std::string> accessGroup, GetCompletion completion) {
    auto ticket = begin();
    inMemoryCacheQueue_.async([this, ticket = std::move(ticket), key = std::move(key),
                               objectClass = std::move(objectClass), accessGroup = std::move(accessGroup),
                               completion = std::move(completion)]() mutable {
        // An object cached as another class is not an answer to this request.
        if (auto cached = cache_.object(key); cached && cached->className == objectClass) {
            answer(ticket, completion, std::optional<KeychainObject>(std::move(*cached)));
            return;
        }
        keychainQueue_.async([this, ticket = std::move(ticket), key = std::move(key),
                              objectClass = std::move(objectClass), accessGroup = std::move(accessGroup),
                              completion = std::move(completion)]() mutable {
            const auto data = LMUKeychainUtils::getItemWithQuery(*store_, queryFor(key, accessGroup));
            if (!data) {
                answer(ticket, completion, platform::unexpected(data.error()));
                return;
            }
            if (!data.value()) {
                answer(ticket, completion, std::optional<KeychainObject>());
                return;
            }
            auto object = unarchive(*data.value(), objectClass);
            if (!object) {
                answer(ticket, completion, platform::unexpected(object.error()));
                return;
            }
            inMemoryCacheQueue_.async([this, ticket = std::move(ticket), key = std::move(key),
                                       object = std::move(object.value()),
                                       completion = std::move(completion)]() mutable {
                cache_.set(key, object);
                answer(ticket, completion, std::optional<KeychainObject>(object));
            });
        });
    });
}

void LMUKeychainStorage::setObject(KeychainObject object, std::string key, std::optional<std::string> accessGroup,
                                   SetCompletion completion) {
    auto ticket = begin();
    inMemoryCacheQueue_.async([this, ticket = std::move(ticket), object = std::move(object), key = std::move(key),
                               accessGroup = std::move(accessGroup), completion = std::move(completion)]() mutable {
        cache_.set(key, object);
        keychainQueue_.async([this, ticket = std::move(ticket), object = std::move(object), key = std::move(key),
                              accessGroup = std::move(accessGroup), completion = std::move(completion)]() mutable {
            const auto archived = archive(object);
            if (!archived) {
                answer(ticket, completion, platform::unexpected(archived.error()));
                return;
            }
            const auto stored = LMUKeychainUtils::setItem(*store_, archived.value(), queryFor(key, accessGroup));
            if (!stored) {
                answer(ticket, completion, platform::unexpected(stored.error()));
                return;
            }
            answer(ticket, completion, object);
        });
    });
}

void LMUKeychainStorage::removeObjectForKey(std::string key, std::optional<std::string> accessGroup,
                                            RemoveCompletion completion) {
    auto ticket = begin();
    inMemoryCacheQueue_.async([this, ticket = std::move(ticket), key = std::move(key),
                               accessGroup = std::move(accessGroup), completion = std::move(completion)]() mutable {
        cache_.remove(key);
        keychainQueue_.async([this, ticket = std::move(ticket), key = std::move(key),
                              accessGroup = std::move(accessGroup), completion = std::move(completion)]() mutable {
            answer(ticket, completion, LMUKeychainUtils::removeItemWithQuery(*store_, queryFor(key, accessGroup)));
        });
    });
}

void LMUKeychainStorage::resetInMemoryCache() {
    inMemoryCacheQueue_.sync([this] { cache_.clear(); });
}

}  // namespace kit
