#include "platform/concurrency/NotificationCenter.h"

#include <algorithm>
#include <set>
#include <shared_mutex>

namespace platform {

struct NotificationCenter::Entry {
    Token token;
    std::string name;
    const void* sender;
    Observer observer;
    // Held shared while the observer runs, exclusively by a removal from
    // another thread, so that removal waits for a call in flight.
    std::shared_mutex calling;
    bool removed = false;  // guarded by calling
};

namespace {

// The entries whose observers run on this thread right now: a removal from
// inside one of them must not wait for itself.
thread_local std::set<const void*> entriesCalledHere;

}  // namespace

NotificationCenter::Token NotificationCenter::addObserver(std::string name, const void* sender, Observer observer) {
    auto entry = std::make_shared<Entry>();
    entry->name = std::move(name);
    entry->sender = sender;
    entry->observer = std::move(observer);
    std::lock_guard lock(mutex_);
    entry->token = nextToken_++;
    entries_.push_back(std::move(entry));
    return entries_.back()->token;
}

void NotificationCenter::removeObserver(Token token) {
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard lock(mutex_);
        const auto found =
            std::find_if(entries_.begin(), entries_.end(), [token](const auto& item) { return item->token == token; });
        if (found == entries_.end()) {
            return;
        }
        entry = *found;
        entries_.erase(found);
    }
    if (entriesCalledHere.contains(entry.get())) {
        // Called from inside its own observer (or one nested in it): the
        // shared hold is ours, so mark it without waiting.
        entry->removed = true;
        return;
    }
    std::unique_lock exclusive(entry->calling);
    entry->removed = true;
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Entry>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_) {
            if ((entry->name.empty() || entry->name == notification.name) &&
                (entry->sender == nullptr || entry->sender == notification.sender)) {
                matching.push_back(entry);
            }
        }
    }
    for (const auto& entry : matching) {
        std::shared_lock shared(entry->calling);
        if (entry->removed) {
            continue;
        }
        const bool inserted = entriesCalledHere.insert(entry.get()).second;
        try {
            entry->observer(notification);
        } catch (...) {
            if (inserted) {
                entriesCalledHere.erase(entry.get());
            }
            throw;
        }
        if (inserted) {
            entriesCalledHere.erase(entry.get());
        }
    }
}

void NotificationCenter::post(std::string name, const void* sender, Value userInfo) {
    post(Notification{std::move(name), sender, std::move(userInfo)});
}

NotificationCenter& NotificationCenter::defaultCenter() {
    // Outlives static destruction: objects made before its first use (the
    // persisted settings) remove their observers from their destructors.
    static auto* const center = new NotificationCenter();
    return *center;
}

}  // namespace platform
