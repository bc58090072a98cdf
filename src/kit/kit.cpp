#include "kit.h"

#include "kit/core/HLOApp.h"
#include "kit/installations/HLOInstallations.h"
#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/script/MSRPEventEditing.h"

namespace kit {
namespace {

// Each library of the kit linked into the program registers its classes in
// platform::ClassRegistry here and, when it has components, calls
// HLOApp::registerInternalLibrary.
void registerLinkedLibraries() {
    installations::HLOInstallations::registerLibrary();
    // The remote configuration makes its event-editing instances here.
    measurement::script::installScriptEventEditing();
    // "HLOAnalytics", the engine's start entry, and the connector library.
    measurement::HLOAnalytics::registerLibrary();
    // The facade's start makes the measurement controller through this.
    measurement::MSRAnalyticsSeams seams;
    seams.controllerFactory = measurement::MSRMeasurement::makeFactory();
    measurement::MSRAnalytics::installSeams(std::move(seams));
}

}  // namespace

void configure() {
    registerLinkedLibraries();
    HLOApp::configure();
}

}  // namespace kit
