#include "kit/promises/PromiseError.h"

#include "platform/MessageFormat.h"

#include <string>

namespace kit::promises {

namespace {

// What the system says of an error that carries nothing but its domain and code.
constexpr std::string_view bareErrorFormat = "The operation couldn\u2019t be completed. (%@ error %ld.)";

}  // namespace

platform::Error promiseError(PromiseErrorCode code) {
    const long number = static_cast<long>(code);
    return platform::Error(std::string(promiseErrorDomain), static_cast<int>(code),
                           platform::formatMessage(bareErrorFormat, {promiseErrorDomain, number}));
}

platform::Error callbackFailedError(std::string_view what) {
    return platform::Error(std::string(promiseErrorDomain), static_cast<int>(PromiseErrorCode::callbackFailed),
                           std::string(what));
}

}  // namespace kit::promises
