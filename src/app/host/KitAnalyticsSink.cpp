#include "stubforge/host/KitAnalyticsSink.h"

#include "kit/measurement/controller/HLOAnalytics.h"
#include "platform/Value.h"

namespace stubforge::host {

void KitAnalyticsSink::logEventWithName(std::string_view name, const ui::EventParameters& parameters) {
    platform::Value::Dictionary values;
    for (const auto& [key, text] : parameters) {
        values.emplace(key, platform::Value(text));
    }
    kit::measurement::HLOAnalytics::logEventWithName(name, values);
}

}  // namespace stubforge::host
