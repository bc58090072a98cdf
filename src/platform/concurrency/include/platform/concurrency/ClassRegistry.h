#pragma once

#include <any>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace platform {

// Classes and protocol implementations looked up by name, as components
// find optional collaborators at run time. Registration is explicit (a
// static initialiser in a static library may never be linked in). Its
// owner decides how long registrations hold: the kit keeps one per kit
// context.
class ClassRegistry {
public:
    // Registers `object` under `name`, replacing what was there.
    template <typename T>
    void registerClass(std::string name, std::shared_ptr<T> object) {
        std::lock_guard lock(mutex_);
        entries_[std::move(name)] = std::move(object);
    }

    // What is registered under `name` as a T, or null when nothing is or it
    // is not a T.
    template <typename T>
    std::shared_ptr<T> lookup(std::string_view name) const {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(name);
        if (found == entries_.end()) {
            return nullptr;
        }
        const auto* object = std::any_cast<std::shared_ptr<T>>(&found->second);
        return object != nullptr ? *object : nullptr;
    }

    bool contains(std::string_view name) const {
        std::lock_guard lock(mutex_);
        return entries_.find(name) != entries_.end();
    }

    void unregisterClass(std::string_view name) {
        std::lock_guard lock(mutex_);
        if (const auto found = entries_.find(name); found != entries_.end()) {
            entries_.erase(found);
        }
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::any, std::less<>> entries_;  // guarded by mutex_
};

}  // namespace platform
