#include "kit/installations/InstallationsAPIService.h"

#include "kit/core/MainBundle.h"
#include "InstallationsPrivate.h"
#include "kit/core/KitError.h"
#include "kit/core/Logger.h"
#include "kit/core/network/Network.h"
#include "kit/installations/InstallationsResponses.h"
#include "kit/installations/InstallationsTexts.h"

#include "platform/Bundle.h"
#include "platform/MessageFormat.h"

#include <mutex>
#include <optional>

namespace kit::installations {

using promises::PRMPromise;
using promises::PromiseClass;
using promises::Resolution;
using Response = HLOInstallationsURLSessionResponse;

namespace {

std::string format(std::string_view format, const std::vector<platform::MessageArgument>& arguments) {
    return platform::formatMessage(format, arguments);
}

// RFC 3986 unreserved characters stay; every other byte is "%XX".
std::string percentEncodedSegment(std::string_view segment) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char character : segment) {
        const auto byte = static_cast<unsigned char>(character);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            byte == '-' || byte == '.' || byte == '_' || byte == '~') {
            encoded += character;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0f];
        }
    }
    return encoded;
}

std::string bodyText(const std::vector<std::uint8_t>& data) {
    return detail::isValidUTF8(data) ? std::string(data.begin(), data.end()) : std::string("(null)");
}

std::string requestDescription(const TransportRequest& request) { return request.method + " " + request.url; }

std::string headersDescription(const HTTPHeaderFields& headers) {
    std::string text = "{";
    for (const auto& [name, value] : headers) {
        text += text.size() > 1 ? ", " : "";
        text += name + ": " + value;
    }
    return text + "}";
}

// A request that cannot be made is a transport error: no response exists.
platform::Error requestNotMade(int code, std::string_view context) {
    ErrorFacts facts;
    facts.userInfo.emplace(std::string(kLMUNetworkErrorContext), platform::Value(context));
    return makeKitError(kLMUNetworkErrorDomain, code, facts);
}

