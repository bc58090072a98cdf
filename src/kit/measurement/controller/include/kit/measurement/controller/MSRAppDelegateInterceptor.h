#pragma once

#include "kit/core/proxy/AppDelegateSwizzler.h"

#include <memory>

namespace kit::measurement {

// The engine's application-delegate interceptor. It overrides nothing, so
// registering it observes nothing; it marks the engine as a participant.
class MSRAppDelegateInterceptor final : public LMUApplicationDelegate {
public:
    static std::shared_ptr<MSRAppDelegateInterceptor> sharedInstance();
};

}  // namespace kit::measurement
