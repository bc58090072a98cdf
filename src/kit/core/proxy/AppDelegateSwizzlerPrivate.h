#pragma once

#include "platform/Value.h"

#include <optional>

namespace kit::detail {

// Tests only: the Info.plist dictionary the switches are read from in place
// of the main bundle's; nothing goes back to the bundle's.
void setAppDelegateProxyInfoDictionaryForTesting(std::optional<platform::Value> infoDictionary);

}  // namespace kit::detail
