#pragma once

#include "platform/Error.h"
#include "platform/Value.h"

#include <string>
#include <string_view>

// How the kit makes its errors. The kit's errors carry more than a message:
// a failure reason and user-info entries (a zlib status, a count of bytes),
// kept in the error's failureReason() and userInfo().
namespace kit {

struct ErrorFacts {
    std::string description;    // the text fit to show; may be empty
    std::string failureReason;  // why it failed, e.g. "SecItemAdd (13)"
    platform::Value::Dictionary userInfo;
};

// An error of `domain` and `code` with the facts' reason and user info. Its
// message is the description, else the failure reason, else the generic text
// naming domain and code.
platform::Error makeKitError(std::string_view domain, int code, const ErrorFacts& facts = {});

// The OS error number behind a platform error raised by a file operation.
int osErrorNumber(const platform::Error& error);

}  // namespace kit
