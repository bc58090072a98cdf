#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

// Watches whether a host can be reached, through a table of five functions
// (by default rtnetlink: a default route, or a loopback host, means reachable).
namespace kit {

using LMUReachabilityFlags = std::uint32_t;
inline constexpr LMUReachabilityFlags kLMUReachabilityFlagsReachable = 1u << 1;
inline constexpr LMUReachabilityFlags kLMUReachabilityFlagsConnectionRequired = 1u << 2;
inline constexpr LMUReachabilityFlags kLMUReachabilityFlagsConnectionOnTraffic = 1u << 3;
inline constexpr LMUReachabilityFlags kLMUReachabilityFlagsInterventionRequired = 1u << 4;
inline constexpr LMUReachabilityFlags kLMUReachabilityFlagsConnectionOnDemand = 1u << 5;

enum LMUReachabilityStatus : int {
    kLMUReachabilityUnknown = 0,
    kLMUReachabilityNotReachable = 1,
    kLMUReachabilityViaWifi = 2,
    kLMUReachabilityViaCellular = 3,
};

// "Reachability Unknown", "Not reachable", …; "Invalid reachability status %d" otherwise.
std::string LMUReachabilityStatusString(int status);

// A watch handle of the table; the table's own object behind it.
using LMUReachabilityRef = std::shared_ptr<void>;
using LMUReachabilityCallback = std::function<void(LMUReachabilityFlags)>;

struct LMUReachabilityApi {
    std::function<LMUReachabilityRef(const std::string& host)> createWithNameFn;
    std::function<bool(const LMUReachabilityRef&, LMUReachabilityCallback)> setCallbackFn;
    // Starts reporting on the main queue; the first report follows at once.
    std::function<bool(const LMUReachabilityRef&)> scheduleWithRunLoopFn;
    std::function<bool(const LMUReachabilityRef&)> unscheduleFromRunLoopFn;
    std::function<void(const LMUReachabilityRef&)> releaseFn;
};

// rtnetlink: a default IPv4 or IPv6 route, watched by a thread of its own.
// A socket that cannot open logs a warning and reports reachable: the HTTP
// answer tells the truth.
LMUReachabilityApi LMUNetlinkReachabilityApi();

class LMUReachabilityChecker;

class LMUReachabilityDelegate {
public:
    virtual ~LMUReachabilityDelegate() = default;
    virtual void reachability(LMUReachabilityChecker& checker, LMUReachabilityStatus status) = 0;
};

class LMUReachabilityChecker : public std::enable_shared_from_this<LMUReachabilityChecker> {
public:
    // Nothing for an empty host (logged as 902001).
    static std::shared_ptr<LMUReachabilityChecker> initWithReachabilityDelegate(
        std::weak_ptr<LMUReachabilityDelegate> delegate, std::string_view host);
    ~LMUReachabilityChecker();
    LMUReachabilityChecker(const LMUReachabilityChecker&) = delete;
    LMUReachabilityChecker& operator=(const LMUReachabilityChecker&) = delete;

    bool start();
    void stop();
    bool isActive() const;
    LMUReachabilityStatus reachabilityStatus() const;
    const std::string& host() const noexcept { return host_; }

    // Refused while active (902000).
    void setReachabilityApi(LMUReachabilityApi api);
    void setReachabilityDelegate(std::weak_ptr<LMUReachabilityDelegate> delegate);

    static LMUReachabilityStatus statusForFlags(LMUReachabilityFlags flags);

    // What the table's callback reports.
    void reachabilityFlagsChanged(LMUReachabilityFlags flags);

private:
    struct Token {};

public:
    LMUReachabilityChecker(Token, std::weak_ptr<LMUReachabilityDelegate> delegate, std::string host);

private:
    const std::string host_;
    mutable std::mutex mutex_;
    std::weak_ptr<LMUReachabilityDelegate> delegate_;         // guarded by mutex_
    LMUReachabilityApi api_;                                  // guarded by mutex_
    LMUReachabilityRef reachability_;                         // guarded by mutex_
    LMUReachabilityStatus status_ = kLMUReachabilityUnknown;  // guarded by mutex_
};

}  // namespace kit
