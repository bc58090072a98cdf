#pragma once

// The kit as the host starts it.
namespace kit {

// Registers the libraries linked into the program and the classes found by
// name, then configures the default app from the bundle's options file.
// Raises platform::ProgrammerError as HLOApp::configure() does (a missing or
// broken options file, a second call); the host catches it at start-up.
void configure();

}  // namespace kit
