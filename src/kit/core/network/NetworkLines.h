#pragma once

#include "kit/core/LogLine.h"
#include "kit/core/network/Network.h"

// The network client's own log lines, written through its logger delegate.
namespace kit::network_lines {

using log_lines::Line;

inline constexpr Line kUploadingData{kLMUNetworkMessageCodeNetwork000, kLMUNetworkLogLevelDebug,
                                     "Uploading data. Host"};
inline constexpr Line kDownloadingData{kLMUNetworkMessageCodeNetwork001, kLMUNetworkLogLevelDebug,
                                       "Downloading data. Host"};
inline constexpr Line kRequestNotCreated{kLMUNetworkMessageCodeNetwork002, kLMUNetworkLogLevelWarning,
                                         "Failed to create network request. Code, error"};
// A code of its own: a refused delegate is not a request that failed.
inline constexpr Line kLoggerDelegateRefused{
    kLMUNetworkMessageCodeNetwork004, kLMUNetworkLogLevelError,
    "Cannot set the network logger delegate: delegate does not conform to the network logger protocol."};

// Every line of this table, so one check can hold all tables against each other.
inline constexpr const Line* kAllLines[] = {&kUploadingData, &kDownloadingData, &kRequestNotCreated,
                                            &kLoggerDelegateRefused};

}  // namespace kit::network_lines
