#include "platform/Error.h"

#include "platform/Value.h"

#include <system_error>

namespace platform {

namespace {

const Value& emptyDictionary() {
    static const Value& empty = *new Value{Value::Dictionary{}};
    return empty;
}

}  // namespace

const std::string& Error::failureReason() const noexcept {
    static const std::string& none = *new std::string();
    return details_ ? details_->failureReason : none;
}

const Value& Error::userInfo() const noexcept {
    return details_ && details_->userInfo ? *details_->userInfo : emptyDictionary();
}

Error Error::withFailureReason(std::string reason) const {
    Error copy = *this;
    auto details = std::make_shared<Details>(details_ ? *details_ : Details{});
    details->failureReason = std::move(reason);
    copy.details_ = std::move(details);
    return copy;
}

Error Error::withUserInfo(Value userInfo) const {
    Error copy = *this;
    auto details = std::make_shared<Details>(details_ ? *details_ : Details{});
    details->userInfo = std::make_shared<const Value>(std::move(userInfo));
    copy.details_ = std::move(details);
    return copy;
}

Error posixError(int errorNumber) {
    return Error(std::string(kPOSIXErrorDomain), errorNumber, std::generic_category().message(errorNumber));
}

int posixReason(const Error& error) noexcept {
    for (const Error* cause = error.underlyingError(); cause != nullptr; cause = cause->underlyingError()) {
        if (cause->domain() == kPOSIXErrorDomain) {
            return cause->code();
        }
    }
    return 0;
}

Error systemError(std::string domain, int code, const std::string& what, const std::filesystem::path& path,
                  int errorNumber) {
    const Error reason = posixError(errorNumber);
    return Error(std::move(domain), code, what + " \"" + path.string() + "\": " + reason.what(), reason);
}

}  // namespace platform
