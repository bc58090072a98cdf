#include "kit/core/PlistCheck.h"

#include "platform/Error.h"

namespace kit {

namespace {

bool holdsNull(const platform::Value& value, int depth) {
    if (depth > 512) {
        return true;  // refused by the writer anyway; stop before the stack does
    }
    if (value.isNull()) {
        return true;
    }
    if (const auto* array = value.asArray()) {
        for (const auto& element : *array) {
            if (holdsNull(element, depth + 1)) {
                return true;
            }
        }
    } else if (const auto* dictionary = value.asDictionary()) {
        for (const auto& [key, member] : *dictionary) {
            if (holdsNull(member, depth + 1)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool plistCanHold(const platform::Value& value) {
    if (holdsNull(value, 0)) {
        return false;
    }
    // The writer itself knows the date range, NUL and depth limits.
    try {
        (void)value.toXmlPlist();
        return true;
    } catch (const platform::Error&) {
        return false;
    }
}

}  // namespace kit
