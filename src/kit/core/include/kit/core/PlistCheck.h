#pragma once

#include "platform/Value.h"

namespace kit {

// True when a plist file can hold `value` whole, at every depth: no null
// anywhere, dates within the file format's range, no text with a NUL, no
// nesting past the reader's limit. Writing such a value would otherwise
// drop or change parts of it, or fail half-way.
bool plistCanHold(const platform::Value& value);

}  // namespace kit
