#pragma once

#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/support/MSRValue.h"
#include "platform/Decimal.h"

#include <optional>
#include <string_view>

// The leaf test of audience evaluation: a filter decides true, false, or
// nothing (it cannot be evaluated, and its stored bits stay as they are).
namespace kit::measurement {

enum MSRComparisonType : int {
    MSRComparisonLessThan = 1,
    MSRComparisonGreaterThan = 2,
    MSRComparisonEqual = 3,
    MSRComparisonBetween = 4
};
enum MSRMatchType : int {
    MSRMatchRegexp = 1,
    MSRMatchBeginsWith = 2,
    MSRMatchEndsWith = 3,
    MSRMatchContains = 4,
    MSRMatchExact = 5,
    MSRMatchInList = 6
};

// The parsed decimals of one number filter; invalid from the first value
// that is missing or does not parse.
struct MSRAudienceComparisonValues {
    std::optional<platform::Decimal> comparisonValue;
    std::optional<platform::Decimal> minComparisonValue;
    std::optional<platform::Decimal> maxComparisonValue;
    bool isValid = true;

    static MSRAudienceComparisonValues fromNumberFilter(const MSRPBNumberFilter& filter);
};

std::optional<bool> MSRFilterOutcome(const MSRPBFilter& filter, const MSRValue& value);

bool MSRIsValidNumberFilter(const MSRPBNumberFilter& filter);
std::optional<bool> MSRCompareDecimal(const MSRPBNumberFilter& filter, const platform::Decimal& value);
std::optional<bool> MSRCompareDouble(const MSRPBNumberFilter& filter, double value);
std::optional<bool> MSRCompareInt64(const MSRPBNumberFilter& filter, std::int64_t value);

bool MSRIsValidStringFilter(const MSRPBStringFilter& filter);
// `text` nothing stands for nil.
std::optional<bool> MSRMatchString(const MSRPBStringFilter& filter, std::optional<std::string_view> text);

}  // namespace kit::measurement
