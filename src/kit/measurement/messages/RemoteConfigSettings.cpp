#include "RemoteConfigPrivate.h"

#include "kit/measurement/messages/MSRControllerFacts.h"

#include <charconv>
#include <cmath>
#include <limits>

// The settings: reading a configuration text once into a number, bounds
// tests, and the getters of the table.
namespace kit::measurement {
namespace {

using platform::Value;

// Integers compare exactly; a fraction against an integer compares in long
// double, which holds every 64-bit integer.
long double asLongDouble(const Value& number) {
    if (const auto integer = number.asInteger(); number.isInteger() && integer) {
        return static_cast<long double>(*integer);
    }
    return static_cast<long double>(number.asDouble().value_or(0.0));
}

bool isLess(const Value& left, const Value& right) {
    if (left.isInteger() && right.isInteger()) {
        return *left.asInteger() < *right.asInteger();
    }
    return asLongDouble(left) < asLongDouble(right);
}

// The number truncated toward zero into Integer; nothing when it does not fit.
template <class Integer>
std::optional<Integer> truncatedInteger(const Value& number) {
    constexpr auto lowest = static_cast<long double>(std::numeric_limits<Integer>::min());
    constexpr auto beyond = static_cast<long double>(std::numeric_limits<Integer>::max()) + 1.0L;
    if (number.isInteger()) {
        const std::int64_t integer = *number.asInteger();
        if (integer < std::numeric_limits<Integer>::min() || integer > std::numeric_limits<Integer>::max()) {
            return std::nullopt;
        }
        return static_cast<Integer>(integer);
    }
    if (!number.isDouble()) {
        return std::nullopt;
    }
    const long double truncated = std::trunc(static_cast<long double>(*number.asDouble()));
    if (!(truncated >= lowest && truncated < beyond)) {
        return std::nullopt;
    }
    return static_cast<Integer>(truncated);
}

std::optional<double> asSeconds(const Value& number) {
    if (number.isInteger()) {
        return static_cast<double>(*number.asInteger());
    }
    return number.asDouble();
}

}  // namespace

std::optional<Value> MSRRemoteConfig::numberFromString(std::string_view text) {
    std::size_t position = 0;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        ++position;
    }
    const std::size_t integerStart = position;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
        ++position;
    }
    const std::size_t integerEnd = position;
    if (integerEnd == integerStart) {
        return std::nullopt;
    }
    bool hasFraction = false;
    if (position < text.size() && text[position] == '.') {
        ++position;
        const std::size_t fractionStart = position;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
            ++position;
        }
        if (position == fractionStart) {
            return std::nullopt;
        }
        hasFraction = true;
    }
    if (position != text.size()) {
        return std::nullopt;
    }
    // from_chars takes a minus but no plus; the integer part decides the range.
    const std::size_t signedStart = text.front() == '+' ? 1 : 0;
    std::int64_t integer = 0;
    const char* first = text.data() + signedStart;
    const char* integerLast = text.data() + integerEnd;
    if (const auto [end, error] = std::from_chars(first, integerLast, integer);
        error != std::errc() || end != integerLast) {
        return std::nullopt;
    }
    if (!hasFraction) {
        return Value(integer);
    }
    double number = 0.0;
    const char* last = text.data() + text.size();
    if (const auto [end, error] = std::from_chars(first, last, number, std::chars_format::fixed);
        error != std::errc() || end != last) {
        return std::nullopt;
    }
    return Value(number);
}

std::optional<Value> MSRRemoteConfig::cacheValue(std::optional<Value> value, std::string_view key) const {
    if (!value || key.empty()) {
        logRemoteConfigLine(remote_config_line::cacheEmpty);
        return std::nullopt;
    }
    state()->settings->setObject(*value, std::string(key));
    return value;
}

