#pragma once

#include "platform/Bundle.h"
#include "platform/UserDefaults.h"

namespace kit {

// The program's bundle as the current kit context found it: read when the
// context first needs it, so a new context (a test's) reads its own.
const platform::Bundle& mainBundle();

// The settings suite named after that bundle's identifier, the window's
// standard suite in the product (one state per file).
platform::UserDefaults& standardDefaults();

}  // namespace kit
