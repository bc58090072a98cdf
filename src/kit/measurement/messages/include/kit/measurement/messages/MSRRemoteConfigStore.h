#pragma once

#include "kit/measurement/messages/NanoMessage.h"
#include "platform/Expected.h"

#include <optional>
#include <string>

// Where the remote settings keep their configuration: the measurement
// database's three configuration operations, and the persisted app instance
// identifier. The support library implements both over its stores; the
// controller hands them to the settings, which hold the store weakly.
namespace kit::measurement {

class MSRRemoteConfigStore {
public:
    virtual ~MSRRemoteConfigStore() = default;

    // Stores the encoded configuration with now as its update time.
    virtual platform::Expected<void> updateRemoteConfig(const MSRPBMeasurementConfig& config) = 0;
    // The stored configuration; nothing when none is stored; an error when
    // the stored bytes do not decode or the store fails.
    virtual platform::Expected<std::optional<MSRPBMeasurementConfig>> queryMeasurementConfigWithError() = 0;
    // Seconds since 1970 of the last store or successful fetch; nothing when
    // never stored.
    virtual platform::Expected<std::optional<double>> lastRemoteConfigUpdateTimestamp() = 0;
};

// The persisted configuration, as far as the settings read it.
class MSRPersistedAppInstanceID {
public:
    virtual ~MSRPersistedAppInstanceID() = default;
    // "" when none was stored.
    virtual std::string appInstanceID() = 0;
};

}  // namespace kit::measurement
