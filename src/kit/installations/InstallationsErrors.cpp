#include "kit/installations/InstallationsErrors.h"

#include "InstallationsPrivate.h"
#include "kit/core/KitError.h"

#include "platform/MessageFormat.h"

namespace kit::installations {

namespace {

std::string bodyText(const std::vector<std::uint8_t>& data) {
    if (!detail::isValidUTF8(data)) {
        return "(null)";
    }
    return std::string(data.begin(), data.end());
}

platform::Error HTTPErrorBase(const HLOInstallationsHTTPResponse& response, const std::vector<std::uint8_t>& data) {
    return HLOInstallationsErrorUtil::installationsErrorWithCode(
        static_cast<HLOInstallationsErrorCode>(HLOInstallationsHTTPError::errorCodeWithHTTPCode(response.statusCode)),
        platform::formatMessage(kHTTPErrorFormat, {response.URL, response.statusCode, bodyText(data)}), nullptr);
}

}  // namespace

// --- HLOInstallationsHTTPError

HLOInstallationsHTTPError::HLOInstallationsHTTPError(HLOInstallationsHTTPResponse response,
                                                     std::vector<std::uint8_t> data)
    : platform::Error(HTTPErrorBase(response, data)), response_(std::move(response)), data_(std::move(data)) {}

int HLOInstallationsHTTPError::errorCodeWithHTTPCode(long) { return 0; }

// --- HLOInstallationsErrorUtil

platform::Error HLOInstallationsErrorUtil::installationsErrorWithCode(HLOInstallationsErrorCode code,
                                                                      std::optional<std::string> failureReason,
                                                                      const platform::Error* underlyingError) {
    std::string reason =
        failureReason ? std::move(*failureReason)
                      : platform::formatMessage(kUnderlyingErrorFormat,
                                                {underlyingError != nullptr ? underlyingError->what() : nullptr});
    ErrorFacts facts;
    facts.failureReason = reason;
    const platform::Error plain = makeKitError(kHLOInstallationsErrorDomain, static_cast<int>(code), facts);
    if (underlyingError == nullptr) {
        return plain.withFailureReason(std::move(reason));
    }
    return platform::Error(plain.domain(), plain.code(), plain.what(), *underlyingError)
        .withFailureReason(std::move(reason));
}

platform::Error HLOInstallationsErrorUtil::keyedArchiverErrorWithException(
    std::string_view name, std::string_view reason, const std::optional<platform::Value>& userInfo) {
    const std::string userInfoText = userInfo ? userInfo->toJson() : std::string("(null)");
    return installationsErrorWithCode(
        HLOInstallationsErrorCode::unknown,
        platform::formatMessage(kKeyedArchiverExceptionFormat, {name, reason, userInfoText}), nullptr);
}

platform::Error HLOInstallationsErrorUtil::keyedArchiverErrorWithError(const platform::Error& error) {
    return installationsErrorWithCode(HLOInstallationsErrorCode::unknown, std::string(kKeyedArchiverErrorReason),
                                      &error);
}

platform::Error HLOInstallationsErrorUtil::keychainErrorWithFunction(std::string_view function, long status) {
    return installationsErrorWithCode(HLOInstallationsErrorCode::keychain,
                                      platform::formatMessage(kKeychainErrorFormat, {function, status}), nullptr);
}

platform::Error HLOInstallationsErrorUtil::installationItemNotFoundForAppID(std::string_view appID,
                                                                            std::string_view appName) {
    return installationsErrorWithCode(HLOInstallationsErrorCode::unknown,
                                      platform::formatMessage(kItemNotFoundFormat, {appID, appName}), nullptr);
}

platform::Error HLOInstallationsErrorUtil::corruptedIIDTokenData() {
    return installationsErrorWithCode(HLOInstallationsErrorCode::unknown, std::string(kCorruptedIIDTokenDataReason),
                                      nullptr);
}

platform::Error HLOInstallationsErrorUtil::JSONSerializationError(const platform::Error&) {
    return installationsErrorWithCode(HLOInstallationsErrorCode::unknown, std::string(kJSONSerializationReason),
                                      nullptr);
}

platform::Error HLOInstallationsErrorUtil::FIDRegistrationErrorWithResponseMissingField(std::string_view fieldName) {
    return installationsErrorWithCode(HLOInstallationsErrorCode::unknown,
                                      platform::formatMessage(kMissingResponseFieldFormat, {fieldName}), nullptr);
}

platform::Error HLOInstallationsErrorUtil::networkErrorWithError(const platform::Error& error) {
    return installationsErrorWithCode(HLOInstallationsErrorCode::serverUnavailable, std::string(kNetworkErrorReason),
                                      &error);
}

platform::Error HLOInstallationsErrorUtil::backoffIntervalWaitError() {
    return installationsErrorWithCode(HLOInstallationsErrorCode::serverUnavailable,
                                      std::string(kBackoffIntervalWaitReason), nullptr);
}

HLOInstallationsHTTPError HLOInstallationsErrorUtil::APIErrorWithHTTPResponse(HLOInstallationsHTTPResponse response,
                                                                              std::vector<std::uint8_t> data) {
    return HLOInstallationsHTTPError(std::move(response), std::move(data));
}

bool HLOInstallationsErrorUtil::isAPIError(const platform::Error& error, long HTTPCode) {
    const auto* HTTPError = dynamic_cast<const HLOInstallationsHTTPError*>(&error);
    return HTTPError != nullptr && HTTPError->HTTPResponse().statusCode == HTTPCode;
}

promises::ErrorPointer HLOInstallationsErrorUtil::publicDomainErrorWithError(promises::ErrorPointer error) {
    if (!error || error->domain() == kHLOInstallationsErrorDomain) {
        return error;
    }
    return std::make_shared<const platform::Error>(
        installationsErrorWithCode(HLOInstallationsErrorCode::unknown, std::nullopt, error.get()));
}

bool HLOInstallationsErrorUtil::isInstallationItemNotFoundError(const platform::Error& error) {
    if (error.domain() != kHLOInstallationsErrorDomain || error.code() != 0) {
        return false;
    }
    // The reason is the format with its two "%@" filled.
    const std::string_view format = kItemNotFoundFormat;
    const auto first = format.find("%@");
    const auto second = format.find("%@", first + 2);
    const std::string_view head = format.substr(0, first);
    const std::string_view middle = format.substr(first + 2, second - first - 2);
    const std::string_view tail = format.substr(second + 2);
    const std::string_view reason = error.failureReason();
    return reason.size() >= head.size() + middle.size() + tail.size() && reason.starts_with(head) &&
           reason.ends_with(tail) &&
           reason.substr(head.size(), reason.size() - head.size() - tail.size()).find(middle) != std::string_view::npos;
}

}  // namespace kit::installations
