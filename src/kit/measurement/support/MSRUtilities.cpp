#include "kit/measurement/support/MSRUtilities.h"

#include "IcuHandles.h"

#include "kit/core/CoreTexts.h"

#include "ValidationLines.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRStrings.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <unicode/uregex.h>
#include <unicode/utext.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <utility>

namespace kit::measurement {

namespace {

using NamePair = std::pair<std::string_view, std::string_view>;

constexpr NamePair kInternalParameterNames[] = {
    {"ad_event_id", "_aeid"},
    {"ad_unit_id", "_ai"},
    {"app_in_background", "_aib"},
    {"deferred_analytics_collection", "_dac"},
    {"engagement_time_msec", "_et"},
    {"exposure_time", "_xt"},
    {"halo_conversion", "_c"},
    {"halo_debug", "_dbg"},
    {"halo_error", "_err"},
    {"halo_error_length", "_el"},
    {"halo_error_value", "_ev"},
    {"halo_event_origin", "_o"},
    {"halo_feature_rollouts", "_ffr"},
    {"halo_previous_class", "_pc"},
    {"halo_previous_id", "_pi"},
    {"halo_previous_screen", "_pn"},
    {"halo_realtime", "_r"},
    {"halo_screen", "_sn"},
    {"halo_screen_class", "_sc"},
    {"halo_screen_id", "_si"},
    {"la_conversion", "_c"},
    {"la_debug", "_dbg"},
    {"la_dedupe_id", "_did"},
    {"la_error", "_err"},
    {"la_error_length", "_el"},
    {"la_error_value", "_ev"},
    {"la_event_id", "_eid"},
    {"la_event_name", "_en"},
    {"la_event_origin", "_o"},
    {"la_extra_params_ct", "_epc"},
    {"la_group_name", "_gn"},
    {"la_index", "_i"},
    {"la_list_length", "_ll"},
    {"la_previous_class", "_pc"},
    {"la_previous_id", "_pi"},
    {"la_previous_screen", "_pn"},
    {"la_realtime", "_r"},
    {"la_screen", "_sn"},
    {"la_screen_class", "_sc"},
    {"la_screen_id", "_si"},
    {"message_id", "_nmid"},
    {"message_name", "_nmn"},
    {"message_time", "_nmt"},
    {"message_tracking_id", "_nmtid"},
    {"message_type", "_nmc"},
    {"message_device_time", "_ndt"},
    {"previous_app_version", "_pv"},
    {"previous_first_open_count", "_pfo"},
    {"previous_lmp_app_id", "_plmp"},
    {"previous_os_version", "_po"},
    {"session_id", "_sid"},
    {"session_number", "_sno"},
    {"topic", "_nt"},
    {"update_with_analytics", "_uwa"},
};

constexpr NamePair kInternalUserPropertyNames[] = {
    {"halo_last_notification", "_ln"},   {"first_open_after_install", "_fi"},
    {"first_open_time", "_fot"},         {"la_session_id", "_sid"},
    {"la_session_number", "_sno"},       {"last_advertising_id_reset", "_lair"},
    {"last_deep_link_referrer", "_ldl"}, {"lifetime_user_engagement", "_lte"},
    {"session_user_engagement", "_se"},  {"user_id", "_id"},
};

constexpr std::string_view kEcommerceEventNames[] = {
    "add_payment_info",  "add_shipping_info",  "add_to_cart",    "add_to_wishlist",  "begin_checkout",
    "checkout_progress", "ecommerce_purchase", "purchase",       "purchase_refund",  "refund",
    "remove_from_cart",  "select_content",     "select_item",    "select_promotion", "set_checkout_option",
    "view_cart",         "view_item",          "view_item_list", "view_promotion",   "view_search_results",
};

constexpr std::string_view kItemParameterNames[] = {
    "affiliation",   "checkout_option", "checkout_step",  "coupon",         "creative_name",
    "creative_slot", "currency",        "discount",       "index",          "item_brand",
    "item_category", "item_category2",  "item_category3", "item_category4", "item_category5",
    "item_id",       "item_list",       "item_list_id",   "item_list_name", "item_location_id",
    "item_name",     "item_variant",    "location_id",    "payment_type",   "price",
    "promotion_id",  "promotion_name",  "quantity",       "shipping",       "shipping_tier",
    "tax",           "transaction_id",  "value",
};

constexpr std::string_view kPurchaseEventNames[] = {"ecommerce_purchase", "_f", "_iap", "purchase", "refund"};

constexpr std::pair<std::int64_t, std::string_view> kFailureCodeNames[] = {
    {0, "NoError"},
    {1, "InvalidLMPAppID"},
    {2, "InvalidEventName"},
    {3, "InvalidParameterName"},
    {4, "InvalidParameterValue"},
    {5, "ParameterLimitReached"},
    {6, "InvalidUserPropertyName"},
    {7, "UserPropertyValueTooLong"},
    {8, "EventLimitReached"},
    {9, "UserPropertyLimitReached"},
    {10, "ConversionEventLimitReached"},
    {11, "EventIsBlocked"},
    {12, "UserPropertyIsBlocked"},
    {13, "EventNameIsReserved"},
    {14, "ParameterNameIsReserved"},
    {15, "UserPropertyNameIsReserved"},
    {16, "PublicEventLimitReached"},
    {17, "TooManyExtraParamEvents"},
    {18, "ValueIsNotNumeric"},
    {19, "CurrencyCodeIsMissingOrInvalid"},
    {20, "InvalidArrayParamName"},
    {21, "InvalidArrayParamEventName"},
    {22, "InvalidArrayParamNesting"},
    {23, "CustomParamsInArrayElement"},
    {28, "ItemScopedCustomParameterLimitReached"},
};

template <std::size_t N>
MSRNameMap makeMap(const NamePair (&pairs)[N]) {
    MSRNameMap map;
    for (const auto& [from, to] : pairs) {
        map.emplace(from, to);
    }
    return map;
}

template <std::size_t N>
bool contains(const std::string_view (&names)[N], std::string_view name) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

constexpr std::string_view kDecimalPattern = "^[+-]?(([0-9]+\\.?)|([0-9]*\\.[0-9]+))$";

// The compiled decimal pattern, made on first use; a failed compile is
// forgotten so the next call tries again. Callers match on clones: a
// compiled expression is not safe to share between threads.
RegexHandle decimalExpressionClone() {
    static std::mutex mutex;
    static RegexHandle compiled;  // guarded by mutex
    std::lock_guard lock(mutex);
    UErrorCode status = U_ZERO_ERROR;
    if (!compiled) {
        UParseError parseError{};
        compiled.reset(
            uregex_openC(std::string(kDecimalPattern).c_str(), UREGEX_CASE_INSENSITIVE, &parseError, &status));
        if (U_FAILURE(status)) {
            compiled.reset();
            validation_lines::log(validation_lines::kUnableInitializeDecimalNumberRegexp, kDecimalPattern,
                                  u_errorName(status));
            return nullptr;
        }
    }
    RegexHandle clone(uregex_clone(compiled.get(), &status));
    return U_SUCCESS(status) ? std::move(clone) : nullptr;
}

}  // namespace

const MSRNameMap& MSRInternalEventNameReverseMap() {
    static const MSRNameMap& map = *new MSRNameMap([] {
        MSRNameMap reverse;
        for (const auto& [publicName, internalName] : MSRInternalEventNameMap()) {
            auto [place, inserted] = reverse.emplace(internalName, publicName);
            // Of two public names, the one without "halo_" stays.
            if (!inserted && place->second.starts_with("halo_")) {
                place->second = publicName;
            }
        }
        return reverse;
    }());
    return map;
}

const MSRNameMap& MSRAdImpressionEventNameMap() {
    static const MSRNameMap& map = *new MSRNameMap{{"ad_impression", "_ai"}};
    return map;
}

const MSRNameMap& MSRInternalParameterNameMap() {
    static const MSRNameMap& map = *new MSRNameMap(makeMap(kInternalParameterNames));
    return map;
}

const MSRNameMap& MSRInternalUserPropertyNameMap() {
    static const MSRNameMap& map = *new MSRNameMap(makeMap(kInternalUserPropertyNames));
    return map;
}

const std::map<std::int64_t, std::string>& MSRFailureCodeNameMap() {
    static const std::map<std::int64_t, std::string>& map = *new std::map<std::int64_t, std::string>([] {
        std::map<std::int64_t, std::string> names;
        for (const auto& [code, name] : kFailureCodeNames) {
            names.emplace(code, name);
        }
        return names;
    }());
    return map;
}

bool MSRIsPublicName(std::string_view name) {
    if (name.empty()) {
        validation_lines::log(validation_lines::kCannotCheckName);
        return false;
    }
    return name.front() != '_';
}

bool MSRIsPublicName(const platform::Value& name) {
    const std::string* text = name.asString();
    if (text == nullptr) {
        validation_lines::log(validation_lines::kCannotCheckNameNameNotString);
        return false;
    }
    return MSRIsPublicName(std::string_view(*text));
}

bool MSRIsNotErrorEventName(std::string_view name) { return name != "_err"; }
bool MSRIsPurchaseEventName(std::string_view name) { return contains(kPurchaseEventNames, name); }
bool MSRIsEcommerceEventName(std::string_view name) { return contains(kEcommerceEventNames, name); }
bool MSRIsItemParameterName(std::string_view name) { return contains(kItemParameterNames, name); }

bool MSRHasScreenParameters(const MSRParameters& parameters) {
    return parameters.contains("_si") || parameters.contains("_sc") || parameters.contains("_sn");
}

bool MSRHasScreenParameters(const MSRObjectDictionary& parameters) {
    return parameters.contains("_si") || parameters.contains("_sc") || parameters.contains("_sn");
}

MSRParameters MSRScreenParametersFromParameters(const MSRParameters& parameters) {
    MSRParameters screen;
    for (std::string_view key : {"_sn", "_sc", "_si"}) {
        if (auto found = parameters.find(key); found != parameters.end()) {
            screen.insert(*found);
        }
    }
    return screen;
}

void MSRLogErrorEvent(std::int64_t code) {
    if (code == 0) {
        return;
    }
    MeasurementServices::current().logInternalEventWithOrigin("auto", "_err",
                                                              {{"_err", MSRValue::initWithInt64(code)}});
}

void MSRLogErrorEventWithName(std::int64_t code, std::string_view name, std::size_t maxLength, const MSRValue* value) {
    if (code == 0) {
        return;
    }
    MSRParameters parameters{{"_err", MSRValue::initWithInt64(code)}};
    const bool longString = value != nullptr && value->isString() && msr_UTF32Length(*value->stringValue()) > maxLength;
    const bool passValue = longString || code == 4 || code == 7;
    MSRAddErrorNameAndLength(parameters, name, maxLength, passValue ? value : nullptr);
    MeasurementServices::current().logInternalEventWithOrigin("auto", "_err", parameters);
}

std::string MSRTrimmedErrorName(std::string_view name, std::size_t maxLength) {
    if (msr_UTF32Length(name) <= maxLength) {
        return msr_substringToCodePoints(name, maxLength);
    }
    return msr_substringToCodePoints(name, maxLength) + "...";
}

void MSRAddErrorNameAndLength(MSRParameters& parameters, std::string_view name, std::size_t maxLength,
                              const MSRValue* value) {
    if (parameters.contains("_ev") || parameters.contains("_el")) {
        return;
    }
    parameters.insert_or_assign("_ev", MSRValue::initWithString(MSRTrimmedErrorName(name, maxLength)));
    if (value != nullptr) {
        std::int64_t length = 0;
        if (value->isString()) {
            length = static_cast<std::int64_t>(msr_UTF32Length(*value->stringValue()));
        } else if (value->isArray()) {
            length = static_cast<std::int64_t>(value->arrayValue()->size());
        }
        parameters.insert_or_assign("_el", MSRValue::initWithInt64(length));
    }
}

void MSRSetErrorCodeIfAbsent(MSRParameters& parameters, std::int64_t code) {
    parameters.try_emplace("_err", MSRValue::initWithInt64(code));
}

void MSRRecordParameterError(MSRParameters& parameters, std::int64_t code, std::string_view name, std::size_t maxLength,
                             const MSRValue* value) {
    if (parameters.contains("_ev") || parameters.contains("_el") || parameters.contains("_err")) {
        return;
    }
    parameters.insert_or_assign("_err", MSRValue::initWithInt64(code));
    MSRAddErrorNameAndLength(parameters, name, maxLength, value);
}

bool MSRIsDecimalNumberString(std::string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT32_MAX)) {
        return false;
    }
    RegexHandle expression = decimalExpressionClone();
    if (!expression) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    TextHandle utext(utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
    if (U_FAILURE(status)) {
        return false;
    }
    uregex_setUText(expression.get(), utext.get(), &status);
    const bool matches = uregex_find(expression.get(), 0, &status) != 0;
    return U_SUCCESS(status) && matches;
}

