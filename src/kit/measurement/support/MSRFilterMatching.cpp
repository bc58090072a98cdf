#include "kit/measurement/support/MSRFilterMatching.h"

#include "IcuHandles.h"

#include "AudienceLines.h"
#include "kit/measurement/messages/NanoMessageAccess.h"
#include "kit/measurement/support/MSRMonitor.h"
#include "kit/measurement/support/MSRStrings.h"
#include "kit/measurement/support/MSRUtilities.h"
#include "kit/measurement/support/MeasurementServices.h"

#include <unicode/uchar.h>
#include <unicode/uregex.h>
#include <unicode/utext.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace kit::measurement {

namespace {

// Slots.
constexpr int kFilterString = 0;
constexpr int kFilterNumber = 1;
constexpr int kFilterComplement = 2;
constexpr int kNumberType = 0;
constexpr int kNumberValue = 2;
constexpr int kNumberMin = 3;
constexpr int kNumberMax = 4;
constexpr int kStringMatchType = 0;
constexpr int kStringExpression = 1;
constexpr int kStringCaseSensitive = 2;
constexpr int kStringList = 3;

// Expressions come from the remote configuration: each match is bounded.
// The time limit is in ICU's match-engine units, roughly milliseconds.
constexpr int32_t kRegexTimeLimit = 100;
constexpr int32_t kRegexStackLimit = 1 << 20;

MSRMonitor& monitor() { return MSRMeasurementMonitor(); }

std::string numberFilterContext(const MSRPBNumberFilter& filter) {
    std::string text = "NumberFilter type " + std::to_string(NanoMessageGetInt32(filter, kNumberType));
    for (auto [slot, label] : {std::pair{kNumberValue, " value "}, {kNumberMin, " min "}, {kNumberMax, " max "}}) {
        if (auto value = NanoMessageGetString(filter, slot)) {
            text += label + *value;
        }
    }
    return text;
}

std::string stringFilterContext(const MSRPBStringFilter& filter) {
    return "StringFilter type " + std::to_string(NanoMessageGetInt32(filter, kStringMatchType)) + " expression " +
           NanoMessageGetString(filter, kStringExpression).value_or("(nil)");
}

std::optional<bool> comparison(int type, auto value, auto target, auto min, auto max) {
    switch (type) {
    case MSRComparisonLessThan:
        return value < target;
    case MSRComparisonGreaterThan:
        return value > target;
    case MSRComparisonEqual:
        return value == target;
    case MSRComparisonBetween:
        return min <= value && value <= max;
    default:
        return std::nullopt;
    }
}

// The double of a decimal string: exactly the decimal test's grammar.
std::optional<double> parseDouble(const std::optional<std::string>& text) {
    if (!text || !MSRIsDecimalNumberString(*text)) {
        return std::nullopt;
    }
    std::string_view digits = *text;
    if (digits.starts_with("+")) {
        digits.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

std::u32string codePoints(std::string_view text, bool fold) {
    std::u32string result;
    result.reserve(text.size());
    for (std::size_t position = 0; position < text.size();) {
        const char32_t codePoint = msr_nextCodePoint(text, position);
        result.push_back(fold ? static_cast<char32_t>(u_foldCase(static_cast<UChar32>(codePoint), U_FOLD_CASE_DEFAULT))
                              : codePoint);
    }
    return result;
}

RegexHandle compile(std::string_view expression, bool caseSensitive, UErrorCode& status, UParseError& parseError) {
    TextHandle pattern(utext_openUTF8(nullptr, expression.data(), static_cast<int64_t>(expression.size()), &status));
    if (U_FAILURE(status)) {
        return nullptr;
    }
    RegexHandle compiled(
        uregex_openUText(pattern.get(), caseSensitive ? 0 : UREGEX_CASE_INSENSITIVE, &parseError, &status));
    return U_SUCCESS(status) ? std::move(compiled) : nullptr;
}

bool isCaseSensitive(const MSRPBStringFilter& filter) {
    return NanoMessageHasField(filter, kStringCaseSensitive) && NanoMessageGetBool(filter, kStringCaseSensitive);
}

}  // namespace

MSRAudienceComparisonValues MSRAudienceComparisonValues::fromNumberFilter(const MSRPBNumberFilter& filter) {
    MSRAudienceComparisonValues values;
    const auto parse = [&](int slot, std::uint64_t missingCode, std::string_view missing, std::uint64_t badCode,
                           std::string_view bad) -> std::optional<platform::Decimal> {
        const std::optional<std::string> text = NanoMessageGetString(filter, slot);
        if (!text) {
            monitor().logWithLevel(1, missingCode, missing, numberFilterContext(filter));
            values.isValid = false;
            return std::nullopt;
        }
        auto decimal = MSRDecimalNumberFromString(*text);
        if (!decimal) {
            monitor().logWithLevel(1, badCode, bad, numberFilterContext(filter));
            values.isValid = false;
        }
        return decimal;
    };
    const int type = NanoMessageGetInt32(filter, kNumberType);
    if (type == MSRComparisonBetween) {
        if (!NanoMessageHasField(filter, kNumberMin) || !NanoMessageHasField(filter, kNumberMax)) {
            audience_lines::log(audience_lines::kNumberFilterDoesNotBothMin, numberFilterContext(filter));
            values.isValid = false;
            return values;
        }
        values.minComparisonValue =
            parse(kNumberMin, 8003, "", 8004, "Number filter min comparison value is not a number");
        values.maxComparisonValue =
            parse(kNumberMax, 8003, "", 8005, "Number filter max comparison value is not a number");
    } else {
        values.comparisonValue = parse(kNumberValue, 8001, "Number filter has no comparison value", 8002,
                                       "Number filter comparison value is not a number");
    }
    return values;
}

bool MSRIsValidNumberFilter(const MSRPBNumberFilter& filter) {
    if (!NanoMessageHasField(filter, kNumberType)) {
        audience_lines::log(audience_lines::kNumberFilterNoComparisonType, numberFilterContext(filter));
        return false;
    }
    const int type = NanoMessageGetInt32(filter, kNumberType);
    const auto decimalAt = [&](int slot) {
        const auto text = NanoMessageGetString(filter, slot);
        return text && MSRIsDecimalNumberString(*text);
    };
    switch (type) {
    case 0:
        audience_lines::log(audience_lines::kNumberFilterUnknownComparisonType, numberFilterContext(filter));
        return false;
    case MSRComparisonLessThan:
    case MSRComparisonGreaterThan:
    case MSRComparisonEqual:
        if (!decimalAt(kNumberValue)) {
            audience_lines::log(audience_lines::kNumericFilterDoesNotValidComparison, numberFilterContext(filter));
            return false;
        }
        return true;
    case MSRComparisonBetween: {
        bool valid = true;
        if (!decimalAt(kNumberMin)) {
            audience_lines::log(audience_lines::kNumericFilterDoesNotValidMin, numberFilterContext(filter));
            valid = false;
        }
        if (!decimalAt(kNumberMax)) {
            audience_lines::log(audience_lines::kNumericFilterDoesNotValidMax, numberFilterContext(filter));
            valid = false;
        }
        return valid;
    }
    default:
        audience_lines::log(audience_lines::kNumberFilterRealUnknownComparisonType, numberFilterContext(filter));
        return false;
    }
}

std::optional<bool> MSRCompareDecimal(const MSRPBNumberFilter& filter, const platform::Decimal& value) {
    if (!MSRIsValidNumberFilter(filter)) {
        return std::nullopt;
    }
    const MSRAudienceComparisonValues values = MSRAudienceComparisonValues::fromNumberFilter(filter);
    if (!values.isValid) {
        audience_lines::log(audience_lines::kParsedDecimalNumberComparisonValuesNot, numberFilterContext(filter));
        return std::nullopt;
    }
    const platform::Decimal zero;
    return comparison(NanoMessageGetInt32(filter, kNumberType), value, values.comparisonValue.value_or(zero),
                      values.minComparisonValue.value_or(zero), values.maxComparisonValue.value_or(zero));
}

std::optional<bool> MSRCompareInt64(const MSRPBNumberFilter& filter, std::int64_t value) {
    return MSRCompareDecimal(filter, platform::Decimal::fromInt64(value));
}

std::optional<bool> MSRCompareDouble(const MSRPBNumberFilter& filter, double value) {
    if (!MSRIsValidNumberFilter(filter)) {
        return std::nullopt;
    }
    const int type = NanoMessageGetInt32(filter, kNumberType);
    std::optional<double> target;
    std::optional<double> min;
    std::optional<double> max;
    bool parsed = true;
    if (type == MSRComparisonBetween) {
        min = parseDouble(NanoMessageGetString(filter, kNumberMin));
        max = parseDouble(NanoMessageGetString(filter, kNumberMax));
        parsed = min && max;
    } else {
        target = parseDouble(NanoMessageGetString(filter, kNumberValue));
        parsed = target.has_value();
    }
    if (!parsed) {
        audience_lines::log(audience_lines::kNumberFilterInvalidComparisonFilterNot, numberFilterContext(filter));
        return std::nullopt;
    }
    return comparison(type, value, target.value_or(0), min.value_or(0), max.value_or(0));
}

bool MSRIsValidStringFilter(const MSRPBStringFilter& filter) {
    if (!NanoMessageHasField(filter, kStringMatchType)) {
        audience_lines::log(audience_lines::kStringFilterNoMatchType, stringFilterContext(filter));
        return false;
    }
    const int type = NanoMessageGetInt32(filter, kStringMatchType);
    if (type == 0) {
        audience_lines::log(audience_lines::kStringFilterUnknownMatchType, stringFilterContext(filter));
        return false;
    }
    if (type == MSRMatchInList) {
        const auto list = NanoMessageGetArray<std::string>(filter, kStringList);
        if (!list || list->empty()) {
            audience_lines::log(audience_lines::kStringFilterNoExpressionList, stringFilterContext(filter));
            return false;
        }
        return true;
    }
    const std::optional<std::string> expression = NanoMessageGetString(filter, kStringExpression);
    if (!expression) {
        audience_lines::log(audience_lines::kStringFilterNoExpression, stringFilterContext(filter));
        return false;
    }
    if (type == MSRMatchRegexp) {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError{};
        if (!compile(*expression, isCaseSensitive(filter), status, parseError)) {
            audience_lines::log(audience_lines::kUnableParseRegularExpression, stringFilterContext(filter),
                                u_errorName(status));
            return false;
        }
    }
    return true;
}

std::optional<bool> MSRMatchString(const MSRPBStringFilter& filter, std::optional<std::string_view> text) {
    if (!text) {
        audience_lines::log(audience_lines::kEvaluationStringNilAudienceFilterNot, stringFilterContext(filter));
        return std::nullopt;
    }
    if (!MSRIsValidStringFilter(filter)) {
        audience_lines::log(audience_lines::kStringFilterInvalidAudienceFilterNot, stringFilterContext(filter));
        return std::nullopt;
    }
    const int type = NanoMessageGetInt32(filter, kStringMatchType);
    const bool caseSensitive = isCaseSensitive(filter);
    if (type == MSRMatchRegexp) {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError{};
        RegexHandle expression = compile(NanoMessageGetString(filter, kStringExpression).value_or(std::string()),
                                         caseSensitive, status, parseError);
        TextHandle subject(utext_openUTF8(nullptr, text->data(), static_cast<int64_t>(text->size()), &status));
        if (expression && U_SUCCESS(status)) {
            uregex_setTimeLimit(expression.get(), kRegexTimeLimit, &status);
            uregex_setStackLimit(expression.get(), kRegexStackLimit, &status);
            uregex_setUText(expression.get(), subject.get(), &status);
        }
        const bool found = U_SUCCESS(status) && uregex_find(expression.get(), 0, &status) != 0;
        if (U_FAILURE(status)) {
            audience_lines::log(audience_lines::kStringFilterInvalidAudienceFilterNot, stringFilterContext(filter),
                                u_errorName(status));
            return std::nullopt;
        }
        return found;
    }
    if (type > MSRMatchInList) {
        return false;
    }
    const std::u32string subject = codePoints(*text, !caseSensitive);
    if (type == MSRMatchInList) {
        const auto list = NanoMessageGetArray<std::string>(filter, kStringList).value_or(std::vector<std::string>{});
        for (const std::string& entry : list) {
            if (codePoints(entry, !caseSensitive) == subject) {
                return true;
            }
        }
        return false;
    }
    const std::u32string expression =
        codePoints(NanoMessageGetString(filter, kStringExpression).value_or(std::string()), !caseSensitive);
    switch (type) {
    case MSRMatchBeginsWith:
        return subject.starts_with(expression);
    case MSRMatchEndsWith:
        return subject.ends_with(expression);
    case MSRMatchContains:
        return subject.find(expression) != std::u32string::npos;
    default:
        return subject == expression;
    }
}

std::optional<bool> MSRFilterOutcome(const MSRPBFilter& filter, const MSRValue& value) {
    const auto numberFilter = NanoMessageGetMessage<MSRPBNumberFilter>(filter, kFilterNumber);
    const auto stringFilter = NanoMessageGetMessage<MSRPBStringFilter>(filter, kFilterString);
    const bool hasNumber = NanoMessageHasField(filter, kFilterNumber) && numberFilter;
    const bool hasString = NanoMessageHasField(filter, kFilterString) && stringFilter;
    std::optional<bool> outcome;
    if (!hasNumber && !hasString) {
        audience_lines::log(audience_lines::kFilterNeitherNumberNorStringFilter);
        return std::nullopt;
    }
    if (hasNumber) {
        if (const std::string* text = value.stringValue()) {
            if (!MSRIsDecimalNumberString(*text)) {
                audience_lines::log(audience_lines::kStringValueNotNumericValueAudience, *text,
                                    numberFilterContext(*numberFilter));
                return std::nullopt;
            }
            const auto decimal = MSRDecimalNumberFromString(*text);
            if (!decimal) {
                return std::nullopt;
            }
            outcome = MSRCompareDecimal(*numberFilter, *decimal);
        } else if (value.isDouble()) {
            if (!std::isfinite(value.doubleValue())) {
                audience_lines::log(audience_lines::kValueNotWithinDoubleRangeAudience);
                return std::nullopt;
            }
            outcome = MSRCompareDouble(*numberFilter, value.doubleValue());
        } else if (value.isInt64()) {
            outcome = MSRCompareInt64(*numberFilter, value.int64Value());
        } else {
            return std::nullopt;
        }
    } else {
        const std::string* text = value.stringValue();
        if (text == nullptr) {
            audience_lines::log(audience_lines::kValueNotStringAudienceFilterNot);
            return std::nullopt;
        }
        outcome = MSRMatchString(*stringFilter, *text);
    }
    if (outcome && NanoMessageHasField(filter, kFilterComplement) && NanoMessageGetBool(filter, kFilterComplement)) {
        outcome = !*outcome;
    }
    return outcome;
}

}  // namespace kit::measurement
