#pragma once

#include <map>
#include <string>

// The event-name map, kept here because the remote settings file event
// configurations under the internal names and sit below the support library.
namespace kit::measurement {

using MSRNameMap = std::map<std::string, std::string, std::less<>>;

// Public to internal names; built once, read-only afterwards.
const MSRNameMap& MSRInternalEventNameMap();

}  // namespace kit::measurement
