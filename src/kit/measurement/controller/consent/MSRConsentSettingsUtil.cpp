#include "kit/measurement/controller/MSRConsentSettingsUtil.h"

#include "kit/core/KitContext.h"
#include "kit/core/MainBundle.h"

#include "platform/Bundle.h"
#include "platform/concurrency/SerialQueue.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>

namespace kit::measurement {

namespace {

using platform::Value;

constexpr std::array<std::string_view, 4> kOrderedTypes = {kMSRConsentTypeAdStorage, kMSRConsentTypeAnalyticsStorage,
                                                           kMSRConsentTypeAdUserData, kMSRConsentTypeAdPersonalization};

struct PlistDefault {
    std::string_view key;
    std::string_view type;
};

constexpr std::array<PlistDefault, 4> kPlistDefaults = {{
    {kMSRPlistDefaultAllowAdStorage, kMSRConsentTypeAdStorage},
    {kMSRPlistDefaultAllowAnalyticsStorage, kMSRConsentTypeAnalyticsStorage},
    {kMSRPlistDefaultAllowAdUserData, kMSRConsentTypeAdUserData},
    {kMSRPlistDefaultAllowAdPersonalization, kMSRConsentTypeAdPersonalization},
}};

// The module's whole state; confined to the serial queue.
struct ConsentState {
    std::optional<MSRConsentDictionary> consentSettings;
    std::optional<MSRConsentDictionary> defaultSettings;
    std::optional<MSRConsentDictionary> delegatedSettings;
    std::optional<MSRConsentDictionary> regionalDefaults;
    std::int64_t consentSource = kMSRConsentSourceNone;
    std::int64_t version = 1;
    // Made on first need with every type at 0.
    std::optional<std::map<std::string, std::int64_t, std::less<>>> diagnostics;
};

ConsentState& moduleState() { return KitContext::current().service<ConsentState>(); }

// Runs `work` on the queue with the state and answers its result.
template <typename Function>
auto read(Function&& function) {
    return MSRConsentSettingsUtil::serialQueue().syncResult([&] { return function(moduleState()); });
}

template <typename Function>
void write(Function function) {
    MSRConsentSettingsUtil::serialQueue().async([function = std::move(function)] { function(moduleState()); });
}

std::string lowerCased(std::string_view text) {
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    return lowered;
}

// Only text is ever granted, denied or the regional policy.
bool holdsText(const Value* value, std::string_view expected) {
    const std::string* text = value != nullptr ? value->asString() : nullptr;
    return text != nullptr && lowerCased(*text) == expected;
}

const Value* member(const std::optional<MSRConsentDictionary>& dictionary, std::string_view key) {
    if (!dictionary) {
        return nullptr;
    }
    const auto found = dictionary->find(key);
    return found == dictionary->end() ? nullptr : &found->second;
}

bool isResolvable(std::string_view type) {
    return type == kMSRConsentTypeAdUserData || type == kMSRConsentTypeAdPersonalization;
}

bool isRegionalPolicy(std::string_view type, const Value* value) {
    return isResolvable(type) && holdsText(value, kMSRConsentEUPolicy);
}

// The regional default stands in for "eu_consent_policy"; without one the
// type is denied.
std::optional<Value> resolvedValue(const ConsentState& state, std::string_view type, const Value* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!isRegionalPolicy(type, value)) {
        return *value;
    }
    if (const Value* regional = member(state.regionalDefaults, type)) {
        return *regional;
    }
    return Value(kMSRConsentDenied);
}

void resetDiagnostics(ConsentState& state) {
    state.diagnostics.emplace();
    for (const auto type : kOrderedTypes) {
        state.diagnostics->emplace(std::string(type), 0);
    }
}

void storeDiagnostic(ConsentState& state, std::int64_t code, std::string_view type) {
    if (!state.diagnostics) {
        resetDiagnostics(state);
    }
    (*state.diagnostics)[std::string(type)] = code;
}

std::int64_t storedDiagnostic(const ConsentState& state, std::string_view type) {
    if (!state.diagnostics) {
        return 0;
    }
    const auto found = state.diagnostics->find(type);
    return found == state.diagnostics->end() ? 0 : found->second;
}

void refreshDiagnostics(ConsentState& state, bool applySource) {
    if (!state.diagnostics) {
        resetDiagnostics(state);
    }
    for (const auto type : kOrderedTypes) {
        std::int64_t code = storedDiagnostic(state, type);
        if (const Value* value = member(state.consentSettings, type)) {
            if (applySource) {
                code = MSRConsentDiagnosticFromSource(state.consentSource);
            }
            if (isRegionalPolicy(type, value)) {
                code = 8;
            }
        } else if (type == kMSRConsentTypeAdUserData && member(state.delegatedSettings, type) != nullptr) {
            code = 2;
        } else if (member(state.defaultSettings, type) != nullptr && !type.ends_with("_storage")) {
            code = 1;
        } else {
            code = 9;
        }
        storeDiagnostic(state, code, type);
    }
}

bool adUserDataDenied(const ConsentState& state) {
    if (const auto value =
            resolvedValue(state, kMSRConsentTypeAdUserData, member(state.consentSettings, kMSRConsentTypeAdUserData))) {
        return holdsText(&*value, kMSRConsentDenied);
    }
    if (const Value* delegate = member(state.delegatedSettings, kMSRConsentTypeAdUserData)) {
        if (const std::string* delegateType = delegate->asString()) {
            if (const Value* delegated = member(state.consentSettings, *delegateType)) {
                return holdsText(delegated, kMSRConsentDenied);
            }
        }
    }
    return holdsText(member(state.defaultSettings, kMSRConsentTypeAdUserData), kMSRConsentDenied);
}

char signalOf(const Value* value) {
    if (holdsText(value, kMSRConsentDenied)) {
        return '0';
    }
    return holdsText(value, kMSRConsentGranted) ? '1' : '-';
}

std::string describedValue(const ConsentState& state, std::string_view type, const Value* value) {
    if (value == nullptr) {
        return std::string(kMSRConsentGranted);
    }
    if (isRegionalPolicy(type, value)) {
        return resolvedValue(state, type, value)->descriptionText() + " (" + std::string(kMSRConsentEUPolicy) + ")";
    }
    return value->descriptionText();
}

}  // namespace

