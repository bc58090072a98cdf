#pragma once

#include "platform/Log.h"

#include <functional>
#include <string_view>

namespace platform {

using Work = std::function<void()>;

// Something that runs work later, on a thread of its choosing.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void async(Work work) = 0;
};

// Runs `work`, catching whatever it throws and logging it as an error line
// naming `queueLabel`: a block that throws never ends its queue's thread or
// the process.
void runGuarded(const Work& work, std::string_view queueLabel, LogSink& log) noexcept;

}  // namespace platform
