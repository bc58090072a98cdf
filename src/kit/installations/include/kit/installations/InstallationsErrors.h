#pragma once

#include "kit/installations/InstallationsTexts.h"
#include "kit/promises/PRMPromise.h"

#include "platform/Error.h"
#include "platform/Value.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The installation client's errors, all in the domain "com.halo.installations".
namespace kit::installations {

enum class HLOInstallationsErrorCode : int {
    unknown = 0,
    keychain = 1,
    // The server cannot be reached or refuses requests for now.
    serverUnavailable = 2,
};
constexpr std::string_view errorDomain(HLOInstallationsErrorCode) { return kHLOInstallationsErrorDomain; }

// What the server answered, as far as an error needs it.
struct HLOInstallationsHTTPResponse {
    std::string URL;
    long statusCode = 0;
    std::map<std::string, std::string, std::less<>> headers;
    bool operator==(const HLOInstallationsHTTPResponse&) const = default;
};

// A server answer that is an error. Its code is always 0; its failure reason
// names the URL, the status and the body.
class HLOInstallationsHTTPError : public platform::Error {
public:
    HLOInstallationsHTTPError(HLOInstallationsHTTPResponse response, std::vector<std::uint8_t> data);

    const HLOInstallationsHTTPResponse& HTTPResponse() const noexcept { return response_; }
    const std::vector<std::uint8_t>& data() const noexcept { return data_; }

    // Every status maps to code 0.
    static int errorCodeWithHTTPCode(long statusCode);

private:
    HLOInstallationsHTTPResponse response_;
    std::vector<std::uint8_t> data_;
};

struct HLOInstallationsErrorUtil {
    // `userInfo` absent reads "(null)".
    static platform::Error keyedArchiverErrorWithException(std::string_view name, std::string_view reason,
                                                           const std::optional<platform::Value>& userInfo);
    static platform::Error keyedArchiverErrorWithError(const platform::Error& error);
    static platform::Error keychainErrorWithFunction(std::string_view function, long status);
    static platform::Error installationItemNotFoundForAppID(std::string_view appID, std::string_view appName);
    static platform::Error corruptedIIDTokenData();
    // The serialisation error is not kept: the reason says all there is.
    static platform::Error JSONSerializationError(const platform::Error& error);
    static platform::Error FIDRegistrationErrorWithResponseMissingField(std::string_view fieldName);
    static platform::Error networkErrorWithError(const platform::Error& error);
    static platform::Error backoffIntervalWaitError();
    static HLOInstallationsHTTPError APIErrorWithHTTPResponse(HLOInstallationsHTTPResponse response,
                                                              std::vector<std::uint8_t> data);

    // Every error above is made here. Without a reason, the reason is
    // "Underlying error: " and the underlying error's description.
    static platform::Error installationsErrorWithCode(HLOInstallationsErrorCode code,
                                                      std::optional<std::string> failureReason,
                                                      const platform::Error* underlyingError);

    // A promise rejected at once with the very error object given.
    template <typename T = promises::Null>
    static promises::PRMPromise<T> rejectedPromiseWithError(promises::ErrorPointer error) {
        auto promise = promises::PRMPromise<T>::pendingPromise();
        promise.reject(std::move(error));
        return promise;
    }

    // True only for a server error of exactly that status.
    static bool isAPIError(const platform::Error& error, long HTTPCode);

    // An installations error as it is (the same object); any other wrapped
    // as a code-0 installations error with it underneath.
    static promises::ErrorPointer publicDomainErrorWithError(promises::ErrorPointer error);

    // True for the error of installationItemNotFoundForAppID, whichever
    // installation it names.
    static bool isInstallationItemNotFoundError(const platform::Error& error);
};

}  // namespace kit::installations