std::optional<std::string_view> MSRConsentTypeName(std::int64_t type) {
    if (type < 1 || type > static_cast<std::int64_t>(kOrderedTypes.size())) {
        return std::nullopt;
    }
    return kOrderedTypes[static_cast<std::size_t>(type - 1)];
}

std::int64_t MSRConsentTypeFromName(std::string_view name) {
    const auto found = std::find(kOrderedTypes.begin(), kOrderedTypes.end(), name);
    return found == kOrderedTypes.end() ? 0 : static_cast<std::int64_t>(found - kOrderedTypes.begin()) + 1;
}

std::optional<std::string_view> MSRConsentStatusName(std::int64_t status) {
    switch (status) {
    case 1:
        return kMSRConsentGranted;
    case 2:
        return kMSRConsentDenied;
    default:
        return std::nullopt;
    }
}

std::int64_t MSRConsentStatusFromName(std::string_view name) {
    if (name == kMSRConsentGranted) {
        return 1;
    }
    return name == kMSRConsentDenied ? 2 : 0;
}

std::int64_t MSRConsentDiagnosticFromSource(std::int64_t source) {
    switch (source) {
    case kMSRConsentSourceTCF:
        return 7;
    case kMSRConsentSourceThirdParty:
    case kMSRConsentSourceAPI:
        return 5;
    case kMSRConsentSourcePlist:
        return 3;
    case kMSRConsentSourceOnStart:
        return 4;
    default:
        return 0;
    }
}

namespace {

struct ConsentQueue {
    platform::SerialQueue queue{"MSRConsentSettingsUtilQueue"};
};

}  // namespace

platform::SerialQueue& MSRConsentSettingsUtil::serialQueue() {
    return KitContext::current().service<ConsentQueue>().queue;
}

std::optional<MSRConsentDictionary> MSRConsentSettingsUtil::consentSettings() {
    return read([](const ConsentState& state) { return state.consentSettings; });
}

std::optional<MSRConsentDictionary> MSRConsentSettingsUtil::defaultSettings() {
    return read([](const ConsentState& state) { return state.defaultSettings; });
}

std::optional<MSRConsentDictionary> MSRConsentSettingsUtil::delegatedSettings() {
    return read([](const ConsentState& state) { return state.delegatedSettings; });
}

std::optional<MSRConsentDictionary> MSRConsentSettingsUtil::regionalDefaults() {
    return read([](const ConsentState& state) { return state.regionalDefaults; });
}

std::int64_t MSRConsentSettingsUtil::consentSource() {
    return read([](const ConsentState& state) { return state.consentSource; });
}

