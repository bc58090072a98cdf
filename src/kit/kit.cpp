#include "kit.h"

#include "InstallationIDSource.h"

#include "kit/core/CoreTexts.h"
#include "kit/core/HLOApp.h"
#include "kit/installations/HLOInstallations.h"
#include "kit/measurement/controller/HLOAnalytics.h"
#include "kit/measurement/controller/MSRAnalytics.h"
#include "kit/measurement/controller/MSRMeasurement.h"
#include "kit/measurement/script/MSRPEventEditing.h"

#include "platform/ProgrammerError.h"

namespace kit {
namespace {

// Each library of the kit linked into the program registers its classes in
// kit::classRegistry() here and, when it has components, calls
// HLOApp::registerInternalLibrary.
void registerLinkedLibraries() {
    installations::HLOInstallations::registerLibrary();
    // The remote configuration makes its event-editing instances here.
    measurement::script::installScriptEventEditing();
    // "HLOAnalytics", the engine's start entry, and the connector library.
    measurement::HLOAnalytics::registerLibrary();
    // Every seam of the facade: the controller library's parts (the start
    // makes the measurement controller through its factory) and the
    // installation identifier of the default app.
    measurement::MSRAnalyticsSeams seams = measurement::MSRAnalytics::controllerSeams();
    seams.installations = makeInstallationIDSource();
    measurement::MSRAnalytics::installSeams(std::move(seams));
    // From now on the end of launching hands its launch link to the engine.
    measurement::MSRMeasurement::subscribeForAppDidFinishLaunchingNotifications();
}

}  // namespace

std::unique_ptr<KitContext> configure() {
    auto context = std::make_unique<KitContext>();
    configure(*context);
    return context;
}

void configure(KitContext& context) {
    if (&KitContext::current() != &context) {
        throw platform::ProgrammerError(std::string(core_texts::kExceptionName),
                                        "The kit is configured in a context that is not current.");
    }
    registerLinkedLibraries();
    HLOApp::configure();
}

}  // namespace kit