std::optional<Value> MSRRemoteConfig::numberFromCacheWithKey(std::string_view key, const Value& defaultValue,
                                                             std::optional<Value> maxValue,
                                                             std::optional<Value> minValue,
                                                             const NumberTransform& block) const {
    if (key.empty()) {
        logRemoteConfigLine(remote_config_line::emptySettingKey);
        return std::nullopt;
    }
    // Memoise only into the cache that was read: a parse meanwhile publishes
    // a cache of its own, which this read never touches.
    const std::shared_ptr<SettingsCache> cache = state()->settings;
    const std::optional<Value> entry = cache->objectForKey(key);
    if (!entry) {
        cache->setObject(defaultValue, std::string(key));
        return defaultValue;
    }
    if (entry->isNumber()) {
        return entry;
    }
    std::optional<Value> number;
    if (const std::string* text = entry->asString()) {
        number = numberFromString(*text);
    } else {
        logRemoteConfigLine(remote_config_line::nonString, *entry);
    }
    if (number && block) {
        number = block(*number);
    }
    if (!number || !number->isNumber() || (minValue && isLess(*number, *minValue)) ||
        (maxValue && isLess(*maxValue, *number))) {
        number = defaultValue;
    }
    cache->setObject(*number, std::string(key));
    return number;
}

std::int32_t MSRRemoteConfig::intValueFromCacheWithKey(std::string_view key, std::int32_t defaultValue,
                                                       std::int32_t maxValue, std::int32_t minValue) const {
    const auto number = numberFromCacheWithKey(key, Value(std::int64_t{defaultValue}), Value(std::int64_t{maxValue}),
                                               Value(std::int64_t{minValue}));
    if (!number) {
        return 0;
    }
    return truncatedInteger<std::int32_t>(*number).value_or(defaultValue);
}

std::int64_t MSRRemoteConfig::int64ValueFromCacheWithKey(std::string_view key, std::int64_t defaultValue,
                                                         std::int64_t maxValue, std::int64_t minValue) const {
    const auto number = numberFromCacheWithKey(key, Value(defaultValue), Value(maxValue), Value(minValue));
    if (!number) {
        return 0;
    }
    return truncatedInteger<std::int64_t>(*number).value_or(defaultValue);
}

std::int64_t MSRRemoteConfig::int64ValueFromCacheWithKey(std::string_view key, std::int64_t defaultValue) const {
    const auto number = numberFromCacheWithKey(key, Value(defaultValue), std::nullopt, std::nullopt);
    if (!number) {
        return 0;
    }
    return truncatedInteger<std::int64_t>(*number).value_or(defaultValue);
}

bool MSRRemoteConfig::boolValueFromCacheWithKey(std::string_view key, bool defaultValue) const {
    return intValueFromCacheWithKey(key, defaultValue ? 1 : 0, 1, 0) == 1;
}

double MSRRemoteConfig::timeIntervalInSecondsFromCacheWithKey(std::string_view key, double defaultValue,
                                                              double maxValue, double minValue) const {
    static const NumberTransform& millisecondsToSeconds =
        *new NumberTransform([](const Value& number) -> std::optional<Value> {
            const auto milliseconds = truncatedInteger<std::int64_t>(number);
            if (!milliseconds) {
                return std::nullopt;
            }
            return Value(static_cast<double>(*milliseconds) / 1000.0);
        });
    const auto number =
        numberFromCacheWithKey(key, Value(defaultValue), Value(maxValue), Value(minValue), millisecondsToSeconds);
    if (!number) {
        return 0.0;
    }
    return asSeconds(*number).value_or(defaultValue);
}

std::int32_t MSRRemoteConfig::intSetting(MSRSetting setting) const {
    const MSRSettingRow& row = settingRow(setting);
    return intValueFromCacheWithKey(row.key, static_cast<std::int32_t>(row.defaultValue),
                                    static_cast<std::int32_t>(row.maxValue), static_cast<std::int32_t>(row.minValue));
}

std::int64_t MSRRemoteConfig::int64Setting(MSRSetting setting) const {
    const MSRSettingRow& row = settingRow(setting);
    return int64ValueFromCacheWithKey(row.key, row.defaultValue, row.maxValue, row.minValue);
}

bool MSRRemoteConfig::boolSetting(MSRSetting setting) const {
    const MSRSettingRow& row = settingRow(setting);
    return boolValueFromCacheWithKey(row.key, row.defaultValue != 0);
}

