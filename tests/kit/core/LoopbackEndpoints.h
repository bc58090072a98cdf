#pragma once

#include "kit/core/Endpoints.h"
#include "platform/Value.h"

#include <string>

namespace kit::testing {

// The endpoints resource's entries that point what the measurement engine
// sends (uploads, with and without consent, and the configuration fetch)
// at the loopback service at `service`, with reachability asked of
// 127.0.0.1.
inline platform::Value::Dictionary loopbackMeasurementEndpoints(const std::string& service) {
    return {{"MeasurementHost", platform::Value("127.0.0.1")},
            {"MeasurementUploadHost", platform::Value(service)},
            {"MeasurementUploadConsentHost", platform::Value(service)},
            {"ConfigurationHost", platform::Value(service)}};
}

// The same for this process, in place of the bundle's resource.
inline void useLoopbackMeasurementService(const std::string& service) {
    Endpoints::setCurrent(Endpoints::fromDictionary(platform::Value(loopbackMeasurementEndpoints(service))));
}

}  // namespace kit::testing
