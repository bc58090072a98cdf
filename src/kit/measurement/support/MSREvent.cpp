#include "kit/measurement/support/MSREvent.h"

#include "EventLines.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRDataTypeValidator.h"
#include "kit/measurement/support/MSREventParameters.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <cmath>
#include <limits>
#include <vector>

namespace kit::measurement {

namespace {

// Slots of the wire messages.
constexpr int kEventParams = 0;
constexpr int kEventName = 1;
constexpr int kEventTimestamp = 2;
constexpr int kEventPreviousTimestamp = 3;
constexpr int kParamName = 0;
constexpr int kParamString = 1;
constexpr int kParamInt = 2;
constexpr int kParamDouble = 4;
constexpr int kParamList = 5;
constexpr int kAttributeTimestamp = 0;
constexpr int kAttributeName = 1;
constexpr int kAttributeString = 2;
constexpr int kAttributeInt = 3;
constexpr int kAttributeDouble = 5;

constexpr double kTwoToThe63 = 9223372036854775808.0;

std::optional<std::int64_t> truncatedInt64(double value) {
    if (!std::isfinite(value) || value < -kTwoToThe63 || value >= kTwoToThe63) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
}

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

bool isInt64One(const MSRParameters& parameters, std::string_view key) {
    auto found = parameters.find(key);
    return found != parameters.end() && found->second.isInt64() && found->second.int64Value() == 1;
}

// One element of an array parameter as its nested parameter list.
MSRPBEventParam itemParam(std::string_view eventName, std::string_view paramName, const platform::Value& element) {
    MSRPBEventParam item;
    std::vector<MSRPBEventParam> entries;
    if (const platform::Value::Dictionary* dictionary = element.asDictionary()) {
        for (const auto& [key, value] : *dictionary) {
            MSRPBEventParam entry;
            NanoMessageSetString(entry, kParamName, key);
            if (const std::string* text = value.asString()) {
                NanoMessageSetString(entry, kParamString, *text);
            } else if (value.isInteger() || value.isBool()) {
                NanoMessageSetInt64(entry, kParamInt, *value.asInteger());
            } else if (value.isDouble()) {
                NanoMessageSetDouble(entry, kParamDouble, *value.asDouble());
            } else if (value.isArray()) {
                event_lines::log(event_lines::kNestedParamsCannotMoreThan1, eventName, paramName);
                continue;
            } else {
                event_lines::log(event_lines::kInvalidEventParamValue, eventName, key);
                continue;
            }
            entries.push_back(std::move(entry));
        }
    }
    NanoMessageSetArray(item, kParamList, entries);
    return item;
}

platform::Value::Dictionary plainParameters(const MSRParameters& parameters) {
    platform::Value::Dictionary plain;
    for (const auto& [key, value] : parameters) {
        if (const MSRValue::Array* array = value.arrayValue()) {
            platform::Value::Array elements;
            for (const platform::Value& element : *array) {
                platform::Value::Dictionary entries;
                if (const auto* dictionary = element.asDictionary()) {
                    for (const auto& [entryKey, entryValue] : *dictionary) {
                        if (!entryValue.isArray()) {
                            entries.emplace(entryKey, entryValue);
                        }
                    }
                }
                elements.emplace_back(std::move(entries));
            }
            plain.emplace(key, std::move(elements));
        } else {
            plain.emplace(key, value.plainValue());
        }
    }
    return plain;
}

// "_sc" or "_sn": a string passing the screen rule.
std::optional<MSRValue> screenString(const MSRObject& object, std::uint64_t code, std::string_view message) {
    const std::string* text = nullptr;
    if (const MSRValue* typed = std::get_if<MSRValue>(&object)) {
        text = typed->stringValue();
    } else {
        text = std::get<platform::Value>(object).asString();
    }
    if (text == nullptr) {
        return std::nullopt;
    }
    if (!MSRDataTypeValidator::isValidScreenParameterValue(*text)) {
        monitor().logWithLevel(3, code, message, *text);
        return std::nullopt;
    }
    return MSRValue::initWithString(*text);
}

}  // namespace

std::optional<std::int64_t> MSRMillisecondsFromSeconds(double seconds) { return truncatedInt64(seconds * 1000.0); }

std::optional<std::int64_t> MSRWholeSeconds(double seconds) { return truncatedInt64(seconds); }

std::optional<MSREvent> MSREvent::initWithOrigin(std::string_view origin, bool isPublic, std::string_view name,
                                                 double timestamp, double previousTimestamp,
                                                 const MSRObjectDictionary& parameters) {
    int code = 0;
    if (!MSRDataTypeValidator::isValidForwardedEventOrigin(origin, &code)) {
        if (code != MSRDataTypeValidator::NotForwarded || !MSRDataTypeValidator::isValidInternalEventOrigin(origin)) {
            return std::nullopt;
        }
    }
    if (isPublic && !MSRDataTypeValidator::isValidPublicEventName(name)) {
        return std::nullopt;
    }
    if (!MSRDataTypeValidator::isValidInternalEventName(name)) {
        return std::nullopt;
    }
    // A script may hand back any time; the wire form needs 64-bit milliseconds.
    if (!MSRMillisecondsFromSeconds(timestamp) || !MSRMillisecondsFromSeconds(previousTimestamp)) {
        event_lines::log(event_lines::kEventTimestampOutRange, timestamp, previousTimestamp);
        return std::nullopt;
    }
    if (previousTimestamp > timestamp) {
        event_lines::log(event_lines::kEventCreatedPreviousTimestampAfterCurrent);
    }
    MSREvent event;
    event.origin_ = origin;
    event.name_ = name;
    event.timestamp_ = timestamp;
    event.previousTimestamp_ = previousTimestamp;
    if (auto cleaned = MSRValidatedEventParameters(parameters, name, isPublic)) {
        event.parameters_ = std::move(*cleaned);
    }
    event.parameters_.insert_or_assign("_o", MSRValue::initWithString(std::string(origin)));
    if (event.shouldValidateParams() && !MSRCheckValueAndCurrency(event.parameters_)) {
        event.parameters_.erase("_c");
    }
    return event;
}

std::optional<MSREvent> MSREvent::initWithEventProto(const MSRPBEvent& proto) {
    const std::string name = NanoMessageGetString(proto, kEventName).value_or(std::string());
    std::optional<std::string> origin;
    MSRObjectDictionary parameters;
    for (const MSRPBEventParam& param :
         NanoMessageGetArray<MSRPBEventParam>(proto, kEventParams).value_or(std::vector<MSRPBEventParam>{})) {
        const std::optional<std::string> paramName = NanoMessageGetString(param, kParamName);
        if (!paramName) {
            event_lines::log(event_lines::kIgnoringParameterParameterNameNil, name);
            continue;
        }
        if (*paramName == "_o") {
            origin = NanoMessageGetString(param, kParamString);
            if (!origin) {
                event_lines::log(event_lines::kCannotCreateEventEventProtoOrigin, name);
                return std::nullopt;
            }
            continue;
        }
        // A string the accessor refuses (not UTF-8) counts as absent.
        if (std::optional<std::string> text = NanoMessageGetString(param, kParamString)) {
            parameters.insert_or_assign(*paramName, MSRValue::initWithString(std::move(*text)));
        } else if (NanoMessageHasField(param, kParamInt)) {
            parameters.insert_or_assign(*paramName, MSRValue::initWithInt64(NanoMessageGetInt64(param, kParamInt)));
        } else if (NanoMessageHasField(param, kParamDouble)) {
            parameters.insert_or_assign(*paramName,
                                        MSRValue::initWithDouble(NanoMessageGetDouble(param, kParamDouble)));
        } else {
            event_lines::log(event_lines::kUnknownEventParameterTypeConvertingEvent, *paramName);
        }
    }
    if (!origin) {
        return std::nullopt;
    }
    const double timestamp = static_cast<double>(NanoMessageGetInt64(proto, kEventTimestamp)) / 1000.0;
    const double previousTimestamp = static_cast<double>(NanoMessageGetInt64(proto, kEventPreviousTimestamp)) / 1000.0;
    return initWithOrigin(*origin, false, name, timestamp, previousTimestamp, parameters);
}

MSRPBEvent MSREvent::protoEvent() const {
    MSRPBEvent proto;
    NanoMessageSetString(proto, kEventName, name_);
    if (previousTimestamp_ > std::numeric_limits<double>::epsilon()) {
        NanoMessageSetInt64(proto, kEventPreviousTimestamp, MSRMillisecondsFromSeconds(previousTimestamp_).value_or(0));
    }
    NanoMessageSetInt64(proto, kEventTimestamp, MSRMillisecondsFromSeconds(timestamp_).value_or(0));
    std::vector<MSRPBEventParam> params;
    params.reserve(parameters_.size());
    for (const auto& [key, value] : parameters_) {
        MSRPBEventParam param;
        NanoMessageSetString(param, kParamName, key);
        switch (value.valueType()) {
        case MSRValue::Type::Double:
            NanoMessageSetDouble(param, kParamDouble, value.doubleValue());
            break;
        case MSRValue::Type::Int64:
            NanoMessageSetInt64(param, kParamInt, value.int64Value());
            break;
        case MSRValue::Type::String:
            NanoMessageSetString(param, kParamString, *value.stringValue());
            break;
        case MSRValue::Type::Array: {
            std::vector<MSRPBEventParam> items;
            for (const platform::Value& element : *value.arrayValue()) {
                items.push_back(itemParam(name_, key, element));
            }
            NanoMessageSetArray(param, kParamList, items);
            break;
        }
        }
        params.push_back(std::move(param));
    }
    NanoMessageSetArray(proto, kEventParams, params);
    return proto;
}

std::optional<MSREvent> MSREvent::copy() const {
    return initWithOrigin(origin_, false, name_, timestamp_, previousTimestamp_,
                          MSRObjectDictionaryFromParameters(parameters_));
}

std::optional<MSREvent> MSREvent::copyWithPreviousTimestamp(double previousTimestamp) const {
    return initWithOrigin(origin_, false, name_, timestamp_, previousTimestamp,
                          MSRObjectDictionaryFromParameters(parameters_));
}

std::optional<MSREvent> MSREvent::copyWithParameters(const MSRObjectDictionary& parameters) const {
    return initWithOrigin(origin_, false, name_, timestamp_, previousTimestamp_, parameters);
}

bool MSREvent::isConversion() const { return isInt64One(parameters_, "_c"); }

void MSREvent::setConversion(bool conversion) {
    if (conversion) {
        if (!MSRCheckValueAndCurrency(parameters_)) {
            return;
        }
        parameters_.insert_or_assign("_c", MSRValue::initWithInt64(1));
        if (auto error = parameters_.find("_err");
            error != parameters_.end() && error->second == MSRValue::initWithInt64(10)) {
            parameters_.erase(error);
        }
        return;
    }
    if (parameters_.erase("_c") != 0) {
        MSRSetErrorCodeIfAbsent(parameters_, MSRFailureCodeConversionEventLimitReached);
    }
}

bool MSREvent::isRealtime() const {
    auto found = parameters_.find("_r");
    if (found == parameters_.end()) {
        return false;
    }
    if (!found->second.isInt64()) {
        event_lines::log(event_lines::kRealtimeParameterInt64, name_);
        return false;
    }
    return found->second.int64Value() == 1;
}

void MSREvent::setRealtime(bool realtime) {
    if (realtime) {
        parameters_.insert_or_assign("_r", MSRValue::initWithInt64(1));
    } else {
        parameters_.erase("_r");
    }
}

bool MSREvent::isDebug() const { return isInt64One(parameters_, "_dbg"); }

void MSREvent::setDebug(bool debug) {
    if (debug) {
        parameters_.insert_or_assign("_dbg", MSRValue::initWithInt64(1));
    } else {
        parameters_.erase("_dbg");
    }
}

bool MSREvent::shouldValidateParams() const { return isConversion() || name_ == "ad_impression" || name_ == "_ai"; }

void MSREvent::applyParameters(const MSRObjectDictionary& parameters, bool isPublic) {
    if (parameters.empty()) {
        return;
    }
    auto cleaned = MSRValidatedEventParameters(parameters, name_, isPublic);
    if (!cleaned || cleaned->empty()) {
        return;
    }
    for (auto& [key, value] : parameters_) {
        cleaned->insert_or_assign(key, value);
    }
    parameters_ = std::move(*cleaned);
}

bool MSREvent::addScreenParameters(const MSRObjectDictionary& screenParameters) {
    if (screenParameters.empty() || MSRHasScreenParameters(parameters_)) {
        return false;
    }
    auto instance = screenParameters.find("_si");
    if (instance == screenParameters.end()) {
        return false;
    }
    std::optional<MSRValue> screenClass;
    if (auto found = screenParameters.find("_sc"); found != screenParameters.end()) {
        screenClass = screenString(found->second, 16003, "Received invalid screen class");
        if (!screenClass) {
            return false;
        }
    }
    std::optional<std::int64_t> instanceID;
    if (const MSRValue* typed = std::get_if<MSRValue>(&instance->second)) {
        if (typed->isInt64()) {
            instanceID = typed->int64Value();
        }
    } else if (const platform::Value& plain = std::get<platform::Value>(instance->second); plain.isDouble()) {
        instanceID = truncatedInt64(*plain.asDouble());
    } else if (plain.isInteger() || plain.isBool()) {
        instanceID = plain.asInteger();
    }
    if (!instanceID) {
        return false;
    }
    std::optional<MSRValue> screenName;
    if (auto found = screenParameters.find("_sn"); found != screenParameters.end()) {
        screenName = screenString(found->second, 16004, "Received invalid screen name");
        if (!screenName) {
            return false;
        }
    }
    parameters_.insert_or_assign("_si", MSRValue::initWithInt64(*instanceID));
    if (screenClass) {
        parameters_.insert_or_assign("_sc", std::move(*screenClass));
    }
    if (screenName) {
        parameters_.insert_or_assign("_sn", std::move(*screenName));
    }
    return true;
}

MSRPEvent MSREvent::editEvent() const {
    const MSRNameMap& reverse = MSRInternalEventNameReverseMap();
    auto mapped = reverse.find(name_);
    return MSRPEvent(mapped != reverse.end() ? mapped->second : name_, timestamp_, plainParameters(parameters_));
}

std::optional<MSREvent> MSREvent::eventFromEditEvent(const MSRPEvent& editEvent) {
    const MSRNameMap& forward = MSRInternalEventNameMap();
    auto mapped = forward.find(editEvent.name());
    const std::string& name = mapped != forward.end() ? mapped->second : editEvent.name();
    std::string origin = "app";
    if (auto found = editEvent.parameters().find("_o"); found != editEvent.parameters().end()) {
        if (const std::string* text = found->second.asString()) {
            origin = *text;
        }
    }
    MSRObjectDictionary parameters;
    for (const auto& [key, value] : editEvent.parameters()) {
        parameters.emplace(key, value);
    }
    return initWithOrigin(origin, false, name, editEvent.timestamp(), 0, parameters);
}

bool MSRIsErrorEvent(const MSREvent& event) {
    if (event.name().empty()) {
        event_lines::log(event_lines::kCannotCheckEventName);
        return false;
    }
    return event.name() == "_err";
}

bool MSRIsSubscriptionEvent(const MSREvent& event) {
    const std::string& name = event.name();
    return name == "_assc" || name == "_assr" || (name == "_iap" && isInt64One(event.parameters(), "subscription"));
}

std::size_t MSREventItemCount(const MSREvent* event) {
    std::size_t count = 0;
    if (event != nullptr) {
        for (const auto& [key, value] : event->parameters()) {
            if (const MSRValue::Array* array = value.arrayValue()) {
                count += array->size();
            }
        }
    }
    return count;
}

std::optional<MSREvent> MSRSessionStartEvent(std::int64_t sessionNumber, bool isAppInBackground, double timestamp) {
    const std::optional<std::int64_t> sessionID = MSRWholeSeconds(timestamp);
    if (!sessionID) {
        event_lines::log(event_lines::kEventTimestampOutRange, timestamp);
        return std::nullopt;
    }
    MSRObjectDictionary parameters{{"_sid", MSRValue::initWithInt64(*sessionID)},
                                   {"_sno", MSRValue::initWithInt64(sessionNumber)}};
    if (isAppInBackground) {
        parameters.insert_or_assign("_aib", MSRValue::initWithInt64(1));
    } else {
        for (auto& [key, value] : MeasurementServices::current().screenParameters()) {
            parameters.insert_or_assign(key, value);
        }
    }
    return MSREvent::initWithOrigin("auto", false, "_s", timestamp, 0, parameters);
}

std::optional<MSREventAggregates> MSREventAggregates::initWithName(std::string_view name, std::int32_t lifetimeCount,
                                                                   std::int32_t currentBundleCount,
                                                                   std::int32_t currentSessionCount,
                                                                   double lastFireTimestamp) {
    if (!MSRDataTypeValidator::isValidInternalEventName(name)) {
        return std::nullopt;
    }
    if (lifetimeCount < 0 || currentBundleCount < 0 || currentSessionCount < 0) {
        event_lines::log(event_lines::kFailedCreateEventAggregatesObject);
        return std::nullopt;
    }
    MSREventAggregates aggregates;
    aggregates.name_ = name;
    aggregates.lifetimeCount_ = lifetimeCount;
    aggregates.currentBundleCount_ = currentBundleCount;
    aggregates.currentSessionCount_ = currentSessionCount;
    aggregates.lastFireTimestamp_ = lastFireTimestamp;
    return aggregates;
}

namespace {

void incrementWrapping(std::int32_t& count, std::uint64_t code, std::string_view message) {
    if (count == std::numeric_limits<std::int32_t>::max()) {
        count = 0;
        monitor().logWithLevel(5, code, message);
        return;
    }
    ++count;
}

}  // namespace

void MSREventAggregates::incrementLifetimeCount() {
    incrementWrapping(lifetimeCount_, 17001, "Lifetime count overflow. Lifetime count reset to 0.");
}

void MSREventAggregates::incrementCurrentBundleCount() {
    incrementWrapping(currentBundleCount_, 17002, "Bundle count overflow. Bundle count reset to 0.");
}

void MSREventAggregates::incrementCurrentSessionCount() {
    incrementWrapping(currentSessionCount_, 17003, "Session count overflow. Session count reset to 0.");
}

std::optional<MSRUserAttribute> MSRUserAttribute::initWithOrigin(std::string_view origin, std::string_view name,
                                                                 MSRValue value, double lastSetTimestamp) {
    if (!MSRDataTypeValidator::isValidInternalUserAttributeName(name) ||
        !MSRDataTypeValidator::isValidInternalUserAttributeValue(&value, name)) {
        return std::nullopt;
    }
    return MSRUserAttribute(std::string(origin), std::string(name), std::move(value), lastSetTimestamp);
}

MSRPBUserAttribute MSRUserAttribute::protoUserAttribute() const {
    MSRPBUserAttribute proto;
    NanoMessageSetString(proto, kAttributeName, name_);
    switch (value_.valueType()) {
    case MSRValue::Type::Double:
        NanoMessageSetDouble(proto, kAttributeDouble, value_.doubleValue());
        break;
    case MSRValue::Type::Int64:
        NanoMessageSetInt64(proto, kAttributeInt, value_.int64Value());
        break;
    case MSRValue::Type::String:
        NanoMessageSetString(proto, kAttributeString, *value_.stringValue());
        break;
    case MSRValue::Type::Array:
        break;
    }
    if (auto milliseconds = MSRMillisecondsFromSeconds(lastSetTimestamp_)) {
        NanoMessageSetInt64(proto, kAttributeTimestamp, *milliseconds);
    }
    return proto;
}

std::optional<MSRRawEventData> MSRRawEventData::initWithRawEvent(std::shared_ptr<const MSREvent> rawEvent,
                                                                 std::int64_t rowID, std::int64_t metadataFingerprint) {
    if (!rawEvent) {
        event_lines::log(event_lines::kFailedCreateRawEventData);
        return std::nullopt;
    }
    if (rowID < 0) {
        event_lines::log(event_lines::kFailedCreateRawEventDataReceived, static_cast<long long>(rowID));
        return std::nullopt;
    }
    return MSRRawEventData(std::move(rawEvent), rowID, metadataFingerprint);
}

}  // namespace kit::measurement