double MSRRemoteConfig::secondsSetting(MSRSetting setting) const {
    const MSRSettingRow& row = settingRow(setting);
    return timeIntervalInSecondsFromCacheWithKey(row.key, static_cast<double>(row.defaultValue),
                                                 static_cast<double>(row.maxValue), static_cast<double>(row.minValue));
}

std::optional<std::string> MSRRemoteConfig::settingText(std::string_view key) const {
    const std::optional<Value> entry = state()->settings->objectForKey(key);
    if (!entry) {
        return std::nullopt;
    }
    if (const std::string* text = entry->asString()) {
        return *text;
    }
    if (entry->isInteger()) {
        return std::to_string(*entry->asInteger());
    }
    if (entry->isDouble()) {
        char buffer[64];
        const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, *entry->asDouble());
        if (error == std::errc()) {
            return std::string(buffer, end);
        }
    }
    return std::nullopt;
}

double MSRRemoteConfig::uploadingBackoffInterval() const {
    return secondsSetting(MSRSetting::uploadingBackoffInterval);
}
std::int32_t MSRRemoteConfig::maxAudienceCount() const { return intSetting(MSRSetting::maxAudienceCount); }
std::int32_t MSRRemoteConfig::maxFiltersPerAudience() const { return intSetting(MSRSetting::maxFiltersPerAudience); }
std::int32_t MSRRemoteConfig::maxFilterResultCount() const { return intSetting(MSRSetting::maxFilterResultCount); }
std::int32_t MSRRemoteConfig::maxParametersPerFilter() const { return intSetting(MSRSetting::maxParametersPerFilter); }
double MSRRemoteConfig::databaseDeleteStaleBundlesInterval() const {
    return secondsSetting(MSRSetting::databaseDeleteStaleBundlesInterval);
}
double MSRRemoteConfig::maxQueueTime() const { return secondsSetting(MSRSetting::maxQueueTime); }
double MSRRemoteConfig::adIDCacheTime() const { return secondsSetting(MSRSetting::adIDCacheTime); }
bool MSRRemoteConfig::gateIDFAOnATTMASEnabled() const { return boolSetting(MSRSetting::gateIDFAOnATTMASEnabled); }
double MSRRemoteConfig::monitoringSamplePeriod() const { return secondsSetting(MSRSetting::monitoringSamplePeriod); }
bool MSRRemoteConfig::isNetworkBackgroundSessionEnabled() const {
    return boolSetting(MSRSetting::isNetworkBackgroundSessionEnabled);
}
double MSRRemoteConfig::networkTimeout() const { return secondsSetting(MSRSetting::networkTimeout); }
double MSRRemoteConfig::sessionDefaultTimeoutInterval() const {
    return secondsSetting(MSRSetting::sessionDefaultTimeoutInterval);
}
double MSRRemoteConfig::sessionEventUserEngagementInterval() const {
    return secondsSetting(MSRSetting::sessionEventUserEngagementInterval);
}
bool MSRRemoteConfig::efficientEngagementReportingEnabled() const {
    return boolSetting(MSRSetting::efficientEngagementReportingEnabled);
}
bool MSRRemoteConfig::redundantEngagementRemovalEnabled() const {
    return boolSetting(MSRSetting::redundantEngagementRemovalEnabled);
}
std::int32_t MSRRemoteConfig::maxConversionsPerDay() const { return intSetting(MSRSetting::maxConversionsPerDay); }
std::int32_t MSRRemoteConfig::maxEventsPerDay() const { return intSetting(MSRSetting::maxEventsPerDay); }
std::int32_t MSRRemoteConfig::maxPublicEventsPerDay() const { return intSetting(MSRSetting::maxPublicEventsPerDay); }
std::int32_t MSRRemoteConfig::maxErrorEventsPerDay() const { return intSetting(MSRSetting::maxErrorEventsPerDay); }
std::int32_t MSRRemoteConfig::maxTrackedCurrencies() const { return intSetting(MSRSetting::maxTrackedCurrencies); }
std::int32_t MSRRemoteConfig::maxPublicUserProperties() const {
    return intSetting(MSRSetting::maxPublicUserProperties);
}
std::int32_t MSRRemoteConfig::maxEventNameCardinality() const {
    return intSetting(MSRSetting::maxEventNameCardinality);
}
std::int32_t MSRRemoteConfig::maxPublicEventParams() const { return intSetting(MSRSetting::maxPublicEventParams); }
std::int32_t MSRRemoteConfig::maxEventsStored() const { return intSetting(MSRSetting::maxEventsStored); }
double MSRRemoteConfig::uploadingInterval() const { return secondsSetting(MSRSetting::uploadingInterval); }
double MSRRemoteConfig::uploadingInitialDelayInterval() const {
    return secondsSetting(MSRSetting::uploadingInitialDelayInterval);
}
std::int64_t MSRRemoteConfig::uploadMaxBundlesLimit() const { return int64Setting(MSRSetting::uploadMaxBundlesLimit); }
std::int64_t MSRRemoteConfig::uploadMaxEventsPerBundle() const {
    return int64Setting(MSRSetting::uploadMaxEventsPerBundle);
}
std::int64_t MSRRemoteConfig::uploadMaxSizeLimitBytes() const {
    return int64Setting(MSRSetting::uploadMaxSizeLimitBytes);
}
std::int32_t MSRRemoteConfig::uploadingRetryCount() const { return intSetting(MSRSetting::uploadingRetryCount); }
double MSRRemoteConfig::uploadingRetryInterval() const { return secondsSetting(MSRSetting::uploadingRetryInterval); }
std::int32_t MSRRemoteConfig::maxRealtimeEventCountPerDay() const {
    return intSetting(MSRSetting::maxRealtimeEventCountPerDay);
}
double MSRRemoteConfig::uploadingDebugModeInterval() const {
    return secondsSetting(MSRSetting::uploadingDebugModeInterval);
}
double MSRRemoteConfig::uploadingRealTimeInterval() const {
    return secondsSetting(MSRSetting::uploadingRealTimeInterval);
}
bool MSRRemoteConfig::blocklistInternal() const { return boolSetting(MSRSetting::blocklistInternal); }
bool MSRRemoteConfig::blocklistPublic() const { return boolSetting(MSRSetting::blocklistPublic); }
bool MSRRemoteConfig::isEventSamplingEnabled() const { return boolSetting(MSRSetting::isEventSamplingEnabled); }
std::int32_t MSRRemoteConfig::analyticsAccountTimeZoneOffsetMinutes() const {
    return intSetting(MSRSetting::analyticsAccountTimeZoneOffsetMinutes);
}
bool MSRRemoteConfig::checksumEnabled() const { return boolSetting(MSRSetting::checksumEnabled); }
bool MSRRemoteConfig::appInBackgroundParameterEnabled() const {
    return boolSetting(MSRSetting::appInBackgroundParameterEnabled);
}
std::int32_t MSRRemoteConfig::maxItemScopedCustomParameters() const {
    return intSetting(MSRSetting::maxItemScopedCustomParameters);
}
std::int32_t MSRRemoteConfig::maxPublicEventParameterValueLength() const {
    return intSetting(MSRSetting::maxPublicEventParameterValueLength);
}
std::int32_t MSRRemoteConfig::maxRealtimeDCUEventCountPerDay() const {
    return intSetting(MSRSetting::maxRealtimeDCUEventCountPerDay);
}
std::int32_t MSRRemoteConfig::maxPSMRetryCount() const { return intSetting(MSRSetting::maxPSMRetryCount); }
double MSRRemoteConfig::PSMRetryInterval() const { return secondsSetting(MSRSetting::PSMRetryInterval); }
std::int32_t MSRRemoteConfig::hashPrefixBitLengthEmail() const {
    return intSetting(MSRSetting::hashPrefixBitLengthEmail);
}
std::int32_t MSRRemoteConfig::hashPrefixBitLengthPhone() const {
    return intSetting(MSRSetting::hashPrefixBitLengthPhone);
}
std::int32_t MSRRemoteConfig::maxSignInDelayInDays() const { return intSetting(MSRSetting::maxSignInDelayInDays); }
bool MSRRemoteConfig::isDeferredDeepLinkEnabled() const { return boolSetting(MSRSetting::isDeferredDeepLinkEnabled); }
std::int32_t MSRRemoteConfig::maxDeferredDeepLinkRetryCount() const {
    return intSetting(MSRSetting::maxDeferredDeepLinkRetryCount);
}
double MSRRemoteConfig::attributionCacheTTLInterval() const {
    return secondsSetting(MSRSetting::attributionCacheTTLInterval);
}
double MSRRemoteConfig::remoteConfigCacheTimeInterval() const {
    return secondsSetting(MSRSetting::remoteConfigCacheTimeInterval);
}
bool MSRRemoteConfig::SKANUpdateConversionValueEnabled() const {
    return boolSetting(MSRSetting::SKANUpdateConversionValueEnabled);
}
double MSRRemoteConfig::SKANInitialCVFetchDelay() const { return secondsSetting(MSRSetting::SKANInitialCVFetchDelay); }
double MSRRemoteConfig::SKANCVFetchRetryInterval() const {
    return secondsSetting(MSRSetting::SKANCVFetchRetryInterval);
}
std::int32_t MSRRemoteConfig::SKANCVFetchRetryLimit() const { return intSetting(MSRSetting::SKANCVFetchRetryLimit); }
double MSRRemoteConfig::SKANFirstWindowCVFetchDelay() const {
    return secondsSetting(MSRSetting::SKANFirstWindowCVFetchDelay);
}
double MSRRemoteConfig::SKANFirstWindowCVFetchRetryInterval() const {
    return secondsSetting(MSRSetting::SKANFirstWindowCVFetchRetryInterval);
}
std::int32_t MSRRemoteConfig::SKANFirstWindowCVFetchRetryLimit() const {
    return intSetting(MSRSetting::SKANFirstWindowCVFetchRetryLimit);
}
double MSRRemoteConfig::SKANFirstWindowUploadInterval() const {
    return secondsSetting(MSRSetting::SKANFirstWindowUploadInterval);
}
bool MSRRemoteConfig::SSTUploadSettingEnabled() const { return boolSetting(MSRSetting::SSTUploadSettingEnabled); }

