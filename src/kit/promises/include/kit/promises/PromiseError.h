#pragma once

#include "platform/Error.h"

#include <string_view>

// The promises' own errors and the texts of their programmer errors.
namespace kit::promises {

inline constexpr std::string_view promiseErrorDomain = "com.lumen.PRMPromises.Error";

enum class PromiseErrorCode : int {
    // A callback threw; the message carries what it threw.
    callbackFailed = 0,
    timedOut = 1,
    validationFailure = 2,
};

// The error of a timeout or a failed validation; it carries no user info, so
// its message is the system's stock text for a bare domain and code.
platform::Error promiseError(PromiseErrorCode code);

// The rejection of a promise whose callback threw `what`.
platform::Error callbackFailedError(std::string_view what);

inline constexpr std::string_view programmerErrorName = "NSInternalInconsistencyException";
inline constexpr std::string_view invalidParameterFormat = "Invalid parameter not satisfying: %@";
inline constexpr std::string_view noPromisesToObserve = "No promises to observe";
inline constexpr std::string_view unknownExceptionText = "Unknown exception";

}  // namespace kit::promises
