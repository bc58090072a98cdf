#pragma once

#include "kit/core/network/Reachability.h"

#include <memory>
#include <string>

namespace kit::measurement::testing {

// A reachability table that reports nothing and needs no socket.
inline kit::LMUReachabilityApi quietReachability() {
    kit::LMUReachabilityApi api;
    api.createWithNameFn = [](const std::string&) { return std::make_shared<int>(0); };
    api.setCallbackFn = [](const kit::LMUReachabilityRef&, kit::LMUReachabilityCallback) { return true; };
    api.scheduleWithRunLoopFn = [](const kit::LMUReachabilityRef&) { return true; };
    api.unscheduleFromRunLoopFn = [](const kit::LMUReachabilityRef&) { return true; };
    api.releaseFn = [](const kit::LMUReachabilityRef&) {};
    return api;
}

}  // namespace kit::measurement::testing
