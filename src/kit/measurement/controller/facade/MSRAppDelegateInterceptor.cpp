#include "kit/measurement/controller/MSRAppDelegateInterceptor.h"

namespace kit::measurement {

std::shared_ptr<MSRAppDelegateInterceptor> MSRAppDelegateInterceptor::sharedInstance() {
    static const auto shared = std::make_shared<MSRAppDelegateInterceptor>();
    return shared;
}

}  // namespace kit::measurement
