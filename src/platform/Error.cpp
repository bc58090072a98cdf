#include "platform/Error.h"

#include <system_error>

namespace platform {

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
