#include "RemoteConfigPrivate.h"
#include "kit/core/KitContext.h"
#include "kit/core/MainBundle.h"

#include "kit/core/Endpoints.h"
#include "kit/measurement/messages/MSRControllerFacts.h"
#include "kit/measurement/messages/MSRQueryString.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "platform/URL.h"

#include <memory>

// The fetch and upload addresses, server-side tagging, and the seams for the
// bundle and the clock.
namespace kit::measurement {
namespace {

constexpr int kConfigUploadSubdomain = 10;
constexpr int kConfigSST = 14;

constexpr std::int64_t kAppDataConsentGranted = 3;

// A host may carry its own scheme ("http://127.0.0.1:8080" in tests);
// otherwise it is reached over https. Splits it into scheme and the rest.
std::pair<std::string, std::string> schemeAndHost(const std::string& host) {
    for (std::string_view scheme : {"https://", "http://"}) {
        if (host.starts_with(scheme)) {
            return {std::string(scheme), host.substr(scheme.size())};
        }
    }
    return {"https://", host};
}

std::optional<std::string> checkedURL(std::string url) {
    if (!isValidHttpURL(url)) {
        return std::nullopt;
    }
    return url;
}

struct Overrides {
    std::mutex mutex;
    std::shared_ptr<const platform::Bundle> bundle;  // guarded by mutex
    std::shared_ptr<const platform::Clock> clock;    // guarded by mutex
};

// One per kit context.
Overrides& overrides() { return KitContext::current().service<Overrides>(); }

}  // namespace

std::uint64_t fnv1a64(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool isValidSubdomain(std::string_view subdomain) {
    if (subdomain.empty() || subdomain.size() > 253) {
        return false;
    }
    std::size_t labelLength = 0;
    for (const char character : subdomain) {
        if (character == '.') {
            if (labelLength == 0) {
                return false;
            }
            labelLength = 0;
            continue;
        }
        const bool allowed = (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
                             (character >= '0' && character <= '9') || character == '-';
        if (!allowed) {
            return false;
        }
        ++labelLength;
    }
    return labelLength > 0;
}

bool isValidHttpURL(std::string_view text) {
    const auto parts = platform::parseURL(text);
    return parts.has_value() && !parts->host.empty() && (parts->scheme == "http" || parts->scheme == "https");
}

std::shared_ptr<const platform::Bundle> remoteConfigBundle() {
    Overrides& shared = overrides();
    std::lock_guard lock(shared.mutex);
    if (shared.bundle != nullptr) {
        return shared.bundle;
    }
    // The main bundle lives as long as the kit context.
    return std::shared_ptr<const platform::Bundle>(&kit::mainBundle(), [](const platform::Bundle*) {});
}

void setRemoteConfigBundle(std::shared_ptr<const platform::Bundle> bundle) {
    Overrides& shared = overrides();
    std::lock_guard lock(shared.mutex);
    shared.bundle = std::move(bundle);
}

platform::TimePoint remoteConfigNow() {
    std::shared_ptr<const platform::Clock> clock;
    {
        Overrides& shared = overrides();
        std::lock_guard lock(shared.mutex);
        clock = shared.clock;
    }
    return clock != nullptr ? clock->now() : std::chrono::system_clock::now();
}

void setRemoteConfigClock(std::shared_ptr<const platform::Clock> clock) {
    Overrides& shared = overrides();
    std::lock_guard lock(shared.mutex);
    shared.clock = std::move(clock);
}

std::optional<std::string> MSRRemoteConfig::remoteConfigURLWithPlatform(std::optional<std::string_view> platform,
                                                                        std::int64_t SDKVersion,
                                                                        std::int64_t runtimeVersion) const {
    if (!platform) {
        logRemoteConfigLine(remote_config_line::emptyPlatform);
        return std::nullopt;
    }
    const std::string host = kit::Endpoints::current().configurationHost;
    if (host.empty()) {
        return std::nullopt;
    }
    const auto [scheme, hostName] = schemeAndHost(host);
    const MSRQueryDictionary query{{"platform", std::string(*platform)},
                                   {"runtime_version", std::to_string(runtimeVersion)},
                                   {"lmp_version", std::to_string(SDKVersion)}};
    return checkedURL(scheme + hostName + "/config/app/" + appID_ + "?" + msr_queryString(query));
}

std::string MSRRemoteConfig::uploadHost() const {
    const kit::Endpoints endpoints = kit::Endpoints::current();
    if (currentControllerFacts().appDataConsentStatus() == kAppDataConsentGranted) {
        return endpoints.measurementUploadConsentHost;
    }
    return endpoints.measurementUploadHost;
}

std::optional<std::string> MSRRemoteConfig::uploadURL() const {
    const std::string host = uploadHost();
    if (host.empty()) {
        return std::nullopt;
    }
    const auto [scheme, hostName] = schemeAndHost(host);
    // The subdomain is the configuration's, so it counts only as DNS labels:
    // anything else could move the uploads to another host.
    const std::string subdomain = uploadSubdomain().value_or("");
    if (isValidSubdomain(subdomain)) {
        return checkedURL(scheme + subdomain + "." + hostName + "/a");
    }
    return checkedURL(scheme + hostName + "/a");
}

std::optional<std::string> MSRRemoteConfig::uploadSubdomain() const {
    const auto config = remoteConfigProto();
    if (config == nullptr) {
        return std::nullopt;
    }
    return NanoMessageGetString(*config, kConfigUploadSubdomain);
}

bool MSRRemoteConfig::SSTUploadEnabled() const {
    if (!SSTUploadSettingEnabled()) {
        return false;
    }
    const auto bundle = remoteConfigBundle();
    const platform::Value* infoFlag = bundle->infoDictionary().find(kSSTInfoKey);
    if (infoFlag == nullptr) {
        return false;
    }
    const bool infoEnabled = infoFlag->isBool()     ? *infoFlag->asBool()
                             : infoFlag->isNumber() ? infoFlag->asDouble().value_or(0.0) != 0.0
                                                    : false;
    if (!infoEnabled) {
        return false;
    }
    const auto config = remoteConfigProto();
    if (config == nullptr) {
        return false;
    }
    const auto setting = NanoMessageGetMessage<MSRPBSstSetting>(*config, kConfigSST);
    if (!setting || NanoMessageGetString(*setting, 0).value_or("").empty()) {
        return false;
    }
    const MSRControllerFacts facts = currentControllerFacts();
    if (facts.SSTPreviewHeaders()) {
        return true;
    }
    const std::int32_t rolloutPercentage = NanoMessageGetInt32(*setting, 3);
    if (rolloutPercentage < 0) {
        return false;
    }
    const std::string appInstanceID = persistedConfig_ != nullptr ? persistedConfig_->appInstanceID() : "";
    if (appInstanceID.empty() && rolloutPercentage < 100) {
        return false;
    }
    return fnv1a64(appInstanceID) % 100 < static_cast<std::uint64_t>(rolloutPercentage);
}

std::optional<std::string> MSRRemoteConfig::SSTUploadURL() const {
    const auto config = remoteConfigProto();
    if (config == nullptr) {
        return std::nullopt;
    }
    const auto setting = NanoMessageGetMessage<MSRPBSstSetting>(*config, kConfigSST);
    if (!setting) {
        return std::nullopt;
    }
    if (currentControllerFacts().appDataConsentStatus() == kAppDataConsentGranted) {
        if (auto consented = NanoMessageGetString(*setting, 2); consented && isValidHttpURL(*consented)) {
            return consented;
        }
    }
    auto url = NanoMessageGetString(*setting, 0);
    if (!url || !isValidHttpURL(*url)) {
        return std::nullopt;
    }
    return url;
}

std::optional<MSRRemoteConfig::Dictionary> MSRRemoteConfig::SSTUploadHTTPHeaders() const {
    const auto config = remoteConfigProto();
    if (config == nullptr) {
        return std::nullopt;
    }
    const auto setting = NanoMessageGetMessage<MSRPBSstSetting>(*config, kConfigSST);
    if (!setting) {
        return std::nullopt;
    }
    auto serverInfo = NanoMessageGetString(*setting, 1);
    if (!serverInfo || serverInfo->empty()) {
        return std::nullopt;
    }
    return Dictionary{{"x-sst-server-info", std::move(*serverInfo)}};
}

}  // namespace kit::measurement
