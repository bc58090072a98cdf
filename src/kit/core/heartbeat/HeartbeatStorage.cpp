#include "kit/core/heartbeat/HeartbeatStorage.h"

#include "kit/core/KitContext.h"
#include "kit/core/KitError.h"
#include "kit/core/KitPaths.h"

#include "platform/OutputFile.h"

#include <fstream>
#include <map>
#include <sstream>

namespace kit::heartbeat {
namespace {

constexpr std::string_view kStorageErrorDomain = "HeartbeatStorage";
constexpr std::string_view kQueueLabelPrefix = "com.heartbeat.storage.";
constexpr std::string_view kDirectoryName = "lumen-heartbeat-storage";
constexpr std::string_view kFilePrefix = "heartbeats-";

platform::Error storageError(StorageError error, std::string failureReason = {}) {
    return makeKitError(kStorageErrorDomain, static_cast<int>(error),
                        {error == StorageError::readError ? "The heartbeat file could not be read."
                                                          : "The heartbeat file could not be written.",
                         std::move(failureReason),
                         {}});
}

struct CacheEntry {
    std::weak_ptr<HeartbeatStorage> object;
    const HeartbeatStorage* address = nullptr;
};

// The kit context's storages and file mutexes. Guarded by HeartbeatStorage::lock().
struct StorageTables {
    std::map<std::string, CacheEntry, std::less<>> storages;
    // The file mutex of each identifier, while a storage holds it.
    std::map<std::string, std::weak_ptr<std::mutex>, std::less<>> fileMutexes;
};

std::map<std::string, CacheEntry, std::less<>>& cache() {
    return KitContext::current().service<StorageTables>().storages;
}

std::shared_ptr<std::mutex> fileMutexFor(const std::string& id) {
    std::lock_guard guard(HeartbeatStorage::lock());
    auto& entry = KitContext::current().service<StorageTables>().fileMutexes[id];
    auto mutex = entry.lock();
    if (mutex == nullptr) {
        mutex = std::make_shared<std::mutex>();
        entry = mutex;
    }
    return mutex;
}

}  // namespace

platform::Expected<std::string> FileStorage::readData() {
    std::ifstream file(url_, std::ios::binary);
    if (!file) {
        return platform::Unexpected{storageError(StorageError::readError)};
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) {
        return platform::Unexpected{storageError(StorageError::readError)};
    }
    return bytes.str();
}

platform::Expected<void> FileStorage::writeData(const std::optional<std::string>& data) {
    std::error_code error;
    std::filesystem::create_directories(url_.parent_path(), error);
    if (error && error != std::errc::file_exists) {
        return platform::Unexpected{storageError(StorageError::writeError, error.message())};
    }
    try {
        const std::string& bytes = data ? *data : std::string();
        platform::replaceFileAtomically(url_, std::as_bytes(std::span(bytes.data(), bytes.size())));
    } catch (const platform::Error& failure) {
        return platform::Unexpected{storageError(StorageError::writeError, failure.what())};
    }
    return {};
}

std::recursive_mutex& HeartbeatStorage::lock() {
    // Never destroyed: a storage released with its kit context still takes it.
    static std::recursive_mutex& mutex = *new std::recursive_mutex();
    return mutex;
}

std::filesystem::path HeartbeatStorage::fileURL(std::string_view id) {
    std::string name(kFilePrefix);
    for (const char character : id) {
        // ":" as the file name has always had it; "/" and NUL too, so that an
        // identifier never reaches outside the folder.
        name += character == ':' || character == '/' || character == '\0' ? '_' : character;
    }
    return kitDataDirectory() / kDirectoryName / name;
}

std::shared_ptr<HeartbeatStorage> HeartbeatStorage::getInstance(std::string_view id) {
    std::lock_guard guard(lock());
    auto& entries = cache();
    if (const auto found = entries.find(id); found != entries.end()) {
        if (auto alive = found->second.object.lock()) {
            return alive;
        }
    }
    auto storage = std::make_shared<HeartbeatStorage>(std::string(id), std::make_unique<FileStorage>(fileURL(id)));
    entries[std::string(id)] = CacheEntry{storage, storage.get()};
    return storage;
}

HeartbeatStorage::HeartbeatStorage(std::string id, std::unique_ptr<Storage> storage)
    : id_(std::move(id)),
      fileMutex_(fileMutexFor(id_)),
      storage_(std::move(storage)),
      queue_(std::string(kQueueLabelPrefix) + id_) {}

HeartbeatStorage::~HeartbeatStorage() {
    std::lock_guard guard(lock());
    auto& entries = cache();
    // A newer storage may hold this identifier by now; its entry stays.
    if (const auto found = entries.find(id_); found != entries.end() && found->second.address == this) {
        entries.erase(found);
    }
}

std::optional<HeartbeatsBundle> HeartbeatStorage::loadBundle() {
    auto data = storage_->readData();
    if (!data || data.value().empty()) {
        return std::nullopt;
    }
    return HeartbeatsBundle::fromJson(data.value());
}

platform::Expected<void> HeartbeatStorage::saveBundle(const std::optional<HeartbeatsBundle>& bundle) {
    if (!bundle) {
        return storage_->writeData(std::nullopt);
    }
    return storage_->writeData(bundle->toJson());
}

void HeartbeatStorage::updateBundleSync(const Transform& transform) {
    queue_.sync([&] { underFileLock([&] { (void)saveBundle(transform(loadBundle())); }); });
}

void HeartbeatStorage::updateBundleAsync(Transform transform) {
    queue_.async([this, transform = std::move(transform)] {
        underFileLock([&] { (void)saveBundle(transform(loadBundle())); });
    });
}

platform::Expected<std::optional<HeartbeatsBundle>> HeartbeatStorage::swapBundleSync(const Transform& transform) {
    return queue_.syncResult([&] {
        return underFileLock([&]() -> platform::Expected<std::optional<HeartbeatsBundle>> {
            auto loaded = loadBundle();
            if (auto saved = saveBundle(transform(loaded)); !saved) {
                return platform::Unexpected{saved.error()};
            }
            return loaded;
        });
    });
}

void HeartbeatStorage::swapBundleAsync(Transform transform, SwapCompletion completion) {
    queue_.async([this, transform = std::move(transform), completion = std::move(completion)] {
        auto result = underFileLock([&]() -> platform::Expected<std::optional<HeartbeatsBundle>> {
            auto loaded = loadBundle();
            if (auto saved = saveBundle(transform(loaded)); !saved) {
                return platform::Unexpected{saved.error()};
            }
            return loaded;
        });
        // Outside the file lock: the completion may start other work.
        completion(std::move(result));
    });
}

}  // namespace kit::heartbeat
