#pragma once

#include "kit/measurement/messages/MSRPEvent.h"
#include "kit/measurement/messages/NanoMessage.h"
#include "platform/Expected.h"
#include "platform/Value.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Event editing as the remote configuration and the event pipeline see it.
// The configuration makes one instance when it carries a program and loads
// that program; the pipeline hands each event to it on the worker queue. The
// script runtime supplies the implementation through the factory below, so
// this library never links it.
namespace kit::measurement {

// What the configuration offers the scripts as native modules.
struct MSREventEditingModules {
    // "internal.remoteConfig": a setting's text by key, none when unset.
    std::function<std::optional<std::string>(std::string_view key)> remoteConfigValue;
    // "internal.appMetadata": a fresh dictionary at each request with
    // "lmp_version" (int64) and, when known, "app_version"; the runtime adds
    // "platform" and "package_name" itself.
    std::function<platform::Value::Dictionary()> appMetadata;
    // "internal.logger" is always the script logger of the runtime.
};

// One event-editing instance with its own script runtime. Used by one
// thread at a time.
class MSREventEditingInstance {
public:
    virtual ~MSREventEditingInstance() = default;

    // Runs the program's instructions and registers its rules.
    virtual platform::Expected<void> loadProgram(const MSRPBProgram& program) = 0;
    // Lets the registered callbacks see `event`; true when they edited it or
    // created events. A failure means: write the unedited event (the output
    // is then the input again and no event is created).
    virtual platform::Expected<bool> handleEvent(const MSRPEvent& event) = 0;
    // About the last handled event: the output differs from the input; at
    // least one event was created.
    virtual bool hasEdits() const = 0;
    virtual bool hasCreatedEvents() const = 0;
    virtual const MSRPEvent& outputEvent() const = 0;
    virtual const std::vector<MSRPEvent>& eventsToLog() const = 0;
};

using MSREventEditingFactory = std::function<std::shared_ptr<MSREventEditingInstance>(MSREventEditingModules modules)>;

// Installs the factory (null removes it); the script runtime installs its own.
void installEventEditingFactory(MSREventEditingFactory factory);
// A new instance with the three modules, or null when no factory is installed.
std::shared_ptr<MSREventEditingInstance> makeEventEditingInstance(MSREventEditingModules modules);

}  // namespace kit::measurement
