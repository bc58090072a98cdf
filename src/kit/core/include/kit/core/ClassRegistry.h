#pragma once

#include "platform/concurrency/ClassRegistry.h"

namespace kit {

// The classes the kit's libraries registered by name in the current kit
// context: a new context (a test's) starts with none.
platform::ClassRegistry& classRegistry();

}  // namespace kit
