#include "kit/measurement/script/ScriptModules.h"

#include "kit/measurement/script/ScriptRoutines.h"

namespace kit::measurement::script {

void MSRPDynamicProvider::setModuleCreator(ModuleCreator creator, std::u16string_view name) {
    creators_[std::u16string(name)] = std::move(creator);
}

ValueRef MSRPDynamicProvider::moduleForName(std::u16string_view name, ScriptError& error) const {
    auto found = creators_.find(std::u16string(name));
    if (found == creators_.end() || !found->second) {
        return undefinedValue();
    }
    ValueRef module = found->second();
    if (!module) {
        setScriptError(error, ScriptErrorCode::moduleUnavailable);
        return nullptr;
    }
    return module;
}

MSRPNativeFunctionValue::MSRPNativeFunctionValue(std::u16string functionName)
    : MSRPFunctionValue(std::move(functionName), {}, {}, makeRef<MSRPScope>(nullptr)) {}

MSRPRequire::MSRPRequire(MSRPDynamicProvider& provider, MSRPObjectManager& manager)
    : MSRPNativeFunctionValue(std::u16string(module_names::require)), provider_(&provider), manager_(&manager) {}

ValueRef MSRPRequire::invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) {
    ValueList values;
    if (!evaluateCountedArguments(arguments, 1, scope, values, error)) {
        return undefinedValue();
    }
    std::u16string name = values[0]->stringValueOrError(error);
    if (error) {
        return undefinedValue();
    }
    if (auto cached = modules_.find(name); cached != modules_.end()) {
        return cached->second;
    }
    if (provider_ == nullptr) {
        return undefinedValue();
    }
    ValueRef module = provider_->moduleForName(name, error);
    if (error || !module) {
        return undefinedValue();
    }
    if (auto* container = dynamic_cast<MSRPContainerValue*>(module.get());
        container != nullptr && manager_ != nullptr) {
        manager_->addOwnedObject(container);
    }
    modules_.emplace(std::move(name), module);
    return module;
}

void MSRPRequire::mark(Marker& marker) {
    if (isMarkedIn(marker.epoch())) {
        return;
    }
    MSRPFunctionValue::mark(marker);
    for (const auto& [name, module] : modules_) {
        marker.push(module.get());
    }
}

void MSRPRequire::releaseContents() {
    auto modules = std::move(modules_);
    modules_.clear();
    provider_ = nullptr;
    manager_ = nullptr;
    MSRPFunctionValue::releaseContents();
}

MSRPFunctionGetVersion::MSRPFunctionGetVersion() : MSRPNativeFunctionValue(std::u16string(module_names::getVersion)) {}

ValueRef MSRPFunctionGetVersion::invokeWithArguments(const ValueList&, MSRPScope& scope, ScriptError&) {
    return numberValue(MSRPRuntime::runtimeVersion(), scope.executionState());
}

MSRPRuntimePlatform::MSRPRuntimePlatform() : MSRPNativeFunctionValue(std::u16string(module_names::platform)) {
    setValue(makeRef<MSRPFunctionGetVersion>(), module_names::getVersion);
}

ValueRef MSRPRuntimePlatform::invokeWithArguments(const ValueList&, MSRPScope&, ScriptError&) {
    return undefinedValue();
}

}  // namespace kit::measurement::script
