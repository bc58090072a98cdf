#include "kit/core/KitError.h"

namespace kit {

platform::Error makeKitError(std::string_view domain, int code, const ErrorFacts& facts) {
    std::string message = facts.description;
    if (message.empty() && !facts.failureReason.empty()) {
        message = "The operation couldn't be completed. " + facts.failureReason;
    }
    if (message.empty()) {
        message =
            "The operation couldn't be completed. (" + std::string(domain) + " error " + std::to_string(code) + ".)";
    }
    platform::Error error(std::string(domain), code, message);
    if (!facts.failureReason.empty()) {
        error = error.withFailureReason(facts.failureReason);
    }
    if (!facts.userInfo.empty()) {
        error = error.withUserInfo(platform::Value(facts.userInfo));
    }
    return error;
}

int osErrorNumber(const platform::Error& error) {
    // File operations put the errno value in the code.
    return error.code();
}

}  // namespace kit
