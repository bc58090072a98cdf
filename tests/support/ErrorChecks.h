#pragma once

#include "platform/Error.h"

#include <ostream>
#include <string>

namespace test_support {

using platform::posixReason;

// "<domain> <code>: <message>", for failure messages.
inline std::string describe(const platform::Error& error) {
    return error.domain() + " " + std::to_string(error.code()) + ": " + error.what();
}

}  // namespace test_support
