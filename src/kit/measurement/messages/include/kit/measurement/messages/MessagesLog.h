#pragma once

#include "platform/Log.h"

#include <memory>

// Where the wrappers and the typed accessors write their failure lines. The
// accessors' signatures carry no sink, so the module keeps one seam: the
// standard stderr sink until a host or a test installs another.
namespace kit::measurement {

// Forwards each line to the sink installed at the time of writing.
platform::LogSink& messagesLog();

// Null puts the stderr sink back. Safe from any thread.
void installMessagesLogSink(std::shared_ptr<platform::LogSink> sink);

}  // namespace kit::measurement
