#pragma once

#include "kit/core/heartbeat/Heartbeat.h"

#include "platform/Expected.h"
#include "platform/concurrency/SerialQueue.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kit::heartbeat {

enum class StorageError { readError, writeError };

// The bytes under a heartbeat storage.
class Storage {
public:
    virtual ~Storage() = default;
    virtual platform::Expected<std::string> readData() = 0;
    // None writes an empty file.
    virtual platform::Expected<void> writeData(const std::optional<std::string>& data) = 0;
};

// One file, replaced atomically on each write.
class FileStorage final : public Storage {
public:
    explicit FileStorage(std::filesystem::path url) : url_(std::move(url)) {}
    const std::filesystem::path& url() const { return url_; }
    platform::Expected<std::string> readData() override;
    platform::Expected<void> writeData(const std::optional<std::string>& data) override;

private:
    std::filesystem::path url_;
};

// The stored bundle of one app identifier. Every read-change-write runs as
// one block on the storage's serial queue "com.heartbeat.storage.<id>", so
// the changes of one identifier never interleave. One object exists per
// identifier while anyone holds it.
class HeartbeatStorage {
public:
    using Transform = std::function<std::optional<HeartbeatsBundle>(std::optional<HeartbeatsBundle>)>;
    using SwapCompletion = std::function<void(platform::Expected<std::optional<HeartbeatsBundle>>)>;

    // The live storage of `id`, else a new one over its file. The caller
    // holds lock().
    static std::shared_ptr<HeartbeatStorage> getInstance(std::string_view id);
    // Guards the process-wide cache of storages.
    static std::recursive_mutex& lock();
    // kitDataDirectory()/lumen-heartbeat-storage/heartbeats-<id, ":" → "_">.
    static std::filesystem::path fileURL(std::string_view id);

    HeartbeatStorage(std::string id, std::unique_ptr<Storage> storage);
    ~HeartbeatStorage();
    HeartbeatStorage(const HeartbeatStorage&) = delete;
    HeartbeatStorage& operator=(const HeartbeatStorage&) = delete;

    const std::string& id() const { return id_; }

    // Load (a failure reads as none), transform, save (a failure is dropped).
    void updateBundleSync(const Transform& transform);
    void updateBundleAsync(Transform transform);
    // As update, but a save failure is reported; else the loaded bundle.
    platform::Expected<std::optional<HeartbeatsBundle>> swapBundleSync(const Transform& transform);
    // The completion runs on the storage's queue; it must not call a
    // synchronous operation of this storage.
    void swapBundleAsync(Transform transform, SwapCompletion completion);

private:
    std::optional<HeartbeatsBundle> loadBundle();
    platform::Expected<void> saveBundle(const std::optional<HeartbeatsBundle>& bundle);

    // Runs one read-change-write of the file. An ending storage may still
    // drain its queue while its successor for the same identifier starts:
    // both hold the identifier's one file mutex, so their changes never
    // interleave.
    template <typename Function>
    auto underFileLock(Function&& function) {
        std::lock_guard guard(*fileMutex_);
        return function();
    }

    std::string id_;
    std::shared_ptr<std::mutex> fileMutex_;
    std::unique_ptr<Storage> storage_;  // used on queue_ only, under fileMutex_
    // Last: it ends first, running what is still queued while the rest stands.
    platform::SerialQueue queue_;
};

}  // namespace kit::heartbeat
