#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kit {

// The kit's user-agent text: "name/version" for every registered library
// and environment fact, sorted without regard to case and joined by blanks.
// Safe from any thread.
class HLOHaloUserAgent {
public:
    using Components = std::map<std::string, std::string, std::less<>>;

    HLOHaloUserAgent();

    std::string haloUserAgent();
    void setValue(std::string version, std::string component);
    // Back to the environment components alone.
    void reset();

    // "apple-platform", "apple-sdk", "appstore", "deploy", "device",
    // "os-version", "xcode"; a fact that is absent leaves its key out.
    static Components environmentComponents();

private:
    std::mutex mutex_;
    Components valuesByComponent_;                // guarded by mutex_
    std::optional<Components> environment_;       // guarded by mutex_; computed once
    std::optional<std::string> cachedUserAgent_;  // guarded by mutex_
};

}  // namespace kit