std::optional<platform::Decimal> MSRDecimalNumberFromString(std::string_view text) {
    if (!MSRIsDecimalNumberString(text)) {
        validation_lines::log(validation_lines::kStringValueDoesNotRepresentNumeric, text);
        return std::nullopt;
    }
    const std::optional<platform::Decimal> decimal = platform::Decimal::parse(text);
    if (!decimal) {
        validation_lines::log(validation_lines::kUnableCreateNSDecimalNumberStringValue, text);
        return std::nullopt;
    }
    std::string spelled(text);
    if (spelled.starts_with("+.") || spelled.starts_with("-.") || spelled.starts_with(".")) {
        std::string widened;
        for (char c : spelled) {
            widened += c == '.' ? std::string("0.") : std::string(1, c);
        }
        spelled = std::move(widened);
    }
    const std::string canonical = decimal->isNegative() ? decimal->negated().toString() : decimal->toString();
    if (spelled.find(canonical) == std::string::npos) {
        validation_lines::log(validation_lines::kUnableCreateNSDecimalNumberStringValueLoss, text);
        return std::nullopt;
    }
    return decimal;
}

std::int64_t MSRNumericUtil::randomInt64(platform::RandomSource& source) {
    try {
        return static_cast<std::int64_t>(source.next());
    } catch (const platform::Error& error) {
        validation_lines::log(validation_lines::kUnableGenerateRandomInteger, error);
        return 0;
    }
}

std::string_view MSRApplicationDidBecomeActiveNotification() {
    return core_texts::kApplicationDidBecomeActiveNotification;
}
std::string_view MSRApplicationDidFinishLaunchingNotification() {
    return core_texts::kApplicationDidFinishLaunchingNotification;
}
std::string_view MSRApplicationWillResignActiveNotification() {
    return core_texts::kApplicationWillResignActiveNotification;
}
std::string_view MSRWindowDidResignKeyNotification() { return core_texts::kWindowDidResignKeyNotification; }

}  // namespace kit::measurement
