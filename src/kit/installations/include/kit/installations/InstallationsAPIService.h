#pragma once

#include "kit/core/Endpoints.h"
#include "kit/core/heartbeat/HLOHeartbeatLogger.h"
#include "kit/core/network/CurlTransport.h"
#include "kit/installations/InstallationsDateProvider.h"
#include "kit/installations/InstallationsErrors.h"
#include "kit/installations/InstallationsItem.h"
#include "kit/promises/PRMPromise.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The installations REST client: registration, auth tokens and deletion,
// each one transfer per attempt on a transport of its own, with one retry
// after a 500.
namespace kit::installations {

// Where and how the client talks to the service.
struct HLOInstallationsAPIServiceSettings {
    std::string baseURL;  // "http(s)://host[:port][/path]"; empty: nothing is ever sent
    TransportOptions transport;
    double timeoutSeconds = kDefaultTransportTimeout;  // per attempt
    std::size_t maximumResponseSize = std::size_t{1} << 20;

    // The "installations" entry and the transport settings of the endpoints.
    static HLOInstallationsAPIServiceSettings fromEndpoints(const Endpoints& endpoints);
};

// One answer, of any status.
struct HLOInstallationsURLSessionResponse {
    HLOInstallationsHTTPResponse HTTPResponse;
    std::vector<std::uint8_t> data;
};

class HLOInstallationsAPIService {
public:
    // Settings from the current endpoints.
    HLOInstallationsAPIService(std::string APIKey, std::string projectID,
                               std::shared_ptr<HLOHeartbeatLoggerProtocol> heartbeatLogger);
    HLOInstallationsAPIService(std::string APIKey, std::string projectID,
                               std::shared_ptr<HLOHeartbeatLoggerProtocol> heartbeatLogger,
                               HLOInstallationsAPIServiceSettings settings,
                               HLOInstallationsDateProvider dateProvider = defaultDateProvider());
    // A transfer in flight still finishes (at its timeout at the latest) and
    // settles its promise.
    ~HLOInstallationsAPIService();
    HLOInstallationsAPIService(const HLOInstallationsAPIService&) = delete;
    HLOInstallationsAPIService& operator=(const HLOInstallationsAPIService&) = delete;

    // "i:" and the kit's version.
    static std::string SDKVersion();

    // The item registered (status 2, refresh and auth token, the server's
    // FID when it gave one). An invalid item rejects with its validation error.
    promises::PRMPromise<HLOInstallationsItem> registerInstallation(const HLOInstallationsItem& installation);
    // A copy of the item with a new auth token.
    promises::PRMPromise<HLOInstallationsItem> refreshAuthTokenForInstallation(
        const HLOInstallationsItem& installation);
    // The item, once the server has deleted it.
    promises::PRMPromise<HLOInstallationsItem> deleteInstallation(const HLOInstallationsItem& installation);

private:
    struct State;
    // Shared with the promise chains in flight.
    std::shared_ptr<State> state_;
};

}  // namespace kit::installations
