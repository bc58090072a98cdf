#include "kit/core/Endpoints.h"

#include "kit/core/KitContext.h"
#include "kit/core/MainBundle.h"
#include "kit/core/Logger.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>

namespace kit {
namespace {

struct TextField {
    std::string_view key;
    std::string Endpoints::*field;
};

constexpr TextField kTextFields[] = {
    {"ConsoleURL", &Endpoints::consoleURL},
    {"SetupGuideURL", &Endpoints::setupGuideURL},
    {"LoggingDocumentationURL", &Endpoints::loggingDocumentationURL},
    {"InstallationsBaseURL", &Endpoints::installationsBaseURL},
    {"MeasurementHost", &Endpoints::measurementHost},
    {"MeasurementUploadHost", &Endpoints::measurementUploadHost},
    {"MeasurementUploadConsentHost", &Endpoints::measurementUploadConsentHost},
    {"ConfigurationHost", &Endpoints::configurationHost},
    {"ExperimentHost", &Endpoints::experimentHost},
    {"DeepLinkHost", &Endpoints::deepLinkHost},
    {"AdAttributionHost", &Endpoints::adAttributionHost},
    {"CAFile", &Endpoints::caFile},
};

constexpr std::string_view kConnectToKey = "ConnectTo";
constexpr std::string_view kEndpointsMalformedCode = "I-COR000040";

// What current() answers, one per kit context.
struct CurrentEndpoints {
    std::mutex mutex;
    std::optional<Endpoints> endpoints;  // guarded by mutex
};

CurrentEndpoints& shared() { return KitContext::current().service<CurrentEndpoints>(); }

}  // namespace

Endpoints Endpoints::fromDictionary(const platform::Value& dictionary) {
    Endpoints endpoints;
    for (const TextField& entry : kTextFields) {
        if (const platform::Value* value = dictionary.find(entry.key)) {
            if (const std::string* text = value->asString()) {
                endpoints.*entry.field = *text;
            }
        }
    }
    if (const platform::Value* value = dictionary.find(kConnectToKey)) {
        if (const platform::Value::Array* list = value->asArray()) {
            for (const platform::Value& item : *list) {
                if (const std::string* text = item.asString()) {
                    endpoints.connectTo.push_back(*text);
                }
            }
        }
    }
    return endpoints;
}

Endpoints Endpoints::fromBundle(const platform::Bundle& bundle) {
    const auto path = bundle.pathForResource(kEndpointsResourceName, kEndpointsResourceType);
    if (!path) {
        return {};
    }
    std::ifstream file(*path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    std::optional<platform::Value> value;
    if (file) {
        value = platform::Value::fromPlist(bytes.str());
    }
    if (!value || !value->isDictionary()) {
        HLOLogWarningMessage(kHLOLoggerServiceCore, kEndpointsMalformedCode,
                             "The endpoints file at %@ is not a readable dictionary; the kit stays offline.",
                             path->string());
        return {};
    }
    return fromDictionary(*value);
}

Endpoints Endpoints::current() {
    CurrentEndpoints& current = shared();
    std::lock_guard lock(current.mutex);
    if (!current.endpoints) {
        current.endpoints = fromBundle(kit::mainBundle());
    }
    return *current.endpoints;
}

void Endpoints::setCurrent(Endpoints endpoints) {
    CurrentEndpoints& current = shared();
    std::lock_guard lock(current.mutex);
    current.endpoints = std::move(endpoints);
}

}  // namespace kit
