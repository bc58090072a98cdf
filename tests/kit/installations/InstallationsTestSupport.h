#pragma once

#include "KitTestSupport.h"
#include "kit/promises/PRMPromise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kit::installations::testing {

// The settled outcome of a promise: its value, or the very error object it
// was rejected with.
template <typename T>
struct Outcome {
    std::optional<T> value;
    promises::ErrorPointer error;
};

template <typename T>
Outcome<T> settle(const promises::PRMPromise<T>& promise) {
    (void)promises::PRMPromiseAwait(promise);
    return Outcome<T>{promise.value(), promise.error()};
}

// The failure reason. The foundation's own errors (the keychain's) still
// carry theirs only in the message, after the stock opening.
inline std::string reasonOf(const platform::Error& error) {
    if (!error.failureReason().empty()) {
        return error.failureReason();
    }
    const std::string message = error.what();
    const std::string opening = "The operation couldn't be completed. ";
    return message.starts_with(opening) ? message.substr(opening.size()) : message;
}

inline bool containsLine(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

}  // namespace kit::installations::testing
