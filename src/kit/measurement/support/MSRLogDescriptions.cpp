#include "kit/measurement/support/MSRLogDescriptions.h"

#include "kit/core/HLOApp.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "kit/core/ClassRegistry.h"

#include <algorithm>
#include <strings.h>
#include <vector>

namespace kit::measurement {
namespace {

constexpr std::string_view kExperimentPrefix = "_exp_";
constexpr std::string_view kHaloPrefix = "halo_";
constexpr std::string_view kErrorParameter = "_err";
constexpr std::string_view kArrayIndent = "    ";

bool isDebugMode() { return MSRMeasurementMonitor().isDebugModeEnabled(); }

bool describesNames() { return isDebugMode() && kit::classRegistry().contains(kit::HLOAnalyticsStarting::kClassName); }

std::string plainDescription(const platform::Value& value) {
    if (const auto* text = value.asString()) {
        return *text;
    }
    return value.toJson();
}

platform::Value plainDictionary(const MSRParameters& parameters) {
    platform::Value::Dictionary dictionary;
    for (const auto& [key, value] : parameters) {
        dictionary.emplace(key, value.plainValue());
    }
    return platform::Value(std::move(dictionary));
}

std::string arrayDescription(const platform::Value::Array& elements) {
    std::string description = "[\n";
    for (std::size_t index = 0; index < elements.size(); ++index) {
        if (index > 0) {
            description += ",\n";
        }
        description += MSRDictionaryDescription(elements[index], kArrayIndent);
    }
    description += "\n";
    description += kArrayIndent;
    description += "]";
    return description;
}

std::string valueText(std::string_view key, const MSRValue& value) {
    if (const auto* array = value.arrayValue()) {
        return arrayDescription(*array);
    }
    if (key == kErrorParameter && value.isInt64()) {
        const auto& names = MSRFailureCodeNameMap();
        if (const auto found = names.find(value.int64Value()); found != names.end()) {
            return found->second + " (" + std::to_string(value.int64Value()) + ")";
        }
        return std::to_string(value.int64Value());
    }
    return value.description();
}

std::string valueText(std::string_view key, const platform::Value& value) {
    if (const auto* array = value.asArray()) {
        return arrayDescription(*array);
    }
    if (key == kErrorParameter && value.isInteger()) {
        return valueText(key, MSRValue::initWithInt64(value.asInteger().value_or(0)));
    }
    return plainDescription(value);
}

template <class Dictionary>
std::string debugDescription(const Dictionary& dictionary, std::string_view indent) {
    std::vector<std::string> lines;
    for (const auto& [key, value] : dictionary) {
        lines.push_back(std::string(indent) + "    " + MSRParameterNameDescription(key) + " = " +
                        valueText(key, value) + ";\n");
    }
    std::stable_sort(lines.begin(), lines.end(), [](const std::string& left, const std::string& right) {
        return ::strcasecmp(left.c_str(), right.c_str()) < 0;
    });
    std::string description = std::string(indent) + "{\n";
    for (const std::string& line : lines) {
        description += line;
    }
    description += indent;
    description += "}";
    return description;
}

}  // namespace

std::string MSRNameDescription(std::string_view name, const MSRNameMap& map) {
    if (name.empty() || map.empty() || name.front() != '_' || !describesNames()) {
        return std::string(name);
    }
    const std::string* haloKey = nullptr;
    for (const auto& [key, value] : map) {
        if (value != name) {
            continue;
        }
        if (!std::string_view(key).starts_with(kHaloPrefix)) {
            return key + " (" + std::string(name) + ")";
        }
        if (haloKey == nullptr) {
            haloKey = &key;
        }
    }
    return haloKey != nullptr ? *haloKey + " (" + std::string(name) + ")" : std::string(name);
}

std::string MSREventNameDescription(std::string_view name) {
    return MSRNameDescription(name, MSRInternalEventNameMap());
}

std::string MSRParameterNameDescription(std::string_view name) {
    return MSRNameDescription(name, MSRInternalParameterNameMap());
}

std::string MSRUserPropertyNameDescription(std::string_view name) {
    if (name.starts_with(kExperimentPrefix)) {
        return "experiment_id (" + std::string(name) + ")";
    }
    return MSRNameDescription(name, MSRInternalUserPropertyNameMap());
}

std::string MSRDictionaryDescription(const MSRParameters& parameters, std::string_view indent) {
    if (!isDebugMode()) {
        return plainDescription(plainDictionary(parameters));
    }
    return debugDescription(parameters, indent);
}

std::string MSRDictionaryDescription(const platform::Value& object, std::string_view indent) {
    const auto* dictionary = object.asDictionary();
    if (dictionary == nullptr || !isDebugMode()) {
        return plainDescription(object);
    }
    return debugDescription(*dictionary, indent);
}

std::string MSRParametersDescription(const MSRParameters& parameters) {
    return MSRDictionaryDescription(parameters, "");
}

std::string MSRArrayDescription(const platform::Value& object) {
    const auto* array = object.asArray();
    if (array == nullptr || !isDebugMode()) {
        return plainDescription(object);
    }
    return arrayDescription(*array);
}

}  // namespace kit::measurement
