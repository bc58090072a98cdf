#pragma once

#include "kit/core/Endpoints.h"

#include <string>

namespace kit::testing {

// Points what the measurement engine sends (uploads, with and without
// consent, and the configuration fetch) at the loopback service at
// `service`, with reachability asked of 127.0.0.1.
inline void useLoopbackMeasurementService(const std::string& service) {
    Endpoints endpoints;
    endpoints.measurementHost = "127.0.0.1";
    endpoints.measurementUploadHost = service;
    endpoints.measurementUploadConsentHost = service;
    endpoints.configurationHost = service;
    Endpoints::setCurrentForTesting(endpoints);
}

}  // namespace kit::testing
