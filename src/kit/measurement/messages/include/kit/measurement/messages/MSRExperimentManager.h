#pragma once

#include "platform/Error.h"
#include "platform/Expected.h"
#include "platform/Value.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The experiment manager as the remote settings see it. The controller's
// experiment component implements it; this library only declares it.
namespace kit::measurement {

class MSREClient;

// The observer of one client. The manager calls these from its own queue.
class MSREExperimentObserverDelegate {
public:
    virtual ~MSREExperimentObserverDelegate() = default;
    virtual void clientDidReceiveNewSnapshot(MSREClient& client) = 0;
    virtual void clientDidReceiveFetchError(MSREClient& client, const std::optional<platform::Error>& error) = 0;
    // The manager fetches for the client when this answers YES.
    virtual bool shouldFetchExperimentsForClient(MSREClient& client) = 0;
};

struct MSRESDKProperty;

// Supplies custom properties that change between requests.
class MSRESDKPropertyProviderDelegate {
public:
    virtual ~MSRESDKPropertyProviderDelegate() = default;
    virtual std::map<std::string, std::string> dynamicCustomPropertiesForSDKProperty(
        const MSRESDKProperty& property) = 0;
};

// The description of one experiment client, as the experiment request
// carries it.
struct MSRESDKProperty {
    std::string name;
    std::int64_t version = 0;
    std::string appID;
    // Empty: the engine's own diversion key.
    std::string diversionKey;
    std::map<std::string, std::string> customProperties;
    std::weak_ptr<MSRESDKPropertyProviderDelegate> delegate;
};

// One SDK's handle at the manager.
class MSREClient {
public:
    virtual ~MSREClient() = default;
    // Activates the latest snapshot for the client's SDK.
    virtual platform::Expected<void> activateLatestSnapshot() = 0;
    // The manager keeps the observer weakly.
    virtual void setDelegate(std::weak_ptr<MSREExperimentObserverDelegate> delegate) = 0;
    // The flag's value for the client's SDK, or nothing.
    virtual std::optional<platform::Value> objectForKeyedSubscript(std::string_view flagName) = 0;
};

class MSREManager {
public:
    virtual ~MSREManager() = default;
    // The client of `property`, or null when it cannot be registered.
    virtual std::shared_ptr<MSREClient> registerSDKProperty(const MSRESDKProperty& property,
                                                            const platform::Value::Dictionary& defaultFlags) = 0;
    // The active experiment identifiers.
    virtual std::vector<std::int64_t> experimentIDs() = 0;
    // Schedules the manager's own reset.
    virtual void reset() = 0;
};

}  // namespace kit::measurement
