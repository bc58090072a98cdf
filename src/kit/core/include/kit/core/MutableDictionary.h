#pragma once

#include "platform/Value.h"

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace kit {

// A dictionary that many threads use at once. Every access takes its lock,
// so a read after a write from the same thread sees that write, and a read
// from inside another access cannot wait on itself (none calls out).
template <typename Key = std::string, typename Object = platform::Value>
class LMUMutableDictionary {
public:
    using Dictionary = std::map<Key, Object, std::less<>>;

    template <typename Lookup>
    std::optional<Object> objectForKey(const Lookup& key) const {
        std::lock_guard lock(mutex_);
        if (const auto found = objects_.find(key); found != objects_.end()) {
            return found->second;
        }
        return std::nullopt;
    }
    template <typename Lookup>
    std::optional<Object> objectForKeyedSubscript(const Lookup& key) const {
        return objectForKey(key);
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return objects_.size();
    }
    // A copy.
    Dictionary dictionary() const {
        std::lock_guard lock(mutex_);
        return objects_;
    }

    void setObject(Object object, Key key) {
        std::lock_guard lock(mutex_);
        objects_.insert_or_assign(std::move(key), std::move(object));
    }
    // Nothing removes the key.
    void setObjectForKeyedSubscript(std::optional<Object> object, Key key) {
        if (object) {
            setObject(std::move(*object), std::move(key));
        } else {
            removeObjectForKey(key);
        }
    }
    template <typename Lookup>
    void removeObjectForKey(const Lookup& key) {
        std::lock_guard lock(mutex_);
        if (const auto found = objects_.find(key); found != objects_.end()) {
            objects_.erase(found);
        }
    }
    void removeAllObjects() {
        std::lock_guard lock(mutex_);
        objects_.clear();
    }

private:
    mutable std::mutex mutex_;
    Dictionary objects_;  // guarded by mutex_
};

}  // namespace kit
