#include "kit.h"

#include "kit/core/HLOApp.h"

namespace kit {
namespace {

// Each library of the kit linked into the program registers its classes in
// platform::ClassRegistry here and, when it has components, calls
// HLOApp::registerInternalLibrary. None is linked yet beside the core.
void registerLinkedLibraries() {}

}  // namespace

void configure() {
    registerLinkedLibraries();
    HLOApp::configure();
}

}  // namespace kit
