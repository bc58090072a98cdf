#pragma once

#include "kit/core/KitContext.h"

#include <memory>

// The kit as the host starts it.
namespace kit {

// Makes the kit's context, registers the libraries linked into the program
// and the classes found by name, then configures the default app from the
// bundle's options file. The host owns the context and, at quit, drains
// and then shuts it down before main returns.
// Raises platform::ProgrammerError as HLOApp::configure() does (a missing or
// broken options file, a second call); the host catches it at start-up and
// makes a context of its own so that the quit sequence stays the same.
[[nodiscard]] std::unique_ptr<KitContext> configure();

// The same start in `context`, which the caller made and which must be the
// current one (a test sets its endpoints and settings in it first).
// Raises platform::ProgrammerError when `context` is not current.
void configure(KitContext& context);

}  // namespace kit
