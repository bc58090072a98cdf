#include "kit/measurement/support/MSREventParameters.h"

#include "EventLines.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRStrings.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementServices.h"
#include "platform/MessageFormat.h"

#include <string>
#include <vector>

namespace kit::measurement {

namespace {

constexpr std::size_t kErrorNameLength = 40;

bool isInternalEventName(std::string_view name) {
    return name.starts_with("_") || MSRInternalEventNameMap().contains(name);
}

// Records the name failure when none is recorded yet.
bool isValidEventParameterName(std::string_view name, bool isPublic, MSRParameters& result) {
    int code = 0;
    const bool valid = isPublic ? MSRDataTypeValidator::isValidPublicEventParameterName(name, &code) &&
                                      MSRDataTypeValidator::isValidInternalEventParameterName(name, &code)
                                : MSRDataTypeValidator::isValidInternalEventParameterName(name, &code);
    if (!valid && !result.contains("_err")) {
        const std::int64_t failure = code == MSRDataTypeValidator::Reserved ? MSRFailureCodeParameterNameIsReserved
                                                                            : MSRFailureCodeInvalidParameterName;
        const MSRValue nameValue = MSRValue::initWithString(std::string(name));
        MSRRecordParameterError(result, failure, name, kErrorNameLength,
                                msr_UTF32Length(name) > kErrorNameLength ? &nameValue : nullptr);
    }
    return valid;
}

std::optional<MSRValue> validatedArrayParameter(const MSRValue& array, std::string_view eventName,
                                                std::string_view paramName, bool isPublic, bool isItem,
                                                MSRParameters& result) {
    const MSRValue::Array& elements = *array.arrayValue();
    int code = 0;
    if (!MSRDataTypeValidator::isValidArrayParamForEvent(eventName, paramName, elements.size(), isItem, &code)) {
        MSRRecordArrayParameterError(result, code, paramName, eventName);
        if (code != MSRDataTypeValidator::ArrayTooLong) {
            return std::nullopt;
        }
    }
    const std::size_t kept = std::min(elements.size(), MSRDataTypeValidator::kMaxArrayItems);
    MSRValue::Array cleaned;
    cleaned.reserve(kept);
    for (std::size_t index = 0; index < kept; ++index) {
        const platform::Value& element = elements[index];
        if (!MSRDataTypeValidator::isValidArrayParamItem(element)) {
            MSRRecordParameterError(result, MSRFailureCodeInvalidParameterValue,
                                    std::string(paramName) + "[" + std::to_string(index) + "]", kErrorNameLength,
                                    nullptr);
            continue;
        }
        MSRObjectDictionary objects;
        for (const auto& [key, value] : *element.asDictionary()) {
            objects.emplace(key, value);
        }
        if (auto item = MSRValidatedEventParameters(objects, eventName, isPublic, true)) {
            platform::Value::Dictionary plain;
            for (const auto& [key, value] : *item) {
                plain.emplace(key, value.plainValue());
            }
            cleaned.emplace_back(std::move(plain));
        }
    }
    return MSRValue::initWithArray(std::move(cleaned));
}

// Removes keys from the end of the sorted order while `removable` says so
// and the count is over the limit.
template <class Removable>
void trimToLimit(MSRParameters& parameters, int limit, std::size_t count, Removable removable) {
    for (auto position = parameters.end();
         position != parameters.begin() && count > static_cast<std::size_t>(std::max(limit, 0));) {
        --position;
        if (removable(position->first)) {
            position = parameters.erase(position);
            --count;
        }
    }
}

std::size_t countPublic(const MSRParameters& parameters, bool itemsOnly) {
    std::size_t count = 0;
    for (const auto& [key, value] : parameters) {
        if (!key.starts_with("_") && !(itemsOnly && MSRIsItemParameterName(key))) {
            ++count;
        }
    }
    return count;
}

}  // namespace

void MSRTrimEventParametersToLimit(MSRParameters& parameters, int limit) {
    trimToLimit(parameters, limit, countPublic(parameters, false),
                [](std::string_view key) { return !key.starts_with("_"); });
}

void MSRTrimItemParametersToLimit(MSRParameters& parameters, int limit) {
    trimToLimit(parameters, limit, countPublic(parameters, true),
                [](std::string_view key) { return !key.starts_with("_") && !MSRIsItemParameterName(key); });
}

void MSRRecordArrayParameterError(MSRParameters& parameters, int validatorCode, std::string_view paramName,
                                  std::string_view eventName) {
    switch (validatorCode) {
    case MSRDataTypeValidator::ArrayOutsideEcommerce:
        MSRRecordParameterError(parameters, MSRFailureCodeInvalidArrayParamEventName, eventName, kErrorNameLength,
                                nullptr);
        break;
    case MSRDataTypeValidator::ArrayNotItems:
        MSRRecordParameterError(parameters, MSRFailureCodeInvalidArrayParamName, paramName, kErrorNameLength, nullptr);
        break;
    case MSRDataTypeValidator::ArrayTooLong:
        MSRRecordParameterError(parameters, MSRFailureCodeTooManyExtraParamEvents, paramName, kErrorNameLength,
                                nullptr);
        break;
    case MSRDataTypeValidator::ArrayNested:
        MSRRecordParameterError(parameters, MSRFailureCodeInvalidArrayParamNesting, paramName, kErrorNameLength,
                                nullptr);
        break;
    default:
        break;
    }
}

std::optional<MSRParameters> MSRValidatedEventParameters(const MSRObjectDictionary& parameters,
                                                         std::string_view eventName, bool isPublic, bool isItem) {
    if (parameters.empty()) {
        return std::nullopt;
    }
    const bool internalEvent = isInternalEventName(eventName);
    const MSRRemoteConfigLimits limits = MeasurementServices::current().remoteConfig();
    const int maxInternalLength = limits.maxInternalEventParameterValueLength();

    MSRParameters result;
    // Error parameters handed in count as recorded already.
    for (std::string_view key : {"_err", "_ev", "_el"}) {
        if (auto found = parameters.find(key); found != parameters.end()) {
            if (const MSRValue* value = std::get_if<MSRValue>(&found->second)) {
                result.insert_or_assign(std::string(key), *value);
            } else if (auto converted = MSRValue::valueFromObject(std::get<platform::Value>(found->second))) {
                result.insert_or_assign(std::string(key), *converted);
            }
        }
    }
    std::size_t kept = 0;
    for (const auto& [name, object] : parameters) {
        const bool prefilled = result.contains(name);
        // Clang 14 cannot capture a structured binding: name it again.
        const auto drop = [&result, prefilled, &key = name] {
            if (prefilled) {
                result.erase(key);
            }
        };
        if (!isValidEventParameterName(name, isPublic, result)) {
            drop();
            continue;
        }
        std::optional<MSRValue> value;
        if (const MSRValue* typed = std::get_if<MSRValue>(&object)) {
            value = *typed;
        } else {
            const platform::Value& plain = std::get<platform::Value>(object);
            if (plain.isNull() || plain.isData() || plain.isDate() || plain.isDictionary()) {
                event_lines::log(event_lines::kEventParameterValueTypeNSStringNSNumber, MSRObjectClassName(plain));
                drop();
                continue;
            }
            value = MSRValue::valueFromObject(plain, true);
            if (!value) {
                drop();
                continue;
            }
        }
        bool checkLength = true;
        if (name == "_ev" && value->isString()) {
            const std::string& text = *value->stringValue();
            const std::size_t length = msr_UTF32Length(text);
            const std::size_t limit = static_cast<std::size_t>(maxInternalLength);
            if (length == limit + 3 && text.ends_with("...")) {
                checkLength = false;  // the cut form of a long offending value
            } else if (length > limit) {
                result.try_emplace("_el", MSRValue::initWithInt64(static_cast<std::int64_t>(length)));
            }
        }
        int code = 0;
        const bool validValue =
            !checkLength || (internalEvent ? MSRDataTypeValidator::isValidInternalEventParameterValue(&*value, &code)
                                           : MSRDataTypeValidator::isValidPublicEventParameterValue(&*value, &code));
        if (!validValue) {
            if (code == MSRDataTypeValidator::TooLong) {
                MSRRecordParameterError(result, MSRFailureCodeInvalidParameterValue, name, kErrorNameLength,
                                        value->isString() ? &*value : nullptr);
            }
            drop();
            continue;
        }
        if (value->isArray()) {
            value = validatedArrayParameter(*value, eventName, name, isPublic, isItem, result);
            if (!value) {
                drop();
                continue;
            }
        }
        result.insert_or_assign(name, std::move(*value));
        ++kept;
    }
    if (kept == 0) {
        return result;
    }

    if (isItem) {
        const int limit = limits.maxItemScopedCustomParameters;
        if (countPublic(result, true) > static_cast<std::size_t>(std::max(limit, 0))) {
            MSRTrimItemParametersToLimit(result, limit);
            MSRSetErrorCodeIfAbsent(result, limit > 0 ? MSRFailureCodeItemScopedCustomParameterLimitReached
                                                      : MSRFailureCodeCustomParamsInArrayElement);
            event_lines::log(event_lines::kItemCannotContainCustomParameters);
        }
    } else {
        const int limit = limits.maxPublicEventParams;
        if (countPublic(result, false) > static_cast<std::size_t>(std::max(limit, 0))) {
            MSRTrimEventParametersToLimit(result, limit);
            MSRSetErrorCodeIfAbsent(result, MSRFailureCodeParameterLimitReached);
            const auto& line = event_lines::kTooManyParameters;
            MSRMeasurementMonitor().logWithLevel(
                line.level, line.code,
                platform::formatMessage(line.text, {platform::MessageArgument(std::to_string(limit))}), limit);
        }
    }
    return result;
}

bool MSRCheckValueAndCurrency(MSRParameters& parameters) {
    auto value = parameters.find("value");
    if (value == parameters.end()) {
        return true;
    }
    const std::size_t maxLength =
        static_cast<std::size_t>(MeasurementServices::current().remoteConfig().maxInternalEventParameterValueLength());
    if (MSRDataTypeValidator::isValidNumericValue(&value->second)) {
        auto currency = parameters.find("currency");
        if (currency != parameters.end() && MSRDataTypeValidator::isValidCurrencyCode(&currency->second)) {
            return true;
        }
        event_lines::log(event_lines::kValueParameterDiscardedYouAlsoSupply);
        parameters.erase("value");
        MSRRecordParameterError(parameters, MSRFailureCodeCurrencyCodeIsMissingOrInvalid, "currency", maxLength,
                                nullptr);
        return false;
    }
    parameters.erase("value");
    MSRRecordParameterError(parameters, MSRFailureCodeValueIsNotNumeric, "value", maxLength, nullptr);
    return false;
}

MSRObjectDictionary MSRObjectDictionaryFromParameters(const MSRParameters& parameters) {
    MSRObjectDictionary objects;
    for (const auto& [key, value] : parameters) {
        objects.emplace(key, value);
    }
    return objects;
}

}  // namespace kit::measurement