std::int32_t MSRRemoteConfig::maxPSMStartCount() const {
    if (currentControllerFacts().isDebugModeEnabled()) {
        return static_cast<std::int32_t>(settingRow(MSRSetting::maxPSMStartCount).maxValue);
    }
    return intSetting(MSRSetting::maxPSMStartCount);
}

bool MSRRemoteConfig::sessionStitchingTokenFeatureEnabled() const {
    if (experimentClient_ != nullptr) {
        if (const auto flag = experimentClient_->objectForKeyedSubscript(kSessionStitchingFlag)) {
            if (const auto boolean = flag->asBool()) {
                return *boolean;
            }
            if (flag->isNumber()) {
                return asLongDouble(*flag) != 0.0L;
            }
        }
    }
    return boolSetting(MSRSetting::sessionStitchingTokenFeatureEnabled);
}

std::int32_t MSRRemoteConfig::maxBundlesCreatedPerIteration() const {
    const double count = secondsSetting(MSRSetting::maxBundlesCreatedPerIteration);
    const auto row = settingRow(MSRSetting::maxBundlesCreatedPerIteration);
    return truncatedInteger<std::int32_t>(Value(count)).value_or(static_cast<std::int32_t>(row.defaultValue));
}

std::int32_t MSRRemoteConfig::maxInternalEventParameterValueLength() const {
    return std::max<std::int32_t>(256, maxPublicEventParameterValueLength());
}

std::optional<std::vector<std::int64_t>> MSRRemoteConfig::experimentIDs() const {
    if (experimentManager_ == nullptr) {
        return std::nullopt;
    }
    return experimentManager_->experimentIDs();
}

}  // namespace kit::measurement
