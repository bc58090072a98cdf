#pragma once

#include "kit/measurement/controller/MSRAnalyticsSeams.h"

#include <memory>

namespace kit {

// The analytics facade's installation identifier: the default app's
// installations component, asked at each call.
std::shared_ptr<measurement::MSRInstallationIDSource> makeInstallationIDSource();

}  // namespace kit