void MSRConsentSettingsUtil::setConsentSource(std::int64_t source) {
    write([source](ConsentState& state) {
        state.consentSource = source;
        refreshDiagnostics(state, true);
    });
}

std::int64_t MSRConsentSettingsUtil::version() {
    return read([](const ConsentState& state) { return state.version; });
}

void MSRConsentSettingsUtil::setVersion(std::int64_t version) {
    if (version != 1 && version != 2) {
        return;
    }
    write([version](ConsentState& state) { state.version = version; });
}

void MSRConsentSettingsUtil::setConsentSettings(std::optional<MSRConsentDictionary> settings) {
    write([settings = std::move(settings)](ConsentState& state) {
        state.consentSettings = settings;
        if (!settings) {
            state.consentSource = kMSRConsentSourceNone;
            refreshDiagnostics(state, true);
        }
    });
}

void MSRConsentSettingsUtil::setDefaultSettings(std::optional<MSRConsentDictionary> settings) {
    write([settings = std::move(settings)](ConsentState& state) { state.defaultSettings = settings; });
}

void MSRConsentSettingsUtil::setDelegatedSettings(std::optional<MSRConsentDictionary> settings) {
    write([settings = std::move(settings)](ConsentState& state) { state.delegatedSettings = settings; });
}

void MSRConsentSettingsUtil::setRegionalDefaults(std::optional<MSRConsentDictionary> settings) {
    write([settings = std::move(settings)](ConsentState& state) { state.regionalDefaults = settings; });
}

void MSRConsentSettingsUtil::updateSettings(const MSRConsentDictionary& settings) {
    write([settings](ConsentState& state) {
        if (!state.consentSettings) {
            state.consentSettings.emplace();
        }
        for (const auto& [type, value] : settings) {
            (*state.consentSettings)[type] = value;
        }
    });
}

void MSRConsentSettingsUtil::updateSettings(const MSRConsentDictionary& settings, std::int64_t consentSource) {
    write([settings, consentSource](ConsentState& state) {
        if (!state.consentSettings) {
            state.consentSettings.emplace();
        }
        const std::int64_t code = MSRConsentDiagnosticFromSource(consentSource);
        for (const auto& [type, value] : settings) {
            (*state.consentSettings)[type] = value;
            if (MSRConsentTypeFromName(type) != 0) {
                storeDiagnostic(state, code, type);
            }
        }
        state.consentSource = consentSource;
    });
}

bool MSRConsentSettingsUtil::isAdStorageDenied() {
    return read([](const ConsentState& state) {
        return holdsText(member(state.consentSettings, kMSRConsentTypeAdStorage), kMSRConsentDenied);
    });
}

bool MSRConsentSettingsUtil::isAnalyticsStorageDenied() {
    return read([](const ConsentState& state) {
        return holdsText(member(state.consentSettings, kMSRConsentTypeAnalyticsStorage), kMSRConsentDenied);
    });
}

bool MSRConsentSettingsUtil::isAdUserDataDenied() {
    return read([](const ConsentState& state) { return adUserDataDenied(state); });
}

std::optional<std::int64_t> MSRConsentSettingsUtil::adPersonalization() {
    return read([](const ConsentState& state) -> std::optional<std::int64_t> {
        auto value = resolvedValue(state, kMSRConsentTypeAdPersonalization,
                                   member(state.consentSettings, kMSRConsentTypeAdPersonalization));
        if (!value) {
            if (const Value* fallback = member(state.defaultSettings, kMSRConsentTypeAdPersonalization)) {
                value = *fallback;
            }
        }
        if (!value) {
            return std::nullopt;
        }
        if (holdsText(&*value, kMSRConsentDenied)) {
            return 0;
        }
        if (holdsText(&*value, kMSRConsentGranted)) {
            return 1;
        }
        return std::nullopt;
    });
}

bool MSRConsentSettingsUtil::didAdUserDataConsentChange(bool previouslyDenied) {
    return isAdUserDataDenied() != previouslyDenied;
}

bool MSRConsentSettingsUtil::isConsentSourceEqualPriority(std::int64_t source) {
    const std::int64_t current = consentSource();
    if (source == current) {
        return true;
    }
    // The transparency-and-consent data and the third-party settings stand
    // side by side.
    return std::min(source, current) == kMSRConsentSourceTCF &&
           std::max(source, current) == kMSRConsentSourceThirdParty;
}

