#pragma once

#include "platform/Error.h"
#include "platform/Value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The measurement monitor as this library sees it: numbered lines at the
// monitor's levels (0-2 error, 3-5 warning, 6 notice, 7 debug, 8 verbose).
// The controller installs a monitor that forwards to the engine's; until
// then lines go to messagesLog().
namespace kit::measurement {

struct MessagesMonitorNull {};
using MessagesMonitorContext =
    std::variant<MessagesMonitorNull, std::string, std::int64_t, double, platform::Error, platform::Value>;

class MessagesMonitor {
public:
    virtual ~MessagesMonitor() = default;
    virtual void logWithLevel(int level, std::uint64_t messageCode, std::string_view message,
                              const std::vector<MessagesMonitorContext>& contexts) = 0;

    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message) {
        logWithLevel(level, messageCode, message, std::vector<MessagesMonitorContext>{});
    }
    void logWithLevel(int level, std::uint64_t messageCode, std::string_view message, MessagesMonitorContext context) {
        logWithLevel(level, messageCode, message, std::vector<MessagesMonitorContext>{std::move(context)});
    }
};

// Forwards to the monitor installed at the time of the call.
MessagesMonitor& messagesMonitor();
// Null puts the default back. Safe from any thread.
void installMessagesMonitor(std::shared_ptr<MessagesMonitor> monitor);

}  // namespace kit::measurement
