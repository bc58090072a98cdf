#pragma once

#include <memory>
#include <mutex>
#include <typeindex>
#include <utility>
#include <vector>

namespace kit {

// The kit's running state: the services its code reaches through
// `sharedInstance()` accessors and shared state, and the end of its work.
// kit::configure() makes one and the host owns it; a test builds a fresh
// one, so every shared service starts anew and ends with the test.
//
// Services are made on first need and belong to the context that is
// current when they are asked for. Code that is not handed its context yet
// reaches it through current(); a process without a context gets a
// stand-in that lives as long as the process.
class KitContext {
public:
    // Becomes the current context and lets work run (work stays stopped
    // once a context has shut down only until the next one is made).
    KitContext();
    // Unless shut down already: stops and joins everything as shutdown()
    // does, releases the services, then lets work run again, so that a
    // test's next context starts afresh.
    ~KitContext();
    KitContext(const KitContext&) = delete;
    KitContext& operator=(const KitContext&) = delete;

    // The quit sequence, after the host's drain: stops every queue, timer
    // and network thread and joins them, then releases the services newest
    // first. From then on nothing of the kit runs; new work is dropped.
    void shutdown();

    bool isShutDown() const noexcept { return shutDown_; }

    // The context made last and still alive, else the process's stand-in.
    static KitContext& current();

    // The service of type T of this context, made (default-constructed) on
    // first need.
    template <typename T>
    T& service() {
        if (void* found = find(typeid(T))) {
            return *static_cast<T*>(found);
        }
        // Made outside the lock: making it may ask for other services.
        std::shared_ptr<T> made = std::make_shared<T>();
        return *static_cast<T*>(insert(typeid(T), std::move(made)));
    }

private:
    struct StandIn {};
    // Neither current nor touching whether work runs.
    explicit KitContext(StandIn) {}

    void* find(std::type_index type);
    // The entry already there wins; answers the kept one.
    void* insert(std::type_index type, std::shared_ptr<void> service);
    void stopWork();
    void releaseServices();

    std::mutex mutex_;
    std::vector<std::pair<std::type_index, std::shared_ptr<void>>> services_;  // guarded by mutex_; oldest first
    KitContext* previous_ = nullptr;
    bool shutDown_ = false;
};

}  // namespace kit