bool MSRConsentSettingsUtil::isConsentSourceHigherPriority(std::int64_t source) {
    return isConsentSourceEqualPriority(source) || consentSource() >= source;
}

MSRConsentDictionary MSRConsentSettingsUtil::consentSettingsFromDictionary(const MSRConsentDictionary& dictionary) {
    MSRConsentDictionary settings;
    for (const auto type : kOrderedTypes) {
        if (const auto found = dictionary.find(type); found != dictionary.end()) {
            settings.emplace(found->first, found->second);
        }
    }
    return settings;
}

MSRConsentDictionary MSRConsentSettingsUtil::consentSettingsFromPlist() {
    return consentSettingsFromPlist(kit::mainBundle());
}

MSRConsentDictionary MSRConsentSettingsUtil::consentSettingsFromPlist(const platform::Bundle& bundle) {
    MSRConsentDictionary settings;
    const Value& info = bundle.infoDictionary();
    for (const auto& [key, type] : kPlistDefaults) {
        const Value* value = info.find(key);
        if (value == nullptr) {
            continue;
        }
        // Personalisation takes text only: a Boolean there is an old key's
        // leftover, not a choice.
        if (type == kMSRConsentTypeAdPersonalization && !value->isString()) {
            continue;
        }
        if (isRegionalPolicy(type, value)) {
            settings.emplace(std::string(type), Value(kMSRConsentEUPolicy));
        } else if (const auto flag = value->boolValue()) {
            settings.emplace(std::string(type), Value(*flag ? kMSRConsentGranted : kMSRConsentDenied));
        }
    }
    return settings;
}

std::string MSRConsentSettingsUtil::consentSignals() {
    return read([](const ConsentState& state) {
        std::string signals = "G1";
        signals += signalOf(member(state.consentSettings, kMSRConsentTypeAdStorage));
        signals += signalOf(member(state.consentSettings, kMSRConsentTypeAnalyticsStorage));
        return signals;
    });
}

std::string MSRConsentSettingsUtil::consentDiagnostics() {
    return read([](ConsentState& state) {
        refreshDiagnostics(state, false);
        const bool nothingRemote = !state.delegatedSettings && !state.defaultSettings;
        std::string diagnostics = "1";
        for (const auto type : kOrderedTypes) {
            const bool unset = nothingRemote && member(state.consentSettings, type) == nullptr;
            diagnostics += std::to_string(unset ? 9 : storedDiagnostic(state, type));
        }
        return diagnostics;
    });
}

void MSRConsentSettingsUtil::setDiagnosticSource(std::int64_t code, std::string_view consentType) {
    write([code, type = std::string(consentType)](ConsentState& state) { storeDiagnostic(state, code, type); });
}

void MSRConsentSettingsUtil::resetDiagnosticSources() {
    serialQueue().sync([] { resetDiagnostics(moduleState()); });
}

void MSRConsentSettingsUtil::refreshDiagnosticSources(bool applySource) {
    serialQueue().sync([applySource] { refreshDiagnostics(moduleState(), applySource); });
}

void MSRConsentSettingsUtil::unsetAdPersonalization() {
    write([](ConsentState& state) {
        if (state.consentSettings && state.consentSettings->erase(std::string(kMSRConsentTypeAdPersonalization)) > 0) {
            storeDiagnostic(state, 0, kMSRConsentTypeAdPersonalization);
        }
    });
}

void MSRConsentSettingsUtil::clearAllSettings() {
    write([](ConsentState& state) {
        state.consentSource = kMSRConsentSourceNone;
        state.consentSettings.reset();
        state.defaultSettings.reset();
        state.delegatedSettings.reset();
        state.regionalDefaults.reset();
        resetDiagnostics(state);
    });
}

std::string MSRConsentSettingsUtil::description() {
    return read([](const ConsentState& state) {
        std::string text;
        for (const auto type : {kMSRConsentTypeAdStorage, kMSRConsentTypeAnalyticsStorage}) {
            text += (text.empty() ? "" : " ") + std::string(type) + " is " +
                    describedValue(state, type, member(state.consentSettings, type)) + ".";
        }
        for (const auto type : {kMSRConsentTypeAdUserData, kMSRConsentTypeAdPersonalization}) {
            if (const Value* value = member(state.consentSettings, type)) {
                text += " " + std::string(type) + " is " + describedValue(state, type, value) + ".";
            }
        }
        return text;
    });
}

}  // namespace kit::measurement
