#include "kit/measurement/support/MeasurementErrors.h"

#include "platform/Value.h"

namespace kit::measurement {

namespace {

platform::Error errorWithCode(long code, std::string_view description, std::string_view monitorContext) {
    platform::Value::Dictionary userInfo;
    if (!description.empty()) {
        userInfo.emplace(std::string(kMSRLocalizedDescriptionKey), platform::Value(description));
    }
    if (!monitorContext.empty()) {
        userInfo.emplace(std::string(kMSRMonitorContextKey), platform::Value(monitorContext));
    }
    std::string message(description);
    if (message.empty()) {
        message = "The operation couldn't be completed. (" + std::string(kMSRErrorDomain) + " error " +
                  std::to_string(code) + ".)";
    }
    platform::Error error(std::string(kMSRErrorDomain), static_cast<int>(code), message);
    return userInfo.empty() ? error : error.withUserInfo(platform::Value(std::move(userInfo)));
}

}  // namespace

platform::Error msr_errorWithCode(MSRErrorCode code, std::string_view description, std::string_view monitorContext) {
    return errorWithCode(static_cast<long>(code), description, monitorContext);
}

std::string MSRMonitorContextOfError(const platform::Error& error) {
    if (error.domain() != kMSRErrorDomain) {
        return {};
    }
    const platform::Value* context = error.userInfo().find(kMSRMonitorContextKey);
    return context != nullptr && context->isString() ? *context->asString() : std::string();
}

void MSRSetError(MSRErrorOut error, MSRErrorCode code, std::string_view description) {
    MSRSetErrorWithContext(error, code, description, {});
}

void MSRSetErrorWithContext(MSRErrorOut error, MSRErrorCode code, std::string_view description,
                            std::string_view context) {
    if (error != nullptr) {
        error->emplace(errorWithCode(static_cast<long>(code), description, context));
    }
}

bool MSRCheckOrSetError(bool condition, MSRErrorOut error, MSRErrorCode code, std::string_view description) {
    if (!condition) {
        MSRSetError(error, code, description);
    }
    return condition;
}

bool MSRCheckNonZeroOrSetError(long long value, MSRErrorOut error, MSRErrorCode code, std::string_view description) {
    return MSRCheckOrSetError(value != 0, error, code, description);
}

bool MSRCheckNonZeroUnsignedOrSetError(unsigned long long value, MSRErrorOut error, MSRErrorCode code,
                                       std::string_view description) {
    return MSRCheckOrSetError(value != 0, error, code, description);
}

std::string MSRErrorContextsFromErrors(const std::vector<platform::Error>& errors) {
    std::string joined;
    for (const platform::Error& error : errors) {
        const std::string context = MSRMonitorContextOfError(error);
        if (context.empty()) {
            continue;
        }
        if (!joined.empty()) {
            joined += ",";
        }
        joined += context;
    }
    return joined;
}

}  // namespace kit::measurement
