#pragma once

#include "platform/Value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

struct Notification {
    std::string name;
    const void* sender = nullptr;  // identity only; never dereferenced
    Value userInfo;
};

// Named notifications delivered synchronously on the posting thread.
// Observers choose a name (empty for every name) and a sender (null for any
// sender). Once removeObserver() returns, the observer is not called again;
// an observer may remove itself, or others, while it is being called.
class NotificationCenter {
public:
    using Observer = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    Token addObserver(std::string name, const void* sender, Observer observer);
    void removeObserver(Token token);
    void post(const Notification& notification);
    void post(std::string name, const void* sender = nullptr, Value userInfo = Value());

    static NotificationCenter& defaultCenter();

private:
    struct Entry;

    std::mutex mutex_;
    std::vector<std::shared_ptr<Entry>> entries_;  // guarded by mutex_
    Token nextToken_ = 1;                          // guarded by mutex_
};

}  // namespace platform
