#pragma once

#include "kit/installations/InstallationsTexts.h"
#include "kit/promises/PRMPromise.h"

#include "platform/ProgrammerError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace kit::installations {

// One operation shared by every caller while it is pending: the first call
// starts it, later calls get the same promise until it settles.
template <typename T>
class HLOInstallationsSingleOperationPromiseCache {
public:
    using OperationHandler = std::function<promises::PRMPromise<T>()>;

    explicit HLOInstallationsSingleOperationPromiseCache(OperationHandler newOperationHandler)
        : newOperationHandler_(std::move(newOperationHandler)) {
        if (!newOperationHandler_) {
            throw platform::ProgrammerError(std::string(kInvalidArgumentException),
                                            std::string(kNilOperationHandlerReason));
        }
    }
    HLOInstallationsSingleOperationPromiseCache(const HLOInstallationsSingleOperationPromiseCache&) = delete;
    HLOInstallationsSingleOperationPromiseCache& operator=(const HLOInstallationsSingleOperationPromiseCache&) = delete;

    // The handler runs under the lock, so two callers never start two
    // operations; it must not come back to this cache synchronously. A
    // promise that has settled is not handed out again, even before its
    // clearing has run: a caller after a failure gets a new attempt.
    promises::PRMPromise<T> getExistingPendingOrCreateNewPromise() {
        std::lock_guard lock(slot_->mutex);
        if (!slot_->pendingPromise || !slot_->pendingPromise->isPending()) {
            promises::PRMPromise<T> promise = newOperationHandler_();
            slot_->pendingPromise = promise;
            const std::uint64_t generation = ++slot_->generation;
            // Cleared on the default queue once settled; the cache may be
            // gone by then.
            const auto clear = [weakSlot = std::weak_ptr<Slot>(slot_), generation] {
                if (const auto slot = weakSlot.lock()) {
                    std::lock_guard clearing(slot->mutex);
                    if (slot->generation == generation) {
                        slot->pendingPromise.reset();
                    }
                }
            };
            promise.observeOnQueue(
                promises::PromiseClass::defaultDispatchQueue(), [clear](const T&) { clear(); },
                [clear](const platform::Error&) { clear(); });
        }
        return *slot_->pendingPromise;
    }

    std::optional<promises::PRMPromise<T>> getExistingPendingPromise() {
        std::lock_guard lock(slot_->mutex);
        if (slot_->pendingPromise && slot_->pendingPromise->isPending()) {
            return slot_->pendingPromise;
        }
        return std::nullopt;
    }

private:
    struct Slot {
        std::mutex mutex;
        std::optional<promises::PRMPromise<T>> pendingPromise;  // guarded by mutex
        std::uint64_t generation = 0;                           // guarded by mutex: counts operations started
    };

    const OperationHandler newOperationHandler_;
    const std::shared_ptr<Slot> slot_ = std::make_shared<Slot>();
};

}  // namespace kit::installations
