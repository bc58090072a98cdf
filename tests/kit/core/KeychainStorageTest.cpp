#include "KitTestSupport.h"
#include "Process.h"
#include "kit/core/KeychainStorage.h"
#include "kit/core/KitPaths.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <thread>

namespace kit {
namespace {

using platform::testing::runCommand;
using platform::testing::shellQuote;
using testing::KitTest;

constexpr const char* kService = "com.stubforge.tests.secure";

KeychainObject installation(const std::string& id) {
    return KeychainObject{"HLOInstallationsStoredItem", platform::Value(platform::Value::Dictionary{
                                                            {"id", platform::Value(id)},
                                                            {"registered", platform::Value(true)},
                                                        })};
}

// Runs one storage call and waits for its completion, noting its thread.
struct Waited {
    std::thread::id thread;
};

platform::Expected<std::optional<KeychainObject>> get(LMUKeychainStorage& storage, const std::string& key,
                                                      const std::string& objectClass, Waited* waited = nullptr) {
    std::promise<platform::Expected<std::optional<KeychainObject>>> done;
    auto future = done.get_future();
    storage.getObjectForKey(key, objectClass, std::nullopt, [&](auto result) {
        if (waited != nullptr) {
            waited->thread = std::this_thread::get_id();
        }
        done.set_value(std::move(result));
    });
    return future.get();
}

platform::Expected<KeychainObject> set(LMUKeychainStorage& storage, const KeychainObject& object,
                                       const std::string& key, Waited* waited = nullptr) {
    std::promise<platform::Expected<KeychainObject>> done;
    auto future = done.get_future();
    storage.setObject(object, key, std::nullopt, [&](auto result) {
        if (waited != nullptr) {
            waited->thread = std::this_thread::get_id();
        }
        done.set_value(std::move(result));
    });
    return future.get();
}

platform::Expected<void> remove(LMUKeychainStorage& storage, const std::string& key, Waited* waited = nullptr) {
    std::promise<platform::Expected<void>> done;
    auto future = done.get_future();
    storage.removeObjectForKey(key, std::nullopt, [&](auto result) {
        if (waited != nullptr) {
            waited->thread = std::this_thread::get_id();
        }
        done.set_value(std::move(result));
    });
    return future.get();
}

class KeychainStorageTest : public KitTest {
protected:
    std::filesystem::path folder() const { return kitDataDirectory() / "secure-items"; }
};

TEST_F(KeychainStorageTest, GetSetRemoveOverTheFileStore) {
    auto store = defaultSecureItemStore();
    LMUKeychainStorage storage(kService, store);
    const auto object = installation("fid-1");
    const struct {
        const char* step;
        std::function<void()> run;
    } steps[] = {
        {"get of a missing item gives nothing",
         [&] {
             const auto result = get(storage, "account", object.className);
             ASSERT_TRUE(result.hasValue());
             EXPECT_FALSE(result.value().has_value());
         }},
        {"remove of a missing item succeeds", [&] { EXPECT_TRUE(remove(storage, "account").hasValue()); }},
        {"set answers the object", [&] { EXPECT_EQ(set(storage, object, "account").value(), object); }},
        {"get from the store after the cache is reset",
         [&] {
             storage.resetInMemoryCache();
             EXPECT_EQ(get(storage, "account", object.className).value(), object);
         }},
        {"a second storage reads the same item",
         [&] {
             LMUKeychainStorage other(kService, defaultSecureItemStore());
             EXPECT_EQ(get(other, "account", object.className).value(), object);
         }},
        {"set replaces",
         [&] {
             EXPECT_TRUE(set(storage, installation("fid-2"), "account").hasValue());
             storage.resetInMemoryCache();
             EXPECT_EQ(get(storage, "account", object.className).value(), installation("fid-2"));
         }},
        {"remove removes",
         [&] {
             EXPECT_TRUE(remove(storage, "account").hasValue());
             storage.resetInMemoryCache();
             EXPECT_FALSE(get(storage, "account", object.className).value().has_value());
         }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        step.run();
    }
}

TEST_F(KeychainStorageTest, AClassMismatchIsTheUnarchivingErrorAndCachesNothing) {
    auto store = defaultSecureItemStore();
    LMUKeychainStorage storage(kService, store);
    ASSERT_TRUE(set(storage, installation("fid-1"), "account").hasValue());
    storage.resetInMemoryCache();

    const auto mismatch = get(storage, "account", "HLOAuthToken");
    ASSERT_FALSE(mismatch.hasValue());
    EXPECT_EQ(mismatch.error().domain(), "NSCocoaErrorDomain");
    EXPECT_EQ(mismatch.error().code(), 4864);

    // Gone from the store behind the cache's back: only a cached object could answer now.
    ASSERT_TRUE(LMUKeychainUtils::removeItemWithQuery(*store, {kService, "account", std::nullopt}).hasValue());
    EXPECT_FALSE(get(storage, "account", "HLOAuthToken").value().has_value());
    EXPECT_FALSE(get(storage, "account", "HLOInstallationsStoredItem").value().has_value());
}

// A completion may release the storage's last owner (a store dropped by
// its caller while its read, write or removal was under way): the storage
// ends there, and the next operations of the program still run.
TEST_F(KeychainStorageTest, ACompletionMayReleaseTheStorage) {
    using Operation = std::function<void(LMUKeychainStorage&, std::function<void()>)>;
    const std::pair<const char*, Operation> operations[] = {
        {"get",
         [](LMUKeychainStorage& storage, std::function<void()> done) {
             storage.getObjectForKey("missing", "HLOInstallationsStoredItem", std::nullopt,
                                     [done = std::move(done)](auto) { done(); });
         }},
        {"set",
         [](LMUKeychainStorage& storage, std::function<void()> done) {
             storage.setObject(installation("a"), "a", std::nullopt, [done = std::move(done)](auto) { done(); });
         }},
        {"remove",
         [](LMUKeychainStorage& storage, std::function<void()> done) {
             storage.removeObjectForKey("a", std::nullopt, [done = std::move(done)](auto) { done(); });
         }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        auto storage = std::make_shared<LMUKeychainStorage>(kService, defaultSecureItemStore());
        std::promise<void> released;
        auto holder = std::make_shared<std::shared_ptr<LMUKeychainStorage>>(storage);
        LMUKeychainStorage& used = *storage;
        storage.reset();
        operation(used, [holder, &released] {
            holder->reset();  // the last owner: the storage ends inside its own completion
            released.set_value();
        });
        holder.reset();
        ASSERT_EQ(released.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    }
}

TEST_F(KeychainStorageTest, CompletionsNeverRunOnTheCallersThread) {
    LMUKeychainStorage storage(kService, defaultSecureItemStore());
    Waited waited;
    ASSERT_TRUE(set(storage, installation("fid"), "account", &waited).hasValue());
    EXPECT_NE(waited.thread, std::this_thread::get_id());
    ASSERT_TRUE(get(storage, "account", "HLOInstallationsStoredItem", &waited).value().has_value());  // from the cache
    EXPECT_NE(waited.thread, std::this_thread::get_id());
    storage.resetInMemoryCache();
    ASSERT_TRUE(get(storage, "account", "HLOInstallationsStoredItem", &waited).value().has_value());
    EXPECT_NE(waited.thread, std::this_thread::get_id());
    ASSERT_TRUE(remove(storage, "account", &waited).hasValue());
    EXPECT_NE(waited.thread, std::this_thread::get_id());
}

TEST_F(KeychainStorageTest, TheFolderAndFilesArePrivate) {
    LMUKeychainStorage storage(kService, defaultSecureItemStore());
    ASSERT_TRUE(set(storage, installation("fid"), "account").hasValue());
    struct stat info {};
    ASSERT_EQ(::stat(folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700U);
    const auto file = FileSecureItemStore(folder()).fileForService(kService);
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600U);
    const auto read = runCommand("plistutil -i " + shellQuote(file.string()) + " -f xml");
    EXPECT_EQ(read.exitCode, 0) << read.output;
    EXPECT_NE(read.output.find("<string>account</string>"), std::string::npos) << read.output;
}

TEST_F(KeychainStorageTest, AccessGroupsAndServicesKeepItemsApart) {
    InMemorySecureItemStore memory;
    FileSecureItemStore files(folder());
    for (SecureItemStore* store : std::initializer_list<SecureItemStore*>{&memory, &files}) {
        const SecureItemQuery plain{"service/a", "account", std::nullopt};
        const SecureItemQuery grouped{"service/a", "account", "group.one"};
        const SecureItemQuery otherService{"service/b", "account", std::nullopt};
        const std::vector<std::uint8_t> one{1};
        const std::vector<std::uint8_t> two{2};
        EXPECT_EQ(store->add(grouped, one), kSecureItemSuccess);
        EXPECT_EQ(store->add(grouped, two), kSecureItemDuplicate);
        std::vector<std::uint8_t> data;
        EXPECT_EQ(store->copyMatching(plain, data), kSecureItemSuccess);  // any group matches
        EXPECT_EQ(data, one);
        EXPECT_EQ(store->copyMatching({"service/a", "account", "group.two"}, data), kSecureItemNotFound);
        EXPECT_EQ(store->copyMatching(otherService, data), kSecureItemNotFound);
        EXPECT_EQ(store->update({"service/a", "account", "group.two"}, two), kSecureItemNotFound);
        EXPECT_EQ(store->update(plain, two), kSecureItemSuccess);
        EXPECT_EQ(store->copyMatching(grouped, data), kSecureItemSuccess);
        EXPECT_EQ(data, two);
        EXPECT_EQ(store->remove(plain), kSecureItemSuccess);
        EXPECT_EQ(store->remove(plain), kSecureItemNotFound);
    }
}

// A store whose calls fail with the given statuses.
class FailingStore final : public SecureItemStore {
public:
    int copyStatus = kSecureItemNotFound;
    int writeStatus = ENOSPC;
    int copyMatching(const SecureItemQuery&, std::vector<std::uint8_t>&) override { return copyStatus; }
    int add(const SecureItemQuery&, std::span<const std::uint8_t>) override { return writeStatus; }
    int update(const SecureItemQuery&, std::span<const std::uint8_t>) override { return writeStatus; }
    int remove(const SecureItemQuery&) override { return writeStatus; }
};

TEST_F(KeychainStorageTest, StoreFailuresAreKeychainErrorsAndTheCacheKeepsAFailedWrite) {
    auto store = std::make_shared<FailingStore>();
    LMUKeychainStorage storage(kService, store);
    const auto written = set(storage, installation("fid"), "account");
    ASSERT_FALSE(written.hasValue());
    EXPECT_EQ(written.error().domain(), "com.lmu.keychain.ErrorDomain");
    EXPECT_EQ(written.error().code(), 0);
    EXPECT_NE(std::string(written.error().what()).find("SecItemAdd (28)"), std::string::npos) << written.error().what();
    EXPECT_EQ(get(storage, "account", "HLOInstallationsStoredItem").value(), installation("fid"));

    const auto removed = remove(storage, "account");
    ASSERT_FALSE(removed.hasValue());
    EXPECT_NE(std::string(removed.error().what()).find("SecItemDelete (28)"), std::string::npos);

    store->copyStatus = EACCES;
    const auto read = get(storage, "account", "HLOInstallationsStoredItem");
    ASSERT_FALSE(read.hasValue());
    EXPECT_NE(std::string(read.error().what()).find("SecItemCopyMatching (13)"), std::string::npos);
    const auto rewritten = set(storage, installation("fid"), "account");
    ASSERT_FALSE(rewritten.hasValue());
    EXPECT_NE(std::string(rewritten.error().what()).find("SecItemCopyMatching (13)"), std::string::npos);
}

TEST_F(KeychainStorageTest, ValuesAPlistCannotHoldAreNotArchived) {
    LMUKeychainStorage storage(kService, std::make_shared<InMemorySecureItemStore>());
    const KeychainObject withNull{"Item",
                                  platform::Value(platform::Value::Array{platform::Value(1), platform::Value()})};
    const auto result = set(storage, withNull, "account");
    ASSERT_FALSE(result.hasValue());
    EXPECT_EQ(result.error().domain(), "NSCocoaErrorDomain");
    EXPECT_EQ(result.error().code(), 4866);
}

TEST_F(KeychainStorageTest, TheCacheHoldsTheFiveLatestObjects) {
    auto store = std::make_shared<InMemorySecureItemStore>();
    LMUKeychainStorage storage(kService, store);
    for (int key = 0; key < 6; ++key) {
        ASSERT_TRUE(set(storage, installation(std::to_string(key)), "key" + std::to_string(key)).hasValue());
    }
    ASSERT_TRUE(get(storage, "key1", "HLOInstallationsStoredItem").hasValue());  // key1 is now the latest used
    ASSERT_TRUE(set(storage, installation("6"), "key6").hasValue());             // evicts key2
    for (int key = 0; key < 7; ++key) {
        ASSERT_EQ(store->remove({kService, "key" + std::to_string(key), std::nullopt}), kSecureItemSuccess);
    }
    const std::set<int> cached{1, 3, 4, 5, 6};
    for (int key = 0; key < 7; ++key) {
        const auto result = get(storage, "key" + std::to_string(key), "HLOInstallationsStoredItem");
        EXPECT_EQ(result.value().has_value(), cached.contains(key)) << key;
    }
}

TEST_F(KeychainStorageTest, TwoProcessesLoseNoAccount) {
    const auto path = folder();
    constexpr int kAccounts = 200;
    const auto writer = [&](const std::string& prefix) {
        return [=] {
            FileSecureItemStore store(path);
            for (int account = 0; account < kAccounts; ++account) {
                const std::string name = prefix + std::to_string(account);
                if (!LMUKeychainUtils::setItem(store, std::vector<std::uint8_t>(name.begin(), name.end()),
                                               {kService, name, std::nullopt})) {
                    return 1;
                }
            }
            return 0;
        };
    };
    // Both start together, so their writes interleave.
    const pid_t first = ::fork();
    if (first == 0) {
        ::_exit(writer("first-")());
    }
    const pid_t second = ::fork();
    if (second == 0) {
        ::_exit(writer("second-")());
    }
    for (const pid_t child : {first, second}) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    FileSecureItemStore store(path);
    for (const std::string prefix : {"first-", "second-"}) {
        for (int account = 0; account < kAccounts; ++account) {
            const std::string name = prefix + std::to_string(account);
            std::vector<std::uint8_t> data;
            ASSERT_EQ(store.copyMatching({kService, name, std::nullopt}, data), kSecureItemSuccess) << name;
            EXPECT_EQ(std::string(data.begin(), data.end()), name);
        }
    }
}

TEST_F(KeychainStorageTest, AKilledWriterLeavesAReadableFile) {
    const auto path = folder();
    const auto file = FileSecureItemStore(path).fileForService(kService);
    const pid_t child = ::fork();
    if (child == 0) {
        FileSecureItemStore store(path);
        for (int account = 0;; ++account) {
            const std::string name = "account-" + std::to_string(account % 500);
            const std::vector<std::uint8_t> data(1000 + account % 97, static_cast<std::uint8_t>(account));
            (void)LMUKeychainUtils::setItem(store, data, {kService, name, std::nullopt});
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const auto read = runCommand("plistutil -i " + shellQuote(file.string()) + " -f xml");
    ASSERT_EQ(read.exitCode, 0) << read.output;
    EXPECT_NE(read.output.find("<string>account-0</string>"), std::string::npos);
    std::vector<std::uint8_t> data;
    EXPECT_EQ(FileSecureItemStore(path).copyMatching({kService, "account-0", std::nullopt}, data), kSecureItemSuccess);
}

}  // namespace
}  // namespace kit
