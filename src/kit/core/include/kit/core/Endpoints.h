#pragma once

#include "platform/Bundle.h"
#include "platform/Value.h"

#include <string>
#include <string_view>
#include <vector>

// Every address the kit talks to or shows, read from the bundle resource
// "LumenEndpoints.plist". The shipped file is empty: an empty host makes no
// network client, so no build reaches outside unless someone fills it in.
// Tests write their own file (or set the value) pointing at 127.0.0.1.
namespace kit {

inline constexpr std::string_view kEndpointsResourceName = "LumenEndpoints";
inline constexpr std::string_view kEndpointsResourceType = "plist";

struct Endpoints {
    // Links shown in log lines.
    std::string consoleURL;               // "ConsoleURL": where an options file is downloaded
    std::string setupGuideURL;            // "SetupGuideURL": how to configure the kit
    std::string loggingDocumentationURL;  // "LoggingDocumentationURL": the logging hints' reference

    // Services. Hosts are "name" or "name:port"; the installations service
    // is a whole base address ("https://host[:port][/path]").
    std::string installationsBaseURL;          // "InstallationsBaseURL"
    std::string measurementHost;               // "MeasurementHost": reachability of the measurement service
    std::string measurementUploadHost;         // "MeasurementUploadHost"
    std::string measurementUploadConsentHost;  // "MeasurementUploadConsentHost": used under app-data consent 3
    std::string configurationHost;             // "ConfigurationHost": remote configuration fetch
    std::string experimentHost;                // "ExperimentHost"
    std::string deepLinkHost;                  // "DeepLinkHost": deferred deep links
    std::string adAttributionHost;             // "AdAttributionHost": search-ad attribution

    // Transport, for the network client.
    std::string caFile;                  // "CAFile": PEM bundle trusted besides the system's CAs
    std::vector<std::string> connectTo;  // "ConnectTo": "HOST:PORT:CONNECT-TO-HOST:CONNECT-TO-PORT" each

    bool operator==(const Endpoints&) const = default;

    // Keys absent or of the wrong kind stay empty; a non-text entry of
    // "ConnectTo" is skipped. Unknown keys are ignored.
    static Endpoints fromDictionary(const platform::Value& dictionary);

    // The bundle's resource; a missing file gives empty endpoints, an
    // unreadable or malformed one gives empty endpoints and a warning line.
    static Endpoints fromBundle(const platform::Bundle& bundle);

    // The current kit context's: the main bundle's, read on first use and
    // kept for the context, unless set.
    static Endpoints current();
    // Replaces what current() answers in the current kit context.
    static void setCurrent(Endpoints endpoints);
};

}  // namespace kit
