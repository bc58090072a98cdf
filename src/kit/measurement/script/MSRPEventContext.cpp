#include "kit/measurement/script/MSRPEventEditing.h"

namespace kit::measurement::script {

MSRPEventContext::MSRPEventContext(MSRPEvent event) { setInputEvent(std::move(event)); }

void MSRPEventContext::setInputEvent(MSRPEvent event) {
    inputEvent_ = std::move(event);
    outputEvent_ = inputEvent_;
    loggedEvents_.clear();
}

void MSRPEventContext::logEventWithName(std::string name, double timestamp, platform::Value::Dictionary parameters) {
    for (auto& [key, value] : parameters) {
        value = coercedParameterValue(key, inputEvent_.parameterForName(key), std::move(value));
    }
    loggedEvents_.emplace_back(std::move(name), timestamp, std::move(parameters));
}

}  // namespace kit::measurement::script