bool holdsLineBreak(std::string_view value) { return value.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

HLOInstallationsAPIServiceSettings HLOInstallationsAPIServiceSettings::fromEndpoints(const Endpoints& endpoints) {
    HLOInstallationsAPIServiceSettings settings;
    settings.baseURL = endpoints.installationsBaseURL;
    settings.transport = TransportOptions::fromEndpoints(endpoints);
    return settings;
}

struct HLOInstallationsAPIService::State {
    std::string APIKey;
    std::string projectID;
    std::shared_ptr<HLOHeartbeatLoggerProtocol> heartbeatLogger;
    HLOInstallationsAPIServiceSettings settings;
    HLOInstallationsDateProvider dateProvider;

    std::mutex mutex;
    std::shared_ptr<CurlTransport> transport;  // guarded by mutex; made by the first request

    std::shared_ptr<CurlTransport> sharedTransport() {
        std::lock_guard lock(mutex);
        if (!transport) {
            transport = std::make_shared<CurlTransport>(settings.transport);
        }
        return transport;
    }

    std::string baseURL() const {
        std::string base = settings.baseURL;
        while (base.ends_with('/')) {
            base.pop_back();
        }
        return base;
    }

    // Built on the utility queue: the heartbeat header reads its storage.
    PRMPromise<TransportRequest> request(std::string url, std::string_view method, platform::Value body,
                                         std::optional<std::string> refreshToken, HTTPHeaderFields extraHeaders,
                                         const std::shared_ptr<State>& self) {
        return PRMPromise<TransportRequest>::do_(
            detail::utilityQueue(),
            [self, url = std::move(url), method = std::string(method), body = std::move(body),
             refreshToken = std::move(refreshToken),
             extraHeaders = std::move(extraHeaders)]() -> Resolution<TransportRequest> {
                TransportRequest request;
                request.method = method;
                request.url = url;
                request.timeoutInterval = self->settings.timeoutSeconds;
                request.maximumBodySize = self->settings.maximumResponseSize;
                request.headers.emplace_back(kHeaderAPIKey, self->APIKey);
                request.headers.emplace_back(kHeaderBundleIdentifier, kit::mainBundle().bundleIdentifier());
                request.headers.emplace_back(kHeaderContentType, kContentTypeJSON);
                const std::string json = body.toJson();
                request.body.assign(json.begin(), json.end());
                if (refreshToken) {
                    request.headers.emplace_back(kHeaderAuthorization, format(kAuthorizationFormat, {*refreshToken}));
                }
                if (self->heartbeatLogger) {
                    if (auto heartbeat = self->heartbeatLogger->headerValue()) {
                        request.headers.emplace_back(kHeaderHeartbeat, std::move(*heartbeat));
                    }
                }
                for (auto& header : extraHeaders) {
                    request.headers.push_back(std::move(header));
                }
                for (const auto& [name, value] : request.headers) {
                    if (holdsLineBreak(name) || holdsLineBreak(value)) {
                        return requestNotMade(LMUErrorCodeNetworkRequestCreation, kUnsafeHeaderContext);
                    }
                }
                return request;
            });
    }

    // One transfer.
    static PRMPromise<Response> attempt(const std::shared_ptr<State>& self, const TransportRequest& request) {
        const std::string description = requestDescription(request);
        HLOLogDebugMessage(kHLOInstallationsLogService, kSendingRequestCode, kSendingRequestFormat, description,
                           bodyText(request.body), headersDescription(request.headers));
        auto promise = PRMPromise<Response>::pendingPromise();
        const bool started = self->sharedTransport()->start(request, [promise, description](TransportResult result) {
            if (result.error || !result.response) {
                const platform::Error error =
                    result.error ? *result.error
                                 : requestNotMade(LMUErrorCodeNetworkEmptyResponse, kLMUNetworkEmptyResponse);
                HLOLogDebugMessage(kHLOInstallationsLogService, kRequestFailedCode, kRequestFailedFormat, description,
                                   error.what());
                promise.reject(error);
                return;
            }
            HLOLogDebugMessage(kHLOInstallationsLogService, kResponseReceivedCode, kResponseReceivedFormat, description,
                               nullptr, bodyText(result.data));
            Response response;
            response.HTTPResponse.URL = result.response->url;
            response.HTTPResponse.statusCode = result.response->statusCode;
            for (const auto& [name, value] : result.response->allHeaderFields) {
                response.HTTPResponse.headers.insert_or_assign(name, value);
            }
            response.data = std::move(result.data);
            promise.fulfill(std::move(response));
        });
        if (!started) {
            promise.reject(requestNotMade(LMUErrorCodeNetworkSessionTaskCreation, kLMUNetworkCannotCreateSession));
        }
        return promise;
    }

    static Resolution<Response> validateHTTPResponseStatusCode(const Response& response) {
        const long status = response.HTTPResponse.statusCode;
        if (status >= 200 && status <= 299) {
            return response;
        }
        HLOLogDebugMessage(kHLOInstallationsLogService, kUnexpectedResponseCode, kUnexpectedResponseFormat,
                           format("%@ %ld", {response.HTTPResponse.URL, status}), bodyText(response.data));
        return HLOInstallationsErrorUtil::APIErrorWithHTTPResponse(response.HTTPResponse, response.data);
    }

    // One attempt more after a 500, a second later.
    static PRMPromise<Response> sendURLRequest(const std::shared_ptr<State>& self, const TransportRequest& request) {
        return PromiseClass::attempts(
            PromiseClass::defaultDispatchQueue(), promises::defaultRetryAttempts, promises::defaultRetryDelaySeconds,
            [](int, const platform::Error& error) { return HLOInstallationsErrorUtil::isAPIError(error, 500); },
            [self, request] { return attempt(self, request).then(validateHTTPResponseStatusCode); });
    }

    // The request, or the transport error of a service with no address.
    PRMPromise<Response> send(const std::shared_ptr<State>& self, std::string_view pathFormat,
                              std::vector<std::string> segments, std::string_view method, platform::Value body,
                              std::optional<std::string> refreshToken, HTTPHeaderFields extraHeaders = {}) {
        if (settings.baseURL.empty()) {
            return HLOInstallationsErrorUtil::rejectedPromiseWithError<Response>(
                std::make_shared<const platform::Error>(
                    requestNotMade(LMUErrorCodeNetworkInvalidURL, kLMUNetworkFailedToCreateRequest)));
        }
        std::vector<platform::MessageArgument> arguments{baseURL()};
        for (const auto& segment : segments) {
            arguments.emplace_back(percentEncodedSegment(segment));
        }
        return request(format(pathFormat, arguments), method, std::move(body), std::move(refreshToken),
                       std::move(extraHeaders), self)
            .then([self](const TransportRequest& built) { return sendURLRequest(self, built); });
    }
};

HLOInstallationsAPIService::HLOInstallationsAPIService(std::string APIKey, std::string projectID,
                                                       std::shared_ptr<HLOHeartbeatLoggerProtocol> heartbeatLogger)
    : HLOInstallationsAPIService(std::move(APIKey), std::move(projectID), std::move(heartbeatLogger),
                                 HLOInstallationsAPIServiceSettings::fromEndpoints(Endpoints::current())) {}

HLOInstallationsAPIService::HLOInstallationsAPIService(std::string APIKey, std::string projectID,
                                                       std::shared_ptr<HLOHeartbeatLoggerProtocol> heartbeatLogger,
                                                       HLOInstallationsAPIServiceSettings settings,
                                                       HLOInstallationsDateProvider dateProvider)
    : state_(std::make_shared<State>()) {
    state_->APIKey = std::move(APIKey);
    state_->projectID = std::move(projectID);
    state_->heartbeatLogger = std::move(heartbeatLogger);
    state_->settings = std::move(settings);
    state_->dateProvider = dateProvider ? std::move(dateProvider) : defaultDateProvider();
}

HLOInstallationsAPIService::~HLOInstallationsAPIService() = default;

std::string HLOInstallationsAPIService::SDKVersion() { return format(kSDKVersionFormat, {HLOSDKVersionString()}); }

PRMPromise<HLOInstallationsItem> HLOInstallationsAPIService::registerInstallation(
    const HLOInstallationsItem& installation) {
    if (auto valid = installation.isValid(); !valid) {
        return HLOInstallationsErrorUtil::rejectedPromiseWithError<HLOInstallationsItem>(
            std::make_shared<const platform::Error>(valid.error()));
    }
    platform::Value::Dictionary body{
        {std::string(kBodyFIDKey), platform::Value(installation.haloInstallationID)},
        {std::string(kBodyAuthVersionKey), platform::Value(kAuthVersion)},
        {std::string(kBodyAppIDKey), platform::Value(installation.appID())},
        {std::string(kBodySDKVersionKey), platform::Value(SDKVersion())},
    };
    HTTPHeaderFields extraHeaders;
    if (installation.IIDDefaultToken) {
        extraHeaders.emplace_back(kHeaderIIDMigrationAuth, *installation.IIDDefaultToken);
    }
    auto state = state_;
    return state
        ->send(state, kRegisterPathFormat, {state->projectID}, kMethodPost, platform::Value(std::move(body)),
               std::nullopt, std::move(extraHeaders))
        .then([state, installation](const Response& response) -> Resolution<HLOInstallationsItem> {
            HLOLogDebugMessage(kHLOInstallationsLogService, kParsingResponseCode, kParsingResponseFormat,
                               response.HTTPResponse.URL);
            auto parsed = HLOInstallationsResponses::registeredInstallationWithJSONData(
                response.data, state->dateProvider(), installation);
            if (!parsed) {
                HLOLogDebugMessage(kHLOInstallationsLogService, kItemParseFailedCode, kItemParseFailedFormat,
                                   parsed.error().what());
                return parsed.error();
            }
            HLOLogDebugMessage(kHLOInstallationsLogService, kItemParsedCode, kItemParsed);
            return std::move(parsed.value());
        });
}

PRMPromise<HLOInstallationsItem> HLOInstallationsAPIService::refreshAuthTokenForInstallation(
    const HLOInstallationsItem& installation) {
    platform::Value::Dictionary body{
        {std::string(kBodyInstallationKey), platform::Value(platform::Value::Dictionary{
                                                {std::string(kBodySDKVersionKey), platform::Value(SDKVersion())}})},
    };
    auto state = state_;
    return state
        ->send(state, kGenerateAuthTokenPathFormat, {state->projectID, installation.haloInstallationID}, kMethodPost,
               platform::Value(std::move(body)), installation.refreshToken)
        .then([state, installation](const Response& response) -> Resolution<HLOInstallationsItem> {
            HLOLogDebugMessage(kHLOInstallationsLogService, kParsingResponseCode, kParsingResponseFormat,
                               response.HTTPResponse.URL);
            auto token =
                HLOInstallationsResponses::authTokenWithGenerateTokenAPIJSONData(response.data, state->dateProvider());
            if (!token) {
                HLOLogDebugMessage(kHLOInstallationsLogService, kTokenParseFailedCode, kTokenParseFailedFormat,
                                   token.error().what());
                return token.error();
            }
            HLOLogDebugMessage(kHLOInstallationsLogService, kTokenParsedCode, kTokenParsed);
            HLOInstallationsItem updated = installation;
            updated.authToken = token.value();
            return updated;
        });
}

PRMPromise<HLOInstallationsItem> HLOInstallationsAPIService::deleteInstallation(
    const HLOInstallationsItem& installation) {
    auto state = state_;
    return state
        ->send(state, kDeletePathFormat, {state->projectID, installation.haloInstallationID}, kMethodDelete,
               platform::Value(platform::Value::Dictionary{}), installation.refreshToken)
        .then([installation](const Response&) { return installation; });
}

}  // namespace kit::installations
