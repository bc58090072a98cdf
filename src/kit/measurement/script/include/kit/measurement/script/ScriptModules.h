#pragma once

#include "kit/measurement/script/ScriptRuntime.h"

#include <string>
#include <string_view>
#include <unordered_map>

// Module lookup by name ("require") and the runtime's own module.
namespace kit::measurement::script {

class MSRPDynamicProvider {
public:
    void setModuleCreator(ModuleCreator creator, std::u16string_view name);
    // Undefined when no creator has the name; error 15 and nothing when the
    // creator gives nothing. The provider does not cache.
    ValueRef moduleForName(std::u16string_view name, ScriptError& error) const;

private:
    std::unordered_map<std::u16string, ModuleCreator> creators_;
};

// Native modules are functions without parameters or body whose defining
// scope is a fresh scope without parent.
class MSRPNativeFunctionValue : public MSRPFunctionValue {
public:
    explicit MSRPNativeFunctionValue(std::u16string functionName);
};

class MSRPRequire final : public MSRPNativeFunctionValue {
public:
    MSRPRequire(MSRPDynamicProvider& provider, MSRPObjectManager& manager);
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;
    // The cache is reachable through "require": its modules and what they hold.
    void mark(Marker& marker) override;
    void releaseContents() override;

private:
    MSRPDynamicProvider* provider_;
    MSRPObjectManager* manager_;
    std::unordered_map<std::u16string, ValueRef> modules_;
};

class MSRPFunctionGetVersion final : public MSRPNativeFunctionValue {
public:
    MSRPFunctionGetVersion();
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;
};

class MSRPRuntimePlatform final : public MSRPNativeFunctionValue {
public:
    MSRPRuntimePlatform();
    ValueRef invokeWithArguments(const ValueList& arguments, MSRPScope& scope, ScriptError& error) override;
};

namespace module_names {
inline constexpr std::u16string_view require = u"require";
inline constexpr std::u16string_view platform = u"internal.platform";
inline constexpr std::u16string_view getVersion = u"getVersion";
}  // namespace module_names

}  // namespace kit::measurement::script
